// The body limit of CurlTransport against the sandbox's echo endpoint serving plain and
// gzip-compressed bodies of a chosen decoded size.

#include "oauth/CurlTransport.h"

#include "helpers/CapturingLogSink.h"
#include "helpers/SandboxServer.h"
#include "records/Errors.h"

#include <gtest/gtest.h>

#include <optional>

namespace loftwing {
namespace {

constexpr std::size_t MiB = 1024 * 1024;

// Decoded bytes are counted as they arrive, so a body that decompresses past the limit stops
// there; a request may lower the limit but not raise it.
TEST(CurlTransportBodyLimit, CountsDecodedBytesAgainstTheLimit) {
    struct Row {
        const char* name;
        std::size_t fill;  // decoded bytes after the two-byte opening "[\""
        bool gzip;
        std::optional<std::size_t> requestLimit;
        bool refused;
    };
    const std::size_t limit = CurlTransport::maximumBodySize;
    const Row rows[] = {
        {"gzip within the limit decodes whole", 1000, true, std::nullopt, false},
        {"gzip bomb past the limit", 2 * limit, true, std::nullopt, true},
        {"gzip bomb past a raised request limit", 2 * limit, true, 4 * limit, true},
        {"plain body at a request's lower limit", MiB - 4, false, MiB, false},
        {"plain body one byte past it", MiB - 3, false, MiB, true},
        {"gzip body past a request's lower limit", MiB, true, MiB, true},
    };
    loftwing::test::SandboxServer sandbox;
    CurlTransport transport;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const auto log = loftwing::test::CapturingLogSink::install();
        sandbox.setFault("echo",
                         {boost::json::object{{"status", 200},
                                              {"body", "[\""},
                                              {"fill", row.fill},
                                              {"bodyEnd", "\"]"},
                                              {"gzip", row.gzip},
                                              {"contentType", "application/json; charset=UTF-8"}}});
        HTTPRequest request;
        request.url = sandbox.baseURL() + "/_sandbox/echo";
        request.maximumBodySize = row.requestLimit;
        try {
            const auto response = transport.data(request);
            EXPECT_FALSE(row.refused);
            EXPECT_EQ(response.body, "[\"" + std::string(row.fill, 'a') + "\"]");
        } catch (const TransportError& error) {
            EXPECT_TRUE(row.refused) << error.what();
            EXPECT_EQ(error.code(), -1);
        }
        EXPECT_EQ(log->lines().size(), row.refused ? 1u : 0u);  // the limit, not the address
    }
    setLogSink(nullptr);
}

}  // namespace
}  // namespace loftwing

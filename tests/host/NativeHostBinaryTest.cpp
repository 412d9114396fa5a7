// Drives the built zevirudi executable over pipes, as Chrome starts it.
#include "helpers/ChildProcess.h"
#include "helpers/NativeFrames.h"
#include "records/NativeMessageCodec.h"
#include "records/NativeMessages.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace {

using namespace std::chrono_literals;
using loftwing::test::ChildProcess;
using loftwing::test::frameOf;
using loftwing::test::lengthPrefix;

const std::string origin = "chrome-extension://abcdefghijklmnopabcdefghijklmnop/";
constexpr auto patience = 20s;

ChildProcess startHost(const std::vector<std::string>& arguments = {origin}) {
    return ChildProcess(loftwing::test::builtProgram("zevirudi"), arguments);
}

void expectCleanExit(ChildProcess& host) {
    const int status = host.waitForExit(patience);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The one frame the host wrote, decoded; fails the test unless the output is exactly one frame.
loftwing::NativeHostResponse onlyResponse(const std::string& output) {
    return loftwing::NativeMessageCodec::decode<loftwing::NativeHostResponse>(output);
}

loftwing::NativeHostResponse failure(const std::string& error) {
    return loftwing::NativeHostResponse{false, {}, {}, {}, {}, error};
}

TEST(NativeHostBinary, FaultyFramesGetOneErrorResponseAndNoInputNone) {
    struct Row {
        const char* name;
        std::string input;
        std::optional<std::string> error;  // nothing: no output at all
    };
    const std::vector<Row> rows{
        {"empty input", "", std::nullopt},
        {"two bytes, then end of input", std::string("\x10\x00", 2),
         "The stored data is not valid."},
        {"2,000,000 announced and sent", lengthPrefix(2'000'000) + std::string(2'000'000, ' '),
         "The stored data is not valid."},
        {"not JSON", frameOf("status"), "Zevirudi stopped."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        auto host = startHost();
        EXPECT_TRUE(row.input.empty() || host.writeInput(row.input));
        host.closeInput();
        const auto output = host.readOutputUntilEnd(patience);
        if (row.error) {
            EXPECT_EQ(onlyResponse(output), failure(*row.error));
        } else {
            EXPECT_EQ(output, "");
        }
        expectCleanExit(host);
    }
}

TEST(NativeHostBinary, OversizedLengthIsAnsweredAtOnceWithInputStillOpen) {
    auto host = startHost();
    ASSERT_TRUE(host.writeInput(lengthPrefix(100'000'000)));
    // Standard input stays open: the answer must come from the length alone.
    const auto output = host.readOutputUntilEnd(patience);
    EXPECT_EQ(onlyResponse(output), failure("The local response is too large."));
    expectCleanExit(host);
}

TEST(NativeHostBinary, AValidRequestGetsExactlyOneResponse) {
    auto host = startHost();
    ASSERT_TRUE(host.writeInput(frameOf(R"({"type":"status"})")));
    host.closeInput();
    const auto output = host.readOutputUntilEnd(patience);
    const auto response = onlyResponse(output);
    EXPECT_EQ(response.ok, !response.error.has_value());
    expectCleanExit(host);
}

TEST(NativeHostBinary, OtherCommandLinesStartTheDesktopRole) {
    const std::vector<std::vector<std::string>> commandLines{
        {},
        {"Chrome-extension://abcdefghijklmnopabcdefghijklmnop/"},
        {"https://example.com"},
        {"zevirudi", origin},
    };
    for (const auto& arguments : commandLines) {
        SCOPED_TRACE(arguments.empty() ? std::string("(none)") : arguments.front());
        auto host = startHost(arguments);
        // Input stays open and holds a request: the desktop role must not wait for it. The write
        // may find the process already gone.
        host.writeInput(frameOf(R"({"type":"status"})"));
        const int status = host.waitForExit(patience);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        EXPECT_EQ(host.readOutputUntilEnd(patience), "");
        EXPECT_NE(host.readErrorUntilEnd(patience), "");
    }
}

TEST(NativeHostBinary, AReaderThatLeavesEarlyCausesNoSignalDeath) {
    const std::vector<std::string> inputs{frameOf(R"({"type":"status"})"), std::string("\x01", 1)};
    for (const auto& input : inputs) {
        SCOPED_TRACE(testing::PrintToString(input));
        auto host = startHost();
        host.closeOutput();
        EXPECT_TRUE(host.writeInput(input));
        host.closeInput();
        expectCleanExit(host);
    }
}

}  // namespace

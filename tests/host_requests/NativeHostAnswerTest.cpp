#include "host/NativeHostAnswer.h"

#include "helpers/InMemoryKeychainDataStore.h"
#include "helpers/NativeFrames.h"
#include "monitor/MailboxMonitor.h"
#include "records/NativeMessageCodec.h"
#include "storage/KeychainAccountStore.h"

#include <gtest/gtest.h>

namespace zevirudi {
namespace {

using loftwing::NativeHostResponse;

constexpr const char* origin = "chrome-extension://abcdefghijklmnopabcdefghijklmnop/";

loftwing::StoredAccount account(const std::string& name) {
    return {{"google:1", loftwing::MailProvider::google, "a@example.com", name},
            {"access", "refresh", loftwing::Timestamp{std::chrono::hours{500'000}}, std::nullopt}};
}

NativeHostResponse failure(std::string error) {
    NativeHostResponse response;
    response.ok = false;
    response.error = std::move(error);
    return response;
}

// The whole answer from the configured caller's frame, with an in-memory keyring: what each
// request writes, whether it built the keyring and network services, and which panel it asks for.
// Other callers, missing configurations and oversized answers go through the built host.
TEST(NativeHostAnswer, ComputesTheFrameAndThePanelFromOriginAndRequest) {
    NativeHostResponse oneAccount;
    oneAccount.ok = true;
    oneAccount.accounts = {account("Al").account};
    NativeHostResponse accepted;
    accepted.ok = true;
    const std::string code =
        R"({"type":"presentCodeNotification","codeNotification":{"code":"ab123","destinationHost":)"
        R"("Login.Example.com","source":"Acme","providerLabel":"Gmail","wasCopied":false}})";
    struct Row {
        const char* name;
        std::string request;
        NativeHostResponse expected;
        bool buildsServices;
        bool showsCode;
    };
    const std::vector<Row> rows{
        {"status", R"({"type":"status"})", oneAccount, true, false},
        {"unknown type", R"({"type":"Status"})",
         failure("The native request type is not supported."), false, false},
        {"code notification", code, accepted, false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        bool builtServices = false;
        const NativeHostEnvironment environment{
            [&] {
                loftwing::LoftwingAppConfiguration configuration;
                configuration.extensionID = "abcdefghijklmnopabcdefghijklmnop";
                return configuration;
            },
            [&](const loftwing::LoftwingAppConfiguration&, bool network) {
                builtServices = true;
                EXPECT_FALSE(network) << "status never goes to the network";
                auto store = std::make_shared<loftwing::KeychainAccountStore>(
                    std::make_shared<loftwing::test::InMemoryKeychainDataStore>());
                store->save(account("Al"));
                return NativeHostServices{
                    store, std::make_shared<loftwing::MailboxMonitor>(
                               store, std::vector<std::shared_ptr<loftwing::MailboxClient>>{})};
            }};
        const auto answer =
            answerNativeHostFrame(origin, loftwing::test::frameOf(row.request), environment);
        EXPECT_EQ(answer.frame, loftwing::NativeMessageCodec::encode(row.expected));
        EXPECT_EQ(builtServices, row.buildsServices);
        EXPECT_EQ(answer.codeNotification.has_value(), row.showsCode);
        EXPECT_FALSE(answer.linkNotification.has_value());
        if (row.showsCode) {
            EXPECT_EQ(answer.codeNotification->code, "AB123");
            EXPECT_EQ(answer.codeNotification->destinationHost, "login.example.com");
        }
    }
}

}  // namespace
}  // namespace zevirudi

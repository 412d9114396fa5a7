#include "host/NativeHostAnswer.h"

#include "helpers/InMemoryKeychainDataStore.h"
#include "helpers/NativeFrames.h"
#include "monitor/MailboxMonitor.h"
#include "records/Errors.h"
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

// The whole answer from origin and frame, with an in-memory keyring: what each request writes,
// whether it built the keyring and network services, and which panel it asks for.
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
        std::string callerOrigin;
        std::string request;
        std::string accountName;  // of the one stored account
        bool configurationLoads;
        NativeHostResponse expected;
        bool buildsServices;
        bool showsCode;
    };
    const std::vector<Row> rows{
        {"status", origin, R"({"type":"status"})", "Al", true, oneAccount, true, false},
        {"another caller", "chrome-extension://other/", R"({"type":"status"})", "Al", true,
         failure("Authentication failed."), false, false},
        {"no type", origin, "{}", "Al", true, failure("Zevirudi stopped."), false, false},
        {"no configuration", origin, R"({"type":"status"})", "Al", false,
         failure("The requested item was not found."), false, false},
        {"unknown type", origin, R"({"type":"Status"})", "Al", true,
         failure("The native request type is not supported."), false, false},
        {"code notification", origin, code, "Al", true, accepted, false, true},
        {"answer beyond a frame", origin, R"({"type":"status"})", std::string(1'100'000, 'n'), true,
         failure("The local response is too large."), true, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        bool builtServices = false;
        const NativeHostEnvironment environment{
            [&] {
                if (!row.configurationLoads) {
                    throw loftwing::LoftwingMultiError::itemNotFound();
                }
                loftwing::LoftwingAppConfiguration configuration;
                configuration.extensionID = "abcdefghijklmnopabcdefghijklmnop";
                return configuration;
            },
            [&](const loftwing::LoftwingAppConfiguration&, bool network) {
                builtServices = true;
                EXPECT_FALSE(network) << "status never goes to the network";
                auto store = std::make_shared<loftwing::KeychainAccountStore>(
                    std::make_shared<loftwing::test::InMemoryKeychainDataStore>());
                store->save(account(row.accountName));
                return NativeHostServices{
                    store, std::make_shared<loftwing::MailboxMonitor>(
                               store, std::vector<std::shared_ptr<loftwing::MailboxClient>>{})};
            }};
        const auto answer = answerNativeHostFrame(
            row.callerOrigin, loftwing::test::frameOf(row.request), environment);
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

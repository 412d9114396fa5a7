#include "ui/AppUpdates.h"

#include "helpers/DesktopTestSupport.h"
#include "helpers/QtTestApplication.h"

#include <gtest/gtest.h>
#include <sodium.h>
#include <QByteArray>

namespace zevirudi {
namespace {

using loftwing::test::ScriptedHTTPTransport;

std::string base64(const unsigned char* bytes, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size))
        .toBase64()
        .toStdString();
}

struct SigningKey {
    SigningKey() {
        EXPECT_GE(sodium_init(), 0);
        crypto_sign_keypair(publicKey.data(), secretKey.data());
    }
    std::string publicBase64() const { return base64(publicKey.data(), publicKey.size()); }
    std::string sign(const std::string& bytes) const {
        std::array<unsigned char, crypto_sign_BYTES> signature{};
        crypto_sign_detached(signature.data(), nullptr,
                             reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                             secretKey.data());
        return base64(signature.data(), signature.size());
    }
    std::array<unsigned char, crypto_sign_PUBLICKEYBYTES> publicKey{};
    std::array<unsigned char, crypto_sign_SECRETKEYBYTES> secretKey{};
};

BundleInfo bundle(std::string feed, std::string key) {
    return {"1.0.0", "1.0.0", std::move(feed), std::move(key)};
}

TEST(AppUpdatesTest, ConfiguredOnlyForAnHTTPSFeedAndA32ByteKey) {
    loftwing::test::qtTestApplication();
    const auto key = [](std::size_t bytes) {
        return QByteArray(static_cast<qsizetype>(bytes), 'k').toBase64().toStdString();
    };
    const struct {
        const char* name;
        BundleInfo info;
        bool configured;
    } cases[] = {
        {"https feed and 32-byte key", bundle("https://updates.example.com/appcast.xml", key(32)),
         true},
        {"http feed", bundle("http://updates.example.com/appcast.xml", key(32)), false},
        {"feed without a host", bundle("https:///appcast.xml", key(32)), false},
        {"31-byte key", bundle("https://updates.example.com/appcast.xml", key(31)), false},
        {"33-byte key", bundle("https://updates.example.com/appcast.xml", key(33)), false},
        {"key that is not base64", bundle("https://updates.example.com/appcast.xml", "not base64!"),
         false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        AppUpdates updates(row.info, loftwing::test::emptyInboxTransport());
        EXPECT_EQ(updates.isConfigured(), row.configured);
        EXPECT_EQ(updates.canCheckForUpdates(), row.configured);
    }
}

TEST(AppUpdatesTest, OffersOnlyAVerifiedNewerVersion) {
    loftwing::test::qtTestApplication();
    const SigningKey key;
    const std::string package = "the 1.2.0 package bytes";
    const auto appcast = [](const std::string& version, const std::string& signature) {
        return R"(<?xml version="1.0"?>
<rss version="2.0" xmlns:sparkle="http://www.andymatuschak.org/xml-namespaces/sparkle">
 <channel><title>Zevirudi</title>
  <item><title>0.9.0</title><enclosure url="https://updates.example.com/zevirudi-0.9.0.deb"
    sparkle:version="0.9.0" sparkle:edSignature="AAAA" length="3"/></item>
  <item><title>New</title><enclosure url="https://updates.example.com/zevirudi-new.deb"
    sparkle:version=")" +
               version + R"(" sparkle:shortVersionString=")" + version +
               R"(" sparkle:edSignature=")" + signature + R"(" length="23"/></item>
 </channel></rss>)";
    };
    const struct {
        const char* name;
        std::string feed;
        std::string download;
        UpdateCheckResult::Kind kind;
        QString text;
    } cases[] = {
        {"signed newer version", appcast("1.2.0", key.sign(package)), package,
         UpdateCheckResult::Kind::available, QStringLiteral("1.2.0")},
        {"tampered enclosure", appcast("1.2.0", key.sign(package)), package + "!",
         UpdateCheckResult::Kind::failed, QStringLiteral("The update's signature is not valid.")},
        {"signature that is not one", appcast("1.2.0", "AAAA"), package,
         UpdateCheckResult::Kind::failed, QStringLiteral("The update is not signed.")},
        {"nothing newer", appcast("1.0.0", key.sign(package)), package,
         UpdateCheckResult::Kind::upToDate, QString()},
        {"not an appcast", "<html>", package, UpdateCheckResult::Kind::failed,
         QStringLiteral("The update feed lists no update.")},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.name);
        auto transport = std::make_shared<ScriptedHTTPTransport>(
            [&row](const loftwing::HTTPRequest& request, std::stop_token) {
                if (request.url == "https://updates.example.com/appcast.xml") {
                    return loftwing::HTTPResponse{200, {}, row.feed};
                }
                if (request.url == "https://updates.example.com/zevirudi-new.deb") {
                    return loftwing::HTTPResponse{200, {}, row.download};
                }
                return loftwing::HTTPResponse{404, {}, {}};
            });
        AppUpdates updates(bundle("https://updates.example.com/appcast.xml", key.publicBase64()),
                           transport);
        const auto check = updates.checkForUpdates();
        EXPECT_FALSE(updates.canCheckForUpdates()) << "disabled while a check runs";
        loftwing::test::waitFor(check);
        const auto result = check.result();

        EXPECT_EQ(result.kind, row.kind);
        EXPECT_EQ(row.kind == UpdateCheckResult::Kind::failed ? result.message : result.version,
                  row.text);
        if (row.kind == UpdateCheckResult::Kind::available) {
            EXPECT_EQ(result.downloadURL,
                      QStringLiteral("https://updates.example.com/zevirudi-new.deb"));
        }
        EXPECT_TRUE(updates.canCheckForUpdates());
    }
}

}  // namespace
}  // namespace zevirudi

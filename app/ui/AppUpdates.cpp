#include "ui/AppUpdates.h"

#include "ui/OffMainThread.h"

#include "support/Base64.h"

#include <QXmlStreamReader>

#include <sodium.h>
#include <boost/json/parse.hpp>
#include <boost/url/parse.hpp>

#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

namespace zevirudi {
namespace {

constexpr auto sparkleNamespace = "http://www.andymatuschak.org/xml-namespaces/sparkle";

struct AppcastItem {
    std::string version;
    std::string shortVersion;
    std::string url;
    std::string signature;
};

std::string text(const boost::json::object& object, const char* key) {
    const auto* value = object.if_contains(key);
    return value && value->is_string() ? std::string(value->get_string()) : std::string();
}

bool isUsableFeed(const std::string& feed) {
    const auto url = boost::urls::parse_absolute_uri(feed);
    return url && url->scheme() == "https" && url->has_authority() && !url->host().empty();
}

// Items with an enclosure URL; the version may be an enclosure attribute or an element.
std::vector<AppcastItem> appcastItems(const std::string& xml) {
    std::vector<AppcastItem> items;
    QXmlStreamReader reader(QByteArray::fromStdString(xml));
    std::optional<AppcastItem> item;
    const QString sparkle = QString::fromLatin1(sparkleNamespace);
    while (!reader.atEnd()) {
        const auto token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const auto name = reader.name();
            if (name == QLatin1String("item")) {
                item = AppcastItem{};
            } else if (item && name == QLatin1String("enclosure")) {
                const auto attributes = reader.attributes();
                item->url = attributes.value(QLatin1String("url")).toString().toStdString();
                item->signature = attributes.value(sparkle, QLatin1String("edSignature"))
                                      .toString()
                                      .toStdString();
                if (const auto version = attributes.value(sparkle, QLatin1String("version"));
                    !version.isEmpty()) {
                    item->version = version.toString().toStdString();
                }
                if (const auto shown =
                        attributes.value(sparkle, QLatin1String("shortVersionString"));
                    !shown.isEmpty()) {
                    item->shortVersion = shown.toString().toStdString();
                }
            } else if (item && reader.namespaceUri() == sparkle &&
                       name == QLatin1String("version")) {
                item->version = reader.readElementText().trimmed().toStdString();
            } else if (item && reader.namespaceUri() == sparkle &&
                       name == QLatin1String("shortVersionString")) {
                item->shortVersion = reader.readElementText().trimmed().toStdString();
            }
        } else if (token == QXmlStreamReader::EndElement &&
                   reader.name() == QLatin1String("item") && item) {
            if (!item->url.empty() && !item->version.empty()) {
                items.push_back(std::move(*item));
            }
            item.reset();
        }
    }
    if (reader.hasError()) {
        return {};
    }
    return items;
}

UpdateCheckResult failed(const char* message) {
    return {UpdateCheckResult::Kind::failed, {}, {}, QString::fromUtf8(message)};
}

loftwing::HTTPRequest get(const std::string& url) {
    loftwing::HTTPRequest request;
    request.url = url;
    return request;
}

UpdateCheckResult checkAppcast(loftwing::HTTPTransport& transport, const BundleInfo& info,
                               const std::string& publicKey) {
    const auto feed = transport.data(get(info.feedURL));
    if (feed.statusCode < 200 || feed.statusCode > 299) {
        return failed("The update feed could not be read.");
    }
    const auto items = appcastItems(feed.body);
    if (items.empty()) {
        return failed("The update feed lists no update.");
    }
    const auto newest = std::max_element(
        items.begin(), items.end(),
        [](const auto& a, const auto& b) { return compareVersions(a.version, b.version) < 0; });
    if (compareVersions(newest->version, info.version) <= 0) {
        return {UpdateCheckResult::Kind::upToDate, {}, {}, {}};
    }
    const auto signature = loftwing::base64DecodeStrict(newest->signature);
    if (!signature || signature->size() != crypto_sign_BYTES) {
        return failed("The update is not signed.");
    }
    const auto download = transport.data(get(newest->url));
    if (download.statusCode < 200 || download.statusCode > 299) {
        return failed("The update could not be downloaded.");
    }
    if (crypto_sign_verify_detached(
            reinterpret_cast<const unsigned char*>(signature->data()),
            reinterpret_cast<const unsigned char*>(download.body.data()), download.body.size(),
            reinterpret_cast<const unsigned char*>(publicKey.data())) != 0) {
        return failed("The update's signature is not valid.");
    }
    const auto& shown = newest->shortVersion.empty() ? newest->version : newest->shortVersion;
    return {UpdateCheckResult::Kind::available,
            QString::fromStdString(shown),
            QString::fromStdString(newest->url),
            {}};
}

}  // namespace

BundleInfo BundleInfo::read(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    boost::system::error_code error;
    const auto json = boost::json::parse(bytes, error);
    if (error || !json.is_object()) {
        return {};
    }
    const auto& object = json.get_object();
    return {text(object, "CFBundleShortVersionString"), text(object, "CFBundleVersion"),
            text(object, "SUFeedURL"), text(object, "SUPublicEDKey")};
}

int compareVersions(const std::string& a, const std::string& b) {
    const auto parts = [](const std::string& version) {
        std::vector<std::string> out;
        std::size_t start = 0;
        while (start <= version.size()) {
            const auto dot = version.find('.', start);
            const auto end = dot == std::string::npos ? version.size() : dot;
            out.push_back(version.substr(start, end - start));
            start = end + 1;
        }
        return out;
    };
    const auto isNumber = [](const std::string& part) {
        return !part.empty() && part.size() < 19 &&
               part.find_first_not_of("0123456789") == std::string::npos;
    };
    const auto left = parts(a);
    const auto right = parts(b);
    for (std::size_t index = 0; index < std::max(left.size(), right.size()); ++index) {
        const std::string x = index < left.size() ? left[index] : "0";
        const std::string y = index < right.size() ? right[index] : "0";
        if (isNumber(x) && isNumber(y)) {
            const auto m = std::stoull(x);
            const auto n = std::stoull(y);
            if (m != n) {
                return m < n ? -1 : 1;
            }
        } else if (const int order = x.compare(y); order != 0) {
            return order < 0 ? -1 : 1;
        }
    }
    return 0;
}

AppUpdates::AppUpdates(BundleInfo info, std::shared_ptr<loftwing::HTTPTransport> transport,
                       QObject* parent)
    : QObject(parent), info_(std::move(info)), transport_(std::move(transport)) {
    const auto key = loftwing::base64DecodeStrict(info_.publicKey);
    isConfigured_ = isUsableFeed(info_.feedURL) && key && key->size() == crypto_sign_PUBLICKEYBYTES;
    if (isConfigured_) {
        publicKey_ = *key;
        canCheckForUpdates_ = sodium_init() >= 0;
        isConfigured_ = canCheckForUpdates_;
    }
}

AppUpdates::~AppUpdates() {
    pool_.waitForDone();
}

QFuture<UpdateCheckResult> AppUpdates::checkForUpdates() {
    if (!canCheckForUpdates_) {
        return QtFuture::makeReadyFuture(
            failed("Update checks are not configured for this build."));
    }
    setCanCheckForUpdates(false);
    return runOffMainThread(pool_,
                            [transport = transport_, info = info_, key = publicKey_] {
                                return checkAppcast(*transport, info, key);
                            })
        .then(this, [this](Outcome<UpdateCheckResult> outcome) {
            setCanCheckForUpdates(true);
            return outcome.value ? *outcome.value : failed("The update feed could not be read.");
        });
}

void AppUpdates::setCanCheckForUpdates(bool value) {
    if (canCheckForUpdates_ != value) {
        canCheckForUpdates_ = value;
        emit canCheckForUpdatesChanged();
    }
}

}  // namespace zevirudi

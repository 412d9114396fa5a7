#pragma once

#include "oauth/HTTPTransport.h"

#include <QFuture>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <filesystem>
#include <memory>
#include <string>

namespace zevirudi {

// What share/zevirudi/Info.json says about this build. Missing or non-text values are empty.
struct BundleInfo {
    std::string shortVersion;  // "CFBundleShortVersionString", shown to people
    std::string version;       // "CFBundleVersion", compared with the feed's versions
    std::string feedURL;       // "SUFeedURL"
    std::string publicKey;     // "SUPublicEDKey": base64 of the ed25519 key signing updates

    // Reads <resources>/Info.json; an unreadable or malformed file gives empty values.
    static BundleInfo read(const std::filesystem::path& file);
};

struct UpdateCheckResult {
    enum class Kind { upToDate, available, failed };
    Kind kind = Kind::failed;
    QString version;      // the newest version, for available
    QString downloadURL;  // its enclosure, for available
    QString message;      // why, for failed
};

// Update checks against an appcast (RSS with Sparkle's enclosure attributes). Configured only
// for an https feed with a host and a key of exactly 32 bytes; otherwise checks stay disabled.
// The newest item is offered only after its enclosure's ed25519 signature has been verified
// over the downloaded bytes. Installing is the package manager's job.
class AppUpdates : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool canCheckForUpdates READ canCheckForUpdates NOTIFY canCheckForUpdatesChanged)

  public:
    AppUpdates(BundleInfo info, std::shared_ptr<loftwing::HTTPTransport> transport,
               QObject* parent = nullptr);
    ~AppUpdates() override;

    bool isConfigured() const { return isConfigured_; }
    // True while configured and no check runs.
    bool canCheckForUpdates() const { return canCheckForUpdates_; }

    // Reads the feed and, when it lists a newer version, its signed enclosure.
    QFuture<UpdateCheckResult> checkForUpdates();

  signals:
    void canCheckForUpdatesChanged();

  private:
    void setCanCheckForUpdates(bool value);

    BundleInfo info_;
    std::shared_ptr<loftwing::HTTPTransport> transport_;
    std::string publicKey_;  // the decoded key, when configured
    bool isConfigured_ = false;
    bool canCheckForUpdates_ = false;
    QThreadPool pool_;
};

// Orders versions by their dot-separated numeric components ("1.10" after "1.9"); a component
// that is not a number compares as text.
int compareVersions(const std::string& a, const std::string& b);

}  // namespace zevirudi

#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

namespace zevirudi {

// Keeps one desktop application per user. The first process listens on a local socket that only
// its user can open; a later one hands its URL arguments (the browser's sign-in redirect) to the
// first, framed, and ends. A socket left behind by a crashed instance is replaced; a socket, or
// anything else at that path, owned by another user is never connected to.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Role { primary, forwarded };

    // Frames larger than this are dropped: a redirect URL is a few kilobytes at most.
    static constexpr qsizetype maximumMessageBytes = 64 * 1024;

    explicit SingleInstance(QString socketPath = defaultSocketPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    // $XDG_RUNTIME_DIR/com.loftwing.multi.desktop; without XDG_RUNTIME_DIR a folder of the
    // user's own under the temporary folder.
    static QString defaultSocketPath();

    // forwarded: a running instance took the URLs (with none, it raises its window) and this
    // process should end. primary: this process now listens; a later instance's URLs arrive
    // through activationRequested. Blocks for at most a few seconds.
    Role start(const QStringList& urls);

  signals:
    // Another instance was started; `urls` are its URL arguments (possibly none).
    void activationRequested(const QStringList& urls);

  private:
    bool forward(const QStringList& urls);
    bool listen();
    void accept();
    void read(QLocalSocket* socket);

    QString socketPath_;
    QLocalServer* server_ = nullptr;
};

}  // namespace zevirudi

#include "desktop/SingleInstance.h"

#include "support/LogSink.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>

namespace zevirudi {
namespace {

constexpr int connectMilliseconds = 1000;
constexpr int answerMilliseconds = 3000;
constexpr char acknowledgement = '\x01';

void logWarning(const std::string& message) {
    loftwing::logMessage(loftwing::LogLevel::warning, "desktop", message);
}

// 4-byte little-endian length, then the URLs separated by newlines (a URL holds none).
QByteArray frame(const QStringList& urls) {
    const QByteArray payload = urls.join(QLatin1Char('\n')).toUtf8();
    std::array<char, 4> prefix{};
    qToLittleEndian(static_cast<quint32>(payload.size()), prefix.data());
    return QByteArray(prefix.data(), 4) + payload;
}

enum class PathState { absent, ours, foreign };

PathState inspect(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return PathState::absent;
    }
    return S_ISSOCK(status.st_mode) && status.st_uid == ::getuid() ? PathState::ours
                                                                   : PathState::foreign;
}

bool peerIsOurUser(const QLocalSocket& socket) {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    return ::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED,
                        &credentials, &size) == 0 &&
           credentials.uid == ::getuid();
}

}  // namespace

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent), socketPath_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultSocketPath() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return QDir(QString::fromLocal8Bit(runtime))
            .filePath(QStringLiteral("com.loftwing.multi.desktop"));
    }
    const QString folder =
        QDir::temp().filePath(QStringLiteral("com.loftwing.multi-%1").arg(::getuid()));
    return QDir(folder).filePath(QStringLiteral("desktop"));
}

SingleInstance::Role SingleInstance::start(const QStringList& urls) {
    // Two processes started together may both find nothing and race to listen: the loser
    // forwards to the winner.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (forward(urls)) {
            return Role::forwarded;
        }
        if (listen()) {
            return Role::primary;
        }
    }
    logWarning("Single instance socket unavailable; running without it");
    return Role::primary;
}

bool SingleInstance::forward(const QStringList& urls) {
    const auto state = inspect(socketPath_);
    if (state == PathState::absent) {
        return false;
    }
    if (state == PathState::foreign) {
        logWarning("Single instance socket not owned by this user; replacing it");
        QFile::remove(socketPath_);
        return false;
    }
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (socket.waitForConnected(connectMilliseconds)) {
        socket.write(frame(urls));
        if (socket.waitForBytesWritten(answerMilliseconds) &&
            socket.waitForReadyRead(answerMilliseconds) &&
            socket.read(1) == QByteArray(1, acknowledgement)) {
            return true;
        }
    }
    // Nobody answers: the instance that made the socket is gone.
    QLocalServer::removeServer(socketPath_);
    return false;
}

bool SingleInstance::listen() {
    const QString folder = QFileInfo(socketPath_).absolutePath();
    struct stat status {};
    // The folder must be the user's own, or another user could swap the socket underneath.
    if (!QDir().mkpath(folder) || ::stat(QFile::encodeName(folder).constData(), &status) != 0 ||
        status.st_uid != ::getuid()) {
        return false;
    }
    auto* server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(socketPath_)) {
        delete server;
        return false;
    }
    server_ = server;
    QObject::connect(server_, &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (!peerIsOurUser(*socket)) {
            logWarning("Single instance connection from another user refused");
            socket->abort();
            continue;
        }
        QObject::connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        read(socket);
    }
}

void SingleInstance::read(QLocalSocket* socket) {
    if (socket->bytesAvailable() < 4) {
        return;
    }
    std::array<char, 4> prefix{};
    socket->peek(prefix.data(), 4);
    const auto length = static_cast<qsizetype>(qFromLittleEndian<quint32>(prefix.data()));
    if (length > maximumMessageBytes) {
        logWarning("Single instance message too large; dropped");
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < 4 + length) {
        return;
    }
    socket->read(4);
    const QString payload = QString::fromUtf8(socket->read(length));
    socket->write(QByteArray(1, acknowledgement));
    socket->flush();
    socket->disconnectFromServer();
    emit activationRequested(payload.isEmpty() ? QStringList() : payload.split(QLatin1Char('\n')));
}

}  // namespace zevirudi

#include "ui/TitleEndpoint.h"

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QUrl>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {
namespace {

constexpr int kAnswerTimeoutMs = 2000;
constexpr int kLockTimeoutMs = 5000;

enum class EndpointState {
    Absent,  // no file at the path
    Live,    // a copy answers
    Stale,   // a socket file of ours that nobody listens on
    Foreign, // anything else: not ours to judge or remove
};

EndpointState Probe(const QString& path) {
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return errno == ENOENT ? EndpointState::Absent : EndpointState::Foreign;
    }
    if (!S_ISSOCK(status.st_mode) || status.st_uid != ::getuid()) {
        return EndpointState::Foreign;
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    if (socket.waitForConnected(kAnswerTimeoutMs)) {
        socket.abort();
        return EndpointState::Live;
    }
    return socket.error() == QLocalSocket::ConnectionRefusedError ? EndpointState::Stale
                                                                  : EndpointState::Foreign;
}

} // namespace

QString TitleEndpointPath(const QString& title) {
    const QString name =
        QStringLiteral("corvane-window-") + QString::fromLatin1(QUrl::toPercentEncoding(title));
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty()) {
        return QFile::decodeName(runtimeDir) + QLatin1Char('/') + name;
    }
    return QDir::tempPath() + QStringLiteral("/uid%1-").arg(::getuid()) + name;
}

bool TitleEndpointAnswers(const QString& title) {
    return Probe(TitleEndpointPath(title)) == EndpointState::Live;
}

std::unique_ptr<QLocalServer> HoldTitleEndpoint(const QString& title) {
    const QString path = TitleEndpointPath(title);
    // Copies that start together judge the socket file one at a time, so that
    // none takes the place of an endpoint another has just opened.
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockTimeoutMs)) {
        return nullptr;
    }
    const EndpointState state = Probe(path);
    if (state != EndpointState::Absent && state != EndpointState::Stale) {
        return nullptr;
    }
    auto server = std::make_unique<QLocalServer>();
    // With access options set, the socket is made in a private folder and
    // renamed onto the path, which replaces a stale file.
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path)) {
        return nullptr;
    }
    QLocalServer* listening = server.get();
    QObject::connect(listening, &QLocalServer::newConnection, listening, [listening] {
        while (QLocalSocket* caller = listening->nextPendingConnection()) {
            caller->abort();
            caller->deleteLater();
        }
    });
    return server;
}

} // namespace corvane

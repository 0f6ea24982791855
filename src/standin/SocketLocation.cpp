#include "SocketLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {

QString SocketLocation::path() {
    const QString overridden = qEnvironmentVariable("ORVALET_STANDIN_SOCKET");
    if (!overridden.isEmpty()) {
        return overridden;
    }
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        return runtime + QStringLiteral("/things3-standin/socket");
    }
    return QDir::tempPath() + QStringLiteral("/things3-standin-") + QString::number(::getuid()) +
           QStringLiteral("/socket");
}

bool SocketLocation::prepareFolder(const QString& socketPath, QString& why) {
    const QString folder = QFileInfo(socketPath).absolutePath();
    const QByteArray native = QFile::encodeName(folder);
    struct stat info {};
    // chmod as well, for the umask may have taken bits away from mkdir's mode.
    if (::lstat(native.constData(), &info) != 0 &&
        (::mkdir(native.constData(), 0700) != 0 || ::chmod(native.constData(), 0700) != 0)) {
        why = QStringLiteral("cannot make the folder ") + folder;
        return false;
    }
    if (const std::optional<QString> distrust = distrustedFolder(socketPath)) {
        why = QStringLiteral("will not listen where another user could: ") + *distrust;
        return false;
    }
    return true;
}

std::optional<QString> SocketLocation::distrustedFolder(const QString& socketPath) {
    const QString folder = QFileInfo(socketPath).absolutePath();
    struct stat info {};
    if (::lstat(QFile::encodeName(folder).constData(), &info) != 0) {
        return std::nullopt;
    }
    if (!S_ISDIR(info.st_mode)) {
        return folder + QStringLiteral(" is not a folder");
    }
    if (info.st_uid != ::getuid()) {
        return QStringLiteral("the folder ") + folder + QStringLiteral(" is not owned by this user");
    }
    if ((info.st_mode & 0777) != 0700) {
        return QStringLiteral("the folder ") + folder + QStringLiteral(" has mode 0") +
               QString::number(info.st_mode & 0777, 8) + QStringLiteral(", not 0700");
    }
    return std::nullopt;
}

std::optional<QString> SocketLocation::distrustedListener(const QString& socketPath,
                                                          const QLocalSocket& socket) {
    struct stat info {};
    if (::lstat(QFile::encodeName(socketPath).constData(), &info) != 0 || !S_ISSOCK(info.st_mode)) {
        return socketPath + QStringLiteral(" is not a socket");
    }
    if (info.st_uid != ::getuid()) {
        return QStringLiteral("the socket file is not owned by this user");
    }
#ifdef Q_OS_LINUX
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
        return QStringLiteral("the process listening there cannot be identified");
    }
    if (peer.uid != ::getuid()) {
        return QStringLiteral("the process listening there runs as user ") + QString::number(peer.uid) +
               QStringLiteral(", not as this user");
    }
#else
    Q_UNUSED(socket);
#endif
    return std::nullopt;
}

QString SocketLocation::defaultLibraryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/things3-standin/library.json");
}

} // namespace standin

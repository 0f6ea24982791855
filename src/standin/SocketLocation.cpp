#include "SocketLocation.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
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
    if (::lstat(native.constData(), &info) != 0) {
        if (::mkdir(native.constData(), 0700) != 0 || ::lstat(native.constData(), &info) != 0) {
            why = QStringLiteral("cannot make the folder ") + folder;
            return false;
        }
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        why = QStringLiteral("the folder ") + folder +
              QStringLiteral(" is not a folder of this user that only this user can write to");
        return false;
    }
    return true;
}

QString SocketLocation::defaultLibraryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/things3-standin/library.json");
}

} // namespace standin

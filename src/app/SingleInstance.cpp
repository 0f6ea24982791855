#include "SingleInstance.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace orvalet {

namespace {

const QByteArray activateRequest = "activate\n";
const QByteArray activateAnswer = "ok\n";

QString userId() {
#ifdef Q_OS_UNIX
    return QString::number(::getuid());
#else
    return qEnvironmentVariable("USERNAME");
#endif
}

// The store's path with links and ".." resolved, so that every way of naming one file gives one name.
QString realStorePath(const QString& storePath) {
    const QFileInfo file(storePath);
    if (const QString real = file.canonicalFilePath(); !real.isEmpty()) {
        return real;
    }
    if (const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath(); !folder.isEmpty()) {
        return folder + u'/' + file.fileName();
    }
    return QDir::cleanPath(file.absoluteFilePath());
}

QString socketFolder() {
#ifdef Q_OS_MACOS
    // Per user already, and short enough for a socket's path, which the runtime folder is not there.
    return QDir::tempPath();
#else
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
#endif
}

} // namespace

SingleInstance::SingleInstance(QString storePath, QObject* parent)
    : QObject(parent)
    , m_storePath(std::move(storePath)) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::serverName(const QString& storePath) {
    const QByteArray identity = (userId() + u'\n' + realStorePath(storePath)).toUtf8();
    const QByteArray hash = QCryptographicHash::hash(identity, QCryptographicHash::Sha256).toHex().left(16);
    return socketFolder() + QStringLiteral("/orvalet-") + QString::fromLatin1(hash);
}

SingleInstance::Claim SingleInstance::claim() {
    if (m_storePath.isEmpty()) {
        return Claim::first;
    }
    // The store's folder is made now rather than by the store, so that the name is the same
    // before and after the first start made it.
    QDir().mkpath(QFileInfo(m_storePath).absolutePath());
    const QString name = serverName(m_storePath);
    m_lock = std::make_unique<QLockFile>(name + QStringLiteral(".lock"));
    m_lock->setStaleLockTime(0); // stale only when its process is gone, however old
    const QDeadlineTimer deadline(10000);
    while (true) {
        if (m_lock->tryLock(0)) {
            // A socket with no process holding the lock is either a live one whose lock file was
            // removed under it, which is asked, or one left by a process that crashed.
            if (askToActivate(name)) {
                m_lock->unlock();
                return Claim::handedOver;
            }
            QLocalServer::removeServer(name);
            listen(name);
            return Claim::first;
        }
        if (m_lock->error() != QLockFile::LockFailedError) {
            std::fprintf(stderr,
                         "Orvalet: cannot make %s; a second start over this store will not find this one.\n",
                         qPrintable(m_lock->fileName()));
            return Claim::first;
        }
        // Another process holds the store. It may be starting (not listening yet) or quitting (no
        // longer listening, still saving): ask again until it answers or lets go.
        if (askToActivate(name)) {
            return Claim::handedOver;
        }
        if (deadline.hasExpired()) {
            return Claim::unanswered;
        }
        QThread::msleep(100);
    }
}

bool SingleInstance::askToActivate(const QString& name) {
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(1000)) {
        return false;
    }
    socket.write(activateRequest);
    const QDeadlineTimer deadline(3000);
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))) {
            return false;
        }
    }
    return socket.readLine(16) == activateAnswer;
}

void SingleInstance::listen(const QString& name) {
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        std::fprintf(stderr,
                     "Orvalet: cannot listen on %s: %s; a second start over this store will not find "
                     "this one.\n",
                     qPrintable(name), qPrintable(m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            // Whatever connects and says nothing useful is dropped soon.
            QTimer::singleShot(3000, socket, [socket] { socket->abort(); });
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > activateRequest.size()) {
                        socket->abort();
                    }
                    return;
                }
                if (socket->readLine(activateRequest.size() + 1) != activateRequest) {
                    socket->abort();
                    return;
                }
                socket->write(activateAnswer);
                socket->flush();
                socket->disconnectFromServer();
                Q_EMIT activationRequested();
            });
        }
    });
    // While quitting, the last changes are still being saved: a new start waits for the lock
    // instead of being told the window is coming.
    if (QCoreApplication* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, m_server, &QLocalServer::close);
    }
}

} // namespace orvalet

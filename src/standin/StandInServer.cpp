#include "StandInServer.h"

#include "WireProtocol.h"

#include <QDateTime>
#include <QLocalSocket>

namespace standin {

namespace {

// Marks a connection that has a program in the queue or running; its further bytes wait unread.
constexpr char busyProperty[] = "standinBusy";

} // namespace

StandInServer::StandInServer(ProgramRunner& runner, QObject* parent)
    : QObject(parent)
    , m_runner(runner) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &StandInServer::acceptConnections);
}

StandInServer::~StandInServer() {
    close();
}

void StandInServer::setTranscript(const QString& path) {
    m_transcript.close();
    m_transcript.setFileName(path);
    m_transcript.open(QIODevice::Append | QIODevice::Text);
}

bool StandInServer::listen(const QString& socketPath, QString& why) {
    QLocalSocket probe;
    probe.connectToServer(socketPath);
    if (probe.waitForConnected(1000)) {
        why = QStringLiteral("another stand-in is already listening at ") + socketPath;
        return false;
    }
    QLocalServer::removeServer(socketPath);
    if (!m_server.listen(socketPath)) {
        why =
            QStringLiteral("cannot listen at ") + socketPath + QStringLiteral(": ") + m_server.errorString();
        return false;
    }
    return true;
}

void StandInServer::close() {
    m_server.close();
}

void StandInServer::acceptConnections() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        socket->setReadBufferSize(WireProtocol::headerSize + WireProtocol::maxRequestSize);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        readFrom(socket);
    }
}

void StandInServer::readFrom(QLocalSocket* socket) {
    if (socket->property(busyProperty).toBool()) {
        return;
    }
    quint32 length = 0;
    const QByteArray head = socket->peek(WireProtocol::headerSize);
    switch (WireProtocol::readHeader(head, WireProtocol::maxRequestSize, length)) {
    case WireProtocol::Header::Incomplete:
        return;
    case WireProtocol::Header::BadMagic:
        refuse(socket, QStringLiteral("it does not start with a frame header"));
        return;
    case WireProtocol::Header::TooLarge:
        refuse(socket, QStringLiteral("its ") + QString::number(length) +
                           QStringLiteral(" bytes are more than the limit of ") +
                           QString::number(WireProtocol::maxRequestSize));
        return;
    case WireProtocol::Header::Valid:
        break;
    }
    if (socket->bytesAvailable() < WireProtocol::headerSize + qint64(length)) {
        return;
    }
    socket->skip(WireProtocol::headerSize);
    const QByteArray payload = socket->read(length);
    QString why;
    const std::optional<QString> program = WireProtocol::programOf(payload, why);
    if (!program) {
        refuse(socket, why);
        return;
    }
    socket->setProperty(busyProperty, true);
    m_queue.push_back(Pending{socket, *program});
    runNext();
}

// A request that cannot be read gets an error answer, and the connection is closed: after a bad
// frame the stream has no trustworthy boundary left.
void StandInServer::refuse(QLocalSocket* socket, const QString& why) {
    const QByteArray payload = WireProtocol::refusalPayload(why);
    record(QStringLiteral("(unreadable request)"), payload);
    socket->setProperty(busyProperty, true);
    socket->write(WireProtocol::frame(payload));
    socket->disconnectFromServer();
}

void StandInServer::runNext() {
    if (m_busy || m_queue.empty()) {
        return;
    }
    m_busy = true;
    const Pending pending = m_queue.front();
    m_queue.pop_front();
    const ProgramAnswer programAnswer = m_runner.run(pending.program);
    if (m_delay.count() <= 0) {
        answer(pending, programAnswer);
        return;
    }
    QTimer::singleShot(m_delay, this, [this, pending, programAnswer] { answer(pending, programAnswer); });
}

void StandInServer::answer(const Pending& pending, const ProgramAnswer& programAnswer) {
    const QByteArray payload = WireProtocol::answerPayload(programAnswer);
    record(pending.program, payload);
    if (QLocalSocket* socket = pending.socket.data(); socket != nullptr && socket->isOpen()) {
        socket->write(WireProtocol::frame(payload));
        socket->setProperty(busyProperty, false);
        // A request that arrived behind this one is already in the buffer; read it next.
        QTimer::singleShot(0, socket, [this, socket] { readFrom(socket); });
    }
    m_busy = false;
    QTimer::singleShot(0, this, &StandInServer::runNext);
}

void StandInServer::record(const QString& program, const QByteArray& answerPayload) {
    if (!m_transcript.isOpen()) {
        return;
    }
    const QString stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    m_transcript.write(
        (QStringLiteral("=== program ") + stamp + u'\n' + program + QStringLiteral("\n=== answer\n"))
            .toUtf8() +
        answerPayload + "\n");
    m_transcript.flush();
}

} // namespace standin

#include "StandInServer.h"

#include "WireProtocol.h"

#include <QByteArrayView>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <new>
#include <utility>

namespace standin {

namespace {

// The most a socket buffers of what its client sends; the rest waits in the kernel, and the client
// waits with it, until the server has use for it.
constexpr qint64 socketReadBuffer = 64 << 10;
// An answer goes to its socket this much at a time, when the socket has written what it had.
constexpr qsizetype answerPiece = 64 << 10;

QString seconds(std::chrono::milliseconds time) {
    return QString::number(double(time.count()) / 1000.0) + QStringLiteral(" seconds");
}

} // namespace

StandInServer::StandInServer(ProgramRunner& runner, ServerLimits limits, QObject* parent)
    : QObject(parent)
    , m_runner(runner)
    , m_limits(limits) {
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    connect(&m_server, &QLocalServer::newConnection, this, &StandInServer::acceptConnections);
}

StandInServer::~StandInServer() {
    close();
    for (const auto& [socket, connection] : m_connections) {
        socket->disconnect(this);
    }
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
    // Answers already made go out as far as the sockets take them without waiting, so that a program
    // stopped because the server is ending is told so rather than only losing its connection.
    for (const auto& [socket, connection] : m_connections) {
        socket->flush();
    }
}

void StandInServer::acceptConnections() {
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        socket->setParent(this);
        socket->setReadBufferSize(socketReadBuffer);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (qsizetype(m_connections.size()) >= m_limits.maxConnections) {
            refuse(socket, QStringLiteral("it already serves ") + QString::number(m_limits.maxConnections) +
                               QStringLiteral(" connections, the most it takes at once"));
            continue;
        }
        Connection& connection = m_connections[socket];
        connection.deadline = new QTimer(socket);
        connection.deadline->setSingleShot(true);
        connect(connection.deadline, &QTimer::timeout, this, [this, socket] { deadlinePassed(socket); });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QLocalSocket::bytesWritten, this, [this, socket] { writeTo(socket); });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] { forget(socket); });
        connection.deadline->start(m_limits.idleDeadline);
        readFrom(socket);
    }
}

void StandInServer::readFrom(QLocalSocket* socket) {
    try {
        receive(socket);
    } catch (const std::bad_alloc&) {
        refuse(socket, QStringLiteral("there is not enough memory to take it"));
    }
    runNext();
}

// Takes what has arrived of the connection's next request; a whole one joins the queue.

void StandInServer::receive(QLocalSocket* socket) {
    const auto found = m_connections.find(socket);
    if (found == m_connections.end() || found->second.busy) {
        return;
    }
    Connection& c = found->second;
    for (;;) {
        if (c.header.size() < WireProtocol::headerSize) {
            if (socket->bytesAvailable() == 0) {
                return;
            }
            if (c.header.isEmpty()) {
                c.deadline->start(m_limits.frameDeadline);
            }
            c.header += socket->read(WireProtocol::headerSize - c.header.size());
            quint32 length = 0;
            switch (WireProtocol::readHeader(c.header, WireProtocol::maxRequestSize, length)) {
            case WireProtocol::Header::Incomplete:
                continue;
            case WireProtocol::Header::BadMagic:
                refuse(socket, QStringLiteral("it does not start with a frame header"));
                return;
            case WireProtocol::Header::TooLarge:
                refuse(socket, QStringLiteral("its ") + QString::number(length) +
                                   QStringLiteral(" bytes are more than the limit of ") +
                                   QString::number(WireProtocol::maxRequestSize));
                return;
            case WireProtocol::Header::Valid:
                c.length = length;
                // Only address space: the pages are used as the bytes arrive.
                c.payload.reserve(qsizetype(length));
                break;
            }
        }
        const qint64 wanted = std::min<qint64>(c.length - c.payload.size(), socket->bytesAvailable());
        if (wanted > m_limits.incomingBudget - m_incoming) {
            refuse(socket, QStringLiteral("it already holds ") + QString::number(m_incoming) +
                               QStringLiteral(" bytes of requests from its clients, and takes at most ") +
                               QString::number(m_limits.incomingBudget) +
                               QStringLiteral(" at once; try again later"));
            return;
        }
        if (wanted > 0) {
            const QByteArray piece = socket->read(wanted);
            c.payload += piece;
            m_incoming += piece.size();
        }
        if (c.payload.size() == qsizetype(c.length)) {
            c.deadline->stop();
            c.busy = true;
            c.header.clear();
            m_queue.push_back(Pending{socket, std::exchange(c.payload, QByteArray())});
            return;
        }
        if (socket->bytesAvailable() == 0) {
            return;
        }
    }
}

// Hands the answer to the socket a piece at a time, only when the socket has written out what it
// had, so that a client that does not read costs one answer and no more.
void StandInServer::writeTo(QLocalSocket* socket) {
    const auto found = m_connections.find(socket);
    if (found == m_connections.end() || found->second.answer.isEmpty()) {
        return;
    }
    Connection& c = found->second;
    while (c.sent < c.answer.size() && socket->bytesToWrite() < answerPiece) {
        const qsizetype piece = std::min(answerPiece, c.answer.size() - c.sent);
        qint64 written = -1;
        try {
            written = socket->write(c.answer.constData() + c.sent, piece);
        } catch (const std::bad_alloc&) {
            // No memory even for a piece: the client is dropped like one that went away.
        }
        if (written != piece) {
            drop(socket);
            return;
        }
        c.sent += piece;
    }
    if (c.sent < c.answer.size() || socket->bytesToWrite() > 0) {
        c.deadline->start(m_limits.answerDeadline);
        return;
    }
    c.deadline->start(m_limits.idleDeadline);
    m_outgoing -= c.answer.size();
    c.answer = QByteArray();
    c.sent = 0;
    c.busy = false;
    // A request that arrived meanwhile may already wait in the socket's buffer, which signals no more.
    QTimer::singleShot(0, socket, [this, socket] { readFrom(socket); });
    QTimer::singleShot(0, this, &StandInServer::runNext);
}

void StandInServer::deadlinePassed(QLocalSocket* socket) {
    const auto found = m_connections.find(socket);
    if (found == m_connections.end()) {
        return;
    }
    const Connection& c = found->second;
    if (!c.answer.isEmpty()) {
        // The client has stopped reading: an answer cannot be refused, only dropped.
        drop(socket);
        return;
    }
    if (c.header.isEmpty() && !c.busy) {
        // Idle: nothing of a request has come since the connection was taken or last answered.
        // Bytes that arrived as the time ran out are a request after all.
        if (socket->bytesAvailable() > 0) {
            readFrom(socket);
        } else {
            drop(socket);
        }
        return;
    }
    refuse(socket, QStringLiteral("it did not arrive whole within ") + seconds(m_limits.frameDeadline));
}

// A request that cannot be read or taken gets an error answer, and the connection is closed: after a
// bad frame the stream has no trustworthy boundary left.
void StandInServer::refuse(QLocalSocket* socket, const QString& why) {
    forget(socket);
    const QByteArray frame = WireProtocol::refusalFrame(why);
    record(QStringLiteral("(request refused)"), frame);
    socket->write(frame);
    socket->disconnectFromServer();
    // A client that does not even read its refusal keeps the socket no longer than it would keep an answer.
    QTimer::singleShot(m_limits.answerDeadline, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void StandInServer::drop(QLocalSocket* socket) {
    forget(socket);
    socket->abort();
    socket->deleteLater();
}

// The connection is no longer served: what it held is let go. A request of it already in the queue
// stays there and still runs, as it would have had the client stayed.
void StandInServer::forget(QLocalSocket* socket) {
    const auto found = m_connections.find(socket);
    if (found == m_connections.end()) {
        return;
    }
    m_incoming -= found->second.payload.size();
    m_outgoing -= found->second.answer.size();
    found->second.deadline->deleteLater();
    socket->disconnect(this);
    m_connections.erase(found);
    QTimer::singleShot(0, this, &StandInServer::runNext);
}

void StandInServer::runNext() {
    if (m_busy || m_queue.empty() || m_outgoing > m_limits.outgoingBudget) {
        return;
    }
    m_busy = true;
    Pending pending = std::move(m_queue.front());
    m_queue.pop_front();
    m_incoming -= pending.payload.size();

    QString why;
    std::optional<QString> program;
    try {
        program = WireProtocol::programOf(std::exchange(pending.payload, QByteArray()), why);
    } catch (const std::bad_alloc&) {
        why = QStringLiteral("there is not enough memory to read it");
    }
    if (!program) {
        if (pending.socket) {
            refuse(pending.socket, why);
        }
        m_busy = false;
        QTimer::singleShot(0, this, &StandInServer::runNext);
        return;
    }
    QElapsedTimer running;
    running.start();
    const ProgramAnswer programAnswer = m_runner.run(*program);
    std::chrono::milliseconds delay = m_delay;
    if (m_macCosts) {
        const auto modeled =
            std::chrono::ceil<std::chrono::milliseconds>(m_macCosts->time(programAnswer.costs));
        delay +=
            std::max(modeled - std::chrono::milliseconds(running.elapsed()), std::chrono::milliseconds(0));
    }
    if (delay.count() <= 0) {
        answer(pending.socket, *program, programAnswer);
        return;
    }
    QTimer::singleShot(delay, this, [this, socket = pending.socket, program = *program, programAnswer] {
        answer(socket, program, programAnswer);
    });
}

void StandInServer::answer(const QPointer<QLocalSocket>& socket, const QString& program,
                           const ProgramAnswer& programAnswer) {
    QByteArray frame;
    try {
        frame = WireProtocol::answerFrame(programAnswer);
    } catch (const std::bad_alloc&) {
        frame = WireProtocol::outOfMemoryFrame();
    }
    record(program, frame, programAnswer.costs);
    m_busy = false;
    QTimer::singleShot(0, this, &StandInServer::runNext);
    const auto found = m_connections.find(socket.data());
    if (socket.isNull() || found == m_connections.end()) {
        return;
    }
    m_outgoing += frame.size();
    found->second.answer = std::move(frame);
    found->second.sent = 0;
    writeTo(socket.data());
}

void StandInServer::record(const QString& program, const QByteArray& frame,
                           const std::optional<applescript::MacCosts>& costs) {
    if (!m_transcript.isOpen()) {
        return;
    }
    const QString stamp = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    try {
        m_transcript.write(
            (QStringLiteral("=== program ") + stamp + u'\n' + program + QStringLiteral("\n=== answer\n"))
                .toUtf8());
        const QByteArrayView payload = QByteArrayView(frame).sliced(WireProtocol::headerSize);
        m_transcript.write(payload.data(), payload.size());
        m_transcript.write("\n");
        if (costs) {
            const MacCostModel model = m_macCosts.value_or(MacCostModel());
            const double modeledMs = double(model.time(*costs).count()) / 1e6;
            m_transcript.write((QStringLiteral("=== costs: ") + MacCostModel::describe(*costs) +
                                QStringLiteral("; ") + QString::number(modeledMs, 'f', 1) +
                                QStringLiteral(" ms on the modeled Mac\n"))
                                   .toUtf8());
        }
    } catch (const std::bad_alloc&) {
        m_transcript.write("(no memory left to record this program)\n");
    }
    m_transcript.flush();
}

} // namespace standin

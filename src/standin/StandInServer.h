#pragma once

#include "MacCostModel.h"
#include "ProgramRunner.h"

#include <QFile>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <deque>
#include <unordered_map>

class QLocalSocket;

namespace standin {

// What the server lets its clients hold, and for how long.
struct ServerLimits {
    // Connections served at once; a further one is refused.
    int maxConnections = 16;
    // Request bytes held for all connections together: frames still arriving and requests
    // waiting for their turn.
    qsizetype incomingBudget = 32 << 20;
    // Answer bytes that clients have not taken yet; no further program runs while they hold more.
    qsizetype outgoingBudget = 64 << 20;
    // A request must arrive whole within this time of its first byte.
    std::chrono::milliseconds frameDeadline = std::chrono::seconds(10);
    // A client must take more of its answer within this time of the last part it took.
    std::chrono::milliseconds answerDeadline = std::chrono::seconds(30);
    // A connection that sends nothing for this long, from the moment it was taken or its last answer
    // left, is closed: clients that hold every connection without asking anything would otherwise
    // lock all the others out for as long as they liked.
    std::chrono::milliseconds idleDeadline = std::chrono::seconds(10);
};

// Serves programs over the per-user local socket, one at a time, in the order their requests were
// complete. No client can make the server hold much memory: each connection has at most one
// request waiting, running or being answered, and is read again only once its answer has left
// entirely; the number of connections, the request bytes held for all of them together and the
// answers waiting for their clients to take them are bounded, and a client that sends nothing, stops
// half-way through a request or stops taking its answer is dropped after a while.
class StandInServer final : public QObject {
public:
    explicit StandInServer(ProgramRunner& runner, ServerLimits limits = {}, QObject* parent = nullptr);
    ~StandInServer() override;

    // Answers each program this long after running it, so that clients can be tried on slow answers.
    void setAnswerDelay(std::chrono::milliseconds delay) { m_delay = delay; }
    // Answers each program no sooner than the modeled Mac would have (what the program cost in that
    // model, from the moment it was taken), so that clients feel a Mac's costs; on top of any delay.
    void setMacCosts(std::optional<MacCostModel> model) { m_macCosts = model; }
    // Appends every program received, its answer and what it cost to this file.
    void setTranscript(const QString& path);

    // Listens at `socketPath`. Fails when another stand-in already answers there; a socket file left
    // by one that died is removed.
    bool listen(const QString& socketPath, QString& why);
    // Stops listening; the answers already made are handed to their sockets as far as they take them.
    void close();

private:
    // What the server keeps for one connection it serves.
    struct Connection {
        QByteArray header;  // the frame header as far as it has arrived
        quint32 length = 0; // the payload length it announced
        QByteArray payload; // the payload as far as it has arrived
        bool busy = false;  // its request waits, runs, or its answer is still being written
        QByteArray answer;  // the answer frame being written
        qsizetype sent = 0; // how much of `answer` has been handed to the socket
        QTimer* deadline{}; // for a request to begin, for it to arrive whole, for the answer to be taken
    };
    struct Pending {
        QPointer<QLocalSocket> socket;
        QByteArray payload;
    };

    void acceptConnections();
    void readFrom(QLocalSocket* socket);
    void receive(QLocalSocket* socket);
    void writeTo(QLocalSocket* socket);
    void deadlinePassed(QLocalSocket* socket);
    void refuse(QLocalSocket* socket, const QString& why);
    void drop(QLocalSocket* socket);
    void forget(QLocalSocket* socket);
    void runNext();
    void answer(const QPointer<QLocalSocket>& socket, const QString& program,
                const ProgramAnswer& programAnswer);
    void record(const QString& program, const QByteArray& frame,
                const std::optional<applescript::MacCosts>& costs = std::nullopt);

    ProgramRunner& m_runner;
    ServerLimits m_limits;
    QLocalServer m_server;
    std::chrono::milliseconds m_delay{0};
    std::optional<MacCostModel> m_macCosts;
    QFile m_transcript;
    std::unordered_map<QLocalSocket*, Connection> m_connections;
    std::deque<Pending> m_queue;
    qsizetype m_incoming = 0; // request bytes held: frames arriving plus the queue
    qsizetype m_outgoing = 0; // answer bytes held until their clients take them
    bool m_busy = false;
};

} // namespace standin

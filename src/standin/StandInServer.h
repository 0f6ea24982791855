#pragma once

#include "ProgramRunner.h"

#include <QFile>
#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <chrono>
#include <deque>

class QLocalSocket;

namespace standin {

// Serves programs over the per-user local socket, one at a time, in the order their requests were
// complete. Each connection has at most one program waiting or running; it is read again only
// after its answer is written, so a client cannot pile requests up in the server's memory.
class StandInServer final : public QObject {
public:
    explicit StandInServer(ProgramRunner& runner, QObject* parent = nullptr);
    ~StandInServer() override;

    // Answers each program this long after running it, so that clients can be tried on slow answers.
    void setAnswerDelay(std::chrono::milliseconds delay) { m_delay = delay; }
    // Appends every program received and its answer to this file.
    void setTranscript(const QString& path);

    // Listens at `socketPath`. Fails when another stand-in already answers there; a socket file left
    // by one that died is removed.
    bool listen(const QString& socketPath, QString& why);
    void close();

private:
    struct Pending {
        QPointer<QLocalSocket> socket;
        QString program;
    };

    void acceptConnections();
    void readFrom(QLocalSocket* socket);
    void refuse(QLocalSocket* socket, const QString& why);
    void runNext();
    void answer(const Pending& pending, const ProgramAnswer& programAnswer);
    void record(const QString& program, const QByteArray& answerPayload);

    ProgramRunner& m_runner;
    QLocalServer m_server;
    std::chrono::milliseconds m_delay{0};
    QFile m_transcript;
    std::deque<Pending> m_queue;
    bool m_busy = false;
};

} // namespace standin

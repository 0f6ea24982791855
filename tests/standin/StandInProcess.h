#pragma once

#include "StandInEngine.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

// A things3-standin process of the test's own, with its socket and library in a temporary folder,
// so that tests never meet a stand-in of the user's.
class StandInProcess final {
public:
    StandInProcess() { qputenv("ORVALET_STANDIN_SOCKET", socketPath().toUtf8()); }
    ~StandInProcess() { stop(); }

    QString socketPath() const { return m_dir.filePath(QStringLiteral("socket")); }
    QString libraryPath() const { return m_dir.filePath(QStringLiteral("library.json")); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    QProcess& process() { return m_process; }

    // Starts `serve` with the given options and waits until it accepts connections.
    bool start(const QStringList& options = {}) {
        m_process.start(QStringLiteral(STANDIN_BINARY),
                        QStringList{QStringLiteral("serve"), QStringLiteral("--library"), libraryPath()} +
                            options);
        for (QDeadlineTimer deadline(10000);
             !deadline.hasExpired() && m_process.state() != QProcess::NotRunning; QThread::msleep(20)) {
            QLocalSocket probe;
            probe.connectToServer(socketPath());
            if (probe.waitForConnected(100)) {
                return true;
            }
        }
        return false;
    }

    void stop() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            kill();
        }
    }

    void kill() {
        m_process.kill();
        m_process.waitForFinished();
    }

    // Runs a one-shot command of the binary (run, seed, status) and waits for it.
    static int command(const QStringList& arguments, QByteArray* out = nullptr, QByteArray* err = nullptr,
                       const QByteArray& input = {}) {
        QProcess p;
        p.start(QStringLiteral(STANDIN_BINARY), arguments);
        p.write(input);
        p.closeWriteChannel();
        p.waitForFinished(30000);
        QByteArray unread;
        (out != nullptr ? *out : unread) = p.readAllStandardOutput();
        (err != nullptr ? *err : unread) = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

// What a program gives through Orvalet's StandInEngine: its result, "error N", or "no script" when
// the engine would not send it.
inline QString answer(const QString& program,
                      const orvalet::StandInEngine& engine = orvalet::StandInEngine()) {
    const std::optional<orvalet::ScriptOutcome> outcome = engine.run(program);
    if (!outcome) {
        return u"no script"_qs;
    }
    return outcome->error ? u"error "_qs + QString::number(outcome->error->number.value_or(0))
                          : outcome->result.value_or(u"(no result)"_qs);
}

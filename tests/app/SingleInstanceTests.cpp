#include "SingleInstance.h"

#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace orvalet;

// One Orvalet per user and store, through the real program: a second start over a store that a
// process holds brings that one forward and ends with status 0; another store starts a process of
// its own; a socket left by a process that was killed is taken over. Every process here has data,
// configuration and runtime folders of this test's own, so nothing else running is ever reached.
class SingleInstanceTests final : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QList<QProcess*> m_processes;

    QString dataHome(const QString& name) const { return m_dir.filePath(u"data-"_qs + name); }
    QString storeOf(const QString& name) const { return dataHome(name) + u"/Orvalet/Orvalet.store"_qs; }
    // `orvalet` started over the store named `name`.
    QProcess* launch(const QString& name) {
        auto* process = new QProcess(this);
        m_processes.append(process);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_qs, u"offscreen"_qs);
        env.insert(u"XDG_DATA_HOME"_qs, dataHome(name));
        env.insert(u"XDG_CONFIG_HOME"_qs, m_dir.filePath(u"config-"_qs + name));
        env.insert(u"ORVALET_STANDIN_SOCKET"_qs, m_dir.filePath(u"no-standin/socket"_qs));
        process->setProcessEnvironment(env);
        process->start(QStringLiteral(ORVALET_BINARY), {});
        process->waitForStarted(10000);
        return process;
    }
    // True once the process over `name` listens for a second start, false if it ended first.
    bool waitUntilListening(QProcess* process, const QString& name) {
        for (QDeadlineTimer deadline(20000); !deadline.hasExpired(); QThread::msleep(20)) {
            if (QFileInfo::exists(SingleInstance::serverName(storeOf(name)))) {
                return true;
            }
            if (process->state() == QProcess::NotRunning) {
                return false;
            }
        }
        return false;
    }
    static bool endsWithStatusZero(QProcess* process) {
        if (process->state() != QProcess::NotRunning) {
            process->waitForFinished(20000);
        }
        if (process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0) {
            return true;
        }
        qWarning("status %d: %s", process->exitCode(), process->readAllStandardError().constData());
        return false;
    }

private Q_SLOTS:
    void initTestCase() {
        // The runtime folder where the sockets and locks are, for this test and the programs it starts.
        const QString runtime = m_dir.filePath(u"runtime"_qs);
        QVERIFY(QDir().mkpath(runtime));
        QFile::setPermissions(runtime,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
    }
    void cleanup() {
        for (QProcess* process : std::as_const(m_processes)) {
            process->kill();
            process->waitForFinished(5000);
        }
        qDeleteAll(m_processes);
        m_processes.clear();
    }

    // A second start over a store this process holds asks it for its window and ends, saying
    // nothing; the name is the same whichever way the store's path is written.
    void aSecondStartBringsTheFirstForwardAndEnds() {
        QVERIFY(QDir().mkpath(dataHome(u"a"_qs) + u"/Orvalet"_qs));
        SingleInstance first(dataHome(u"a"_qs) + u"/../data-a/Orvalet/Orvalet.store"_qs);
        QSignalSpy activated(&first, &SingleInstance::activationRequested);
        QCOMPARE(first.claim(), SingleInstance::Claim::first);
        QProcess* second = launch(u"a"_qs);
        // The event loop answers the second start while the test waits for it.
        QTRY_COMPARE_WITH_TIMEOUT(second->state(), QProcess::NotRunning, 20000);
        QVERIFY(endsWithStatusZero(second));
        QCOMPARE(second->readAllStandardError(), QByteArray());
        QCOMPARE(activated.count(), 1);
    }

    // Two programs: one over another store runs beside the first, one over the first's store ends
    // at once; when the first is killed and leaves its socket behind, the next start takes over.
    void anotherStoreRunsBesideAndAKilledOnesSocketIsTakenOver() {
        QProcess* first = launch(u"b"_qs);
        QVERIFY(waitUntilListening(first, u"b"_qs));
        QProcess* other = launch(u"c"_qs);
        QVERIFY(waitUntilListening(other, u"c"_qs));
        QProcess* again = launch(u"b"_qs);
        QVERIFY(endsWithStatusZero(again));
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(other->state(), QProcess::Running);

        first->kill();
        QVERIFY(first->waitForFinished(5000));
        const QString name = SingleInstance::serverName(storeOf(u"b"_qs));
        QVERIFY(QFileInfo::exists(name)); // the socket of a killed process stays
        QLocalSocket probe;
        probe.connectToServer(name);
        QVERIFY(!probe.waitForConnected(1000));

        SingleInstance next(storeOf(u"b"_qs));
        QCOMPARE(next.claim(), SingleInstance::Claim::first);
        QSignalSpy activated(&next, &SingleInstance::activationRequested);
        QProcess* last = launch(u"b"_qs);
        QTRY_COMPARE_WITH_TIMEOUT(last->state(), QProcess::NotRunning, 20000);
        QVERIFY(endsWithStatusZero(last));
        QCOMPARE(activated.count(), 1);
    }
};

QTEST_MAIN(SingleInstanceTests)
#include "SingleInstanceTests.moc"

// The stand-in as a separate process: its socket protocol, its command line, and StandInEngine.
#include "StandInEngine.h"
#include "StandInProcess.h"
#include "StandInServer.h"
#include "StandInTestSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QTemporaryFile>
#include <QtEndian>
#include <cstdio>
#include <cstring>
#include <future>
#include <iostream>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using orvalet::ScriptOutcome;
using orvalet::StandInEngine;
using standin::testing::tell;

namespace {

QByteArray frame(const QByteArray& payload) {
    char length[4];
    qToBigEndian(quint32(payload.size()), length);
    return QByteArray("T3SI") + QByteArray(length, 4) + payload;
}

QByteArray request(const QString& program) {
    return frame(
        QJsonDocument(QJsonObject{{QStringLiteral("program"), program}}).toJson(QJsonDocument::Compact));
}

// A client on a bare file descriptor, which writes and reads exactly when the test says so.
class RawClient final {
public:
    explicit RawClient(const QString& socketPath) {
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray native = QFile::encodeName(socketPath);
        std::memcpy(address.sun_path, native.constData(),
                    std::min<size_t>(native.size(), sizeof address.sun_path - 1));
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(m_fd);
            m_fd = -1;
            return;
        }
        const timeval limit{10, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    }
    ~RawClient() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    RawClient(const RawClient&) = delete;
    RawClient& operator=(const RawClient&) = delete;

    bool connected() const { return m_fd >= 0; }

    // Sends `bytes`, or as many of them as go before the server closes the connection.
    qint64 send(const QByteArray& bytes) {
        qint64 sent = 0;
        while (m_fd >= 0 && sent < bytes.size()) {
            const ssize_t n =
                ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
            if (n <= 0) {
                break;
            }
            sent += n;
        }
        return sent;
    }

    // What arrives within `timeoutMs`, until the server closes the connection or, with `oneFrame`,
    // until a whole frame has arrived.
    QByteArray receive(int timeoutMs, bool oneFrame = false, bool* closed = nullptr) {
        QByteArray received;
        QElapsedTimer waited;
        waited.start();
        char buffer[1 << 16];
        while (!oneFrame || received.size() < 8 ||
               received.size() < 8 + qFromBigEndian<quint32>(received.constData() + 4)) {
            pollfd ready{m_fd, POLLIN, 0};
            if (::poll(&ready, 1, int(std::max<qint64>(timeoutMs - waited.elapsed(), 0))) <= 0) {
                break;
            }
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            if (n <= 0) {
                if (closed != nullptr) {
                    *closed = true;
                }
                break;
            }
            received.append(buffer, n);
        }
        return received;
    }

    // The JSON of the answer frame that arrives within `timeoutMs`; empty when none does.
    QJsonObject answer(int timeoutMs) {
        const QByteArray received = receive(timeoutMs, true);
        if (received.size() < 8) {
            return {};
        }
        return QJsonDocument::fromJson(received.mid(8)).object();
    }

private:
    int m_fd = -1;
};

// Sends raw bytes and reads back one answer frame's JSON; an empty object when none came.
QJsonObject exchange(const QString& socketPath, const QByteArray& bytes) {
    RawClient client(socketPath);
    client.send(bytes);
    return client.answer(5000);
}

// The most memory the process has had resident, in kB (VmHWM).
qint64 peakMemoryKb(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').front().toLongLong();
        }
    }
    return -1;
}

// What `work` writes to standard error.
template <typename Work>
QByteArray standardErrorOf(Work work) {
    QTemporaryFile file;
    if (!file.open()) {
        return {};
    }
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    work();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    file.seek(0);
    return file.readAll();
}

// Orvalet and `status` both leave the socket alone, for `reason`: Orvalet reports Things 3 as not
// running and says why on standard error, `status` says it is not trusted and why.
void expectDistrusted(const QString& socketPath, const QString& reason) {
    std::optional<ScriptOutcome> outcome;
    const QByteArray said =
        standardErrorOf([&] { outcome = StandInEngine().run(QStringLiteral("return 1")); });
    ASSERT_TRUE(outcome && outcome->error) << reason.toStdString();
    EXPECT_EQ(outcome->error->number, -600);
    EXPECT_EQ(outcome->error->message, QStringLiteral("Things3 got an error: Application isn’t running."));
    EXPECT_EQ(outcome->error->briefMessage, QStringLiteral("Application isn’t running."));
    EXPECT_EQ(QString::fromUtf8(said), QStringLiteral("orvalet: not using the stand-in socket at ") +
                                           socketPath + QStringLiteral(": ") + reason + u'\n');
    QByteArray out;
    EXPECT_EQ(StandInProcess::command({QStringLiteral("status")}, &out), 3);
    EXPECT_EQ(QString::fromUtf8(out), QStringLiteral("the socket at ") + socketPath +
                                          QStringLiteral(" is not trusted: ") + reason + u'\n');
}

class ServerTest : public ::testing::Test {
protected:
    StandInProcess standIn;
};

TEST_F(ServerTest, answersProgramsAndSavesTheLibrary) {
    ASSERT_TRUE(standIn.start({QStringLiteral("--demo"), QStringLiteral("--transcript"),
                               standIn.filePath(QStringLiteral("t.log"))}));
    const StandInEngine engine;
    std::optional<ScriptOutcome> outcome = engine.run(tell(QStringLiteral("    return count of tags")));
    ASSERT_TRUE(outcome && outcome->result)
        << (outcome && outcome->error ? outcome->error->description.toStdString() : "");
    EXPECT_EQ(*outcome->result, QStringLiteral("60"));

    outcome = engine.run(tell(QStringLiteral("    set n to make new tag with properties {name: \"Fresh\"}\n"
                                             "    return id of n")));
    ASSERT_TRUE(outcome && outcome->result);
    const QString id = *outcome->result;
    EXPECT_EQ(standin::ThingsLibrary::load(standIn.libraryPath()).tag(id)->name, QStringLiteral("Fresh"));

    outcome = engine.run(tell(QStringLiteral("    delete tag \"Fresh\"")));
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->result);
    EXPECT_FALSE(outcome->error);

    outcome = engine.run(tell(QStringLiteral("    delete tag \"Fresh\"")));
    ASSERT_TRUE(outcome && outcome->error);
    EXPECT_EQ(outcome->error->message, QStringLiteral("Things3 got an error: Can’t get tag \"Fresh\"."));
    EXPECT_EQ(outcome->error->briefMessage, QStringLiteral("Can’t get tag \"Fresh\"."));
    EXPECT_EQ(outcome->error->number, -1728);
    EXPECT_TRUE(outcome->error->description.contains(QStringLiteral("-1728")));

    outcome = engine.run(QStringLiteral("return \"\\q\""));
    ASSERT_TRUE(outcome && outcome->error);
    EXPECT_EQ(outcome->error->number, -2741);

    QFile transcript(standIn.filePath(QStringLiteral("t.log")));
    ASSERT_TRUE(transcript.open(QIODevice::ReadOnly));
    const QString log = QString::fromUtf8(transcript.readAll());
    EXPECT_TRUE(log.contains(QStringLiteral("make new tag with properties {name: \"Fresh\"}")));
    EXPECT_TRUE(log.contains(QStringLiteral("Can’t get tag \\\"Fresh\\\".")));
}

// Only the user can reach the socket, and a socket that another user may have put there or may
// listen on is not used. Its folder must be this user's with mode 0700; the stand-in refuses to
// listen in any other.
TEST_F(ServerTest, aSocketInAFolderOthersMayUseIsNotUsed) {
    ASSERT_TRUE(standIn.start());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(standIn.socketPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & (S_IRWXG | S_IRWXO), 0u);
    const QString folder = QFileInfo(standIn.socketPath()).absolutePath();
    const QByteArray native = QFile::encodeName(folder);
    for (const mode_t mode : {0755, 0770}) {
        ASSERT_EQ(::chmod(native.constData(), mode), 0);
        expectDistrusted(standIn.socketPath(), QStringLiteral("the folder ") + folder +
                                                   QStringLiteral(" has mode 0") + QString::number(mode, 8) +
                                                   QStringLiteral(", not 0700"));
    }
    QByteArray out, err;
    EXPECT_EQ(StandInProcess::command({QStringLiteral("serve"), QStringLiteral("--library"),
                                       standIn.filePath(QStringLiteral("other.json"))},
                                      &out, &err),
              1);
    EXPECT_TRUE(err.contains(" has mode 0770, not 0700")) << err.toStdString();

    // This user's folder, socket file and stand-in: used, and the stand-in's uid checked on the way.
    ASSERT_EQ(::chmod(native.constData(), 0700), 0);
    const QByteArray said = standardErrorOf(
        [] { EXPECT_EQ(StandInEngine().run(QStringLiteral("return 1"))->result, QStringLiteral("1")); });
    EXPECT_EQ(said, QByteArray());
    EXPECT_EQ(StandInProcess::command({QStringLiteral("status")}), 0);
}

// Another user's folder, socket file or stand-in is not used either. Only root can make things
// another user's, so these cases need it (CI runs as root).
TEST(StandInSocket, anotherUsersFolderSocketOrStandInIsNotUsed) {
    if (::getuid() != 0) {
        GTEST_SKIP() << "making files and processes of another user needs root";
    }
    constexpr uid_t nobody = 65534;
    StandInProcess standIn;
    ASSERT_TRUE(standIn.start());
    const QString folder = QFileInfo(standIn.socketPath()).absolutePath();
    const QByteArray native = QFile::encodeName(folder);
    const QByteArray socketFile = QFile::encodeName(standIn.socketPath());
    ASSERT_EQ(::chown(native.constData(), nobody, nobody), 0);
    expectDistrusted(standIn.socketPath(),
                     QStringLiteral("the folder ") + folder + QStringLiteral(" is not owned by this user"));
    ASSERT_EQ(::chown(native.constData(), 0, 0), 0);
    ASSERT_EQ(::lchown(socketFile.constData(), nobody, nobody), 0);
    expectDistrusted(standIn.socketPath(), QStringLiteral("the socket file is not owned by this user"));
    ASSERT_EQ(::lchown(socketFile.constData(), 0, 0), 0);
    standIn.stop();

    // A stand-in of another user, whose socket file is then moved into this user's folder and made
    // this user's: only the peer's credentials tell.
    QTemporaryDir theirs;
    ASSERT_EQ(::chown(QFile::encodeName(theirs.path()).constData(), nobody, nobody), 0);
    QProcess other;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ORVALET_STANDIN_SOCKET"), theirs.filePath(QStringLiteral("socket")));
    other.setProcessEnvironment(environment);
    other.setChildProcessModifier([] {
        if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
            ::_exit(126);
        }
    });
    other.start(QStringLiteral(STANDIN_BINARY), {QStringLiteral("serve"), QStringLiteral("--library"),
                                                 theirs.filePath(QStringLiteral("library.json"))});
    QElapsedTimer waited;
    waited.start();
    while (!QFileInfo::exists(theirs.filePath(QStringLiteral("socket"))) && waited.elapsed() < 10000 &&
           other.state() != QProcess::NotRunning) {
        QThread::msleep(20);
    }
    ASSERT_TRUE(QFileInfo::exists(theirs.filePath(QStringLiteral("socket"))))
        << other.readAllStandardError().toStdString();
    ASSERT_EQ(::rename(QFile::encodeName(theirs.filePath(QStringLiteral("socket"))).constData(),
                       socketFile.constData()),
              0);
    ASSERT_EQ(::lchown(socketFile.constData(), 0, 0), 0);
    expectDistrusted(standIn.socketPath(),
                     QStringLiteral("the process listening there runs as user 65534, not as this user"));
    other.terminate();
    other.waitForFinished();
}

TEST_F(ServerTest, malformedRequestsGetAnErrorAndTheServerGoesOn) {
    ASSERT_TRUE(standIn.start());
    const QList<QByteArray> malformed = {
        QByteArray("GET / HTTP/1.1\r\n\r\n"),
        frame("not json at all"),
        frame(R"({"programme": "return 1"})"),
        frame(R"({"program": 42})"),
        frame(R"(["program"])"),
        QByteArray("T3SI") + QByteArray("\x7f\xff\xff\xff", 4), // a length far over the limit, never sent
        QByteArray("T3SI") + QByteArray("\x01\x00\x00\x01", 4) + QByteArray(64, 'x'),
    };
    for (const QByteArray& bytes : malformed) {
        const QJsonObject answer = exchange(standIn.socketPath(), bytes);
        const QJsonObject error = answer.value(u"error").toObject();
        EXPECT_EQ(error.value(u"kind").toString(), QStringLiteral("request")) << bytes.left(40).toStdString();
        EXPECT_EQ(error.value(u"number").toInt(), -50);
    }
    // A client that leaves halfway through a request does no harm either.
    ASSERT_EQ(RawClient(standIn.socketPath()).send(frame(R"({"program": "return 1"})").left(11)), 11);
    const QJsonObject fine = exchange(standIn.socketPath(), frame(R"({"program": "return \"still here\""})"));
    EXPECT_EQ(fine.value(u"result").toString(), QStringLiteral("still here"));
    EXPECT_FALSE(standIn.process().waitForFinished(100));
}

// A program of 14 MiB whose tree would take hundreds of megabytes, while idle clients fill every
// other connection and a greedy client sends request after request without reading the answers:
// the program fails with "Out of memory." when its tree reaches the budget, and an ordinary client
// is answered. The server reads a connection's next request only once the previous answer has
// left, so only the greedy client's first request runs, and it holds one answer, not one for each.
TEST_F(ServerTest, aHugeParseTreeOrAClientThatNeverReadsStayWithinTheServersMemory) {
    ASSERT_TRUE(standIn.start());
    const qint64 baseline = peakMemoryKb(standIn.process().processId());
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 13; ++i) {
        idle.push_back(std::make_unique<RawClient>(standIn.socketPath()));
    }
    RawClient greedy(standIn.socketPath());
    QByteArray requests;
    for (int i = 0; i < 8; ++i) {
        // Makes a tag, then answers 16 Mi characters, the longest text a program may make.
        requests += request(tell(QStringLiteral("make new tag with properties {name: \"T%1\"}\n").arg(i) +
                                 standin::testing::doubledText(QStringLiteral("xxxxxxxx"), 21) +
                                 QStringLiteral("return s")));
    }
    ASSERT_EQ(greedy.send(requests), requests.size());

    QString assignments;
    for (int i = 0; i < 725000; ++i) {
        assignments += QStringLiteral("set v%1 to %1\n").arg(i);
    }
    auto huge = std::async(std::launch::async, [&] {
        RawClient client(standIn.socketPath());
        client.send(request(assignments));
        return client.answer(30000);
    });
    for (int i = 0; i < 3; ++i) {
        QThread::msleep(300);
        const std::optional<ScriptOutcome> outcome =
            StandInEngine().run(tell(QStringLiteral("return count of tags")));
        ASSERT_TRUE(outcome && outcome->result);
        EXPECT_EQ(*outcome->result, QStringLiteral("1"));
    }
    EXPECT_EQ(huge.get().value(u"error").toObject().value(u"number").toInt(), -108);

    const qint64 peak = peakMemoryKb(standIn.process().processId());
    std::cout << "VmHWM of things3-standin serve: " << baseline << " kB at the start, " << peak
              << " kB after a 14 MiB program of " << assignments.count(u'\n')
              << " assignments, 13 idle clients and one pipelining 16 MiB answers\n";
    RecordProperty("VmHWM_kB", int(peak));
    EXPECT_LT(peak - baseline, 80 * 1024); // measured at about 64 MB; a second answer held adds 32
}

// 30 connections each announce a 16 MiB request and send only part of it. The server takes 16
// connections at once and holds at most 32 MiB of requests for all of them; the rest are refused,
// and an ordinary client is still served.
TEST_F(ServerTest, clientsThatNeverFinishTheirRequestsHoldBoundedMemory) {
    ASSERT_TRUE(standIn.start());
    QByteArray header("T3SI");
    header += QByteArray("\x01\x00\x00\x00", 4);
    std::vector<std::unique_ptr<RawClient>> clients;
    for (int i = 0; i < 30; ++i) {
        clients.push_back(std::make_unique<RawClient>(standIn.socketPath()));
        clients.back()->send(header + QByteArray(1 << 20, '{'));
    }
    for (const auto& client : clients) {
        client->send(QByteArray(5 << 18, '{'));
    }

    int tooManyConnections = 0;
    int tooManyBytes = 0;
    int waiting = 0;
    for (const auto& client : clients) {
        const QJsonObject error = client->answer(100).value(u"error").toObject();
        if (error.isEmpty()) {
            ++waiting;
            continue;
        }
        EXPECT_EQ(error.value(u"kind").toString(), QStringLiteral("request"));
        const QString message = error.value(u"message").toString();
        tooManyConnections += message.contains(QStringLiteral("16 connections, the most it takes at once"));
        tooManyBytes += message.contains(QStringLiteral("takes at most 33554432 at once"));
    }
    EXPECT_EQ(tooManyConnections, 14);
    EXPECT_GE(tooManyBytes, 1);
    EXPECT_EQ(waiting + tooManyConnections + tooManyBytes, 30);
    EXPECT_LE(waiting * 9 << 18, 32 << 20);

    const std::optional<ScriptOutcome> outcome = StandInEngine().run(QStringLiteral("return 1"));
    ASSERT_TRUE(outcome && outcome->result);
    EXPECT_EQ(*outcome->result, QStringLiteral("1"));
    const qint64 peak = peakMemoryKb(standIn.process().processId());
    std::cout << "VmHWM of things3-standin serve with 30 unfinished 16 MiB requests: " << peak << " kB\n";
    RecordProperty("VmHWM_kB", int(peak));
    EXPECT_LT(peak, 72 * 1024); // measured at about 62 MB
}

// An answer there is no memory to make is the engine's out-of-memory error, and the server goes on.
TEST_F(ServerTest, anAnswerThereIsNoMemoryForIsAnErrorAndTheServerGoesOn) {
    // Room for the program's text of 16 Mi control characters (32 MiB), not for its answer, where
    // each of them takes six bytes.
    standIn.process().setChildProcessModifier([] {
        const rlimit limit{100 << 20, 100 << 20};
        ::setrlimit(RLIMIT_DATA, &limit);
    });
    ASSERT_TRUE(standIn.start());
    const StandInEngine engine;
    std::optional<ScriptOutcome> outcome =
        engine.run(standin::testing::doubledText(QString(8, QChar(1)), 21) + QStringLiteral("return s"));
    ASSERT_TRUE(outcome && outcome->error);
    EXPECT_EQ(outcome->error->number, -108);
    EXPECT_EQ(outcome->error->message, QStringLiteral("Out of memory."));
    outcome = engine.run(QStringLiteral("return 1"));
    ASSERT_TRUE(outcome && outcome->result);
    EXPECT_EQ(*outcome->result, QStringLiteral("1"));
}

// Sixteen clients take every connection the server serves and then send nothing; one of them has
// been answered once. Another client, asking every 50 ms, is refused until the idle deadline closes
// them, and answered right after it.
TEST_F(ServerTest, connectionsThatSendNothingAreClosedAtTheIdleDeadline) {
    ASSERT_TRUE(standIn.start({QStringLiteral("--idle-ms"), QStringLiteral("1500")}));
    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 16; ++i) {
        idle.push_back(std::make_unique<RawClient>(standIn.socketPath()));
        ASSERT_TRUE(idle.back()->connected());
    }
    idle.front()->send(request(QStringLiteral("return 1")));
    EXPECT_EQ(idle.front()->answer(1000).value(u"result").toString(), QStringLiteral("1"));

    int refused = 0;
    qint64 answeredAt = -1;
    while (answeredAt < 0 && clock.elapsed() < 5000) {
        if (exchange(standIn.socketPath(), request(QStringLiteral("return 2"))).contains(u"result")) {
            answeredAt = clock.elapsed();
        } else {
            ++refused;
            QThread::msleep(50);
        }
    }
    std::cout << "a client locked out by 16 idle ones was answered after " << answeredAt
              << " ms, with an idle deadline of 1500 ms\n";
    EXPECT_GT(refused, 10);
    EXPECT_GE(answeredAt, 1400);
    EXPECT_LT(answeredAt, 2500);
    for (const auto& client : idle) {
        bool closed = false;
        client->receive(1000, false, &closed);
        EXPECT_TRUE(closed);
    }
}

TEST_F(ServerTest, twoClientsAtOnceAreServedOneAfterTheOther) {
    ASSERT_TRUE(standIn.start({QStringLiteral("--delay-ms"), QStringLiteral("400")}));
    QElapsedTimer clock;
    clock.start();
    auto ask = [&](const QString& name) {
        const StandInEngine engine;
        const auto outcome = engine.run(tell(QStringLiteral("    make new tag with properties {name: \"") +
                                             name + QStringLiteral("\"}\n    return count of tags")));
        return std::make_pair(outcome && outcome->result ? *outcome->result : QString(), clock.elapsed());
    };
    auto first = std::async(std::launch::async, ask, QStringLiteral("A"));
    auto second = std::async(std::launch::async, ask, QStringLiteral("B"));
    const auto [countA, timeA] = first.get();
    const auto [countB, timeB] = second.get();
    // Each program saw the other's tag or not: never both at once, never neither.
    EXPECT_EQ(QSet<QString>({countA, countB}), QSet<QString>({QStringLiteral("1"), QStringLiteral("2")}));
    // The second answer waits for the first one's delay and then its own.
    EXPECT_GE(std::max(timeA, timeB), 780);
    EXPECT_GE(std::min(timeA, timeB), 390);
}

// The texts of this error are checked with the sockets that are not trusted, above.
TEST_F(ServerTest, noStandInListeningIsTheApplicationNotRunningError) {
    const auto notRunning = [] {
        const std::optional<ScriptOutcome> outcome = StandInEngine().run(QStringLiteral("return 1"));
        return outcome && outcome->error && outcome->error->number == -600;
    };
    EXPECT_TRUE(notRunning());

    // A socket file left by a stand-in that was killed is no stand-in either, and a new one takes its place.
    ASSERT_TRUE(standIn.start());
    standIn.kill();
    EXPECT_TRUE(notRunning());
    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(StandInEngine().run(QStringLiteral("return 1"))->result, QStringLiteral("1"));
}

TEST(StandInEngine, noAnswerOrOneCutOffMidwayOrTooLateIsAnErrorNotAHang) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("socket"));
    qputenv("ORVALET_STANDIN_SOCKET", path.toUtf8());
    QLocalServer fake;
    ASSERT_TRUE(fake.listen(path));
    struct Behaviour {
        QByteArray sent;
        bool close;
        qint64 number;
    };
    const Behaviour behaviours[] = {
        {QByteArray(), true, -609},                                     // gone before answering
        {frame(R"({"result": "a long answer"})").left(14), true, -609}, // half an answer, then gone
        {QByteArray("T3S"), true, -609},                                // half a header
        {QByteArray("XXXX") + QByteArray(4, '\0'), true, -609},         // not a frame
        {frame(R"({"result": "late"})").left(10), false, -1712},        // half an answer, then silence
    };
    for (const Behaviour& b : behaviours) {
        const StandInEngine engine(std::chrono::milliseconds(800));
        auto pending = std::async(std::launch::async, [&] { return engine.run(QStringLiteral("return 1")); });
        ASSERT_TRUE(fake.waitForNewConnection(5000));
        QLocalSocket* client = fake.nextPendingConnection();
        client->waitForReadyRead(2000);
        client->write(b.sent);
        client->waitForBytesWritten(1000);
        if (b.close) {
            client->disconnectFromServer();
        }
        const std::optional<ScriptOutcome> outcome = pending.get();
        ASSERT_TRUE(outcome && outcome->error) << b.sent.toStdString();
        EXPECT_EQ(outcome->error->number, b.number) << b.sent.toStdString();
        delete client;
    }
}

// Runs the event loop of this thread, where a server of the test's own answers, until `work` is done.
template <typename T>
T whileServing(std::future<T> work) {
    while (work.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready) {
        QCoreApplication::processEvents();
    }
    return work.get();
}

// The deadlines, on a server in this process with limits short enough to wait for.
TEST(StandInServer, aRequestLeftUnfinishedOrAnAnswerLeftUntakenIsDroppedInTime) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("socket"));
    standin::ThingsLibrary library;
    standin::ProgramRunner runner(library, QString());
    standin::ServerLimits limits;
    limits.frameDeadline = std::chrono::milliseconds(300);
    limits.answerDeadline = std::chrono::milliseconds(300);
    standin::StandInServer server(runner, limits);
    QString why;
    ASSERT_TRUE(server.listen(path, why)) << why.toStdString();

    // Half a request, then nothing: refused once the deadline has passed, not before.
    const QJsonObject refusal = whileServing(std::async(
        std::launch::async, [&] { return exchange(path, request(QStringLiteral("return 1")).left(12)); }));
    EXPECT_EQ(refusal.value(u"error").toObject().value(u"message").toString(),
              QStringLiteral("The stand-in could not read the request: it did not arrive whole within 0.3 "
                             "seconds."));

    // An answer of 8 MiB that the client does not read: the connection is closed with the answer
    // unfinished, and the server is free again.
    const auto [received, closed] = whileServing(std::async(std::launch::async, [&] {
        RawClient client(path);
        client.send(request(standin::testing::doubledText(QStringLiteral("xxxxxxxx"), 20) +
                            QStringLiteral("return s")));
        QThread::msleep(1000);
        bool closed = false;
        const QByteArray received = client.receive(3000, false, &closed);
        return std::make_pair(received.size(), closed);
    }));
    EXPECT_TRUE(closed);
    EXPECT_LT(received, 8 << 20);
    const QJsonObject fine = whileServing(std::async(std::launch::async, [&] {
        return exchange(path, request(QStringLiteral("return \"still here\"")));
    }));
    EXPECT_EQ(fine.value(u"result").toString(), QStringLiteral("still here"));
}

// Both sides take requests of up to 16 MiB: `return "xxx…"` is 25 bytes of JSON around the x's.
TEST_F(ServerTest, requestsUpToTheSizeLimitAreAnsweredAndLargerOnesMakeNoScript) {
    ASSERT_TRUE(standIn.start());
    const qsizetype fitting = (16 << 20) - 25;
    const QString text(fitting, u'x');
    const std::optional<ScriptOutcome> outcome =
        StandInEngine().run(QStringLiteral("return \"") + text + QStringLiteral("\""));
    ASSERT_TRUE(outcome && outcome->result)
        << (outcome && outcome->error ? outcome->error->description.toStdString() : "");
    EXPECT_EQ(*outcome->result, text);
    EXPECT_FALSE(StandInEngine().run(QStringLiteral("return \"") + text + QStringLiteral("x\"")));
}

// The one-shot commands answer as osascript does, and refuse what they cannot do with their exit
// codes: a corrupt library (left as it was), a library that exists already, a second server.
TEST(StandInCommandLine, commandsAnswerAsOsascriptAndRefuseWithTheirExitCodes) {
    StandInProcess standIn;
    const QByteArray corrupt =
        R"({"format": "things3-standin library", "version": 1, "tags": [{"id": "A"}]})";
    QFile file(standIn.filePath(u"corrupt.json"_qs));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(corrupt) == corrupt.size());
    file.close();
    const QByteArray syntaxError = "return \"caf\\u00e9\" & 1";
    const QByteArray make = "tell application \"Things3\"\nmake new tag with properties {name: \"Ünï\"}\n"
                            "return (name of tag \"ÜNÏ\") & 7\nend tell";
    const QByteArray deleteNope = "tell application \"Things3\"\n    delete tag \"Nope\"\nend tell";
    const struct {
        QString command; // {dir} is the library's folder
        QByteArray input;
        int exitCode;
        QString said; // what standard output holds for exit code 0, standard error for any other
    } commands[] = {
        {u"run --library {dir}/library.json -"_qs, syntaxError, 1,
         u"11:13: syntax error: Expected “\"” but found unknown token. (-2741)\n"_qs},
        {u"run --library {dir}/library.json"_qs, make, 0, u"Ünï7\n"_qs},
        {u"run --library {dir}/library.json"_qs, deleteNope, 1,
         u"38:48: execution error: Things3 got an error: Can’t get tag \"Nope\". (-1728)\n"_qs},
        {u"run --library {dir}/corrupt.json"_qs, make, 1, u"not a stand-in library"_qs},
        {u"serve --library {dir}/corrupt.json"_qs, {}, 1, u"not a stand-in library"_qs},
        {u"seed --library {dir}/library.json"_qs, {}, 2, {}},
        {u"seed --random 300 --depth 3 --library {dir}/seeded.json"_qs, {}, 0, {}},
        {u"status"_qs, {}, 3, {}},
    };
    for (const auto& c : commands) {
        SCOPED_TRACE(c.command.toStdString());
        QStringList arguments = c.command.split(u' ');
        arguments.replaceInStrings(u"{dir}"_qs, QFileInfo(standIn.libraryPath()).path());
        QByteArray out, err;
        EXPECT_EQ(StandInProcess::command(arguments, &out, &err, c.input), c.exitCode);
        EXPECT_TRUE(QString::fromUtf8(c.exitCode == 0 ? out : err).contains(c.said))
            << QByteArray(out + err).toStdString();
    }
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), corrupt);
    EXPECT_EQ(standin::ThingsLibrary::load(standIn.filePath(u"seeded.json"_qs)).tagCount(), 300);

    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(StandInProcess::command({u"status"_qs}), 0);
    QByteArray out, err;
    EXPECT_EQ(StandInProcess::command({u"serve"_qs, u"--library"_qs, standIn.libraryPath()}, &out, &err), 1);
    EXPECT_TRUE(err.contains("already listening")) << err.toStdString();
}

} // namespace

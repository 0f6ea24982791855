// The stand-in as a separate process: its socket protocol, its command line, and StandInEngine.
#include "StandInEngine.h"
#include "StandInProcess.h"
#include "StandInServer.h"
#include "StandInTestSupport.h"
#include "WireProtocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QtEndian>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <iostream>
#include <limits>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using orvalet::ScriptOutcome;
using orvalet::StandInEngine;
using standin::WireProtocol;
using standin::testing::tell;

namespace {

QByteArray request(const QString& program) {
    return WireProtocol::frame(WireProtocol::requestPayload(program));
}

// A client on a bare file descriptor, which writes and reads exactly when the test says so. It
// connects to the socket Orvalet would use unless told another.
class RawClient final {
public:
    explicit RawClient(const QString& socketPath = qEnvironmentVariable("ORVALET_STANDIN_SOCKET"))
        : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
        std::strncpy(address.sun_path, QFile::encodeName(socketPath).constData(),
                     sizeof address.sun_path - 1);
        const timeval limit{10, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            ::close(std::exchange(m_fd, -1));
        }
    }
    ~RawClient() { ::close(m_fd); }
    RawClient(const RawClient&) = delete;

    // Sends `bytes`, or as many of them as go before the server closes the connection.
    qint64 send(const QByteArray& bytes) {
        qint64 sent = 0;
        for (ssize_t n = 1; n > 0 && sent < bytes.size(); sent += std::max<ssize_t>(n, 0)) {
            n = ::send(m_fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        }
        return sent;
    }

    // What arrives within `timeoutMs`, until the server closes the connection (then `closed` is set)
    // or, with `oneFrame`, until a whole frame has arrived.
    QByteArray receive(int timeoutMs, bool oneFrame = false) {
        QByteArray received;
        QElapsedTimer waited;
        waited.start();
        char buffer[1 << 16];
        pollfd ready{m_fd, POLLIN, 0};
        while ((!oneFrame || received.size() < 8 ||
                received.size() < 8 + qFromBigEndian<quint32>(received.constData() + 4)) &&
               !closed && ::poll(&ready, 1, int(std::max<qint64>(timeoutMs - waited.elapsed(), 0))) > 0) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof buffer, 0);
            closed = n <= 0;
            received.append(buffer, std::max<ssize_t>(n, 0));
        }
        return received;
    }

    // The JSON of the answer frame that arrives within `timeoutMs`; empty when none does.
    QJsonObject answer(int timeoutMs) {
        return QJsonDocument::fromJson(receive(timeoutMs, true).mid(8)).object();
    }

    // Waits, reading nothing, until something has arrived; false when nothing has within `timeoutMs`.
    bool waitForBytes(int timeoutMs) {
        pollfd ready{m_fd, POLLIN, 0};
        return ::poll(&ready, 1, timeoutMs) > 0 && (ready.revents & POLLIN) != 0;
    }

    // Waits, reading nothing, until the server has closed the connection; false when it has not
    // within `timeoutMs`. What it sent before stays there to be received.
    bool waitForHangUp(int timeoutMs) {
        pollfd ready{m_fd, 0, 0}; // a hang-up is reported whatever is asked for
        return ::poll(&ready, 1, timeoutMs) > 0 && (ready.revents & POLLHUP) != 0;
    }

    bool closed = false;

private:
    int m_fd;
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
    status.open(QIODevice::ReadOnly);
    const auto match =
        QRegularExpression(u"VmHWM:\\s*(\\d+)"_qs).match(QString::fromLatin1(status.readAll()));
    if (!match.hasMatch()) {
        ADD_FAILURE() << "no VmHWM in /proc/" << pid << "/status"; // no bound may pass unmeasured
    }
    return match.hasMatch() ? match.captured(1).toLongLong() : std::numeric_limits<qint64>::max();
}

// The CPU time the process has used so far, in milliseconds.
qint64 cpuTimeMs(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return 0;
    }
    // The fields after the command's name, which ends with the last ')': state first, then
    // utime and stime 12 and 13 fields later, in clock ticks.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) {
        return 0;
    }
    return (fields[11].toLongLong() + fields[12].toLongLong()) * 1000 / ::sysconf(_SC_CLK_TCK);
}

// What `work` writes to standard error.
template <typename Work>
QByteArray standardErrorOf(Work work) {
    QTemporaryFile file;
    EXPECT_TRUE(file.open());
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
    const QByteArray said = standardErrorOf([&] { outcome = StandInEngine().run(u"return 1"_qs); });
    ASSERT_TRUE(outcome && outcome->error) << reason.toStdString();
    EXPECT_EQ(outcome->error->number, -600);
    EXPECT_EQ(outcome->error->message, u"Things3 got an error: Application isn’t running."_qs);
    EXPECT_EQ(outcome->error->briefMessage, u"Application isn’t running."_qs);
    EXPECT_EQ(QString::fromUtf8(said), QString(u"orvalet: not using the stand-in socket at "_qs + socketPath +
                                               u": "_qs + reason + u'\n'));
    QByteArray out;
    EXPECT_EQ(StandInProcess::command({u"status"_qs}, &out), 3);
    EXPECT_EQ(QString::fromUtf8(out),
              QString(u"the socket at "_qs + socketPath + u" is not trusted: "_qs + reason + u'\n'));
}

class ServerTest : public ::testing::Test {
protected:
    StandInProcess standIn;
};

// No stand-in listening, or a socket file left by one that was killed, is the application-not-running
// error (its texts are checked with the sockets that are not trusted, below); a stand-in answers
// programs, saves the library, keeps its transcript, and a new one takes a dead one's place.
TEST_F(ServerTest, answersProgramsAndSavesTheLibraryOrIsNotRunning) {
    EXPECT_EQ(answer(u"return 1"_qs), u"error -600"_qs);
    const QString log = standIn.filePath(u"t.log"_qs);
    ASSERT_TRUE(standIn.start({u"--demo"_qs, u"--transcript"_qs, log}));
    EXPECT_EQ(answer(tell(u"return count of tags"_qs)), u"60"_qs);
    const QString id =
        answer(tell(u"set n to make new tag with properties {name: \"Fresh\"}\nreturn id of n"_qs));
    EXPECT_EQ(standin::ThingsLibrary::load(standIn.libraryPath()).tag(id)->name, u"Fresh"_qs);
    EXPECT_EQ(answer(tell(u"delete tag \"Fresh\""_qs)), u"(no result)"_qs);

    const std::optional<ScriptOutcome> outcome = StandInEngine().run(tell(u"delete tag \"Fresh\""_qs));
    ASSERT_TRUE(outcome && outcome->error);
    EXPECT_EQ(outcome->error->message, u"Things3 got an error: Can’t get tag \"Fresh\"."_qs);
    EXPECT_EQ(outcome->error->briefMessage, u"Can’t get tag \"Fresh\"."_qs);
    EXPECT_EQ(outcome->error->number, -1728);
    EXPECT_TRUE(outcome->error->description.contains(u"-1728"_qs));
    EXPECT_EQ(answer(u"return \"\\q\""_qs), u"error -2741"_qs);

    QFile transcript(log);
    ASSERT_TRUE(transcript.open(QIODevice::ReadOnly));
    const QString logged = QString::fromUtf8(transcript.readAll());
    EXPECT_TRUE(logged.contains(u"make new tag with properties {name: \"Fresh\"}"_qs));
    EXPECT_TRUE(logged.contains(u"Can’t get tag \\\"Fresh\\\"."_qs));

    standIn.kill();
    EXPECT_EQ(answer(u"return 1"_qs), u"error -600"_qs);
    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(answer(u"return 1"_qs), u"1"_qs);
}

// Only the user can reach the socket, and a socket that another user may have put there or may
// listen on is not used: its folder must be this user's with mode 0700 (the stand-in refuses to
// listen in any other), and the socket file and the stand-in listening there this user's.
TEST_F(ServerTest, aSocketThatOthersMayHavePutThereOrListenOnIsNotUsed) {
    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(QFile::permissions(standIn.socketPath()).toInt() & 0x0077, 0); // none for the group or others
    const QString folder = QFileInfo(standIn.socketPath()).absolutePath();
    const QByteArray nativeFolder = QFile::encodeName(folder),
                     socket = QFile::encodeName(standIn.socketPath());
    for (const mode_t mode : {0755, 0770}) {
        ASSERT_EQ(::chmod(nativeFolder.constData(), mode), 0);
        expectDistrusted(standIn.socketPath(), u"the folder "_qs + folder + u" has mode 0"_qs +
                                                   QString::number(mode, 8) + u", not 0700"_qs);
    }
    QByteArray err;
    EXPECT_EQ(StandInProcess::command({u"serve"_qs, u"--library"_qs, standIn.filePath(u"b.json"_qs)}, nullptr,
                                      &err),
              1);
    EXPECT_TRUE(err.contains(" has mode 0770, not 0700")) << err.toStdString();

    // This user's folder, socket file and stand-in: used, and the stand-in's uid checked on the way.
    ASSERT_EQ(::chmod(nativeFolder.constData(), 0700), 0);
    EXPECT_EQ(standardErrorOf([] { EXPECT_EQ(answer(u"return 1"_qs), u"1"_qs); }), QByteArray());
    EXPECT_EQ(StandInProcess::command({u"status"_qs}), 0);

    if (::getuid() != 0) { // CI runs as root
        GTEST_SKIP() << "making files and processes of another user needs root";
    }
    constexpr uid_t nobody = 65534;
    ASSERT_EQ(::chown(nativeFolder.constData(), nobody, nobody), 0);
    expectDistrusted(standIn.socketPath(), u"the folder "_qs + folder + u" is not owned by this user"_qs);
    ASSERT_EQ(::chown(nativeFolder.constData(), 0, 0), 0);
    ASSERT_EQ(::lchown(socket.constData(), nobody, nobody), 0);
    expectDistrusted(standIn.socketPath(), u"the socket file is not owned by this user"_qs);
    standIn.stop();

    // A stand-in of another user, whose socket file is then moved into this user's folder and made
    // this user's: only the peer's credentials tell.
    StandInProcess theirs;
    ASSERT_EQ(::chown(QFile::encodeName(QFileInfo(theirs.socketPath()).path()).constData(), nobody, nobody),
              0);
    theirs.process().setChildProcessModifier([] {
        if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
            ::_exit(126);
        }
    });
    ASSERT_TRUE(theirs.start()) << theirs.process().readAllStandardError().toStdString();
    qputenv("ORVALET_STANDIN_SOCKET", socket);
    ASSERT_EQ(::rename(QFile::encodeName(theirs.socketPath()).constData(), socket.constData()), 0);
    ASSERT_EQ(::lchown(socket.constData(), 0, 0), 0);
    expectDistrusted(standIn.socketPath(),
                     u"the process listening there runs as user 65534, not as this user"_qs);
}

// Requests that are no frame of a JSON object with a program text, or whose frame is longer than
// 16 MiB, are refused, and so is a client that leaves halfway through one; the server goes on.
// Both sides take requests of up to 16 MiB: `return "xxx…"` is 25 bytes of JSON around the x's.
TEST_F(ServerTest, malformedOrOversizedRequestsAreRefusedAndTheServerGoesOn) {
    ASSERT_TRUE(standIn.start());
    // The last two announce a length far over the limit, never sent, and one just over it.
    const QByteArray malformed[] = {QByteArray("GET / HTTP/1.1\r\n\r\n"),
                                    WireProtocol::frame("not json at all"),
                                    WireProtocol::frame(R"({"programme": "return 1"})"),
                                    WireProtocol::frame(R"({"program": 42})"),
                                    WireProtocol::frame(R"(["program"])"),
                                    QByteArray("T3SI\x7f\xff\xff\xff", 8),
                                    QByteArray("T3SI\x01\x00\x00\x01", 8) + QByteArray(64, 'x')};
    for (const QByteArray& bytes : malformed) {
        const QJsonObject error = exchange(standIn.socketPath(), bytes).value(u"error").toObject();
        EXPECT_EQ(error.value(u"kind").toString(), u"request"_qs) << bytes.left(40).toStdString();
        EXPECT_EQ(error.value(u"number").toInt(), -50);
    }
    ASSERT_EQ(RawClient(standIn.socketPath()).send(request(u"return 1"_qs).left(11)), 11);

    const QString text((16 << 20) - 25, u'x');
    EXPECT_TRUE(answer(u"return \""_qs + text + u'"') == text);
    EXPECT_EQ(answer(u"return \""_qs + text + u"x\""_qs), u"no script"_qs);
    EXPECT_EQ(answer(u"return \"still here\""_qs), u"still here"_qs);
}

// A program of 14 MiB whose tree would take hundreds of megabytes, while idle clients fill every
// other connection and a greedy client sends request after request without reading the answers:
// the program fails with "Out of memory." when its tree reaches the budget, and an ordinary client
// is answered. The server reads a connection's next request only once the previous answer has
// left, so only the greedy client's first request runs, and it holds one answer, not one for each.
TEST_F(ServerTest, aHugeParseTreeOrAClientThatNeverReadsStayWithinTheServersMemory) {
    ASSERT_TRUE(standIn.start());
    const qint64 baseline = peakMemoryKb(standIn.process().processId());
    const std::deque<RawClient> idle(13);
    RawClient greedy(standIn.socketPath());
    QByteArray requests;
    for (int i = 0; i < 8; ++i) {
        // Makes a tag, then answers 16 Mi characters, the longest text a program may make.
        requests += request(tell(u"make new tag with properties {name: \"T%1\"}\n"_qs.arg(i) +
                                 standin::testing::doubledText(u"xxxxxxxx"_qs, 21) + u"return s"_qs));
    }
    ASSERT_EQ(greedy.send(requests), requests.size());

    QString assignments;
    for (int i = 0; i < 725000; ++i) {
        assignments += u"set v%1 to %1\n"_qs.arg(i);
    }
    auto huge =
        std::async(std::launch::async, [&] { return exchange(standIn.socketPath(), request(assignments)); });
    for (int i = 0; i < 3; ++i) {
        QThread::msleep(300);
        EXPECT_EQ(answer(tell(u"return count of tags"_qs)), u"1"_qs);
    }
    EXPECT_EQ(huge.get().value(u"error").toObject().value(u"number").toInt(), -108);

    const qint64 peak = peakMemoryKb(standIn.process().processId());
    std::cout << "VmHWM of things3-standin serve: " << baseline << " kB at the start, " << peak
              << " kB after a 14 MiB program, 13 idle clients and one pipelining 16 MiB answers\n";
    EXPECT_LT(peak - baseline, 80 * 1024); // measured at about 64 MB; a second answer held adds 32
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
    const std::optional<ScriptOutcome> outcome =
        StandInEngine().run(standin::testing::doubledText(QString(8, QChar(1)), 21) + u"return s"_qs);
    ASSERT_TRUE(outcome && outcome->error);
    EXPECT_EQ(outcome->error->number, -108);
    EXPECT_EQ(outcome->error->message, u"Out of memory."_qs);
    EXPECT_EQ(answer(u"return 1"_qs), u"1"_qs);
}

// A list doubled forty times is forty lists, but a trillion items to anything that walks it whole:
// returning it is the engine's out-of-memory error, answered at once, and the server goes on to
// answer the next client rather than walk the trillion items.
TEST_F(ServerTest, aResultOfATrillionItemsIsAnErrorAndTheServerGoesOn) {
    ASSERT_TRUE(standIn.start());
    const QString doubling = u"set x to {1}\nrepeat 40 times\n    set x to {x, x}\nend repeat\nreturn x"_qs;
    QElapsedTimer clock;
    clock.start();
    // A server that never answers would be taken for one timing out after these 10 seconds.
    EXPECT_EQ(answer(doubling, StandInEngine(std::chrono::seconds(10))), u"error -108"_qs);
    std::cout << "a result of a trillion items was answered in " << clock.elapsed() << " ms\n";
    EXPECT_LT(clock.elapsed(), 1000); // measured at a few milliseconds
    EXPECT_EQ(answer(u"return 1"_qs), u"1"_qs);
}

// A server told to end (SIGTERM) while a program runs ends at once: the program stops at its next
// step with the error of an application that quit under it, what it did before is saved, and the
// socket goes with the server. A program that runs to the end of its budget takes seconds.
TEST_F(ServerTest, aServerToldToEndStopsTheProgramItRuns) {
    ASSERT_TRUE(standIn.start());
    const qint64 pid = standIn.process().processId();
    const qint64 idle = cpuTimeMs(pid);
    auto running = std::async(std::launch::async, [] {
        return answer(tell(u"make new tag with properties {name: \"Started\"}\nrepeat\nend repeat"_qs));
    });
    // The server spends its time on nothing but the program, so once it has spent some, the
    // program runs, however busy the machine.
    for (QDeadlineTimer deadline(20000); cpuTimeMs(pid) < idle + 200 && !deadline.hasExpired();) {
        QThread::msleep(10);
    }
    ASSERT_GE(cpuTimeMs(pid), idle + 200);
    standIn.process().terminate();
    ASSERT_TRUE(standIn.process().waitForFinished(10000));
    EXPECT_EQ(standIn.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(standIn.process().exitCode(), 0);
    EXPECT_EQ(running.get(), u"error -609"_qs);
    EXPECT_EQ(standin::ThingsLibrary::load(standIn.libraryPath()).tagCount(), 1);
    EXPECT_FALSE(QFileInfo::exists(standIn.socketPath()));
}

// Clients asking at once are served one after the other. Clients that take connections and send
// nothing, or never finish their requests, hold them only until a deadline, and in bounded memory.
TEST_F(ServerTest, clientsAreServedInTurnAndThoseHoldingConnectionsAreBoundedInTimeAndMemory) {
    ASSERT_TRUE(standIn.start({u"--idle-ms"_qs, u"1500"_qs, u"--delay-ms"_qs, u"400"_qs}));
    QElapsedTimer clock;
    clock.start();
    // Each program sees the other's tag or not, never both at once or neither; the second answer
    // waits for the first one's delay and then its own.
    const auto ask = [&](const QString& name) {
        const QString count = answer(
            tell(u"make new tag with properties {name: \""_qs + name + u"\"}\nreturn count of tags"_qs));
        return std::pair(count, clock.elapsed());
    };
    auto first = std::async(std::launch::async, ask, u"A"_qs);
    const auto [countB, timeB] = ask(u"B"_qs);
    const auto [countA, timeA] = first.get();
    EXPECT_EQ(QSet<QString>({countA, countB}), QSet<QString>({u"1"_qs, u"2"_qs}));
    EXPECT_GE(std::max(timeA, timeB), 780);
    EXPECT_GE(std::min(timeA, timeB), 390);
    QThread::msleep(200); // for the server to see those clients gone

    // Sixteen clients take every connection and send nothing, one after being answered once. Another
    // client, asking every 50 ms, is refused until the idle deadline closes them, and answered right
    // after it, with the answer delay.
    clock.restart();
    std::deque<RawClient> idle(16);
    idle.front().send(request(u"return 1"_qs));
    EXPECT_EQ(idle.front().answer(1000).value(u"result").toString(), u"1"_qs);
    int refused = 0;
    while (!exchange(standIn.socketPath(), request(u"return 2"_qs)).contains(u"result") &&
           clock.elapsed() < 6000) {
        ++refused;
        QThread::msleep(50);
    }
    const qint64 answeredAt = clock.elapsed();
    std::cout << "a client locked out by 16 idle ones was answered after " << answeredAt
              << " ms, with an idle deadline of 1500 ms and an answer delay of 400 ms\n";
    EXPECT_GT(refused, 10);
    EXPECT_GE(answeredAt, 1800);
    EXPECT_LT(answeredAt, 2900);
    for (RawClient& client : idle) {
        client.receive(1000);
        EXPECT_TRUE(client.closed);
    }
    QThread::msleep(200);

    // 30 connections each announce a 16 MiB request and send only part of it. The server takes 16
    // connections at once and holds at most 32 MiB of requests for all of them; the rest are refused,
    // and an ordinary client is still served.
    std::deque<RawClient> clients(30);
    for (RawClient& client : clients) {
        client.send(QByteArray("T3SI\x01\x00\x00\x00", 8) + QByteArray(1 << 20, '{'));
    }
    for (RawClient& client : clients) {
        client.send(QByteArray(5 << 18, '{'));
    }
    int tooManyConnections = 0, tooManyBytes = 0, waiting = 0;
    for (RawClient& client : clients) {
        const QJsonObject error = client.answer(100).value(u"error").toObject();
        waiting += error.isEmpty();
        tooManyConnections +=
            error.value(u"message").toString().contains(u"16 connections, the most it takes");
        tooManyBytes += error.value(u"message").toString().contains(u"takes at most 33554432 at once");
    }
    EXPECT_EQ(tooManyConnections, 14);
    EXPECT_GE(tooManyBytes, 1);
    EXPECT_EQ(waiting + tooManyConnections + tooManyBytes, 30);
    EXPECT_LE(waiting * 9 << 18, 32 << 20);
    EXPECT_EQ(answer(u"return 1"_qs), u"1"_qs);
    const qint64 peak = peakMemoryKb(standIn.process().processId());
    std::cout << "VmHWM of things3-standin serve with 30 unfinished 16 MiB requests: " << peak << " kB\n";
    EXPECT_LT(peak, 72 * 1024); // measured at about 62 MB
}

TEST(StandInEngine, noAnswerOrOneCutOffMidwayOrTooLateIsAnErrorNotAHang) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"socket"_qs);
    qputenv("ORVALET_STANDIN_SOCKET", path.toUtf8());
    QLocalServer fake;
    ASSERT_TRUE(fake.listen(path));
    const std::tuple<QByteArray, bool, qint64> behaviours[] = {
        // What the server sends, whether it then closes the connection, and the error.
        {"", true, -609},                                                      // gone before answering
        {WireProtocol::frame(R"({"result": "answer"})").left(14), true, -609}, // half an answer, then gone
        {"T3S", true, -609},                                                   // half a header
        {QByteArray("XXXX\0\0\0\0", 8), true, -609},                           // not a frame
        {WireProtocol::frame(R"({"result": "late"})").left(10), false, -1712}, // half an answer, then silence
    };
    for (const auto& [sent, close, number] : behaviours) {
        const StandInEngine engine(std::chrono::milliseconds(800));
        auto pending = std::async(std::launch::async, [&] { return answer(u"return 1"_qs, engine); });
        ASSERT_TRUE(fake.waitForNewConnection(5000));
        std::unique_ptr<QLocalSocket> client(fake.nextPendingConnection());
        client->waitForReadyRead(2000);
        client->write(sent);
        client->waitForBytesWritten(1000);
        if (close) {
            client->disconnectFromServer();
        }
        EXPECT_EQ(pending.get(), QString(u"error "_qs + QString::number(number))) << sent.toStdString();
    }
}

// The frame and answer deadlines, on a server in this process with limits short enough to wait for.
TEST(StandInServer, aRequestLeftUnfinishedOrAnAnswerLeftUntakenIsDroppedInTime) {
    QTemporaryDir dir;
    const QString path = dir.filePath(u"socket"_qs);
    standin::ThingsLibrary library;
    standin::ProgramRunner runner(library, QString());
    standin::StandInServer server(runner, {.frameDeadline = std::chrono::milliseconds(300),
                                           .answerDeadline = std::chrono::milliseconds(300)});
    QString why;
    ASSERT_TRUE(server.listen(path, why)) << why.toStdString();
    // Runs the event loop of this thread, where the server answers, until `work` is done.
    const auto whileServing = [](auto work) {
        auto done = std::async(std::launch::async, work);
        while (done.wait_for(std::chrono::milliseconds(2)) != std::future_status::ready) {
            QCoreApplication::processEvents();
        }
        return done.get();
    };

    // Half a request, then nothing: refused once the deadline has passed.
    const QJsonObject refusal =
        whileServing([&] { return exchange(path, request(u"return 1"_qs).left(12)); });
    EXPECT_EQ(refusal.value(u"error").toObject().value(u"message").toString(),
              u"The stand-in could not read the request: it did not arrive whole within 0.3 seconds."_qs);

    // An answer of 8 MiB that the client does not read: once the answer has begun, the connection
    // is closed within a second, with the answer unfinished, and the server is free again. The
    // second is counted from the answer's first bytes, so that the time the program and its answer
    // take to make on a busy machine does not count against the deadline.
    struct Untaken {
        bool began = false, hungUp = false, closed = false;
        qint64 answeredAfter = 0, hungUpAfter = 0; // milliseconds after the request was sent
        qsizetype received = 0;
    };
    const Untaken untaken = whileServing([&] {
        Untaken seen;
        RawClient client(path);
        QElapsedTimer clock;
        clock.start();
        client.send(request(standin::testing::doubledText(u"xxxxxxxx"_qs, 20) + u"return s"_qs));
        seen.began = client.waitForBytes(10000);
        seen.answeredAfter = clock.elapsed();
        seen.hungUp = seen.began && client.waitForHangUp(1000);
        seen.hungUpAfter = clock.elapsed();
        seen.received = client.receive(3000).size();
        seen.closed = client.closed;
        return seen;
    });
    std::cout << "an untaken answer began " << untaken.answeredAfter << " ms after its request, and "
              << (untaken.hungUp ? "was dropped " : "was not dropped within ")
              << untaken.hungUpAfter - untaken.answeredAfter << " ms after that\n";
    ASSERT_TRUE(untaken.began);
    EXPECT_TRUE(untaken.hungUp);
    EXPECT_GE(untaken.hungUpAfter, 300); // not before the deadline
    EXPECT_TRUE(untaken.closed);
    EXPECT_GT(untaken.received, 0);
    EXPECT_LT(untaken.received, 8 << 20);
    const QJsonObject fine =
        whileServing([&] { return exchange(path, request(u"return \"still here\""_qs)); });
    EXPECT_EQ(fine.value(u"result").toString(), u"still here"_qs);
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
    const QByteArray make = "tell application \"Things3\"\nmake new tag with properties {name: \"Ünï\"}\n"
                            "return (name of tag \"ÜNÏ\") & 7\nend tell";
    const struct {
        QString command; // {dir} is the library's folder
        QByteArray input;
        int exitCode;
        QString said; // what standard output holds for exit code 0, standard error for any other
    } commands[] = {
        {u"run --library {dir}/library.json -"_qs, "return \"caf\\u00e9\" & 1", 1,
         u"11:13: syntax error: Expected “\"” but found unknown token. (-2741)\n"_qs},
        {u"run --library {dir}/library.json"_qs, make, 0, u"Ünï7\n"_qs},
        {u"run --library {dir}/library.json"_qs,
         "tell application \"Things3\"\n    delete tag \"Nope\"\nend tell", 1,
         u"38:48: execution error: Things3 got an error: Can’t get tag \"Nope\". (-1728)\n"_qs},
        {u"run --library {dir}/corrupt.json"_qs, make, 1, u"not a stand-in library"_qs},
        {u"serve --library {dir}/corrupt.json"_qs, {}, 1, u"not a stand-in library"_qs},
        {u"seed --library {dir}/library.json"_qs, {}, 2, {}},
        {u"seed --random 300 --depth 3 --library {dir}/seeded.json"_qs, {}, 0, {}},
        {u"status"_qs, {}, 3, {}},
        {u"serve --idle-ms 0 --library {dir}/other.json"_qs, {}, 2, u"--idle-ms takes a positive"_qs},
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
    QByteArray err;
    EXPECT_EQ(StandInProcess::command({u"serve"_qs, u"--library"_qs, standIn.libraryPath()}, nullptr, &err),
              1);
    EXPECT_TRUE(err.contains("already listening")) << err.toStdString();
}

// With --mac-costs the stand-in answers as late as the modeled Mac would, and its transcript says what
// each program cost; `run` without --library sends its program to it, as osascript sends a program to
// the running application, and a served library is nobody else's to change.
TEST(StandInCommandLine, theServerChargesMacCostsAndRunSendsItsProgramsThere) {
    StandInProcess standIn;
    const QString transcript = standIn.filePath(u"transcript.txt"_qs);
    QByteArray err;
    EXPECT_EQ(StandInProcess::command({u"run"_qs, u"-"_qs}, nullptr, &err, "return 1"), 1);
    EXPECT_EQ(err, "0:0: execution error: Things3 got an error: Application isn\u2019t running. (-600)\n");
    EXPECT_EQ(StandInProcess::command({u"serve"_qs, u"--event-us"_qs, u"fast"_qs}, nullptr, &err), 2);
    EXPECT_TRUE(err.contains("--event-us takes a number of zero or more")) << err.toStdString();

    ASSERT_TRUE(
        standIn.start({u"--transcript"_qs, transcript, u"--mac-costs"_qs, u"--program-ms"_qs, u"400"_qs}));
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(answer(tell(u"make new tag with properties {name: \"Sent\"}\nreturn name of tag \"sent\""_qs)),
              u"Sent"_qs);
    EXPECT_GE(clock.elapsed(), 400);

    QByteArray out;
    EXPECT_EQ(StandInProcess::command({u"run"_qs, u"--costs"_qs}, &out, &err,
                                      "tell application \"Things3\" to return name of every tag"),
              0);
    EXPECT_EQ(out, "\"Sent\"\n");
    EXPECT_EQ(err, "costs: 1 Apple events, 0 text units copied, 0 list items copied, 54 program characters; "
                   "10.6 ms on the modeled Mac\n");
    EXPECT_EQ(StandInProcess::command({u"run"_qs, u"--library"_qs, standIn.libraryPath(), u"-"_qs}, nullptr,
                                      &err, "return 1"),
              1);
    EXPECT_TRUE(err.contains("is in use by a running stand-in")) << err.toStdString();
    standIn.stop();

    QFile file(transcript);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString written = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(written.contains(u"=== costs: 2 Apple events, 0 text units copied, 0 list items copied, 105 "
                                 u"program characters; 401.1 ms on the modeled Mac\n"_qs))
        << written.toStdString();
}

} // namespace

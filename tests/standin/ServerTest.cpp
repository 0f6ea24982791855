// The stand-in as a separate process: its socket protocol, its command line, and StandInEngine.
#include "StandInEngine.h"
#include "StandInProcess.h"
#include "StandInTestSupport.h"
#include "ThingsError.h"
#include "ThingsService.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QtEndian>
#include <future>
#include <sys/stat.h>

using orvalet::ScriptOutcome;
using orvalet::StandInEngine;

namespace {

QByteArray frame(const QByteArray& payload) {
    char length[4];
    qToBigEndian(quint32(payload.size()), length);
    return QByteArray("T3SI") + QByteArray(length, 4) + payload;
}

// Sends raw bytes and reads back one answer frame's JSON; an empty object when none came.
QJsonObject exchange(const QString& socketPath, const QByteArray& bytes) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(2000)) {
        return {};
    }
    socket.write(bytes);
    socket.waitForBytesWritten(2000);
    QByteArray received;
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 5000) {
        received += socket.readAll();
        if (received.size() >= 8 &&
            received.size() >= 8 + qFromBigEndian<quint32>(received.constData() + 4)) {
            return QJsonDocument::fromJson(received.mid(8)).object();
        }
        if (!socket.waitForReadyRead(100) && socket.state() != QLocalSocket::ConnectedState) {
            received += socket.readAll();
            break;
        }
    }
    return received.size() > 8 ? QJsonDocument::fromJson(received.mid(8)).object() : QJsonObject();
}

QString program(const QString& body) {
    return QStringLiteral("tell application \"Things3\"\n") + body + QStringLiteral("\nend tell");
}

class ServerTest : public ::testing::Test {
protected:
    StandInProcess standIn;
};

TEST_F(ServerTest, answersProgramsAndSavesTheLibrary) {
    ASSERT_TRUE(standIn.start({QStringLiteral("--demo"), QStringLiteral("--transcript"),
                               standIn.filePath(QStringLiteral("t.log"))}));
    const StandInEngine engine;
    std::optional<ScriptOutcome> outcome = engine.run(program(QStringLiteral("    return count of tags")));
    ASSERT_TRUE(outcome && outcome->result)
        << (outcome && outcome->error ? outcome->error->description.toStdString() : "");
    EXPECT_EQ(*outcome->result, QStringLiteral("60"));

    outcome =
        engine.run(program(QStringLiteral("    set n to make new tag with properties {name: \"Fresh\"}\n"
                                          "    return id of n")));
    ASSERT_TRUE(outcome && outcome->result);
    const QString id = *outcome->result;
    EXPECT_EQ(standin::ThingsLibrary::load(standIn.libraryPath()).tag(id)->name, QStringLiteral("Fresh"));

    outcome = engine.run(program(QStringLiteral("    delete tag \"Fresh\"")));
    ASSERT_TRUE(outcome);
    EXPECT_FALSE(outcome->result);
    EXPECT_FALSE(outcome->error);

    outcome = engine.run(program(QStringLiteral("    delete tag \"Fresh\"")));
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

TEST_F(ServerTest, onlyTheUserCanReachTheSocket) {
    ASSERT_TRUE(standIn.start());
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(standIn.socketPath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & (S_IRWXG | S_IRWXO), 0u);
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
    {
        QLocalSocket quitter;
        quitter.connectToServer(standIn.socketPath());
        ASSERT_TRUE(quitter.waitForConnected(2000));
        quitter.write(frame(R"({"program": "return 1"})").left(11));
        quitter.waitForBytesWritten(1000);
    }
    const QJsonObject fine = exchange(standIn.socketPath(), frame(R"({"program": "return \"still here\""})"));
    EXPECT_EQ(fine.value(u"result").toString(), QStringLiteral("still here"));
    EXPECT_FALSE(standIn.process().waitForFinished(100));
}

TEST_F(ServerTest, twoClientsAtOnceAreServedOneAfterTheOther) {
    ASSERT_TRUE(standIn.start({QStringLiteral("--delay-ms"), QStringLiteral("400")}));
    QElapsedTimer clock;
    clock.start();
    auto ask = [&](const QString& name) {
        const StandInEngine engine;
        const auto outcome = engine.run(program(QStringLiteral("    make new tag with properties {name: \"") +
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

TEST_F(ServerTest, noStandInListeningIsTheApplicationNotRunningError) {
    const std::optional<ScriptOutcome> outcome = StandInEngine().run(QStringLiteral("return 1"));
    ASSERT_TRUE(outcome && outcome->error);
    EXPECT_EQ(outcome->error->message, QStringLiteral("Things3 got an error: Application isn’t running."));
    EXPECT_EQ(outcome->error->briefMessage, QStringLiteral("Application isn’t running."));
    EXPECT_EQ(outcome->error->number, -600);
    EXPECT_TRUE(outcome->error->description.contains(QStringLiteral("-600")));
    // What the user reads: the bridge turns it into the "not open" text.
    const StandInEngine engine;
    try {
        orvalet::ThingsService(engine).runAppleScript(orvalet::ThingsService::fetchAllTagsScript());
        ADD_FAILURE() << "a program ran with no stand-in listening";
    } catch (const orvalet::ThingsError& error) {
        EXPECT_EQ(error.errorDescription(),
                  QStringLiteral("Things 3 is not open. Please open Things 3 and try again."));
    }

    // A socket file left by a stand-in that was killed is no stand-in either, and a new one takes its place.
    ASSERT_TRUE(standIn.start());
    standIn.kill();
    EXPECT_EQ(StandInEngine().run(QStringLiteral("return 1"))->error->number, -600);
    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(StandInEngine().run(QStringLiteral("return 1"))->result, QStringLiteral("1"));
}

TEST_F(ServerTest, aStandInThatDiesBeforeAnsweringIsAnErrorNotAHang) {
    ASSERT_TRUE(standIn.start({QStringLiteral("--delay-ms"), QStringLiteral("3000")}));
    QElapsedTimer clock;
    clock.start();
    auto pending =
        std::async(std::launch::async, [] { return StandInEngine().run(QStringLiteral("return 1")); });
    QThread::msleep(300);
    standIn.kill();
    const std::optional<ScriptOutcome> outcome = pending.get();
    ASSERT_TRUE(outcome && outcome->error);
    EXPECT_EQ(outcome->error->number, -609);
    EXPECT_LT(clock.elapsed(), 2500);
}

TEST(StandInEngine, anAnswerCutOffMidwayOrTooLateIsAnError) {
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

TEST(StandInCommandLine, runWritesOsascriptForms) {
    QTemporaryDir dir;
    const QString library = dir.filePath(QStringLiteral("library.json"));
    QByteArray out, err;
    EXPECT_EQ(StandInProcess::command(
                  {QStringLiteral("run"), QStringLiteral("--library"), library, QStringLiteral("-")}, &out,
                  &err, "return \"caf\\u00e9\" & 1"),
              1);
    EXPECT_EQ(err, QByteArray("11:13: syntax error: Expected “\"” but found unknown token. (-2741)\n"));

    EXPECT_EQ(StandInProcess::command(
                  {QStringLiteral("run"), QStringLiteral("--library"), library}, &out, &err,
                  "tell application \"Things3\"\n    make new tag with properties {name: \"Ünï\"}\n"
                  "    return (name of tag \"ÜNÏ\") & 7\nend tell"),
              0);
    EXPECT_EQ(QString::fromUtf8(out), QStringLiteral("Ünï7\n"));

    EXPECT_EQ(StandInProcess::command({QStringLiteral("run"), QStringLiteral("--library"), library}, &out,
                                      &err,
                                      "tell application \"Things3\"\n    delete tag \"Nope\"\nend tell"),
              1);
    EXPECT_EQ(
        QString::fromUtf8(err),
        QStringLiteral("38:48: execution error: Things3 got an error: Can’t get tag \"Nope\". (-1728)\n"));
}

TEST(StandInCommandLine, aCorruptLibraryIsRefusedAndLeftAsItWas) {
    StandInProcess standIn;
    const QByteArray corrupt =
        R"({"format": "things3-standin library", "version": 1, "tags": [{"id": "A"}]})";
    QFile file(standIn.libraryPath());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(corrupt);
    file.close();

    QByteArray out, err;
    EXPECT_EQ(StandInProcess::command(
                  {QStringLiteral("run"), QStringLiteral("--library"), standIn.libraryPath()}, &out, &err,
                  "tell application \"Things3\"\nmake new tag with properties {name: \"X\"}\nend tell"),
              1);
    EXPECT_TRUE(err.contains("not a stand-in library")) << err.toStdString();
    EXPECT_EQ(StandInProcess::command(
                  {QStringLiteral("serve"), QStringLiteral("--library"), standIn.libraryPath()}, &out, &err),
              1);
    EXPECT_TRUE(err.contains("not a stand-in library")) << err.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), corrupt);
}

TEST(StandInCommandLine, seedWritesLibrariesAndASecondServerIsRefused) {
    StandInProcess standIn;
    EXPECT_EQ(StandInProcess::command({QStringLiteral("seed"), QStringLiteral("--random"),
                                       QStringLiteral("300"), QStringLiteral("--depth"), QStringLiteral("3"),
                                       QStringLiteral("--library"), standIn.libraryPath()}),
              0);
    EXPECT_EQ(standin::ThingsLibrary::load(standIn.libraryPath()).tagCount(), 300);
    EXPECT_EQ(
        StandInProcess::command({QStringLiteral("seed"), QStringLiteral("--library"), standIn.libraryPath()}),
        2);
    EXPECT_EQ(StandInProcess::command({QStringLiteral("status")}), 3);

    ASSERT_TRUE(standIn.start());
    EXPECT_EQ(StandInProcess::command({QStringLiteral("status")}), 0);
    QByteArray out, err;
    EXPECT_EQ(StandInProcess::command(
                  {QStringLiteral("serve"), QStringLiteral("--library"), standIn.libraryPath()}, &out, &err),
              1);
    EXPECT_TRUE(err.contains("already listening")) << err.toStdString();
}

} // namespace

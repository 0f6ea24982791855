// things3-standin: plays Things 3 and its scripting engine where neither exists.
//
//   serve [--library FILE] [--demo] [--transcript FILE] [--delay-ms N] [--idle-ms N] [MAC COSTS]
//   run [--library FILE [MAC COSTS]] [--costs] [FILE|-]
//       MAC COSTS: --mac-costs [--program-ms N] [--event-us N] [--copy-ns N] [--character-us N]
//   seed (--demo | --random N [--depth D] [--todos M] [--seed S] [--shortcuts]) --library FILE
//   status

#include "DemoLibrary.h"
#include "MacCostModel.h"
#include "ProgramRunner.h"
#include "RandomLibrary.h"
#include "SocketLocation.h"
#include "StandInServer.h"
#include "WireProtocol.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QSocketNotifier>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace standin;

constexpr int exitFailure = 1;
constexpr int exitUsage = 2;
constexpr int exitNotRunning = 3;

void printError(const QString& text) {
    std::fputs(("things3-standin: " + text + u'\n').toUtf8().constData(), stderr);
}

void print(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
}

QStringList argumentsAfterCommand() {
    QStringList args = QCoreApplication::arguments();
    args.removeAt(1);
    return args;
}

std::optional<ThingsLibrary> openLibrary(const QString& path) {
    try {
        return ThingsLibrary::load(path);
    } catch (const LibraryError& error) {
        printError(QStringLiteral("cannot use the library ") + path + QStringLiteral(": ") + error.message);
        return std::nullopt;
    }
}

bool saveLibrary(const ThingsLibrary& library, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    try {
        library.save(path);
        return true;
    } catch (const LibraryError& error) {
        printError(QStringLiteral("cannot save the library ") + path + QStringLiteral(": ") + error.message);
        return false;
    }
}

// The options that make answers come at the pace of the modeled Mac, and set its figures.
struct MacCostOptions {
    QCommandLineOption enabled{QStringLiteral("mac-costs"),
                               QStringLiteral("Answer as late as the modeled Mac would (see the README).")};
    QCommandLineOption programMs{QStringLiteral("program-ms"),
                                 QStringLiteral("Modeled milliseconds per program (default 10)."),
                                 QStringLiteral("N")};
    QCommandLineOption eventUs{QStringLiteral("event-us"),
                               QStringLiteral("Modeled microseconds per Apple event (default 500)."),
                               QStringLiteral("N")};
    QCommandLineOption copyNs{
        QStringLiteral("copy-ns"),
        QStringLiteral("Modeled nanoseconds per text unit or list item copied (default 1)."),
        QStringLiteral("N")};
    QCommandLineOption characterUs{
        QStringLiteral("character-us"),
        QStringLiteral("Modeled microseconds per program character compiled (default 1)."),
        QStringLiteral("N")};

    QList<QCommandLineOption> all() const { return {enabled, programMs, eventUs, copyNs, characterUs}; }

    // The model when --mac-costs or a figure is given (a figure alone turns the model on too); none
    // without; a usage error when a figure is not a number of zero or more.
    std::optional<MacCostModel> read(const QCommandLineParser& parser, bool& valid) const {
        MacCostModel model;
        valid = true;
        bool any = parser.isSet(enabled);
        const auto figure = [&](const QCommandLineOption& option, double& into) {
            if (!parser.isSet(option)) {
                return;
            }
            any = true;
            bool ok = false;
            into = parser.value(option).toDouble(&ok);
            if (!ok || !(into >= 0) || !std::isfinite(into)) {
                printError(QStringLiteral("--") + option.names().front() +
                           QStringLiteral(" takes a number of zero or more"));
                valid = false;
            }
        };
        figure(programMs, model.programMs);
        figure(eventUs, model.eventUs);
        figure(copyNs, model.copyNs);
        figure(characterUs, model.characterUs);
        return any ? std::optional(model) : std::nullopt;
    }
};

// A library is served by one stand-in at a time, and changed by no one else meanwhile: the server
// rewrites the whole file after every program that changed it, so a change made beside it would be
// lost. The lock is taken for as long as the returned object lives; none when another process has it.
std::unique_ptr<QLockFile> lockLibrary(const QString& path) {
    auto lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    lock->setStaleLockTime(0); // held for as long as the server runs: only a dead holder lets go
    if (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError) {
            printError(QStringLiteral("cannot lock the library ") + path +
                       QStringLiteral(": its folder cannot be written to"));
            return nullptr;
        }
        qint64 pid = 0;
        QString host, application;
        lock->getLockInfo(&pid, &host, &application);
        printError(QStringLiteral("the library ") + path +
                   QStringLiteral(" is in use by a running stand-in") +
                   (pid > 0 ? QStringLiteral(" (process ") + QString::number(pid) + u')' : QString()) +
                   QStringLiteral("; run sends a program to it when --library is left out"));
        return nullptr;
    }
    return lock;
}

// Ends the event loop on SIGINT, SIGTERM and SIGHUP so that the socket file is removed on the way out.
// The handler only stops the program running, if one is, and writes a byte; the loop does the rest
// once the program has stopped, which it does at its next step.
int signalPipe[2] = {-1, -1};
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set in a signal handler");

void onSignal(int) {
    stopRequested.store(true);
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalPipe[1], &byte, 1);
}

void quitOnSignals(QCoreApplication& app) {
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        ::sigaction(signal, &action, nullptr);
    }
}

int serve(QCoreApplication& app) {
    QCommandLineParser parser;
    const QCommandLineOption library(QStringLiteral("library"), QStringLiteral("The library file."),
                                     QStringLiteral("FILE"), SocketLocation::defaultLibraryPath());
    const QCommandLineOption demo(
        QStringLiteral("demo"), QStringLiteral("Start from the demo library when the file does not exist."));
    const QCommandLineOption transcript(QStringLiteral("transcript"),
                                        QStringLiteral("Append every program and answer to FILE."),
                                        QStringLiteral("FILE"));
    const QCommandLineOption delay(QStringLiteral("delay-ms"),
                                   QStringLiteral("Answer every program N ms late."), QStringLiteral("N"),
                                   QStringLiteral("0"));
    const QCommandLineOption idle(QStringLiteral("idle-ms"),
                                  QStringLiteral("Close a connection that sends nothing for N ms."),
                                  QStringLiteral("N"), QString::number(ServerLimits().idleDeadline.count()));
    const MacCostOptions macCosts;
    parser.addOptions(QList<QCommandLineOption>{library, demo, transcript, delay, idle} + macCosts.all());
    parser.addHelpOption();
    parser.process(argumentsAfterCommand());
    bool figuresValid = true;
    const std::optional<MacCostModel> model = macCosts.read(parser, figuresValid);
    if (!figuresValid) {
        return exitUsage;
    }
    bool delayIsNumber = false;
    const int delayMs = parser.value(delay).toInt(&delayIsNumber);
    if (!delayIsNumber || delayMs < 0) {
        printError(QStringLiteral("--delay-ms takes a whole number of milliseconds"));
        return exitUsage;
    }
    bool idleIsNumber = false;
    const int idleMs = parser.value(idle).toInt(&idleIsNumber);
    if (!idleIsNumber || idleMs <= 0) {
        printError(QStringLiteral("--idle-ms takes a positive whole number of milliseconds"));
        return exitUsage;
    }

    const QString path = parser.value(library);
    std::optional<ThingsLibrary> loaded;
    if (QFile::exists(path)) {
        loaded = openLibrary(path);
        if (!loaded) {
            return exitFailure;
        }
    } else {
        // The file is written now so that it always holds the state before the next program.
        loaded = parser.isSet(demo) ? DemoLibrary::build() : ThingsLibrary();
        if (!saveLibrary(*loaded, path)) {
            return exitFailure;
        }
    }

    applescript::Limits programLimits;
    programLimits.stop = &stopRequested;
    ProgramRunner runner(*loaded, path, programLimits);
    ServerLimits limits;
    limits.idleDeadline = std::chrono::milliseconds(idleMs);
    StandInServer server(runner, limits);
    server.setAnswerDelay(std::chrono::milliseconds(delayMs));
    server.setMacCosts(model);
    if (parser.isSet(transcript)) {
        server.setTranscript(parser.value(transcript));
    }
    const QString socketPath = SocketLocation::path();
    QString why;
    if (!SocketLocation::prepareFolder(socketPath, why) || !server.listen(socketPath, why)) {
        printError(why);
        return exitFailure;
    }
    const std::unique_ptr<QLockFile> lock = lockLibrary(path);
    if (!lock) {
        return exitFailure;
    }
    quitOnSignals(app);
    printError(QStringLiteral("serving ") + path + QStringLiteral(" at ") + socketPath);
    const int status = app.exec();
    server.close();
    return status;
}

// What osascript writes for a failure, which Orvalet's osascript engine reads.
void printFailure(const applescript::ScriptFailure& f) {
    const QString kind = f.kind == applescript::ScriptFailure::Kind::Syntax
                             ? QStringLiteral("syntax error")
                             : QStringLiteral("execution error");
    print(stderr, QString::number(std::max<qsizetype>(f.start, 0)) + u':' +
                      QString::number(std::max<qsizetype>(f.end, 0)) + QStringLiteral(": ") + kind +
                      QStringLiteral(": ") + f.message() + QStringLiteral(" (") + QString::number(f.number) +
                      QStringLiteral(")\n"));
}

applescript::ScriptFailure notRunningFailure() {
    applescript::ScriptFailure failure = applescript::ScriptFailure::execution(
        applescript::errors::applicationNotRunning, QStringLiteral("Application isn’t running."));
    failure.application = QStringLiteral("Things3");
    return failure;
}

// Reads exactly `size` bytes from the stand-in, however long it takes to answer; none when it goes.
std::optional<QByteArray> readAnswerBytes(QLocalSocket& socket, qsizetype size) {
    QByteArray data;
    while (data.size() < size) {
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(-1)) {
            return std::nullopt;
        }
        data += socket.read(size - data.size());
    }
    return data;
}

// Sends the program to the stand-in that is serving, as osascript sends it to the running application,
// and gives its answer; a failure of its own when none serves (Things 3 is not running).
ProgramAnswer sendToServer(const QString& program) {
    ProgramAnswer answer;
    const QString path = SocketLocation::path();
    const auto failed = [&answer](applescript::ScriptFailure failure) {
        answer.failure = std::move(failure);
        return answer;
    };
    if (const std::optional<QString> why = SocketLocation::distrustedFolder(path)) {
        printError(QStringLiteral("not using the socket at ") + path + QStringLiteral(": ") + *why);
        return failed(notRunningFailure());
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(2000)) {
        return failed(notRunningFailure());
    }
    if (const std::optional<QString> why = SocketLocation::distrustedListener(path, socket)) {
        printError(QStringLiteral("not using the socket at ") + path + QStringLiteral(": ") + *why);
        return failed(notRunningFailure());
    }
    socket.write(WireProtocol::frame(WireProtocol::requestPayload(program)));
    const std::optional<QByteArray> header = readAnswerBytes(socket, WireProtocol::headerSize);
    quint32 length = 0;
    if (header && WireProtocol::readHeader(*header, WireProtocol::maxAnswerSize, length) ==
                      WireProtocol::Header::Valid) {
        if (const std::optional<QByteArray> payload = readAnswerBytes(socket, qsizetype(length))) {
            if (std::optional<ProgramAnswer> read = WireProtocol::answerOf(*payload)) {
                return *read;
            }
        }
    }
    applescript::ScriptFailure lost = applescript::ScriptFailure::execution(
        applescript::errors::connectionInvalid, QStringLiteral("Connection is invalid."));
    lost.application = QStringLiteral("Things3");
    return failed(lost);
}

int run() {
    QCommandLineParser parser;
    const QCommandLineOption library(
        QStringLiteral("library"),
        QStringLiteral("Run on this library file instead of sending the program to the running stand-in."),
        QStringLiteral("FILE"));
    const QCommandLineOption costs(QStringLiteral("costs"),
                                   QStringLiteral("Write what the program cost a Mac to standard error."));
    const MacCostOptions macCosts;
    parser.addOptions(QList<QCommandLineOption>{library, costs} + macCosts.all());
    parser.addPositionalArgument(QStringLiteral("program"),
                                 QStringLiteral("The program file, or - for standard input."));
    parser.addHelpOption();
    parser.process(argumentsAfterCommand());
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        printError(QStringLiteral("run takes one program"));
        return exitUsage;
    }
    bool figuresValid = true;
    const std::optional<MacCostModel> model = macCosts.read(parser, figuresValid);
    if (!figuresValid) {
        return exitUsage;
    }
    if (model && !parser.isSet(library)) {
        printError(QStringLiteral("--mac-costs goes with --library; a running stand-in answers at the pace "
                                  "it was started with (serve --mac-costs)"));
        return exitUsage;
    }

    QFile input;
    const QString source = positional.isEmpty() ? QStringLiteral("-") : positional.front();
    if (source == u"-") {
        input.open(stdin, QIODevice::ReadOnly);
    } else {
        input.setFileName(source);
        if (!input.open(QIODevice::ReadOnly)) {
            printError(QStringLiteral("cannot read ") + source + QStringLiteral(": ") + input.errorString());
            return exitFailure;
        }
    }
    const QString program = QString::fromUtf8(input.readAll());

    ProgramAnswer answer;
    if (parser.isSet(library)) {
        const QString path = parser.value(library);
        QDir().mkpath(QFileInfo(path).absolutePath());
        const std::unique_ptr<QLockFile> lock = lockLibrary(path);
        if (!lock) {
            return exitFailure;
        }
        std::optional<ThingsLibrary> loaded = QFile::exists(path) ? openLibrary(path) : ThingsLibrary();
        if (!loaded) {
            return exitFailure;
        }
        ProgramRunner runner(*loaded, path);
        QElapsedTimer running;
        running.start();
        answer = runner.run(program);
        if (model) {
            const auto modeled =
                std::chrono::duration_cast<std::chrono::milliseconds>(model->time(answer.costs));
            QThread::msleep(std::max<qint64>(0, modeled.count() - running.elapsed()));
        }
    } else {
        answer = sendToServer(program);
    }
    if (parser.isSet(costs)) {
        const double modeledMs = double(model.value_or(MacCostModel()).time(answer.costs).count()) / 1e6;
        print(stderr, QStringLiteral("costs: ") + MacCostModel::describe(answer.costs) +
                          QStringLiteral("; ") + QString::number(modeledMs, 'f', 1) +
                          QStringLiteral(" ms on the modeled Mac\n"));
    }
    if (answer.failure) {
        printFailure(*answer.failure);
        return exitFailure;
    }
    if (answer.printed) {
        print(stdout, *answer.printed + u'\n');
    }
    return 0;
}

int seed() {
    QCommandLineParser parser;
    const QCommandLineOption library(QStringLiteral("library"), QStringLiteral("The library file to write."),
                                     QStringLiteral("FILE"));
    const QCommandLineOption demo(QStringLiteral("demo"), QStringLiteral("Write the demo library."));
    const QCommandLineOption random(QStringLiteral("random"), QStringLiteral("Write N random tags."),
                                    QStringLiteral("N"));
    const QCommandLineOption depth(QStringLiteral("depth"), QStringLiteral("Levels of tags (default 4)."),
                                   QStringLiteral("D"), QStringLiteral("4"));
    const QCommandLineOption todos(QStringLiteral("todos"),
                                   QStringLiteral("Number of to-dos (default 3 per tag)."),
                                   QStringLiteral("M"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Random seed (default 1)."),
                                        QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption shortcuts(QStringLiteral("shortcuts"),
                                       QStringLiteral("Give every random tag a keyboard shortcut."));
    parser.addOptions({library, demo, random, depth, todos, seedOption, shortcuts});
    parser.addHelpOption();
    parser.process(argumentsAfterCommand());
    if (!parser.isSet(library) || parser.isSet(demo) == parser.isSet(random)) {
        printError(QStringLiteral("seed needs --library FILE and one of --demo or --random N"));
        return exitUsage;
    }
    ThingsLibrary made;
    if (parser.isSet(demo)) {
        made = DemoLibrary::build();
    } else {
        bool ok[4] = {};
        const int tagCount = parser.value(random).toInt(&ok[0]);
        const int levels = parser.value(depth).toInt(&ok[1]);
        const int todoCount =
            parser.isSet(todos) ? parser.value(todos).toInt(&ok[2]) : (ok[2] = true, tagCount * 3);
        const quint32 seedValue = parser.value(seedOption).toUInt(&ok[3]);
        if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || tagCount < 0 || levels < 1 || todoCount < 0) {
            printError(QStringLiteral("--random, --depth and --todos take whole numbers (depth at least 1)"));
            return exitUsage;
        }
        made = RandomLibrary::build(tagCount, levels, todoCount, seedValue);
        if (parser.isSet(shortcuts)) {
            // Keys that are separators and quoting in the programs' answers are among them, and one
            // outside the Basic Multilingual Plane; most keys end up shared, as they would by then.
            static const QStringList keys =
                QString::fromUtf16(u"abcdefghijklmnopqrstuvwxyz0123456789|~,\"\\;é")
                    .split(QString(), Qt::SkipEmptyParts) +
                QStringList{QStringLiteral("\U0001F600")};
            qsizetype next = 0;
            for (const QString& id : made.tagIds()) {
                made.setShortcut(id, keys[next++ % keys.size()]);
            }
        }
    }
    return saveLibrary(made, parser.value(library)) ? 0 : exitFailure;
}

// Orvalet would not use a socket that is not trusted; neither does status count it as a stand-in.
int status() {
    const QString path = SocketLocation::path();
    const auto distrusted = [&](const QString& why) {
        print(stdout,
              QStringLiteral("the socket at ") + path + QStringLiteral(" is not trusted: ") + why + u'\n');
        return exitNotRunning;
    };
    if (const std::optional<QString> why = SocketLocation::distrustedFolder(path)) {
        return distrusted(*why);
    }
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(1000)) {
        print(stdout, QStringLiteral("no stand-in is listening at ") + path + u'\n');
        return exitNotRunning;
    }
    if (const std::optional<QString> why = SocketLocation::distrustedListener(path, socket)) {
        return distrusted(*why);
    }
    print(stdout, QStringLiteral("a stand-in is listening at ") + path + u'\n');
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("things3-standin"));
    const QStringList args = QCoreApplication::arguments();
    const QString command = args.size() > 1 ? args[1] : QString();
    if (command == u"serve") {
        return serve(app);
    }
    if (command == u"run") {
        return run();
    }
    if (command == u"seed") {
        return seed();
    }
    if (command == u"status") {
        return status();
    }
    printError(
        QStringLiteral("usage: things3-standin serve|run|seed|status [options]; add --help after one"));
    return exitUsage;
}

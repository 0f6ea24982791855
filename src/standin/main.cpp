// things3-standin: plays Things 3 and its scripting engine where neither exists.
//
//   serve [--library FILE] [--demo] [--transcript FILE] [--delay-ms N] [--idle-ms N]
//   run [--library FILE] [FILE|-]
//   seed (--demo | --random N [--depth D] [--todos M] [--seed S] [--shortcuts]) --library FILE
//   status

#include "DemoLibrary.h"
#include "ProgramRunner.h"
#include "RandomLibrary.h"
#include "SocketLocation.h"
#include "StandInServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSocketNotifier>
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

// Ends the event loop on SIGINT, SIGTERM and SIGHUP so that the socket file is removed on the way out.
// The handler only writes a byte; the loop does the rest.
int signalPipe[2] = {-1, -1};

void onSignal(int) {
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
    parser.addOptions({library, demo, transcript, delay, idle});
    parser.addHelpOption();
    parser.process(argumentsAfterCommand());
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

    ProgramRunner runner(*loaded, path);
    ServerLimits limits;
    limits.idleDeadline = std::chrono::milliseconds(idleMs);
    StandInServer server(runner, limits);
    server.setAnswerDelay(std::chrono::milliseconds(delayMs));
    if (parser.isSet(transcript)) {
        server.setTranscript(parser.value(transcript));
    }
    const QString socketPath = SocketLocation::path();
    QString why;
    if (!SocketLocation::prepareFolder(socketPath, why) || !server.listen(socketPath, why)) {
        printError(why);
        return exitFailure;
    }
    quitOnSignals(app);
    printError(QStringLiteral("serving ") + path + QStringLiteral(" at ") + socketPath);
    const int status = app.exec();
    server.close();
    return status;
}

int run() {
    QCommandLineParser parser;
    const QCommandLineOption library(QStringLiteral("library"), QStringLiteral("The library file."),
                                     QStringLiteral("FILE"), SocketLocation::defaultLibraryPath());
    parser.addOption(library);
    parser.addPositionalArgument(QStringLiteral("program"),
                                 QStringLiteral("The program file, or - for standard input."));
    parser.addHelpOption();
    parser.process(argumentsAfterCommand());
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        printError(QStringLiteral("run takes one program"));
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

    const QString path = parser.value(library);
    std::optional<ThingsLibrary> loaded = QFile::exists(path) ? openLibrary(path) : ThingsLibrary();
    if (!loaded) {
        return exitFailure;
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    ProgramRunner runner(*loaded, path);
    const ProgramAnswer answer = runner.run(program);
    if (answer.failure) {
        // The forms osascript writes, which Orvalet's osascript engine reads.
        const auto& f = *answer.failure;
        const QString kind = f.kind == applescript::ScriptFailure::Kind::Syntax
                                 ? QStringLiteral("syntax error")
                                 : QStringLiteral("execution error");
        print(stderr, QString::number(std::max<qsizetype>(f.start, 0)) + u':' +
                          QString::number(std::max<qsizetype>(f.end, 0)) + QStringLiteral(": ") + kind +
                          QStringLiteral(": ") + f.message() + QStringLiteral(" (") +
                          QString::number(f.number) + QStringLiteral(")\n"));
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

// The fetch-all program through the interpreter at three library sizes, the import through the
// socket with the stand-in's memory against its library file, the creation of a tag whose name is a
// megabyte of double quotes and letters, and one look-up by name through the socket and back.
#include "ProgramRunner.h"
#include "RandomLibrary.h"
#include "StandInEngine.h"
#include "ThingsService.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>
#include <chrono>

namespace {

using namespace std::chrono_literals;

// Orvalet's own programs, as its bridge builds them.
const QString fetchAll = orvalet::ThingsService::fetchAllTagsScript();
const QString lookUpByName = orvalet::ThingsService::fetchTagByNameScript(QStringLiteral("Say \"Hello\""));

// A stand-in process serving `library` on a socket of its own, which StandInEngine is pointed at.
// It listens once it has loaded the library, which takes a few seconds for a large one.
class ServingStandIn final {
public:
    ServingStandIn(const QTemporaryDir& dir, const QStringList& libraryArguments) {
        const QString socketPath = dir.filePath(QStringLiteral("socket"));
        qputenv("ORVALET_STANDIN_SOCKET", socketPath.toUtf8());
        m_process.start(QStringLiteral(STANDIN_BINARY),
                        QStringList{QStringLiteral("serve")} + libraryArguments);
        m_process.waitForStarted();
        for (QDeadlineTimer deadline(2min);
             !deadline.hasExpired() && m_process.state() == QProcess::Running;) {
            QLocalSocket probe;
            probe.connectToServer(socketPath);
            if (probe.waitForConnected(50)) {
                m_listening = true;
                break;
            }
            QThread::msleep(20);
        }
    }
    ~ServingStandIn() {
        m_process.terminate();
        m_process.waitForFinished();
    }

    bool listening() const { return m_listening; }

    // The process's resident memory in MiB, from /proc: `VmRSS` as it is now, `VmHWM` at its most.
    double residentMiB(const QByteArray& field) const {
        QFile status(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
        if (!status.open(QIODevice::ReadOnly)) {
            return 0;
        }
        const QByteArray label = field + ':';
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith(label)) {
                return line.mid(label.size()).trimmed().split(' ').front().toDouble() / 1024.0; // kB
            }
        }
        return 0;
    }

private:
    QProcess m_process;
    bool m_listening = false;
};

void fetchAllTags(benchmark::State& state) {
    const int tags = int(state.range(0));
    standin::ThingsLibrary library = standin::RandomLibrary::build(tags, 4, tags * 3);
    standin::ProgramRunner runner(library, QString());
    for (auto _ : state) {
        const standin::ProgramAnswer answer = runner.run(fetchAll);
        if (answer.failure || !answer.result) {
            state.SkipWithError("the fetch-all program failed");
            return;
        }
        benchmark::DoNotOptimize(answer.result->size());
    }
    state.SetLabel(std::to_string(tags) + " tags, " + std::to_string(tags * 3) + " to-dos");
}
// At 300,000 tags the answer is about 17.6 M characters, past the 16 Mi a program may make itself.
BENCHMARK(fetchAllTags)->Arg(10000)->Arg(100000)->Arg(300000)->Unit(benchmark::kMillisecond);

// Orvalet's import of every tag from a stand-in process serving a random library (three to-dos a
// tag): the program, its answer through the socket and the parse of the answer into records. The
// counters are the stand-in's resident memory over its library file's size, once it has loaded
// the library, once it has answered, and at its most (while the file is read).
void importFromServedLibrary(benchmark::State& state) {
    const int tags = int(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("library.json"));
    standin::RandomLibrary::build(tags, 4, tags * 3).save(path);
    const double fileMiB = double(QFileInfo(path).size()) / double(1 << 20);
    const ServingStandIn server(dir, {QStringLiteral("--library"), path});
    if (!server.listening()) {
        state.SkipWithError("the stand-in did not start");
        return;
    }
    const double loadedMiB = server.residentMiB("VmRSS");
    const orvalet::StandInEngine engine;
    for (auto _ : state) {
        const auto outcome = engine.run(fetchAll);
        if (!outcome || !outcome->result) {
            state.SkipWithError("the import failed");
            return;
        }
        if (orvalet::ThingsService::parseTagList(*outcome->result).size() != tags) {
            state.SkipWithError("the import did not give every tag");
            return;
        }
    }
    state.counters["file_mib"] = fileMiB;
    state.counters["rss_over_file_loaded"] = loadedMiB / fileMiB;
    state.counters["rss_over_file_answered"] = server.residentMiB("VmRSS") / fileMiB;
    state.counters["hwm_over_file"] = server.residentMiB("VmHWM") / fileMiB;
    state.SetLabel(std::to_string(tags) + " tags, " + std::to_string(tags * 3) + " to-dos");
}
BENCHMARK(importFromServedLibrary)->Arg(100000)->Arg(300000)->UseRealTime()->Unit(benchmark::kMillisecond);

// A name of a million characters with a double quote every second one: its literal is 500,001
// pieces joined by `& quote &`, so this measures the joining cost per piece.
void createTagWithQuotedMegabyteName(benchmark::State& state) {
    const QString name = QStringLiteral("a\"").repeated(500000);
    const QString program = orvalet::ThingsService::createTagScript(name, std::nullopt);
    for (auto _ : state) {
        standin::ThingsLibrary library;
        standin::ProgramRunner runner(library, QString());
        const standin::ProgramAnswer answer = runner.run(program);
        if (answer.failure || !answer.result) {
            state.SkipWithError("the creation failed");
            return;
        }
    }
    state.SetLabel(std::to_string(program.size()) + " characters of program");
}
BENCHMARK(createTagWithQuotedMegabyteName)->Unit(benchmark::kMillisecond);

void lookUpThroughSocket(benchmark::State& state) {
    QTemporaryDir dir;
    const ServingStandIn server(
        dir, {QStringLiteral("--demo"), QStringLiteral("--library"), dir.filePath(QStringLiteral("l.json"))});
    if (!server.listening()) {
        state.SkipWithError("the stand-in did not start");
        return;
    }
    const orvalet::StandInEngine engine;
    for (auto _ : state) {
        const auto outcome = engine.run(lookUpByName);
        if (!outcome || !outcome->result || outcome->result->isEmpty()) {
            state.SkipWithError("the look-up failed");
            break;
        }
    }
}
BENCHMARK(lookUpThroughSocket)->Unit(benchmark::kMicrosecond);

} // namespace

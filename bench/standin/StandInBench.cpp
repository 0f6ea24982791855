// The fetch-all program through the interpreter at two library sizes, the creation of a tag whose
// name is a megabyte of double quotes and letters, and one look-up by name through the socket and back.
#include "ProgramRunner.h"
#include "RandomLibrary.h"
#include "StandInEngine.h"
#include "ThingsService.h"

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

namespace {

// Orvalet's own programs, as its bridge builds them.
const QString fetchAll = orvalet::ThingsService::fetchAllTagsScript();
const QString lookUpByName = orvalet::ThingsService::fetchTagByNameScript(QStringLiteral("Say \"Hello\""));

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
BENCHMARK(fetchAllTags)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

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
    const QString socketPath = dir.filePath(QStringLiteral("socket"));
    qputenv("ORVALET_STANDIN_SOCKET", socketPath.toUtf8());
    QProcess server;
    server.start(QStringLiteral(STANDIN_BINARY),
                 {QStringLiteral("serve"), QStringLiteral("--demo"), QStringLiteral("--library"),
                  dir.filePath(QStringLiteral("l.json"))});
    server.waitForStarted();
    for (int i = 0; i < 200; ++i) {
        QLocalSocket probe;
        probe.connectToServer(socketPath);
        if (probe.waitForConnected(50)) {
            break;
        }
        QThread::msleep(20);
    }
    const orvalet::StandInEngine engine;
    for (auto _ : state) {
        const auto outcome = engine.run(lookUpByName);
        if (!outcome || !outcome->result || outcome->result->isEmpty()) {
            state.SkipWithError("the look-up failed");
            break;
        }
    }
    server.terminate();
    server.waitForFinished();
}
BENCHMARK(lookUpThroughSocket)->Unit(benchmark::kMicrosecond);

} // namespace

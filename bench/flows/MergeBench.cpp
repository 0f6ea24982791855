// "Merge Into…" at a size users reach: a tag carrying 10,000 to-dos (every status, a third of them
// with a second tag, some already carrying the destination) merged into another through a stand-in
// process, from the read to the destination read again, with the safe-write look-ups on.
#include "Preferences.h"
#include "StandInEngine.h"
#include "StandInListening.h"
#include "TagMerger.h"
#include "TagStore.h"
#include "ThingsLibrary.h"
#include "ThingsWorker.h"

#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QStringBuilder>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

using namespace orvalet;

namespace {

constexpr int todoCount = 10'000;

// A library with the source, its destination and a few other tags, saved where the stand-in reads it.
struct Library {
    QString source, destination;
    QStringList tagIds;
    QStringList tagNames;
    QStringList parents;

    explicit Library(const QString& path) {
        standin::ThingsLibrary library;
        destination = library.makeTag(u"Home"_qs);
        source = library.makeTag(u"Errands"_qs);
        const QString mac = library.makeTag(u"Mac"_qs);
        library.makeTag(u"Shop"_qs, source);
        library.makeTag(u"Post"_qs, source);
        const standin::TodoState states[] = {standin::TodoState::Open, standin::TodoState::Completed,
                                             standin::TodoState::Canceled};
        for (int i = 0; i < todoCount; ++i) {
            QStringList tags{source};
            if (i % 3 == 0) {
                tags.append(mac);
            }
            if (i % 10 == 0) {
                tags.prepend(destination);
            }
            library.addTodo(u"To-do "_qs + QString::number(i), states[i % 3], tags);
        }
        for (const QString& id : library.tagIds()) {
            tagIds.append(id);
            tagNames.append(library.tag(id)->name);
            parents.append(library.tag(id)->parentId);
        }
        library.save(path);
    }
};

void mergeTenThousandToDosThroughStandIn(benchmark::State& state) {
    QTemporaryDir dir;
    const QString socket = dir.filePath(u"socket"_qs);
    qputenv("ORVALET_STANDIN_SOCKET", socket.toUtf8());
    ThingsWorker worker{std::make_unique<StandInEngine>()};
    Preferences preferences{
        std::make_unique<QSettings>(dir.filePath(u"Orvalet.conf"_qs), QSettings::IniFormat)};

    qint64 elapsed = 0;
    qint64 moved = 0;
    int round = 0;
    for (auto _ : state) {
        // A library and a store of their own for each run: the merge deletes its source.
        const QString libraryPath = dir.filePath(u"library-"_qs + QString::number(round) + u".json"_qs);
        const Library library(libraryPath);
        std::unique_ptr<TagStore> store =
            TagStore::open(dir.filePath(u"Orvalet-"_qs + QString::number(round++) + u".store"_qs), nullptr);
        for (qsizetype i = 0; i < library.tagIds.size(); ++i) {
            const QString& parent = library.parents[i];
            store->insert(Tag(library.tagIds[i], library.tagNames[i],
                              parent.isEmpty() ? std::nullopt : std::optional(parent)));
        }
        store->flush();
        QProcess server;
        server.start(QStringLiteral(STANDIN_BINARY), {u"serve"_qs, u"--library"_qs, libraryPath});
        if (!bench::waitForListening(socket)) {
            state.SkipWithError("the stand-in did not start");
            break;
        }

        TagMerger merger(*store, preferences, worker, store->tag(library.source));
        merger.setDestinationId(library.destination);
        QElapsedTimer run;
        run.start();
        QCoro::waitFor(merger.prepareMerge());
        if (merger.showsConfirmation()) {
            QCoro::waitFor(merger.merge());
        }
        const qint64 ms = run.elapsed();
        state.SetIterationTime(double(ms) / 1000.0);
        elapsed += ms;
        server.terminate();
        server.waitForFinished();
        if (!merger.outcome() || merger.outcome()->todosMoved != todoCount) {
            const QByteArray why =
                merger.errorMessage().value_or(u"the merge did not move every to-do"_qs).toUtf8();
            state.SkipWithError(why.constData());
            break;
        }
        moved += merger.outcome()->todosMoved;
    }
    state.counters["ms_per_merge"] = double(elapsed) / double(std::max<qint64>(state.iterations(), 1));
    state.counters["todos_moved"] = double(moved) / double(std::max<qint64>(state.iterations(), 1));
}
BENCHMARK(mergeTenThousandToDosThroughStandIn)->Unit(benchmark::kMillisecond)->Iterations(3)->UseManualTime();

} // namespace

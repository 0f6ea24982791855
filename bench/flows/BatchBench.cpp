// The batch editor at the sizes users reach: 1,000 selected tags moved under another parent through
// a stand-in process, from "Save Changes" to the result, with the event loop watched throughout;
// and the pane's derived lists over a store of 100,000 tags.
#include "BatchEditor.h"
#include "Preferences.h"
#include "StandInEngine.h"
#include "StandInListening.h"
#include "TagListActions.h"
#include "TagStore.h"
#include "ThingsLibrary.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"
#include "UnusedTagsCleanup.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <QProcess>
#include <QStringBuilder>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <benchmark/benchmark.h>

using namespace orvalet;

namespace {

// Passes programs on to a stand-in process and counts them: on a Mac each one costs a fixed price.
class CountingEngine final : public ScriptEngine {
public:
    explicit CountingEngine(std::atomic<qint64>& count)
        : m_count(count) {}

    std::optional<ScriptOutcome> run(const QString& source) const override {
        ++m_count;
        return m_engine.run(source);
    }

private:
    StandInEngine m_engine;
    std::atomic<qint64>& m_count;
};

// A store and the screen's collaborators in a temporary folder.
struct Setting {
    QTemporaryDir dir;
    std::unique_ptr<TagStore> store = TagStore::open(dir.filePath(u"Orvalet.store"_qs), nullptr);
    Preferences preferences{
        std::make_unique<QSettings>(dir.filePath(u"Orvalet.conf"_qs), QSettings::IniFormat)};
    std::atomic<qint64> programs = 0;
    ThingsWorker worker{std::make_unique<CountingEngine>(programs)};

    // `count` top-level tags, in the library and in the store alike.
    QList<TagPtr> batchTags(standin::ThingsLibrary& library, int count) {
        QList<TagPtr> tags;
        for (int i = 0; i < count; ++i) {
            const QString name = u"Batch tag " % QString::number(i);
            tags.append(store->insert(Tag(library.makeTag(name), name)));
        }
        return tags;
    }

    // Commits the store, and starts `things3-standin serve` on the library, saved in the folder,
    // on a socket of the folder's; true once it listens there.
    bool serve(QProcess& server, const standin::ThingsLibrary& library, const QStringList& options = {}) {
        const QString libraryPath = dir.filePath(u"library.json"_qs);
        const QString socket = dir.filePath(u"socket"_qs);
        qputenv("ORVALET_STANDIN_SOCKET", socket.toUtf8());
        library.save(libraryPath);
        store->flush();
        server.start(QStringLiteral(STANDIN_BINARY),
                     QStringList{u"serve"_qs, u"--library"_qs, libraryPath} + options);
        return bench::waitForListening(socket);
    }
};

// "Save Changes" with 1,000 selected top-level tags, moving them under one of two parents in turn,
// through a stand-in process of its own. A timer of 5 ms counts the turns of the event loop while
// the run goes on; the longest gap between two ticks is the longest the interface would not draw.
// Range 0: 1 when every `changed` of the editor is followed by the reads a pane makes (its rows
// and its parent choices), 0 without. Range 1: 1 when writes find their tags by identifier (the
// default), 0 when they address them by their stored names. By identifier, a hundred tags to a program.
void batchReparentThroughStandIn(benchmark::State& state) {
    constexpr int tagCount = 1000;
    Setting setting;
    setting.preferences.setFlag(PreferenceKey::findTagsById, state.range(1) == 1);
    standin::ThingsLibrary library;
    const QString parents[] = {library.makeTag(u"Parent A"_qs), library.makeTag(u"Parent B"_qs)};
    setting.store->insert(Tag(parents[0], u"Parent A"_qs));
    setting.store->insert(Tag(parents[1], u"Parent B"_qs));
    const QList<TagPtr> selected = setting.batchTags(library, tagCount);
    QProcess server;
    if (!setting.serve(server, library)) {
        state.SkipWithError("the stand-in did not start");
        return;
    }

    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QElapsedTimer sinceTick;
    qint64 ticks = 0;
    qint64 longestGap = 0;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        longestGap = std::max(longestGap, sinceTick.restart());
    });

    int round = 0;
    qint64 elapsed = 0;
    setting.programs = 0;
    for (auto _ : state) {
        BatchEditor editor(*setting.store, setting.preferences, setting.worker, selected, {}, {});
        editor.setSelectedParentId(parents[round++ % 2]);
        qint64 reads = 0;
        if (state.range(0) == 1) {
            QObject::connect(&editor, &BatchEditor::changed, [&editor, &reads] {
                reads += editor.selectedRows().size() + editor.parentChoices().size();
            });
        }
        QElapsedTimer run;
        run.start();
        sinceTick.start();
        ticker.start();
        QCoro::waitFor(editor.saveChanges());
        longestGap = std::max(longestGap, sinceTick.elapsed());
        ticker.stop();
        elapsed += run.elapsed();
        benchmark::DoNotOptimize(reads);
        if (!editor.resultState() || !editor.resultState()->isSuccess() ||
            editor.resultState()->updated().size() != tagCount) {
            state.SkipWithError("the save did not update every tag");
            break;
        }
    }
    const double runs = double(state.iterations());
    state.counters["ms_per_tag"] = double(elapsed) / runs / tagCount;
    state.counters["ticks_per_run"] = double(ticks) / runs;
    state.counters["ticks_per_s"] = double(ticks) * 1000.0 / double(std::max<qint64>(elapsed, 1));
    state.counters["longest_gap_ms"] = double(longestGap);
    state.counters["programs_per_run"] = double(setting.programs) / runs;
    server.terminate();
    server.waitForFinished();
}
// "Delete" (range(2) = 0) or "Save Changes" moving them under a parent (1) with 1,000 selected
// top-level tags, or the clean-up deleting them and their parent-to-be as unused trees (2), through a
// stand-in process that takes range(0) ms to answer each program (100: what starting osascript costs on a
// Mac), with writes by identifier (range(1) = 1, a hundred tags to a program) or by stored name (0, a program
// per tag).
void batchRunThroughStandIn(benchmark::State& state) {
    constexpr int tagCount = 1000;
    const bool moving = state.range(2) == 1, cleaning = state.range(2) == 2;
    qint64 elapsed = 0, programs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Setting setting;
        setting.preferences.setFlag(PreferenceKey::findTagsById, state.range(1) == 1);
        standin::ThingsLibrary library;
        const TagPtr parent = setting.store->insert(Tag(library.makeTag(u"Parent"_qs), u"Parent"_qs));
        const QList<TagPtr> selected = setting.batchTags(library, tagCount);
        QProcess server;
        if (!setting.serve(server, library, {u"--delay-ms"_qs, QString::number(state.range(0))})) {
            state.SkipWithError("the stand-in did not start");
            return;
        }
        BatchEditor editor(*setting.store, setting.preferences, setting.worker, selected, {}, {});
        editor.setSelectedParentId(parent->id());
        state.ResumeTiming();

        QElapsedTimer run;
        run.start();
        UnusedTagsCleanup cleanup(*setting.store, setting.preferences, setting.worker);
        QCoro::waitFor(moving     ? editor.saveChanges()
                       : cleaning ? cleanup.confirmDelete()
                                  : editor.deleteWithChildren());
        elapsed += run.elapsed();
        programs += setting.programs;
        const bool allDone = moving ? editor.resultState() && editor.resultState()->isSuccess() &&
                                          editor.resultState()->updated().size() == tagCount
                             : cleaning ? setting.store->count() == 0 && cleanup.resultState()->isSuccess()
                                        : setting.store->count() == 1 && editor.deleteFailures().isEmpty();
        state.PauseTiming();
        server.terminate();
        server.waitForFinished();
        state.ResumeTiming();
        if (!allDone) {
            state.SkipWithError("the run did not reach every tag");
            break;
        }
    }
    state.counters["s_per_run"] = double(elapsed) / 1000.0 / double(state.iterations());
    state.counters["programs_per_run"] = double(programs) / double(state.iterations());
}
BENCHMARK(batchRunThroughStandIn)
    ->ArgNames({"delay_ms", "by_id", "run"})
    ->ArgsProduct({{0, 100}, {1, 0}, {0, 1, 2}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

BENCHMARK(batchReparentThroughStandIn)
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(4)
    ->UseRealTime();

QString tagId(int i) {
    return u"T" % QString::number(i).rightJustified(21, u'0');
}

// A store of 100,000 tags, four in five under a parent, and a selection of 1,000 spread over it.
struct BigStore {
    Setting setting;
    QList<TagPtr> selected;

    BigStore() {
        QList<ThingsTagRecord> records;
        for (int i = 0; i < 100'000; ++i) {
            records.append(ThingsTagRecord{tagId(i), u"Tag name " % QString::number(i),
                                           i % 5 ? std::optional(tagId(i / 5)) : std::nullopt, 0});
        }
        TagListActions::mergeImportedTags(*setting.store, setting.preferences, records);
        setting.store->flush();
        for (int i = 0; i < 1000; ++i) {
            selected.append(setting.store->tag(tagId(i * 97)));
        }
    }
};

BigStore& bigStore() {
    static BigStore store;
    return store;
}

// The picker's entries: the tags outside the selected subtrees, ordered under the locale.
void parentChoicesAt100k(benchmark::State& state) {
    BigStore& big = bigStore();
    BatchEditor editor(*big.setting.store, big.setting.preferences, big.setting.worker,
                       big.selected.mid(0, state.range(0)), {}, {});
    qsizetype offered = 0;
    for (auto _ : state) {
        offered = editor.parentChoices().size();
    }
    state.counters["offered"] = double(offered);
}
BENCHMARK(parentChoicesAt100k)->Arg(2)->Arg(1000)->Unit(benchmark::kMillisecond);

// The "Selected Tags" rows with their ancestor paths.
void selectedRowsAt100k(benchmark::State& state) {
    BigStore& big = bigStore();
    BatchEditor editor(*big.setting.store, big.setting.preferences, big.setting.worker, big.selected, {}, {});
    for (auto _ : state) {
        benchmark::DoNotOptimize(editor.selectedRows().size());
    }
}
BENCHMARK(selectedRowsAt100k)->Unit(benchmark::kMillisecond);

} // namespace

// Undo of a deletion at the size users reach: a tree of 100 tags (a top, 9 below it, 10 below each of
// those) carried by 10,000 to-dos of every status, each also carrying a tag outside the tree, through
// a stand-in process that takes range(0) ms to answer each program. The deletion reads the tree and
// its to-dos first (the snapshot), then deletes; undo makes the tree again and gives every to-do its
// tags back. Each is timed and its programs counted.
void undoDeletionThroughStandIn(benchmark::State& state) {
    constexpr int todoCount = 10'000;
    qint64 snapshotMs = 0, undoMs = 0, snapshotPrograms = 0, undoPrograms = 0;
    for (auto _ : state) {
        state.PauseTiming();
        Setting setting;
        standin::ThingsLibrary library;
        const auto both = [&](const QString& name, const TagPtr& parent) {
            const QString id = library.makeTag(name, parent ? parent->id() : QString());
            return setting.store->insert(Tag(id, name, parent ? std::optional(parent->id()) : std::nullopt));
        };
        const TagPtr other = both(u"Other"_qs, nullptr);
        QList<TagPtr> tree{both(u"Tree"_qs, nullptr)};
        for (int i = 0; i < 9; ++i) {
            const TagPtr branch = both(u"Branch "_qs + QString::number(i), tree.first());
            tree.append(branch);
            for (int j = 0; j < 10 && tree.size() < 100; ++j) {
                tree.append(both(u"Leaf "_qs + QString::number(i) + u'.' + QString::number(j), branch));
            }
        }
        const standin::TodoState states[] = {standin::TodoState::Open, standin::TodoState::Completed,
                                             standin::TodoState::Canceled};
        for (int i = 0; i < todoCount; ++i) {
            library.addTodo(u"To-do "_qs + QString::number(i), states[i % 3],
                            {tree[i % 100]->id(), other->id(), tree[(i * 7) % 100]->id()});
        }
        QProcess server;
        if (!setting.serve(server, library, {u"--delay-ms"_qs, QString::number(state.range(0))})) {
            state.SkipWithError("the stand-in did not start");
            return;
        }
        UndoHistory& history = UndoHistory::forStore(*setting.store);
        QString report;
        QObject::connect(&history, &UndoHistory::report, [&report](const QString& text) { report = text; });
        state.ResumeTiming();

        QElapsedTimer run;
        run.start();
        setting.programs = 0;
        const QStringList roots{tree.first()->id()};
        const UndoHistory::DeletionPlan plan =
            QCoro::waitFor(history.prepareDeletion(setting.worker, roots, QString()));
        snapshotMs += run.elapsed();
        snapshotPrograms += setting.programs;
        state.PauseTiming();
        BatchEditor editor(*setting.store, setting.preferences, setting.worker, {tree.first()}, {}, {});
        QCoro::waitFor(editor.deleteWithChildren());
        const bool deleted = plan.undo && setting.store->count() == 1 && history.canUndo();
        state.ResumeTiming();

        run.restart();
        setting.programs = 0;
        QCoro::waitFor(history.undo(setting.worker, setting.preferences));
        undoMs += run.elapsed();
        undoPrograms += setting.programs;
        state.PauseTiming();
        server.terminate();
        server.waitForFinished();
        state.ResumeTiming();
        if (!deleted || report != u"Restored 100 tags on 10000 to-dos."_qs || setting.store->count() != 101) {
            state.SkipWithError(qPrintable(u"the tree did not come back: "_qs + report));
            break;
        }
    }
    const double runs = double(state.iterations());
    state.counters["snapshot_s"] = double(snapshotMs) / 1000.0 / runs;
    state.counters["snapshot_programs"] = double(snapshotPrograms) / runs;
    state.counters["undo_s"] = double(undoMs) / 1000.0 / runs;
    state.counters["undo_programs"] = double(undoPrograms) / runs;
}
BENCHMARK(undoDeletionThroughStandIn)
    ->ArgNames({"delay_ms"})
    ->Args({0})
    ->Args({100})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

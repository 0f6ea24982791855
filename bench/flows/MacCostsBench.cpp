// Every flow that talks to Things 3, as a Mac would make the user wait for it: each runs through a
// stand-in process started with --mac-costs, which answers every program no sooner than the modeled
// Mac would (a fixed price per program, per Apple event, per unit copied, per character compiled),
// and writes what each program cost into its transcript. Reported per flow: programs, Apple events,
// text units and list items copied, program characters (in all, and of the largest program), the
// modeled time (the sum over the programs, from their counts) and the time the flow took here.
//
// Two libraries: a power user's (1,000 tags in a forest 4 deep, 20,000 to-dos of every status with
// three tags each, the busiest tag on 3,000 of them) and the undo benchmark's (a tree of 100 tags
// carried by 10,000 to-dos, each also carrying a tag outside the tree).
#include "BatchEditor.h"
#include "MacCostModel.h"
#include "Preferences.h"
#include "RandomLibrary.h"
#include "StandInEngine.h"
#include "StandInListening.h"
#include "TagListActions.h"
#include "TagMerger.h"
#include "TagStore.h"
#include "ThingsLibrary.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"
#include "UnusedTagsCleanup.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringBuilder>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace orvalet;
using standin::ThingsLibrary;
using standin::TodoState;

namespace {

// What the programs of a flow cost, from the stand-in's transcript.
struct Costs {
    qint64 programs = 0;
    qint64 events = 0;
    qint64 copied = 0; // text units and list items
    qint64 characters = 0;
    qint64 largestProgram = 0;
    double modeledSeconds = 0;

    Costs& operator+=(const Costs& other) {
        programs += other.programs;
        events += other.events;
        copied += other.copied;
        characters += other.characters;
        largestProgram = std::max(largestProgram, other.largestProgram);
        modeledSeconds += other.modeledSeconds;
        return *this;
    }
};

// The power user's library. With `unusedTrees`, 100 more top-level tags, each with a child, that no
// open to-do uses (two completed to-dos carry each), for the clean-up.
struct PowerUserLibrary {
    ThingsLibrary library;
    QString busiest;
    QStringList randomTags;
    QStringList unusedTops;
    QString newParent; // a top-level tag with one to-do, for the batch move

    explicit PowerUserLibrary(bool unusedTrees = false)
        : library(standin::RandomLibrary::build(1000, 4, 0, 7)) {
        for (const QString& id : library.tagIds()) {
            randomTags.append(id);
        }
        busiest = library.makeTag(u"Busiest"_qs);
        newParent = library.makeTag(u"New Parent"_qs);
        library.addTodo(u"Plan"_qs, TodoState::Open, {newParent}); // used: the clean-up leaves it alone
        QRandomGenerator random(11);
        const TodoState states[] = {TodoState::Open,      TodoState::Open,      TodoState::Open,
                                    TodoState::Open,      TodoState::Open,      TodoState::Open,
                                    TodoState::Completed, TodoState::Completed, TodoState::Completed,
                                    TodoState::Canceled};
        for (int i = 0; i < 20'000; ++i) {
            QStringList tags;
            if (i < 3000) {
                tags.append(busiest);
            }
            while (tags.size() < (i < 3000 ? 4 : 3)) {
                const QString& tag = randomTags[random.bounded(int(randomTags.size()))];
                if (!tags.contains(tag)) {
                    tags.append(tag);
                }
            }
            library.addTodo(u"To-do "_qs + QString::number(i), states[random.bounded(10)], tags);
        }
        // Every tenth tag has a keyboard shortcut.
        for (qsizetype i = 0; i < randomTags.size(); i += 10) {
            library.setShortcut(randomTags[i], QString(QChar(char16_t(u'a' + (i / 10) % 26))));
        }
        if (unusedTrees) {
            for (int i = 0; i < 100; ++i) {
                const QString top = library.makeTag(u"Unused "_qs + QString::number(i));
                const QString child = library.makeTag(u"Unused "_qs + QString::number(i) + u".1"_qs, top);
                unusedTops.append(top);
                library.addTodo(u"Done "_qs + QString::number(i), TodoState::Completed, {top, randomTags[i]});
                library.addTodo(u"Dropped "_qs + QString::number(i), TodoState::Canceled, {child});
            }
        }
    }
};

// The undo benchmark's library: "Tree" with 9 branches of 10 leaves (100 tags), and "Other".
struct TreeLibrary {
    ThingsLibrary library;
    QString tree;

    TreeLibrary() {
        const QString other = library.makeTag(u"Other"_qs);
        QStringList tags{library.makeTag(u"Tree"_qs)};
        tree = tags.first();
        for (int i = 0; i < 9; ++i) {
            const QString branch = library.makeTag(u"Branch "_qs + QString::number(i), tree);
            tags.append(branch);
            for (int j = 0; j < 10 && tags.size() < 100; ++j) {
                tags.append(
                    library.makeTag(u"Leaf "_qs + QString::number(i) + u'.' + QString::number(j), branch));
            }
        }
        const TodoState states[] = {TodoState::Open, TodoState::Completed, TodoState::Canceled};
        for (int i = 0; i < 10'000; ++i) {
            library.addTodo(u"To-do "_qs + QString::number(i), states[i % 3],
                            {tags[i % 100], other, tags[(i * 7) % 100]});
        }
    }
};

// A store holding the library's tags as an import leaves them, a stand-in process serving the
// library with --mac-costs, and the transcript it writes.
class Setting {
public:
    QTemporaryDir dir;
    std::unique_ptr<TagStore> store = TagStore::open(dir.filePath(u"Orvalet.store"_qs), nullptr);
    Preferences preferences{
        std::make_unique<QSettings>(dir.filePath(u"Orvalet.conf"_qs), QSettings::IniFormat)};
    ThingsWorker worker{std::make_unique<StandInEngine>()};

    Setting() = default;
    Setting(const Setting&) = delete;
    Setting& operator=(const Setting&) = delete;
    ~Setting() {
        m_server.terminate();
        m_server.waitForFinished();
    }

    // A deletion whose trees cannot be kept for Undo asks again; here it goes ahead, and says so.
    QString asked;

    bool serve(const ThingsLibrary& library) {
        UndoHistory& history = UndoHistory::forStore(*store);
        QObject::connect(&history, &UndoHistory::question, &history,
                         [this, &history](int question, const QString& title, const QString&) {
                             asked = title;
                             history.answerQuestion(question, true);
                         });
        for (const QString& id : library.tagIds()) {
            const standin::LibraryTag* t = library.tag(id);
            store
                ->insert(Tag(id, t->name, t->parentId.isEmpty() ? std::nullopt : std::optional(t->parentId),
                             std::nullopt, std::nullopt, library.todoCount(id, TodoState::Open)))
                ->setShortcut(t->shortcut);
        }
        store->flush();
        const QString libraryPath = dir.filePath(u"library.json"_qs);
        const QString socket = dir.filePath(u"socket"_qs);
        qputenv("ORVALET_STANDIN_SOCKET", socket.toUtf8());
        library.save(libraryPath);
        m_server.start(QStringLiteral(STANDIN_BINARY), {u"serve"_qs, u"--library"_qs, libraryPath,
                                                        u"--transcript"_qs, transcript(), u"--mac-costs"_qs});
        return bench::waitForListening(socket);
    }

    // The flow measured starts now.
    void mark() {
        m_from = QFileInfo(transcript()).size();
        m_clock.start();
    }
    double wallSeconds() const { return double(m_clock.elapsed()) / 1000.0; }

    // What each program since the mark cost, in order.
    QList<Costs> programs() const {
        QFile file(transcript());
        QList<Costs> costs;
        if (!file.open(QIODevice::ReadOnly) || !file.seek(m_from)) {
            return costs;
        }
        static const QRegularExpression line(
            uR"(^=== costs: (\d+) Apple events, (\d+) text units copied, (\d+) list items copied, (\d+) program characters; ([\d.]+) ms)"_qs);
        while (!file.atEnd()) {
            const QByteArray text = file.readLine();
            if (!text.startsWith("=== costs: ")) {
                continue;
            }
            const QRegularExpressionMatch m = line.match(QString::fromUtf8(text));
            if (m.hasMatch()) {
                const qint64 characters = m.captured(4).toLongLong();
                costs.append({1, m.captured(1).toLongLong(),
                              m.captured(2).toLongLong() + m.captured(3).toLongLong(), characters, characters,
                              m.captured(5).toDouble() / 1000.0});
            }
        }
        return costs;
    }
    Costs total() const {
        Costs sum;
        for (const Costs& program : programs()) {
            sum += program;
        }
        return sum;
    }

    QList<TagPtr> tags(const QStringList& ids) const {
        QList<TagPtr> found;
        for (const QString& id : ids) {
            found.append(store->tag(id));
        }
        return found;
    }

private:
    QString transcript() const { return dir.filePath(u"transcript.txt"_qs); }
    QProcess m_server;
    qint64 m_from = 0;
    QElapsedTimer m_clock;
};

// Runs `flow` on a fresh power user's library (with the unused trees when asked), served and stored,
// once per iteration of the benchmark.
template <typename Flow>
void onPowerUserLibrary(benchmark::State& state, Flow&& flow, bool unusedTrees = false) {
    for (auto _ : state) {
        const PowerUserLibrary power(unusedTrees);
        Setting setting;
        if (!setting.serve(power.library)) {
            state.SkipWithError("the stand-in did not start");
            return;
        }
        flow(power, setting);
    }
}

void report(benchmark::State& state, const Costs& costs, double wallSeconds, QString check = {},
            const QString& asked = {}) {
    if (!asked.isEmpty() && check.isEmpty()) {
        check = u"the deletion asked \u201C"_qs + asked + u"\u201D"_qs;
    }
    state.counters["programs"] = double(costs.programs);
    state.counters["events"] = double(costs.events);
    state.counters["copied"] = double(costs.copied);
    state.counters["program_kchars"] = double(costs.characters) / 1000.0;
    state.counters["largest_program_kchars"] = double(costs.largestProgram) / 1000.0;
    state.counters["modeled_s"] = costs.modeledSeconds;
    state.counters["wall_s"] = wallSeconds;
    if (!check.isEmpty()) {
        state.SkipWithError(qPrintable(check));
    }
}

// "Import from Things": the designed fetch-all program (its cost reported as designed_*), then the
// keyboard shortcuts and whatever else is ours.
void importPowerUser(benchmark::State& state) {
    onPowerUserLibrary(state, [&state](const PowerUserLibrary&, Setting& setting) {
        TagListActions actions(*setting.store, setting.preferences, setting.worker);
        setting.mark();
        QCoro::waitFor(actions.importAllTags());
        const QList<Costs> programs = setting.programs();
        Costs ours;
        for (qsizetype i = 1; i < programs.size(); ++i) {
            ours += programs[i];
        }
        report(state, ours, setting.wallSeconds(),
               actions.importError() ? *actions.importError() : QString());
        state.counters["designed_events"] = double(programs.value(0).events);
        state.counters["designed_copied"] = double(programs.value(0).copied);
        state.counters["designed_modeled_s"] = programs.value(0).modeledSeconds;
    });
}
BENCHMARK(importPowerUser)->Iterations(1)->Unit(benchmark::kSecond);

// The read before a deletion (range 0: 0 the busiest tag of the power user's library, 1 the tree of
// 100 tags), then, with range 1 = 1, the deletion's undo.
void deletionSnapshotAndUndo(benchmark::State& state) {
    const bool undo = state.range(1) == 1;
    for (auto _ : state) {
        std::optional<PowerUserLibrary> power;
        std::optional<TreeLibrary> tree;
        QString root;
        if (state.range(0) == 0) {
            power.emplace();
            root = power->busiest;
        } else {
            tree.emplace();
            root = tree->tree;
        }
        Setting setting;
        if (!setting.serve(power ? power->library : tree->library)) {
            state.SkipWithError("the stand-in did not start");
            return;
        }
        UndoHistory& history = UndoHistory::forStore(*setting.store);
        QString said;
        QObject::connect(&history, &UndoHistory::report, [&said](const QString& text) { said = text; });
        if (!undo) {
            setting.mark();
            const UndoHistory::DeletionPlan plan =
                QCoro::waitFor(history.prepareDeletion(setting.worker, {root}, QString()));
            report(state, setting.total(), setting.wallSeconds(),
                   plan.undo ? QString() : u"the snapshot could not be kept"_qs);
            continue;
        }
        BatchEditor editor(*setting.store, setting.preferences, setting.worker, setting.tags({root}), {}, {});
        QCoro::waitFor(editor.deleteWithChildren());
        setting.mark();
        QCoro::waitFor(history.undo(setting.worker, setting.preferences));
        report(state, setting.total(), setting.wallSeconds(),
               said.startsWith(u"Restored"_qs) ? QString() : u"the undo failed: "_qs + said);
        state.SetLabel(said.toStdString());
    }
}
BENCHMARK(deletionSnapshotAndUndo)
    ->ArgNames({"tree", "undo"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// "Merge Into…" of the busiest tag: the read (range 0 = 0), or the write after it (1).
void mergeBusiest(benchmark::State& state) {
    onPowerUserLibrary(state, [&state](const PowerUserLibrary& power, Setting& setting) {
        TagMerger merger(*setting.store, setting.preferences, setting.worker,
                         setting.store->tag(power.busiest));
        merger.setDestinationId(power.randomTags.last());
        setting.mark();
        QCoro::waitFor(merger.prepareMerge());
        if (state.range(0) == 1) {
            setting.mark();
            QCoro::waitFor(merger.merge());
        }
        const bool done = state.range(0) == 0 ? merger.showsConfirmation() : merger.outcome().has_value();
        report(state, setting.total(), setting.wallSeconds(),
               done ? QString() : u"the merge failed: "_qs + merger.errorMessage().value_or(QString()));
    });
}
BENCHMARK(mergeBusiest)->ArgNames({"write"})->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

// Tools ▸ Clean Up Unused Tags… deleting 100 unused trees: the read for undo, the check, the deletion.
void cleanUpHundredTrees(benchmark::State& state) {
    onPowerUserLibrary(
        state,
        [&state](const PowerUserLibrary& power, Setting& setting) {
            UnusedTagsCleanup cleanup(*setting.store, setting.preferences, setting.worker);
            setting.mark();
            QCoro::waitFor(cleanup.confirmDelete());
            const bool done = cleanup.resultState() && cleanup.resultState()->isSuccess() &&
                              !setting.store->tag(power.unusedTops.last());
            report(state, setting.total(), setting.wallSeconds(),
                   done ? QString() : u"the clean-up failed"_qs, setting.asked);
        },
        true);
}
BENCHMARK(cleanUpHundredTrees)->Iterations(1)->Unit(benchmark::kSecond);

// The batch editor with range(0) of the power user's tags selected: moved under a new top-level tag
// (range 1 = 0) or deleted (1).
void batchMoveOrDelete(benchmark::State& state) {
    const bool deleting = state.range(1) == 1;
    onPowerUserLibrary(state, [&state, deleting](const PowerUserLibrary& power, Setting& setting) {
        QStringList ids;
        for (qsizetype i = 0; i < state.range(0); ++i) {
            ids.append(power.randomTags[i * power.randomTags.size() / state.range(0)]);
        }
        BatchEditor editor(*setting.store, setting.preferences, setting.worker, setting.tags(ids), {}, {});
        editor.setSelectedParentId(power.newParent);
        const qsizetype stored = setting.store->count();
        setting.mark();
        QCoro::waitFor(deleting ? editor.deleteWithChildren() : editor.saveChanges());
        if (deleting) {
            // The selected tags' trees: every tag in them is read for undo.
            state.SetLabel(std::to_string(stored - setting.store->count()) + " tags in the trees");
        }
        const bool done = deleting ? editor.deleteFailures().isEmpty() && !setting.store->tag(ids.last())
                                   : editor.resultState() && editor.resultState()->isSuccess();
        report(state, setting.total(), setting.wallSeconds(), done ? QString() : u"the batch failed"_qs,
               setting.asked);
    });
}
BENCHMARK(batchMoveOrDelete)
    ->ArgNames({"tags", "delete"})
    ->ArgsProduct({{100, 1000}, {0, 1}})
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

// "Update from Things" on range(0) of the power user's tags.
void updateFromThings(benchmark::State& state) {
    onPowerUserLibrary(state, [&state](const PowerUserLibrary& power, Setting& setting) {
        TagListActions actions(*setting.store, setting.preferences, setting.worker);
        const QList<TagPtr> tags = setting.tags(power.randomTags.mid(0, state.range(0)));
        setting.mark();
        QCoro::waitFor(actions.refreshTags(tags));
        report(state, setting.total(), setting.wallSeconds());
    });
}
BENCHMARK(updateFromThings)->ArgNames({"tags"})->Arg(1)->Arg(1000)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

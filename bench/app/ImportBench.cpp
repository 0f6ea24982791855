// "Import from Things" at 100,000 tags through a real stand-in process, from the click to the import
// done: the end-to-end time, and the longest the event loop went without turning (what a user feels
// as a frozen window), measured by a 1 ms timer. Into an empty store and into a store that already
// holds every tag (the import run again). With the main window (its list rebuilt from the result
// included), and with the list's actions alone, which leaves the store's own share of the work.
// And 10,000 tags that all have a keyboard shortcut, which the import reads in a second program.
#include "../flows/StandInListening.h"
#include "ContentView.h"
#include "Preferences.h"
#include "StandInEngine.h"
#include "TagListActions.h"
#include "TagListModel.h"
#include "TagStore.h"
#include "ThingsWorker.h"
#include "WidgetBenchMain.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <benchmark/benchmark.h>

using namespace orvalet;

namespace {

constexpr int tagCount = 100'000;
constexpr int tagsWithShortcuts = 10'000;

// One stand-in serving a library of `tags` random tags, each with a shortcut when asked, for the
// whole program. The engines made after it reach it.
struct StandIn {
    QTemporaryDir dir;
    QProcess server;
    bool listening = false;

    explicit StandIn(int tags = tagCount, bool shortcuts = false) {
        const QString library = dir.filePath(u"library.json"_qs);
        const QString socket = dir.filePath(u"socket"_qs);
        qputenv("ORVALET_STANDIN_SOCKET", socket.toUtf8());
        QProcess::execute(QStringLiteral(STANDIN_BINARY),
                          QStringList{u"seed"_qs, u"--random"_qs, QString::number(tags), u"--todos"_qs,
                                      u"0"_qs, u"--library"_qs, library} +
                              (shortcuts ? QStringList{u"--shortcuts"_qs} : QStringList()));
        server.start(QStringLiteral(STANDIN_BINARY), {u"serve"_qs, u"--library"_qs, library});
        // A library this size takes the stand-in a while to read.
        for (int i = 0; i < 4 && !listening; ++i) {
            listening = bench::waitForListening(socket);
        }
    }
    ~StandIn() {
        server.terminate();
        server.waitForFinished();
    }
};

std::unique_ptr<StandIn> standIn;
std::unique_ptr<StandIn> standInWithShortcuts;

// The longest interval between two turns of the event loop while it runs.
class GapMeter final {
public:
    GapMeter() {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    double longestMs() const { return double(m_longest) / 1e6; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

struct Setup {
    QTemporaryDir dir;
    std::unique_ptr<TagStore> store = TagStore::open(dir.filePath(u"Orvalet.store"_qs), nullptr);
    Preferences preferences{
        std::make_unique<QSettings>(dir.filePath(u"Orvalet.conf"_qs), QSettings::IniFormat)};
    ThingsWorker worker{std::make_unique<StandInEngine>()};
    std::unique_ptr<ContentView> view;
    std::unique_ptr<TagListActions> actions;
    int storeChanges = 0;
    int expected = tagCount;

    explicit Setup(bool withWindow, int expectedTags = tagCount)
        : expected(expectedTags) {
        if (withWindow) {
            view = std::make_unique<ContentView>(*store, preferences, worker);
            view->resize(900, 700);
            view->show();
        } else {
            actions = std::make_unique<TagListActions>(*store, preferences, worker);
        }
        QObject::connect(store.get(), &TagStore::changed, [this] { ++storeChanges; });
        QCoreApplication::processEvents();
    }

    TagListActions& list() { return view ? view->actions() : *actions; }

    // Starts the import and runs the event loop until it is done: the import over, its records
    // committed and announced, and with a window the rows shown. False when it did not end in time.
    bool importAll() {
        const int changesBefore = storeChanges;
        if (view) {
            view->importAction()->trigger();
        } else {
            actions->importAllTags();
        }
        QElapsedTimer waited;
        waited.start();
        auto done = [&] {
            return !list().isImporting() && storeChanges > changesBefore && !store->hasPendingWrites() &&
                   (!view || view->model().rowCount() == expected);
        };
        while (!done() && waited.elapsed() < 300'000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        if (view) {
            view->list()->viewport()->repaint();
        }
        return done();
    }
};

// range(0): 1 with the main window. range(1): 1 when the store already holds every tag.
void importHundredThousandTags(benchmark::State& state) {
    if (!standIn) {
        standIn = std::make_unique<StandIn>();
        bench::beforeQuit([] { standIn.reset(); });
    }
    if (!standIn->listening) {
        state.SkipWithError("the stand-in did not start");
        return;
    }
    double longestGap = 0;
    for (auto _ : state) {
        Setup setup(state.range(0) == 1);
        if (state.range(1) == 1 && !setup.importAll()) {
            state.SkipWithError("the first import did not finish");
            break;
        }
        QElapsedTimer run;
        run.start();
        GapMeter gaps;
        const bool finished = setup.importAll();
        state.SetIterationTime(double(run.nsecsElapsed()) / 1e9);
        longestGap = std::max(longestGap, gaps.longestMs());
        if (!finished || setup.store->count() != tagCount) {
            state.SkipWithError("the import did not bring every tag");
            break;
        }
    }
    state.counters["longest_gap_ms"] = longestGap;
}
BENCHMARK(importHundredThousandTags)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"window", "again"})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseManualTime();

} // namespace

namespace {

// From the click to the rows shown, shortcuts and all: the fetch-all program, the shortcuts'
// program, and the store. range(0): 1 when the store already holds every tag.
void importTenThousandTagsWithShortcuts(benchmark::State& state) {
    if (!standInWithShortcuts) {
        standInWithShortcuts = std::make_unique<StandIn>(tagsWithShortcuts, true);
        bench::beforeQuit([] { standInWithShortcuts.reset(); });
    }
    if (!standInWithShortcuts->listening) {
        state.SkipWithError("the stand-in did not start");
        return;
    }
    for (auto _ : state) {
        Setup setup(true, tagsWithShortcuts);
        if (state.range(0) == 1 && !setup.importAll()) {
            state.SkipWithError("the first import did not finish");
            break;
        }
        QElapsedTimer run;
        run.start();
        const bool finished = setup.importAll();
        state.SetIterationTime(double(run.nsecsElapsed()) / 1e9);
        const QList<TagPtr> tags = setup.store->allTagsUnordered();
        const bool keyed = std::all_of(tags.cbegin(), tags.cend(), [](const TagPtr& tag) {
            return tag->shortcut() && !tag->shortcut()->isEmpty();
        });
        if (!finished || setup.store->count() != tagsWithShortcuts || !keyed) {
            state.SkipWithError("the import did not bring every tag with its shortcut");
            break;
        }
    }
}
BENCHMARK(importTenThousandTagsWithShortcuts)
    ->ArgNames({"again"})
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5)
    ->UseManualTime();

} // namespace

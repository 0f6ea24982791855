// The main window at the sizes users reach: the start with a store of 100,000 tags, a keystroke in
// the search field at 100,000 and 300,000 tags, a store change at 100,000 tags with each detail pane
// shown (list rebuilt, 1,000 selected rows selected again, the visible rows drawn), and an import of
// 10,000 tags with 30,000 to-dos from the click to the list shown, through a stand-in.
#include "ContentView.h"
#include "MainWindow.h"
#include "OrvaletApp.h"
#include "Preferences.h"
#include "StandInEngine.h"
#include "TagCreateView.h"
#include "TagEditView.h"
#include "TagListActions.h"
#include "TagListModel.h"
#include "TagOutlineModel.h"
#include "TagOutlineView.h"
#include "TagStore.h"
#include "ThingsWorker.h"
#include "WidgetBenchMain.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QListView>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QStringBuilder>
#include <QTemporaryDir>
#include <QThread>
#include <benchmark/benchmark.h>

using namespace orvalet;

namespace {

QString tagId(int i) {
    return u"T" % QString::number(i).rightJustified(21, u'0');
}

// A window over a store of `tags` records, three levels deep, with update times and counts spread.
struct Window {
    QTemporaryDir dir;
    std::unique_ptr<TagStore> store = TagStore::open(dir.filePath(u"Orvalet.store"_qs), nullptr);
    Preferences preferences{
        std::make_unique<QSettings>(dir.filePath(u"Orvalet.conf"_qs), QSettings::IniFormat)};
    ThingsWorker worker{std::make_unique<StandInEngine>()};
    std::unique_ptr<ContentView> view;

    explicit Window(int tags) {
        QList<ThingsTagRecord> records;
        for (int i = 0; i < tags; ++i) {
            records.append(ThingsTagRecord{tagId(i), u"Tag name " % QString::number(i),
                                           i % 5 ? std::optional(tagId(i / 5)) : std::nullopt, (i * 7) % 37});
        }
        if (tags > 0) {
            TagListActions::mergeImportedTags(*store, preferences, records);
            store->flush();
            QCoreApplication::processEvents();
        }
        preferences.setFlag(PreferenceKey::showChildrenCounts, true);
        preferences.setFlag(PreferenceKey::showTodoCounts, true);
        view = std::make_unique<ContentView>(*store, preferences, worker);
        view->resize(900, 700);
        view->show();
        QCoreApplication::processEvents();
    }

    void selectSpread(int count, int step) {
        QSet<QString> ids;
        for (int i = 0; i < count; ++i) {
            ids.insert(tagId(i * step));
        }
        view->actions().setSelectedTagIds(ids);
    }

    void draw() { view->list()->viewport()->repaint(); }
};

// Made at first use, dropped before the application object goes.
std::unique_ptr<Window> shared;
Window& bigWindow() {
    if (!shared) {
        shared = std::make_unique<Window>(100'000);
        bench::beforeQuit([] { shared.reset(); });
    }
    return *shared;
}

Window& hugeWindow() {
    static std::unique_ptr<Window> window;
    if (!window) {
        window = std::make_unique<Window>(300'000);
        bench::beforeQuit([] { window.reset(); });
    }
    return *window;
}

const TagSortOption sortOptions[] = {TagSortOption::alphabetical, TagSortOption::recentlyUpdated,
                                     TagSortOption::mostTodos};

// One keystroke: the search text changes, the list is filtered and ordered again, the model reset,
// the 1,000 selected tags selected again, and the visible rows drawn. Arguments: the sort option,
// and 100,000 or 300,000 tags (where "name 1" matches 11,111 or 111,111 names, "name 12" a tenth).
void searchKeystroke(benchmark::State& state) {
    Window& window = state.range(1) == 0 ? bigWindow() : hugeWindow();
    window.preferences.setSortOption(sortOptions[state.range(0)]);
    window.selectSpread(1000, 97);
    const QString texts[] = {u"name 1"_qs, u"name 12"_qs};
    int turn = 0;
    for (auto _ : state) {
        window.view->searchField()->setText(texts[turn++ % 2]);
        window.draw();
    }
    window.view->searchField()->clear();
    state.counters["rows"] = double(window.view->model().rowCount());
    state.counters["selected"] = double(window.view->list()->selectionModel()->selectedRows().size());
}
BENCHMARK(searchKeystroke)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);

// A tag renamed elsewhere: the store's changed signal at the end of the turn, every order brought up
// to date, the model changed, the selected tags selected again, the detail pane following, and the
// visible rows drawn. Arguments: the sort option, and what is selected: 1,000 tags (the batch pane
// shown) or none (the list alone).
void storeChange(benchmark::State& state) {
    Window& window = bigWindow();
    window.preferences.setSortOption(sortOptions[state.range(0)]);
    if (state.range(1) == 0) {
        window.selectSpread(1000, 97);
    } else {
        window.view->actions().setSelectedTagIds({});
    }
    QCoreApplication::processEvents();
    const TagPtr renamed = window.store->tag(tagId(54'321));
    int round = 0;
    for (auto _ : state) {
        renamed->setName(u"Tag name 5" % QString::number(round++));
        QCoreApplication::processEvents(); // the end of the turn: commit, then `changed`
        window.draw();
    }
    state.counters["selected"] = double(window.view->list()->selectionModel()->selectedRows().size());
}
BENCHMARK(storeChange)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);

// The tag editor at 100,000 tags: selecting a tag (the pane made, its parent picker filled with
// every other tag), a keystroke in its name field, and a tag renamed elsewhere while it is shown.
void editorShown(benchmark::State& state) {
    Window& window = bigWindow();
    int round = 0;
    for (auto _ : state) {
        window.view->actions().setSelectedTagIds({});
        window.view->actions().setSelectedTagIds({tagId(1 + round++ % 4)});
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); // the dropped pane
    }
    state.counters["editor"] = window.view->tagEditView() ? 1 : 0;
}
BENCHMARK(editorShown)->Unit(benchmark::kMillisecond);

void editorKeystroke(benchmark::State& state) {
    Window& window = bigWindow();
    window.view->actions().setSelectedTagIds({tagId(2)});
    auto* name = window.view->tagEditView()->findChild<QLineEdit*>(u"nameField"_qs);
    int round = 0;
    for (auto _ : state) {
        name->setText(u"Tag name typed " % QString::number(round++));
        QCoreApplication::processEvents();
    }
}
BENCHMARK(editorKeystroke)->Unit(benchmark::kMillisecond);

void editorStoreChange(benchmark::State& state) {
    Window& window = bigWindow();
    window.view->actions().setSelectedTagIds({tagId(2)});
    const TagPtr renamed = window.store->tag(tagId(54'321));
    int round = 0;
    for (auto _ : state) {
        renamed->setName(u"Tag name 6" % QString::number(round++));
        QCoreApplication::processEvents();
        window.draw();
    }
}
BENCHMARK(editorStoreChange)->Unit(benchmark::kMillisecond);

// "New Tag" at 100,000 tags: the sheet opened with its picker listing every tag, then closed.
void createSheetOpened(benchmark::State& state) {
    Window& window = bigWindow();
    for (auto _ : state) {
        window.view->newTagAction()->trigger();
        QCoreApplication::processEvents();
        state.PauseTiming();
        window.view->createSheet()->reject();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(createSheetOpened)->Unit(benchmark::kMillisecond);

// The outline at 100,000 tags, four levels deep, the first root holding 10,000 children.
Window& outlineWindow() {
    static std::unique_ptr<Window> window;
    if (!window) {
        QList<ThingsTagRecord> records;
        for (int i = 0; i < 100'000; ++i) {
            std::optional<QString> parent;
            if (i >= 1 && i <= 10'000) {
                parent = tagId(0);
            } else if (i > 10'000) {
                parent = tagId(i / 5);
            }
            records.append(ThingsTagRecord{tagId(i), u"Tag name " % QString::number(i), parent, i % 13});
        }
        window = std::make_unique<Window>(0);
        TagListActions::mergeImportedTags(*window->store, window->preferences, records);
        window->store->flush();
        window->preferences.setFlag(PreferenceKey::showAsOutline, true);
        QCoreApplication::processEvents();
        bench::beforeQuit([] { window.reset(); });
    }
    return *window;
}

// A tag renamed elsewhere: the outline worked out again, the tree reset and laid out with the
// user's expansions, and the visible rows drawn.
void outlineStoreChange(benchmark::State& state) {
    Window& window = outlineWindow();
    window.view->outline()->collapseAllTags();
    window.view->outline()->expand(window.view->outlineModel().indexOf(tagId(3)));
    window.view->actions().setSelectedTagIds({}); // the editors' own work is measured above
    const TagPtr renamed = window.store->tag(tagId(54'321));
    int round = 0;
    for (auto _ : state) {
        renamed->setName(u"Tag name 7" % QString::number(round++));
        QCoreApplication::processEvents();
        window.view->outline()->viewport()->repaint();
    }
    state.counters["roots"] = window.view->outlineModel().rowCount();
}
BENCHMARK(outlineStoreChange)->Unit(benchmark::kMillisecond);

// One keystroke in the search field in outline mode: matches with their ancestors, all expanded.
void outlineSearchKeystroke(benchmark::State& state) {
    Window& window = outlineWindow();
    // Few matches (about 10 and 120), or many (about 2,200 and 11,000).
    const QString texts[2][2] = {{u"name 1234"_qs, u"name 123"_qs}, {u"name 12"_qs, u"name 1"_qs}};
    int turn = 0;
    for (auto _ : state) {
        window.view->searchField()->setText(texts[state.range(0)][turn++ % 2]);
        window.view->outline()->viewport()->repaint();
    }
    window.view->searchField()->clear();
}
BENCHMARK(outlineSearchKeystroke)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// Expanding the node with 10,000 children, drawn; collapsed again outside the timing.
void outlineExpandBigNode(benchmark::State& state) {
    Window& window = outlineWindow();
    TagOutlineView* tree = window.view->outline();
    const QModelIndex big = window.view->outlineModel().indexOf(tagId(0));
    for (auto _ : state) {
        tree->expand(big);
        tree->viewport()->repaint();
        state.PauseTiming();
        tree->collapse(big);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["children"] = window.view->outlineModel().rowCount(big);
}
BENCHMARK(outlineExpandBigNode)->Unit(benchmark::kMillisecond);

// The start with a store of 100,000 tags, as main() makes it: from opening the store file to the
// first main window drawn. "store" is the part until the store is open, "window" the rest.
void coldStart(benchmark::State& state) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(u"Orvalet.store"_qs);
    if (!QFileInfo::exists(path)) {
        Window filled(0);
        QList<ThingsTagRecord> records;
        for (int i = 0; i < 100'000; ++i) {
            records.append(ThingsTagRecord{tagId(i), u"Tag name " % QString::number(i),
                                           i % 5 ? std::optional(tagId(i / 5)) : std::nullopt, (i * 7) % 37});
        }
        auto store = TagStore::open(path, nullptr);
        TagListActions::mergeImportedTags(*store, filled.preferences, records);
        store->flush();
    }
    double storePart = 0;
    double windowPart = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        QString error;
        auto app = OrvaletApp::create(
            std::make_unique<QSettings>(dir.filePath(u"Orvalet.conf"_qs), QSettings::IniFormat), path, &error,
            nullptr);
        const qint64 opened = timer.nsecsElapsed();
        MainWindow* window = app->newMainWindow();
        window->show();
        QCoreApplication::processEvents();
        window->repaint();
        const qint64 drawn = timer.nsecsElapsed();
        storePart += double(opened) / 1e6;
        windowPart += double(drawn - opened) / 1e6;
        state.PauseTiming();
        app.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["store_ms"] = benchmark::Counter(storePart, benchmark::Counter::kAvgIterations);
    state.counters["window_ms"] = benchmark::Counter(windowPart, benchmark::Counter::kAvgIterations);
}
BENCHMARK(coldStart)->Unit(benchmark::kMillisecond)->Iterations(5);

// "Import from Things" with 10,000 tags and 30,000 to-dos in the stand-in, into an empty store,
// from the click to the rows shown.
void importThroughStandIn(benchmark::State& state) {
    QTemporaryDir dir;
    const QString library = dir.filePath(u"library.json"_qs);
    const QString socket = dir.filePath(u"socket"_qs);
    qputenv("ORVALET_STANDIN_SOCKET", socket.toUtf8());
    QProcess::execute(QStringLiteral(STANDIN_BINARY), {u"seed"_qs, u"--random"_qs, u"10000"_qs, u"--todos"_qs,
                                                       u"30000"_qs, u"--library"_qs, library});
    QProcess server;
    server.start(QStringLiteral(STANDIN_BINARY), {u"serve"_qs, u"--library"_qs, library});
    for (int i = 0; i < 200; ++i) {
        QLocalSocket probe;
        probe.connectToServer(socket);
        if (probe.waitForConnected(50)) {
            break;
        }
        QThread::msleep(20);
    }
    for (auto _ : state) {
        state.PauseTiming();
        auto window = std::make_unique<Window>(0);
        state.ResumeTiming();
        window->view->importAction()->trigger();
        QElapsedTimer waited;
        waited.start();
        while ((window->view->actions().isImporting() || window->view->model().rowCount() < 10000) &&
               waited.elapsed() < 30000) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        window->draw();
        if (window->view->model().rowCount() != 10000) {
            state.SkipWithError("the import did not show 10,000 tags");
            break;
        }
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
    server.terminate();
    server.waitForFinished();
}
BENCHMARK(importThroughStandIn)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

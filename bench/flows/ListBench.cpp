// The main window's list at the size of a very large Things 3 library: 100,000 tags. What the
// user waits for: a keystroke in the search field, a store change, and an import.
#include "Preferences.h"
#include "SimilarTagsReview.h"
#include "StandInEngine.h"
#include "TagListActions.h"
#include "TagListQuery.h"
#include "TagRenamer.h"
#include "TagStore.h"
#include "ThingsWorker.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

using namespace orvalet;

namespace {

constexpr int tagCount = 100'000;

QString tagId(int i) {
    return u"T" % QString::number(i).rightJustified(21, u'0');
}

// Four tags in five under a parent, a few thousand root tags; varied update times and counts.
QList<ThingsTagRecord> records() {
    QList<ThingsTagRecord> list;
    list.reserve(tagCount);
    for (int i = 0; i < tagCount; ++i) {
        list.append(ThingsTagRecord{tagId(i), u"Tag name " % QString::number(i),
                                    i % 5 ? std::optional(tagId(i / 5)) : std::nullopt, (i * 7) % 37});
    }
    return list;
}

// A committed store holding the records, with update times spread over a day.
struct Library {
    QTemporaryDir dir;
    std::unique_ptr<TagStore> store;
    std::unique_ptr<Preferences> preferences;

    Library() {
        store = TagStore::open(dir.filePath(u"Orvalet.store"_qs), nullptr);
        preferences = std::make_unique<Preferences>(
            std::make_unique<QSettings>(dir.filePath(u"Orvalet.conf"_qs), QSettings::IniFormat));
    }

    void fill() {
        TagListActions::mergeImportedTags(*store, *preferences, records());
        const QDateTime start = QDateTime::currentDateTimeUtc();
        int i = 0;
        for (const TagPtr& tag : store->allTagsUnordered()) {
            tag->setUpdatedAt(start.addSecs((i++ * 7919) % 86'400));
        }
        store->flush();
    }
};

Library& fullLibrary() {
    static Library library = [] {
        Library made;
        made.fill();
        return made;
    }();
    return library;
}

const TagSortOption sortOptions[] = {TagSortOption::alphabetical, TagSortOption::recentlyUpdated,
                                     TagSortOption::mostTodos};

// Range 0: the sort option. Range 1: 0 for a search every name matches, 1 for one few names match.
void searchKeystroke(benchmark::State& state) {
    const TagSortOption sort = sortOptions[state.range(0)];
    const QString search = state.range(1) == 0 ? u"a"_qs : u"name 4242"_qs;
    TagListQuery query(*fullLibrary().store);
    query.visibleTags(sort, false, search); // the first keystroke after a store change builds the order
    qsizetype shown = 0;
    for (auto _ : state) {
        shown = query.visibleTags(sort, false, search).size();
        benchmark::DoNotOptimize(shown);
    }
    state.counters["shown"] = double(shown);
}

// A store change seen by the list: the new list, its order and search rebuilt, the 1,000 selected
// rows found again, and one screen of rows (counts and paths) drawn.
void storeChange(benchmark::State& state) {
    const TagSortOption sort = sortOptions[state.range(0)];
    TagStore& store = *fullLibrary().store;
    QSet<QString> selected;
    for (int i = 0; i < 1000; ++i) {
        selected.insert(tagId(i * 97));
    }
    const TagListOptions options{sort, false, true, true};
    TagListQuery query(store);
    qsizetype restored = 0;
    for (auto _ : state) {
        query.storeChanged();
        const QList<TagPtr> rows = query.visibleTags(options, u"name"_qs);
        restored = query.rowsOf(rows, selected).size();
        for (qsizetype row = 0; row < 40; ++row) {
            benchmark::DoNotOptimize(query.rowTexts(*rows[row], options));
        }
    }
    state.counters["restored"] = double(restored);
}

// The store's own share of a change that renames a tag: the renamed record moves to its new place.
void storeResortAfterRename(benchmark::State& state) {
    TagStore& store = *fullLibrary().store;
    const TagPtr renamed = store.tag(tagId(12'345));
    int round = 0;
    for (auto _ : state) {
        renamed->setName(u"Tag name 5" % QString::number(round++)); // a place in the middle
        benchmark::DoNotOptimize(store.allTags().size());
    }
    store.flush();
}

void mergeIntoEmptyStore(benchmark::State& state) {
    const QList<ThingsTagRecord> imported = records();
    for (auto _ : state) {
        state.PauseTiming();
        auto library = std::make_unique<Library>();
        state.ResumeTiming();
        TagListActions::mergeImportedTags(*library->store, *library->preferences, imported);
        library->store->flush();
        state.PauseTiming();
        library.reset();
        state.ResumeTiming();
    }
}

// Every tag is known; one in ten was renamed, one in ten moved, and every updatedAt is rewritten.
void mergeIntoFullStore(benchmark::State& state) {
    Library library;
    library.fill();
    QList<ThingsTagRecord> imported = records();
    for (int i = 0; i < imported.size(); i += 10) {
        imported[i].name += u" (renamed)";
        imported[i + 1].parentId = tagId((i + 1) / 7);
    }
    for (auto _ : state) {
        TagListActions::mergeImportedTags(*library.store, *library.preferences, imported);
        library.store->flush();
    }
}

// "Find Similar Tags" following a store change: the groups of alike names worked out again, with
// each member's place and counts. One tag in fifty is a namesake of the one before it.
void similarTagsAtStoreChange(benchmark::State& state) {
    Library library;
    library.fill();
    const QList<TagPtr> tags = library.store->allTagsUnordered();
    for (qsizetype i = 1; i < tags.size(); i += 50) {
        tags[i]->setName(u"@" % tags[i - 1]->name().toUpper() % u"s");
    }
    library.store->flush();
    ThingsWorker worker(std::make_unique<StandInEngine>()); // never asked: the groups need no program
    SimilarTagsReview review(*library.store, *library.preferences, worker);
    for (auto _ : state) {
        Q_EMIT library.store->changed();
    }
    state.counters["groups"] = double(review.groups().size());
}

// "Rename Tags…" over every tag: the preview worked out for a regular expression with a capture that
// renames every tag (range 0), and for Title Case (range 1), off the interface thread as the window
// does it.
void renamePreview(benchmark::State& state) {
    const TagRenamer::Snapshot tags = TagRenamer::snapshot(fullLibrary().store->allTags(), std::nullopt);
    TagRenamer::Rules rules;
    if (state.range(0) == 0) {
        rules.find = u"^Tag name (\\d+)$"_qs;
        rules.replacement = u"Item \\1"_qs;
        rules.regularExpression = true;
    } else {
        rules.caseChange = TagRenamer::CaseChange::title;
    }
    qsizetype rows = 0;
    for (auto _ : state) {
        rows = TagRenamer::plan(rules, tags).rows.size();
    }
    state.counters["rows"] = double(rows);
}

} // namespace

BENCHMARK(searchKeystroke)->ArgsProduct({{0, 1, 2}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(storeChange)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);
BENCHMARK(storeResortAfterRename)->Unit(benchmark::kMillisecond);
BENCHMARK(mergeIntoEmptyStore)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(mergeIntoFullStore)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(similarTagsAtStoreChange)->Unit(benchmark::kMillisecond);
BENCHMARK(renamePreview)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);

// The store and the tree rules at the size of a very large Things 3 library: 100,000 tags.
#include "SimilarTags.h"
#include "TagStore.h"
#include "TagTree.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <vector>

using namespace orvalet;

namespace {

constexpr int tagCount = 100'000;

// A forest of `tagCount` tags six levels deep: `roots` root tags, the rest spread evenly over the
// five levels below, each tag's parent taken in turn from the level above.
std::vector<Tag> makeForest(int roots) {
    std::vector<Tag> tags;
    tags.reserve(tagCount);
    QList<QString> previousLevel;
    int made = 0;
    for (int depth = 0; depth < 6; ++depth) {
        QList<QString> level;
        const int width =
            depth == 0 ? roots : (tagCount - roots) / 5 + (depth == 5 ? (tagCount - roots) % 5 : 0);
        for (int i = 0; i < width; ++i, ++made) {
            const QString id = QStringLiteral("TAG%1xxxxxxxxxxxxxxx").arg(made, 6, 10, QLatin1Char('0'));
            std::optional<QString> parent;
            if (depth > 0) {
                parent = previousLevel[i % previousLevel.size()];
            }
            tags.emplace_back(id, QStringLiteral("Tag name %1 at depth %2").arg(made).arg(depth), parent,
                              std::nullopt, std::nullopt, made % 17);
            level.append(id);
        }
        previousLevel = level;
    }
    return tags;
}

const std::vector<Tag>& forest() {
    static const std::vector<Tag> tags = makeForest(100);
    return tags;
}

QList<TagPtr> pointers(const std::vector<Tag>& tags) {
    QList<TagPtr> list;
    for (const Tag& tag : tags) {
        list.append(std::make_shared<Tag>(tag));
    }
    return list;
}

void openStore(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Orvalet.store"));
    {
        auto store = TagStore::open(path, nullptr);
        for (const Tag& tag : forest()) {
            store->insert(tag);
        }
    }
    for (auto _ : state) {
        auto store = TagStore::open(path, nullptr);
        benchmark::DoNotOptimize(store->count());
    }
}

// What a window's first list needs of a store just opened: every record in name order.
void firstSortedListOfOpenedStore(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Orvalet.store"));
    {
        auto store = TagStore::open(path, nullptr);
        for (const Tag& tag : forest()) {
            store->insert(tag);
        }
    }
    auto store = TagStore::open(path, nullptr);
    const QList<TagPtr> renamed = store->allTagsUnordered().mid(0, 40);
    for (auto _ : state) {
        benchmark::DoNotOptimize(store->allTags());
        state.PauseTiming();
        // Renames of more than a few tags make the store sort again, as at its first read.
        for (const TagPtr& tag : renamed) {
            tag->setName(tag->name().endsWith(u'~') ? tag->name().chopped(1) : tag->name() + u'~');
        }
        store->flush();
        state.ResumeTiming();
    }
}

void insertAndCommit(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir;
        auto store = TagStore::open(dir.filePath(QStringLiteral("Orvalet.store")), nullptr);
        state.ResumeTiming();
        for (const Tag& tag : forest()) {
            store->insert(tag);
        }
        store->flush();
        state.PauseTiming();
        store.reset();
        state.ResumeTiming();
    }
}

void rewriteUpdatedAtAndCommit(benchmark::State& state) {
    QTemporaryDir dir;
    auto store = TagStore::open(dir.filePath(QStringLiteral("Orvalet.store")), nullptr);
    for (const Tag& tag : forest()) {
        store->insert(tag);
    }
    store->flush();
    const QList<TagPtr> all = store->allTagsUnordered();
    QDateTime time = QDateTime::currentDateTimeUtc();
    for (auto _ : state) {
        time = time.addSecs(1);
        for (const TagPtr& tag : all) {
            tag->setUpdatedAt(time);
        }
        store->flush();
    }
}

void childCounts(benchmark::State& state) {
    const auto tags = pointers(forest());
    for (auto _ : state) {
        benchmark::DoNotOptimize(TagTree::childCountsByParentId(tags));
    }
}

// The map is the rule's input, built once per list rebuild; tagsByIdOfEveryTag measures it alone.
void ancestorPathOfEveryTag(benchmark::State& state) {
    const auto tags = pointers(forest());
    const auto byId = TagTree::tagsById(tags);
    for (auto _ : state) {
        for (const TagPtr& tag : tags) {
            benchmark::DoNotOptimize(TagTree::ancestorPath(*tag, byId));
        }
    }
}

// The same paths made once each, the way a list of every tag asks for them.
void ancestorPathsOfEveryTag(benchmark::State& state) {
    const auto tags = pointers(forest());
    for (auto _ : state) {
        const TagTree::AncestorPaths paths(tags);
        for (qsizetype i = 0; i < tags.size(); ++i) {
            benchmark::DoNotOptimize(paths.at(i));
        }
    }
}

void tagsByIdOfEveryTag(benchmark::State& state) {
    const auto tags = pointers(forest());
    for (auto _ : state) {
        benchmark::DoNotOptimize(TagTree::tagsById(tags));
    }
}

void descendantIdsOfHundredRoots(benchmark::State& state) {
    const auto tags = pointers(forest());
    QSet<QString> roots;
    for (const TagPtr& tag : tags) {
        if (tag->isRoot()) {
            roots.insert(tag->id());
        }
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(TagTree::descendantIds(roots, tags));
    }
    state.counters["found"] = double(TagTree::descendantIds(roots, tags).size());
}

void deletionOrderOfTenThousandDescendants(benchmark::State& state) {
    // Ten roots over 100,000 tags: each root has about 10,000 descendants.
    const auto tags = pointers(makeForest(10));
    const TagPtr root = tags.first();
    for (auto _ : state) {
        benchmark::DoNotOptimize(TagTree::descendantsInDeletionOrder(*root, tags));
    }
    state.counters["collected"] = double(TagTree::descendantsInDeletionOrder(*root, tags).size());
}

// The finder of alike names over every tag, one in fifty made a namesake of the one before it in
// another case, with an accent and a plural.
void similarTagsOfEveryTag(benchmark::State& state) {
    const auto tags = pointers(forest());
    for (qsizetype i = 1; i < tags.size(); i += 50) {
        tags[i]->setName(u"@" + tags[i - 1]->name().toUpper().replace(u'a', QChar(0xE1)) + u"s");
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(SimilarTags::find(tags));
    }
    state.counters["groups"] = double(SimilarTags::find(tags).size());
}

} // namespace

BENCHMARK(openStore)->Unit(benchmark::kMillisecond);
BENCHMARK(firstSortedListOfOpenedStore)->Unit(benchmark::kMillisecond);
BENCHMARK(insertAndCommit)->Unit(benchmark::kMillisecond);
BENCHMARK(rewriteUpdatedAtAndCommit)->Unit(benchmark::kMillisecond);
BENCHMARK(childCounts)->Unit(benchmark::kMillisecond);
BENCHMARK(tagsByIdOfEveryTag)->Unit(benchmark::kMillisecond);
BENCHMARK(ancestorPathOfEveryTag)->Unit(benchmark::kMillisecond);
BENCHMARK(ancestorPathsOfEveryTag)->Unit(benchmark::kMillisecond);
BENCHMARK(descendantIdsOfHundredRoots)->Unit(benchmark::kMillisecond);
BENCHMARK(deletionOrderOfTenThousandDescendants)->Unit(benchmark::kMillisecond);
BENCHMARK(similarTagsOfEveryTag)->Unit(benchmark::kMillisecond);

#include "DemoLibrary.h"
#include "RandomLibrary.h"
#include "StandInTestSupport.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <functional>
#include <ranges>

using standin::DemoLibrary;
using standin::LibraryError;
using standin::RandomLibrary;
using standin::ThingsLibrary;
using standin::TodoState;
using standin::testing::runOn;
using standin::testing::tell;

namespace {

int depthOf(const ThingsLibrary& library, const QString& id) {
    int depth = 0;
    for (QString p = library.tag(id)->parentId; !p.isEmpty(); p = library.tag(p)->parentId) {
        ++depth;
    }
    return depth;
}

// Everything the indexes answer, recomputed the slow way from the records.
void expectIndexesMatchRecords(const ThingsLibrary& library) {
    QHash<QString, std::array<qint64, 3>> counts;
    for (const QString& todoId : library.todoIds()) {
        for (const auto todo = library.todoRecord(todoId); const QString& tagId : todo->tagIds) {
            ASSERT_NE(library.tag(tagId), nullptr) << "a to-do carries a deleted tag";
            counts[tagId][std::size_t(todo->state)] += 1;
        }
    }
    for (const QString& id : library.tagIds()) {
        for (TodoState s : {TodoState::Open, TodoState::Completed, TodoState::Canceled}) {
            ASSERT_EQ(library.todoCount(id, s), counts.value(id)[std::size_t(s)]);
        }
        const QString parent = library.tag(id)->parentId;
        if (!parent.isEmpty()) {
            ASSERT_NE(library.tag(parent), nullptr);
            ASSERT_TRUE(library.childTagIds(parent).contains(id));
        }
        // Unit by unit: QString::toUpper() would turn a lone surrogate into U+FFFD, another name.
        QString upper = library.tag(id)->name;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](QChar c) { return c.toUpper(); });
        ASSERT_EQ(library.tagIdByName(upper), id);
        ASSERT_LT(depthOf(library, id), library.tagCount());
    }
}

TEST(ThingsLibrary, indexesStayTrueThroughRandomChanges) {
    ThingsLibrary library = RandomLibrary::build(400, 4, 1200, 11);
    EXPECT_EQ(library.tagCount(), 400);
    EXPECT_EQ(library.todoCount(), 1200);
    for (const QString& id : library.tagIds()) {
        EXPECT_LT(depthOf(library, id), 4);
    }
    QRandomGenerator random(5);
    for (int step = 0; step < 300 && library.tagCount() > 1; ++step) {
        const std::vector<QString> ids = library.tagIds();
        const QString a = ids[std::size_t(random.bounded(int(ids.size())))];
        const QString b = ids[std::size_t(random.bounded(int(ids.size())))];
        const QStringList both{a, b}, bTwice{b, a, b};
        const std::function<void()> changes[] = {
            [&] { library.deleteTag(a); },
            [&] { library.setParent(a, random.bounded(3) == 0 ? QString() : b); },
            [&] { library.renameTag(a, QStringLiteral("Renamed ") + QString::number(step)); },
            [&] { library.setTodoTags(library.todoIds()[std::size_t(random.bounded(1200))], bTwice); },
            [&] { library.addTodo(QStringLiteral("New"), TodoState(random.bounded(3)), both); },
        };
        try {
            changes[random.bounded(5)]();
        } catch (const LibraryError&) {
            // A refused change (a cycle) must leave everything as it was; the check below says so.
        }
        expectIndexesMatchRecords(library);
    }
}

// The library packs its storage anew once most tags are deleted and once most of the to-dos' tags
// have moved (past 1,024 of each): every to-do keeps exactly its tags, and every tag its to-dos.
TEST(ThingsLibrary, packingItsStorageKeepsEveryRecord) {
    ThingsLibrary library = RandomLibrary::build(3000, 2, 3000, 3);
    const std::vector<QString> todos = library.todoIds();
    const auto tagsOf = [&](const QString& todo) {
        return library.todoRecord(todo)->tagIds;
    };
    QHash<QString, QStringList> expected;
    for (const QString& todo : todos) {
        expected[todo] = tagsOf(todo);
    }
    for (const QString& id : library.tagIds()) {
        if (library.tagCount() > 900 && library.tag(id) != nullptr) {
            for (const QString& gone : library.deleteTag(id)) {
                for (QStringList& tags : expected) {
                    tags.removeOne(gone);
                }
            }
        }
    }
    const std::vector<QString> left = library.tagIds();
    for (std::size_t i = 0; i < todos.size(); ++i) {
        QStringList more{left[i % left.size()], left[(i * 7) % left.size()], left[(i * 13) % left.size()]};
        library.setTodoTags(todos[i], more);
        more.removeDuplicates();
        expected[todos[i]] = more;
    }
    for (const QString& todo : todos) {
        ASSERT_EQ(tagsOf(todo), expected[todo]) << todo.toStdString();
    }
    expectIndexesMatchRecords(library);
    EXPECT_EQ(ThingsLibrary::fromJson(library.toJson()).toJson(), library.toJson());
}

// Everything comes back from the library file exactly as it was saved, and every name still finds
// its tag, also from a file written before names were escaped, which holds a raw U+FEFF.
TEST(ThingsLibrary, theFileKeepsEverythingExactly) {
    // One text, split at ¦.
    const QStringList names =
        u"\uFEFFBOM¦inside\uFEFF¦\xD800 high surrogate alone¦low surrogate alone \xDC00¦"
        u"\xDC00\xD800 pair reversed¦ Say \"hi\" to C:\\new\\ ¦line\nbreaks\r\nand\u2028separators"
        u"\u2029\t¦\0 NUL \x01 DEL \x7F¦\U0001F600 e\u0301 é"_qs.split(u'¦');
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("library.json"));
    ThingsLibrary library;
    QStringList ids;
    for (const QString& name : names) {
        ids.push_back(library.makeTag(name));
        library.addTodo(name, TodoState::Open, {ids.back()});
    }
    const QString child = library.makeTag(QStringLiteral("Child"), ids.front());
    library.setShortcut(child, QStringLiteral("c"));
    library.addTodo(QStringLiteral("Todo \"1\""), TodoState::Canceled, {child, ids.front()});
    library.addTodo(QStringLiteral("Todo 2"), TodoState::Completed, {});
    library.save(path);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    EXPECT_EQ(written, library.toJson());
    QByteArray unescaped = written;
    unescaped.replace("\\ufeff", "\xEF\xBB\xBF");
    for (const QByteArray& json : {written, QByteArray("\xEF\xBB\xBF").append(unescaped)}) {
        ThingsLibrary loaded = ThingsLibrary::fromJson(json);
        EXPECT_EQ(loaded.toJson(), written);
        for (qsizetype i = 0; i < names.size(); ++i) {
            EXPECT_EQ(loaded.tag(ids[i])->name, names[i]) << i;
            EXPECT_EQ(loaded.todoRecord(loaded.todoIdsOfTag(ids[i]).front())->name, names[i]) << i;
        }
        EXPECT_EQ(loaded.tag(child)->parentId, ids.front());
        EXPECT_EQ(loaded.tag(child)->shortcut, QStringLiteral("c"));
        EXPECT_EQ(loaded.todoCount(ids.front(), TodoState::Canceled), 1);
        expectIndexesMatchRecords(loaded);
        EXPECT_EQ(runOn(loaded, tell(QStringLiteral("return id of tag \"\uFEFFBOM\""))).result, ids.front());
    }
}

TEST(ThingsLibrary, corruptFilesAreRefused) {
    const auto file = [](const QByteArray& tags, const QByteArray& todos = {}) -> QByteArray {
        return R"({"format": "things3-standin library", "version": 1, "tags": [)" + tags +
               R"(], "todos": [)" + todos + "]}";
    };
    const QByteArray a = R"({"id": "A", "name": "a", "parent": null})";
    const QByteArray corrupt[] = {
        QByteArray(),
        QByteArray("not json"),
        QByteArray("[]"),
        file({}).replace("things3-standin library", "something else"),
        file({}).replace("1,", "2,"),
        file({}).replace(R"("tags": [])", R"("tags": {})"),
        file(R"({"id": "A"})"),
        file(R"({"id": "", "name": "a"})"),
        file(R"({"id": "A", "name": "   "})"),
        file(a + "," + a),
        file(R"({"id": "A", "name": "a", "parent": "B"})"),
        file(R"({"id": "A", "name": "a", "parent": "B"}, {"id": "B", "name": "b", "parent": "A"})"),
        file(R"({"id": "A", "name": "a", "parent": "A"})"),
        file(a, R"({"id": "T", "name": "t", "status": "open", "tags": ["B"]})"),
        file(a, R"({"id": "T", "name": "t", "status": "done", "tags": []})"),
        file(a, R"({"id": "A", "name": "t", "status": "open", "tags": []})"),
        file(a, R"({"id": "T", "name": "t", "status": "open"})")};
    for (const QByteArray& json : corrupt) {
        EXPECT_THROW(ThingsLibrary::fromJson(json), LibraryError) << json.toStdString();
    }
    EXPECT_NO_THROW(ThingsLibrary::fromJson(file(a)));
    // What Qt's JSON reader took, when it read the file, still opens: to-dos before tags, a name given
    // twice (the last counts), a control character left unescaped, numbers such as "1." and ".5".
    const ThingsLibrary lenient = ThingsLibrary::fromJson(
        R"({"todos": [{"id": "T", "name": "t", "status": "open", "tags": ["A"]}], "x": [.5, -1.],)"
        R"( "tags": [{"id": "A", "name": "x", "name": "a)"
        "\t"
        R"(b"}], "version": 1., "format": )"
        R"("things3-standin library"})");
    EXPECT_EQ(lenient.tag(u"A"_qs)->name, u"a\tb"_qs);
    EXPECT_EQ(lenient.todoCount(u"A"_qs, TodoState::Open), 1);
}

// A save replaces the file, readable by the user alone; a program that changes nothing does not
// write, and one whose change cannot be saved says so instead of succeeding.
TEST(ThingsLibrary, savesReplaceTheFileOnlyForChangesAndFailLoudly) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("library.json"));
    ThingsLibrary library;
    library.makeTag(QStringLiteral("One"));
    library.save(path);
    library.makeTag(QStringLiteral("Two"));
    library.save(path);
    EXPECT_EQ(ThingsLibrary::load(path).tagCount(), 2);
    EXPECT_EQ(QFile::permissions(path) & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
    // A folder that cannot exist (its parent is a file).
    EXPECT_THROW(library.save(path + QStringLiteral("/inside.json")), LibraryError);

    const auto modified = QFileInfo(path).lastModified();
    standin::ProgramRunner runner(library, path);
    EXPECT_FALSE(runner.run(tell(QStringLiteral("return count of tags"))).failure);
    EXPECT_EQ(QFileInfo(path).lastModified(), modified);
    EXPECT_FALSE(runner.run(tell(QStringLiteral("delete tag \"One\""))).failure);
    EXPECT_EQ(ThingsLibrary::load(path).tagCount(), 1);

    standin::ProgramRunner broken(library, path + QStringLiteral("/cannot.json"));
    const auto answer = broken.run(tell(QStringLiteral("make new tag with properties {name: \"X\"}")));
    ASSERT_TRUE(answer.failure);
    EXPECT_EQ(answer.failure->number, standin::applescript::errors::handlerFailed);
}

// The demo library: the same every time, four levels deep, to-dos in every state, and the names
// that are hard to quote.
TEST(DemoLibrary, isTheSameEveryTimeWithHardNames) {
    const ThingsLibrary demo = DemoLibrary::build();
    EXPECT_EQ(DemoLibrary::build().toJson(), demo.toJson());
    const std::vector<QString> tags = demo.tagIds();
    EXPECT_EQ(
        std::ranges::max(tags | std::views::transform([&](const QString& id) { return depthOf(demo, id); })),
        3);
    QSet<TodoState> states;
    for (const QString& id : demo.todoIds()) {
        states.insert(demo.todoRecord(id)->state);
    }
    EXPECT_EQ(states.size(), 3);
    for (const QString& hard : {u"Say \"Hello\""_qs, u"C:\\Backups"_qs, u"Café"_qs, u" Someday "_qs}) {
        ASSERT_TRUE(demo.tagIdByName(hard)) << hard.toStdString();
        EXPECT_EQ(demo.tag(*demo.tagIdByName(hard))->name, hard);
    }
    expectIndexesMatchRecords(demo);
}

} // namespace

#pragma once

#include "BatchEditor.h"
#include "Preferences.h"
#include "StandInEngine.h"
#include "StandInTestSupport.h"
#include "StoreFixture.h"
#include "TagEditor.h"
#include "TagListActions.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"

#include <QMutex>
#include <QRegularExpression>
#include <QSettings>
#include <functional>
#include <memory>

namespace orvalet::test {

// Keeps every program (on the worker's thread; the test reads them once the flow it awaited has
// finished) and runs it on another engine, or through `hook` when there is one: the hook gets the
// program and that engine, and may run it there or not, change the library, hold it, or answer otherwise.
class RecordingEngine final : public ScriptEngine {
public:
    using Hook = std::function<std::optional<ScriptOutcome>(const QString&, const ScriptEngine&)>;

    RecordingEngine(std::unique_ptr<ScriptEngine> engine, QStringList& sent, QMutex& mutex, Hook hook)
        : m_engine(std::move(engine))
        , m_sent(sent)
        , m_mutex(mutex)
        , m_hook(std::move(hook)) {}

    std::optional<ScriptOutcome> run(const QString& source) const override {
        QMutexLocker lock(&m_mutex);
        m_sent.append(source);
        lock.unlock();
        return m_hook ? m_hook(source, *m_engine) : m_engine->run(source);
    }

private:
    std::unique_ptr<ScriptEngine> m_engine;
    QStringList& m_sent;
    QMutex& m_mutex;
    Hook m_hook;
};

// The programs without those that read trees for Undo before a deletion.
inline QStringList withoutTreeReads(QStringList programs) {
    // The line that only the tree reads have: the walk's list of tags still to read.
    const QString walk = QStringLiteral("\n    set pendingIds to {}\n");
    Q_ASSERT(ThingsService::treeReadScript({}).contains(walk));
    programs.removeIf([&walk](const QString& program) { return program.contains(walk); });
    // A deletion checks each tree against the read: without those lines it is the program that
    // deletes the same tags unchecked.
    static const QRegularExpression lists(
        QStringLiteral("\n    set checkIds to [^\n]*\n    set checkTodos to "
                       "[^\n]*\n    set checkChildren to [^\n]*"));
    static const QRegularExpression block(
        QStringLiteral("\n                set treeIds to item i of checkIds\n.*?"
                       "\n                end repeat"),
        QRegularExpression::DotMatchesEverythingOption);
    for (QString& program : programs)
        program.remove(lists).remove(block);
    return programs;
}

using standin::testing::refusing;

// The answer of a program whose connection to Things 3 broke, and the text the user reads for it.
inline ScriptOutcome connectionLost() {
    const QString brief = QStringLiteral("Connection is invalid.");
    return ScriptOutcome{std::nullopt,
                         ScriptError{QStringLiteral("Things3 got an error: ") + brief, brief, -609, brief}};
}
inline const QString connectionLostMessage = QStringLiteral("Things 3 quit before it answered.");

// A store, preferences, and a worker whose programs run on a library in memory, every one recorded.
// Public, so that the cases of a table reach it from their lambdas.
class EditTest : public StoreTest {
public:
    void SetUp() override {
        StoreTest::SetUp();
        store = openStore();
        ASSERT_TRUE(store);
        preferences = std::make_unique<Preferences>(std::make_unique<QSettings>(
            m_dir.filePath(QStringLiteral("Orvalet.conf")), QSettings::IniFormat));
        useEngine(std::make_unique<standin::testing::LibraryEngine>(library, &costs));
        // A deletion whose trees cannot be kept for Undo asks again; the answer is `deleteWithoutUndo`.
        UndoHistory& history = UndoHistory::forStore(*store);
        QObject::connect(&history, &UndoHistory::question, &history,
                         [this, &history](int question, const QString& title, const QString& message) {
                             questions.append(title + u'|' + message);
                             history.answerQuestion(question, deleteWithoutUndo);
                         });
    }

    // Programs go to whatever stand-in the socket leads to instead, still recorded.
    void useStandIn() { useEngine(std::make_unique<StandInEngine>()); }

    QStringList sent() const {
        const QMutexLocker lock(&m_mutex);
        return m_sent;
    }

    TagPtr add(const QString& id, const QString& name, std::optional<QString> parent = {},
               std::optional<qint64> todos = {}) {
        return store->insert(Tag(id, name, std::move(parent), std::nullopt, std::nullopt, todos));
    }

    // A tag in the library and the same tag in the store.
    TagPtr both(const QString& name, const TagPtr& parent = nullptr, std::optional<qint64> todos = {}) {
        const QString id = library.makeTag(name, parent ? parent->id() : QString());
        return add(id, name, parent ? std::optional(parent->id()) : std::nullopt, todos);
    }

    // Tags in Things 3 and in the store alike, from paths such as "Home>Kids=2, Work": a name met again
    // is the tag made before, "=N" the stored count of open to-dos. The tags by name.
    QHash<QString, TagPtr> tree(const QString& paths) {
        QHash<QString, TagPtr> tags;
        for (const QString& path : paths.split(u", "_qs)) {
            TagPtr parent;
            for (const QString& step : path.split(u'>')) {
                const QString name = step.section(u'=', 0, 0);
                if (!tags.contains(name)) {
                    tags.insert(name,
                                both(name, parent,
                                     step.contains(u'=') ? std::optional(step.section(u'=', 1).toLongLong())
                                                         : std::nullopt));
                }
                parent = tags.value(name);
            }
        }
        return tags;
    }

    // An editor of `tag` over the fixture's worker, its callbacks recorded.
    TagEditor& edit(const TagPtr& tag) {
        editor = std::make_unique<TagEditor>(
            *store, *preferences, *worker, tag, [this] { ++deletedCalls; },
            [this](TagPtr other) { selected.append(other->name()); },
            [this](bool on) { refreshing.append(on); });
        return *editor;
    }
    TagEditor& edit(const QString& id) { return edit(store->tag(id)); }
    // The editor of `id` saves `name` typed, and `parent` chosen when given.
    TagEditor& save(const QString& id, const QString& name, const std::optional<QString>& parent = {}) {
        edit(id).setNameField(name);
        if (parent) {
            editor->setSelectedParentId(parent);
        }
        QCoro::waitFor(editor->saveChanges());
        return *editor;
    }
    // A batch editor of `tags` over the fixture's worker, its callbacks recorded.
    BatchEditor& batchOf(const QList<TagPtr>& tags) {
        batch = std::make_unique<BatchEditor>(
            *store, *preferences, *worker, tags, [this] { ++doneCalls; },
            [this](bool on, int count) {
                refreshingCalls.append(u"%1:%2"_qs.arg(on ? u"on"_qs : u"off"_qs).arg(count));
            });
        return *batch;
    }
    // The tags of `ids` moved by one batch save below `parent`, or to the top level; the result.
    std::optional<BatchResultState> move(const QStringList& ids, const std::optional<QString>& parent) {
        QList<TagPtr> tags;
        for (const QString& id : ids) {
            tags.append(store->tag(id));
        }
        batchOf(tags).setSelectedParentId(parent);
        QCoro::waitFor(batch->saveChanges());
        return batch->resultState();
    }

    UndoHistory& history() { return UndoHistory::forStore(*store); }
    void undo() { QCoro::waitFor(history().undo(*worker, *preferences)); }
    void redo() { QCoro::waitFor(history().redo(*worker, *preferences)); }
    // "Import from Things" over the fixture's worker, its writes ended.
    void importAll() {
        TagListActions actions(*store, *preferences, *worker);
        QCoro::waitFor(actions.importAllTags());
        endTurn();
    }

    // Every tag of the library stored under its own identifier, as an import would.
    void storeLibrary() {
        for (const QString& id : library.tagIds()) {
            const standin::LibraryTag* t = library.tag(id);
            add(id, t->name, t->parentId.isEmpty() ? std::nullopt : std::optional(t->parentId));
        }
    }

    // A tag's name and parent's name in Things 3 ("-" for none), or "gone".
    QString inThings(const QString& id) const {
        const standin::LibraryTag* tag = library.tag(id);
        if (!tag) {
            return u"gone"_qs;
        }
        return tag->name + u':' + (tag->parentId.isEmpty() ? u"-"_qs : library.tag(tag->parentId)->name);
    }
    // Things 3's tags so, sorted, ", " between them.
    QString inThings() const {
        QStringList rows;
        for (const QString& id : library.tagIds()) {
            rows.append(inThings(id));
        }
        rows.sort();
        return rows.join(u", ");
    }
    // The same of the stored record.
    QString inStore(const QString& id) const {
        const TagPtr tag = store->tag(id);
        if (!tag) {
            return u"gone"_qs;
        }
        const TagPtr parent = tag->parentTagId() ? store->tag(*tag->parentTagId()) : nullptr;
        return tag->name() + u':' + (parent ? parent->name() : u"-"_qs);
    }
    // The stored tags as "name:parent's name:todos", sorted, ", " between them; "-" for no parent or no
    // count, "?" for a parent that is not stored.
    QString storedTags() const {
        QStringList rows;
        for (const TagPtr& tag : store->allTagsUnordered()) {
            const TagPtr parent = tag->parentTagId() ? store->tag(*tag->parentTagId()) : nullptr;
            rows.append(tag->name() + u':' +
                        (!tag->parentTagId() ? u"-"_qs
                         : parent            ? parent->name()
                                             : u"?"_qs) +
                        u':' + (tag->todosCount() ? QString::number(*tag->todosCount()) : u"-"_qs));
        }
        rows.sort();
        return rows.join(u", ");
    }

    // For the refresh flows: Things 3 has "A new" under B with two open to-dos; the store has it as
    // "A old" at the top, B with a stale count, and Gone, which Things 3 no longer has.
    struct RefreshCase {
        QString a, b;
        QDateTime before, goneUpdatedAt;
    };
    RefreshCase prepareRefresh() {
        RefreshCase c;
        c.a = library.makeTag(u"A new"_qs);
        c.b = library.makeTag(u"B"_qs);
        library.setParent(c.a, c.b);
        library.addTodo(u"one"_qs, standin::TodoState::Open, {c.a});
        library.addTodo(u"two"_qs, standin::TodoState::Open, {c.a});
        add(c.a, u"A old"_qs);
        add(c.b, u"B"_qs, {}, 5);
        add(u"gone"_qs, u"Gone"_qs, u"b"_qs, 1);
        endTurn();
        c.before = Clock::now();
        c.goneUpdatedAt = *store->tag(u"gone"_qs)->updatedAt();
        return c;
    }
    // What Things 3 reports replaces the record and stamps it; a tag it no longer has is left alone.
    void expectRefreshed(const RefreshCase& c) const {
        EXPECT_EQ(storedTags(), u"A new:B:2, B:-:0, Gone:?:1");
        EXPECT_GT(*store->tag(c.a)->updatedAt(), c.before);
        EXPECT_GT(*store->tag(c.b)->updatedAt(), c.before);
        EXPECT_EQ(*store->tag(u"gone"_qs)->updatedAt(), c.goneUpdatedAt);
    }

    standin::ThingsLibrary library;
    standin::testing::CostTally costs; // of every program run on `library`
    std::unique_ptr<TagStore> store;
    std::unique_ptr<Preferences> preferences;
    std::unique_ptr<ThingsWorker> worker;
    std::unique_ptr<TagEditor> editor;
    int deletedCalls = 0;
    QStringList selected;
    QList<bool> refreshing;
    std::unique_ptr<BatchEditor> batch;
    int doneCalls = 0;
    QStringList refreshingCalls;
    QStringList questions; // "title|message" of each second confirmation
    bool deleteWithoutUndo = true;

    // Programs go to `engine` from here on, through `hook` if given, still recorded.
    void useEngine(std::unique_ptr<ScriptEngine> engine, RecordingEngine::Hook hook = {}) {
        worker = std::make_unique<ThingsWorker>(
            std::make_unique<RecordingEngine>(std::move(engine), m_sent, m_mutex, std::move(hook)));
    }
    // Programs go through `hook` to the library from here on, still recorded (on the worker's thread).
    void hookPrograms(RecordingEngine::Hook hook) {
        useEngine(std::make_unique<standin::testing::LibraryEngine>(library, &costs), std::move(hook));
    }

private:
    mutable QMutex m_mutex;
    QStringList m_sent;
};

// The text the user reads when Things 3 is not running.
inline const QString notOpenMessage =
    QStringLiteral("Things 3 is not open. Please open Things 3 and try again.");

} // namespace orvalet::test

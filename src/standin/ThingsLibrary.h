#pragma once

#include <QByteArray>
#include <QHash>
#include <QRandomGenerator>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>
#include <vector>

namespace standin {

enum class TodoState { Open, Completed, Canceled };

struct LibraryTag {
    QString id;
    QString name;
    QString parentId; // empty for a root tag
    QString shortcut;
};

// A to-do as the library holds it, copied out: the library keeps its to-dos packed, not as records.
struct LibraryTodo {
    QString id;
    QString name;
    TodoState state = TodoState::Open;
    QStringList tagIds;
};

// Why a change or a load was refused; the library is unchanged.
struct LibraryError {
    QString message;
};

// The simulated Things 3 data: a forest of tags and the to-dos that carry them. Tags keep the order
// in which they were made. Names are looked up ignoring case; identifiers are compared exactly.
// Every change raises the revision, so a caller can tell whether a program changed anything.
//
// A library of a few hundred thousand to-dos takes about twice the memory of its file: a to-do's
// identifier and name are kept in one text shared by all of them, its tags as their positions in
// the list of tags, and every tag's identifier is one text that its children, its parent and the
// indexes share.
class ThingsLibrary final {
public:
    // Identifiers are 22 characters of the base58 alphabet, as Things 3 writes them.
    static bool isIdentifier(const QString& text);
    // Makes the identifiers of new tags and to-dos repeatable, for libraries that must come out the
    // same every time (the demo library).
    void seedIdentifiers(quint32 seed) { m_random.seed(seed); }
    static QString nameKey(const QString& name);

    qsizetype tagCount() const { return m_tagIndex.size(); }
    std::vector<QString> tagIds() const;
    // The identifier of the tag at `index` (from 0) in tagIds(), without making the list while no tag
    // has been deleted since the library was last compacted; none past the end.
    std::optional<QString> tagIdAt(qsizetype index) const;
    // Likewise for the to-dos of a tag, in todoIdsOfTag()'s order.
    std::optional<QString> todoIdOfTagAt(const QString& tagId, qsizetype index) const;
    const LibraryTag* tag(const QString& id) const;
    std::optional<QString> tagIdByName(const QString& name) const;
    QStringList childTagIds(const QString& id) const;

    qsizetype todoCount() const { return qsizetype(m_todos.size()); }
    std::vector<QString> todoIds() const;
    // A copy of the to-do, or none when there is no such to-do.
    std::optional<LibraryTodo> todoRecord(const QString& id) const;
    // The first to-do whose name equals `name` as the language compares texts (ignoring case).
    std::optional<QString> todoIdByName(const QString& name) const;
    std::vector<QString> todoIdsOfTag(const QString& tagId) const;
    qint64 todoCount(const QString& tagId, TodoState state) const;

    // The UTF-16 units of every text the library holds: each tag's identifier, name, parent's
    // identifier and shortcut, each to-do's identifier and name and the identifiers of its tags.
    qsizetype textSize() const;

    // Returns the tag already named `name` (ignoring case) if there is one, unchanged.
    QString makeTag(const QString& name, const QString& parentId = {});
    void renameTag(const QString& id, const QString& name);
    // An empty parentId makes the tag a root tag.
    void setParent(const QString& id, const QString& parentId);
    void setShortcut(const QString& id, const QString& shortcut);
    // Deletes the tag and every tag below it, and takes them off every to-do. Returns their
    // identifiers, the tag's own first.
    QStringList deleteTag(const QString& id);
    QString addTodo(const QString& name, TodoState state, const QStringList& tagIds);
    // Gives the to-do exactly these tags, in this order, each once; every one must exist.
    void setTodoTags(const QString& todoId, const QStringList& tagIds);

    quint64 revision() const { return m_revision; }

    // The file the library is kept in (ThingsLibraryFile.cpp). Loading refuses, with a LibraryError,
    // a file that is not a library or whose records contradict each other.
    QByteArray toJson() const;
    static ThingsLibrary fromJson(QByteArrayView json);
    static ThingsLibrary load(const QString& path);
    // Replaces the file atomically: a reader sees the old library or the new one, never a mix.
    void save(const QString& path) const;

private:
    // A tag's place in m_tags (and m_links), or a to-do's in m_todos.
    using Slot = quint32;

    // A tag's name in the name index: equal to another name, and hashed alike, when the two are
    // the same ignoring case (nameKey), without keeping the folded copy.
    struct NameKey {
        QString name;
    };
    friend bool operator==(const NameKey& a, const NameKey& b);
    friend size_t qHash(const NameKey& key, size_t seed);

    // What a tag is linked to, kept beside it.
    struct TagLinks {
        std::vector<Slot> todos;         // the to-dos that carry it, in the order they took it
        QStringList children;            // the identifiers of its child tags, in the order they became so
        std::array<quint32, 3> counts{}; // its to-dos in each state
    };

    // A to-do: its identifier and then its name in m_todoText, its tags' slots in m_todoTags.
    struct TodoEntry {
        qsizetype textAt = 0;
        qsizetype nameAt = 0; // the name ends where the next to-do's text begins
        qsizetype tagsAt = 0;
        quint32 tagCount = 0;
        TodoState state = TodoState::Open;
    };

    LibraryTag& existingTag(const QString& id);
    Slot existingSlot(const QString& id) const;
    void indexName(const QString& name, const QString& id);
    void unindexName(const QString& name, const QString& id);
    void insertTag(LibraryTag tag);
    // Links a tag already in m_tags and m_tagIndex to its parent and indexes its name.
    void linkTag(Slot slot);
    void insertTodo(QStringView id, QStringView name, TodoState state, const std::vector<Slot>& tags);
    void compact();
    void compactTodoTags();
    QString freshIdentifier();
    static void checkName(const QString& name);
    std::vector<Slot> distinctSlots(const QStringList& tagIds) const;

    QStringView todoId(const TodoEntry& todo) const;
    QStringView todoName(Slot number) const;
    const Slot* todoTags(const TodoEntry& todo) const { return m_todoTags.data() + todo.tagsAt; }
    // Room for this many more to-dos, units of their text and tags carried, made at once.
    void reserveTodos(qsizetype todos, qsizetype textUnits, qsizetype tags);
    std::optional<Slot> findTodo(QStringView id) const;
    void indexTodo(Slot number);
    void placeTodo(Slot number);

    std::vector<LibraryTag> m_tags; // a deleted tag stays as an entry with an empty id until compact()
    std::vector<TagLinks> m_links;  // beside m_tags
    QHash<QString, qsizetype> m_tagIndex;
    // The first tag with each name; more only in a file whose names repeat (ignoring case).
    QHash<NameKey, QString> m_idByName;
    QHash<NameKey, QStringList> m_laterIdsByName;
    qsizetype m_deletedTags = 0;

    std::vector<TodoEntry> m_todos;
    QString m_todoText;
    std::vector<Slot> m_todoTags;
    qsizetype m_todoTagsUnused = 0;  // entries of m_todoTags no to-do uses any more
    std::vector<Slot> m_todoBuckets; // to-do number + 1 by the hash of its identifier; 0 is empty

    quint64 m_revision = 0;
    QRandomGenerator m_random{QRandomGenerator::global()->generate()};
};

QString todoStateName(TodoState state);

} // namespace standin

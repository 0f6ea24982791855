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
    const LibraryTag* tag(const QString& id) const;
    std::optional<QString> tagIdByName(const QString& name) const;
    QStringList childTagIds(const QString& id) const { return m_children.value(id); }

    qsizetype todoCount() const { return qsizetype(m_todos.size()); }
    std::vector<QString> todoIds() const;
    const LibraryTodo* todo(const QString& id) const;
    std::vector<QString> todoIdsOfTag(const QString& tagId) const;
    qint64 todoCount(const QString& tagId, TodoState state) const;

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
    static ThingsLibrary fromJson(const QByteArray& json);
    static ThingsLibrary load(const QString& path);
    // Replaces the file atomically: a reader sees the old library or the new one, never a mix.
    void save(const QString& path) const;

private:
    LibraryTag& existingTag(const QString& id);
    void indexName(const QString& name, const QString& id);
    void unindexName(const QString& name, const QString& id);
    void insertTag(LibraryTag tag);
    void insertTodo(LibraryTodo todo);
    void compact();
    QString freshIdentifier();
    static void checkName(const QString& name);

    std::vector<LibraryTag> m_tags; // a deleted tag stays as an entry with an empty id until compact()
    QHash<QString, qsizetype> m_tagIndex;
    QHash<QString, QStringList> m_idsByNameKey;
    QHash<QString, QStringList> m_children;
    qsizetype m_deletedTags = 0;

    std::vector<LibraryTodo> m_todos;
    QHash<QString, qsizetype> m_todoIndex;
    QHash<QString, std::vector<qsizetype>> m_todosByTag;
    QHash<QString, std::array<qint64, 3>> m_countsByTag;

    quint64 m_revision = 0;
    QRandomGenerator m_random{QRandomGenerator::global()->generate()};
};

QString todoStateName(TodoState state);

} // namespace standin

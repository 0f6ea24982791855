#pragma once

#include <QDateTime>
#include <QString>
#include <memory>
#include <optional>

namespace orvalet {

class TagStore;

// One tag of Things 3 as this application keeps it. `id` is the identifier Things 3 gave the tag
// and the record's identity; the tree is a plain link from a child to its parent's identifier.
//
// A constructed Tag is a value until it is inserted into a TagStore; the store then owns a shared
// record, and every field write on that record takes effect for all readers at once and is saved
// by the store on its own. Two Tags are equal only when they are the same record.
class Tag final {
public:
    // Absent creation and update times are set to the current time of Clock, read once for each.
    Tag(QString id, QString name, std::optional<QString> parentTagId = std::nullopt,
        std::optional<QDateTime> createdAt = std::nullopt, std::optional<QDateTime> updatedAt = std::nullopt,
        std::optional<qint64> todosCount = std::nullopt);

    // A copy holds the same field values but is not a stored record.
    Tag(const Tag& other);
    Tag& operator=(const Tag&) = delete;

    const QString& id() const { return m_id; }
    const QString& name() const { return m_name; }
    const std::optional<QString>& parentTagId() const { return m_parentTagId; }
    const std::optional<QDateTime>& createdAt() const { return m_createdAt; }
    const std::optional<QDateTime>& updatedAt() const { return m_updatedAt; }
    const std::optional<qint64>& todosCount() const { return m_todosCount; }
    // The tag's keyboard shortcut in Things 3: absent while it was never read (a store written
    // before shortcuts were kept, or an import that could not read them), the empty text for none,
    // otherwise the one character, as Things 3 holds it.
    const std::optional<QString>& shortcut() const { return m_shortcut; }
    // The key of a known shortcut; the empty text for none and for one never read.
    QString shortcutKey() const { return m_shortcut.value_or(QString()); }

    void setName(const QString& name);
    void setParentTagId(const std::optional<QString>& parentTagId);
    void setCreatedAt(const std::optional<QDateTime>& createdAt);
    void setUpdatedAt(const std::optional<QDateTime>& updatedAt);
    void setTodosCount(const std::optional<qint64>& todosCount);
    void setShortcut(const std::optional<QString>& shortcut);

    // Shortcuts name keys, not letters: Control-A and Control-a are one key, so keys compare by their
    // case-folded form.
    static QString keyIdentity(const QString& key) { return key.toCaseFolded(); }

    // A tag is a root exactly when it names no parent; an unresolved parent still counts as one.
    bool isRoot() const { return !m_parentTagId.has_value(); }

    // The name in the form the plain-text order compares (see TextOrder).
    const QString& nameSortKey() const { return m_nameSortKey; }

    // Whether this is a record held by a store (not a constructed value, not a deleted record).
    bool isStored() const { return m_store != nullptr; }

    friend bool operator==(const Tag& a, const Tag& b) { return &a == &b; }

private:
    friend class TagStore;
    friend class TagReplacement;

    // The fields a write changed, so that the store can tell which of a record's values are newer
    // than a picture of it taken earlier.
    enum Field : unsigned char {
        nameField = 1,
        parentField = 2,
        createdField = 4,
        updatedField = 8,
        countField = 16,
        shortcutField = 32,
        everyField = 63
    };
    void changed(Field field);

    QString m_id;
    QString m_name;
    std::optional<QString> m_parentTagId;
    std::optional<QDateTime> m_createdAt;
    std::optional<QDateTime> m_updatedAt;
    std::optional<qint64> m_todosCount;
    std::optional<QString> m_shortcut;
    QString m_nameSortKey;
    TagStore* m_store = nullptr;
    // While stored: its place in the store's list of records, which holds the shared record.
    int m_place = 0;
    // Waiting in the store's queue of records to commit.
    bool m_queued = false;
};

using TagPtr = std::shared_ptr<Tag>;

} // namespace orvalet

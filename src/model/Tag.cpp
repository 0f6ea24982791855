#include "Tag.h"

#include "Clock.h"
#include "TagStore.h"
#include "TextOrder.h"

namespace orvalet {

Tag::Tag(QString id, QString name, std::optional<QString> parentTagId, std::optional<QDateTime> createdAt,
         std::optional<QDateTime> updatedAt, std::optional<qint64> todosCount)
    : m_id(std::move(id))
    , m_name(std::move(name))
    , m_parentTagId(std::move(parentTagId))
    , m_createdAt(createdAt ? *createdAt : Clock::now())
    , m_updatedAt(updatedAt ? *updatedAt : Clock::now())
    , m_todosCount(todosCount)
    , m_nameSortKey(TextOrder::sortKey(m_name)) {}

Tag::Tag(const Tag& other)
    : m_id(other.m_id)
    , m_name(other.m_name)
    , m_parentTagId(other.m_parentTagId)
    , m_createdAt(other.m_createdAt)
    , m_updatedAt(other.m_updatedAt)
    , m_todosCount(other.m_todosCount)
    , m_shortcut(other.m_shortcut)
    , m_nameSortKey(other.m_nameSortKey) {}

void Tag::setName(const QString& name) {
    if (name == m_name) {
        return;
    }
    m_name = name;
    m_nameSortKey = TextOrder::sortKey(name);
    changed(nameField);
}

void Tag::setParentTagId(const std::optional<QString>& parentTagId) {
    if (parentTagId == m_parentTagId) {
        return;
    }
    m_parentTagId = parentTagId;
    changed(parentField);
}

void Tag::setCreatedAt(const std::optional<QDateTime>& createdAt) {
    m_createdAt = createdAt;
    changed(createdField);
}

// Written even when the time is equal: the flows that refresh a tag rewrite it on purpose.
void Tag::setUpdatedAt(const std::optional<QDateTime>& updatedAt) {
    m_updatedAt = updatedAt;
    changed(updatedField);
}

void Tag::setTodosCount(const std::optional<qint64>& todosCount) {
    if (todosCount == m_todosCount) {
        return;
    }
    m_todosCount = todosCount;
    changed(countField);
}

void Tag::setShortcut(const std::optional<QString>& shortcut) {
    if (shortcut == m_shortcut) {
        return;
    }
    m_shortcut = shortcut;
    changed(shortcutField);
}

void Tag::changed(Field field) {
    if (m_store) {
        m_store->recordChanged(*this, field);
    }
}

} // namespace orvalet

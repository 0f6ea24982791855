#include "ThingsLibrary.h"

#include "applescript/Value.h"

#include <QRandomGenerator>
#include <algorithm>
#include <cstring>

namespace standin {

namespace {

constexpr char base58[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr int identifierLength = 22;

QString quoted(const QString& text) {
    QString out = QStringLiteral("\"");
    for (QChar c : text) {
        if (c == u'"' || c == u'\\') {
            out += u'\\';
        }
        out += c;
    }
    return out + u'"';
}

std::size_t stateIndex(TodoState state) {
    return std::size_t(state);
}

} // namespace

QString todoStateName(TodoState state) {
    switch (state) {
    case TodoState::Open:
        return QStringLiteral("open");
    case TodoState::Completed:
        return QStringLiteral("completed");
    case TodoState::Canceled:
        return QStringLiteral("canceled");
    }
    return {};
}

bool ThingsLibrary::isIdentifier(const QString& text) {
    if (text.size() != identifierLength) {
        return false;
    }
    for (QChar c : text) {
        if (c.unicode() >= 128 || std::strchr(base58, char(c.unicode())) == nullptr || c.unicode() == 0) {
            return false;
        }
    }
    return true;
}

QString ThingsLibrary::nameKey(const QString& name) {
    return applescript::comparisonKey(name);
}

QString ThingsLibrary::freshIdentifier() {
    QString id;
    do {
        id.clear();
        for (int i = 0; i < identifierLength; ++i) {
            id += QLatin1Char(base58[m_random.bounded(58)]);
        }
    } while (m_tagIndex.contains(id) || m_todoIndex.contains(id));
    return id;
}

void ThingsLibrary::checkName(const QString& name) {
    if (name.trimmed().isEmpty()) {
        throw LibraryError{QStringLiteral("A tag’s name can’t be empty.")};
    }
}

std::vector<QString> ThingsLibrary::tagIds() const {
    std::vector<QString> ids;
    ids.reserve(std::size_t(m_tagIndex.size()));
    for (const LibraryTag& t : m_tags) {
        if (!t.id.isEmpty()) {
            ids.push_back(t.id);
        }
    }
    return ids;
}

const LibraryTag* ThingsLibrary::tag(const QString& id) const {
    auto it = m_tagIndex.constFind(id);
    return it == m_tagIndex.constEnd() ? nullptr : &m_tags[std::size_t(*it)];
}

LibraryTag& ThingsLibrary::existingTag(const QString& id) {
    auto it = m_tagIndex.constFind(id);
    if (it == m_tagIndex.constEnd()) {
        throw LibraryError{QStringLiteral("Can’t get tag id ") + quoted(id) + u'.'};
    }
    return m_tags[std::size_t(*it)];
}

std::optional<QString> ThingsLibrary::tagIdByName(const QString& name) const {
    auto it = m_idsByNameKey.constFind(nameKey(name));
    if (it == m_idsByNameKey.constEnd() || it->isEmpty()) {
        return std::nullopt;
    }
    return it->front();
}

std::vector<QString> ThingsLibrary::todoIds() const {
    std::vector<QString> ids;
    ids.reserve(m_todos.size());
    for (const LibraryTodo& t : m_todos) {
        ids.push_back(t.id);
    }
    return ids;
}

const LibraryTodo* ThingsLibrary::todo(const QString& id) const {
    auto it = m_todoIndex.constFind(id);
    return it == m_todoIndex.constEnd() ? nullptr : &m_todos[std::size_t(*it)];
}

std::vector<QString> ThingsLibrary::todoIdsOfTag(const QString& tagId) const {
    std::vector<QString> ids;
    for (qsizetype i : m_todosByTag.value(tagId)) {
        ids.push_back(m_todos[std::size_t(i)].id);
    }
    return ids;
}

qint64 ThingsLibrary::todoCount(const QString& tagId, TodoState state) const {
    auto it = m_countsByTag.constFind(tagId);
    return it == m_countsByTag.constEnd() ? 0 : (*it)[stateIndex(state)];
}

void ThingsLibrary::indexName(const QString& name, const QString& id) {
    m_idsByNameKey[nameKey(name)].append(id);
}

void ThingsLibrary::unindexName(const QString& name, const QString& id) {
    auto it = m_idsByNameKey.find(nameKey(name));
    if (it == m_idsByNameKey.end()) {
        return;
    }
    it->removeOne(id);
    if (it->isEmpty()) {
        m_idsByNameKey.erase(it);
    }
}

void ThingsLibrary::insertTag(LibraryTag tag) {
    m_tagIndex.insert(tag.id, qsizetype(m_tags.size()));
    indexName(tag.name, tag.id);
    if (!tag.parentId.isEmpty()) {
        m_children[tag.parentId].append(tag.id);
    }
    m_tags.push_back(std::move(tag));
}

QString ThingsLibrary::makeTag(const QString& name, const QString& parentId) {
    if (std::optional<QString> existing = tagIdByName(name)) {
        return *existing;
    }
    checkName(name);
    if (!parentId.isEmpty()) {
        existingTag(parentId);
    }
    const QString id = freshIdentifier();
    insertTag(LibraryTag{id, name, parentId, {}});
    ++m_revision;
    return id;
}

void ThingsLibrary::renameTag(const QString& id, const QString& name) {
    LibraryTag& t = existingTag(id);
    checkName(name);
    const std::optional<QString> holder = tagIdByName(name);
    if (holder && *holder != id) {
        throw LibraryError{QStringLiteral("A tag named ") + quoted(tag(*holder)->name) +
                           QStringLiteral(" already exists.")};
    }
    if (t.name == name) {
        return;
    }
    unindexName(t.name, id);
    t.name = name;
    indexName(name, id);
    ++m_revision;
}

void ThingsLibrary::setParent(const QString& id, const QString& parentId) {
    LibraryTag& t = existingTag(id);
    if (!parentId.isEmpty()) {
        const LibraryTag& parent = existingTag(parentId);
        // Walking up from the new parent must not meet the tag itself, or the forest gets a cycle.
        for (const LibraryTag* p = &parent; p != nullptr;
             p = p->parentId.isEmpty() ? nullptr : tag(p->parentId)) {
            if (p->id == id) {
                throw LibraryError{QStringLiteral("Tag ") + quoted(t.name) +
                                   QStringLiteral(" can’t be put inside itself or a tag below it.")};
            }
        }
    }
    if (t.parentId == parentId) {
        return;
    }
    if (!t.parentId.isEmpty()) {
        auto it = m_children.find(t.parentId);
        it->removeOne(id);
        if (it->isEmpty()) {
            m_children.erase(it);
        }
    }
    t.parentId = parentId;
    if (!parentId.isEmpty()) {
        m_children[parentId].append(id);
    }
    ++m_revision;
}

void ThingsLibrary::setShortcut(const QString& id, const QString& shortcut) {
    LibraryTag& t = existingTag(id);
    if (t.shortcut != shortcut) {
        t.shortcut = shortcut;
        ++m_revision;
    }
}

QStringList ThingsLibrary::deleteTag(const QString& id) {
    const QString parentId = existingTag(id).parentId;
    QStringList doomed{id};
    for (qsizetype i = 0; i < doomed.size(); ++i) {
        doomed += m_children.value(doomed[i]);
    }
    if (!parentId.isEmpty()) {
        auto it = m_children.find(parentId);
        it->removeOne(id);
        if (it->isEmpty()) {
            m_children.erase(it);
        }
    }
    for (const QString& gone : doomed) {
        for (qsizetype todoIndex : m_todosByTag.take(gone)) {
            m_todos[std::size_t(todoIndex)].tagIds.removeAll(gone);
        }
        m_countsByTag.remove(gone);
        m_children.remove(gone);
        const qsizetype index = m_tagIndex.take(gone);
        LibraryTag& t = m_tags[std::size_t(index)];
        unindexName(t.name, gone);
        t = LibraryTag{};
        ++m_deletedTags;
    }
    ++m_revision;
    compact();
    return doomed;
}

void ThingsLibrary::compact() {
    if (m_deletedTags < 1024 || m_deletedTags < m_tagIndex.size()) {
        return;
    }
    std::vector<LibraryTag> kept;
    kept.reserve(std::size_t(m_tagIndex.size()));
    for (LibraryTag& t : m_tags) {
        if (!t.id.isEmpty()) {
            m_tagIndex[t.id] = qsizetype(kept.size());
            kept.push_back(std::move(t));
        }
    }
    m_tags = std::move(kept);
    m_deletedTags = 0;
}

void ThingsLibrary::insertTodo(LibraryTodo todo) {
    const qsizetype index = qsizetype(m_todos.size());
    for (const QString& tagId : todo.tagIds) {
        m_todosByTag[tagId].push_back(index);
        m_countsByTag[tagId][stateIndex(todo.state)] += 1;
    }
    m_todoIndex.insert(todo.id, index);
    m_todos.push_back(std::move(todo));
}

QString ThingsLibrary::addTodo(const QString& name, TodoState state, const QStringList& tagIds) {
    QStringList distinct;
    for (const QString& tagId : tagIds) {
        existingTag(tagId);
        if (!distinct.contains(tagId)) {
            distinct.append(tagId);
        }
    }
    const QString id = freshIdentifier();
    insertTodo(LibraryTodo{id, name, state, distinct});
    ++m_revision;
    return id;
}

void ThingsLibrary::setTodoTags(const QString& todoId, const QStringList& tagIds) {
    auto found = m_todoIndex.constFind(todoId);
    if (found == m_todoIndex.constEnd()) {
        throw LibraryError{QStringLiteral("Can’t get to do id ") + quoted(todoId) + u'.'};
    }
    QStringList distinct;
    for (const QString& tagId : tagIds) {
        existingTag(tagId);
        if (!distinct.contains(tagId)) {
            distinct.append(tagId);
        }
    }
    const qsizetype index = *found;
    LibraryTodo& todo = m_todos[std::size_t(index)];
    if (todo.tagIds == distinct) {
        return;
    }
    const std::size_t state = stateIndex(todo.state);
    for (const QString& tagId : todo.tagIds) {
        if (!distinct.contains(tagId)) {
            std::vector<qsizetype>& carriers = m_todosByTag[tagId];
            const auto carrier = std::find(carriers.begin(), carriers.end(), index);
            if (carrier != carriers.end()) {
                carriers.erase(carrier);
            }
            m_countsByTag[tagId][state] -= 1;
        }
    }
    for (const QString& tagId : distinct) {
        if (!todo.tagIds.contains(tagId)) {
            m_todosByTag[tagId].push_back(index);
            m_countsByTag[tagId][state] += 1;
        }
    }
    todo.tagIds = std::move(distinct);
    ++m_revision;
}

} // namespace standin

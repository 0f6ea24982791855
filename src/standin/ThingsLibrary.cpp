#include "ThingsLibrary.h"

#include "applescript/Value.h"

#include <QRandomGenerator>
#include <QVarLengthArray>
#include <algorithm>
#include <bit>
#include <cstring>
#include <span>

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

bool isAscii(QStringView text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 128; });
}

// An ASCII character as a name's key holds it (see ThingsLibrary::nameKey).
char16_t asciiFolded(QChar c) {
    return c.unicode() >= u'A' && c.unicode() <= u'Z' ? char16_t(c.unicode() + 32) : c.unicode();
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

// An ASCII name's key is the name in lower case, which is hashed and compared here without being
// made; any other name's key is made. Both hash the same text, so equal keys hash alike.
size_t qHash(const ThingsLibrary::NameKey& key, size_t seed) {
    if (isAscii(key.name)) {
        QVarLengthArray<char16_t, 64> folded(key.name.size());
        std::transform(key.name.begin(), key.name.end(), folded.begin(), asciiFolded);
        return qHash(QStringView(folded.data(), folded.size()), seed);
    }
    return qHash(QStringView(ThingsLibrary::nameKey(key.name)), seed);
}

bool operator==(const ThingsLibrary::NameKey& a, const ThingsLibrary::NameKey& b) {
    if (isAscii(a.name) && isAscii(b.name)) {
        return std::equal(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                          [](QChar x, QChar y) { return asciiFolded(x) == asciiFolded(y); });
    }
    return ThingsLibrary::nameKey(a.name) == ThingsLibrary::nameKey(b.name);
}

QString ThingsLibrary::freshIdentifier() {
    QString id;
    do {
        id.clear();
        for (int i = 0; i < identifierLength; ++i) {
            id += QLatin1Char(base58[m_random.bounded(58)]);
        }
    } while (m_tagIndex.contains(id) || findTodo(id));
    return id;
}

void ThingsLibrary::checkName(const QString& name) {
    if (name.trimmed().isEmpty()) {
        throw LibraryError{QStringLiteral("A tag’s name can’t be empty.")};
    }
}

// ---- tags ----

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

std::optional<QString> ThingsLibrary::tagIdAt(qsizetype index) const {
    if (index < 0 || index >= m_tagIndex.size()) {
        return std::nullopt;
    }
    if (m_deletedTags == 0) {
        return m_tags[std::size_t(index)].id;
    }
    return tagIds()[std::size_t(index)];
}

const LibraryTag* ThingsLibrary::tag(const QString& id) const {
    auto it = m_tagIndex.constFind(id);
    return it == m_tagIndex.constEnd() ? nullptr : &m_tags[std::size_t(*it)];
}

ThingsLibrary::Slot ThingsLibrary::existingSlot(const QString& id) const {
    auto it = m_tagIndex.constFind(id);
    if (it == m_tagIndex.constEnd()) {
        throw LibraryError{QStringLiteral("Can’t get tag id ") + quoted(id) + u'.'};
    }
    return Slot(*it);
}

LibraryTag& ThingsLibrary::existingTag(const QString& id) {
    return m_tags[existingSlot(id)];
}

std::optional<QString> ThingsLibrary::tagIdByName(const QString& name) const {
    auto it = m_idByName.constFind(NameKey{name});
    if (it == m_idByName.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

QStringList ThingsLibrary::childTagIds(const QString& id) const {
    auto it = m_tagIndex.constFind(id);
    return it == m_tagIndex.constEnd() ? QStringList() : m_links[std::size_t(*it)].children;
}

// The first tag to take a name keeps it in m_idByName; a later one (only a file can hold two) waits
// in m_laterIdsByName, and takes its place when it goes.
void ThingsLibrary::indexName(const QString& name, const QString& id) {
    const NameKey key{name};
    if (m_idByName.contains(key)) {
        m_laterIdsByName[key].append(id);
    } else {
        m_idByName.insert(key, id);
    }
}

void ThingsLibrary::unindexName(const QString& name, const QString& id) {
    const NameKey key{name};
    const auto first = m_idByName.find(key);
    if (first == m_idByName.end()) {
        return;
    }
    const auto later = m_laterIdsByName.find(key);
    if (*first == id) {
        if (later == m_laterIdsByName.end()) {
            m_idByName.erase(first);
            return;
        }
        *first = later->takeFirst();
    } else if (later != m_laterIdsByName.end()) {
        later->removeOne(id);
    }
    if (later != m_laterIdsByName.end() && later->isEmpty()) {
        m_laterIdsByName.erase(later);
    }
}

void ThingsLibrary::insertTag(LibraryTag tag) {
    const Slot slot = Slot(m_tags.size());
    m_tagIndex.insert(tag.id, slot);
    m_tags.push_back(std::move(tag));
    m_links.emplace_back();
    linkTag(slot);
}

// The parent's identifier is taken from the parent itself, so that the text is shared, not copied.
void ThingsLibrary::linkTag(Slot slot) {
    LibraryTag& t = m_tags[slot];
    indexName(t.name, t.id);
    if (!t.parentId.isEmpty()) {
        const Slot parent = Slot(m_tagIndex.value(t.parentId));
        t.parentId = m_tags[parent].id;
        m_links[parent].children.append(t.id);
    }
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
    unindexName(t.name, t.id);
    t.name = name;
    indexName(t.name, t.id);
    ++m_revision;
}

void ThingsLibrary::setParent(const QString& id, const QString& parentId) {
    const Slot slot = existingSlot(id);
    if (!parentId.isEmpty()) {
        const LibraryTag& parent = existingTag(parentId);
        // Walking up from the new parent must not meet the tag itself, or the forest gets a cycle.
        for (const LibraryTag* p = &parent; p != nullptr;
             p = p->parentId.isEmpty() ? nullptr : tag(p->parentId)) {
            if (p->id == id) {
                throw LibraryError{QStringLiteral("Tag ") + quoted(m_tags[slot].name) +
                                   QStringLiteral(" can’t be put inside itself or a tag below it.")};
            }
        }
    }
    LibraryTag& t = m_tags[slot];
    if (t.parentId == parentId) {
        return;
    }
    if (!t.parentId.isEmpty()) {
        m_links[existingSlot(t.parentId)].children.removeOne(id);
    }
    t.parentId.clear();
    if (!parentId.isEmpty()) {
        const Slot parent = existingSlot(parentId);
        t.parentId = m_tags[parent].id;
        m_links[parent].children.append(t.id);
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
    const Slot top = existingSlot(id);
    const QString parentId = m_tags[top].parentId;
    QStringList doomed{m_tags[top].id};
    for (qsizetype i = 0; i < doomed.size(); ++i) {
        doomed += m_links[std::size_t(m_tagIndex.value(doomed[i]))].children;
    }
    if (!parentId.isEmpty()) {
        m_links[existingSlot(parentId)].children.removeOne(id);
    }
    for (const QString& gone : doomed) {
        const Slot slot = Slot(m_tagIndex.take(gone));
        for (const Slot number : m_links[slot].todos) {
            TodoEntry& todo = m_todos[number];
            Slot* tags = m_todoTags.data() + todo.tagsAt;
            const Slot* kept = std::remove(tags, tags + todo.tagCount, slot);
            m_todoTagsUnused += tags + todo.tagCount - kept;
            todo.tagCount = quint32(kept - tags);
        }
        unindexName(m_tags[slot].name, gone);
        m_tags[slot] = LibraryTag{};
        m_links[slot] = TagLinks{};
        ++m_deletedTags;
    }
    ++m_revision;
    compact();
    compactTodoTags();
    return doomed;
}

// Once as many tags are deleted as are left, the entries of the deleted ones go, and every slot
// after them moves down: in the index and in every to-do's tags.
void ThingsLibrary::compact() {
    if (m_deletedTags < 1024 || m_deletedTags < m_tagIndex.size()) {
        return;
    }
    std::vector<Slot> movedTo(m_tags.size());
    std::vector<LibraryTag> kept;
    std::vector<TagLinks> keptLinks;
    kept.reserve(std::size_t(m_tagIndex.size()));
    keptLinks.reserve(std::size_t(m_tagIndex.size()));
    for (std::size_t slot = 0; slot < m_tags.size(); ++slot) {
        if (!m_tags[slot].id.isEmpty()) {
            movedTo[slot] = Slot(kept.size());
            m_tagIndex[m_tags[slot].id] = qsizetype(kept.size());
            kept.push_back(std::move(m_tags[slot]));
            keptLinks.push_back(std::move(m_links[slot]));
        }
    }
    for (const TodoEntry& todo : m_todos) {
        Slot* tags = m_todoTags.data() + todo.tagsAt;
        std::transform(tags, tags + todo.tagCount, tags, [&](Slot slot) { return movedTo[slot]; });
    }
    m_tags = std::move(kept);
    m_links = std::move(keptLinks);
    m_deletedTags = 0;
}

// ---- to-dos ----

QStringView ThingsLibrary::todoId(const TodoEntry& todo) const {
    return QStringView(m_todoText).sliced(todo.textAt, todo.nameAt - todo.textAt);
}

QStringView ThingsLibrary::todoName(Slot number) const {
    const TodoEntry& todo = m_todos[number];
    const qsizetype end = number + 1 < m_todos.size() ? m_todos[number + 1].textAt : m_todoText.size();
    return QStringView(m_todoText).sliced(todo.nameAt, end - todo.nameAt);
}

std::optional<ThingsLibrary::Slot> ThingsLibrary::findTodo(QStringView id) const {
    if (m_todoBuckets.empty()) {
        return std::nullopt;
    }
    const std::size_t mask = m_todoBuckets.size() - 1;
    for (std::size_t at = qHash(id, 0) & mask;; at = (at + 1) & mask) {
        const Slot entry = m_todoBuckets[at];
        if (entry == 0) {
            return std::nullopt;
        }
        if (todoId(m_todos[entry - 1]) == id) {
            return entry - 1;
        }
    }
}

void ThingsLibrary::reserveTodos(qsizetype todos, qsizetype textUnits, qsizetype tags) {
    const std::size_t total = m_todos.size() + std::size_t(todos);
    m_todos.reserve(total);
    m_todoText.reserve(m_todoText.size() + textUnits);
    m_todoTags.reserve(m_todoTags.size() + std::size_t(tags));
    if (total * 2 > m_todoBuckets.size()) {
        m_todoBuckets.assign(std::bit_ceil(std::max<std::size_t>(total * 2, 16)), 0);
        for (Slot n = 0; n < m_todos.size(); ++n) {
            placeTodo(n);
        }
    }
}

void ThingsLibrary::placeTodo(Slot number) {
    const std::size_t mask = m_todoBuckets.size() - 1;
    std::size_t at = qHash(todoId(m_todos[number]), 0) & mask;
    while (m_todoBuckets[at] != 0) {
        at = (at + 1) & mask;
    }
    m_todoBuckets[at] = number + 1;
}

// Open addressing with linear probing, at most half full; to-dos are never taken out.
void ThingsLibrary::indexTodo(Slot number) {
    if (m_todos.size() * 2 > m_todoBuckets.size()) {
        reserveTodos(0, 0, 0); // doubles the buckets, and places this one with the others
        return;
    }
    placeTodo(number);
}

std::vector<QString> ThingsLibrary::todoIds() const {
    std::vector<QString> ids;
    ids.reserve(m_todos.size());
    for (const TodoEntry& t : m_todos) {
        ids.push_back(todoId(t).toString());
    }
    return ids;
}

std::optional<LibraryTodo> ThingsLibrary::todoRecord(const QString& id) const {
    const std::optional<Slot> number = findTodo(id);
    if (!number) {
        return std::nullopt;
    }
    const TodoEntry& t = m_todos[*number];
    LibraryTodo todo{todoId(t).toString(), todoName(*number).toString(), t.state, {}};
    todo.tagIds.reserve(t.tagCount);
    for (const Slot slot : std::span(todoTags(t), t.tagCount)) {
        todo.tagIds.append(m_tags[slot].id);
    }
    return todo;
}

std::optional<QString> ThingsLibrary::todoIdByName(const QString& name) const {
    for (Slot number = 0; number < m_todos.size(); ++number) {
        const QStringView candidate = todoName(number);
        // Read in place: the text lives only for this comparison.
        if (applescript::textsEqual(QString::fromRawData(candidate.data(), candidate.size()), name)) {
            return todoId(m_todos[number]).toString();
        }
    }
    return std::nullopt;
}

std::vector<QString> ThingsLibrary::todoIdsOfTag(const QString& tagId) const {
    std::vector<QString> ids;
    auto it = m_tagIndex.constFind(tagId);
    if (it == m_tagIndex.constEnd()) {
        return ids;
    }
    const std::vector<Slot>& todos = m_links[std::size_t(*it)].todos;
    ids.reserve(todos.size());
    for (const Slot number : todos) {
        ids.push_back(todoId(m_todos[number]).toString());
    }
    return ids;
}

std::optional<QString> ThingsLibrary::todoIdOfTagAt(const QString& tagId, qsizetype index) const {
    auto it = m_tagIndex.constFind(tagId);
    if (it == m_tagIndex.constEnd()) {
        return std::nullopt;
    }
    const std::vector<Slot>& todos = m_links[std::size_t(*it)].todos;
    if (index < 0 || index >= qsizetype(todos.size())) {
        return std::nullopt;
    }
    return todoId(m_todos[todos[std::size_t(index)]]).toString();
}

qint64 ThingsLibrary::todoCount(const QString& tagId, TodoState state) const {
    auto it = m_tagIndex.constFind(tagId);
    return it == m_tagIndex.constEnd() ? 0 : m_links[std::size_t(*it)].counts[stateIndex(state)];
}

qsizetype ThingsLibrary::textSize() const {
    qsizetype size = m_todoText.size();
    for (const LibraryTag& t : m_tags) {
        size += t.id.size() + t.name.size() + t.parentId.size() + t.shortcut.size();
    }
    for (const TodoEntry& todo : m_todos) {
        for (const Slot slot : std::span(todoTags(todo), todo.tagCount)) {
            size += m_tags[slot].id.size();
        }
    }
    return size;
}

std::vector<ThingsLibrary::Slot> ThingsLibrary::distinctSlots(const QStringList& tagIds) const {
    std::vector<Slot> slots;
    slots.reserve(std::size_t(tagIds.size()));
    for (const QString& tagId : tagIds) {
        const Slot slot = existingSlot(tagId);
        if (std::find(slots.begin(), slots.end(), slot) == slots.end()) {
            slots.push_back(slot);
        }
    }
    return slots;
}

void ThingsLibrary::insertTodo(QStringView id, QStringView name, TodoState state,
                               const std::vector<Slot>& tags) {
    const Slot number = Slot(m_todos.size());
    TodoEntry todo;
    todo.textAt = m_todoText.size();
    m_todoText += id;
    todo.nameAt = m_todoText.size();
    m_todoText += name;
    todo.tagsAt = qsizetype(m_todoTags.size());
    todo.tagCount = quint32(tags.size());
    todo.state = state;
    m_todoTags.insert(m_todoTags.end(), tags.begin(), tags.end());
    for (const Slot slot : tags) {
        m_links[slot].todos.push_back(number);
        m_links[slot].counts[stateIndex(state)] += 1;
    }
    m_todos.push_back(todo);
    indexTodo(number);
}

QString ThingsLibrary::addTodo(const QString& name, TodoState state, const QStringList& tagIds) {
    const std::vector<Slot> tags = distinctSlots(tagIds);
    const QString id = freshIdentifier();
    insertTodo(id, name, state, tags);
    ++m_revision;
    return id;
}

void ThingsLibrary::setTodoTags(const QString& todoId, const QStringList& tagIds) {
    const std::optional<Slot> found = findTodo(todoId);
    if (!found) {
        throw LibraryError{QStringLiteral("Can’t get to do id ") + quoted(todoId) + u'.'};
    }
    const std::vector<Slot> wanted = distinctSlots(tagIds);
    const Slot number = *found;
    TodoEntry& todo = m_todos[number];
    const std::span<const Slot> current(todoTags(todo), todo.tagCount);
    if (std::equal(current.begin(), current.end(), wanted.begin(), wanted.end())) {
        return;
    }
    const std::size_t state = stateIndex(todo.state);
    for (const Slot slot : current) {
        if (std::find(wanted.begin(), wanted.end(), slot) == wanted.end()) {
            std::vector<Slot>& carriers = m_links[slot].todos;
            const auto carrier = std::find(carriers.begin(), carriers.end(), number);
            if (carrier != carriers.end()) {
                carriers.erase(carrier);
            }
            m_links[slot].counts[state] -= 1;
        }
    }
    for (const Slot slot : wanted) {
        if (std::find(current.begin(), current.end(), slot) == current.end()) {
            m_links[slot].todos.push_back(number);
            m_links[slot].counts[state] += 1;
        }
    }
    // The new tags take the old ones' place when they fit there, and go at the end otherwise.
    if (wanted.size() <= todo.tagCount) {
        m_todoTagsUnused += qsizetype(todo.tagCount - wanted.size());
    } else {
        m_todoTagsUnused += todo.tagCount;
        todo.tagsAt = qsizetype(m_todoTags.size());
        m_todoTags.resize(m_todoTags.size() + wanted.size());
    }
    std::copy(wanted.begin(), wanted.end(), m_todoTags.begin() + todo.tagsAt);
    todo.tagCount = quint32(wanted.size());
    ++m_revision;
    compactTodoTags();
}

// Once most of m_todoTags is left behind by to-dos whose tags changed, it is written afresh.
void ThingsLibrary::compactTodoTags() {
    if (m_todoTagsUnused < 1024 || m_todoTagsUnused < qsizetype(m_todoTags.size()) / 2) {
        return;
    }
    std::vector<Slot> packed;
    packed.reserve(m_todoTags.size() - std::size_t(m_todoTagsUnused));
    for (TodoEntry& todo : m_todos) {
        const Slot* tags = todoTags(todo);
        todo.tagsAt = qsizetype(packed.size());
        packed.insert(packed.end(), tags, tags + todo.tagCount);
    }
    m_todoTags = std::move(packed);
    m_todoTagsUnused = 0;
}

} // namespace standin

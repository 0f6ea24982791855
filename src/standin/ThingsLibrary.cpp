#include "ThingsLibrary.h"

#include "JsonText.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSaveFile>
#include <algorithm>
#include <cstring>

namespace standin {

namespace {

constexpr char base58[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr int identifierLength = 22;
const QString formatName = QStringLiteral("things3-standin library");
constexpr int formatVersion = 1;

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

std::optional<TodoState> stateFromName(const QString& name) {
    for (TodoState s : {TodoState::Open, TodoState::Completed, TodoState::Canceled}) {
        if (todoStateName(s) == name) {
            return s;
        }
    }
    return std::nullopt;
}

// The JSON text of a string, written by hand: the library can hold hundreds of thousands of records,
// and building a QJsonDocument for each save costs several times more than the file itself.
void appendJsonString(QByteArray& out, const QString& text) {
    JsonText::append(out, text);
}

// Qt's JSON reader drops a U+FEFF that begins a string when it comes as raw UTF-8, as files written
// before names were escaped hold it. Inside the JSON text it can only be part of a string, so every
// one but a byte order mark that opens the file becomes the escape, which the reader keeps.
QByteArray withEscapedByteOrderMarks(const QByteArray& json) {
    static const QByteArray mark("\xEF\xBB\xBF");
    const qsizetype first = json.indexOf(mark, 1);
    if (first < 0) {
        return json;
    }
    QByteArray escaped = json.left(first);
    for (qsizetype from = first; from < json.size();) {
        const qsizetype at = json.indexOf(mark, from);
        if (at < 0) {
            escaped += QByteArrayView(json).sliced(from);
            break;
        }
        escaped += QByteArrayView(json).sliced(from, at - from);
        escaped += "\\ufeff";
        from = at + mark.size();
    }
    return escaped;
}

[[noreturn]] void corrupt(const QString& why) {
    throw LibraryError{QStringLiteral("not a stand-in library: ") + why};
}

QString requiredString(const QJsonObject& object, const QString& key, const QString& where) {
    const QJsonValue value = object.value(key);
    if (!value.isString()) {
        corrupt(where + QStringLiteral(" has no text \"") + key + u'"');
    }
    return value.toString();
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
    return name.normalized(QString::NormalizationForm_C).toCaseFolded();
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

QByteArray ThingsLibrary::toJson() const {
    QByteArray out;
    out.reserve(qsizetype(m_tags.size()) * 96 + qsizetype(m_todos.size()) * 96 + 64);
    out += "{\n\"format\": ";
    appendJsonString(out, formatName);
    out += ",\n\"version\": " + QByteArray::number(formatVersion) + ",\n\"tags\": [";
    bool first = true;
    for (const LibraryTag& t : m_tags) {
        if (t.id.isEmpty()) {
            continue;
        }
        out += first ? "\n" : ",\n";
        first = false;
        out += "{\"id\": ";
        appendJsonString(out, t.id);
        out += ", \"name\": ";
        appendJsonString(out, t.name);
        out += ", \"parent\": ";
        if (t.parentId.isEmpty()) {
            out += "null";
        } else {
            appendJsonString(out, t.parentId);
        }
        out += ", \"shortcut\": ";
        appendJsonString(out, t.shortcut);
        out += '}';
    }
    out += "\n],\n\"todos\": [";
    first = true;
    for (const LibraryTodo& t : m_todos) {
        out += first ? "\n" : ",\n";
        first = false;
        out += "{\"id\": ";
        appendJsonString(out, t.id);
        out += ", \"name\": ";
        appendJsonString(out, t.name);
        out += ", \"status\": ";
        appendJsonString(out, todoStateName(t.state));
        out += ", \"tags\": [";
        for (qsizetype i = 0; i < t.tagIds.size(); ++i) {
            if (i > 0) {
                out += ", ";
            }
            appendJsonString(out, t.tagIds[i]);
        }
        out += "]}";
    }
    out += "\n]\n}\n";
    return out;
}

ThingsLibrary ThingsLibrary::fromJson(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(withEscapedByteOrderMarks(json), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        corrupt(parseError.errorString() + QStringLiteral(" at byte ") + QString::number(parseError.offset));
    }
    const QJsonObject root = document.object();
    if (!document.isObject() || root.value(u"format").toString() != formatName) {
        corrupt(QStringLiteral("the \"format\" entry is missing or wrong"));
    }
    if (root.value(u"version").toInt(-1) != formatVersion) {
        corrupt(QStringLiteral("version ") + QString::number(root.value(u"version").toInt(-1)) +
                QStringLiteral(" is not version ") + QString::number(formatVersion));
    }
    if (!root.value(u"tags").isArray() || !root.value(u"todos").isArray()) {
        corrupt(QStringLiteral("\"tags\" and \"todos\" must be lists"));
    }

    ThingsLibrary library;
    const QJsonArray tags = root.value(u"tags").toArray();
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const QString where = QStringLiteral("tag ") + QString::number(i + 1);
        const QJsonObject object = tags[i].toObject();
        LibraryTag t{requiredString(object, QStringLiteral("id"), where),
                     requiredString(object, QStringLiteral("name"), where),
                     {},
                     {}};
        const QJsonValue parent = object.value(u"parent");
        if (!parent.isNull() && !parent.isUndefined()) {
            t.parentId = requiredString(object, QStringLiteral("parent"), where);
        }
        if (object.contains(u"shortcut")) {
            t.shortcut = requiredString(object, QStringLiteral("shortcut"), where);
        }
        if (t.id.isEmpty() || library.m_tagIndex.contains(t.id)) {
            corrupt(where + QStringLiteral(" has an empty or repeated id"));
        }
        if (t.name.trimmed().isEmpty()) {
            corrupt(where + QStringLiteral(" has an empty name"));
        }
        library.insertTag(std::move(t));
    }
    // Every parent must exist and no tag may sit below itself. Each tag is walked over once: a walk
    // stops at a tag already known to lead to a root.
    QHash<QString, bool> leadsToRoot; // false while the tag is on the current walk
    for (const LibraryTag& t : library.m_tags) {
        QStringList walk;
        for (const LibraryTag* p = &t; p != nullptr;) {
            auto known = leadsToRoot.constFind(p->id);
            if (known != leadsToRoot.constEnd()) {
                if (!*known) {
                    corrupt(QStringLiteral("tag ") + p->id + QStringLiteral(" is inside itself"));
                }
                break;
            }
            leadsToRoot.insert(p->id, false);
            walk.append(p->id);
            if (p->parentId.isEmpty()) {
                break;
            }
            p = library.tag(p->parentId);
            if (p == nullptr) {
                corrupt(QStringLiteral("tag ") + walk.back() +
                        QStringLiteral(" has a parent that is not in the library"));
            }
        }
        for (const QString& id : walk) {
            leadsToRoot.insert(id, true);
        }
    }

    const QJsonArray todos = root.value(u"todos").toArray();
    for (qsizetype i = 0; i < todos.size(); ++i) {
        const QString where = QStringLiteral("to-do ") + QString::number(i + 1);
        const QJsonObject object = todos[i].toObject();
        LibraryTodo t{requiredString(object, QStringLiteral("id"), where),
                      requiredString(object, QStringLiteral("name"), where),
                      TodoState::Open,
                      {}};
        const std::optional<TodoState> state =
            stateFromName(requiredString(object, QStringLiteral("status"), where));
        if (!state) {
            corrupt(where + QStringLiteral(" has an unknown status"));
        }
        t.state = *state;
        if (t.id.isEmpty() || library.m_todoIndex.contains(t.id) || library.m_tagIndex.contains(t.id)) {
            corrupt(where + QStringLiteral(" has an empty or repeated id"));
        }
        if (!object.value(u"tags").isArray()) {
            corrupt(where + QStringLiteral(" has no list of tags"));
        }
        for (const QJsonValue& tagId : object.value(u"tags").toArray()) {
            if (!tagId.isString() || library.tag(tagId.toString()) == nullptr) {
                corrupt(where + QStringLiteral(" carries a tag that is not in the library"));
            }
            if (!t.tagIds.contains(tagId.toString())) {
                t.tagIds.append(tagId.toString());
            }
        }
        library.insertTodo(std::move(t));
    }
    return library;
}

ThingsLibrary ThingsLibrary::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw LibraryError{QStringLiteral("cannot read: ") + file.errorString()};
    }
    return fromJson(file.readAll());
}

void ThingsLibrary::save(const QString& path) const {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        throw LibraryError{QStringLiteral("cannot write: ") + file.errorString()};
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray json = toJson();
    if (file.write(json) != json.size() || !file.commit()) {
        throw LibraryError{QStringLiteral("cannot write: ") + file.errorString()};
    }
}

} // namespace standin

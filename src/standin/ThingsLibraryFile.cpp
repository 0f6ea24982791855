// The library's file: the JSON text it is saved as, and the checks a file must pass to be loaded.
#include "JsonText.h"
#include "ThingsLibrary.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace standin {

namespace {

const QString formatName = QStringLiteral("things3-standin library");
constexpr int formatVersion = 1;

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

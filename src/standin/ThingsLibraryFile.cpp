// The library's file: the JSON text it is saved as, and the checks a file must pass to be loaded.
#include "JsonText.h"
#include "ThingsLibrary.h"

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <cmath>

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
void appendJsonString(QByteArray& out, QStringView text) {
    JsonText::append(out, text);
}

[[noreturn]] void corrupt(const QString& why) {
    throw LibraryError{QStringLiteral("not a stand-in library: ") + why};
}

// The file is read where it lies, a record at a time, and nothing is made of it but the library:
// a document object of the whole file would take many times the file's size.
//
// The whole file has been checked before any of this reads it, so these only look for what they
// want. It is read as Qt's JSON reader, which read it before, took it (JsonText::Dialect::AsQt), and
// so are its members: found by name in any order, the last one counting when a name comes twice.
class FileReader final {
public:
    explicit FileReader(QByteArrayView json)
        : m_json(json) {}

    JsonText::Reader readerAt(qsizetype at) const {
        return JsonText::Reader(m_json, at, JsonText::Dialect::AsQt);
    }

    // The positions of the values of the object's members named `names`, the reader being at the
    // object and left after it; -1 for a member that is not there, and for all when it is no object.
    template <std::size_t N>
    std::array<qsizetype, N> members(JsonText::Reader& reader,
                                     const std::array<QStringView, N>& names) const {
        std::array<qsizetype, N> at;
        at.fill(-1);
        if (reader.peek() != '{') {
            reader.skipValue();
            return at;
        }
        reader.accept('{');
        if (reader.accept('}')) {
            return at;
        }
        do {
            const std::optional<QString> key = reader.string();
            reader.accept(':');
            reader.peek();
            const auto named = std::find(names.begin(), names.end(), QStringView(*key));
            if (named != names.end()) {
                at[std::size_t(named - names.begin())] = reader.position();
            }
            reader.skipValue();
        } while (reader.accept(','));
        reader.accept('}');
        return at;
    }

    char kindAt(qsizetype at) const { return at < 0 ? '\0' : readerAt(at).peek(); }

    std::optional<QString> textAt(qsizetype at) const {
        if (kindAt(at) != '"') {
            return std::nullopt;
        }
        return readerAt(at).string();
    }

    qsizetype textSizeAt(qsizetype at) const {
        return kindAt(at) == '"' ? readerAt(at).stringSize().value_or(0) : 0;
    }

    qsizetype itemCount(qsizetype at) const {
        qsizetype count = 0;
        if (kindAt(at) == '[') {
            forEachItem(at, [&](JsonText::Reader& reader, qsizetype) {
                reader.skipValue();
                ++count;
            });
        }
        return count;
    }

    QString requiredText(qsizetype at, QStringView key, const QString& where) const {
        std::optional<QString> text = textAt(at);
        if (!text) {
            corrupt(where + QStringLiteral(" has no text \"") + key + u'"');
        }
        return *std::move(text);
    }

    // Calls `item` with a reader at each item of the list at `at`, which must leave it after the item.
    template <typename Item>
    void forEachItem(qsizetype at, Item&& item) const {
        JsonText::Reader reader = readerAt(at);
        reader.accept('[');
        if (reader.accept(']')) {
            return;
        }
        qsizetype index = 0;
        do {
            item(reader, index++);
        } while (reader.accept(','));
    }

private:
    QByteArrayView m_json;
};

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
    for (Slot number = 0; number < m_todos.size(); ++number) {
        const TodoEntry& t = m_todos[number];
        out += first ? "\n" : ",\n";
        first = false;
        out += "{\"id\": ";
        appendJsonString(out, todoId(t));
        out += ", \"name\": ";
        appendJsonString(out, todoName(number));
        out += ", \"status\": ";
        appendJsonString(out, todoStateName(t.state));
        out += ", \"tags\": [";
        for (quint32 i = 0; i < t.tagCount; ++i) {
            if (i > 0) {
                out += ", ";
            }
            appendJsonString(out, m_tags[todoTags(t)[i]].id);
        }
        out += "]}";
    }
    out += "\n]\n}\n";
    return out;
}

ThingsLibrary ThingsLibrary::fromJson(QByteArrayView json) {
    // A byte order mark may open the file (and only there: inside, a U+FEFF is part of a string).
    if (json.startsWith("\xEF\xBB\xBF")) {
        json = json.sliced(3);
    }
    JsonText::Reader check(json, 0, JsonText::Dialect::AsQt);
    if (!check.skipValue() || !check.atEnd()) {
        corrupt(QStringLiteral("the file is not well-formed JSON (at byte ") +
                QString::number(check.position()) + u')');
    }
    const FileReader file(json);
    JsonText::Reader top = file.readerAt(0);
    if (top.peek() != '{') {
        corrupt(QStringLiteral("the \"format\" entry is missing or wrong"));
    }
    const auto [formatAt, versionAt, tagsAt, todosAt] =
        file.members<4>(top, {u"format", u"version", u"tags", u"todos"});
    if (file.textAt(formatAt) != formatName) {
        corrupt(QStringLiteral("the \"format\" entry is missing or wrong"));
    }
    // Any number that is 1 is version 1 (1.0 too), as a JSON reader's toInt() takes it.
    const std::optional<double> version = versionAt < 0 ? std::nullopt : file.readerAt(versionAt).number();
    if (version != double(formatVersion)) {
        const bool whole = version && std::trunc(*version) == *version && std::abs(*version) < 2e9;
        corrupt(QStringLiteral("version ") + QString::number(whole ? qint64(*version) : -1) +
                QStringLiteral(" is not version ") + QString::number(formatVersion));
    }
    if (file.kindAt(tagsAt) != '[' || file.kindAt(todosAt) != '[') {
        corrupt(QStringLiteral("\"tags\" and \"todos\" must be lists"));
    }

    // Everything is counted first and made once at its full size: grown a piece at a time, the
    // library would for a while take up to twice its size, and the file is in memory meanwhile.
    ThingsLibrary library;
    library.m_tags.reserve(std::size_t(file.itemCount(tagsAt)));
    qsizetype todoCount = 0;
    qsizetype todoText = 0;
    qsizetype todoTags = 0;
    file.forEachItem(todosAt, [&](JsonText::Reader& reader, qsizetype) {
        const auto [idAt, nameAt, tagsListAt] = file.members<3>(reader, {u"id", u"name", u"tags"});
        ++todoCount;
        todoText += file.textSizeAt(idAt) + file.textSizeAt(nameAt);
        todoTags += file.itemCount(tagsListAt);
    });
    library.reserveTodos(todoCount, todoText, todoTags);

    file.forEachItem(tagsAt, [&](JsonText::Reader& reader, qsizetype i) {
        const QString where = QStringLiteral("tag ") + QString::number(i + 1);
        const auto [idAt, nameAt, parentAt, shortcutAt] =
            file.members<4>(reader, {u"id", u"name", u"parent", u"shortcut"});
        LibraryTag t{
            file.requiredText(idAt, u"id", where), file.requiredText(nameAt, u"name", where), {}, {}};
        if (parentAt >= 0 && file.kindAt(parentAt) != 'n') {
            t.parentId = file.requiredText(parentAt, u"parent", where);
        }
        if (shortcutAt >= 0) {
            t.shortcut = file.requiredText(shortcutAt, u"shortcut", where);
        }
        if (t.id.isEmpty() || library.m_tagIndex.contains(t.id)) {
            corrupt(where + QStringLiteral(" has an empty or repeated id"));
        }
        if (t.name.trimmed().isEmpty()) {
            corrupt(where + QStringLiteral(" has an empty name"));
        }
        library.m_tagIndex.insert(t.id, qsizetype(library.m_tags.size()));
        library.m_tags.push_back(std::move(t));
    });
    library.m_links.resize(library.m_tags.size());

    // Every parent must exist and no tag may sit below itself. Each tag is walked over once: a walk
    // stops at a tag already known to lead to a root.
    enum : std::uint8_t { Unknown, OnThisWalk, LeadsToRoot };
    std::vector<std::uint8_t> known(library.m_tags.size(), Unknown);
    std::vector<Slot> walk;
    for (Slot slot = 0; slot < library.m_tags.size(); ++slot) {
        walk.clear();
        for (Slot p = slot;;) {
            if (known[p] == LeadsToRoot) {
                break;
            }
            if (known[p] == OnThisWalk) {
                corrupt(QStringLiteral("tag ") + library.m_tags[p].id + QStringLiteral(" is inside itself"));
            }
            known[p] = OnThisWalk;
            walk.push_back(p);
            const QString& parentId = library.m_tags[p].parentId;
            if (parentId.isEmpty()) {
                break;
            }
            const auto parent = library.m_tagIndex.constFind(parentId);
            if (parent == library.m_tagIndex.constEnd()) {
                corrupt(QStringLiteral("tag ") + library.m_tags[p].id +
                        QStringLiteral(" has a parent that is not in the library"));
            }
            p = Slot(*parent);
        }
        for (const Slot w : walk) {
            known[w] = LeadsToRoot;
        }
    }
    library.m_idByName.reserve(qsizetype(library.m_tags.size()));
    for (Slot slot = 0; slot < library.m_tags.size(); ++slot) {
        library.linkTag(slot);
    }

    std::vector<Slot> tags;
    file.forEachItem(todosAt, [&](JsonText::Reader& reader, qsizetype i) {
        const QString where = QStringLiteral("to-do ") + QString::number(i + 1);
        const auto [idAt, nameAt, statusAt, tagsListAt] =
            file.members<4>(reader, {u"id", u"name", u"status", u"tags"});
        const QString id = file.requiredText(idAt, u"id", where);
        const QString name = file.requiredText(nameAt, u"name", where);
        const std::optional<TodoState> state = stateFromName(file.requiredText(statusAt, u"status", where));
        if (!state) {
            corrupt(where + QStringLiteral(" has an unknown status"));
        }
        if (id.isEmpty() || library.findTodo(id) || library.m_tagIndex.contains(id)) {
            corrupt(where + QStringLiteral(" has an empty or repeated id"));
        }
        if (file.kindAt(tagsListAt) != '[') {
            corrupt(where + QStringLiteral(" has no list of tags"));
        }
        tags.clear();
        file.forEachItem(tagsListAt, [&](JsonText::Reader& item, qsizetype) {
            const std::optional<QString> tagId = item.peek() == '"' ? item.string() : std::nullopt;
            const auto slot = tagId ? library.m_tagIndex.constFind(*tagId) : library.m_tagIndex.constEnd();
            if (slot == library.m_tagIndex.constEnd()) {
                corrupt(where + QStringLiteral(" carries a tag that is not in the library"));
            }
            if (std::find(tags.begin(), tags.end(), Slot(*slot)) == tags.end()) {
                tags.push_back(Slot(*slot));
            }
        });
        library.insertTodo(id, name, *state, tags);
    });
    return library;
}

ThingsLibrary ThingsLibrary::load(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw LibraryError{QStringLiteral("cannot read: ") + file.errorString()};
    }
    // Read at its size: readAll() would take up to twice that while the bytes arrive.
    QByteArray json(file.size(), Qt::Uninitialized);
    const qint64 read = file.read(json.data(), json.size());
    if (read < 0) {
        throw LibraryError{QStringLiteral("cannot read: ") + file.errorString()};
    }
    json.truncate(read);
    if (!file.atEnd()) {
        json += file.readAll(); // it grew meanwhile
    }
    return fromJson(json);
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

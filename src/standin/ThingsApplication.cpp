#include "ThingsApplication.h"

namespace standin {

using applescript::ObjectClass;
using applescript::Property;
using applescript::ScriptFailure;
using applescript::Value;
namespace errors = applescript::errors;

namespace {

applescript::TodoStatus statusOf(TodoState state) {
    switch (state) {
    case TodoState::Open:
        return applescript::TodoStatus::Open;
    case TodoState::Completed:
        return applescript::TodoStatus::Completed;
    case TodoState::Canceled:
        return applescript::TodoStatus::Canceled;
    }
    return applescript::TodoStatus::Open;
}

TodoState stateOf(applescript::TodoStatus status) {
    switch (status) {
    case applescript::TodoStatus::Open:
        return TodoState::Open;
    case applescript::TodoStatus::Completed:
        return TodoState::Completed;
    case applescript::TodoStatus::Canceled:
        return TodoState::Canceled;
    }
    return TodoState::Open;
}

Value references(ObjectClass objectClass, const std::vector<QString>& ids) {
    std::vector<Value> values;
    values.reserve(ids.size());
    for (const QString& id : ids) {
        values.push_back(Value::reference(objectClass, id));
    }
    return Value::list(std::move(values));
}

// A keyboard shortcut is one character that a key types: one code point, not a control character
// and not white space. Things 3 clears a shortcut only with `delete keyboard shortcut of`; the
// empty text and `missing value` are refused like any other value that is not one key.
bool isShortcut(const Value& value) {
    if (!value.isText()) {
        return false;
    }
    const QString& text = value.text;
    const bool one = (text.size() == 1 && !text[0].isSurrogate()) ||
                     (text.size() == 2 && text[0].isHighSurrogate() && text[1].isLowSurrogate());
    if (!one) {
        return false;
    }
    const char32_t point = text.size() == 1 ? text[0].unicode() : QChar::surrogateToUcs4(text[0], text[1]);
    const QChar::Category category = QChar::category(point);
    return !QChar::isSpace(point) && category != QChar::Other_Control && category != QChar::Other_Format &&
           category != QChar::Other_Surrogate && category != QChar::Other_NotAssigned &&
           category != QChar::Other_PrivateUse;
}

} // namespace

QString ThingsApplication::name() const {
    return QStringLiteral("Things3");
}

void ThingsApplication::fail(qint64 number, const QString& brief) const {
    ScriptFailure failure = ScriptFailure::execution(number, brief);
    failure.application = name();
    throw failure;
}

// The names joined by a comma and a space, in the order the to-do carries its tags.
QString ThingsApplication::tagNames(const LibraryTodo& todo) const {
    QString names;
    for (const QString& tagId : todo.tagIds) {
        if (!names.isEmpty()) {
            names += QStringLiteral(", ");
        }
        names += m_library.tag(tagId)->name;
    }
    return names;
}

// Splits at every comma and trims each piece; empty pieces are skipped, so "" takes every tag off.
// Things 3's documentation shows the text form ("Home, Mac") but not what a name that is no tag
// does; the stand-in refuses the whole change then, so a program never counts on a tag being made.
QStringList ThingsApplication::tagIdsNamed(const QString& text, const QString& refusal) const {
    QStringList ids;
    for (const QStringView piece : QStringView(text).split(u',')) {
        const QString tagName = piece.trimmed().toString();
        if (tagName.isEmpty()) {
            continue;
        }
        const std::optional<QString> id = m_library.tagIdByName(tagName);
        if (!id) {
            fail(errors::cantSet,
                 refusal + QStringLiteral(" There is no tag ") + applescript::quotedText(tagName) + u'.');
        }
        ids.append(*id);
    }
    return ids;
}

template <typename F>
void ThingsApplication::change(F&& f) {
    try {
        f();
    } catch (const LibraryError& refused) {
        fail(errors::handlerFailed, refused.message);
    }
}

const LibraryTag& ThingsApplication::tagOf(const Value& object) const {
    const LibraryTag* t = object.kind == Value::Kind::Reference && object.objectClass == ObjectClass::Tag
                              ? m_library.tag(object.text)
                              : nullptr;
    if (t == nullptr) {
        fail(errors::cantGet, QStringLiteral("Can’t get ") + object.sourceForm(name()) + u'.');
    }
    return *t;
}

LibraryTodo ThingsApplication::todoOf(const Value& object) const {
    std::optional<LibraryTodo> t =
        object.kind == Value::Kind::Reference && object.objectClass == ObjectClass::Todo
            ? m_library.todoRecord(object.text)
            : std::nullopt;
    if (!t) {
        fail(errors::cantGet, QStringLiteral("Can’t get ") + object.sourceForm(name()) + u'.');
    }
    return *std::move(t);
}

Value ThingsApplication::elements(ObjectClass objectClass, const Value* container) {
    if (container == nullptr) {
        return references(objectClass,
                          objectClass == ObjectClass::Tag ? m_library.tagIds() : m_library.todoIds());
    }
    const LibraryTag& t = tagOf(*container);
    if (objectClass == ObjectClass::Tag) {
        const QStringList children = m_library.childTagIds(t.id);
        return references(ObjectClass::Tag, std::vector<QString>(children.begin(), children.end()));
    }
    return references(ObjectClass::Todo, m_library.todoIdsOfTag(t.id));
}

std::optional<Value> ThingsApplication::element(ObjectClass objectClass, const Value* container, qint64 index) {
    std::optional<QString> id;
    if (container == nullptr && objectClass == ObjectClass::Tag) {
        id = m_library.tagIdAt(index - 1);
    } else if (container != nullptr && objectClass == ObjectClass::Todo) {
        id = m_library.todoIdOfTagAt(tagOf(*container).id, index - 1);
    } else {
        return Application::element(objectClass, container, index);
    }
    return id ? std::optional(Value::reference(objectClass, *id)) : std::nullopt;
}

Value ThingsApplication::byName(ObjectClass objectClass, const QString& wanted) {
    if (objectClass == ObjectClass::Tag) {
        if (std::optional<QString> id = m_library.tagIdByName(wanted)) {
            return Value::reference(ObjectClass::Tag, *id);
        }
        fail(errors::cantGet, QStringLiteral("Can’t get tag ") + applescript::quotedText(wanted) + u'.');
    }
    if (std::optional<QString> id = m_library.todoIdByName(wanted)) {
        return Value::reference(ObjectClass::Todo, *id);
    }
    fail(errors::cantGet, QStringLiteral("Can’t get to do ") + applescript::quotedText(wanted) + u'.');
}

Value ThingsApplication::byId(ObjectClass objectClass, const QString& id) {
    const Value reference = Value::reference(objectClass, id);
    if (objectClass == ObjectClass::Tag) {
        tagOf(reference);
    } else {
        todoOf(reference);
    }
    return reference;
}

Value ThingsApplication::property(const Value& object, Property property) {
    if (object.kind == Value::Kind::Reference && object.objectClass == ObjectClass::Todo) {
        const LibraryTodo t = todoOf(object);
        switch (property) {
        case Property::Id:
            return Value::fromText(t.id);
        case Property::Name:
            return Value::fromText(t.name);
        case Property::Status:
            return Value::fromStatus(statusOf(t.state));
        case Property::TagNames:
            return Value::fromText(tagNames(t));
        default:
            break;
        }
    } else {
        const LibraryTag& t = tagOf(object);
        switch (property) {
        case Property::Id:
            return Value::fromText(t.id);
        case Property::Name:
            return Value::fromText(t.name);
        case Property::ParentTag:
            return t.parentId.isEmpty() ? Value::missing() : Value::reference(ObjectClass::Tag, t.parentId);
        case Property::KeyboardShortcut:
            return t.shortcut.isEmpty() ? Value::missing() : Value::fromText(t.shortcut);
        default:
            break;
        }
    }
    fail(errors::cantGet, QStringLiteral("Can’t get ") + propertyName(property) + QStringLiteral(" of ") +
                              object.sourceForm(name()) + u'.');
}

// A parent tag is a tag. Things 3 refuses `missing value` for it (a tag is made top-level with
// `delete parent tag of`), and so does the stand-in, in `set` and in `make` alike.
QString ThingsApplication::tagIdOf(const Value& parent, const QString& context) const {
    if (parent.kind != Value::Kind::Reference || parent.objectClass != ObjectClass::Tag) {
        fail(errors::cantSet, context + parent.sourceForm(name()) + u'.');
    }
    return tagOf(parent).id;
}

void ThingsApplication::setProperty(const Value& object, Property property, const Value& value) {
    const QString cantSet = QStringLiteral("Can’t set ") + propertyName(property) + QStringLiteral(" of ") +
                            object.sourceForm(name()) + QStringLiteral(" to ");
    if (object.objectClass == ObjectClass::Todo) {
        const QString todoId = todoOf(object).id;
        if (property != Property::TagNames || !value.isText()) {
            fail(errors::cantSet, cantSet + value.sourceForm(name()) + u'.');
        }
        const QStringList tagIds = tagIdsNamed(value.text, cantSet + value.sourceForm(name()) + u'.');
        change([&] { m_library.setTodoTags(todoId, tagIds); });
        return;
    }
    const QString id = tagOf(object).id;
    switch (property) {
    case Property::Name:
        if (!value.isText()) {
            fail(errors::cantSet, cantSet + value.sourceForm(name()) + u'.');
        }
        change([&] { m_library.renameTag(id, value.text); });
        return;
    case Property::ParentTag: {
        if (value.kind == Value::Kind::Missing) {
            fail(errors::cantSet, QStringLiteral("Can’t set parent tag of tag ") +
                                      applescript::quotedText(tagOf(object).name) +
                                      QStringLiteral(" to missing value."));
        }
        const QString parentId = tagIdOf(value, cantSet);
        change([&] { m_library.setParent(id, parentId); });
        return;
    }
    case Property::KeyboardShortcut:
        if (!isShortcut(value)) {
            fail(errors::cantSet, cantSet + value.sourceForm(name()) + u'.');
        }
        change([&] { m_library.setShortcut(id, value.text); });
        return;
    default:
        fail(errors::cantSet, cantSet + value.sourceForm(name()) + u'.');
    }
}

Value ThingsApplication::make(ObjectClass objectClass,
                              const std::vector<std::pair<Property, Value>>& properties) {
    if (objectClass != ObjectClass::Tag) {
        fail(errors::handlerFailed, QStringLiteral("Can’t make new to do here."));
    }
    std::optional<QString> tagName;
    QString parentId;
    std::optional<QString> shortcut;
    for (const auto& [property, value] : properties) {
        const QString context = QStringLiteral("Can’t make a tag with ") + propertyName(property) + u' ';
        switch (property) {
        case Property::Name:
            if (!value.isText()) {
                fail(errors::cantSet, context + value.sourceForm(name()) + u'.');
            }
            tagName = value.text;
            break;
        case Property::ParentTag:
            parentId = tagIdOf(value, context);
            break;
        case Property::KeyboardShortcut:
            if (!isShortcut(value)) {
                fail(errors::cantSet, context + value.sourceForm(name()) + u'.');
            }
            shortcut = value.text;
            break;
        default:
            fail(errors::cantSet, context + value.sourceForm(name()) + u'.');
        }
    }
    if (!tagName) {
        fail(errors::handlerFailed, QStringLiteral("A new tag needs a name."));
    }
    // Like Things 3, making a tag whose name is taken (ignoring case) gives back the tag that has it,
    // unchanged, rather than a second tag of the same name.
    if (std::optional<QString> existing = m_library.tagIdByName(*tagName)) {
        return Value::reference(ObjectClass::Tag, *existing);
    }
    QString id;
    change([&] {
        id = m_library.makeTag(*tagName, parentId);
        if (shortcut) {
            m_library.setShortcut(id, *shortcut);
        }
    });
    return Value::reference(ObjectClass::Tag, id);
}

void ThingsApplication::remove(const Value& object) {
    if (object.objectClass == ObjectClass::Todo) {
        todoOf(object);
        fail(errors::handlerFailed, QStringLiteral("Can’t delete ") + object.sourceForm(name()) + u'.');
    }
    const QString id = tagOf(object).id;
    change([&] { m_library.deleteTag(id); });
}

void ThingsApplication::removeProperty(const Value& object, Property property) {
    if (object.objectClass == ObjectClass::Tag && property == Property::ParentTag) {
        const QString id = tagOf(object).id;
        change([&] { m_library.setParent(id, QString()); });
        return;
    }
    if (object.objectClass == ObjectClass::Tag && property == Property::KeyboardShortcut) {
        const QString id = tagOf(object).id;
        change([&] { m_library.setShortcut(id, QString()); });
        return;
    }
    fail(errors::handlerFailed, QStringLiteral("Can’t delete ") + propertyName(property) +
                                    QStringLiteral(" of ") + object.sourceForm(name()) + u'.');
}

std::optional<qint64> ThingsApplication::countTodos(const Value& tag, applescript::TodoStatus status) {
    return m_library.todoCount(tagOf(tag).id, stateOf(status));
}

} // namespace standin

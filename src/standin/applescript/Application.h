#pragma once

#include "Ast.h"
#include "Value.h"

#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace standin::applescript {

// The scriptable application a `tell application` block talks to. The interpreter knows the
// language; everything about the application's objects goes through this interface. Failures are
// thrown as ScriptFailure with `application` set to name(), so that they read "NAME got an error: ".
class Application {
public:
    virtual ~Application() = default;

    virtual QString name() const = 0;

    // Every object of a class, or those of `container` (the to-dos of a tag, the child tags of a tag).
    virtual Value elements(ObjectClass objectClass, const Value* container) = 0;
    // Item `index` (from 1) of what elements() gives, or none past its end. Looked up without making
    // the whole list where the application can.
    virtual std::optional<Value> element(ObjectClass objectClass, const Value* container, qint64 index) {
        const Value all = elements(objectClass, container);
        if (index < 1 || index > qint64(all.items->size())) {
            return std::nullopt;
        }
        return (*all.items)[std::size_t(index - 1)];
    }
    virtual Value byName(ObjectClass objectClass, const QString& name) = 0;
    virtual Value byId(ObjectClass objectClass, const QString& id) = 0;
    virtual Value property(const Value& object, Property property) = 0;
    virtual void setProperty(const Value& object, Property property, const Value& value) = 0;
    virtual Value make(ObjectClass objectClass,
                       const std::vector<std::pair<Property, Value>>& properties) = 0;
    virtual void remove(const Value& object) = 0;
    // `delete PROPERTY of OBJECT`: clears the property (a tag's parent tag makes it a root tag).
    virtual void removeProperty(const Value& object, Property property) = 0;

    // The units of text the application's data holds. A text may take that many units of it on
    // top of the limit on texts, so that an answer built from all of the data fits however large
    // the data is; what a program makes by itself stays within the limit.
    virtual qsizetype textSize() const { return 0; }

    // The number of to-dos of `tag` with `status`, when the application keeps it ready; none when
    // the interpreter has to count them one by one.
    virtual std::optional<qint64> countTodos(const Value& tag, TodoStatus status) {
        Q_UNUSED(tag);
        Q_UNUSED(status);
        return std::nullopt;
    }
};

} // namespace standin::applescript

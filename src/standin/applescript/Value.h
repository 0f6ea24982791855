#pragma once

#include "Ast.h"

#include <QString>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace standin::applescript {

// A value of the language. Lists are shared and never changed after they are made, so a value
// copies in constant time.
struct Value {
    enum class Kind { Nothing, Missing, Boolean, Integer, Text, Status, Reference, List };

    Kind kind = Kind::Nothing;
    bool boolean = false;
    qint64 integer = 0;
    QString text; // Text: the text; Reference: the object's identifier
    TodoStatus status = TodoStatus::Open;
    ObjectClass objectClass = ObjectClass::Tag;
    std::shared_ptr<const std::vector<Value>> items;

    static Value missing() { return ofKind(Kind::Missing); }
    static Value ofKind(Kind k) {
        Value v;
        v.kind = k;
        return v;
    }
    static Value fromBool(bool b);
    static Value fromInteger(qint64 i);
    static Value fromText(QString t);
    static Value fromStatus(TodoStatus s);
    static Value reference(ObjectClass c, QString id);
    static Value list(std::vector<Value> values);

    bool isText() const { return kind == Kind::Text; }

    // The text this value becomes on the right of `&` after text, or none when it has no text form.
    // A text longer than `maxLength` is never built: the engine's "Out of memory." is raised first.
    std::optional<QString> coercedToText(qsizetype maxLength = unlimited) const;
    // What the engine's result descriptor gives as its string value: text, numbers and truth values
    // only; a list, a reference or missing value has none.
    std::optional<QString> stringValue() const;
    // How the value is written in source: "Work" with quotes, tag id "…" and so on. Raises "Out of
    // memory." rather than build more than `maxLength` characters.
    QString sourceForm(const QString& application, qsizetype maxLength) const;
    // The source form as error messages quote it: cut short with "…" past a few thousand characters,
    // so that a message about a huge value stays small.
    QString sourceForm(const QString& application) const;

    static constexpr qsizetype unlimited = std::numeric_limits<qsizetype>::max();
    static constexpr qsizetype messageLength = 4096;
};

// AppleScript's text comparison with its default considerations: case is ignored, canonically
// equivalent forms are equal, everything else (diacriticals, punctuation, white space) counts.
bool textsEqual(const QString& a, const QString& b);
bool textContains(const QString& haystack, const QString& needle);
bool valuesEqual(const Value& a, const Value& b);

QString statusName(TodoStatus status);
QString quotedText(const QString& text);

} // namespace standin::applescript

#pragma once

#include "Ast.h"

#include <QString>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace standin::applescript {

// The language's integers are 30-bit: a number past this, either way, is a real.
inline constexpr qint64 largestInteger = 536'870'911;

struct ElementItem;

// A value of the language. Lists and records are shared and never changed after they are made, so a
// value copies in constant time.
struct Value {
    enum class Kind : std::uint8_t {
        Nothing,
        Missing,
        Boolean,
        Integer,
        Real,
        Text,
        Status,
        Reference,
        List,
        Record
    };

    Kind kind = Kind::Nothing;
    bool boolean = false;
    // How many lists and records are nested in this one, itself included; 0 for anything else.
    std::uint16_t nesting = 0;
    // A list or record: how many values, and how many units of text in them, a walk through it
    // meets, a shared list as often as it appears (so {L, L} weighs twice L), up to a bound far past
    // any budget.
    qint64 weight = 0, textWeight = 0;
    TodoStatus status = TodoStatus::Open;
    ObjectClass objectClass = ObjectClass::Tag;
    qint64 integer = 0;
    double real = 0;
    QString text; // Text: the text; Reference: the object's identifier
    // Text: how many of its units were copied from the application's data (identifiers, names),
    // which may take a text past the limit on texts made by the program itself. List or record: as
    // many of the units of the texts in it, counted as textWeight counts them.
    qsizetype fromApplication = 0;
    std::shared_ptr<const std::vector<Value>> items;    // List: the items; Record: the values
    std::shared_ptr<const std::vector<QString>> labels; // Record: the label of each value, in order
    // Reference held by a loop over the application's objects: the item of the collection it names,
    // which every use of the variable finds again, as AppleScript's `item k of every …` does.
    std::shared_ptr<const ElementItem> element;

    static Value missing() { return ofKind(Kind::Missing); }
    static Value ofKind(Kind k) {
        Value v;
        v.kind = k;
        return v;
    }
    static Value fromBool(bool b);
    static Value fromInteger(qint64 i);
    static Value fromReal(double r);
    // An integer where the language's integers hold it, a real otherwise.
    static Value fromWholeNumber(qint64 i);
    static Value fromText(QString t);
    static Value fromStatus(TodoStatus s);
    static Value reference(ObjectClass c, QString id);
    static Value list(std::vector<Value> values);
    // Adds an item at the end of the list, which no other value may share.
    void appendItem(Value item);
    static Value record(std::vector<QString> labels, std::vector<Value> values);

    bool isText() const { return kind == Kind::Text; }
    bool isNumber() const { return kind == Kind::Integer || kind == Kind::Real; }
    double number() const { return kind == Kind::Integer ? double(integer) : real; }
    // The record's value with this label, or null.
    const Value* field(const QString& label) const;

    // The text this value becomes on the right of `&` after text, or none when it has no text form.
    // A text longer than `maxLength` is never built: the engine's "Out of memory." is raised first.
    // The units it copies from the application's data, up to `applicationAllowance`, come on top.
    // A list joins its items (and the items of lists in it) with `delimiter` between them: AppleScript's
    // first text item delimiter.
    std::optional<QString> coercedToText(qsizetype maxLength = unlimited, qsizetype applicationAllowance = 0,
                                         QStringView delimiter = {}) const;
    // The units of a text, or of the texts in a list or record, copied from the application's data,
    // up to `cap`: worked out as the value was made, so that asking costs nothing however many
    // items a list of lists holds.
    qsizetype applicationUnits(qsizetype cap) const;
    // What the engine's result descriptor gives as its string value: text, numbers and truth values
    // only; a list, a reference or missing value has none.
    std::optional<QString> stringValue() const;
    // How the value is written in source: "Work" with quotes, tag id "…" and so on. Raises "Out of
    // memory." rather than build more than `maxLength` characters, plus those it copies from the
    // application's data up to `applicationAllowance`; at once when its weight shows it cannot fit.
    QString sourceForm(const QString& application, qsizetype maxLength,
                       qsizetype applicationAllowance = 0) const;
    // The source form as error messages quote it: cut short with "…" past a few thousand characters,
    // so that a message about a huge value stays small.
    QString sourceForm(const QString& application) const;

    static constexpr qsizetype unlimited = std::numeric_limits<qsizetype>::max();
    static constexpr qsizetype messageLength = 4096;
};

// `item INDEX of every CLASS [of CONTAINER] [whose CONDITION]`: how a loop over the application's
// objects names each of them. The container is the object it was when the loop began; the condition
// is tested again each time.
struct ElementItem {
    ObjectClass objectClass = ObjectClass::Tag;
    std::optional<Value> container; // none: the application's own
    NodeIndex condition = noNode;
    qint64 index = 0; // from 1
};

// AppleScript's text comparison with its default considerations: case is ignored, canonically
// equivalent forms are equal, everything else (diacriticals, punctuation, white space) counts.
bool textsEqual(const QString& a, const QString& b);
// The key two texts equal by those rules share: composed, then case-folded. A lone surrogate stays
// as it is, wherever it stands.
QString comparisonKey(const QString& text);
bool textContains(const QString& haystack, const QString& needle);
bool textStartsWith(const QString& text, const QString& start);
bool textEndsWith(const QString& text, const QString& end);
// The order of two texts, by the same rules: negative, zero (exactly when textsEqual) or positive.
// Letters come in alphabetical order whatever their case, an accented letter right after the
// unaccented one, everything else by its code.
int compareTexts(const QString& a, const QString& b);
bool valuesEqual(const Value& a, const Value& b);

// A real as the engine writes it: twelve significant digits at most, always with a fraction, and
// with an exponent (1.0E+20, 1.0E-5) when its size is 10,000 or more, or 0.0001 or less.
QString realText(double value);
// The number a text spells, as a literal would be read: an integer, or a real with a fraction or
// an exponent; none for any other text.
std::optional<Value> numberFromText(const QString& text);

QString statusName(TodoStatus status);
QString quotedText(const QString& text);

} // namespace standin::applescript

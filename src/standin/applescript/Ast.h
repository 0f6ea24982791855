#pragma once

#include <QString>
#include <memory>
#include <vector>

namespace standin::applescript {

// The object classes and properties of the application's dictionary that programs may name.
enum class ObjectClass { Tag, Todo };
enum class Property { Id, Name, ParentTag, KeyboardShortcut, Status, TagNames };

// The property as a program writes it ("parent tag"), for error messages.
QString propertyName(Property property);
// The class as a program writes it ("to do"), for error messages.
QString className(ObjectClass objectClass);
enum class TodoStatus { Open, Completed, Canceled };

enum class ExprKind {
    Text,     // `text`
    Integer,  // `integer`
    Boolean,  // `integer` is 0 or 1
    Missing,  // missing value
    Status,   // open / completed / canceled, in `status`
    Variable, // `slot`
    It,       // the item a `whose` clause is testing
    Concat,   // kids: the operands of a chain of `&`, left to right
    Equal,    // kids[0] is kids[1]
    NotEqual, // kids[0] is not kids[1]
    Contains, // kids[0] contains kids[1]
    And,      // kids: the operands, left to right
    Or,       // kids: the operands, left to right
    Not,      // kids[0]
    Property, // `property` of kids[0]; no kid: of the tell target or the tested item
    Elements, // every `objectClass` (of kids[0] when present)
    ByName,   // `objectClass` named kids[0]
    ById,     // `objectClass` id kids[0]
    Whose,    // kids[0] whose kids[1]
    Count,    // count of kids[0]
    Make,     // make new `objectClass` with properties {labels[i]: kids[i]}
};

struct Expr {
    ExprKind kind = ExprKind::Missing;
    qsizetype start = 0;
    qsizetype end = 0;
    QString text;
    qint64 integer = 0;
    int slot = -1;
    ObjectClass objectClass = ObjectClass::Tag;
    applescript::Property property = applescript::Property::Id;
    TodoStatus status = TodoStatus::Open;
    std::vector<applescript::Property> labels;
    std::vector<std::unique_ptr<Expr>> kids;
};

using ExprPtr = std::unique_ptr<Expr>;

struct Stmt;
using Block = std::vector<std::unique_ptr<Stmt>>;

enum class StmtKind {
    Expression, // expr
    Set,        // set expr (a Variable or a Property) to value
    Tell,       // tell application expr, body
    Repeat,     // repeat with slot in expr, body
    Exit,       // exit repeat
    If,         // conditions[i] then branches[i]; otherwise elseBody
    Try,        // try body; on error [slot] [number errorNumberSlot] elseBody
    Return,     // return [expr]
    Delete,     // delete expr
    Error,      // error [expr] [number value]
};

struct Stmt {
    StmtKind kind = StmtKind::Expression;
    qsizetype start = 0;
    qsizetype end = 0;
    ExprPtr expr;
    ExprPtr value;
    int slot = -1;
    int errorNumberSlot = -1;
    // `set x to x & ...`: the text in x grows in place instead of being copied on every turn.
    bool appendsInPlace = false;
    bool hasErrorHandler = false;
    std::vector<ExprPtr> conditions;
    std::vector<Block> branches;
    Block body;
    Block elseBody;
};

// A parsed program: its statements and the names of its variables, by slot.
struct Script {
    Block body;
    std::vector<QString> variableNames;
};

} // namespace standin::applescript

#pragma once

#include <QString>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace standin::applescript {

// The object classes and properties of the application's dictionary that programs may name.
enum class ObjectClass : std::uint8_t { Tag, Todo };
enum class Property : std::uint8_t { Id, Name, ParentTag, KeyboardShortcut, Status, TagNames };
enum class TodoStatus : std::uint8_t { Open, Completed, Canceled };

// The property as a program writes it ("parent tag"), for error messages and as a record's label.
QString propertyName(Property property);
// The class as a program writes it ("to do"), for error messages.
QString className(ObjectClass objectClass);

// A parsed program is a tree of nodes kept in one pool and linked by index: a node names its first
// kid, and each kid the next one. A node takes 24 bytes, a fraction of what separately allocated
// nodes with their own lists of kids take, so that the tree of a long program stays small.
enum class NodeKind : std::uint8_t {
    // ---- expressions ----
    Text,       // `op` is a TextForm telling where the text is
    Integer,    // `value`
    Real,       // the Script's reals[`value`]
    Boolean,    // `value` is 0 or 1
    Missing,    // missing value
    Status,     // `op` is a TodoStatus: open, completed or canceled
    Variable,   // `value` is the slot
    It,         // the item a `whose` clause is testing
    List,       // kids: the items
    Record,     // kids: Fields, each with the index of its label in the Script's labels as `value`
    Concat,     // kids: the operands of a chain of `&`, left to right
    Arithmetic, // kids: the operands of a chain of one precedence, each after the first with its
                // ArithOp as `chainOp`
    Negate,     // kid: the operand; `op` is 1 for a unary plus
    Coerce,     // kid: the operand; `op` is the TypeClass it is coerced to
    Compare,    // `op` is a CompareOp; kids: left, right
    And,        // kids: the operands, left to right
    Or,         // kids: the operands, left to right
    Not,        // kid: the operand
    Property,   // `op` is a Property; kid: the object, none for the tell target or the tested item
    Label,      // a record's value: `value` is the label's index in the Script's labels; kid: the record
    Item,       // kids: the index, the list
    Items,      // kids: the first index, the last index, the list
    Elements,   // every object of class `op` (of the kid, when there is one)
    ByName,     // the object of class `op` named by the kid
    ById,       // the object of class `op` with the kid as its id
    Whose,      // kids: the elements, the condition
    Count,      // kid: what is counted
    Make,       // make new `op` with properties: kids are Fields
    Field,      // `op` is the Property it sets; kid: the value
    Get,        // kid: what is asked for, as a value of its own (a reference before it stops here)
    Delimiters, // AppleScript's text item delimiters
    TextItems,  // kid: the text split at the delimiters
    EndOf,      // the end of the list in the Variable kid, only as what a Set sets
    // ---- statements ----
    Block,         // kids: the statements
    Expression,    // kid: the expression
    Set,           // kids: the target (a Variable or a Property), the value; AppendsInPlace in flags
    Tell,          // kids: the application's name, the Block
    RepeatForever, // kid: the Block
    RepeatTimes,   // kids: the number of times, the Block
    RepeatWhile,   // kids: the condition, the Block; with Until in flags, runs until it is true
    RepeatIn,      // kids: the loop Variable, the list, the Block
    RepeatFrom,    // kids: the loop Variable, the first value, the last, the step when HasStep, the Block
    Exit,          // exit repeat
    If,            // kids: condition, Block, condition, Block, …, then the else Block when HasElse
    Try,           // kids: the Block, then with HasHandler the handler Block and the Variables it names
    Return,        // kid: the value, when there is one
    Delete,        // kid: what is deleted
    Error,         // kids: the message when HasMessage, the number when HasNumber
};

enum class CompareOp : std::uint8_t {
    Equal,
    NotEqual,
    Less,
    Greater,
    LessEqual,
    GreaterEqual,
    Contains,
    NotContains,
    In, // the left operand is in the right one
    NotIn,
    StartsWith,
    EndsWith,
};
enum class ArithOp : std::uint8_t { Plus, Minus, Times, Divide, Div, Mod, Power };
// The classes `as` coerces to; String is text by its older name.
enum class TypeClass : std::uint8_t { Integer, Real, Number, Text, String, List };
// The class as a program writes it after `as`.
QString typeClassName(TypeClass typeClass);

// Where a Text node's text is: most are kept in the Script's texts; a long literal without escapes
// stays in the program's text, between its quotes; `quote` needs neither.
enum class TextForm : std::uint8_t { Kept, InSource, Quote };

namespace flags {
inline constexpr std::uint8_t appendsInPlace = 1; // Set: `set x to x & …`, appended to x's text
inline constexpr std::uint8_t hasElse = 1;        // If
inline constexpr std::uint8_t hasHandler = 1;     // Try: `on error`
inline constexpr std::uint8_t hasMessageVariable = 2;
inline constexpr std::uint8_t hasNumberVariable = 4;
inline constexpr std::uint8_t hasMessage = 1; // Error
inline constexpr std::uint8_t hasNumber = 2;
inline constexpr std::uint8_t until = 1;   // RepeatWhile
inline constexpr std::uint8_t hasStep = 1; // RepeatFrom
} // namespace flags

using NodeIndex = std::int32_t;
inline constexpr NodeIndex noNode = -1;

struct Node {
    NodeKind kind = NodeKind::Missing;
    std::uint8_t op = 0;
    std::uint8_t chainOp = 0;
    std::uint8_t flags = 0;
    std::int32_t value = 0;
    std::int32_t start = 0; // the source range, in UTF-16 units, that error messages point at
    std::int32_t end = 0;
    NodeIndex firstKid = noNode;
    NodeIndex next = noNode; // the following kid of the same parent

    ObjectClass objectClass() const { return ObjectClass(op); }
    applescript::Property property() const { return applescript::Property(op); }
    TodoStatus status() const { return TodoStatus(op); }
    CompareOp compareOp() const { return CompareOp(op); }
    ArithOp arithOp() const { return ArithOp(chainOp); }
    TypeClass typeClass() const { return TypeClass(op); }
    TextForm textForm() const { return TextForm(op); }
    bool has(std::uint8_t flag) const { return (flags & flag) != 0; }
};
static_assert(sizeof(Node) == 24);

// The nodes, in chunks that never move, so that a reference to a node stays valid as more are added
// and the pool never holds two copies of itself while growing.
class NodePool final {
public:
    static constexpr int chunkBits = 12;
    static constexpr qsizetype chunkBytes = qsizetype(sizeof(Node)) << chunkBits;

    NodeIndex size() const { return m_size; }
    // Adds a node; `newChunk` tells whether that took another chunk.
    NodeIndex add(const Node& node, bool& newChunk);
    // Forgets the last node added, which nothing refers to.
    void removeLast() { --m_size; }

    Node& operator[](NodeIndex i) { return m_chunks[std::size_t(i >> chunkBits)][i & mask]; }
    const Node& operator[](NodeIndex i) const { return m_chunks[std::size_t(i >> chunkBits)][i & mask]; }

private:
    static constexpr NodeIndex mask = (1 << chunkBits) - 1;
    std::vector<std::unique_ptr<Node[]>> m_chunks;
    NodeIndex m_size = 0;
};

// A parsed program: its nodes, what they refer to, and the names of its variables by slot.
struct Script {
    QString source; // shared with the caller's text, not a copy of it
    NodePool nodes;
    NodeIndex body = noNode; // the top-level Block
    std::deque<QString> texts;
    std::vector<double> reals;
    std::vector<QString> labels; // of records, as first written; property names as the dictionary writes them
    std::vector<QString> variableNames; // as first written

    const Node& node(NodeIndex i) const { return nodes[i]; }
    const Node* kid(const Node& n) const { return n.firstKid == noNode ? nullptr : &nodes[n.firstKid]; }
    const Node* next(const Node& n) const { return n.next == noNode ? nullptr : &nodes[n.next]; }
    // The kid at `index`, which the node's kind guarantees to be there.
    const Node& kid(const Node& n, int index) const;
    int kidCount(const Node& n) const;
    QString text(const Node& textNode) const;
    qsizetype textLength(const Node& textNode) const;
};

} // namespace standin::applescript

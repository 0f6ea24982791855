#include "Value.h"

#include "ScriptFailure.h"

#include <QHash>
#include <algorithm>
#include <cmath>

namespace standin::applescript {

namespace {

[[noreturn]] void raiseOutOfMemory() {
    ScriptFailure failure = ScriptFailure::execution(errors::outOfMemory, QStringLiteral("Out of memory."));
    failure.fatal = true;
    throw failure;
}

// Builds a text that may not grow past a bound. Past it, a strict builder raises the engine's
// "Out of memory." before allocating; an eliding one ends the text with "…" and takes no more.
// The bound grows by the units credited as copied from the application's data, up to an allowance.
class BoundedText final {
public:
    enum class Overflow { Raise, Elide };

    BoundedText(qsizetype maxLength, Overflow overflow, qsizetype applicationAllowance = 0)
        : m_maxLength(maxLength)
        , m_overflow(overflow)
        , m_allowance(applicationAllowance) {}

    bool full() const { return m_full; }

    // Counts `units` about to be appended as the application's.
    void credit(qsizetype units) {
        m_credited = std::min(m_allowance, m_credited + std::min(units, m_allowance));
    }

    void append(QStringView piece) {
        if (m_full) {
            return;
        }
        qsizetype bound = 0;
        if (__builtin_add_overflow(m_maxLength, m_credited, &bound)) {
            bound = Value::unlimited;
        }
        if (piece.size() <= bound - m_text.size()) {
            m_text += piece;
            return;
        }
        if (m_overflow == Overflow::Raise) {
            raiseOutOfMemory();
        }
        m_text += piece.left(m_maxLength - m_text.size());
        m_text += u'…';
        m_full = true;
    }

    void appendQuoted(QStringView text) {
        append(u"\"");
        qsizetype from = 0;
        for (qsizetype i = 0; i < text.size() && !m_full; ++i) {
            if (text[i] == u'"' || text[i] == u'\\') {
                append(text.mid(from, i - from));
                append(u"\\");
                from = i;
            }
        }
        append(text.mid(from));
        append(u"\"");
    }

    QString take() { return std::move(m_text); }

private:
    QString m_text;
    qsizetype m_maxLength;
    Overflow m_overflow;
    qsizetype m_allowance;
    qsizetype m_credited = 0;
    bool m_full = false;
};

bool hasTextForm(const Value& v) {
    if (v.kind == Value::Kind::List) {
        return std::all_of(v.items->begin(), v.items->end(), hasTextForm);
    }
    return v.kind != Value::Kind::Nothing && v.kind != Value::Kind::Reference &&
           v.kind != Value::Kind::Record;
}

void writeTextForm(const Value& v, BoundedText& out, QStringView delimiter) {
    if (v.kind == Value::Kind::Text) {
        out.credit(v.fromApplication);
        out.append(v.text);
    } else if (v.kind == Value::Kind::List) {
        for (std::size_t i = 0; i < v.items->size() && !out.full(); ++i) {
            if (i > 0) {
                out.append(delimiter);
            }
            writeTextForm((*v.items)[i], out, delimiter);
        }
    } else {
        out.append(v.coercedToText().value_or(QString()));
    }
}

void writeSourceForm(const Value& v, const QString& application, BoundedText& out) {
    switch (v.kind) {
    case Value::Kind::Nothing:
        return;
    case Value::Kind::Text:
        out.credit(v.fromApplication);
        out.appendQuoted(v.text);
        return;
    case Value::Kind::Reference:
        out.append(v.objectClass == ObjectClass::Tag ? u"tag id " : u"to do id ");
        out.appendQuoted(v.text);
        out.append(u" of application ");
        out.appendQuoted(application);
        return;
    case Value::Kind::List:
    case Value::Kind::Record:
        out.append(u"{");
        for (std::size_t i = 0; i < v.items->size() && !out.full(); ++i) {
            if (i > 0) {
                out.append(u", ");
            }
            if (v.kind == Value::Kind::Record) {
                out.append((*v.labels)[i]);
                out.append(u":");
            }
            writeSourceForm((*v.items)[i], application, out);
        }
        out.append(u"}");
        return;
    default:
        out.append(v.coercedToText().value_or(QString()));
    }
}

bool isAscii(const QString& s) {
    for (QChar c : s) {
        if (c.unicode() >= 128) {
            return false;
        }
    }
    return true;
}

// A comparison key with its accents taken off, which decides the order before the accents do.
QString withoutMarks(const QString& key) {
    QString bare;
    const QString decomposed = key.normalized(QString::NormalizationForm_D);
    bare.reserve(decomposed.size());
    for (QChar c : decomposed) {
        const QChar::Category category = c.category();
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing) {
            bare.append(c);
        }
    }
    return bare;
}

bool isAsciiDigit(QChar c) {
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

} // namespace

Value Value::fromBool(bool b) {
    Value v = ofKind(Kind::Boolean);
    v.boolean = b;
    return v;
}

Value Value::fromInteger(qint64 i) {
    Value v = ofKind(Kind::Integer);
    v.integer = i;
    return v;
}

Value Value::fromReal(double r) {
    Value v = ofKind(Kind::Real);
    v.real = r;
    return v;
}

Value Value::fromWholeNumber(qint64 i) {
    return i >= -largestInteger && i <= largestInteger ? fromInteger(i) : fromReal(double(i));
}

Value Value::fromText(QString t) {
    Value v = ofKind(Kind::Text);
    v.text = std::move(t);
    return v;
}

Value Value::fromStatus(TodoStatus s) {
    Value v = ofKind(Kind::Status);
    v.status = s;
    return v;
}

Value Value::reference(ObjectClass c, QString id) {
    Value v = ofKind(Kind::Reference);
    v.objectClass = c;
    v.text = std::move(id);
    return v;
}

namespace {

std::uint16_t nestingAround(const std::vector<Value>& values) {
    std::uint16_t deepest = 0;
    for (const Value& item : values) {
        deepest = std::max(deepest, item.nesting);
    }
    return deepest == std::numeric_limits<std::uint16_t>::max() ? deepest : std::uint16_t(deepest + 1);
}

constexpr qint64 weightBound = qint64(1) << 60;

// Adds what a walk through `item` meets to the weights of the list or record `v` that holds it.
void addWeight(Value& v, const Value& item) {
    v.weight = std::min(weightBound, v.weight + item.weight);
    v.textWeight =
        std::min(weightBound, v.textWeight + (item.isText() ? qint64(item.text.size()) : item.textWeight));
    v.fromApplication = std::min(weightBound, v.fromApplication + item.applicationUnits(weightBound));
}

void weigh(Value& v) {
    v.weight = qint64(v.items->size());
    for (const Value& item : *v.items) {
        addWeight(v, item);
    }
}

} // namespace

Value Value::list(std::vector<Value> values) {
    Value v = ofKind(Kind::List);
    v.nesting = nestingAround(values);
    // Made without const, so that appendItem may grow a list that no other value shares.
    v.items = std::make_shared<std::vector<Value>>(std::move(values));
    weigh(v);
    return v;
}

void Value::appendItem(Value item) {
    Q_ASSERT(kind == Kind::List && items.use_count() == 1);
    weight = std::min(weightBound, weight + 1);
    addWeight(*this, item);
    if (item.nesting != std::numeric_limits<std::uint16_t>::max()) {
        nesting = std::max<std::uint16_t>(nesting, std::uint16_t(item.nesting + 1));
    }
    const_cast<std::vector<Value>&>(*items).push_back(std::move(item));
}

Value Value::record(std::vector<QString> labels, std::vector<Value> values) {
    Value v = ofKind(Kind::Record);
    v.nesting = nestingAround(values);
    v.labels = std::make_shared<const std::vector<QString>>(std::move(labels));
    v.items = std::make_shared<const std::vector<Value>>(std::move(values));
    weigh(v);
    return v;
}

const Value* Value::field(const QString& label) const {
    for (std::size_t i = 0; i < labels->size(); ++i) {
        if ((*labels)[i] == label) {
            return &(*items)[i];
        }
    }
    return nullptr;
}

std::optional<QString> Value::coercedToText(qsizetype maxLength, qsizetype applicationAllowance,
                                            QStringView delimiter) const {
    switch (kind) {
    case Kind::Text:
        return text;
    case Kind::Integer:
        return QString::number(integer);
    case Kind::Real:
        return realText(real);
    case Kind::Boolean:
        return boolean ? QStringLiteral("true") : QStringLiteral("false");
    case Kind::Missing:
        return QStringLiteral("missing value");
    case Kind::Status:
        return statusName(status);
    case Kind::List: {
        // A list becomes the text of its items with the delimiter between them.
        if (!hasTextForm(*this)) {
            return std::nullopt;
        }
        BoundedText joined(maxLength, BoundedText::Overflow::Raise, applicationAllowance);
        writeTextForm(*this, joined, delimiter);
        return joined.take();
    }
    case Kind::Nothing:
    case Kind::Reference:
    case Kind::Record:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QString> Value::stringValue() const {
    switch (kind) {
    case Kind::Text:
        return text;
    case Kind::Integer:
    case Kind::Real:
    case Kind::Boolean:
    case Kind::Status:
        return coercedToText();
    default:
        return std::nullopt;
    }
}

qsizetype Value::applicationUnits(qsizetype cap) const {
    // Worked out as the value was made: a walk through the items meets a shared list as often as
    // it appears, and a list doubled forty times over has a trillion items in its forty lists.
    if (kind == Kind::Text || kind == Kind::List || kind == Kind::Record) {
        return std::min(fromApplication, cap);
    }
    return 0;
}

QString Value::sourceForm(const QString& application, qsizetype maxLength,
                          qsizetype applicationAllowance) const {
    // Every item of a list or record is written with two characters at least (a separator, or the
    // braces around a single item), nested ones as often as they appear: a value whose weight is
    // already past the bound is refused before a text the bound's size is built to find it out.
    qsizetype bound = 0;
    if (__builtin_add_overflow(maxLength, applicationAllowance, &bound)) {
        bound = unlimited;
    }
    if (weight > bound / 2) {
        raiseOutOfMemory();
    }
    BoundedText out(maxLength, BoundedText::Overflow::Raise, applicationAllowance);
    writeSourceForm(*this, application, out);
    return out.take();
}

QString Value::sourceForm(const QString& application) const {
    BoundedText out(messageLength, BoundedText::Overflow::Elide);
    writeSourceForm(*this, application, out);
    return out.take();
}

QString comparisonKey(const QString& text) {
    const auto fold = [](const QString& s) {
        return s.normalized(QString::NormalizationForm_C).toCaseFolded();
    };
    // Qt's case folding turns each lone surrogate after the first letter it changes into U+FFFD,
    // which would make "A" + U+D800 a different text from "a" + U+D800 and the same as "a" + U+FFFD.
    // So the runs between lone surrogates are folded, and the surrogates kept.
    QString key;
    qsizetype run = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const bool pair = i + 1 < text.size() && text[i].isHighSurrogate() && text[i + 1].isLowSurrogate();
        if (pair) {
            ++i;
        } else if (text[i].isSurrogate()) {
            key += fold(text.sliced(run, i - run)) + text[i];
            run = i + 1;
        }
    }
    return run == 0 ? fold(text) : key + fold(text.sliced(run));
}

bool textsEqual(const QString& a, const QString& b) {
    if (a.size() == b.size() && QString::compare(a, b, Qt::CaseInsensitive) == 0) {
        return true;
    }
    // Different lengths or spellings can still be equal when one side is decomposed (e + ◌́).
    if (isAscii(a) && isAscii(b)) {
        return false;
    }
    return comparisonKey(a) == comparisonKey(b);
}

bool textContains(const QString& haystack, const QString& needle) {
    if (isAscii(haystack) && isAscii(needle)) {
        return haystack.contains(needle, Qt::CaseInsensitive);
    }
    return comparisonKey(haystack).contains(comparisonKey(needle));
}

bool textStartsWith(const QString& text, const QString& start) {
    if (isAscii(text) && isAscii(start)) {
        return text.startsWith(start, Qt::CaseInsensitive);
    }
    return comparisonKey(text).startsWith(comparisonKey(start));
}

bool textEndsWith(const QString& text, const QString& end) {
    if (isAscii(text) && isAscii(end)) {
        return text.endsWith(end, Qt::CaseInsensitive);
    }
    return comparisonKey(text).endsWith(comparisonKey(end));
}

int compareTexts(const QString& a, const QString& b) {
    if (textsEqual(a, b)) {
        return 0;
    }
    if (isAscii(a) && isAscii(b)) {
        return QString::compare(a, b, Qt::CaseInsensitive);
    }
    const QString keyA = comparisonKey(a);
    const QString keyB = comparisonKey(b);
    const int unaccented = QString::compare(withoutMarks(keyA), withoutMarks(keyB));
    return unaccented != 0 ? unaccented : QString::compare(keyA, keyB);
}

bool valuesEqual(const Value& a, const Value& b) {
    if (a.isNumber() && b.isNumber()) {
        return a.kind == Value::Kind::Integer && b.kind == Value::Kind::Integer ? a.integer == b.integer
                                                                                : a.number() == b.number();
    }
    if (a.kind != b.kind) {
        return false;
    }
    switch (a.kind) {
    case Value::Kind::Nothing:
    case Value::Kind::Missing:
        return true;
    case Value::Kind::Boolean:
        return a.boolean == b.boolean;
    case Value::Kind::Integer:
    case Value::Kind::Real:
        return false; // numbers are compared above
    case Value::Kind::Text:
        return textsEqual(a.text, b.text);
    case Value::Kind::Status:
        return a.status == b.status;
    case Value::Kind::Reference:
        return a.objectClass == b.objectClass && a.text == b.text;
    case Value::Kind::List: {
        if (a.items->size() != b.items->size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.items->size(); ++i) {
            if (!valuesEqual((*a.items)[i], (*b.items)[i])) {
                return false;
            }
        }
        return true;
    }
    case Value::Kind::Record: {
        // Labels are unordered: the same labels with equal values, in any order. They are looked up
        // by hash, so that comparing two large records costs their size, not its square.
        if (a.items->size() != b.items->size()) {
            return false;
        }
        QHash<QString, std::size_t> positions;
        positions.reserve(qsizetype(b.items->size()));
        for (std::size_t i = 0; i < b.items->size(); ++i) {
            positions.insert((*b.labels)[i], i);
        }
        for (std::size_t i = 0; i < a.items->size(); ++i) {
            const auto found = positions.constFind((*a.labels)[i]);
            if (found == positions.constEnd() || !valuesEqual((*a.items)[i], (*b.items)[*found])) {
                return false;
            }
        }
        return true;
    }
    }
    return false;
}

QString realText(double value) {
    if (value == 0) {
        return QStringLiteral("0.0");
    }
    // Rounded to twelve significant digits first, so that the form follows the rounded value.
    const QString scientific = QString::number(value, 'e', 11);
    const qsizetype e = scientific.indexOf(u'e');
    const int exponent = scientific.mid(e + 1).toInt();
    const auto trimmed = [](QString digits) {
        while (digits.endsWith(u'0') && !digits.endsWith(u".0")) {
            digits.chop(1);
        }
        return digits;
    };
    const QString mantissa = trimmed(scientific.left(e));
    const bool tiny = exponent < -4 || (exponent == -4 && (mantissa == u"1.0" || mantissa == u"-1.0"));
    if (exponent >= 4 || tiny) {
        return mantissa + (exponent >= 0 ? QStringLiteral("E+") : QStringLiteral("E-")) +
               QString::number(std::abs(exponent));
    }
    return trimmed(QString::number(value, 'f', 11 - exponent));
}

std::optional<Value> numberFromText(const QString& text) {
    qsizetype i = 0;
    const qsizetype size = text.size();
    if (i < size && (text[i] == u'-' || text[i] == u'+')) {
        ++i;
    }
    const qsizetype digitsStart = i;
    while (i < size && isAsciiDigit(text[i])) {
        ++i;
    }
    if (i == digitsStart) {
        return std::nullopt;
    }
    bool isReal = false;
    if (i < size && text[i] == u'.') {
        isReal = true;
        ++i;
        while (i < size && isAsciiDigit(text[i])) {
            ++i;
        }
    }
    if (i < size && (text[i] == u'e' || text[i] == u'E')) {
        isReal = true;
        ++i;
        if (i < size && (text[i] == u'-' || text[i] == u'+')) {
            ++i;
        }
        const qsizetype exponentStart = i;
        while (i < size && isAsciiDigit(text[i])) {
            ++i;
        }
        if (i == exponentStart) {
            return std::nullopt;
        }
    }
    if (i != size) {
        return std::nullopt;
    }
    if (!isReal) {
        bool fits = false;
        const qint64 whole = text.toLongLong(&fits);
        if (fits) {
            return Value::fromWholeNumber(whole);
        }
    }
    const double value = text.toDouble();
    if (!std::isfinite(value)) {
        return std::nullopt;
    }
    return Value::fromReal(value);
}

QString statusName(TodoStatus status) {
    switch (status) {
    case TodoStatus::Open:
        return QStringLiteral("open");
    case TodoStatus::Completed:
        return QStringLiteral("completed");
    case TodoStatus::Canceled:
        return QStringLiteral("canceled");
    }
    return {};
}

QString quotedText(const QString& text) {
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (QChar c : text) {
        if (c == u'"' || c == u'\\') {
            out += u'\\';
        }
        out += c;
    }
    out += u'"';
    return out;
}

} // namespace standin::applescript

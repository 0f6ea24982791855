#include "Value.h"

namespace standin::applescript {

namespace {

bool isAscii(const QString& s) {
    for (QChar c : s) {
        if (c.unicode() >= 128) {
            return false;
        }
    }
    return true;
}

QString comparisonKey(const QString& s) {
    return s.normalized(QString::NormalizationForm_C).toCaseFolded();
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

Value Value::list(std::vector<Value> values) {
    Value v = ofKind(Kind::List);
    v.items = std::make_shared<const std::vector<Value>>(std::move(values));
    return v;
}

std::optional<QString> Value::coercedToText() const {
    switch (kind) {
    case Kind::Text:
        return text;
    case Kind::Integer:
        return QString::number(integer);
    case Kind::Boolean:
        return boolean ? QStringLiteral("true") : QStringLiteral("false");
    case Kind::Missing:
        return QStringLiteral("missing value");
    case Kind::Status:
        return statusName(status);
    case Kind::List: {
        // A list becomes the text of its items run together (the text item delimiters are empty).
        QString joined;
        for (const Value& item : *items) {
            std::optional<QString> part = item.coercedToText();
            if (!part) {
                return std::nullopt;
            }
            joined += *part;
        }
        return joined;
    }
    case Kind::Nothing:
    case Kind::Reference:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<QString> Value::stringValue() const {
    switch (kind) {
    case Kind::Text:
        return text;
    case Kind::Integer:
    case Kind::Boolean:
    case Kind::Status:
        return coercedToText();
    default:
        return std::nullopt;
    }
}

QString Value::sourceForm(const QString& application) const {
    switch (kind) {
    case Kind::Nothing:
        return {};
    case Kind::Text:
        return quotedText(text);
    case Kind::Reference: {
        const QString className =
            objectClass == ObjectClass::Tag ? QStringLiteral("tag") : QStringLiteral("to do");
        return className + QStringLiteral(" id ") + quotedText(text) + QStringLiteral(" of application ") +
               quotedText(application);
    }
    case Kind::List: {
        QString out = QStringLiteral("{");
        for (std::size_t i = 0; i < items->size(); ++i) {
            if (i > 0) {
                out += QStringLiteral(", ");
            }
            out += (*items)[i].sourceForm(application);
        }
        return out + u'}';
    }
    default:
        return coercedToText().value_or(QString());
    }
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

bool valuesEqual(const Value& a, const Value& b) {
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
        return a.integer == b.integer;
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
    }
    return false;
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

#include "Ast.h"

namespace standin::applescript {

QString propertyName(Property p) {
    switch (p) {
    case Property::Id:
        return QStringLiteral("id");
    case Property::Name:
        return QStringLiteral("name");
    case Property::ParentTag:
        return QStringLiteral("parent tag");
    case Property::KeyboardShortcut:
        return QStringLiteral("keyboard shortcut");
    case Property::Status:
        return QStringLiteral("status");
    case Property::TagNames:
        return QStringLiteral("tag names");
    }
    return {};
}

QString typeClassName(TypeClass c) {
    switch (c) {
    case TypeClass::Integer:
        return QStringLiteral("integer");
    case TypeClass::Real:
        return QStringLiteral("real");
    case TypeClass::Number:
        return QStringLiteral("number");
    case TypeClass::Text:
        return QStringLiteral("text");
    case TypeClass::String:
        return QStringLiteral("string");
    case TypeClass::List:
        return QStringLiteral("list");
    }
    return {};
}

QString className(ObjectClass c) {
    return c == ObjectClass::Tag ? QStringLiteral("tag") : QStringLiteral("to do");
}

NodeIndex NodePool::add(const Node& node, bool& newChunk) {
    newChunk = (m_size & mask) == 0 && std::size_t(m_size >> chunkBits) == m_chunks.size();
    if (newChunk) {
        m_chunks.push_back(std::make_unique<Node[]>(std::size_t(1) << chunkBits));
    }
    (*this)[m_size] = node;
    return m_size++;
}

const Node& Script::kid(const Node& n, int index) const {
    const Node* k = kid(n);
    for (int i = 0; i < index; ++i) {
        k = next(*k);
    }
    return *k;
}

int Script::kidCount(const Node& n) const {
    int count = 0;
    for (const Node* k = kid(n); k != nullptr; k = next(*k)) {
        ++count;
    }
    return count;
}

QString Script::text(const Node& textNode) const {
    switch (textNode.textForm()) {
    case TextForm::Kept:
        return texts[std::size_t(textNode.value)];
    case TextForm::InSource:
        return source.mid(textNode.start + 1, textNode.end - textNode.start - 2);
    case TextForm::Quote:
        return QStringLiteral("\"");
    }
    return {};
}

qsizetype Script::textLength(const Node& textNode) const {
    switch (textNode.textForm()) {
    case TextForm::Kept:
        return texts[std::size_t(textNode.value)].size();
    case TextForm::InSource:
        return textNode.end - textNode.start - 2;
    case TextForm::Quote:
        return 1;
    }
    return 0;
}

} // namespace standin::applescript

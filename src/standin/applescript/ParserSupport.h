#pragma once

// What the parts of the parser (Parser.cpp, ParserExpressions.cpp, ParserReferences.cpp) share.
#include "Parser.h"
#include "ScriptFailure.h"

namespace standin::applescript {

// Counts one level of nesting for as long as it lives.
class Parser::DepthGuard final {
public:
    explicit DepthGuard(Parser& parser)
        : m_parser(parser) {
        if (++m_parser.m_depth > maxDepth) {
            --m_parser.m_depth;
            m_parser.stackOverflow();
        }
    }
    ~DepthGuard() { --m_parser.m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    Parser& m_parser;
};

// Links kids to their parent in the order they are added.
class Parser::Kids final {
public:
    Kids(Parser& parser, NodeIndex parent)
        : m_parser(parser)
        , m_parent(parent) {}

    void add(NodeIndex kid) {
        if (m_last == noNode) {
            m_parser.at(m_parent).firstKid = kid;
        } else {
            m_parser.at(m_last).next = kid;
        }
        m_last = kid;
    }

private:
    Parser& m_parser;
    NodeIndex m_parent;
    NodeIndex m_last = noNode;
};

} // namespace standin::applescript

#include "TagExport.h"

#include "TagTree.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>
#include <QXmlStreamWriter>

namespace orvalet::TagExport {

namespace {

struct Row {
    TagPtr tag;
    QString path;
    int childCount = 0;
};

// Each tag with its path and child count; a path stops where a parent is missing or repeats.
QList<Row> rowsOf(const QList<TagPtr>& tags) {
    const TagTree::AncestorPaths paths(tags);
    const TagTree::ChildCounts counts = TagTree::childCountsByParentId(tags);
    QList<Row> rows;
    rows.reserve(tags.size());
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const Tag& tag = *tags[i];
        const std::optional<QString> above = paths.at(i);
        rows.append(Row{tags[i], above ? *above + QStringLiteral(" > ") + tag.name() : tag.name(),
                        TagTree::childCount(tag, counts)});
    }
    return rows;
}

void writeJson(const QList<Row>& rows, QIODevice& out) {
    QJsonArray list;
    for (const Row& row : rows) {
        const Tag& tag = *row.tag;
        list.append(QJsonObject{
            {QStringLiteral("id"), tag.id()},
            {QStringLiteral("name"), tag.name()},
            {QStringLiteral("parentId"), tag.parentTagId() ? QJsonValue(*tag.parentTagId()) : QJsonValue()},
            {QStringLiteral("path"), row.path},
            {QStringLiteral("todosCount"), tag.todosCount() ? QJsonValue(*tag.todosCount()) : QJsonValue()},
            {QStringLiteral("childCount"), row.childCount},
            // The empty text for no shortcut; null for one never read from Things 3.
            {QStringLiteral("shortcut"), tag.shortcut() ? QJsonValue(*tag.shortcut()) : QJsonValue()},
        });
    }
    out.write(QJsonDocument(QJsonObject{{QStringLiteral("tags"), list}}).toJson(QJsonDocument::Indented));
}

// The text with every unit that `allowed` refuses, and every lone surrogate (which no UTF-8 file can
// carry), replaced by U+FFFD; surrogate pairs are kept.
QString replacedUnits(const QString& text, bool (*allowed)(char16_t)) {
    QString safe = text;
    for (qsizetype i = 0; i < safe.size(); ++i) {
        const char16_t unit = safe[i].unicode();
        if (QChar::isHighSurrogate(unit) && i + 1 < safe.size() && safe[i + 1].isLowSurrogate()) {
            ++i;
        } else if (QChar::isSurrogate(unit) || !allowed(unit)) {
            safe[i] = QChar(0xFFFD);
        }
    }
    return safe;
}

// A spreadsheet opening the file takes a field that begins with one of these for a formula, which
// a crafted tag name could use to run one. A leading apostrophe makes it plain text, as spreadsheets
// themselves do.
QString csvText(const QString& text) {
    const QString safe = replacedUnits(text, [](char16_t) { return true; });
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    return !safe.isEmpty() && formulaStarts.contains(safe.front()) ? u'\'' + safe : safe;
}

// A field as RFC 4180 has it: quoted when it holds a comma, a quote or a line break.
QString csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r')) {
        return text;
    }
    QString quoted = text;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

void writeCsv(const QList<Row>& rows, QIODevice& out) {
    QString text = QStringLiteral("id,name,parentId,path,todosCount,childCount,shortcut\r\n");
    for (const Row& row : rows) {
        const Tag& tag = *row.tag;
        const QStringList fields{csvText(tag.id()),
                                 csvText(tag.name()),
                                 csvText(tag.parentTagId().value_or(QString())),
                                 csvText(row.path),
                                 tag.todosCount() ? QString::number(*tag.todosCount()) : QString(),
                                 QString::number(row.childCount),
                                 csvText(tag.shortcutKey())};
        QStringList quoted;
        for (const QString& field : fields) {
            quoted.append(csvField(field));
        }
        text += quoted.join(u',') + QStringLiteral("\r\n");
    }
    out.write(text.toUtf8());
}

// XML 1.0 carries tab, line feed, carriage return and everything from U+0020 on except the
// non-characters U+FFFE and U+FFFF; lone surrogates cannot be encoded at all.
QString xmlSafe(const QString& text) {
    return replacedUnits(text, [](char16_t unit) {
        return (unit >= 0x20 || unit == 0x9 || unit == 0xA || unit == 0xD) && unit != 0xFFFE &&
               unit != 0xFFFF;
    });
}

void writeOpml(const QList<Row>& rows, QIODevice& out) {
    QHash<QString, qsizetype> rowOfId;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        rowOfId.insert(rows[i].tag->id(), i);
    }
    QHash<qsizetype, QList<qsizetype>> children;
    QList<qsizetype> roots;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const std::optional<QString>& parentId = rows[i].tag->parentTagId();
        const qsizetype parent = parentId ? rowOfId.value(*parentId, -1) : -1;
        (parent >= 0 ? children[parent] : roots).append(i);
    }

    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("opml"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("2.0"));
    xml.writeStartElement(QStringLiteral("head"));
    xml.writeTextElement(QStringLiteral("title"), QStringLiteral("Tags"));
    xml.writeEndElement();
    xml.writeStartElement(QStringLiteral("body"));
    QSet<qsizetype> written;
    // Depth first without recursion: a stack of (row, whether its children were written).
    auto writeTree = [&](qsizetype top) {
        std::vector<std::pair<qsizetype, bool>> stack{{top, false}};
        while (!stack.empty()) {
            auto [row, closing] = stack.back();
            stack.pop_back();
            if (closing) {
                xml.writeEndElement();
                continue;
            }
            if (written.contains(row)) {
                continue;
            }
            written.insert(row);
            const Tag& tag = *rows[row].tag;
            xml.writeStartElement(QStringLiteral("outline"));
            xml.writeAttribute(QStringLiteral("text"), xmlSafe(tag.name()));
            xml.writeAttribute(QStringLiteral("id"), xmlSafe(tag.id()));
            xml.writeAttribute(QStringLiteral("path"), xmlSafe(rows[row].path));
            if (tag.todosCount()) {
                xml.writeAttribute(QStringLiteral("todosCount"), QString::number(*tag.todosCount()));
            }
            xml.writeAttribute(QStringLiteral("childCount"), QString::number(rows[row].childCount));
            if (!tag.shortcutKey().isEmpty()) {
                xml.writeAttribute(QStringLiteral("shortcut"), xmlSafe(tag.shortcutKey()));
            }
            stack.emplace_back(row, true);
            const QList<qsizetype> below = children.value(row);
            for (auto it = below.rbegin(); it != below.rend(); ++it) {
                stack.emplace_back(*it, false);
            }
        }
    };
    for (qsizetype root : roots) {
        writeTree(root);
    }
    // Tags of a parent loop have no root above them: each is written as one.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        if (!written.contains(i)) {
            writeTree(i);
        }
    }
    xml.writeEndDocument();
}

} // namespace

std::optional<Format> formatOf(const QString& fileName) {
    const QString lower = fileName.toLower();
    if (lower.endsWith(QStringLiteral(".json"))) {
        return Format::json;
    }
    if (lower.endsWith(QStringLiteral(".csv"))) {
        return Format::csv;
    }
    if (lower.endsWith(QStringLiteral(".opml"))) {
        return Format::opml;
    }
    return std::nullopt;
}

void write(const QList<TagPtr>& tags, Format format, QIODevice& out) {
    const QList<Row> rows = rowsOf(tags);
    switch (format) {
    case Format::json:
        writeJson(rows, out);
        break;
    case Format::csv:
        writeCsv(rows, out);
        break;
    case Format::opml:
        writeOpml(rows, out);
        break;
    }
}

bool save(const QList<TagPtr>& tags, Format format, const QString& path, QString* error) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    write(tags, format, file);
    if (!file.commit()) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}

} // namespace orvalet::TagExport

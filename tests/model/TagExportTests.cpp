// Exported files read back with general readers give the stored forest, whatever the names hold.
#include "StoreFixture.h"
#include "TagExport.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QXmlStreamReader>

using namespace orvalet;

namespace {

// One exported tag as the tests compare it: "id|name|parentId|path|todos|childCount".
using Line = QString;

class TagExportTest : public test::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        store = openStore();
        ASSERT_TRUE(store);
        add(u"h"_qs, u"Home, \"sweet\" home"_qs, {}, 3);
        add(u"k"_qs, u"Kids\nand\r\nmore"_qs, u"h"_qs, 0);
        add(u"s"_qs, u"Back\\slash \u00e9 \U0001F600"_qs, u"k"_qs, {});
        add(u"c"_qs, u"Ctrl\u0001char"_qs, u"gone"_qs, 1); // parent not stored
        add(u"a"_qs, u"Loop a"_qs, u"b"_qs, {});           // a and b: a parent loop
        add(u"b"_qs, u"Loop b"_qs, u"a"_qs, 2);
        endTurn();
    }
    void add(const QString& id, const QString& name, std::optional<QString> parent,
             std::optional<qint64> todos) {
        store->insert(Tag(id, name, std::move(parent), std::nullopt, std::nullopt, todos));
    }
    QByteArray exported(TagExport::Format format) const {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        TagExport::write(store->allTags(), format, buffer);
        return buffer.data();
    }
    // What every format must carry, from the store itself.
    QStringList expected() const {
        QStringList lines;
        for (const TagPtr& tag : store->allTags()) {
            lines.append(tag->id() + u'|' + tag->name() + u'|' + tag->parentTagId().value_or(QString()) +
                         u'|' + (tag->todosCount() ? QString::number(*tag->todosCount()) : QString()));
        }
        lines.sort();
        return lines;
    }
    std::unique_ptr<TagStore> store;
};

TEST_F(TagExportTest, jsonReadsBackAsTheStoreWithPathsAndChildCounts) {
    // A shortcut never read is null, none is "", a key is itself.
    store->tag(u"h"_qs)->setShortcut(u"\""_qs);
    store->tag(u"s"_qs)->setShortcut(QString());
    const QJsonArray tags =
        QJsonDocument::fromJson(exported(TagExport::Format::json)).object()[u"tags"].toArray();
    QStringList lines;
    QHash<QString, QJsonObject> byId;
    for (const QJsonValue& value : tags) {
        const QJsonObject tag = value.toObject();
        byId.insert(tag[u"id"].toString(), tag);
        lines.append(
            tag[u"id"].toString() + u'|' + tag[u"name"].toString() + u'|' + tag[u"parentId"].toString() +
            u'|' +
            (tag[u"todosCount"].isNull() ? QString() : QString::number(tag[u"todosCount"].toInteger())));
    }
    lines.sort();
    EXPECT_EQ(lines, expected());
    EXPECT_EQ(byId[u"s"_qs][u"path"].toString(),
              u"Home, \"sweet\" home > Kids\nand\r\nmore > Back\\slash \u00e9 \U0001F600"_qs);
    EXPECT_EQ(byId[u"h"_qs][u"childCount"].toInt(), 1);
    EXPECT_TRUE(byId[u"c"_qs][u"parentId"].isString()); // the identifier is kept though not stored
    EXPECT_TRUE(byId[u"h"_qs][u"parentId"].isNull());   // a root's parent is null, not ""
    EXPECT_EQ(byId[u"c"_qs][u"path"].toString(), u"Ctrl\u0001char"_qs);
    EXPECT_EQ(byId[u"h"_qs][u"shortcut"], QJsonValue(u"\""_qs));
    EXPECT_EQ(byId[u"s"_qs][u"shortcut"], QJsonValue(QString()));
    EXPECT_TRUE(byId[u"c"_qs][u"shortcut"].isNull());
}

// RFC 4180: quoted fields may hold commas, doubled quotes and line breaks; a line break outside
// quotes ends a record, and only CR LF does.
QList<QStringList> readCsv(const QString& text) {
    QList<QStringList> records{{}};
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            records.last().append(std::exchange(field, {}));
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            records.last().append(std::exchange(field, {}));
            records.append(QStringList());
            ++i;
        } else if (c == u'\r' || c == u'\n') {
            ADD_FAILURE() << "a line break outside quotes in field " << records.last().size();
        } else {
            field += c;
        }
    }
    records.removeLast(); // after the last line break
    return records;
}

TEST_F(TagExportTest, csvFieldsSurviveCommasQuotesAndLineBreaksAndNeverStartAFormula) {
    // Names a spreadsheet would run as formulas are written as text; a lone surrogate, which UTF-8
    // cannot carry, becomes U+FFFD, as in OPML.
    const std::pair<QString, QString> guarded[] = {
        {u"=HYPERLINK(\"x\")"_qs, u"'=HYPERLINK(\"x\")"_qs},
        {u"+1"_qs, u"'+1"_qs},
        {u"-2"_qs, u"'-2"_qs},
        {u"@SUM"_qs, u"'@SUM"_qs},
        {u"\tTab"_qs, u"'\tTab"_qs},
        {u"\rReturn"_qs, u"'\rReturn"_qs},
        {u"Lone "_qs + QChar(0xd800), u"Lone \ufffd"_qs},
        {u"in=side"_qs, u"in=side"_qs},
        {u"Lone\rreturn"_qs, u"Lone\rreturn"_qs},
    };
    int i = 0;
    for (const auto& [name, written] : guarded) {
        add(u"g"_qs + QString::number(i++), name, {}, {});
    }
    endTurn();
    const QList<QStringList> records = readCsv(QString::fromUtf8(exported(TagExport::Format::csv)));
    ASSERT_EQ(records.first(),
              (QStringList{"id", "name", "parentId", "path", "todosCount", "childCount", "shortcut"}));
    QStringList lines;
    QHash<QString, QString> names;
    for (const QStringList& record : records.mid(1)) {
        ASSERT_EQ(record.size(), 7);
        if (record[0].startsWith(u'g')) {
            names.insert(record[1], record[3]);
        } else {
            lines.append(record[0] + u'|' + record[1] + u'|' + record[2] + u'|' + record[4]);
        }
    }
    lines.sort();
    EXPECT_EQ(lines, expected().filter(QRegularExpression(u"^[^g]"_qs)));
    for (const auto& [name, written] : guarded) {
        EXPECT_EQ(names.value(written), written) << name.toStdString(); // the path is the name too
    }
}

TEST_F(TagExportTest, opmlNestsTheForestAndKeepsEveryTagOnce) {
    QXmlStreamReader xml(exported(TagExport::Format::opml));
    QStringList lines;
    QStringList parents; // identifiers of the open outlines
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"outline") {
            const auto attributes = xml.attributes();
            lines.append(attributes.value(QLatin1StringView("id")).toString() + u'|' +
                         attributes.value(QLatin1StringView("text")).toString() + u'|' +
                         (parents.isEmpty() ? QString() : parents.last()) + u'|' +
                         attributes.value(QLatin1StringView("todosCount")).toString());
            parents.append(attributes.value(QLatin1StringView("id")).toString());
        } else if (xml.isEndElement() && xml.name() == u"outline") {
            parents.removeLast();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    // Nested as stored, except where the store has no parent to nest under: the tag with a missing
    // parent and the loop's tags are roots; the control character is replaced.
    QStringList wanted = expected();
    wanted.replaceInStrings(u"c|Ctrl\u0001char|gone|"_qs, u"c|Ctrl\uFFFDchar||"_qs);
    for (const QString& loop : lines.filter(u"Loop"_qs)) {
        wanted.replaceInStrings(QRegularExpression(u"^("_qs +
                                                   QRegularExpression::escape(loop.section(u'|', 0, 1)) +
                                                   u")\\|[^|]*\\|"_qs),
                                u"\\1|"_qs + loop.section(u'|', 2, 2) + u'|');
    }
    lines.sort();
    wanted.sort();
    EXPECT_EQ(lines, wanted);
    EXPECT_EQ(lines.filter(u"Loop"_qs).size(), 2);
}

TEST_F(TagExportTest, savesTheWholeFileAndReportsAFolderThatIsNotThere) {
    const QString path = m_dir.filePath(u"tags.json"_qs);
    QString error;
    ASSERT_TRUE(TagExport::save(store->allTags(), TagExport::Format::json, path, &error))
        << error.toStdString();
    QFile written(path);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_EQ(written.readAll(), exported(TagExport::Format::json));

    EXPECT_FALSE(TagExport::save(store->allTags(), TagExport::Format::csv,
                                 m_dir.filePath(u"none/tags.csv"_qs), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(TagExport::formatOf(u"Tags.OPML"_qs), TagExport::Format::opml);
    EXPECT_FALSE(TagExport::formatOf(u"Tags.txt"_qs));
}

} // namespace

// Any text, quoted the way Orvalet quotes values, must come back as exactly that text, and must
// address exactly the tag of that name; through the interpreter, and through the socket too.
#include "StandInEngine.h"
#include "StandInProcess.h"
#include "StandInTestSupport.h"
#include "ThingsService.h"

#include <QRandomGenerator>

using orvalet::ThingsService;
using standin::ThingsLibrary;
using standin::testing::LibraryEngine;
using standin::testing::runOn;

namespace {

constexpr int generatedTexts = 100000;
constexpr int textsThroughTheSocket = 3000;

// Pieces that break naive quoting: quotes, backslashes and escape look-alikes, line breaks, the
// record separators, typographic and no-break characters, a surrogate pair, and words of the language.
const QStringList& pieces() {
    static const QStringList all = {
        QStringLiteral("\""),
        QStringLiteral("\\"),
        QStringLiteral("\\\""),
        QStringLiteral("\\n"),
        QStringLiteral("\\\\"),
        QStringLiteral("\r"),
        QStringLiteral("\n"),
        QStringLiteral("\r\n"),
        QStringLiteral("\t"),
        QStringLiteral("\u2019"),
        QStringLiteral("\u00A0"),
        QStringLiteral("\U0001F600"),
        QStringLiteral("|||"),
        QStringLiteral("~~~"),
        QStringLiteral(" & quote & "),
        QStringLiteral("end tell"),
        QStringLiteral("return"),
        QStringLiteral("tag"),
        QStringLiteral("(*"),
        QStringLiteral("--"),
        QStringLiteral("#"),
        QStringLiteral("¬"),
        QStringLiteral(" "),
        QStringLiteral("a"),
        QStringLiteral("Work"),
        QStringLiteral("é"),
        QStringLiteral("e\u0301"),
        QStringLiteral("{name: x}"),
        QStringLiteral("missing value"),
    };
    return all;
}

// And pieces that the way through the socket could lose or change: byte order marks, lone and
// reversed surrogates, NUL and other controls, the line and paragraph separators.
const QStringList& socketPieces() {
    static const QStringList all = pieces() + QStringList{
                                                  QString(QChar(0xfeff)),
                                                  QString(QChar(0xd800)),
                                                  QString(QChar(0xdc00)),
                                                  QString(QChar(0xdbff)) + QChar(0xd83d),
                                                  QString(QChar(0xdc00)) + QChar(0xd800),
                                                  QString(QChar(0)),
                                                  QString(QChar(1)),
                                                  QString(QChar(0x7f)),
                                                  QString(QChar(0x2028)),
                                                  QString(QChar(0x2029)),
                                                  QString(QChar(0xfffe)),
                                              };
    return all;
}

QString generate(QRandomGenerator& random, const QStringList& from = pieces()) {
    QString text;
    const int count = int(random.bounded(9));
    for (int i = 0; i < count; ++i) {
        text += from[int(random.bounded(int(from.size())))];
    }
    return text;
}

TEST(LiteralSafety, aQuotedTextEvaluatesToExactlyThatText) {
    QRandomGenerator random(2024);
    ThingsLibrary library;
    for (int i = 0; i < generatedTexts; ++i) {
        const QString text = generate(random);
        const auto answer =
            runOn(library, QStringLiteral("return ") + ThingsService::appleScriptLiteral(text));
        ASSERT_FALSE(answer.failure) << "text #" << i << ": " << answer.failure->message().toStdString();
        ASSERT_EQ(answer.result, text) << "text #" << i;
    }
}

TEST(LiteralSafety, deleteOfAQuotedNameDeletesThatTagAndNothingElse) {
    QRandomGenerator random(4048);
    int checked = 0;
    for (int i = 0; i < generatedTexts; ++i) {
        const QString name = generate(random);
        if (name.trimmed().isEmpty()) {
            continue; // a tag needs a name with something in it
        }
        // The tag itself and neighbours that a broken quoting could reach instead.
        ThingsLibrary library;
        const QString target = library.makeTag(name);
        const QStringList neighbours = {name + u'x',
                                        QString(u'x' + name),
                                        name.left(name.size() - 1),
                                        name.mid(1),
                                        QString(name).remove(u'\\'),
                                        QString(name).remove(u'"'),
                                        QStringLiteral("Work"),
                                        QStringLiteral("\""),
                                        QStringLiteral("\\")};
        for (const QString& neighbour : neighbours) {
            if (!neighbour.trimmed().isEmpty()) {
                library.makeTag(neighbour);
            }
        }
        std::vector<QString> expected = library.tagIds();
        std::erase(expected, target);

        const auto answer = runOn(library, ThingsService::deleteTagScript(name));
        ASSERT_FALSE(answer.failure) << "name #" << i << ": " << answer.failure->message().toStdString();
        ASSERT_EQ(library.tagIds(), expected) << "name #" << i;
        ++checked;
    }
    EXPECT_GT(checked, generatedTexts * 8 / 10); // blank names are skipped
}

// A name with a double quote addresses that tag, not the tag named by its first piece: with tags
// "a" and a"b side by side, every program of Orvalet's for a"b leaves "a" and its children alone.
TEST(LiteralSafety, aNameWithAQuoteNeverReachesTheTagNamedByItsFirstPiece) {
    ThingsLibrary library;
    const QString a = library.makeTag(QStringLiteral("a"));
    const QString child = library.makeTag(QStringLiteral("a child"), a);
    const QString grandchild = library.makeTag(QStringLiteral("a grandchild"), child);
    const QString quoted = library.makeTag(QStringLiteral("a\"b"));
    const QString below = library.makeTag(QStringLiteral("below a\"b"), quoted);
    const LibraryEngine engine(library);
    const ThingsService things(engine);

    const auto update = [&things](const QString& name, const QString& newName,
                                  const std::optional<QString>& parent,
                                  const std::optional<QString>& oldParent) {
        things.runAppleScript(*ThingsService::updateTagScript(name, newName, parent, oldParent));
    };
    const auto found = things.fetchTagByName(QStringLiteral("a\"b"));
    ASSERT_TRUE(found);
    EXPECT_EQ(found->id, quoted);

    update(QStringLiteral("a\"b"), QStringLiteral("c\"d"), std::nullopt, std::nullopt);
    EXPECT_EQ(library.tag(a)->name, QStringLiteral("a"));
    EXPECT_EQ(library.tag(quoted)->name, QStringLiteral("c\"d"));
    update(QStringLiteral("c\"d"), QStringLiteral("a\"b"), QStringLiteral("a child"), std::nullopt);
    EXPECT_EQ(library.tag(quoted)->parentId, child);
    update(QStringLiteral("a\"b"), QStringLiteral("a\"b"), std::nullopt, QStringLiteral("a child"));
    EXPECT_TRUE(library.tag(quoted)->parentId.isEmpty());

    const QString made =
        things.createTag(QStringLiteral("new \"one\""), {{quoted, QStringLiteral("a\"b")}}, false);
    EXPECT_EQ(library.tag(made)->parentId, quoted);

    // The program of a name with a quote, written without parentheses, joins the texts to the
    // reference `tag "a"`: it fails and deletes nothing.
    const auto unsafe =
        runOn(library,
              QStringLiteral("tell application \"Things3\"\n    delete tag \"a\" & quote & \"b\"\nend tell"));
    EXPECT_TRUE(unsafe.failure);
    EXPECT_EQ(library.tagCount(), 6);

    const auto deleted = runOn(library, ThingsService::deleteTagScript(QStringLiteral("a\"b")));
    ASSERT_FALSE(deleted.failure) << deleted.failure->message().toStdString();
    EXPECT_EQ(library.tag(quoted), nullptr);
    EXPECT_EQ(library.tag(below), nullptr);
    EXPECT_EQ(library.tag(made), nullptr);
    for (const QString& kept : {a, child, grandchild}) {
        ASSERT_NE(library.tag(kept), nullptr);
    }
    EXPECT_EQ(library.tag(grandchild)->parentId, child);
    EXPECT_EQ(library.tag(child)->parentId, a);
}

TEST(LiteralSafety, aQuotedTextComesBackExactlyThroughTheSocket) {
    StandInProcess standIn;
    ASSERT_TRUE(standIn.start());
    const orvalet::StandInEngine engine;
    const auto roundTrip = [&](const QString& text) -> QString {
        const auto outcome = engine.run(QStringLiteral("return ") + ThingsService::appleScriptLiteral(text));
        if (!outcome || outcome->error) {
            return QStringLiteral("(failed: ") +
                   (outcome && outcome->error ? outcome->error->description : QStringLiteral("no script")) +
                   u')';
        }
        return outcome->result.value_or(QStringLiteral("(no result)"));
    };

    QRandomGenerator random(8096);
    for (int i = 0; i < textsThroughTheSocket; ++i) {
        const QString text = generate(random, socketPieces());
        ASSERT_EQ(roundTrip(text), text) << "text #" << i;
        if (i % 10 == 0) {
            // The texts of an error come back as exactly too.
            const auto outcome =
                engine.run(QStringLiteral("error ") + ThingsService::appleScriptLiteral(text));
            ASSERT_TRUE(outcome && outcome->error) << "text #" << i;
            ASSERT_EQ(outcome->error->message, text) << "text #" << i;
            ASSERT_EQ(outcome->error->briefMessage, text) << "text #" << i;
        }
    }

    // Every UTF-16 unit on its own, each followed by a letter so that surrogates stay lone, then
    // every character beyond the Basic Multilingual Plane.
    QString everything;
    for (char32_t unit = 0; unit <= 0xffff; ++unit) {
        everything += QChar(char16_t(unit));
        everything += u'a';
    }
    for (char32_t c = 0x10000; c <= 0x10ffff; ++c) {
        everything += QString::fromUcs4(&c, 1);
    }
    const QString back = roundTrip(everything);
    ASSERT_EQ(back.size(), everything.size()) << back.left(200).toStdString();
    for (qsizetype i = 0; i < everything.size(); ++i) {
        ASSERT_EQ(back[i].unicode(), everything[i].unicode()) << "unit #" << i;
    }
}

} // namespace

// Any text, quoted the way Orvalet quotes values, must come back as exactly that text, and must
// address exactly the tag of that name; through the interpreter, and through the socket too.
#include "StandInEngine.h"
#include "StandInProcess.h"
#include "StandInTestSupport.h"
#include "ThingsService.h"

#include <QRandomGenerator>
#include <algorithm>

using orvalet::ThingsService;
using standin::ThingsLibrary;
using standin::testing::runOn;
using standin::testing::shown;

namespace {

constexpr int generatedTexts = 100000;
constexpr int textsThroughTheSocket = 3000;

// Pieces that break naive quoting: quotes, backslashes and escape look-alikes, line breaks, the
// record separators, typographic and no-break characters, a surrogate pair, and words of the language
// (one text, split at ¦).
const QStringList pieces =
    u"\"¦\\¦\\\"¦\\n¦\\\\¦\r¦\n¦\r\n¦\t¦\u2019¦\u00A0¦\U0001F600¦|||¦~~~¦ & quote & ¦end tell¦return¦tag¦"
    u"(*¦--¦#¦¬¦ ¦a¦Work¦é¦e\u0301¦{name: x}¦missing value"_qs.split(u'¦');

// And pieces that the way through the socket could lose or change: byte order marks, lone and
// reversed surrogates, NUL and other controls, the line and paragraph separators.
const QStringList socketPieces =
    pieces +
    u"\uFEFF¦\xD800¦\xDC00¦\xDBFF\xD83D¦\xDC00\xD800¦\0¦\x01¦\x7F¦\u2028¦\u2029¦\uFFFE"_qs.split(u'¦');

QString generate(QRandomGenerator& random, const QStringList& from = pieces) {
    QString text;
    const int count = int(random.bounded(9));
    for (int i = 0; i < count; ++i) {
        text += from[int(random.bounded(int(from.size())))];
    }
    return text;
}

// A quoted text evaluates to exactly that text, and deleting the tag of that name deletes that tag
// and nothing else.
TEST(LiteralSafety, aQuotedNameIsThatTextAndDeletesThatTagAlone) {
    QRandomGenerator random(4048);
    int checked = 0;
    for (int i = 0; i < generatedTexts; ++i) {
        const QString name = generate(random);
        ThingsLibrary library;
        const auto evaluated = runOn(library, u"return "_qs + ThingsService::appleScriptLiteral(name));
        ASSERT_EQ(evaluated.result, name) << "name #" << i << ": " << shown(evaluated).toStdString();
        if (name.trimmed().isEmpty()) {
            continue; // a tag needs a name with something in it
        }
        // The tag itself and neighbours that a broken quoting could reach instead.
        const QString target = library.makeTag(name);
        const QStringList neighbours = {name + u'x',
                                        u'x' + name,
                                        name.chopped(1),
                                        name.mid(1),
                                        QString(name).remove(u'\\'),
                                        QString(name).remove(u'"'),
                                        u"Work"_qs,
                                        u"\""_qs,
                                        u"\\"_qs};
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

TEST(LiteralSafety, aQuotedTextComesBackExactlyThroughTheSocket) {
    StandInProcess standIn;
    ASSERT_TRUE(standIn.start());
    QRandomGenerator random(8096);
    for (int i = 0; i < textsThroughTheSocket; ++i) {
        const QString text = generate(random, socketPieces);
        ASSERT_EQ(answer(u"return "_qs + ThingsService::appleScriptLiteral(text)), text) << "text #" << i;
        if (i % 10 == 0) {
            // The texts of an error come back as exactly too.
            const auto outcome =
                orvalet::StandInEngine().run(u"error "_qs + ThingsService::appleScriptLiteral(text));
            ASSERT_TRUE(outcome && outcome->error) << "text #" << i;
            ASSERT_EQ(outcome->error->message, text) << "text #" << i;
            ASSERT_EQ(outcome->error->briefMessage, text) << "text #" << i;
        }
    }

    // Every UTF-16 unit on its own, each followed by a letter so that surrogates stay lone, then
    // every character beyond the Basic Multilingual Plane.
    QString everything;
    for (char32_t unit = 0; unit <= 0xffff; ++unit) {
        everything.append(QChar(char16_t(unit))).append(u'a');
    }
    for (char32_t c = 0x10000; c <= 0x10ffff; ++c) {
        everything += QString::fromUcs4(&c, 1);
    }
    const QString back = answer(u"return "_qs + ThingsService::appleScriptLiteral(everything));
    ASSERT_EQ(back.size(), everything.size()) << back.left(200).toStdString();
    EXPECT_EQ(std::ranges::mismatch(everything, back).in1 - everything.begin(), everything.size())
        << "the first unit that came back otherwise";
}

} // namespace

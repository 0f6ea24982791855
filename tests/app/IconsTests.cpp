#include "Icons.h"
#include "ProminentButton.h"
#include "TagSortOption.h"

#include <QApplication>
#include <QPushButton>
#include <QSet>
#include <QtTest>

using namespace orvalet;

namespace {

// The colours of an icon's fully opaque pixels. A symbol of ours has one, the palette's; a
// style's standard pixmap has others, and more than one.
QSet<QRgb> opaqueColours(const QIcon& icon, QIcon::Mode mode) {
    const QImage image = icon.pixmap(32, 32, mode).toImage().convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (const QRgb pixel = image.pixel(x, y); qAlpha(pixel) == 255) {
                colours.insert(pixel);
            }
        }
    }
    return colours;
}

} // namespace

// The offscreen platform has no icon theme, as a bare desktop: every symbol comes from our drawings.
class IconsTests final : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void symbolsTakeThePalettesTextColour_data() {
        QTest::addColumn<QColor>("text");
        QTest::addColumn<QColor>("disabledText");
        QTest::newRow("light") << QColor(0x1a, 0x1a, 0x1a) << QColor(0xa0, 0xa0, 0xa0);
        QTest::newRow("dark") << QColor(0xf0, 0xf0, 0xf0) << QColor(0x6e, 0x6e, 0x6e);
    }

    void symbolsTakeThePalettesTextColour() {
        QFETCH(QColor, text);
        QFETCH(QColor, disabledText);
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::WindowText, text);
        palette.setColor(QPalette::Disabled, QPalette::WindowText, disabledText);
        QApplication::setPalette(palette);

        QStringList names =
            u"tag plus.circle plus list.bullet.indent checkmark.circle.fill xmark.circle.fill "
            u"exclamationmark.triangle.fill arrow.clockwise arrow.down.circle "
            u"arrow.up.right.square arrow.triangle.merge trash magnifyingglass"_qs.split(u' ');
        for (TagSortOption option : TagSortOptions::all()) {
            names << TagSortOptions::iconName(option);
        }
        for (const QString& name : names) {
            const QIcon icon = Icons::symbol(name); // a null icon has no colour at all
            QVERIFY2(opaqueColours(icon, QIcon::Normal) == QSet<QRgb>{text.rgba()}, qPrintable(name));
            QVERIFY2(opaqueColours(icon, QIcon::Disabled) == QSet<QRgb>{disabledText.rgba()},
                     qPrintable(name));
        }
    }

    // A palette given stands in for the application's; a name without a drawing gives no icon.
    void aGivenPaletteStandsInAndAnUnknownNameGivesNone() {
        QPalette banner = QApplication::palette();
        banner.setColor(QPalette::WindowText, Qt::white);
        QCOMPARE(opaqueColours(Icons::symbol(u"exclamationmark.triangle.fill"_qs, banner), QIcon::Normal),
                 QSet<QRgb>{QColor(Qt::white).rgba()});
        QVERIFY(Icons::symbol(u"no.such.symbol"_qs).isNull() && Icons::symbol(QString()).isNull());
    }

    // A destructive label reads at 4.5:1 at least on the button of a light palette, a dark one, and
    // the platform's, and stays red.
    void aDestructiveLabelReadsInEveryPalette() {
        for (const QColor& button :
             {QColor(0xef, 0xef, 0xef), QColor(0xff, 0xff, 0xff), QColor(0x35, 0x35, 0x35),
              QColor(0x2a, 0x2e, 0x32), QColor(0x1e, 0x1e, 0x1e),
              QApplication::palette().color(QPalette::Button)}) {
            QPalette palette = QApplication::palette();
            palette.setColor(QPalette::Button, button);
            QPushButton remove(u"Delete"_qs);
            remove.setPalette(palette);
            makeDestructive(&remove);
            const QColor label = remove.palette().color(QPalette::Active, QPalette::ButtonText);
            QVERIFY2(contrastRatio(label, button) >= 4.5, qPrintable(button.name() + u' ' + label.name()));
            QVERIFY2(label.red() > label.green() * 3 / 2 && label.red() > label.blue() * 3 / 2,
                     qPrintable(label.name()));
        }
    }
};

QTEST_MAIN(IconsTests)
#include "IconsTests.moc"

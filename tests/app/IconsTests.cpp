#include "Alerts.h"
#include "BatchResultSheet.h"
#include "Icons.h"
#include "ProminentButton.h"
#include "TagListModel.h"
#include "TagRowDelegate.h"
#include "TagSortOption.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QStandardItemModel>
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

QSet<QRgb> opaqueColours(const QPixmap& pixmap) {
    return opaqueColours(QIcon(pixmap), QIcon::Normal);
}

// The palette of a light or a dark desktop, whole, as the alerts and rows are drawn in it.
QPalette desktopPalette(bool dark) {
    QPalette palette = QApplication::style()->standardPalette();
    if (dark) {
        for (const auto& [role, colour] : {std::pair{QPalette::Window, QColor(0x2a, 0x2a, 0x2a)},
                                           {QPalette::Base, QColor(0x1e, 0x1e, 0x1e)},
                                           {QPalette::Button, QColor(0x35, 0x35, 0x35)},
                                           {QPalette::WindowText, QColor(0xf0, 0xf0, 0xf0)},
                                           {QPalette::Text, QColor(0xf0, 0xf0, 0xf0)},
                                           {QPalette::ButtonText, QColor(0xf0, 0xf0, 0xf0)}}) {
            palette.setColor(QPalette::Active, role, colour);
            palette.setColor(QPalette::Inactive, role, colour);
        }
    }
    return palette;
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
            u"arrow.up.right.square arrow.triangle.merge trash magnifyingglass "
            u"info.circle.fill questionmark.circle.fill xmark.octagon.fill"_qs.split(u' ');
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

    // Every kind of alert, made by our helpers or as a plain message box, shows our symbol for its
    // kind in the palette's text colour, and follows the palette when it changes while open.
    void alertsShowOurSymbolForTheirKind_data() {
        QTest::addColumn<bool>("dark");
        QTest::newRow("light") << false;
        QTest::newRow("dark") << true;
    }
    void alertsShowOurSymbolForTheirKind() {
        QFETCH(bool, dark);
        QApplication::setPalette(desktopPalette(dark));
        Alerts::useOwnIcons();
        QWidget window;
        window.show();
        QList<QMessageBox*> boxes{
            Alerts::inform(&window, u"i"_qs, u"Exported"_qs, u"Done."_qs, [] {}),
            Alerts::warn(&window, u"w"_qs, u"Export Failed"_qs, u"No room."_qs, [] {}),
            Alerts::confirmDeletion(&window, u"d"_qs, u"Delete?"_qs, u"Sure?"_qs, [](bool) {}),
        };
        for (QMessageBox::Icon kind : {QMessageBox::Question, QMessageBox::Critical}) {
            auto* box = new QMessageBox(kind, u"Plain"_qs, u"A box of Qt's own"_qs, QMessageBox::Ok, &window);
            box->show();
            boxes.append(box);
        }
        const auto symbolColours = [](QMessageBox* box) {
            return opaqueColours(box->findChild<QLabel*>(u"qt_msgboxex_icon_label"_qs)->pixmap());
        };
        const QColor text = QApplication::palette().color(QPalette::WindowText);
        for (QMessageBox* box : boxes) {
            QVERIFY(QTest::qWaitForWindowExposed(box));
            QCOMPARE(symbolColours(box), QSet<QRgb>{text.rgba()});
            // Drawn large enough to read, from our drawing of its kind.
            QVERIFY(box->findChild<QLabel*>(u"qt_msgboxex_icon_label"_qs)->pixmap().width() >= 32);
        }
        QApplication::setPalette(desktopPalette(!dark));
        const QColor newText = QApplication::palette().color(QPalette::WindowText);
        for (QMessageBox* box : boxes) {
            QTRY_COMPARE(symbolColours(box), QSet<QRgb>{newText.rgba()});
        }
        QCOMPARE(Alerts::symbolName(QMessageBox::NoIcon), QString());
        QApplication::setPalette(QApplication::style()->standardPalette());
    }

    // A destructive label, and its trash symbol, read at 4.5:1 at least on the button of a light
    // palette, a dark one, and the platform's, and stay red.
    void aDestructiveLabelReadsInEveryPalette() {
        for (const QColor& button :
             {QColor(0xef, 0xef, 0xef), QColor(0xff, 0xff, 0xff), QColor(0x35, 0x35, 0x35),
              QColor(0x2a, 0x2e, 0x32), QColor(0x1e, 0x1e, 0x1e),
              QApplication::palette().color(QPalette::Button)}) {
            QPalette palette = QApplication::palette();
            palette.setColor(QPalette::Button, button);
            QPushButton remove(Icons::symbol(u"trash"_qs), u"Delete"_qs);
            remove.setPalette(palette);
            makeDestructive(&remove);
            const QColor label = remove.palette().color(QPalette::Active, QPalette::ButtonText);
            QVERIFY2(contrastRatio(label, button) >= 4.5, qPrintable(button.name() + u' ' + label.name()));
            QVERIFY2(label.red() > label.green() * 3 / 2 && label.red() > label.blue() * 3 / 2,
                     qPrintable(label.name()));
            QCOMPARE(opaqueColours(remove.icon(), QIcon::Normal), QSet<QRgb>{label.rgba()});
            QCOMPARE(opaqueColours(remove.icon(), QIcon::Disabled),
                     QSet<QRgb>{palette.color(QPalette::Disabled, QPalette::WindowText).rgba()});
        }
    }

    // The other reds and greens of text and symbols: the batch result's headline and names, and
    // the key cap of a shortcut two tags share, read at 4.5:1 on a light and a dark background.
    void tintedTextReadsInEveryPalette() {
        for (const bool dark : {false, true}) {
            const QPalette palette = desktopPalette(dark);
            for (const QColor& background :
                 {palette.color(QPalette::Window), palette.color(QPalette::Base)}) {
                for (const auto tint : {BatchResultState::Tint::red, BatchResultState::Tint::green}) {
                    const QColor colour = BatchResultSheet::color(tint, background);
                    QVERIFY2(contrastRatio(colour, background) >= 4.5,
                             qPrintable(background.name() + u' ' + colour.name()));
                }
            }

            // A row whose key is shared, drawn as the list draws it: its red pixels read on the row.
            QStandardItemModel model(1, 1);
            model.setData(model.index(0, 0), u"Errands"_qs, Qt::DisplayRole);
            model.setData(model.index(0, 0), u"W"_qs, TagListModel::ShortcutRole);
            model.setData(model.index(0, 0), true, TagListModel::ShortcutConflictRole);
            TagRowDelegate delegate(TagRowDelegate::Rows::list);
            QStyleOptionViewItem option;
            option.palette = palette;
            option.rect = QRect(0, 0, 240, 24);
            option.font = QApplication::font();
            option.state = QStyle::State_Enabled;
            QImage row(option.rect.size(), QImage::Format_ARGB32);
            const QColor base = palette.color(QPalette::Base);
            row.fill(base);
            QPainter painter(&row);
            delegate.paint(&painter, option, model.index(0, 0));
            painter.end();
            double best = 0;
            for (int y = 0; y < row.height(); ++y) {
                for (int x = 0; x < row.width(); ++x) {
                    const QColor pixel = row.pixelColor(x, y);
                    if (pixel.red() > pixel.green() * 3 / 2 && pixel.red() > pixel.blue() * 3 / 2) {
                        best = std::max(best, contrastRatio(pixel, base));
                    }
                }
            }
            QVERIFY2(best >= 4.5, qPrintable(base.name() + u' ' + QString::number(best)));
        }
    }
};

QTEST_MAIN(IconsTests)
#include "IconsTests.moc"

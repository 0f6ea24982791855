#include "Icons.h"

#include <QFile>
#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>
#include <QSvgRenderer>
#include <array>

namespace orvalet::Icons {

namespace {

struct Entry {
    const char* symbol;
    const char* themeName; // used only when the desktop's theme has exactly this icon
    const char* drawing;   // ours, under :/symbols/, drawn in `currentColor`
};

constexpr std::array entries{
    Entry{"tag", "tag", "tag"},
    // "New Tag" and the editor's "New Child Tag" both create a tag, so both show a tag with a plus.
    Entry{"plus.circle", "list-add", "tag-plus"},
    Entry{"plus", "list-add", "plus"},
    Entry{"textformat.abc", "format-text-bold", "abc"},
    Entry{"clock", "appointment-soon", "clock"},
    Entry{"list.bullet.indent", "view-list-tree", "outline"},
    Entry{"checkmark.circle", "emblem-default", "check-circle"},
    Entry{"checkmark.circle.fill", "emblem-ok-symbolic", "check-circle-filled"},
    Entry{"arrow.clockwise", "view-refresh", "reload"},
    Entry{"arrow.down.circle", "go-down", "arrow-down-circle"},
    Entry{"arrow.up.right.square", "document-open", "external-link"},
    Entry{"exclamationmark.triangle.fill", "dialog-warning", "warning-filled"},
    Entry{"xmark.circle.fill", "dialog-error", "xmark-circle-filled"},
    // The symbols of the alerts: information, question, warning (above) and error.
    Entry{"info.circle.fill", "dialog-information", "info-circle-filled"},
    Entry{"questionmark.circle.fill", "dialog-question", "question-circle-filled"},
    Entry{"xmark.octagon.fill", "dialog-error", "xmark-octagon-filled"},
    Entry{"trash", "edit-delete", "trash"},
    Entry{"arrow.triangle.merge", "go-jump", "merge"},
    Entry{"magnifyingglass", "edit-find", "search"},
};

// Paints one of our single-colour drawings in the colour text has in the same state, read from
// the application palette at paint time: the symbols follow a light or dark palette and grey out
// with their control, which a fixed-colour picture could not.
class SymbolEngine final : public QIconEngine {
public:
    SymbolEngine(QString symbol, QString drawing, QByteArray svg, std::optional<QPalette> palette)
        : m_symbol(std::move(symbol))
        , m_drawing(std::move(drawing))
        , m_svg(std::move(svg))
        , m_palette(std::move(palette)) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override {
        const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
        painter->drawPixmap(rect, pixmap(rect.size() * ratio, mode, state));
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State) override {
        if (size.isEmpty()) {
            return {};
        }
        const QColor color = textColor(mode);
        const QString key = QStringLiteral("orvalet-symbol:%1:%2x%3:%4")
                                .arg(m_drawing)
                                .arg(size.width())
                                .arg(size.height())
                                .arg(color.rgba(), 8, 16);
        QPixmap result;
        if (QPixmapCache::find(key, &result)) {
            return result;
        }
        result = QPixmap(size);
        result.fill(Qt::transparent);
        QByteArray svg = m_svg;
        svg.replace("currentColor", color.name(QColor::HexRgb).toLatin1());
        QSvgRenderer renderer(svg);
        QPainter painter(&result);
        painter.setOpacity(color.alphaF());
        // Square drawings stay square in a size that is not.
        const int side = std::min(size.width(), size.height());
        renderer.render(&painter,
                        QRectF((size.width() - side) / 2.0, (size.height() - side) / 2.0, side, side));
        painter.end();
        QPixmapCache::insert(key, result);
        return result;
    }

    QIconEngine* clone() const override { return new SymbolEngine(*this); }
    QString key() const override { return QStringLiteral("OrvaletSymbol"); }
    // The design's symbol name, so that the icon can be drawn again in another colour.
    QString iconName() override { return m_symbol; }

private:
    QColor textColor(QIcon::Mode mode) const {
        const QPalette palette = m_palette.value_or(QGuiApplication::palette());
        switch (mode) {
        case QIcon::Disabled:
            return palette.color(QPalette::Disabled, QPalette::WindowText);
        case QIcon::Selected:
            return palette.color(QPalette::Active, QPalette::HighlightedText);
        case QIcon::Normal:
        case QIcon::Active:
            break;
        }
        return palette.color(QPalette::Active, QPalette::WindowText);
    }

    QString m_symbol;
    QString m_drawing;
    QByteArray m_svg;
    std::optional<QPalette> m_palette;
};

} // namespace

QIcon symbol(const QString& name, const std::optional<QPalette>& palette) {
    for (const Entry& entry : entries) {
        if (name != QLatin1String(entry.symbol)) {
            continue;
        }
        // hasThemeIcon is true only for the exact name, never for a shorter one the theme falls back to.
        const QString themeName = QString::fromLatin1(entry.themeName);
        if (QIcon::hasThemeIcon(themeName)) {
            return QIcon::fromTheme(themeName);
        }
        const QString drawing = QString::fromLatin1(entry.drawing);
        QFile file(QStringLiteral(":/symbols/") + drawing + QStringLiteral("-symbolic.svg"));
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QIcon(new SymbolEngine(name, drawing, file.readAll(), palette));
    }
    return {};
}

} // namespace orvalet::Icons

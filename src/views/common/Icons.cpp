#include "Icons.h"

#include <QApplication>
#include <QStyle>
#include <array>

namespace orvalet::Icons {

namespace {

struct Entry {
    const char* symbol;
    const char* themeName;
    QStyle::StandardPixmap fallback;
};

// Symbol name, freedesktop theme name, and the style's own pixmap when the theme has none.
constexpr std::array entries{
    Entry{"tag", "tag", QStyle::SP_FileDialogContentsView},
    Entry{"textformat.abc", "format-text-bold", QStyle::SP_FileDialogListView},
    Entry{"clock", "appointment-soon", QStyle::SP_BrowserReload},
    Entry{"checkmark.circle", "emblem-default", QStyle::SP_DialogApplyButton},
    Entry{"checkmark.circle.fill", "emblem-ok-symbolic", QStyle::SP_DialogYesButton},
    Entry{"arrow.clockwise", "view-refresh", QStyle::SP_BrowserReload},
    Entry{"arrow.down.circle", "go-down", QStyle::SP_ArrowDown},
    Entry{"arrow.up.right.square", "document-open", QStyle::SP_DirOpenIcon},
    Entry{"exclamationmark.triangle.fill", "dialog-warning", QStyle::SP_MessageBoxWarning},
    Entry{"xmark.circle.fill", "dialog-error", QStyle::SP_MessageBoxCritical},
    Entry{"plus", "list-add", QStyle::SP_FileDialogNewFolder},
    Entry{"plus.circle", "list-add", QStyle::SP_FileDialogNewFolder},
    Entry{"trash", "edit-delete", QStyle::SP_TrashIcon},
    Entry{"arrow.triangle.merge", "go-jump", QStyle::SP_ArrowRight},
    Entry{"magnifyingglass", "edit-find", QStyle::SP_FileDialogContentsView},
};

} // namespace

QIcon symbol(const QString& name) {
    for (const Entry& entry : entries) {
        if (name == QLatin1String(entry.symbol)) {
            const QString themeName = QString::fromLatin1(entry.themeName);
            if (QIcon::hasThemeIcon(themeName)) {
                return QIcon::fromTheme(themeName);
            }
            return QApplication::style()->standardIcon(entry.fallback);
        }
    }
    return {};
}

} // namespace orvalet::Icons

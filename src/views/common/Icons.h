#pragma once

#include <QIcon>
#include <QPalette>
#include <QString>
#include <optional>

namespace orvalet::Icons {

// The icon for one of the design's symbol names ("arrow.clockwise", "tag", ...): the desktop
// theme's icon when the theme has exactly the matching freedesktop name, else Orvalet's own line
// drawing in the application palette's text colour (greyed like text when disabled), so a bare
// desktop shows the right symbol rather than an unrelated style pixmap. An unknown name gives a
// null icon. A widget with colours of its own (a red banner with white text) passes its palette,
// which then stands in for the application's.
// The icon's name() is the symbol name it was made for (or the theme's name for a theme icon).
QIcon symbol(const QString& name, const std::optional<QPalette>& palette = std::nullopt);

} // namespace orvalet::Icons

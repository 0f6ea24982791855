#pragma once

#include <QIcon>
#include <QString>

namespace orvalet::Icons {

// The icon for one of the design's symbol names ("arrow.clockwise", "tag", ...): the desktop
// theme's icon when it has one, else a standard pixmap of the style, so every control shows an
// icon even on a bare desktop. An unknown name gives a null icon.
QIcon symbol(const QString& name);

} // namespace orvalet::Icons

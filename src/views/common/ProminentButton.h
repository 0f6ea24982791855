#pragma once

#include "Icons.h"

#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace orvalet {

// Gives a form's main button ("Save Changes", "Create Tag") its filled look: drawn in the highlight
// colour, which the style greys out while the button cannot be pressed.
inline void makeProminent(QPushButton* button) {
    QPalette colours = button->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Button, colours.color(group, QPalette::Highlight));
        colours.setColor(group, QPalette::ButtonText, colours.color(group, QPalette::HighlightedText));
    }
    button->setPalette(colours);
}

// WCAG's contrast ratio of two colours, from 1:1 to 21:1.
inline double contrastRatio(const QColor& a, const QColor& b) {
    const auto luminance = [](const QColor& colour) {
        const auto channel = [](double c) {
            return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
               0.0722 * channel(colour.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// `colour` made darker on a light background, or mixed with white on a dark one, until it reads on
// that background at 4.5:1 at least.
inline QColor readableOn(QColor colour, const QColor& background) {
    const bool dark = background.lightnessF() < 0.5;
    for (int step = 0; step < 40 && contrastRatio(colour, background) < 4.5; ++step) {
        colour = dark ? QColor::fromRgbF(colour.redF() * 0.9f + 0.1f, colour.greenF() * 0.9f + 0.1f,
                                         colour.blueF() * 0.9f + 0.1f)
                      : colour.darker(106);
    }
    return colour;
}

// The red of a destructive label on `background`: the usual red, made lighter on a dark background or
// darker on a light one until it reads at 4.5:1 at least.
inline QColor destructiveRed(const QColor& background) {
    QColor red(0xd7, 0x26, 0x1e);
    const bool dark = background.lightnessF() < 0.5;
    for (int step = 0; step < 40 && contrastRatio(red, background) < 4.5; ++step) {
        red = dark ? red.lighter(106) : red.darker(106);
        if (dark && red.lightness() >= 250) {
            red = QColor(0xff, 0xb3, 0xad);
        }
    }
    return red;
}

// Draws a destructive button's label, and its symbol ("trash"), in red, for the active and
// inactive window only, so that while it cannot be pressed it keeps the style's disabled look; the
// red reads on the palette's button colour, light or dark. A desktop theme's icon keeps its colours.
inline void makeDestructive(QPushButton* button) {
    QPalette palette = button->palette();
    QPalette symbolColours = palette;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        const QColor red = destructiveRed(palette.color(group, QPalette::Button));
        palette.setColor(group, QPalette::ButtonText, red);
        symbolColours.setColor(group, QPalette::WindowText, red);
    }
    button->setPalette(palette);
    if (const QString symbol = button->icon().name(); !symbol.isEmpty()) {
        if (const QIcon red = Icons::symbol(symbol, symbolColours); !red.isNull() && red.name() == symbol) {
            button->setIcon(red);
        }
    }
}

} // namespace orvalet

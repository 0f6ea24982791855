#pragma once

#include <QPushButton>

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

// Draws a destructive button's label in red, for the active and inactive window only, so that
// while it cannot be pressed it keeps the style's disabled look.
inline void makeDestructive(QPushButton* button) {
    QPalette palette = button->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::ButtonText, QColor(0xd7, 0x26, 0x1e));
    }
    button->setPalette(palette);
}

} // namespace orvalet

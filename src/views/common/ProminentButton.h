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

} // namespace orvalet

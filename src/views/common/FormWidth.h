#pragma once

#include <QHBoxLayout>
#include <QWidget>

namespace orvalet {

// How wide a form grows, as native forms do: fields of about 480 points beside their labels. A
// wider window centres the form rather than stretching its fields across the screen.
inline constexpr int maximumFormWidth = 600;

// A row that gives `form` the width it is offered, up to maximumFormWidth, centred.
inline QHBoxLayout* centredForm(QWidget* form) {
    form->setMaximumWidth(maximumFormWidth);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(0, 0, 0, 0);
    row->addStretch(1);
    row->addWidget(form, 1000);
    row->addStretch(1);
    return row;
}

} // namespace orvalet

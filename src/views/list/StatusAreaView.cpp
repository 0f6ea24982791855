#include "StatusAreaView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalet {

StatusAreaView::StatusAreaView(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("statusArea"));
    setAccessibleName(QStringLiteral("Display options in force"));

    auto* row = new QHBoxLayout;
    row->setContentsMargins(4, 4, 4, 4);
    m_lineLayout = new QVBoxLayout;
    m_lineLayout->setSpacing(0);
    row->addLayout(m_lineLayout, 1);
    auto* reset = new QPushButton(QStringLiteral("Reset"), this);
    reset->setObjectName(QStringLiteral("statusReset"));
    reset->setAccessibleName(QStringLiteral("Reset"));
    reset->setAccessibleDescription(QStringLiteral("Show all tags in name order without counts"));
    connect(reset, &QPushButton::clicked, this, &StatusAreaView::resetRequested);
    row->addWidget(reset, 0, Qt::AlignVCenter);

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);
    divider->setAccessibleName(QStringLiteral("Divider"));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(row);
    layout->addWidget(divider);
    hide();
}

void StatusAreaView::setLines(const QStringList& lines) {
    if (lines == m_lines) {
        return;
    }
    m_lines = lines;
    while (QLayoutItem* item = m_lineLayout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const QString& line : lines) {
        auto* label = new QLabel(line, this);
        label->setObjectName(QStringLiteral("statusLine"));
        QFont caption = label->font();
        caption.setPointSizeF(caption.pointSizeF() * 0.85);
        label->setFont(caption);
        label->setForegroundRole(QPalette::PlaceholderText);
        label->setContentsMargins(6, 0, 6, 0);
        label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        m_lineLayout->addWidget(label);
    }
    setVisible(!lines.isEmpty());
}

} // namespace orvalet

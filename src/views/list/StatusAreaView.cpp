#include "StatusAreaView.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace orvalet {

StatusAreaView::StatusAreaView(QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("statusArea"));
    setAccessibleName(QStringLiteral("Display options in force"));

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("statusNotice"));
    m_notice->setWordWrap(true);
    m_notice->setContentsMargins(10, 4, 10, 4);
    m_notice->hide();
    m_noticeTimer = new QTimer(this);
    m_noticeTimer->setSingleShot(true);
    m_noticeTimer->setInterval(5000);
    connect(m_noticeTimer, &QTimer::timeout, this, [this] {
        m_notice->clear();
        showWhatIsSet();
    });

    m_linesRow = new QWidget(this);
    auto* row = new QHBoxLayout(m_linesRow);
    row->setContentsMargins(4, 4, 4, 4);
    m_lineLayout = new QVBoxLayout;
    m_lineLayout->setSpacing(0);
    row->addLayout(m_lineLayout, 1);
    auto* reset = new QPushButton(QStringLiteral("Reset"), m_linesRow);
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
    layout->addWidget(m_notice);
    layout->addWidget(m_linesRow);
    layout->addWidget(divider);
    showWhatIsSet();
}

void StatusAreaView::showNotice(const QString& text) {
    m_notice->setText(text);
    m_noticeTimer->start();
    showWhatIsSet();
}

QString StatusAreaView::notice() const {
    return m_notice->text();
}

void StatusAreaView::showWhatIsSet() {
    m_notice->setVisible(!m_notice->text().isEmpty());
    m_linesRow->setVisible(!m_lines.isEmpty());
    setVisible(!m_lines.isEmpty() || !m_notice->text().isEmpty());
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
        auto* label = new QLabel(line, m_linesRow);
        label->setObjectName(QStringLiteral("statusLine"));
        QFont caption = label->font();
        caption.setPointSizeF(caption.pointSizeF() * 0.85);
        label->setFont(caption);
        label->setForegroundRole(QPalette::PlaceholderText);
        label->setContentsMargins(6, 0, 6, 0);
        label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        label->setWordWrap(true); // a narrow sidebar wraps the line beside "Reset" rather than cut it
        m_lineLayout->addWidget(label);
    }
    showWhatIsSet();
}

} // namespace orvalet

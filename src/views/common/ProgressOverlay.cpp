#include "ProgressOverlay.h"

#include "Spinner.h"

#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace orvalet {

namespace {

constexpr double dimming = 0.25;

// The card in the middle, drawn as a rounded, slightly translucent panel.
class Card final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QColor fill = palette().color(QPalette::Window);
        fill.setAlphaF(0.94);
        QPainterPath path;
        path.addRoundedRect(QRectF(rect()), 12, 12);
        painter.fillPath(path, fill);
    }
};

} // namespace

ProgressOverlay::ProgressOverlay(QWidget* target, QWidget* parent)
    : QWidget(parent)
    , m_target(target) {
    setObjectName(QStringLiteral("progressOverlay"));
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_NoSystemBackground);

    auto* card = new Card(this);
    card->setObjectName(QStringLiteral("progressCard"));
    card->setAccessibleName(QStringLiteral("Progress"));
    auto* spinner = new Spinner(40, card);
    spinner->setObjectName(QStringLiteral("progressSpinner"));
    m_title = new QLabel(card);
    m_title->setObjectName(QStringLiteral("progressTitle"));
    m_title->setAlignment(Qt::AlignCenter);
    QFont headline = m_title->font();
    headline.setBold(true);
    m_title->setFont(headline);
    auto* message = new QLabel(QStringLiteral("Please wait while the import completes."), card);
    message->setObjectName(QStringLiteral("progressMessage"));
    message->setAlignment(Qt::AlignCenter);
    message->setForegroundRole(QPalette::PlaceholderText);

    auto* cardLayout = new QVBoxLayout(card);
    cardLayout->setSpacing(12);
    cardLayout->setContentsMargins(24, 24, 24, 24);
    cardLayout->addWidget(spinner, 0, Qt::AlignHCenter);
    cardLayout->addWidget(m_title);
    cardLayout->addWidget(message);

    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(card, 0, Qt::AlignCenter);
    layout->addStretch();

    m_target->installEventFilter(this);
    hide();
}

void ProgressOverlay::setTitle(const QString& title) {
    m_title->setText(title);
    setAccessibleName(title);
}

QString ProgressOverlay::title() const {
    return m_title->text();
}

void ProgressOverlay::cover() {
    setGeometry(m_target->geometry());
    raise();
}

void ProgressOverlay::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QColor black(Qt::black);
    black.setAlphaF(dimming);
    painter.fillRect(rect(), black);
}

bool ProgressOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_target && (event->type() == QEvent::Resize || event->type() == QEvent::Move)) {
        cover();
    }
    return QWidget::eventFilter(watched, event);
}

void ProgressOverlay::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void ProgressOverlay::keyPressEvent(QKeyEvent* event) {
    event->accept();
}

void ProgressOverlay::wheelEvent(QWheelEvent* event) {
    event->accept();
}

// What lies under the layer is disabled while it is shown, so that neither the keyboard (Tab) nor
// a screen reader can reach it either.
void ProgressOverlay::showEvent(QShowEvent* event) {
    cover();
    m_target->setEnabled(false);
    setFocus(Qt::OtherFocusReason);
    QWidget::showEvent(event);
}

void ProgressOverlay::hideEvent(QHideEvent* event) {
    m_target->setEnabled(true);
    QWidget::hideEvent(event);
}

} // namespace orvalet

#include "UpdateWindow.h"

#include "Alerts.h"
#include "Icons.h"

#include <QApplication>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalet {

UpdateWindow::UpdateWindow(QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("updateWindow"));
    setWindowTitle(QStringLiteral("Software Update"));
    setAccessibleName(QStringLiteral("Software Update"));

    m_icon = new QLabel(this);
    m_icon->setObjectName(QStringLiteral("updateIcon"));
    m_icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    m_title = new QLabel(this);
    m_title->setObjectName(QStringLiteral("updateTitle"));
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.2);
    m_title->setFont(titleFont);

    m_detail = new QLabel(this);
    m_detail->setObjectName(QStringLiteral("updateDetail"));
    m_detail->setWordWrap(true);
    m_detail->setMinimumWidth(320);
    m_detail->setTextFormat(Qt::PlainText);
    m_detail->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("updateProgress"));
    m_progress->setRange(0, 0);
    m_progress->setTextVisible(false);
    m_progress->setMinimumWidth(320);
    m_progress->setAccessibleName(QStringLiteral("Checking for updates"));

    m_download = new QPushButton(QStringLiteral("Download"), this);
    m_download->setObjectName(QStringLiteral("updateDownload"));
    connect(m_download, &QPushButton::clicked, this, [this] {
        if (Alerts::openLink(this, m_downloadUrl)) {
            accept();
        }
    });
    m_dismiss = new QPushButton(this);
    m_dismiss->setObjectName(QStringLiteral("updateDismiss"));
    connect(m_dismiss, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_dismiss);
    buttons->addWidget(m_download);

    auto* text = new QVBoxLayout;
    text->addWidget(m_title);
    text->addWidget(m_detail);
    text->addWidget(m_progress);
    text->addSpacing(8);
    text->addLayout(buttons);

    auto* layout = new QHBoxLayout(this);
    layout->addWidget(m_icon);
    layout->addLayout(text, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void UpdateWindow::showChecking() {
    m_downloadUrl.clear();
    present(State::checking, QStringLiteral("Checking for updates\u2026"), QString());
}

void UpdateWindow::showUpToDate(const QString& version) {
    m_downloadUrl.clear();
    present(State::upToDate, QStringLiteral("You're up to date."),
            QStringLiteral("Orvalet %1 is the newest version available.").arg(version));
}

void UpdateWindow::showAvailable(const QString& newVersion, const QString& currentVersion,
                                 const QUrl& downloadUrl) {
    m_downloadUrl = downloadUrl;
    m_download->setAccessibleName(QStringLiteral("Download Orvalet %1").arg(newVersion));
    m_download->setAccessibleDescription(downloadUrl.toDisplayString());
    m_download->setToolTip(downloadUrl.toDisplayString());
    present(State::available, QStringLiteral("A new version of Orvalet is available."),
            QStringLiteral("Orvalet %1 is available. You have %2.").arg(newVersion, currentVersion));
}

void UpdateWindow::showFailed(const QString& reason) {
    m_downloadUrl.clear();
    present(State::failed, QStringLiteral("Could not check for updates."), reason);
}

void UpdateWindow::present(State state, const QString& title, const QString& detail) {
    m_state = state;
    m_title->setText(title);
    m_detail->setText(detail);
    m_detail->setVisible(!detail.isEmpty());
    m_progress->setVisible(state == State::checking);
    m_download->setVisible(state == State::available);

    const bool warning = state == State::failed;
    m_icon->setPixmap(
        Icons::symbol(Alerts::symbolName(warning ? QMessageBox::Warning : QMessageBox::Information),
                      palette())
            .pixmap(QSize(48, 48), devicePixelRatioF()));
    m_icon->setAccessibleName(warning ? QStringLiteral("Warning") : QStringLiteral("Information"));

    m_dismiss->setText(state == State::checking    ? QStringLiteral("Cancel")
                       : state == State::available ? QStringLiteral("Not Now")
                                                   : QStringLiteral("OK"));
    QPushButton* preferred = state == State::available ? m_download : m_dismiss;
    m_download->setDefault(preferred == m_download);
    m_dismiss->setDefault(preferred == m_dismiss);
    preferred->setFocus();

    layout()->activate();
    // It answers the menu item of the window in front: it opens over that window.
    if (QWidget* front = QApplication::activeWindow(); !isVisible() && front && front != this) {
        QRect placed(QPoint(), size());
        placed.moveCenter(front->geometry().center());
        move(placed.topLeft());
    }
    show();
    raise();
    activateWindow();
}

} // namespace orvalet

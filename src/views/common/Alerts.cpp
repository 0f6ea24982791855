#include "Alerts.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace orvalet::Alerts {

QMessageBox* confirmDeletion(QWidget* parent, const QString& objectName, const QString& title,
                             const QString& message, std::function<void(bool confirmed)> finished,
                             const QString& confirmName, const QString& cancelName) {
    return confirmDestructive(parent, objectName, title, message, QStringLiteral("Delete"),
                              std::move(finished), confirmName, cancelName);
}

QMessageBox* confirmDestructive(QWidget* parent, const QString& objectName, const QString& title,
                                const QString& message, const QString& actionText,
                                std::function<void(bool confirmed)> finished, const QString& confirmName,
                                const QString& cancelName) {
    auto* box = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, parent);
    box->setObjectName(objectName);
    box->setAccessibleName(title);
    box->setInformativeText(message);
    QPushButton* remove = box->addButton(actionText, QMessageBox::DestructiveRole);
    remove->setObjectName(confirmName);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(cancelName);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, parent, [box, remove, finished = std::move(finished)] {
        finished(box->clickedButton() == remove);
    });
    box->open();
    return box;
}

namespace {

QMessageBox* notice(QMessageBox::Icon icon, QWidget* parent, const QString& objectName, const QString& title,
                    const QString& message, std::function<void()> finished) {
    auto* box = new QMessageBox(icon, title, title, QMessageBox::Ok, parent);
    box->setObjectName(objectName);
    box->setAccessibleName(title);
    box->setInformativeText(message);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(box, &QMessageBox::finished, parent, std::move(finished));
    box->open();
    return box;
}

} // namespace

QMessageBox* warn(QWidget* parent, const QString& objectName, const QString& title, const QString& message,
                  std::function<void()> finished) {
    return notice(QMessageBox::Warning, parent, objectName, title, message, std::move(finished));
}

QMessageBox* inform(QWidget* parent, const QString& objectName, const QString& title, const QString& message,
                    std::function<void()> finished) {
    return notice(QMessageBox::Information, parent, objectName, title, message, std::move(finished));
}

bool openLink(QWidget* parent, const QUrl& url) {
    if (QDesktopServices::openUrl(url)) {
        return true;
    }
    warn(parent, QStringLiteral("linkNotOpened"), QStringLiteral("Orvalet could not open the link"),
         url.toDisplayString() + QStringLiteral("\n\nNo application on this computer is set up to open it."),
         [] {});
    return false;
}

} // namespace orvalet::Alerts

#include "Alerts.h"

#include "Icons.h"
#include "ProminentButton.h"

#include <QApplication>
#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QUrl>

namespace orvalet::Alerts {

namespace {

void giveOwnIcon(QMessageBox* box) {
    const QString symbol = symbolName(box->icon());
    auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgboxex_icon_label"));
    if (symbol.isEmpty() || !label) {
        return;
    }
    const int side = box->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, box);
    label->setPixmap(
        Icons::symbol(symbol, box->palette()).pixmap(QSize(side, side), box->devicePixelRatioF()));
}

class OwnIcons final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::Show:
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                giveOwnIcon(box);
            }
            break;
        case QEvent::StyleChange:
        case QEvent::PaletteChange:
            // After the box has handled the change: a style change puts the style's picture back.
            if (auto* box = qobject_cast<QMessageBox*>(watched)) {
                QMetaObject::invokeMethod(
                    box, [box] { giveOwnIcon(box); }, Qt::QueuedConnection);
            }
            break;
        default:
            break;
        }
        return false;
    }
};

// Every alert reads as one: its title in bold, and room for a sentence on a line (a message box
// otherwise wraps its text at about 230 points, five lines for two sentences).
constexpr int minimumAlertWidth = 360;

QMessageBox* makeBox(QMessageBox::Icon icon, QWidget* parent, const QString& objectName, const QString& title,
                     const QString& message) {
    auto* box = new QMessageBox(icon, title, title, QMessageBox::NoButton, parent);
    box->setObjectName(objectName);
    box->setAccessibleName(title);
    box->setInformativeText(message);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (auto* heading = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont bold = heading->font();
        bold.setBold(true);
        heading->setFont(bold);
    }
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout())) {
        grid->addItem(new QSpacerItem(minimumAlertWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    }
    return box;
}

} // namespace

void useOwnIcons() {
    static QPointer<OwnIcons> filter;
    if (!filter && qApp) {
        filter = new OwnIcons(qApp);
        qApp->installEventFilter(filter);
    }
}

QString symbolName(QMessageBox::Icon icon) {
    switch (icon) {
    case QMessageBox::Information:
        return QStringLiteral("info.circle.fill");
    case QMessageBox::Warning:
        return QStringLiteral("exclamationmark.triangle.fill");
    case QMessageBox::Critical:
        return QStringLiteral("xmark.octagon.fill");
    case QMessageBox::Question:
        return QStringLiteral("questionmark.circle.fill");
    case QMessageBox::NoIcon:
        break;
    }
    return {};
}

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
    QMessageBox* box = makeBox(QMessageBox::Warning, parent, objectName, title, message);
    QPushButton* remove = box->addButton(actionText, QMessageBox::DestructiveRole);
    remove->setObjectName(confirmName);
    makeDestructive(remove);
    QPushButton* cancel = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    cancel->setObjectName(cancelName);
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QMessageBox::finished, parent, [box, remove, finished = std::move(finished)] {
        finished(box->clickedButton() == remove);
    });
    box->open();
    return box;
}

namespace {

QMessageBox* notice(QMessageBox::Icon icon, QWidget* parent, const QString& objectName, const QString& title,
                    const QString& message, std::function<void()> finished) {
    QMessageBox* box = makeBox(icon, parent, objectName, title, message);
    box->addButton(QMessageBox::Ok);
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

QMessageBox* askToSave(QPointer<QMessageBox>& asking, QWidget* parent, const QString& title,
                       const QString& message, const QString& saveText, SaveChoices choices,
                       std::function<void(bool leave)> answered) {
    if (asking && asking->isVisible()) {
        asking->activateWindow();
        answered(false);
        return asking;
    }
    QMessageBox* box =
        makeBox(QMessageBox::Question, parent, QStringLiteral("saveChangesQuestion"), title, message);
    box->setAccessibleDescription(message);
    const auto add = [box](const QString& text, QMessageBox::ButtonRole role, const QString& objectName) {
        // A screen reader reads the name, never a mnemonic's ampersand; the text shows one as typed.
        QPushButton* button = box->addButton(QString(text).replace(u'&', QStringLiteral("&&")), role);
        button->setObjectName(objectName);
        button->setAccessibleName(text);
        return button;
    };
    QPushButton* save = add(saveText, QMessageBox::AcceptRole, QStringLiteral("answerSave"));
    QPushButton* dontSave =
        add(QStringLiteral("Don't Save"), QMessageBox::DestructiveRole, QStringLiteral("answerDontSave"));
    QPushButton* cancel =
        add(QStringLiteral("Cancel"), QMessageBox::RejectRole, QStringLiteral("answerCancel"));
    box->setDefaultButton(save);
    box->setEscapeButton(cancel);
    QObject::connect(box, &QMessageBox::finished, parent,
                     [box, save, dontSave, choices = std::move(choices), answered = std::move(answered)] {
                         if (box->clickedButton() == save) {
                             choices.save(answered);
                         } else if (box->clickedButton() == dontSave) {
                             choices.discard();
                             answered(true);
                         } else {
                             answered(false);
                         }
                     });
    box->open();
    asking = box;
    return box;
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

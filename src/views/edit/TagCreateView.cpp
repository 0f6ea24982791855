#include "TagCreateView.h"

#include "Alerts.h"
#include "EditRules.h"
#include "ErrorRow.h"
#include "LiveStatus.h"
#include "ParentPicker.h"
#include "ProminentButton.h"
#include "Spinner.h"
#include "TagCreator.h"
#include "TagStore.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalet {

TagCreateView::TagCreateView(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                             TagPtr presetParent, QWidget* parent)
    : QDialog(parent)
    , m_store(store)
    , m_creator(new TagCreator(store, preferences, worker, std::move(presetParent), this)) {
    setObjectName(QStringLiteral("tagCreateSheet"));
    setWindowTitle(TagCreator::title());
    setAccessibleName(TagCreator::title());
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumWidth(380);

    auto* heading = new QLabel(TagCreator::title(), this);
    heading->setObjectName(QStringLiteral("sheetTitle"));
    QFont headingFont = heading->font();
    headingFont.setBold(true);
    headingFont.setPointSizeF(headingFont.pointSizeF() * 1.2);
    heading->setFont(headingFont);

    m_error = new ErrorRow(this);
    connect(m_error, &ErrorRow::dismissed, m_creator, &TagCreator::dismissError);

    m_form = new QWidget(this);
    auto* tagSection = new QGroupBox(QStringLiteral("Tag"), m_form);
    tagSection->setObjectName(QStringLiteral("tagSection"));
    tagSection->setAccessibleName(QStringLiteral("Tag"));
    m_name = new QLineEdit(tagSection);
    m_name->setObjectName(QStringLiteral("nameField"));
    m_name->setAccessibleName(QStringLiteral("Name"));
    auto* tagForm = new QFormLayout(tagSection);
    tagForm->addRow(QStringLiteral("Name"), m_name);
    connect(m_name, &QLineEdit::textChanged, m_creator, &TagCreator::setName);

    auto* parentSection = new QGroupBox(QStringLiteral("Parent"), m_form);
    parentSection->setObjectName(QStringLiteral("parentSection"));
    parentSection->setAccessibleName(QStringLiteral("Parent"));
    m_parent = new ParentPicker(parentSection);
    auto* parentForm = new QFormLayout(parentSection);
    parentForm->addRow(QStringLiteral("Parent Tag"), m_parent);
    connect(m_parent, &ParentPicker::chosen, m_creator, &TagCreator::setSelectedParentId);

    auto* formLayout = new QVBoxLayout(m_form);
    formLayout->setContentsMargins(0, 0, 0, 0);
    formLayout->addWidget(tagSection);
    formLayout->addWidget(parentSection);

    m_spinner = new Spinner(16, this);
    m_spinner->setObjectName(QStringLiteral("creatingIndicator"));
    m_spinner->setAccessibleName(QStringLiteral("Creating…"));
    m_creating = new LiveStatus(this); // heard as the creation starts
    m_creating->setObjectName(QStringLiteral("creatingLabel"));
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &TagCreateView::reject);
    m_create = new QPushButton(QStringLiteral("Create Tag"), this);
    m_create->setObjectName(QStringLiteral("createTagButton"));
    m_create->setDefault(true);
    makeProminent(m_create);
    connect(m_create, &QPushButton::clicked, m_creator, [this] { m_creator->submitNewTag(); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_spinner);
    buttons->addWidget(m_creating);
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_create);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(m_error);
    layout->addWidget(m_form);
    layout->addStretch();
    layout->addLayout(buttons);

    connect(m_creator, &TagCreator::changed, this, &TagCreateView::update);
    connect(m_creator, &TagCreator::closeRequested, this, [this] {
        m_closing = true;
        done(QDialog::Rejected);
    });
    // The picker lists every stored tag when it opens; only a store change can change its entries.
    const auto offerChoices = [this] {
        const TagCreator* creator = m_creator;
        m_parent->setChoices(EditRules::noParentLabel(), {[creator] { return creator->parentChoices(); },
                                                          [creator](const QString& id) {
                                                              return creator->parentChoice(id);
                                                          }});
    };
    offerChoices();
    connect(&m_store, &TagStore::changed, this, offerChoices);
    update();
    m_name->setFocus();
}

void TagCreateView::reject() {
    if (m_closing) {
        QDialog::reject();
        return;
    }
    m_creator->cancel();
}

bool TagCreateView::hasUnsavedChanges() const {
    return m_creator->hasUnsavedChanges();
}

void TagCreateView::askToSaveChanges(std::function<void(bool leave)> answered) {
    if (!hasUnsavedChanges()) {
        answered(true);
        return;
    }
    Alerts::askToSave(
        m_saveQuestion, this, m_creator->saveQuestion(), TagCreator::unsavedNameMessage(), m_create->text(),
        {[this](std::function<void(bool)> done) { m_creator->createBeforeLeaving(std::move(done)); },
         [this] {
             m_creator->cancel();
         }},
        std::move(answered));
}

void TagCreateView::update() {
    if (m_name->text() != m_creator->name()) {
        m_name->setText(m_creator->name());
    }
    m_parent->setSelectedId(m_creator->selectedParentId());
    m_error->setMessage(m_creator->errorMessage());
    m_form->setEnabled(m_creator->isFormEnabled());
    m_spinner->setVisible(m_creator->isCreating());
    if (m_creator->isCreating() && m_creating->isHidden()) {
        m_creating->announce(QStringLiteral("Creating…"));
    } else if (!m_creator->isCreating() && !m_creating->isHidden()) {
        m_creating->withdraw();
    }
    m_create->setEnabled(m_creator->canCreate());
    if (m_creator->isFormEnabled() && !focusWidget()) {
        m_name->setFocus();
    }
    if (m_creator->showsDuplicateNameAlert() && !m_alert) {
        showDuplicateNameAlert();
    } else if (m_creator->showsImportedExistingAlert() && !m_alert) {
        showImportedAlert();
    }
}

void TagCreateView::showDuplicateNameAlert() {
    // A warning about the name typed, as the editor's for the same mistake.
    m_alert = Alerts::warn(this, QStringLiteral("duplicateNameAlert"), EditRules::duplicateNameAlertTitle(),
                           QString(), [this] {
                               m_alert = nullptr; // a new alert may open before this one is deleted
                               m_creator->dismissDuplicateNameAlert();
                           });
}

void TagCreateView::showImportedAlert() {
    m_alert = Alerts::inform(this, QStringLiteral("importedExistingAlert"), TagCreator::importedAlertTitle(),
                             TagCreator::importedAlertMessage(), [this] {
                                 m_alert = nullptr;
                                 m_creator->dismissImportedExistingAlert();
                             });
}

} // namespace orvalet

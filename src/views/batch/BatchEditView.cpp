#include "BatchEditView.h"

#include "Alerts.h"
#include "BatchResultSheet.h"
#include "BusyToolButton.h"
#include "EditRules.h"
#include "FormWidth.h"
#include "Icons.h"
#include "ParentPicker.h"
#include "ProminentButton.h"
#include "TagListModel.h"
#include "TagRowDelegate.h"
#include "TagStore.h"

#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalet {

namespace {

constexpr int barHorizontalInset = 16;
constexpr int barVerticalInset = 12;

QString rowSpokenText(const BatchEditor::SelectedRow& row) {
    return row.ancestorPath ? row.tag->name() + QStringLiteral(", ") + *row.ancestorPath : row.tag->name();
}

} // namespace

BatchEditView::BatchEditView(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                             QList<TagPtr> selectedTags, BatchEditor::DoneCallback onDone,
                             BatchEditor::RefreshingCallback onRefreshingChanged, QWidget* parent)
    : QWidget(parent) {
    setObjectName(QStringLiteral("batchEditor"));
    setAccessibleName(BatchEditor::title());
    // Connected before the editor connects its own `changed` to the store's, so that the mark is
    // set when the editor's announcement of the same change makes the pane re-read.
    connect(&store, &TagStore::changed, this, [this] { m_choicesStale = true; });
    m_editor = new BatchEditor(store, preferences, worker, std::move(selectedTags), std::move(onDone),
                               std::move(onRefreshingChanged), this);
    build();
    connect(m_editor, &BatchEditor::changed, this, &BatchEditView::refresh);
    refresh();
}

void BatchEditView::build() {
    auto* title = new QLabel(BatchEditor::title(), this);
    title->setObjectName(QStringLiteral("batchTitle"));
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    title->setFont(titleFont);

    m_selectedSection = new QGroupBox(this);
    m_selectedSection->setObjectName(QStringLiteral("selectedTagsSection"));
    m_rows = new QListWidget(m_selectedSection);
    m_rows->setObjectName(QStringLiteral("selectedTags"));
    m_rows->setItemDelegate(new TagRowDelegate(TagRowDelegate::Rows::list, m_rows));
    m_rows->setUniformItemSizes(false); // rows with an ancestor path are taller
    m_rows->setSelectionMode(QAbstractItemView::NoSelection);
    m_rows->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* selectedLayout = new QVBoxLayout(m_selectedSection);
    selectedLayout->addWidget(m_rows);

    auto* parentSection = new QGroupBox(BatchEditor::newParentHeader(), this);
    parentSection->setObjectName(QStringLiteral("newParentSection"));
    parentSection->setAccessibleName(BatchEditor::newParentHeader());
    m_parentPicker = new ParentPicker(parentSection);
    connect(m_parentPicker, &ParentPicker::chosen, m_editor, &BatchEditor::setSelectedParentId);
    auto* parentLayout = new QFormLayout(parentSection);
    auto* pickerLabel = new QLabel(BatchEditor::parentPickerLabel(), parentSection);
    pickerLabel->setBuddy(m_parentPicker);
    parentLayout->addRow(pickerLabel, m_parentPicker);

    auto* formBox = new QWidget(this);
    formBox->setObjectName(QStringLiteral("batchForm"));
    auto* form = new QVBoxLayout(formBox);
    form->setContentsMargins(16, 16, 16, 12);
    form->setSpacing(12);
    form->addWidget(title);
    form->addWidget(m_selectedSection, 1);
    form->addWidget(parentSection);

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);

    m_deleteButton =
        new QPushButton(Icons::symbol(BatchEditor::deleteSymbol()), BatchEditor::deleteLabel(), this);
    m_deleteButton->setObjectName(QStringLiteral("batchDelete"));
    m_deleteButton->setAutoDefault(false);
    makeDestructive(m_deleteButton);
    connect(m_deleteButton, &QPushButton::clicked, this, [this] { m_editor->requestDelete(); });

    m_refreshButton = new BusyToolButton(this);
    m_refreshButton->setObjectName(QStringLiteral("batchRefresh"));
    m_refreshButton->setIcon(Icons::symbol(BatchEditor::refreshSymbol()));
    m_refreshButton->setText(BatchEditor::refreshLabel());
    m_refreshButton->setAccessibleName(BatchEditor::refreshLabel());
    m_refreshButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_refreshButton->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    connect(m_refreshButton, &QToolButton::clicked, this, [this] { m_editor->refreshFromThings(); });

    m_saveButton = new QPushButton(BatchEditor::saveLabel(), this);
    m_saveButton->setObjectName(QStringLiteral("batchSave"));
    m_saveButton->setDefault(true);
    makeProminent(m_saveButton);
    connect(m_saveButton, &QPushButton::clicked, this, [this] { m_editor->saveChanges(); });

    m_clearShortcutsButton = new QPushButton(BatchEditor::clearShortcutsLabel(), this);
    m_clearShortcutsButton->setObjectName(QStringLiteral("batchClearShortcuts"));
    m_clearShortcutsButton->setAccessibleName(BatchEditor::clearShortcutsLabel());
    m_clearShortcutsButton->setAccessibleDescription(
        QStringLiteral("Take the keyboard shortcut off every selected tag"));
    m_clearShortcutsButton->setAutoDefault(false);
    connect(m_clearShortcutsButton, &QPushButton::clicked, this, [this] { m_editor->clearShortcuts(); });

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(barHorizontalInset, barVerticalInset, barHorizontalInset, barVerticalInset);
    bar->addWidget(m_deleteButton);
    bar->addWidget(m_clearShortcutsButton);
    bar->addStretch();
    bar->addWidget(m_refreshButton);
    bar->addStretch();
    bar->addWidget(m_saveButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(centredForm(formBox), 1);
    layout->addWidget(separator);
    layout->addLayout(bar);
}

void BatchEditView::setSelectedTags(QList<TagPtr> tags) {
    if (tags == m_editor->selectedTags()) {
        return; // the window re-reads its selection on every store change
    }
    m_choicesStale = true;
    m_editor->setSelectedTags(std::move(tags));
}

void BatchEditView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh(); // a dialog asked for while the pane was not on screen
}

void BatchEditView::refresh() {
    const bool busy = m_editor->isBusy();
    setEnabled(!busy);
    m_deleteButton->setEnabled(m_editor->canDelete());
    m_refreshButton->setEnabled(m_editor->canRefresh());
    m_refreshButton->setBusy(m_editor->isRefreshing());
    m_saveButton->setEnabled(m_editor->canSave());
    m_clearShortcutsButton->setEnabled(m_editor->canClearShortcuts());

    const QString header = m_editor->selectedTagsHeader();
    m_selectedSection->setTitle(header);
    m_selectedSection->setAccessibleName(header);
    m_rows->setAccessibleName(header);
    refreshRows();
    // Every tag a run moves changes the store; the choices wait until the run is over, as the
    // picker cannot be used before.
    if (m_choicesStale && !busy) {
        refreshParentChoices();
    }
    // A choice not offered (a parent no longer stored, or now selected) shows no entry.
    m_parentPicker->setSelectedId(m_editor->selectedParentId());

    // A pane that is not on screen (the window is replacing it) opens no dialog.
    if (!isVisible()) {
        return;
    }
    if (m_editor->showDeleteConfirmation() && !m_confirmation) {
        showDeleteConfirmation();
    }
    if (m_editor->showResult() && !m_resultSheet) {
        showResult();
    }
}

void BatchEditView::refreshRows() {
    const QList<BatchEditor::SelectedRow> rows = m_editor->selectedRows();
    if (m_rows->count() != rows.size()) {
        m_rows->clear();
        for (qsizetype i = 0; i < rows.size(); ++i) {
            new QListWidgetItem(m_rows);
        }
    }
    // Items whose values did not change stay as they are.
    for (qsizetype i = 0; i < rows.size(); ++i) {
        const BatchEditor::SelectedRow& row = rows[i];
        QListWidgetItem* item = m_rows->item(int(i));
        item->setData(Qt::DisplayRole, row.tag->name());
        item->setData(TagListModel::TagIdRole, row.tag->id());
        item->setData(TagListModel::AncestorPathRole, row.ancestorPath.value_or(QString()));
        item->setData(Qt::AccessibleTextRole, rowSpokenText(row));
    }
}

void BatchEditView::refreshParentChoices() {
    m_choicesStale = false;
    m_parentPicker->setChoices(BatchEditor::noParentLabel(), {[this] {
                                                                  ++m_parentChoiceReads;
                                                                  return m_editor->parentChoices();
                                                              },
                                                              [this](const QString& id) {
                                                                  return m_editor->parentChoice(id);
                                                              }});
}

void BatchEditView::showDeleteConfirmation() {
    m_confirmation = Alerts::confirmDeletion(
        this, QStringLiteral("batchDeleteConfirmation"), m_editor->deleteConfirmationTitle(),
        m_editor->deleteConfirmationMessage(),
        [this](bool confirmed) {
            m_confirmation.clear(); // the box goes later; "Delete" may be pressed again before
            if (confirmed) {
                m_editor->confirmDelete();
            } else {
                m_editor->cancelDelete();
            }
        },
        QStringLiteral("confirmBatchDelete"), QStringLiteral("cancelBatchDelete"));
}

void BatchEditView::askToSaveChanges(std::function<void(bool leave)> answered) {
    if (!hasUnsavedChanges()) {
        answered(true);
        return;
    }
    Alerts::askToSave(
        m_saveQuestion, this, m_editor->saveChangesQuestion(), EditRules::unsavedChangesMessage(),
        QStringLiteral("Save"),
        {[this](std::function<void(bool)> done) { m_editor->saveBeforeLeaving(std::move(done)); },
         [this] {
             m_editor->discardChanges();
         }},
        std::move(answered));
}

void BatchEditView::showResult() {
    // The editor may call onDone, which discards this pane: nothing of it is touched afterwards.
    m_resultSheet = BatchResultSheet::openOver(this, m_editor->resultState(), [this] {
        m_resultSheet.clear();
        m_editor->dismissResult();
    });
}

} // namespace orvalet

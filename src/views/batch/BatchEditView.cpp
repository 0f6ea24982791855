#include "BatchEditView.h"

#include "BatchResultSheet.h"
#include "BusyToolButton.h"
#include "Icons.h"
#include "TagListModel.h"
#include "TagRowDelegate.h"
#include "TagStore.h"

#include <QAbstractListModel>
#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QProxyStyle>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalet {

namespace {

// The picker's entry for "no parent" is the first; its separator the second.
constexpr int noParentRow = 0;
constexpr int firstChoiceRow = 2;
constexpr int barHorizontalInset = 16;
constexpr int barVerticalInset = 12;

// Colours a button for the active and inactive window only, so that a disabled button keeps the
// style's disabled look.
void colourButton(QWidget* button, QPalette::ColorRole role, const QColor& color) {
    QPalette palette = button->palette();
    palette.setColor(QPalette::Active, role, color);
    palette.setColor(QPalette::Inactive, role, color);
    button->setPalette(palette);
}

// Opens a picker as a scrolling list below it, whatever the desktop's style does by default.
class ListPopupStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returned) const override {
        return hint == SH_ComboBox_Popup ? 0 : QProxyStyle::styleHint(hint, option, widget, returned);
    }
};

QString rowSpokenText(const BatchEditor::SelectedRow& row) {
    return row.ancestorPath ? row.tag->name() + QStringLiteral(", ") + *row.ancestorPath : row.tag->name();
}

} // namespace

// The picker's entries: "None", the separator, then the choices, each an identifier and a name. A
// list model over one list, so that 100,000 choices make no item objects of their own.
class ParentChoiceModel final : public QAbstractListModel {
public:
    using Choices = QList<std::pair<QString, QString>>;
    using QAbstractListModel::QAbstractListModel;

    const Choices& choices() const { return m_choices; }
    void setChoices(Choices choices) {
        beginResetModel();
        m_choices = std::move(choices);
        endResetModel();
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : firstChoiceRow + int(m_choices.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const int row = index.row();
        if (row == noParentRow) {
            return role == Qt::DisplayRole || role == Qt::AccessibleTextRole
                       ? QVariant(BatchEditor::noParentLabel())
                       : QVariant();
        }
        if (row < firstChoiceRow) {
            // The mark by which the picker draws a separator.
            return role == Qt::AccessibleDescriptionRole ? QVariant(QStringLiteral("separator")) : QVariant();
        }
        const std::pair<QString, QString>& choice = m_choices.at(row - firstChoiceRow);
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return choice.second;
        case Qt::UserRole:
            return choice.first;
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        return index.row() == noParentRow || index.row() >= firstChoiceRow
                   ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren
                   : Qt::NoItemFlags;
    }

private:
    Choices m_choices;
};

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
    m_rows->setItemDelegate(new TagRowDelegate(m_rows));
    m_rows->setUniformItemSizes(true);
    m_rows->setSelectionMode(QAbstractItemView::NoSelection);
    m_rows->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* selectedLayout = new QVBoxLayout(m_selectedSection);
    selectedLayout->addWidget(m_rows);

    auto* parentSection = new QGroupBox(BatchEditor::newParentHeader(), this);
    parentSection->setObjectName(QStringLiteral("newParentSection"));
    parentSection->setAccessibleName(BatchEditor::newParentHeader());
    m_parentPicker = new QComboBox(parentSection);
    m_parentPicker->setObjectName(QStringLiteral("parentPicker"));
    m_parentPicker->setAccessibleName(BatchEditor::parentPickerLabel());
    // Sizing the picker to its entries would measure every stored tag's name.
    m_parentPicker->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_parentPicker->setMinimumContentsLength(20);
    m_parentPicker->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    // A scrolling list of 16 entries rather than a menu as tall as the screen, which the style would
    // size by measuring every entry.
    auto* pickerStyle = new ListPopupStyle(QApplication::style()->name());
    pickerStyle->setParent(m_parentPicker);
    m_parentPicker->setStyle(pickerStyle);
    m_parentPicker->setMaxVisibleItems(16);
    m_choiceModel = new ParentChoiceModel(m_parentPicker);
    m_parentPicker->setModel(m_choiceModel);
    // Rows of one height: the popup then lays out 100,000 entries without measuring each.
    if (auto* popupList = qobject_cast<QListView*>(m_parentPicker->view())) {
        popupList->setUniformItemSizes(true);
        popupList->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    }
    connect(m_parentPicker, &QComboBox::activated, this, &BatchEditView::parentChosen);
    auto* parentLayout = new QFormLayout(parentSection);
    auto* pickerLabel = new QLabel(BatchEditor::parentPickerLabel(), parentSection);
    pickerLabel->setBuddy(m_parentPicker);
    parentLayout->addRow(pickerLabel, m_parentPicker);

    auto* form = new QVBoxLayout;
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
    colourButton(m_deleteButton, QPalette::ButtonText, QColor(0xd9, 0x30, 0x25));
    connect(m_deleteButton, &QPushButton::clicked, m_editor, &BatchEditor::requestDelete);

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
    colourButton(m_saveButton, QPalette::Button, palette().color(QPalette::Highlight));
    colourButton(m_saveButton, QPalette::ButtonText, palette().color(QPalette::HighlightedText));
    connect(m_saveButton, &QPushButton::clicked, this, [this] { m_editor->saveChanges(); });

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(barHorizontalInset, barVerticalInset, barHorizontalInset, barVerticalInset);
    bar->addWidget(m_deleteButton);
    bar->addStretch();
    bar->addWidget(m_refreshButton);
    bar->addStretch();
    bar->addWidget(m_saveButton);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addLayout(form, 1);
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
    showParentChoice();

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
    const QList<TagPtr> tags = m_editor->parentChoices();
    ParentChoiceModel::Choices choices;
    choices.reserve(tags.size());
    for (const TagPtr& tag : tags) {
        choices.append({tag->id(), tag->name()});
    }
    if (choices == m_choiceModel->choices() && m_parentChoiceBuilds > 0) {
        return; // an open picker stays open where the user is
    }
    ++m_parentChoiceBuilds;
    m_choiceRows.clear();
    m_choiceRows.reserve(choices.size());
    for (qsizetype i = 0; i < choices.size(); ++i) {
        m_choiceRows.insert(choices[i].first, firstChoiceRow + int(i));
    }
    m_choiceModel->setChoices(std::move(choices));
}

void BatchEditView::showParentChoice() {
    const std::optional<QString>& chosen = m_editor->selectedParentId();
    // A choice not offered (a parent no longer stored, or now selected) shows no entry.
    const int row = chosen ? m_choiceRows.value(*chosen, -1) : noParentRow;
    if (m_parentPicker->currentIndex() != row) {
        m_parentPicker->setCurrentIndex(row);
    }
}

void BatchEditView::parentChosen(int index) {
    if (index == noParentRow) {
        m_editor->setSelectedParentId(std::nullopt);
    } else if (index >= firstChoiceRow) {
        m_editor->setSelectedParentId(m_parentPicker->itemData(index, Qt::UserRole).toString());
    }
}

void BatchEditView::showDeleteConfirmation() {
    const QString title = m_editor->deleteConfirmationTitle();
    auto* box = new QMessageBox(QMessageBox::Warning, title, title, QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("batchDeleteConfirmation"));
    box->setAccessibleName(title);
    box->setInformativeText(BatchEditor::deleteConfirmationMessage());
    QPushButton* remove = box->addButton(BatchEditor::deleteLabel(), QMessageBox::DestructiveRole);
    remove->setObjectName(QStringLiteral("confirmBatchDelete"));
    QPushButton* cancel = box->addButton(BatchEditor::cancelLabel(), QMessageBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cancelBatchDelete"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [this, box, remove] {
        m_confirmation.clear(); // the box goes later; "Delete" may be pressed again before
        if (box->clickedButton() == remove) {
            m_editor->confirmDelete();
        } else {
            m_editor->cancelDelete();
        }
    });
    m_confirmation = box;
    box->open();
}

void BatchEditView::showResult() {
    auto* sheet = new BatchResultSheet(m_editor->resultState(), this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    // "OK", Return and Escape all end here. The editor may call onDone, which discards this pane:
    // nothing of it is touched afterwards.
    connect(sheet, &QDialog::finished, this, [this] {
        m_resultSheet.clear();
        m_editor->dismissResult();
    });
    m_resultSheet = sheet;
    sheet->open();
}

} // namespace orvalet

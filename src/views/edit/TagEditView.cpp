#include "TagEditView.h"

#include "Alerts.h"
#include "BusyToolButton.h"
#include "EditRules.h"
#include "ErrorRow.h"
#include "FormWidth.h"
#include "Icons.h"
#include "LiveStatus.h"
#include "MergeView.h"
#include "ParentPicker.h"
#include "Preferences.h"
#include "ProminentButton.h"
#include "TagCreateView.h"
#include "TagStore.h"

#include <QAccessible>
#include <QApplication>
#include <QDesktopServices>
#include <QFormLayout>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace orvalet {

namespace {

// How often the update line's "5 minutes ago" is worked out again while the pane is shown.
constexpr int updateLineInterval = 5000;

const QString shortcutHelp =
    QStringLiteral("One character; Control and the key toggles the tag on a to-do in Things 3");

QLabel* captionLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// A button drawn as text only, like a link in a form.
QPushButton* borderlessButton(const QString& text, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(QStringLiteral("QPushButton { text-align: left; padding: 2px 4px; }"));
    return button;
}

} // namespace

TagEditView::TagEditView(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr tag,
                         TagEditor::DeletedCallback onDeleted, TagEditor::SelectedCallback onSelected,
                         TagEditor::RefreshingChangedCallback onRefreshingChanged, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_worker(worker)
    , m_editor(new TagEditor(store, preferences, worker, std::move(tag), std::move(onDeleted),
                             std::move(onSelected), std::move(onRefreshingChanged), this)) {
    setObjectName(QStringLiteral("tagEditor"));

    m_updateLine = captionLabel(this);
    m_updateLine->setObjectName(QStringLiteral("updateLine"));
    m_updateLine->setContentsMargins(8, 8, 8, 8);
    m_updateLineTimer.setInterval(updateLineInterval);
    connect(&m_updateLineTimer, &QTimer::timeout, this, &TagEditView::updateUpdateLine);

    m_form = new QWidget;
    m_form->setObjectName(QStringLiteral("editorForm"));
    m_form->setMaximumWidth(maximumFormWidth);
    m_error = new ErrorRow(m_form);
    connect(m_error, &ErrorRow::dismissed, m_editor, &TagEditor::dismissError);
    auto* formLayout = new QVBoxLayout(m_form);
    formLayout->addWidget(m_error);
    formLayout->addWidget(buildDetails());
    formLayout->addWidget(buildChildren());
    formLayout->addStretch();

    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("editorScroll"));
    scroll->setFocusPolicy(Qt::NoFocus); // a container, not a stop of its own
    scroll->setAccessibleName(QStringLiteral("Tag details"));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(m_form);
    scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop); // a wide pane centres the form

    auto* divider = new QFrame(this);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Sunken);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_updateLine);
    layout->addWidget(scroll, 1);
    layout->addWidget(divider);
    layout->addWidget(buildActionBar());

    auto* save = new QShortcut(QKeySequence::Save, this);
    save->setContext(Qt::WidgetWithChildrenShortcut);
    connect(save, &QShortcut::activated, this, [this] {
        if (m_editor->canSave()) {
            m_editor->saveChanges();
        }
    });

    // The parent choices and the children are the costly part of a redraw (both read every stored
    // tag): only a store change, a display preference or another tag in the pane changes them, not
    // typing in the name field.
    connect(&m_store, &TagStore::changed, this, [this] {
        updateChoices();
        updateChildren();
    });
    connect(&preferences, &Preferences::changed, this, &TagEditView::updateChildren);
    connect(m_editor, &TagEditor::changed, this, &TagEditView::update);
    update();
    updateTabOrder();
}

QWidget* TagEditView::buildDetails() {
    auto* section = new QGroupBox(QStringLiteral("Details"), m_form);
    section->setObjectName(QStringLiteral("detailsSection"));
    section->setAccessibleName(QStringLiteral("Details"));

    m_name = new QLineEdit(section);
    m_name->setObjectName(QStringLiteral("nameField"));
    m_name->setAccessibleName(QStringLiteral("Name"));
    connect(m_name, &QLineEdit::textChanged, m_editor, &TagEditor::setNameField);
    connect(m_name, &QLineEdit::returnPressed, this, [this] {
        if (m_editor->canSave()) {
            m_editor->saveChanges();
        }
    });

    m_parent = new ParentPicker(section);
    connect(m_parent, &ParentPicker::chosen, m_editor, &TagEditor::setSelectedParentId);

    // One key: what is typed replaces the key there was, so a user never has to clear it first.
    m_shortcut = new QLineEdit(section);
    m_shortcut->setObjectName(QStringLiteral("shortcutField"));
    m_shortcut->setAccessibleName(TagEditor::shortcutLabel());
    m_shortcut->setAccessibleDescription(shortcutHelp);
    m_shortcut->setMaximumWidth(m_shortcut->fontMetrics().horizontalAdvance(u'M') * 6);
    connect(m_shortcut, &QLineEdit::textEdited, this, [this](const QString& text) {
        // The last character typed, a surrogate pair kept whole.
        const bool pair =
            text.size() >= 2 && text.back().isLowSurrogate() && text[text.size() - 2].isHighSurrogate();
        const QString key = text.size() > (pair ? 2 : 1) ? text.last(pair ? 2 : 1) : text;
        if (key != text) {
            m_shortcut->setText(key);
        }
        m_editor->setShortcutField(key);
    });
    connect(m_shortcut, &QLineEdit::returnPressed, this, [this] {
        if (m_editor->canSave()) {
            m_editor->saveChanges();
        }
    });

    auto* viewParent = new QPushButton(QStringLiteral("View"), section);
    viewParent->setObjectName(QStringLiteral("viewParent"));
    viewParent->setAccessibleDescription(QStringLiteral("Select the chosen parent tag in the list"));
    connect(viewParent, &QPushButton::clicked, m_editor, &TagEditor::viewSelectedParent);
    m_viewParentRow = viewParent;

    m_save = new BusyPushButton(QStringLiteral("Save Changes"), section);
    m_save->setObjectName(QStringLiteral("saveChanges"));
    m_save->setDefault(true);
    makeProminent(m_save);
    m_save->setToolTip(QStringLiteral("Save Changes (%1)")
                           .arg(QKeySequence(QKeySequence::Save).toString(QKeySequence::NativeText)));
    connect(m_save, &QPushButton::clicked, this, [this] { m_editor->saveChanges(); });

    // "View" sits beside the picker; "Save Changes" closes the section on the right.
    auto* parentRow = new QHBoxLayout;
    parentRow->addWidget(m_parent, 1);
    parentRow->addWidget(viewParent);
    m_saveStatus = new LiveStatus(section);
    m_saveStatus->setObjectName(QStringLiteral("saveStatus"));
    auto* saveRow = new QHBoxLayout;
    saveRow->addStretch();
    saveRow->addWidget(m_saveStatus);
    saveRow->addWidget(m_save);
    // The labels are the fields' buddies, so a screen reader names each field by its label.
    auto* form = new QFormLayout(section);
    auto* nameLabel = new QLabel(QStringLiteral("Name"), section);
    nameLabel->setBuddy(m_name);
    form->addRow(nameLabel, m_name);
    auto* parentLabel = new QLabel(QStringLiteral("Parent Tag"), section);
    parentLabel->setBuddy(m_parent);
    form->addRow(parentLabel, parentRow);
    auto* shortcutLabel = new QLabel(TagEditor::shortcutLabel(), section);
    shortcutLabel->setBuddy(m_shortcut);
    // Why a typed key will not be saved, right under it; hidden while the key can be sent.
    m_shortcutProblem = captionLabel(section);
    m_shortcutProblem->setObjectName(QStringLiteral("shortcutProblem"));
    m_shortcutProblem->setText(TagEditor::shortcutProblem());
    m_shortcutProblem->setForegroundRole(QPalette::WindowText);
    m_shortcutProblem->setWordWrap(true);
    m_shortcutProblem->hide();
    auto* shortcutColumn = new QVBoxLayout;
    shortcutColumn->setSpacing(2);
    shortcutColumn->addWidget(m_shortcut, 0, Qt::AlignLeft); // narrow, while the reason takes the row
    shortcutColumn->addWidget(m_shortcutProblem);
    form->addRow(shortcutLabel, shortcutColumn);
    form->addRow(saveRow);
    return section;
}

QWidget* TagEditView::buildChildren() {
    auto* section = new QGroupBox(QStringLiteral("Children"), m_form);
    section->setObjectName(QStringLiteral("childrenSection"));
    section->setAccessibleName(QStringLiteral("Children"));

    m_addChild = new QToolButton(section);
    m_addChild->setObjectName(QStringLiteral("addChildTag"));
    m_addChild->setIcon(Icons::symbol(QStringLiteral("plus.circle")));
    m_addChild->setAccessibleName(QStringLiteral("New Child Tag"));
    m_addChild->setToolTip(QStringLiteral("Create a child tag of this tag"));
    m_addChild->setAutoRaise(true);
    connect(m_addChild, &QToolButton::clicked, m_editor, &TagEditor::showCreateSheet);

    m_noChildren = new QLabel(TagEditor::noChildrenText(), section);
    m_noChildren->setObjectName(QStringLiteral("noChildTags"));
    m_noChildren->setForegroundRole(QPalette::PlaceholderText);

    auto* header = new QHBoxLayout;
    header->addStretch();
    header->addWidget(m_addChild);
    m_childRows = new QVBoxLayout;
    m_childRows->setSpacing(0);
    auto* layout = new QVBoxLayout(section);
    layout->addLayout(header);
    layout->addWidget(m_noChildren);
    layout->addLayout(m_childRows);
    return section;
}

QWidget* TagEditView::buildActionBar() {
    m_actionBar = new QWidget(this);
    m_actionBar->setObjectName(QStringLiteral("actionBar"));
    m_actionBar->setAccessibleName(QStringLiteral("Tag actions"));

    m_delete =
        new BusyPushButton(Icons::symbol(QStringLiteral("trash")), QStringLiteral("Delete"), m_actionBar);
    m_delete->setObjectName(QStringLiteral("deleteTag"));
    m_delete->setToolTip(QStringLiteral("Delete this tag and all its child tags"));
    makeDestructive(m_delete);
    connect(m_delete, &QPushButton::clicked, this, [this] { m_editor->requestDelete(); });

    m_refresh = new BusyToolButton(m_actionBar);
    m_refresh->setObjectName(QStringLiteral("updateFromThings"));
    m_refresh->setText(QStringLiteral("Update from Things"));
    m_refresh->setAccessibleName(m_refresh->text());
    m_refresh->setIcon(Icons::symbol(QStringLiteral("arrow.clockwise")));
    m_refresh->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    connect(m_refresh, &QToolButton::clicked, this, [this] { m_editor->refreshFromThings(); });

    m_viewInThings = new QPushButton(Icons::symbol(QStringLiteral("arrow.up.right.square")),
                                     QStringLiteral("View in Things"), m_actionBar);
    m_viewInThings->setObjectName(QStringLiteral("viewInThings"));
    connect(m_viewInThings, &QPushButton::clicked, this, [this] {
        if (const std::optional<QUrl> url = m_editor->openInThings()) {
            Alerts::openLink(this, *url);
        }
    });

    auto* merge = m_merge =
        new QPushButton(Icons::symbol(u"arrow.triangle.merge"_qs), u"Merge Into\u2026"_qs, m_actionBar);
    merge->setObjectName(u"mergeInto"_qs);
    connect(merge, &QPushButton::clicked, this, [this] {
        (new MergeView(m_store, m_editor->preferences(), m_worker, m_editor->tag(), this))->open();
    });

    auto* layout = new QHBoxLayout(m_actionBar);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->addWidget(m_delete);
    layout->addWidget(merge);
    layout->addStretch();
    layout->addWidget(m_refresh);
    layout->addStretch();
    layout->addWidget(m_viewInThings);
    return m_actionBar;
}

void TagEditView::update() {
    const TagEditor& editor = *m_editor;
    setWindowTitle(editor.windowTitle());
    updateUpdateLine();
    m_error->setMessage(editor.errorMessage());

    if (m_name->text() != editor.nameField()) {
        m_name->setText(editor.nameField());
    }
    if (editor.tag()->id() != m_shownTagId) {
        m_shownTagId = editor.tag()->id();
        updateChoices();
        updateChildren();
    }
    m_parent->setSelectedId(editor.selectedParentId());
    m_viewParentRow->setVisible(editor.selectedParent() != nullptr);
    m_shortcut->setPlaceholderText(editor.shortcutPlaceholder());
    if (m_shortcut->text() != editor.shortcutField()) {
        m_shortcut->setText(editor.shortcutField());
    }
    const bool badKey = !editor.isShortcutFieldValid();
    if (badKey == m_shortcutProblem->isHidden()) {
        // The reason is the field's description while it shows, and a screen reader is told at once.
        m_shortcutProblem->setVisible(badKey);
        m_shortcut->setAccessibleDescription(badKey ? TagEditor::shortcutProblem() : shortcutHelp);
        if (badKey) {
            QAccessibleEvent alert(m_shortcutProblem, QAccessible::Alert);
            QAccessible::updateAccessibility(&alert);
        }
    }
    m_save->setEnabled(editor.canSave());

    const bool enabled = editor.isEnabled();
    if (!enabled && !m_wasBusy) {
        QWidget* focus = QApplication::focusWidget();
        m_focusBeforeBusy = focus && isAncestorOf(focus) ? focus : nullptr;
    }
    m_form->setEnabled(enabled);
    m_actionBar->setEnabled(enabled);
    m_delete->setEnabled(!editor.isSaving() && !editor.isDeleting());
    m_addChild->setEnabled(enabled);
    // The button that was pressed turns while Things 3 answers.
    m_refresh->setBusy(editor.isRefreshing());
    m_refresh->setAccessibleDescription(editor.isRefreshing() ? QStringLiteral("Updating…") : QString());
    m_save->setBusy(editor.isSaving());
    m_save->setAccessibleDescription(editor.isSaving() ? QStringLiteral("Saving…") : QString());
    // The save in words, for a reader too: "Saving…" as it starts, "Saved" once Things 3 took it. A
    // failure speaks through the error row; a save of a tag no longer shown ends without a word.
    if (editor.isSaving() && !m_savingTagId) {
        m_savingTagId = editor.tag()->id();
        m_saveStatus->announce(QStringLiteral("Saving…"));
    } else if (!editor.isSaving() && m_savingTagId) {
        if (editor.errorMessage() || *m_savingTagId != editor.tag()->id()) {
            m_saveStatus->withdraw();
        } else {
            m_saveStatus->announce(QStringLiteral("Saved"), std::chrono::seconds(4));
        }
        m_savingTagId.reset();
    }
    m_delete->setBusy(editor.isDeleting());
    m_delete->setAccessibleDescription(editor.isDeleting() ? QStringLiteral("Deleting…") : QString());
    if (enabled && m_wasBusy && m_focusBeforeBusy && m_focusBeforeBusy->isEnabled() &&
        !QApplication::focusWidget()) {
        m_focusBeforeBusy->setFocus();
    }
    m_wasBusy = !enabled;

    if (editor.showsDuplicateNameAlert() && !m_duplicateAlert) {
        showDuplicateNameAlert();
    }
    if (editor.showDeleteConfirmation() && !m_deleteConfirmation) {
        showDeleteConfirmation();
    }
    if (editor.showsShortcutConflict() && !m_shortcutConflict) {
        showShortcutConflict();
    }
    if (editor.isShowingCreateSheet() && !m_createSheet) {
        showCreateSheet();
    }
}

void TagEditView::updateChoices() {
    const TagEditor* editor = m_editor;
    m_parent->setChoices(m_editor->offersNoParent() ? EditRules::noParentLabel() : QString(),
                         {[editor] { return editor->parentChoices(); },
                          [editor](const QString& id) {
                              return editor->parentChoice(id);
                          }});
    m_parent->setSelectedId(m_editor->selectedParentId());
}

// The rows are made again only when what they show changed.
void TagEditView::updateChildren() {
    const QList<TagEditor::ChildRow> rows = m_editor->childRows();
    QStringList signature;
    signature.reserve(rows.size() * 4);
    for (const TagEditor::ChildRow& row : rows) {
        signature << row.tag->id() << row.tag->name() << row.childCountText.value_or(QString())
                  << row.todoCountText.value_or(QString());
    }
    m_noChildren->setVisible(rows.isEmpty());
    if (signature == m_childSignature) {
        return;
    }
    m_childSignature = std::move(signature);
    qDeleteAll(m_childRowWidgets);
    m_childRowWidgets.clear();
    QWidget* section = m_noChildren->parentWidget();
    for (const TagEditor::ChildRow& row : rows) {
        auto* line = new QWidget(section);
        line->setObjectName(QStringLiteral("childRow"));
        QStringList spoken{row.tag->name()};

        auto* name = borderlessButton(row.tag->name(), line);
        name->setObjectName(QStringLiteral("childName"));
        name->setAccessibleDescription(QStringLiteral("Select this child tag in the list"));
        auto* layout = new QHBoxLayout(line);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(name);
        for (const std::optional<QString>& text : {row.childCountText, row.todoCountText}) {
            if (text) {
                QLabel* count = captionLabel(line);
                count->setText(*text);
                layout->addWidget(count);
                spoken.append(*text);
            }
        }
        layout->addStretch();
        auto* view = new QPushButton(QStringLiteral("View"), line);
        view->setObjectName(QStringLiteral("viewChild"));
        view->setAccessibleDescription(QStringLiteral("Select “%1” in the list").arg(row.tag->name()));
        layout->addWidget(view);
        line->setAccessibleName(spoken.join(QStringLiteral(", ")));

        const TagPtr child = row.tag;
        for (QPushButton* button : {name, view}) {
            connect(button, &QPushButton::clicked, m_editor, [this, child] { m_editor->viewChild(child); });
        }
        m_childRows->addWidget(line);
        m_childRowWidgets.append(line);
    }
    updateTabOrder();
}

void TagEditView::updateTabOrder() {
    QList<QWidget*> order{m_error->findChild<QWidget*>(QStringLiteral("dismissError")),
                          m_name,
                          m_parent,
                          m_viewParentRow,
                          m_shortcut,
                          m_save,
                          m_addChild};
    for (QWidget* line : std::as_const(m_childRowWidgets)) {
        order << line->findChild<QWidget*>(QStringLiteral("childName"))
              << line->findChild<QWidget*>(QStringLiteral("viewChild"));
    }
    order << m_delete << m_merge << m_refresh << m_viewInThings;
    order.removeAll(nullptr);
    for (qsizetype i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

void TagEditView::updateUpdateLine() {
    const std::optional<QString> line = m_editor->updateLine();
    m_updateLine->setVisible(line.has_value());
    if (line && m_updateLine->text() != *line) {
        m_updateLine->setText(*line);
        m_updateLine->setAccessibleName(*line);
    }
}

void TagEditView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    updateUpdateLine();
    m_updateLineTimer.start();
}

void TagEditView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    m_updateLineTimer.stop();
}

void TagEditView::showDuplicateNameAlert() {
    m_duplicateAlert = Alerts::warn(this, QStringLiteral("duplicateNameAlert"),
                                    EditRules::duplicateNameAlertTitle(), QString(), [this] {
                                        m_duplicateAlert = nullptr; // a new alert may open at once
                                        m_editor->dismissDuplicateNameAlert();
                                    });
}

void TagEditView::showDeleteConfirmation() {
    m_deleteConfirmation = Alerts::confirmDeletion(
        this, QStringLiteral("deleteConfirmation"), m_editor->deleteConfirmationTitle(),
        m_editor->deleteConfirmationMessage(), [this](bool confirmed) {
            m_deleteConfirmation = nullptr;
            if (confirmed) {
                m_editor->deleteWithChildren();
            } else {
                m_editor->cancelDelete();
            }
        });
}

void TagEditView::showShortcutConflict() {
    // A short question as the title, who holds the key below it, and buttons that say what they do;
    // names read without a mnemonic's ampersand.
    auto* box = new QMessageBox(QMessageBox::Question, m_editor->shortcutTransferQuestion(), QString(),
                                QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("shortcutConflict"));
    box->setText(m_editor->shortcutConflictTitle());
    box->setAccessibleName(box->windowTitle());
    box->setAccessibleDescription(box->text());
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    const QString give = m_editor->shortcutTransferButton();
    QPushButton* yes =
        box->addButton(QString(give).replace(u'&', QStringLiteral("&&")), QMessageBox::AcceptRole);
    yes->setObjectName(QStringLiteral("confirmShortcutTransfer"));
    yes->setAccessibleName(give);
    QPushButton* no = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    no->setObjectName(QStringLiteral("cancelShortcutTransfer"));
    no->setAccessibleName(QStringLiteral("Cancel"));
    box->setDefaultButton(no);
    box->setEscapeButton(no);
    connect(box, &QMessageBox::finished, this, [this, box, yes] {
        m_shortcutConflict = nullptr;
        if (box->clickedButton() == yes) {
            m_editor->confirmShortcutTransfer();
        } else {
            m_editor->cancelShortcutTransfer();
        }
    });
    m_shortcutConflict = box;
    box->open();
}

void TagEditView::askToSaveChanges(std::function<void(bool leave)> answered) {
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

TagCreateView* TagEditView::createSheet() const {
    return m_createSheet;
}

void TagEditView::showCreateSheet() {
    auto* sheet = new TagCreateView(m_store, m_editor->preferences(), m_worker, m_editor->tag(), this);
    // The sheet deletes itself once closed; the editor hears of it only while it exists.
    connect(sheet, &QObject::destroyed, m_editor, &TagEditor::createSheetClosed);
    m_createSheet = sheet;
    sheet->open();
}

} // namespace orvalet

#include "RenameTagsWindow.h"

#include "BatchResultSheet.h"
#include "Icons.h"
#include "ProminentButton.h"
#include "Spinner.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace orvalet {

// The preview's rows: the name, the new name, where the tag sits, and the flag of a rename that
// cannot go. Each row reads as one sentence: "Errands → Errand, in Home", then its flag.
class RenamePreviewModel final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setRows(QList<TagRenamer::Row> rows) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
    }
    void setColours(const QColor& red, const QIcon& warning) {
        m_red = red;
        m_warning = warning;
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(m_rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 4; }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        static const char* const titles[] = {"Name", "New Name", "In", "Problem"};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4) {
            return QString::fromLatin1(titles[section]);
        }
        return {};
    }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= m_rows.size()) {
            return {};
        }
        const TagRenamer::Row& row = m_rows[index.row()];
        switch (role) {
        case Qt::DisplayRole:
            return index.column() == 0   ? row.oldName
                   : index.column() == 1 ? row.newName
                   : index.column() == 2 ? row.ancestorPath.value_or(QString())
                                         : row.problem.value_or(QString());
        case Qt::AccessibleTextRole:
        case Qt::ToolTipRole:
            return spoken(row);
        case Qt::ForegroundRole:
            return index.column() == 3 ? QVariant(m_red) : QVariant();
        case Qt::DecorationRole:
            return index.column() == 3 && row.problem ? QVariant(m_warning) : QVariant();
        default:
            return {};
        }
    }

    static QString spoken(const TagRenamer::Row& row) {
        QString text = row.oldName + u" → " + row.newName;
        if (row.ancestorPath) {
            text += u", in " + *row.ancestorPath;
        }
        if (row.problem) {
            text += u". " + *row.problem;
        }
        return text;
    }

private:
    QList<TagRenamer::Row> m_rows;
    QColor m_red;
    QIcon m_warning;
};

namespace {

// A field of the form, named for a screen reader by its label without the colon.
QLineEdit* field(const char* objectName, const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(objectName));
    edit->setAccessibleName(name);
    return edit;
}

QPushButton* button(const char* objectName, const QString& text, QWidget* parent) {
    auto* pushButton = new QPushButton(text, parent);
    pushButton->setObjectName(QString::fromLatin1(objectName));
    pushButton->setAutoDefault(false); // Return in a field renames nothing
    return pushButton;
}

} // namespace

RenameTagsWindow::RenameTagsWindow(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                                   QSet<QString> selectedIds, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("renameTagsWindow"));
    setWindowTitle(TagRenamer::title());
    setAccessibleName(TagRenamer::title());
    setWindowModality(Qt::WindowModal);
    m_renamer = new TagRenamer(store, preferences, worker, std::move(selectedIds), this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(12);

    if (m_renamer->hasSelection()) {
        m_selected =
            new QRadioButton(QStringLiteral("Selected tags (%1)").arg(m_renamer->selectionCount()), this);
        m_selected->setObjectName(QStringLiteral("renameSelectedTags"));
        m_selected->setChecked(true);
        m_all = new QRadioButton(QStringLiteral("All tags"), this);
        m_all->setObjectName(QStringLiteral("renameAllTags"));
        connect(m_selected, &QRadioButton::toggled, this,
                [this](bool on) { m_renamer->setOnlySelected(on); });
        auto* scope = new QHBoxLayout;
        scope->addWidget(new QLabel(QStringLiteral("Rename:"), this));
        scope->addWidget(m_selected);
        scope->addWidget(m_all);
        scope->addStretch();
        layout->addLayout(scope);
    }

    m_find = field("renameFind", QStringLiteral("Find"), this);
    m_regularExpression = new QCheckBox(QStringLiteral("Regular expression"), this);
    m_regularExpression->setObjectName(QStringLiteral("renameRegularExpression"));
    m_matchCase = new QCheckBox(QStringLiteral("Match case"), this);
    m_matchCase->setObjectName(QStringLiteral("renameMatchCase"));
    m_matchCase->setToolTip(QStringLiteral("Also for the prefix to remove"));
    m_patternError = new QLabel(this);
    m_patternError->setObjectName(QStringLiteral("renamePatternError"));
    m_patternError->setWordWrap(true);
    m_patternError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPalette errorPalette = m_patternError->palette();
    errorPalette.setColor(QPalette::WindowText, destructiveRed(palette().color(QPalette::Window)));
    m_patternError->setPalette(errorPalette);
    m_replace = field("renameReplace", QStringLiteral("Replace with"), this);
    m_removePrefix = field("renameRemovePrefix", QStringLiteral("Remove prefix"), this);
    m_addPrefix = field("renameAddPrefix", QStringLiteral("Add prefix"), this);
    m_case = new QComboBox(this);
    m_case->setObjectName(QStringLiteral("renameCase"));
    m_case->setAccessibleName(QStringLiteral("Change case to"));
    for (TagRenamer::CaseChange change : {TagRenamer::CaseChange::unchanged, TagRenamer::CaseChange::title,
                                          TagRenamer::CaseChange::lower, TagRenamer::CaseChange::upper}) {
        m_case->addItem(TagRenamer::caseLabel(change), int(change));
    }

    auto* options = new QHBoxLayout;
    options->addWidget(m_regularExpression);
    options->addWidget(m_matchCase);
    options->addStretch();
    auto* form = new QFormLayout;
    m_form = form;
    form->addRow(QStringLiteral("Find:"), m_find);
    form->addRow(QString(), m_patternError);
    form->addRow(QString(), options);
    form->addRow(QStringLiteral("Replace with:"), m_replace);
    form->addRow(QStringLiteral("Remove prefix:"), m_removePrefix);
    form->addRow(QStringLiteral("Add prefix:"), m_addPrefix);
    form->addRow(QStringLiteral("Change case to:"), m_case);
    layout->addLayout(form);

    for (QLineEdit* edit : {m_find, m_replace, m_removePrefix, m_addPrefix}) {
        connect(edit, &QLineEdit::textChanged, this, &RenameTagsWindow::rulesEdited);
    }
    for (QCheckBox* box : {m_regularExpression, m_matchCase}) {
        connect(box, &QCheckBox::toggled, this, &RenameTagsWindow::rulesEdited);
    }
    connect(m_case, &QComboBox::currentIndexChanged, this, &RenameTagsWindow::rulesEdited);

    m_summary = new QLabel(this);
    m_summary->setObjectName(QStringLiteral("renameSummary"));
    m_spinner = new Spinner(16, this);
    m_spinner->setAccessibleName(QStringLiteral("Renaming"));
    m_spinner->hide();
    auto* summary = new QHBoxLayout;
    summary->addWidget(m_summary, 1);
    summary->addWidget(m_spinner);
    layout->addLayout(summary);

    m_model = new RenamePreviewModel(this);
    m_model->setColours(destructiveRed(palette().color(QPalette::Base)),
                        Icons::symbol(QStringLiteral("exclamationmark.triangle.fill")));
    m_preview = new QTreeView(this);
    m_preview->setObjectName(QStringLiteral("renamePreview"));
    m_preview->setAccessibleName(QStringLiteral("Renames"));
    m_preview->setModel(m_model);
    m_preview->setRootIsDecorated(false);
    m_preview->setUniformRowHeights(true);
    m_preview->setSelectionMode(QAbstractItemView::SingleSelection);
    m_preview->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_preview->header()->setAccessibleName(QStringLiteral("Columns"));
    m_preview->header()->setStretchLastSection(true);
    m_preview->header()->setDefaultSectionSize(130);
    layout->addWidget(m_preview, 1);

    m_close = button("renameClose", QStringLiteral("Close"), this);
    connect(m_close, &QPushButton::clicked, this, &QDialog::reject);
    m_rename = button("renameTags", QString(), this);
    makeProminent(m_rename);
    connect(m_rename, &QPushButton::clicked, this, [this] { m_renamer->requestRename(); });
    auto* bar = new QHBoxLayout;
    bar->addStretch();
    bar->addWidget(m_close);
    bar->addWidget(m_rename);
    layout->addLayout(bar);

    connect(m_renamer, &TagRenamer::previewChanged, this,
            [this] { m_model->setRows(m_renamer->preview().rows); });
    connect(m_renamer, &TagRenamer::changed, this, &RenameTagsWindow::refresh);
    refresh();
    m_find->setFocus();
    resize(640, 520);
}

void RenameTagsWindow::rulesEdited() {
    TagRenamer::Rules rules;
    rules.find = m_find->text();
    rules.replacement = m_replace->text();
    rules.regularExpression = m_regularExpression->isChecked();
    rules.matchCase = m_matchCase->isChecked();
    rules.caseChange = TagRenamer::CaseChange(m_case->currentData().toInt());
    rules.removePrefix = m_removePrefix->text();
    rules.addPrefix = m_addPrefix->text();
    m_replace->setPlaceholderText(rules.regularExpression ? QStringLiteral("\\1 for the first group")
                                                          : QString());
    m_renamer->setRules(rules);
}

void RenameTagsWindow::refresh() {
    const TagRenamer::Plan& plan = m_renamer->preview();
    const QString error = plan.patternError.value_or(QString());
    m_patternError->setText(error);
    m_form->setRowVisible(m_patternError, !error.isEmpty());
    m_find->setAccessibleDescription(error);
    m_summary->setText(m_renamer->isComputing() ? QString() : m_renamer->summary());

    const bool renaming = m_renamer->isRenaming();
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_selected, m_all, m_find, m_regularExpression, m_matchCase,
                                         m_replace, m_removePrefix, m_addPrefix, m_case}) {
        if (control) {
            control->setEnabled(!renaming);
        }
    }
    m_spinner->setVisible(renaming);
    const QString label = m_renamer->renameLabel();
    m_rename->setText(label);
    m_rename->setAccessibleName(label);
    m_rename->setEnabled(m_renamer->canRename());

    if (!isVisible()) {
        return;
    }
    if (m_renamer->showLeftOutQuestion() && !m_question) {
        showLeftOutQuestion();
    }
    if (m_renamer->showResult() && !m_resultSheet) {
        showResult();
    }
}

void RenameTagsWindow::showLeftOutQuestion() {
    auto* box = new QMessageBox(QMessageBox::Warning, TagRenamer::title(), m_renamer->leftOutMessage(),
                                QMessageBox::NoButton, this);
    box->setObjectName(QStringLiteral("renameLeftOutQuestion"));
    box->setAccessibleName(m_renamer->leftOutMessage());
    box->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* confirm = box->addButton(m_renamer->renameLabel(), QMessageBox::AcceptRole);
    confirm->setObjectName(QStringLiteral("confirmRenameTags"));
    QPushButton* cancel = box->addButton(QMessageBox::Cancel);
    cancel->setObjectName(QStringLiteral("cancelRenameTags"));
    box->setDefaultButton(cancel);
    box->setEscapeButton(cancel);
    connect(box, &QMessageBox::finished, this, [this, box, confirm] {
        if (box->clickedButton() == confirm) {
            m_renamer->confirmRename();
        } else {
            m_renamer->cancelRename();
        }
    });
    m_question = box;
    box->open();
}

void RenameTagsWindow::showResult() {
    m_resultSheet = BatchResultSheet::openOver(this, m_renamer->resultState(), [this] {
        m_resultSheet.clear();
        m_renamer->dismissResult();
    });
}

} // namespace orvalet

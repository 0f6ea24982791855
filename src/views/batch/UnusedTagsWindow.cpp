#include "UnusedTagsWindow.h"

#include "Alerts.h"
#include "BatchResultSheet.h"
#include "EmptyStateView.h"
#include "Icons.h"
#include "ProminentButton.h"
#include "WindowPlacement.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orvalet {

namespace {

constexpr int idRole = Qt::UserRole;

QString treeName() {
    return QStringLiteral("Unused Tags");
}

} // namespace

UnusedTagsWindow::UnusedTagsWindow(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                                   QWidget* parent)
    : ToolWindow(UnusedTagsCleanup::title(), QStringLiteral("unusedTagsWindow"), parent) {
    m_cleanup = new UnusedTagsCleanup(store, preferences, worker, this);

    QLabel* heading = addHeading(UnusedTagsCleanup::heading());
    heading->setObjectName(QStringLiteral("unusedTagsHeading"));

    auto* note = new QLabel(UnusedTagsCleanup::note(), this);
    note->setObjectName(QStringLiteral("unusedTagsNote"));
    note->setWordWrap(true);
    note->setForegroundRole(QPalette::PlaceholderText);

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("unusedTagsTree"));
    m_tree->setAccessibleName(treeName());
    m_tree->setColumnCount(2);
    m_tree->setHeaderHidden(true);
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->header()->setStretchLastSection(true);
    m_tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    connect(m_tree, &QTreeWidget::itemChanged, this, &UnusedTagsWindow::itemChanged);

    auto* empty = new EmptyStateView(UnusedTagsCleanup::emptyTitle(), QStringLiteral("checkmark.circle"),
                                     UnusedTagsCleanup::emptyDescription(), this);
    empty->setObjectName(QStringLiteral("unusedTagsEmpty"));
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(m_tree);
    m_pages->addWidget(empty);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("closeUnusedTags"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    m_delete = new QPushButton(Icons::symbol(QStringLiteral("trash")), QString(), this);
    m_delete->setObjectName(QStringLiteral("deleteUnusedTags"));
    m_delete->setAutoDefault(false);
    makeDestructive(m_delete);
    connect(m_delete, &QPushButton::clicked, this, [this] { m_cleanup->requestDelete(); });

    auto* bar = new QHBoxLayout;
    bar->addStretch();
    bar->addWidget(close);
    bar->addWidget(m_delete);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(12);
    layout->addWidget(heading);
    layout->addWidget(note);
    layout->addWidget(m_pages, 1);
    layout->addLayout(bar);

    connect(m_cleanup, &UnusedTagsCleanup::changed, this, &UnusedTagsWindow::refresh);
    refresh();
    WindowPlacement::keep(this, preferences, QSize(480, 480));
}

void UnusedTagsWindow::refresh() {
    refreshTree();
    m_pages->setCurrentIndex(m_cleanup->isEmpty() ? 1 : 0);
    m_tree->setEnabled(!m_cleanup->isDeleting());
    const QString label = m_cleanup->deleteLabel();
    m_delete->setText(label);
    m_delete->setAccessibleName(label);
    m_delete->setEnabled(m_cleanup->canDelete());

    if (!isVisible()) {
        return;
    }
    if (m_cleanup->showDeleteConfirmation() && !m_confirmation) {
        showDeleteConfirmation();
    }
    if (m_cleanup->showResult() && !m_resultSheet) {
        showResult();
    }
}

void UnusedTagsWindow::refreshTree() {
    const std::vector<UnusedTagsCleanup::Candidate>& candidates = m_cleanup->candidates();
    QStringList rows;
    rows.reserve(qsizetype(candidates.size()));
    for (const UnusedTagsCleanup::Candidate& candidate : candidates) {
        rows.append(candidate.tag->id() + u'\t' + QString::number(candidate.parent) + u'\t' +
                    candidate.tag->name() + u'\t' + candidate.ancestorPath.value_or(QString()));
    }
    // The check marks change on their own only; the tree is built again when the tags change.
    const QSignalBlocker blocker(m_tree);
    if (rows != m_shownRows) {
        m_shownRows = rows;
        m_tree->clear();
        std::vector<QTreeWidgetItem*> items;
        items.reserve(candidates.size());
        for (const UnusedTagsCleanup::Candidate& candidate : candidates) {
            auto* item = candidate.parent < 0 ? new QTreeWidgetItem(m_tree)
                                              : new QTreeWidgetItem(items[size_t(candidate.parent)]);
            // A tag whose parent stays is placed by its path, in a quieter second column.
            const QString spoken = candidate.ancestorPath ? candidate.tag->name() + QStringLiteral(", in ") +
                                                                *candidate.ancestorPath
                                                          : candidate.tag->name();
            item->setText(0, candidate.tag->name());
            item->setData(0, idRole, candidate.tag->id());
            item->setData(0, Qt::AccessibleTextRole, spoken);
            item->setToolTip(0, spoken);
            if (candidate.ancestorPath) {
                item->setText(1, *candidate.ancestorPath);
                item->setForeground(1, m_tree->palette().brush(QPalette::PlaceholderText));
                item->setData(1, Qt::AccessibleTextRole, spoken);
            }
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            items.push_back(item);
        }
        m_tree->expandAll();
    }
    int row = 0;
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it, ++row) {
        (*it)->setCheckState(0, candidates[size_t(row)].checked ? Qt::Checked : Qt::Unchecked);
    }
}

void UnusedTagsWindow::itemChanged(QTreeWidgetItem* item) {
    m_cleanup->setChecked(item->data(0, idRole).toString(), item->checkState(0) == Qt::Checked);
}

void UnusedTagsWindow::showDeleteConfirmation() {
    m_confirmation = Alerts::confirmDeletion(
        this, QStringLiteral("unusedTagsDeleteConfirmation"), m_cleanup->deleteConfirmationTitle(),
        m_cleanup->deleteConfirmationMessage(),
        [this](bool confirmed) {
            m_confirmation.clear();
            if (confirmed) {
                m_cleanup->confirmDelete();
            } else {
                m_cleanup->cancelDelete();
            }
        },
        QStringLiteral("confirmUnusedTagsDelete"), QStringLiteral("cancelUnusedTagsDelete"));
}

void UnusedTagsWindow::showResult() {
    m_resultSheet = BatchResultSheet::openOver(this, m_cleanup->resultState(), [this] {
        m_resultSheet.clear();
        m_cleanup->dismissResult();
    });
}

} // namespace orvalet

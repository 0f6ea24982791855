#include "SimilarTagsWindow.h"

#include "Alerts.h"
#include "DisplayTexts.h"
#include "EmptyStateView.h"
#include "ErrorRow.h"
#include "LiveStatus.h"
#include "ProminentButton.h"
#include "WindowPlacement.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStringBuilder>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace orvalet {

namespace {

constexpr int keyRole = Qt::UserRole;

enum Column { nameColumn, pathColumn, todosColumn, childrenColumn };

// "Errand, in Home > Chores, 12 open to-dos, 1 child tag": the whole row, as a reader hears it.
QString spokenMember(const SimilarTagsReview::Member& member) {
    QString text = member.tag->name();
    if (member.ancestorPath)
        text += u", in " % *member.ancestorPath;
    const qint64 todos = member.tag->todosCount().value_or(0);
    return text % u", " %
           DisplayTexts::countOf(todos, QStringLiteral("open to-do"), QStringLiteral("open to-dos")) % u", " %
           DisplayTexts::countOf(member.childCount, QStringLiteral("child tag"),
                                 QStringLiteral("child tags"));
}

// "Errand, Errands and errand", with "(not similar)" for a group set aside.
QString groupText(const SimilarTagsReview::Group& group) {
    QStringList names;
    for (const SimilarTagsReview::Member& member : group.members)
        names.append(member.tag->name().trimmed());
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) % u" and " % last %
           (group.dismissed ? QStringLiteral(" (not similar)") : QString());
}

} // namespace

SimilarTagsWindow::SimilarTagsWindow(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                                     QWidget* parent)
    : ToolWindow(SimilarTagsReview::title(), QStringLiteral("similarTagsWindow"), parent) {
    m_review = new SimilarTagsReview(store, preferences, worker, this);

    QLabel* heading = addHeading(QStringLiteral("Tags whose names differ only in letter case, accents, "
                                                "spaces, punctuation or a plural ending"));

    m_tree = new QTreeWidget(this);
    m_tree->setObjectName(QStringLiteral("similarTagsTree"));
    m_tree->setAccessibleName(QStringLiteral("Similar Tags"));
    m_tree->setHeaderLabels({QStringLiteral("Tag"), QStringLiteral("Path"), QStringLiteral("Open To-Dos"),
                             QStringLiteral("Child Tags")});
    m_tree->header()->setAccessibleName(QStringLiteral("Similar Tags Columns"));
    m_tree->setUniformRowHeights(true);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_tree->header()->setStretchLastSection(false);
    m_tree->header()->setSectionResizeMode(nameColumn, QHeaderView::Stretch);
    m_tree->header()->setSectionResizeMode(pathColumn, QHeaderView::Stretch);
    m_tree->header()->setSectionResizeMode(todosColumn, QHeaderView::ResizeToContents);
    m_tree->header()->setSectionResizeMode(childrenColumn, QHeaderView::ResizeToContents);
    connect(m_tree, &QTreeWidget::currentItemChanged, this, &SimilarTagsWindow::refreshGroupControls);

    auto* empty = new EmptyStateView(SimilarTagsReview::emptyTitle(), QStringLiteral("checkmark.circle"),
                                     SimilarTagsReview::emptyDescription(), this);
    empty->setObjectName(QStringLiteral("similarTagsEmpty"));
    m_pages = new QStackedWidget(this);
    m_pages->addWidget(m_tree);
    m_pages->addWidget(empty);

    m_destinationLabel = new QLabel(QStringLiteral("&Merge into:"), this);
    m_destination = new QComboBox(this);
    m_destination->setObjectName(QStringLiteral("similarTagsDestination"));
    m_destination->setAccessibleName(QStringLiteral("Merge Into"));
    m_destinationLabel->setBuddy(m_destination);
    m_merge = new QPushButton(QStringLiteral("Merge\u2026"), this);
    m_merge->setObjectName(QStringLiteral("similarTagsMerge"));
    m_merge->setAccessibleName(QStringLiteral("Merge"));
    m_merge->setAutoDefault(false);
    connect(m_merge, &QPushButton::clicked, this,
            [this] { m_review->prepareMerge(currentKey(), m_destination->currentData().toString()); });
    m_dismiss = new QPushButton(this);
    m_dismiss->setObjectName(QStringLiteral("similarTagsDismiss"));
    m_dismiss->setAutoDefault(false);
    connect(m_dismiss, &QPushButton::clicked, this, [this] {
        const SimilarTagsReview::Group* group = m_review->group(currentKey());
        if (group && group->dismissed)
            m_review->restore(group->key);
        else if (group)
            m_review->dismiss(group->key);
    });
    auto* groupBar = new QHBoxLayout;
    groupBar->addWidget(m_destinationLabel);
    groupBar->addWidget(m_destination, 1);
    groupBar->addWidget(m_merge);
    groupBar->addWidget(m_dismiss);

    m_showDismissed = new QCheckBox(this);
    m_showDismissed->setObjectName(QStringLiteral("similarTagsShowDismissed"));
    connect(m_showDismissed, &QCheckBox::toggled, m_review, &SimilarTagsReview::setShowsDismissed);

    m_error = new ErrorRow(this);
    connect(m_error, &ErrorRow::dismissed, m_review, &SimilarTagsReview::dismissError);
    m_status = new LiveStatus(this);

    auto* close = new QPushButton(QStringLiteral("Close"), this);
    close->setObjectName(QStringLiteral("closeSimilarTags"));
    close->setAutoDefault(false);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    auto* bar = new QHBoxLayout;
    bar->addWidget(m_showDismissed);
    bar->addStretch();
    bar->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->setSpacing(12);
    layout->addWidget(heading);
    layout->addWidget(m_pages, 1);
    layout->addLayout(groupBar);
    layout->addWidget(m_error);
    layout->addWidget(m_status);
    layout->addLayout(bar);

    connect(m_review, &SimilarTagsReview::changed, this, &SimilarTagsWindow::refresh);
    refresh();
    m_tree->setFocus();
    WindowPlacement::keep(this, preferences, QSize(640, 480));
}

QString SimilarTagsWindow::currentKey() const {
    const QTreeWidgetItem* item = m_tree->currentItem();
    return item ? item->data(nameColumn, keyRole).toString() : QString();
}

void SimilarTagsWindow::refresh() {
    refreshTree();
    m_pages->setCurrentIndex(m_review->groups().isEmpty() ? 1 : 0);
    const int dismissed = m_review->dismissedCount();
    const QString showText = u"Show groups marked Not Similar (" % QString::number(dismissed) % u")";
    m_showDismissed->setText(showText);
    m_showDismissed->setAccessibleName(showText);
    m_showDismissed->setVisible(dismissed > 0 || m_review->showsDismissed());
    m_error->setMessage(m_review->errorMessage());
    if (const std::optional<QString>& report = m_review->report(); report && *report != m_status->text())
        m_status->announce(*report, std::chrono::seconds(8));
    refreshGroupControls();
    if (isVisible() && m_review->showsConfirmation() && !m_confirmation)
        showConfirmation();
}

void SimilarTagsWindow::refreshTree() {
    const QList<SimilarTagsReview::Group>& groups = m_review->groups();
    QStringList rows;
    for (const SimilarTagsReview::Group& group : groups) {
        rows.append(group.key % u'\t' % groupText(group));
        for (const SimilarTagsReview::Member& member : group.members)
            rows.append(spokenMember(member));
    }
    if (rows == m_shownRows)
        return;
    m_shownRows = rows;
    // The current row stays on its group (its member, when it has one still) across a rebuild.
    const QString key = currentKey();
    const QTreeWidgetItem* current = m_tree->currentItem();
    const QString currentText =
        current ? current->data(nameColumn, Qt::AccessibleTextRole).toString() : QString();
    const QSignalBlocker blocker(m_tree);
    m_tree->clear();
    QTreeWidgetItem* again = nullptr;
    for (const SimilarTagsReview::Group& group : groups) {
        auto* top = new QTreeWidgetItem(m_tree);
        const QString text = groupText(group);
        top->setText(nameColumn, text);
        top->setFirstColumnSpanned(true);
        top->setData(nameColumn, keyRole, group.key);
        top->setData(nameColumn, Qt::AccessibleTextRole, text);
        QFont font = top->font(nameColumn);
        font.setBold(true);
        top->setFont(nameColumn, font);
        if (group.key == key && !again)
            again = top;
        for (const SimilarTagsReview::Member& member : group.members) {
            auto* row = new QTreeWidgetItem(top);
            const QString spoken = spokenMember(member);
            row->setText(nameColumn, member.tag->name());
            row->setText(pathColumn, member.ancestorPath.value_or(QString()));
            row->setForeground(pathColumn, m_tree->palette().brush(QPalette::PlaceholderText));
            row->setText(todosColumn, QString::number(member.tag->todosCount().value_or(0)));
            row->setText(childrenColumn, QString::number(member.childCount));
            row->setTextAlignment(todosColumn, Qt::AlignRight | Qt::AlignVCenter);
            row->setTextAlignment(childrenColumn, Qt::AlignRight | Qt::AlignVCenter);
            row->setData(nameColumn, keyRole, group.key);
            for (int column = nameColumn; column <= childrenColumn; ++column)
                row->setData(column, Qt::AccessibleTextRole, spoken);
            row->setToolTip(nameColumn, spoken);
            if (group.key == key && spoken == currentText)
                again = row;
        }
    }
    m_tree->expandAll();
    if (!again && m_tree->topLevelItemCount() > 0)
        again = m_tree->topLevelItem(0);
    m_tree->setCurrentItem(again);
}

// The controls act on the group of the current row; the box lists its members, fullest first, and
// keeps the user's choice while the group stays the same.
void SimilarTagsWindow::refreshGroupControls() {
    const SimilarTagsReview::Group* group = m_review->group(currentKey());
    const QString chosen = m_destination->currentData().toString();
    const QString key = group ? group->key : QString();
    {
        const QSignalBlocker blocker(m_destination);
        m_destination->clear();
        if (group) {
            for (const SimilarTagsReview::Member& member : group->members) {
                const QString text = member.ancestorPath
                                         ? member.tag->name() % u" (in " % *member.ancestorPath % u")"
                                         : member.tag->name();
                m_destination->addItem(text, member.tag->id());
                m_destination->setItemData(m_destination->count() - 1, spokenMember(member),
                                           Qt::AccessibleTextRole);
            }
            const int again = key == m_comboKey ? m_destination->findData(chosen) : -1;
            m_destination->setCurrentIndex(again >= 0 ? again : 0);
        }
        m_comboKey = key;
    }
    const bool idle = !m_review->isBusy();
    m_tree->setEnabled(idle);
    m_destination->setEnabled(idle && group && !group->dismissed);
    m_destinationLabel->setEnabled(m_destination->isEnabled());
    m_merge->setEnabled(m_destination->isEnabled());
    const QString dismissText =
        group && group->dismissed ? QStringLiteral("Similar After All") : QStringLiteral("Not Similar");
    m_dismiss->setText(dismissText);
    m_dismiss->setAccessibleName(dismissText);
    m_dismiss->setEnabled(idle && group);
    if (m_review->isReading())
        m_status->announce(QStringLiteral("Reading the to-dos from Things 3\u2026"));
    else if (m_review->isMerging())
        m_status->announce(QStringLiteral("Merging\u2026"));
    else if (!m_review->report())
        m_status->withdraw();
}

void SimilarTagsWindow::showConfirmation() {
    m_confirmation = Alerts::confirmDestructive(
        this, QStringLiteral("similarTagsConfirmation"), m_review->confirmationTitle(),
        m_review->confirmationMessage(), QStringLiteral("Merge"),
        [this](bool confirmed) {
            m_confirmation.clear();
            if (confirmed)
                m_review->merge();
            else
                m_review->cancelMerge();
        },
        QStringLiteral("confirmSimilarTagsMerge"), QStringLiteral("cancelSimilarTagsMerge"));
}

} // namespace orvalet

#include "MergeView.h"

#include "Alerts.h"
#include "ErrorRow.h"
#include "ProminentButton.h"
#include "Spinner.h"
#include "TagStore.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalet {

namespace {

constexpr int tagIdRole = Qt::UserRole;

} // namespace

MergeView::MergeView(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr source,
                     QWidget* parent)
    : QDialog(parent)
    , m_store(store)
    , m_merger(new TagMerger(store, preferences, worker, std::move(source), this)) {
    setObjectName(QStringLiteral("mergeView"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(m_merger->windowTitle());
    setAccessibleName(m_merger->windowTitle());

    m_prompt = new QLabel(this);
    m_prompt->setObjectName(QStringLiteral("mergePrompt"));
    m_prompt->setWordWrap(true);
    m_prompt->setText(
        QStringLiteral("Choose the tag that takes the place of \u201C%1\u201D on its to-dos and "
                       "becomes the parent of its child tags.")
            .arg(m_merger->source()->name()));

    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("mergeSearch"));
    m_search->setAccessibleName(QStringLiteral("Search tags"));
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setClearButtonEnabled(true);
    // The clear icon is a button to a screen reader, named by its action.
    if (auto* clear = m_search->findChild<QAction*>(QStringLiteral("_q_qlineeditclearaction"))) {
        clear->setText(QStringLiteral("Clear Search"));
    }
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::textChanged, m_merger, &TagMerger::setFilterText);
    connect(m_search, &QLineEdit::returnPressed, this, &MergeView::startMerge);

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("mergeDestinations"));
    m_list->setAccessibleName(QStringLiteral("Destination tags"));
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setUniformItemSizes(true);
    m_list->installEventFilter(this);
    connect(m_list, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
        if (!m_updatingList) {
            m_merger->setDestinationId(item ? std::optional(item->data(tagIdRole).toString()) : std::nullopt);
        }
    });
    connect(m_list, &QListWidget::itemActivated, this, &MergeView::startMerge);

    m_noMatches = new QLabel(QStringLiteral("No matching tags."), this);
    m_noMatches->setObjectName(QStringLiteral("noMatchingTags"));
    m_noMatches->setForegroundRole(QPalette::PlaceholderText);
    m_noMatches->setAlignment(Qt::AlignCenter);

    m_error = new ErrorRow(this);
    connect(m_error, &ErrorRow::dismissed, m_merger, &TagMerger::dismissError);

    m_spinner = new Spinner(16, this);
    m_spinner->setObjectName(QStringLiteral("mergeProgress"));
    m_spinner->setAccessibleName(QStringLiteral("Merging\u2026"));

    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("cancelMergeView"));
    m_cancel->setAutoDefault(false);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);

    m_merge = new QPushButton(QStringLiteral("Merge\u2026"), this);
    m_merge->setObjectName(QStringLiteral("startMerge"));
    m_merge->setDefault(true);
    makeProminent(m_merge);
    connect(m_merge, &QPushButton::clicked, this, &MergeView::startMerge);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_spinner);
    buttons->addStretch();
    buttons->addWidget(m_cancel);
    buttons->addWidget(m_merge);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_prompt);
    layout->addWidget(m_search);
    layout->addWidget(m_list, 1);
    layout->addWidget(m_noMatches);
    layout->addWidget(m_error);
    layout->addLayout(buttons);
    resize(380, 440);

    connect(m_merger, &TagMerger::changed, this, &MergeView::update);
    connect(m_merger, &TagMerger::merged, this, &QDialog::accept);
    m_search->setFocus();
    update();
}

QMessageBox* MergeView::confirmation() const {
    return m_confirmation;
}

bool MergeView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QDialog::eventFilter(watched, event);
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (watched == m_search && (key == Qt::Key_Up || key == Qt::Key_Down) && m_list->count() > 0) {
        // The arrows walk the list while the typing stays in the search field.
        const int row = m_list->currentRow() + (key == Qt::Key_Up ? -1 : 1);
        m_list->setCurrentRow(std::clamp(row, 0, m_list->count() - 1));
        return true;
    }
    if (watched == m_list && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
        startMerge();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// The rows are made again only when the choices change, not on every change of the merger.
void MergeView::updateChoices() {
    const QList<TagPtr> choices = m_merger->destinationChoices();
    QStringList ids;
    ids.reserve(choices.size() * 2);
    for (const TagPtr& tag : choices) {
        ids << tag->id() << tag->name();
    }
    if (ids != m_shownIds) {
        m_shownIds = std::move(ids);
        m_updatingList = true;
        m_list->clear();
        for (const TagPtr& tag : choices) {
            auto* item = new QListWidgetItem(tag->name(), m_list);
            item->setData(tagIdRole, tag->id());
            item->setData(Qt::AccessibleTextRole, tag->name());
            if (const TagPtr parent = tag->parentTagId() ? m_store.tag(*tag->parentTagId()) : nullptr) {
                item->setToolTip(QStringLiteral("In \u201C%1\u201D").arg(parent->name()));
                item->setData(Qt::AccessibleDescriptionRole, item->toolTip());
            }
        }
        m_updatingList = false;
    }
    // The chosen tag stays chosen while it is listed; otherwise the first match is, once a search
    // is typed, so that Return merges into what the search found.
    const std::optional<QString>& chosen = m_merger->destinationId();
    int current = -1;
    for (int row = 0; chosen && row < m_list->count(); ++row) {
        if (m_list->item(row)->data(tagIdRole).toString() == *chosen) {
            current = row;
        }
    }
    if (current < 0 && !m_search->text().trimmed().isEmpty() && m_list->count() > 0) {
        current = 0;
    }
    if (current != m_list->currentRow()) {
        m_list->setCurrentRow(current);
    }
    if (current < 0 && chosen) {
        m_merger->setDestinationId(std::nullopt);
    }
    m_noMatches->setVisible(m_list->count() == 0);
}

void MergeView::update() {
    const TagMerger& merger = *m_merger;
    updateChoices();
    m_error->setMessage(merger.errorMessage());
    const bool busy = merger.isBusy();
    m_search->setEnabled(!busy);
    m_list->setEnabled(!busy);
    m_merge->setEnabled(merger.canMerge() && !m_confirmation);
    m_spinner->setVisible(busy);
    if (merger.showsConfirmation() && !m_confirmation) {
        showConfirmation();
    }
}

void MergeView::startMerge() {
    if (m_merger->canMerge() && !m_confirmation) {
        m_merger->prepareMerge();
    }
}

void MergeView::showConfirmation() {
    m_confirmation = Alerts::confirmDestructive(
        this, QStringLiteral("mergeConfirmation"), m_merger->confirmationTitle(),
        m_merger->confirmationMessage(), QStringLiteral("Merge"),
        [this](bool confirmed) {
            m_confirmation = nullptr;
            if (confirmed) {
                m_merger->merge();
            } else {
                m_merger->cancelMerge();
            }
        },
        QStringLiteral("confirmMerge"), QStringLiteral("cancelMerge"));
}

} // namespace orvalet

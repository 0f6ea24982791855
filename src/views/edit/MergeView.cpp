#include "MergeView.h"

#include "Alerts.h"
#include "ErrorRow.h"
#include "ProminentButton.h"
#include "Spinner.h"
#include "TagSearchList.h"
#include "TagStore.h"
#include "WindowPlacement.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvalet {

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

    m_choices = new TagSearchList(this);
    m_choices->searchField()->setObjectName(QStringLiteral("mergeSearch"));
    m_choices->list()->setObjectName(QStringLiteral("mergeDestinations"));
    m_choices->list()->setAccessibleName(QStringLiteral("Destination tags"));
    connect(m_choices, &TagSearchList::currentChanged, this, [this] {
        if (!m_updatingList) {
            m_merger->setDestinationId(m_choices->current());
        }
    });
    connect(m_choices, &TagSearchList::activated, this, &MergeView::startMerge);
    connect(m_choices->searchField(), &QLineEdit::textChanged, this,
            [this] { m_noMatches->setVisible(m_choices->rowCount() == 0); });

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
    layout->addWidget(m_choices, 1);
    layout->addWidget(m_noMatches);
    layout->addWidget(m_error);
    layout->addLayout(buttons);
    WindowPlacement::keep(this, preferences, QSize(380, 440), WindowPlacement::Keep::size);

    connect(m_merger, &TagMerger::changed, this, &MergeView::update);
    connect(m_merger, &TagMerger::merged, this, &QDialog::accept);
    m_choices->searchField()->setFocus();
    update();
}

QMessageBox* MergeView::confirmation() const {
    return m_confirmation;
}

QLineEdit* MergeView::searchField() const {
    return m_choices->searchField();
}

QListView* MergeView::destinationList() const {
    return m_choices->list();
}

// The rows are made again only when the choices change, not on every change of the merger.
void MergeView::updateChoices() {
    const QList<TagPtr> choices = m_merger->destinationChoices();
    QStringList shown;
    shown.reserve(choices.size() * 2);
    for (const TagPtr& tag : choices) {
        shown << tag->id() << tag->name();
    }
    if (shown != m_shownChoices) {
        m_shownChoices = std::move(shown);
        m_updatingList = true;
        m_choices->setChoices(QString(), choices);
        m_updatingList = false;
    }
    if (m_choices->current() != m_merger->destinationId()) {
        m_updatingList = true;
        m_choices->setCurrent(m_merger->destinationId());
        m_updatingList = false;
        if (!m_choices->current() && m_merger->destinationId()) {
            m_merger->setDestinationId(std::nullopt);
        }
    }
    m_noMatches->setVisible(m_choices->rowCount() == 0);
}

void MergeView::update() {
    const TagMerger& merger = *m_merger;
    updateChoices();
    m_error->setMessage(merger.errorMessage());
    const bool busy = merger.isBusy();
    m_choices->setEnabled(!busy);
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

#include "BatchEditor.h"

#include "Clock.h"
#include "Preferences.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TagWrites.h"
#include "TextOrder.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"

#include <QCollator>
#include <QCoroTimer>
#include <QPointer>
#include <QSet>
#include <algorithm>
#include <chrono>
#include <vector>

namespace orvalet {

namespace {

// Lets the event loop run once before the flow goes on, so that a store change is applied in a
// turn of its own and the interface keeps drawing between the tags of a long run.
QCoro::Task<> nextTurn() {
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
}

// The parent every tag shares, or none when they differ (an absent parent counts as a value).
std::optional<QString> commonParent(const QList<TagPtr>& tags) {
    if (tags.isEmpty()) {
        return std::nullopt;
    }
    const std::optional<QString>& first = tags.first()->parentTagId();
    for (const TagPtr& tag : tags) {
        if (tag->parentTagId() != first) {
            return std::nullopt;
        }
    }
    return first;
}

// The locale whose rules order the parent choices: the user's, or English when the user has none
// (the C locale, whose collation compares code points and ignores the letter-case setting).
QLocale nameLocale() {
    const QLocale locale;
    return locale.language() == QLocale::C ? QLocale(QLocale::English) : locale;
}

} // namespace

// Every run below follows one rule: after its first co_await, `this` may be gone (the pane was
// discarded while Things 3 was answering). It reaches the store and the worker through references
// taken before that point, which outlive the pane, its own state only through `self`, and the
// records through the store by identifier, since the selection it began with may have changed.

BatchEditor::BatchEditor(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                         QList<TagPtr> selectedTags, DoneCallback onDone,
                         RefreshingCallback onRefreshingChanged, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_worker(worker)
    , m_onDone(std::move(onDone))
    , m_onRefreshingChanged(std::move(onRefreshingChanged))
    , m_selectedTags(std::move(selectedTags))
    , m_selectedParentId(commonParent(m_selectedTags)) {
    connect(&store, &TagStore::changed, this, &BatchEditor::changed);
}

// ---- Texts and symbols ----

QString BatchEditor::title() {
    return QStringLiteral("Batch Edit");
}

QString BatchEditor::selectedTagsHeader() const {
    return QStringLiteral("Selected Tags (") + QString::number(m_selectedTags.size()) + u')';
}

QString BatchEditor::newParentHeader() {
    return QStringLiteral("New Parent");
}

QString BatchEditor::parentPickerLabel() {
    return QStringLiteral("Parent Tag");
}

QString BatchEditor::noParentLabel() {
    return QStringLiteral("None");
}

QString BatchEditor::deleteLabel() {
    return QStringLiteral("Delete");
}

QString BatchEditor::deleteSymbol() {
    return QStringLiteral("trash");
}

QString BatchEditor::refreshLabel() {
    return QStringLiteral("Update from Things");
}

QString BatchEditor::refreshSymbol() {
    return QStringLiteral("arrow.clockwise");
}

QString BatchEditor::saveLabel() {
    return QStringLiteral("Save Changes");
}

QString BatchEditor::cancelLabel() {
    return QStringLiteral("Cancel");
}

QString BatchEditor::deleteConfirmationTitle() const {
    const qsizetype count = m_selectedTags.size();
    return QStringLiteral("Delete ") + QString::number(count) + QStringLiteral(" tag") +
           (count == 1 ? QString() : QStringLiteral("s")) + u'?';
}

QString BatchEditor::deleteConfirmationMessage() {
    return QStringLiteral("This will permanently delete the selected tags and all their child tags from this "
                          "app AND Things 3. This action cannot be undone!");
}

QString BatchEditor::missingParentMessage() {
    return QStringLiteral("The chosen parent tag no longer exists.");
}

// ---- Selection ----

void BatchEditor::setSelectedTags(QList<TagPtr> tags) {
    m_selectedTags = std::move(tags);
    Q_EMIT changed();
}

QList<BatchEditor::SelectedRow> BatchEditor::selectedRows() const {
    // The paths need only the selected tags' ancestors: those are looked up in the store's own index
    // rather than indexing every stored tag again.
    TagTree::TagsById ancestors;
    for (const TagPtr& tag : m_selectedTags) {
        const std::optional<QString>* current = &tag->parentTagId();
        while (*current && !ancestors.contains(**current)) {
            const TagPtr parent = m_store.tag(**current);
            if (!parent) {
                break;
            }
            ancestors.insert(parent->id(), parent);
            current = &parent->parentTagId();
        }
    }
    QList<SelectedRow> rows;
    rows.reserve(m_selectedTags.size());
    for (const TagPtr& tag : m_selectedTags) {
        rows.append(SelectedRow{tag, TagTree::ancestorPath(*tag, ancestors)});
    }
    std::stable_sort(rows.begin(), rows.end(), [](const SelectedRow& a, const SelectedRow& b) {
        return TextOrder::compareKeys(a.tag->nameSortKey(), b.tag->nameSortKey()) < 0;
    });
    return rows;
}

// ---- Parent ----

QList<TagPtr> BatchEditor::parentChoices() const {
    QSet<QString> selectedIds;
    for (const TagPtr& tag : m_selectedTags) {
        selectedIds.insert(tag->id());
    }
    // The store's own order is the plain-text one, which the stable sort keeps among names the
    // collator holds equal (those differing only in letter case).
    const QList<TagPtr> offered = TagTree::parentChoices(selectedIds, m_store.allTags());
    // A name's sort key costs about a microsecond to make, and the choices are read again at every
    // store change: keys are kept by name for as long as the editor lives (names rarely change).
    const QLocale locale = nameLocale();
    if (!m_sortKeys || m_sortKeys->locale != locale.bcp47Name()) {
        m_sortKeys.emplace(SortKeys{locale.bcp47Name(), QCollator(locale), {}, {}});
        m_sortKeys->collator.setCaseSensitivity(Qt::CaseInsensitive);
    }
    SortKeys& keys = *m_sortKeys;
    struct Keyed {
        qsizetype key;
        qsizetype index;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(size_t(offered.size()));
    for (qsizetype i = 0; i < offered.size(); ++i) {
        const QString& name = offered[i]->name();
        auto found = keys.byName.constFind(name);
        if (found == keys.byName.cend()) {
            found = keys.byName.insert(name, qsizetype(keys.keys.size()));
            keys.keys.push_back(keys.collator.sortKey(name));
        }
        keyed.push_back(Keyed{*found, i});
    }
    std::stable_sort(keyed.begin(), keyed.end(), [&keys](const Keyed& a, const Keyed& b) {
        return keys.keys[size_t(a.key)].compare(keys.keys[size_t(b.key)]) < 0;
    });
    QList<TagPtr> choices;
    choices.reserve(offered.size());
    for (const Keyed& entry : keyed) {
        choices.append(offered[entry.index]);
    }
    return choices;
}

void BatchEditor::setSelectedParentId(const std::optional<QString>& id) {
    if (id != m_selectedParentId) {
        m_selectedParentId = id;
        Q_EMIT changed();
    }
}

bool BatchEditor::hasChanges() const {
    return std::any_of(m_selectedTags.cbegin(), m_selectedTags.cend(),
                       [this](const TagPtr& tag) { return tag->parentTagId() != m_selectedParentId; });
}

// ---- Delete confirmation ----

void BatchEditor::requestDelete() {
    if (canDelete() && !m_showDeleteConfirmation) {
        m_showDeleteConfirmation = true;
        Q_EMIT changed();
    }
}

QCoro::Task<> BatchEditor::confirmDelete() {
    m_showDeleteConfirmation = false;
    return deleteWithChildren();
}

void BatchEditor::cancelDelete() {
    if (m_showDeleteConfirmation) {
        m_showDeleteConfirmation = false;
        Q_EMIT changed();
    }
}

// ---- Result sheet ----

void BatchEditor::dismissResult() {
    const bool succeeded = m_resultState && m_resultState->isSuccess();
    m_showResult = false;
    Q_EMIT changed();
    if (succeeded && m_onDone) {
        m_onDone();
    }
}

// ---- Runs ----

QCoro::Task<> BatchEditor::saveChanges() {
    if (isBusy()) {
        co_return;
    }
    const QPointer<BatchEditor> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    m_isSaving = true;
    m_resultState.reset();
    Q_EMIT changed();

    // What the run sends is fixed now: the chosen parent and, for each tag, its name and parent.
    // A tag that already has the chosen parent gets no change; one that cannot be named to Things 3
    // (the chosen parent left the store) gets none either, and stops the run when it is reached.
    const std::optional<QString> newParentId = m_selectedParentId;
    const bool byId = TagWrites::byId(m_preferences);
    struct Move {
        QString name;
        std::optional<ThingsTagChange> change;
        bool needed;
    };
    QList<Move> runs;
    runs.reserve(m_selectedTags.size());
    for (const TagPtr& tag : std::as_const(m_selectedTags)) {
        runs.append(Move{tag->name(), TagWrites::change(store, *tag, tag->name(), newParentId),
                         tag->parentTagId() != newParentId});
    }

    QStringList updatedNames;
    QList<UndoHistory::Change> moves;
    std::optional<BatchResultState> failure;
    for (const Move& move : std::as_const(runs)) {
        if (!move.needed) {
            updatedNames.append(move.name); // it already has the chosen parent
            continue;
        }
        // Without its name the parent cannot be addressed in Things 3: the program would make the
        // tag a top-level tag there while the store recorded the chosen parent.
        if (!move.change) {
            failure = BatchResultState::failure(move.name, missingParentMessage(), updatedNames);
            break;
        }
        const QString& id = move.change->tag.id;
        const auto sent = co_await worker.run(&ThingsService::changeTag, *move.change, byId);
        co_await nextTurn();
        const TagPtr stored = store.tag(id);
        if (!sent) {
            if (stored) {
                TagWrites::followAfterFailure(*stored, sent.error());
            }
            failure = BatchResultState::failure(move.name, sent.error().errorDescription(), updatedNames);
            break;
        }
        updatedNames.append(move.name);
        if (stored) {
            TagWrites::follow(*stored, sent.value());
            moves.append(
                UndoHistory::Change{id, stored->name(), stored->name(), move.change->parentId, newParentId});
        }
    }
    // What went through is one step to undo, a failure or not.
    UndoHistory::forStore(store).recordMoves(moves);

    if (self) {
        self->m_resultState = failure ? *failure : BatchResultState::success(updatedNames);
        self->m_showResult = true;
        self->m_isSaving = false;
        Q_EMIT self->changed();
    }
}

QCoro::Task<> BatchEditor::refreshFromThings() {
    if (isBusy()) {
        co_return;
    }
    const QPointer<BatchEditor> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    const RefreshingCallback onRefreshingChanged = m_onRefreshingChanged;
    QStringList ids;
    ids.reserve(m_selectedTags.size());
    for (const TagPtr& tag : std::as_const(m_selectedTags)) {
        ids.append(tag->id());
    }
    m_isRefreshing = true;
    Q_EMIT changed();
    if (onRefreshingChanged) {
        onRefreshingChanged(true, int(ids.size()));
    }

    for (const QString& id : std::as_const(ids)) {
        const auto fetched = co_await worker.run(&ThingsService::fetchTagById, id);
        if (!fetched || !fetched.value()) {
            continue; // failed, or Things 3 no longer has it: the record stays as it is
        }
        const ThingsTagRecord record = *fetched.value();
        co_await nextTurn();
        if (const TagPtr stored = store.tag(id)) {
            stored->setName(record.name);
            stored->setParentTagId(record.parentId);
            stored->setTodosCount(record.todosCount);
            stored->setUpdatedAt(Clock::now());
        }
    }

    if (self) {
        self->m_isRefreshing = false;
        Q_EMIT self->changed();
    }
    if (onRefreshingChanged) {
        onRefreshingChanged(false, 0);
    }
}

QCoro::Task<> BatchEditor::deleteWithChildren() {
    if (isBusy()) {
        Q_EMIT changed(); // the confirmation may have closed
        co_return;
    }
    const QPointer<BatchEditor> self(this);
    TagStore& store = m_store;
    ThingsWorker& worker = m_worker;
    const QList<TagPtr> selected = m_selectedTags;
    const bool byId = TagWrites::byId(m_preferences);
    m_isDeleting = true;
    Q_EMIT changed();

    QList<DeleteFailure> failures;
    // One picture of the tree for the whole run, in the store's name order.
    const TagTree::ChildLists children(store.allTags());
    for (const TagPtr& tag : selected) {
        // A tag that left the store (with a selected ancestor deleted before it, or elsewhere) is
        // neither read nor sent: its name could by now belong to another tag in Things 3.
        const TagPtr current = store.tag(tag->id());
        if (!current) {
            continue;
        }
        const QList<TagPtr> descendants = TagTree::descendantsInDeletionOrder(*current, children);
        // Only the tag is named: Things 3 deletes its child tags with it.
        const auto deleted = co_await worker.run(&ThingsService::deleteTag, TagWrites::refOf(*current), byId);
        if (!deleted) {
            failures.append(DeleteFailure{current->name(), deleted.error().errorDescription()});
            continue;
        }
        co_await nextTurn();
        // Descendants removed earlier in this run (a selected tag below this one went first) are
        // no longer stored and are passed over.
        for (const TagPtr& descendant : descendants) {
            store.remove(store.tag(descendant->id()));
        }
        store.remove(store.tag(current->id()));
    }

    if (self) {
        self->m_isDeleting = false;
        self->m_deleteFailures = failures;
        Q_EMIT self->changed();
        if (self->m_onDone) {
            const DoneCallback onDone = self->m_onDone;
            onDone(); // last: it may discard this object
        }
    }
}

} // namespace orvalet

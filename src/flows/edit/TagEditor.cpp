#include "TagEditor.h"

#include "Clock.h"
#include "DisplayTexts.h"
#include "EditRules.h"
#include "Preferences.h"
#include "TagListActions.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TagWrites.h"
#include "TextOrder.h"
#include "ThingsWorker.h"
#include "UndoHistory.h"

#include <QPointer>
#include <algorithm>
#include <utility>

namespace orvalet {

// Every flow below follows one rule: after its first co_await, `this` may be gone (the main window
// removed the editor while Things 3 was answering) or may show another tag (setTag). It works on the
// record it started with, reaches the store through a reference taken before that point, and its
// own state only through `self`, and only while `self` still shows that record. A callback is
// copied before it is called, since the main window may destroy the editor from inside it.

TagEditor::TagEditor(TagStore& store, Preferences& preferences, ThingsWorker& worker, TagPtr tag,
                     DeletedCallback onDeleted, SelectedCallback onSelected,
                     RefreshingChangedCallback onRefreshingChanged, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_worker(worker)
    , m_tag(std::move(tag))
    , m_onDeleted(std::move(onDeleted))
    , m_onSelected(std::move(onSelected))
    , m_onRefreshingChanged(std::move(onRefreshingChanged))
    , m_nameField(m_tag->name())
    , m_selectedParentId(m_tag->parentTagId())
    , m_syncedName(m_nameField)
    , m_syncedParentId(m_selectedParentId) {
    connect(&m_store, &TagStore::changed, this, &TagEditor::storeChanged);
    connect(&m_preferences, &Preferences::changed, this, [this](PreferenceKey key) {
        if (key == PreferenceKey::showChildrenCounts || key == PreferenceKey::showTodoCounts) {
            Q_EMIT changed();
        }
    });
}

// ---- The edited tag ----

// A record changed elsewhere (an undo, a reload in another window) carries fields without unsaved
// edits along: they show what is stored, as they did before. Typed edits are left alone.
void TagEditor::storeChanged() {
    const bool unedited = m_nameField == m_syncedName && m_selectedParentId == m_syncedParentId;
    if (unedited && !m_isSaving && !m_isRefreshing) {
        m_nameField = m_tag->name();
        m_selectedParentId = m_tag->parentTagId();
    }
    m_syncedName = m_tag->name();
    m_syncedParentId = m_tag->parentTagId();
    Q_EMIT changed();
}

void TagEditor::setTag(TagPtr tag) {
    const bool another = tag->id() != m_tag->id();
    m_tag = std::move(tag);
    if (another) {
        m_nameField = m_tag->name();
        m_selectedParentId = m_tag->parentTagId();
        m_syncedName = m_nameField;
        m_syncedParentId = m_selectedParentId;
        m_errorMessage.reset();
    }
    Q_EMIT changed();
}

QString TagEditor::windowTitle() const {
    return m_tag->name();
}

std::optional<QString> TagEditor::updateLine() const {
    return updateLine(Clock::now());
}

std::optional<QString> TagEditor::updateLine(const QDateTime& now) const {
    const std::optional<QDateTime>& updatedAt = m_tag->updatedAt();
    if (!updatedAt) {
        return std::nullopt;
    }
    return QStringLiteral("Updated: ") + updatedAtText(*updatedAt) + QStringLiteral(" (") +
           elapsedPhrase(*updatedAt, now) + QStringLiteral(" ago)");
}

QString TagEditor::updatedAtText(const QDateTime& time, const QLocale& locale) {
    return locale.toString(time.toLocalTime(), QLocale::ShortFormat);
}

QString TagEditor::elapsedPhrase(const QDateTime& since, const QDateTime& now) {
    constexpr qint64 minute = 60;
    constexpr qint64 hour = 60 * minute;
    constexpr qint64 day = 24 * hour;
    const qint64 seconds = std::max<qint64>(0, since.secsTo(now));
    const auto phrase = [](qint64 count, const char* unit) -> QString {
        return QString::number(count) + u' ' + QLatin1String(unit) +
               (count == 1 ? QString() : QStringLiteral("s"));
    };
    if (seconds < minute) {
        return phrase(seconds, "second");
    }
    if (seconds < hour) {
        return phrase(seconds / minute, "minute");
    }
    if (seconds < day) {
        return phrase(seconds / hour, "hour");
    }
    const qint64 days = seconds / day;
    if (days < 7) {
        return phrase(days, "day");
    }
    if (days < 31) {
        return phrase(days / 7, "week");
    }
    if (days < 365) {
        return phrase(days / 30, "month");
    }
    return phrase(days / 365, "year");
}

// ---- Details: name and parent ----

void TagEditor::setNameField(const QString& name) {
    if (name != m_nameField) {
        m_nameField = name;
        Q_EMIT changed();
    }
}

void TagEditor::setSelectedParentId(const std::optional<QString>& parentId) {
    if (parentId != m_selectedParentId) {
        m_selectedParentId = parentId;
        Q_EMIT changed();
    }
}

bool TagEditor::hasChanges() const {
    // The record keeps its name's NFC form; comparing NFC forms exactly makes canonically
    // equivalent spellings equal and leaves letter case and surrounding spaces significant.
    return TextOrder::sortKey(m_nameField) != m_tag->nameSortKey() ||
           m_selectedParentId != m_tag->parentTagId();
}

bool TagEditor::offersNoParent() const {
    return m_tag->isRoot();
}

QList<TagPtr> TagEditor::parentChoices() const {
    // allTags() is ascending by name in the plain-text order, equal names by identifier, and the
    // filter keeps that order: no further sort is needed.
    return TagTree::parentChoices({m_tag->id()}, m_store.allTags());
}

TagPtr TagEditor::selectedParent() const {
    return m_selectedParentId ? m_store.tag(*m_selectedParentId) : nullptr;
}

void TagEditor::viewSelectedParent() {
    if (TagPtr parent = selectedParent()) {
        viewChild(parent);
    }
}

// ---- Children ----

QList<TagPtr> TagEditor::childTags() const {
    QList<TagPtr> children;
    for (const TagPtr& tag : m_store.allTags()) {
        if (tag->parentTagId() == m_tag->id()) {
            children.append(tag);
        }
    }
    return children;
}

QString TagEditor::noChildrenText() {
    return QStringLiteral("No child tags.");
}

QList<TagEditor::ChildRow> TagEditor::childRows() const {
    const bool showChildrenCounts = m_preferences.showChildrenCounts();
    const bool showTodoCounts = m_preferences.showTodoCounts();
    const TagTree::ChildCounts counts =
        showChildrenCounts ? TagTree::childCountsByParentId(m_store.allTags()) : TagTree::ChildCounts();
    QList<ChildRow> rows;
    for (const TagPtr& child : childTags()) {
        ChildRow row{child, std::nullopt, std::nullopt};
        if (showChildrenCounts) {
            row.childCountText = DisplayTexts::childCountText(TagTree::childCount(*child, counts));
        }
        if (showTodoCounts && child->todosCount()) {
            row.todoCountText = DisplayTexts::todoCountText(*child->todosCount());
        }
        rows.append(std::move(row));
    }
    return rows;
}

void TagEditor::viewChild(const TagPtr& child) {
    const SelectedCallback onSelected = m_onSelected;
    if (child && onSelected) {
        onSelected(child);
    }
}

// ---- Error row and alerts ----

void TagEditor::setError(std::optional<QString> message) {
    m_errorMessage = std::move(message);
    Q_EMIT changed();
}

void TagEditor::dismissError() {
    if (m_errorMessage) {
        setError(std::nullopt);
    }
}

void TagEditor::dismissDuplicateNameAlert() {
    if (m_showsDuplicateNameAlert) {
        m_showsDuplicateNameAlert = false;
        Q_EMIT changed();
    }
}

void TagEditor::requestDelete() {
    if (isEnabled() && !m_showDeleteConfirmation) {
        m_showDeleteConfirmation = true;
        Q_EMIT changed();
    }
}

void TagEditor::cancelDelete() {
    if (m_showDeleteConfirmation) {
        m_showDeleteConfirmation = false;
        Q_EMIT changed();
    }
}

QString TagEditor::deleteConfirmationTitle() const {
    return QStringLiteral("Delete \"") + m_tag->name() + QStringLiteral("\" on Things 3?");
}

QString TagEditor::deleteConfirmationMessage() {
    return QStringLiteral("This will permanently delete the tag and all its child tags from this app AND "
                          "Things 3. This action cannot be undone! Are you sure you want to do this?");
}

void TagEditor::showCreateSheet() {
    if (isEnabled() && !m_isShowingCreateSheet) {
        m_isShowingCreateSheet = true;
        Q_EMIT changed();
    }
}

void TagEditor::createSheetClosed() {
    if (m_isShowingCreateSheet) {
        m_isShowingCreateSheet = false;
        Q_EMIT changed();
    }
}

// ---- Actions ----

QCoro::Task<> TagEditor::saveChanges() {
    if (!canSave()) {
        co_return;
    }
    const QList<TagPtr> allTags = m_store.allTags();
    if (EditRules::isNameTaken(EditRules::trimmedName(m_nameField), allTags, m_tag->id())) {
        m_showsDuplicateNameAlert = true;
        Q_EMIT changed();
        co_return;
    }

    const TagPtr tag = m_tag;
    const QString currentName = tag->name();
    const std::optional<QString> currentParentId = tag->parentTagId();
    // A parent chosen from the picker that has since left the store cannot be named to Things 3:
    // sending no parent would make the tag a root there while the record kept the chosen link.
    const std::optional<ThingsTagChange> change =
        TagWrites::change(m_store, *tag, m_nameField /* sent and stored as typed */, m_selectedParentId);
    if (!change) {
        setError(EditRules::missingParentMessage());
        co_return;
    }

    const QPointer<TagEditor> self(this);
    TagStore& store = m_store;
    m_isSaving = true;
    m_errorMessage.reset();
    Q_EMIT changed();

    const auto updated =
        co_await m_worker.run(&ThingsService::changeTag, *change, TagWrites::byId(m_preferences));
    if (updated) {
        TagWrites::follow(*tag, updated.value());
        // The name is what Things 3 has now; a move keeps it as the name to undo to.
        const bool renamed = currentName != change->newName;
        if (renamed || currentParentId != tag->parentTagId()) {
            UndoHistory::forStore(store).recordRename(
                UndoHistory::Change{tag->id(), renamed ? currentName : tag->name(), tag->name(),
                                    currentParentId, tag->parentTagId()});
        }
    } else {
        TagWrites::followAfterFailure(*tag, updated.error());
    }
    if (self) {
        if (!updated && self->shows(tag)) {
            self->m_errorMessage = updated.error().errorDescription();
        }
        self->m_isSaving = false;
        Q_EMIT self->changed();
    }
}

QCoro::Task<> TagEditor::refreshFromThings() {
    if (isBusy()) {
        co_return;
    }
    const QPointer<TagEditor> self(this);
    ThingsWorker& worker = m_worker;
    const TagPtr tag = m_tag;
    const RefreshingChangedCallback onRefreshingChanged = m_onRefreshingChanged;
    m_isRefreshing = true;
    if (onRefreshingChanged) {
        onRefreshingChanged(true);
    }
    if (self) {
        m_errorMessage.reset();
        Q_EMIT changed();
    }

    const auto fetched = co_await worker.run(&ThingsService::fetchTagById, tag->id());
    const std::optional<ThingsTagRecord> record = fetched ? fetched.value() : std::nullopt;
    if (record) {
        tag->setName(record->name);
        tag->setParentTagId(record->parentId);
        tag->setTodosCount(record->todosCount);
        tag->setUpdatedAt(Clock::now());
    }
    if (self) {
        if (self->shows(tag)) {
            if (!fetched) {
                self->m_errorMessage = fetched.error().errorDescription();
            } else if (record) {
                // Unsaved edits give way to what Things 3 reports.
                self->m_nameField = record->name;
                self->m_selectedParentId = record->parentId;
            }
        }
        self->m_isRefreshing = false;
        Q_EMIT self->changed();
    }
    if (onRefreshingChanged) {
        onRefreshingChanged(false);
    }
}

QCoro::Task<> TagEditor::deleteWithChildren() {
    cancelDelete();
    if (isBusy()) {
        co_return;
    }
    const QPointer<TagEditor> self(this);
    TagStore& store = m_store;
    const TagPtr tag = m_tag;
    m_isDeleting = true;
    m_errorMessage.reset();
    Q_EMIT changed();

    const QList<TagPtr> descendants = TagTree::descendantsInDeletionOrder(*tag, store.allTags());
    // Things 3 deletes the tag's descendants with it: only the tag is named.
    const auto deleted = co_await m_worker.run(&ThingsService::deleteTag, TagWrites::refOf(*tag),
                                               TagWrites::byId(m_preferences));
    if (deleted) {
        for (const TagPtr& descendant : descendants) {
            store.remove(descendant);
        }
        store.remove(tag);
    }
    if (!self) {
        co_return;
    }
    if (!deleted) {
        if (self->shows(tag)) {
            self->m_errorMessage = deleted.error().errorDescription();
        }
    } else if (self->shows(tag)) {
        const DeletedCallback onDeleted = self->m_onDeleted;
        if (onDeleted) {
            onDeleted();
        }
    }
    if (self) {
        self->m_isDeleting = false;
        Q_EMIT self->changed();
    }
}

std::optional<QUrl> TagEditor::openInThings() const {
    return TagListActions::viewInThingsUrl(m_tag->id());
}

} // namespace orvalet

// The editor's state and what it derives from the store: fields, picker, children, alerts, texts.
#include "TagEditor.h"

#include "Clock.h"
#include "DisplayTexts.h"
#include "EditRules.h"
#include "Preferences.h"
#include "ShortcutWrites.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TextOrder.h"
#include "UndoHistory.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace orvalet {

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
    , m_syncedParentId(m_selectedParentId)
    , m_shortcutField(m_tag->shortcutKey())
    , m_syncedShortcut(m_shortcutField) {
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
    if (m_shortcutField == m_syncedShortcut && !m_isSaving) {
        m_shortcutField = m_tag->shortcutKey();
    }
    m_syncedName = m_tag->name();
    m_syncedParentId = m_tag->parentTagId();
    m_syncedShortcut = m_tag->shortcutKey();
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
        m_shortcutField = m_tag->shortcutKey();
        m_syncedShortcut = m_shortcutField;
        m_showsShortcutConflict = false;
        m_transferredKey.reset();
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
           m_selectedParentId != m_tag->parentTagId() || m_shortcutField != m_tag->shortcutKey();
}

bool TagEditor::hasSavableChanges() const {
    const bool sendsShortcut =
        m_shortcutField != m_tag->shortcutKey() && ShortcutWrites::isValidKey(m_shortcutField);
    return TextOrder::sortKey(m_nameField) != m_tag->nameSortKey() ||
           m_selectedParentId != m_tag->parentTagId() || sendsShortcut;
}

// ---- Keyboard shortcut ----

QString TagEditor::shortcutLabel() {
    return QStringLiteral("Keyboard Shortcut");
}

void TagEditor::setShortcutField(const QString& key) {
    if (key != m_shortcutField) {
        m_shortcutField = key;
        Q_EMIT changed();
    }
}

QString TagEditor::shortcutPlaceholder() const {
    return m_tag->shortcut() ? QStringLiteral("None") : QStringLiteral("Unknown");
}

bool TagEditor::isShortcutFieldValid() const {
    // A key Things 3 holds that no key types (a library can hold two characters) is left alone by a
    // save that does not change it, so it does not stop a rename or a move.
    return ShortcutWrites::isValidKey(m_shortcutField) || m_shortcutField == m_tag->shortcutKey();
}

QString TagEditor::shortcutProblem() {
    return QStringLiteral("A shortcut is one letter, digit or symbol");
}

QString TagEditor::shortcutConflictTitle() const {
    // Every tag that has the key gives it up, so each is named: "“A” and “B” use 7."
    QStringList names;
    for (const TagPtr& holder : ShortcutWrites::holders(m_store, m_shortcutField, m_tag->id())) {
        names.append(DisplayTexts::quotedName(holder->name()));
    }
    const QString last = names.isEmpty() ? QString() : names.takeLast();
    const QString holders =
        names.isEmpty() ? last : names.join(QStringLiteral(", ")) + QStringLiteral(" and ") + last;
    return holders + (names.isEmpty() ? QStringLiteral(" uses ") : QStringLiteral(" use ")) +
           m_shortcutField + QStringLiteral(". Give ") + m_shortcutField + QStringLiteral(" to ") +
           DisplayTexts::quotedName(m_tag->name()) + QStringLiteral(" instead?");
}

QString TagEditor::shortcutTransferQuestion() const {
    return QStringLiteral("Give ") + DisplayTexts::quotedName(m_shortcutField) + QStringLiteral(" to ") +
           DisplayTexts::quotedName(m_tag->name()) + u'?';
}

QString TagEditor::shortcutTransferButton() const {
    return QStringLiteral("Give to ") + DisplayTexts::quotedName(m_tag->name());
}

QCoro::Task<> TagEditor::confirmShortcutTransfer() {
    m_showsShortcutConflict = false;
    m_transferredKey = m_shortcutField;
    Q_EMIT changed();
    return saveChanges();
}

void TagEditor::cancelShortcutTransfer() {
    if (m_showsShortcutConflict) {
        m_showsShortcutConflict = false;
        Q_EMIT changed();
    }
}

bool TagEditor::offersNoParent() const {
    return m_tag->isRoot();
}

QList<TagPtr> TagEditor::parentChoices() const {
    // allTags() is ascending by name in the plain-text order, equal names by identifier, and the
    // filter keeps that order: no further sort is needed.
    return TagTree::parentChoices({m_tag->id()}, m_store.allTags());
}

TagPtr TagEditor::parentChoice(const QString& id) const {
    return EditRules::offeredParent(m_store, {m_tag->id()}, id);
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

namespace {

// Identifiers compared code unit by code unit: at every stored tag, a general text comparison is
// the larger part of the work.
bool sameId(const QString& a, const QString& b) {
    return a.size() == b.size() &&
           std::memcmp(a.constData(), b.constData(), size_t(a.size()) * sizeof(QChar)) == 0;
}

} // namespace

QList<TagPtr> TagEditor::childTags() const {
    QList<TagPtr> children;
    for (const TagPtr& tag : m_store.allTags()) {
        if (const std::optional<QString>& parentId = tag->parentTagId();
            parentId && sameId(*parentId, m_tag->id())) {
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
    const QList<TagPtr> children = childTags();
    // Only the children's own children are counted, rather than every tag's children at each store
    // change: every tag's parent is compared with a few children, or looked up among many.
    constexpr qsizetype fewChildren = 8;
    std::vector<int> counts(size_t(children.size()), 0);
    QHash<QStringView, qsizetype> childAt;
    for (qsizetype i = 0; children.size() > fewChildren && i < children.size(); ++i) {
        childAt.insert(QStringView(children[i]->id()), i);
    }
    for (const TagPtr& tag : showChildrenCounts ? m_store.allTags() : QList<TagPtr>()) {
        const std::optional<QString>& parentId = tag->parentTagId();
        if (!parentId) {
            continue;
        }
        if (children.size() > fewChildren) {
            if (const auto it = childAt.constFind(QStringView(*parentId)); it != childAt.cend()) {
                ++counts[size_t(*it)];
            }
            continue;
        }
        for (qsizetype i = 0; i < children.size(); ++i) {
            if (sameId(*parentId, children[i]->id())) {
                ++counts[size_t(i)];
                break;
            }
        }
    }
    QList<ChildRow> rows;
    for (qsizetype i = 0; i < children.size(); ++i) {
        const TagPtr& child = children[i];
        ChildRow row{child, std::nullopt, std::nullopt};
        if (showChildrenCounts) {
            row.childCountText = DisplayTexts::childCountText(counts[size_t(i)]);
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

void TagEditor::cancelDelete() {
    m_deletionRead.reset();
    if (m_showDeleteConfirmation) {
        m_showDeleteConfirmation = false;
        Q_EMIT changed();
    }
}

QString TagEditor::deleteConfirmationTitle() const {
    return QStringLiteral("Delete \"") + m_tag->name() + QStringLiteral("\" on Things 3?");
}

QString TagEditor::deleteConfirmationMessage() const {
    if (!m_deletionRead) {
        return permanentDeleteMessage();
    }
    return UndoHistory::deletionMessage(*m_deletionRead, {m_tag->id()}, permanentDeleteMessage(),
                                        QStringLiteral("Are you sure you want to do this?"));
}

QString TagEditor::permanentDeleteMessage() {
    return QStringLiteral("This will permanently delete the tag and all its child tags from this app AND "
                          "Things 3. This action cannot be undone! Are you sure you want to do this?");
}

QString TagEditor::saveChangesQuestion() const {
    return QStringLiteral("Save changes to ") + DisplayTexts::quotedName(m_tag->name()) + u'?';
}

void TagEditor::discardChanges() {
    m_nameField = m_tag->name();
    m_selectedParentId = m_tag->parentTagId();
    m_shortcutField = m_tag->shortcutKey();
    m_showsShortcutConflict = false;
    m_transferredKey.reset();
    Q_EMIT changed();
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

} // namespace orvalet

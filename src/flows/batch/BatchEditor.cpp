// The batch editor's state, texts and rules: the selection, the parent choices, the confirmation.
#include "BatchEditor.h"

#include "EditRules.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TextOrder.h"
#include "UndoHistory.h"

#include <QCollator>
#include <QSet>
#include <algorithm>
#include <vector>

namespace orvalet {

namespace {

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

QString BatchEditor::clearShortcutsLabel() {
    return QStringLiteral("Clear Shortcuts");
}

bool BatchEditor::canClearShortcuts() const {
    return !isBusy() && std::any_of(m_selectedTags.cbegin(), m_selectedTags.cend(), [](const TagPtr& tag) {
        return tag->isStored() && tag->shortcut() != QString();
    });
}

QString BatchEditor::deleteConfirmationTitle() const {
    const qsizetype count = m_selectedTags.size();
    return QStringLiteral("Delete ") + QString::number(count) + QStringLiteral(" tag") +
           (count == 1 ? QString() : QStringLiteral("s")) + u'?';
}

QString BatchEditor::deleteConfirmationMessage() const {
    if (!m_deletionRead) {
        return permanentDeleteMessage();
    }
    QStringList ids;
    for (const TagPtr& tag : m_selectedTags) {
        ids.append(tag->id());
    }
    return UndoHistory::deletionMessage(*m_deletionRead, ids, permanentDeleteMessage());
}

QString BatchEditor::permanentDeleteMessage() {
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

QSet<QString> BatchEditor::selectedIds() const {
    QSet<QString> ids;
    for (const TagPtr& tag : m_selectedTags) {
        ids.insert(tag->id());
    }
    return ids;
}

TagPtr BatchEditor::parentChoice(const QString& id) const {
    return EditRules::offeredParent(m_store, selectedIds(), id);
}

QList<TagPtr> BatchEditor::parentChoices() const {
    const QSet<QString> selectedIds = this->selectedIds();
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
    m_parentChosen = true;
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

QCoro::Task<> BatchEditor::confirmDelete() {
    m_showDeleteConfirmation = false;
    return deleteWithChildren();
}

void BatchEditor::cancelDelete() {
    m_deletionRead.reset();
    if (m_showDeleteConfirmation) {
        m_showDeleteConfirmation = false;
        Q_EMIT changed();
    }
}

// ---- Leaving ----

QString BatchEditor::saveChangesQuestion() const {
    const qsizetype count = m_selectedTags.size();
    return QStringLiteral("Save changes to ") + QString::number(count) +
           (count == 1 ? QStringLiteral(" tag?") : QStringLiteral(" tags?"));
}

void BatchEditor::discardChanges() {
    m_parentChosen = false;
    m_selectedParentId = commonParent(m_selectedTags);
    Q_EMIT changed();
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

} // namespace orvalet

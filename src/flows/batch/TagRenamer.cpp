#include "TagRenamer.h"

#include "ChangeRun.h"
#include "DisplayTexts.h"
#include "EditRules.h"
#include "TagStore.h"
#include "TagTree.h"
#include "TagWrites.h"
#include "TextOrder.h"
#include "UndoHistory.h"

#include <QCoroFuture>
#include <QHash>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

namespace orvalet {

namespace {

// The name as Things 3 compares names (see EditRules::isNameTaken): canonical form, case folded.
QString nameKey(const QString& name) {
    return TextOrder::sortKey(EditRules::trimmedName(name)).toCaseFolded();
}

// Every word's first letter upper case and the rest lower case; an apostrophe keeps a word going
// ("Don't"), any other character that is neither a letter, a digit nor a mark ends it.
QString titleCase(const QString& name) {
    QString result;
    result.reserve(name.size());
    bool inWord = false;
    for (qsizetype i = 0; i < name.size();) {
        const bool pair = name[i].isHighSurrogate() && i + 1 < name.size() && name[i + 1].isLowSurrogate();
        const qsizetype length = pair ? 2 : 1;
        const char32_t point = pair ? QChar::surrogateToUcs4(name[i], name[i + 1]) : name[i].unicode();
        const QString piece = name.mid(i, length);
        result += inWord ? piece.toLower() : piece.toUpper();
        inWord =
            QChar::isLetterOrNumber(point) || QChar::isMark(point) || point == U'\'' || point == U'\u2019';
        i += length;
    }
    return result;
}

QString renamed(QString name, const TagRenamer::Rules& rules, const QRegularExpression* pattern) {
    const Qt::CaseSensitivity cs = rules.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
    if (!rules.removePrefix.isEmpty() && name.startsWith(rules.removePrefix, cs)) {
        name.remove(0, rules.removePrefix.size());
    }
    if (pattern) {
        name.replace(*pattern, rules.replacement);
    } else if (!rules.find.isEmpty()) {
        name.replace(rules.find, rules.replacement, cs);
    }
    switch (rules.caseChange) {
    case TagRenamer::CaseChange::title:
        name = titleCase(name);
        break;
    case TagRenamer::CaseChange::lower:
        name = name.toLower();
        break;
    case TagRenamer::CaseChange::upper:
        name = name.toUpper();
        break;
    case TagRenamer::CaseChange::unchanged:
        break;
    }
    return rules.addPrefix + name;
}

// Why Things 3 would not take `name`: a to-do's tags are listed as names joined by commas, and a
// name is one line of text.
std::optional<QString> refusedName(const QString& name) {
    if (EditRules::trimmedName(name).isEmpty()) {
        return QStringLiteral("The new name is empty.");
    }
    const auto refuse = [](const char* what) {
        return QStringLiteral("Things 3 does not allow %1 in a tag name.").arg(QLatin1String(what));
    };
    for (const QChar c : name) {
        if (c == u',') {
            return refuse("a comma");
        }
        if (c == u'\n' || c == u'\r' || c == u'\u0085' || c == u'\u2028' || c == u'\u2029') {
            return refuse("a line break");
        }
        if (c == u'\t') {
            return refuse("a tab");
        }
        if (c.category() == QChar::Other_Control) {
            return refuse("a control character");
        }
    }
    return std::nullopt;
}

} // namespace

TagRenamer::Snapshot TagRenamer::snapshot(const QList<TagPtr>& tags,
                                          const std::optional<QSet<QString>>& scopeIds) {
    const TagTree::AncestorPaths paths(tags);
    Snapshot entries;
    entries.reserve(tags.size());
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const Tag& tag = *tags[i];
        entries.append(Entry{tag.id(), tag.name(), tag.nameSortKey().toCaseFolded(), paths.at(i),
                             !scopeIds || scopeIds->contains(tag.id())});
    }
    return entries;
}

TagRenamer::Plan TagRenamer::plan(const Rules& rules, const Snapshot& tags,
                                  const std::function<bool()>& stop) {
    Plan result;
    std::optional<QRegularExpression> pattern;
    if (rules.regularExpression && !rules.find.isEmpty()) {
        QRegularExpression::PatternOptions options = QRegularExpression::UseUnicodePropertiesOption;
        if (!rules.matchCase) {
            options |= QRegularExpression::CaseInsensitiveOption;
        }
        pattern.emplace(rules.find, options);
        if (!pattern->isValid()) {
            result.patternError = QStringLiteral("Invalid regular expression: %1 (at offset %2).")
                                      .arg(pattern->errorString())
                                      .arg(pattern->patternErrorOffset());
            return result;
        }
        pattern->optimize();
    }
    // The names every stored tag has now, and the new names, each by how many tags have it.
    QHash<QString, int> namesNow, namesAfter;
    for (const Entry& entry : tags) {
        ++namesNow[entry.key];
    }
    QList<std::pair<QString, QString>> keys; // each row's old and new key
    for (qsizetype i = 0; i < tags.size(); ++i) {
        if ((i & 0xff) == 0 && stop && stop()) {
            return result;
        }
        const Entry& entry = tags[i];
        if (!entry.inScope) {
            continue;
        }
        QString name = renamed(entry.name, rules, pattern ? &*pattern : nullptr);
        if (name == entry.name) {
            continue;
        }
        const QString key = nameKey(name);
        ++namesAfter[key];
        keys.append({entry.key, key});
        result.rows.append(Row{entry.id, entry.name, std::move(name), entry.ancestorPath, std::nullopt});
    }
    for (qsizetype i = 0; i < result.rows.size(); ++i) {
        Row& row = result.rows[i];
        const auto& [oldKey, newKey] = keys[i];
        if (std::optional<QString> refused = refusedName(row.newName)) {
            row.problem = std::move(refused);
        } else if (namesNow.value(newKey) > (newKey == oldKey ? 1 : 0)) {
            row.problem = QStringLiteral("Another tag already has this name.");
        } else if (namesAfter.value(newKey) > 1) {
            row.problem = QStringLiteral("Another rename here gives the same name.");
        }
        result.flaggedCount += row.problem ? 1 : 0;
    }
    return result;
}

TagRenamer::TagRenamer(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                       QSet<QString> selectedIds, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_preferences(preferences)
    , m_worker(worker)
    , m_selectedIds(std::move(selectedIds))
    , m_onlySelected(!m_selectedIds.isEmpty())
    , m_latest(std::make_shared<std::atomic<quint64>>(0)) {
    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(debounceMs);
    connect(m_debounce, &QTimer::timeout, this, [this] { updatePreview(); });
    connect(&m_store, &TagStore::changed, this, [this] { schedulePreview(true); });
    updatePreview();
}

TagRenamer::~TagRenamer() {
    m_latest->store(~quint64(0)); // a plan still being worked out stops
}

QString TagRenamer::title() {
    return QStringLiteral("Rename Tags");
}

QString TagRenamer::renameLabel() const {
    const int count = m_plan.sendableCount();
    return count == 0   ? QStringLiteral("Rename Tags")
           : count == 1 ? QStringLiteral("Rename 1 Tag")
                        : QStringLiteral("Rename %1 Tags").arg(count);
}

QString TagRenamer::summary() const {
    if (m_plan.patternError) {
        return QString();
    }
    if (m_plan.rows.isEmpty()) {
        return QStringLiteral("No tag would be renamed.");
    }
    const QString count =
        DisplayTexts::countOf(m_plan.rows.size(), QStringLiteral("tag"), QStringLiteral("tags"));
    return m_plan.flaggedCount == 0 ? count + QStringLiteral(" would be renamed.")
                                    : QStringLiteral("%1 would be renamed, %2 of them with a problem.")
                                          .arg(count)
                                          .arg(m_plan.flaggedCount);
}

QString TagRenamer::leftOutMessage() const {
    return m_plan.flaggedCount == 1
               ? QStringLiteral("1 rename has a problem and is left out.")
               : QStringLiteral("%1 renames have problems and are left out.").arg(m_plan.flaggedCount);
}

QString TagRenamer::caseLabel(CaseChange change) {
    switch (change) {
    case CaseChange::title:
        return QStringLiteral("Title Case");
    case CaseChange::lower:
        return QStringLiteral("lower case");
    case CaseChange::upper:
        return QStringLiteral("UPPER CASE");
    case CaseChange::unchanged:
        break;
    }
    return QStringLiteral("Unchanged");
}

void TagRenamer::setRules(const Rules& rules) {
    m_rules = rules;
    schedulePreview(false);
}

void TagRenamer::setOnlySelected(bool on) {
    if (on != m_onlySelected && (hasSelection() || !on)) {
        m_onlySelected = on;
        schedulePreview(true);
    }
}

void TagRenamer::schedulePreview(bool storeChanged) {
    if (storeChanged) {
        m_snapshot.reset();
    }
    m_latest->store(++m_generation); // whatever is being worked out now is stale
    m_debounce->start();
    if (!std::exchange(m_computing, true)) {
        Q_EMIT changed();
    }
}

QCoro::Task<> TagRenamer::updatePreview() {
    m_debounce->stop();
    const quint64 generation = ++m_generation;
    m_latest->store(generation);
    m_computing = true;
    if (!m_snapshot) {
        const std::optional<QSet<QString>> scope =
            m_onlySelected ? std::optional(m_selectedIds) : std::nullopt;
        m_snapshot = std::make_shared<const Snapshot>(snapshot(m_store.allTags(), scope));
    }
    const QPointer<TagRenamer> self(this);
    // PCRE2's own match limit bounds each match; a newer request stops this one between tags.
    QFuture<Plan> planned =
        QtConcurrent::run([rules = m_rules, tags = m_snapshot, latest = m_latest, generation] {
            return plan(rules, *tags, [&latest, generation] { return latest->load() != generation; });
        });
    Plan result = co_await planned;
    if (!self || self->m_generation != generation) {
        co_return;
    }
    self->m_plan = std::move(result);
    self->m_computing = false;
    Q_EMIT self->previewChanged();
    Q_EMIT self->changed();
}

QCoro::Task<> TagRenamer::requestRename() {
    if (!canRename()) {
        co_return;
    }
    if (m_plan.flaggedCount > 0) {
        m_showLeftOutQuestion = true;
        Q_EMIT changed();
        co_return;
    }
    co_await renameTags();
}

QCoro::Task<> TagRenamer::confirmRename() {
    m_showLeftOutQuestion = false;
    co_await renameTags();
}

void TagRenamer::cancelRename() {
    m_showLeftOutQuestion = false;
    Q_EMIT changed();
}

QCoro::Task<> TagRenamer::renameTags() {
    if (!canRename()) { // the preview may have moved on while the question showed
        Q_EMIT changed();
        co_return;
    }
    const QPointer<TagRenamer> self(this);
    TagStore& store = m_store;
    QList<ChangeRun::Item> renames;
    for (const Row& row : std::as_const(m_plan.rows)) {
        const TagPtr stored = store.tag(row.id);
        if (!row.problem && stored) {
            renames.append(ChangeRun::Item{
                row.oldName, TagWrites::change(store, *stored, row.newName, stored->parentTagId())});
        }
    }
    m_isRenaming = true;
    m_resultState.reset();
    Q_EMIT changed();

    const bool byId = TagWrites::byId(m_preferences);
    const ChangeRun::Outcome run =
        co_await ChangeRun::send(store, m_worker, byId, renames, QString(), QStringLiteral("renamed"));
    // What went through is one step to undo, a failure or not.
    UndoHistory::forStore(store).recordRenames(run.changes, run.unsettledIds);

    if (self) {
        self->m_resultState = BatchResultState::ofRun(run);
        self->m_showResult = true;
        self->m_isRenaming = false;
        Q_EMIT self->changed();
    }
}

void TagRenamer::dismissResult() {
    m_showResult = false;
    Q_EMIT changed();
}

} // namespace orvalet

#pragma once

#include "BatchResultState.h"
#include "Tag.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QTimer;

namespace orvalet {

class Preferences;
class TagStore;
class ThingsWorker;

// Renaming many tags by a pattern, without its widgets: the rules the user sets, the preview of
// every tag they would rename (worked out off the interface thread, so that a slow regular
// expression never freezes the window), and the run that sends the renames that can go.
//
// A name goes through the rules in one fixed order: the prefix is removed, then found text is
// replaced, then the case is changed, and last the prefix is added; so a prefix added is never
// changed by the other rules, and "Match case" decides for the find and the prefix removed alike.
//
// A rename is flagged, and left out of the run, when its new name is empty or spaces only, holds a
// character Things 3 refuses in a tag name (a comma, which separates the tags of a to-do, a line
// break, a tab or another control character), is a name another stored tag has now (ignoring case,
// as Things 3 compares; tags being renamed count with their current names, so no order of sending
// could meet a name still in use), or is the new name of another rename too (both are flagged).
class TagRenamer final : public QObject {
    Q_OBJECT

public:
    enum class CaseChange { unchanged, title, lower, upper };
    struct Rules {
        QString find = {};
        QString replacement = {}; // with a regular expression, \1 … \99 stand for its groups
        bool regularExpression = false;
        bool matchCase = false;
        CaseChange caseChange = CaseChange::unchanged;
        QString removePrefix = {};
        QString addPrefix = {};
    };
    // The stored tags as the planning reads them: plain values, safe to read on another thread.
    struct Entry {
        QString id;
        QString name;
        QString key; // the name as Things 3 compares names: canonical form, case folded
        std::optional<QString> ancestorPath;
        bool inScope = false;
    };
    using Snapshot = QList<Entry>;
    // One tag the rules would rename, and why it cannot be, if it cannot.
    struct Row {
        QString id;
        QString oldName;
        QString newName;
        std::optional<QString> ancestorPath;
        std::optional<QString> problem;
    };
    struct Plan {
        QList<Row> rows;                     // in the store's name order
        std::optional<QString> patternError; // an invalid regular expression: nothing is planned
        int flaggedCount = 0;
        int sendableCount() const { return int(rows.size()) - flaggedCount; }
    };

    // The stored tags in their name order, those of `scopeIds` in scope (every one when none).
    static Snapshot snapshot(const QList<TagPtr>& tags, const std::optional<QSet<QString>>& scopeIds);
    // What `rules` make of the tags in scope; stops early, with what it has, once `stop` says so.
    static Plan plan(const Rules& rules, const Snapshot& tags, const std::function<bool()>& stop = {});

    // `selectedIds`: the tags selected in the window; the store, preferences and worker must
    // outlive every run started here.
    TagRenamer(TagStore& store, Preferences& preferences, ThingsWorker& worker, QSet<QString> selectedIds,
               QObject* parent = nullptr);
    ~TagRenamer() override;

    // ---- Texts ----

    static QString title();      // "Rename Tags"
    QString renameLabel() const; // "Rename 3 Tags", "Rename 1 Tag"
    QString summary() const;     // above the preview: how many would be renamed, how many are flagged
    // The question asked before a run that leaves flagged renames out.
    QString leftOutMessage() const;
    static QString caseLabel(CaseChange change);

    // ---- Rules and scope ----

    const Rules& rules() const { return m_rules; }
    void setRules(const Rules& rules);
    bool hasSelection() const { return !m_selectedIds.isEmpty(); }
    int selectionCount() const { return int(m_selectedIds.size()); }
    bool onlySelected() const { return m_onlySelected; }
    void setOnlySelected(bool on);

    // ---- Preview ----

    const Plan& preview() const { return m_plan; }
    // Whether the preview waits for a change of the rules or the store to be worked out.
    bool isComputing() const { return m_computing; }
    // Works the preview out now, off the interface thread; a newer request makes this one's answer
    // count for nothing. Runs by itself a moment after each change.
    QCoro::Task<> updatePreview();
    static constexpr int debounceMs = 150;

    // ---- Run ----

    bool isRenaming() const { return m_isRenaming; }
    bool canRename() const { return !m_isRenaming && !m_computing && m_plan.sendableCount() > 0; }
    // "Rename N Tags" pressed: with flagged renames, asks first (showLeftOutQuestion); else renames.
    QCoro::Task<> requestRename();
    bool showLeftOutQuestion() const { return m_showLeftOutQuestion; }
    QCoro::Task<> confirmRename();
    void cancelRename();
    // Sends the unflagged renames of the preview, grouped as the batch move sends its moves, and
    // records them as one step to undo; ends with the result sheet's state.
    QCoro::Task<> renameTags();

    bool showResult() const { return m_showResult; }
    const std::optional<BatchResultState>& resultState() const { return m_resultState; }
    void dismissResult();

Q_SIGNALS:
    void changed();
    // The preview has new rows (or a new pattern error).
    void previewChanged();

private:
    void schedulePreview(bool storeChanged);

    TagStore& m_store;
    Preferences& m_preferences;
    ThingsWorker& m_worker;
    QSet<QString> m_selectedIds;
    bool m_onlySelected = false;
    Rules m_rules;
    Plan m_plan;
    std::shared_ptr<const Snapshot> m_snapshot; // none after a store change
    QTimer* m_debounce = nullptr;
    quint64 m_generation = 0;
    std::shared_ptr<std::atomic<quint64>> m_latest; // read by the planning thread to stop early
    bool m_computing = false;
    bool m_isRenaming = false;
    bool m_showLeftOutQuestion = false;
    bool m_showResult = false;
    std::optional<BatchResultState> m_resultState;
};

} // namespace orvalet

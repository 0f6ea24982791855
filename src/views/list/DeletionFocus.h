#pragma once

#include "Tag.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QWidget;

namespace orvalet {

class BatchEditor;
class ContentView;
class TagEditor;

// Where the keyboard goes when tags this window asked to delete leave its sidebar: to the list, on
// the row that came after the first of them (the one before, when they were the last rows), made the
// current row while the selection is left empty as a deletion leaves it; to the empty state when no
// row is left. As a deletion starts, the focus leaves the pane that is going for the list, so that it
// never falls back into the search field, where Ctrl+Z would undo the search text rather than the
// deletion. A user who moved the focus elsewhere in the meantime keeps it there; a deletion that
// removed nothing moves nothing.
class DeletionFocus final : public QObject {
    Q_OBJECT

public:
    // `emptyState`: what the sidebar shows instead of the rows when there are none.
    DeletionFocus(ContentView& content, QWidget* emptyState);

    // A deletion from the list of the tags `ids`, which ends with `deletion`.
    void follow(const QStringList& ids, QCoro::Task<> deletion);
    // Every deletion the tag editor or the batch editor runs, from its start to its end.
    void follow(TagEditor& editor);
    void follow(BatchEditor& editor);

private:
    static QCoro::Task<> endAfter(QCoro::Task<> deletion, QPointer<DeletionFocus> self, int generation);
    // Returns the deletion's number, for end().
    int start(const QStringList& ids);
    void end(int generation);
    // Places the focus once the deletion ended and the deleted rows left the sidebar.
    void settle();
    void place();
    // Whether the focus is where a deletion put it or left it: in the sidebar's rows, in the detail
    // column, or nowhere in the window.
    bool focusIsOurs() const;

    ContentView& m_content;
    QWidget* m_emptyState;
    int m_generation = 0;
    bool m_pending = false;
    bool m_ended = false;
    bool m_oursAtReset = false; // focusIsOurs() when the rows were last rebuilt
    QStringList m_ids;
    QList<TagPtr> m_order; // the sidebar's rows, top to bottom, as the deletion started
    qsizetype m_anchor = -1;
};

} // namespace orvalet

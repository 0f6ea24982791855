#include "DeletionFocus.h"

#include "BatchEditor.h"
#include "ContentView.h"
#include "TagEditor.h"
#include "TagListActions.h"
#include "TagListModel.h"
#include "TagOutlineModel.h"
#include "TagOutlineView.h"
#include "TagStore.h"

#include <QAbstractButton>
#include <QSet>
#include <QSplitter>
#include <algorithm>
#include <utility>

namespace orvalet {

DeletionFocus::DeletionFocus(ContentView& content, QWidget* emptyState)
    : QObject(&content)
    , m_content(content)
    , m_emptyState(emptyState) {
    for (QAbstractItemModel* model : {static_cast<QAbstractItemModel*>(&content.model()),
                                      static_cast<QAbstractItemModel*>(&content.outlineModel())}) {
        // Rows hidden with the last of them take the focus elsewhere: whether it was ours is read
        // before.
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
            if (m_pending) {
                m_oursAtReset = focusIsOurs();
            }
        });
        connect(model, &QAbstractItemModel::modelReset, this, &DeletionFocus::settle);
    }
}

void DeletionFocus::follow(const QStringList& ids, QCoro::Task<> deletion) {
    endAfter(std::move(deletion), this, start(ids));
}

QCoro::Task<> DeletionFocus::endAfter(QCoro::Task<> deletion, QPointer<DeletionFocus> self, int generation) {
    co_await deletion;
    if (self) {
        self->end(generation);
    }
}

void DeletionFocus::follow(TagEditor& editor) {
    connect(&editor, &TagEditor::changed, this, [this, &editor, generation = 0]() mutable {
        if (editor.isDeleting() && !generation) {
            generation = start({editor.tag()->id()});
        } else if (!editor.isDeleting() && generation) {
            end(std::exchange(generation, 0));
        }
    });
}

void DeletionFocus::follow(BatchEditor& editor) {
    connect(&editor, &BatchEditor::changed, this, [this, &editor, generation = 0]() mutable {
        if (editor.isDeleting() && !generation) {
            QStringList ids;
            for (const TagPtr& tag : editor.selectedTags()) {
                ids.append(tag->id());
            }
            generation = start(ids);
        } else if (!editor.isDeleting() && generation) {
            end(std::exchange(generation, 0));
        }
    });
}

int DeletionFocus::start(const QStringList& ids) {
    m_pending = true;
    m_ended = false;
    m_ids = ids;
    m_order.clear();
    m_anchor = -1;
    const QSet<QString> deleted(ids.begin(), ids.end());
    QAbstractItemView* view = m_content.tagView();
    if (view == m_content.outline()) {
        const TagOutlineModel& outline = m_content.outlineModel();
        for (QModelIndex index = outline.index(0, 0); index.isValid();
             index = m_content.outline()->indexBelow(index)) {
            m_order.append(outline.tagAt(index));
        }
        for (qsizetype i = 0; i < m_order.size() && m_anchor < 0; ++i) {
            m_anchor = deleted.contains(m_order[i]->id()) ? i : -1;
        }
    } else {
        m_order = m_content.model().rows();
        const QList<qsizetype> rows = m_content.model().rowsOf(deleted);
        m_anchor = rows.isEmpty() ? -1 : rows.front();
    }
    // The pane being deleted turns busy and then goes; the list shows the deleted rows busy.
    if (view->isVisible()) {
        view->setFocus(Qt::OtherFocusReason);
    }
    m_oursAtReset = focusIsOurs();
    return ++m_generation;
}

void DeletionFocus::end(int generation) {
    if (generation != m_generation || !m_pending) {
        return;
    }
    m_ended = true;
    // After the callbacks of the flow's end (which may change the selection) and after the store
    // announced the deletion, whichever comes last.
    QMetaObject::invokeMethod(this, &DeletionFocus::settle, Qt::QueuedConnection);
}

void DeletionFocus::settle() {
    if (!m_pending || !m_ended) {
        return;
    }
    const TagStore& store = m_content.store();
    QSet<QString> gone;
    for (const QString& id : std::as_const(m_ids)) {
        if (!store.tag(id)) {
            gone.insert(id);
        }
    }
    if (gone.isEmpty()) { // nothing was deleted: the focus stays where it is
        m_pending = false;
        return;
    }
    const bool listed = m_content.tagView() == m_content.outline()
                            ? std::any_of(gone.begin(), gone.end(),
                                          [this](const QString& id) {
                                              return m_content.outlineModel().indexOf(id).isValid();
                                          })
                            : !m_content.model().rowsOf(gone).isEmpty();
    if (listed) { // the sidebar follows the store at the end of this turn
        return;
    }
    m_pending = false;
    place();
}

void DeletionFocus::place() {
    QAbstractItemView* view = m_content.tagView();
    if (!focusIsOurs() && !(m_oursAtReset && !view->isVisible())) {
        return;
    }
    const TagStore& store = m_content.store();
    QSet<QString> shown;
    if (view == m_content.outline()) {
        for (const TagPtr& tag : std::as_const(m_order)) {
            if (m_content.outlineModel().indexOf(tag->id()).isValid()) {
                shown.insert(tag->id());
            }
        }
    } else {
        for (const TagPtr& tag : m_content.model().rows()) {
            shown.insert(tag->id());
        }
    }
    // The row after the first deleted one, else the nearest before it.
    const auto remains = [&](qsizetype i) {
        return shown.contains(m_order[i]->id()) && store.tag(m_order[i]->id());
    };
    qsizetype found = -1;
    for (qsizetype i = m_anchor + 1; m_anchor >= 0 && i < m_order.size() && found < 0; ++i) {
        found = remains(i) ? i : -1;
    }
    for (qsizetype i = m_anchor - 1; m_anchor >= 0 && i >= 0 && found < 0; --i) {
        found = remains(i) ? i : -1;
    }
    const QString next = found >= 0 ? m_order[found]->id() : QString();
    // The row is made current, not selected: a deletion leaves nothing selected, and the detail
    // column its placeholder. A selection that is left keeps its current row.
    const QSet<QString>& selected = m_content.actions().selectedTagIds();
    const bool selectionGone =
        std::none_of(selected.begin(), selected.end(), [&store](const QString& id) { return store.tag(id); });
    if (!next.isEmpty() && selectionGone) {
        const QModelIndex index =
            view == m_content.outline()
                ? m_content.outlineModel().indexOf(next)
                : m_content.model().index(int(m_content.model().rowsOf({next}).value(0)));
        view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    if (view->isVisible()) {
        view->setFocus(Qt::OtherFocusReason);
        if (view->currentIndex().isValid()) {
            view->scrollTo(view->currentIndex());
        }
    } else if (m_emptyState->isVisible()) {
        // Its button, when it offers one; else the empty state itself, which a screen reader reads.
        const QList<QAbstractButton*> buttons = m_emptyState->findChildren<QAbstractButton*>();
        const auto button = std::find_if(buttons.begin(), buttons.end(),
                                         [](const QAbstractButton* b) { return b->isVisible(); });
        (button != buttons.end() ? static_cast<QWidget*>(*button) : m_emptyState)
            ->setFocus(Qt::OtherFocusReason);
    }
}

bool DeletionFocus::focusIsOurs() const {
    QWidget* focus = m_content.window()->focusWidget();
    QWidget* detail = m_content.splitter()->widget(1);
    QAbstractItemView* view = m_content.tagView();
    return !focus || focus == view || view->isAncestorOf(focus) || detail->isAncestorOf(focus) ||
           focus == m_emptyState || m_emptyState->isAncestorOf(focus);
}

} // namespace orvalet

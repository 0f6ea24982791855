#pragma once

#include "Tag.h"

#include <QAbstractItemModel>
#include <QModelIndexList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

class QMimeData;
class QWidget;

namespace orvalet {

class BatchEditor;
class Preferences;
class TagStore;
class ThingsWorker;

// Drag and drop of tags in the sidebar, in the list and in the outline alike: dragging the selected
// tags onto another tag makes them its children; onto the empty area below the rows, roots.
//
// A drop onto a dragged tag or onto a tag below one is refused while dragging, so the view shows
// the forbidden cursor. A drop runs the batch editor's save: the same programs in the same order,
// each tag changed in the store once Things 3 accepted it, and the batch result sheet when one
// failed. One drop runs at a time; others are refused until it ends.
//
// "Move to Top Level", from a row's menu or the Edit menu, is the same run as a drop below the rows.
class TagDropController final : public QObject {
    Q_OBJECT

public:
    // The sheet reporting a failed drop opens over `window`.
    TagDropController(TagStore& store, Preferences& preferences, ThingsWorker& worker, QWidget* window);

    // What a drag carries: the dragged tags' identifiers, one per line.
    static QString mimeType();
    static QMimeData* mimeData(const QModelIndexList& indexes);

    // `target`: the row dropped onto; invalid for the empty area below the rows.
    bool canDrop(const QMimeData* data, const QModelIndex& target);
    bool drop(const QMimeData* data, const QModelIndex& target);

    // "Move to Top Level": the tags among `tags` that have a parent become top-level tags, as a drop
    // below the rows makes them, in one undo step. Only when one of them has a parent (stored or
    // not) and no move is under way.
    static QString moveToTopLevelLabel(); // "Move to Top Level"
    bool canMoveToTopLevel(const QList<TagPtr>& tags) const;
    bool moveToTopLevel(const QList<TagPtr>& tags);

    // Whether a drop's save is under way.
    bool isMoving() const { return m_moving; }

Q_SIGNALS:
    void movingChanged(bool moving);

private:
    QList<TagPtr> draggedTags(const QMimeData* data) const;
    static std::optional<QString> parentIdOf(const QModelIndex& target);
    // Runs the batch editor's save of `tags` under `parentId` (none: the top level).
    bool move(const QList<TagPtr>& tags, const std::optional<QString>& parentId);
    void showFailure();

    TagStore& m_store;
    Preferences& m_preferences;
    ThingsWorker& m_worker;
    QWidget* m_window;
    // The tags a drag may not be dropped on, worked out once per drag and store change (the dragged
    // tags and every tag below them).
    QStringList m_forbiddenFor;
    QSet<QString> m_forbidden;
    QPointer<BatchEditor> m_editor;
    bool m_moving = false;
};

// What the sidebar's two models add for dragging tags and dropping them onto others: the dragged
// rows' identifiers as data, and every drop decision handed to the window's controller.
template <typename Model>
class DraggableTags : public Model {
public:
    using Model::Model;

    void setDropController(TagDropController* drops) { m_drops = drops; }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (!index.isValid()) {
            return Qt::ItemIsDropEnabled; // the empty area below the rows: to the top level
        }
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
    }
    QStringList mimeTypes() const override { return {TagDropController::mimeType()}; }
    QMimeData* mimeData(const QModelIndexList& indexes) const override {
        return TagDropController::mimeData(indexes);
    }
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                         const QModelIndex& parent) const override {
        return m_drops && action == Qt::MoveAction && m_drops->canDrop(data, parent);
    }
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int, int,
                      const QModelIndex& parent) override {
        return m_drops && action == Qt::MoveAction && m_drops->drop(data, parent);
    }

private:
    TagDropController* m_drops = nullptr;
};

} // namespace orvalet

#pragma once

#include "Tag.h"

#include <QMenu>

class QAbstractItemView;

namespace orvalet {

class Preferences;
class TagDropController;
class TagListActions;
class TagStore;
class ThingsWorker;

// The menu of a row of the tag list or outline: View in Things, Update from Things, Merge Into…, Move
// to Top Level and Delete, acting on TagListActions::menuTargets of the row's tag (the selection when
// the row is selected, else the row's tag alone). It deletes itself once closed.
class TagContextMenu final : public QMenu {
    Q_OBJECT

public:
    TagContextMenu(TagListActions& actions, TagDropController& drops, TagStore& store,
                   Preferences& preferences, ThingsWorker& worker, const TagPtr& rowTag, QWidget* parent);

    // Keeps a right click from selecting the row under it: the row's menu then acts on that row alone
    // and the selection stays as it was.
    static void keepSelectionOnRightClick(QAbstractItemView* view);
};

} // namespace orvalet

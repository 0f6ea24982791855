#include "TagContextMenu.h"

#include "Alerts.h"
#include "Icons.h"
#include "MergeView.h"
#include "TagDropController.h"
#include "TagListActions.h"

#include <QAbstractItemView>
#include <QMouseEvent>

namespace orvalet {

namespace {

class RightPressFilter final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick) {
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

void TagContextMenu::keepSelectionOnRightClick(QAbstractItemView* view) {
    view->viewport()->installEventFilter(new RightPressFilter(view));
}

TagContextMenu::TagContextMenu(TagListActions& actions, TagDropController& drops, TagStore& store,
                               Preferences& preferences, ThingsWorker& worker, const TagPtr& rowTag,
                               QWidget* parent)
    : QMenu(parent) {
    const QList<TagPtr> targets = actions.menuTargets(rowTag->id());
    setObjectName(QStringLiteral("tagContextMenu"));
    setAttribute(Qt::WA_DeleteOnClose);
    QAction* view =
        addAction(Icons::symbol(QStringLiteral("arrow.up.right.square")), QStringLiteral("View in Things"));
    view->setObjectName(QStringLiteral("viewInThings"));
    connect(view, &QAction::triggered, parent, [parent, id = rowTag->id()] {
        if (const std::optional<QUrl> url = TagListActions::viewInThingsUrl(id)) {
            Alerts::openLink(parent, *url);
        }
    });
    QAction* refresh =
        addAction(Icons::symbol(QStringLiteral("arrow.clockwise")), QStringLiteral("Update from Things"));
    refresh->setObjectName(QStringLiteral("updateFromThings"));
    connect(refresh, &QAction::triggered, &actions, [&actions, targets] { actions.refreshTags(targets); });
    QAction* merge = addAction(Icons::symbol(u"arrow.triangle.merge"_qs), u"Merge Into\u2026"_qs);
    merge->setObjectName(u"mergeInto"_qs);
    merge->setEnabled(targets.size() == 1); // one source at a time
    connect(merge, &QAction::triggered, parent, [&store, &preferences, &worker, targets, parent] {
        (new MergeView(store, preferences, worker, targets.front(), parent))->open();
    });
    QAction* toTop = addAction(TagDropController::moveToTopLevelLabel());
    toTop->setObjectName(QStringLiteral("moveToTopLevel"));
    toTop->setEnabled(drops.canMoveToTopLevel(targets));
    connect(toTop, &QAction::triggered, &drops, [&drops, targets] { drops.moveToTopLevel(targets); });
    addSeparator();
    QAction* remove =
        addAction(Icons::symbol(QStringLiteral("trash")), TagListActions::deleteMenuTitle(targets.size()));
    remove->setObjectName(QStringLiteral("deleteTags"));
    connect(remove, &QAction::triggered, &actions, [&actions, targets] { actions.requestDelete(targets); });
}

} // namespace orvalet

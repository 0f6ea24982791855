#include "TagDropController.h"

#include "BatchEditor.h"
#include "BatchResultSheet.h"
#include "TagListModel.h"
#include "TagStore.h"
#include "TagTree.h"

#include <QMimeData>
#include <QWidget>
#include <algorithm>
#include <iterator>

namespace orvalet {

namespace {

QStringList idsIn(const QMimeData* data) {
    if (!data || !data->hasFormat(TagDropController::mimeType())) {
        return {};
    }
    return QString::fromUtf8(data->data(TagDropController::mimeType())).split(u'\n', Qt::SkipEmptyParts);
}

} // namespace

TagDropController::TagDropController(TagStore& store, Preferences& preferences, ThingsWorker& worker,
                                     QWidget* window)
    : QObject(window)
    , m_store(store)
    , m_preferences(preferences)
    , m_worker(worker)
    , m_window(window) {
    // The forbidden targets follow the tree: a tag moved below a dragged one since is forbidden too.
    connect(&store, &TagStore::changed, this, [this] { m_forbiddenFor.clear(); });
}

QString TagDropController::mimeType() {
    return QStringLiteral("application/x-orvalet-tag-ids");
}

QMimeData* TagDropController::mimeData(const QModelIndexList& indexes) {
    QStringList ids;
    for (const QModelIndex& index : indexes) {
        ids.append(index.data(TagListModel::TagIdRole).toString());
    }
    auto* data = new QMimeData;
    data->setData(mimeType(), ids.join(u'\n').toUtf8());
    return data;
}

QList<TagPtr> TagDropController::draggedTags(const QMimeData* data) const {
    QList<TagPtr> tags;
    for (const QString& id : idsIn(data)) {
        if (TagPtr tag = m_store.tag(id)) {
            tags.append(tag);
        }
    }
    return tags;
}

std::optional<QString> TagDropController::parentIdOf(const QModelIndex& target) {
    if (!target.isValid()) {
        return std::nullopt;
    }
    return target.data(TagListModel::TagIdRole).toString();
}

bool TagDropController::canDrop(const QMimeData* data, const QModelIndex& target) {
    const QStringList ids = idsIn(data);
    if (ids.isEmpty() || m_moving) {
        return false;
    }
    if (ids != m_forbiddenFor) {
        m_forbiddenFor = ids;
        m_forbidden =
            TagTree::descendantIds(QSet<QString>(ids.begin(), ids.end()), m_store.allTagsUnordered());
    }
    const std::optional<QString> parentId = parentIdOf(target);
    return !parentId || !m_forbidden.contains(*parentId);
}

bool TagDropController::drop(const QMimeData* data, const QModelIndex& target) {
    if (!canDrop(data, target)) {
        return false;
    }
    return move(draggedTags(data), parentIdOf(target));
}

QString TagDropController::moveToTopLevelLabel() {
    return QStringLiteral("Move to Top Level");
}

bool TagDropController::canMoveToTopLevel(const QList<TagPtr>& tags) const {
    return !m_moving &&
           std::any_of(tags.begin(), tags.end(), [](const TagPtr& tag) { return !tag->isRoot(); });
}

bool TagDropController::moveToTopLevel(const QList<TagPtr>& tags) {
    if (!canMoveToTopLevel(tags)) {
        return false;
    }
    QList<TagPtr> moved;
    std::copy_if(tags.begin(), tags.end(), std::back_inserter(moved),
                 [](const TagPtr& tag) { return !tag->isRoot(); });
    return move(moved, std::nullopt);
}

bool TagDropController::move(const QList<TagPtr>& tags, const std::optional<QString>& parentId) {
    if (tags.isEmpty() || m_moving) {
        return false;
    }
    // The batch editor's own save, run by an editor no pane shows. It reports its end through
    // `changed`; the sheet shows only a failure, and "OK" on it ends the run's editor.
    auto* editor = new BatchEditor(
        m_store, m_preferences, m_worker, tags, [] {}, [](bool, int) {}, this);
    editor->setSelectedParentId(parentId);
    if (!editor->canSave()) { // every dragged tag is there already
        delete editor;
        return false;
    }
    m_editor = editor;
    m_moving = true;
    Q_EMIT movingChanged(true);
    connect(editor, &BatchEditor::changed, this, [this, editor] {
        if (editor->isSaving() || !m_moving) {
            return;
        }
        m_moving = false;
        Q_EMIT movingChanged(false);
        if (editor->showResult() && editor->resultState() && !editor->resultState()->isSuccess()) {
            showFailure();
        } else {
            editor->deleteLater();
        }
    });
    editor->saveChanges();
    return true;
}

void TagDropController::showFailure() {
    auto* sheet = new BatchResultSheet(m_editor->resultState(), m_window);
    sheet->setObjectName(QStringLiteral("dropResult"));
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &QDialog::finished, this, [this] {
        if (m_editor) {
            m_editor->dismissResult();
            m_editor->deleteLater();
        }
    });
    sheet->open();
}

} // namespace orvalet

#include "EditRules.h"

#include "TagStore.h"
#include "TextOrder.h"

namespace orvalet::EditRules {

namespace {

bool isTrimmedSpace(QChar c) {
    // Every space separator lies in the Basic Multilingual Plane, so UTF-16 units suffice.
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

} // namespace

QString trimmedName(const QString& typed) {
    qsizetype begin = 0;
    qsizetype end = typed.size();
    while (begin < end && isTrimmedSpace(typed[begin])) {
        ++begin;
    }
    while (end > begin && isTrimmedSpace(typed[end - 1])) {
        --end;
    }
    return typed.sliced(begin, end - begin);
}

bool isNameTaken(const QString& trimmed, const QList<TagPtr>& tags, const std::optional<QString>& exceptId) {
    // Both sides in NFC (a stored tag keeps its name's NFC form as its sort key), then compared with
    // case folding: "Café" written with a combining accent is "CAFÉ", and never "Cafe".
    const QString key = TextOrder::sortKey(trimmed);
    for (const TagPtr& tag : tags) {
        if (exceptId && tag->id() == *exceptId) {
            continue;
        }
        if (QString::compare(key, tag->nameSortKey(), Qt::CaseInsensitive) == 0) {
            return true;
        }
    }
    return false;
}

QString duplicateNameAlertTitle() {
    return QStringLiteral("Tag already exists.");
}

QString noParentLabel() {
    return QStringLiteral("None");
}

TagPtr offeredParent(const TagStore& store, const QSet<QString>& editedIds, const QString& id) {
    TagPtr candidate = store.tag(id);
    // A tag lies below an edited one exactly when that one is on its chain of parents (a parent
    // that is not stored counts by its identifier). The walk ends at a root, at a parent that is
    // not stored, or where the chain loops back.
    QSet<const Tag*> reached;
    for (const Tag* current = candidate.get(); current && !reached.contains(current);) {
        if (editedIds.contains(current->id())) {
            return nullptr;
        }
        reached.insert(current);
        const std::optional<QString>& parentId = current->parentTagId();
        if (!parentId) {
            break;
        }
        if (editedIds.contains(*parentId)) {
            return nullptr;
        }
        current = store.tag(*parentId).get(); // the store keeps the record alive
    }
    return candidate;
}

QString unsavedChangesMessage() {
    return QStringLiteral("Your changes will be lost if you don't save them.");
}

QString missingParentMessage() {
    return QStringLiteral("The chosen parent tag no longer exists.");
}

} // namespace orvalet::EditRules

#include "RandomLibrary.h"

#include <QRandomGenerator>

namespace standin {

ThingsLibrary RandomLibrary::build(int tagCount, int depth, int todoCount, quint32 seed) {
    ThingsLibrary library;
    library.seedIdentifiers(seed);
    QRandomGenerator random(seed);
    std::vector<QString> ids;
    std::vector<int> depths;
    ids.reserve(std::size_t(tagCount));
    for (int i = 0; i < tagCount; ++i) {
        QString parent;
        int level = 0;
        // About a quarter of the tags are roots; the rest hang below a tag that leaves room for them.
        if (!ids.empty() && depth > 1 && random.bounded(4) != 0) {
            const std::size_t candidate = std::size_t(random.bounded(int(ids.size())));
            if (depths[candidate] + 1 < depth) {
                parent = ids[candidate];
                level = depths[candidate] + 1;
            }
        }
        ids.push_back(library.makeTag(QStringLiteral("Tag ") + QString::number(i + 1), parent));
        depths.push_back(level);
    }
    for (int i = 0; i < todoCount; ++i) {
        const int roll = int(random.bounded(10));
        const TodoState state = roll < 6   ? TodoState::Open
                                : roll < 9 ? TodoState::Completed
                                           : TodoState::Canceled;
        QStringList tagIds;
        const int tagsWanted = ids.empty() ? 0 : 1 + int(random.bounded(3));
        for (int k = 0; k < tagsWanted; ++k) {
            tagIds.append(ids[std::size_t(random.bounded(int(ids.size())))]);
        }
        library.addTodo(QStringLiteral("To-do ") + QString::number(i + 1), state, tagIds);
    }
    return library;
}

} // namespace standin

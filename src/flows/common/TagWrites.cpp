#include "TagWrites.h"

#include "Clock.h"
#include "Preferences.h"
#include "TagStore.h"
#include "ThingsError.h"
#include "ThingsWorker.h"

namespace orvalet::TagWrites {

ThingsTagRef refOf(const Tag& tag) {
    return ThingsTagRef{tag.id(), tag.name()};
}

bool byId(const Preferences& preferences) {
    return preferences.findTagsById();
}

std::optional<ThingsTagChange> change(const TagStore& store, const Tag& tag, const QString& newName,
                                      const std::optional<QString>& newParentId) {
    const auto nameOf = [&store](const std::optional<QString>& id) -> std::optional<QString> {
        const TagPtr stored = id ? store.tag(*id) : nullptr;
        return stored ? std::optional(stored->name()) : std::nullopt;
    };
    const std::optional<QString> newParentName = nameOf(newParentId);
    if (newParentId && !newParentName && newParentId != tag.parentTagId()) {
        return std::nullopt;
    }
    return ThingsTagChange{refOf(tag),   newName, tag.parentTagId(), newParentId, nameOf(tag.parentTagId()),
                           newParentName};
}

void follow(Tag& tag, const ThingsTagState& state) {
    tag.setName(state.name);
    tag.setParentTagId(state.parentId);
    tag.setUpdatedAt(Clock::now());
}

void followAfterFailure(Tag& tag, const ThingsError& error) {
    if (error.tagNow() && tag.isStored()) {
        follow(tag, *error.tagNow());
    }
}

void takeRecord(Tag& tag, const ThingsTagRecord& record) {
    tag.setName(record.name);
    tag.setParentTagId(record.parentId);
    tag.setTodosCount(record.todosCount);
    tag.setUpdatedAt(Clock::now());
}

QCoro::Task<QList<std::optional<ThingsTagRecord>>> fetchSome(ThingsWorker& worker, QStringList ids,
                                                             qsizetype start, bool byId) {
    if (byId) {
        const QStringList group = ids.mid(start, ThingsService::maximumGroupSize);
        const auto fetched = co_await worker.run(&ThingsService::fetchTagsById, group);
        co_return fetched ? fetched.value() : QList<std::optional<ThingsTagRecord>>(group.size());
    }
    const auto fetched = co_await worker.run(&ThingsService::fetchTagById, ids[start]);
    co_return QList<std::optional<ThingsTagRecord>>{fetched ? fetched.value() : std::nullopt};
}

} // namespace orvalet::TagWrites

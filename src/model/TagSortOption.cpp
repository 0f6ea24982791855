#include "TagSortOption.h"

namespace orvalet::TagSortOptions {

const QList<TagSortOption>& all() {
    static const QList<TagSortOption> options{TagSortOption::alphabetical, TagSortOption::recentlyUpdated,
                                              TagSortOption::mostTodos};
    return options;
}

QString rawValue(TagSortOption option) {
    switch (option) {
    case TagSortOption::alphabetical:
        return QStringLiteral("Alphabetical");
    case TagSortOption::recentlyUpdated:
        return QStringLiteral("Recently Updated");
    case TagSortOption::mostTodos:
        return QStringLiteral("Highest Todo Count");
    }
    Q_UNREACHABLE();
    return {};
}

QString iconName(TagSortOption option) {
    switch (option) {
    case TagSortOption::alphabetical:
        return QStringLiteral("textformat.abc");
    case TagSortOption::recentlyUpdated:
        return QStringLiteral("clock");
    case TagSortOption::mostTodos:
        return QStringLiteral("checkmark.circle");
    }
    Q_UNREACHABLE();
    return {};
}

std::optional<TagSortOption> fromRawValue(const QString& raw) {
    for (TagSortOption option : all()) {
        if (raw == rawValue(option)) {
            return option;
        }
    }
    return std::nullopt;
}

} // namespace orvalet::TagSortOptions

#pragma once

#include <QList>
#include <QString>
#include <optional>

namespace orvalet {

// The order of the tag list. The raw value is both the label shown and the text stored in the
// preferences.
enum class TagSortOption { alphabetical, recentlyUpdated, mostTodos };

namespace TagSortOptions {

// The three cases, in the order every picker and menu shows them.
const QList<TagSortOption>& all();

QString rawValue(TagSortOption option);

// The symbol name of the option's icon in the settings pane.
QString iconName(TagSortOption option);

// Exact, case-sensitive match of one of the three raw values; anything else gives none.
std::optional<TagSortOption> fromRawValue(const QString& raw);

} // namespace TagSortOptions
} // namespace orvalet

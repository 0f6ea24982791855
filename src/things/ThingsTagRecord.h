#pragma once

#include <QString>
#include <optional>

namespace orvalet {

// One tag as Things 3 reports it in its record text.
struct ThingsTagRecord {
    QString id;
    QString name;
    std::optional<QString> parentId; // absent for a root tag
    qint64 todosCount = 0;           // open to-dos carrying the tag; 0 when the count was unreadable

    friend bool operator==(const ThingsTagRecord&, const ThingsTagRecord&) = default;
};

} // namespace orvalet

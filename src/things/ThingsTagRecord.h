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

// Its members can be moved in memory as bytes, which lets a list of many thousands of records
// grow without moving each record one by one.
Q_DECLARE_TYPEINFO(orvalet::ThingsTagRecord, Q_RELOCATABLE_TYPE);

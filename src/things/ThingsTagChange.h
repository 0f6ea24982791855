#pragma once

#include <QString>
#include <QStringList>
#include <optional>

namespace orvalet {

// A stored tag as a program names it: its identifier, and the stored name that the programs
// addressing tags by name use and that messages show.
struct ThingsTagRef {
    QString id;
    QString name;

    friend bool operator==(const ThingsTagRef&, const ThingsTagRef&) = default;
};

// A rename and/or a move of one stored tag.
struct ThingsTagChange {
    ThingsTagRef tag;
    QString newName;
    // The parent links before and after, resolved or not; none for a top-level tag.
    std::optional<QString> parentId, newParentId;
    // The stored parents' names, for the programs that address parents by name and for messages;
    // none for no parent or one that is not stored.
    std::optional<QString> parentName, newParentName;
};

// A keyboard shortcut given to a stored tag, or taken off it (an empty key).
struct ThingsShortcutChange {
    ThingsTagRef tag;
    QString key;

    friend bool operator==(const ThingsShortcutChange&, const ThingsShortcutChange&) = default;
};

// What Things 3 holds for a tag after a write: its exact name and its parent.
struct ThingsTagState {
    QString name;
    std::optional<QString> parentId;

    friend bool operator==(const ThingsTagState&, const ThingsTagState&) = default;
};

// What Things 3 holds now that decides whether a tag may go unnoticed: its open to-dos and the
// identifiers of its child tags.
struct ThingsTagUse {
    QString id;
    qint64 openTodos = 0;
    QStringList childIds;

    friend bool operator==(const ThingsTagUse&, const ThingsTagUse&) = default;
};

} // namespace orvalet

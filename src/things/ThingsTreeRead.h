#pragma once

#include "ThingsError.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <optional>

namespace orvalet {

// What Things 3 holds for whole trees of tags: every tag with its exact name and parent, each tag
// after its parent, the to-dos of any status that carry each (and how many are open), and those
// to-dos' tag names texts. Enough to make the trees again and give every to-do back the tags it had,
// and to tell whether a tree is still unused.
struct ThingsTreeRead {
    struct Tag {
        QString id;
        QString name;
        std::optional<QString> parentId;
        QStringList todoIds;
        QString shortcut;                // its keyboard shortcut, empty for none
        std::optional<qint64> openTodos; // when asked for

        friend bool operator==(const Tag&, const Tag&) = default;
    };
    struct Todo {
        QString id;
        QString tagNames;

        friend bool operator==(const Todo&, const Todo&) = default;
    };

    QList<Tag> tags;
    QList<Todo> todos;   // each once, in the order first met
    QStringList goneIds; // tags asked for that Things 3 no longer has
    // The to-dos (of any tag) carrying a tag whose name holds a comma: their tag names text cannot be
    // split back into names.
    QSet<QString> todosWithCommaTags;

    friend bool operator==(const ThingsTreeRead&, const ThingsTreeRead&) = default;
};

// A tag to make again: its name and parent, either a tag Things 3 has (`parentId`) or one made
// earlier in the same list (`parentIndex`).
struct ThingsTagToMake {
    QString name;
    std::optional<QString> parentId;
    qsizetype parentIndex = -1;
    QString shortcut; // given once it is made, when not empty
};

// How far making tags again got: the identifiers made, in order; or, when Things 3 already has
// some of the names, those names and nothing made; and the failure that ended it.
struct ThingsMadeTags {
    QStringList madeIds;
    QList<qsizetype> takenIndexes; // positions in the list asked for
    // Tags made whose keyboard shortcut Things 3 would not set (they have none), by position.
    QList<qsizetype> keylessIndexes;
    std::optional<ThingsError> failure;
};

// The tag names text of to-dos as Things 3 holds them now; none for a to-do it no longer has.
struct ThingsTodoTexts {
    QHash<QString, std::optional<QString>> texts;
    // The to-dos carrying a tag whose name holds a comma: their texts cannot be split back into names.
    QSet<QString> withCommaTags;
};

// What a to-do is to get back. After a deletion: the tags `restoredNames` it carried, added to what it
// has now, in the order of `before` when the rest is as it was. After a merge (`expected` set): the
// text `before`, only while it still has the text the merge gave it.
struct ThingsTodoRestore {
    QString todoId;
    QString before;
    QStringList restoredNames;
    std::optional<QString> expected;
};

// The to-dos a write passed over: no longer in Things 3, or holding another text than was read.
struct ThingsTodoWriteCount {
    QStringList gone, changed;
};

// How many to-dos got their tags back, and why the others did not.
struct ThingsTodoRestoreCount {
    qsizetype restored = 0;
    qsizetype gone = 0;       // no longer in Things 3
    qsizetype changed = 0;    // their tags changed since
    qsizetype unwritable = 0; // they carry a tag whose name cannot be written back

    friend bool operator==(const ThingsTodoRestoreCount&, const ThingsTodoRestoreCount&) = default;
};

} // namespace orvalet

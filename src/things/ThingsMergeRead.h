#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

namespace orvalet {

// What Things 3 reports before a merge of one tag into another: the identifiers the two names stand
// for there, the source's child tags, and every to-do that carries the source with its tag names
// text ("Home, Mac"), as the read program gives them.
struct ThingsMergeRead {
    struct Todo {
        QString id;
        QString tagNames;

        friend bool operator==(const Todo&, const Todo&) = default;
    };

    QString sourceId;
    QString destinationId;
    QStringList childIds;
    QList<Todo> todos;
    // The to-dos (of any tag) carrying a tag whose name holds a comma: their tag names text cannot
    // be split back into names.
    QSet<QString> todosWithCommaTags;

    friend bool operator==(const ThingsMergeRead&, const ThingsMergeRead&) = default;
};

// One line of the write program: the to-do and the tag names text it gets.
struct ThingsTodoTagNames {
    QString todoId;
    QString tagNames;

    friend bool operator==(const ThingsTodoTagNames&, const ThingsTodoTagNames&) = default;
};

} // namespace orvalet

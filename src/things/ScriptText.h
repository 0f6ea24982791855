#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace orvalet::ScriptText {

// The pieces the programs over many tags or to-dos are made of. On a Mac a program costs what it
// sends to Things 3 (an Apple event per read or write; `name of every tag of …` is one for all of
// them), what it copies (an AppleScript text never grows: `s & x` copies all of s) and its length
// (it is compiled first). So a program loops over a list literal of identifiers instead of writing
// a block per item, collects its answer in a list (`set end of`, which copies nothing) and turns
// the list into text once, at the end, with AppleScript's text item delimiters.

// `{"a", "b"}`, each text as its literal (appleScriptLiteral).
QString listOf(const QStringList& texts);
// The same with `missing value` for none.
QString listOf(const QList<std::optional<QString>>& texts);
// `{1, 2, 3}`.
QString listOfNumbers(const QList<qsizetype>& numbers);

// The lines that set the variable `list` to the list literal of `values` and start a loop over it
// that sets `item` to each value in turn (by its position `i`: a value, never a reference to the
// list's item); the loop's body follows, at eight spaces.
QString loopOver(QStringView list, QStringView item, const QStringList& values);

// The start of a program that answers with the pieces it adds to the list `out`: inside the `tell`,
// the text item delimiters are kept in `savedDelimiters` and set to "," (which pointsLines needs).
QString collectingOpening();
// The lines, at `indent`, that join `out` into `answer` and put the delimiters back.
QString joinLines(QStringView indent);
// The end of such a program: join, and return the answer.
QString collectingClosing();

// Lines at `indent` that set `target` to the code points of the text in the variable `source`, each
// followed by a comma ("72,105," for "Hi"; the empty text for the empty text). The delimiters must be
// ",". A text's `id` is its code points (one number for one character), asked of AppleScript itself.
QString pointsLines(QStringView target, QStringView source, QStringView indent);

// A line at `indent` that fails the program unless the lists `first` and `second` are as long. Two
// reads of one collection (the identifiers of a tag's to-dos, then their tag names) answer in the same
// order; something added or taken away between them makes them differ, and the read fails rather than
// pair the wrong values.
QString sameLengthLine(QStringView indent, QStringView first, QStringView second);

// Lines at `indent` that raise the error again unless it is -1728 (Things 3's "Can't get", for an
// object it no longer has), after which `then` runs; they end the `try` block they belong to.
QString unlessMissing(QStringView indent, QStringView then);

// Lines at `indent` that fail the program with ThingsError::namesakeNumber, and the other tag's name
// as the message, unless the name in the variable `tagName` is one tag's alone: a write that must
// address a tag by name would otherwise reach whichever of the namesakes Things 3 finds first. The
// other name is told apart from the tag's own by its code points, which compare exactly. A name no tag
// has passes, for the line that uses it to fail as it would.
QString namesakeCheck(QStringView indent);

} // namespace orvalet::ScriptText

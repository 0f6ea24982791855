#pragma once

#include "Preferences.h"

#include <QString>

namespace orvalet::DisplayTexts {

// The labels of the display preferences, shared by the View menu and the settings pane.
inline QString flagLabel(PreferenceKey key) {
    switch (key) {
    case PreferenceKey::showRootTagsOnly:
        return QStringLiteral("Show Root Tags Only");
    case PreferenceKey::showChildrenCounts:
        return QStringLiteral("Show Children Counts");
    case PreferenceKey::showTodoCounts:
        return QStringLiteral("Show Todo Counts");
    case PreferenceKey::showAsOutline:
        return QStringLiteral("Show as Outline");
    default:
        return {};
    }
}

// The switches, in the order the menu and the pane list them.
inline const QList<PreferenceKey>& flagKeys() {
    static const QList<PreferenceKey> keys{PreferenceKey::showRootTagsOnly, PreferenceKey::showChildrenCounts,
                                           PreferenceKey::showTodoCounts, PreferenceKey::showAsOutline};
    return keys;
}

// "1 to-do", "3 to-dos".
inline QString countOf(qsizetype count, const QString& one, const QString& many) {
    return QString::number(count) + u' ' + (count == 1 ? one : many);
}

// A tag's name in a sentence of ours, between typographic quotes: “Errands”.
inline QString quotedName(const QString& name) {
    return u"\u201C" + name + u"\u201D";
}

// A tag's number of direct children, as the list rows and the editor's child rows show it: "0 child
// tags", "1 child tags", "2 child tags".
inline QString childCountText(qint64 count) {
    return QString::number(count) + QStringLiteral(" child tags");
}

// A tag's number of open to-dos: "0 todos", "1 todos", "7 todos".
inline QString todoCountText(qint64 count) {
    return QString::number(count) + QStringLiteral(" todos");
}

} // namespace orvalet::DisplayTexts

#pragma once

#include "Tag.h"

#include <QList>
#include <QSet>
#include <QString>
#include <optional>

namespace orvalet {

class TagStore;

// The rules and texts that the tag editor and the creation sheet share: which typed names are
// refused because another tag has them, and how the parent picker is worded.
namespace EditRules {

// The typed name without the white space at either end that the name check ignores: every Unicode
// space separator (the ordinary space, the no-break space and the like) and the tab. Line breaks
// are kept.
QString trimmedName(const QString& typed);

// Whether a stored tag other than the one with `exceptId` is already called `trimmed`, ignoring
// letter case. Accents and other marks still count; canonically equivalent forms are the same name.
// Stored names are compared as they are, untrimmed.
bool isNameTaken(const QString& trimmed, const QList<TagPtr>& tags,
                 const std::optional<QString>& exceptId = std::nullopt);

// The title of the alert shown when the typed name is taken ("OK" closes it; it has no message).
QString duplicateNameAlertTitle();

// The parent picker's entry for having no parent.
QString noParentLabel();

// The stored tag with identifier `id` when it may become the parent of the edited tags, that is when
// it is neither one of them nor below one of them (TagTree::parentChoices); null otherwise. It walks
// up from that one tag, so a closed picker can show its entry without every choice being listed.
TagPtr offeredParent(const TagStore& store, const QSet<QString>& editedIds, const QString& id);

// The message under the question asked before an editor with changes not saved goes.
QString unsavedChangesMessage();

// The error shown when the parent chosen in the picker was deleted from the store while the
// screen was open; nothing is sent to Things 3 then.
QString missingParentMessage();

} // namespace EditRules
} // namespace orvalet

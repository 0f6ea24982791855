#pragma once

#include "Tag.h"

#include <QComboBox>
#include <QList>
#include <QString>
#include <optional>

namespace orvalet {

// The "Parent Tag" picker of the editors: optionally a no-parent entry and a divider, then one entry
// per offered tag showing its name and standing for its identifier. A chosen identifier that no
// entry stands for (a parent that is not stored) leaves the picker blank.
//
// It lists 100,000 tags without a pause: the entries live in a plain model of the offered records,
// and setChoices does nothing when the entries would be the same as before.
class ParentPicker final : public QComboBox {
    Q_OBJECT

public:
    explicit ParentPicker(QWidget* parent = nullptr);

    // `noParentLabel` empty: no entry for having no parent.
    void setChoices(const QString& noParentLabel, const QList<TagPtr>& tags);
    // Shows the entry of `id` (the no-parent entry for none) without announcing a choice.
    void setSelectedId(const std::optional<QString>& id);
    std::optional<QString> selectedId() const;

Q_SIGNALS:
    // The user chose an entry (with the mouse, the keyboard or a screen reader).
    void chosen(const std::optional<QString>& id);

private:
    class Entries;
    Entries* m_entries = nullptr;
};

} // namespace orvalet

#pragma once

#include "Tag.h"

#include <QComboBox>
#include <QList>
#include <QString>
#include <optional>

class QFrame;

namespace orvalet {

class TagSearchList;

// The "Parent Tag" picker of the editors: optionally a no-parent entry and a divider, then one entry
// per offered tag showing its name and standing for its identifier. A chosen identifier that no
// entry stands for (a parent that is not stored) leaves the picker blank.
//
// Opened, it shows a TagSearchList rather than a plain menu: a search field over the entries, each
// with its ancestor path, so that a tag is found among thousands by typing part of its name.
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

    void showPopup() override;
    void hidePopup() override;
    // The open popup's list, while it is open.
    TagSearchList* popupList() const;

Q_SIGNALS:
    // The user chose an entry (with the mouse, the keyboard or a screen reader).
    void chosen(const std::optional<QString>& id);

private:
    class Entries;
    void choose();

    Entries* m_entries = nullptr;
    QFrame* m_popup = nullptr;
    TagSearchList* m_popupList = nullptr;
};

} // namespace orvalet

#pragma once

#include "Tag.h"

#include <QComboBox>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class QFrame;

namespace orvalet {

class TagSearchList;

// The "Parent Tag" picker of the editors: optionally a no-parent entry and a divider, then one entry
// per offered tag showing its name and standing for its identifier. A chosen identifier that no
// entry stands for (a parent that is not stored) leaves the picker blank.
//
// Opened, it shows a TagSearchList rather than a plain menu: a search field over the entries, each
// with its ancestor path, so that a tag is found among thousands by typing part of its name. While
// it is open, its rows and search field are the picker's children to a screen reader.
//
// Listing every offered tag costs a pass over the whole store, so the list is made only when the
// user reaches for it: the popup opens, or a key or the wheel moves the closed picker through its
// entries. Until then the picker holds only the entry it shows. Once made, the list is kept until
// the choices may have changed, and it is made again only if they did.
class ParentPicker final : public QComboBox {
    Q_OBJECT

public:
    // Where the entries come from: every offered tag in the order shown, and the offered tag with an
    // identifier (null when it is not offered), which is all the closed picker needs.
    struct Choices {
        std::function<QList<TagPtr>()> all;
        std::function<TagPtr(const QString&)> find;
    };

    explicit ParentPicker(QWidget* parent = nullptr);
    ~ParentPicker() override;

    // The choices may have changed (the store did, or what they are offered for). `noParentLabel`
    // empty: no entry for having no parent. An open picker lists the new choices at once.
    void setChoices(const QString& noParentLabel, Choices choices);
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

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    class Entries;
    void choose();
    // Puts every choice in the entries, unless they are there and up to date.
    void listAll();
    // Makes `entries` the picker's, keeping the entry shown (or the blank).
    void showEntries(const QList<TagPtr>& entries);

    Choices m_choices;
    QString m_noParentLabel;
    bool m_listed = false; // the entries hold every choice
    bool m_stale = false;  // ... as they were before the choices may have changed
    Entries* m_entries = nullptr;
    QFrame* m_popup = nullptr;
    TagSearchList* m_popupList = nullptr;
};

} // namespace orvalet

#pragma once

#include "Tag.h"

#include <QWidget>
#include <optional>

class QLineEdit;
class QListView;

namespace orvalet {

// A list of tags to choose one from, with a search field above it: each row shows the tag's name
// and, below it, its ancestor path, so that two tags of one name in different places can be told
// apart. Typing keeps the rows whose names contain the text (ignoring case) and makes the best of
// them current and scrolls to it: a name equal to the text, else the first starting with it, else
// the first row. The arrow keys in the field go on into the rows, typing in the rows goes on in the
// field, and Return chooses. The parent pickers of the editors and the "Merge Into…" dialog share it.
//
// An entry is a tag's identifier, or the empty text for the leading entry that stands for no tag
// (the pickers' "None"), when there is one.
class TagSearchList final : public QWidget {
    Q_OBJECT

public:
    explicit TagSearchList(QWidget* parent = nullptr);
    ~TagSearchList() override;

    // The entries: `noneLabel`'s entry first unless it is empty, then `tags` in this order. The
    // ancestor paths are made from these tags, so they hold every ancestor a listed tag has.
    void setChoices(const QString& noneLabel, const QList<TagPtr>& tags);
    // The entry shown as chosen; none when it is not listed (or filtered out).
    std::optional<QString> current() const;
    void setCurrent(const std::optional<QString>& entry);
    // The number of rows shown after the search.
    int rowCount() const;

    QLineEdit* searchField() const { return m_search; }
    QListView* list() const { return m_list; }

Q_SIGNALS:
    // The user moved to another entry, or a search made another one current.
    void currentChanged();
    // Return in the field or the list, or a double click on a row: the current entry is the choice.
    void activated();
    // A single click on a row, which a popup takes for the choice.
    void rowClicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Rows;

    void searchChanged();

    Rows* m_rows = nullptr;
    QLineEdit* m_search = nullptr;
    QListView* m_list = nullptr;
};

} // namespace orvalet

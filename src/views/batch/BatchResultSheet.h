#pragma once

#include "BatchResultState.h"

#include <QDialog>
#include <functional>
#include <optional>

class QListWidget;
class QPushButton;

namespace orvalet {

// The sheet that reports how a batch save ended, over the batch editor's pane: the headline with its
// symbol in the case's colour, the summary line, the error text after a failure, and the names of
// the tags that were updated, in a list that scrolls once it would grow past 200 pixels. It only
// shows the state it was given; "OK", Return and Escape close it, and whoever opened it acts on
// `finished`. Without a state it shows nothing but "OK".
class BatchResultSheet final : public QDialog {
    Q_OBJECT

public:
    explicit BatchResultSheet(const std::optional<BatchResultState>& state, QWidget* parent = nullptr);
    // Opens a sheet of `state` over `parent`, window-modal; it deletes itself once closed, after
    // calling `closed` ("OK", Return and Escape all end there).
    static BatchResultSheet* openOver(QWidget* parent, const std::optional<BatchResultState>& state,
                                      std::function<void()> closed);

    // The tallest the name list grows before it scrolls.
    static constexpr int maximumListHeight = 200;

    QListWidget* nameList() const { return m_names; }
    QPushButton* okButton() const { return m_ok; }

    // The colour a tint stands for, legible on `background` (the sheet's, or its list's).
    static QColor color(BatchResultState::Tint tint, const QColor& background);

private:
    void addContent(const BatchResultState& state);
    void addNames(const BatchResultState& state);

    QListWidget* m_names = nullptr;
    QPushButton* m_ok = nullptr;
};

} // namespace orvalet

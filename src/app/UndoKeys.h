#pragma once

#include <QKeySequence>
#include <QList>
#include <QObject>

namespace orvalet {

// Lets Undo and Redo (Ctrl+Z, Ctrl+Shift+Z, and whatever else the platform binds to them) reach the
// Edit menu from a text field that has nothing of its own to undo or redo. A text field claims those
// keys whether or not it can use them, so that after a deletion the field holding the focus would
// swallow the key while the Edit menu offered "Undo Delete". A field that can undo or redo keeps the
// key for itself.
class UndoKeys final : public QObject {
    Q_OBJECT

public:
    // Watches every text field of the application, once.
    static void install();
    // The platform's keys for Redo, and Ctrl+Shift+Z wherever the platform gives Redo only others.
    static QList<QKeySequence> redoKeys();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using QObject::QObject;
};

} // namespace orvalet

#include "UndoKeys.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <optional>

namespace orvalet {

namespace {

// Whether the text field can undo (or redo) an edit of its own; none for what is not a text field.
std::optional<bool> canUndoItself(QObject* object, bool undo) {
    QLineEdit* line = qobject_cast<QLineEdit*>(object);
    // A spin box and an editable combo box hold the focus for their line edits.
    if (!line && (qobject_cast<QAbstractSpinBox*>(object) || qobject_cast<QComboBox*>(object))) {
        line = static_cast<QWidget*>(object)->findChild<QLineEdit*>(QString(), Qt::FindDirectChildrenOnly);
    }
    if (line) {
        return undo ? line->isUndoAvailable() : line->isRedoAvailable();
    }
    const QTextDocument* document = nullptr;
    if (const auto* plain = qobject_cast<QPlainTextEdit*>(object)) {
        document = plain->document();
    } else if (const auto* rich = qobject_cast<QTextEdit*>(object)) {
        document = rich->document();
    }
    if (document) {
        return undo ? document->isUndoAvailable() : document->isRedoAvailable();
    }
    return std::nullopt;
}

} // namespace

QList<QKeySequence> UndoKeys::redoKeys() {
    QList<QKeySequence> keys = QKeySequence::keyBindings(QKeySequence::Redo);
    const QKeySequence shiftZ(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
    if (!keys.contains(shiftZ)) {
        keys.append(shiftZ);
    }
    return keys;
}

void UndoKeys::install() {
    static QPointer<UndoKeys> installed;
    if (!installed && qApp) {
        installed = new UndoKeys(qApp);
        qApp->installEventFilter(installed);
    }
}

bool UndoKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    const bool undo = key->matches(QKeySequence::Undo);
    const QKeySequence pressed(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
    if (!undo && !key->matches(QKeySequence::Redo) && !redoKeys().contains(pressed)) {
        return false;
    }
    if (canUndoItself(watched, undo) == false) {
        // Not claimed by the field: the key goes on to the window's shortcuts, the Edit menu's.
        key->ignore();
        return true;
    }
    return false;
}

} // namespace orvalet

#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <functional>

class QUrl;
class QWidget;

namespace orvalet::Alerts {

// Gives every message box the application shows, ours or Qt's, our symbol for its kind in place of
// the style's picture (which on a bare desktop is Qt's own dated one), drawn in the box's text
// colour and drawn again when its palette or style changes. Called once by the application.
void useOwnIcons();
// The design's symbol for a kind of message box; empty for none.
QString symbolName(QMessageBox::Icon icon);

// Opens a window-modal confirmation of a deletion over `parent`: the title (also its accessible
// name), the message below it, a destructive "Delete" and "Cancel", which is the default and the
// Escape button, so Return never deletes. `finished` hears whether "Delete" was pressed; the box
// deletes itself after. The buttons carry the object names `confirmName` and `cancelName`.
QMessageBox* confirmDeletion(QWidget* parent, const QString& objectName, const QString& title,
                             const QString& message, std::function<void(bool confirmed)> finished,
                             const QString& confirmName = QStringLiteral("confirmDelete"),
                             const QString& cancelName = QStringLiteral("cancelDelete"));

// The same confirmation for another destructive action, its button reading `actionText`.
QMessageBox* confirmDestructive(QWidget* parent, const QString& objectName, const QString& title,
                                const QString& message, const QString& actionText,
                                std::function<void(bool confirmed)> finished, const QString& confirmName,
                                const QString& cancelName);

// Opens a window-modal warning with one "OK" over `parent`; `finished` is called as it closes.
QMessageBox* warn(QWidget* parent, const QString& objectName, const QString& title, const QString& message,
                  std::function<void()> finished);
// The same with the information icon.
QMessageBox* inform(QWidget* parent, const QString& objectName, const QString& title, const QString& message,
                    std::function<void()> finished);

// What askToSave does with each answer but "Cancel".
struct SaveChoices {
    // "Save": runs the save, then calls `done` with whether all of it went through.
    std::function<void(std::function<void(bool saved)> done)> save;
    // "Don't Save": gives the edit up.
    std::function<void()> discard;
};

// Opens a window-modal question over `parent` before an edit not saved would be lost: the title (also
// its accessible name), the message below it, then "Save" (or `saveText`, the form's own word for
// it), "Don't Save" and "Cancel"; Return saves and Escape cancels. `answered` hears whether the form
// may go: true once saved or given up, false after "Cancel" (or the box dismissed any other way) or a
// save that did not go through. The box deletes itself after. Once `parent` is gone no answer is acted
// on, but a save already started still reports through `answered`: it must guard what it captures.
// The buttons carry the object names "answerSave", "answerDontSave" and "answerCancel".
// `asking` holds the form's question while it shows: one at a time, so while it shows it is brought
// forward and a second asker is told to stay.
QMessageBox* askToSave(QPointer<QMessageBox>& asking, QWidget* parent, const QString& title,
                       const QString& message, const QString& saveText, SaveChoices choices,
                       std::function<void(bool leave)> answered);

// Hands `url` to the application registered for its scheme, or the browser. When none takes it
// (a Linux desktop without a handler for `things:`), says so in a warning over `parent` rather than
// doing nothing. False when the link was not opened.
bool openLink(QWidget* parent, const QUrl& url);

} // namespace orvalet::Alerts

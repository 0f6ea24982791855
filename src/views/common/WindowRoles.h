#pragma once

class QWidget;

namespace orvalet {

// Makes a plain top-level widget (the Settings window, Clean Up Unused Tags) a window to a screen
// reader. Qt gives such a widget the generic "client" role, which reads as a "filler" with no
// title; main windows and dialogs have roles of their own. `installWindowRoles` is called once by
// the application; each such window marks itself with `markAsWindow` in its constructor, before
// anything asks for its accessible interface (a widget is briefly a top-level while it is being
// put in place, so being one is no sign of a window by itself).
void installWindowRoles();
void markAsWindow(QWidget* window);

// Makes a widget an alert to a screen reader (a banner, a line that says how an action went): Qt
// gives a frame or a label no such role, so an assistive tool would not treat its text as news.
// Called in the widget's constructor; installs the roles when the application has not.
void markAsAlert(QWidget* widget);

} // namespace orvalet

#pragma once

#include "AppMenus.h"

#include <QMainWindow>
#include <QPointer>

namespace orvalet {

class ContentView;
class RenameTagsWindow;
class Preferences;
class TagStore;
class ThingsWorker;
class Updater;

// One main window: a ContentView over the shared store, with its toolbar and the application's
// menus; the File menu also holds the toolbar's "Import from Things" and "New Tag…".
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(TagStore& store, Preferences& preferences, ThingsWorker& worker, Updater& updater,
               AppMenus::Actions actions, QWidget* parent = nullptr);

    ContentView* contentView() const { return m_content; }

    // File ▸ "Export Tags…": asks where, then writes every stored tag there in the format the file
    // name's suffix asks for (JSON, CSV or OPML); a failure is shown and leaves any file in place.
    void exportTags();
    // The same without the dialog; false with the reason shown when the file could not be written.
    bool exportTagsTo(const QString& path);

protected:
    // An edit not saved in the window is asked about first; the window closes once the answer lets it.
    void closeEvent(QCloseEvent* event) override;

private:
    void addEditMenu(TagStore& store, Preferences& preferences, ThingsWorker& worker);
    // Edit ▸ "Rename Tags…": the renaming window over this one, for the selected tags or all.
    void renameTags(Preferences& preferences, ThingsWorker& worker);

    ContentView* m_content = nullptr;
    QPointer<RenameTagsWindow> m_renameTags;
    bool m_askedHistory = false; // this window asked for the undo or redo under way
};

} // namespace orvalet

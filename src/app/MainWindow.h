#pragma once

#include "AppMenus.h"

#include <QMainWindow>

namespace orvalet {

class ContentView;
class Preferences;
class TagStore;
class Updater;

// One main window: a ContentView over the shared store, with the application's menus.
class MainWindow final : public QMainWindow {
    Q_OBJECT

public:
    MainWindow(TagStore& store, Preferences& preferences, Updater& updater, AppMenus::Actions actions,
               QWidget* parent = nullptr);

    ContentView* contentView() const { return m_content; }

private:
    ContentView* m_content = nullptr;
};

} // namespace orvalet

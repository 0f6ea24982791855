#include "MainWindow.h"

#include "ContentView.h"

#include <QMenuBar>

namespace orvalet {

MainWindow::MainWindow(TagStore& store, Preferences& preferences, Updater& updater, AppMenus::Actions actions,
                       QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Orvalet"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_content = new ContentView(store, preferences, this);
    setCentralWidget(m_content);
    new AppMenus(*menuBar(), preferences, updater, std::move(actions));
    resize(900, 600);
}

} // namespace orvalet

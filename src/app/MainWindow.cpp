#include "MainWindow.h"

#include "ContentView.h"
#include "Preferences.h"
#include "TagOutlineView.h"

#include <QMenu>
#include <QMenuBar>

namespace orvalet {

MainWindow::MainWindow(TagStore& store, Preferences& preferences, ThingsWorker& worker, Updater& updater,
                       AppMenus::Actions actions, QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Orvalet"));
    setAccessibleName(QStringLiteral("Orvalet"));
    setAttribute(Qt::WA_DeleteOnClose);
    m_content = new ContentView(store, preferences, worker, this);
    setCentralWidget(m_content);
    connect(m_content, &ContentView::titleChanged, this, [this](const QString& title) {
        setWindowTitle(title);
        setAccessibleName(title);
    });
    addToolBar(Qt::TopToolBarArea, m_content->toolBar());
    new AppMenus(*menuBar(), preferences, updater, std::move(actions));
    if (auto* fileMenu = menuBar()->findChild<QMenu*>(QStringLiteral("fileMenu"))) {
        // "Import from Things" is the toolbar's own action, so it is enabled exactly when the button
        // is; "New Tag…" is always enabled, like the button it stands for.
        QAction* first = fileMenu->actions().value(0);
        auto* newTag = new QAction(QStringLiteral("New Tag…"), fileMenu);
        newTag->setObjectName(QStringLiteral("newTagMenuAction"));
        newTag->setShortcut(QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_N));
        connect(newTag, &QAction::triggered, m_content->newTagAction(), &QAction::trigger);
        fileMenu->insertAction(first, newTag);
        fileMenu->insertAction(first, m_content->importAction());
        fileMenu->insertSeparator(first);
    }
    if (auto* viewMenu = menuBar()->findChild<QMenu*>(QStringLiteral("viewMenu"))) {
        // The outline's own two items, usable while the sidebar shows it.
        viewMenu->addSeparator();
        QAction* expand = viewMenu->addAction(QStringLiteral("Expand All"));
        expand->setObjectName(QStringLiteral("expandAllAction"));
        expand->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Right));
        connect(expand, &QAction::triggered, m_content->outline(), &TagOutlineView::expandAllTags);
        QAction* collapse = viewMenu->addAction(QStringLiteral("Collapse All"));
        collapse->setObjectName(QStringLiteral("collapseAllAction"));
        collapse->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Left));
        connect(collapse, &QAction::triggered, m_content->outline(), &TagOutlineView::collapseAllTags);
        auto showEnabled = [&preferences, expand, collapse] {
            expand->setEnabled(preferences.showAsOutline());
            collapse->setEnabled(preferences.showAsOutline());
        };
        showEnabled();
        connect(&preferences, &Preferences::changed, this, showEnabled);
    }
    resize(900, 600);
}

} // namespace orvalet

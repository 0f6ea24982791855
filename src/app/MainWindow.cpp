#include "MainWindow.h"

#include "Alerts.h"
#include "ContentView.h"
#include "Preferences.h"
#include "TagExport.h"
#include "TagOutlineView.h"
#include "TagStore.h"

#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QStandardPaths>

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
        auto* exportTags = new QAction(QStringLiteral("Export Tags…"), fileMenu);
        exportTags->setObjectName(QStringLiteral("exportTagsAction"));
        exportTags->setShortcut(QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_E));
        connect(exportTags, &QAction::triggered, this, &MainWindow::exportTags);
        fileMenu->insertAction(first, exportTags);
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

void MainWindow::exportTags() {
    const QString json = QStringLiteral("JSON (*.json)");
    const QString csv = QStringLiteral("CSV (*.csv)");
    const QString opml = QStringLiteral("OPML (*.opml)");
    QString filter = json;
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export Tags"),
        QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
            .filePath(QStringLiteral("Tags.json")),
        json + QStringLiteral(";;") + csv + QStringLiteral(";;") + opml, &filter);
    if (path.isEmpty()) {
        return;
    }
    if (!TagExport::formatOf(path)) { // no known suffix: the chosen file type's
        path += filter == csv    ? QStringLiteral(".csv")
                : filter == opml ? QStringLiteral(".opml")
                                 : QStringLiteral(".json");
    }
    exportTagsTo(path);
}

bool MainWindow::exportTagsTo(const QString& path) {
    const std::optional<TagExport::Format> format = TagExport::formatOf(path);
    QString error = QStringLiteral("Choose a file name ending in .json, .csv or .opml.");
    if (format && TagExport::save(m_content->store().allTags(), *format, path, &error)) {
        return true;
    }
    Alerts::warn(this, QStringLiteral("exportFailed"), QStringLiteral("Export Failed"),
                 QStringLiteral("The tags could not be written to “%1”: %2")
                     .arg(QDir::toNativeSeparators(path), error),
                 [] {});
    return false;
}

} // namespace orvalet

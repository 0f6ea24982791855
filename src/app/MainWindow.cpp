#include "MainWindow.h"

#include "Alerts.h"
#include "ContentView.h"
#include "Preferences.h"
#include "RenameTagsWindow.h"
#include "StatusAreaView.h"
#include "TagExport.h"
#include "TagListActions.h"
#include "TagOutlineView.h"
#include "TagStore.h"
#include "UndoHistory.h"
#include "UndoKeys.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
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
    addEditMenu(store, preferences, worker);
    if (auto* viewMenu = menuBar()->findChild<QMenu*>(QStringLiteral("viewMenu"))) {
        // A filter of this window's sidebar, list and outline alike; not a preference.
        viewMenu->addSeparator();
        viewMenu->addAction(m_content->shortcutConflictsAction());
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
    WindowPlacement::keep(this, preferences, QSize(900, 600));
    WindowPlacement::keepSidebarWidth(m_content->splitter(), preferences);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (m_content->hasUnsavedEdits()) {
        event->ignore();
        m_content->askAboutUnsavedEdits([self = QPointer<MainWindow>(this)](bool proceed) {
            if (self && proceed) {
                self->close();
            }
        });
        return;
    }
    QMainWindow::closeEvent(event);
}

void MainWindow::exportTags() {
    const QString json = QStringLiteral("JSON (*.json)");
    const QString csv = QStringLiteral("CSV (*.csv)");
    const QString opml = QStringLiteral("OPML (*.opml)");
    QString filter = json;
    // The user's Documents folder, or home when there is none.
    QDir folder(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (!folder.exists()) {
        folder = QDir::home();
    }
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export Tags"), folder.filePath(QStringLiteral("Tags.json")),
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
    const QList<TagPtr> tags = m_content->store().allTags();
    if (format && TagExport::save(tags, *format, path, &error)) {
        m_content->statusArea()->showNotice(
            QStringLiteral("Exported %1 %2 to %3")
                .arg(tags.size())
                .arg(tags.size() == 1 ? QStringLiteral("tag") : QStringLiteral("tags"),
                     QFileInfo(path).fileName()));
        return true;
    }
    Alerts::warn(this, QStringLiteral("exportFailed"), QStringLiteral("Export Failed"),
                 QStringLiteral("The tags could not be written to “%1”: %2")
                     .arg(QDir::toNativeSeparators(path), error),
                 [] {});
    return false;
}

void MainWindow::renameTags(Preferences& preferences, ThingsWorker& worker) {
    if (!m_renameTags) {
        m_renameTags = new RenameTagsWindow(m_content->store(), preferences, worker,
                                            m_content->actions().selectedTagIds(), this);
        m_renameTags->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_renameTags->open();
}

// Edit ▸ Undo and Redo, over the one history of the store's changes. A step that cannot apply is
// reported in the window that asked for it.
void MainWindow::addEditMenu(TagStore& store, Preferences& preferences, ThingsWorker& worker) {
    auto* editMenu = new QMenu(QStringLiteral("&Edit"), menuBar());
    editMenu->setObjectName(QStringLiteral("editMenu"));
    QMenu* viewMenu = menuBar()->findChild<QMenu*>(QStringLiteral("viewMenu"));
    menuBar()->insertMenu(viewMenu ? viewMenu->menuAction() : nullptr, editMenu);
    UndoHistory& history = UndoHistory::forStore(store);
    QAction* undo = editMenu->addAction(history.undoText());
    undo->setObjectName(QStringLiteral("undoAction"));
    undo->setShortcuts(QKeySequence::Undo);
    QAction* redo = editMenu->addAction(history.redoText());
    redo->setObjectName(QStringLiteral("redoAction"));
    redo->setShortcuts(UndoKeys::redoKeys());
    // The keys reach these two from a text field that has nothing of its own to undo.
    UndoKeys::install();
    editMenu->addSeparator();
    editMenu->addAction(m_content->moveToTopLevelAction());
    QAction* renameTags =
        editMenu->addAction(QStringLiteral("Rename Tags…"), this,
                            [this, &preferences, &worker] { this->renameTags(preferences, worker); });
    renameTags->setObjectName(QStringLiteral("renameTagsAction"));
    renameTags->setShortcut(QKeySequence(Qt::SHIFT | Qt::CTRL | Qt::Key_R));
    auto show = [&history, undo, redo] {
        undo->setText(history.undoText());
        undo->setEnabled(history.canUndo());
        redo->setText(history.redoText());
        redo->setEnabled(history.canRedo());
    };
    show();
    connect(&history, &UndoHistory::changed, this, show);
    connect(undo, &QAction::triggered, this, [this, &history, &worker, &preferences] {
        m_askedHistory = true;
        history.undo(worker, preferences);
    });
    connect(redo, &QAction::triggered, this, [this, &history, &worker, &preferences] {
        m_askedHistory = true;
        history.redo(worker, preferences);
    });
    connect(&history, &UndoHistory::problem, this, [this](const QString& message) {
        if (std::exchange(m_askedHistory, false)) {
            Alerts::warn(this, QStringLiteral("undoProblem"), QStringLiteral("The Change Could Not Be Made"),
                         message, [] {});
        }
    });
    // What an undo of a deletion or merge gave back, in the status area of the window that asked for
    // it, as the export's message is: nothing to answer, so no alert.
    connect(&history, &UndoHistory::report, this, [this](const QString& message) {
        if (m_askedHistory) {
            m_content->statusArea()->showNotice(message);
        }
    });
    // A deletion that cannot be undone asks once more, over the window in front, once for all windows.
    connect(&history, &UndoHistory::question, this,
            [this, &history](int question, const QString& title, const QString& message) {
                const QByteArray shown = "questionShown" + QByteArray::number(question);
                if (history.property(shown.constData()).toBool()) {
                    return;
                }
                history.setProperty(shown.constData(), true);
                QWidget* front = QApplication::activeWindow() ? QApplication::activeWindow() : this;
                Alerts::confirmDestructive(
                    front, QStringLiteral("deleteWithoutUndoConfirmation"), title, message,
                    QStringLiteral("Delete"),
                    [history = QPointer<UndoHistory>(&history), question](bool confirmed) {
                        if (history) {
                            history->answerQuestion(question, confirmed);
                        }
                    },
                    QStringLiteral("confirmDeleteWithoutUndo"), QStringLiteral("cancelDeleteWithoutUndo"));
            });
    connect(&history, &UndoHistory::changed, this, [this, &history] {
        if (!history.isBusy()) {
            QMetaObject::invokeMethod(
                this, [this] { m_askedHistory = false; }, Qt::QueuedConnection);
        }
    });
}

} // namespace orvalet

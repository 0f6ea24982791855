#pragma once

#include "BatchEditView.h"
#include "BatchEditor.h"
#include "ContentView.h"
#include "MainWindow.h"
#include "OrvaletApp.h"
#include "StandInProcess.h"
#include "TagEditView.h"
#include "TagListActions.h"
#include "TagListModel.h"
#include "TagOutlineModel.h"
#include "TagStore.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <algorithm>
#include <memory>

namespace orvalet {

// What the window tests share: an application with a store and a preferences file of each test's
// own, one main window shown and active, a things3-standin process of the test's own (started with
// the demo library, its transcript on), and the moves a user makes in the window: clicking and
// right-clicking rows, choosing menu entries, finding the dialogs it shows.
//
// A test class derives from it and calls openWindow() in init() and closeWindow() in cleanup().
class WindowFixture {
protected:
    static constexpr int importTimeout = 10000;
    static constexpr int demoTagCount = 60;

    // An empty text when the window is open and active, else why not.
    QString openWindow() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_standIn = std::make_unique<StandInProcess>(); // its socket is the engine's from here on
        QString error;
        m_app = OrvaletApp::create(std::make_unique<QSettings>(
                                       m_dir->filePath(QStringLiteral("Orvalet.conf")), QSettings::IniFormat),
                                   m_dir->filePath(QStringLiteral("Orvalet.store")), &error);
        if (!m_app) {
            return error;
        }
        m_window = m_app->newMainWindow();
        m_window->show();
        m_window->activateWindow();
        return QTest::qWaitForWindowActive(m_window) ? QString() : QStringLiteral("the window is not active");
    }

    // The window as most tests start: open, with the demo library imported from a stand-in.
    QString openWindowWithDemo() {
        QString error = openWindow();
        if (error.isEmpty() && !startStandIn()) {
            error = QStringLiteral("the stand-in did not start");
        }
        if (error.isEmpty() && !importDemo()) {
            error = QStringLiteral("the demo library was not imported");
        }
        return error;
    }

    // Stops the stand-in, waits for the flows still running, and drops everything. False when a flow
    // did not end in time.
    bool closeWindow() {
        // A flow still waiting for Things 3 after a failed check must end before its store goes.
        if (m_standIn) {
            m_standIn->stop();
        }
        const bool idle = !m_app || QTest::qWaitFor([this] { return isIdle(); }, importTimeout);
        m_app.reset();
        m_standIn.reset();
        m_dir.reset();
        return idle;
    }

    // Saves what a user sees of the widget now, once its layouts have caught up, with the test artifacts.
    static bool screenshot(QWidget* widget, const QString& fileName) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QCoreApplication::processEvents();
        const QString folder = QStringLiteral(ORVALET_TEST_ARTIFACTS);
        return QDir().mkpath(folder) && widget->grab().save(folder + u'/' + fileName);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandInProcess> m_standIn;
    std::unique_ptr<OrvaletApp> m_app;
    MainWindow* m_window = nullptr;

    ContentView& content(MainWindow* window) { return *window->contentView(); }
    TagListModel& model(MainWindow* window) { return content(window).model(); }
    TagListActions& actions(MainWindow* window) { return content(window).actions(); }

    QString transcriptPath() const { return m_standIn->filePath(QStringLiteral("transcript")); }

    bool startStandIn(const QStringList& options = {}) {
        return m_standIn->start(
            QStringList{QStringLiteral("--demo"), QStringLiteral("--transcript"), transcriptPath()} +
            options);
    }

    // The programs the stand-in has answered, in order.
    QStringList transcriptPrograms() const {
        QFile file(transcriptPath());
        if (!file.open(QIODevice::ReadOnly)) {
            return {};
        }
        QStringList programs;
        for (const QString& entry :
             QString::fromUtf8(file.readAll()).split(QStringLiteral("=== program "), Qt::SkipEmptyParts)) {
            const qsizetype start = entry.indexOf(u'\n') + 1;
            programs.append(entry.mid(start, entry.indexOf(QStringLiteral("\n=== answer")) - start));
        }
        return programs;
    }

    // "Import from Things" from the toolbar, waited for to the end: true when the demo tags are listed.
    bool importDemo() {
        QAction* import = content(m_window).importAction();
        if (!import->isEnabled()) {
            return false;
        }
        import->trigger();
        // The list follows the store at the end of the event-loop turn that wrote it.
        return QTest::qWaitFor(
                   [this] {
                       return !actions(m_window).isImporting() && model(m_window).rowCount() == demoTagCount;
                   },
                   importTimeout) &&
               !actions(m_window).importError();
    }

    QModelIndex indexOf(MainWindow* window, const QString& name) {
        const TagListModel& rows = model(window);
        for (int row = 0; row < rows.rowCount(); ++row) {
            if (rows.index(row).data().toString() == name) {
                return rows.index(row);
            }
        }
        return {};
    }
    QStringList rowNames(MainWindow* window) {
        QStringList names;
        for (const TagPtr& tag : model(window).rows()) {
            names.append(tag->name());
        }
        return names;
    }

    // The selected rows' names, sorted, when the list and the window's selection agree; otherwise a
    // line naming both, which no expected value matches.
    QStringList selection(MainWindow* window) {
        QStringList inList;
        for (const QModelIndex& index : content(window).list()->selectionModel()->selectedRows()) {
            inList.append(index.data().toString());
        }
        QStringList inActions;
        for (const QString& id : actions(window).selectedTagIds()) {
            const TagPtr tag = m_app->store().tag(id);
            inActions.append(tag ? tag->name() : QStringLiteral("(gone) ") + id);
        }
        inList.sort();
        inActions.sort();
        if (inList != inActions) {
            return {QStringLiteral("list: ") + inList.join(u", ") + QStringLiteral("; window: ") +
                    inActions.join(u", ")};
        }
        return inList;
    }

    // A left click on the row, with Ctrl to add it to the selection.
    bool clickRow(MainWindow* window, const QString& name, Qt::KeyboardModifiers modifiers = {}) {
        const QModelIndex index = indexOf(window, name);
        if (!index.isValid()) {
            return false;
        }
        QListView* list = content(window).list();
        list->scrollTo(index);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, modifiers, list->visualRect(index).center());
        return true;
    }
    bool selectRows(MainWindow* window, const QStringList& names) {
        for (const QString& name : names) {
            if (!clickRow(window, name, name == names.first() ? Qt::NoModifier : Qt::ControlModifier)) {
                return false;
            }
        }
        return true;
    }

    // A right click on the row, through the window as the platform delivers it: the press, the
    // context menu it brings, the release. Returns the menu that opened.
    QMenu* openRowMenu(MainWindow* window, const QString& name) {
        QModelIndex index = indexOf(window, name);
        if (m_app->preferences().showAsOutline()) { // the tree's row of the same tag
            index = content(window).outlineModel().indexOf(index.data(TagListModel::TagIdRole).toString());
        }
        if (!index.isValid()) {
            return nullptr;
        }
        QAbstractItemView* list = content(window).tagView();
        list->scrollTo(index);
        const QPoint at = list->viewport()->mapTo(window, list->visualRect(index).center());
        QTest::mouseClick(window->windowHandle(), Qt::RightButton, {}, at);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        return menu && menu->objectName() == QStringLiteral("tagContextMenu") ? menu : nullptr;
    }
    static QAction* entry(QMenu* menu, const QString& name) { return menu->findChild<QAction*>(name); }
    // Clicks the menu's entry, which closes the menu.
    static bool choose(QMenu* menu, const QString& name) {
        QAction* action = entry(menu, name);
        if (!action || !action->isEnabled()) {
            return false;
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        return !menu->isVisible();
    }

    QMessageBox* box(const QString& name) {
        QMessageBox* found = m_window->findChild<QMessageBox*>(name);
        return found && found->isVisible() ? found : nullptr;
    }

    QWidget* focused() {
        QWidget* widget = QApplication::focusWidget();
        return widget ? widget : m_window;
    }

    // The stored tag of that name, null when none is.
    TagPtr storedTag(const QString& name) const {
        for (const TagPtr& tag : m_app->store().allTags()) {
            if (tag->name() == name) {
                return tag;
            }
        }
        return nullptr;
    }

    // The visible controls under `root` that a screen reader could not name: class, object name and
    // parent of each. `checked` counts the controls looked at.
    static QStringList unnamedControls(QWidget* root, int* checked = nullptr) {
        QStringList unnamed;
        for (QWidget* widget : root->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                                 qobject_cast<QAbstractItemView*>(widget) ||
                                 qobject_cast<QToolBar*>(widget) || qobject_cast<QComboBox*>(widget) ||
                                 qobject_cast<QGroupBox*>(widget);
            if (!control || !widget->isVisibleTo(root)) {
                continue;
            }
            if (checked) {
                ++*checked;
            }
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            if (!accessible || accessible->text(QAccessible::Name).trimmed().isEmpty()) {
                unnamed.append(QString::fromLatin1(widget->metaObject()->className()) + u' ' +
                               widget->objectName() + QStringLiteral(" in ") +
                               QString::fromLatin1(widget->parentWidget()->metaObject()->className()) + u' ' +
                               widget->parentWidget()->objectName());
            }
        }
        return unnamed;
    }

    bool isIdle() {
        for (MainWindow* window : m_app->mainWindows()) {
            if (actions(window).isImporting() || actions(window).refreshingTagCount() > 0) {
                return false;
            }
            // A save or a deletion of an editor still waiting for Things 3.
            const auto busy = [](const auto& views) {
                return std::any_of(views.begin(), views.end(),
                                   [](auto* view) { return view->editor().isBusy(); });
            };
            if (busy(window->findChildren<TagEditView*>()) || busy(window->findChildren<BatchEditView*>())) {
                return false;
            }
        }
        return true;
    }
};

} // namespace orvalet

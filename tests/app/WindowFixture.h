#pragma once

#include "BatchEditView.h"
#include "ContentView.h"
#include "MainWindow.h"
#include "OrvaletApp.h"
#include "ParentPicker.h"
#include "SimilarTagsWindow.h"
#include "StandInEngine.h"
#include "StandInProcess.h"
#include "TagEditView.h"
#include "TagListActions.h"
#include "TagListModel.h"
#include "TagOutlineModel.h"
#include "TagSearchList.h"
#include "UndoHistory.h"
#include "UnusedTagsWindow.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>
#include <algorithm>
#include <memory>

// Fails the test with what a screen reader could not name under `root`.
#define VERIFY_ALL_NAMED(root)                                                                               \
    do {                                                                                                     \
        const QStringList unnamed = unnamedControls(root);                                                   \
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u"; ")));                                        \
    } while (false)

namespace orvalet {

// What the window tests share: an application with a store and a preferences file of each test's
// own, one main window shown and active, a things3-standin process of the test's own (started with
// the demo library, its transcript on, the demo imported when the test class asks for it), and the
// moves a user makes in the window: clicking and right-clicking rows, choosing menu entries,
// answering the dialogs it shows.
class WindowFixture : public QObject {
    Q_OBJECT

public Q_SLOTS:
    // Takes the links the application opens in place of the desktop.
    void openUrl(const QUrl& url) { m_opened.append(url); }

private Q_SLOTS:
    // Opens the window, active, with the demo imported when the test class asks for it.
    void init() {
        m_dir = std::make_unique<QTemporaryDir>();
        m_standIn = std::make_unique<StandInProcess>(); // its socket is the engine's from here on
        m_opened.clear();
        QVERIFY(restart());
        QVERIFY(!startsWithDemo() || (startStandIn() && importDemo()));
    }
    // Stops the stand-in, waits for the flows still running, and drops everything.
    void cleanup() {
        // A flow still waiting for Things 3 after a failed check must end before its store goes.
        m_standIn->stop();
        const bool idle = !m_app || QTest::qWaitFor([this] { return isIdle(); }, importTimeout);
        m_app.reset();
        m_standIn.reset();
        m_dir.reset();
        QVERIFY(idle);
    }

protected:
    static constexpr int importTimeout = 10000;
    static constexpr int demoTagCount = 60;
    static inline const QString thingsNotOpen =
        u"Things 3 is not open. Please open Things 3 and try again."_qs;

    // Whether each test starts with the demo library imported from a stand-in.
    virtual bool startsWithDemo() const { return true; }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandInProcess> m_standIn;
    std::unique_ptr<OrvaletApp> m_app;
    MainWindow* m_window = nullptr;
    QList<QUrl> m_opened;

    // The updater each start of the application makes: this build's own unless the test class says.
    virtual UpdaterFactory makeUpdater() { return makePlatformUpdater; }
    std::unique_ptr<OrvaletApp> createApp(const UpdaterFactory& updater, QString* error) {
        return OrvaletApp::create(
            std::make_unique<QSettings>(m_dir->filePath(u"Orvalet.conf"_qs), QSettings::IniFormat),
            m_dir->filePath(u"Orvalet.store"_qs), error, updater);
    }
    // Quits the application, if it runs, and starts it over the test's store and preferences file:
    // its first main window, shown and active, null when the application or the window did not come.
    MainWindow* restart() {
        m_app.reset();
        QString error;
        m_app = createApp(makeUpdater(), &error);
        if (!m_app) {
            qWarning("%s", qPrintable(error));
            return m_window = nullptr;
        }
        m_window = m_app->newMainWindow();
        m_window->show();
        m_window->activateWindow();
        return QTest::qWaitForWindowActive(m_window) ? m_window : nullptr;
    }

    ContentView& content(MainWindow* window) { return *window->contentView(); }
    TagListModel& model(MainWindow* window) { return content(window).model(); }
    TagListActions& actions(MainWindow* window) { return content(window).actions(); }

    QString transcriptPath() const { return m_standIn->filePath(u"transcript"_qs); }
    bool startStandIn(const QStringList& options = {}) {
        return m_standIn->start(QStringList{u"--demo"_qs, u"--transcript"_qs, transcriptPath()} + options);
    }
    // Runs the statements in the stand-in's Things 3, behind the window's back: true when they ran.
    static bool runInThings(const QString& statements) {
        const std::optional<ScriptOutcome> outcome =
            StandInEngine().run(u"tell application \"Things3\"\n"_qs + statements + u"\nend tell"_qs);
        return outcome && !outcome->error;
    }
    // How many programs the stand-in has answered.
    qsizetype programsSent() const {
        QFile file(transcriptPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll().count("=== program ") : 0;
    }

    // "Import from Things" from the toolbar, waited for to the end: true when the demo tags are listed.
    bool importDemo() {
        content(m_window).importAction()->trigger();
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
        const QModelIndexList found =
            rows.match(rows.index(0), Qt::DisplayRole, name, 1, Qt::MatchExactly | Qt::MatchCaseSensitive);
        return found.isEmpty() ? QModelIndex() : found.first();
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
            inActions.append(tag ? tag->name() : u"(gone) "_qs + id);
        }
        inList.sort();
        inActions.sort();
        return inList == inActions ? inList
                                   : QStringList{u"list: "_qs + inList.join(u", ") + u"; window: "_qs +
                                                 inActions.join(u", ")};
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
        return std::all_of(names.begin(), names.end(), [&](const QString& name) {
            return clickRow(window, name, name == names.first() ? Qt::NoModifier : Qt::ControlModifier);
        });
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
        return menu && menu->objectName() == u"tagContextMenu"_qs ? menu : nullptr;
    }
    // Clicks the menu's entry, which closes the menu.
    static bool choose(QMenu* menu, const QString& name) {
        QAction* action = menu ? menu->findChild<QAction*>(name) : nullptr;
        if (!action || !action->isEnabled()) {
            return false;
        }
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
        return !menu->isVisible();
    }

    // The visible widget of that type and name under `in` (the main window when none), else null.
    template <typename T = QAbstractButton>
    T* shown(const QString& name, QWidget* in = nullptr) {
        T* found = (in ? in : m_window)->findChild<T*>(name);
        return found && found->isVisible() ? found : nullptr;
    }
    QMessageBox* box(const QString& name, QWidget* in = nullptr) { return shown<QMessageBox>(name, in); }
    // Clicks the visible button of that name under `in`: false when there is none.
    bool press(const QString& name, QWidget* in) {
        QAbstractButton* button = in ? shown(name, in) : nullptr;
        if (button) {
            QTest::mouseClick(button, Qt::LeftButton);
        }
        return button;
    }
    // Waits for the message box of that name to show, then presses its button.
    bool answer(const QString& dialog, const QString& button, QWidget* in = nullptr) {
        return QTest::qWaitFor([&] { return box(dialog, in); }) && press(button, box(dialog, in));
    }

    // The editors shown in the main window's detail column, null when another page shows.
    TagEditView* editor() { return content(m_window).tagEditView(); }
    BatchEditView* pane() { return qobject_cast<BatchEditView*>(content(m_window).detail()); }
    QLineEdit* nameField(QWidget* in) { return shown<QLineEdit>(u"nameField"_qs, in); }
    // The text of the visible label of that name under `in`, empty when none shows.
    QString labelText(const QString& name, QWidget* in) {
        QLabel* label = shown<QLabel>(name, in);
        return label ? label->text() : QString();
    }
    static QString spokenName(QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    }
    // Types into the field as a user does, replacing what it held.
    static void retype(QLineEdit* field, const QString& text) {
        field->setFocus();
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
    }
    // Opens the parent picker under `in`, searches for the name and clicks its entry, as a user picks
    // a parent: true when the popup took the keyboard, closed on the click and the picker shows the name.
    static bool chooseParent(QWidget* in, const QString& name) {
        auto* picker = in->findChild<ParentPicker*>(u"parentPicker"_qs);
        picker->showPopup();
        TagSearchList* popup = picker->popupList();
        if (!popup || !popup->searchField()->hasFocus()) {
            return false;
        }
        QTest::keyClicks(popup->searchField(), name);
        QAbstractItemView* list = popup->list();
        const QModelIndexList found =
            list->model()->match(list->model()->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchExactly);
        if (found.isEmpty()) {
            return false;
        }
        list->scrollTo(found.first());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualRect(found.first()).center());
        return !picker->popupList() && picker->currentText() == name;
    }

    // The stored tag of that name, null when none is.
    TagPtr storedTag(const QString& name) const {
        const QList<TagPtr> tags = m_app->store().allTags();
        const auto found =
            std::find_if(tags.begin(), tags.end(), [&](const TagPtr& t) { return t->name() == name; });
        return found == tags.end() ? nullptr : *found;
    }

    // What a screen reader could not name under `root`: its visible controls (class, object name and
    // parent of each), the window itself, each row of its item views; or that it found no control.
    static QStringList unnamedControls(QWidget* root) {
        const auto nameOf = [](QAccessibleInterface* accessible) {
            return accessible ? accessible->text(QAccessible::Name).trimmed() : QString();
        };
        QStringList unnamed;
        int controls = 0;
        if (root->isWindow() && nameOf(QAccessible::queryAccessibleInterface(root)).isEmpty()) {
            unnamed.append(u"the window"_qs);
        }
        for (QWidget* widget : root->findChildren<QWidget*>()) {
            const bool control = qobject_cast<QAbstractButton*>(widget) || qobject_cast<QLineEdit*>(widget) ||
                                 qobject_cast<QAbstractItemView*>(widget) ||
                                 qobject_cast<QToolBar*>(widget) || qobject_cast<QComboBox*>(widget) ||
                                 qobject_cast<QGroupBox*>(widget);
            if (!control || !widget->isVisibleTo(root)) {
                continue;
            }
            ++controls;
            const QString what = QString::fromLatin1(widget->metaObject()->className()) + u' ' +
                                 widget->objectName() + u" in "_qs + widget->parentWidget()->objectName();
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            // A button without words of its own would be read out by the title of its group box.
            const auto* button = qobject_cast<QAbstractButton*>(widget);
            if (nameOf(accessible).isEmpty() ||
                (button && button->text().isEmpty() && button->accessibleName().isEmpty())) {
                unnamed.append(what);
            }
            QAccessibleTableInterface* table = accessible ? accessible->tableInterface() : nullptr;
            for (int row = 0; table && row < table->rowCount(); ++row) {
                if (nameOf(table->cellAt(row, 0)).isEmpty()) {
                    unnamed.append(what + u", row "_qs + QString::number(row));
                }
            }
        }
        return controls ? unnamed : QStringList{u"no control at all"_qs};
    }

private:
    bool isIdle() {
        // An undo, a redo or a settle of a lost answer still asking Things 3: the recount of open to-dos
        // that ends an undo outlives the row it brought back.
        if (UndoHistory::forStore(m_app->store()).isBusy()) {
            return false;
        }
        if (auto* cleanup = qobject_cast<UnusedTagsWindow*>(m_app->unusedTagsWindow());
            cleanup && cleanup->cleanup().isDeleting()) {
            return false;
        }
        if (auto* similar = qobject_cast<SimilarTagsWindow*>(m_app->similarTagsWindow());
            similar && similar->review().isBusy()) {
            return false;
        }
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

#include "BatchResultSheet.h"
#include "EmptyStateView.h"
#include "ProgressOverlay.h"
#include "SqliteDatabase.h"
#include "StatusAreaView.h"
#include "TagDropController.h"
#include "TagOutlineView.h"
#include "WindowFixture.h"

#include <QDesktopServices>
#include <QMimeData>
#include <QScopeGuard>
#include <QScrollBar>

using namespace orvalet;

// The main window driven as a user drives it: toolbar, row context menus, dialogs and keys, the
// sidebar as an outline, and tags dragged onto tags in both modes.
class MainWindowTests final : public WindowFixture {
    Q_OBJECT

private:
    // The import tests start from an empty list.
    bool startsWithDemo() const override {
        return !QByteArray(QTest::currentTestFunction()).startsWith("import");
    }

    // Chooses "Delete" in the row's menu, labelled `label` when one is given: the confirmation that
    // shows, null when none does.
    QMessageBox* askToDelete(const QString& row, const QString& label = {}) {
        QMenu* menu = openRowMenu(m_window, row);
        const bool asked =
            menu && (label.isEmpty() || menu->findChild<QAction*>(u"deleteTags"_qs)->text() == label) &&
            choose(menu, u"deleteTags"_qs) &&
            QTest::qWaitFor([this] { return box(u"deleteConfirmation"_qs); });
        return asked ? box(u"deleteConfirmation"_qs) : nullptr;
    }
    QString bannerText() {
        auto* banner = shown<QWidget>(u"listBanner"_qs);
        return banner ? banner->findChild<QLabel*>(u"errorMessage"_qs)->text() : QString();
    }

    TagOutlineModel& outlineModel() { return content(m_window).outlineModel(); }
    TagOutlineView* tree() { return content(m_window).outline(); }
    QModelIndex node(const QString& name) {
        const TagPtr tag = storedTag(name);
        return tag ? outlineModel().indexOf(tag->id()) : QModelIndex();
    }
    // The tag's row in the view shown: the tree's or the list's.
    QModelIndex row(const QString& name) {
        return m_app->preferences().showAsOutline() ? node(name) : indexOf(m_window, name);
    }

    // What a drag of `names` carries, as the view makes it from the dragged rows.
    QMimeData* dragOf(const QStringList& names) {
        QModelIndexList rows;
        for (const QString& name : names) {
            rows.append(row(name));
        }
        return TagDropController::mimeData(rows);
    }
    // The drag moved over `target` (the empty area below the rows when empty) and dropped there, as
    // the platform delivers it to the view. False when the view refused it while dragging.
    bool dropOnto(QMimeData* data, const QString& target) {
        QAbstractItemView* view = content(m_window).tagView();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        QPoint at(view->viewport()->width() / 2, view->viewport()->height() - 2);
        if (target.isEmpty() && view->indexAt(at).isValid()) {
            return false; // no empty area to drop on
        }
        if (!target.isEmpty()) {
            view->scrollTo(row(target));
            at = view->visualRect(row(target)).center();
        }
        QDragEnterEvent enter(at, Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(view->viewport(), &enter);
        QDragMoveEvent move(at, Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(view->viewport(), &move);
        if (!move.isAccepted()) {
            QDragLeaveEvent leave;
            QCoreApplication::sendEvent(view->viewport(), &leave);
            return false;
        }
        QDropEvent drop(at, Qt::MoveAction, data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(view->viewport(), &drop);
        return drop.isAccepted();
    }

private Q_SLOTS:
    void importShowsTheDemoTagsWithTheirSpokenTexts() {
        QVERIFY(startStandIn());
        m_app->preferences().setFlag(PreferenceKey::showChildrenCounts, true);
        m_app->preferences().setFlag(PreferenceKey::showTodoCounts, true);
        QListView* list = content(m_window).list();
        // An empty sidebar says so and offers the import.
        auto* empty = m_window->findChild<EmptyStateView*>(u"sidebarEmpty"_qs);
        QVERIFY(empty->isVisible() && !list->isVisible());
        QCOMPARE(empty->title(), u"No Tags"_qs);
        QVERIFY(press(u"sidebarImport"_qs, empty));
        QTRY_COMPARE_WITH_TIMEOUT(model(m_window).rowCount(), demoTagCount, importTimeout);
        QVERIFY(!empty->isVisible() && list->isVisible());
        // A search without a match says what was searched for.
        QTest::keyClicks(content(m_window).searchField(), u"zzz"_qs);
        QVERIFY(empty->isVisible());
        QCOMPARE(empty->title(), u"No tags match \u201Czzz\u201D"_qs);
        content(m_window).searchField()->clear();
        QVERIFY(!empty->isVisible());

        // Each row reads out what it draws: the name, its key cap, the counts, then the path beneath.
        QAccessibleTableInterface* cells = QAccessible::queryAccessibleInterface(list)->tableInterface();
        for (int row = 0; row < demoTagCount; ++row) {
            const QModelIndex index = model(m_window).index(row);
            QStringList shown{index.data().toString()};
            if (const QString key = index.data(TagListModel::ShortcutRole).toString(); !key.isEmpty()) {
                shown.append(
                    u"shortcut "_qs + key +
                    (index.data(TagListModel::ShortcutConflictRole).toBool() ? u", shared"_qs : u""_qs));
            }
            for (int role : {int(TagListModel::ChildCountTextRole), int(TagListModel::TodoCountTextRole),
                             int(TagListModel::AncestorPathRole)}) {
                shown.append(index.data(role).toString());
            }
            shown.removeAll(QString());
            QCOMPARE(cells->cellAt(row, 0)->text(QAccessible::Name), shown.join(u", "));
        }

        // A row has its second line only when it has a path to show there.
        QVERIFY(list->visualRect(indexOf(m_window, u"Work"_qs)).height() <
                list->visualRect(indexOf(m_window, u"Admin"_qs)).height());
        // Another filter starts at the top of the list, and the scroll bar says so.
        m_window->resize(900, 330);
        list->scrollToBottom();
        m_app->preferences().setFlag(PreferenceKey::showRootTagsOnly, true);
        QTRY_COMPARE(list->indexAt(QPoint(5, 5)).row(), 0);
        QCOMPARE(list->verticalScrollBar()->value(), 0);
    }

    void importWithoutThingsAlertsAndLeavesTheList() {
        // No stand-in is started: nothing listens on the socket, as when Things 3 is not running.
        m_app->store().insert(Tag(u"kept-1"_qs, u"Kept"_qs));
        QTRY_COMPARE(rowNames(m_window), QStringList{u"Kept"_qs});
        for (int attempt = 0; attempt < 2; ++attempt) { // the alert comes back after it was dismissed
            content(m_window).importAction()->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(box(u"importFailed"_qs), importTimeout);
            QMessageBox* alert = box(u"importFailed"_qs);
            QCOMPARE(alert->informativeText(), thingsNotOpen);
            QCOMPARE(alert->windowModality(), Qt::WindowModal);
            QVERIFY(content(m_window).importAction()->isEnabled() &&
                    !content(m_window).overlay()->isVisible());
            QTest::mouseClick(alert->button(QMessageBox::Ok), Qt::LeftButton);
            QTRY_VERIFY(!m_window->findChild<QMessageBox*>(u"importFailed"_qs));
        }
        QCOMPARE(rowNames(m_window), QStringList{u"Kept"_qs});
    }

    // While Things 3 answers, the window still takes keys; the Find key then moves to the search field
    // from the list, with its text selected so that typing replaces it.
    void importKeepsTheWindowResponsiveAndFindReachesTheSearchField() {
        QVERIFY(startStandIn({u"--delay-ms"_qs, u"1500"_qs}));
        ContentView& view = content(m_window);
        QSignalSpy finds(view.findChild<QAction*>(u"findAction"_qs), &QAction::triggered);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(50);

        view.importAction()->trigger();
        QVERIFY(!view.importAction()->isEnabled() && view.overlay()->isVisible());
        QTRY_VERIFY(ticks >= 5);
        QTest::keySequence(QApplication::focusWidget() ? QApplication::focusWidget() : m_window,
                           QKeySequence::Find);
        QCOMPARE(finds.size(), 1);
        QVERIFY(actions(m_window).isImporting()); // all of the above happened while Things 3 answered
        QTRY_VERIFY_WITH_TIMEOUT(!view.overlay()->isVisible() && view.importAction()->isEnabled(),
                                 importTimeout);
        QTRY_COMPARE(model(m_window).rowCount(), demoTagCount);

        for (const QString& typed : {u"err"_qs, u"kid"_qs}) {
            view.list()->setFocus();
            QTRY_VERIFY(view.list()->hasFocus());
            QTest::keySequence(view.list(), QKeySequence::Find);
            QTRY_VERIFY(view.searchField()->hasFocus());
            QTest::keyClicks(view.searchField(), typed);
            QCOMPARE(view.searchField()->text(), typed);
        }
        QCOMPARE(rowNames(m_window), QStringList{u"Kids"_qs});
        // Escape clears the search, then leaves the empty field for the list.
        QTest::keyClick(view.searchField(), Qt::Key_Escape);
        QVERIFY(view.searchField()->text().isEmpty() && view.searchField()->hasFocus());
        QTest::keyClick(view.searchField(), Qt::Key_Escape);
        QTRY_VERIFY(view.list()->hasFocus());
    }

    // The menu of an unselected row acts on that row alone and leaves the selection; that of a
    // selected row acts on the selection. Cancel and Escape keep the tags; a confirmed deletion takes
    // the tag's row and those below it (one that fails: ReadingTests).
    void deleteFromTheRowMenuConfirmsItsTargetsFirst() {
        const QStringList three{u"Calls"_qs, u"Email"_qs, u"Errands"_qs};
        QVERIFY(selectRows(m_window, three));

        QMessageBox* confirmation = askToDelete(u"Computer"_qs, u"Delete Tag"_qs);
        QVERIFY(confirmation && confirmation->text() == u"Delete \"Computer\"?"_qs);
        QCOMPARE(selection(m_window), three);
        QCOMPARE(confirmation->windowModality(), Qt::WindowModal);
        // "Delete" is drawn as destructive; Return keeps the tags.
        QVERIFY(confirmation->findChild<QPushButton*>(u"confirmDelete"_qs)
                    ->palette()
                    .color(QPalette::ButtonText) != QApplication::palette().color(QPalette::ButtonText));
        QCOMPARE(confirmation->defaultButton(), confirmation->findChild<QPushButton*>(u"cancelDelete"_qs));
        QVERIFY(press(u"cancelDelete"_qs, confirmation));
        QTRY_VERIFY(!m_window->findChild<QMessageBox*>(u"deleteConfirmation"_qs));

        confirmation = askToDelete(u"Email"_qs, u"Delete Tags"_qs);
        QVERIFY(confirmation && confirmation->text() == u"Delete 3 tags?"_qs);
        QTest::keyClick(confirmation, Qt::Key_Escape); // dismissed without a button: a cancel too
        QTRY_VERIFY(!m_window->findChild<QMessageBox*>(u"deleteConfirmation"_qs));
        QCOMPARE(selection(m_window), three);
        QCOMPARE(model(m_window).rowCount(), demoTagCount);

        // The confirmation comes after the read for Undo, and says what it found.
        confirmation = askToDelete(u"Family"_qs);
        QVERIFY(confirmation);
        QCOMPARE(confirmation->informativeText(),
                 u"This deletes \u201CFamily\u201D and its 4 child tags from this app AND Things 3 and takes "
                 u"them off 29 to-dos. You can undo this with Edit \u25B8 Undo."_qs);
        QVERIFY(press(u"confirmDelete"_qs, confirmation));
        QTRY_VERIFY_WITH_TIMEOUT(!indexOf(m_window, u"Family"_qs).isValid(), importTimeout);
        QVERIFY(!indexOf(m_window, u"Kids"_qs).isValid());
        // Undo says what came back in the status area, as the export does: no alert to dismiss.
        m_window->findChild<QAction*>(u"undoAction"_qs)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(indexOf(m_window, u"Kids"_qs).isValid(), importTimeout);
        QTRY_COMPARE(content(m_window).statusArea()->notice(), u"Restored 5 tags on 29 to-dos."_qs);
        QVERIFY(!QApplication::activeModalWidget());
        QVERIFY(press(u"confirmDelete"_qs, askToDelete(u"Family"_qs)));
        QTRY_VERIFY_WITH_TIMEOUT(!indexOf(m_window, u"Family"_qs).isValid(), importTimeout);

        QVERIFY(!QApplication::activeModalWidget()); // the confirmation went, and came not again
    }

    // The banner above the list says once that the tag list could not be saved, until it can.
    void aStoreThatCannotBeSavedIsShownAboveTheList() {
        SqliteDatabase other;
        QVERIFY(other.open(m_app->store().path(), nullptr) && other.exec("BEGIN EXCLUSIVE"));
        storedTag(u"Urgent"_qs)->setTodosCount(9);
        QTRY_COMPARE_WITH_TIMEOUT(bannerText(), u"Orvalet could not save its tag list: database is locked"_qs,
                                  importTimeout);
        QVERIFY(other.exec("ROLLBACK"));
        storedTag(u"Urgent"_qs)->setTodosCount(8);
        QTRY_VERIFY(!shown<QWidget>(u"listBanner"_qs));
    }

    void exportWritesTheChosenFormatAndShowsAFailure() {
        QVERIFY(m_window->findChild<QAction*>(u"exportTagsAction"_qs));
        QVERIFY(m_window->exportTagsTo(m_dir->filePath(u"Tags.opml"_qs)));
        // Success is confirmed where the list's status is shown, for a few seconds.
        StatusAreaView* status = content(m_window).statusArea();
        QVERIFY(status->isVisible());
        QCOMPARE(status->notice(), u"Exported 60 tags to Tags.opml"_qs);

        QVERIFY(!m_window->exportTagsTo(m_dir->filePath(u"missing/Tags.json"_qs)));
        QTRY_VERIFY(box(u"exportFailed"_qs));
        QVERIFY(box(u"exportFailed"_qs)->informativeText().startsWith(u"The tags could not"_qs));
    }

    // "Update from Things" on a selected row refreshes the selection under the overlay; a rename made
    // in Things 3 reaches the list, and the selection follows it.
    void refreshFromTheRowMenuTakesRenamesAndKeepsTheSelection() {
        m_standIn->stop();
        QVERIFY(startStandIn({u"--delay-ms"_qs, u"200"_qs}));
        QVERIFY(runInThings(u"set name of tag \"Calls\" to \"Phone Calls\""_qs));
        QVERIFY(selectRows(m_window, {u"Calls"_qs, u"Email"_qs}));
        QVERIFY(choose(openRowMenu(m_window, u"Email"_qs), u"updateFromThings"_qs));
        ProgressOverlay* overlay = content(m_window).overlay();
        QVERIFY(overlay->isVisible());
        QCOMPARE(overlay->title(), u"Importing 2 tags from Things\u2026"_qs);
        QTRY_VERIFY_WITH_TIMEOUT(!overlay->isVisible(), importTimeout);
        QTRY_VERIFY(indexOf(m_window, u"Phone Calls"_qs).isValid());
        QCOMPARE(selection(m_window), (QStringList{u"Email"_qs, u"Phone Calls"_qs}));
    }

    // Only an identifier a link can carry as it is opens anything; with nothing to open a things:
    // link, the user is told so, never left without an answer.
    void viewInThingsOpensTheTagsLinkOnly() {
        QDesktopServices::setUrlHandler(u"things"_qs, this, "openUrl");
        const auto unset = qScopeGuard([] { QDesktopServices::unsetUrlHandler(u"things"_qs); });
        m_app->store().insert(Tag(u"with space"_qs, u"Spaced Id"_qs));
        m_app->store().insert(Tag(u"bad%zz"_qs, u"Escaped Id"_qs));
        QTRY_COMPARE(model(m_window).rowCount(), demoTagCount + 2);
        for (const QString& name : {u"Spaced Id"_qs, u"Escaped Id"_qs, u"Errands"_qs}) {
            QVERIFY2(choose(openRowMenu(m_window, name), u"viewInThings"_qs), qPrintable(name));
        }
        QCOMPARE(m_opened, QList<QUrl>{QUrl(u"things:///show?id="_qs + storedTag(u"Errands"_qs)->id())});

        QDesktopServices::unsetUrlHandler(u"things"_qs);
        QVERIFY(choose(openRowMenu(m_window, u"Errands"_qs), u"viewInThings"_qs));
        QTRY_VERIFY(box(u"linkNotOpened"_qs));
        QCOMPARE(box(u"linkNotOpened"_qs)->text(), u"Orvalet could not open the link"_qs);
        QVERIFY(box(u"linkNotOpened"_qs)->informativeText().startsWith(u"things:///show?id="_qs));
    }

    void secondWindowKeepsItsOwnSelectionAndSearchOverTheSharedStore() {
        MainWindow* second = m_app->newMainWindow();
        second->show();
        QVERIFY(QTest::qWaitForWindowExposed(second));
        QVERIFY(clickRow(m_window, u"Errands"_qs));
        QTest::keyClicks(content(second).searchField(), u"Kid"_qs);
        QCOMPARE(rowNames(second), QStringList{u"Kids"_qs});
        QVERIFY(clickRow(second, u"Kids"_qs));

        m_app->store().insert(Tag(u"kidney-1"_qs, u"Kidney Beans"_qs));
        QTRY_COMPARE(rowNames(second), (QStringList{u"Kidney Beans"_qs, u"Kids"_qs}));
        QCOMPARE(model(m_window).rowCount(), demoTagCount + 1);
        QCOMPARE(selection(m_window), QStringList{u"Errands"_qs});
        QCOMPARE(selection(second), QStringList{u"Kids"_qs});
    }

    // The demo gives Important and Urgent the same key. The key cap is drawn after the name, in the
    // warning colour when shared; "key:" finds by key; the View menu's filter keeps the shared ones.
    void shortcutsShowAsKeyCapsFoundByKeyAndConflictsFilterTheList() {
        QListView* list = content(m_window).list();
        const QModelIndex home = indexOf(m_window, u"Home"_qs);
        QCOMPARE(home.data(Qt::AccessibleTextRole).toString(), u"Home, shortcut h"_qs);
        QCOMPARE(indexOf(m_window, u"Urgent"_qs).data(Qt::AccessibleTextRole).toString(),
                 u"Urgent, shortcut !, shared"_qs);
        // The row's pixels after the name: a key cap's outline appears where the plain row had none.
        list->scrollTo(home);
        const QRect row = list->visualRect(home);
        const QImage withCap = list->viewport()->grab(row).toImage();
        m_app->store().tag(home.data(TagListModel::TagIdRole).toString())->setShortcut(QString());
        QTRY_COMPARE(indexOf(m_window, u"Home"_qs).data(TagListModel::ShortcutRole).toString(), QString());
        const QRect afterName(list->fontMetrics().horizontalAdvance(u"Home"_qs) + 8, 0, 40, row.height());
        QVERIFY(withCap.copy(afterName) != list->viewport()->grab(row).toImage().copy(afterName));

        QTest::keyClicks(content(m_window).searchField(), u"KEY:W"_qs);
        QCOMPARE(rowNames(m_window), QStringList{u"Work"_qs});
        content(m_window).searchField()->clear();
        QAction* conflicts = m_window->findChild<QAction*>(u"showShortcutConflictsAction"_qs);
        QVERIFY(conflicts && conflicts->isCheckable());
        conflicts->trigger();
        QCOMPARE(rowNames(m_window), (QStringList{u"Important"_qs, u"Urgent"_qs}));
        m_app->store()
            .tag(indexOf(m_window, u"Urgent"_qs).data(TagListModel::TagIdRole).toString())
            ->setShortcut({});
        QTRY_COMPARE(m_window->findChild<EmptyStateView*>(u"sidebarEmpty"_qs)->title(),
                     u"No Shortcut Conflicts"_qs);
        conflicts->trigger();
        QCOMPARE(model(m_window).rowCount(), demoTagCount);
    }

    void everyVisibleControlHasAnAccessibleName() {
        m_app->preferences().setFlag(PreferenceKey::showChildrenCounts, true); // shows the status area
        QVERIFY(clickRow(m_window, u"Errands"_qs));
        QTest::keyClicks(content(m_window).searchField(), u"e"_qs); // shows the clear button
        VERIFY_ALL_NAMED(m_window);
    }

    void outlineShowsTheForestAndKeepsAncestorsOfSearchMatches() {
        Preferences& preferences = m_app->preferences();
        preferences.setFlag(PreferenceKey::showTodoCounts, true);
        m_window->findChild<QAction*>(u"action:showAsOutline"_qs)->trigger();
        QVERIFY(tree()->isVisible() && !content(m_window).list()->isVisible());

        QCOMPARE(outlineModel().rowCount(node(u"Work"_qs)), 3); // Admin, Meetings, Projects
        QVERIFY(!node(u"Kids"_qs).parent().parent().isValid()); // Family > Kids
        // Arrow keys expand and collapse; the selection and the editor follow the tree.
        tree()->setFocus();
        tree()->setCurrentIndex(node(u"Work"_qs));
        QTRY_VERIFY(content(m_window).tagEditView());
        QTest::keyClick(tree(), Qt::Key_Right);
        QVERIFY(tree()->isExpanded(node(u"Work"_qs)));
        QTest::keyClick(tree(), Qt::Key_Left);
        QVERIFY(!tree()->isExpanded(node(u"Work"_qs)));

        // Rolled-up counts: the subtree's open to-dos after the tag's own.
        QVERIFY(node(u"Family"_qs)
                    .data(TagListModel::RolledUpTodoTextRole)
                    .toString()
                    .endsWith(u" with subtags"));

        // A search keeps each match's ancestors, greyed and expanded; the rest is hidden.
        QTest::keyClicks(content(m_window).searchField(), u"homew"_qs);
        QCOMPARE(outlineModel().rowCount(), 1);
        QVERIFY(tree()->isExpanded(node(u"School"_qs)));
        QVERIFY(node(u"Family"_qs).data(Qt::ForegroundRole).isValid());
        QVERIFY(!node(u"Homework"_qs).data(Qt::ForegroundRole).isValid());
        content(m_window).searchField()->clear();
        m_window->findChild<QAction*>(u"expandAllAction"_qs)->trigger();
        QVERIFY(tree()->isExpanded(node(u"Website Relaunch"_qs)));

        // The row's menu acts on the tree's rows as on the list's.
        QVERIFY(choose(openRowMenu(m_window, u"Online"_qs), u"deleteTags"_qs));
        QTRY_VERIFY(box(u"deleteConfirmation"_qs));
        QCOMPARE(box(u"deleteConfirmation"_qs)->text(), u"Delete \"Online\"?"_qs);
        QTest::keyClick(box(u"deleteConfirmation"_qs), Qt::Key_Escape);
        QTRY_VERIFY(!box(u"deleteConfirmation"_qs));

        // A tag whose parent is not stored is a root that says so.
        m_app->store().insert(Tag(u"stray"_qs, u"Stray"_qs, u"gone"_qs));
        QTRY_VERIFY(node(u"Stray"_qs).isValid() && !node(u"Stray"_qs).parent().isValid());
        QVERIFY(!node(u"Stray"_qs).data(Qt::DecorationRole).value<QIcon>().isNull());
        // Its tooltip reads the whole row, counts included, which a narrow row may leave out.
        QCOMPARE(node(u"Stray"_qs).data(Qt::ToolTipRole).toString(),
                 u"Stray, 0 todos, Its parent tag is missing; import again to repair"_qs);

        VERIFY_ALL_NAMED(m_window);
        // "Reset" brings the flat list back.
        preferences.resetDisplayPreferences();
        QVERIFY(!tree()->isVisible() && content(m_window).list()->isVisible());
    }

    // The Delete key, and Backspace as on a Mac keyboard, ask to delete the tag selected in the list or
    // the tree, whichever has the focus.
    void deleteKeysAskToDeleteTheSelection_data() {
        QTest::addColumn<bool>("outline");
        QTest::addColumn<int>("key");
        for (const auto& [name, key] :
             {std::pair{"Delete", Qt::Key_Delete}, {"Backspace", Qt::Key_Backspace}}) {
            QTest::addRow("list, %s", name) << false << int(key);
            QTest::addRow("outline, %s", name) << true << int(key);
        }
    }
    void deleteKeysAskToDeleteTheSelection() {
        QFETCH(bool, outline);
        QFETCH(int, key);
        m_app->preferences().setFlag(PreferenceKey::showAsOutline, outline);
        QAbstractItemView* view = content(m_window).tagView();
        view->setFocus();
        view->setCurrentIndex(row(u"Online"_qs));
        QTRY_VERIFY(view->hasFocus());
        QTest::keyClick(view, Qt::Key(key));
        QTRY_VERIFY(box(u"deleteConfirmation"_qs));
        QCOMPARE(box(u"deleteConfirmation"_qs)->text(), u"Delete \"Online\"?"_qs);
        QTest::keyClick(box(u"deleteConfirmation"_qs), Qt::Key_Escape);
        QTRY_VERIFY(!box(u"deleteConfirmation"_qs));
        QVERIFY(storedTag(u"Online"_qs));
    }

    void droppingTagsOntoATagMovesThemThroughThings() {
        // In the flat list: three tags onto Health, in one program.
        const qsizetype before = programsSent();
        const QStringList moved{u"Urgent"_qs, u"Important"_qs, u"Errands"_qs};
        QVERIFY(dropOnto(dragOf(moved), u"Health"_qs));
        QVERIFY(content(m_window).drops().isMoving());
        QVERIFY(!dropOnto(dragOf({u"Finance"_qs}), u"Work"_qs)); // no second move while one runs
        QTRY_VERIFY(!content(m_window).drops().isMoving());
        QCOMPARE(programsSent(), before + 1);
        QTRY_COMPARE(indexOf(m_window, u"Errands"_qs).data(TagListModel::AncestorPathRole).toString(),
                     u"Health"_qs);

        // In the outline: onto a tag below a dragged one is refused while dragging, nothing sent.
        m_app->preferences().setFlag(PreferenceKey::showAsOutline, true);
        QVERIFY(!dropOnto(dragOf({u"Health"_qs}), u"Errands"_qs));
        QVERIFY(!dropOnto(dragOf({u"Health"_qs}), u"Health"_qs));
        // The same drag again after a tag moved below Health: that tag is refused too.
        storedTag(u"Finance"_qs)->setParentTagId(storedTag(u"Health"_qs)->id());
        QTRY_VERIFY(node(u"Finance"_qs).parent().isValid());
        QVERIFY(!dropOnto(dragOf({u"Health"_qs}), u"Finance"_qs));
        QCOMPARE(programsSent(), before + 1);

        // Below the rows: to the top level.
        QVERIFY(dropOnto(dragOf({u"Errands"_qs}), QString()));
        QTRY_VERIFY(!content(m_window).drops().isMoving());
        QVERIFY(!node(u"Errands"_qs).parent().isValid());

        // A drop that fails shows the result sheet: "Urgent" is deleted in Things 3 behind the window's back.
        QVERIFY(runInThings(u"delete tag \"Urgent\""_qs));
        QVERIFY(dropOnto(dragOf({u"Urgent"_qs}), u"Work"_qs));
        BatchResultSheet* sheet = nullptr;
        QTRY_VERIFY((sheet = shown<BatchResultSheet>(u"dropResult"_qs)));
        QCOMPARE(sheet->findChild<QLabel*>(u"batchResultTitle"_qs)->text(), u"Update Failed"_qs);
        QCOMPARE(node(u"Urgent"_qs).parent(), node(u"Health"_qs)); // nothing changed locally
        QTest::keyClick(sheet, Qt::Key_Return);
        QTRY_VERIFY(!m_window->findChild<BatchResultSheet*>(u"dropResult"_qs));
    }
};

QTEST_MAIN(MainWindowTests)
#include "MainWindowTests.moc"

#include "BatchResultSheet.h"
#include "StandInEngine.h"
#include "TagDropController.h"
#include "TagOutlineModel.h"
#include "TagOutlineView.h"
#include "WindowFixture.h"

#include <QLabel>
#include <QMimeData>

using namespace orvalet;

// The sidebar as an outline, and tags dragged onto tags in both modes, driven through the window
// against a stand-in process.
class OutlineTests final : public WindowFixture {
    Q_OBJECT

private:
    TagOutlineModel& outlineModel() { return content(m_window).outlineModel(); }
    TagOutlineView* tree() { return content(m_window).outline(); }
    QModelIndex node(const QString& name) {
        const TagPtr tag = storedTag(name);
        return tag ? outlineModel().indexOf(tag->id()) : QModelIndex();
    }
    QAction* viewAction(const QString& name) { return m_window->findChild<QAction*>(name); }
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
    void outlineShowsTheForestAndKeepsAncestorsOfSearchMatches() {
        Preferences& preferences = m_app->preferences();
        preferences.setFlag(PreferenceKey::showTodoCounts, true);
        viewAction(u"action:showAsOutline"_qs)->trigger();
        QVERIFY(preferences.showAsOutline());
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
        viewAction(u"expandAllAction"_qs)->trigger();
        QVERIFY(tree()->isExpanded(node(u"Website Relaunch"_qs)));

        // The row's menu acts on the tree's rows as on the list's.
        QVERIFY(choose(openRowMenu(m_window, u"Online"_qs), u"deleteTags"_qs));
        QTRY_VERIFY(box(u"deleteConfirmation"_qs));
        QCOMPARE(box(u"deleteConfirmation"_qs)->text(), u"Delete \"Online\"?"_qs);
        QTest::keyClick(box(u"deleteConfirmation"_qs), Qt::Key_Escape);
        QTRY_VERIFY(!box(u"deleteConfirmation"_qs));

        // A tag whose parent is not stored is a root that says so.
        m_app->store().insert(Tag(u"stray"_qs, u"Stray"_qs, u"gone"_qs));
        QTRY_VERIFY(node(u"Stray"_qs).isValid());
        QVERIFY(!node(u"Stray"_qs).parent().isValid());
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
        for (bool outline : {false, true}) {
            QTest::addRow("%s, Delete", outline ? "outline" : "list") << outline << int(Qt::Key_Delete);
            QTest::addRow("%s, Backspace", outline ? "outline" : "list") << outline << int(Qt::Key_Backspace);
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
        // In the flat list: three tags onto Health, three update programs.
        const qsizetype before = programsSent();
        const QStringList moved{u"Urgent"_qs, u"Important"_qs, u"Errands"_qs};
        QVERIFY(dropOnto(dragOf(moved), u"Health"_qs));
        QVERIFY(content(m_window).drops().isMoving());
        QVERIFY(!dropOnto(dragOf({u"Finance"_qs}), u"Work"_qs)); // no second move while one runs
        QTRY_VERIFY(!content(m_window).drops().isMoving());
        QCOMPARE(programsSent(), before + 3);
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
        QCOMPARE(programsSent(), before + 3);

        // Below the rows: to the top level.
        QVERIFY(dropOnto(dragOf({u"Errands"_qs}), QString()));
        QTRY_VERIFY(!content(m_window).drops().isMoving());
        QVERIFY(!node(u"Errands"_qs).parent().isValid());
    }

    void aFailingDropShowsTheResultSheet() {
        // "Urgent" is deleted in Things 3 behind the window's back.
        const std::optional<ScriptOutcome> deleted =
            StandInEngine().run(u"tell application \"Things3\"\n    delete tag \"Urgent\"\nend tell"_qs);
        QVERIFY(deleted && !deleted->error);
        QVERIFY(dropOnto(dragOf({u"Urgent"_qs}), u"Work"_qs));
        BatchResultSheet* sheet = nullptr;
        QTRY_VERIFY((sheet = m_window->findChild<BatchResultSheet*>(u"dropResult"_qs)));
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->findChild<QLabel*>(u"batchResultTitle"_qs)->text(), u"Update Failed"_qs);
        QVERIFY(!storedTag(u"Urgent"_qs)->parentTagId()); // nothing changed locally
        QTest::keyClick(sheet, Qt::Key_Return);
        QTRY_VERIFY(!m_window->findChild<BatchResultSheet*>(u"dropResult"_qs));
    }
};

QTEST_MAIN(OutlineTests)
#include "OutlineTests.moc"

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
class OutlineTests final : public QObject, protected WindowFixture {
    Q_OBJECT

private:
    TagOutlineModel& outlineModel() { return content(m_window).outlineModel(); }
    TagOutlineView* tree() { return content(m_window).outline(); }
    QModelIndex node(const QString& name) {
        const TagPtr tag = storedTag(name);
        return tag ? outlineModel().indexOf(tag->id()) : QModelIndex();
    }
    QStringList childNames(const QModelIndex& parent) {
        QStringList names;
        for (int row = 0; row < outlineModel().rowCount(parent); ++row) {
            names.append(outlineModel().index(row, 0, parent).data().toString());
        }
        return names;
    }
    QAction* viewAction(const QString& name) { return m_window->findChild<QAction*>(name); }

    // What a drag of `names` carries, as the view makes it from the dragged rows.
    QMimeData* dragOf(const QStringList& names) {
        QModelIndexList rows;
        for (const QString& name : names) {
            rows.append(m_app->preferences().showAsOutline() ? node(name) : indexOf(m_window, name));
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
            const QModelIndex index =
                m_app->preferences().showAsOutline() ? node(target) : indexOf(m_window, target);
            view->scrollTo(index);
            at = view->visualRect(index).center();
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
    QString parentName(const QString& name) {
        const TagPtr tag = storedTag(name);
        const TagPtr parent = tag && tag->parentTagId() ? m_app->store().tag(*tag->parentTagId()) : nullptr;
        return parent ? parent->name() : QString();
    }

private Q_SLOTS:
    void init() {
        const QString error = openWindowWithDemo();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void cleanup() { QVERIFY(closeWindow()); }

    void outlineShowsTheForestAndKeepsAncestorsOfSearchMatches() {
        Preferences& preferences = m_app->preferences();
        preferences.setFlag(PreferenceKey::showTodoCounts, true);
        QVERIFY(!viewAction(QStringLiteral("expandAllAction"))->isEnabled());
        viewAction(QStringLiteral("action:showAsOutline"))->trigger();
        QVERIFY(preferences.showAsOutline());
        QVERIFY(tree()->isVisible() && !content(m_window).list()->isVisible());
        QVERIFY(viewAction(QStringLiteral("expandAllAction"))->isEnabled());

        QCOMPARE(
            childNames(node(QStringLiteral("Work"))),
            (QStringList{QStringLiteral("Admin"), QStringLiteral("Meetings"), QStringLiteral("Projects")}));
        QVERIFY(!node(QStringLiteral("Kids")).parent().parent().isValid()); // Family > Kids
        // Arrow keys expand and collapse; the selection and the editor follow the tree.
        tree()->setFocus();
        tree()->setCurrentIndex(node(QStringLiteral("Work")));
        QTRY_VERIFY(content(m_window).tagEditView());
        QTest::keyClick(tree(), Qt::Key_Right);
        QVERIFY(tree()->isExpanded(node(QStringLiteral("Work"))));
        QTest::keyClick(tree(), Qt::Key_Left);
        QVERIFY(!tree()->isExpanded(node(QStringLiteral("Work"))));

        // Rolled-up counts: the subtree's open to-dos after the tag's own.
        qint64 family = 0;
        for (const QString& name : {u"Family"_qs, u"Kids"_qs, u"School"_qs, u"Homework"_qs, u"Parents"_qs}) {
            family += storedTag(name)->todosCount().value_or(0);
        }
        QCOMPARE(node(QStringLiteral("Family")).data(TagListModel::RolledUpTodoTextRole).toString(),
                 QStringLiteral("%1 with subtags").arg(family));

        // A search keeps each match's ancestors, greyed and expanded; the rest is hidden.
        QTest::keyClicks(content(m_window).searchField(), QStringLiteral("homew"));
        QCOMPARE(outlineModel().rowCount(), 1);
        QCOMPARE(childNames(node(QStringLiteral("School"))), QStringList{QStringLiteral("Homework")});
        QVERIFY(tree()->isExpanded(node(QStringLiteral("School"))));
        QVERIFY(node(QStringLiteral("Family")).data(Qt::ForegroundRole).isValid());
        QVERIFY(!node(QStringLiteral("Homework")).data(Qt::ForegroundRole).isValid());
        QVERIFY(screenshot(m_window, QStringLiteral("outline-search.png")));
        content(m_window).searchField()->clear();
        viewAction(QStringLiteral("expandAllAction"))->trigger();
        QVERIFY(tree()->isExpanded(node(QStringLiteral("Website Relaunch"))));
        QVERIFY(screenshot(m_window, QStringLiteral("outline.png")));

        // The row's menu and the Delete key act on the tree's rows as on the list's.
        QMenu* menu = openRowMenu(m_window, QStringLiteral("Online"));
        QVERIFY(menu);
        QVERIFY(choose(menu, QStringLiteral("deleteTags")));
        QTRY_VERIFY(box(QStringLiteral("deleteConfirmation")));
        QCOMPARE(box(QStringLiteral("deleteConfirmation"))->text(), QStringLiteral("Delete \"Online\"?"));
        QTest::keyClick(box(QStringLiteral("deleteConfirmation")), Qt::Key_Escape);
        QTRY_VERIFY(!box(QStringLiteral("deleteConfirmation")));

        // A tag whose parent is not stored is a root that says so.
        m_app->store().insert(Tag(QStringLiteral("stray"), QStringLiteral("Stray"), QStringLiteral("gone")));
        QTRY_VERIFY(node(QStringLiteral("Stray")).isValid());
        QVERIFY(!node(QStringLiteral("Stray")).parent().isValid());
        QVERIFY(!node(QStringLiteral("Stray")).data(Qt::DecorationRole).value<QIcon>().isNull());
        // Its tooltip reads the whole row, counts included, which a narrow row may leave out.
        QCOMPARE(node(QStringLiteral("Stray")).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Stray, 0 todos, Its parent tag is missing; import again to repair"));

        QStringList unnamed = unnamedControls(m_window);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(u"; ")));
        // "Reset" brings the flat list back.
        preferences.resetDisplayPreferences();
        QVERIFY(!tree()->isVisible() && content(m_window).list()->isVisible());
    }

    void droppingTagsOntoATagMovesThemThroughThings() {
        // In the flat list: three tags onto Health, three update programs.
        const qsizetype before = transcriptPrograms().size();
        const QStringList moved{QStringLiteral("Urgent"), QStringLiteral("Important"),
                                QStringLiteral("Errands")};
        QVERIFY(dropOnto(dragOf(moved), QStringLiteral("Health")));
        QTRY_VERIFY(!content(m_window).drops().isMoving());
        for (const QString& name : moved) {
            QCOMPARE(parentName(name), QStringLiteral("Health"));
        }
        QCOMPARE(transcriptPrograms().size(), before + 3);
        QTRY_COMPARE(
            indexOf(m_window, QStringLiteral("Errands")).data(TagListModel::AncestorPathRole).toString(),
            QStringLiteral("Health"));

        // In the outline: onto a tag below a dragged one is refused while dragging, nothing sent.
        m_app->preferences().setFlag(PreferenceKey::showAsOutline, true);
        QVERIFY(!dropOnto(dragOf({QStringLiteral("Health")}), QStringLiteral("Errands")));
        QVERIFY(!dropOnto(dragOf({QStringLiteral("Health")}), QStringLiteral("Health")));
        // The same drag again after a tag moved below Health: that tag is refused too.
        storedTag(QStringLiteral("Finance"))->setParentTagId(storedTag(QStringLiteral("Health"))->id());
        QTRY_VERIFY(node(QStringLiteral("Finance")).parent().isValid());
        QVERIFY(!dropOnto(dragOf({QStringLiteral("Health")}), QStringLiteral("Finance")));
        QCOMPARE(transcriptPrograms().size(), before + 3);

        // Below the rows: to the top level.
        QVERIFY(dropOnto(dragOf({QStringLiteral("Errands")}), QString()));
        QTRY_VERIFY(!content(m_window).drops().isMoving());
        QCOMPARE(parentName(QStringLiteral("Errands")), QString());
        QVERIFY(!node(QStringLiteral("Errands")).parent().isValid());
    }

    void aFailingDropShowsTheResultSheet() {
        // "Urgent" is deleted in Things 3 behind the window's back.
        const std::optional<ScriptOutcome> deleted = StandInEngine().run(
            QStringLiteral("tell application \"Things3\"\n    delete tag \"Urgent\"\nend tell"));
        QVERIFY(deleted && !deleted->error);
        QVERIFY(dropOnto(dragOf({QStringLiteral("Urgent")}), QStringLiteral("Work")));
        BatchResultSheet* sheet = nullptr;
        QTRY_VERIFY((sheet = m_window->findChild<BatchResultSheet*>(QStringLiteral("dropResult"))));
        QTRY_VERIFY(sheet->isVisible());
        QCOMPARE(sheet->findChild<QLabel*>(QStringLiteral("batchResultTitle"))->text(),
                 QStringLiteral("Update Failed"));
        QCOMPARE(parentName(QStringLiteral("Urgent")), QString()); // nothing changed locally
        QTest::keyClick(sheet, Qt::Key_Return);
        QTRY_VERIFY(!m_window->findChild<BatchResultSheet*>(QStringLiteral("dropResult")));
    }
};

QTEST_MAIN(OutlineTests)
#include "OutlineTests.moc"

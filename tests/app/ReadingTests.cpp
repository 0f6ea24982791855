#include "BatchResultSheet.h"
#include "ErrorRow.h"
#include "RenameTagsWindow.h"
#include "StatusAreaView.h"
#include "TagCreateView.h"
#include "TagOutlineView.h"
#include "TagRowDelegate.h"
#include "WindowFixture.h"

#include <QCheckBox>
#include <QSplitter>
#include <QTreeView>
#include <QtGui/private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

using namespace orvalet;

namespace {

// What a screen reader was told: each event's kind, and the object's role and name at that moment.
struct Heard {
    QAccessible::Event type;
    QObject* object;
    QAccessible::Role role;
    QString name;
};
QList<Heard>& heard() {
    static QList<Heard> events;
    return events;
}
void listen(QAccessibleEvent* event) {
    QAccessibleInterface* object = event->accessibleInterface();
    heard().append({event->type(), event->object(), object ? object->role() : QAccessible::NoRole,
                    object ? object->text(QAccessible::Name) : QString()});
}

} // namespace

// What the main window says, and whether a screen reader hears it: the filter strip, the outline's
// rows at any width, the banner and the editor's save.
class ReadingTests final : public WindowFixture {
    Q_OBJECT

private:
    // The names a reader was given, in order, for alerts about `object`.
    static QStringList alertsOf(QObject* object) {
        QStringList names;
        for (const Heard& event : std::as_const(heard())) {
            if (event.object == object && event.type == QAccessible::Alert) {
                names.append(event.name);
            }
        }
        return names;
    }
    QStringList statusLines() {
        QStringList lines;
        for (QLabel* line : content(m_window).statusArea()->findChildren<QLabel*>(u"statusLine"_qs)) {
            if (line->isVisibleTo(m_window)) {
                lines.append(line->text());
            }
        }
        return lines;
    }

private Q_SLOTS:
    // The offscreen platform has no screen reader to wake Qt's accessibility: the tests stand in for one.
    void initTestCase() {
        QPlatformAccessibility* platform = QGuiApplicationPrivate::platformIntegration()->accessibility();
        QVERIFY(platform);
        platform->setActive(true);
        QAccessible::installUpdateHandler(listen);
    }
    void cleanupTestCase() { QAccessible::installUpdateHandler(nullptr); }

    // "Show Shortcut Conflicts" says so among the display options, and their "Reset" turns it off too.
    void theShortcutConflictFilterShowsInTheStripAndGoesWithReset() {
        QAction* conflicts = m_window->findChild<QAction*>(u"showShortcutConflictsAction"_qs);
        QVERIFY(conflicts);
        conflicts->trigger();
        QCOMPARE(rowNames(m_window), (QStringList{u"Important"_qs, u"Urgent"_qs}));
        QCOMPARE(statusLines(), QStringList{u"Showing only shortcut conflicts"_qs});
        StatusAreaView* strip = content(m_window).statusArea();
        QVERIFY(strip->isVisible());
        auto* line = strip->findChild<QLabel*>(u"statusLine"_qs);
        QCOMPARE(QAccessible::queryAccessibleInterface(line)->text(QAccessible::Name),
                 u"Showing only shortcut conflicts"_qs);

        // With a preference away from its default, the filter keeps its line among theirs.
        m_app->preferences().setFlag(PreferenceKey::showRootTagsOnly, true);
        QTRY_COMPARE(statusLines(),
                     (QStringList{u"Showing only root tags"_qs, u"Showing only shortcut conflicts"_qs}));

        QVERIFY(press(u"statusReset"_qs, strip));
        QVERIFY(!conflicts->isChecked());
        QVERIFY(!m_app->preferences().showRootTagsOnly());
        QCOMPARE(model(m_window).rowCount(), demoTagCount);
        QVERIFY(!strip->isVisible());

        // Turned off from the menu, the line goes with it.
        conflicts->trigger();
        QTRY_COMPARE(statusLines(), QStringList{u"Showing only shortcut conflicts"_qs});
        conflicts->trigger();
        QVERIFY(!strip->isVisible());
    }

    // At every width the outline's name wins the room: the key cap shows where the whole name leaves
    // room for it, and the count columns drop whole, the same ones on every row, before any name is
    // cut for them. The tooltip still carries every count.
    void outlineRowsGiveUpWholeCountColumnsAlikeBeforeANameIsCut() {
        Preferences& preferences = m_app->preferences();
        preferences.setFlag(PreferenceKey::showAsOutline, true);
        preferences.setFlag(PreferenceKey::showTodoCounts, true);
        preferences.setFlag(PreferenceKey::showChildrenCounts, true);
        storedTag(u"Family"_qs)->setShortcut(u"f"_qs);
        TagOutlineView* tree = content(m_window).outline();
        QTRY_COMPARE(tree->model()->index(0, 0).data(TagListModel::ChildCountTextRole).toBool(), true);
        tree->expandAll();
        auto* rows = qobject_cast<TagRowDelegate*>(tree->itemDelegate());
        QVERIFY(rows);
        m_window->resize(1000, 700);

        const std::array<int, 3> roles{TagListModel::ChildCountTextRole, TagListModel::TodoCountTextRole,
                                       TagListModel::RolledUpTodoTextRole};
        QList<int> columnsShown; // per width
        bool cutWhenNarrow = false;
        content(m_window).splitter()->setSizes({640, 360});
        QCoreApplication::processEvents();
        // Each width as the rows of a view that wide are laid out (the window keeps a sidebar wider
        // than the narrowest of them).
        for (const int width : {90, 130, 170, 220, 260, 300, 340, 400, 480, 600}) {
            const QFontMetrics caption(TagRowDelegate::captionFont(tree->font()));
            const QFontMetrics body(tree->font());
            std::array<int, 3> rowsWith{}, rowsShowing{};
            bool anyCount = false, anyCut = false, anyCapLeftOut = false;
            for (QModelIndex index = tree->model()->index(0, 0); index.isValid();
                 index = tree->indexBelow(index)) {
                QStyleOptionViewItem option;
                option.initFrom(tree);
                option.rect = tree->visualRect(index);
                option.rect.setRight(std::min(option.rect.right(), width - 1));
                option.font = tree->font();
                option.widget = tree;
                const TagRowDelegate::RowLayout row = rows->layout(option, index);
                const QString name = index.data().toString();
                const QString where = name + u" at "_qs + QString::number(width);
                for (size_t column = 0; column < roles.size(); ++column) {
                    const QString text = index.data(roles[column]).toString();
                    rowsWith[column] += !text.isEmpty();
                    const auto shown = std::find_if(row.counts.begin(), row.counts.end(),
                                                    [&](const auto& count) { return count.text == text; });
                    if (!text.isEmpty() && shown != row.counts.end()) {
                        ++rowsShowing[column];
                        QVERIFY2(shown->column.width() >= caption.horizontalAdvance(text), qPrintable(where));
                    }
                    QVERIFY2(index.data(Qt::ToolTipRole).toString().contains(text), qPrintable(where));
                }
                // A name is cut only when it does not fit the row alone; the key cap only follows a whole
                // name.
                const bool cut = row.name != name;
                QVERIFY2(!cut || (row.counts.isEmpty() && body.horizontalAdvance(name) > row.nameRoom),
                         qPrintable(where));
                QVERIFY2(!(cut && row.keyCap), qPrintable(where));
                anyCount = anyCount || !row.counts.isEmpty();
                anyCut = anyCut || cut;
                anyCapLeftOut = anyCapLeftOut ||
                                (!index.data(TagListModel::ShortcutRole).toString().isEmpty() && !row.keyCap);
            }
            cutWhenNarrow = cutWhenNarrow || (width == 90 && anyCut && anyCapLeftOut);
            // Counts show only while every name is whole with its key cap.
            QVERIFY2(!anyCount || (!anyCut && !anyCapLeftOut), qPrintable(QString::number(width)));
            int shownColumns = 0;
            for (size_t column = 0; column < roles.size(); ++column) {
                QVERIFY2(rowsShowing[column] == 0 || rowsShowing[column] == rowsWith[column],
                         qPrintable(QString::number(width)));
                shownColumns += rowsShowing[column] > 0;
            }
            columnsShown.append(shownColumns);
        }
        // Narrow, the names have the row, and some are cut; wide, every column shows; the columns come
        // back one by one.
        QVERIFY(cutWhenNarrow);
        QCOMPARE(columnsShown.first(), 0);
        QCOMPARE(columnsShown.last(), 3);
        QVERIFY(std::is_sorted(columnsShown.begin(), columnsShown.end()));
        QVERIFY(std::adjacent_find(columnsShown.begin(), columnsShown.end(),
                                   [](int a, int b) { return b > a + 1; }) == columnsShown.end());
    }

    // A deletion whose tree cannot be read for Undo because Things 3 is not open fails with nothing to
    // confirm first, and says so above the list: an alert to a screen reader, told so when it shows.
    void theBannerIsAnAlertThatAReaderHears() {
        m_standIn->stop();
        heard().clear();
        QVERIFY(choose(openRowMenu(m_window, u"Work"_qs), u"deleteTags"_qs));
        auto* banner = m_window->findChild<ErrorRow*>(u"listBanner"_qs);
        QTRY_VERIFY(banner->isVisible());
        QVERIFY(!box(u"deleteConfirmation"_qs) && !box(u"deleteWithoutUndoConfirmation"_qs));
        QVERIFY(indexOf(m_window, u"Work"_qs).isValid());
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(banner);
        QCOMPARE(spoken->role(), QAccessible::AlertMessage);
        const QString said = u"Error: \u201CWork\u201D was not deleted. "_qs + thingsNotOpen;
        QCOMPARE(spoken->text(QAccessible::Name), said);
        QCOMPARE(alertsOf(banner), QStringList{said});
    }

    // A save is said as it starts and as it ends: "Saving…", then "Saved"; a failure is said by the
    // error row, and the line goes.
    void aSaveIsSaidAsItStartsAndAsItEnds() {
        m_standIn->stop();
        QVERIFY(startStandIn({u"--delay-ms"_qs, u"300"_qs}));
        QVERIFY(clickRow(m_window, u"Errands"_qs));
        TagEditView* editor = content(m_window).tagEditView();
        auto* status = editor->findChild<QLabel*>(u"saveStatus"_qs);
        QVERIFY(status && !status->isVisible());
        QCOMPARE(QAccessible::queryAccessibleInterface(status)->role(), QAccessible::AlertMessage);

        heard().clear();
        auto* name = editor->findChild<QLineEdit*>(u"nameField"_qs);
        name->selectAll();
        QTest::keyClicks(name, u"Chores"_qs);
        QVERIFY(press(u"saveChanges"_qs, editor));
        QTRY_COMPARE_WITH_TIMEOUT(alertsOf(status), (QStringList{u"Saving…"_qs, u"Saved"_qs}), importTimeout);
        QVERIFY(status->isVisible());
        QCOMPARE(status->text(), u"Saved"_qs);
        QVERIFY(std::any_of(heard().begin(), heard().end(), [status](const Heard& event) {
            return event.object == status && event.type == QAccessible::NameChanged &&
                   event.name == u"Saving…"_qs;
        }));

        heard().clear();
        m_standIn->stop();
        QTest::keyClicks(name, u" Old"_qs);
        QVERIFY(press(u"saveChanges"_qs, editor));
        auto* error = editor->findChild<ErrorRow*>();
        QTRY_VERIFY_WITH_TIMEOUT(error->isVisible(), importTimeout);
        QCOMPARE(alertsOf(status), QStringList{u"Saving…"_qs});
        QCOMPARE(alertsOf(error), QStringList{u"Error: "_qs + thingsNotOpen});
        QVERIFY(!status->isVisible());

        // The creation sheet says as much as it starts.
        heard().clear();
        content(m_window).newTagAction()->trigger();
        TagCreateView* creation = content(m_window).createSheet();
        QTest::keyClicks(creation->findChild<QLineEdit*>(u"nameField"_qs), u"Ideas"_qs);
        QVERIFY(press(u"createTagButton"_qs, creation));
        auto* creating = creation->findChild<QLabel*>(u"creatingLabel"_qs);
        QTRY_COMPARE(alertsOf(creating), QStringList{u"Creating…"_qs});
        QCOMPARE(QAccessible::queryAccessibleInterface(creating)->role(), QAccessible::AlertMessage);
    }

    // Edit ▸ "Rename Tags…" over two selected tags: every control named, each rename read as one
    // sentence with its flag, Return in a field renaming nothing, and an invalid pattern said under
    // its field and to a reader.
    void theRenameWindowReadsEachRenameAndSaysWhatIsWrongWithAPattern() {
        QVERIFY(selectRows(m_window, {u"Errands"_qs, u"Kids"_qs}));
        m_window->findChild<QAction*>(u"renameTagsAction"_qs)->trigger();
        auto* window = m_window->findChild<RenameTagsWindow*>();
        QVERIFY(window && window->isVisible());
        QTRY_VERIFY(window->findField()->hasFocus());
        VERIFY_ALL_NAMED(window);

        QTest::keyClicks(window->findField(), u"^Errands$|s$"_qs);
        QVERIFY(press(u"renameRegularExpression"_qs, window));
        QTest::keyClicks(window->findChild<QLineEdit*>(u"renameReplace"_qs), u"Home"_qs);
        QAccessibleInterface* preview = QAccessible::queryAccessibleInterface(window->preview());
        const auto rows = [preview] {
            QStringList read;
            QAccessibleTableInterface* table = preview->tableInterface();
            for (int row = 0; row < table->rowCount(); ++row) {
                read.append(table->cellAt(row, 0)->text(QAccessible::Name));
            }
            return read;
        };
        QTRY_COMPARE(rows(),
                     (QStringList{u"Errands → Home, in Contexts. Another tag already has this name."_qs,
                                  u"Kids → KidHome, in Family"_qs}));
        VERIFY_ALL_NAMED(window);
        QCOMPARE(window->renameButton()->text(), u"Rename 1 Tag"_qs);

        const qsizetype before = programsSent();
        QTest::keyClick(window->findField(), Qt::Key_Return);
        QVERIFY(window->isVisible() && !box(u"renameLeftOutQuestion"_qs, window));
        QCOMPARE(programsSent(), before);

        // The one that can go goes, after the question; the preview follows.
        QVERIFY(press(u"renameTags"_qs, window));
        QVERIFY(answer(u"renameLeftOutQuestion"_qs, u"confirmRenameTags"_qs, window));
        QTRY_VERIFY(window->findChild<BatchResultSheet*>());
        QVERIFY(storedTag(u"KidHome"_qs) && !storedTag(u"Kids"_qs));
        window->findChild<BatchResultSheet*>()->okButton()->click();
        QTRY_COMPARE(rows().size(), 1);

        window->findField()->clear();
        QTest::keyClicks(window->findField(), u"(abc"_qs);
        const QString error = u"Invalid regular expression: missing closing parenthesis (at offset 4)."_qs;
        QTRY_VERIFY(shown<QLabel>(u"renamePatternError"_qs, window));
        QCOMPARE(shown<QLabel>(u"renamePatternError"_qs, window)->text(), error);
        QCOMPARE(QAccessible::queryAccessibleInterface(window->findField())->text(QAccessible::Description),
                 error);
        QCOMPARE(rows(), QStringList());
        QVERIFY(!window->renameButton()->isEnabled());

        QTest::keyClick(window->findField(), Qt::Key_Escape);
        QTRY_VERIFY(!window->isVisible());
    }
};

QTEST_MAIN(ReadingTests)
#include "ReadingTests.moc"

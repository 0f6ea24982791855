#include "ErrorRow.h"
#include "StatusAreaView.h"
#include "TagCreateView.h"
#include "WindowFixture.h"

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

// What the main window says, and whether a screen reader hears it: the filter strip, the banner and
// the editor's save.
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

    // The banner above the list is an alert to a screen reader, and tells it so when it shows.
    void theBannerIsAnAlertThatAReaderHears() {
        m_standIn->stop();
        heard().clear();
        QVERIFY(choose(openRowMenu(m_window, u"Work"_qs), u"deleteTags"_qs));
        auto* banner = m_window->findChild<ErrorRow*>(u"listBanner"_qs);
        QTRY_VERIFY(banner->isVisible());
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
};

QTEST_MAIN(ReadingTests)
#include "ReadingTests.moc"

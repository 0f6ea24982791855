#include "StatusAreaView.h"
#include "UndoHistory.h"
#include "WindowFixture.h"

using namespace orvalet;

// A deletion whose answer is lost because Things 3 quit while answering, seen from the window: the
// row waits marked, Undo stays offered, and once Things 3 is back the window settles it by itself.
class PendingWindowTests final : public WindowFixture {
    Q_OBJECT

private Q_SLOTS:
    void aLostDeletionSettlesOnceThingsAnswersAgain_data() {
        QTest::addColumn<bool>("applied");
        QTest::addRow("Things 3 deleted it") << true;
        QTest::addRow("Things 3 did not") << false;
    }
    void aLostDeletionSettlesOnceThingsAnswersAgain() {
        QFETCH(bool, applied);
        const QString name = u"Email"_qs;
        const QString id = storedTag(name)->id();
        QAction* undo = m_window->findChild<QAction*>(u"undoAction"_qs);
        const QString undoDelete = u"Undo Delete \u201CEmail\u201D"_qs;
        // A Things 3 that answers 2 s after it ran each program.
        m_standIn->stop();
        QVERIFY(startStandIn({u"--delay-ms"_qs, u"2000"_qs}));
        QFile library(m_standIn->libraryPath());
        QVERIFY(library.open(QIODevice::ReadOnly));
        const QByteArray before = library.readAll();
        library.close();

        QAbstractItemView* view = content(m_window).tagView();
        view->setFocus();
        view->setCurrentIndex(indexOf(m_window, name));
        QTest::keyClick(view, Qt::Key_Delete);
        QVERIFY(answer(u"deleteConfirmation"_qs, u"confirmDelete"_qs));
        // Things 3 quits once the deletion ran, before it answered.
        const auto libraryHolds = [this, &id] {
            QFile file(m_standIn->libraryPath());
            return file.open(QIODevice::ReadOnly) && file.readAll().contains(id.toUtf8());
        };
        QTRY_VERIFY_WITH_TIMEOUT(!libraryHolds(), 10000);
        m_standIn->kill();

        QTRY_VERIFY_WITH_TIMEOUT(actions(m_window).bannerMessage(), 10000);
        QCOMPARE(*actions(m_window).bannerMessage(),
                 u"Orvalet could not confirm whether \u201CEmail\u201D was deleted: Things 3 quit before it "
                 u"answered."_qs);
        QModelIndex row = indexOf(m_window, name);
        QVERIFY(row.isValid());
        QVERIFY(row.data(TagListModel::PendingRole).toBool());
        QVERIFY(row.data(Qt::AccessibleTextRole).toString().endsWith(PendingRows::pendingText()));
        QCOMPARE(undo->text(), undoDelete);
        QVERIFY(undo->isEnabled());

        // Things 3 opens again, with the tag or without it: the window asks within seconds.
        if (!applied) {
            QVERIFY(library.open(QIODevice::WriteOnly | QIODevice::Truncate));
            library.write(before);
            library.close();
        }
        QVERIFY(startStandIn());
        QTRY_VERIFY_WITH_TIMEOUT(!indexOf(m_window, name).isValid() ||
                                     !indexOf(m_window, name).data(TagListModel::PendingRole).toBool(),
                                 10000);
        QCOMPARE(indexOf(m_window, name).isValid(), !applied);
        QCOMPARE(undo->text() == undoDelete, applied);
        QCOMPARE(content(m_window).statusArea()->notice(),
                 applied ? u"\u201CEmail\u201D was deleted."_qs : u"\u201CEmail\u201D was not deleted."_qs);
        if (applied) {
            undo->trigger();
            QTRY_VERIFY_WITH_TIMEOUT(indexOf(m_window, name).isValid(), 10000);
        }
    }
};

QTEST_MAIN(PendingWindowTests)
#include "PendingWindowTests.moc"

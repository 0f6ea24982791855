#include "MergeView.h"
#include "WindowFixture.h"

#include <QScreen>
#include <QSplitter>
#include <QtTest>

using namespace orvalet;

// Windows come back where they were, at the size they had, from one start to the next, and never
// off the screen; the settings and the clean-up open over the main window. The offscreen
// platform has one screen, smaller than the first start's main window.
class WindowStateTests final : public WindowFixture {
    Q_OBJECT

private:
    // Only the window and the settings matter here: no stand-in and no import.
    bool startsWithDemo() const override { return false; }
    QString settingsPath() const { return m_dir->filePath(u"Orvalet.conf"_qs); }
    void writeSettings(const QByteArray& text) {
        m_app.reset();
        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
    }
    static QSplitter* splitter(MainWindow* window) { return window->contentView()->splitter(); }
    // Drags the sidebar's edge by `dx` pixels, as the user does.
    static void dragSidebarEdge(MainWindow* window, int dx) {
        QWidget* handle = splitter(window)->handle(1);
        const QPoint middle(handle->width() / 2, handle->height() / 2);
        QTest::mousePress(handle, Qt::LeftButton, {}, middle);
        QTest::mouseMove(handle, middle + QPoint(dx, 0));
        QTest::mouseRelease(handle, Qt::LeftButton, {}, middle + QPoint(dx, 0));
    }
    static QRect screenArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }

private Q_SLOTS:
    // The main window's place, size and sidebar, the settings' place, the clean-up's place and
    // size, and the merge dialog's size are what they were when Orvalet quit.
    void windowsComeBackAsTheyWere() {
        MainWindow* window = m_window;
        QCOMPARE(window->size(), QSize(900, 600)); // the first start's
        window->setGeometry(40, 60, 700, 480);
        const int sidebar = splitter(window)->sizes().at(0);
        dragSidebarEdge(window, 70);
        QCOMPARE(splitter(window)->sizes().at(0), sidebar + 70);

        QWidget* settings = m_app->showSettings();
        QVERIFY(QTest::qWaitForWindowExposed(settings));
        settings->move(settings->pos() + QPoint(-30, 25));
        const QPoint settingsPlace = settings->pos();
        QWidget* cleanUp = m_app->showUnusedTags();
        QVERIFY(QTest::qWaitForWindowExposed(cleanUp));
        cleanUp->setGeometry(300, 90, 420, 380);

        m_app->store().insert(Tag(u"t1"_qs, u"Home"_qs));
        auto* merge = new MergeView(m_app->store(), m_app->preferences(), m_app->worker(),
                                    m_app->store().tag(u"t1"_qs), window);
        merge->open();
        QVERIFY(QTest::qWaitForWindowExposed(merge));
        QCOMPARE(merge->size(), QSize(380, 440));
        merge->resize(420, 400);
        QTest::qWait(50);
        merge->close(); // the last move of a window is kept as it goes

        window = restart(); // the application quit with its windows open
        QVERIFY(window);
        QVERIFY(window);
        QCOMPARE(window->geometry(), QRect(40, 60, 700, 480));
        QCOMPARE(splitter(window)->sizes().at(0), sidebar + 70);
        QCOMPARE(m_app->showSettings()->pos(), settingsPlace);
        QCOMPARE(m_app->showUnusedTags()->geometry(), QRect(300, 90, 420, 380));
        merge = new MergeView(m_app->store(), m_app->preferences(), m_app->worker(),
                              m_app->store().tag(u"t1"_qs), window);
        QCOMPARE(merge->size(), QSize(420, 400));
        delete merge;
    }

    // What no window could have, or what cannot be read, gives the first start's size and
    // sidebar; a place off every screen, or a size larger than it, is brought onto the screen.
    void unreadableOrOffScreenValuesGiveAWindowOnTheScreen_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QRect>("geometry"); // the stored one; empty: the first start's size, anywhere
        QTest::addColumn<int>("sidebar");
        QTest::newRow("text") << QByteArray("mainWindow\\geometry=wide\nsidebarWidth=wide\n") << QRect()
                              << 280;
        QTest::newRow("binary")
            << QByteArray("mainWindow\\geometry=@ByteArray(\\x1\\x2)\nsidebarWidth=@Rect(1 2 3 4)\n")
            << QRect() << 280;
        QTest::newRow("no size") << QByteArray("mainWindow\\geometry=@Rect(10 10 0 -5)\nsidebarWidth=-40\n")
                                 << QRect() << 280;
        QTest::newRow("far away") << QByteArray("mainWindow\\geometry=@Rect(90000 -90000 700 500)\n")
                                  << QRect() << 280;
        QTest::newRow("partly off") << QByteArray(
                                           "mainWindow\\geometry=@Rect(500 300 700 500)\nsidebarWidth=300\n")
                                    << QRect(100, 100, 700, 500) << 300;
        QTest::newRow("too large")
            << QByteArray("mainWindow\\geometry=@Rect(-300 -200 5000 4000)\nmainWindow\\maximized=banana\n"
                          "sidebarWidth=99999\n")
            << QRect(-300, -200, 5000, 4000) << -1;
    }
    void unreadableOrOffScreenValuesGiveAWindowOnTheScreen() {
        QFETCH(QByteArray, stored);
        QFETCH(QRect, geometry);
        QFETCH(int, sidebar);
        writeSettings("[windows]\n" + stored);
        MainWindow* window = restart();
        QVERIFY(window);
        QVERIFY(!window->isMaximized());
        const QRect area = screenArea();
        const QRect frame = window->frameGeometry();
        if (stored.contains("90000")) { // centred on the screen
            QVERIFY2(area.contains(frame), qPrintable(QDebug::toString(frame)));
            QCOMPARE(window->size(), QSize(700, 500));
        } else if (geometry.isEmpty()) {
            QCOMPARE(window->size(), QSize(900, 600));
        } else {
            // The whole window, its frame too, on the screen, as near the stored place as it fits.
            QVERIFY2(area.contains(frame) && frame.top() >= area.top(), qPrintable(QDebug::toString(frame)));
            QCOMPARE(frame.bottomRight(), area.bottomRight());
            QVERIFY(window->width() <= geometry.width() && window->height() <= geometry.height());
            QVERIFY(window->width() >= std::min(geometry.width(), area.width() - 8));
        }
        if (sidebar > 0) {
            QCOMPARE(splitter(window)->sizes().at(0), sidebar);
        } else { // wider than the window: the details keep their room
            QVERIFY(splitter(window)->sizes().at(1) >=
                    splitter(window)->widget(1)->minimumSizeHint().width());
        }
    }

    // The settings and the clean-up are windows of their own over the main window they were
    // opened from: centred over it the first time, and above it while it is there. The main
    // window's place is kept for the next main window, which steps aside from one already there.
    void settingsAndCleanUpOpenOverTheMainWindow() {
        MainWindow* window = m_window;
        window->setGeometry(60, 40, 700, 520);
        for (QWidget* opened : {m_app->showSettings(), m_app->showUnusedTags()}) {
            QVERIFY(QTest::qWaitForWindowExposed(opened));
            QVERIFY(opened->isWindow());
            QCOMPARE(opened->parentWidget(), window);
            const QPoint offset = opened->geometry().center() - window->geometry().center();
            QVERIFY2(offset.manhattanLength() <= 2, qPrintable(QDebug::toString(opened->geometry())));
            opened->close();
        }
        // A second main window steps aside from the first, and they open over that one from it.
        QTRY_COMPARE(m_app->preferences().windowGeometry(u"mainWindow"_qs), window->geometry());
        MainWindow* second = m_app->newMainWindow();
        second->show();
        second->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(second));
        QCOMPARE(second->size(), window->size());
        QVERIFY(second->x() > window->x() && second->y() > window->y());
        QCOMPARE(m_app->showUnusedTags()->parentWidget(), second);
    }

    // What a second start over the store asks for: the main window un-minimized, in front.
    void bringingToFrontShowsTheMainWindow() {
        MainWindow* window = m_window;
        QWidget other;
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        window->showMinimized();
        QTRY_VERIFY(window->isMinimized());
        m_app->bringToFront();
        QTRY_VERIFY(window->isActiveWindow());
        QVERIFY(!window->isMinimized() && window->isVisible());
    }
};

QTEST_MAIN(WindowStateTests)
#include "WindowStateTests.moc"

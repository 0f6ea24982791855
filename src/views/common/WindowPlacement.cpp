#include "WindowPlacement.h"

#include "Preferences.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QSplitter>
#include <QStyle>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <utility>

namespace orvalet {

namespace {

QList<QRect> availableScreens() {
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens()) { // the primary first
        screens.append(screen->availableGeometry());
    }
    return screens;
}

} // namespace

WindowPlacement::WindowPlacement(QWidget* window, Preferences& preferences, Keep what)
    : QObject(window)
    , m_window(window)
    , m_preferences(preferences)
    , m_keep(what) {
    m_saveSoon.setSingleShot(true);
    m_saveSoon.setInterval(300);
    connect(&m_saveSoon, &QTimer::timeout, this, &WindowPlacement::save);
}

WindowPlacement::~WindowPlacement() {
    // The window is going (closed, or the application quit while it was open): keep its last move.
    if (m_saveSoon.isActive()) {
        save();
    }
}

WindowPlacement* WindowPlacement::keep(QWidget* window, Preferences& preferences, QSize size, Keep what) {
    auto* placement = new WindowPlacement(window, preferences, what);
    placement->restore(size);
    window->installEventFilter(placement);
    return placement;
}

void WindowPlacement::restore(QSize size) {
    // A window whose layout fixes its size has that size only once the layout has run.
    if (QLayout* layout = m_window->layout()) {
        layout->activate();
    }
    const std::optional<QRect> saved = m_preferences.windowGeometry(m_window->objectName());
    // The frame the window manager puts around the window is known once it is shown; until then
    // room is kept for a title bar and a border of the usual sizes.
    QMargins frame = m_window->windowHandle() ? m_window->windowHandle()->frameMargins() : QMargins();
    if (frame.isNull()) {
        const int border = m_window->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, m_window);
        const int titleBar = m_window->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, m_window);
        frame = QMargins(border, titleBar, border, border);
    }
    if (m_keep == Keep::size) {
        if (saved || size.isValid()) {
            const QRect wanted(QPoint(), saved ? saved->size() : size);
            m_window->resize(fitted(wanted, availableScreens(), frame).size());
        }
        return;
    }
    QRect wanted;
    if (saved) {
        wanted = *saved;
    } else {
        if (size.isValid()) {
            m_window->resize(size);
        } else {
            m_window->adjustSize();
        }
        QWidget* over = m_window->parentWidget() ? m_window->parentWidget()->window() : nullptr;
        if (!over || !over->isVisible()) {
            return;
        }
        wanted = QRect(QPoint(), m_window->size());
        wanted.moveCenter(over->geometry().center());
    }
    wanted.setSize(wanted.size().expandedTo(m_window->minimumSize()).boundedTo(m_window->maximumSize()));
    QRect placed = fitted(wanted, availableScreens(), frame);
    // A second window of the kind ("New Window") steps down and right from the first, not onto it.
    const auto coversAnother = [this](const QRect& geometry) {
        const QList<QWidget*> windows = QApplication::topLevelWidgets();
        return std::any_of(windows.begin(), windows.end(), [&](const QWidget* other) {
            return other != m_window && other->isVisible() && other->objectName() == m_window->objectName() &&
                   other->geometry().topLeft() == geometry.topLeft();
        });
    };
    for (int step = 0; step < 20 && coversAnother(placed); ++step) {
        placed = fitted(placed.translated(frame.top(), frame.top()), availableScreens(), frame);
    }
    m_window->setGeometry(placed);
    m_fitWhenShown = true;
    if (saved && m_preferences.windowMaximized(m_window->objectName())) {
        m_window->setWindowState(m_window->windowState() | Qt::WindowMaximized);
    }
}

void WindowPlacement::fitToFrame() {
    const QMargins frame = m_window->windowHandle() ? m_window->windowHandle()->frameMargins() : QMargins();
    if (frame.isNull() || m_window->windowState() != Qt::WindowNoState) {
        return;
    }
    if (const QRect placed = fitted(m_window->geometry(), availableScreens(), frame);
        placed != m_window->geometry()) {
        m_window->setGeometry(placed);
    }
}

void WindowPlacement::save() {
    m_saveSoon.stop();
    const Qt::WindowStates state = m_window->windowState();
    if (state & Qt::WindowMinimized) {
        return;
    }
    const bool maximized = state & (Qt::WindowMaximized | Qt::WindowFullScreen);
    // A maximized window comes back maximized, and goes back to its size before that when restored.
    const QRect geometry = maximized ? m_window->normalGeometry() : m_window->geometry();
    if (geometry.isValid()) {
        m_preferences.setWindowGeometry(m_window->objectName(), geometry, maximized);
    }
}

bool WindowPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowStateChange:
            // Only what the user sees counts, not the sizes a window goes through while it is made.
            if (m_window->isVisible()) {
                m_saveSoon.start();
            }
            break;
        case QEvent::Show:
            if (std::exchange(m_fitWhenShown, false)) {
                QMetaObject::invokeMethod(this, &WindowPlacement::fitToFrame, Qt::QueuedConnection);
            }
            break;
        case QEvent::Hide:
            if (m_saveSoon.isActive()) {
                save();
            }
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

QRect WindowPlacement::fitted(const QRect& wanted, const QList<QRect>& screens, const QMargins& frame) {
    if (screens.isEmpty()) {
        return wanted;
    }
    const QRect* best = nullptr;
    qint64 bestOverlap = 0;
    for (const QRect& screen : screens) {
        const QRect overlap = screen.intersected(wanted);
        if (const qint64 area = qint64(overlap.width()) * overlap.height(); area > bestOverlap) {
            best = &screen;
            bestOverlap = area;
        }
    }
    const QRect room = (best ? *best : screens.front()).marginsRemoved(frame);
    QRect result(wanted.topLeft(), wanted.size().boundedTo(room.size()));
    if (!best) {
        result.moveCenter(room.center());
    }
    result.moveLeft(std::clamp(result.left(), room.left(), room.left() + room.width() - result.width()));
    result.moveTop(std::clamp(result.top(), room.top(), room.top() + room.height() - result.height()));
    return result;
}

void WindowPlacement::keepSidebarWidth(QSplitter* splitter, Preferences& preferences) {
    if (const std::optional<int> width = preferences.sidebarWidth(); width && splitter->count() == 2) {
        const QList<int> sizes = splitter->sizes();
        const int total = sizes.value(0) + sizes.value(1);
        splitter->setSizes({*width, std::max(total - *width, 1)});
    }
    connect(splitter, &QSplitter::splitterMoved, splitter,
            [splitter, &preferences] { preferences.setSidebarWidth(splitter->sizes().value(0)); });
}

} // namespace orvalet

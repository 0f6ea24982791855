#pragma once

#include <QMargins>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QTimer>

class QSplitter;
class QWidget;

namespace orvalet {

class Preferences;

// Keeps a window's size, and its place on the screen, from one start to the next, in the
// preferences under the window's object name.
class WindowPlacement final : public QObject {
    Q_OBJECT

public:
    enum class Keep {
        placeAndSize, // a window of its own: it comes back where it was
        size,         // a dialog over another window, which places it: only its size comes back
    };

    // Puts `window` (its contents already made) back as it was last time, moved and shrunk where it
    // must be to lie on a screen that is there now. The first time it gets `size` (or the size its
    // contents ask for) and, when it has a parent window on screen, is centred over that; without
    // one the window manager places it. From then on every move and resize is recorded.
    static WindowPlacement* keep(QWidget* window, Preferences& preferences, QSize size = {},
                                 Keep what = Keep::placeAndSize);
    // Gives the splitter's first pane (the sidebar) the width it had last time, and records the
    // width the user drags it to.
    static void keepSidebarWidth(QSplitter* splitter, Preferences& preferences);

    // `wanted` (a window's inside, without its frame) moved, and shrunk where it is larger, to lie
    // inside one of `screens` (their free areas, the primary first) with room around it for `frame`
    // (the title bar and borders): in the screen it overlaps most, or centred on the primary when it
    // overlaps none.
    static QRect fitted(const QRect& wanted, const QList<QRect>& screens, const QMargins& frame);

    ~WindowPlacement() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowPlacement(QWidget* window, Preferences& preferences, Keep what);
    void restore(QSize size);
    void fitToFrame();
    void save();

    QWidget* m_window;
    Preferences& m_preferences;
    Keep m_keep;
    bool m_fitWhenShown = false; // placed here with a guessed frame: fit again with the real one
    QTimer m_saveSoon;           // a drag moves the window many times: write once it rests
};

} // namespace orvalet

#pragma once

#include <QWidget>

class QSplitter;

namespace orvalet {

class Preferences;
class TagStore;

// The content of a main window: the tag list in a sidebar and, beside it, the detail column that
// shows the editor fitting the selection ("No Tag Selected" while nothing is selected).
class ContentView final : public QWidget {
    Q_OBJECT

public:
    ContentView(TagStore& store, Preferences& preferences, QWidget* parent = nullptr);

    QSplitter* splitter() const { return m_splitter; }
    TagStore& store() const { return m_store; }

private:
    TagStore& m_store;
    Preferences& m_preferences;
    QSplitter* m_splitter = nullptr;
};

} // namespace orvalet

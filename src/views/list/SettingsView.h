#pragma once

#include "Preferences.h"

#include <QHash>
#include <QWidget>

class QAbstractButton;
class QButtonGroup;

namespace orvalet {

// The settings pane: the list order and the three display switches, read from and written to the
// shared preferences at once, so it stays in step with the View menu and every main window.
class SettingsView final : public QWidget {
    Q_OBJECT

public:
    explicit SettingsView(Preferences& preferences, QWidget* parent = nullptr);

private:
    void showPreference(PreferenceKey key);
    void setFlag(PreferenceKey key, bool on);

    Preferences& m_preferences;
    QButtonGroup* m_sortGroup = nullptr;
    QHash<int, QAbstractButton*> m_switches;
};

} // namespace orvalet

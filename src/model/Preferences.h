#pragma once

#include "TagSortOption.h"

#include <QDateTime>
#include <QHash>
#include <QObject>
#include <QRect>
#include <QSettings>
#include <QVariant>
#include <memory>
#include <optional>
#include <utility>

namespace orvalet {

enum class PreferenceKey {
    tagSortOption,
    showRootTagsOnly,
    showChildrenCounts,
    showTodoCounts,
    showAsOutline,
    findTagsById,
    lastImportDate
};

// The user's preferences, one object per process shared by every window, the settings pane and the
// menus. Each value is read from the preferences store on every read and written there at once, so
// all readers agree; every write emits `changed` with its key.
//
// A stored value that cannot be read as its key's type reads as that key's default. A preferences
// file that cannot be read at all is left untouched: the session then works on values held in
// memory, starting from the defaults.
class Preferences final : public QObject {
    Q_OBJECT

public:
    explicit Preferences(std::unique_ptr<QSettings> settings, QObject* parent = nullptr);

    // The platform's per-user preferences: the application's defaults domain on macOS, an INI file
    // `Orvalet/Orvalet.conf` under the XDG configuration folder elsewhere.
    static std::unique_ptr<QSettings> openUserSettings();

    static QString keyName(PreferenceKey key);
    static QVariant defaultValue(PreferenceKey key);
    static const QList<PreferenceKey>& displayKeys();

    TagSortOption sortOption() const;
    void setSortOption(TagSortOption option);

    // The Boolean switches: showRootTagsOnly, showChildrenCounts, showTodoCounts and showAsOutline.
    bool flag(PreferenceKey key) const;
    void setFlag(PreferenceKey key, bool on);
    bool showRootTagsOnly() const { return flag(PreferenceKey::showRootTagsOnly); }
    bool showChildrenCounts() const { return flag(PreferenceKey::showChildrenCounts); }
    bool showTodoCounts() const { return flag(PreferenceKey::showTodoCounts); }
    // The sidebar shows the tags as a tree of parents and children instead of the flat list.
    bool showAsOutline() const { return flag(PreferenceKey::showAsOutline); }
    // Programs that change a stored tag find it in Things 3 by its identifier, not by its stored name
    // (default on; not a display preference, so "Reset" leaves it).
    bool findTagsById() const { return flag(PreferenceKey::findTagsById); }

    // "lastImportDate": seconds since 2001-01-01 00:00:00 UTC, 0 when no import has finished.
    double lastImportTimestamp() const;
    void setLastImportTimestamp(double seconds);
    void setLastImportDate(const QDateTime& time);

    // Puts the five display preferences back to their defaults; "lastImportDate" is kept.
    void resetDisplayPreferences();

    // Where each window was and how big (`window` is its object name), and the width of the main
    // window's sidebar. They are kept in the same file but apart from the preferences above: under
    // "windows/", with no `changed` signal, untouched by "Reset". A stored value that cannot be read
    // as its type, or that no window could have, reads as none.
    std::optional<QRect> windowGeometry(const QString& window) const;
    bool windowMaximized(const QString& window) const;
    void setWindowGeometry(const QString& window, const QRect& geometry, bool maximized);
    std::optional<int> sidebarWidth() const;
    void setSidebarWidth(int width);

    // False when the preferences file could not be read and is being left alone.
    bool isPersistent() const { return m_persistent; }

Q_SIGNALS:
    void changed(orvalet::PreferenceKey key);

private:
    QVariant stored(PreferenceKey key) const;
    void store(PreferenceKey key, const QVariant& value);
    QVariant windowValue(const QString& name) const;
    void storeWindowValues(const QList<std::pair<QString, QVariant>>& values);

    std::unique_ptr<QSettings> m_settings;
    QHash<PreferenceKey, QVariant> m_memoryOnly;
    QHash<QString, QVariant> m_windowsInMemory;
    bool m_persistent = true;
};

} // namespace orvalet

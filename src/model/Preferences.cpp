#include "Preferences.h"

#include "Clock.h"

#include <QStandardPaths>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace orvalet {

namespace {

struct Definition {
    PreferenceKey key;
    QLatin1StringView name;
    QVariant defaultValue;
};

// Every preference with its stored key and its one default.
const QList<Definition>& definitions() {
    static const QList<Definition> table{
        {PreferenceKey::tagSortOption, QLatin1StringView("tagSortOption"),
         TagSortOptions::rawValue(TagSortOption::alphabetical)},
        {PreferenceKey::showRootTagsOnly, QLatin1StringView("showRootTagsOnly"), false},
        {PreferenceKey::showChildrenCounts, QLatin1StringView("showChildrenCounts"), false},
        {PreferenceKey::showTodoCounts, QLatin1StringView("showTodoCounts"), false},
        {PreferenceKey::showAsOutline, QLatin1StringView("showAsOutline"), false},
        {PreferenceKey::findTagsById, QLatin1StringView("findTagsById"), true},
        {PreferenceKey::lastImportDate, QLatin1StringView("lastImportDate"), 0.0},
    };
    return table;
}

const Definition& definition(PreferenceKey key) {
    return definitions()[qsizetype(key)];
}

// INI files give every value back as text, the macOS defaults give typed values: accept both.
std::optional<bool> readBool(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool();
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        if (value.toLongLong() == 0 || value.toLongLong() == 1) {
            return value.toLongLong() == 1;
        }
        return std::nullopt;
    case QMetaType::QString:
    case QMetaType::QByteArray: {
        const QString text = value.toString().trimmed().toLower();
        if (text == u"true" || text == u"1" || text == u"yes") {
            return true;
        }
        if (text == u"false" || text == u"0" || text == u"no") {
            return false;
        }
        return std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<double> readDouble(const QVariant& value) {
    bool ok = false;
    double number = 0;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        number = value.toDouble(&ok);
        break;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        number = value.toString().trimmed().toDouble(&ok);
        break;
    default:
        break;
    }
    if (!ok || !std::isfinite(number)) {
        return std::nullopt;
    }
    return number;
}

// The longest side or farthest place a window can have on any desktop; past it the value is damage.
constexpr int largestCoordinate = 100000;

std::optional<int> readInt(const QVariant& value) {
    const std::optional<double> number = readDouble(value);
    if (!number || *number != std::floor(*number) || std::abs(*number) > largestCoordinate) {
        return std::nullopt;
    }
    return int(*number);
}

QString windowKey(const QString& window, QLatin1StringView what) {
    return QStringLiteral("windows/") + window + u'/' + what;
}

} // namespace

Preferences::Preferences(std::unique_ptr<QSettings> settings, QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings)) {
    // QSettings reads lazily; make it read now so that a damaged file is noticed before any write.
    m_settings->sync();
    if (m_settings->status() != QSettings::NoError) {
        m_persistent = false;
        std::fprintf(stderr,
                     "Orvalet: cannot read the preferences in %s; using the defaults for this session and "
                     "leaving that file unchanged.\n",
                     qPrintable(m_settings->fileName()));
    }
}

std::unique_ptr<QSettings> Preferences::openUserSettings() {
#ifdef Q_OS_MACOS
    return std::make_unique<QSettings>();
#else
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return std::make_unique<QSettings>(folder + QStringLiteral("/Orvalet/Orvalet.conf"),
                                       QSettings::IniFormat);
#endif
}

QString Preferences::keyName(PreferenceKey key) {
    return definition(key).name;
}

QVariant Preferences::defaultValue(PreferenceKey key) {
    return definition(key).defaultValue;
}

const QList<PreferenceKey>& Preferences::displayKeys() {
    static const QList<PreferenceKey> keys{PreferenceKey::tagSortOption, PreferenceKey::showRootTagsOnly,
                                           PreferenceKey::showChildrenCounts, PreferenceKey::showTodoCounts,
                                           PreferenceKey::showAsOutline};
    return keys;
}

QVariant Preferences::stored(PreferenceKey key) const {
    if (!m_persistent) {
        return m_memoryOnly.value(key);
    }
    return m_settings->value(keyName(key));
}

void Preferences::store(PreferenceKey key, const QVariant& value) {
    if (m_persistent) {
        m_settings->setValue(keyName(key), value);
        m_settings->sync();
    } else {
        m_memoryOnly.insert(key, value);
    }
    Q_EMIT changed(key);
}

TagSortOption Preferences::sortOption() const {
    const QVariant value = stored(PreferenceKey::tagSortOption);
    if (value.typeId() == QMetaType::QString || value.typeId() == QMetaType::QByteArray) {
        if (auto option = TagSortOptions::fromRawValue(value.toString())) {
            return *option;
        }
    }
    return TagSortOption::alphabetical;
}

void Preferences::setSortOption(TagSortOption option) {
    store(PreferenceKey::tagSortOption, TagSortOptions::rawValue(option));
}

bool Preferences::flag(PreferenceKey key) const {
    Q_ASSERT(key != PreferenceKey::tagSortOption && key != PreferenceKey::lastImportDate);
    return readBool(stored(key)).value_or(defaultValue(key).toBool());
}

void Preferences::setFlag(PreferenceKey key, bool on) {
    Q_ASSERT(key != PreferenceKey::tagSortOption && key != PreferenceKey::lastImportDate);
    store(key, on);
}

double Preferences::lastImportTimestamp() const {
    return readDouble(stored(PreferenceKey::lastImportDate)).value_or(0.0);
}

void Preferences::setLastImportTimestamp(double seconds) {
    store(PreferenceKey::lastImportDate, seconds);
}

void Preferences::setLastImportDate(const QDateTime& time) {
    setLastImportTimestamp(Clock::secondsSinceReferenceDate(time));
}

QVariant Preferences::windowValue(const QString& name) const {
    return m_persistent ? m_settings->value(name) : m_windowsInMemory.value(name);
}

void Preferences::storeWindowValues(const QList<std::pair<QString, QVariant>>& values) {
    for (const auto& [name, value] : values) {
        if (m_persistent) {
            m_settings->setValue(name, value);
        } else {
            m_windowsInMemory.insert(name, value);
        }
    }
    if (m_persistent) {
        m_settings->sync();
    }
}

std::optional<QRect> Preferences::windowGeometry(const QString& window) const {
    const QVariant value = windowValue(windowKey(window, QLatin1StringView("geometry")));
    if (value.typeId() != QMetaType::QRect) {
        return std::nullopt;
    }
    const QRect geometry = value.toRect();
    const auto inRange = [](int coordinate) {
        return std::abs(coordinate) <= largestCoordinate;
    };
    if (geometry.width() <= 0 || geometry.height() <= 0 || !inRange(geometry.width()) ||
        !inRange(geometry.height()) || !inRange(geometry.x()) || !inRange(geometry.y())) {
        return std::nullopt;
    }
    return geometry;
}

bool Preferences::windowMaximized(const QString& window) const {
    return readBool(windowValue(windowKey(window, QLatin1StringView("maximized")))).value_or(false);
}

void Preferences::setWindowGeometry(const QString& window, const QRect& geometry, bool maximized) {
    storeWindowValues({{windowKey(window, QLatin1StringView("geometry")), geometry},
                       {windowKey(window, QLatin1StringView("maximized")), maximized}});
}

std::optional<int> Preferences::sidebarWidth() const {
    const std::optional<int> width = readInt(windowValue(QStringLiteral("windows/sidebarWidth")));
    return width && *width > 0 ? width : std::nullopt;
}

void Preferences::setSidebarWidth(int width) {
    storeWindowValues({{QStringLiteral("windows/sidebarWidth"), width}});
}

void Preferences::resetDisplayPreferences() {
    setSortOption(TagSortOption::alphabetical);
    for (PreferenceKey key : displayKeys()) {
        if (key != PreferenceKey::tagSortOption) {
            setFlag(key, false);
        }
    }
}

} // namespace orvalet

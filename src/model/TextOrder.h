#pragma once

#include <QString>
#include <QStringView>

namespace orvalet {

// The plain-text order of names used wherever a list is "ascending by name": Unicode code points
// after canonical equivalence (both sides in NFC), case-sensitive and independent of the locale.
namespace TextOrder {

// The key a name sorts by. Cheap for text that is already in NFC (nearly every name).
QString sortKey(const QString& name);

// Compares two sort keys by code point (UTF-16 order differs from code-point order once
// characters beyond U+FFFF meet characters in U+E000..U+FFFF). Negative, zero or positive.
int compareKeys(QStringView a, QStringView b);

// A UTF-16 unit moved so that comparing moved units gives code-point order: surrogates go above
// U+E000..U+FFFF.
inline char16_t orderOfUnit(char16_t unit) {
    if (unit >= 0xD800) {
        return unit >= 0xE000 ? char16_t(unit - 0x800) : char16_t(unit + 0x2000);
    }
    return unit;
}

// Compares two names: compareKeys of their sort keys.
int compare(const QString& a, const QString& b);

inline bool lessThan(const QString& a, const QString& b) {
    return compare(a, b) < 0;
}

} // namespace TextOrder
} // namespace orvalet

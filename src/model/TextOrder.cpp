#include "TextOrder.h"

#include <algorithm>

namespace orvalet::TextOrder {

QString sortKey(const QString& name) {
    return name.normalized(QString::NormalizationForm_C);
}

namespace {
// Moves surrogates above U+E000..U+FFFF so that comparing adjusted UTF-16 units gives code-point order.
inline char16_t fixup(char16_t unit) {
    if (unit >= 0xD800) {
        return unit >= 0xE000 ? char16_t(unit - 0x800) : char16_t(unit + 0x2000);
    }
    return unit;
}
} // namespace

int compareKeys(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    const char16_t* pa = a.utf16();
    const char16_t* pb = b.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        if (pa[i] != pb[i]) {
            return fixup(pa[i]) < fixup(pb[i]) ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compare(const QString& a, const QString& b) {
    return compareKeys(sortKey(a), sortKey(b));
}

} // namespace orvalet::TextOrder

#include "TextOrder.h"

#include <algorithm>

namespace orvalet::TextOrder {

QString sortKey(const QString& name) {
    return name.normalized(QString::NormalizationForm_C);
}

int compareKeys(QStringView a, QStringView b) {
    const qsizetype n = std::min(a.size(), b.size());
    const char16_t* pa = a.utf16();
    const char16_t* pb = b.utf16();
    for (qsizetype i = 0; i < n; ++i) {
        if (pa[i] != pb[i]) {
            return orderOfUnit(pa[i]) < orderOfUnit(pb[i]) ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int compare(const QString& a, const QString& b) {
    return compareKeys(sortKey(a), sortKey(b));
}

} // namespace orvalet::TextOrder

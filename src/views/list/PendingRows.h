#pragma once

#include <QSet>
#include <QString>

namespace orvalet {

// The rows of tags whose last change was sent to Things 3 without an answer: they are marked, and
// say so to a screen reader, until Things 3 tells what it did. Shared by the list and the outline.
class PendingRows {
public:
    // The view repaints its rows after this; the spoken texts are read when asked for.
    void setPendingIds(QSet<QString> ids) { m_pendingIds = std::move(ids); }
    bool isPending(const QString& id) const { return m_pendingIds.contains(id); }

    // Said after the row's text, and shown in its tooltip.
    static QString pendingText() { return QStringLiteral("change not confirmed by Things 3 yet"); }

protected:
    ~PendingRows() = default;

private:
    QSet<QString> m_pendingIds;
};

} // namespace orvalet

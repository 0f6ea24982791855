#include "SimilarTags.h"

#include <QHash>
#include <algorithm>
#include <numeric>
#include <vector>

namespace orvalet::SimilarTags {

QString folded(const QString& name) {
    // Plain ASCII, as most names are, has nothing to decompose.
    const bool ascii = std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; });
    const QString decomposed = (ascii ? name : name.normalized(QString::NormalizationForm_KD)).toCaseFolded();
    QString out;
    out.reserve(decomposed.size());
    bool started = false; // a leading "@" or "#" is a marker, not part of the name
    bool space = false;
    for (const QChar c : decomposed) {
        if (c.category() == QChar::Mark_NonSpacing || c.category() == QChar::Mark_Enclosing) {
            continue; // the accents of the decomposed letters
        }
        const bool separator = c.isSpace() || c.isPunct() || c == u'/' || c.isSymbol();
        if (!started && (c == u'@' || c == u'#')) {
            continue;
        }
        if (separator) {
            space = started;
            continue;
        }
        if (space) {
            out.append(u' ');
        }
        out.append(c);
        space = false;
        started = true;
    }
    return out;
}

namespace {

// Which group each tag belongs to, joined as alike names are met.
class Groups {
public:
    explicit Groups(qsizetype size)
        : m_parent(size_t(size)) {
        std::iota(m_parent.begin(), m_parent.end(), qsizetype(0));
    }
    qsizetype root(qsizetype at) {
        while (m_parent[size_t(at)] != at) {
            at = m_parent[size_t(at)] = m_parent[size_t(m_parent[size_t(at)])];
        }
        return at;
    }
    void join(qsizetype a, qsizetype b) {
        a = root(a);
        b = root(b);
        if (a != b) {
            m_parent[size_t(std::max(a, b))] = std::min(a, b); // the earlier tag leads
        }
    }

private:
    std::vector<qsizetype> m_parent;
};

} // namespace

QList<QList<TagPtr>> find(const QList<TagPtr>& tags) {
    // Each folded name is met once; a name that is another plus "s" or "es" joins it.
    QHash<QString, qsizetype> first;
    first.reserve(tags.size());
    QList<QString> keys;
    keys.reserve(tags.size());
    Groups groups(tags.size());
    for (qsizetype i = 0; i < tags.size(); ++i) {
        keys.append(folded(tags[i]->name()));
        if (keys.last().isEmpty()) {
            continue; // nothing left to compare: punctuation alone is like no other name
        }
        if (const auto met = first.constFind(keys.last()); met != first.cend()) {
            groups.join(*met, i);
        } else {
            first.insert(keys.last(), i);
        }
    }
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const QString& key = keys[i];
        for (const qsizetype cut : {1, 2}) {
            if (key.size() <= cut + 1 ||
                !key.endsWith(cut == 1 ? QStringLiteral("s") : QStringLiteral("es"))) {
                continue;
            }
            // "Tasks" beside "Task"; at least two letters must be left.
            if (const auto singular = first.constFind(key.chopped(cut)); singular != first.cend()) {
                groups.join(*singular, i);
            }
        }
    }
    QHash<qsizetype, qsizetype> groupAt; // a group's root: its place in the answer
    QList<QList<TagPtr>> found;
    QList<qsizetype> sizes(tags.size(), 0);
    for (qsizetype i = 0; i < tags.size(); ++i) {
        ++sizes[groups.root(i)];
    }
    for (qsizetype i = 0; i < tags.size(); ++i) {
        const qsizetype root = groups.root(i);
        if (sizes[root] < 2) {
            continue;
        }
        auto at = groupAt.constFind(root);
        if (at == groupAt.cend()) {
            at = groupAt.insert(root, found.size());
            found.append(QList<TagPtr>());
        }
        found[*at].append(tags[i]);
    }
    return found;
}

} // namespace orvalet::SimilarTags

#include "TagSearchList.h"

#include "TagListModel.h"
#include "TagRowDelegate.h"
#include "TagTree.h"
#include "TextOrder.h"

#include <QAbstractListModel>
#include <QAction>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QVBoxLayout>
#include <vector>

namespace orvalet {

// The entries and, of them, the rows the search shows.
class TagSearchList::Rows final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void setEntries(const QString& noneLabel, const QList<TagPtr>& tags) {
        beginResetModel();
        m_noneLabel = noneLabel;
        m_tags = tags;
        m_names.clear();
        m_names.reserve(tags.size());
        m_keys.clear();
        m_keys.reserve(size_t(tags.size()));
        for (const TagPtr& tag : tags) {
            m_names.append(tag->name());
            m_keys.push_back(TextOrder::sortKey(tag->name()));
        }
        m_byId.reset();
        filter();
        endResetModel();
    }

    void setSearch(const QString& text) {
        beginResetModel();
        m_search = TextOrder::sortKey(text.trimmed());
        filter();
        endResetModel();
    }

    // -1 for the no-tag entry.
    int entryAt(int row) const { return row >= 0 && row < int(m_shown.size()) ? m_shown[size_t(row)] : -2; }
    int rowOf(const QString& entry) const {
        for (size_t row = 0; row < m_shown.size(); ++row) {
            if (idOf(m_shown[row]) == entry) {
                return int(row);
            }
        }
        return -1;
    }
    QString idOf(int entry) const { return entry < 0 ? QString() : m_tags[entry]->id(); }

    // The row the search found best, -1 without a search: the first name equal to the search, as
    // Things 3 compares names (ignoring letter case), else the first that starts with it, else the
    // first row. One pass over the rows shown.
    int bestRow() const {
        if (m_search.isEmpty() || m_shown.empty()) {
            return -1;
        }
        int startsWith = -1;
        for (size_t row = 0; row < m_shown.size(); ++row) {
            const int entry = m_shown[row];
            if (entry < 0) {
                continue;
            }
            const QString& key = m_keys[size_t(entry)];
            if (!key.startsWith(m_search, Qt::CaseInsensitive)) {
                continue;
            }
            if (QString::compare(key, m_search, Qt::CaseInsensitive) == 0) {
                return int(row);
            }
            if (startsWith < 0) {
                startsWith = int(row);
            }
        }
        return startsWith >= 0 ? startsWith : 0;
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(m_shown.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const int entry = entryAt(index.row());
        if (entry < -1) {
            return {};
        }
        switch (role) {
        case Qt::DisplayRole:
            return entry < 0 ? m_noneLabel : m_names[entry];
        case Qt::AccessibleTextRole: {
            const QString path = pathOf(entry);
            const QString name = entry < 0 ? m_noneLabel : m_names[entry];
            return path.isEmpty() ? name : name + QStringLiteral(", in ") + path;
        }
        case TagListModel::TagIdRole:
            return idOf(entry);
        case TagListModel::AncestorPathRole:
            return pathOf(entry);
        case TagListModel::HasAncestorPathRole:
            return true; // every row two lines high, so the list lays out any number without measuring
        default:
            return {};
        }
    }

private:
    void filter() {
        m_shown.clear();
        m_shown.reserve(size_t(m_tags.size()) + 1);
        if (!m_noneLabel.isEmpty() && m_search.isEmpty()) {
            m_shown.push_back(-1);
        }
        for (int i = 0; i < int(m_names.size()); ++i) {
            if (m_search.isEmpty() || m_keys[size_t(i)].contains(m_search, Qt::CaseInsensitive)) {
                m_shown.push_back(i);
            }
        }
    }

    QString pathOf(int entry) const {
        if (entry < 0) {
            return {};
        }
        if (!m_byId) {
            m_byId = TagTree::tagsById(m_tags);
        }
        return TagTree::ancestorPath(*m_tags[entry], *m_byId).value_or(QString());
    }

    QString m_noneLabel;
    QList<TagPtr> m_tags;
    QStringList m_names;
    std::vector<QString> m_keys; // the names in the form Things 3 compares them in (see TextOrder)
    QString m_search;            // in that form too
    std::vector<int> m_shown;
    mutable std::optional<TagTree::TagsById> m_byId;
};

TagSearchList::TagSearchList(QWidget* parent)
    : QWidget(parent)
    , m_rows(new Rows(this)) {
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("tagSearch"));
    m_search->setAccessibleName(QStringLiteral("Search tags"));
    m_search->setPlaceholderText(QStringLiteral("Search"));
    m_search->setClearButtonEnabled(true);
    // The clear icon is a button to a screen reader, named by its action.
    if (auto* clear = m_search->findChild<QAction*>(QStringLiteral("_q_qlineeditclearaction"))) {
        clear->setText(QStringLiteral("Clear Search"));
    }
    m_search->installEventFilter(this);
    connect(m_search, &QLineEdit::textChanged, this, &TagSearchList::searchChanged);

    m_list = new QListView(this);
    m_list->setObjectName(QStringLiteral("tagChoices"));
    m_list->setAccessibleName(QStringLiteral("Tags"));
    m_list->setModel(m_rows);
    m_list->setItemDelegate(new TagRowDelegate(TagRowDelegate::Rows::list, m_list));
    m_list->setUniformItemSizes(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->installEventFilter(this);
    connect(m_list->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TagSearchList::currentChanged);
    connect(m_list, &QListView::activated, this, &TagSearchList::activated);
    connect(m_list, &QListView::clicked, this, &TagSearchList::rowClicked);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_search);
    layout->addWidget(m_list, 1);
}

TagSearchList::~TagSearchList() = default;

void TagSearchList::setChoices(const QString& noneLabel, const QList<TagPtr>& tags) {
    const std::optional<QString> chosen = current();
    const QSignalBlocker blocker(m_list->selectionModel());
    m_rows->setEntries(noneLabel, tags);
    setCurrent(chosen);
}

std::optional<QString> TagSearchList::current() const {
    const QModelIndex index = m_list->currentIndex();
    if (!index.isValid()) {
        return std::nullopt;
    }
    return index.data(TagListModel::TagIdRole).toString();
}

void TagSearchList::setCurrent(const std::optional<QString>& entry) {
    const int row = entry ? m_rows->rowOf(*entry) : -1;
    if (row < 0) {
        m_list->selectionModel()->clear();
        return;
    }
    const QModelIndex index = m_rows->index(row);
    m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    m_list->scrollTo(index);
}

int TagSearchList::rowCount() const {
    return m_rows->rowCount();
}

// Typing makes the best match the current entry, in view, so that Return chooses what the search
// found; a search cleared leaves the entry that was current, in view.
void TagSearchList::searchChanged() {
    const std::optional<QString> chosen = current();
    {
        const QSignalBlocker blocker(m_list->selectionModel());
        m_rows->setSearch(m_search->text());
        if (const int best = m_rows->bestRow(); best >= 0) {
            const QModelIndex index = m_rows->index(best);
            m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
            m_list->scrollTo(index);
        } else {
            setCurrent(chosen);
        }
    }
    m_list->viewport()->update();
    if (current() != chosen) {
        Q_EMIT currentChanged();
    }
}

bool TagSearchList::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return QWidget::eventFilter(watched, event);
    }
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    const int key = keyEvent->key();
    if (watched == m_search && (key == Qt::Key_Up || key == Qt::Key_Down) && m_rows->rowCount() > 0) {
        // The arrows go on into the list, the keyboard focus with them, so that a screen reader
        // reads each row reached.
        const int row = m_list->currentIndex().row() + (key == Qt::Key_Up ? -1 : 1);
        const QModelIndex index = m_rows->index(std::clamp(row, 0, m_rows->rowCount() - 1));
        m_list->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        m_list->scrollTo(index);
        m_list->setFocus(Qt::OtherFocusReason);
        return true;
    }
    if (watched == m_list && !keyEvent->text().isEmpty() && keyEvent->text().front().isPrint()) {
        // Typing in the list goes on in the search.
        m_search->setFocus(Qt::OtherFocusReason);
        m_search->insert(keyEvent->text());
        return true;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        Q_EMIT activated();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace orvalet

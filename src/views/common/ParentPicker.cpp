#include "ParentPicker.h"

#include <QAbstractListModel>
#include <QListView>
#include <QSignalBlocker>

namespace orvalet {

// The picker's entries: the no-parent entry and its divider when there is one, then the tags with
// the names they had when offered.
class ParentPicker::Entries final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    // False when nothing changed.
    bool reset(const QString& noParentLabel, const QList<TagPtr>& tags) {
        QStringList names;
        names.reserve(tags.size());
        for (const TagPtr& tag : tags) {
            names.append(tag->name());
        }
        if (noParentLabel == m_noParentLabel && tags == m_tags && names == m_names) {
            return false;
        }
        beginResetModel();
        m_noParentLabel = noParentLabel;
        m_tags = tags;
        m_names = std::move(names);
        endResetModel();
        return true;
    }

    // Rows before the first tag: the no-parent entry and the divider.
    int leadingRows() const { return m_noParentLabel.isEmpty() ? 0 : 2; }
    bool hasNoParentEntry() const { return !m_noParentLabel.isEmpty(); }

    int rowOf(const QString& id, int hint) const {
        const qsizetype at = hint - leadingRows();
        if (at >= 0 && at < m_tags.size() && m_tags[at]->id() == id) {
            return hint;
        }
        for (qsizetype i = 0; i < m_tags.size(); ++i) {
            if (m_tags[i]->id() == id) {
                return leadingRows() + int(i);
            }
        }
        return -1;
    }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : leadingRows() + int(m_tags.size());
    }

    QVariant data(const QModelIndex& index, int role) const override {
        const int row = index.row();
        if (hasNoParentEntry() && row < 2) {
            if (row == 1) { // the combo box draws a divider for this description
                return role == Qt::AccessibleDescriptionRole ? QVariant(QStringLiteral("separator"))
                                                             : QVariant();
            }
            return role == Qt::DisplayRole || role == Qt::AccessibleTextRole ? QVariant(m_noParentLabel)
                                                                             : QVariant();
        }
        const qsizetype at = row - leadingRows();
        if (at < 0 || at >= m_tags.size()) {
            return {};
        }
        switch (role) {
        case Qt::DisplayRole:
        case Qt::AccessibleTextRole:
            return m_names[at];
        case Qt::UserRole:
            return m_tags[at]->id();
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        if (hasNoParentEntry() && index.row() == 1) {
            return Qt::NoItemFlags;
        }
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    }

private:
    QString m_noParentLabel;
    QList<TagPtr> m_tags;
    QStringList m_names;
};

ParentPicker::ParentPicker(QWidget* parent)
    : QComboBox(parent)
    , m_entries(new Entries(this)) {
    setObjectName(QStringLiteral("parentPicker"));
    setAccessibleName(QStringLiteral("Parent Tag"));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(16);
    setModel(m_entries);
    // A scrolling list of twenty rows of one height rather than a menu of every entry, which the
    // style would measure one by one (seconds for 100,000 tags).
    setStyleSheet(QStringLiteral("QComboBox { combobox-popup: 0; }"));
    setMaxVisibleItems(20);
    if (auto* list = qobject_cast<QListView*>(view())) {
        list->setUniformItemSizes(true);
    }
    connect(this, &QComboBox::currentIndexChanged, this, [this] { Q_EMIT chosen(selectedId()); });
}

void ParentPicker::setChoices(const QString& noParentLabel, const QList<TagPtr>& tags) {
    const std::optional<QString> selected = selectedId();
    const bool wasBlank = currentIndex() < 0;
    const QSignalBlocker blocker(this);
    if (m_entries->reset(noParentLabel, tags) && !wasBlank) {
        setSelectedId(selected);
    }
}

void ParentPicker::setSelectedId(const std::optional<QString>& id) {
    const QSignalBlocker blocker(this);
    if (!id) {
        setCurrentIndex(m_entries->hasNoParentEntry() ? 0 : -1);
        return;
    }
    setCurrentIndex(m_entries->rowOf(*id, currentIndex()));
}

std::optional<QString> ParentPicker::selectedId() const {
    const QVariant data = currentData();
    if (currentIndex() < 0 || !data.isValid()) {
        return std::nullopt;
    }
    return data.toString();
}

} // namespace orvalet

#include "ParentPicker.h"

#include <QSignalBlocker>

namespace orvalet {

ParentPicker::ParentPicker(QWidget* parent)
    : QComboBox(parent) {
    setObjectName(QStringLiteral("parentPicker"));
    setAccessibleName(QStringLiteral("Parent Tag"));
    setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    setMinimumContentsLength(16);
    connect(this, &QComboBox::currentIndexChanged, this, [this] { Q_EMIT chosen(selectedId()); });
}

void ParentPicker::setChoices(const QString& noParentLabel, const QList<TagPtr>& tags) {
    QStringList signature;
    signature.reserve(tags.size() * 2);
    for (const TagPtr& tag : tags) {
        signature.append(tag->id());
        signature.append(tag->name());
    }
    if (noParentLabel == m_noParentLabel && signature == m_signature && count() > 0) {
        return;
    }
    const std::optional<QString> selected = selectedId();
    const QSignalBlocker blocker(this);
    clear();
    if (!noParentLabel.isEmpty()) {
        addItem(noParentLabel);
        insertSeparator(count());
    }
    for (const TagPtr& tag : tags) {
        addItem(tag->name(), tag->id());
    }
    m_noParentLabel = noParentLabel;
    m_signature = std::move(signature);
    setSelectedId(selected);
}

void ParentPicker::setSelectedId(const std::optional<QString>& id) {
    const QSignalBlocker blocker(this);
    if (!id) {
        setCurrentIndex(m_noParentLabel.isEmpty() ? -1 : 0);
        return;
    }
    // Entries after the no-parent entry and its divider, in the order they were filled.
    const int first = m_noParentLabel.isEmpty() ? 0 : 2;
    for (qsizetype i = 0; i < m_signature.size(); i += 2) {
        if (m_signature[i] == *id) {
            setCurrentIndex(first + int(i / 2));
            return;
        }
    }
    setCurrentIndex(-1);
}

std::optional<QString> ParentPicker::selectedId() const {
    const QVariant data = currentData();
    if (currentIndex() < 0 || !data.isValid()) {
        return std::nullopt;
    }
    return data.toString();
}

} // namespace orvalet

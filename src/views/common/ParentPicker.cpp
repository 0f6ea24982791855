#include "ParentPicker.h"

#include "TagSearchList.h"

#include <QAbstractListModel>
#include <QAccessibleWidget>
#include <QApplication>
#include <QFrame>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>
#include <algorithm>

namespace orvalet {

namespace {

// The picker to a screen reader: a combo box, as Qt presents its own, except for its children. The
// popup is a window of its own, which the accessibility tree leaves out, so while it is open the
// picker's children are the popup's rows and its search field: a reader that browses the tree
// reaches them from the picker, as it reaches a combo box's list. Closed, its one child is the
// combo box's own list, as Qt has it.
class AccessiblePicker final : public QAccessibleWidget {
public:
    explicit AccessiblePicker(ParentPicker* picker)
        : QAccessibleWidget(picker, QAccessible::ComboBox) {}

    int childCount() const override { return int(children().size()); }
    QAccessibleInterface* child(int index) const override {
        const QList<QWidget*> all = children();
        return index >= 0 && index < all.size() ? QAccessible::queryAccessibleInterface(all[index]) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child ? int(children().indexOf(qobject_cast<QWidget*>(child->object()))) : -1;
    }
    QAccessibleInterface* focusChild() const override {
        const TagSearchList* popup = picker()->popupList();
        QWidget* focus = QApplication::focusWidget();
        if (!popup || !focus || (focus != popup->list() && focus != popup->searchField())) {
            return QAccessibleWidget::focusChild();
        }
        QAccessibleInterface* focused = QAccessible::queryAccessibleInterface(focus);
        QAccessibleInterface* row = focused ? focused->focusChild() : nullptr;
        return row ? row : focused;
    }

    // The current entry's name on Linux, where a label names the control through its relation;
    // the accessible name elsewhere. As Qt's combo box says it.
    QString text(QAccessible::Text t) const override {
        QString text;
        switch (t) {
        case QAccessible::Name:
#ifndef Q_OS_UNIX
            text = QAccessibleWidget::text(t);
            break;
#endif
        case QAccessible::Value:
            text = picker()->currentText();
            break;
        case QAccessible::Accelerator:
            text = QKeySequence(Qt::Key_Down).toString(QKeySequence::NativeText);
            break;
        default:
            break;
        }
        return text.isEmpty() ? QAccessibleWidget::text(t) : text;
    }
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = picker()->popupList() != nullptr;
        return state;
    }
    QStringList actionNames() const override {
        return {showMenuAction(), pressAction()};
    }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction()) {
            return;
        }
        if (picker()->popupList()) {
            picker()->hidePopup();
        } else {
            picker()->showPopup();
        }
    }

private:
    ParentPicker* picker() const {
        return static_cast<ParentPicker*>(object());
    }
    QList<QWidget*> children() const {
        if (const TagSearchList* popup = picker()->popupList()) {
            return {popup->list(), popup->searchField()};
        }
        return {picker()->view()};
    }
};

QAccessibleInterface* accessibleFor(const QString& className, QObject* object) {
    if (className == QLatin1String(ParentPicker::staticMetaObject.className())) {
        if (auto* picker = qobject_cast<ParentPicker*>(object)) {
            return new AccessiblePicker(picker);
        }
    }
    return nullptr;
}

// Tells a screen reader that the picker opened or closed, and that its children changed with it.
void announcePopup(ParentPicker* picker) {
    QAccessible::State expanded;
    expanded.expanded = true;
    QAccessibleStateChangeEvent state(picker, expanded);
    QAccessible::updateAccessibility(&state);
    QAccessibleEvent children(picker, QAccessible::ObjectReorder);
    QAccessible::updateAccessibility(&children);
}

} // namespace

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

    const QString& noParentLabel() const { return m_noParentLabel; }
    const QList<TagPtr>& tags() const { return m_tags; }

private:
    QString m_noParentLabel;
    QList<TagPtr> m_tags;
    QStringList m_names;
};

ParentPicker::ParentPicker(QWidget* parent)
    : QComboBox(parent)
    , m_entries(new Entries(this)) {
    static const bool accessible = (QAccessible::installFactory(&accessibleFor), true);
    Q_UNUSED(accessible);
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

ParentPicker::~ParentPicker() = default;

void ParentPicker::setChoices(const QString& noParentLabel, Choices choices) {
    m_choices = std::move(choices);
    const bool sameLabel = noParentLabel == m_noParentLabel;
    m_noParentLabel = noParentLabel;
    m_stale = true;
    if (m_popup && m_popup->isVisible()) {
        listAll();
        return;
    }
    // A list already made stays, to be checked when it is next reached for, while the entry it
    // shows is still offered under the same name; otherwise the picker holds that entry alone.
    const std::optional<QString> shown = selectedId();
    const TagPtr shownTag = shown && m_choices.find ? m_choices.find(*shown) : nullptr;
    if (m_listed && sameLabel && (!shown || (shownTag && shownTag->name() == currentText()))) {
        return;
    }
    m_listed = false;
    showEntries(shownTag ? QList<TagPtr>{shownTag} : QList<TagPtr>());
}

void ParentPicker::listAll() {
    if (m_listed && !m_stale) {
        return;
    }
    m_listed = true;
    m_stale = false;
    showEntries(m_choices.all ? m_choices.all() : QList<TagPtr>());
}

void ParentPicker::showEntries(const QList<TagPtr>& entries) {
    const std::optional<QString> selected = selectedId();
    const bool wasBlank = currentIndex() < 0;
    const QSignalBlocker blocker(this);
    if (m_entries->reset(m_noParentLabel, entries)) {
        if (wasBlank) {
            setCurrentIndex(-1);
        } else {
            setSelectedId(selected);
        }
    }
}

void ParentPicker::setSelectedId(const std::optional<QString>& id) {
    const QSignalBlocker blocker(this);
    if (!id) {
        setCurrentIndex(m_entries->hasNoParentEntry() ? 0 : -1);
        return;
    }
    int row = m_entries->rowOf(*id, currentIndex());
    if (row < 0 && (!m_listed || m_stale)) {
        // Not among the entries held, which are not every choice: the tag alone, when it is offered.
        if (const TagPtr tag = m_choices.find ? m_choices.find(*id) : nullptr) {
            m_listed = false;
            m_entries->reset(m_noParentLabel, {tag});
            row = m_entries->leadingRows();
        }
    }
    setCurrentIndex(row);
}

// The keys that move a closed picker to another entry (the arrows, paging, typing a name's start)
// and the wheel need every entry first; other keys (Return for the form's button) do not.
void ParentPicker::keyPressEvent(QKeyEvent* event) {
    static constexpr int movingKeys[] = {Qt::Key_Up,       Qt::Key_Down, Qt::Key_PageUp,
                                         Qt::Key_PageDown, Qt::Key_Home, Qt::Key_End};
    const QString text = event->text();
    if (std::find(std::begin(movingKeys), std::end(movingKeys), event->key()) != std::end(movingKeys) ||
        (!text.isEmpty() && text.front().isPrint() && event->key() != Qt::Key_Space)) {
        listAll();
    }
    QComboBox::keyPressEvent(event);
}

void ParentPicker::wheelEvent(QWheelEvent* event) {
    listAll();
    QComboBox::wheelEvent(event);
}

void ParentPicker::showPopup() {
    listAll();
    if (!m_popup) {
        m_popup = new QFrame(this, Qt::Popup);
        m_popup->setObjectName(QStringLiteral("parentPickerPopup"));
        m_popup->setAccessibleName(QStringLiteral("Choose a Parent Tag"));
        m_popup->setFrameShape(QFrame::StyledPanel);
        m_popupList = new TagSearchList(m_popup);
        auto* layout = new QVBoxLayout(m_popup);
        layout->setContentsMargins(4, 4, 4, 4);
        layout->addWidget(m_popupList);
        connect(m_popupList, &TagSearchList::activated, this, &ParentPicker::choose);
        connect(m_popupList, &TagSearchList::rowClicked, this, &ParentPicker::choose);
        auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), m_popup);
        connect(close, &QShortcut::activated, this, &ParentPicker::hidePopup);
    }
    m_popupList->setChoices(m_entries->noParentLabel(), m_entries->tags());
    const std::optional<QString> chosen = selectedId();
    m_popupList->setCurrent(chosen ? chosen
                                   : (m_entries->hasNoParentEntry() && currentIndex() == 0
                                          ? std::optional(QString())
                                          : std::nullopt));
    m_popupList->searchField()->clear();
    // Below the picker, as wide as it is or wide enough for a name and its path.
    const QSize size(std::max(width(), 360), 380);
    QRect area(mapToGlobal(QPoint(0, height())), size);
    if (const QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        if (area.bottom() > available.bottom()) {
            area.moveBottom(mapToGlobal(QPoint(0, 0)).y()); // above it, when there is no room below
        }
        area.moveLeft(std::clamp(area.left(), available.left(),
                                 std::max(available.left(), available.right() - size.width())));
    }
    m_popup->setGeometry(area);
    m_popup->show();
    m_popupList->searchField()->setFocus(Qt::PopupFocusReason);
    announcePopup(this);
}

void ParentPicker::hidePopup() {
    if (m_popup && m_popup->isVisible()) {
        m_popup->hide();
        setFocus(Qt::PopupFocusReason);
        announcePopup(this);
    }
    QComboBox::hidePopup();
}

TagSearchList* ParentPicker::popupList() const {
    return m_popup && m_popup->isVisible() ? m_popupList : nullptr;
}

// The entry chosen in the popup becomes the picker's, announced as a choice.
void ParentPicker::choose() {
    const std::optional<QString> entry = m_popupList->current();
    hidePopup();
    if (!entry) {
        return;
    }
    const int row =
        entry->isEmpty() ? (m_entries->hasNoParentEntry() ? 0 : -1) : m_entries->rowOf(*entry, -1);
    if (row >= 0 && row != currentIndex()) {
        setCurrentIndex(row); // announces `chosen`
    }
}

std::optional<QString> ParentPicker::selectedId() const {
    const QVariant data = currentData();
    if (currentIndex() < 0 || !data.isValid()) {
        return std::nullopt;
    }
    return data.toString();
}

} // namespace orvalet

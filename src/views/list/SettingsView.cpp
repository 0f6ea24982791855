#include "SettingsView.h"

#include "DisplayTexts.h"
#include "Icons.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace orvalet {

SettingsView::SettingsView(Preferences& preferences, QWidget* parent)
    : QWidget(parent)
    , m_preferences(preferences) {
    setObjectName(QStringLiteral("settingsView"));
    setFixedWidth(400);

    auto* form = new QFormLayout(this);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignTop);

    auto* sortColumn = new QVBoxLayout;
    m_sortGroup = new QButtonGroup(this);
    for (TagSortOption option : TagSortOptions::all()) {
        auto* button = new QRadioButton(TagSortOptions::rawValue(option), this);
        button->setObjectName(QStringLiteral("sortOption:") + TagSortOptions::rawValue(option));
        button->setIcon(Icons::symbol(TagSortOptions::iconName(option)));
        m_sortGroup->addButton(button, int(option));
        sortColumn->addWidget(button);
    }
    form->addRow(QStringLiteral("Sort Tags By:"), sortColumn);
    // Toggled, not clicked: a screen reader's Toggle action and the keyboard change the preference
    // too. Writing only what differs keeps the pane's own updates from writing back.
    connect(m_sortGroup, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (on && m_preferences.sortOption() != TagSortOption(id)) {
            m_preferences.setSortOption(TagSortOption(id));
        }
    });

    for (PreferenceKey key : DisplayTexts::flagKeys()) {
        auto* toggle = new QCheckBox(DisplayTexts::flagLabel(key), this);
        toggle->setObjectName(Preferences::keyName(key));
        form->addRow(QString(), toggle);
        m_switches.insert(int(key), toggle);
        connect(toggle, &QCheckBox::toggled, this, [this, key](bool on) { setFlag(key, on); });
    }

    // How changes are sent, apart from how the list looks.
    auto* byId = new QCheckBox(QStringLiteral("Find tags in Things 3 by identifier"), this);
    byId->setObjectName(Preferences::keyName(PreferenceKey::findTagsById));
    byId->setToolTip(QStringLiteral("Renames, moves and deletions reach the tag you chose even when its "
                                    "name changed in Things 3 or another tag has a similar name."));
    form->addRow(QStringLiteral("Changes:"), byId);
    m_switches.insert(int(PreferenceKey::findTagsById), byId);
    connect(byId, &QCheckBox::toggled, this, [this](bool on) { setFlag(PreferenceKey::findTagsById, on); });

    for (PreferenceKey key : Preferences::displayKeys()) {
        showPreference(key);
    }
    showPreference(PreferenceKey::findTagsById);
    connect(&m_preferences, &Preferences::changed, this, &SettingsView::showPreference);
}

void SettingsView::setFlag(PreferenceKey key, bool on) {
    if (m_preferences.flag(key) != on) {
        m_preferences.setFlag(key, on);
    }
}

void SettingsView::showPreference(PreferenceKey key) {
    if (key == PreferenceKey::tagSortOption) {
        m_sortGroup->button(int(m_preferences.sortOption()))->setChecked(true);
    } else if (QAbstractButton* toggle = m_switches.value(int(key))) {
        toggle->setChecked(m_preferences.flag(key));
    }
}

} // namespace orvalet

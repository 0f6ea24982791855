#pragma once

#include <QSet>
#include <QString>
#include <QTreeView>

namespace orvalet {

class Preferences;
class TagOutlineModel;

// The sidebar's tree in outline mode. Besides what QTreeView does (expand and collapse with the
// mouse and the arrow keys), it keeps which tags the user expanded across the model's rebuilds and
// lays the tree out after each one: every row expanded while searching (each match shows where it
// sits), roots collapsed with "Show Root Tags Only", the user's own expansions otherwise.
class TagOutlineView final : public QTreeView {
    Q_OBJECT

public:
    TagOutlineView(TagOutlineModel& model, Preferences& preferences, QWidget* parent = nullptr);

    // View ▸ "Expand All" and "Collapse All".
    void expandAllTags();
    void collapseAllTags();

private:
    void modelRebuilt();
    void remember(const QModelIndex& index, bool expanded);

    TagOutlineModel& m_model;
    Preferences& m_preferences;
    QSet<QString> m_expandedIds; // what the user expanded, by identifier
    bool m_laying = false;       // expansions made here, not by the user
};

} // namespace orvalet

#include "ContentView.h"

#include "EmptyStateView.h"

#include <QListView>
#include <QSplitter>
#include <QVBoxLayout>

namespace orvalet {

ContentView::ContentView(TagStore& store, Preferences& preferences, QWidget* parent)
    : QWidget(parent)
    , m_store(store)
    , m_preferences(preferences) {
    setObjectName(QStringLiteral("contentView"));

    auto* sidebar = new QWidget(this);
    sidebar->setObjectName(QStringLiteral("sidebar"));
    sidebar->setMinimumWidth(220);
    auto* sidebarLayout = new QVBoxLayout(sidebar);
    sidebarLayout->setContentsMargins(0, 0, 0, 0);
    auto* list = new QListView(sidebar);
    list->setObjectName(QStringLiteral("tagList"));
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    sidebarLayout->addWidget(list);

    auto* placeholder = new EmptyStateView(QStringLiteral("No Tag Selected"), QStringLiteral("tag"),
                                           QStringLiteral("Select a tag from the list to edit it."), this);
    placeholder->setObjectName(QStringLiteral("noTagSelected"));

    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setObjectName(QStringLiteral("splitView"));
    m_splitter->setChildrenCollapsible(false);
    m_splitter->addWidget(sidebar);
    m_splitter->addWidget(placeholder);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({280, 620});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);
}

} // namespace orvalet

#include "CFileTypeTreeWidget.h"

#include <QHeaderView>
#include <QStyle>

#include "core/CFileTypeTree.h"

namespace {

constexpr int kGroupRole = Qt::UserRole + 1; // group index, -1 for a type
constexpr int kItemRole = Qt::UserRole + 2;  // type item index, -1 for a group

Qt::CheckState ToCheckState(uint8_t state)
{
    switch (state)
    {
    case CFileTypeTree::kChecked: return Qt::Checked;
    case CFileTypeTree::kPartly: return Qt::PartiallyChecked;
    default: return Qt::Unchecked;
    }
}

} // namespace

CFileTypeTreeWidget::CFileTypeTreeWidget(CFileTypeTree& types, QWidget* parent) : QTreeWidget(parent), m_Types(types)
{
    setHeaderHidden(true);
    setColumnCount(1);
    Fill();
    connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) { OnItemChanged(item); });
    connect(this, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { item->setIcon(0, style()->standardIcon(QStyle::SP_DirOpenIcon)); });
    connect(this, &QTreeWidget::itemCollapsed, this,
            [this](QTreeWidgetItem* item) { item->setIcon(0, style()->standardIcon(QStyle::SP_DirClosedIcon)); });
}

void CFileTypeTreeWidget::Fill()
{
    m_bSyncing = true;
    const auto& groups = m_Types.Groups();
    const auto& items = m_Types.Items();
    for (int g = 0; g < static_cast<int>(groups.size()); ++g)
    {
        auto* group = new QTreeWidgetItem(this, QStringList(QString::fromStdString(groups[size_t(g)].strName)));
        group->setIcon(0, style()->standardIcon(QStyle::SP_DirOpenIcon));
        group->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        group->setData(0, kGroupRole, g);
        group->setData(0, kItemRole, -1);
        for (int i : groups[size_t(g)].Types)
        {
            auto* type = new QTreeWidgetItem(group, QStringList(QString::fromStdString(items[size_t(i)].strText)));
            type->setIcon(0, style()->standardIcon(QStyle::SP_FileIcon));
            type->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            type->setData(0, kGroupRole, -1);
            type->setData(0, kItemRole, i);
        }
    }
    m_bSyncing = false;
    Sync();
    expandAll();
    if (topLevelItemCount() > 0) setCurrentItem(topLevelItem(0));
}

QTreeWidgetItem* CFileTypeTreeWidget::GroupItem(int group) const
{
    return group >= 0 && group < topLevelItemCount() ? topLevelItem(group) : nullptr;
}

QTreeWidgetItem* CFileTypeTreeWidget::TypeItem(int item) const
{
    for (int g = 0; g < topLevelItemCount(); ++g)
    {
        QTreeWidgetItem* group = topLevelItem(g);
        for (int c = 0; c < group->childCount(); ++c)
        {
            if (group->child(c)->data(0, kItemRole).toInt() == item) return group->child(c);
        }
    }
    return nullptr;
}

void CFileTypeTreeWidget::Sync()
{
    m_bSyncing = true;
    const auto& groups = m_Types.Groups();
    const auto& items = m_Types.Items();
    for (int g = 0; g < topLevelItemCount(); ++g)
    {
        QTreeWidgetItem* group = topLevelItem(g);
        group->setCheckState(0, ToCheckState(groups[size_t(g)].byState));
        for (int c = 0; c < group->childCount(); ++c)
        {
            const int i = group->child(c)->data(0, kItemRole).toInt();
            group->child(c)->setCheckState(0, ToCheckState(items[size_t(i)].byState));
        }
    }
    m_bSyncing = false;
}

void CFileTypeTreeWidget::OnItemChanged(QTreeWidgetItem* item)
{
    if (m_bSyncing || !item) return;
    // The box Qt toggled is only the signal of a click: the model decides the new states.
    const int group = item->data(0, kGroupRole).toInt();
    if (group >= 0)
        m_Types.ClickGroup(group);
    else
        m_Types.ClickItem(item->data(0, kItemRole).toInt());
    Sync();
}

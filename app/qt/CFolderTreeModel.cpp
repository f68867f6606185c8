#include "CFolderTreeModel.h"

#include <QBrush>
#include <QColor>
#include <QFont>

#include "GuiIcons.h"
#include "GuiTexts.h"
#include "fs/KNodeTree.h"

CFolderTreeModel::CFolderTreeModel(QObject* parent) : QAbstractItemModel(parent) {}

void CFolderTreeModel::SetTree(KNodeTree* tree)
{
    beginResetModel();
    m_pTree = tree;
    m_Folders.clear();
    m_Rows.clear();
    FindDeleted();
    endResetModel();
}

void CFolderTreeModel::FindDeleted()
{
    m_HoldsDeleted.clear();
    if (!m_pTree || !m_pTree->GetRoot()) return;
    // Depth first over every node; each deleted file (its own record, or a folder above it, is
    // deleted, lost or found by the deep scan: the file list's own rule) marks its ancestors
    // up to the first one already marked, so every folder is marked once. The bounds guard a
    // damaged tree.
    constexpr uint8_t kDeletedKinds = FN_KIND_DELETED | FN_KIND_LOST | FN_KIND_DEEP;
    constexpr int kMaxDepth = 1 << 16;
    const auto deleted = [](const tagTreeNode* n) { return n->pRecord && (n->pRecord->byKind & kDeletedKinds); };
    std::vector<std::pair<const tagTreeNode*, bool>> pending{{m_pTree->GetRoot(), deleted(m_pTree->GetRoot())}};
    std::unordered_set<const tagTreeNode*> seen;
    while (!pending.empty())
    {
        const auto [node, inherited] = pending.back();
        pending.pop_back();
        if (!seen.insert(node).second) continue;
        for (const tagTreeNode* child = node->pFirstChild; child; child = child->pNext)
        {
            if (child->pFirstChild)
                pending.emplace_back(child, inherited || deleted(child));
            else if ((inherited || deleted(child)) && !GuiIcons::IsFolderNode(child))
            {
                int depth = 0;
                for (const tagTreeNode* up = node; up && depth < kMaxDepth; up = up->pParent, ++depth)
                {
                    if (!m_HoldsDeleted.insert(up).second) break;
                }
            }
        }
    }
}

const std::vector<tagTreeNode*>& CFolderTreeModel::FoldersOf(const tagTreeNode* node) const
{
    auto it = m_Folders.find(node);
    if (it != m_Folders.end()) return it->second;
    std::vector<tagTreeNode*> folders;
    for (tagTreeNode* child = node ? node->pFirstChild : nullptr; child; child = child->pNext)
    {
        if (GuiIcons::IsFolderNode(child))
        {
            m_Rows[child] = static_cast<int>(folders.size());
            folders.push_back(child);
        }
    }
    return m_Folders.emplace(node, std::move(folders)).first->second;
}

int CFolderTreeModel::RowOf(const tagTreeNode* node) const
{
    if (!node->pParent) return 0;
    FoldersOf(node->pParent);
    const auto it = m_Rows.find(node);
    return it == m_Rows.end() ? -1 : it->second;
}

tagTreeNode* CFolderTreeModel::NodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<tagTreeNode*>(index.internalPointer()) : nullptr;
}

QModelIndex CFolderTreeModel::IndexOf(const tagTreeNode* node) const
{
    if (!node || !m_pTree) return QModelIndex();
    if (!node->pParent)
        return node == m_pTree->GetRoot() ? createIndex(0, 0, const_cast<tagTreeNode*>(node)) : QModelIndex();
    const int row = RowOf(node);
    return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<tagTreeNode*>(node));
}

QModelIndex CFolderTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!m_pTree || column != 0 || row < 0) return QModelIndex();
    if (!parent.isValid())
        return row == 0 && m_pTree->GetRoot() ? createIndex(0, 0, m_pTree->GetRoot()) : QModelIndex();
    const auto& folders = FoldersOf(NodeOf(parent));
    return static_cast<size_t>(row) < folders.size() ? createIndex(row, 0, folders[size_t(row)]) : QModelIndex();
}

QModelIndex CFolderTreeModel::parent(const QModelIndex& index) const
{
    const tagTreeNode* node = NodeOf(index);
    return node ? IndexOf(node->pParent) : QModelIndex();
}

int CFolderTreeModel::rowCount(const QModelIndex& parent) const
{
    if (!m_pTree) return 0;
    if (!parent.isValid()) return m_pTree->GetRoot() ? 1 : 0;
    if (parent.column() != 0) return 0;
    return static_cast<int>(FoldersOf(NodeOf(parent)).size());
}

int CFolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant CFolderTreeModel::data(const QModelIndex& index, int role) const
{
    const tagTreeNode* node = NodeOf(index);
    if (!node) return QVariant();
    switch (role)
    {
    case Qt::DisplayRole: return QString::fromUtf8(m_pTree->GetName(node));
    case Qt::DecorationRole: return GuiIcons::NodeIcon(node);
    case Qt::FontRole:
        if (HoldsDeleted(node))
        {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return QVariant();
    case Qt::ForegroundRole: return HoldsDeleted(node) ? QVariant(QBrush(QColor(160, 0, 0))) : QVariant();
    case Qt::ToolTipRole: return HoldsDeleted(node) ? QVariant(QString::fromUtf8(GuiText::kHoldsDeleted)) : QVariant();
    case Qt::CheckStateRole:
        return node->byCheck == TN_CHECKED ? Qt::Checked
            : node->byCheck == TN_PARTLY   ? Qt::PartiallyChecked
                                           : Qt::Unchecked;
    default: return QVariant();
    }
}

Qt::ItemFlags CFolderTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
}

bool CFolderTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    tagTreeNode* node = NodeOf(index);
    if (role != Qt::CheckStateRole || !node) return false;
    m_pTree->SetCheck(node, value.toInt() != Qt::Unchecked);
    NodeChecked(node);
    emit CheckChanged(node);
    return true;
}

void CFolderTreeModel::NodeChecked(const tagTreeNode* node)
{
    // The bound guards against a damaged parent chain.
    int depth = 0;
    for (const tagTreeNode* n = node; n && depth < 100000; n = n->pParent, ++depth)
    {
        const QModelIndex i = IndexOf(n);
        if (i.isValid()) emit dataChanged(i, i, {Qt::CheckStateRole});
    }
    RefreshBelow(node);
}

void CFolderTreeModel::RefreshBelow(const tagTreeNode* node)
{
    // Only folders whose children were ever asked for can be on screen.
    std::vector<const tagTreeNode*> pending{node};
    size_t budget = m_Folders.size() + 1; // every cached folder once, even over a damaged link
    while (!pending.empty() && budget-- > 0)
    {
        const tagTreeNode* folder = pending.back();
        pending.pop_back();
        const auto it = m_Folders.find(folder);
        if (it == m_Folders.end() || it->second.empty()) continue;
        const QModelIndex parentIndex = IndexOf(folder);
        emit dataChanged(index(0, 0, parentIndex), index(static_cast<int>(it->second.size()) - 1, 0, parentIndex),
                         {Qt::CheckStateRole});
        for (const tagTreeNode* child : it->second) pending.push_back(child);
    }
}

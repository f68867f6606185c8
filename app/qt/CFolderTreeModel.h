#pragma once
// The left-hand folder tree of the file list: the folders of the session's tree (files are
// left to the list), each with the node's tri-state check box. The model points into the tree;
// the sub-folders of a folder are collected when the view first asks for them, so a folder
// with a million files is walked once, not on every call. Folders that hold deleted, lost or
// deep-scan files anywhere below them are marked (bold, dark red, a tool tip), found in one
// pass over the tree when it is set.
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include <QAbstractItemModel>

class KNodeTree;
struct tagTreeNode;

class CFolderTreeModel final : public QAbstractItemModel
{
    Q_OBJECT
public:
    explicit CFolderTreeModel(QObject* parent = nullptr);

    /// Shows the folders of `tree` (null: nothing).
    void SetTree(KNodeTree* tree);
    KNodeTree* Tree() const { return m_pTree; }
    tagTreeNode* NodeOf(const QModelIndex& index) const;
    /// The index of folder `node`; invalid when it is not a folder of the tree.
    QModelIndex IndexOf(const tagTreeNode* node) const;
    /// Redraws the check boxes that a tick on `node` changed: its ancestors and every folder
    /// below it that the view has seen.
    void NodeChecked(const tagTreeNode* node);
    /// True when a deleted, lost or deep-scan file lies somewhere below `folder`.
    bool HoldsDeleted(const tagTreeNode* folder) const { return m_HoldsDeleted.count(folder) != 0; }

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& index) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

signals:
    void CheckChanged(tagTreeNode* node);

private:
    const std::vector<tagTreeNode*>& FoldersOf(const tagTreeNode* node) const;
    int RowOf(const tagTreeNode* node) const;
    void RefreshBelow(const tagTreeNode* node);
    void FindDeleted();

    KNodeTree* m_pTree = nullptr;
    mutable std::unordered_map<const tagTreeNode*, std::vector<tagTreeNode*>> m_Folders;
    mutable std::unordered_map<const tagTreeNode*, int> m_Rows;
    std::unordered_set<const tagTreeNode*> m_HoldsDeleted;
};

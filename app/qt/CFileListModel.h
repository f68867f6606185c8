#pragma once
// The right-hand list of the file list: the entries of one folder of the session's tree, with
// the seven columns. The model keeps only a vector of node pointers (no item per row), so a
// folder of a million entries pages and sorts quickly. The check box of a row is the node's
// selection in the tree; ticking goes through the tree so its running totals stay right.
//
// Sorting happens here (never through a proxy model); column -1 restores the tree's order.
// Each column's order is worked out once per folder, as a rank per row (rows that compare
// equal share one); every later sort by that column, from whatever order the list is in, is a
// stable counting sort by those ranks.
#include <array>
#include <cstdint>
#include <vector>

#include <QAbstractTableModel>
#include <QHash>

#include "core/TreeFileWalk.h"

class KNodeTree;
class QTimer;
struct tagTreeNode;

class CFileListModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column
    {
        kName = 0,
        kSize,
        kCondition, // beside the size, where it is seen without scrolling
        kType,
        kCreated,
        kModified,
        kAttribute,
        kPath, // the folder that holds the file; shown in the list of all files only
        kColumns,
    };
    static constexpr int kWidths[kColumns] = {200, 100, 110, 70, 150, 150, 100, 300};

    explicit CFileListModel(QObject* parent = nullptr);

    /// Shows the entries of `folder` of `tree` (null: nothing).
    void SetFolder(KNodeTree* tree, tagTreeNode* folder);
    /// Shows every file below `root` in one list. The rows are added a batch at a time between
    /// events (FlatFilled when the last came), so that a tree of a million files never stops
    /// the window; the header's sort is applied to the whole list once it is complete.
    void SetFlat(KNodeTree* tree, tagTreeNode* root);
    bool IsFlat() const { return m_bFlat; }
    /// True while rows of the list of all files are still being added.
    bool Filling() const;
    /// The folder path of `node` ("/" for the root's entries).
    QString PathOf(const tagTreeNode* node) const;
    tagTreeNode* Folder() const { return m_pFolder; }
    tagTreeNode* NodeAt(int row) const;
    /// The row of `node`; -1 when it is not listed.
    int RowOf(const tagTreeNode* node) const;
    /// The check boxes of every row may have changed (a folder was ticked in the tree).
    void RefreshChecks();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    /// The type name of a file name's extension ("Folder" for folders).
    QString TypeName(const tagTreeNode* node) const;

signals:
    /// The user ticked or unticked `node`.
    void CheckChanged(tagTreeNode* node);
    /// The list of all files is complete.
    void FlatFilled();

private:
    void FillSome();
    void Restart(KNodeTree* tree, tagTreeNode* folder, bool flat);
    QString Text(const tagTreeNode* node, int column) const;
    void SortRows(int column, Qt::SortOrder order);
    /// The ranks of every row (by tree position) for `column`, computed on first use.
    const std::vector<uint32_t>& Ranks(int column);
    uint32_t NameRanks(std::vector<uint32_t>& ranks) const;
    uint32_t TextRanks(int column, std::vector<uint32_t>& ranks) const;
    uint32_t ValueRanks(int column, std::vector<uint32_t>& ranks) const;
    uint32_t PathRanks(std::vector<uint32_t>& ranks) const;

    KNodeTree* m_pTree = nullptr;
    tagTreeNode* m_pFolder = nullptr;
    std::vector<tagTreeNode*> m_Original;                // the tree's order
    std::vector<uint32_t> m_Order;                       // shown order: positions in m_Original
    std::array<std::vector<uint32_t>, kColumns> m_Ranks; // per column; empty until needed
    std::array<uint32_t, kColumns> m_RankCount{};        // distinct ranks per column
    mutable QHash<QString, QString> m_TypeNames;
    bool m_bFlat = false;
    CTreeFileWalk m_Walk;
    QTimer* m_pFill = nullptr;
    int m_SortColumn = -1; // the header's sort, kept for the next folder
    Qt::SortOrder m_SortOrder = Qt::AscendingOrder;
};

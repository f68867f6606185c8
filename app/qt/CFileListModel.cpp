#include "CFileListModel.h"

#include <algorithm>
#include <cstring>
#include <strings.h>
#include <unordered_map>

#include <QBrush>
#include <QColor>
#include <QMimeDatabase>

#include "GuiIcons.h"
#include "GuiTexts.h"
#include "core/FileListText.h"
#include "fs/KNodeTree.h"
#include "res/VlmStrings.h"

namespace {

QString Utf8(const char* text)
{
    return QString::fromUtf8(text ? text : "");
}

// Keys for the columns that sort by a value; a missing value sorts first.
int64_t SizeKey(const tagTreeNode* n)
{
    return (n->pRecord && (n->pRecord->wValidMask & FN_MASK_SIZE)) ? n->pRecord->s64Size : -1;
}

uint64_t TimeKey(const tagTreeNode* n, bool modified)
{
    const tagFileNode* r = n->pRecord;
    if (!r)
        return 0;
    if (modified)
        return (r->wValidMask & FN_MASK_MODIFIED) ? r->ftModified : 0;
    return (r->wValidMask & FN_MASK_CREATED) ? r->ftCreated : 0;
}

} // namespace

CFileListModel::CFileListModel(QObject* parent) : QAbstractTableModel(parent) {}

void CFileListModel::SetFolder(KNodeTree* tree, tagTreeNode* folder)
{
    beginResetModel();
    m_pTree = tree;
    m_pFolder = folder;
    m_Rows.clear();
    m_Original.clear();
    if (folder)
    {
        for (tagTreeNode* child = folder->pFirstChild; child; child = child->pNext)
            m_Rows.push_back(child);
    }
    m_Original = m_Rows;
    endResetModel();
}

tagTreeNode* CFileListModel::NodeAt(int row) const
{
    return row >= 0 && static_cast<size_t>(row) < m_Rows.size() ? m_Rows[size_t(row)] : nullptr;
}

int CFileListModel::RowOf(const tagTreeNode* node) const
{
    const auto it = std::find(m_Rows.begin(), m_Rows.end(), node);
    return it == m_Rows.end() ? -1 : static_cast<int>(it - m_Rows.begin());
}

void CFileListModel::RefreshChecks()
{
    if (!m_Rows.empty())
        emit dataChanged(index(0, kName), index(rowCount() - 1, kName), {Qt::CheckStateRole});
}

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_Rows.size());
}

int CFileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QString CFileListModel::TypeName(const tagTreeNode* node) const
{
    if (GuiIcons::IsFolderNode(node))
        return QStringLiteral("Folder");
    const QString name = Utf8(m_pTree ? m_pTree->GetName(node) : "");
    const int dot = name.lastIndexOf('.');
    if (dot < 0 || dot == name.size() - 1)
        return QStringLiteral("File");
    const QString suffix = name.mid(dot + 1).toLower();
    const auto cached = m_TypeNames.constFind(suffix);
    if (cached != m_TypeNames.constEnd())
        return *cached;
    static const QMimeDatabase s_Mime;
    const QMimeType type = s_Mime.mimeTypeForFile(QStringLiteral("x.") + suffix, QMimeDatabase::MatchExtension);
    QString text = type.isDefault() ? suffix.toUpper() + QStringLiteral(" File") : type.comment();
    m_TypeNames.insert(suffix, text);
    return text;
}

QString CFileListModel::Text(const tagTreeNode* node, int column) const
{
    const tagFileNode* record = node->pRecord;
    switch (column)
    {
    case kName: return Utf8(m_pTree->GetName(node));
    case kSize: return QString::fromStdString(SizeColumn(record));
    case kType: return TypeName(node);
    case kCreated: return QString::fromStdString(CreatedColumn(record));
    case kModified: return QString::fromStdString(ModifiedColumn(record));
    case kAttribute: return QString::fromStdString(AttributeColumn(record));
    default: return QString();
    }
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const
{
    const tagTreeNode* node = NodeAt(index.row());
    if (!node || !m_pTree)
        return QVariant();
    const tagFileNode* record = node->pRecord;
    switch (role)
    {
    case Qt::DisplayRole: return Text(node, index.column());
    case Qt::DecorationRole: return index.column() == kName ? QVariant(GuiIcons::NodeIcon(node)) : QVariant();
    case Qt::CheckStateRole:
        if (index.column() != kName)
            return QVariant();
        return node->byCheck == TN_CHECKED ? Qt::Checked : node->byCheck == TN_PARTLY ? Qt::PartiallyChecked : Qt::Unchecked;
    case Qt::ForegroundRole:
        // Compressed files in blue, encrypted ones in green.
        if (record && (record->wValidMask & FN_MASK_ATTRIBUTES))
        {
            if (record->wAttributes & FN_ATTR_COMPRESSED)
                return QBrush(QColor(0, 0, 255));
            if (record->wAttributes & FN_ATTR_ENCRYPTED)
                return QBrush(QColor(0, 128, 0));
        }
        return QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == kSize)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        if (index.column() == kType)
            return int(Qt::AlignHCenter | Qt::AlignVCenter);
        return QVariant();
    default: return QVariant();
    }
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section)
    {
    case kName: return Utf8(VlmString(IDS_COL_FILE_NAME));
    case kSize: return Utf8(VlmString(IDS_COL_SIZE));
    case kType: return Utf8(GuiText::kColType);
    case kCreated: return Utf8(VlmString(IDS_COL_CREATED));
    case kModified: return Utf8(VlmString(IDS_COL_MODIFIED));
    case kAttribute: return Utf8(VlmString(IDS_COL_ATTRIBUTE));
    default: return QVariant();
    }
}

Qt::ItemFlags CFileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == kName)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool CFileListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    tagTreeNode* node = NodeAt(index.row());
    if (role != Qt::CheckStateRole || index.column() != kName || !node || !m_pTree)
        return false;
    m_pTree->SetCheck(node, value.toInt() != Qt::Unchecked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit CheckChanged(node);
    return true;
}

void CFileListModel::sort(int column, Qt::SortOrder order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<tagTreeNode*> nodes;
    nodes.reserve(size_t(before.size()));
    for (const QModelIndex& i : before)
        nodes.push_back(NodeAt(i.row()));
    SortRows(column, order);
    if (!before.isEmpty())
    {
        std::unordered_map<const tagTreeNode*, int> rows;
        rows.reserve(m_Rows.size());
        for (size_t r = 0; r < m_Rows.size(); ++r)
            rows.emplace(m_Rows[r], static_cast<int>(r));
        QModelIndexList after;
        for (int k = 0; k < before.size(); ++k)
            after << index(rows.at(nodes[size_t(k)]), before[k].column());
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CFileListModel::SortRows(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= kColumns || !m_pTree)
    {
        m_Rows = m_Original;
        return;
    }
    const bool descending = order == Qt::DescendingOrder;
    auto sortBy = [&](auto key) {
        std::stable_sort(m_Rows.begin(), m_Rows.end(), [&](const tagTreeNode* a, const tagTreeNode* b) {
            return descending ? key(b) < key(a) : key(a) < key(b);
        });
    };
    switch (column)
    {
    case kName:
        std::stable_sort(m_Rows.begin(), m_Rows.end(), [&](const tagTreeNode* a, const tagTreeNode* b) {
            const int c = strcasecmp(m_pTree->GetName(a), m_pTree->GetName(b));
            return descending ? c > 0 : c < 0;
        });
        break;
    case kSize: sortBy(SizeKey); break;
    case kCreated: sortBy([](const tagTreeNode* n) { return TimeKey(n, false); }); break;
    case kModified: sortBy([](const tagTreeNode* n) { return TimeKey(n, true); }); break;
    default: {
        // Text columns: each row's text once, then the rows by it.
        std::unordered_map<const tagTreeNode*, QString> keys;
        keys.reserve(m_Rows.size());
        for (const tagTreeNode* n : m_Rows)
            keys.emplace(n, Text(n, column));
        sortBy([&](const tagTreeNode* n) -> const QString& { return keys.at(n); });
        break;
    }
    }
}

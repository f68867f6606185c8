#include "CFileListModel.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
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
        // Only the nodes that persistent indexes point at need their new rows.
        std::unordered_map<const tagTreeNode*, int> rows;
        for (const tagTreeNode* n : nodes)
            rows.emplace(n, -1);
        for (size_t r = 0; r < m_Rows.size(); ++r)
        {
            const auto it = rows.find(m_Rows[r]);
            if (it != rows.end())
                it->second = static_cast<int>(r);
        }
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
    // Every row's key is computed once into one contiguous array, so that the sort compares
    // values in cache instead of following node, record and name pointers a million times.
    struct Keyed
    {
        uint64_t Key[2];      // numeric key, or the first 16 upper-case bytes of the name
        const char* pszName;  // the whole name, for names that share those 16 bytes
        tagTreeNode* pNode;
    };
    std::vector<Keyed> rows(m_Rows.size());
    if (column == kType || column == kAttribute)
    {
        // Few distinct texts: each row gets a small class (its extension, or its attribute
        // word), each class its text once, and the rows sort by the rank of that text.
        std::unordered_map<std::string, uint32_t> classes;
        std::vector<std::pair<QString, uint32_t>> texts; // text, class
        std::vector<uint32_t> rowClass(m_Rows.size());
        for (size_t r = 0; r < m_Rows.size(); ++r)
        {
            tagTreeNode* n = m_Rows[r];
            std::string cls;
            if (column == kAttribute)
                cls = (n->pRecord && (n->pRecord->wValidMask & FN_MASK_ATTRIBUTES)) ? std::to_string(n->pRecord->wAttributes) : "-";
            else if (GuiIcons::IsFolderNode(n))
                cls = "/";
            else
            {
                const char* name = m_pTree->GetName(n);
                const char* dot = std::strrchr(name, '.');
                cls = dot ? dot : "";
                for (char& c : cls)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
            auto it = classes.find(cls);
            if (it == classes.end())
            {
                it = classes.emplace(std::move(cls), static_cast<uint32_t>(texts.size())).first;
                texts.emplace_back(Text(n, column), it->second);
            }
            rowClass[r] = it->second;
        }
        std::sort(texts.begin(), texts.end(), [](const auto& a, const auto& b) {
            return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
        });
        std::vector<uint64_t> rank(texts.size());
        for (size_t k = 0; k < texts.size(); ++k)
            rank[texts[k].second] = k == 0 || QString::compare(texts[k].first, texts[k - 1].first, Qt::CaseInsensitive) != 0
                                        ? k
                                        : rank[texts[k - 1].second];
        for (size_t r = 0; r < m_Rows.size(); ++r)
            rows[r] = {{rank[rowClass[r]], 0}, nullptr, m_Rows[r]};
    }
    else
    {
        for (size_t r = 0; r < m_Rows.size(); ++r)
        {
            tagTreeNode* n = m_Rows[r];
            Keyed& k = rows[r];
            k.pNode = n;
            k.pszName = nullptr;
            k.Key[1] = 0;
            switch (column)
            {
            case kName: {
                k.pszName = m_pTree->GetName(n);
                uint64_t parts[2] = {0, 0};
                for (size_t b = 0; b < 16 && k.pszName[b]; ++b)
                {
                    const auto c = static_cast<uint64_t>(std::toupper(static_cast<unsigned char>(k.pszName[b])));
                    parts[b / 8] |= c << (56 - 8 * (b % 8));
                }
                k.Key[0] = parts[0];
                k.Key[1] = parts[1];
                break;
            }
            // Offset so that a missing size (-1) sorts first as an unsigned number.
            case kSize: k.Key[0] = static_cast<uint64_t>(SizeKey(n)) + (uint64_t(1) << 63); break;
            case kCreated: k.Key[0] = TimeKey(n, false); break;
            default: k.Key[0] = TimeKey(n, true); break;
            }
        }
    }
    const auto less = [](const Keyed& a, const Keyed& b) {
        if (a.Key[0] != b.Key[0])
            return a.Key[0] < b.Key[0];
        if (a.Key[1] != b.Key[1])
            return a.Key[1] < b.Key[1];
        return a.pszName && b.pszName && strcasecmp(a.pszName, b.pszName) < 0;
    };
    if (order == Qt::DescendingOrder)
        std::stable_sort(rows.begin(), rows.end(), [&](const Keyed& a, const Keyed& b) { return less(b, a); });
    else
        std::stable_sort(rows.begin(), rows.end(), less);
    for (size_t r = 0; r < rows.size(); ++r)
        m_Rows[r] = rows[r].pNode;
}

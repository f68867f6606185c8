#include "CFileListModel.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QElapsedTimer>
#include <QLocale>
#include <QMimeDatabase>
#include <QTimer>

#include "GuiIcons.h"
#include "GuiTexts.h"
#include "core/FileListText.h"
#include "fs/KNodeTree.h"
#include "core/VlmStrings.h"

namespace {

QString Utf8(const char* text) { return QString::fromUtf8(text ? text : ""); }

// A record time in the user's locale, fields padded ("08/03/2021 09:05:07"). Record times are
// wall-clock times as the disk keeps them: shown as they are, without a time-zone shift.
QString LocaleDate(const tagFileNode* record, uint16_t mask, uint64_t time)
{
    if (!record || !(record->wValidMask & mask) || time == 0) return QString();
    const tagCalendarTime t = FileTimeToCalendar(time);
    const QDateTime when(QDate(t.nYear, t.nMonth, t.nDay), QTime(t.nHour, t.nMinute, t.nSecond));
    if (!when.isValid()) return QString();
    static const QString s_Format = [] {
        // The locale's short date with four-digit years, and the time with seconds.
        QString date = QLocale().dateFormat(QLocale::ShortFormat);
        if (!date.contains(QStringLiteral("yyyy"))) date.replace(QStringLiteral("yy"), QStringLiteral("yyyy"));
        for (const char* field : {"d", "M"})
        {
            const QString one = QString::fromLatin1(field);
            if (!date.contains(one + one)) date.replace(one, one + one);
        }
        QString time = QLocale().timeFormat(QLocale::ShortFormat);
        if (!time.contains(QStringLiteral("ss"))) time.replace(QStringLiteral("mm"), QStringLiteral("mm:ss"));
        if (!time.contains(QStringLiteral("hh")) && !time.contains(QStringLiteral("HH")))
            time.replace(QStringLiteral("h"), QStringLiteral("hh")).replace(QStringLiteral("H"), QStringLiteral("HH"));
        return date + QStringLiteral(" ") + time;
    }();
    return QLocale().toString(when, s_Format);
}

// Keys for the columns that sort by a value; a missing value sorts first.
int64_t SizeKey(const tagTreeNode* n)
{
    return (n->pRecord && (n->pRecord->wValidMask & FN_MASK_SIZE)) ? n->pRecord->s64Size : -1;
}

uint64_t TimeKey(const tagTreeNode* n, bool modified)
{
    const tagFileNode* r = n->pRecord;
    if (!r) return 0;
    if (modified) return (r->wValidMask & FN_MASK_MODIFIED) ? r->ftModified : 0;
    return (r->wValidMask & FN_MASK_CREATED) ? r->ftCreated : 0;
}

// Names compare as strcasecmp does in the C locale: ASCII letters without case, every other
// byte by its value (so UTF-8 names order by their bytes beyond ASCII). Done here rather than
// by strcasecmp so that the order does not depend on the locale the program runs in.
unsigned char Fold(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

int CompareFolded(const char* a, const char* b)
{
    for (;; ++a, ++b)
    {
        const unsigned char x = Fold(*a);
        const unsigned char y = Fold(*b);
        if (x != y || x == 0) return int(x) - int(y);
    }
}

// Sorts `items` by `less` and gives each row (item.nRow) its dense rank: items that compare
// equal share one, and ranks count from 0 without gaps. Returns the number of ranks.
template <class Item, class Less> uint32_t RankRows(std::vector<Item>& items, Less less, std::vector<uint32_t>& ranks)
{
    std::sort(items.begin(), items.end(), less);
    uint32_t rank = 0;
    for (size_t k = 0; k < items.size(); ++k)
    {
        if (k > 0 && less(items[k - 1], items[k])) ++rank;
        ranks[items[k].nRow] = rank;
    }
    return items.empty() ? 0 : rank + 1;
}

// Stable counting sort of `order` (row positions) by their ranks, highest first when
// descending: rows of equal rank keep the order they had, as a stable comparison sort leaves
// them.
void SortByRank(std::vector<uint32_t>& order, const std::vector<uint32_t>& ranks, uint32_t count, bool descending)
{
    std::vector<uint32_t> start(size_t(count) + 1, 0);
    const auto key = [&](uint32_t row) { return descending ? count - 1 - ranks[row] : ranks[row]; };
    for (uint32_t row : order) ++start[size_t(key(row)) + 1];
    for (size_t k = 1; k < start.size(); ++k) start[k] += start[k - 1];
    std::vector<uint32_t> sorted(order.size());
    for (uint32_t row : order) sorted[start[key(row)]++] = row;
    order.swap(sorted);
}

} // namespace

CFileListModel::CFileListModel(QObject* parent) : QAbstractTableModel(parent)
{
    m_pFill = new QTimer(this);
    m_pFill->setInterval(0);
    connect(m_pFill, &QTimer::timeout, this, &CFileListModel::FillSome);
}

void CFileListModel::SetFolder(KNodeTree* tree, tagTreeNode* folder) { Restart(tree, folder, false); }

void CFileListModel::SetFlat(KNodeTree* tree, tagTreeNode* root)
{
    Restart(tree, root, true);
    if (root)
        m_pFill->start();
    else
        emit FlatFilled();
}

bool CFileListModel::Filling() const { return m_pFill->isActive(); }

void CFileListModel::FillSome()
{
    // At most 64 Ki nodes or about 20 ms of walking per turn of the event loop, in steps
    // small enough to check the time often.
    constexpr size_t kStep = 8192;
    constexpr size_t kStepsPerTurn = 8;
    constexpr qint64 kTurnMs = 20;
    QElapsedTimer clock;
    clock.start();
    std::vector<tagTreeNode*> found;
    bool more = true;
    for (size_t step = 0; more && step < kStepsPerTurn && clock.elapsed() < kTurnMs; ++step)
        more = m_Walk.Next(kStep, &found);
    if (!found.empty())
    {
        const int first = rowCount();
        beginInsertRows(QModelIndex(), first, first + static_cast<int>(found.size()) - 1);
        for (tagTreeNode* node : found)
        {
            m_Order.push_back(static_cast<uint32_t>(m_Original.size()));
            m_Original.push_back(node);
        }
        // Ranks cover the rows they were made for: made again for the longer list.
        for (std::vector<uint32_t>& ranks : m_Ranks) ranks = {};
        m_RankCount = {};
        endInsertRows();
    }
    if (more) return;
    m_pFill->stop();
    if (m_SortColumn >= 0) sort(m_SortColumn, m_SortOrder);
    emit FlatFilled();
}

void CFileListModel::Restart(KNodeTree* tree, tagTreeNode* folder, bool flat)
{
    m_pFill->stop();
    beginResetModel();
    m_pTree = tree;
    m_pFolder = folder;
    m_bFlat = flat;
    m_Walk = CTreeFileWalk(flat ? folder : nullptr);
    m_Original.clear();
    if (folder && !flat)
    {
        for (tagTreeNode* child = folder->pFirstChild; child; child = child->pNext) m_Original.push_back(child);
    }
    m_Order.resize(m_Original.size());
    for (size_t r = 0; r < m_Order.size(); ++r) m_Order[r] = static_cast<uint32_t>(r);
    for (std::vector<uint32_t>& ranks : m_Ranks) ranks = {};
    m_RankCount = {};
    // The header still shows its sort: the new folder is listed in that order too.
    SortRows(m_SortColumn, m_SortOrder);
    endResetModel();
}

tagTreeNode* CFileListModel::NodeAt(int row) const
{
    return row >= 0 && static_cast<size_t>(row) < m_Order.size() ? m_Original[m_Order[size_t(row)]] : nullptr;
}

int CFileListModel::RowOf(const tagTreeNode* node) const
{
    const auto at = std::find(m_Original.begin(), m_Original.end(), node);
    if (at == m_Original.end()) return -1;
    const auto it = std::find(m_Order.begin(), m_Order.end(), static_cast<uint32_t>(at - m_Original.begin()));
    return static_cast<int>(it - m_Order.begin());
}

void CFileListModel::RefreshChecks()
{
    if (!m_Order.empty()) emit dataChanged(index(0, kName), index(rowCount() - 1, kName), {Qt::CheckStateRole});
}

int CFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_Order.size());
}

int CFileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumns; }

QString CFileListModel::TypeName(const tagTreeNode* node) const
{
    if (GuiIcons::IsFolderNode(node)) return QStringLiteral("Folder");
    const QString name = Utf8(m_pTree ? m_pTree->GetName(node) : "");
    const int dot = name.lastIndexOf('.');
    if (dot < 0 || dot == name.size() - 1) return QStringLiteral("File");
    const QString suffix = name.mid(dot + 1).toLower();
    const auto cached = m_TypeNames.constFind(suffix);
    if (cached != m_TypeNames.constEnd()) return *cached;
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
    case kCreated: return record ? LocaleDate(record, FN_MASK_CREATED, record->ftCreated) : QString();
    case kModified: return record ? LocaleDate(record, FN_MASK_MODIFIED, record->ftModified) : QString();
    case kAttribute: return QString::fromStdString(AttributeColumn(record));
    case kCondition: return QString::fromStdString(ConditionColumn(record));
    case kPath: return PathOf(node);
    default: return QString();
    }
}

QString CFileListModel::PathOf(const tagTreeNode* node) const
{
    // The names of the folders above the node, up to (not with) the root. A tree never holds
    // more levels than nodes; the bound keeps a broken parent chain from looping.
    std::vector<const tagTreeNode*> chain;
    for (const tagTreeNode* p = node ? node->pParent : nullptr; p && p->pParent && chain.size() < 4096; p = p->pParent)
        chain.push_back(p);
    QString path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) path += QLatin1Char('/') + Utf8(m_pTree->GetName(*it));
    return path.isEmpty() ? QStringLiteral("/") : path;
}

QVariant CFileListModel::data(const QModelIndex& index, int role) const
{
    const tagTreeNode* node = NodeAt(index.row());
    if (!node || !m_pTree) return QVariant();
    const tagFileNode* record = node->pRecord;
    switch (role)
    {
    case Qt::DisplayRole: return Text(node, index.column());
    case Qt::DecorationRole:
        if (index.column() == kName) return GuiIcons::NodeIcon(node);
        if (index.column() == kCondition)
        {
            const QIcon icon = GuiIcons::ConditionIcon(node);
            return icon.isNull() ? QVariant() : QVariant(icon);
        }
        return QVariant();
    case Qt::CheckStateRole:
        if (index.column() != kName) return QVariant();
        return node->byCheck == TN_CHECKED ? Qt::Checked
            : node->byCheck == TN_PARTLY   ? Qt::PartiallyChecked
                                           : Qt::Unchecked;
    case Qt::ForegroundRole:
        // Compressed files in blue, encrypted ones in green.
        if (record && (record->wValidMask & FN_MASK_ATTRIBUTES))
        {
            if (record->wAttributes & FN_ATTR_COMPRESSED) return QBrush(QColor(0, 0, 255));
            if (record->wAttributes & FN_ATTR_ENCRYPTED) return QBrush(QColor(0, 128, 0));
        }
        return QVariant();
    case Qt::TextAlignmentRole:
        if (index.column() == kSize) return int(Qt::AlignRight | Qt::AlignVCenter);
        if (index.column() == kType) return int(Qt::AlignHCenter | Qt::AlignVCenter);
        return QVariant();
    default: return QVariant();
    }
}

QVariant CFileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QVariant();
    switch (section)
    {
    case kName: return Utf8(VlmString(IDS_COL_FILE_NAME));
    case kSize: return Utf8(VlmString(IDS_COL_SIZE));
    case kType: return Utf8(GuiText::kColType);
    case kCreated: return Utf8(VlmString(IDS_COL_CREATED));
    case kModified: return Utf8(VlmString(IDS_COL_MODIFIED));
    case kAttribute: return Utf8(VlmString(IDS_COL_ATTRIBUTE));
    case kCondition: return Utf8(VlmString(IDS_COL_CONDITION));
    case kPath: return Utf8(GuiText::kColPath);
    default: return QVariant();
    }
}

Qt::ItemFlags CFileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid()) return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == kName) f |= Qt::ItemIsUserCheckable;
    return f;
}

bool CFileListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    tagTreeNode* node = NodeAt(index.row());
    if (role != Qt::CheckStateRole || index.column() != kName || !node || !m_pTree) return false;
    m_pTree->SetCheck(node, value.toInt() != Qt::Unchecked);
    emit dataChanged(index, index, {Qt::CheckStateRole});
    emit CheckChanged(node);
    return true;
}

void CFileListModel::sort(int column, Qt::SortOrder order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<uint32_t> positions;
    positions.reserve(size_t(before.size()));
    for (const QModelIndex& i : before) positions.push_back(m_Order[size_t(i.row())]);
    m_SortColumn = column;
    m_SortOrder = order;
    SortRows(column, order);
    if (!before.isEmpty())
    {
        // The new row of every tree position, for the persistent indexes to follow their rows.
        std::vector<uint32_t> rowAt(m_Original.size());
        for (size_t r = 0; r < m_Order.size(); ++r) rowAt[m_Order[r]] = static_cast<uint32_t>(r);
        QModelIndexList after;
        after.reserve(before.size());
        for (int k = 0; k < before.size(); ++k)
            after << index(static_cast<int>(rowAt[positions[size_t(k)]]), before[k].column());
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void CFileListModel::SortRows(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= kColumns || !m_pTree)
    {
        for (size_t r = 0; r < m_Order.size(); ++r) m_Order[r] = static_cast<uint32_t>(r);
        return;
    }
    const std::vector<uint32_t>& ranks = Ranks(column);
    SortByRank(m_Order, ranks, m_RankCount[size_t(column)], order == Qt::DescendingOrder);
}

const std::vector<uint32_t>& CFileListModel::Ranks(int column)
{
    std::vector<uint32_t>& ranks = m_Ranks[size_t(column)];
    // A listed row always has a rank, so a count of 0 means "not yet computed".
    if (m_RankCount[size_t(column)] > 0 || m_Original.empty()) return ranks;
    ranks.assign(m_Original.size(), 0);
    uint32_t count = 0;
    switch (column)
    {
    case kName: count = NameRanks(ranks); break;
    case kType:
    case kAttribute: count = TextRanks(column, ranks); break;
    case kPath: count = PathRanks(ranks); break;
    default: count = ValueRanks(column, ranks); break;
    }
    m_RankCount[size_t(column)] = count;
    return ranks;
}

uint32_t CFileListModel::NameRanks(std::vector<uint32_t>& ranks) const
{
    // The keys are read once, in the tree's order (the order the nodes and names were made
    // in, so mostly sequential in memory), into one contiguous array: the sort then compares
    // values in cache instead of following node, record and name pointers a million times.
    struct Keyed
    {
        uint64_t Key[2];     // the first 16 bytes of the name, folded, big-endian
        const char* pszName; // the whole name, for names that share those 16 bytes
        uint32_t nRow;
    };
    std::vector<Keyed> items(m_Original.size());
    for (size_t r = 0; r < m_Original.size(); ++r)
    {
        Keyed& k = items[r];
        k.pszName = m_pTree->GetName(m_Original[r]);
        k.nRow = static_cast<uint32_t>(r);
        k.Key[0] = k.Key[1] = 0;
        for (size_t b = 0; b < 16 && k.pszName[b]; ++b)
            k.Key[b / 8] |= uint64_t(Fold(k.pszName[b])) << (56 - 8 * (b % 8));
    }
    return RankRows(
        items,
        [](const Keyed& a, const Keyed& b) {
            if (a.Key[0] != b.Key[0]) return a.Key[0] < b.Key[0];
            if (a.Key[1] != b.Key[1]) return a.Key[1] < b.Key[1];
            // Equal folded first 16 bytes: shorter names are equal; longer ones
            // go on from byte 16.
            return (a.Key[1] & 0xff) != 0 && CompareFolded(a.pszName + 16, b.pszName + 16) < 0;
        },
        ranks);
}

uint32_t CFileListModel::TextRanks(int column, std::vector<uint32_t>& ranks) const
{
    // Few distinct texts: each row gets a small class (its extension, or its attribute word),
    // each class its text once, and the rows rank by that text without case.
    std::unordered_map<std::string, uint32_t> classes;
    std::vector<QString> texts; // by class
    std::vector<uint32_t> rowClass(m_Original.size());
    for (size_t r = 0; r < m_Original.size(); ++r)
    {
        const tagTreeNode* n = m_Original[r];
        std::string cls;
        if (column == kAttribute)
            cls = (n->pRecord && (n->pRecord->wValidMask & FN_MASK_ATTRIBUTES))
                ? std::to_string(n->pRecord->wAttributes)
                : "-";
        else if (GuiIcons::IsFolderNode(n))
            cls = "/";
        else
        {
            // The type text comes from the extension without case; ASCII folding is enough
            // here, names of one class always get the same text.
            const char* dot = std::strrchr(m_pTree->GetName(n), '.');
            cls = dot ? dot : "";
            for (char& c : cls) c = static_cast<char>(Fold(c));
        }
        auto it = classes.find(cls);
        if (it == classes.end())
        {
            it = classes.emplace(std::move(cls), static_cast<uint32_t>(texts.size())).first;
            texts.push_back(Text(n, column));
        }
        rowClass[r] = it->second;
    }
    struct Class
    {
        const QString* pText;
        uint32_t nRow; // the class
    };
    std::vector<Class> items(texts.size());
    for (size_t c = 0; c < texts.size(); ++c) items[c] = {&texts[c], static_cast<uint32_t>(c)};
    std::vector<uint32_t> classRank(texts.size());
    const uint32_t count = RankRows(
        items,
        [](const Class& a, const Class& b) { return QString::compare(*a.pText, *b.pText, Qt::CaseInsensitive) < 0; },
        classRank);
    for (size_t r = 0; r < m_Original.size(); ++r) ranks[r] = classRank[rowClass[r]];
    return count;
}

uint32_t CFileListModel::ValueRanks(int column, std::vector<uint32_t>& ranks) const
{
    struct Valued
    {
        uint64_t Key;
        uint32_t nRow;
    };
    std::vector<Valued> items(m_Original.size());
    for (size_t r = 0; r < m_Original.size(); ++r)
    {
        const tagTreeNode* n = m_Original[r];
        uint64_t key = 0;
        switch (column)
        {
        // Offset so that a missing size (-1) sorts first as an unsigned number.
        case kSize: key = static_cast<uint64_t>(SizeKey(n)) + (uint64_t(1) << 63); break;
        case kCreated: key = TimeKey(n, false); break;
        // Folders (no condition) first, then the files by their condition's value.
        case kCondition: key = IsFileRecord(n->pRecord) ? 1u + KnownCondition(n->pRecord->byCondition) : 0; break;
        default: key = TimeKey(n, true); break;
        }
        items[r] = {key, static_cast<uint32_t>(r)};
    }
    return RankRows(
        items, [](const Valued& a, const Valued& b) { return a.Key < b.Key; }, ranks);
}

uint32_t CFileListModel::PathRanks(std::vector<uint32_t>& ranks) const
{
    // Far fewer folders than files: each folder's path is made once, the folders are ranked by
    // it (without case), and every row takes its folder's rank.
    std::unordered_map<const tagTreeNode*, uint32_t> folders;
    std::vector<QString> paths; // by folder
    std::vector<uint32_t> rowFolder(m_Original.size());
    for (size_t r = 0; r < m_Original.size(); ++r)
    {
        const tagTreeNode* parent = m_Original[r]->pParent;
        auto it = folders.find(parent);
        if (it == folders.end())
        {
            it = folders.emplace(parent, static_cast<uint32_t>(paths.size())).first;
            paths.push_back(PathOf(m_Original[r]));
        }
        rowFolder[r] = it->second;
    }
    struct Folder
    {
        const QString* pPath;
        uint32_t nRow; // the folder
    };
    std::vector<Folder> items(paths.size());
    for (size_t f = 0; f < paths.size(); ++f) items[f] = {&paths[f], static_cast<uint32_t>(f)};
    std::vector<uint32_t> folderRank(paths.size());
    const uint32_t count = RankRows(
        items,
        [](const Folder& a, const Folder& b) { return QString::compare(*a.pPath, *b.pPath, Qt::CaseInsensitive) < 0; },
        folderRank);
    for (size_t r = 0; r < m_Original.size(); ++r) ranks[r] = folderRank[rowFolder[r]];
    return count;
}

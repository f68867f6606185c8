#include "CThumbnailModel.h"

#include <QBuffer>
#include <QImageReader>
#include <QTimer>
#include <memory>

#include "CFileListModel.h"
#include "GuiIcons.h"
#include "core/QuickFilter.h"
#include "fs/IFileSystem.h"
#include "fs/KNodeTree.h"

namespace {

constexpr int kStreamOk = 1;
constexpr int kCacheCount = 2000;

QImage Decode(const QByteArray& bytes, int side)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize full = reader.size();
    // Never a picture larger than a thumbnail needs: JPEG decoders scale while decoding.
    if (full.isValid() && (full.width() > side || full.height() > side))
        reader.setScaledSize(full.scaled(side, side, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
    QImage image = reader.read();
    if (!image.isNull() && (image.width() > side || image.height() > side))
        image = image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image;
}

} // namespace

CThumbnailModel::CThumbnailModel(CFileListModel* list, std::function<IFileSystem*()> fs, QObject* parent)
    : QAbstractListModel(parent), m_pList(list), m_Fs(std::move(fs)), m_Cache(kCacheCount)
{
    m_pPump = new QTimer(this);
    m_pPump->setInterval(0);
    connect(m_pPump, &QTimer::timeout, this, &CThumbnailModel::ReadSome);
    connect(list, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(list, &QAbstractItemModel::modelReset, this, [this] {
        Restart();
        endResetModel();
    });
    // The list of all files grows a batch at a time: the thumbnails grow with it.
    connect(list, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex&, int first, int last) { beginInsertRows(QModelIndex(), first, last); });
    connect(list, &QAbstractItemModel::rowsInserted, this, [this] { endInsertRows(); });
    connect(list, &QAbstractItemModel::layoutAboutToBeChanged, this, [this] { beginResetModel(); });
    connect(list, &QAbstractItemModel::layoutChanged, this, [this] {
        // Same folder in another order: the thumbnails stay, the rows are asked for again.
        m_Queued.clear();
        m_Asked.clear();
        ++m_u64Generation;
        m_u64Current = m_u64Generation;
        endResetModel();
    });
    m_Worker = std::thread([this] { Work(); });
}

CThumbnailModel::~CThumbnailModel()
{
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bStop = true;
        m_Jobs.clear();
    }
    m_Wake.notify_all();
    m_Worker.join();
}

bool CThumbnailModel::IsPicture(const char* name) { return CQuickFilter::CategoryOf(name) == EFileCategory::Pictures; }

void CThumbnailModel::Restart()
{
    // Another folder (or another tree): nothing pending is wanted any more, and the cached
    // thumbnails belong to nodes that may be gone.
    ++m_u64Generation;
    m_u64Current = m_u64Generation;
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_Jobs.clear();
    }
    m_Queued.clear();
    m_Asked.clear();
    m_Cache.clear();
    m_Failed.clear();
    m_InFlight = 0;
    m_pPump->stop();
}

int CThumbnailModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : m_pList->rowCount(); }

Qt::ItemFlags CThumbnailModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren : Qt::NoItemFlags;
}

bool CThumbnailModel::HasThumbnail(int row) const
{
    const tagTreeNode* node = m_pList->NodeAt(row);
    return node && m_Cache.contains(node);
}

QVariant CThumbnailModel::data(const QModelIndex& index, int role) const
{
    const tagTreeNode* node = m_pList->NodeAt(index.row());
    if (!node) return QVariant();
    switch (role)
    {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return m_pList->index(index.row(), CFileListModel::kName).data();
    case Qt::DecorationRole:
    {
        if (const QPixmap* thumbnail = m_Cache.object(node)) return *thumbnail;
        const QIcon icon = GuiIcons::NodeIcon(node);
        if (!GuiIcons::IsFolderNode(node) && !m_Failed.count(node) &&
            IsPicture(m_pList->index(index.row(), CFileListModel::kName).data().toString().toUtf8().constData()))
            Request(node, index.row());
        return icon;
    }
    default: return QVariant();
    }
}

void CThumbnailModel::Request(const tagTreeNode* node, int row) const
{
    if (!m_Asked.insert(node).second) return;
    // The newest requests first: they are the ones on screen now.
    m_Queued.emplace_front(node, row);
    if (!m_pPump->isActive()) m_pPump->start();
}

void CThumbnailModel::ReadSome()
{
    IFileSystem* fs = m_Fs ? m_Fs() : nullptr;
    for (int n = 0; n < kReadsPerTurn && !m_Queued.empty(); ++n)
    {
        const auto [node, row] = m_Queued.front();
        m_Queued.pop_front();
        const tagFileNode* record = node->pRecord;
        QByteArray bytes;
        std::unique_ptr<IOutStream> stream(fs && record && (record->wValidMask & FN_MASK_SIZE) && record->s64Size > 0 &&
                                                   record->s64Size <= kMaxBytes
                                               ? fs->OpenStream(record)
                                               : nullptr);
        if (stream)
        {
            bytes.resize(static_cast<qsizetype>(record->s64Size));
            int64_t done = 0;
            if (stream->Read(reinterpret_cast<uint8_t*>(bytes.data()), record->s64Size, &done) != kStreamOk ||
                done <= 0)
                bytes.clear();
            else
                bytes.resize(static_cast<qsizetype>(done));
        }
        if (bytes.isEmpty())
        {
            m_Failed.insert(node);
            continue;
        }
        ++m_InFlight;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Jobs.push_back(tagJob{node, row, m_u64Generation, std::move(bytes)});
        }
        m_Wake.notify_one();
    }
    if (m_Queued.empty()) m_pPump->stop();
}

void CThumbnailModel::Work()
{
    for (;;)
    {
        tagJob job;
        {
            std::unique_lock<std::mutex> lock(m_Mutex);
            m_Wake.wait(lock, [this] { return m_bStop || !m_Jobs.empty(); });
            if (m_bStop) return;
            job = std::move(m_Jobs.front());
            m_Jobs.pop_front();
        }
        if (job.u64Generation != m_u64Current) continue;
        const QImage image = Decode(job.Bytes, kSize);
        QMetaObject::invokeMethod(
            this, [this, job, image] { Deliver(job.pNode, job.nRow, job.u64Generation, image); }, Qt::QueuedConnection);
    }
}

void CThumbnailModel::Deliver(const tagTreeNode* node, int row, uint64_t generation, const QImage& image)
{
    if (generation != m_u64Generation) return;
    if (m_InFlight > 0) --m_InFlight;
    if (image.isNull())
    {
        m_Failed.insert(node);
        return;
    }
    m_Cache.insert(node, new QPixmap(QPixmap::fromImage(image)));
    ++m_nMade;
    if (m_pList->NodeAt(row) == node)
    {
        emit dataChanged(index(row), index(row), {Qt::DecorationRole});
        emit ThumbnailMade(row);
    }
}

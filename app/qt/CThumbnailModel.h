#pragma once
// The thumbnail view of the file list's folder: one item per row of the list, in the list's
// order; pictures show a small copy of themselves, everything else its icon. Only the items the
// view asks for (those on screen) are made: their bytes are read through the file system on the
// GUI thread, a few per turn of the event loop, and decoded and scaled on a worker thread, so a
// folder of a million entries stays responsive. Thumbnails are cached; a new folder cancels
// what was pending for the old one.
#include <atomic>
#include <condition_variable>
#include <functional>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include <QAbstractListModel>
#include <QByteArray>
#include <QCache>
#include <QImage>
#include <QPixmap>

class CFileListModel;
class IFileSystem;
class QTimer;
struct tagTreeNode;

class CThumbnailModel final : public QAbstractListModel
{
    Q_OBJECT
public:
    static constexpr int kSize = 96;               // longest side of a thumbnail
    static constexpr int64_t kMaxBytes = 16 << 20; // larger files keep their icon
    static constexpr int kReadsPerTurn = 4;

    /// Mirrors `list` (its rows, its order, its resets); files are read through `fs()`.
    CThumbnailModel(CFileListModel* list, std::function<IFileSystem*()> fs, QObject* parent = nullptr);
    ~CThumbnailModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// Thumbnails asked for and not made yet (read or decoding).
    int Pending() const { return static_cast<int>(m_Queued.size() + m_InFlight); }
    int Made() const { return m_nMade; }
    /// Entries the view has asked a thumbnail for since the folder was shown.
    int Asked() const { return static_cast<int>(m_Asked.size()); }
    /// True when `row` shows a thumbnail (not an icon).
    bool HasThumbnail(int row) const;
    /// True when the file named `name` is shown as a picture.
    static bool IsPicture(const char* name);

signals:
    void ThumbnailMade(int row);

private:
    struct tagJob
    {
        const tagTreeNode* pNode;
        int nRow;
        uint64_t u64Generation;
        QByteArray Bytes;
    };

    void Restart();
    void Request(const tagTreeNode* node, int row) const;
    void ReadSome();
    void Work();
    void Deliver(const tagTreeNode* node, int row, uint64_t generation, const QImage& image);

    CFileListModel* m_pList;
    std::function<IFileSystem*()> m_Fs;
    QTimer* m_pPump = nullptr;
    mutable std::deque<std::pair<const tagTreeNode*, int>> m_Queued; // asked for, not read yet
    mutable std::unordered_set<const tagTreeNode*> m_Asked;
    QCache<const tagTreeNode*, QPixmap> m_Cache;
    std::unordered_set<const tagTreeNode*> m_Failed;
    uint64_t m_u64Generation = 1;
    int m_InFlight = 0;
    int m_nMade = 0;

    // The worker: decodes the jobs of the current generation, newest folder only.
    std::thread m_Worker;
    std::mutex m_Mutex;
    std::condition_variable m_Wake;
    std::deque<tagJob> m_Jobs;
    std::atomic<uint64_t> m_u64Current{1};
    bool m_bStop = false;
};

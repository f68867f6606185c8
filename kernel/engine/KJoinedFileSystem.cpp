#include "engine/KJoinedFileSystem.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <map>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "base/EngineStrings.h"
#include "base/VlmTrace.h"
#include "engine/KFileSystemMgr.h"
#include "fs/KNodeTree.h"
#include "raw/KRawFileSystem.h"
#include "volume/IVolumeIO.h"

namespace {

// A type folder of the deep scan is named "<description>(<count>)"; the description alone.
std::string_view TypeDescription(std::string_view folderName)
{
    if (folderName.empty() || folderName.back() != ')') return folderName;
    const size_t open = folderName.rfind('(');
    if (open == std::string_view::npos || open + 2 > folderName.size() - 1) return folderName;
    const std::string_view digits = folderName.substr(open + 1, folderName.size() - open - 2);
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return folderName;
    return folderName.substr(0, open);
}

// The deep scan's record of the first sector of a find (kept in the creation-time field).
uint64_t FirstSectorOf(const tagFileNode* record) { return record->ftCreated; }

} // namespace

KJoinedFileSystem::KJoinedFileSystem(IFileSystem* candidate, KRawFileSystem* deepScan)
    : m_pCandidate(candidate), m_pDeepScan(deepScan), m_Folders(FN_EXTRA_IDS)
{}

KJoinedFileSystem::~KJoinedFileSystem() = default;

std::unique_ptr<KJoinedFileSystem> KJoinedFileSystem::ForCandidate(IFileSystem* fs, const KFileSystemMgr& fileSystems)
{
    if (!fs || dynamic_cast<KRawFileSystem*>(fs)) return nullptr;
    for (int i = 0; i < fileSystems.GetCount(); ++i)
    {
        auto* raw = dynamic_cast<KRawFileSystem*>(fileSystems.GetAt(i));
        uint32_t found = 0;
        if (!raw || !raw->GetCandidateCount(&found) || found == 0) continue;
        if (!raw->GetVolume()) raw->SetVolume(fs->GetVolume());
        try
        {
            return std::make_unique<KJoinedFileSystem>(fs, raw);
        }
        catch (const std::bad_alloc&)
        {
            return nullptr;
        }
    }
    return nullptr;
}

void KJoinedFileSystem::SetVolume(IVolumeIO* volume)
{
    m_pCandidate->SetVolume(volume);
    m_pDeepScan->SetVolume(volume);
}

IVolumeIO* KJoinedFileSystem::GetVolume() { return m_pCandidate->GetVolume(); }

void KJoinedFileSystem::SetSectorInfo(uint32_t value, uint32_t bytesPerSector)
{
    m_pCandidate->SetSectorInfo(value, bytesPerSector);
}

uint32_t KJoinedFileSystem::GetSectorInfo(uint32_t* bytesPerSector)
{
    return m_pCandidate->GetSectorInfo(bytesPerSector);
}

int KJoinedFileSystem::GetCandidateCount(uint32_t* count) { return m_pCandidate->GetCandidateCount(count); }

int KJoinedFileSystem::GetCandidate(int index, FileSystemCandidate* out)
{
    return m_pCandidate->GetCandidate(index, out);
}

uint32_t KJoinedFileSystem::SelectCandidate(uint32_t index)
{
    m_pCandidate->SetClient(GetClient());
    const uint32_t code = m_pCandidate->SelectCandidate(index);
    m_pCandidate->SetClient(nullptr);
    return code;
}

IFileSystem* KJoinedFileSystem::Owner(const tagFileNode* record) const
{
    if (m_pDeepScan->Records().Owns(record)) return m_pDeepScan;
    if (m_Folders.Owns(record)) return nullptr;
    return m_pCandidate;
}

uint32_t KJoinedFileSystem::SaveFile(const tagFileNode* record, const std::string& path)
{
    IFileSystem* owner = Owner(record);
    if (!owner) return ERROR_INVALID_PARAMETER;
    owner->SetClient(GetClient());
    owner->ClearUnreadBytes();
    const uint32_t code = owner->SaveFile(record, path);
    AddUnreadBytes(owner->GetUnreadBytes());
    owner->SetClient(nullptr);
    return code;
}

IOutStream* KJoinedFileSystem::OpenStream(const tagFileNode* record)
{
    IFileSystem* owner = Owner(record);
    return owner ? owner->OpenStream(record) : nullptr;
}

bool KJoinedFileSystem::GetDataRuns(const tagFileNode* record, StreamVector* runs)
{
    IFileSystem* owner = Owner(record);
    return owner && owner->GetDataRuns(record, runs);
}

uint32_t KJoinedFileSystem::BuildTree(KNodeTree* tree)
{
    m_dwDuplicates = 0;
    m_dwExtras = 0;
    m_dwOutside = 0;
    m_Folders.Clear();
    m_Extents.Clear();
    m_pCandidate->SetClient(GetClient());
    const uint32_t code = m_pCandidate->BuildTree(tree);
    m_pCandidate->SetClient(nullptr);
    if (code != ERROR_SUCCESS || !tree || !tree->GetRoot()) return code;
    tagDiskGeometry geometry{};
    IVolumeIO* volume = m_pCandidate->GetVolume();
    if (!volume || volume->GetGeometry(&geometry) != ERROR_SUCCESS || geometry.BytesPerSector == 0)
    {
        // Without the sector size the two kinds of record cannot be compared: show the file
        // system alone rather than offer files twice.
        VlmTrace("Deep-scan finds not joined: the volume's sector size is unknown\n");
        return code;
    }
    const uint32_t bps = geometry.BytesPerSector;
    if (!CollectExtents(*tree, bps))
    {
        if (IsCanceled())
        {
            VlmTrace("Deep-scan finds not joined: cancelled\n");
            return ERROR_CANCELLED;
        }
        VlmTrace("Deep-scan finds not joined: out of memory\n");
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    m_Extents.Seal();
    uint64_t first = 0;
    uint64_t end = 0;
    CandidateBytes(bps, &first, &end);
    if (!AddExtraFinds(tree, bps, first, end))
    {
        VlmTrace("Deep-scan finds not joined: out of memory\n");
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    VlmTrace("Deep-scan finds joined: %u inside files of the file system, %u added as extra files, "
             "%u outside its sectors\n",
             m_dwDuplicates, m_dwExtras, m_dwOutside);
    return code;
}

bool KJoinedFileSystem::CollectExtents(const KNodeTree& tree, uint32_t bytesPerSector)
{
    StreamVector runs;
    uint32_t files = 0;
    return tree.ForEachFile([&](const tagTreeNode* node) {
        if (++files % 4096 == 0 && IsCanceled()) return false;
        runs.clear();
        // A file whose runs cannot be told (no data, structures unreadable) claims nothing.
        if (m_pCandidate->GetDataRuns(node->pRecord, &runs)) m_Extents.AddRuns(runs, bytesPerSector);
        return true;
    });
}

void KJoinedFileSystem::CandidateBytes(uint32_t bytesPerSector, uint64_t* first, uint64_t* end)
{
    *first = 0;
    *end = UINT64_MAX;
    uint32_t count = 0;
    if (!m_pCandidate->GetCandidateCount(&count)) return;
    size_t best = 0;
    for (uint32_t i = 0; i < count && i < INT32_MAX; ++i)
    {
        FileSystemCandidate c{};
        if (!m_pCandidate->GetCandidate(static_cast<int>(i), &c) || c.s64FirstSector < 0 || c.s64SectorCount <= 0)
            continue;
        const auto from = static_cast<uint64_t>(c.s64FirstSector);
        const auto sectors = static_cast<uint64_t>(c.s64SectorCount);
        if (from > UINT64_MAX / bytesPerSector || sectors > UINT64_MAX / bytesPerSector - from) continue;
        const uint64_t a = from * bytesPerSector;
        const uint64_t b = (from + sectors) * bytesPerSector;
        const size_t held = m_Extents.CountStartingIn(a, b);
        if (held > best)
        {
            best = held;
            *first = a;
            *end = b;
        }
    }
}

bool KJoinedFileSystem::AddExtraFinds(KNodeTree* tree, uint32_t bytesPerSector, uint64_t first, uint64_t end)
{
    try
    {
        const KRawFileNode& records = m_pDeepScan->Records();
        // The deep scan's type folders by identifier, and the finds outside every extent by type.
        std::map<uint32_t, const tagIdFileNode*> typeFolders;
        std::map<uint32_t, std::vector<tagFileNode*>> extras;
        for (int i = 0; i < records.GetCount(); ++i)
        {
            auto* r = records.Get<tagIdFileNode>(i);
            if (IsFolderRecord(r))
            {
                typeFolders.emplace(r->dwSelfId, r);
                continue;
            }
            if (!IsFileRecord(r) || !(r->byKind & FN_KIND_DEEP)) continue;
            const uint64_t sector = FirstSectorOf(r);
            const uint64_t at = sector <= UINT64_MAX / bytesPerSector ? sector * bytesPerSector : UINT64_MAX;
            if (at < first || at >= end)
                ++m_dwOutside;
            else if (m_Extents.Contains(at))
                ++m_dwDuplicates;
            else
                extras[r->dwParentId].push_back(r);
        }
        if (extras.empty()) return true;

        auto* folder = m_Folders.Add<tagIdFileNode>(EngineString(IDS_EXTRA_FOUND_FILES));
        tagTreeNode* folderNode = folder ? tree->NewNode() : nullptr;
        if (!folderNode) return false;
        folder->wValidMask = FN_MASK_SYSTEM_FOLDER;
        folder->wAttributes = FN_ATTR_FOLDER;
        folder->byKind = FN_KIND_DEEP;
        folderNode->pRecord = folder;
        if (!tree->AddExtraStore(&records) || !tree->AddExtraStore(&m_Folders)) return false;
        // Children are put at the head of their list: the last added is listed first.
        for (auto type = extras.rbegin(); type != extras.rend(); ++type)
        {
            const auto known = typeFolders.find(type->first);
            const std::string_view description = known != typeFolders.end()
                ? TypeDescription(records.GetName(known->second))
                : EngineString(IDS_UNIDENTIFIED);
            char count[16];
            std::snprintf(count, sizeof count, "(%zu)", type->second.size());
            auto* typeFolder = m_Folders.Add<tagIdFileNode>(std::string(description) + count);
            tagTreeNode* typeNode = typeFolder ? tree->NewNode() : nullptr;
            if (!typeNode) return false;
            typeFolder->wValidMask = FN_MASK_LOST_FOLDER;
            typeFolder->wAttributes = FN_ATTR_FOLDER;
            typeFolder->byKind = FN_KIND_DEEP;
            typeNode->pRecord = typeFolder;
            for (auto file = type->second.rbegin(); file != type->second.rend(); ++file)
            {
                tagTreeNode* node = tree->NewNode();
                if (!node) return false;
                node->pRecord = *file;
                KNodeTree::LinkChild(typeNode, node);
                ++m_dwExtras;
            }
            KNodeTree::LinkChild(folderNode, typeNode);
        }
        KNodeTree::LinkChild(tree->GetRoot(), folderNode);
        return true;
    }
    catch (const std::bad_alloc&)
    {
        return false;
    }
}

#include "core/CGlobalParamTable.h"

#include <iterator>

#include "core/VlmStrings.h"
#include "engine/KJoinedFileSystem.h"
#include "fs/IFileSystem.h"
#include "raw/KRawScanMgr.h"
#include "volume/IVolumeIO.h"
#include "volume/VolumeTypes.h"

namespace {

constexpr uint32_t kModuleNames[] = {IDS_MODULE_UNDELETE, IDS_MODULE_ADVANCED, IDS_MODULE_DEEP_SCAN, IDS_MODULE_RESUME};
constexpr uint32_t kModuleDescriptions[] = {IDS_DESC_UNDELETE, IDS_DESC_ADVANCED, IDS_DESC_DEEP_SCAN, IDS_DESC_RESUME};

} // namespace

CGlobalParamTable::CGlobalParamTable(IUserPort* port, IMonotonicClock* clock)
    : m_pPort(port), m_pClock(clock ? clock : KSteadyClock::Instance()),
      m_pFileSystems(std::make_unique<KFileSystemMgr>()), m_pFileTree(std::make_unique<KNodeTree>()),
      m_pFilteredTree(std::make_unique<KNodeTree>()), m_pCurrentTree(m_pFileTree.get())
{}

CGlobalParamTable::~CGlobalParamTable()
{
    // Trees point into the file systems' record stores: forget them first.
    ClearTrees();
    m_pJoined.reset();
    m_pFileSystems.reset();
}

IFileSystem* CGlobalParamTable::GetCurrentFileSystem() const
{
    if (m_pJoined && m_pJoined->Candidate() == m_pCurrentFs) return m_pJoined.get();
    return m_pCurrentFs;
}

IFileSystem* CGlobalParamTable::JoinDeepScan(IFileSystem* fs)
{
    m_pJoined = KJoinedFileSystem::ForCandidate(fs, *m_pFileSystems);
    return m_pJoined ? m_pJoined.get() : fs;
}

const char* CGlobalParamTable::ModuleName(EModule module)
{
    const auto n = static_cast<size_t>(module);
    return n < std::size(kModuleNames) ? VlmString(kModuleNames[n]) : "";
}

const char* CGlobalParamTable::ModuleDescription(EModule module)
{
    const auto n = static_cast<size_t>(module);
    return n < std::size(kModuleDescriptions) ? VlmString(kModuleDescriptions[n]) : "";
}

KRawScanMgr& CGlobalParamTable::RawTypes()
{
    if (!m_pRawTypes) m_pRawTypes = std::make_unique<KRawScanMgr>();
    return *m_pRawTypes;
}

IVolumeIO* CGlobalParamTable::GetSelectedVolume()
{
    if (m_nSelectedVolume < 0 || static_cast<size_t>(m_nSelectedVolume) >= m_VolumeManager.GetVolumeCount())
        return nullptr;
    return m_VolumeManager.GetVolumeIO(static_cast<size_t>(m_nSelectedVolume));
}

void CGlobalParamTable::ClearTrees()
{
    TreesChanging();
    m_pFileTree->Clear();
    m_pFilteredTree->Clear();
    m_pCurrentTree = m_pFileTree.get();
}

void CGlobalParamTable::DropFileSystems()
{
    ClearTrees();
    m_pCurrentFs = nullptr;
    m_pJoined.reset();
    m_pFileSystems->DeleteAll();
    m_UnreadableSectors.Clear();
    m_strResultName.clear();
    m_bPartialResult = false;
}

void CGlobalParamTable::SetView(EView view)
{
    m_View = view;
    m_pPort->ShowView(view);
}

void CGlobalParamTable::AdoptResult(std::unique_ptr<KFileSystemMgr> fileSystems, IFileSystem* current,
                                    std::unique_ptr<KJoinedFileSystem> joined, std::unique_ptr<KNodeTree> tree,
                                    int volume, EModule module)
{
    TreesChanging();
    m_pFilteredTree->Clear();
    m_pFileTree = std::move(tree);
    m_pCurrentTree = m_pFileTree.get();
    m_pJoined = std::move(joined);
    m_pFileSystems.swap(fileSystems);
    fileSystems.reset();
    m_pCurrentFs = current;
    m_nSelectedVolume = volume;
    m_Module = module;
}

std::string CGlobalParamTable::SelectedDeviceName()
{
    IVolumeIO* volume = GetSelectedVolume();
    if (!volume) return {};
    const tagVolumeInfo& record = m_VolumeManager.GetVolumeInfo(static_cast<size_t>(m_nSelectedVolume));
    std::string text;
    if (record.VolumeType == VOLUME_PHYSICAL || record.Extents.empty())
    {
        volume->GetDescription(&text);
        return text;
    }
    const tagVolumeExtent& first = record.Extents.front();
    for (size_t i = 0; i < m_VolumeManager.GetVolumeCount(); ++i)
    {
        const tagVolumeInfo& other = m_VolumeManager.GetVolumeInfo(i);
        if (other.VolumeType == VOLUME_PHYSICAL && !other.Extents.empty() &&
            other.Extents.front().DeviceKind == first.DeviceKind &&
            other.Extents.front().DeviceNumber == first.DeviceNumber && other.VolumeIO)
        {
            other.VolumeIO->GetDescription(&text);
            return text;
        }
    }
    return text;
}

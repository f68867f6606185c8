#include "core/CGlobalParamTable.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <vector>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "core/CRecoveryLauncher.h"
#include "core/CResumeList.h"
#include "core/CScanResultFile.h"
#include "core/SourceGuard.h"
#include "core/TextFormat.h"
#include "engine/KJoinedFileSystem.h"
#include "fs/IFileSystem.h"
#include "os/OsFile.h"
#include "raw/KRawScanMgr.h"
#include "core/VlmStrings.h"
#include "storage/KStorageManager.h"
#include "volume/IVolumeIO.h"
#include "volume/VolumeTypes.h"

namespace {

const char* const kResumeEnv = "VLM_RESUME_DIR";
// Temporary names tried beside a result being saved before the save gives up.
constexpr uint32_t kMaxTemporaryNames = 100;

constexpr uint32_t kModuleNames[] = {IDS_MODULE_UNDELETE, IDS_MODULE_ADVANCED, IDS_MODULE_DEEP_SCAN, IDS_MODULE_RESUME};
constexpr uint32_t kModuleDescriptions[] = {IDS_DESC_UNDELETE, IDS_DESC_ADVANCED, IDS_DESC_DEEP_SCAN, IDS_DESC_RESUME};

// A file-name part from a device or volume text: no '/', no control characters, no leading
// dot, at most kMaxPart bytes cut at a character boundary.
std::string ResultNamePart(const std::string& text)
{
    constexpr size_t kMaxPart = 64;
    std::string out;
    for (unsigned char c : text)
        out += (c < 0x20 || c == 0x7F || c == '/' || (out.empty() && c == '.')) ? '_' : static_cast<char>(c);
    if (out.size() > kMaxPart)
    {
        size_t cut = kMaxPart;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    return out;
}

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

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

const char* CGlobalParamTable::ModuleName(int module)
{
    return module >= 0 && module < 4 ? VlmString(kModuleNames[module]) : "";
}

const char* CGlobalParamTable::ModuleDescription(int module)
{
    return module >= 0 && module < 4 ? VlmString(kModuleDescriptions[module]) : "";
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

void CGlobalParamTable::SetView(int view)
{
    m_nView = view;
    m_pPort->ShowView(view);
    if ((view == kViewPartitions || view == kViewFiles) && !IsLoading()) AutoSaveScanResult();
}

std::string CGlobalParamTable::ProgramFolder()
{
    std::string folder = OsProgramFolder();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string CGlobalParamTable::ResumeFolder()
{
    const std::string overridden = Env(kResumeEnv);
    if (!overridden.empty()) return overridden;
    // The base-directory convention: a relative XDG_DATA_HOME is invalid and ignored.
    std::string base = Env("XDG_DATA_HOME");
    if (base.empty() || base.front() != '/')
    {
        const std::string home = Env("HOME");
        if (home.empty()) return ProgramFolder() + "/ResumeRecovery";
        base = home + "/.local/share";
    }
    return base + "/vellumar/ResumeRecovery";
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

std::string CGlobalParamTable::NewResultPath(bool partial)
{
    IVolumeIO* volume = GetSelectedVolume();
    std::string stem = ModuleName(m_nModule);
    if (volume)
    {
        const tagVolumeInfo& record = m_VolumeManager.GetVolumeInfo(static_cast<size_t>(m_nSelectedVolume));
        const std::string device = SelectedDeviceName();
        if (!device.empty()) stem += " - " + ResultNamePart(device);
        if (record.VolumeType != VOLUME_PHYSICAL)
            stem += " - " + ResultNamePart(CScanResultFile::DescribeVolume(record, volume));
    }
    const tagSaveTime t = CScanResultFile::LocalNow();
    stem += FormatText(" - %04u-%02u-%02u %02u-%02u-%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    if (partial) stem += " (partial)";
    const std::string folder = ResumeFolder();
    std::string path = folder + "/" + stem + ".rrs";
    for (int n = 2; n < 1000 && OsPathExists(path); ++n)
        path = folder + "/" + stem + " (" + std::to_string(n) + ").rrs";
    return path;
}

void CGlobalParamTable::BeginNewResult(bool partial)
{
    m_bPartialResult = partial;
    m_strResultName = NewResultPath(partial);
}

int CGlobalParamTable::SaveScanResult(const std::string& path, bool automatic)
{
    IVolumeIO* volume = GetSelectedVolume();
    if (!volume || m_pFileSystems->GetCount() == 0 || path.empty()) return 0;
    // A result is never written onto what is being recovered (the trace names the source).
    if (!CSourceGuard::SourceUnder(*this, path).empty()) return 0;
    // Written beside the target under a name of its own and renamed over it once complete and
    // on the disk, so that a failed save (full disk, removed drive) never destroys the previous
    // good result, and two programs saving to one name each rename a whole file. The temporary
    // file is always created new: whatever sits at its name (a planted symbolic link) is
    // never followed or written.
    std::string temporary;
    bool ok = false;
    try
    {
        const tagScanResultHeader header =
            CScanResultFile::MakeHeader(m_VolumeManager.GetVolumeInfo(static_cast<size_t>(m_nSelectedVolume)), volume,
                                        static_cast<uint32_t>(m_nModule));
        KStorageManager out;
        uint32_t error = ERROR_FILE_EXISTS;
        for (uint32_t n = 0; n < kMaxTemporaryNames && error == ERROR_FILE_EXISTS; ++n)
        {
            temporary = FormatText("%s.%u-%u.tmp", path.c_str(), OsProcessId(), n);
            out.OpenNew(temporary, &error);
        }
        if (error != ERROR_SUCCESS)
        {
            VlmTrace("Cannot create the scan result '%s': error %u\n", temporary.c_str(), error);
            return 0;
        }
        tagScanResultStatus status;
        status.dwFlags =
            (m_bPartialResult ? tagScanResultStatus::kPartial : 0) | (automatic ? tagScanResultStatus::kAutomatic : 0);
        status.strDevice = SelectedDeviceName();
        ok = CScanResultFile::WriteHeader(&out, header) &&
            CScanResultFile::WriteFileSystems(&out, static_cast<uint32_t>(m_nView), *m_pFileSystems, m_pCurrentFs) &&
            CScanResultFile::WriteStatus(&out, status);
        ok = out.Close() && ok;
    }
    catch (const std::bad_alloc&)
    {
        ok = false;
    }
    if (ok && OsRename(temporary, path) == 0) return 1;
    VlmTrace("Failed to write the scan result '%s'\n", path.c_str());
    OsDeleteFile(temporary);
    return 0;
}

int CGlobalParamTable::LoadScanResult(const std::string& path)
{
    // The session is replaced only by a complete, matching result; on failure nothing of it
    // changes, the result name included, so later automatic saves still go where they did.
    const std::string previousName = m_strResultName;
    const bool previousPartial = m_bPartialResult;
    m_nLoading = 1;
    int result = 0;
    try
    {
        result = LoadInto(path);
    }
    catch (const std::bad_alloc&)
    {
        result = 0;
    }
    m_nLoading = 0;
    if (!result)
    {
        m_strResultName = previousName;
        m_bPartialResult = previousPartial;
    }
    return result;
}

int CGlobalParamTable::LoadInto(const std::string& path)
{
    KStorageManager in;
    if (!in.Open(path, false)) return 0;
    tagScanResultHeader header;
    if (!CScanResultFile::ReadHeader(&in, &header)) return 0;
    int match = -1;
    for (size_t i = 0; i < m_VolumeManager.GetVolumeCount(); ++i)
    {
        if (!CScanResultFile::MatchesVolume(header, m_VolumeManager.GetVolumeInfo(i))) continue;
        if (match >= 0)
        {
            VlmTrace("The scan result '%s' matches more than one volume\n", path.c_str());
            return 0;
        }
        match = static_cast<int>(i);
    }
    IVolumeIO* volume = match >= 0 ? m_VolumeManager.GetVolumeIO(static_cast<size_t>(match)) : nullptr;
    if (!volume) return 0;

    auto fileSystems = std::make_unique<KFileSystemMgr>();
    IFileSystem* current = nullptr;
    uint32_t view = 0;
    if (!CScanResultFile::ReadFileSystems(&in, volume, fileSystems.get(), &current, &view)) return 0;
    if (view != kViewPartitions && view != kViewFiles) return 0;
    auto tree = std::make_unique<KNodeTree>();
    std::unique_ptr<KJoinedFileSystem> joined;
    if (view == kViewFiles)
    {
        if (!current) return 0;
        current->SetStage(2);
        joined = KJoinedFileSystem::ForCandidate(current, *fileSystems);
        CRecoveryLauncher::RunBuildPhase(*this, joined ? joined.get() : current, tree.get());
    }
    in.Close();

    // Commit: the old trees go before the file systems whose records they point at.
    TreesChanging();
    m_pFilteredTree->Clear();
    m_pFileTree = std::move(tree);
    m_pCurrentTree = m_pFileTree.get();
    m_pJoined = std::move(joined);
    m_pFileSystems.swap(fileSystems);
    fileSystems.reset();
    m_pCurrentFs = current;
    m_nSelectedVolume = match;
    m_nModule = static_cast<int32_t>(header.dwModule);
    // A loaded result is only read: it is not written again by the views it is shown in.
    m_strResultName.clear();
    m_bPartialResult = CScanResultFile::ReadStatus(path).IsPartial();
    SetView(static_cast<int>(view));
    return 1;
}

int CGlobalParamTable::ReadScanResultHeader(const std::string& path, std::string* description, tagSaveTime* time,
                                            uint32_t* module, uint32_t* volumeType)
{
    try
    {
        KStorageManager in;
        if (!in.Open(path, false)) return 0;
        tagScanResultHeader header;
        if (!CScanResultFile::ReadHeader(&in, &header)) return 0;
        if (description) *description = header.strDescription;
        if (time) *time = header.Time;
        if (module) *module = header.dwModule;
        if (volumeType) *volumeType = header.Identity.dwVolumeType;
        return 1;
    }
    catch (const std::bad_alloc&)
    {
        return 0;
    }
}

int CGlobalParamTable::AutoSaveScanResult()
{
    if (IsLoading() || m_strResultName.empty() || !GetSelectedVolume() || m_pFileSystems->GetCount() == 0 ||
        (m_nView != kViewPartitions && m_nView != kViewFiles))
        return 0;
    const std::string folder = ResumeFolder();
    if (OsCreateFolders(folder) != 0)
    {
        VlmTrace("Cannot create the folder '%s'\n", folder.c_str());
        return 0;
    }
    const std::string& path = m_strResultName;
    if (const std::string source = CSourceGuard::SourceUnder(*this, path); !source.empty())
    {
        // Said once per result: every change of view tries again.
        if (m_strRefusedAutoSave != path) m_pPort->ShowError(CSourceGuard::RefusalText(path, source));
        m_strRefusedAutoSave = path;
        return 0;
    }
    if (!SaveScanResult(path, true))
    {
        // The scan is still shown and can be saved elsewhere: the user is told once.
        if (m_strRefusedAutoSave != path)
            m_pPort->ShowError(FormatText(VlmString(IDS_SAVE_RESULT_FAILED), path.c_str()));
        m_strRefusedAutoSave = path;
        return 0;
    }
    PruneAutomaticResults(folder);
    return 1;
}

void CGlobalParamTable::PruneAutomaticResults(const std::string& folder)
{
    struct Kept
    {
        int64_t key;
        std::string path;
    };
    std::vector<Kept> automatic;
    for (const std::string& path : CResumeList::ResultFiles(folder))
    {
        tagSaveTime time{};
        if (path == m_strResultName || !ReadScanResultHeader(path, nullptr, &time, nullptr, nullptr) ||
            !CScanResultFile::ReadStatus(path).IsAutomatic())
            continue;
        automatic.push_back({CScanResultFile::TimeKey(time), path});
    }
    // The current result is one of the kept ones.
    if (automatic.size() < kKeptAutomaticResults) return;
    std::sort(automatic.begin(), automatic.end(), [](const Kept& a, const Kept& b) { return a.key > b.key; });
    for (size_t i = kKeptAutomaticResults - 1; i < automatic.size(); ++i)
    {
        VlmTrace("Deleting the old automatic scan result '%s'\n", automatic[i].path.c_str());
        OsDeleteFile(automatic[i].path);
    }
}

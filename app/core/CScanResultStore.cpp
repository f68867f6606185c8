#include "core/CScanResultStore.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "core/CGlobalParamTable.h"
#include "core/CRecoveryLauncher.h"
#include "core/CResumeList.h"
#include "core/CScanResultFile.h"
#include "core/SourceGuard.h"
#include "core/TextFormat.h"
#include "core/VlmStrings.h"
#include "engine/KJoinedFileSystem.h"
#include "fs/IFileSystem.h"
#include "os/OsFile.h"
#include "storage/KStorageManager.h"
#include "volume/IVolumeIO.h"
#include "volume/VolumeTypes.h"

namespace {

const char* const kResumeEnv = "VLM_RESUME_DIR";
// Temporary names tried beside a result being saved before the save gives up.
constexpr uint32_t kMaxTemporaryNames = 100;

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

std::string CScanResultStore::ProgramFolder()
{
    std::string folder = OsProgramFolder();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string CScanResultStore::ResumeFolder()
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

std::string CScanResultStore::NewResultPath(bool partial)
{
    CGlobalParamTable& session = m_Session;
    IVolumeIO* volume = session.GetSelectedVolume();
    std::string stem = CGlobalParamTable::ModuleName(session.GetModule());
    if (volume)
    {
        const tagVolumeInfo& record =
            session.VolumeManager().GetVolumeInfo(static_cast<size_t>(session.GetSelectedVolumeIndex()));
        const std::string device = session.SelectedDeviceName();
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

void CScanResultStore::BeginNewResult(bool partial)
{
    m_Session.SetPartialResult(partial);
    m_Session.SetResultName(NewResultPath(partial));
}

bool CScanResultStore::Exists(const std::string& path) { return OsPathExists(path); }

std::string CScanResultStore::PartialResultPath(const std::string& path)
{
    std::string stem = path;
    if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".rrs") == 0) stem.resize(stem.size() - 4);
    for (int n = 1; n < 100; ++n)
    {
        const std::string candidate =
            stem + (n == 1 ? std::string(" (partial)") : " (partial " + std::to_string(n) + ")") + ".rrs";
        if (!OsPathExists(candidate)) return candidate;
    }
    return {};
}

int CScanResultStore::Save(const std::string& path, bool automatic)
{
    CGlobalParamTable& session = m_Session;
    IVolumeIO* volume = session.GetSelectedVolume();
    if (!volume || session.FileSystemMgr().GetCount() == 0 || path.empty()) return 0;
    // A result is never written onto what is being recovered (the trace names the source).
    if (!CSourceGuard::SourceUnder(session, path).empty()) return 0;
    // Written beside the target under a name of its own and renamed over it once complete and
    // on the disk, so that a failed save (full disk, removed drive) never destroys the previous
    // good result, and two programs saving to one name each rename a whole file. The temporary
    // file is always created new: whatever sits at its name (a planted symbolic link) is
    // never followed or written.
    std::string temporary;
    bool ok = false;
    try
    {
        const tagScanResultHeader header = CScanResultFile::MakeHeader(
            session.VolumeManager().GetVolumeInfo(static_cast<size_t>(session.GetSelectedVolumeIndex())), volume,
            static_cast<uint32_t>(session.GetModule()));
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
        status.dwFlags = (session.IsPartialResult() ? tagScanResultStatus::kPartial : 0) |
            (automatic ? tagScanResultStatus::kAutomatic : 0);
        status.strDevice = session.SelectedDeviceName();
        ok = CScanResultFile::WriteHeader(&out, header) &&
            CScanResultFile::WriteFileSystems(&out, static_cast<uint32_t>(session.GetView()), session.FileSystemMgr(),
                                              session.GetCurrentBaseFileSystem()) &&
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

int CScanResultStore::Load(const std::string& path)
{
    // The session is replaced only by a complete, matching result: on failure nothing of it
    // changes, the result name included, so later automatic saves still go where they did.
    const std::string previousName = m_Session.GetResultName();
    const bool previousPartial = m_Session.IsPartialResult();
    int result = 0;
    try
    {
        result = LoadInto(path);
    }
    catch (const std::bad_alloc&)
    {
        result = 0;
    }
    if (!result)
    {
        m_Session.SetResultName(previousName);
        m_Session.SetPartialResult(previousPartial);
    }
    return result;
}

int CScanResultStore::LoadInto(const std::string& path)
{
    CGlobalParamTable& session = m_Session;
    KVolumeManager& volumes = session.VolumeManager();
    KStorageManager in;
    if (!in.Open(path, false)) return 0;
    tagScanResultHeader header;
    if (!CScanResultFile::ReadHeader(&in, &header)) return 0;
    int match = -1;
    for (size_t i = 0; i < volumes.GetVolumeCount(); ++i)
    {
        if (!CScanResultFile::MatchesVolume(header, volumes.GetVolumeInfo(i))) continue;
        if (match >= 0)
        {
            VlmTrace("The scan result '%s' matches more than one volume\n", path.c_str());
            return 0;
        }
        match = static_cast<int>(i);
    }
    IVolumeIO* volume = match >= 0 ? volumes.GetVolumeIO(static_cast<size_t>(match)) : nullptr;
    if (!volume) return 0;

    auto fileSystems = std::make_unique<KFileSystemMgr>();
    IFileSystem* current = nullptr;
    uint32_t view = 0;
    if (!CScanResultFile::ReadFileSystems(&in, volume, fileSystems.get(), &current, &view)) return 0;
    // The view is stored as its number; a result is shown on the partition list or the file list.
    const auto storedView = static_cast<EView>(view);
    if (storedView != EView::Partitions && storedView != EView::Files) return 0;
    auto tree = std::make_unique<KNodeTree>();
    std::unique_ptr<KJoinedFileSystem> joined;
    if (storedView == EView::Files)
    {
        if (!current) return 0;
        current->SetStage(EStage::ReadFileSystem);
        joined = KJoinedFileSystem::ForCandidate(current, *fileSystems);
        CRecoveryLauncher::RunBuildPhase(session, joined ? joined.get() : current, tree.get());
    }
    in.Close();

    session.AdoptResult(std::move(fileSystems), current, std::move(joined), std::move(tree), match,
                        static_cast<EModule>(header.dwModule)); // below kModuleCount, checked by ReadHeader
    // A loaded result is only read: it is not written again by the views it is shown in.
    session.SetResultName("");
    session.SetPartialResult(CScanResultFile::ReadStatus(path).IsPartial());
    session.SetView(storedView);
    return 1;
}

int CScanResultStore::ReadHeader(const std::string& path, std::string* description, tagSaveTime* time, uint32_t* module,
                                 uint32_t* volumeType)
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

int CScanResultStore::AutoSave()
{
    CGlobalParamTable& session = m_Session;
    const EView view = session.GetView();
    if (session.GetResultName().empty() || !session.GetSelectedVolume() || session.FileSystemMgr().GetCount() == 0 ||
        (view != EView::Partitions && view != EView::Files))
        return 0;
    const std::string folder = ResumeFolder();
    if (OsCreateFolders(folder) != 0)
    {
        VlmTrace("Cannot create the folder '%s'\n", folder.c_str());
        return 0;
    }
    const std::string path = session.GetResultName();
    if (const std::string source = CSourceGuard::SourceUnder(session, path); !source.empty())
    {
        // Said once per result: every change of view tries again.
        if (session.GetRefusedResultName() != path) session.Port().ShowError(CSourceGuard::RefusalText(path, source));
        session.SetRefusedResultName(path);
        return 0;
    }
    if (!Save(path, true))
    {
        // The scan is still shown and can be saved elsewhere: the user is told once.
        if (session.GetRefusedResultName() != path)
            session.Port().ShowError(FormatText(VlmString(IDS_SAVE_RESULT_FAILED), path.c_str()));
        session.SetRefusedResultName(path);
        return 0;
    }
    PruneAutomaticResults(folder);
    return 1;
}

void CScanResultStore::PruneAutomaticResults(const std::string& folder)
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
        if (path == m_Session.GetResultName() || !ReadHeader(path, nullptr, &time, nullptr, nullptr) ||
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

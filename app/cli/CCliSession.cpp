#include "CCliSession.h"

#include <cstdlib>

#include "base/VlmErrors.h"
#include "core/CPartitionList.h"
#include "core/CResumeList.h"
#include "core/CScanResultStore.h"
#include "core/DeviceAccess.h"
#include "core/FileListText.h"
#include "core/VlmStrings.h"
#include "volume/KVolumeManager.h"

namespace {

EForcedAnswer Forced(const tagCliOptions& options)
{
    if (options.bYes) return EForcedAnswer::Yes;
    if (options.bNo) return EForcedAnswer::No;
    return EForcedAnswer::None;
}

bool ParseUnsigned(const std::string& text, uint64_t* value)
{
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

// "YYYY-MM-DD" as the file time of that day's midnight.
bool ParseDate(const std::string& text, uint64_t* fileTime)
{
    int y = 0;
    int m = 0;
    int d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d%c", &y, &m, &d, &tail) != 3) return false;
    tagCalendarTime t;
    t.nYear = y;
    t.nMonth = m;
    t.nDay = d;
    return CalendarToFileTime(t, fileTime);
}

bool SplitRange(const std::string& text, const std::string& separator, std::string* from, std::string* to)
{
    const size_t at = text.find(separator);
    if (at == std::string::npos) return false;
    *from = text.substr(0, at);
    *to = text.substr(at + separator.size());
    return true;
}

} // namespace

CCliSession::CCliSession(const tagCliOptions& options) : m_Options(options), m_Port(Forced(options), options.bVerbose)
{
    m_Port.SetInformationToError(options.bJson);
    m_pSession = std::make_unique<CGlobalParamTable>(&m_Port);
    m_pLauncher = std::make_unique<CRecoveryLauncher>(*m_pSession);
}

CCliSession::~CCliSession()
{
    m_pLauncher.reset();
    m_pSession.reset();
    // The volume objects hold devices: release them before the device list goes.
    KVolumeManager().ClearVolumes();
}

bool CCliSession::CheckImage(const std::string& path)
{
    std::string error;
    if (DeviceAccess::CheckImage(path, &error)) return true;
    m_Port.PrintError(error);
    return false;
}

bool CCliSession::CheckMap(const std::string& mapPath, const std::string& imagePath)
{
    std::string error, warning;
    if (!DeviceAccess::CheckMap(mapPath, imagePath, &error, &warning))
    {
        m_Port.PrintError(error);
        return false;
    }
    if (!warning.empty()) m_Port.PrintError("warning: " + warning);
    return true;
}

bool CCliSession::Discover()
{
    if (m_Options.Maps.size() > m_Options.Images.size())
    {
        m_Port.PrintError("more --map files than --image files (the n-th map belongs to the n-th image)");
        return false;
    }
    for (size_t i = 0; i < m_Options.Images.size(); ++i)
    {
        if (!CheckImage(m_Options.Images[i])) return false;
        if (i < m_Options.Maps.size() && !CheckMap(m_Options.Maps[i], m_Options.Images[i])) return false;
    }
    for (const std::string& floppy : m_Options.Floppies)
    {
        if (!CheckImage(floppy)) return false;
    }
    for (size_t i = 0; i < m_Options.Images.size(); ++i)
        DeviceAccess::AddImage(m_Options.Images[i], i < m_Options.Maps.size() ? m_Options.Maps[i] : std::string(),
                               m_Options.nSectorSize);
    for (const std::string& floppy : m_Options.Floppies) DeviceAccess::AddFloppyImage(floppy);
    DeviceAccess::SetMachineDisks(!m_Options.bNoMachineDevices);
    if (m_Options.bAdmin) DeviceAccess::AskForDiskRightsWhenNeeded();
    m_pLauncher->RefreshDevices();
    return m_pSession->VolumeManager().GetVolumeCount() > 0;
}

int CCliSession::ParseVolume(const std::string& text)
{
    uint64_t number = 0;
    if (!ParseUnsigned(text, &number) || number >= m_pSession->VolumeManager().GetVolumeCount())
    {
        m_Port.PrintError("no volume numbered '" + text + "' (see vlm devices)");
        return -1;
    }
    return static_cast<int>(number);
}

bool CCliSession::SourceIsResult() const
{
    const std::string& source = m_Options.strSource;
    return source.find_first_not_of("0123456789") != std::string::npos;
}

int CCliSession::LoadSource(EModule module, bool requireTree)
{
    if (!Discover())
    {
        m_Port.FlushMessages(true);
        return kExitFailure;
    }
    if (SourceIsResult())
    {
        if (!CScanResultStore::Exists(m_Options.strSource))
        {
            if (module == EModule::Undelete)
                m_Port.PrintError("VOLUME must be a number (see vlm devices), not '" + m_Options.strSource + "'");
            else
                m_Port.PrintError("'" + m_Options.strSource +
                                  "' is neither a volume number (see vlm devices) nor a saved scan result");
            return kExitUsage;
        }
        CResumeList history(*m_pSession);
        if (!history.LoadFile(m_Options.strSource))
        {
            m_Port.FlushMessages(true);
            return kExitFailure;
        }
    }
    else
    {
        const int volume = ParseVolume(m_Options.strSource);
        if (volume < 0) return kExitUsage;
        m_pSession->SetModule(module);
        const bool undelete = module == EModule::Undelete;
        if (!m_pLauncher->CheckDevice(volume) || !m_pLauncher->StartRecovery(undelete, false, false, !undelete))
        {
            m_Port.FlushMessages(true);
            return kExitFailure;
        }
    }
    if (m_pSession->GetView() != EView::Partitions && m_Options.nCandidate == 0) return kExitOk;
    CPartitionList partitions(*m_pSession);
    partitions.Fill();
    // A partition list of one entry (a deep scan's files) needs no choosing.
    int row = m_Options.nCandidate - 1;
    if (row < 0 && partitions.Entries().size() == 1) row = 0;
    if (row < 0 && !requireTree) return kExitOk;
    if (!partitions.ShowFiles(row))
    {
        m_Port.FlushMessages(true);
        return kExitFailure;
    }
    return kExitOk;
}

bool CCliSession::ParseFilter(tagFilterSettings* settings)
{
    const tagCliOptions& o = m_Options;
    if (o.bDeleted) settings->bShowNormal = false;
    if (o.bPresent) settings->bShowDeleted = false;
    if (!o.strNames.empty())
    {
        settings->bByName = true;
        settings->strNames = o.strNames;
    }
    if (!o.strSize.empty())
    {
        std::string from;
        std::string to;
        settings->bBySize = true;
        if (!SplitRange(o.strSize, "-", &from, &to) || !ParseUnsigned(from, &settings->u64FromKB) ||
            !ParseUnsigned(to, &settings->u64ToKB))
            return false;
    }
    if (!o.strCreated.empty() || !o.strModified.empty())
    {
        settings->bByDate = true;
        settings->bModified = o.strCreated.empty();
        std::string from;
        std::string to;
        if (!SplitRange(settings->bModified ? o.strModified : o.strCreated, "..", &from, &to) ||
            !ParseDate(from, &settings->ftFrom) || !ParseDate(to, &settings->ftTo))
            return false;
    }
    return true;
}

bool CCliSession::ApplyFilter()
{
    const EModule module = m_pSession->GetModule();
    tagFilterSettings settings = CFileFilter::ActivationSettings(module);
    CFileFilter::ApplyRestriction(*m_pSession, settings);
    if (!ParseFilter(&settings))
    {
        m_Port.PrintError(VlmString(IDS_FILTER_BAD_PARAMETER));
        return false;
    }
    CFileFilter::Normalize(&settings, module);
    CFileFilter::Apply(*m_pSession, settings);
    return true;
}

int CCliSession::Finish(int status)
{
    if (CTerminalPort::Interrupted()) return kExitInterrupted;
    return status;
}

std::string CCliSession::SourceDevicePath()
{
    const int index = m_pSession->GetSelectedVolumeIndex();
    if (index < 0 || static_cast<size_t>(index) >= m_pSession->VolumeManager().GetVolumeCount()) return {};
    const tagVolumeInfo& record = m_pSession->VolumeManager().GetVolumeInfo(static_cast<size_t>(index));
    if (record.Extents.empty()) return {};
    return DeviceAccess::DevicePath(record.Extents.front().DeviceKind, record.Extents.front().DeviceNumber);
}

#include "CCommands.h"

#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

#include "CCliSession.h"
#include "CJsonListing.h"
#include "CTreeWalk.h"
#include "TerminalText.h"
#include "base/VlmErrors.h"
#include "core/CFileTypeTree.h"
#include "core/CPartitionList.h"
#include "core/CResumeList.h"
#include "core/CScanResultStore.h"
#include "core/DeviceList.h"
#include "core/ExportListing.h"
#include "core/FileFind.h"
#include "core/FileListText.h"
#include "core/SaveWalker.h"
#include "core/SourceGuard.h"
#include "core/TextFormat.h"
#include "fs/KNodeTree.h"
#include "core/VlmStrings.h"

using nlohmann::json;

namespace {

EModule ModuleFromName(const std::string& name)
{
    if (name == "undelete") return EModule::Undelete;
    if (name == "deep") return EModule::DeepScan;
    return EModule::Advanced;
}

// Columns padded to their widest cell, two blanks apart.
void PrintTable(const std::vector<std::string>& headers, const std::vector<std::vector<std::string>>& rawRows)
{
    std::vector<std::vector<std::string>> rows = rawRows;
    for (auto& row : rows)
        for (std::string& cell : row) cell = TerminalSafe(cell);
    std::vector<size_t> width(headers.size(), 0);
    for (size_t c = 0; c < headers.size(); ++c) width[c] = headers[c].size();
    for (const auto& row : rows)
    {
        for (size_t c = 0; c < row.size() && c < width.size(); ++c) width[c] = std::max(width[c], row[c].size());
    }
    auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (size_t c = 0; c < cells.size(); ++c)
        {
            text += cells[c];
            if (c + 1 < cells.size()) text += std::string(width[c] - cells[c].size() + 2, ' ');
        }
        std::printf("%s\n", text.c_str());
    };
    line(headers);
    for (const auto& row : rows) line(row);
}

void PrintStatus(CGlobalParamTable& session)
{
    uint64_t bytes = 0;
    uint32_t count = 0;
    session.GetCurrentTree().CountFiles(&bytes, &count);
    std::printf("%s\n", TotalStatusText(bytes, count).c_str());
}

int PrintPartitions(CCliSession& cli)
{
    CPartitionList partitions(cli.Session());
    partitions.Fill();
    const std::vector<tagPartitionRow> rows = partitions.Rows();
    if (cli.Options().bJson)
    {
        json out = json::array();
        for (size_t i = 0; i < rows.size(); ++i)
        {
            const FileSystemCandidate& c = partitions.Entries()[i].Candidate;
            out.push_back({{"candidate", i + 1},
                           {"file_system", rows[i].Columns[1]},
                           {"label", rows[i].Columns[2]},
                           {"start_sector", c.s64FirstSector},
                           {"sectors", c.s64SectorCount},
                           {"size", rows[i].Columns[4]},
                           {"suggested", rows[i].Columns[5]},
                           {"files_match", c.dwFilesMatch},
                           {"folder_match", c.dwFolderMatch},
                           {"deep_scan", rows[i].bRaw}});
        }
        std::printf("%s\n", out.dump(2).c_str());
        return kExitOk;
    }
    std::vector<std::vector<std::string>> table;
    for (const tagPartitionRow& row : rows) table.emplace_back(std::begin(row.Columns), std::end(row.Columns));
    PrintTable(CPartitionList::Headers(), table);
    return kExitOk;
}

void PrintSavedResult(CCliSession& cli)
{
    CGlobalParamTable& session = cli.Session();
    const std::string& path = session.GetResultName();
    if (!path.empty() && CScanResultStore::Exists(path) && !cli.Options().bJson)
        std::printf("Scan result saved to '%s'.\n", TerminalSafe(path).c_str());
}

// Saves the selection of the current tree to --to; the exit status.
int SaveTo(CCliSession& cli)
{
    const std::string& target = cli.Options().strTarget;
    uint32_t refusal = 0;
    const tagSaveOutcome outcome = CSaveWalker::SaveSelection(cli.Session(), target, cli.Port(), &refusal);
    cli.Port().EndSaving();
    if (refusal != 0)
    {
        cli.Port().FlushMessages(true);
        return kExitFailure;
    }
    if (!outcome.bCompleted)
    {
        std::fprintf(CTerminalPort::Err(), "vlm: saving cancelled after %u of %u files\n", outcome.dwSaved,
                     outcome.dwSelected);
        cli.Port().FlushMessages(true);
        return kExitInterrupted;
    }
    const bool whole = outcome.IsWhole();
    cli.Port().FlushMessages(!whole);
    for (const tagSaveFailure& f : outcome.Folders)
        cli.Port().PrintError(FormatText(VlmString(IDS_SAVE_CREATE_FOLDER_FAILED), f.strPath.c_str(), f.dwError));
    if (outcome.dwSkipped > 0) cli.Port().PrintError(FormatText(VlmString(IDS_SAVE_SKIPPED_BELOW), outcome.dwSkipped));
    for (const tagSaveFailure& f : outcome.Failures)
        cli.Port().PrintError(FormatText(VlmString(IDS_SAVE_FAILURE_LINE), f.strPath.c_str(), f.dwError));
    for (const tagSaveRename& r : outcome.Renamed)
        cli.Port().PrintError(FormatText(VlmString(IDS_SAVE_RENAMED_LINE), r.strSavedPath.c_str(), r.strPath.c_str()));
    if (outcome.Damaged.empty())
    {
        std::printf("Recovered %u of %u files.\n", outcome.dwSaved, outcome.dwSelected);
    }
    else
    {
        std::printf("%s\n",
                    FormatText(VlmString(IDS_SAVE_DAMAGED_SUMMARY), outcome.dwSaved, outcome.dwSelected,
                               static_cast<unsigned>(outcome.Damaged.size()))
                        .c_str());
        for (const tagSaveDamage& d : outcome.Damaged)
            std::printf("  %s\n",
                        FormatText(VlmString(IDS_SAVE_DAMAGED_LINE), TerminalSafe(d.strPath).c_str(),
                                   static_cast<unsigned long long>(d.u64UnreadBytes))
                            .c_str());
    }
    return whole ? kExitOk : kExitPartial;
}

int SelectAndSave(CCliSession& cli)
{
    if (!cli.ApplyFilter()) return kExitUsage;
    KNodeTree& tree = cli.Session().GetCurrentTree();
    if (!cli.Options().Selection.empty() && CTreeWalk::Select(tree, cli.Options().Selection) == 0)
    {
        cli.Port().PrintError(VlmString(IDS_SELECT_FILES));
        return kExitFailure;
    }
    if (cli.Options().Selection.empty()) CTreeWalk::Select(tree, {});
    return SaveTo(cli);
}

} // namespace

int CmdDevices(CCliSession& cli)
{
    const bool found = cli.Discover();
    cli.Port().FlushMessages(!found);
    if (!found) return kExitFailure;
    const EModule module = ModuleFromName(cli.Options().strModule);
    const std::vector<tagDeviceRow> rows = CDeviceList::Rows(cli.Session().VolumeManager(), module);
    if (cli.Options().bJson)
    {
        json out = json::array();
        for (const tagDeviceRow& r : rows)
            out.push_back({{"volume", r.nVolume},
                           {"device", r.strDevice},
                           {"type", r.strType},
                           {"volume_type", r.nVolumeType},
                           {"start_sector", std::stoll(r.strStartSector)},
                           {"capacity", r.strCapacity},
                           {"capacity_bytes", r.u64CapacityBytes},
                           {"information", r.strInformation},
                           {"file_system", r.strFileSystem},
                           {"indented", r.bIndented},
                           {"physical", r.bPhysical}});
        std::printf("%s\n", out.dump(2).c_str());
        return kExitOk;
    }
    std::vector<std::string> headers = {"#"};
    for (const std::string& h : CDeviceList::Headers(module)) headers.push_back(h);
    std::vector<std::vector<std::string>> table;
    for (const tagDeviceRow& r : rows)
    {
        std::vector<std::string> cells = {std::to_string(r.nVolume)};
        for (std::string cell : CDeviceList::Columns(r, module))
            cells.push_back(cells.size() == 1 && r.bIndented ? "  " + cell : cell);
        table.push_back(std::move(cells));
    }
    PrintTable(headers, table);
    return kExitOk;
}

int CmdUndelete(CCliSession& cli)
{
    if (const int status = cli.LoadSource(EModule::Undelete); status != kExitOk) return CCliSession::Finish(status);
    return CCliSession::Finish(SelectAndSave(cli));
}

int CmdOpen(CCliSession& cli)
{
    if (const int status = cli.LoadSource(EModule::Advanced); status != kExitOk) return CCliSession::Finish(status);
    // Saving the tree is what this command is for (a saved result given as SOURCE is only shown).
    if (!cli.SourceIsResult())
    {
        CScanResultStore results(cli.Session());
        results.BeginNewResult(false);
        if (!results.AutoSave())
        {
            cli.Port().FlushMessages(true);
            return CCliSession::Finish(kExitFailure);
        }
    }
    cli.Port().FlushMessages(false);
    PrintStatus(cli.Session());
    PrintSavedResult(cli);
    return CCliSession::Finish(kExitOk);
}

int CmdScan(CCliSession& cli)
{
    if (!cli.Discover())
    {
        cli.Port().FlushMessages(true);
        return kExitFailure;
    }
    const tagCliOptions& o = cli.Options();
    const int volume = cli.ParseVolume(o.strSource);
    if (volume < 0) return kExitUsage;
    CGlobalParamTable& session = cli.Session();
    session.SetModule(o.bDeepOnly ? EModule::DeepScan : EModule::Advanced);
    cli.Port().SetDeepScanTypes(o.Types);
    int reached = 0;
    if (o.bDeepOnly)
        reached = cli.Launcher().RecoverButton(volume);
    else if (cli.Launcher().CheckDevice(volume))
    {
        if (o.bDeep)
        {
            CFileTypeTree types(session.RawTypes());
            if (cli.Port().ChooseDeepScanTypes(types))
                reached = cli.Launcher().StartRecovery(false, true, false, false);
        }
        else
            reached = cli.Launcher().StartRecovery(false, false, false, false);
    }
    if (!reached)
    {
        cli.Port().FlushMessages(true);
        return CCliSession::Finish(kExitFailure);
    }
    cli.Port().FlushMessages(false);
    PrintPartitions(cli);
    if (!o.strSaveResult.empty())
    {
        // A scan cut short never replaces a result already saved under that name: it goes
        // beside it, named as partial.
        const bool partial = session.IsPartialResult() || CTerminalPort::Interrupted();
        const std::string target = partial && CScanResultStore::Exists(o.strSaveResult)
            ? CScanResultStore::PartialResultPath(o.strSaveResult)
            : o.strSaveResult;
        CPartitionList partitions(session);
        if (target.empty() || !partitions.SaveAs(target))
        {
            cli.Port().FlushMessages(true);
            return CCliSession::Finish(kExitFailure);
        }
        if (!cli.Options().bJson) std::printf("Scan result saved to '%s'.\n", TerminalSafe(target).c_str());
    }
    PrintSavedResult(cli);
    if (cli.Port().LastReadErrors() > 0)
    {
        cli.Port().PrintError(
            FormatText("%llu sectors could not be read", static_cast<unsigned long long>(cli.Port().LastReadErrors())));
        return CCliSession::Finish(kExitPartial);
    }
    return CCliSession::Finish(kExitOk);
}

int CmdList(CCliSession& cli)
{
    if (const int status = cli.LoadSource(EModule::Advanced, false); status != kExitOk)
        return CCliSession::Finish(status);
    cli.Port().FlushMessages(false);
    if (cli.Session().GetView() == EView::Partitions) return CCliSession::Finish(PrintPartitions(cli));
    if (!cli.ApplyFilter()) return kExitUsage;
    const KNodeTree& tree = cli.Session().GetCurrentTree();
    if (cli.Options().bJson)
    {
        // The totals are summed on the way (as the tree's own count sums them), so that the
        // tree is walked once.
        CJsonListing listing(stdout);
        uint64_t bytes = 0;
        uint32_t count = 0;
        CTreeWalk::Walk(tree, [&](const tagTreeNode* node, const std::string& path, int) {
            listing.Add(tree, node, path);
            if (IsFileRecord(node->pRecord))
            {
                bytes += node->pRecord->s64Size > 0 ? static_cast<uint64_t>(node->pRecord->s64Size) : 0;
                ++count;
            }
        });
        if (!listing.Finish(count, bytes))
        {
            std::fprintf(CTerminalPort::Err(), "vlm: the listing could not be written\n");
            return CCliSession::Finish(kExitFailure);
        }
        return CCliSession::Finish(kExitOk);
    }
    CTreeWalk::Walk(tree, [&](const tagTreeNode* node, const std::string& path, int) {
        const tagFileNode* r = node->pRecord;
        const bool folder = IsFolderRecord(r);
        const std::string size = folder ? "<DIR>" : ((r->wValidMask & FN_MASK_SIZE) ? std::to_string(r->s64Size) : "");
        std::printf("%-8s %12s  %-19s  %-7s  %-16s  %s%s\n", CTreeWalk::StateName(node), size.c_str(),
                    ModifiedColumn(r).c_str(), AttributeColumn(r).c_str(), ConditionColumn(r).c_str(),
                    TerminalSafe(path).c_str(), folder ? "/" : "");
    });
    PrintStatus(cli.Session());
    return CCliSession::Finish(kExitOk);
}

int CmdRecover(CCliSession& cli)
{
    if (const int status = cli.LoadSource(EModule::Advanced); status != kExitOk) return CCliSession::Finish(status);
    return CCliSession::Finish(SelectAndSave(cli));
}

int CmdExport(CCliSession& cli)
{
    if (const int status = cli.LoadSource(EModule::Advanced); status != kExitOk) return CCliSession::Finish(status);
    if (!cli.ApplyFilter()) return kExitUsage;
    const std::string& file = cli.Options().strFile;
    if (const std::string source = CSourceGuard::SourceUnder(cli.Session(), file); !source.empty())
    {
        cli.Port().PrintError(CSourceGuard::RefusalText(file, source));
        return CCliSession::Finish(kExitFailure);
    }
    if (CExportListing::ExportToFile(cli.Session().GetCurrentTree(), file) != ERROR_SUCCESS)
    {
        cli.Port().ShowError(VlmString(IDS_EXPORT_FAILED));
        cli.Port().FlushMessages(true);
        return CCliSession::Finish(kExitFailure);
    }
    cli.Port().ShowInformation(VlmString(IDS_MISSION_COMPLETE));
    cli.Port().FlushMessages(false);
    return CCliSession::Finish(kExitOk);
}

int CmdResume(CCliSession& cli)
{
    if (cli.Options().strSource.empty())
    {
        CResumeList history(cli.Session());
        history.Refresh();
        if (cli.Options().bJson)
        {
            json out = json::array();
            for (size_t i = 0; i < history.Entries().size(); ++i)
            {
                const tagHistoryEntry& e = history.Entries()[i];
                out.push_back({{"path", e.strPath},
                               {"volume", e.strVolume},
                               {"module", CGlobalParamTable::ModuleName(static_cast<EModule>(e.dwModule))},
                               {"date", CResumeList::DateText(e.Time)},
                               {"device", e.Status.strDevice},
                               {"partial", e.Status.IsPartial()},
                               {"automatic", e.Status.IsAutomatic()}});
            }
            std::printf("%s\n", out.dump(2).c_str());
            return kExitOk;
        }
        std::vector<std::string> headers = CResumeList::Headers();
        headers.push_back("File");
        std::vector<std::vector<std::string>> table;
        for (size_t i = 0; i < history.Entries().size(); ++i)
        {
            std::vector<std::string> row = history.Row(i);
            row.push_back(history.Entries()[i].strPath);
            table.push_back(std::move(row));
        }
        PrintTable(headers, table);
        return kExitOk;
    }
    if (const int status = cli.LoadSource(EModule::Advanced, false); status != kExitOk)
        return CCliSession::Finish(status);
    cli.Port().FlushMessages(false);
    std::printf("%s: %s\n", CGlobalParamTable::ModuleName(cli.Session().GetModule()),
                TerminalSafe(cli.Options().strSource).c_str());
    if (cli.Session().GetView() == EView::Partitions) return CCliSession::Finish(PrintPartitions(cli));
    PrintStatus(cli.Session());
    return CCliSession::Finish(kExitOk);
}

int CmdFind(CCliSession& cli, bool matchCase, bool matchWord)
{
    if (const int status = cli.LoadSource(EModule::Advanced); status != kExitOk) return CCliSession::Finish(status);
    if (!cli.ApplyFilter()) return kExitUsage;
    const KNodeTree& tree = cli.Session().GetCurrentTree();
    const std::string text = cli.Options().Selection.empty() ? "" : cli.Options().Selection.front();
    // Every match once, in the order "Find Next" visits them from the first folder.
    std::optional<CJsonListing> listing;
    if (cli.Options().bJson) listing.emplace(stdout);
    uint64_t bytes = 0;
    std::string path;
    const size_t matches = CFileFind::ForEachMatch(tree, text, matchCase, matchWord, [&](const tagTreeNode* node) {
        path = tree.GetName(node);
        for (const tagTreeNode* p = node->pParent; p && p->pParent; p = p->pParent)
            path.insert(0, std::string(tree.GetName(p)) + "/");
        if (listing)
        {
            listing->Add(tree, node, path);
            bytes += node->pRecord->s64Size > 0 ? static_cast<uint64_t>(node->pRecord->s64Size) : 0;
        }
        else
            std::printf("%s\n", TerminalSafe(path).c_str());
    });
    // Without a match the listing is an empty one, still whole JSON; the message goes to
    // standard error.
    if (listing && !listing->Finish(static_cast<uint32_t>(matches), bytes))
    {
        std::fprintf(CTerminalPort::Err(), "vlm: the listing could not be written\n");
        return CCliSession::Finish(kExitFailure);
    }
    if (matches == 0)
    {
        cli.Port().ShowInformation(VlmString(IDS_NO_FILES_FOUND));
        cli.Port().FlushMessages(true);
        return CCliSession::Finish(kExitFailure);
    }
    return CCliSession::Finish(kExitOk);
}

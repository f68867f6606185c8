// vlm: the command-line front end. It parses the options, then runs one subcommand through the
// application core: listing devices, undeleting, opening or scanning a volume, listing,
// recovering and exporting the files of a volume or of a saved scan result, resuming.
// Devices and images are only ever read.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "CCliSession.h"
#include "CCommands.h"
#include "ImageCommand.h"
#include "PreviewCommands.h"

namespace {

void AddFilterOptions(CLI::App* cmd, tagCliOptions& o)
{
    cmd->add_flag("--deleted", o.bDeleted, "Only deleted and lost files");
    cmd->add_flag("--present", o.bPresent, "Only files present on the volume");
    cmd->add_option("--name,--filter", o.strNames, "Name patterns, separated by ',' or ';' (e.g. \"*.jpg,*.png\")");
    cmd->add_option("--size", o.strSize, "Size range in KB, FROM-TO (inclusive)");
    auto* created = cmd->add_option("--created", o.strCreated, "Creation dates FROM..TO (YYYY-MM-DD, inclusive)");
    auto* modified =
        cmd->add_option("--modified", o.strModified, "Modification dates FROM..TO (YYYY-MM-DD, inclusive)");
    created->excludes(modified);
}

void AddCandidate(CLI::App* cmd, tagCliOptions& o)
{
    cmd->add_option("--candidate", o.nCandidate, "Partition N of a scan result's partition list (1 = first)")
        ->check(CLI::PositiveNumber);
}

struct Commands
{
    CLI::App* devices;
    CLI::App* undelete;
    CLI::App* open;
    CLI::App* scan;
    CLI::App* ls;
    CLI::App* recover;
    CLI::App* exportList;
    CLI::App* resume;
    CLI::App* find;
    CLI::App* cat;
    CLI::App* preview;
    CLI::App* image;
};

Commands AddCommands(CLI::App& app, tagCliOptions& o, bool& matchCase, bool& matchWord)
{
    Commands c{};
    c.devices = app.add_subcommand("devices", "List devices and volumes (the numbers name VOLUMEs)");
    c.devices->add_option("--module", o.strModule, "Layout of the list: undelete, advanced or deep")
        ->check(CLI::IsMember({"undelete", "advanced", "deep"}));
    c.devices->add_flag("--json", o.bJson, "Print JSON");

    c.undelete = app.add_subcommand("undelete", "Recover the deleted files of a FAT or NTFS volume");
    c.undelete->add_option("VOLUME", o.strSource, "Volume number")->required();
    c.undelete->add_option("--to", o.strTarget, "Folder to save the files in")->required();
    c.undelete->add_option("SELECTION", o.Selection, "Paths or wildcard patterns to recover (default: all)");
    AddFilterOptions(c.undelete, o);

    c.open = app.add_subcommand("open", "Open a volume directly and save its file tree as a scan result");
    c.open->add_option("VOLUME", o.strSource, "Volume number")->required();

    c.scan = app.add_subcommand("scan", "Full scan of a volume or device for file systems (and files by content)");
    c.scan->add_option("VOLUME", o.strSource, "Volume number")->required();
    auto* deep = c.scan->add_flag("--deep", o.bDeep, "Also find files by their content");
    auto* deepOnly = c.scan->add_flag("--deep-only", o.bDeepOnly, "Only find files by their content");
    deep->excludes(deepOnly);
    c.scan->add_option("--types", o.Types, "File types for the content search: extensions, groups or 'all'")
        ->delimiter(',');
    c.scan->add_option("--save", o.strSaveResult, "Also save the scan result to this file");
    c.scan->add_flag("--json", o.bJson, "Print JSON");

    c.ls = app.add_subcommand("ls", "List the files of a volume or a scan result");
    c.ls->add_option("SOURCE", o.strSource, "Volume number or scan-result file (.rrs)")->required();
    AddCandidate(c.ls, o);
    AddFilterOptions(c.ls, o);
    c.ls->add_flag("--json", o.bJson, "Print JSON");

    c.recover = app.add_subcommand("recover", "Save files of a volume or a scan result");
    c.recover->add_option("SOURCE", o.strSource, "Volume number or scan-result file (.rrs)")->required();
    c.recover->add_option("--to", o.strTarget, "Folder to save the files in")->required();
    c.recover->add_option("SELECTION", o.Selection, "Paths or wildcard patterns to recover (default: all)");
    AddCandidate(c.recover, o);
    AddFilterOptions(c.recover, o);

    c.exportList = app.add_subcommand("export", "Write a text listing of the file tree");
    c.exportList->add_option("SOURCE", o.strSource, "Volume number or scan-result file (.rrs)")->required();
    c.exportList->add_option("FILE", o.strFile, "Listing to write (e.g. exported_files_list.txt)")->required();
    AddCandidate(c.exportList, o);
    AddFilterOptions(c.exportList, o);

    c.resume = app.add_subcommand("resume", "List saved scan results, or load one");
    c.resume->add_option("RESULT", o.strSource, "Scan-result file (.rrs) to load");
    AddCandidate(c.resume, o);
    c.resume->add_flag("--json", o.bJson, "Print JSON");

    c.find = app.add_subcommand("find", "Find files by name (wildcards * and ?)");
    c.find->add_option("SOURCE", o.strSource, "Volume number or scan-result file (.rrs)")->required();
    c.find->add_option("TEXT", o.Selection, "Name or pattern")->required()->expected(1);
    c.find->add_flag("--match-case", matchCase, "Match upper and lower case");
    c.find->add_flag("--match-word", matchWord, "Match the whole name");
    c.find->add_flag("--json", o.bJson, "Print the matches as JSON, as ls does");
    AddCandidate(c.find, o);

    c.cat = app.add_subcommand("cat", "Write one recovered file's bytes to standard output");
    c.preview = app.add_subcommand("preview", "Show the name, size and a dump of the head of one file");
    for (CLI::App* cmd : {c.cat, c.preview})
    {
        cmd->add_option("SOURCE", o.strSource, "Volume number or scan-result file (.rrs)")->required();
        cmd->add_option("PATH", o.strFile, "The file's path as vlm ls prints it")->required();
        AddCandidate(cmd, o);
    }

    c.image =
        app.add_subcommand("image", "Copy a (failing) disk to an image file, skipping and then retrying bad areas");
    c.image->add_option("DEVICE", o.strSource, "Device node or image file to copy (only ever read)")->required();
    c.image->add_option("--to", o.strTarget, "Image file to write")->required();
    c.image->add_option("--map", o.strImageMap,
                        "Rescue map (GNU ddrescue mapfile) to keep; an existing one is continued");
    c.image->add_option("--retry-passes", o.nRetryPasses, "Passes over the bad sectors at the end (default 1)")
        ->check(CLI::Range(0, 100));
    return c;
}

} // namespace

int main(int argc, char** argv)
{
    CLI::App app{"Vellumar: recover files from disks and disk images (read-only)", "vlm"};
    app.set_version_flag("--version", std::string("vlm ") + VLM_VERSION);
    app.fallthrough();
    tagCliOptions o;
    app.add_option("--image", o.Images, "Disk image to treat as a physical drive (repeatable)");
    app.add_option("--map", o.Maps,
                   "Rescue map (GNU ddrescue mapfile) of the --image in the same place: what it does not mark "
                   "rescued counts as unreadable");
    app.add_option("--sector-size", o.nSectorSize,
                   "Bytes per sector of the --image files (512, 1024, 2048, 4096); found in each image when not given")
        ->check(CLI::IsMember({512, 1024, 2048, 4096}));
    app.add_option("--floppy", o.Floppies, "Floppy image (drive A:, then B:)");
    app.add_flag("--no-machine-devices", o.bNoMachineDevices, "Do not list this machine's own disks");
    app.add_flag("--admin", o.bAdmin,
                 "Not running as root: ask for administrator rights (pkexec) to read this machine's disks");
    auto* yes = app.add_flag("-y,--yes", o.bYes, "Answer every question with yes");
    auto* no = app.add_flag("--no", o.bNo, "Answer every question with no");
    yes->excludes(no);
    app.add_flag("-v,--verbose", o.bVerbose, "List every file as it is saved");
    bool trace = false;
    app.add_flag("--trace", trace, "Show the engine's diagnostic trace on standard error");
    app.require_subcommand(1);
    bool matchCase = false;
    bool matchWord = false;
    const Commands c = AddCommands(app, o, matchCase, matchWord);

    try
    {
        app.parse(argc, argv);
    }
    catch (const CLI::ParseError& e)
    {
        const int code = app.exit(e);
        return code == 0 ? kExitOk : kExitUsage;
    }

    if (!trace) CTerminalPort::HideTrace();
    CTerminalPort::InstallInterruptHandler();
    CCliSession cli(o);
    if (c.devices->parsed()) return CmdDevices(cli);
    if (c.undelete->parsed()) return CmdUndelete(cli);
    if (c.open->parsed()) return CmdOpen(cli);
    if (c.scan->parsed()) return CmdScan(cli);
    if (c.ls->parsed()) return CmdList(cli);
    if (c.recover->parsed()) return CmdRecover(cli);
    if (c.exportList->parsed()) return CmdExport(cli);
    if (c.resume->parsed()) return CmdResume(cli);
    if (c.find->parsed()) return CmdFind(cli, matchCase, matchWord);
    if (c.cat->parsed()) return CmdCat(cli);
    if (c.preview->parsed()) return CmdPreview(cli);
    if (c.image->parsed()) return CmdImage(cli);
    return kExitUsage;
}

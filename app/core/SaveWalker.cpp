#include "core/SaveWalker.h"

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "core/CGlobalParamTable.h"
#include "core/SaveSetting.h"
#include "core/TextFormat.h"
#include "fs/CopyFileOut.h"
#include "fs/IFileSystem.h"
#include "fs/KNodeTree.h"
#include "os/OsFile.h"
#include "os/OsFolder.h"
#include "core/VlmStrings.h"

namespace {

// Deeper than any real folder tree; a path this deep no file system accepts anyway.
constexpr int kMaxDepth = 4096;
// The raw backup an encrypted NTFS file is saved with.
constexpr const char* kEfsSuffix = ".$EFS";

std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty() || folder.back() == '/') return folder + name;
    return folder + "/" + name;
}

// What went wrong, for a message box: the counts, then the damaged files by name (the list
// is cut after a screenful; the command line lists them all).
std::string OutcomeWarning(const tagSaveOutcome& outcome)
{
    constexpr size_t kMaxListed = 20;
    std::string text;
    const unsigned notSaved = outcome.dwSelected > outcome.dwSaved ? outcome.dwSelected - outcome.dwSaved : 0;
    if (notSaved > 0) text = FormatText(VlmString(IDS_SAVE_FAILURES), notSaved);
    if (!outcome.Damaged.empty())
    {
        if (!text.empty()) text += "\n";
        text += FormatText(VlmString(IDS_SAVE_DAMAGED), static_cast<unsigned>(outcome.Damaged.size()));
        for (size_t i = 0; i < outcome.Damaged.size() && i < kMaxListed; ++i)
            text += "\n" +
                FormatText(VlmString(IDS_SAVE_DAMAGED_LINE), outcome.Damaged[i].strPath.c_str(),
                           static_cast<unsigned long long>(outcome.Damaged[i].u64UnreadBytes));
        if (outcome.Damaged.size() > kMaxListed) text += "\n...";
    }
    return text;
}

} // namespace

CSaveWalker::CSaveWalker(const KNodeTree& tree, IFileSystem& fs, ISaveObserver& observer)
    : m_Tree(tree), m_Fs(fs), m_Observer(observer)
{}

std::string CSaveWalker::NumberedFilePath(const std::string& path, int n)
{
    // Split like a drive/directory/name/extension parse: the extension starts at the last dot
    // of the last component.
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart) dot = path.size();
    return FormatText("%s(%d)%s", path.substr(0, dot).c_str(), n, path.substr(dot).c_str());
}

std::string CSaveWalker::SafeName(const char* name)
{
    std::string safe = name ? name : "";
    // A name comes from the scanned disk: a "/" in it (or a name of "." or "..") would place
    // the file outside the folder it belongs in.
    for (char& c : safe)
    {
        if (c == '/') c = '_';
    }
    if (safe.empty() || safe == "." || safe == "..") safe = "_" + safe;
    return safe;
}

std::string CSaveWalker::StreamFileName(const std::string& name)
{
    // A named stream "file:stream" becomes a file of its own, "file_stream": the copy must
    // move to disks whose names allow no colon (FAT, Windows), and the stream name, read from
    // the disk, may hold any character those refuse.
    std::string safe = name;
    for (char& c : safe)
    {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == ':' || c == '\\' || c == '*' || c == '?' || c == '"' || c == '<' ||
            c == '>' || c == '|')
            c = '_';
    }
    return safe;
}

std::string CSaveWalker::FitName(const std::string& name)
{
    // Room for the "(99)" a taken name gets.
    constexpr size_t kRoom = kMaxNameBytes - 4;
    if (name.size() <= kRoom) return name;
    // An extension is what follows the last dot, when it is short enough to be one.
    std::string ext;
    if (const size_t dot = name.rfind('.'); dot != std::string::npos && dot > 0 && name.size() - dot <= 16)
        ext = name.substr(dot);
    size_t cut = kRoom - ext.size();
    // Never split a UTF-8 character: step back over continuation bytes.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut) + ext;
}

tagSaveOutcome CSaveWalker::Run(const std::string& target)
{
    m_Outcome = tagSaveOutcome{};
    m_bCancelled = false;
    uint64_t bytes = 0;
    m_Tree.GetSelection(&bytes, &m_Outcome.dwSelected);
    m_Observer.OnCounts(0, m_Outcome.dwSelected);
    const tagTreeNode* root = m_Tree.GetRoot();
    if (!root)
    {
        m_Outcome.bCompleted = true;
        return m_Outcome;
    }
    OsFolder folder;
    if (const uint32_t rc = folder.Open(target); rc != ERROR_SUCCESS)
    {
        SkipFolder(root, target, rc);
        m_Outcome.bCompleted = true;
        return m_Outcome;
    }
    m_Fs.SetClient(this);
    m_Outcome.bCompleted = SaveChildren(root, folder, target, 0);
    m_Fs.SetClient(nullptr);
    return m_Outcome;
}

std::string CSaveWalker::ChildName(const std::string& folder, const tagTreeNode* child)
{
    std::string name = SafeName(m_Tree.GetName(child));
    if (IsStreamRecord(child->pRecord)) name = StreamFileName(name);
    const std::string fitted = FitName(name);
    if (fitted != name) m_Outcome.Renamed.push_back({JoinPath(folder, name), JoinPath(folder, fitted)});
    return fitted;
}

bool CSaveWalker::SaveChildren(const tagTreeNode* node, const OsFolder& folder, const std::string& path, int depth)
{
    for (const tagTreeNode* child = node->pFirstChild; child; child = child->pNext)
    {
        if (m_bCancelled || m_Observer.IsCanceled())
        {
            m_bCancelled = true;
            return false;
        }
        const tagFileNode* record = child->pRecord;
        if (child->byCheck == TN_UNCHECKED || !record ||
            (record->wValidMask & (FN_MASK_NAME | FN_MASK_ATTRIBUTES)) != (FN_MASK_NAME | FN_MASK_ATTRIBUTES))
            continue;
        const std::string name = ChildName(path, child);
        if (!(record->wAttributes & FN_ATTR_FOLDER))
        {
            if (record->wValidMask & FN_MASK_SIZE) SaveOneFile(child, folder, path, name);
            if (m_bCancelled) return false;
            continue;
        }
        if (!child->pFirstChild) continue;
        if (depth >= kMaxDepth)
        {
            SkipFolder(child, JoinPath(path, name), ERROR_FILENAME_EXCED_RANGE);
            continue;
        }
        OsFolder sub;
        uint32_t error = ERROR_SUCCESS;
        const std::string made = MakeFolder(folder, name, &sub, &error);
        if (made.empty())
        {
            SkipFolder(child, JoinPath(path, name), error);
            continue;
        }
        if (!SaveChildren(child, sub, JoinPath(path, made), depth + 1)) return false;
    }
    return true;
}

// A folder that cannot be made takes its selected files with it: they are counted as not
// saved, with the folder named once.
void CSaveWalker::SkipFolder(const tagTreeNode* node, const std::string& path, uint32_t error)
{
    m_Outcome.Folders.push_back({path, error});
    uint32_t skipped = 0;
    std::vector<const tagTreeNode*> pending{node};
    while (!pending.empty())
    {
        const tagTreeNode* at = pending.back();
        pending.pop_back();
        for (const tagTreeNode* child = at->pFirstChild; child; child = child->pNext)
        {
            if (child->byCheck == TN_UNCHECKED) continue;
            if (child->pFirstChild)
                pending.push_back(child);
            else if (IsFileRecord(child->pRecord))
                ++skipped;
        }
    }
    m_Outcome.dwSkipped += skipped;
    VlmTrace("Cannot create folder '%s': error %u; %u selected file(s) below it not saved\n", path.c_str(), error,
             skipped);
}

void CSaveWalker::SaveOneFile(const tagTreeNode* node, const OsFolder& folder, const std::string& path,
                              const std::string& name)
{
    const std::string wanted = JoinPath(path, name);
    m_Observer.OnCurrentFile(wanted);
    std::string temp, saved;
    m_Fs.ClearUnreadBytes();
    // Only an encrypted file comes with a raw backup: looking for one beside every other file
    // would cost a system call per file.
    const bool backup = (node->pRecord->wAttributes & FN_ATTR_ENCRYPTED) != 0;
    uint32_t rc = ERROR_FILE_EXISTS;
    if (!backup && node->pRecord->s64Size <= static_cast<int64_t>(kCopyWholeBytes))
    {
        // The copy holds all of such a file before it makes it, and removes it again when it
        // fails, so it is saved under its own name at once: a rename costs as much as making
        // the file (a second update of the folder), half the time of saving a volume of small
        // files. When the name is taken, the copy goes the long way below.
        rc = m_Fs.SaveFile(node->pRecord, folder.PathOf(name));
        if (rc == ERROR_SUCCESS) saved = name;
    }
    if (rc == ERROR_FILE_EXISTS)
    {
        // Under a temporary name, named once complete (the first free numbered name when its
        // own is taken), so that a copy cut short, even by the program being killed, never
        // leaves a half file under a real name.
        m_Fs.ClearUnreadBytes();
        rc = CopyToTemporary(node, folder, &temp);
        if (rc == ERROR_SUCCESS) rc = GiveName(folder, temp, name, backup, &saved);
    }
    const uint64_t unread = m_Fs.GetUnreadBytes();
    if (rc != ERROR_SUCCESS && !temp.empty())
    {
        // A failed or cancelled copy leaves nothing behind.
        folder.Delete(temp);
        folder.Delete(temp + kEfsSuffix);
    }
    if (rc == ERROR_SUCCESS)
    {
        saved = JoinPath(path, saved);
        ++m_Outcome.dwSaved;
        if (unread > 0)
        {
            VlmTrace("Saved damaged '%s': %llu byte(s) could not be read\n", saved.c_str(),
                     static_cast<unsigned long long>(unread));
            m_Outcome.Damaged.push_back({saved, unread});
        }
        m_Observer.OnFileSaved(saved);
    }
    else if (rc == ERROR_CANCELLED || m_Observer.IsCanceled())
        m_bCancelled = true;
    else
    {
        VlmTrace("Cannot save '%s': error %u\n", wanted.c_str(), rc);
        m_Outcome.Failures.push_back({wanted, rc});
    }
    m_Observer.OnCounts(m_Outcome.dwSaved, m_Outcome.dwSelected);
}

uint32_t CSaveWalker::CopyToTemporary(const tagTreeNode* node, const OsFolder& folder, std::string* temp)
{
    uint32_t rc = ERROR_FILE_EXISTS;
    for (int n = 0; n < kMaxAttempts && rc == ERROR_FILE_EXISTS; ++n)
    {
        // Hidden, and unlikely to be taken; a taken one is simply skipped (the copy creates
        // its file exclusively). The file system is given a path through the open folder.
        *temp = FormatText(".vlm-saving-%u.part", ++m_dwTempSerial);
        m_Fs.ClearUnreadBytes();
        rc = m_Fs.SaveFile(node->pRecord, folder.PathOf(*temp));
    }
    if (rc == ERROR_FILE_EXISTS) temp->clear(); // nothing of ours was created
    return rc;
}

uint32_t CSaveWalker::GiveName(const OsFolder& folder, const std::string& temp, const std::string& name, bool backup,
                               std::string* saved)
{
    for (int n = 0; n < kMaxAttempts; ++n)
    {
        const std::string attempt = n == 0 ? name : NumberedFilePath(name, n);
        const uint32_t rc = folder.RenameNoReplace(temp, attempt);
        if (rc == ERROR_FILE_EXISTS) continue;
        if (rc != ERROR_SUCCESS) return rc;
        *saved = attempt;
        // An encrypted NTFS file comes with its raw backup beside it.
        if (backup && folder.Exists(temp + kEfsSuffix))
        {
            if (const uint32_t efs = folder.RenameNoReplace(temp + kEfsSuffix, attempt + kEfsSuffix);
                efs != ERROR_SUCCESS)
            {
                folder.Delete(temp + kEfsSuffix);
                m_Outcome.Failures.push_back({attempt + kEfsSuffix, efs});
            }
        }
        return ERROR_SUCCESS;
    }
    return ERROR_FILE_EXISTS;
}

std::string CSaveWalker::MakeFolder(const OsFolder& folder, const std::string& name, OsFolder* made, uint32_t* error)
{
    for (int n = 0; n < kMaxAttempts; ++n)
    {
        const std::string candidate = n == 0 ? name : FormatText("%s(%d)", name.c_str(), n);
        *error = folder.MakeChild(candidate);
        if (*error == ERROR_FILE_EXISTS) continue;
        if (*error == ERROR_SUCCESS) *error = folder.OpenChild(candidate, made);
        return *error == ERROR_SUCCESS ? candidate : std::string();
    }
    return {};
}

int CSaveWalker::SetMaxValue(int64_t max)
{
    m_s64Max = max;
    return 0;
}

int CSaveWalker::SetValue(int64_t value)
{
    m_Observer.OnFileProgress(value, m_s64Max);
    return 0;
}

int CSaveWalker::BeginProgress()
{
    m_Observer.OnFileProgress(0, m_s64Max);
    return 0;
}

int CSaveWalker::IsCanceled()
{
    if (!m_bCancelled && m_Observer.IsCanceled()) m_bCancelled = true;
    return m_bCancelled ? 1 : 0;
}

tagSaveOutcome CSaveWalker::SaveSelection(CGlobalParamTable& session, const std::string& target,
                                          ISaveObserver& observer, uint32_t* refusal)
{
    if (refusal) *refusal = 0;
    KNodeTree& tree = session.GetCurrentTree();
    uint64_t bytes = 0;
    uint32_t count = 0;
    tree.GetSelection(&bytes, &count);
    IFileSystem* fs = session.GetCurrentFileSystem();
    std::string text;
    uint32_t message = IDS_SELECT_FILES;
    if (count == 0 || !fs)
        text = VlmString(message);
    else
        message = CSaveSetting::CheckTarget(session, target, bytes, count, &text);
    if (message != 0)
    {
        if (refusal) *refusal = message;
        if (message == IDS_OUTPUT_ON_SOURCE)
            session.Port().ShowError(text);
        else
            session.Port().ShowInformation(text);
        return tagSaveOutcome{};
    }
    CSaveWalker walker(tree, *fs, observer);
    const tagSaveOutcome outcome = walker.Run(target);
    if (!outcome.bCompleted) return outcome;
    if (outcome.IsWhole())
        session.Port().ShowInformation(FormatText(VlmString(IDS_SAVED_OK), target.c_str()));
    else
        session.Port().ShowWarning(OutcomeWarning(outcome));
    return outcome;
}

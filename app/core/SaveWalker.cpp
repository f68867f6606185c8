#include "core/SaveWalker.h"

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "core/CGlobalParamTable.h"
#include "core/SaveSetting.h"
#include "core/TextFormat.h"
#include "fs/IFileSystem.h"
#include "fs/KNodeTree.h"
#include "os/OsFile.h"
#include "res/VlmStrings.h"

namespace {

// Deeper than any real folder tree; a path this deep no file system accepts anyway.
constexpr int kMaxDepth = 4096;

} // namespace

CSaveWalker::CSaveWalker(const KNodeTree& tree, IFileSystem& fs, ISaveObserver& observer)
    : m_Tree(tree), m_Fs(fs), m_Observer(observer)
{
}

std::string CSaveWalker::NumberedFilePath(const std::string& path, int n)
{
    // Split like a drive/directory/name/extension parse: the extension starts at the last dot
    // of the last component.
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < nameStart)
        dot = path.size();
    return FormatText("%s(%d)%s", path.substr(0, dot).c_str(), n, path.substr(dot).c_str());
}

std::string CSaveWalker::SafeName(const char* name)
{
    std::string safe = name ? name : "";
    // A name comes from the scanned disk: a "/" in it (or a name of "." or "..") would place
    // the file outside the folder it belongs in.
    for (char& c : safe)
    {
        if (c == '/')
            c = '_';
    }
    if (safe.empty() || safe == "." || safe == "..")
        safe = "_" + safe;
    return safe;
}

tagSaveOutcome CSaveWalker::Run(const std::string& target)
{
    m_Outcome = tagSaveOutcome{};
    m_bCancelled = false;
    uint64_t bytes = 0;
    m_Tree.GetSelection(&bytes, &m_Outcome.dwSelected);
    m_Observer.OnCounts(0, m_Outcome.dwSelected);
    m_Fs.SetClient(this);
    const tagTreeNode* root = m_Tree.GetRoot();
    m_Outcome.bCompleted = !root || SaveChildren(root, target, 0);
    m_Fs.SetClient(nullptr);
    return m_Outcome;
}

bool CSaveWalker::SaveChildren(const tagTreeNode* folder, const std::string& path, int depth)
{
    for (const tagTreeNode* child = folder->pFirstChild; child; child = child->pNext)
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
        std::string childPath = path;
        if (childPath.empty() || childPath.back() != '/')
            childPath += '/';
        childPath += SafeName(m_Tree.GetName(child));
        if (!(record->wAttributes & FN_ATTR_FOLDER))
        {
            if (record->wValidMask & FN_MASK_SIZE)
                SaveOneFile(child, childPath);
            if (m_bCancelled)
                return false;
            continue;
        }
        if (!child->pFirstChild)
            continue;
        if (depth >= kMaxDepth)
        {
            m_Outcome.Folders.push_back({childPath, ERROR_FILENAME_EXCED_RANGE});
            continue;
        }
        if (!SaveChildren(child, MakeFolder(childPath), depth + 1))
            return false;
    }
    return true;
}

void CSaveWalker::SaveOneFile(const tagTreeNode* node, const std::string& path)
{
    m_Observer.OnCurrentFile(path);
    std::string attempt = path;
    uint32_t rc = ERROR_FILE_EXISTS;
    for (int n = 0; n < kMaxAttempts; ++n)
    {
        if (n > 0)
            attempt = NumberedFilePath(path, n);
        rc = m_Fs.SaveFile(node->pRecord, attempt);
        if (rc != ERROR_FILE_EXISTS)
            break;
    }
    if (rc == ERROR_SUCCESS)
    {
        ++m_Outcome.dwSaved;
        m_Observer.OnFileSaved(attempt);
    }
    else if (rc == ERROR_CANCELLED || m_Observer.IsCanceled())
        m_bCancelled = true;
    else
    {
        VlmTrace("Cannot save '%s': error %u\n", path.c_str(), rc);
        m_Outcome.Failures.push_back({path, rc});
    }
    m_Observer.OnCounts(m_Outcome.dwSaved, m_Outcome.dwSelected);
}

std::string CSaveWalker::MakeFolder(const std::string& path)
{
    for (int n = 0; n < kMaxAttempts; ++n)
    {
        const std::string candidate = n == 0 ? path : FormatText("%s(%d)", path.c_str(), n);
        if (OsPathExists(candidate))
            continue;
        // The folder is used even when it cannot be made; its files then fail one by one and
        // are listed.
        if (const uint32_t rc = OsCreateFolder(candidate); rc != ERROR_SUCCESS)
            m_Outcome.Folders.push_back({candidate, rc});
        return candidate;
    }
    return path;
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
    if (!m_bCancelled && m_Observer.IsCanceled())
        m_bCancelled = true;
    return m_bCancelled ? 1 : 0;
}

tagSaveOutcome CSaveWalker::SaveSelection(CGlobalParamTable& session, const std::string& target,
                                          ISaveObserver& observer, uint32_t* refusal)
{
    if (refusal)
        *refusal = 0;
    KNodeTree& tree = session.GetCurrentTree();
    uint64_t bytes = 0;
    uint32_t count = 0;
    tree.GetSelection(&bytes, &count);
    IFileSystem* fs = session.GetCurrentFileSystem();
    uint32_t message = 0;
    if (count == 0 || !fs)
        message = IDS_SELECT_FILES;
    else
        message = CSaveSetting::Check(target, bytes, count);
    if (message != 0)
    {
        if (refusal)
            *refusal = message;
        session.Port().ShowInformation(VlmString(message));
        return tagSaveOutcome{};
    }
    CSaveWalker walker(tree, *fs, observer);
    const tagSaveOutcome outcome = walker.Run(target);
    if (!outcome.bCompleted)
        return outcome;
    if (outcome.Failures.empty())
        session.Port().ShowInformation(FormatText(VlmString(IDS_SAVED_OK), target.c_str()));
    else
        session.Port().ShowWarning(
            FormatText(VlmString(IDS_SAVE_FAILURES), static_cast<unsigned>(outcome.Failures.size())));
    return outcome;
}

#pragma once
// Writes the selected part of a file tree into a target folder: folders are recreated, every
// selected file is copied out by its file system. Nothing that exists is ever overwritten: a
// file whose name is taken is saved as name(1).ext, name(2).ext, ... name(99).ext, a folder
// whose name is taken as name(1), ... name(99).
//
// A file that cannot be saved does not stop the walk; it is counted and listed, so the user
// learns how many and which files are missing instead of trusting a plain "saved" message.
// A file whose copy met data that could not be read is saved (zeros stand for what is missing)
// and listed as damaged. Every file is written under a hidden temporary name in its folder and
// renamed only when its copy is complete, so a cancelled or failed copy never leaves a half
// file under a real name. A name longer than the target allows is shortened and listed.
// Folders are held open while their files are saved and every name is made relative to them,
// never through a symbolic link: a folder swapped for a link meanwhile redirects nothing.
#include <cstdint>
#include <string>
#include <vector>

#include "base/IProgress.h"

class CGlobalParamTable;
class OsFolder;
class IFileSystem;
class KNodeTree;
struct tagTreeNode;

/// The saving window: shows the current file and the counts, and answers whether the user
/// cancelled. Called on the thread that saves.
class ISaveObserver
{
public:
    virtual ~ISaveObserver() = default;
    virtual void OnCurrentFile(const std::string& path) = 0;
    /// A file was written under `path` (the numbered name when the plain one was taken).
    virtual void OnFileSaved(const std::string& /*path*/) {}
    virtual void OnCounts(uint32_t saved, uint32_t selected) = 0;
    /// Bytes of the current file copied so far.
    virtual void OnFileProgress(int64_t position, int64_t maximum) = 0;
    /// True once the user confirmed the cancel; asked between files and inside every copy.
    virtual bool IsCanceled() = 0;
};

struct tagSaveFailure
{
    std::string strPath;  // the file or folder that could not be written
    uint32_t dwError = 0; // the system error code
};

struct tagSaveDamage
{
    std::string strPath;         // where the damaged file was saved
    uint64_t u64UnreadBytes = 0; // bytes that could not be read (written as zeros)
};

struct tagSaveRename
{
    std::string strPath;      // the path the file or folder would have had
    std::string strSavedPath; // the shortened path it was saved under
};

struct tagSaveOutcome
{
    bool bCompleted = false;              // the walk ran to its end (not cancelled)
    uint32_t dwSelected = 0;              // selected files
    uint32_t dwSaved = 0;                 // files written, damaged ones included
    uint32_t dwSkipped = 0;               // selected files below a folder that could not be made
    std::vector<tagSaveFailure> Failures; // files that could not be written
    std::vector<tagSaveFailure> Folders;  // folders that could not be created
    std::vector<tagSaveDamage> Damaged;   // files saved with parts that could not be read
    std::vector<tagSaveRename> Renamed;   // names shortened to fit the target

    /// Every selected file saved whole.
    bool IsWhole() const
    {
        return bCompleted && Failures.empty() && Folders.empty() && Damaged.empty() && dwSkipped == 0 &&
            dwSaved == dwSelected;
    }
};

class CSaveWalker final : public IProgress_Client
{
public:
    static constexpr int kMaxAttempts = 100;

    CSaveWalker(const KNodeTree& tree, IFileSystem& fs, ISaveObserver& observer);

    /// Saves the selected children of the tree's root into `target`.
    tagSaveOutcome Run(const std::string& target);

    /// "dir/base(n).ext" for the n-th retry of "dir/base.ext".
    static std::string NumberedFilePath(const std::string& path, int n);
    /// A record name as one path component: no "/" inside, never "", "." or "..".
    static std::string SafeName(const char* name);
    /// The file name a named stream's copy is saved under: "file:stream" as "file_stream".
    static std::string StreamFileName(const std::string& name);
    /// Longest name a Linux file system takes, in bytes.
    static constexpr size_t kMaxNameBytes = 255;
    /// `name` cut to fit kMaxNameBytes with room for a "(99)" number: the extension is kept
    /// (when it is short), the cut falls between UTF-8 characters. `name` itself when it fits.
    static std::string FitName(const std::string& name);

    /// The whole request of the file list: refuses an empty selection, checks the target,
    /// saves, and tells the user the outcome (the saved message, or how many files could not
    /// be saved). The outcome's failures list which.
    static tagSaveOutcome SaveSelection(CGlobalParamTable& session, const std::string& target, ISaveObserver& observer,
                                        uint32_t* refusal = nullptr);

    // The file system reports each copy here.
    int SetMaxValue(int64_t max) override;
    int SetValue(int64_t value) override;
    int BeginProgress() override;
    int IsCanceled() override;

private:
    bool SaveChildren(const tagTreeNode* node, const OsFolder& folder, const std::string& path, int depth);
    void SaveOneFile(const tagTreeNode* node, const OsFolder& folder, const std::string& path, const std::string& name);
    /// Copies the file under a fresh temporary name in `folder`; the copy's result, and the
    /// temporary name in `temp`.
    uint32_t CopyToTemporary(const tagTreeNode* node, const OsFolder& folder, std::string* temp);
    /// Gives the complete temporary copy its name: `name`, else the first free numbered one;
    /// with `backup` (an encrypted file) its raw backup beside it too.
    uint32_t GiveName(const OsFolder& folder, const std::string& temp, const std::string& name, bool backup,
                      std::string* saved);
    /// Creates and opens the sub-folder `name`, else the first free numbered one; the name
    /// made, or "" and the error when none can be.
    std::string MakeFolder(const OsFolder& folder, const std::string& name, OsFolder* made, uint32_t* error);
    void SkipFolder(const tagTreeNode* node, const std::string& path, uint32_t error);
    /// The child's name as saved (safe, and short enough), noting a shortening.
    std::string ChildName(const std::string& folder, const tagTreeNode* child);

    const KNodeTree& m_Tree;
    IFileSystem& m_Fs;
    ISaveObserver& m_Observer;
    tagSaveOutcome m_Outcome;
    int64_t m_s64Max = 0;
    bool m_bCancelled = false;
    uint32_t m_dwTempSerial = 0;
};

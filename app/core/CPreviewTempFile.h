#pragma once
// The temporary copy a preview hands to a player or document renderer. The copy lives in a
// private folder made for it under the system's temporary folder, under the recovered file's
// own name (players and renderers go by the extension). The copy and its folder are deleted
// when the object goes away, whatever way the preview ends.
//
// A private folder rather than the temporary folder itself: the shared temporary folder may
// hold another user's or program's file of the same name, which must neither be deleted nor
// overwritten, and a name taken from a damaged disk must not reach outside the folder.
#include <cstdint>
#include <string>

#include "core/PreviewStream.h"

class IFileSystem;
class IOutStream;
class IProgress_Client;
struct tagFileNode;

class CPreviewTempFile
{
public:
    CPreviewTempFile() = default;
    ~CPreviewTempFile();
    CPreviewTempFile(const CPreviewTempFile&) = delete;
    CPreviewTempFile& operator=(const CPreviewTempFile&) = delete;

    /// Makes the private folder and fixes the path of the copy. 0 or the system's error.
    uint32_t Prepare(const std::string& fileName);
    /// Copies at most `limit` bytes of the head of `stream` into a new file at Path(), in
    /// pieces of kPreviewPieceBytes, with progress and cancel through `progress` (may be null).
    /// 0; the creation error; 1223 when cancelled; a write error; 30 when the data ended early.
    /// A cancelled or failed copy is deleted at once.
    uint32_t CopyHead(IOutStream& stream, int64_t limit, IProgress_Client* progress);
    /// Copies the whole file with the file system's own copy-out and makes it writable.
    uint32_t SaveWhole(IFileSystem& fs, const tagFileNode* record);
    /// Deletes the copy and its folder (also done by the destructor).
    void Remove();

    const std::string& Path() const { return m_strPath; }
    const tagStreamCopy& Copied() const { return m_Copied; }

private:
    std::string m_strFolder;
    std::string m_strPath;
    tagStreamCopy m_Copied;
};

/// The name a recovered file gets on this system: a name from disk may hold "/" or be "." or
/// "..", and may be longer than a file name may be here (it keeps its extension).
std::string PreviewSafeFileName(const std::string& name);

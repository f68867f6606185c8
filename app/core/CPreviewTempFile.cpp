#include "core/CPreviewTempFile.h"

#include <filesystem>
#include <random>
#include <system_error>

#include "base/VlmErrors.h"
#include "core/PreviewCheck.h"
#include "fs/IFileSystem.h"
#include "os/OsFile.h"

namespace {

constexpr size_t kMaxNameBytes = 200; // well below the usual 255-byte limit
constexpr size_t kMaxExtensionBytes = 16;
constexpr int kFolderAttempts = 64;

// Cuts `text` to at most `bytes` bytes without splitting a UTF-8 sequence.
std::string CutUtf8(const std::string& text, size_t bytes)
{
    if (text.size() <= bytes) return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<uint8_t>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

} // namespace

std::string PreviewSafeFileName(const std::string& name)
{
    std::string safe;
    for (char c : name) safe.push_back(c == '/' || c == '\0' ? '_' : c);
    if (safe.empty() || safe == "." || safe == "..") return "_";
    if (safe.size() <= kMaxNameBytes) return safe;
    const size_t dot = safe.rfind('.');
    const std::string ext =
        (dot != std::string::npos && safe.size() - dot <= kMaxExtensionBytes) ? safe.substr(dot) : "";
    return CutUtf8(safe.substr(0, safe.size() - ext.size()), kMaxNameBytes - ext.size()) + ext;
}

CPreviewTempFile::~CPreviewTempFile() { Remove(); }

uint32_t CPreviewTempFile::Prepare(const std::string& fileName)
{
    Remove();
    std::string base = OsTempFolder();
    if (base.empty() || base.back() != '/') base.push_back('/');
    std::random_device seed;
    std::mt19937 random(seed());
    uint32_t status = ERROR_ALREADY_EXISTS;
    for (int attempt = 0; attempt < kFolderAttempts && status == ERROR_ALREADY_EXISTS; ++attempt)
    {
        const std::string folder = base + "vlm-preview-" + std::to_string(random() % 100000000u);
        status = OsCreateFolder(folder);
        if (status == ERROR_FILE_EXISTS) status = ERROR_ALREADY_EXISTS;
        if (status == ERROR_SUCCESS) m_strFolder = folder;
    }
    if (status != ERROR_SUCCESS) return status;
    // Recovered files are private: nobody else reads the copies.
    std::error_code ec;
    std::filesystem::permissions(m_strFolder, std::filesystem::perms::owner_all, std::filesystem::perm_options::replace,
                                 ec);
    m_strPath = m_strFolder + "/" + PreviewSafeFileName(fileName);
    return ERROR_SUCCESS;
}

uint32_t CPreviewTempFile::CopyHead(IOutStream& stream, int64_t limit, IProgress_Client* progress)
{
    if (m_strPath.empty()) return ERROR_INVALID_PARAMETER;
    OsFile file;
    if (const uint32_t status = file.CreateNew(m_strPath); status != ERROR_SUCCESS) return status;
    uint32_t writeError = ERROR_SUCCESS;
    uint32_t status = CopyStreamHead(
        stream, limit, kPreviewPieceBytes,
        [&](const uint8_t* data, size_t size) {
            writeError = file.Write(data, size);
            return writeError == ERROR_SUCCESS;
        },
        progress, &m_Copied);
    const uint32_t closeError = file.Close();
    if (status == ERROR_FUNCTION_FAILED && writeError != ERROR_SUCCESS) status = writeError;
    if (status == ERROR_SUCCESS && closeError != ERROR_SUCCESS) status = closeError;
    if (status != ERROR_SUCCESS && status != ERROR_READ_FAULT) OsDeleteFile(m_strPath);
    return status;
}

uint32_t CPreviewTempFile::SaveWhole(IFileSystem& fs, const tagFileNode* record)
{
    if (m_strPath.empty()) return ERROR_INVALID_PARAMETER;
    const uint32_t status = fs.SaveFile(record, m_strPath);
    if (status != ERROR_SUCCESS)
    {
        OsDeleteFile(m_strPath);
        return status;
    }
    // The copy may carry the record's read-only attribute; the renderer may need to open it
    // for writing, and it must be deletable.
    std::error_code ec;
    std::filesystem::permissions(m_strPath, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add, ec);
    return ERROR_SUCCESS;
}

void CPreviewTempFile::Remove()
{
    if (m_strFolder.empty()) return;
    // Only the folder this object made, and everything a player or renderer left in it.
    std::error_code ec;
    std::filesystem::remove_all(m_strFolder, ec);
    m_strFolder.clear();
    m_strPath.clear();
    m_Copied = {};
}

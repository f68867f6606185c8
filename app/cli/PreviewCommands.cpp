#include "PreviewCommands.h"

#include <memory>

#include "CCliSession.h"
#include "CTerminalPort.h"
#include "CTreeWalk.h"
#include "TerminalText.h"
#include "base/VlmErrors.h"
#include "core/PreviewCheck.h"
#include "core/PreviewHexDump.h"
#include "core/PreviewStream.h"
#include "core/TextFormat.h"
#include "fs/IFileSystem.h"
#include "fs/KNodeTree.h"
#include "core/VlmStrings.h"

namespace {

void Complain(const std::string& text)
{
    std::fprintf(CTerminalPort::Err(), "vlm: %s\n", TerminalSafe(text).c_str());
    std::fflush(CTerminalPort::Err());
}

// The common refusals, then the file's stream; null (after telling why) when there is none.
std::unique_ptr<IOutStream> OpenChecked(IFileSystem& fs, const tagTreeNode* node)
{
    if (const uint32_t refusal = PreviewRefusal(node ? node->pRecord : nullptr); refusal != 0)
    {
        Complain(VlmString(refusal));
        return nullptr;
    }
    std::unique_ptr<IOutStream> stream(fs.OpenStream(node->pRecord));
    if (!stream) Complain(FormatText(VlmString(IDS_PREVIEW_READ_FAILED), ERROR_FUNCTION_FAILED));
    return stream;
}

int StatusOf(uint32_t status, const tagStreamCopy& copy)
{
    if (status != ERROR_SUCCESS)
    {
        Complain(FormatText(VlmString(IDS_PREVIEW_READ_FAILED), status));
        return copy.s64Bytes > 0 ? kExitPartial : kExitFailure;
    }
    if (copy.dwBadPieces != 0)
    {
        Complain(FormatText(VlmString(IDS_PREVIEW_READ_FAILED), ERROR_IO_DEVICE));
        return kExitPartial;
    }
    return kExitOk;
}

const tagTreeNode* ResolvePath(CCliSession& cli, int* status)
{
    // Standard output carries the file alone: every message goes to standard error.
    cli.Port().SetInformationToError(true);
    *status = cli.LoadSource(EModule::Advanced);
    if (*status != kExitOk) return nullptr;
    cli.Port().FlushMessages(false);
    const tagTreeNode* node = FindTreePath(cli.Session().GetCurrentTree(), cli.Options().strFile);
    if (node == nullptr || cli.Session().GetCurrentFileSystem() == nullptr)
    {
        Complain("no such file: " + cli.Options().strFile);
        *status = kExitFailure;
    }
    return node;
}

} // namespace

const tagTreeNode* FindTreePath(const KNodeTree& tree, const std::string& path)
{
    std::string wanted = path;
    while (wanted.size() > 1 && wanted.back() == '/') wanted.pop_back();
    if (!wanted.empty() && wanted.front() == '/') wanted.erase(0, 1);
    const tagTreeNode* found = nullptr;
    CTreeWalk::Walk(tree, [&](const tagTreeNode* node, const std::string& nodePath, int) {
        if (found == nullptr && nodePath == wanted) found = node;
    });
    return found;
}

int CatFile(IFileSystem& fs, const KNodeTree&, const tagTreeNode* node, FILE* out)
{
    const std::unique_ptr<IOutStream> stream = OpenChecked(fs, node);
    if (!stream) return kExitFailure;
    tagStreamCopy copy;
    bool writeFailed = false;
    const uint32_t status = CopyStreamHead(
        *stream, -1, kPreviewPieceBytes,
        [&](const uint8_t* data, size_t size) {
            writeFailed = std::fwrite(data, 1, size, out) != size;
            return !writeFailed;
        },
        nullptr, &copy);
    if (std::fflush(out) != 0 || writeFailed)
    {
        Complain("cannot write to the output");
        return kExitFailure;
    }
    return StatusOf(status, copy);
}

int PreviewFile(IFileSystem& fs, const KNodeTree& tree, const tagTreeNode* node, FILE* out, int64_t bytes)
{
    const std::unique_ptr<IOutStream> stream = OpenChecked(fs, node);
    if (!stream) return kExitFailure;
    std::vector<uint8_t> head;
    tagStreamCopy copy;
    const uint32_t status = ReadStreamHead(*stream, bytes, head, &copy);
    std::fprintf(out, "%s  %lld bytes\n", TerminalSafe(tree.GetName(node)).c_str(),
                 static_cast<long long>(node->pRecord->s64Size));
    std::fputs(HexDump(head).c_str(), out);
    if (static_cast<int64_t>(head.size()) < node->pRecord->s64Size)
        std::fprintf(out, "... %lld more bytes\n",
                     static_cast<long long>(node->pRecord->s64Size - static_cast<int64_t>(head.size())));
    std::fflush(out);
    return StatusOf(status, copy);
}

int CmdCat(CCliSession& cli)
{
    int status = kExitOk;
    const tagTreeNode* node = ResolvePath(cli, &status);
    if (node == nullptr) return CCliSession::Finish(status);
    KNodeTree& tree = cli.Session().GetCurrentTree();
    return CCliSession::Finish(CatFile(*cli.Session().GetCurrentFileSystem(), tree, node, stdout));
}

int CmdPreview(CCliSession& cli)
{
    int status = kExitOk;
    const tagTreeNode* node = ResolvePath(cli, &status);
    if (node == nullptr) return CCliSession::Finish(status);
    KNodeTree& tree = cli.Session().GetCurrentTree();
    return CCliSession::Finish(PreviewFile(*cli.Session().GetCurrentFileSystem(), tree, node, stdout));
}

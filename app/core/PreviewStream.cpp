#include "core/PreviewStream.h"

#include <algorithm>
#include <new>

#include "base/VlmErrors.h"
#include "core/PreviewCheck.h"
#include "fs/IOutStream.h"
#include "base/IProgress.h"

namespace {

constexpr int kStreamOk = 1;
constexpr int kStreamEnd = 4;

} // namespace

uint32_t CopyStreamHead(IOutStream& stream, int64_t limit, int64_t piece, const StreamSink& sink,
                        IProgress_Client* progress, tagStreamCopy* result)
{
    tagStreamCopy local;
    tagStreamCopy& r = result ? *result : local;
    r = {};
    int64_t size = 0;
    stream.GetSize(&size);
    const int64_t total = std::max<int64_t>(0, limit < 0 ? size : std::min(size, limit));
    if (piece <= 0) piece = kPreviewPieceBytes;
    std::vector<uint8_t> buffer;
    try
    {
        buffer.resize(static_cast<size_t>(std::min(piece, std::max<int64_t>(total, 1))));
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    if (progress)
    {
        progress->SetMaxValue(total);
        progress->BeginProgress();
    }
    uint32_t status = ERROR_SUCCESS;
    while (r.s64Bytes < total)
    {
        if (progress && progress->IsCanceled())
        {
            status = ERROR_CANCELLED;
            break;
        }
        const int64_t want = std::min<int64_t>(static_cast<int64_t>(buffer.size()), total - r.s64Bytes);
        int64_t done = 0;
        // Every piece starts with a seek: after a failed read the stream's position is wherever
        // the last good run left it.
        int rc = stream.Seek(SEEK_ORIGIN_BEGIN, r.s64Bytes, nullptr);
        if (rc == kStreamOk) rc = stream.Read(buffer.data(), want, &done);
        if (rc == kStreamEnd || (rc == kStreamOk && done < want))
        {
            // The runs end before the file size: deliver what there is and stop.
            const int64_t got = std::clamp<int64_t>(done, 0, want);
            if (got > 0 && !sink(buffer.data(), static_cast<size_t>(got)))
                status = ERROR_FUNCTION_FAILED;
            else
            {
                r.s64Bytes += got;
                status = ERROR_READ_FAULT;
            }
            break;
        }
        if (rc != kStreamOk)
        {
            std::fill(buffer.begin(), buffer.begin() + want, uint8_t{0});
            ++r.dwBadPieces;
        }
        if (!sink(buffer.data(), static_cast<size_t>(want)))
        {
            status = ERROR_FUNCTION_FAILED;
            break;
        }
        r.s64Bytes += want;
        if (progress) progress->SetValue(r.s64Bytes);
    }
    if (progress) progress->EndProgress();
    return status;
}

uint32_t ReadStreamHead(IOutStream& stream, int64_t limit, std::vector<uint8_t>& out, tagStreamCopy* result)
{
    out.clear();
    int64_t size = 0;
    stream.GetSize(&size);
    const int64_t total = std::max<int64_t>(0, limit < 0 ? size : std::min(size, limit));
    try
    {
        out.reserve(static_cast<size_t>(total));
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    return CopyStreamHead(
        stream, total, kPreviewPieceBytes,
        [&out](const uint8_t* data, size_t n) {
            out.insert(out.end(), data, data + n);
            return true;
        },
        nullptr, result);
}

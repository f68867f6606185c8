#include "fs/CopyFileOut.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "fs/IFileSystem.h"
#include "fs/tagFileNode.h"
#include "os/OsFile.h"
#include "os/OsTime.h"

namespace {

// Records keep local wall-clock times; the file system wants UTC.
int64_t ToUtc(uint64_t local)
{
    if (local == 0) return 0;
    int64_t utc = 0;
    if (!FileTimeLocalToUtc(static_cast<int64_t>(local), &utc)) return 0;
    return utc;
}

// Every read is positioned explicitly: a failed read leaves the stream's position undefined.
bool ReadExactly(IOutStream& stream, int64_t offset, uint8_t* out, int64_t length)
{
    int64_t got = 0;
    return stream.Seek(SEEK_ORIGIN_BEGIN, offset, nullptr) == STREAM_OK &&
        stream.Read(out, length, &got) == STREAM_OK && got == length;
}

// The bytes a read from `offset` delivers before it fails or ends, 0 .. length.
int64_t ReadSome(IOutStream& stream, int64_t offset, uint8_t* out, int64_t length)
{
    int64_t got = 0;
    if (stream.Seek(SEEK_ORIGIN_BEGIN, offset, nullptr) != STREAM_OK) return 0;
    if (stream.Read(out, length, &got) == STREAM_OK && got == length) return length;
    return std::clamp<int64_t>(got, 0, length);
}

} // namespace

uint32_t CopyFileOut(IFileSystem& fs, const tagFileNode* record, const std::string& path, uint32_t bytesPerSector)
{
    // An empty file has no data to open a stream on, but it is still a file the user expects
    // back (a marker file, an empty document): create it with its times.
    if (record && IsFileRecord(record) && record->s64Size == 0)
    {
        OsFile empty;
        if (const uint32_t rc = empty.CreateNew(path); rc != ERROR_SUCCESS) return rc;
        empty.SetTimes(ToUtc(record->ftModified), ToUtc(record->ftModified));
        return empty.Close();
    }
    std::unique_ptr<IOutStream> stream(record ? fs.OpenStream(record) : nullptr);
    if (!stream) return ERROR_FUNCTION_FAILED;
    if (bytesPerSector == 0) bytesPerSector = 512;

    int64_t size = 0;
    stream->GetSize(&size);
    // A piece at a time, but no larger than the file rounded up to whole sectors: most files
    // of a volume are small, and the buffer is allocated (and zeroed) for every file.
    const uint64_t most = static_cast<uint64_t>(bytesPerSector) * kCopyPieceSectors;
    const uint64_t wanted = size <= 0
        ? bytesPerSector
        : (static_cast<uint64_t>(size) + bytesPerSector - 1) / bytesPerSector * bytesPerSector;
    std::vector<uint8_t> buffer;
    try
    {
        buffer.resize(static_cast<size_t>(std::min(most, wanted)));
    }
    catch (const std::bad_alloc&)
    {
        return ERROR_NOT_ENOUGH_MEMORY;
    }

    fs.SetStage(EStage::CopyOut);
    fs.SetMaxValue(size);
    fs.BeginProgress();

    OsFile file;
    bool made = false;
    // A copy that cannot be finished leaves nothing behind: a half file must not pass for a
    // recovered one.
    const auto fail = [&](uint32_t rc) {
        if (made)
        {
            file.Close();
            OsDeleteFile(path);
        }
        fs.EndProgress();
        return rc;
    };
    int64_t done = 0;
    uint64_t zeroed = 0; // unreadable sectors written as zeros
    for (;;)
    {
        if (fs.IsCanceled()) return fail(ERROR_CANCELLED);
        const int64_t piece = std::clamp<int64_t>(size - done, 0, static_cast<int64_t>(buffer.size()));
        if (piece > 0 && !ReadExactly(*stream, done, buffer.data(), piece))
        {
            // One bad sector must not cost the readable rest of the piece: read it again
            // sector by sector and write zeros only where a sector cannot be read.
            for (int64_t at = 0; at < piece; at += bytesPerSector)
            {
                const int64_t part = std::min<int64_t>(bytesPerSector, piece - at);
                const int64_t got = ReadSome(*stream, done + at, buffer.data() + at, part);
                if (got < part)
                {
                    // A stream that decodes its data (a compressed file) may deliver the
                    // sound start of a sector whose rest it cannot know.
                    std::memset(buffer.data() + at + got, 0, static_cast<size_t>(part - got));
                    ++zeroed;
                    fs.AddUnreadBytes(static_cast<uint64_t>(part - got));
                }
            }
        }
        if (!made)
        {
            // The file is made once its first piece is in hand, so a file of one piece (most
            // files of a volume) never exists with only part of its bytes.
            if (const uint32_t rc = file.CreateNew(path); rc != ERROR_SUCCESS)
            {
                fs.EndProgress();
                return rc;
            }
            made = true;
        }
        if (piece > 0)
        {
            // A full or refusing target must not pass for a recovered file.
            if (const uint32_t rc = file.Write(buffer.data(), static_cast<size_t>(piece)); rc != ERROR_SUCCESS)
                return fail(rc);
        }
        done += piece;
        fs.SetValue(done);
        if (done >= size) break;
    }
    fs.SetValue(size);
    // Through the open file: setting them by path walks the path once more (for every one of
    // a volume's files).
    file.SetTimes(ToUtc(record->ftModified), ToUtc(record->ftModified));
    if (const uint32_t rc = file.Close(); rc != ERROR_SUCCESS) return fail(rc);
    if (zeroed > 0)
        VlmTrace("CopyFileOut: %llu unreadable sector(s) of '%s' written as zeros\n",
                 static_cast<unsigned long long>(zeroed), path.c_str());
    fs.EndProgress();
    return ERROR_SUCCESS;
}

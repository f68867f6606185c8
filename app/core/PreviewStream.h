#pragma once
// Reading the head of a recovered file through its engine stream for a preview. The stream is
// read from its start in pieces; a piece that cannot be read (a bad sector) is delivered as
// zeros and counted, so a damaged file still previews everything around the damage.
#include <cstdint>
#include <functional>
#include <vector>

class IOutStream;
class IProgress_Client;

struct tagStreamCopy
{
    int64_t s64Bytes = 0;     // bytes delivered to the sink
    uint32_t dwBadPieces = 0; // pieces that could not be read and were delivered as zeros
};

/// Takes one piece; false stops the copy (a write error, which the sink keeps for itself).
using StreamSink = std::function<bool(const uint8_t* data, size_t size)>;

/// Delivers the first min(size, limit) bytes of `stream` to `sink` in pieces of `piece` bytes
/// (limit < 0: the whole stream). Progress (bytes) and cancel go through `progress` (may be
/// null). Returns 0; 1223 when cancelled; 1627 when the sink refused a piece; 30 when the data
/// ended before the stream's size (what was delivered stays delivered).
uint32_t CopyStreamHead(IOutStream& stream, int64_t limit, int64_t piece, const StreamSink& sink,
                        IProgress_Client* progress, tagStreamCopy* result);

/// The first min(size, limit) bytes of `stream` in memory. Same results as CopyStreamHead; 8
/// when the memory cannot be had.
uint32_t ReadStreamHead(IOutStream& stream, int64_t limit, std::vector<uint8_t>& out, tagStreamCopy* result = nullptr);

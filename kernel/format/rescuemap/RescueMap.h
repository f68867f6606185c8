#pragma once
// The rescue map of a disk image: which byte ranges of the source were copied and which were
// not, in the text format GNU ddrescue reads and writes, so that an imaging run can be
// continued by either program.
//
//   # comment lines start with '#'
//   0x00120000     *               2          <- current position, phase, pass (pass optional)
//   #      pos        size  status
//   0x00000000  0x00120000  +                 <- one block per line, in order, gap-free
//   0x00120000  0x00000200  -
//
// Numbers are C integers (decimal, 0x hex or 0 octal). Block status: '?' not tried yet,
// '*' not trimmed, '/' not scraped, '-' bad sector(s), '+' rescued. Phase: '?' copying,
// '*' trimming, '/' scraping, '-' retrying, 'F' filling, 'G' generating, '+' finished.
// Pure: text in, map out, and back; the map is the one bookkeeping an imaging run keeps.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class RescueMap
{
public:
    struct Block
    {
        uint64_t Pos;
        uint64_t Size; // never 0
        char Status;
    };

    /// An empty map: nothing tried yet over `size` bytes (a size of 0 gives no blocks).
    explicit RescueMap(uint64_t size = 0);

    /// Reads a map. False, with the line number and the reason in `why`, when the text is not a
    /// well-formed map: a malformed line, an unknown status, blocks out of order, overlapping,
    /// with gaps, running past 2^63, or more than the block limit.
    static bool Parse(std::string_view text, RescueMap* map, std::string* why);
    /// The map as text, `commandLine` recorded in a comment.
    std::string Format(std::string_view commandLine) const;

    /// Marks `size` bytes from `pos` with `status`, splitting and joining blocks; the map grows
    /// to cover them.
    void Set(uint64_t pos, uint64_t size, char status);
    /// True when every one of `size` bytes from `pos` lies in a '+' block.
    bool Rescued(uint64_t pos, uint64_t size) const;
    /// The first block that holds a byte at or after `pos` with `status`; false when none.
    bool FindFrom(uint64_t pos, char status, Block* found) const;
    /// Bytes in blocks of `status`.
    uint64_t BytesWith(char status) const;
    /// Number of blocks of `status`.
    uint64_t BlocksWith(char status) const;
    /// One past the last byte the map covers.
    uint64_t End() const { return m_Blocks.empty() ? 0 : m_Blocks.back().Pos + m_Blocks.back().Size; }
    const std::vector<Block>& Blocks() const { return m_Blocks; }

    uint64_t CurrentPos = 0;
    char Phase = '?';
    int Pass = 1;

private:
    size_t IndexOf(uint64_t pos) const; // the block holding pos; m_Blocks.size() if none
    void Join(size_t first, size_t last);

    std::vector<Block> m_Blocks; // in order, gap-free, neighbours of one status joined
};

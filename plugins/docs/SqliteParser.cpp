#include "SqliteParser.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "DocsLayout.h"

namespace {
constexpr uint32_t kMinPage = 512;
constexpr uint32_t kMaxPage = 65536;
constexpr uint32_t kMaxSchemaFormat = 4;

uint32_t Field32(ByteView head, size_t off)
{
    uint32_t v = 0;
    LoadU32BE(head, off, v);
    return v;
}

// The page size in bytes, or 0 when the field is not a valid one.
uint32_t PageSize(ByteView head)
{
    uint16_t field = 0;
    LoadU16BE(head, offsetof(tagSqliteHeader, PageSize), field);
    const uint32_t size = field == 1 ? kMaxPage : field;
    return size >= kMinPage && size <= kMaxPage && std::has_single_bit(size) ? size : 0;
}
} // namespace

bool CheckSqliteHeader(ByteView head)
{
    tagSqliteHeader h;
    if (!LoadRecord(head, 0, h) || std::memcmp(h.Magic, kSqliteMagic, sizeof(kSqliteMagic)) != 0) return false;
    // The payload fractions are fixed by the file format; the schema format is 1..4 (0 in an
    // empty database).
    return PageSize(head) != 0 && (h.WriteVersion == 1 || h.WriteVersion == 2) &&
        (h.ReadVersion == 1 || h.ReadVersion == 2) && h.MaxPayloadFraction == 64 && h.MinPayloadFraction == 32 &&
        h.LeafPayloadFraction == 32 && Field32(head, offsetof(tagSqliteHeader, SchemaFormat)) <= kMaxSchemaFormat;
}

DocProbe ParseSqlite(IDocSource& src)
{
    DocProbe probe;
    uint8_t raw[sizeof(tagSqliteHeader)];
    const ByteView head(raw, sizeof raw);
    if (!src.Read(0, raw, sizeof raw) || !CheckSqliteHeader(head)) return probe;
    probe.kind = DocKind::Sqlite;
    const uint64_t pages = Field32(head, offsetof(tagSqliteHeader, PageCount));
    if (pages == 0 ||
        Field32(head, offsetof(tagSqliteHeader, VersionValidFor)) !=
            Field32(head, offsetof(tagSqliteHeader, ChangeCounter)))
        return probe;
    const uint64_t end = pages * PageSize(head);
    if (Reaches(src, end)) probe.size = end;
    return probe;
}

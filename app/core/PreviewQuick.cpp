#include "core/PreviewQuick.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "fs/IOutStream.h"
#include "ole/IDocSource.h"
#include "ole/OleParser.h"

namespace {

constexpr int kStreamOk = 1;

struct tagDocumentEntry
{
    std::string_view extension;
    EQuickDocument kind;
};

constexpr tagDocumentEntry kDocumentTable[] = {
    {"doc", EQuickDocument::CompoundCheck}, {"xls", EQuickDocument::CompoundCheck},
    {"ppt", EQuickDocument::CompoundCheck}, {"psd", EQuickDocument::Render},
    {"docx", EQuickDocument::Render},       {"xlsx", EQuickDocument::Render},
    {"pptx", EQuickDocument::Render},
};

bool EndsWithNoCase(const std::string& name, std::string_view tail)
{
    if (name.size() < tail.size()) return false;
    return std::equal(
        tail.begin(), tail.end(), name.end() - static_cast<std::ptrdiff_t>(tail.size()), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
}

// The compound-document parser reads at offsets of its own choosing; this serves them from the
// recovered file's stream, bounded by the file's size.
class KStreamDocSource final : public IDocSource
{
public:
    explicit KStreamDocSource(IOutStream& stream) : m_Stream(stream)
    {
        int64_t size = 0;
        m_Stream.GetSize(&size);
        m_Limit = size > 0 ? static_cast<uint64_t>(size) : 0;
    }
    uint64_t Limit() const override { return m_Limit; }
    bool Read(uint64_t off, void* out, size_t len) override { return ReadSome(off, out, len) == len; }
    size_t ReadSome(uint64_t off, void* out, size_t len) override
    {
        if (off >= m_Limit) return 0;
        len = static_cast<size_t>(std::min<uint64_t>(len, m_Limit - off));
        int64_t done = 0;
        if (m_Stream.Seek(SEEK_ORIGIN_BEGIN, static_cast<int64_t>(off), nullptr) != kStreamOk ||
            m_Stream.Read(static_cast<uint8_t*>(out), static_cast<int64_t>(len), &done) != kStreamOk || done < 0)
            return 0;
        return static_cast<size_t>(std::min<int64_t>(done, static_cast<int64_t>(len)));
    }

private:
    IOutStream& m_Stream;
    uint64_t m_Limit = 0;
};

} // namespace

EQuickDocument QuickDocumentKind(const std::string& name)
{
    for (const tagDocumentEntry& e : kDocumentTable)
        if (EndsWithNoCase(name, e.extension)) return e.kind;
    return EQuickDocument::None;
}

bool IsOfficeCompoundDocument(IOutStream& stream)
{
    KStreamDocSource source(stream);
    const EOleKind kind = ParseOle(source).kind;
    return kind == EOleKind::Doc || kind == EOleKind::Xls || kind == EOleKind::Ppt;
}

EQuickPreview QuickPreviewChoice(const std::string& name, bool imageDecoded, IOutStream* stream)
{
    if (imageDecoded) return EQuickPreview::Image;
    switch (QuickDocumentKind(name))
    {
    case EQuickDocument::Render: return EQuickPreview::Document;
    case EQuickDocument::CompoundCheck:
        return stream != nullptr && IsOfficeCompoundDocument(*stream) ? EQuickPreview::Document
                                                                      : EQuickPreview::Unsupported;
    case EQuickDocument::None: break;
    }
    return EQuickPreview::Unsupported;
}

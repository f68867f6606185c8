#include "KDocReaderSource.h"

#include <algorithm>
#include <cstring>

bool KDocReaderSource::Read(uint64_t off, void* out, size_t len) { return ReadSome(off, out, len) == len; }

size_t KDocReaderSource::ReadSome(uint64_t off, void* out, size_t len)
{
    auto* dst = static_cast<uint8_t*>(out);
    size_t done = 0;
    while (done < len)
    {
        const size_t want = std::min(len - done, KRawReader::kMaxView);
        const ByteView v = m_Reader.ViewUpTo(off + done, want);
        if (v.empty()) break;
        std::memcpy(dst + done, v.data(), v.size());
        done += v.size();
        if (v.size() < want) break;
    }
    return done;
}

#include "ntfs/KNtfsResidentDataStream.h"

#include <cstring>
#include <new>

#include "base/VlmErrors.h"
#include "base/VlmTrace.h"
#include "base/TextCodec.h"

KNtfsResidentDataStream::KNtfsResidentDataStream(const std::string& name, IVolumeIO* volume) : m_pVolume(volume)
{
    SetName(name);
}

int KNtfsResidentDataStream::GetSize(int64_t* size)
{
    *size = m_s64Size;
    return STREAM_OK;
}

int KNtfsResidentDataStream::GetName(std::string* name)
{
    *name = m_strName;
    return STREAM_OK;
}

int KNtfsResidentDataStream::SetName(const std::string& name)
{
    m_strName = name;
    m_wszName = Utf8ToUtf16(name, kMaxWideName);
    return STREAM_OK;
}

int KNtfsResidentDataStream::Seek(int origin, int64_t offset, int64_t* newPos)
{
    int64_t target = 0;
    switch (origin)
    {
    case SEEK_ORIGIN_BEGIN: target = offset; break;
    case SEEK_ORIGIN_CURRENT: target = m_s64Position + offset; break;
    case SEEK_ORIGIN_END: target = m_s64Size + offset; break;
    default: return STREAM_FAIL;
    }
    if (newPos) *newPos = target;
    if (target >= 0 && target <= m_s64Size)
    {
        m_s64Position = target;
        return STREAM_OK;
    }
    if (newPos) *newPos = m_s64Position;
    VlmTrace("s64NewPos>m_s64FileSize||s64NewPos<0");
    return STREAM_END;
}

int KNtfsResidentDataStream::Read(uint8_t* buffer, int64_t length, int64_t* done)
{
    if (!buffer || length < 0) return STREAM_FAIL;
    int result = STREAM_OK;
    if (length > m_s64Size - m_s64Position)
    {
        length = m_s64Size - m_s64Position;
        result = STREAM_END;
    }
    if (length > 0) std::memcpy(buffer, m_Data.data() + m_s64Position, static_cast<size_t>(length));
    m_s64Position += length;
    if (done) *done = length;
    return result;
}

int KNtfsResidentDataStream::SetData(ByteView value)
{
    try
    {
        m_Data.assign(value.begin(), value.end());
    }
    catch (const std::bad_alloc&)
    {
        return 0;
    }
    m_s64Size = static_cast<int64_t>(value.size());
    m_s64Position = 0;
    return 1;
}

#pragma once
// The stream of a file whose data lies inside its FILE record (a resident $DATA value): the
// value is copied into the stream, which then serves it like any other stream.
#include <cstdint>
#include <string>
#include <vector>

#include "base/ByteView.h"
#include "fs/IOutStream.h"

class IVolumeIO;

class KNtfsResidentDataStream final : public IOutStream
{
public:
    /// Longest UTF-16 name kept for GetNameW.
    static constexpr size_t kMaxWideName = 519;

    /// `volume` is kept but never read: the data comes from SetData.
    KNtfsResidentDataStream(const std::string& name, IVolumeIO* volume);
    ~KNtfsResidentDataStream() override = default;

    int GetSize(int64_t* size) override;
    int GetName(std::string* name) override;
    int SetName(const std::string& name) override;
    const char* GetNameA() override { return m_strName.c_str(); }
    const char16_t* GetNameW() override { return m_wszName.c_str(); }
    /// 1 inside 0 .. size; otherwise 4 with the position unchanged; 2 for a bad origin.
    int Seek(int origin, int64_t offset, int64_t* newPos) override;
    /// 1, or 4 when the data ends before `length` bytes (the bytes up to the end are
    /// delivered); 2 for a null buffer or a negative length.
    int Read(uint8_t* buffer, int64_t length, int64_t* done) override;
    /// Copies the value; 0 when memory is exhausted, else 1.
    int SetData(ByteView value);
    IVolumeIO* GetVolume() const { return m_pVolume; }

private:
    IVolumeIO* m_pVolume; // kept for the stream's owner; resident data needs no reads
    int64_t m_s64Size = 0;
    std::string m_strName;
    std::u16string m_wszName;
    std::vector<uint8_t> m_Data;
    int64_t m_s64Position = 0;
};

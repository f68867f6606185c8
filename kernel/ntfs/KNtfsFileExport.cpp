#include "ntfs/KNtfsFileExport.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/VlmErrors.h"
#include "fs/CopyFileOut.h"
#include "fs/KSectorRanges.h"
#include "fs/SalvageRead.h"
#include "ntfs/KNtfsFileSystem.h"
#include "ntfs/NtfsEfsExport.h"
#include "ntfs/NtfsFileRecordParser.h"
#include "format/ntfs/NtfsLznt1.h"
#include "format/ntfs/NtfsRecord.h"
#include "format/ntfs/NtfsRunList.h"
#include "os/OsFile.h"
#include "volume/IVolumeIO.h"

namespace {

constexpr uint32_t kPlainChunkSectors = 126;
constexpr uint64_t kDefaultUnitClusters = 16;

// Sectors of a compression unit of 2^shift clusters; 0 when it is beyond any real unit.
uint64_t UnitSectors(uint16_t shift, uint32_t sectorsPerCluster)
{
    if (shift > 12) return 0;
    const uint64_t sectors = (static_cast<uint64_t>(1) << shift) * sectorsPerCluster;
    return sectors <= KNtfsFileExport::kMaxUnitSectors ? sectors : 0;
}

// Bytes of the first `pieceBytes` of a read from sector `first` that lie on unreadable sectors.
uint64_t UnreadBytesOfPiece(const KSectorRanges& bad, uint64_t first, uint64_t bps, uint64_t pieceBytes)
{
    const uint64_t end = first + (pieceBytes + bps - 1) / bps;
    uint64_t bytes = 0;
    for (const KSectorRanges::Range& r : bad.Ranges())
    {
        const uint64_t a = std::max(r.first, first);
        const uint64_t b = std::min(r.first + r.count, end);
        if (a < b) bytes += std::min((b - first) * bps, pieceBytes) - (a - first) * bps;
    }
    return bytes;
}

} // namespace

uint32_t KNtfsFileExport::CollectRuns(const tagNtfsFileNode* node, Plan* plan, bool* resident)
{
    KNtfsMft& mft = m_Fs.Mft();
    const uint32_t spc = mft.Geometry().SectorsPerCluster;
    plan->unitSectors = kDefaultUnitClusters * spc;
    plan->efsRecordSector = node->s64RecordSector;
    plan->size = node->s64Size;
    std::vector<uint8_t> record(mft.RecordBytes());
    const uint32_t size = static_cast<uint32_t>(record.size());
    if (size == 0 || mft.ReadRecordAt(node->s64RecordSector, record.data()) != ERROR_SUCCESS ||
        !CheckFileRecord(record, false))
        return ERROR_FUNCTION_FAILED;
    if (IsStreamRecord(node))
    {
        // Encrypted named streams have no place in the raw backup format written here.
        NtfsStreamData stream;
        if ((node->wAttributes & FN_ATTR_ENCRYPTED) || m_Fs.FindStream(node, record, &stream) != NtfsStreamFound::Ok)
            return ERROR_FUNCTION_FAILED;
        *resident = stream.resident;
        plan->unitSectors = UnitSectors(stream.compressionUnit, spc);
        plan->runs = std::move(stream.runs);
        return ERROR_SUCCESS;
    }
    bool invalid = false, unitTaken = false;
    std::vector<uint8_t> extension;
    uint64_t nextVcn = 0;
    const bool listed = WalkAttributeList(mft, record, [&](const tagNtfsAttributeListEntry& e) {
        if (e.Type == kNtfsAttrLoggedUtilityStream) plan->efsRecordSector = mft.RecordToSector(e.RecordLow);
        if (e.Type != kNtfsAttrData || e.NameLength != 0) return true;
        const NtfsExtension got = ReadExtensionRecord(mft, e.RecordLow, &extension);
        invalid = got == NtfsExtension::Invalid;
        if (got != NtfsExtension::Ok) return false;
        const NtfsAttribute data = FindDataExtent(extension, e.FirstVcn);
        tagNtfsNonResidentAttribute h;
        ByteView pairs;
        // A missing extent ends the runs: the later ones would land too early in the file.
        if (!data || !NonResidentHeader(data, &h, &pairs) || h.MappingPairsOffset == 0 || h.FirstVcn != nextVcn)
            return false;
        nextVcn = h.LastVcn + 1;
        if (!unitTaken)
        {
            plan->unitSectors = UnitSectors(h.CompressionUnit, spc);
            unitTaken = true;
        }
        StreamVector extent;
        mft.DecodeRunList(pairs, &extent);
        plan->runs.insert(plan->runs.end(), extent.begin(), extent.end());
        return true;
    });
    if (invalid) return ERROR_FUNCTION_FAILED;
    if (!listed)
    {
        const NtfsAttribute data = FindUnnamedData(record);
        tagNtfsNonResidentAttribute h;
        ByteView pairs;
        if (data && !NonResidentHeader(data, &h, &pairs))
        {
            *resident = true;
            return ERROR_SUCCESS;
        }
        if (data)
        {
            plan->unitSectors = UnitSectors(h.CompressionUnit, spc);
            if (h.MappingPairsOffset != 0) mft.DecodeRunList(pairs, &plan->runs);
        }
    }
    return ERROR_SUCCESS;
}

uint32_t KNtfsFileExport::WriteEfsStream(const Plan& plan, OsFile& file)
{
    KNtfsMft& mft = m_Fs.Mft();
    if (plan.efsRecordSector == -1) return ERROR_FUNCTION_FAILED;
    std::vector<uint8_t> record(mft.RecordBytes());
    const uint32_t size = static_cast<uint32_t>(record.size());
    if (size == 0 || mft.ReadRecordAt(plan.efsRecordSector, record.data()) != ERROR_SUCCESS ||
        !CheckFileRecord(record, false))
        return ERROR_FUNCTION_FAILED;
    const NtfsAttribute efs = FindAttribute(record, kNtfsAttrLoggedUtilityStream, 0);
    std::unique_ptr<IOutStream> stream(efs ? m_Fs.OpenAttributeStream(efs) : nullptr);
    if (!stream) return ERROR_FUNCTION_FAILED;
    int64_t n = 0;
    stream->GetSize(&n);
    if (n < 0 || static_cast<uint64_t>(n) > kMaxEfsBytes) return ERROR_FUNCTION_FAILED;
    const std::vector<uint8_t> header = EfsStreamHeader(static_cast<uint32_t>(n));
    if (const uint32_t rc = file.Write(header.data(), header.size()); rc != ERROR_SUCCESS) return rc;
    std::vector<uint8_t> bytes(static_cast<size_t>(n), 0);
    int64_t done = 0;
    stream->Seek(SEEK_ORIGIN_BEGIN, 0, nullptr);
    if (n > 0) stream->Read(bytes.data(), n, &done); // what cannot be read stays zero
    if (done < n) m_Fs.AddUnreadBytes(static_cast<uint64_t>(n - std::max<int64_t>(done, 0)));
    return file.Write(bytes.data(), bytes.size());
}

uint32_t KNtfsFileExport::WriteZeros(OsFile& file, uint64_t count, int64_t* remaining, bool* cancelled)
{
    std::fill(m_Buffer.begin(), m_Buffer.end(), 0);
    while (count > 0)
    {
        const uint64_t piece = std::min<uint64_t>(count, m_Buffer.size());
        if (const uint32_t rc = file.Write(m_Buffer.data(), piece); rc != ERROR_SUCCESS) return rc;
        count -= piece;
        *remaining -= static_cast<int64_t>(piece);
        if (piece == m_Buffer.size() && m_Fs.IsCanceled())
        {
            *cancelled = true;
            break;
        }
    }
    return ERROR_SUCCESS;
}

// The sectors of one data run, as they are.
uint32_t KNtfsFileExport::CopyPlainRun(const tagStreamBlock& run, OsFile& file, int64_t* remaining, bool* cancelled)
{
    IVolumeIO* volume = m_Fs.GetVolume();
    const uint64_t bps = m_Fs.Mft().Geometry().BytesPerSector;
    const uint64_t chunk = m_Buffer.size() / bps;
    uint64_t want =
        std::min<uint64_t>(run.dwSectorCount * bps, static_cast<uint64_t>(std::max<int64_t>(*remaining, 0)));
    for (uint64_t s = 0; s < run.dwSectorCount && want > 0; s += chunk)
    {
        // Only the sectors of this run are read: reading past it could run off the volume
        // and turn good data into zeros.
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(chunk, run.dwSectorCount - s));
        KSectorRanges bad;
        if (ReadSectorsSalvaging(*volume, static_cast<uint64_t>(run.s64FirstSector) + s, m_Buffer.data(), count,
                                 static_cast<uint32_t>(bps), &bad) > 0)
            m_Fs.AddUnreadBytes(UnreadBytesOfPiece(bad, static_cast<uint64_t>(run.s64FirstSector) + s, bps,
                                                   std::min<uint64_t>(count * bps, want)));
        const uint64_t piece = std::min<uint64_t>(count * bps, want);
        if (const uint32_t rc = file.Write(m_Buffer.data(), piece); rc != ERROR_SUCCESS) return rc;
        want -= piece;
        *remaining -= static_cast<int64_t>(piece);
        if (m_Fs.IsCanceled())
        {
            *cancelled = true;
            break;
        }
    }
    return ERROR_SUCCESS;
}

uint32_t KNtfsFileExport::CopyRuns(const Plan& plan, OsFile& file, int64_t* remaining)
{
    const uint64_t bps = m_Fs.Mft().Geometry().BytesPerSector;
    bool cancelled = false;
    for (const tagStreamBlock& run : plan.runs)
    {
        if (*remaining <= 0 || cancelled) break;
        m_Fs.SetValue(plan.size - *remaining);
        const uint32_t rc = IsHoleRun(run)
            ? WriteZeros(file, std::min<uint64_t>(run.dwSectorCount * bps, static_cast<uint64_t>(*remaining)),
                         remaining, &cancelled)
            : CopyPlainRun(run, file, remaining, &cancelled);
        if (rc != ERROR_SUCCESS) return rc;
    }
    if (cancelled) return ERROR_CANCELLED;
    if (*remaining > 0)
    {
        // The runs end before the file does (a run list that could not be decoded whole, an
        // extension record that is missing): the rest is written as zeros and counted.
        m_Fs.AddUnreadBytes(static_cast<uint64_t>(*remaining));
        if (const uint32_t rc = WriteZeros(file, static_cast<uint64_t>(*remaining), remaining, &cancelled);
            rc != ERROR_SUCCESS)
            return rc;
    }
    return cancelled ? ERROR_CANCELLED : ERROR_SUCCESS;
}

uint32_t KNtfsFileExport::Save(const tagNtfsFileNode* node, const std::string& path)
{
    Plan plan;
    bool resident = false;
    if (const uint32_t rc = CollectRuns(node, &plan, &resident); rc != ERROR_SUCCESS) return rc;
    if (resident) return CopyFileOut(m_Fs, node, path, m_Fs.Mft().Geometry().BytesPerSector);
    if (!(node->wAttributes & FN_ATTR_ENCRYPTED))
        return ERROR_FUNCTION_FAILED; // every other file is read through its stream
    OsFile file;
    if (const uint32_t rc = file.CreateNew(path); rc != ERROR_SUCCESS) return rc;
    const uint64_t bps = m_Fs.Mft().Geometry().BytesPerSector;
    const uint64_t chunk = kPlainChunkSectors;
    if (const uint32_t rc = WriteEfsStream(plan, file); rc != ERROR_SUCCESS) return rc;
    const int64_t r = plan.size % kEfsBlockBytes;
    if (r % 512 != 0) plan.size = plan.size - r + (r / 512 + 1) * 512;
    m_Buffer.assign(static_cast<size_t>(chunk * bps), 0);
    m_Fs.SetStage(EStage::CopyOut);
    m_Fs.SetMaxValue(plan.size);
    m_Fs.BeginProgress();
    int64_t remaining = plan.size;
    uint32_t rc = CopyRuns(plan, file, &remaining);
    m_Fs.SetValue(plan.size - remaining);
    if (rc == ERROR_SUCCESS) rc = FinishEncryptedFile(node, path, file);
    if (const uint32_t closed = file.Close(); rc == ERROR_SUCCESS) rc = closed;
    m_Fs.EndProgress();
    return rc;
}

namespace {

// Copies `count` bytes from the current position of `from` to `to`; what `from` cannot
// deliver is written as zeros.
uint32_t CopyBytes(OsFile& from, OsFile& to, uint64_t count, std::vector<uint8_t>& buffer)
{
    while (count > 0)
    {
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(count, buffer.size()));
        size_t got = 0;
        if (from.Read(buffer.data(), piece, &got) != ERROR_SUCCESS) got = 0;
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(got),
                  buffer.begin() + static_cast<std::ptrdiff_t>(piece), 0);
        if (const uint32_t rc = to.Write(buffer.data(), piece); rc != ERROR_SUCCESS) return rc;
        count -= piece;
    }
    return ERROR_SUCCESS;
}

uint32_t WriteAll(OsFile& to, const std::vector<uint8_t>& bytes) { return to.Write(bytes.data(), bytes.size()); }

} // namespace

// The platform's raw-import functions for encrypted files do not exist here, so the import
// step is never taken: the ".$EFS" file is the result, importable where they exist.
uint32_t KNtfsFileExport::FinishEncryptedFile(const tagNtfsFileNode* node, const std::string& path, OsFile& file)
{
    const std::string efsPath = path + ".$EFS";
    OsDeleteFile(efsPath);
    OsFile efs;
    if (const uint32_t rc = efs.CreateNew(efsPath); rc != ERROR_SUCCESS) return rc;
    std::vector<uint8_t> buffer(kEfsBlockBytes);
    std::vector<uint8_t> head(kEfsStreamHeaderBytes, 0);
    size_t got = 0;
    file.Seek(0, SEEK_SET);
    file.Read(head.data(), head.size(), &got);
    file.Seek(0, SEEK_SET);
    // The stream header's length field counts the $EFS bytes and 16 bytes of its own.
    const uint64_t efsBytes = 50 + static_cast<uint64_t>(PeekU32LE(head.data() + 50));
    uint32_t rc = CopyBytes(file, efs, efsBytes, buffer);
    if (rc == ERROR_SUCCESS) rc = WriteAll(efs, EfsDataHeader());
    const uint64_t size = static_cast<uint64_t>(std::max<int64_t>(node->s64Size, 0));
    for (uint64_t block = 0; rc == ERROR_SUCCESS && block * kEfsBlockBytes < size; ++block)
    {
        const uint32_t data = static_cast<uint32_t>(std::min<uint64_t>(size - block * kEfsBlockBytes, kEfsBlockBytes));
        const uint32_t stored = data == kEfsBlockBytes ? data : EfsStoredLength(data);
        rc = WriteAll(efs, EfsBlockHeader(static_cast<uint16_t>(block), data, stored));
        if (rc == ERROR_SUCCESS) rc = CopyBytes(file, efs, stored, buffer);
    }
    if (const uint32_t closed = efs.Close(); rc == ERROR_SUCCESS) rc = closed;
    return rc;
}

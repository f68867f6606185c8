#pragma once
// Named $DATA attributes (alternate data streams, "file:stream"). A record may carry any
// number of them beside its unnamed data; each is listed as an entry of its own and found
// again for a copy by its name. With an $ATTRIBUTE_LIST the streams may lie in extension
// records, each entry naming the record and the attribute instance that holds one extent.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "format/ntfs/NtfsRecord.h"
#include "fs/IOutStream.h"

class KNtfsMft;

// Named streams listed per record; a crafted record with more named attributes loses the rest.
inline constexpr int kNtfsMaxNamedStreams = 64;

// The UTF-8 name of an attribute, empty when it has none or the name does not fit in it.
std::string NtfsAttributeName(const NtfsAttribute& attribute);

// Calls `visit` with the name and the first extent (resident, or the non-resident one that
// starts at cluster 0) of every named $DATA of a checked record, at most kNtfsMaxNamedStreams
// of them, until `visit` returns false. A name seen before in the record is skipped: it
// could not be told apart when the stream is copied. An attribute taken from an extension
// record is valid during the call only.
void ForEachNamedStream(KNtfsMft& mft, ByteView record,
                        const std::function<bool(const std::string& name, const NtfsAttribute& attribute)>& visit);

// Where the named stream `name` of a checked record lies.
struct NtfsStreamData
{
    bool resident = false;
    std::vector<uint8_t> value; // a resident stream's bytes
    StreamVector runs;          // every extent's runs, in order
    uint16_t compressionUnit = 0;
    uint16_t flags = 0; // the first extent's attribute flags
};
enum class NtfsStreamFound
{
    Ok,
    Missing, // no such stream, or an extension record that could not be read
    Invalid, // an extension record failed its check
};
NtfsStreamFound LocateNamedStream(KNtfsMft& mft, ByteView record, const std::string& name, NtfsStreamData* out);

// The stream part of a listed stream's entry name "<file>:<stream>", given the record's file
// name; false when the entry name is not of that form.
bool StreamPartOfName(const std::string& entryName, const std::string& fileName, std::string* stream);

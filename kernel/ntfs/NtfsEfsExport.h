#pragma once
// The raw backup format of an encrypted file: a stream header followed by the $EFS metadata,
// a data header, then the encrypted data in blocks of 65536 bytes, each behind a 512-byte
// block header. Integers are little-endian, texts UTF-16LE without terminator.
#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr uint32_t kEfsStreamHeaderBytes = 66;
inline constexpr uint32_t kEfsDataHeaderBytes = 42;
inline constexpr uint32_t kEfsBlockHeaderBytes = 512;
inline constexpr uint32_t kEfsBlockBytes = 65536;

// The header in front of an $EFS stream of `efsLength` bytes.
std::vector<uint8_t> EfsStreamHeader(uint32_t efsLength);
// The header in front of the data blocks ("::$DATA").
std::vector<uint8_t> EfsDataHeader();
// The header of block `index` holding `dataLength` bytes of data, stored in `storedLength`.
std::vector<uint8_t> EfsBlockHeader(uint16_t index, uint32_t dataLength, uint32_t storedLength);
// Bytes stored for a block of `dataLength` bytes: rounded up to a multiple of 512.
inline uint32_t EfsStoredLength(uint32_t dataLength) { return (dataLength + 511) & ~511u; }

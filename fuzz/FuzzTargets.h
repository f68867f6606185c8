#pragma once
// Every fuzz target of the engine. Each takes one input and runs one entry point over it;
// a crash, sanitizer report or trap is a finding. The fuzzer executables call one each; the
// regression test replays saved inputs through them by name.
#include <cstddef>
#include <cstdint>
#include <span>

using FuzzEntry = int (*)(const uint8_t* data, size_t size);

struct tagFuzzTarget
{
    const char* name; // also the folder of its seeds and saved regressions
    FuzzEntry run;
    bool sparse; // the input is a sparse image (FuzzImage.h) rather than flat bytes
};

int FuzzDiscovery(const uint8_t* data, size_t size);
int FuzzLdm(const uint8_t* data, size_t size);
int FuzzFatScan(const uint8_t* data, size_t size);
int FuzzFatVolume(const uint8_t* data, size_t size);
int FuzzFatEntries(const uint8_t* data, size_t size);
int FuzzExFatScan(const uint8_t* data, size_t size);
int FuzzExFatVolume(const uint8_t* data, size_t size);
int FuzzExFatEntries(const uint8_t* data, size_t size);
int FuzzNtfsVolume(const uint8_t* data, size_t size);
int FuzzNtfsRecord(const uint8_t* data, size_t size);
int FuzzLznt1(const uint8_t* data, size_t size);
int FuzzNtfsFullScan(const uint8_t* data, size_t size);
int FuzzRawTypes(const uint8_t* data, size_t size);
int FuzzInflate(const uint8_t* data, size_t size);
int FuzzFileNodeLoad(const uint8_t* data, size_t size);
int FuzzRescueMap(const uint8_t* data, size_t size);
int FuzzScanResult(const uint8_t* data, size_t size);

std::span<const tagFuzzTarget> FuzzTargets();

// The scan loop of both scanning windows: chunking, read errors, the order of the file systems,
// the texts of the window, pumping and display intervals, and the three answers to Cancel.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "FakeUserPort.h"
#include "TestRawTypes.h"
#include "core/CScanDriver.h"
#include "raw/KRawFileSystem.h"
#include "raw/KRawScanMgr.h"
#include "support/TestFiles.h"
#include "support/IdleFileSystem.h"
#include "support/MemoryMedia.h"

namespace {

// A file system that writes every protocol call into a shared log.
class LoggingFs final : public IdleFileSystem
{
public:
    LoggingFs(std::string name, std::vector<std::string>* log) : m_Name(std::move(name)), m_Log(log) {}
    uint32_t Begin_ScanFS() override
    {
        Log("begin");
        Sectors = 0;
        return 0;
    }
    uint32_t ScanFS(ScanStats* stats, int64_t first, const uint8_t* buffer, int count) override
    {
        Log("scan " + std::to_string(first) + "+" + std::to_string(count));
        Sectors += count;
        // The memory volume below holds each sector's number in its first byte.
        if (buffer[0] != static_cast<uint8_t>(first)) Log("wrong data");
        stats->dwFatFiles += 1;
        stats->dwRawFiles += 2;
        return 0;
    }
    uint32_t End_ScanFS() override
    {
        Log(GetClient() == IProgress_Client::Idle() ? "end without client" : "end");
        return 0;
    }

    int64_t Sectors = 0;

private:
    void Log(const std::string& what) { m_Log->push_back(m_Name + " " + what); }
    std::string m_Name;
    std::vector<std::string>* m_Log;
};

std::vector<uint8_t> NumberedSectors(size_t sectors)
{
    std::vector<uint8_t> image(sectors * 512, 0);
    for (size_t s = 0; s < sectors; ++s) image[s * 512] = static_cast<uint8_t>(s);
    return image;
}

struct Rig
{
    explicit Rig(size_t sectors, uint32_t deviceKind = 3, uint64_t clockStep = 10)
        : Volume(NumberedSectors(sectors), 512, deviceKind), Clock(clockStep), A("A", &Log), B("B", &Log)
    {}
    EScanResult Run(EScanWindow kind = EScanWindow::Device)
    {
        CScanDriver driver(kind, &Port, &Clock);
        const EScanResult result = driver.Run(&Volume, {&A, &B});
        Last = driver.Display();
        Chunk = driver.ChunkSectors();
        return result;
    }
    std::vector<std::string> Scans() const
    {
        std::vector<std::string> out;
        for (const std::string& line : Log)
            if (line.find(" scan ") != std::string::npos || line.find("wrong") != std::string::npos)
                out.push_back(line);
        return out;
    }
    MemoryVolume Volume;
    SteppingClock Clock;
    FakeUserPort Port;
    std::vector<std::string> Log;
    LoggingFs A;
    LoggingFs B;
    tagScanDisplay Last;
    uint32_t Chunk = 0;
};

TEST(ScanDriver, ReadsInChunksAndFeedsEveryFileSystemInOrder)
{
    Rig rig(1000);
    EXPECT_EQ(rig.Run(), EScanResult::Ok);
    EXPECT_EQ(rig.Scans(),
              (std::vector<std::string>{"A scan 0+512", "B scan 0+512", "A scan 512+488", "B scan 512+488"}));
    EXPECT_EQ(rig.Log.front(), "A begin");
    EXPECT_EQ(rig.Log[1], "B begin");
    EXPECT_EQ(rig.Log[rig.Log.size() - 2], "A end");
    EXPECT_EQ(rig.Log.back(), "B end");
    // The window closes on the finished scan's figures.
    EXPECT_EQ(rig.Last.strPosition, "1000/1000");
    EXPECT_EQ(rig.Last.strProgress, "100.00%");
    // Both file systems counted into the same counters.
    EXPECT_EQ(rig.Last.Stats.dwFatFiles, 4u);
    EXPECT_EQ(rig.A.GetVolume(), &rig.Volume);
    EXPECT_EQ(rig.Port.ProgressTitles, (std::vector<std::string>{"Calculating partition layout..."}));
    EXPECT_EQ(rig.Port.ScanWindows.size(), 1u);
    EXPECT_EQ(rig.Port.ClosedScanWindows, 1);
}

TEST(ScanDriver, FloppyIsReadOneTrackAtATime)
{
    Rig rig(2880, 0);
    EXPECT_EQ(rig.Run(), EScanResult::Ok);
    tagDiskGeometry g{};
    rig.Volume.GetGeometry(&g);
    ASSERT_GT(g.SectorsPerTrack, 0u);
    EXPECT_EQ(rig.Chunk, g.SectorsPerTrack);
    EXPECT_EQ(rig.A.Sectors, 2880);
    EXPECT_EQ(rig.Scans()[2], "A scan " + std::to_string(g.SectorsPerTrack) + "+" + std::to_string(g.SectorsPerTrack));
}

TEST(ScanDriver, OneBadSectorCostsOneSector)
{
    Rig rig(2048);
    rig.Volume.SetBadRange(600, 10); // inside the second chunk
    EXPECT_EQ(rig.Run(), EScanResult::Ok);
    EXPECT_EQ(rig.Last.u64ReadErrors, 10u);
    // Every chunk reaches the scanners, the readable sectors of the spoiled one included.
    EXPECT_EQ(rig.A.Sectors, 2048);
    EXPECT_EQ(rig.Scans()[2], "A scan 512+512");
    for (const std::string& line : rig.Scans()) EXPECT_EQ(line.find("wrong"), std::string::npos) << line;
}

TEST(ScanDriver, NoFileSystemsOrNoVolumeEndAtOnceWithOk)
{
    FakeUserPort port;
    SteppingClock clock(1);
    CScanDriver driver(EScanWindow::Device, &port, &clock);
    MemoryVolume volume(std::vector<uint8_t>(4096));
    EXPECT_EQ(driver.Run(&volume, {}), EScanResult::Ok);
    std::vector<std::string> log;
    LoggingFs fs("A", &log);
    EXPECT_EQ(driver.Run(nullptr, {&fs}), EScanResult::Ok);
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(port.ScanWindows.empty());
}

TEST(ScanDriver, CancelAnswersDecideBetweenKeepingAndThrowingAway)
{
    // Yes: stop now and finish what was collected.
    {
        Rig rig(512 * 40, 3, 250);
        rig.Port.CancelAtPump = 2;
        rig.Port.YesNoCancelAnswers = {EAnswer::Yes};
        EXPECT_EQ(rig.Run(), EScanResult::Ok);
        EXPECT_LT(rig.A.Sectors, 512 * 40);
        EXPECT_EQ(rig.Log.back(), "B end");
        EXPECT_EQ(rig.Port.Texts("yesnocancel"), (std::vector<std::string>{"Continue recovery using collected data?"}));
    }
    // No: stop and empty every file system.
    {
        Rig rig(512 * 40, 3, 250);
        rig.Port.CancelAtPump = 2;
        rig.Port.YesNoCancelAnswers = {EAnswer::No};
        EXPECT_EQ(rig.Run(), EScanResult::Abandoned);
        EXPECT_LT(rig.A.Sectors, 512 * 40);
        EXPECT_EQ(rig.Log.back(), "B begin");
        EXPECT_EQ(rig.Log[rig.Log.size() - 2], "A begin");
    }
    // Cancel: the scan goes on to the end.
    {
        Rig rig(512 * 40, 3, 250);
        rig.Port.CancelAtPump = 2;
        rig.Port.YesNoCancelAnswers = {EAnswer::Cancel};
        EXPECT_EQ(rig.Run(), EScanResult::Ok);
        EXPECT_EQ(rig.A.Sectors, 512 * 40);
        EXPECT_EQ(rig.Port.Texts("yesnocancel").size(), 1u);
    }
}

TEST(ScanDriver, PumpsEvery400MsAndShowsAtMostOncePerSecond)
{
    // The clock moves 100 ms per reading, and the loop reads it a few times per chunk.
    Rig rig(512 * 200, 3, 100);
    ASSERT_EQ(rig.Run(), EScanResult::Ok);
    ASSERT_GT(rig.Port.Updates.size(), 2u);
    EXPECT_GT(rig.Port.Pumps, static_cast<int>(rig.Port.Updates.size()));
    // Updates carry increasing positions at least 1000 ms apart: fewer updates than chunks.
    EXPECT_LT(rig.Port.Updates.size(), 200u);
    for (size_t i = 1; i < rig.Port.Updates.size(); ++i)
        EXPECT_GT(rig.Port.Updates[i].s64Position, rig.Port.Updates[i - 1].s64Position);
    EXPECT_EQ(rig.Port.Updates.back().s64Total, 512 * 200);
    // The last picture before the window closes is the finished scan.
    EXPECT_EQ(rig.Port.Updates.back().s64Position, 512 * 200);
    EXPECT_EQ(rig.Port.Updates.back().strProgress, "100.00%");
    EXPECT_EQ(rig.Port.Updates.back().strPosition, "102400/102400");
}

TEST(ScanDriver, DeepScanWindowShowsFilesFoundAndKeepsItsOwnCounters)
{
    Rig rig(1024);
    ASSERT_EQ(rig.Run(EScanWindow::Deep), EScanResult::Ok);
    const auto rows = CScanDriver::CounterRows(EScanWindow::Deep, rig.Last);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].first, "Files Found:");
    EXPECT_EQ(rows[0].second, "8");
    EXPECT_EQ(rows[1].first, "Reading Error:");
    tagScanDisplay d;
    d.Stats.dwFatFiles = 3;
    d.Stats.dwNtfsFiles = 4;
    const auto device = CScanDriver::CounterRows(EScanWindow::Device, d);
    EXPECT_EQ(device[6].first, "Total Files Found:");
    EXPECT_EQ(device[6].second, "7");
}

TEST(ScanDriver, DeepScanWorkersScanTheReadBlocksWhereTheyLie)
{
    // 40 MiB, a tagged file start every 997 sectors: many more read-ahead blocks than it keeps
    // in memory. The workers scan the blocks themselves; with batches larger than all of them
    // together, the scan would wait for a block its own unfinished batch holds if a batch kept
    // more than the buffers just handed over.
    {
        ScopedRawTypes types({{"tst", "Tagged test file", "VLMTEST0", 2048}}, true);
        ASSERT_EQ(types.Added, 1);
        std::vector<uint8_t> image(40u << 20, 0);
        uint32_t planted = 0;
        for (size_t s = 5; s * 512 < image.size(); s += 997, ++planted) std::memcpy(&image[s * 512], "VLMTEST0", 8);
        MemoryVolume volume(image);
        for (const auto& [threads, batch] :
             {std::pair<uint32_t, size_t>{1, 0}, std::pair<uint32_t, size_t>{2, 64 << 10},
              std::pair<uint32_t, size_t>{2, 16u << 20}})
        {
            SCOPED_TRACE(testing::Message() << threads << " threads, batches of " << batch);
            KRawFileSystem raw;
            if (batch)
                raw.SetScanThreads(threads, batch);
            else
                raw.SetScanThreads(threads);
            FakeUserPort port;
            SteppingClock clock(1);
            CScanDriver driver(EScanWindow::Deep, &port, &clock);
            ASSERT_EQ(driver.Run(&volume, {&raw}), EScanResult::Ok);
            EXPECT_EQ(port.Updates.back().Stats.dwRawFiles, planted);
        }
    }
}

TEST(ScanDriver, RemainingTimeTexts)
{
    // 60 s at sector 100000 of 1000000: 900001 * 60 / 100001 = 540 s.
    EXPECT_EQ(CScanDriver::RemainingTimeText(60, 100000, 1000000), "about 9 minutes");
    // At sector 0 after 5 s: 5000005 s.
    EXPECT_EQ(CScanDriver::RemainingTimeText(5, 0, 1000000), "1388 hours 53 minutes");
    EXPECT_EQ(CScanDriver::RemainingTimeText(0, 500, 1000), "");
    EXPECT_EQ(CScanDriver::RemainingTimeText(10, 900, 1000), "less than 1 minute.");
    // 59.5 s rounds up to a full minute; 3600 s is one hour and no minutes.
    EXPECT_EQ(CScanDriver::RemainingTimeText(119, 1, 1), "about 1 minutes");
    EXPECT_EQ(CScanDriver::RemainingTimeText(3600, 0, 0), "1 hours 0 minutes");
    // An estimate below half a second rounds to nothing.
    EXPECT_EQ(CScanDriver::RemainingTimeText(100000, 999999, 1000000), "");
}

} // namespace

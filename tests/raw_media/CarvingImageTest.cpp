// One carving image with a file of every type the program ships (real files made by common
// tools where they exist, built ones where none does), each laid at a sector boundary between
// runs of junk, scanned with every type at once: each file is found once, as its own type, at
// its sector, with its exact length, and nothing else is found.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "RawScanHarness.h"
#include "SyntheticFiles.h"

namespace {
struct tagPlanted
{
    std::string name, extension;
    std::vector<uint8_t> bytes;
    bool zeroTail = false; // the rest of the last sector is zero (files with no length field)
};

std::vector<tagPlanted> PlantedFiles()
{
    std::vector<tagPlanted> files;
    auto sample = [&](const std::string& path, const std::string& ext) {
        files.push_back({path, ext, RawSample(path)});
    };
    for (const char* f : {"baseline.jpg",   "progressive.jpg", "restart.jpg",  "picture.png",  "animated.gif",
                          "still87.gif",    "truecolor.bmp",   "rle8.bmp",     "icon.ico",     "lzw.tif",
                          "twopage-be.tif", "rle.psd",         "raw.psd",      "picture.webp", "lossless.webp",
                          "alpha.webp",     "picture.heic",    "picture.avif", "bare.mp3",     "clip-vob.mpg",
                          "live.mkv",       "chained.ogg",     "noise.flac",   "stream.flac",  "tagged.flac"})
        sample(std::string("media/") + f, std::string(f).substr(std::string(f).rfind('.') + 1));
    const std::map<std::string, std::string> media = {
        {"tone.wav", "wav"},   {"tagged.mp3", "mp3"}, {"clip.avi", "avi"},   {"clip.mpg", "mpg"}, {"clip.mp4", "mp4"},
        {"clip.mov", "mov"},   {"clip.3gp", "3gp"},   {"tone.m4a", "m4a"},   {"clip.wmv", "wmv"}, {"tone.wma", "wma"},
        {"clip.mkv", "mkv"},   {"clip.webm", "webm"}, {"tone.ogg", "ogg"},   {"clip.ogv", "ogg"}, {"tone.flac", "flac"},
        {"tone.aiff", "aiff"}, {"tone.aac", "aac"},   {"clip.flv", "flv"},   {"clip.m4v", "m4v"}, {"clip.3g2", "3g2"},
        {"tone.wv", "wv"},     {"tone.caf", "caf"},   {"picture.jp2", "jp2"}};
    for (const auto& [f, ext] : media) sample("media/" + f, ext);
    const std::map<std::string, std::string> docs = {
        {"sample.docx", "docx"}, {"sample.xlsx", "xlsx"}, {"sample.pptx", "pptx"},     {"sample.odt", "odt"},
        {"sample.ods", "ods"},   {"sample.odp", "odp"},   {"sample.zip", "zip"},       {"sample.doc", "doc"},
        {"sample.xls", "xls"},   {"sample.ppt", "ppt"},   {"sample.pdf", "pdf"},       {"sample.rar", "rar"},
        {"sample.pst", "pst"},   {"sample.rtf", "rtf"},   {"sample.sqlite", "sqlite"}, {"sample.epub", "epub"}};
    for (const auto& [f, ext] : docs) sample("docs/" + f, ext);
    for (const char* f :
         {"words.7z", "words.bz2", "line.bz2", "words.gz", "mixed-named.gz", "line.gz", "joined.gz", "words.xz",
          "blocks.xz", "filters.xz", "joined.xz", "words.cab", "gnu.tar", "noise-ustar.tar"})
        sample(std::string("archives/") + f, std::string(f).substr(std::string(f).rfind('.') + 1));
    const std::map<std::string, std::string> system = {{"hello.elf", "elf"},    {"libtwice.so", "elf"},
                                                       {"sample.ttf", "ttf"},   {"sample.otf", "otf"},
                                                       {"sample.woff", "woff"}, {"sample.woff2", "woff2"}};
    for (const auto& [f, ext] : system) sample("system/" + f, ext);

    files.push_back({"built cr2", "cr2", TiffLikeFile("II*", "Canon", true, false, 3000)});
    files.push_back({"built nef", "nef", TiffLikeFile("II*", "NIKON CORPORATION", false, false, 3000)});
    files.push_back({"built arw", "arw", TiffLikeFile("II*", "SONY", false, false, 2500)});
    files.push_back({"built dng", "dng", TiffLikeFile("II*", "Canon", false, true, 2000)});
    files.push_back({"built pef", "pef", TiffLikeFile("II*", "PENTAX Corporation", false, false, 2000)});
    files.push_back({"built orf", "orf", TiffLikeFile("IIRO", "OLYMPUS IMAGING CORP.", false, false, 2000)});
    files.push_back({"built raf", "raf", RafFile()});
    files.push_back({"built cur", "cur", CursorFromIcon(RawSample("media/icon.ico"))});
    files.push_back({"built exe", "exe", PeFile(false)});
    files.push_back({"built dll", "dll", PeFile(true)});
    files.push_back({"built hive", "dat", RegistryHive()});
    files.push_back({"built lnk", "lnk", ShortcutFile()});
    files.push_back({"built midi", "mid", MidiFile()});
    files.push_back({"built djvu", "djvu", DjvuFile()});
    files.push_back({"built amr", "amr", AmrFile(), true});
    files.push_back({"built emf", "emf", EmfFile()});
    files.push_back({"built evtx", "evtx", EventLog()});
    files.push_back({"built kdbx", "kdbx", KdbxFile()});

    const std::string mail = "From: Ann <ann@example.org>\nTo: bob@example.net\nSubject: Minutes\n"
                             "Date: Tue, 15 Jun 2021 09:40:00 +0200\n\nThe minutes follow, line after line.\n";
    const std::string html = "<!DOCTYPE html>\n<html><body><p>A page of the carving image.</p></body></html>\n";
    std::string csv = "name,size,kind\n";
    for (int i = 0; i < 40; ++i) csv += "file" + std::to_string(i) + ".txt," + std::to_string(i * 37) + ",text\n";
    for (const auto& [ext, text] : std::map<std::string, std::string>{{"eml", mail}, {"html", html}, {"csv", csv}})
        files.push_back({"text " + ext, ext, std::vector<uint8_t>(text.begin(), text.end()), true});
    return files;
}
} // namespace

TEST(CarvingImage, EveryTypeFoundOnceExactWithEveryTypeOn)
{
    const std::vector<tagPlanted> files = PlantedFiles();
    std::vector<uint8_t> image = Junk(16 * 512, 90);
    std::vector<int64_t> sectors;
    for (size_t i = 0; i < files.size(); ++i)
    {
        ASSERT_FALSE(files[i].bytes.empty()) << files[i].name;
        sectors.push_back(static_cast<int64_t>(image.size() / 512));
        Plant(image, image.size(), files[i].bytes);
        if (files[i].zeroTail) image.resize((image.size() + 511) / 512 * 512);
        // Junk follows at once: an end finder that overshoots shows.
        const std::vector<uint8_t> junk = Junk(4 * 512 - image.size() % 512, static_cast<uint32_t>(100 + i));
        image.insert(image.end(), junk.begin(), junk.end());
    }
    const std::vector<RawTypePtr> types = AllTypes();
    const auto found = ScanImage(image, types);
    std::map<int64_t, std::vector<tagFoundFile>> bySector;
    for (const tagFoundFile& f : found) bySector[f.firstSector].push_back(f);
    for (size_t i = 0; i < files.size(); ++i)
    {
        const auto hits = bySector[sectors[i]];
        bySector.erase(sectors[i]);
        EXPECT_EQ(hits.size(), 1u) << files[i].name << " found " << hits.size() << " times";
        if (hits.size() != 1) continue;
        EXPECT_EQ(hits[0].extension, files[i].extension) << files[i].name;
        EXPECT_EQ(hits[0].size, static_cast<int64_t>(files[i].bytes.size())) << files[i].name;
    }
    std::string extra;
    for (const auto& [sector, hits] : bySector)
        for (const tagFoundFile& f : hits) extra += f.extension + "@" + std::to_string(sector) + " ";
    EXPECT_TRUE(extra.empty()) << "found where nothing was planted: " << extra;
}

// Opening MFT sources: boot sectors, finding the volume inside MBR and GPT disk images,
// record and cluster positions, the dump file's trailers, the dump writer, and every kind of
// bad input ending in a clear message instead of a hang, a crash or a silent empty tree.
#include "engine/mft_volume.h"
#include "tests/mft/mft_test_util.h"
#include "tests/mft/synth_volume.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace qz;
using namespace qz::test;
using RunList = std::vector<struct qz::test::Run>;

namespace {

void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    std::memcpy(&b[at], &v, 4);
}
void Put64(std::vector<uint8_t>& b, size_t at, uint64_t v) {
    std::memcpy(&b[at], &v, 8);
}

// A volume with folders and files of known sizes in a few runs.
SynthVolume SmallVolume(RunList runs = {{64, 16}}, uint32_t bpc = 4096, uint32_t bpr = 1024) {
    SynthVolume v(bpc, bpr, 2048, std::move(runs));
    v.PlaceMetadata(1000, 1100);
    v.AddFolder(30, 5, u"docs");
    v.AddFolder(31, 30, u"deep");
    v.AddFile(32, 30, u"a.txt", 100);
    v.AddFile(33, 31, u"b.txt", 200);
    v.AddFile(34, 5, u"c.txt", 300);
    return v;
}

std::string Write(TempDir& tmp, const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string p = tmp / name;
    WriteFileBytes(p, bytes.data(), bytes.size());
    return p;
}

std::string ConstructionError(const std::string& path) {
    try {
        TNTFS_FILES s(Utf8ToUtf16(path));
    } catch (const TScanError& e) {
        return e.what();
    }
    return "";
}

// The $MFT data of a composed volume, in VCN order.
std::vector<uint8_t> MftData(const SynthVolume& v, const std::vector<uint8_t>& img) {
    std::vector<uint8_t> out(v.Records() * v.RecordSize());
    for (size_t i = 0; i < out.size(); ++i) out[i] = img[v.MftPosition(i)];
    return out;
}

} // namespace

// ---------------------------------------------------------------- geometry

TEST(MftGeometry, BootSectorsOfEveryClusterSize) {
    struct Case {
        const char* file;
        uint32_t sector, cluster, record;
        uint64_t mftLcn;
    };
    const Case cases[] = {
        {"512.boot", 512, 512, 1024, 0x0AA2AA},   {"4k.boot", 512, 4096, 1024, 0x0C0000},
        {"4kn.boot", 4096, 4096, 4096, 0x12AA},   {"64k.boot", 512, 65536, 1024, 0xC000},
        {"128k.boot", 512, 131072, 1024, 0x6000}, {"nobootcode.boot", 512, 4096, 1024, 0x303},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto b = ReadFileBytes(DataPath(std::string("ntfs/dfir_ntfs/") + c.file));
        ASSERT_EQ(b.size(), 512u);
        TNtfsBootSector boot;
        ASSERT_TRUE(DecodeNtfsBootSector(b.data(), b.size(), boot));
        EXPECT_EQ(boot.BytesPerSector, c.sector);
        EXPECT_EQ(boot.BytesPerCluster, c.cluster);
        EXPECT_EQ(boot.BytesPerFileRecordSegment, c.record);
        EXPECT_EQ(boot.MftStartLcn, c.mftLcn);
        TNTFS_VOLUME_DATA_BUFFER v = BootSectorVolumeData(boot);
        EXPECT_EQ(v.TotalClusters, int64_t(boot.NumberSectors * c.sector / c.cluster));
        EXPECT_EQ(v.ClustersPerFileRecordSegment,
                  c.record >= c.cluster ? c.record / c.cluster : 0u);
    }
    // Not NTFS, or NTFS with impossible geometry.
    auto b = ReadFileBytes(DataPath("ntfs/dfir_ntfs/4k.boot"));
    TNtfsBootSector boot;
    auto bad = b;
    std::memcpy(bad.data() + 3, "FAT32   ", 8);
    EXPECT_FALSE(DecodeNtfsBootSector(bad.data(), bad.size(), boot));
    bad = b;
    bad[11] = 44, bad[12] = 1; // 300-byte sectors
    EXPECT_FALSE(DecodeNtfsBootSector(bad.data(), bad.size(), boot));
    bad = b;
    bad[0x40] = 0; // no record size
    EXPECT_FALSE(DecodeNtfsBootSector(bad.data(), bad.size(), boot));
    bad = b;
    Put64(bad, 0x30, ~0ull >> 1); // $MFT beyond the volume
    EXPECT_FALSE(DecodeNtfsBootSector(bad.data(), bad.size(), boot));
}

TEST(MftGeometry, RecordAndClusterPositions) {
    auto s = TNTFS_FILES::CreateSlow(u"unused");
    s->FVolData.BytesPerCluster = 4096;
    s->FVolData.BytesPerFileRecordSegment = 1024;
    // Runs: 100 clusters at 786432, then 50 clusters 1000 clusters further on (relative).
    s->FMFTRuns.DataRuns = {{100, 786432, false}, {50, 1000, true}};
    s->FMFTExtents = {{0, 100, 786432}, {100, 50, 787432}};
    s->FMFTExtentsAvailable = true;
    TRunPos p = GetMFTRecordPos(*s, s->FMFTRuns, 5);
    EXPECT_EQ(p.Position, 786432ll * 4096 + 5120);
    EXPECT_EQ(p.Count, (100 * 4096 - 5120) / 1024);
    TRunPos p2 = GetMFTRecordPos2(*s, 5);
    EXPECT_EQ(p2.Position, p.Position);
    EXPECT_EQ(p2.Count, p.Count);
    // Record 401 is in the second run: cluster 100, one record in.
    p = GetMFTRecordPos(*s, s->FMFTRuns, 401);
    EXPECT_EQ(p.Position, 787432ll * 4096 + 1024);
    EXPECT_EQ(p.Count, (50 * 4096 - 1024) / 1024);
    EXPECT_EQ(GetMFTRecordPos2(*s, 401).Position, p.Position);
    // Past the runs: not found, position 1.
    EXPECT_EQ(GetMFTRecordPos(*s, s->FMFTRuns, 600).Position, kPosNotFound);
    EXPECT_EQ(GetMFTRecordPos2(*s, 600).Position, kPosNotFound);
    EXPECT_FALSE(GetMFTRecordPos2(*s, ~0ull).Found());
    // Clusters.
    TRunPos c = GetClusterPos(*s, s->FMFTRuns, 120);
    EXPECT_EQ(c.Position, (787432ll + 20) * 4096);
    EXPECT_EQ(c.Count, 30);
    EXPECT_EQ(GetClusterPos2(*s, 120).Position, c.Position);
    EXPECT_EQ(GetClusterPos2(*s, 120).Count, 30);
    EXPECT_FALSE(GetClusterPos(*s, s->FMFTRuns, 150).Found());
    EXPECT_FALSE(GetClusterPos2(*s, -1).Found());

    // 512-byte clusters and 1 KiB records: record r at cluster 2r, offset 0.
    s->FVolData.BytesPerCluster = 512;
    s->FMFTRuns.DataRuns = {{1000, 0, false}};
    for (uint64_t r : {0ull, 1ull, 7ull, 499ull}) {
        p = GetMFTRecordPos(*s, s->FMFTRuns, r);
        EXPECT_EQ(p.Position, int64_t(2 * r * 512));
        EXPECT_EQ(p.Count, int64_t((1000 - 2 * r) * 512 / 1024));
    }
    // A damaged run whose cluster number overflows a position is "not found".
    s->FVolData.BytesPerCluster = 4096;
    s->FMFTRuns.DataRuns = {{10, INT64_MAX / 2, false}};
    EXPECT_FALSE(GetMFTRecordPos(*s, s->FMFTRuns, 1).Found());
}

// ---------------------------------------------------------------- finding the volume

TEST(MftLocate, VolumeInsideMbrLogicalAndGptPartitions) {
    TempDir tmp;
    SynthVolume v = SmallVolume();
    const auto vol = v.Image();
    auto disk = [&](uint64_t startSector) {
        std::vector<uint8_t> d(startSector * 512, 0);
        d.insert(d.end(), vol.begin(), vol.end());
        d[510] = 0x55, d[511] = 0xAA;
        return d;
    };
    // MBR: an empty FAT partition first, the NTFS one second.
    auto mbr = disk(4096);
    mbr[446 + 4] = 0x0C, Put32(mbr, 446 + 8, 64), Put32(mbr, 446 + 12, 100);
    mbr[462 + 4] = 0x07, Put32(mbr, 462 + 8, 4096),
              Put32(mbr, 462 + 12, uint32_t(vol.size() / 512));
    // MBR with an extended partition at 2048 whose first logical partition starts 2048 further.
    auto ext = disk(4096);
    ext[446 + 4] = 0x0F, Put32(ext, 446 + 8, 2048), Put32(ext, 446 + 12, 100000);
    ext[2048 * 512 + 446 + 4] = 0x07, Put32(ext, 2048 * 512 + 446 + 8, 2048);
    ext[2048 * 512 + 510] = 0x55, ext[2048 * 512 + 511] = 0xAA;
    // GPT: protective MBR, header at LBA 1, entries at LBA 2, the partition at LBA 2048.
    auto gpt = disk(2048);
    gpt[446 + 4] = 0xEE, Put32(gpt, 446 + 8, 1);
    std::memcpy(&gpt[512], "EFI PART", 8);
    Put64(gpt, 512 + 72, 2);
    Put32(gpt, 512 + 80, 4);
    Put32(gpt, 512 + 84, 128);
    gpt[1024] = 0xA2; // a type GUID
    Put64(gpt, 1024 + 32, 2048);
    struct Case {
        const char* name;
        std::vector<uint8_t>* bytes;
        uint64_t offset;
    };
    for (Case c : {Case{"mbr", &mbr, 4096 * 512}, Case{"logical", &ext, 4096 * 512},
                   Case{"gpt", &gpt, 2048 * 512}}) {
        SCOPED_TRACE(c.name);
        std::string path = Write(tmp, c.name, *c.bytes);
        TNtfsLocation loc = LocateNtfsVolume(path);
        ASSERT_TRUE(loc.IsNtfs);
        EXPECT_TRUE(loc.InPartition);
        EXPECT_EQ(loc.Offset, c.offset);
        auto s = ScanMft(path);
        ASSERT_FALSE(s->WasError) << s->ErrorMessage;
        EXPECT_EQ(s->FVolumeOffset, int64_t(c.offset));
        PMFT_RECORD b = FindRecordByPath(s->MFTRoot, u"docs\\deep\\b.txt");
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->FileSize, 200u);
    }
    // A disk image whose partitions hold no NTFS is no volume (and no dump either).
    auto none = mbr;
    std::fill(none.begin() + 4096 * 512, none.end(), 0);
    std::string path = Write(tmp, "none", none);
    EXPECT_FALSE(LocateNtfsVolume(path).IsNtfs);
    EXPECT_NE(ConstructionError(path).find("neither an NTFS volume"), std::string::npos);
}

TEST(MftLocate, ReadAccessIsReportedWithTheSystemsReason) {
    std::string why;
    EXPECT_FALSE(CanReadVolume("/nonexistent/device", &why));
    EXPECT_EQ(why, "No such file or directory");
    TempDir tmp;
    EXPECT_FALSE(CanReadVolume(tmp.path(), &why)); // a folder cannot be read as a volume
    std::string f = tmp / "f";
    std::vector<uint8_t> sector(512, 1);
    WriteFileBytes(f, sector.data(), sector.size());
    EXPECT_TRUE(CanReadVolume(f, &why));
    WriteFileBytes(f, sector.data(), 10);
    EXPECT_FALSE(CanReadVolume(f, &why));
}

// ---------------------------------------------------------------- bad input

TEST(MftFaults, ConstructionErrorsNameTheProblem) {
    TempDir tmp;
    SynthVolume v = SmallVolume();
    auto img = v.Image();
    auto notNtfs = img;
    std::memcpy(notNtfs.data() + 3, "MSDOS5.0", 8);
    auto outside = SmallVolume({{64, 16}, {64, 5000}}).Image(); // the volume has 2048 clusters
    auto badTrailer = MftData(v, img);
    badTrailer.insert(badTrailer.end(), {'V', 'O', 'L', 'D', 'A', 'T', 'A', '2'});
    TNTFS_VOLUME_DATA_BUFFER vd{};
    vd.BytesPerFileRecordSegment = 1000;
    vd.BytesPerCluster = 4096;
    badTrailer.insert(badTrailer.end(), reinterpret_cast<uint8_t*>(&vd),
                      reinterpret_cast<uint8_t*>(&vd) + 96);
    badTrailer.push_back('C');
    auto noUpcase = img;
    std::memset(noUpcase.data() + v.MftPosition(10 * 1024), 0, 1024);

    struct Case {
        std::string path;
        const char* expect;
    };
    const Case cases[] = {
        {"/nonexistent/image.img", "No such file or directory"},
        {tmp.path(), "Could not read"},
        {"C", "drive letters do not exist"},
        {Write(tmp, "empty", {}), "is empty"},
        {Write(tmp, "notntfs", notNtfs), "neither an NTFS volume or image nor an MFT dump file"},
        {Write(tmp, "outside", outside), "point outside the volume"},
        {Write(tmp, "trailer.mft", badTrailer), "damaged volume-data trailer"},
        {Write(tmp, "noupcase", noUpcase), "Could not decode first MFT Upcase record!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string err = ConstructionError(c.path);
        EXPECT_NE(err.find(c.expect), std::string::npos) << err;
    }
}

TEST(MftFaults, ShortSourcesEndWithAMessageAndKeepWhatWasRead) {
    TempDir tmp;
    // 1000 records; files from 24 on.
    SynthVolume v(4096, 1024, 1024, {{250, 16}});
    v.PlaceMetadata(700, 740);
    for (uint64_t r = 24; r < 1000; ++r)
        v.AddFile(r, 5, u"f" + AsciiToUtf16(std::to_string(r)), 10);
    auto img = v.Image();
    auto data = MftData(v, img);

    // An image cut inside the $MFT: reading the volume delivers no data there.
    auto cut = img;
    cut.resize(16 * 4096 + 600 * 1024);
    // A bare dump cut short (record 0 still says how big $MFT is) and a dump whose trailer
    // claims more records than it holds.
    auto bare = data;
    bare.resize(600 * 1024);
    auto claims = data;
    claims.resize(600 * 1024);
    TNTFS_VOLUME_DATA_BUFFER vd{};
    vd.BytesPerFileRecordSegment = 1024;
    vd.BytesPerCluster = 4096;
    vd.MftValidDataLength = 1000 * 1024;
    claims.insert(claims.end(), {'V', 'O', 'L', 'D', 'A', 'T', 'A', '2'});
    claims.insert(claims.end(), reinterpret_cast<uint8_t*>(&vd),
                  reinterpret_cast<uint8_t*>(&vd) + 96);
    claims.push_back('C');
    // A volume whose $MFT says it holds more than its runs cover.
    SynthVolume big(4096, 1024, 1024, {{250, 16}});
    big.PlaceMetadata(700, 740);
    for (uint64_t r = 24; r < 600; ++r)
        big.AddFile(r, 5, u"f" + AsciiToUtf16(std::to_string(r)), 10);
    big.Set(0, big.Builder()
                   .StdInfo(SynthVolume::kFt, SynthVolume::kFt, SynthVolume::kFt, 6)
                   .FileName(5, u"$MFT")
                   .NonResidentData(2000 * 1024, EncodeRuns({{250, 16}}))
                   .Build());

    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        const char* expect;
        uint64_t kept; // files f24 .. f<kept-1> are in the tree
    };
    const Case cases[] = {
        {"cut.img", cut, "the device or image ends there", 600},
        {"bare.mft", bare, "Did not read correct number of bytes", 600},
        {"claims.mft", claims, "Did not read correct number of bytes", 600},
        {"big.img", big.Image(), "lies outside the data runs of $MFT", 600},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = Write(tmp, c.name, c.bytes);
        auto s = ScanMft(path);
        EXPECT_TRUE(s->WasError);
        EXPECT_NE(s->ErrorMessage.find(c.expect), std::string::npos) << s->ErrorMessage;
        ASSERT_NE(s->MFTRoot, nullptr);
        EXPECT_EQ(s->MFTRoot->SubFoldersNumFiles(), int(c.kept - 24 + 3))
            << "files and $MFT, $Bitmap, $UpCase";
        EXPECT_NE(FindRecordByPath(s->MFTRoot, u"f" + AsciiToUtf16(std::to_string(c.kept - 1))),
                  nullptr);
        EXPECT_FALSE(s->FVolumeHandle.valid());
        EXPECT_FALSE(s->FMFTFile.valid());
        // A second pass over the closed source fails cleanly.
        s->ProcessMFTRecords();
        EXPECT_TRUE(s->WasError);
        EXPECT_EQ(s->MFTRoot, nullptr);
    }
}

// ---------------------------------------------------------------- dump files

TEST(MftDumps, TrailersRestoreTheVolumeDataAndTheDriveLetter) {
    TempDir tmp;
    SynthVolume v = SmallVolume({{128, 16}}, 512, 1024);
    auto img = v.Image();
    std::string imgPath = Write(tmp, "vol.img", img);
    std::string dump = tmp / "vol.mft";
    TNTFS_VOLUME_DATA_BUFFER vd;
    {
        TNTFS_FILES s(Utf8ToUtf16(imgPath));
        vd = s.FVolData;
        WriteMFTDumpFile(s, dump);
    }
    const auto data = MftData(v, img);
    auto bytes = ReadFileBytes(dump);
    ASSERT_EQ(bytes.size(), data.size() + 105);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin()));
    EXPECT_EQ(vd.BytesPerCluster, 512u);
    EXPECT_EQ(vd.MftValidDataLength, int64_t(data.size()));

    auto withLetter = [&](uint8_t letter) {
        auto b = bytes;
        b.back() = letter;
        return b;
    };
    auto older = data; // "VOLDATA" and the volume data, no letter
    older.insert(older.end(), {'V', 'O', 'L', 'D', 'A', 'T', 'A'});
    older.insert(older.end(), reinterpret_cast<uint8_t*>(&vd),
                 reinterpret_cast<uint8_t*>(&vd) + 96);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char16_t* root;
        bool volData;
        uint32_t cluster;
    };
    const Case cases[] = {
        {"voldata2.mft", withLetter('d'), u"D:", true, 512},
        {"slash.mft", withLetter('/'), u"C:", true, 512},
        {"voldata.mft", older, u"C:", true, 512},
        {"bare.mft", data, u"C:", false, 4096},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = ScanMft(Write(tmp, c.name, c.bytes));
        ASSERT_FALSE(s->WasError) << s->ErrorMessage;
        EXPECT_EQ(s->FVOLDATAFLAG, c.volData);
        EXPECT_EQ(s->FVolData.BytesPerCluster, c.cluster);
        EXPECT_EQ(s->FVolData.BytesPerFileRecordSegment, 1024u);
        EXPECT_EQ(s->NumMFTRecords, int64_t(v.Records()));
        EXPECT_EQ(s->MFTRoot->Name(), c.root);
        PMFT_RECORD b = FindRecordByPath(s->MFTRoot, u"docs\\deep\\b.txt");
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(GetRecordPath(b), std::u16string(c.root) + u"\\docs\\deep\\b.txt");
    }
}

TEST(MftDumps, BareTableOf4KiBRecordsTakesItsRecordSizeFromRecordZero) {
    TempDir tmp;
    SynthVolume v = SmallVolume({{64, 16}}, 4096, 4096);
    auto img = v.Image();
    auto s = ScanMft(Write(tmp, "4k.mft", MftData(v, img)));
    ASSERT_FALSE(s->WasError) << s->ErrorMessage;
    EXPECT_EQ(s->FVolData.BytesPerFileRecordSegment, 4096u);
    EXPECT_NE(FindRecordByPath(s->MFTRoot, u"docs\\a.txt"), nullptr);
    // The same volume scanned as an image reads its 4 KiB records from the boot sector.
    auto vol = ScanMft(Write(tmp, "4k.img", img));
    ASSERT_FALSE(vol->WasError) << vol->ErrorMessage;
    EXPECT_EQ(vol->FVolData.BytesPerFileRecordSegment, 4096u);
    EXPECT_EQ(TreeOf(*s).size(), TreeOf(*vol).size());
}

TEST(MftDumps, ExtentsAreCopiedInVcnOrderAndTheDumpEndsAtTheFileSize) {
    TempDir tmp;
    // Three extents whose clusters lie in the opposite order on the volume.
    SynthVolume v = SmallVolume({{8, 600}, {8, 300}, {8, 16}});
    auto img = v.Image();
    std::string imgPath = Write(tmp, "vol.img", img);
    std::string dump = tmp / "vol.mft";
    std::vector<std::pair<int64_t, int64_t>> progress;
    {
        TNTFS_FILES s(Utf8ToUtf16(imgPath));
        ASSERT_EQ(s.FMFTExtents.size(), 3u);
        s.OnProgress = [&](int, int pct, int64_t done, int64_t total) {
            progress.push_back({pct, done});
            EXPECT_LE(done, total);
        };
        WriteMFTDumpFile(s, dump);
    }
    auto data = MftData(v, img);
    auto bytes = ReadFileBytes(dump);
    ASSERT_EQ(bytes.size(), data.size() + 105);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin()));
    EXPECT_EQ(std::memcmp(bytes.data() + data.size(), "VOLDATA2", 8), 0);
    ASSERT_FALSE(progress.empty());
    for (size_t i = 1; i < progress.size(); ++i)
        EXPECT_GE(progress[i].first, progress[i - 1].first);
    EXPECT_EQ(progress.back().first, 100);
    EXPECT_EQ(progress.back().second, int64_t(data.size()));
}

TEST(MftDumps, WriterFailuresLeaveNoFileBehind) {
    TempDir tmp;
    SynthVolume v = SmallVolume();
    auto img = v.Image();
    // An image cut inside $MFT: the copy stops with an error instead of going round.
    auto cut = img;
    cut.resize(16 * 4096 + 20 * 1024);
    std::string out = tmp / "cut.mft";
    std::ofstream(out) << "an earlier dump";
    {
        TNTFS_FILES s(Utf8ToUtf16(Write(tmp, "cut.img", cut)));
        try {
            WriteMFTDumpFile(s, out);
            ADD_FAILURE() << "no error";
        } catch (const TScanError& e) {
            EXPECT_NE(std::string(e.what()).find("Could not read $MFT"), std::string::npos)
                << e.what();
        }
    }
    // The earlier file of that name is kept as it was, and no temporary file is left.
    std::stringstream kept;
    kept << std::ifstream(out).rdbuf();
    EXPECT_EQ(kept.str(), "an earlier dump");
    for (const auto& e : std::filesystem::directory_iterator(tmp.path()))
        if (e.path().filename() != "cut.mft") {
            EXPECT_EQ(e.path().filename().string().find("cut.mft"), std::string::npos) << e.path();
        }
    // A dump is not a volume; a folder that does not exist cannot take the file.
    std::string imgPath = Write(tmp, "vol.img", img);
    std::string dump = tmp / "ok.mft";
    {
        TNTFS_FILES s(Utf8ToUtf16(imgPath));
        WriteMFTDumpFile(s, dump);
        EXPECT_THROW(WriteMFTDumpFile(s, tmp / "missing/folder/x.mft"), TScanError);
    }
    TNTFS_FILES d(Utf8ToUtf16(dump));
    std::ostringstream sink;
    EXPECT_THROW(SaveFileToStream(d, *d.GetMFTRecord(), sink, true), TScanError);
    EXPECT_TRUE(sink.str().empty());
}

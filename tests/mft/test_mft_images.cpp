// Real NTFS images made by Windows, mkntfs and the Linux ntfs3 driver, scanned as volumes:
// the volume is found (also inside a partitioned disk image), $MFT is located from its boot
// sector and record 0 (two and six runs), every in-use item of The Sleuth Kit's listing is in
// the tree with its size under the right folder and nothing else is; a dump written from the
// image holds exactly the $MFT data and reads back as the same tree.
#include "engine/mft_volume.h"
#include "tests/mft/mft_test_util.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

using namespace qz;
using namespace qz::test;

namespace {

struct ImageCase {
    const char* image;   // under tests/data/ntfs
    const char* unpack;  // command writing the unpacked image to stdout
    uint64_t offset;     // byte offset of the NTFS volume in the image
    const char* listing; // fls -r -p -l listing
    size_t extents;      // runs of $MFT
    uint32_t cluster;
};

const ImageCase kImages[] = {
    {"dfir_ntfs/ntfs3.raw.gz", "gzip -dc", 0, "dfir_ntfs/ntfs3.fls-r-p-l.UTC.txt", 1, 4096},
    {"dfir_ntfs/ntfs3_attrlist.raw.gz", "gzip -dc", 0, "dfir_ntfs/ntfs3_attrlist.fls-r-p-l.UTC.txt",
     1, 4096},
    {"dfir_ntfs/ntfs_index.raw.gz", "gzip -dc", 65536, "dfir_ntfs/ntfs_index.fls-r-p-l.UTC.txt", 1,
     2048},
    {"ColinFinck-ntfs/testfs1.gz", "gzip -dc", 0, "ColinFinck-ntfs/testfs1.fls-r-p-l.UTC.txt", 6,
     512},
    {"go-ntfs/charlie.dd.bz2", "bzip2 -dc", 0, "go-ntfs/charlie.fls-r-p-l.UTC.txt", 1, 4096},
    {"dftt-7-undel/7-undel-ntfs.zip", "unzip -p", 0, "dftt-7-undel/7-ntfs-undel.fls-r-p-l.UTC.txt",
     2, 1024},
};

class RealImages : public ::testing::Test {
protected:
    // The unpacked image, or "" when its unpacker is missing.
    std::string Unpack(const ImageCase& c) {
        std::string tool = std::string(c.unpack).substr(0, std::string(c.unpack).find(' '));
        if (!HaveProgram(tool)) return "";
        std::string img = tmp / (std::to_string(n++) + ".img");
        EXPECT_EQ(qz::test::Run(std::string(c.unpack) + " '" +
                                DataPath(std::string("ntfs/") + c.image) + "' > '" + img + "'"),
                  0);
        return img;
    }
    TempDir tmp;
    int n = 0;
};

void ExpectMatchesListing(TNTFS_FILES& s, const std::string& listing) {
    auto want = ReadFlsListing(listing);
    ASSERT_FALSE(want.empty()) << listing;
    auto have = TreeOf(s);
    have.erase("");
    for (auto& [p, e] : want) {
        auto it = have.find(p);
        if (it == have.end()) {
            ADD_FAILURE() << "missing " << p;
            continue;
        }
        EXPECT_EQ(it->second.dir, e.dir) << p;
        if (!e.dir) {
            EXPECT_EQ(it->second.size, e.size) << p;
        }
    }
    for (auto& [p, g] : have)
        if (!want.count(p)) ADD_FAILURE() << "not in the listing: " << p;
}

} // namespace

TEST_F(RealImages, ScannedAsVolumesTheyMatchTheirListings) {
    for (const ImageCase& c : kImages) {
        SCOPED_TRACE(c.image);
        std::string img = Unpack(c);
        if (img.empty()) continue;
        TNtfsLocation loc = LocateNtfsVolume(img);
        ASSERT_TRUE(loc.IsNtfs) << loc.Error;
        EXPECT_EQ(loc.Offset, c.offset);
        EXPECT_EQ(loc.InPartition, c.offset != 0);

        auto s = ScanMft(img);
        ASSERT_FALSE(s->WasError) << s->ErrorMessage;
        EXPECT_EQ(s->FVolData.BytesPerCluster, c.cluster);
        EXPECT_EQ(s->FMFTExtents.size(), c.extents);
        EXPECT_FALSE(s->FVolumeHandle.valid()) << "the pass closes the volume";
        ASSERT_NE(s->MFTRoot, nullptr);
        EXPECT_EQ(s->MFTRoot->Name(), u"C:");
        ExpectMatchesListing(*s, DataPath(std::string("ntfs/") + c.listing));
    }
}

TEST_F(RealImages, HundredNamesBehindAnAttributeListCountTheirSpaceOnce) {
    std::string img = Unpack(kImages[1]);
    if (img.empty()) GTEST_SKIP() << "gzip missing";
    auto s = ScanMft(img);
    ASSERT_FALSE(s->WasError) << s->ErrorMessage;
    int names = 0, counted = 0;
    uint64_t size = 0;
    for (PMFT_RECORD r : s->FFileList) {
        if (!r || r->RecNo != 27) continue;
        ++names;
        counted += !r->DoNotCountFlag;
        if (size == 0) size = r->FileSize;
        EXPECT_EQ(r->FileSize, size) << "every name shows the file's size";
    }
    EXPECT_EQ(names, 100);
    EXPECT_EQ(counted, 1);
}

TEST_F(RealImages, FreeClustersAgreeWithNtfsinfo) {
    if (!HaveProgram("ntfsinfo")) GTEST_SKIP() << "ntfsinfo (ntfs-3g) is not installed";
    for (const ImageCase& c : kImages) {
        if (c.offset != 0) continue; // ntfsinfo reads volumes from their first byte only
        SCOPED_TRACE(c.image);
        std::string img = Unpack(c);
        if (img.empty()) continue;
        std::string out;
        if (qz::test::Run("ntfsinfo -m -f '" + img + "' 2>/dev/null", &out) != 0) continue;
        size_t at = out.find("Free Clusters:");
        ASSERT_NE(at, std::string::npos) << out;
        TNTFS_FILES s(Utf8ToUtf16(img));
        EXPECT_EQ(s.FVolData.FreeClusters, std::stoll(out.substr(at + 14)));
        EXPECT_GT(s.FVolData.TotalClusters, s.FVolData.FreeClusters);
    }
}

TEST_F(RealImages, DumpHoldsTheMftDataAndReadsBackAsTheSameTree) {
    const bool icat = HaveProgram("icat");
    for (const ImageCase& c : kImages) {
        SCOPED_TRACE(c.image);
        std::string img = Unpack(c);
        if (img.empty()) continue;
        std::string dump = tmp / "out.mft";
        int64_t dataBytes;
        TNTFS_VOLUME_DATA_BUFFER vol;
        {
            TNTFS_FILES s(Utf8ToUtf16(img));
            std::vector<int> percents;
            s.OnProgress = [&](int, int pct, int64_t done, int64_t total) {
                percents.push_back(pct);
                EXPECT_LE(done, total);
            };
            WriteMFTDumpFile(s, dump);
            ASSERT_FALSE(percents.empty());
            EXPECT_EQ(percents.back(), 100);
            dataBytes = int64_t(s.FMFT.FileSize);
            vol = s.FVolData;
        }
        auto bytes = ReadFileBytes(dump);
        ASSERT_EQ(int64_t(bytes.size()), dataBytes + 105);
        EXPECT_EQ(std::memcmp(bytes.data() + dataBytes, "VOLDATA2", 8), 0);
        EXPECT_EQ(std::memcmp(bytes.data() + dataBytes + 8, &vol, 96), 0);
        EXPECT_EQ(bytes.back(), 'C');
        if (icat) {
            std::string cut = tmp / "icat.mft";
            ASSERT_EQ(qz::test::Run("icat -o " + std::to_string(c.offset / 512) + " '" + img +
                                    "' 0 > '" + cut + "'"),
                      0);
            auto want = ReadFileBytes(cut);
            ASSERT_EQ(int64_t(want.size()), dataBytes);
            EXPECT_TRUE(std::equal(want.begin(), want.end(), bytes.begin()))
                << "dump data differs from icat's";
        }
        auto fromImage = ScanMft(img);
        auto fromDump = ScanMft(dump);
        ASSERT_FALSE(fromDump->WasError) << fromDump->ErrorMessage;
        EXPECT_EQ(fromDump->FVolData.BytesPerCluster, c.cluster);
        auto a = TreeOf(*fromImage), b = TreeOf(*fromDump);
        EXPECT_EQ(a, b) << TreeDiff(a, b);
    }
}

TEST_F(RealImages, MountPointRootGivesLinuxPaths) {
    std::string img = Unpack(kImages[0]);
    if (img.empty()) GTEST_SKIP() << "gzip missing";
    auto s = ScanMft(img, u"/mnt/volume");
    ASSERT_FALSE(s->WasError) << s->ErrorMessage;
    ASSERT_NE(s->MFTRoot, nullptr);
    EXPECT_EQ(s->MFTRoot->Name(), u"/mnt/volume");
    size_t checked = 0;
    for (PMFT_RECORD r : s->FFileList) {
        if (!r || r == s->MFTRoot) continue;
        std::u16string p = GetRecordPath(r);
        EXPECT_EQ(p.rfind(u"/mnt/volume/", 0), 0u) << Utf16ToUtf8(p);
        EXPECT_EQ(p.find(u'\\'), std::u16string::npos) << Utf16ToUtf8(p);
        ++checked;
    }
    EXPECT_GT(checked, 10u);
}

TEST_F(RealImages, DamagedFolderRecordsKeepWhatLiesBelowThem) {
    // testfs1: folder many_subdirs (record 68) holds 512 subfolders. One flipped byte in its
    // signature, or zeros over records 60 to 99, takes its record away: what lies below it is
    // gathered under the orphan folder, nothing else changes, and the scan says so.
    const ImageCase& c = kImages[3];
    std::string img = Unpack(c);
    if (img.empty()) GTEST_SKIP() << "gzip missing";
    auto healthy = ScanMft(img);
    ASSERT_FALSE(healthy->WasError) << healthy->ErrorMessage;
    EXPECT_EQ(healthy->OrphanFolder, nullptr);
    EXPECT_TRUE(healthy->AnomalyTexts().empty());
    const auto want = TreeOf(*healthy);

    struct Damage {
        const char* what;
        uint64_t first, last; // records overwritten
        bool zero;            // zeros, else one flipped byte of the signature
    };
    for (const Damage& d :
         {Damage{"flipped signature", 68, 68, false}, Damage{"zeroed records", 60, 99, true}}) {
        SCOPED_TRACE(d.what);
        std::string copy = tmp / "damaged.img";
        ASSERT_EQ(qz::test::Run("cp '" + img + "' '" + copy + "'"), 0);
        {
            TNTFS_FILES v(Utf8ToUtf16(copy));
            const uint32_t bpr = v.BytesPerRecord();
            std::fstream f(copy, std::ios::in | std::ios::out | std::ios::binary);
            for (uint64_t r = d.first; r <= d.last; ++r) {
                const TRunPos p = GetMFTRecordPos2(v, r);
                ASSERT_TRUE(p.Found());
                f.seekp(p.Position);
                if (d.zero)
                    f.write(std::string(bpr, '\0').data(), bpr);
                else
                    f.write("X", 1);
            }
        }
        auto s = ScanMft(copy);
        ASSERT_FALSE(s->WasError) << s->ErrorMessage;
        ASSERT_NE(s->OrphanFolder, nullptr);
        const auto have = TreeOf(*s);
        // Every healthy item whose record survived is there, many_subdirs' content below the
        // placeholder that stands for its folder.
        size_t moved = 0;
        for (auto& [path, sig] : want) {
            std::string p = path;
            if (p.rfind("many_subdirs", 0) == 0) {
                if (p == "many_subdirs") continue;
                p = "<Orphaned items>/<MFT record 68>" + p.substr(12);
                ++moved;
            }
            PMFT_RECORD healthyRec =
                path.empty() ? healthy->MFTRoot
                             : FindRecordByPath(healthy->MFTRoot, Utf8ToUtf16(path), u'/');
            ASSERT_NE(healthyRec, nullptr) << path;
            if (healthyRec->RecNo >= d.first && healthyRec->RecNo <= d.last) continue;
            auto it = have.find(p);
            ASSERT_NE(it, have.end()) << p;
            EXPECT_EQ(it->second.size, sig.size) << p;
            if (!sig.dir) {
                EXPECT_EQ(it->second.totAlloc, sig.totAlloc) << p;
            }
        }
        EXPECT_EQ(moved, 512u);
        if (!d.zero) {
            EXPECT_EQ(s->MFTRoot->SubFoldersTotSize, healthy->MFTRoot->SubFoldersTotSize);
            EXPECT_EQ(s->MFTRoot->SubFoldersNumFiles(), healthy->MFTRoot->SubFoldersNumFiles());
        }
        EXPECT_GE(s->Anomalies.OrphanItems, 400);
        EXPECT_EQ(s->OrphanFolder->SubFoldersNumDirs(), s->Anomalies.OrphanItems);
        for (PMFT_RECORD r : s->FFileList) {
            if (r && r != s->MFTRoot) {
                EXPECT_TRUE(IsAncestor(s->MFTRoot, r)) << RelPath(r);
            }
        }
        ASSERT_EQ(s->AnomalyTexts().size(), 1u);
        EXPECT_NE(s->AnomalyTexts()[0].find(std::to_string(s->Anomalies.OrphanItems) + " items"),
                  std::string::npos)
            << s->AnomalyTexts()[0];
    }
}

TEST_F(RealImages, DumpTrailerRecordSizeIsCheckedAgainstRecordZero) {
    // A dump of ntfs3.raw (1 KiB records) whose volume data is made to say 512- or 4096-byte
    // records reads as the same tree and says what it corrected; one whose record 0 also
    // contradicts itself is refused.
    std::string img = Unpack(kImages[0]);
    if (img.empty()) GTEST_SKIP() << "gzip missing";
    std::string dump = tmp / "ntfs3.mft";
    {
        TNTFS_FILES s(Utf8ToUtf16(img));
        WriteMFTDumpFile(s, dump);
    }
    const auto good = ReadFileBytes(dump);
    const size_t trailer = good.size() - 105;
    auto healthy = ScanMft(dump);
    ASSERT_FALSE(healthy->WasError) << healthy->ErrorMessage;
    EXPECT_TRUE(healthy->AnomalyTexts().empty());
    const auto want = TreeOf(*healthy);
    ASSERT_EQ(want.size(), 19u);

    for (uint32_t stated : {512u, 4096u}) {
        SCOPED_TRACE(stated);
        auto bytes = good;
        std::memcpy(&bytes[trailer + 8 + 48], &stated, 4);
        const std::string path = tmp / "stated.mft";
        WriteFileBytes(path, bytes.data(), bytes.size());
        auto s = ScanMft(path);
        ASSERT_FALSE(s->WasError) << s->ErrorMessage;
        EXPECT_EQ(s->BytesPerRecord(), 1024u);
        EXPECT_EQ(s->Anomalies.TrailerRecordSize, stated);
        const auto have = TreeOf(*s);
        EXPECT_EQ(have, want) << TreeDiff(have, want);
        ASSERT_EQ(s->AnomalyTexts().size(), 1u);
        EXPECT_NE(s->AnomalyTexts()[0].find("says " + std::to_string(stated) + "-byte records"),
                  std::string::npos)
            << s->AnomalyTexts()[0];
    }

    auto bytes = good;
    const uint32_t stated = 512, own = 2048;
    std::memcpy(&bytes[trailer + 8 + 48], &stated, 4);
    std::memcpy(&bytes[28], &own, 4);
    const std::string path = tmp / "neither.mft";
    WriteFileBytes(path, bytes.data(), bytes.size());
    try {
        TNTFS_FILES s(Utf8ToUtf16(path));
        ADD_FAILURE() << "a dump whose record size cannot be told was opened";
    } catch (const TScanError& e) {
        EXPECT_NE(std::string(e.what()).find("says its records are 512 bytes long, but its first "
                                             "record says 2048"),
                  std::string::npos)
            << e.what();
    }
}

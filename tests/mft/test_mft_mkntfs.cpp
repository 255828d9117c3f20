// NTFS volumes made at test time with mkntfs and populated through an ntfs-3g mount: the full
// pass over the image file, over the same image as a block device (a read-only loop device),
// and over a dump written from the image give identical trees, equal to what was written; the
// root named after a mount point gives real paths; a $MFT grown in hundreds of pieces (behind
// an attribute list) is read completely.
#include "base/filehandle.h"
#include "engine/mft_volume.h"
#include "tests/mft/mft_test_util.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

bool CanMountNtfs(std::string& why) {
    for (const char* p : {"mkntfs", "ntfs-3g"}) {
        if (!HaveProgram(p)) {
            why = std::string(p) + " is not installed";
            return false;
        }
    }
    if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) {
        why = "FUSE mounts need root and /dev/fuse";
        return false;
    }
    return true;
}

struct Mount {
    std::string point;
    ~Mount() { Unmount(); }
    void Unmount() {
        if (!point.empty()) qz::test::Run("umount '" + point + "' 2>/dev/null");
        point.clear();
    }
};

// A read-only loop device over a file, detached on destruction.
struct Loop {
    std::string dev;
    explicit Loop(const std::string& file) {
        if (!HaveProgram("losetup") || geteuid() != 0) return;
        std::string out;
        if (qz::test::Run("losetup -f --show -r '" + file + "' 2>/dev/null", &out) == 0) {
            while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
            dev = out;
        }
    }
    ~Loop() {
        if (!dev.empty()) qz::test::Run("losetup -d '" + dev + "' 2>/dev/null");
    }
};

void WriteSized(const std::string& path, size_t n, char fill) {
    std::ofstream f(path, std::ios::binary);
    std::string block(65536, fill);
    while (n > 0) {
        size_t k = std::min(n, block.size());
        f.write(block.data(), std::streamsize(k));
        n -= k;
    }
}

// Relative path -> (folder, size) of everything under root.
std::map<std::string, ListedItem> Walk(const std::string& root) {
    std::map<std::string, ListedItem> out;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        ListedItem it;
        it.dir = e.is_directory();
        if (!it.dir) it.size = e.file_size();
        out[e.path().string().substr(root.size() + 1)] = it;
    }
    return out;
}

class MkntfsVolumes : public ::testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (!CanMountNtfs(why)) GTEST_SKIP() << why;
        img = tmp / "vol.img";
        mnt = tmp / "mnt";
        fs::create_directory(mnt);
    }
    void MakeVolume(const std::string& size) {
        ASSERT_EQ(qz::test::Run("truncate -s " + size + " '" + img +
                                "' && mkntfs -q -F -f -c 4096 '" + img + "' >/dev/null 2>&1"),
                  0);
    }
    void MountRw() {
        ASSERT_EQ(qz::test::Run("ntfs-3g '" + img + "' '" + mnt + "'"), 0);
        mount.point = mnt;
    }
    TempDir tmp;
    std::string img, mnt;
    Mount mount;
};

} // namespace

TEST_F(MkntfsVolumes, ImageDeviceAndDumpGiveTheTreeThatWasWritten) {
    MakeVolume("64M");
    MountRw();
    fs::create_directories(mnt + "/a/b/c");
    fs::create_directories(mnt + "/empty");
    fs::create_directories(mnt + "/Dokumente/Übersicht ünd Ölfässer");
    WriteSized(mnt + "/a/small.txt", 100, 's');
    WriteSized(mnt + "/a/b/medium.bin", 50000, 'm');
    WriteSized(mnt + "/a/b/c/big.bin", 3 << 20, 'b');
    WriteSized(mnt + "/Dokumente/Übersicht ünd Ölfässer/Москва.txt", 777, 'u');
    WriteSized(mnt + "/" + std::string(200, 'L') + ".txt", 4321, 'l');
    WriteSized(mnt + "/empty.txt", 0, 'e');
    fs::create_hard_link(mnt + "/a/b/medium.bin", mnt + "/a/medium-link.bin");
    for (int i = 0; i < 300; ++i)
        WriteSized(mnt + "/a/b/many-" + std::to_string(i), size_t(i * 37), 'x');
    auto want = Walk(mnt);
    mount.Unmount();

    auto image = ScanMft(img);
    ASSERT_FALSE(image->WasError) << image->ErrorMessage;
    auto imageTree = TreeOf(*image);

    // What was written, and nothing but the volume's own files besides.
    for (auto& [p, it] : want) {
        auto f = imageTree.find(p);
        ASSERT_NE(f, imageTree.end()) << "missing " << p;
        EXPECT_EQ(f->second.dir, it.dir) << p;
        if (!it.dir) {
            EXPECT_EQ(f->second.size, it.size) << p;
        }
    }
    for (auto& [p, g] : imageTree)
        if (!p.empty() && p[0] != '$' && !want.count(p)) ADD_FAILURE() << "unexpected " << p;
    EXPECT_EQ(imageTree["a/b"].files, 302); // 300 + medium.bin + c/big.bin
    EXPECT_EQ(imageTree["a"].totSize, 100u + 2 * 50000u + (3u << 20) + 37u * 299 * 300 / 2);
    EXPECT_NE(imageTree["a/b/medium.bin"].doNotCount, imageTree["a/medium-link.bin"].doNotCount);

    // The dump written from the image.
    std::string dump = tmp / "vol.mft";
    {
        TNTFS_FILES s(Utf8ToUtf16(img));
        WriteMFTDumpFile(s, dump);
    }
    auto fromDump = ScanMft(dump);
    ASSERT_FALSE(fromDump->WasError) << fromDump->ErrorMessage;
    auto dumpTree = TreeOf(*fromDump);
    EXPECT_EQ(imageTree, dumpTree) << TreeDiff(imageTree, dumpTree);

    // The image as a block device.
    Loop loop(img);
    if (loop.dev.empty()) {
        std::printf("no loop device here: the block-device form is not checked\n");
        return;
    }
    std::string why;
    EXPECT_TRUE(CanReadVolume(loop.dev, &why)) << why;
    TNtfsLocation loc = LocateNtfsVolume(loop.dev);
    EXPECT_TRUE(loc.IsBlockDevice);
    EXPECT_TRUE(loc.IsNtfs);
    auto device = ScanMft(loop.dev);
    ASSERT_FALSE(device->WasError) << device->ErrorMessage;
    auto deviceTree = TreeOf(*device);
    EXPECT_EQ(imageTree, deviceTree) << TreeDiff(imageTree, deviceTree);
}

TEST_F(MkntfsVolumes, BlockDevicesThatAreNotNtfsOrEndEarly) {
    MakeVolume("16M");
    // A device without NTFS.
    std::string zeros = tmp / "zeros";
    ASSERT_EQ(qz::test::Run("truncate -s 4M '" + zeros + "'"), 0);
    Loop plain(zeros);
    if (plain.dev.empty()) GTEST_SKIP() << "no loop devices here";
    try {
        TNTFS_FILES s(Utf8ToUtf16(plain.dev));
        ADD_FAILURE() << "opened";
    } catch (const TScanError& e) {
        EXPECT_NE(std::string(e.what()).find("Could not get volume data for " + plain.dev),
                  std::string::npos)
            << e.what();
    }
    // A device that ends inside its $MFT: the read there returns no data.
    auto s = std::make_unique<TNTFS_FILES>(Utf8ToUtf16(img));
    const int64_t mftStart = s->FVolData.MftStartLcn * s->FVolData.BytesPerCluster;
    s.reset();
    std::string cut = tmp / "cut.img";
    ASSERT_EQ(qz::test::Run("head -c " + std::to_string(mftStart + 20 * 1024) + " '" + img +
                            "' > '" + cut + "'"),
              0);
    Loop shortDev(cut);
    ASSERT_FALSE(shortDev.dev.empty());
    auto r = ScanMft(shortDev.dev);
    EXPECT_TRUE(r->WasError);
    EXPECT_NE(r->ErrorMessage.find("no data"), std::string::npos) << r->ErrorMessage;
    ASSERT_NE(r->MFTRoot, nullptr);
    EXPECT_FALSE(r->FVolumeHandle.valid());
}

TEST_F(MkntfsVolumes, MountPointRootNamesRealPaths) {
    MakeVolume("32M");
    MountRw();
    fs::create_directories(mnt + "/x/y");
    WriteSized(mnt + "/x/y/z.bin", 12345, 'z');
    WriteSized(mnt + "/top.txt", 10, 't');
    mount.Unmount();
    ASSERT_EQ(qz::test::Run("ntfs-3g -o ro '" + img + "' '" + mnt + "'"), 0);
    mount.point = mnt;
    auto s = ScanMft(img, Utf8ToUtf16(mnt));
    ASSERT_FALSE(s->WasError) << s->ErrorMessage;
    int checked = 0;
    for (PMFT_RECORD r : s->FFileList) {
        if (!r || r == s->MFTRoot || r->Name()[0] == u'$') continue;
        std::string p = Utf16ToUtf8(GetRecordPath(r));
        struct stat st {};
        ASSERT_EQ(::lstat(p.c_str(), &st), 0) << p;
        EXPECT_EQ(S_ISDIR(st.st_mode), r->IsFolder()) << p;
        if (!r->IsFolder()) {
            EXPECT_EQ(uint64_t(st.st_size), r->FileSize) << p;
        }
        ++checked;
    }
    EXPECT_EQ(checked, 4);
}

TEST_F(MkntfsVolumes, MftInHundredsOfPiecesIsReadCompletely) {
    // Fill the volume with one-cluster files, free every other one, then create files until
    // $MFT has grown into the holes: it ends in hundreds of runs, spread over extension
    // records named by an attribute list outside record 0.
    MakeVolume("48M");
    MountRw();
    int filled = 0;
    for (;; ++filled) {
        std::string p = mnt + "/f" + std::to_string(filled);
        int fd = ::open(p.c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0) break;
        char block[4096] = {1};
        bool ok = ::write(fd, block, sizeof block) == ssize_t(sizeof block);
        ::close(fd);
        if (!ok) {
            ::unlink(p.c_str());
            break;
        }
    }
    ASSERT_GT(filled, 1000);
    for (int i = 0; i < filled; i += 2) ::unlink((mnt + "/f" + std::to_string(i)).c_str());
    int made = 0;
    for (; made < 12000; ++made) {
        int fd = ::open((mnt + "/e" + std::to_string(made)).c_str(), O_CREAT | O_WRONLY, 0644);
        if (fd < 0) break;
        ::close(fd);
    }
    ASSERT_GT(made, 5000);
    auto want = Walk(mnt);
    mount.Unmount();
    if (HaveProgram("istat")) {
        std::string istat;
        qz::test::Run("istat '" + img + "' 0", &istat);
        EXPECT_NE(istat.find("$ATTRIBUTE_LIST"), std::string::npos)
            << "the fixture needs an attribute list";
    }

    auto s = ScanMft(img);
    ASSERT_FALSE(s->WasError) << s->ErrorMessage;
    EXPECT_GT(s->FMFTExtents.size(), 100u);
    int64_t covered = 0;
    for (const TMFT_EXTENTS& e : s->FMFTExtents) covered += e.VCNLength;
    EXPECT_GE(covered * s->FVolData.BytesPerCluster, int64_t(s->FMFT.FileSize))
        << "the runs cover all of $MFT";
    auto tree = TreeOf(*s);
    for (auto& [p, it] : want) {
        auto f = tree.find(p);
        ASSERT_NE(f, tree.end()) << "missing " << p;
        EXPECT_EQ(f->second.size, it.size) << p;
    }
    size_t mine = 0;
    for (auto& [p, g] : tree)
        if (!p.empty() && p[0] != '$') ++mine;
    EXPECT_EQ(mine, want.size());

    // Its dump copies every piece.
    std::string dump = tmp / "frag.mft";
    {
        TNTFS_FILES v(Utf8ToUtf16(img));
        WriteMFTDumpFile(v, dump);
    }
    auto d = ScanMft(dump);
    ASSERT_FALSE(d->WasError) << d->ErrorMessage;
    auto dumpTree = TreeOf(*d);
    EXPECT_EQ(tree, dumpTree) << TreeDiff(tree, dumpTree);
}

TEST_F(MkntfsVolumes, DeepFolderChainsLoseNothing) {
    // A chain of 1,000 nested folders, a 1 MiB file half-way down and one at the bottom: every
    // level, both files and their bytes are in the tree, the totals and the paths.
    MakeVolume("32M");
    MountRw();
    constexpr int kLevels = 1000;
    {
        TFileHandle dir(::open(mnt.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        ASSERT_TRUE(dir);
        for (int level = 1; level <= kLevels; ++level) {
            ASSERT_EQ(::mkdirat(dir.get(), "d", 0755), 0) << "level " << level;
            TFileHandle next(::openat(dir.get(), "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
            ASSERT_TRUE(next) << "level " << level;
            dir = std::move(next);
            if (level == 500 || level == kLevels) {
                TFileHandle f(::openat(dir.get(), "big.bin", O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
                ASSERT_TRUE(f);
                const std::string block(1 << 20, 'b');
                ASSERT_EQ(::write(f.get(), block.data(), block.size()), ssize_t(block.size()));
            }
        }
    }
    mount.Unmount();

    auto s = ScanMft(img);
    ASSERT_FALSE(s->WasError) << s->ErrorMessage;
    std::vector<PMFT_RECORD> big;
    for (PMFT_RECORD r : s->FFileList)
        if (r && r->Name() == u"big.bin") big.push_back(r);
    ASSERT_EQ(big.size(), 2u);
    std::u16string chain;
    for (int level = 1; level <= kLevels; ++level) chain += u"d\\";
    std::vector<std::u16string> paths;
    for (PMFT_RECORD r : big) {
        EXPECT_EQ(r->FileSize, 1u << 20);
        EXPECT_TRUE(IsAncestor(s->MFTRoot, r));
        paths.push_back(GetRecordPath(r));
    }
    std::sort(paths.begin(), paths.end());
    EXPECT_EQ(paths[0], u"C:\\" + chain.substr(0, 2 * 500) + u"big.bin");
    EXPECT_EQ(paths[1], u"C:\\" + chain + u"big.bin");
    PMFT_RECORD top = FindRecordByPath(s->MFTRoot, u"d");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->SubFoldersNumDirs(), kLevels - 1);
    EXPECT_EQ(top->SubFoldersNumFiles(), 2);
    EXPECT_EQ(top->SubFoldersTotSize, 2u << 20);
    EXPECT_EQ(top->SubFoldersTotSizeAlloc, 2u << 20);
    // The scan holds nothing that is not in the tree.
    for (PMFT_RECORD r : s->FFileList) {
        if (r && r != s->MFTRoot) {
            EXPECT_TRUE(IsAncestor(s->MFTRoot, r)) << RelPath(r);
        }
    }
}

TEST_F(MkntfsVolumes, HugeSparseFilesKeepTheirSizesAndTotalsStopAtTheLargest) {
    // Sparse files past 2^48 bytes (the width of an MFT record number, not of a size) up to
    // the largest size ntfs-3g accepts; three of those in one folder sum past 2^64.
    MakeVolume("16M");
    MountRw();
    fs::create_directories(mnt + "/big");
    fs::create_directories(mnt + "/huge");
    const std::vector<uint64_t> sizes = {uint64_t(1) << 48, (uint64_t(1) << 48) + 1,
                                         uint64_t(INT64_MAX)};
    auto sparse = [&](const std::string& path, uint64_t size) {
        TFileHandle f(::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
        ASSERT_TRUE(f);
        ASSERT_EQ(::ftruncate(f.get(), off_t(size)), 0) << size;
    };
    for (size_t i = 0; i < sizes.size(); ++i) sparse(mnt + "/big/f" + std::to_string(i), sizes[i]);
    for (int i = 0; i < 3; ++i) sparse(mnt + "/huge/h" + std::to_string(i), uint64_t(INT64_MAX));
    mount.Unmount();

    auto s = ScanMft(img);
    ASSERT_FALSE(s->WasError) << s->ErrorMessage;
    for (size_t i = 0; i < sizes.size(); ++i) {
        PMFT_RECORD f = FindRecordByPath(s->MFTRoot, u"big\\f" + Utf8ToUtf16(std::to_string(i)));
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->FileSize, sizes[i]);
        EXPECT_EQ(f->AllocSize, 0u) << "nothing of a sparse file is allocated";
    }
    PMFT_RECORD big = FindRecordByPath(s->MFTRoot, u"big");
    PMFT_RECORD huge = FindRecordByPath(s->MFTRoot, u"huge");
    ASSERT_TRUE(big && huge);
    EXPECT_EQ(big->SubFoldersTotSize, (uint64_t(1) << 49) + 1 + uint64_t(INT64_MAX));
    EXPECT_FALSE(big->TotalSaturated);
    EXPECT_EQ(huge->SubFoldersTotSize, UINT64_MAX);
    EXPECT_TRUE(huge->TotalSaturated);
    EXPECT_EQ(s->MFTRoot->SubFoldersTotSize, UINT64_MAX);
    EXPECT_TRUE(s->MFTRoot->TotalSaturated);
    EXPECT_LT(s->MFTRoot->SubFoldersTotSizeAlloc, 16u << 20);
    EXPECT_EQ(s->Anomalies.SaturatedTotals, 2);
    ASSERT_EQ(s->AnomalyTexts().size(), 1u);
    EXPECT_NE(s->AnomalyTexts()[0].find("2 folder totals reached the largest size"),
              std::string::npos)
        << s->AnomalyTexts()[0];
}

TEST_F(MkntfsVolumes, DamagedDataAttributesDoNotInventSpace) {
    // Two records damaged on disk: a small resident file whose residency flag is flipped (its
    // contents then read as a non-resident header: a size of 4.5 TB, a run of 16 million
    // clusters), and a file whose run list lost its end marker to a run of 65,535 clusters.
    MakeVolume("16M");
    MountRw();
    std::string content(100, '\0');
    content[8] = 64; // where the runs would start
    const uint64_t fakeSize = 4500000000000ull;
    std::memcpy(&content[24], &fakeSize, 8);
    const uint8_t fakeRun[] = {0x14, 0xFF, 0xFF, 0xFF, 0x00, 0x10, 0x00};
    std::memcpy(&content[40], fakeRun, sizeof fakeRun);
    WriteFileBytes(mnt + "/flip.bin", content.data(), content.size());
    WriteSized(mnt + "/runs.bin", 8192, 'r');
    WriteSized(mnt + "/fine.bin", 8192, 'f');
    mount.Unmount();

    auto healthy = ScanMft(img);
    ASSERT_FALSE(healthy->WasError) << healthy->ErrorMessage;
    EXPECT_EQ(healthy->Anomalies.DamagedSizes, 0);
    PMFT_RECORD flip = FindRecordByPath(healthy->MFTRoot, u"flip.bin");
    PMFT_RECORD runs = FindRecordByPath(healthy->MFTRoot, u"runs.bin");
    ASSERT_TRUE(flip && runs);
    const uint64_t flipNo = flip->RecNo, runsNo = runs->RecNo;
    {
        TNTFS_FILES v(Utf8ToUtf16(img));
        const uint32_t bpr = v.BytesPerRecord();
        TFileHandle fd(::open(img.c_str(), O_RDWR | O_CLOEXEC));
        ASSERT_TRUE(fd);
        for (uint64_t recno : {flipNo, runsNo}) {
            const TRunPos p = GetMFTRecordPos2(v, recno);
            ASSERT_TRUE(p.Found());
            std::vector<uint8_t> rec(bpr);
            ASSERT_EQ(::pread(fd.get(), rec.data(), bpr, p.Position), ssize_t(bpr));
            // The unnamed $DATA attribute.
            size_t a = rec[20] | (rec[21] << 8);
            auto u32 = [&](size_t at) {
                uint32_t x;
                std::memcpy(&x, &rec[at], 4);
                return x;
            };
            while (u32(a) != 0x80 || rec[a + 9] != 0) a += u32(a + 4);
            size_t touched;
            if (recno == flipNo) {
                ASSERT_EQ(rec[a + 8], 0) << "resident";
                rec[a + 8] = 1;
                touched = a + 8;
            } else {
                ASSERT_EQ(rec[a + 8], 1) << "non-resident";
                size_t r = a + (rec[a + 32] | (rec[a + 33] << 8));
                while (rec[r] != 0) r += 1 + (rec[r] & 15) + (rec[r] >> 4);
                ASSERT_LE(r + 4 - a, u32(a + 4)) << "room for one more run";
                const uint8_t longRun[] = {0x12, 0xFF, 0xFF, 0x01}; // 65,535 clusters
                std::memcpy(&rec[r], longRun, sizeof longRun);
                touched = r + 3;
            }
            ASSERT_NE(touched % 512, 510u);
            ASSERT_NE(touched % 512, 511u);
            ASSERT_EQ(::pwrite(fd.get(), rec.data(), bpr, p.Position), ssize_t(bpr));
        }
    }

    auto s = ScanMft(img);
    ASSERT_FALSE(s->WasError) << s->ErrorMessage;
    const uint64_t volume = uint64_t(s->FVolData.TotalClusters) * s->FVolData.BytesPerCluster;
    PMFT_RECORD f = FindRecordByPath(s->MFTRoot, u"flip.bin");
    PMFT_RECORD r = FindRecordByPath(s->MFTRoot, u"runs.bin");
    PMFT_RECORD fine = FindRecordByPath(s->MFTRoot, u"fine.bin");
    ASSERT_TRUE(f && r && fine);
    EXPECT_LT(f->FileSize, volume) << "a size read from the file's contents";
    EXPECT_LE(f->AllocSize, volume);
    EXPECT_TRUE(f->SizeDamaged);
    EXPECT_EQ(r->FileSize, 8192u);
    EXPECT_EQ(r->AllocSize, volume);
    EXPECT_TRUE(r->SizeDamaged);
    EXPECT_FALSE(fine->SizeDamaged);
    EXPECT_EQ(fine->AllocSize, 8192u);
    EXPECT_LT(s->MFTRoot->SubFoldersTotSize, volume);
    EXPECT_LE(s->MFTRoot->SubFoldersTotSizeAlloc,
              healthy->MFTRoot->SubFoldersTotSizeAlloc + 2 * volume);
    EXPECT_EQ(s->Anomalies.DamagedSizes, 2);
    ASSERT_EQ(s->AnomalyTexts().size(), 1u);
    EXPECT_NE(s->AnomalyTexts()[0].find("2 damaged records have impossible sizes"),
              std::string::npos)
        << s->AnomalyTexts()[0];
}

// A real NTFS volume made at test time: mkntfs, populated through an ntfs-3g mount with a known
// tree (nested folders, a hard link in two folders, a sparse file, an alternate data stream, a
// file with so many names that they need an attribute list), then its $MFT cut out and decoded.
// The tree, every size and every count must match what was written.
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

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

struct Item {
    bool dir = false;
    uint64_t size = 0;
};

bool CanMountNtfs(std::string& why) {
    for (const char* p : {"mkntfs", "ntfs-3g", "icat", "fusermount"}) {
        if (!HaveProgram(p) && std::string(p) != "fusermount") {
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

void WriteSized(const std::string& path, size_t n, char fill) {
    std::ofstream f(path, std::ios::binary);
    std::string block(65536, fill);
    while (n > 0) {
        size_t k = std::min(n, block.size());
        f.write(block.data(), std::streamsize(k));
        n -= k;
    }
}

// Relative path -> item, for the tree under the mount point.
std::map<std::string, Item> Walk(const std::string& root) {
    std::map<std::string, Item> out;
    for (auto& e : fs::recursive_directory_iterator(root)) {
        std::string rel = e.path().string().substr(root.size() + 1);
        Item it;
        it.dir = e.is_directory();
        if (!it.dir) it.size = e.file_size();
        out[rel] = it;
    }
    return out;
}

} // namespace

TEST(MkntfsVolume, DecodedTreeMatchesWhatWasWritten) {
    std::string why;
    if (!CanMountNtfs(why)) GTEST_SKIP() << why;
    TempDir tmp;
    const std::string img = tmp / "vol.img", mnt = tmp / "mnt";
    fs::create_directory(mnt);
    ASSERT_EQ(qz::test::Run("truncate -s 64M '" + img + "' && mkntfs -q -F -f -c 4096 '" + img +
                            "' >/dev/null 2>&1"),
              0);
    ASSERT_EQ(qz::test::Run("ntfs-3g -o streams_interface=windows '" + img + "' '" + mnt + "'"), 0);
    struct Unmount {
        std::string m;
        ~Unmount() { qz::test::Run("umount '" + m + "' 2>/dev/null"); }
    } unmount{mnt};

    fs::create_directories(mnt + "/a/b/c");
    fs::create_directories(mnt + "/docs");
    fs::create_directories(mnt + "/empty");
    fs::create_directories(mnt + "/links");
    WriteSized(mnt + "/a/small.txt", 100, 's');      // resident
    WriteSized(mnt + "/a/b/medium.bin", 50000, 'm'); // non-resident
    WriteSized(mnt + "/a/b/c/big.bin", 3 << 20, 'b');
    WriteSized(mnt + "/docs/report.doc", 12345, 'r');
    WriteSized(mnt + "/empty.txt", 0, 'e');
    fs::create_hard_link(mnt + "/docs/report.doc", mnt + "/a/report-link.doc");
    // An alternate data stream: allocation without logical size.
    WriteSized(mnt + "/docs/report.doc:Zone.Identifier", 9000, 'z');
    // Sparse: 100 MiB with one written block in the middle.
    {
        int fd = ::open((mnt + "/sparse.img").c_str(), O_CREAT | O_WRONLY, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 100 << 20), 0);
        char block[4096] = {1};
        ASSERT_EQ(::pwrite(fd, block, sizeof block, 50 << 20), ssize_t(sizeof block));
        ::close(fd);
    }
    // Enough names for one file that they spill into extension records behind an attribute list.
    WriteSized(mnt + "/links/target.dat", 7000, 't');
    for (int i = 1; i <= 40; ++i)
        fs::create_hard_link(mnt + "/links/target.dat",
                             mnt + "/links/name-with-a-fairly-long-suffix-number-" +
                                 std::to_string(i) + ".dat");
    auto want = Walk(mnt);
    struct stat st {};
    ASSERT_EQ(::stat((mnt + "/links/target.dat").c_str(), &st),
              0); // the inode is the record number
    ASSERT_EQ(qz::test::Run("umount '" + mnt + "'"), 0);
    unmount.m.clear();
    std::string istat;
    qz::test::Run("istat '" + img + "' " + std::to_string(st.st_ino), &istat);
    ASSERT_NE(istat.find("$ATTRIBUTE_LIST"), std::string::npos)
        << "the fixture needs an attribute list";

    const std::string mft = tmp / "vol.mft";
    ASSERT_EQ(qz::test::Run("icat '" + img + "' 0 > '" + mft + "'"), 0);
    TNTFS_FILES scan(Utf8ToUtf16(mft));
    scan.ProcessMFTRecords();
    ASSERT_FALSE(scan.WasError) << scan.ErrorMessage;
    scan.CalculateDirSizes();
    PMFT_RECORD root = scan.MFTRoot;
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Name(), u"C:");

    // Every item written is in the tree, with its size, under the right folder ...
    std::map<std::string, PMFT_RECORD> have;
    for (PMFT_RECORD r : scan.FFileList) {
        if (!r || r == root) continue;
        std::string p = Utf16ToUtf8(GetRecordPath(r)).substr(3);
        for (char& c : p)
            if (c == '\\') c = '/';
        if (p[0] == '$') continue; // the volume's own metadata files
        have[p] = r;
    }
    for (auto& [p, it] : want) {
        if (p.find(':') != std::string::npos) continue;
        ASSERT_TRUE(have.count(p)) << "missing " << p;
        EXPECT_EQ(have[p]->IsFolder(), it.dir) << p;
        if (!it.dir) {
            EXPECT_EQ(have[p]->FileSize, it.size) << p;
        }
    }
    // ... and nothing else.
    for (auto& [p, r] : have) EXPECT_TRUE(want.count(p)) << "unexpected " << p;

    // Allocation: the sparse file holds one cluster, the stream adds its clusters to its file,
    // a hard-linked file's space is counted once.
    EXPECT_EQ(have["sparse.img"]->AllocSize, 4096u);
    EXPECT_EQ(have["sparse.img"]->FileSize, 100u << 20);
    EXPECT_EQ(have["docs/report.doc"]->AllocSize, 4u * 4096 + 3u * 4096); // 12345 and 9000 bytes
    EXPECT_EQ(have["a/report-link.doc"]->AllocSize, have["docs/report.doc"]->AllocSize);
    EXPECT_NE(have["a/report-link.doc"]->DoNotCountFlag, have["docs/report.doc"]->DoNotCountFlag);
    EXPECT_EQ(have["a/small.txt"]->AllocSize, 0u);
    PMFT_RECORD links = have["links"];
    EXPECT_EQ(links->ThisFolderNumFiles(), 41);
    EXPECT_EQ(links->SubFoldersTotSize, 41u * 7000);
    EXPECT_EQ(links->SubFoldersTotSizeAlloc, 2u * 4096); // one file, 7000 bytes in two clusters

    // Folder totals: sizes count every name, allocation every file once.
    PMFT_RECORD a = have["a"];
    EXPECT_EQ(a->SubFoldersNumFiles(), 4);
    EXPECT_EQ(a->SubFoldersNumDirs(), 2);
    EXPECT_EQ(a->SubFoldersTotSize, 100u + 50000u + (3u << 20) + 12345u);
    const uint64_t countedAlloc =
        have["a/b/medium.bin"]->AllocSize + have["a/b/c/big.bin"]->AllocSize +
        (have["a/report-link.doc"]->DoNotCountFlag ? 0 : have["a/report-link.doc"]->AllocSize);
    EXPECT_EQ(a->SubFoldersTotSizeAlloc, countedAlloc);
    EXPECT_EQ(have["empty"]->SubFoldersNumFiles(), 0);
    EXPECT_EQ(have["empty"]->Children().size(), 0u);
}

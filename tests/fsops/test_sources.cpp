// The mount table, the source list built from it, and the space figures of a source.
#include "base/text.h"
#include "fsops/disksize.h"
#include "fsops/mounts.h"
#include "fsops/sourcelist.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <sys/statvfs.h>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

TEST(MountTable, ParsesMountinfoLines) {
    const std::string text =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw,errors=remount-ro\n"
        "23 22 0:5 / /proc rw,nosuid - proc proc rw\n"
        "40 22 8:17 / /media/my\\040disk rw shared:7 master:2 - ntfs3 /dev/sdb1 rw,uid=1000\n"
        "41 22 0:44 /sub /srv/bind\\134x/ rw - btrfs /dev/sdc rw\n"
        "garbage line without separator\n"
        "42 22 8:18 / relative rw - ext4 /dev/sdb2 rw\n"
        "43 22 0:50 / /mnt/net rw - nfs4 server:/export rw";
    const std::vector<TMountInfo> m = ParseMountInfo(text);
    ASSERT_EQ(m.size(), 5u);
    EXPECT_EQ(m[0].MountPoint, "/");
    EXPECT_EQ(m[0].Source, "/dev/sda1");
    EXPECT_EQ(m[0].Major, 8u);
    EXPECT_EQ(m[2].MountPoint, "/media/my disk"); // optional fields and "\040" handled
    EXPECT_EQ(m[2].FsType, "ntfs3");
    EXPECT_EQ(m[3].MountPoint, "/srv/bind\\x"); // "\134" is a backslash; trailing "/" dropped
    EXPECT_EQ(m[3].Root, "/sub");
    EXPECT_EQ(m[4].Source, "server:/export");
}

TEST(MountTable, PathsBelongToTheirLongestMountPoint) {
    const std::vector<TMountInfo> m = ParseMountInfo("1 0 8:1 / / rw - ext4 /dev/a rw\n"
                                                     "2 1 8:2 / /mnt/a rw - ext4 /dev/b rw\n"
                                                     "3 1 8:3 / /mnt/ab rw - ext4 /dev/c rw\n"
                                                     "4 2 8:4 / /mnt/a rw - xfs /dev/d rw\n");
    struct {
        const char* path;
        const char* source;
    } cases[] = {
        {"/", "/dev/a"},          {"/mnt", "/dev/a"},    {"/mnt/a", "/dev/d"}, // over-mounted
        {"/mnt/a/x/y", "/dev/d"}, {"/mnt/ab", "/dev/c"}, {"/mnt/abc", "/dev/a"}};
    for (auto& c : cases) {
        const TMountInfo* at = MountOfPath(m, c.path);
        ASSERT_NE(at, nullptr) << c.path;
        EXPECT_EQ(at->Source, c.source) << c.path;
    }
    EXPECT_EQ(MountAt(m, "/mnt/a/x"), nullptr);
    EXPECT_EQ(MountAt(m, "/mnt/a")->Source, "/dev/d");
    EXPECT_EQ(MountOfPath({}, "/x"), nullptr);
}

TEST(MountTable, NormalizePath) {
    EXPECT_EQ(NormalizePath("/a//b/./c/"), "/a/b/c");
    EXPECT_EQ(NormalizePath("/a/../../b"), "/b");
    EXPECT_EQ(NormalizePath("/"), "/");
    EXPECT_EQ(NormalizePath("//"), "/");
    EXPECT_EQ(NormalizePath("x/y"), NormalizePath(fs::current_path().string()) + "/x/y");
}

TEST(SourceList, DrivesUserFoldersAndFixedEntries) {
    TempDir tmp;
    // Mount points must be folders; a non-NTFS "device" and an NTFS image stand in for the
    // mounted sources.
    for (const char* d : {"data", "win", "net", "home"}) fs::create_directory(tmp / d);
    const std::string img = tmp / "vol.img";
    ASSERT_EQ(qz::test::Run("truncate -s 8M '" + img + "' && mkntfs -q -F -f '" + img +
                            "' >/dev/null 2>&1"),
              0);
    WriteFileBytes(tmp / "ext.img", "not a boot sector", 17);
    const std::string text =
        "1 0 8:1 / " + tmp / "data" + " rw - ext4 " + tmp / "ext.img" + " rw\n" + "2 0 0:9 / " +
        tmp / "win" + " rw - fuseblk " + img + " rw\n" + "3 0 0:7 / " + tmp / "tmpfs" +
        " rw - tmpfs tmpfs rw\n" +                                  // kernel fs
        "4 0 0:8 / " + tmp / "net" + " rw - nfs4 srv:/e rw\n" +     // network
        "5 0 0:9 / " + tmp / "ext.img" + " rw - ext4 /dev/x rw\n" + // a file
        "6 0 8:1 / " + tmp / "home" + " rw - ntfs3 " + tmp / "missing" + " rw\n";
    const std::vector<TMountInfo> mounts = ParseMountInfo(text);
    const TSourceList list = GetDrives(mounts, {"/srv/photos", ""}, tmp / "home/me");

    std::vector<std::pair<TSourceKind, std::string>> got;
    for (const TSourceEntry& e : list.Entries) got.push_back({e.Kind, Utf16ToUtf8(e.Text)});
    const std::vector<std::pair<TSourceKind, std::string>> want = {
        {DT_DRIVE, "[" + tmp / "data" + "] ext.img (ext4)"},
        {DT_DRIVE, "[" + tmp / "home" + "] missing (ntfs3)"}, // its device cannot be read
        {DT_DRIVE, "[" + tmp / "net" + "] srv:/e (nfs4)"},
        {DT_NTFS, "[" + tmp / "win" + "] vol.img (fuseblk)"},
        {DT_USERFOLDER, "/srv/photos"},
        {DT_FOLDER, "<Select Folder...>"},
        {DT_MULTIPLE, "<Select Multiple...>"},
        {DT_MFTFILE, "<MFT File>"},
        {DT_CSVFILE, "<CSV File>"},
    };
    EXPECT_EQ(got, want);
    EXPECT_EQ(list.Selected, 1); // the mount holding the home folder
    EXPECT_EQ(FindDriveEntry(list, tmp / "win"), 3);
    EXPECT_EQ(list.Entries[3].Device, img);
    EXPECT_EQ(FindDriveEntry(list, tmp / "win/sub"), -1);
    EXPECT_EQ(FindEntryOfKind(list, DT_CSVFILE), 8);

    const TSourceList none = GetDrives({}, {}, "");
    EXPECT_EQ(none.Selected, -1);
    EXPECT_EQ(none.Entries.size(), 4u);
}

TEST(DiskSize, MountPointsDevicesAndOtherPaths) {
    TempDir tmp;
    // In a chroot the mount table may be empty or not list "/": the figures do not depend on it.
    const std::vector<TMountInfo> mounts = ReadMountTable();
    TDiskSizeInfo root = GetDiskSizeInfo("/", mounts);
    struct statvfs sv {};
    ASSERT_EQ(statvfs("/", &sv), 0);
    EXPECT_TRUE(root.hastotalandfreespace);
    EXPECT_EQ(root.totalspace, uint64_t(sv.f_blocks) * sv.f_frsize);
    EXPECT_LE(root.freespace, root.totalspace);
    EXPECT_EQ(root.itempath, u"/");

    // A folder inside a file system has the figures of that file system, also when the mount
    // table does not list it (as in a chroot); an ordinary file gets none.
    fs::create_directories(tmp / "a/b");
    for (const std::vector<TMountInfo>& table : {mounts, std::vector<TMountInfo>{}}) {
        TDiskSizeInfo folder = GetDiskSizeInfo(tmp / "a/b", table);
        EXPECT_TRUE(folder.hastotalandfreespace);
        ASSERT_EQ(statvfs((tmp / "a/b").c_str(), &sv), 0);
        EXPECT_EQ(folder.totalspace, uint64_t(sv.f_blocks) * sv.f_frsize);
        EXPECT_EQ(folder.itempath, Utf8ToUtf16(tmp / "a/b"));
        EXPECT_TRUE(GetDiskSizeInfo("/", table).hastotalandfreespace);
    }
    WriteFileBytes(tmp / "f.csv", "x", 1);
    EXPECT_EQ(GetDiskSizeInfo(tmp / "f.csv", mounts).totalspace, 0u);
    EXPECT_EQ(GetDiskSizeInfo(tmp / "missing", mounts).totalspace, 0u);

    // An NTFS image read raw: its capacity from the boot sector; free space is unknown there.
    const std::string img = tmp / "vol.img";
    ASSERT_EQ(qz::test::Run("truncate -s 16M '" + img + "' && mkntfs -q -F -f -c 4096 '" + img +
                            "' >/dev/null 2>&1"),
              0);
    TDiskSizeInfo vol = GetDiskSizeInfo(img, mounts);
    EXPECT_GT(vol.totalspace, 15u << 20);
    EXPECT_LE(vol.totalspace, 16u << 20);
    EXPECT_FALSE(vol.hastotalandfreespace);

    TNTFS_VOLUME_DATA_BUFFER vd{};
    vd.TotalClusters = 1000;
    vd.FreeClusters = 250;
    vd.TotalReserved = 10;
    vd.BytesPerCluster = 4096;
    TDiskSizeInfo v = DiskSizeFromVolumeData(u"x", vd);
    EXPECT_TRUE(v.hastotalandfreespace);
    EXPECT_EQ(v.totalspace, 4096000u);
    EXPECT_EQ(v.freespace, 1024000u);
    EXPECT_EQ(v.reservedspace, 40960u);
    vd.FreeClusters = 2000; // more free than there is: not believed
    EXPECT_FALSE(DiskSizeFromVolumeData(u"x", vd).hastotalandfreespace);
}

namespace {

// Our figures of path and df's and stat -f's, as "total used free reserved", from readings of
// df and stat -f taken just before and just after ours that agree with each other (other
// programs may write to the file system meanwhile). Empty when no two readings agreed.
std::pair<std::string, std::string> FiguresAndDf(const std::string& path, int attempts) {
    const std::string cmd = "df -B1 --output=size,used,avail '" + path +
                            "' | tail -1; stat -f -c '%S %b %f %a' '" + path + "'";
    std::pair<std::string, std::string> r;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        std::string before, after;
        EXPECT_EQ(qz::test::Run(cmd, &before), 0);
        const TDiskSizeInfo d = GetDiskSizeInfo(path, {}); // no mount table, as in a chroot
        EXPECT_EQ(qz::test::Run(cmd, &after), 0);
        if (before != after) continue;
        unsigned long long size, used, avail, bsize, blocks, bfree, bavail;
        if (std::sscanf(before.c_str(), "%llu %llu %llu %llu %llu %llu %llu", &size, &used, &avail,
                        &bsize, &blocks, &bfree, &bavail) != 7) {
            ADD_FAILURE() << before;
            return r;
        }
        // df and stat -f tell the same.
        EXPECT_EQ(size, blocks * bsize);
        EXPECT_EQ(used, (blocks - bfree) * bsize);
        EXPECT_EQ(avail, bavail * bsize);
        std::ostringstream a, b;
        a << d.totalspace << " " << d.usedspace << " " << d.freespace << " " << d.reservedspace;
        b << size << " " << used << " " << avail << " " << (bfree - bavail) * bsize;
        r = {a.str(), b.str()};
        if (r.first == r.second) break;
    }
    return r;
}

} // namespace

TEST(DiskSize, FiguresAgreeWithDfAndStat) {
    // Used is what df calls used (blocks - free blocks), free what df calls available, and
    // reserved the free blocks only root may use: apart from both.
    TempDir tmp;
    // A quiet ext4 file system with blocks reserved for root, and a folder inside it.
    const std::string img = tmp / "ext4.img", mnt = tmp / "mnt";
    fs::create_directories(mnt);
    bool mounted = qz::test::Run("truncate -s 32M '" + img + "' && mkfs.ext4 -q -m 10 '" + img +
                                 "' && mount -o loop '" + img + "' '" + mnt + "' 2>/dev/null") == 0;
    struct Unmount {
        bool on;
        std::string at;
        ~Unmount() {
            if (on) qz::test::Run("umount '" + at + "'");
        }
    } unmount{mounted, mnt};
    if (mounted) {
        fs::create_directories(mnt + "/some/folder");
        for (const std::string& path : {mnt, mnt + "/some/folder"}) {
            SCOPED_TRACE(path);
            const auto [got, want] = FiguresAndDf(path, 5);
            EXPECT_EQ(got, want) << "total used free reserved";
            unsigned long long total, used, free, reserved;
            ASSERT_EQ(
                std::sscanf(got.c_str(), "%llu %llu %llu %llu", &total, &used, &free, &reserved),
                4);
            EXPECT_GT(reserved, total / 20); // 10 % kept for root, not counted as used
            EXPECT_EQ(used + free + reserved, total);
        }
    }
    // The machine's own file systems, as far as they hold still long enough.
    std::vector<std::string> paths = {"/", tmp.path()};
    if (fs::is_directory("/dev/shm")) paths.push_back("/dev/shm");
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const auto [got, want] = FiguresAndDf(path, 50);
        if (!want.empty()) {
            EXPECT_EQ(got, want) << "total used free reserved";
        }
    }
    if (!mounted) GTEST_SKIP() << "cannot mount an ext4 image here (needs root and loop devices)";
}

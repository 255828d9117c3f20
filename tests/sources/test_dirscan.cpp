// The folder walk on real folder trees, checked against find(1): every entry with its type,
// size and bytes on disk, lossless names, record numbering and links, totals (hard links
// counted once), attributes and dates, thread bounds, progress and cancel.
#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "engine/tree.h"
#include "sources/dirscan.h"
#include "sources/dirscan_entry.h"
#include "sources/dirscan_hardlinks.h"
#include "sources/sources.h"
#include "tests/sources/test_dirscan_util.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

// A tree with every kind of entry and name the walk must cope with.
void MakeMixedTree(const std::string& r) {
    auto dir = [&](const std::string& rel) {
        ASSERT_EQ(::mkdir((r + "/" + rel).c_str(), 0755), 0) << rel;
    };
    dir("a");
    dir("a/b");
    dir("a/b/c");
    dir("emptydir");
    dir("\xe2\x28\xa1 bad dir"); // invalid UTF-8 in a folder name
    MakeFile(r + "/a/f1", 100);
    MakeFile(r + "/a/empty", 0);
    MakeFile(r + "/a/b/c/deep", 5000);
    MakeFile(r + "/big", 200000);
    MakeFile(r + "/.hidden", 10);
    MakeFile(r + "/ro", 3);
    ::chmod((r + "/ro").c_str(), 0444);
    MakeFile(r + "/hl1", 7000);
    ::link((r + "/hl1").c_str(), (r + "/a/hl2").c_str());
    ::link((r + "/hl1").c_str(), (r + "/a/b/hl3").c_str());
    // Names Windows could not hold, and bytes that are not UTF-8.
    for (const char* n : {"new\nline", "quo\"te", "back\\slash", "sp ace ", "\xff\xfe raw",
                          "lone\xc3", "caf\xc3\xa9", "star*?<>|:", "\xf0\x9f\x98\x80 emoji"})
        MakeFile(r + "/" + n, 11);
    MakeFile(r + "/" + std::string(255, 'N'), 1);
    MakeFile(r + "/\xe2\x28\xa1 bad dir/inside", 33);
    // Sparse: 1 GiB with one block of data.
    int fd = ::open((r + "/sparse").c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, std::string(4096, 's').data(), 4096), 4096);
    ASSERT_EQ(::ftruncate(fd, 1 << 30), 0);
    ::close(fd);
    // Symbolic links: to a file, to a folder (never entered), dangling, and out of the tree.
    ASSERT_EQ(::symlink("big", (r + "/lnkfile").c_str()), 0);
    ASSERT_EQ(::symlink("a", (r + "/lnkdir").c_str()), 0);
    ASSERT_EQ(::symlink("nowhere", (r + "/dangling").c_str()), 0);
    ASSERT_EQ(::symlink("/", (r + "/a/toroot").c_str()), 0);
    // Special files: never opened, listed with their own (zero) size.
    ASSERT_EQ(::mkfifo((r + "/fifo").c_str(), 0644), 0);
    ::mknod((r + "/null").c_str(), S_IFCHR | 0666, makedev(1, 3)); // needs root; optional
    int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    struct sockaddr_un sa {};
    sa.sun_family = AF_UNIX;
    std::string sp = r + "/sock";
    if (s >= 0 && sp.size() < sizeof sa.sun_path) {
        std::memcpy(sa.sun_path, sp.c_str(), sp.size() + 1);
        (void)::bind(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
    }
    if (s >= 0) ::close(s);
}

struct Method {
    const char* name;
    int threads;
    bool older;
};

class MixedTree : public ::testing::TestWithParam<Method> {};

TEST_P(MixedTree, MatchesFindWithLosslessPathsAndTotals) {
    TempDir tmp;
    const std::string root = tmp / "root";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    MakeMixedTree(root);
    TSlowScanOptions opt;
    opt.Threads = GetParam().threads;
    opt.ForceOlderMethod = GetParam().older;
    TSlowScanStats stats;
    auto scan = ScanFolder(root, opt, &stats);
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    EXPECT_EQ(CheckTree(*scan), "");
    EXPECT_EQ(Utf16ToUtf8(scan->MFTRoot->Name()), root);

    const TListing found = FindListing(root);
    const TListing listed = ScanListing(*scan);
    // Same entries, types, sizes and allocations; every path converted back to its bytes.
    EXPECT_EQ(Comparable(listed, false), Comparable(found, true));
    EXPECT_EQ(listed.count("lnkdir/f1"), 0u); // the folder link was not followed

    const TTotals want = ExpectedTotals(found);
    PMFT_RECORD r = scan->MFTRoot;
    EXPECT_EQ(r->SubFoldersTotSize, want.size);
    EXPECT_EQ(r->SubFoldersTotSizeAlloc, want.allocated);
    EXPECT_EQ(r->SubFoldersNumFiles(), want.files);
    EXPECT_EQ(r->SubFoldersNumDirs(), want.folders);

    // Three names of one file: its bytes on disk are counted under exactly one of them.
    int counted = 0;
    for (const char* n : {"hl1", "a/hl2", "a/b/hl3"}) counted += listed.at(n).doNotCount ? 0 : 1;
    EXPECT_EQ(counted, 1);
    EXPECT_EQ(stats.ExtraLinks, 2);
    EXPECT_EQ(stats.Vanished, 0);
    EXPECT_TRUE(stats.UnreadableFolders.empty());
}

INSTANTIATE_TEST_SUITE_P(Walks, MixedTree,
                         ::testing::Values(Method{"block1", 1, false}, Method{"block2", 2, false},
                                           Method{"block4", 4, false}, Method{"older", 2, true}),
                         [](const auto& info) { return std::string(info.param.name); });

PMFT_RECORD Child(PMFT_RECORD folder, std::u16string_view name) {
    for (PMFT_RECORD c : folder->Children())
        if (c->Name() == name) return c;
    return nullptr;
}

TEST(DirScan, AttributesAndDatesFromTheEntry) {
    TempDir tmp;
    const std::string root = tmp / "root";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    MakeMixedTree(root);
    // Known times on "big": modified 2001-02-03 04:05:06.789, accessed 2020-01-01 00:00:00.5.
    struct timespec ts[2] = {{1577836800, 500000000}, {981173106, 789000000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (root + "/big").c_str(), ts, AT_SYMLINK_NOFOLLOW), 0);
    struct timespec rootTimes[2] = {{1000000000, 0}, {1234567890, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, root.c_str(), rootTimes, 0), 0);

    auto scan = ScanFolder(root);
    PMFT_RECORD r = scan->MFTRoot;
    struct Want {
        std::u16string name;
        uint32_t attr;
    };
    const Want table[] = {{u"a", 0x10},        {u".hidden", 0x02}, {u"ro", 0x01},
                          {u"lnkfile", 0x400}, {u"lnkdir", 0x400}, {u"sparse", 0x200},
                          {u"big", 0x00},      {u"fifo", 0x00}};
    for (const Want& w : table) {
        PMFT_RECORD c = Child(r, w.name);
        ASSERT_NE(c, nullptr) << Utf16ToUtf8(w.name);
        EXPECT_EQ(c->DOSAttrib, w.attr) << Utf16ToUtf8(w.name);
        EXPECT_EQ(c->IsFolder(), w.attr == 0x10) << Utf16ToUtf8(w.name);
    }
    PMFT_RECORD big = Child(r, u"big");
    EXPECT_NEAR(big->ModifiedDate, UnixToDateTime(981173106, 789000000), 1e-8);
    EXPECT_NEAR(big->LastAccessDate, UnixToDateTime(1577836800, 500000000), 1e-8);
    // Created just now (birth time where kept, else the status-change time).
    EXPECT_LT(std::fabs(big->CreatedDate - NowUtc()), 1.0);
    EXPECT_NEAR(r->ModifiedDate, UnixToDateTime(1234567890, 0), 1e-8);
    // Folders and special files carry no size of their own.
    EXPECT_EQ(Child(r, u"a")->FileSize, 0u);
    EXPECT_EQ(Child(r, u"fifo")->FileSize, 0u);
    EXPECT_EQ(Child(r, u"fifo")->AllocSize, 0u);
}

TEST(DirScan, EntryConversion) {
    using namespace qz::dirscan;
    // Times outside the years 1..9999 give 0; others convert.
    EXPECT_EQ(EntryTime({-62135596801LL, 0}), 0);
    EXPECT_EQ(EntryTime({253402300800LL, 0}), 0);
    EXPECT_EQ(EntryTime({INT64_MAX, 0}), 0);
    EXPECT_EQ(EntryTime({INT64_MIN, 0}), 0);
    EXPECT_NEAR(EntryTime({0, 0}), kUnixEpoch, 1e-12);
    EXPECT_NE(EntryTime({-62135596800LL, 0}), 0);
    // A file listed but not examinable is neither read-only nor sparse.
    TEntryMeta unknown;
    unknown.mode = S_IFREG;
    EXPECT_EQ(EntryAttributes(unknown, "x"), 0u);
    unknown.mode = S_IFDIR;
    EXPECT_EQ(EntryAttributes(unknown, ".x"), 0x12u);
}

TEST(DirScan, HardLinkNamesCountTheFirstPathWhateverOrderTheyArriveIn) {
    // /r/a/y, /r/a/c/q, /r/a-b/x and /r/zz are names of one file; /r/b/x2 and /r/ba are names
    // of another on a second device with the same inode number; /r/b/solo is the only name
    // here of a file linked from elsewhere.
    std::deque<TMFT_RECORD> recs;
    std::deque<std::u16string> names;
    auto rec = [&](PMFT_RECORD parent, std::u16string name) {
        TMFT_RECORD& r = recs.emplace_back();
        ZeroRecord(r);
        names.push_back(std::move(name));
        r.Filename = names.back().data();
        r.FilenameLen = names.back().size();
        r.ParentMFTRec = parent;
        return &r;
    };
    PMFT_RECORD root = rec(nullptr, u"/r");
    PMFT_RECORD a = rec(root, u"a"), ab = rec(root, u"a-b"), b = rec(root, u"b");
    PMFT_RECORD c = rec(a, u"c");
    PMFT_RECORD ay = rec(a, u"y"), cq = rec(c, u"q"), abx = rec(ab, u"x"), zz = rec(root, u"zz");
    PMFT_RECORD bx2 = rec(b, u"x2"), ba = rec(root, u"ba"), solo = rec(b, u"solo");
    EXPECT_TRUE(dirscan::PathComesFirst(cq, abx)); // folder by folder: "a" before "a-b"
    EXPECT_TRUE(dirscan::PathComesFirst(cq, ay));  // "c" before "y" inside "a"
    EXPECT_TRUE(dirscan::PathComesFirst(a, ay));   // a folder before what it holds
    EXPECT_FALSE(dirscan::PathComesFirst(ay, ay));

    std::vector<std::pair<PMFT_RECORD, uint64_t>> seen = {{cq, 1},  {abx, 1}, {zz, 1},     {ay, 1},
                                                          {bx2, 2}, {ba, 2},  {solo, 1000}};
    std::sort(seen.begin(), seen.end());
    do {
        dirscan::THardLinkNames links;
        for (auto [r, dev] : seen) links.Add(dev == 1000 ? 1 : dev, dev == 1000 ? 99 : 7, r);
        EXPECT_EQ(links.Resolve(), 4);
        EXPECT_EQ(links.Size(), 0u); // forgotten once decided
        std::string marks;
        for (PMFT_RECORD r : {ay, cq, abx, zz, ba, bx2, solo})
            marks += r->DoNotCountFlag ? '1' : '0';
        EXPECT_EQ(marks, "1011100");
    } while (std::next_permutation(seen.begin(), seen.end()));
}

TEST(DirScan, RootNames) {
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    const std::string here = cwd;
    const std::pair<std::string, std::string> table[] = {
        {"/", "/"},
        {"//", "/"},
        {"/home/me/", "/home/me"},
        {"/home//me/./x/.", "/home/me/x"},
        {"/a/../b", "/b"},
        {"/a/b/../../..//c/./", "/c"},
        {"rel/x/", (here == "/" ? "" : here) + "/rel/x"},
        {".", here},
        {"", here},
        {"/n\xff\n", "/n\xff\n"},
    };
    for (const auto& [in, want] : table) EXPECT_EQ(SlowScanRootName(in), want) << in;
}

// A tree with many small folders, to keep several walkers busy.
void MakeBushyTree(const std::string& root, int top, int sub, int files) {
    for (int i = 0; i < top; ++i) {
        std::string a = root + "/d" + std::to_string(i);
        ASSERT_EQ(::mkdir(a.c_str(), 0755), 0);
        for (int j = 0; j < sub; ++j) {
            std::string b = a + "/s" + std::to_string(j);
            ASSERT_EQ(::mkdir(b.c_str(), 0755), 0);
            for (int k = 0; k < files; ++k) MakeFile(b + "/f" + std::to_string(k), size_t(k * 10));
        }
    }
}

TEST(DirScan, WorkerThreadsStayWithinTheProcessorBound) {
    TempDir tmp;
    MakeBushyTree(tmp.path(), 20, 10, 5);
    const TListing found = Comparable(FindListing(tmp.path()), true);
    for (int walkers : {1, 2, 3}) {
        TSlowScanOptions opt;
        opt.Threads = walkers;
        TSlowScanStats stats;
        auto scan = ScanFolder(tmp.path(), opt, &stats);
        EXPECT_EQ(CheckTree(*scan), "") << walkers;
        EXPECT_EQ(Comparable(ScanListing(*scan), false), found) << walkers;
        // A walk that keeps blocking on reads may take up to four walkers a processor.
        const int bound = stats.WaitedOnDisk ? std::min(4 * walkers, 16) - 1 : walkers - 1;
        EXPECT_LE(stats.WorkersStarted, bound) << walkers;
        if (walkers == 1) {
            EXPECT_EQ(stats.HandOffs, 0);
            EXPECT_FALSE(stats.WaitedOnDisk);
        }
    }
}

TEST(DirScan, WalkThatKeepsBlockingTakesMoreWalkersAndMissesNothing) {
    // Every folder's listing waits three times (as reads of a folder and its inodes from a
    // slow disk do): the walk takes more
    // walkers than the two asked for, within four a processor, and still finds everything.
    TempDir tmp;
    MakeBushyTree(tmp.path(), 12, 8, 3);
    const TListing found = Comparable(FindListing(tmp.path()), true);
    TSlowScanOptions opt;
    opt.Threads = 2;
    opt.AfterBlockListed = [](const std::string&) {
        for (int i = 0; i < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    TSlowScanStats stats;
    auto scan = ScanFolder(tmp.path(), opt, &stats);
    EXPECT_EQ(CheckTree(*scan), "");
    EXPECT_EQ(Comparable(ScanListing(*scan), false), found);
    EXPECT_TRUE(stats.WaitedOnDisk);
    EXPECT_GT(stats.WorkersStarted, 1);
    EXPECT_LE(stats.WorkersStarted, 7);
}

TEST(DirScan, IdleWorkerGetsFoldersFromTheScanThreadsHandedOverFolder) {
    // Two walkers. The worker walks one top folder slowly, so the scan thread finishes the other
    // and is handed a folder by the worker. Then the worker runs dry while the scan thread
    // still has subfolders pending in that folder: the idle worker must be given some of them
    // (the scan thread must not keep handing them to itself).
    TempDir tmp;
    for (const char* top : {"a", "b"}) {
        for (int i = 0; i < 12; ++i) {
            const std::string s = tmp / top + "/s" + std::to_string(i);
            for (int k = 0; k < 8; ++k)
                ASSERT_TRUE(std::filesystem::create_directories(s + "/t" + std::to_string(k)));
        }
    }
    const auto main = std::this_thread::get_id();
    std::mutex lock;
    std::string workerTop;      // the top folder the worker walks
    std::string handed;         // the first folder the scan thread was handed from it
    int workerFoldersAfter = 0; // folders below `handed` read by the worker
    auto lastWorkerRead = std::chrono::steady_clock::now();
    TSlowScanOptions opt;
    opt.Threads = 2;
    opt.AfterBlockListed = [&](const std::string& folder) {
        std::unique_lock<std::mutex> g(lock);
        const bool onWorker = std::this_thread::get_id() != main;
        if (onWorker) {
            lastWorkerRead = std::chrono::steady_clock::now();
            if (workerTop.empty()) workerTop = folder;
            if (!handed.empty() && folder.rfind(handed + "/", 0) == 0) ++workerFoldersAfter;
            if (handed.empty()) { // slow until the scan thread has been handed a folder
                g.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
            return;
        }
        if (handed.empty() && !workerTop.empty() && folder.rfind(workerTop + "/", 0) == 0) {
            handed = folder;
            // Let the worker finish everything it holds (until it has read nothing for
            // 100 ms) before the scan thread goes on.
            const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (std::chrono::steady_clock::now() - lastWorkerRead <
                       std::chrono::milliseconds(100) &&
                   std::chrono::steady_clock::now() < limit) {
                g.unlock();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                g.lock();
            }
        }
    };
    auto scan = ScanFolder(tmp.path(), opt);
    EXPECT_EQ(CheckTree(*scan), "");
    EXPECT_EQ(scan->MFTRoot->SubFoldersNumDirs(), 2 + 2 * 12 * 9);
    ASSERT_FALSE(handed.empty()) << "the scan thread was never handed a folder";
    EXPECT_GT(workerFoldersAfter, 0) << handed;
}

TEST(DirScan, ProgressComesFromTheScanThreadAndEndsAt100) {
    TempDir tmp;
    MakeBushyTree(tmp.path(), 10, 10, 3);
    auto scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(tmp.path()));
    scan->index = 7;
    const auto me = std::this_thread::get_id();
    std::vector<int> percents;
    bool otherThread = false;
    int64_t lastFiles = -1, lastDirs = -1;
    scan->OnProgress = [&](int index, int pct, int64_t files, int64_t dirs) {
        EXPECT_EQ(index, 7);
        if (std::this_thread::get_id() != me) otherThread = true;
        percents.push_back(pct);
        lastFiles = files;
        lastDirs = dirs;
    };
    TSlowScanOptions opt;
    opt.Threads = 2;
    DoSlowMode(*scan, {.FullPath = true}, opt, nullptr);
    ASSERT_FALSE(percents.empty());
    EXPECT_FALSE(otherThread);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_EQ(percents.back(), 100);
    EXPECT_EQ(lastFiles, 300);
    EXPECT_EQ(lastDirs, 110);
}

TEST(DirScan, CancelStopsEarlyAndLeavesASoundTree) {
    TempDir tmp;
    MakeBushyTree(tmp.path(), 30, 10, 4);
    const std::pair<int, bool> runs[] = {{1, false}, {2, false}, {2, true}}; // walkers, older
    for (const auto& [walkers, older] : runs) {
        SCOPED_TRACE(std::to_string(walkers) + (older ? " older" : " block"));
        auto scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(tmp.path()));
        std::atomic<int> blocks{0};
        TSlowScanOptions opt;
        opt.Threads = walkers;
        opt.ForceOlderMethod = older;
        TNTFS_FILES* nf = scan.get();
        opt.AfterBlockListed = [&](const std::string&) {
            if (++blocks == 20) nf->CancelProcess();
        };
        DoSlowMode(*scan, {.FullPath = true}, opt, nullptr);
        EXPECT_EQ(CheckTree(*scan), "");
        // Only folders already being read when the cancel came are finished.
        EXPECT_LT(blocks.load(), 20 + 2 * walkers);
        EXPECT_LT(scan->FFileList.size(), 300u); // of 1531
        scan->CalculateDirSizes();
        int64_t files = 0;
        for (PMFT_RECORD r : scan->FFileList) files += r->IsFolder() ? 0 : 1;
        EXPECT_EQ(scan->MFTRoot->SubFoldersNumFiles(), files);
    }
}

TEST(DirScan, SourcePassNamesTheRootAndTotals) {
    TempDir tmp;
    const std::string root = tmp / "data";
    ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
    MakeMixedTree(root);
    ASSERT_NE(ScanSourcePasses().SlowScan, nullptr);
    // A trailing "/" and "." components do not end up in the root's name.
    auto scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(tmp.path() + "//./data/"), ScanSourcePasses());
    scan->ProcessMFTRecords({.FullPath = true});
    ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
    ASSERT_NE(scan->MFTRoot, nullptr);
    EXPECT_EQ(Utf16ToUtf8(scan->MFTRoot->Name()), root);
    EXPECT_EQ(Utf16ToUtf8(scan->FSource), root);
    scan->CalculateDirSizes();
    EXPECT_EQ(scan->MFTRoot->SubFoldersTotSizeAlloc, ExpectedTotals(FindListing(root)).allocated);
    // Paths use "/" and are found again by path.
    PMFT_RECORD deep = FindRecordByPath(scan->MFTRoot, u"a/b/c/deep", u'/');
    ASSERT_NE(deep, nullptr);
    EXPECT_EQ(Utf16ToUtf8(GetRecordPath(deep)), root + "/a/b/c/deep");
}

TEST(DirScan, RootThatCannotBeScannedIsAnError) {
    TempDir tmp;
    MakeFile(tmp / "file", 5);
    ASSERT_EQ(::mkdir((tmp / "dir").c_str(), 0755), 0);
    MakeFile(tmp / "dir/x", 5);
    ASSERT_EQ(::symlink("dir", (tmp / "link").c_str()), 0);
    struct Case {
        std::string path;
        const char* error; // nullptr: scans
    };
    const Case cases[] = {{tmp / "missing", "Cannot read folder"},
                          {tmp / "file", "Not a folder"},
                          {tmp / "link", nullptr}};
    for (const Case& c : cases) {
        TSlowScanStats stats;
        auto scan = ScanFolder(c.path, {}, &stats);
        ASSERT_NE(scan->MFTRoot, nullptr);
        EXPECT_EQ(Utf16ToUtf8(scan->MFTRoot->Name()), c.path);
        EXPECT_EQ(CheckTree(*scan), "");
        if (c.error) {
            EXPECT_TRUE(scan->WasError) << c.path;
            EXPECT_NE(scan->ErrorMessage.find(c.error), std::string::npos) << scan->ErrorMessage;
            EXPECT_NE(scan->ErrorMessage.find(c.path), std::string::npos) << scan->ErrorMessage;
            EXPECT_EQ(scan->FFileList.size(), 1u);
        } else {
            // The root named by the user may be a link to a folder: it is scanned.
            EXPECT_FALSE(scan->WasError) << scan->ErrorMessage;
            EXPECT_EQ(scan->MFTRoot->SubFoldersNumFiles(), 1);
            EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 5u);
        }
    }
}

TEST(DirScan, DebugLogLines) {
    TempDir logs, tree;
    ASSERT_EQ(::mkdir((tree / "a").c_str(), 0755), 0);
    MakeFile(tree / "a/f", 1);
    EnableDebugLog(logs.path());
    // The older method forced from the environment ("0" does not force it).
    for (const char* force : {"0", "1"}) {
        ::setenv("QUARZEL_FORCE_COMPATIBLE_SCAN", force, 1);
        ScanFolder(tree.path());
    }
    ::unsetenv("QUARZEL_FORCE_COMPATIBLE_SCAN");
    const std::string file = DebugLogPath();
    DisableDebugLog();
    const std::vector<uint8_t> bytes = ReadFileBytes(file);
    const std::string log(bytes.begin(), bytes.end());
    // The walk's fixed log lines, in this order.
    const std::string lines[] = {"DoSlowMode - SlowScanFolder",
                                 "SlowScanFolder Start",
                                 "Calling SlowScanFolderAlloc",
                                 "SlowScanFolderAlloc: " + tree.path(),
                                 "SlowScanFolderAlloc: " + tree / "a",
                                 "DoSlowMode - SlowScanFolder",
                                 "SlowScanFolder Start",
                                 "Force use XP compatible file scanning",
                                 "SlowScanFolder slow method start",
                                 "SlowScanFolder Start",
                                 "SlowScanFolder slow method start"};
    size_t at = 0;
    for (const std::string& l : lines) {
        size_t p = log.find(" " + l + "\n", at);
        ASSERT_NE(p, std::string::npos) << "missing after offset " << at << ": " << l << "\n"
                                        << log;
        at = p + l.size();
    }
}

// True when rel or one of its ancestors satisfies pred.
bool UnderMatch(const std::string& rel, const std::function<bool(const std::string& name)>& pred) {
    size_t start = 0;
    for (;;) {
        size_t slash = rel.find('/', start);
        if (pred(rel.substr(start, slash == std::string::npos ? std::string::npos : slash - start)))
            return true;
        if (slash == std::string::npos) return false;
        start = slash + 1;
    }
}

TEST(DirScan, ExcludedEntriesAreNeitherListedNorEntered) {
    TempDir tmp;
    for (const char* d : {"keep", "cache", "deep", "deep/cache", "deep/cache/more", "deep/x"})
        ASSERT_EQ(::mkdir((tmp / d).c_str(), 0755), 0);
    for (const char* f : {"keep/a.txt", "keep/b.tmp", "cache/c1", "cache/c2", "deep/cache/y",
                          "deep/cache/more/z", "deep/x/z.txt", "cachefile.txt", "top.TMP"})
        MakeFile(tmp / f, 1000);
    const TListing all = Comparable(FindListing(tmp.path()), true);
    auto contains = [](const char* s) {
        return [s](const std::string& n) { return n.find(s) != std::string::npos; };
    };
    auto equals = [](const char* s) { return [s](const std::string& n) { return n == s; }; };
    struct Case {
        std::u16string exclude;
        bool fullPath;
        std::function<bool(const std::string&)> excluded; // per path component
    };
    const Case cases[] = {
        {u"cache", false, contains("cache")}, // own name contains
        {u"cache", true, contains("cache")},  // name or an ancestor's name
        {u"*.tmp", false,
         [](const std::string& n) { // extension, any case
             return n.size() > 4 &&
                    (n.substr(n.size() - 4) == ".tmp" || n.substr(n.size() - 4) == ".TMP");
         }},
        {u"\\cache\\", false, equals("cache")},                    // a separator: whole folders
        {u"*/deep/*", false, equals("deep")},                      // "/" is a separator too
        {u">1G", false, [](const std::string&) { return true; }},  // size terms count as met
        {u"/^cache$/", false, equals("cache")},                    // regular expression
        {u"/(/", false, [](const std::string&) { return false; }}, // bad expression: nothing
        {u"", false, [](const std::string&) { return false; }},
    };
    for (const Case& c : cases) {
        for (bool older : {false, true}) {
            SCOPED_TRACE(Utf16ToUtf8(c.exclude) + (c.fullPath ? " full path" : "") +
                         (older ? " older" : " block"));
            std::mutex seenLock;
            std::vector<std::string> seen;
            TSlowScanOptions opt;
            opt.Threads = 2;
            opt.ForceOlderMethod = older;
            opt.AfterBlockListed = [&](const std::string& folder) {
                std::lock_guard<std::mutex> g(seenLock);
                seen.push_back(folder);
            };
            TSlowScanStats st;
            auto scan = ScanFolder(tmp.path(), opt, &st, c.exclude, c.fullPath);
            EXPECT_EQ(CheckTree(*scan), "");
            TListing want;
            int64_t excludedEntries = 0;
            for (const auto& [rel, item] : all) {
                if (!UnderMatch(rel, c.excluded))
                    want[rel] = item;
                else if (rel.find('/') == std::string::npos ||
                         !UnderMatch(rel.substr(0, rel.rfind('/')), c.excluded))
                    ++excludedEntries; // dropped where it was found; its content never seen
            }
            EXPECT_EQ(Comparable(ScanListing(*scan), false), want);
            EXPECT_EQ(st.Excluded, excludedEntries);
            // No excluded folder was read.
            for (const std::string& f : seen) {
                std::string rel =
                    f.size() > tmp.path().size() ? f.substr(tmp.path().size() + 1) : "";
                EXPECT_TRUE(rel.empty() || !UnderMatch(rel, c.excluded)) << f;
            }
            uint64_t size = 0;
            for (const auto& [rel, item] : want) size += item.size;
            EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, size);
        }
    }
}

} // namespace

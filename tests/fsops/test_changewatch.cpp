// Change monitoring on real trees: what is removed on disk after a scan (deleted, moved away,
// a whole folder, the scan's root, a counted hard-link name) is marked deleted and the totals
// then equal a fresh scan's; renames and new items change nothing; the watch limit leaves the
// shallow folders watched.
#include "base/text.h"
#include "engine/tree.h"
#include "fsops/changeapply.h"
#include "fsops/changewatch.h"
#include "sources/sources.h"
#include "tests/fsops/fstree.h"
#include "tests/support/testsupport.h"
#include "views/scancontrol.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sched.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace qz;
using namespace qz::test;
using namespace std::chrono_literals;

namespace {

std::unique_ptr<TScanSession> Scan(const std::string& path) {
    auto s = std::make_unique<TScanSession>(ScanSourcePasses());
    TScanSource src;
    src.Path = Utf8ToUtf16(path);
    EXPECT_TRUE(s->Start({&src, 1}, TScanOptions{}));
    s->Wait({});
    EXPECT_TRUE(s->Finish());
    return s;
}

PMFT_RECORD Find(TNTFS_FILES& scan, const std::string& rel) {
    return FindRecordByPath(scan.MFTRoot, Utf8ToUtf16(rel), u'/');
}

// Takes removals until none came for quiet (or until the deadline), as the window's timer
// does.
void Collect(TChangeWatcher& w, TChangeBatch& all, size_t atLeast) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    TChangeBatch b;
    auto lastSeen = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() < deadline) {
        w.TakeChanges(b);
        for (const TRemoval& r : b.Removals) {
            TRemoval copy = r;
            copy.NameOffset = uint32_t(all.Names.size());
            all.Names.append(b.NameOf(r));
            all.Removals.push_back(copy);
        }
        all.Overflowed = all.Overflowed || b.Overflowed;
        if (!b.Removals.empty()) lastSeen = std::chrono::steady_clock::now();
        if (all.Removals.size() >= atLeast && std::chrono::steady_clock::now() - lastSeen > 300ms)
            break;
        std::this_thread::sleep_for(20ms);
    }
}

void WaitForSetup(const TChangeWatcher& w) {
    for (int i = 0; i < 2000 && !w.SetupDone(); ++i) std::this_thread::sleep_for(10ms);
    ASSERT_TRUE(w.SetupDone());
}

// The shown scan brought in line with the removals, as the window does it.
void Apply(TNTFS_FILES& scan, const TChangeBatch& batch, const TChangeWatcher& w) {
    std::vector<PMFT_RECORD> marked;
    ApplyRemovals(batch, marked);
    MarkBelowDeletedFolders(scan, marked);
    MoveHardLinkCounts(w.HardLinkGroups());
    RecomputeTotals(scan, false);
}

std::vector<PMFT_RECORD> LinkedNames(TNTFS_FILES& scan) {
    std::vector<PMFT_RECORD> out;
    for (PMFT_RECORD r : scan.FFileList)
        if (r && r->DoNotCountFlag) out.push_back(r);
    return out;
}

// Every folder of the fresh scan has the same totals in the updated one; the roots have the
// same allocated size.
void ExpectSameTotals(TNTFS_FILES& updated, TNTFS_FILES& fresh) {
    EXPECT_EQ(updated.MFTRoot->SubFoldersTotSizeAlloc, fresh.MFTRoot->SubFoldersTotSizeAlloc);
    for (PMFT_RECORD f : fresh.FDirList) {
        if (!f) continue;
        const std::u16string path = GetRecordPath(f);
        const std::u16string rel =
            f == fresh.MFTRoot ? u"" : path.substr(fresh.MFTRoot->NameLength() + 1);
        PMFT_RECORD u =
            rel.empty() ? updated.MFTRoot : FindRecordByPath(updated.MFTRoot, rel, u'/');
        if (!u) continue; // made after the scan
        SCOPED_TRACE(Utf16ToUtf8(path));
        EXPECT_FALSE(u->Deleted);
        EXPECT_EQ(u->SubFoldersTotSize, f->SubFoldersTotSize);
        EXPECT_EQ(u->SubFoldersNumFiles(), f->SubFoldersNumFiles());
        EXPECT_EQ(u->SubFoldersNumDirs(), f->SubFoldersNumDirs());
    }
}

} // namespace

TEST(ChangeWatch, RemovalsOnDiskAreMarkedAndTotalsEqualAFreshScan) {
    TempDir tmp;
    const std::string t = tmp / "tree";
    WriteText(t + "/keep/a.txt", std::string(1000, 'a'));
    WriteText(t + "/keep/renamed.txt", std::string(70, 'r'));
    WriteText(t + "/gone-dir/sub/x", std::string(500, 'x'));
    WriteText(t + "/gone-dir/y", std::string(5000, 'y'));
    WriteText(t + "/gone.txt", std::string(300, 'g'));
    WriteText(t + "/moved-out.txt", std::string(40, 'm'));
    WriteText(t + "/name\nwith break", "n");
    WriteText(t + "/bad\xff", "b");
    WriteText(t + "/links1/data.bin", std::string(20000, 'd'));
    ASSERT_EQ(::mkdir((t + "/links2").c_str(), 0755), 0);
    ASSERT_EQ(::link((t + "/links1/data.bin").c_str(), (t + "/links2/data.bin").c_str()), 0);
    for (int i = 0; i < 20; ++i) WriteText(t + "/big/f" + std::to_string(i), std::string(i, 'z'));
    ASSERT_EQ(::mkdir((tmp / "outside").c_str(), 0755), 0);
    auto shown = Scan(t);
    TNTFS_FILES& scan = *shown->ScanSlots[0];
    // The counted name of the linked file goes; the other stays.
    const bool firstCounted = !Find(scan, "links1/data.bin")->DoNotCountFlag;
    const std::string countedLink = firstCounted ? "links1/data.bin" : "links2/data.bin";
    const std::string otherLink = firstCounted ? "links2/data.bin" : "links1/data.bin";

    TChangeWatcher w({&scan}, LinkedNames(scan));
    std::atomic<int> calls{0};
    w.OnChanges = [&] { ++calls; };
    ASSERT_TRUE(w.Start());
    WaitForSetup(w);
    EXPECT_EQ(w.WatchCount(), w.FolderCount());
    EXPECT_EQ(w.FolderCount(), 7u);
    EXPECT_FALSE(w.LimitReached());
    ASSERT_EQ(w.HardLinkGroups().size(), 1u);

    const std::vector<std::string> removed = {"gone-dir",         "gone.txt", "moved-out.txt",
                                              "name\nwith break", "bad\xff",  countedLink};
    ASSERT_EQ(qz::test::Run("rm -r '" + t + "/gone-dir'"), 0);
    ASSERT_EQ(::unlink((t + "/gone.txt").c_str()), 0);
    ASSERT_EQ(::rename((t + "/moved-out.txt").c_str(), (tmp / "outside/m").c_str()), 0);
    ASSERT_EQ(::unlink((t + "/name\nwith break").c_str()), 0);
    ASSERT_EQ(::unlink((t + "/bad\xff").c_str()), 0);
    ASSERT_EQ(::unlink((t + "/" + countedLink).c_str()), 0);
    std::vector<std::string> bigGone;
    for (int i = 0; i < 15; ++i) {
        bigGone.push_back("big/f" + std::to_string(i));
        ASSERT_EQ(::unlink((t + "/" + bigGone.back()).c_str()), 0);
    }
    // A rename inside the tree, a new folder with a file that comes and goes: no removal.
    ASSERT_EQ(::rename((t + "/keep/renamed.txt").c_str(), (t + "/keep/renamed2.txt").c_str()), 0);
    ASSERT_EQ(::mkdir((t + "/new").c_str(), 0755), 0);
    std::this_thread::sleep_for(50ms);
    WriteText(t + "/new/f", "temporary");
    ASSERT_EQ(::unlink((t + "/new/f").c_str()), 0);

    // The records, found before the totals drop the removed ones from their folders' lists.
    std::vector<std::pair<std::string, PMFT_RECORD>> gone, kept;
    for (const std::string& r : removed) gone.push_back({r, Find(scan, r)});
    for (const std::string& r : bigGone) gone.push_back({r, Find(scan, r)});
    gone.push_back({"gone-dir/sub/x", Find(scan, "gone-dir/sub/x")});
    for (const char* k : {"keep", "keep/a.txt", "keep/renamed.txt", "big/f15", "links2"})
        kept.push_back({k, Find(scan, k)});
    kept.push_back({otherLink, Find(scan, otherLink)});
    for (auto& [path, rec] : gone) ASSERT_NE(rec, nullptr) << path;
    for (auto& [path, rec] : kept) ASSERT_NE(rec, nullptr) << path;

    TChangeBatch all;
    Collect(w, all, removed.size() + bigGone.size());
    EXPECT_FALSE(all.Overflowed);
    EXPECT_GE(calls.load(), 1);
    Apply(scan, all, w);
    for (auto& [path, rec] : gone) EXPECT_TRUE(rec->Deleted) << path;
    for (auto& [path, rec] : kept) EXPECT_FALSE(rec->Deleted) << path;
    // The remaining name of the linked file counts its allocation now.
    EXPECT_FALSE(kept.back().second->DoNotCountFlag);

    // Undo the rename (the tree shows the old name), then compare with a fresh scan.
    ASSERT_EQ(::rename((t + "/keep/renamed2.txt").c_str(), (t + "/keep/renamed.txt").c_str()), 0);
    ASSERT_EQ(::rmdir((t + "/new").c_str()), 0);
    auto fresh = Scan(t);
    ExpectSameTotals(scan, *fresh->ScanSlots[0]);
    w.Stop();
}

TEST(ChangeWatch, TheRootRemovedMarksTheWholeScan) {
    TempDir tmp;
    const std::string t = tmp / "tree";
    WriteText(t + "/a/b/c", "c");
    WriteText(t + "/d", "d");
    auto shown = Scan(t);
    TNTFS_FILES& scan = *shown->ScanSlots[0];
    TChangeWatcher w({&scan});
    ASSERT_TRUE(w.Start());
    WaitForSetup(w);
    ASSERT_EQ(qz::test::Run("rm -r '" + t + "'"), 0);
    TChangeBatch all;
    Collect(w, all, 5);
    Apply(scan, all, w);
    for (PMFT_RECORD r : scan.FFileList) {
        if (!r) continue;
        EXPECT_TRUE(r->Deleted) << Utf16ToUtf8(r->Name());
    }
    EXPECT_EQ(scan.MFTRoot->SubFoldersTotSize, 0u);
    EXPECT_EQ(scan.MFTRoot->SubFoldersNumFiles(), 0);
}

// The system's watch limit, lowered for this process alone in a user namespace of its own:
// the shallow folders are watched, the rest is not, and nothing fails.
TEST(ChangeWatch, AtTheWatchLimitTheShallowFoldersAreWatched) {
    TempDir tmp;
    const std::string t = tmp / "tree";
    WriteText(t + "/top.txt", "t");
    WriteText(t + "/l1/l2/l3/l4/deep.txt", "d");
    WriteText(t + "/m1/m2/m3/x", "x");
    auto shown = Scan(t);
    TNTFS_FILES& scan = *shown->ScanSlots[0];
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Exit codes: 0 fine, 10+ the check that failed, 2 no user namespace here.
        const uid_t uid = ::getuid();
        const gid_t gid = ::getgid();
        if (::unshare(CLONE_NEWUSER) != 0) ::_exit(2);
        auto put = [](const char* file, const std::string& text) {
            const int fd = ::open(file, O_WRONLY);
            const bool ok =
                fd >= 0 && ::write(fd, text.data(), text.size()) == ssize_t(text.size());
            if (fd >= 0) ::close(fd);
            return ok;
        };
        put("/proc/self/setgroups", "deny");
        if (!put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1\n") ||
            !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1\n") ||
            !put("/proc/sys/user/max_inotify_watches", "4"))
            ::_exit(2);
        TChangeWatcher w({&scan});
        if (!w.Start()) ::_exit(10);
        for (int i = 0; i < 2000 && !w.SetupDone(); ++i) std::this_thread::sleep_for(10ms);
        if (!w.LimitReached()) ::_exit(11);
        if (w.WatchCount() != 4 || w.FolderCount() != 8) ::_exit(12);
        // The root and the first level are watched, the deepest folder is not.
        ::unlink((t + "/top.txt").c_str());
        ::unlink((t + "/l1/l2/l3/l4/deep.txt").c_str());
        TChangeBatch all;
        Collect(w, all, 1);
        if (all.Removals.size() != 1 || all.NameOf(all.Removals[0]) != "top.txt") ::_exit(13);
        w.Stop();
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "no user namespaces here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

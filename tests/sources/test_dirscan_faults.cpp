// The folder walk on hostile trees: unreadable folders, entries vanishing or growing while the
// walk runs, depth beyond PATH_MAX, a huge folder, link loops, mounts inside the tree, and a
// failing block walk. Each time the walk must finish, keep every readable entry, follow no
// link and count no byte twice.
#include "base/text.h"
#include "engine/tree.h"
#include "sources/dirscan.h"
#include "tests/sources/test_dirscan_util.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sstream>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

struct Method {
    const char* name;
    bool older;
};
const Method kMethods[] = {{"block", false}, {"older", true}};

TSlowScanOptions Options(bool older, int threads = 2) {
    TSlowScanOptions o;
    o.ForceOlderMethod = older;
    o.Threads = threads;
    return o;
}

std::string RelPath(TNTFS_FILES& scan, PMFT_RECORD r) {
    std::string root = Utf16ToUtf8(scan.MFTRoot->Name());
    std::string p = Utf16ToUtf8(GetRecordPath(r));
    return p.size() > root.size() ? p.substr(root.size() + 1) : "";
}

TEST(DirScanFaults, UnreadableFoldersStayEmptyAndAreReported) {
    TempDir tmp;
    ::chmod(tmp.path().c_str(), 0755);
    const std::string root = tmp / "r";
    for (const char* d : {"r", "r/ok", "r/locked", "r/listonly", "r/listonly/sub", "r/searchonly"})
        ASSERT_EQ(::mkdir((tmp / d).c_str(), 0755), 0);
    MakeFile(root + "/ok/f", 10);
    MakeFile(root + "/locked/f", 10);
    MakeFile(root + "/listonly/a", 5);
    MakeFile(root + "/searchonly/hidden", 7);
    ::chmod((root + "/locked").c_str(), 0);
    ::chmod((root + "/listonly").c_str(), 0444);   // names readable, entries not
    ::chmod((root + "/searchonly").c_str(), 0111); // entries reachable, names not

    for (const Method& m : kMethods) {
        // Root may read anything: the walk runs as an ordinary user.
        std::string out = RunUnprivileged([&] {
            TSlowScanStats st;
            auto scan = ScanFolder(root, Options(m.older), &st);
            std::ostringstream os;
            os << "error " << scan->WasError << " check '" << CheckTree(*scan) << "'\n";
            os << "notexamined " << st.NotExamined << "\n";
            for (PMFT_RECORD u : st.UnreadableFolders)
                os << "unreadable " << RelPath(*scan, u) << "\n";
            for (size_t i = 1; i < scan->FFileList.size(); ++i) {
                PMFT_RECORD r = scan->FFileList[i];
                os << "item " << RelPath(*scan, r) << " " << (r->IsFolder() ? 'd' : 'f') << " "
                   << r->FileSize << " " << r->Children().size() << "\n";
            }
            return os.str();
        });
        if (out.rfind("SKIP", 0) == 0) GTEST_SKIP() << out;
        SCOPED_TRACE(m.name);
        EXPECT_NE(out.find("error 0 check ''\n"), std::string::npos) << out;
        EXPECT_NE(out.find("item ok/f f 10 0\n"), std::string::npos) << out;
        EXPECT_NE(out.find("item locked d 0 0\n"), std::string::npos) << out;
        EXPECT_NE(out.find("unreadable locked\n"), std::string::npos) << out;
        EXPECT_NE(out.find("item searchonly d 0 0\n"), std::string::npos) << out;
        EXPECT_NE(out.find("unreadable searchonly\n"), std::string::npos) << out;
        // Listed names are kept even though they cannot be examined (no sizes known).
        EXPECT_NE(out.find("item listonly/a f 0 0\n"), std::string::npos) << out;
        EXPECT_NE(out.find("item listonly/sub d 0 0\n"), std::string::npos) << out;
        EXPECT_NE(out.find("unreadable listonly/sub\n"), std::string::npos) << out;
        EXPECT_NE(out.find("notexamined 2\n"), std::string::npos) << out;
        EXPECT_EQ(out.find("locked/f"), std::string::npos) << out;
        EXPECT_EQ(out.find("searchonly/hidden"), std::string::npos) << out;
    }
}

TEST(DirScanFaults, EntriesVanishingBeforeTheyAreExamined) {
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        TempDir tmp;
        MakeFile(tmp / "stays", 100);
        MakeFile(tmp / "gone", 100);
        ASSERT_EQ(::mkdir((tmp / "gonedir").c_str(), 0755), 0);
        ASSERT_EQ(::mkdir((tmp / "keep").c_str(), 0755), 0);
        MakeFile(tmp / "keep/x", 3);
        TSlowScanOptions opt = Options(m.older);
        std::atomic<bool> done{false};
        const std::string top = tmp.path();
        // Listed, then removed before the walk looks at them.
        opt.AfterBlockListed = [&](const std::string& folder) {
            if (folder == top && !done.exchange(true)) {
                ::unlink((top + "/gone").c_str());
                ::rmdir((top + "/gonedir").c_str());
            }
        };
        TSlowScanStats st;
        auto scan = ScanFolder(tmp.path(), opt, &st);
        EXPECT_FALSE(scan->WasError);
        EXPECT_EQ(CheckTree(*scan), "");
        EXPECT_EQ(st.Vanished, 2);
        EXPECT_EQ(Comparable(ScanListing(*scan), false), Comparable(FindListing(tmp.path()), true));
        EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 103u);
    }
}

TEST(DirScanFaults, FileGrowingWhileTheWalkRuns) {
    TempDir tmp;
    for (int i = 0; i < 20; ++i) {
        std::string d = tmp / ("d" + std::to_string(i));
        ASSERT_EQ(::mkdir(d.c_str(), 0755), 0);
        for (int k = 0; k < 20; ++k) MakeFile(d + "/f" + std::to_string(k), 1000);
    }
    const std::string grow = tmp / "d7/grow";
    int fd = ::open(grow.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ASSERT_GE(fd, 0);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const std::string chunk(4096, 'g');
        while (!stop) (void)!::write(fd, chunk.data(), chunk.size());
    });
    for (int round = 0; round < 5; ++round) {
        struct stat before {};
        ::stat(grow.c_str(), &before);
        auto scan = ScanFolder(tmp.path(), Options(false));
        struct stat after {};
        ::stat(grow.c_str(), &after);
        EXPECT_EQ(CheckTree(*scan), "");
        PMFT_RECORD g = FindRecordByPath(scan->MFTRoot, u"d7/grow", u'/');
        ASSERT_NE(g, nullptr);
        EXPECT_GE(g->FileSize, uint64_t(before.st_size));
        EXPECT_LE(g->FileSize, uint64_t(after.st_size));
        EXPECT_EQ(scan->MFTRoot->SubFoldersNumFiles(), 401);
        EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 400000u + g->FileSize);
    }
    stop = true;
    writer.join();
    ::close(fd);
}

// Removes a tree too deep for path-based removal before the temporary folder goes.
struct DeepCleanup {
    std::string path;
    ~DeepCleanup() { RemoveTree(path); }
};

TEST(DirScanFaults, TwoThousandLevelsDeep) {
    TempDir tmp;
    const std::string top = tmp / "deep";
    ASSERT_EQ(::mkdir(top.c_str(), 0755), 0);
    DeepCleanup cleanup{top};
    MakeChain(top, "d", 2000, 77);
    std::string want = top;
    for (int i = 0; i < 2000; ++i) want += "/d";
    want += "/leaf";
    ASSERT_LT(want.size(), size_t(PATH_MAX)); // both methods reach it
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        TSlowScanStats st;
        auto scan = ScanFolder(top, Options(m.older), &st);
        EXPECT_EQ(CheckTree(*scan), "");
        EXPECT_EQ(scan->MFTRoot->SubFoldersNumDirs(), 2000);
        EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 77u);
        PMFT_RECORD leaf = scan->FFileList.back();
        EXPECT_EQ(Utf16ToUtf8(GetRecordPath(leaf)), want);
        EXPECT_TRUE(st.UnreadableFolders.empty());
    }
}

// The soft limit of open descriptors lowered for the life of the object.
struct TDescriptorLimit {
    struct rlimit old {};
    explicit TDescriptorLimit(rlim_t soft) {
        ::getrlimit(RLIMIT_NOFILE, &old);
        struct rlimit now = old;
        now.rlim_cur = soft;
        ::setrlimit(RLIMIT_NOFILE, &now);
    }
    ~TDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &old); }
};

TEST(DirScanFaults, DeepTreeWithPendingFoldersAtEveryLevel) {
    // 2000 levels, and at each one a sibling folder (holding a file) still waits while the
    // walk goes down the chain: more folders pending above the bottom than the process may
    // open descriptors. Every level must still be read, from descriptors.
    TempDir tmp;
    const std::string top = tmp / "deep";
    ASSERT_EQ(::mkdir(top.c_str(), 0755), 0);
    DeepCleanup cleanup{top};
    constexpr int kLevels = 2000;
    int fd = ::open(top.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < kLevels; ++i) {
        struct stat a {
        }, b{};
        ASSERT_EQ(::mkdirat(fd, "a", 0755), 0);
        ASSERT_EQ(::mkdirat(fd, "b", 0755), 0);
        ASSERT_EQ(::fstatat(fd, "a", &a, 0), 0);
        ASSERT_EQ(::fstatat(fd, "b", &b, 0), 0);
        // Entries are examined in inode order: the chain goes on in the first one.
        const char* down = a.st_ino < b.st_ino ? "a" : "b";
        const std::string wait = std::string(down[0] == 'a' ? "b" : "a") + "/f";
        const int f = ::openat(fd, wait.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(f, 0);
        ASSERT_EQ(::write(f, "x", 1), 1);
        ::close(f);
        const int next = ::openat(fd, down, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
    }
    ::close(fd);
    for (int walkers : {1, 2}) {
        SCOPED_TRACE(walkers);
        TSlowScanStats st;
        std::unique_ptr<TNTFS_FILES> scan;
        {
            const TDescriptorLimit limit(128);
            scan = ScanFolder(top, Options(false, walkers), &st);
        }
        EXPECT_EQ(CheckTree(*scan), "");
        EXPECT_TRUE(st.UnreadableFolders.empty());
        EXPECT_FALSE(st.OlderMethodFallback);
        EXPECT_EQ(scan->MFTRoot->SubFoldersNumDirs(), 2 * kLevels);
        EXPECT_EQ(scan->MFTRoot->SubFoldersNumFiles(), kLevels);
        EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, uint64_t(kLevels));
    }
}

TEST(DirScanFaults, PathsLongerThanPathMax) {
    TempDir tmp;
    const std::string top = tmp / "long";
    ASSERT_EQ(::mkdir(top.c_str(), 0755), 0);
    DeepCleanup cleanup{top};
    const std::string name(250, 'n');
    MakeChain(top, name, 30, 1234);
    std::string want = top;
    for (int i = 0; i < 30; ++i) want += "/" + name;
    want += "/leaf";
    ASSERT_GT(want.size(), size_t(PATH_MAX));

    // The block method works from descriptors: everything is found and every path converts
    // back to its exact bytes, however long.
    TSlowScanStats st;
    auto scan = ScanFolder(top, Options(false), &st);
    EXPECT_EQ(CheckTree(*scan), "");
    EXPECT_EQ(scan->MFTRoot->SubFoldersNumDirs(), 30);
    EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 1234u);
    EXPECT_EQ(Utf16ToUtf8(GetRecordPath(scan->FFileList.back())), want);
    EXPECT_TRUE(st.UnreadableFolders.empty());

    // The older method cannot open what lies beyond PATH_MAX: it stops there, says so, and
    // keeps everything above.
    TSlowScanStats old;
    auto scan2 = ScanFolder(top, Options(true), &old);
    EXPECT_FALSE(scan2->WasError);
    EXPECT_EQ(CheckTree(*scan2), "");
    ASSERT_EQ(old.UnreadableFolders.size(), 1u);
    // The first folder whose path is too long for the kernel's path calls.
    const size_t reached = Utf16ToUtf8(GetRecordPath(old.UnreadableFolders[0])).size();
    EXPECT_GE(reached, size_t(PATH_MAX));
    EXPECT_LT(reached - 1 - name.size(), size_t(PATH_MAX));
    EXPECT_EQ(scan2->MFTRoot->SubFoldersTotSize, 0u);
    EXPECT_LT(scan2->MFTRoot->SubFoldersNumDirs(), 30);
}

TEST(DirScanFaults, FolderWithHalfAMillionEntries) {
    // Half a million names for a few files (hard links are far quicker to make than new
    // files): the walk must list them all and count each file's bytes on disk once.
    TempDir tmp;
    const std::string big = tmp / "big";
    ASSERT_EQ(::mkdir(big.c_str(), 0755), 0);
    int dfd = ::open(big.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(dfd, 0);
    constexpr int kCount = 500000;
    int sources = 0;
    char name[32], source[32] = "";
    auto newSource = [&] {
        std::snprintf(source, sizeof source, "source-%d", sources++);
        int fd = ::openat(dfd, source, O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "abc", 3), 3);
        ::close(fd);
    };
    newSource();
    for (int i = 0, inSource = 1; i < kCount - 1; ++i, ++inSource) {
        std::snprintf(name, sizeof name, "entry-%06d", i);
        if (inSource == 50000) { // well below every file system's link limit
            newSource();
            inSource = 1;
        }
        ASSERT_EQ(::linkat(dfd, source, dfd, name, 0), 0) << name << ": " << std::strerror(errno);
    }
    ::close(dfd);
    MakeFile(tmp / "small", 9);
    struct stat one {};
    ASSERT_EQ(::stat((big + "/source-0").c_str(), &one), 0);

    TSlowScanStats st;
    auto scan = ScanFolder(tmp.path(), Options(false), &st);
    EXPECT_EQ(CheckTree(*scan), "");
    PMFT_RECORD b = FindRecordByPath(scan->MFTRoot, u"big", u'/');
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->Children().size(), size_t(kCount - 1 + sources));
    EXPECT_NE(FindRecordByPath(scan->MFTRoot, u"big/entry-499998", u'/'), nullptr);
    EXPECT_EQ(b->SubFoldersTotSize, 3u * uint64_t(kCount - 1 + sources));
    EXPECT_EQ(b->SubFoldersTotSizeAlloc, uint64_t(one.st_blocks) * 512 * sources);
    EXPECT_EQ(st.ExtraLinks, kCount - 1);
    EXPECT_EQ(scan->MFTRoot->SubFoldersNumFiles(), kCount + sources);
}

TEST(DirScanFaults, LinkLoopsAreListedNotFollowed) {
    TempDir tmp;
    ASSERT_EQ(::mkdir((tmp / "a").c_str(), 0755), 0);
    MakeFile(tmp / "a/f", 50);
    const std::pair<const char*, const char*> links[] = {
        {"loop1", "loop2"},  {"loop2", "loop1"}, {"self", "."},   {"up", ".."},
        {"a/back", "../.."}, {"abs", "/"},       {"a/me", "../a"}};
    for (const auto& [at, to] : links) ASSERT_EQ(::symlink(to, (tmp / at).c_str()), 0) << at;
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        auto scan = ScanFolder(tmp.path(), Options(m.older));
        EXPECT_EQ(CheckTree(*scan), "");
        const TListing listed = ScanListing(*scan);
        EXPECT_EQ(Comparable(listed, false), Comparable(FindListing(tmp.path()), true));
        for (const auto& [at, to] : links) {
            ASSERT_TRUE(listed.count(at)) << at;
            EXPECT_EQ(listed.at(at).type, 'l') << at;
            EXPECT_EQ(listed.at(at).size, std::string(to).size()) << at;
        }
        EXPECT_EQ(scan->MFTRoot->SubFoldersNumFiles(), 8); // f and the seven links
        EXPECT_EQ(scan->MFTRoot->SubFoldersNumDirs(), 1);
    }
}

TEST(DirScanFaults, FolderSwappedForALinkIsNotFollowed) {
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        TempDir tmp;
        const std::string root = tmp / "root";
        for (const char* d : {"outside", "root", "root/s1", "root/s2"})
            ASSERT_EQ(::mkdir((tmp / d).c_str(), 0755), 0);
        MakeFile(tmp / "outside/secret", 999);
        MakeFile(root + "/s1/in", 1);
        MakeFile(root + "/s2/in", 1);
        // While the first subfolder is read, its sibling (already examined as a folder, not
        // yet opened) is replaced by a link to a folder outside the tree.
        bool swapped = false;
        TSlowScanOptions opt = Options(m.older, 1);
        opt.AfterBlockListed = [&](const std::string& folder) {
            if (folder == root || swapped) return;
            swapped = true;
            const std::string other = root + (folder == root + "/s1" ? "/s2" : "/s1");
            ASSERT_EQ(::rename(other.c_str(), (tmp / "moved").c_str()), 0);
            ASSERT_EQ(::symlink((tmp / "outside").c_str(), other.c_str()), 0);
        };
        TSlowScanStats st;
        auto scan = ScanFolder(root, opt, &st);
        ASSERT_TRUE(swapped);
        EXPECT_EQ(CheckTree(*scan), "");
        for (PMFT_RECORD r : scan->FFileList) EXPECT_NE(r->Name(), u"secret");
        EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 1u);
        EXPECT_EQ(st.UnreadableFolders.size(), 1u);
    }
}

TEST(DirScanFaults, OtherFileSystemsInsideAreListedEmpty) {
    TempDir tmp;
    for (const char* d : {"a", "mnt", "bind"}) ASSERT_EQ(::mkdir((tmp / d).c_str(), 0755), 0);
    MakeFile(tmp / "a/f", 4000);
    if (::mount("tmpfs", (tmp / "mnt").c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (needs root)";
    struct Unmount {
        std::vector<std::string> at;
        ~Unmount() {
            for (auto it = at.rbegin(); it != at.rend(); ++it) ::umount2(it->c_str(), MNT_DETACH);
        }
    } unmount{{tmp / "mnt"}};
    MakeFile(tmp / "mnt/inside", 5000);
    // A bind mount of a folder of the same file system: entering it would count a/f twice.
    if (::mount((tmp / "a").c_str(), (tmp / "bind").c_str(), nullptr, MS_BIND, nullptr) == 0)
        unmount.at.push_back(tmp / "bind");
    const bool haveBind = unmount.at.size() == 2;
    struct statx sx {};
    const bool markedMountRoot =
        haveBind &&
        ::statx(AT_FDCWD, (tmp / "bind").c_str(), AT_SYMLINK_NOFOLLOW, STATX_INO, &sx) == 0 &&
        (sx.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) &&
        (sx.stx_attributes & STATX_ATTR_MOUNT_ROOT);
    for (const Method& m : kMethods) {
        SCOPED_TRACE(m.name);
        TSlowScanStats st;
        auto scan = ScanFolder(tmp.path(), Options(m.older), &st);
        EXPECT_EQ(CheckTree(*scan), "");
        PMFT_RECORD mnt = FindRecordByPath(scan->MFTRoot, u"mnt", u'/');
        ASSERT_NE(mnt, nullptr);
        EXPECT_TRUE(mnt->IsFolder());
        EXPECT_TRUE(mnt->Children().empty());
        EXPECT_EQ(scan->MFTRoot->SubFoldersNumFiles(), 1);
        EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, 4000u);
        if (haveBind) {
            // A bind mount shares the device number; only the kernel's mount-root mark (statx,
            // Linux 5.8) tells it apart, for both methods alike.
            if (markedMountRoot) {
                EXPECT_EQ(st.MountsSkipped, 2);
            }
        } else {
            EXPECT_EQ(st.MountsSkipped, 1);
        }
    }
}

TEST(DirScanFaults, FailedBlockWalkIsRedoneWithoutDoubleCounting) {
    TempDir tmp;
    for (int i = 0; i < 12; ++i) {
        std::string d = tmp / ("d" + std::to_string(i));
        ASSERT_EQ(::mkdir(d.c_str(), 0755), 0);
        for (int j = 0; j < 6; ++j) {
            ASSERT_EQ(::mkdir((d + "/s" + std::to_string(j)).c_str(), 0755), 0);
            MakeFile(d + "/s" + std::to_string(j) + "/f", size_t(100 + j));
        }
    }
    const TListing found = Comparable(FindListing(tmp.path()), true);
    const TTotals want = ExpectedTotals(FindListing(tmp.path()));
    const auto main = std::this_thread::get_id();
    // The failure strikes the scan thread, or a worker thread.
    for (bool inWorker : {false, true}) {
        SCOPED_TRACE(inWorker ? "worker" : "scan thread");
        std::atomic<bool> thrown{false};
        TSlowScanOptions opt = Options(false, 2);
        opt.AfterBlockListed = [&](const std::string&) {
            if ((std::this_thread::get_id() != main) == inWorker && !thrown.exchange(true))
                throw std::runtime_error("simulated failure");
        };
        TSlowScanStats st;
        auto scan = ScanFolder(tmp.path(), opt, &st);
        EXPECT_TRUE(thrown);
        EXPECT_TRUE(st.OlderMethodFallback);
        EXPECT_FALSE(scan->WasError);
        EXPECT_EQ(CheckTree(*scan), "");
        EXPECT_EQ(Comparable(ScanListing(*scan), false), found);
        EXPECT_EQ(scan->MFTRoot->SubFoldersTotSize, want.size);
        EXPECT_EQ(scan->MFTRoot->SubFoldersNumFiles(), want.files);
    }
}

} // namespace

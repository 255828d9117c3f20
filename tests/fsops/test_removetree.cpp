// Permanent removal on real trees: only the chosen items go, whatever lies beside or below
// them (similar names, hard links, links to folders elsewhere, a bind mount, names with line
// breaks or bytes that are not UTF-8); failures are reported with their paths and the rest is
// handled as the handler says; a cancel stops the removal.
#include "fsops/removetree.h"
#include "tests/fsops/fstree.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

// Records every failure and answers with choice.
struct TRecorder {
    TFailureChoice choice = TFailureChoice::Skip;
    std::vector<TRemoveFailure> failures;
    TFailureHandler Handler() {
        return [this](const TRemoveFailure& f) {
            failures.push_back(f);
            return choice;
        };
    }
};

// A tree whose items have close relatives: the folder "sel" among "sel2", "sel.bak", "se",
// "sel " and a file "sel\n"; inside "sel" a hard link to a file outside, a link to a folder
// outside, odd names and a nested folder.
void MakeCrowdedTree(const std::string& root) {
    WriteText(root + "/outside/keep.txt", "outside content");
    WriteText(root + "/outside/linked.bin", "shared bytes");
    WriteText(root + "/tree/sel/a.txt", "a");
    WriteText(root + "/tree/sel/deep/er/b.txt", "b");
    WriteText(root + "/tree/sel/name\nwith break", "nl");
    WriteText(root + "/tree/sel/bad\xff\xfe", "latin1");
    ASSERT_EQ(::link((root + "/outside/linked.bin").c_str(), (root + "/tree/sel/hard").c_str()), 0);
    ASSERT_EQ(::symlink((root + "/outside").c_str(), (root + "/tree/sel/to-outside").c_str()), 0);
    ASSERT_EQ(::symlink("../../outside/keep.txt", (root + "/tree/sel/rel-link").c_str()), 0);
    WriteText(root + "/tree/sel2/x", "sibling");
    WriteText(root + "/tree/sel.bak/x", "sibling");
    WriteText(root + "/tree/se/x", "sibling");
    WriteText(root + "/tree/sel /x", "sibling with blank");
    WriteText(root + "/tree/sel\n", "file named with a line break");
    WriteText(root + "/tree/file.txt", "f");
    WriteText(root + "/tree/file.txt~", "backup");
}

} // namespace

TEST(RemoveTree, OnlyTheChosenItemsGoWhateverLiesBesideOrBelowThem) {
    TempDir tmp;
    const std::string root = tmp / "r";
    MakeCrowdedTree(root);
    const TTreePicture before = PictureOf(root);
    const std::vector<std::string> chosen = {"tree/sel", "tree/file.txt", "tree/sel\n"};
    for (const std::string& rel : chosen) {
        SCOPED_TRACE(rel);
        TRemoveProgress progress;
        TRecorder rec;
        EXPECT_EQ(RemoveTree(root + "/" + rel, progress, rec.Handler()), TRemoveOutcome::Removed);
        EXPECT_TRUE(rec.failures.empty());
        EXPECT_FALSE(Exists(root + "/" + rel));
    }
    EXPECT_EQ(Difference(Without(before, chosen), PictureOf(root)), "");
    // The hard link's other name keeps its content; the linked folder keeps everything.
    EXPECT_EQ(ReadText(root + "/outside/linked.bin"), "shared bytes");
}

TEST(RemoveTree, ALinkToAFolderIsRemovedAsALink) {
    TempDir tmp;
    WriteText(tmp / "target/inside", "stays");
    ASSERT_EQ(::symlink((tmp / "target").c_str(), (tmp / "link").c_str()), 0);
    TRemoveProgress progress;
    EXPECT_EQ(RemoveTree(tmp / "link", progress, nullptr), TRemoveOutcome::Removed);
    EXPECT_FALSE(Exists(tmp / "link"));
    EXPECT_EQ(ReadText(tmp / "target/inside"), "stays");
    EXPECT_EQ(progress.Removed.load(), 1u);
    // A path that is gone already is no failure.
    EXPECT_EQ(RemoveTree(tmp / "link", progress, nullptr), TRemoveOutcome::Removed);
}

TEST(RemoveTree, AMountedFileSystemInsideIsLeftAloneAndNamed) {
    TempDir tmp;
    TMounts mounts;
    WriteText(tmp / "src/precious", "bind source");
    WriteText(tmp / "tree/a/file", "goes");
    WriteText(tmp / "tree/b/mnt/.keep", "");
    WriteText(tmp / "tree/c/file", "goes");
    if (!mounts.Bind(tmp / "src", tmp / "tree/b/mnt")) GTEST_SKIP() << "cannot mount here";
    TRemoveProgress progress;
    TRecorder rec;
    EXPECT_EQ(RemoveTree(tmp / "tree", progress, rec.Handler()), TRemoveOutcome::Incomplete);
    ASSERT_EQ(rec.failures.size(), 1u);
    EXPECT_EQ(rec.failures[0].Path, tmp / "tree/b/mnt");
    EXPECT_EQ(ReadText(tmp / "src/precious"), "bind source");
    EXPECT_EQ(ReadText(tmp / "tree/b/mnt/precious"), "bind source");
    // Everything beside the mount went; the folders above it stay.
    EXPECT_FALSE(Exists(tmp / "tree/a"));
    EXPECT_FALSE(Exists(tmp / "tree/c"));
    EXPECT_TRUE(Exists(tmp / "tree/b/mnt"));

    // The mount point itself is refused.
    rec.failures.clear();
    EXPECT_EQ(RemoveTree(tmp / "tree/b/mnt", progress, rec.Handler()), TRemoveOutcome::Incomplete);
    ASSERT_EQ(rec.failures.size(), 1u);
    EXPECT_EQ(ReadText(tmp / "src/precious"), "bind source");

    // A tmpfs mounted inside: the same.
    WriteText(tmp / "t2/x/y", "goes");
    ASSERT_TRUE(mounts.Tmpfs(tmp / "t2/x/fs"));
    WriteText(tmp / "t2/x/fs/inside", "on the tmpfs");
    rec.failures.clear();
    EXPECT_EQ(RemoveTree(tmp / "t2", progress, rec.Handler()), TRemoveOutcome::Incomplete);
    EXPECT_EQ(ReadText(tmp / "t2/x/fs/inside"), "on the tmpfs");
    EXPECT_FALSE(Exists(tmp / "t2/x/y"));
}

TEST(RemoveTree, FailuresNameTheirPathAndTheHandlerDecidesWhatFollows) {
    TempDir tmp;
    TMounts mounts;
    if (!mounts.Tmpfs(tmp / "ro")) GTEST_SKIP() << "cannot mount here";
    for (int i = 0; i < 5; ++i) WriteText(tmp / "ro/d/f" + std::to_string(i), "x");
    WriteText(tmp / "ro/d/sub/g", "y");
    ASSERT_TRUE(mounts.ReadOnly(tmp / "ro"));
    const TTreePicture before = PictureOf(tmp.path());

    // Skip: every file is tried and reported once; no folder above a failure is reported.
    TRemoveProgress progress;
    TRecorder skip;
    EXPECT_EQ(RemoveTree(tmp / "ro/d", progress, skip.Handler()), TRemoveOutcome::Incomplete);
    EXPECT_EQ(skip.failures.size(), 6u);
    for (const TRemoveFailure& f : skip.failures) {
        EXPECT_EQ(f.Error, EROFS) << f.Path;
        EXPECT_NE(f.Path.find(tmp / "ro/d/"), std::string::npos) << f.Path;
        EXPECT_FALSE(f.Message.empty());
    }
    // Stop: the first failure ends it.
    TRecorder stop;
    stop.choice = TFailureChoice::Stop;
    EXPECT_EQ(RemoveTree(tmp / "ro/d", progress, stop.Handler()), TRemoveOutcome::Stopped);
    EXPECT_EQ(stop.failures.size(), 1u);
    EXPECT_EQ(progress.Removed.load(), 0u);
    EXPECT_EQ(Difference(before, PictureOf(tmp.path())), "");
}

TEST(RemoveTree, DeepTreesAreRemovedAndTheirSiblingsStay) {
    TempDir tmp;
    // Deeper than the number of folders kept open: the removal climbs back through "..".
    std::string deep = tmp / "deep";
    ASSERT_EQ(::mkdir(deep.c_str(), 0755), 0);
    ASSERT_EQ(::chdir(deep.c_str()), 0);
    for (int i = 0; i < 300; ++i) {
        ASSERT_EQ(::mkdir("d", 0755), 0);
        WriteText("f", "x");
        ASSERT_EQ(::chdir("d"), 0);
    }
    ASSERT_EQ(::chdir("/"), 0);
    WriteText(tmp / "deep-sibling/x", "stays");
    TRemoveProgress progress;
    TRecorder rec;
    EXPECT_EQ(RemoveTree(deep, progress, rec.Handler()), TRemoveOutcome::Removed);
    EXPECT_TRUE(rec.failures.empty());
    EXPECT_EQ(progress.Removed.load(), 601u);
    EXPECT_FALSE(Exists(deep));
    EXPECT_EQ(ReadText(tmp / "deep-sibling/x"), "stays");
}

TEST(RemoveTree, ACancelStopsTheRemovalAndLeavesTheRest) {
    TempDir tmp;
    const int kFiles = 4000;
    ASSERT_EQ(::mkdir((tmp / "big").c_str(), 0755), 0);
    for (int d = 0; d < 8; ++d) {
        const std::string dir = tmp / "big/d" + std::to_string(d);
        ASSERT_EQ(::mkdir(dir.c_str(), 0755), 0);
        for (int i = 0; i < kFiles / 8; ++i) WriteText(dir + "/f" + std::to_string(i), "");
    }
    TRemoveProgress progress;
    std::thread canceller([&] {
        while (progress.Removed.load() < 200) std::this_thread::yield();
        progress.Cancel = true;
    });
    const TRemoveOutcome outcome = RemoveTree(tmp / "big", progress, nullptr);
    canceller.join();
    EXPECT_EQ(outcome, TRemoveOutcome::Cancelled);
    const uint64_t removed = progress.Removed.load();
    EXPECT_GE(removed, 200u);
    EXPECT_LT(removed, uint64_t(kFiles));
    EXPECT_TRUE(Exists(tmp / "big"));
    // Nothing was removed after the cancel was seen: what is left is the rest.
    EXPECT_EQ(PictureOf(tmp / "big").size() + removed, size_t(kFiles + 8));
}

// Deleting a selection on the job's thread: trash and permanent items side by side, items
// that changed since the scan left alone, the trash's refusals answered with a permanent
// delete, Skip all, Stop, and a cancel while a failure waits for its answer.
#include "fsops/deletejob.h"
#include "tests/fsops/fstree.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

TTrash TrashAt(const std::string& home) {
    return TTrash(home, ReadMountTable(), ::getuid());
}

// Runs job to its end, answering each failure with the next of answers (Skip when none is
// left); returns the failures seen.
std::vector<TDeleteFailure> RunAnswering(TDeleteJob& job, std::vector<TDeleteChoice> answers) {
    std::vector<TDeleteFailure> seen;
    job.OnFailure = [&](const TDeleteFailure& f) {
        seen.push_back(f);
        TDeleteChoice c = TDeleteChoice::Skip;
        if (!answers.empty()) {
            c = answers.front();
            answers.erase(answers.begin());
        }
        job.Answer(c);
    };
    job.Start();
    job.Wait();
    EXPECT_TRUE(job.Finished());
    return seen;
}

} // namespace

TEST(DeleteJob, TrashAndPermanentItemsGoAndChangedItemsStay) {
    TempDir tmp;
    TMounts mounts;
    const std::string d = tmp / "d";
    WriteText(d + "/to-trash.txt", "t");
    WriteText(d + "/to-trash-dir/x", "t");
    WriteText(d + "/gone-for-good/y/z", "p");
    WriteText(d + "/was-a-file/inside", "the scan saw a file here");
    WriteText(d + "/holder/a", "goes");
    WriteText(d + "/holder/mnt/.keep", "");
    WriteText(d + "/beside", "stays");
    WriteText(tmp / "src/precious", "bind source");
    const bool haveMount = mounts.Bind(tmp / "src", d + "/holder/mnt");
    const TTreePicture before = PictureOf(tmp.path());
    std::vector<TDeleteItem> items = {
        {d + "/to-trash.txt", false, false, 1, d}, {d + "/to-trash-dir", true, false, 2, d},
        {d + "/gone-for-good", true, true, 3, d},  {d + "/was-a-file", false, true, 1, d},
        {d + "/already-gone", false, true, 1, d},
    };
    if (haveMount) items.push_back({d + "/holder", true, false, 3, d});
    TDeleteJob job(items, TrashAt(tmp / "xdg/Trash"));
    // was-a-file: skip; holder (refused by the trash): delete permanently; its mount: skip.
    const auto seen = RunAnswering(
        job, {TDeleteChoice::Skip, TDeleteChoice::DeletePermanently, TDeleteChoice::Skip});
    ASSERT_EQ(seen.size(), haveMount ? 3u : 1u);
    EXPECT_EQ(seen[0].Path, d + "/was-a-file");
    EXPECT_NE(seen[0].Message.find("changed since the scan"), std::string::npos);
    std::vector<std::string> removed = {"d/to-trash.txt", "d/to-trash-dir", "d/gone-for-good"};
    if (haveMount) {
        EXPECT_TRUE(seen[1].Trashing);
        EXPECT_NE(seen[1].Message.find("mounted inside"), std::string::npos) << seen[1].Message;
        EXPECT_EQ(seen[2].Path, d + "/holder/mnt");
        removed.push_back("d/holder/a");
    }
    EXPECT_EQ(job.Gone, (std::vector<size_t>{0, 1, 2, 4}));
    TTreePicture after = PictureOf(tmp.path());
    // The trash now holds what was trashed; everything else is as it was.
    EXPECT_EQ(after.count("xdg/Trash/files/to-trash-dir/x"), 1u);
    for (auto it = after.begin(); it != after.end();)
        it = it->first.rfind("xdg", 0) == 0 ? after.erase(it) : std::next(it);
    EXPECT_EQ(Difference(Without(before, removed), after), "");
    EXPECT_EQ(job.EntriesDone(), 1u + 2u + 3u + (haveMount ? 1u : 0u)); // z, y, gone-for-good
    EXPECT_FALSE(job.WasStopped());
}

TEST(DeleteJob, SkipAllAsksOnceAndStopLeavesTheRest) {
    TempDir tmp;
    TMounts mounts;
    if (!mounts.Tmpfs(tmp / "ro")) GTEST_SKIP() << "cannot mount here";
    for (int i = 0; i < 10; ++i) WriteText(tmp / "ro/f" + std::to_string(i), "x");
    WriteText(tmp / "rw/a", "a");
    WriteText(tmp / "rw/b", "b");
    ASSERT_TRUE(mounts.ReadOnly(tmp / "ro"));
    const TTreePicture before = PictureOf(tmp.path());
    {
        std::vector<TDeleteItem> items;
        for (int i = 0; i < 10; ++i)
            items.push_back({tmp / "ro/f" + std::to_string(i), false, true, 1, tmp.path()});
        TDeleteJob job(items, TrashAt(tmp / "xdg/Trash"));
        const auto seen = RunAnswering(job, {TDeleteChoice::SkipAll});
        EXPECT_EQ(seen.size(), 1u);
        EXPECT_EQ(job.Skipped.size(), 10u);
        EXPECT_EQ(job.ItemsDone(), 10u);
    }
    {
        TDeleteJob job({{tmp / "ro/f0", false, true, 1, tmp.path()},
                        {tmp / "rw/a", false, true, 1, tmp.path()}},
                       TrashAt(tmp / "xdg/Trash"));
        const auto seen = RunAnswering(job, {TDeleteChoice::Stop});
        EXPECT_EQ(seen.size(), 1u);
        EXPECT_TRUE(job.WasStopped());
        EXPECT_TRUE(job.Gone.empty());
    }
    EXPECT_EQ(Difference(before, PictureOf(tmp.path())), "");
}

TEST(DeleteJob, ACancelEndsAJobThatWaitsForAnAnswer) {
    TempDir tmp;
    WriteText(tmp / "file", "x");
    WriteText(tmp / "after", "y");
    // The scan saw a folder: the job asks, and nobody answers.
    TDeleteJob job(
        {{tmp / "file", true, true, 1, tmp.path()}, {tmp / "after", false, true, 1, tmp.path()}},
        TrashAt(tmp / "xdg/Trash"));
    std::atomic<bool> asked{false};
    job.OnFailure = [&](const TDeleteFailure&) { asked = true; };
    job.Start();
    while (!asked) std::this_thread::yield();
    job.Cancel();
    job.Wait();
    EXPECT_TRUE(job.Finished());
    EXPECT_TRUE(job.WasCancelled());
    EXPECT_TRUE(Exists(tmp / "file"));
    EXPECT_TRUE(Exists(tmp / "after"));
}

// Items swapped since the scan: a folder on the way replaced by a link to a folder outside
// (holding an item of the same name), a file and a folder replaced by links. Nothing outside
// is touched and no link the scan did not see is removed, to the trash or for good; a link the
// scan saw goes as a link.
TEST(DeleteJob, ItemsReachedThroughALinkOrSwappedForOneAreLeftAlone) {
    for (const bool permanent : {false, true}) {
        TempDir tmp;
        const std::string root = tmp / "scan";
        WriteText(tmp / "outside/sub/victim", "must stay");
        WriteText(tmp / "outside/victim2", "must stay");
        WriteText(tmp / "outside/dir/x", "must stay");
        WriteText(root + "/plain", "goes");
        ASSERT_EQ(::symlink((tmp / "outside/sub").c_str(), (root + "/sub").c_str()), 0);
        ASSERT_EQ(::symlink((tmp / "outside/victim2").c_str(), (root + "/file").c_str()), 0);
        ASSERT_EQ(::symlink((tmp / "outside/dir").c_str(), (root + "/folder").c_str()), 0);
        ASSERT_EQ(::symlink((tmp / "outside/dir").c_str(), (root + "/seen-link").c_str()), 0);
        const TTreePicture before = PictureOf(tmp.path());
        // The scan saw "sub" and "folder" as folders, "file" as a file, "seen-link" as a link.
        TDeleteJob job({{root + "/sub/victim", false, permanent, 1, root},
                        {root + "/file", false, permanent, 1, root},
                        {root + "/folder", true, permanent, 1, root},
                        {root + "/seen-link", false, permanent, 1, root, true},
                        {root + "/plain", false, permanent, 1, root}},
                       TrashAt(tmp / "xdg/Trash"));
        const auto seen = RunAnswering(job, {});
        ASSERT_EQ(seen.size(), 3u) << "permanent " << permanent;
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].Path, job.Items()[i].Path);
            EXPECT_NE(seen[i].Message.find("changed since the scan"), std::string::npos)
                << seen[i].Message;
        }
        EXPECT_EQ(job.Gone, (std::vector<size_t>{3, 4}));
        TTreePicture after = PictureOf(tmp.path());
        for (auto it = after.begin(); it != after.end();)
            it = it->first.rfind("xdg", 0) == 0 ? after.erase(it) : std::next(it);
        EXPECT_EQ(Difference(Without(before, {"scan/plain", "scan/seen-link"}), after), "")
            << "permanent " << permanent;
    }
}

// Filtering a finished scan: include and exclude filters, folders kept visible above visible
// records, the exclude filter's satisfied size terms, folders-only totals, forced and skipped
// runs, and the scan thread's filter steps.
#include "filter_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

using namespace qz;
using namespace qz::test;

namespace {

using Paths = std::vector<std::string>;

Paths Sorted(Paths p) {
    std::sort(p.begin(), p.end());
    return p;
}

// C:\ Windows\System32\kernel32.dll 2M; temp\a.tmp 500K; temp2\ (empty); x\temp\log.txt 100;
// Videos\movie.mp4 3G, clip.mkv 1M, old\archive.mp4 10; mytemp.txt 10
class FilterResultsTest : public ::testing::Test {
protected:
    FilterScan s;
    PMFT_RECORD videos = nullptr;

    void SetUp() override {
        SetFilterLocalTimeOffset(0);
        PMFT_RECORD win = s.Folder(s.root, u"Windows");
        PMFT_RECORD sys = s.Folder(win, u"System32");
        s.File(sys, u"kernel32.dll", 2u << 20);
        PMFT_RECORD temp = s.Folder(s.root, u"temp");
        s.File(temp, u"a.tmp", 500u << 10);
        s.Folder(s.root, u"temp2");
        PMFT_RECORD x = s.Folder(s.root, u"x");
        PMFT_RECORD xt = s.Folder(x, u"temp");
        s.File(xt, u"log.txt", 100);
        videos = s.Folder(s.root, u"Videos");
        s.File(videos, u"movie.mp4", 3ull << 30);
        s.File(videos, u"clip.mkv", 1u << 20);
        PMFT_RECORD old = s.Folder(videos, u"old");
        s.File(old, u"archive.mp4", 10);
        s.File(s.root, u"mytemp.txt", 10);
        s.Totals();
    }
    Paths Run(std::u16string_view include, std::u16string_view exclude, bool fullPath = false) {
        FilterResults(*s.scan, include, exclude, true, fullPath, false);
        return s.Visible();
    }
    Paths All() const { return s.Matching(u""); }
    Paths AllBut(std::set<std::string> drop) const {
        Paths out;
        for (auto& p : All())
            if (!drop.count(p)) out.push_back(p);
        return out;
    }
};

TEST_F(FilterResultsTest, VisibleRecordsKeepTheirFoldersVisible) {
    const struct {
        std::u16string_view include, exclude;
        bool fullPath;
        Paths want;
    } cases[] = {
        {u"*.mp4",
         u"",
         false,
         {"C:\\", "C:\\Videos", "C:\\Videos\\movie.mp4", "C:\\Videos\\old",
          "C:\\Videos\\old\\archive.mp4"}},
        // Name-only "temp": a folder named temp stays while something below it is visible.
        {u"", u"temp", false, AllBut({"C:\\temp2", "C:\\mytemp.txt"})},
        // "\temp\" switches to full paths: the folders and everything below them go.
        {u"", u"\\temp\\", false,
         AllBut({"C:\\temp", "C:\\temp\\a.tmp", "C:\\x\\temp", "C:\\x\\temp\\log.txt"})},
        // Size terms count as satisfied in the exclude filter: everything goes.
        {u"", u">1G", false, {}},
        {u">1G", u"", false, {"C:\\", "C:\\Videos", "C:\\Videos\\movie.mp4"}},
        {u"=folders",
         u"",
         false,
         {"C:\\", "C:\\Windows", "C:\\Windows\\System32", "C:\\temp", "C:\\temp2", "C:\\x",
          "C:\\x\\temp", "C:\\Videos", "C:\\Videos\\old"}},
        // An exclude separator switches the include filter to full paths as well: "video*"
        // becomes "*video*" and matches everything under Videos.
        {u"video*",
         u"\\old\\",
         false,
         {"C:\\", "C:\\Videos", "C:\\Videos\\movie.mp4", "C:\\Videos\\clip.mkv"}},
        {u"*.mp4", u"old", true, {"C:\\", "C:\\Videos", "C:\\Videos\\movie.mp4"}},
        {u"/\\.mp4$/",
         u"",
         false,
         {"C:\\", "C:\\Videos", "C:\\Videos\\movie.mp4", "C:\\Videos\\old",
          "C:\\Videos\\old\\archive.mp4"}},
        {u"/(/", u"", false, {}},
        {u"", u"/(/", false, All()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Run(c.include, c.exclude, c.fullPath), Sorted(c.want))
            << "include " << std::string(c.include.begin(), c.include.end()) << " exclude "
            << std::string(c.exclude.begin(), c.exclude.end());
}

TEST_F(FilterResultsTest, BlankTextsChangeNothingUnlessForced) {
    Run(u"*.mp4", u"");
    const Paths filtered = s.Visible();
    FilterResults(*s.scan, u"  ", u"\t", false, true, false);
    EXPECT_EQ(s.Visible(), filtered);
    FilterResults(*s.scan, u"", u"", true, true, false); // Apply with the panel off
    EXPECT_EQ(s.Visible(), All());
}

TEST_F(FilterResultsTest, ErrorsAreReported) {
    std::vector<TFilterError> errors;
    FilterResults(*s.scan, u"/a)/", u"/[/ x", true, false, false, &errors);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(errors[0].pattern, u"a)");
    EXPECT_EQ(errors[1].pattern, u"[");
}

TEST_F(FilterResultsTest, ScanStepsTotals) {
    // Include "*.mp4": hidden records do not count.
    EXPECT_FALSE(ApplyScanFilters(*s.scan, u"*.mp4", u"", true));
    EXPECT_EQ(s.root->SubFoldersTotSize, (3ull << 30) + 10);
    EXPECT_EQ(s.root->SubFoldersNumFiles(), 2);
    EXPECT_EQ(videos->SubFoldersTotSize, (3ull << 30) + 10);

    // Folders only: files hidden but still counted in the folders' totals.
    EXPECT_TRUE(ApplyScanFilters(*s.scan, u"=folders", u"", true));
    const uint64_t all = (2u << 20) + (500u << 10) + 100 + (3ull << 30) + (1u << 20) + 10 + 10;
    EXPECT_EQ(s.root->SubFoldersTotSize, all);
    for (PMFT_RECORD r : s.scan->FFileList) EXPECT_EQ(r->Filtered, !r->IsFolder());

    // Folders only with a size term: the totals exist before the size is tested.
    s.Totals();
    for (PMFT_RECORD r : s.scan->FFileList) r->SubFoldersTotSize = 0; // stale totals
    EXPECT_TRUE(ApplyScanFilters(*s.scan, u"=folders >1M", u"", false));
    EXPECT_EQ(s.Visible(), Sorted({"C:\\", "C:\\Windows", "C:\\Windows\\System32", "C:\\Videos"}));
    EXPECT_EQ(s.root->SubFoldersTotSize, all);

    // No filter at all: flags untouched, totals recomputed.
    for (PMFT_RECORD r : s.scan->FFileList) r->Filtered = false;
    EXPECT_FALSE(ApplyScanFilters(*s.scan, u"", u"", false));
    EXPECT_EQ(s.Visible(), All());
    EXPECT_EQ(s.root->SubFoldersTotSize, all);
}

// A scan cancelled before its filter steps (or during them) stays unfiltered, and its totals
// count every record.
TEST_F(FilterResultsTest, CancelledScanIsNotFiltered) {
    s.scan->CancelProcess();
    EXPECT_FALSE(ApplyScanFilters(*s.scan, u"*.mp4", u"\\old\\", true));
    EXPECT_EQ(s.Visible(), All());
    EXPECT_EQ(s.root->SubFoldersTotSize,
              (2u << 20) + (500u << 10) + 100 + (3ull << 30) + (1u << 20) + 10 + 10);
}

// A long pass asks whether to stop every few thousand records, more often when each record is
// tested against many terms one by one, and stops at the first yes, leaving every record
// visible (half a pass would hide an arbitrary part of the scan).
TEST(FilterResultsCancel, PassAsksAndStops) {
    FilterScan big;
    PMFT_RECORD d = big.Folder(big.root, u"d");
    constexpr int kFiles = 20000;
    for (int i = 0; i < kFiles; ++i) {
        std::string n = "f" + std::to_string(i) + (i % 10 ? ".txt" : ".log");
        big.File(d, std::u16string(n.begin(), n.end()));
    }
    big.Totals();
    const size_t records = big.scan->FFileList.size();

    int asked = 0;
    EXPECT_TRUE(FilterResults(*big.scan, u"*.log", u"", true, false, false, nullptr, [&] {
        ++asked;
        return false;
    }));
    EXPECT_GE(asked, int(records / 4096));
    EXPECT_EQ(big.Visible().size(), size_t(kFiles / 10 + 2));

    // Five hundred comparisons tested one by one for every record: asked every few hundred.
    std::u16string costly;
    for (int i = 0; i < 500; ++i) {
        std::string t = "namelen=" + std::to_string(100 + i) + "|";
        costly.append(t.begin(), t.end());
    }
    costly += u"*.log";
    int askedCostly = 0;
    EXPECT_TRUE(FilterResults(*big.scan, costly, u"", true, false, false, nullptr, [&] {
        ++askedCostly;
        return false;
    }));
    EXPECT_GE(askedCostly, int(records / 600));
    EXPECT_EQ(big.Visible().size(), size_t(kFiles / 10 + 2));

    // Cancelled at the third question.
    int calls = 0;
    EXPECT_FALSE(FilterResults(*big.scan, u"*.txt", u"", true, false, false, nullptr,
                               [&] { return ++calls == 3; }));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(big.Visible().size(), records);

    // The flag of another thread, set while the pass runs (here: while the pass waits in its
    // second question, so that the test does not depend on timing).
    std::atomic<bool> stop{false};
    std::atomic<int> questions{0};
    bool finished = true;
    std::thread pass([&] {
        finished = FilterResults(*big.scan, costly, u"", true, false, false, nullptr, [&] {
            if (questions.fetch_add(1) == 1)
                while (!stop.load()) std::this_thread::yield();
            return stop.load();
        });
    });
    while (questions.load() < 2) std::this_thread::yield();
    stop = true;
    pass.join();
    EXPECT_FALSE(finished);
    EXPECT_EQ(questions.load(), 2);
    EXPECT_EQ(big.Visible().size(), records);
}

TEST_F(FilterResultsTest, LoopingParentsEnd) {
    // A damaged chain: two folders naming each other. Only the file below is visible.
    PMFT_RECORD a = s.Folder(s.root, u"loopA");
    PMFT_RECORD b = s.Folder(a, u"loopB");
    PMFT_RECORD f = s.File(b, u"inside.bin");
    a->ParentMFTRec = b;
    FilterResults(*s.scan, u"*.bin", u"", true, false, false);
    EXPECT_FALSE(f->Filtered);
    EXPECT_FALSE(a->Filtered);
    EXPECT_FALSE(b->Filtered);
    EXPECT_TRUE(s.root->Filtered); // not above the loop any more
}

} // namespace

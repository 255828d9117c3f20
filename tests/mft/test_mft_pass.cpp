// The pipelined MFT pass on composed volumes whose $MFT layout the test chooses: how the table
// is cut into batches (one run, two runs with a seek, a record straddling two runs, records
// fetched one at a time), that every record arrives, cancel and worker failures leaving a
// consistent tree and a closed source, deferred extension records and progress.
#include "engine/mft_volume.h"
#include "engine/process_thread.h"
#include "tests/mft/mft_test_util.h"
#include "tests/mft/synth_volume.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <stdexcept>

using namespace qz;
using namespace qz::test;

namespace {

struct PassResult {
    std::unique_ptr<TNTFS_FILES> scan;
    std::vector<TMFTBatchInfo> batches;
};

// What ProcessMFTRecords does for an MFT source, with the pass observed, then the totals.
PassResult ObservedPass(const std::string& path, TMFTPassHooks hooks = {}) {
    PassResult r;
    r.scan = std::make_unique<TNTFS_FILES>(Utf8ToUtf16(path));
    auto user = hooks.OnBatch;
    hooks.OnBatch = [&](TNTFS_FILES& s, const TMFTBatchInfo& b) {
        r.batches.push_back(b);
        if (user) user(s, b);
    };
    r.scan->ClearRecords();
    RunMFTPass(*r.scan, &hooks);
    r.scan->MFTRoot = r.scan->FFileList.empty() ? nullptr : r.scan->FFileList.front();
    r.scan->CalculateDirSizes();
    return r;
}

std::vector<size_t> Counts(const std::vector<TMFTBatchInfo>& b) {
    std::vector<size_t> out;
    for (auto& x : b) out.push_back(x.Count);
    return out;
}

// Record numbers of the files named "f<recno>" in the root.
std::set<uint64_t> FilesInRoot(TNTFS_FILES& s) {
    std::set<uint64_t> out;
    for (PMFT_RECORD r : s.MFTRoot->Children()) {
        std::string n = Utf16ToUtf8(r->Name());
        if (n.size() > 1 && n[0] == 'f') {
            EXPECT_EQ(std::to_string(r->RecNo), n.substr(1));
            EXPECT_EQ(r->FileSize, r->RecNo % 500) << n;
            out.insert(r->RecNo);
        }
    }
    return out;
}

// Every stored record hangs under the root, and the root's totals cover them all.
void ExpectConsistentTree(TNTFS_FILES& s) {
    ASSERT_NE(s.MFTRoot, nullptr);
    int files = 0, dirs = 0;
    for (PMFT_RECORD r : s.FFileList) {
        if (!r || r == s.MFTRoot) continue;
        EXPECT_TRUE(IsAncestor(s.MFTRoot, r)) << RelPath(r);
        (r->IsFolder() ? dirs : files)++;
    }
    EXPECT_EQ(s.MFTRoot->SubFoldersNumFiles(), files);
    EXPECT_EQ(s.MFTRoot->SubFoldersNumDirs(), dirs);
    EXPECT_FALSE(s.FVolumeHandle.valid()) << "the source stays open";
    EXPECT_FALSE(s.FMFTFile.valid()) << "the source stays open";
}

class MftPass : public ::testing::Test {
protected:
    // A 4 MiB volume with 4 KiB clusters whose $MFT has the given runs, a file f<recno> of
    // recno % 500 bytes at every record from 24 on.
    std::string Volume(std::vector<struct qz::test::Run> runs, uint64_t upcase = 700,
                       uint64_t bitmap = 740, uint64_t clusters = 1024, uint32_t bpc = 4096) {
        SynthVolume v(bpc, 1024, clusters, std::move(runs));
        v.PlaceMetadata(upcase, bitmap);
        for (uint64_t r = 24; r < v.Records(); ++r)
            v.AddFile(r, 5, u"f" + AsciiToUtf16(std::to_string(r)), uint32_t(r % 500));
        customize(v);
        auto img = v.Image();
        used = v.UsedClusters();
        records = v.Records();
        std::string path = tmp / ("vol" + std::to_string(n++) + ".img");
        WriteFileBytes(path, img.data(), img.size());
        return path;
    }
    std::set<uint64_t> AllFiles(uint64_t from, uint64_t to) {
        std::set<uint64_t> out;
        for (uint64_t r = from; r < to; ++r) out.insert(r);
        return out;
    }
    std::function<void(SynthVolume&)> customize = [](SynthVolume&) {};
    uint64_t used = 0, records = 0;
    TempDir tmp;
    int n = 0;
};

} // namespace

TEST_F(MftPass, OneRunOfThousandRecordsIsReadInGrowingBatches) {
    std::string img = Volume({{250, 16}});
    auto r = ObservedPass(img);
    ASSERT_FALSE(r.scan->WasError) << r.scan->ErrorMessage;
    EXPECT_EQ(Counts(r.batches), (std::vector<size_t>{256, 512, 232}));
    for (auto& b : r.batches) {
        EXPECT_TRUE(b.Bulk);
        EXPECT_FALSE(b.Seek);
    }
    EXPECT_EQ(r.batches[0].Position, 16 * 4096);
    EXPECT_EQ(r.scan->NumMFTRecords, 1000);
    EXPECT_EQ(FilesInRoot(*r.scan), AllFiles(24, 1000));
    EXPECT_EQ(r.scan->FVolData.FreeClusters, int64_t(1024 - used));
    ExpectConsistentTree(*r.scan);
}

TEST_F(MftPass, TwoRunsGiveOneSeekAndBatchesEndingAtTheRun) {
    // The batch after the seek starts small again.
    std::string img = Volume({{25, 16}, {225, 400}});
    auto r = ObservedPass(img);
    ASSERT_FALSE(r.scan->WasError) << r.scan->ErrorMessage;
    EXPECT_EQ(Counts(r.batches), (std::vector<size_t>{100, 256, 512, 132}));
    std::vector<bool> seeks;
    for (auto& b : r.batches) seeks.push_back(b.Seek);
    EXPECT_EQ(seeks, (std::vector<bool>{false, true, false, false}));
    EXPECT_EQ(r.batches[1].Position, 400 * 4096);
    EXPECT_EQ(r.scan->FMFTExtents.size(), 2u);
    EXPECT_EQ(FilesInRoot(*r.scan), AllFiles(24, 1000));
    ExpectConsistentTree(*r.scan);
}

TEST_F(MftPass, RecordStraddlingTwoRunsIsReadAlone) {
    // 512-byte clusters and 1 KiB records: a first run of 201 clusters ends in the middle of
    // record 100.
    std::string img = Volume({{201, 100}, {199, 1000}}, 2000, 2400, 4096, 512);
    auto r = ObservedPass(img);
    ASSERT_FALSE(r.scan->WasError) << r.scan->ErrorMessage;
    ASSERT_EQ(Counts(r.batches), (std::vector<size_t>{100, 1, 99}));
    EXPECT_FALSE(r.batches[1].Bulk);
    EXPECT_EQ(FilesInRoot(*r.scan), AllFiles(24, 200));
    ExpectConsistentTree(*r.scan);
}

TEST_F(MftPass, SingleRecordModeSkipsARecordItCannotUse) {
    customize = [](SynthVolume& v) {
        auto rec = v.Builder()
                       .StdInfo(SynthVolume::kFt, SynthVolume::kFt, SynthVolume::kFt, 0x20)
                       .FileName(5, u"f500")
                       .Build();
        std::memcpy(rec.data(), "FILX", 4); // damaged signature
        v.Set(500, rec);
    };
    std::string img = Volume({{250, 16}});
    setenv("QUARZEL_FORCE_MFT_READ", "1", 1);
    PassResult r;
    try {
        r = ObservedPass(img);
    } catch (...) {
        unsetenv("QUARZEL_FORCE_MFT_READ");
        throw;
    }
    unsetenv("QUARZEL_FORCE_MFT_READ");
    ASSERT_FALSE(r.scan->WasError) << r.scan->ErrorMessage;
    ASSERT_EQ(r.batches.size(), 1000u);
    for (auto& b : r.batches) {
        EXPECT_EQ(b.Count, 1u);
        EXPECT_FALSE(b.Bulk);
    }
    auto want = AllFiles(24, 1000);
    want.erase(500);
    EXPECT_EQ(FilesInRoot(*r.scan), want);
    ExpectConsistentTree(*r.scan);
}

TEST_F(MftPass, CancelInTheSecondBatchKeepsTwoBatchesAndClosesTheSource) {
    std::string img = Volume({{250, 16}});
    TMFTPassHooks hooks;
    int seen = 0;
    hooks.OnBatch = [&](TNTFS_FILES& s, const TMFTBatchInfo&) {
        if (++seen == 2) s.CancelProcess();
    };
    auto r = ObservedPass(img, hooks);
    EXPECT_FALSE(r.scan->WasError) << r.scan->ErrorMessage;
    EXPECT_EQ(Counts(r.batches), (std::vector<size_t>{256, 512}));
    EXPECT_EQ(FilesInRoot(*r.scan), AllFiles(24, 768));
    ExpectConsistentTree(*r.scan);
}

TEST_F(MftPass, WorkerFailureIsReportedAndTheRestOfThePassStillRuns) {
    struct Case {
        uint64_t failAt;     // first record of the failing batch
        uint64_t storedUpTo; // records below this are in the tree
    };
    // The last batch; a middle batch (the worker takes no batch after it, also those the
    // scan thread read ahead).
    for (Case c : {Case{768, 768}, Case{256, 256}}) {
        SCOPED_TRACE(c.failAt);
        std::string img = Volume({{250, 16}});
        TMFTPassHooks hooks;
        hooks.Process = [&](TNTFS_FILES& s, TDecodeContext& ctx, uint8_t* data, uint64_t first,
                            size_t count, bool raw) {
            if (first == c.failAt) throw std::runtime_error("decoder exploded");
            s.ProcessRecordBatch(ctx, data, first, count, raw);
        };
        auto r = ObservedPass(img, hooks);
        EXPECT_TRUE(r.scan->WasError);
        EXPECT_EQ(r.scan->ErrorMessage, "decoder exploded");
        EXPECT_EQ(FilesInRoot(*r.scan), AllFiles(24, c.storedUpTo));
        ExpectConsistentTree(*r.scan);
    }
}

TEST_F(MftPass, ExtensionRecordBeforeItsBaseIsDecodedAfterTheTable) {
    // File record 90 keeps its data in extension record 40: 5,000,000 bytes in 1221 clusters.
    customize = [](SynthVolume& v) {
        auto base = v.Builder()
                        .StdInfo(SynthVolume::kFt, SynthVolume::kFt, SynthVolume::kFt, 0x20)
                        .AttrList({{0x10, 90 | (1ull << 48)},
                                   {0x30, 90 | (1ull << 48)},
                                   {0x80, 40 | (1ull << 48)}})
                        .FileName(5, u"big.bin")
                        .Build();
        v.Set(90, base);
        v.Set(40, v.Builder()
                      .Base(90 | (1ull << 48))
                      .NonResidentData(5000000, EncodeRuns({{1221, 800}}))
                      .Build());
    };
    std::string img = Volume({{250, 16}}, 300, 340, 4096);
    auto r = ObservedPass(img);
    ASSERT_FALSE(r.scan->WasError) << r.scan->ErrorMessage;
    PMFT_RECORD big = FindRecordByPath(r.scan->MFTRoot, u"big.bin");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->RecNo, 90u);
    EXPECT_EQ(big->FileSize, 5000000u);
    EXPECT_EQ(big->AllocSize, 1221u * 4096);
    ExpectConsistentTree(*r.scan);
}

TEST_F(MftPass, ProgressStaysWithinBoundsAndEndsAt100) {
    // 20,000 records: the report after every 12,800 records read comes once in the loop.
    std::string img = Volume({{5000, 16}}, 6000, 6100, 8192);
    auto s = std::make_unique<TNTFS_FILES>(Utf8ToUtf16(img));
    struct Call {
        int pct;
        int64_t files, dirs;
    };
    std::vector<Call> calls;
    s->index = 7;
    s->OnProgress = [&](int index, int pct, int64_t files, int64_t dirs) {
        EXPECT_EQ(index, 7);
        calls.push_back({pct, files, dirs});
    };
    s->ProcessMFTRecords();
    ASSERT_FALSE(s->WasError) << s->ErrorMessage;
    ASSERT_GE(calls.size(), 4u); // start, one in the loop, after the loop, end
    EXPECT_EQ(calls.front().pct, 0);
    EXPECT_EQ(calls.back().pct, 100);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_GE(calls[i].pct, 0);
        EXPECT_LE(calls[i].pct, 100);
        if (i > 0) {
            EXPECT_GE(calls[i].files, calls[i - 1].files);
        }
    }
    const Call& mid = calls[1];
    EXPECT_GT(mid.pct, 0);
    EXPECT_LT(mid.pct, 100);
    // The reader has read 14,080 records in nine batches (256, 512, 1024, then 2048 each) and
    // the worker is at most four batches behind: the first 5,888 records are stored.
    EXPECT_GT(mid.files, 3000);
    EXPECT_EQ(calls.back().files, 20000 - 24 + 3); // the files and $MFT, $Bitmap, $UpCase
    EXPECT_EQ(calls.back().dirs, 1);
}

TEST_F(MftPass, SourceIsClosedWhenAProgressCallbackRaises) {
    // Raised outside the read loop: at the first report (before any batch) and at the last
    // (after the deferred records). The scan names the error and no longer holds the image.
    std::string img = Volume({{250, 16}});
    for (int failAt : {0, 100}) {
        SCOPED_TRACE(failAt);
        TNTFS_FILES s(Utf8ToUtf16(img));
        ASSERT_TRUE(s.FVolumeHandle.valid());
        s.OnProgress = [&](int, int pct, int64_t, int64_t) {
            if (pct == failAt) throw std::runtime_error("progress display gone");
        };
        s.ProcessMFTRecords();
        EXPECT_TRUE(s.WasError);
        EXPECT_EQ(s.ErrorMessage, "progress display gone");
        EXPECT_FALSE(s.FVolumeHandle.valid()) << "the image stays open";
    }
}

// FILE record decoding on records composed byte by byte.
#include "base/datetime.h"
#include "engine/scan.h"
#include "tests/engine/record_builder.h"

#include <gtest/gtest.h>

using namespace qz;
using qz::test::EncodeRuns;
using qz::test::RecordBuilder;

namespace {

std::unique_ptr<TNTFS_FILES> MakeScan(uint32_t bpr = 1024, uint32_t bpc = 4096) {
    auto s = TNTFS_FILES::CreateSlow(u"unused");
    s->FVolData.BytesPerFileRecordSegment = bpr;
    s->FVolData.BytesPerCluster = bpc;
    return s;
}

constexpr uint64_t kFt2024 = (1714564800ull + 11644473600ull) * 10000000ull;

} // namespace

TEST(Decode, FixupsFollowTheUpdateSequenceCount) {
    // count 3 in a 1024-byte record: the ends of both sectors are restored
    {
        auto s = MakeScan(1024);
        auto raw = RecordBuilder(1024).FileName(5, u"a.txt").ResidentData(10).Build();
        raw[50] = 0x11, raw[51] = 0x22; // original bytes of sector 1's end
        raw[52] = 0x33, raw[53] = 0x44; // original bytes of sector 2's end
        TDecodeContext ctx;
        ASSERT_TRUE(s->DecodeFileRecord(raw.data(), ctx, 30, false, false, true));
        EXPECT_EQ(raw[510], 0x11);
        EXPECT_EQ(raw[511], 0x22);
        EXPECT_EQ(raw[1022], 0x33);
        EXPECT_EQ(raw[1023], 0x44);
    }
    // count 3 in a 512-byte record gets exactly one fixup
    {
        auto s = MakeScan(512);
        RecordBuilder b(512);
        b.Put16(6, 3);
        auto raw = b.FileName(5, u"a").Build();
        raw[48 + 2] = 0x55, raw[48 + 3] = 0x66;
        TDecodeContext ctx;
        ASSERT_TRUE(s->DecodeFileRecord(raw.data(), ctx, 30, false, false, true));
        EXPECT_EQ(raw[510], 0x55);
        EXPECT_EQ(raw[511], 0x66);
    }
    // not read raw: no fixups applied
    {
        auto s = MakeScan(1024);
        auto raw = RecordBuilder(1024).FileName(5, u"a").Build(0xABCD);
        TDecodeContext ctx;
        ASSERT_TRUE(s->DecodeFileRecord(raw.data(), ctx, 30, false, false, false));
        EXPECT_EQ(raw[510], 0xCD);
        EXPECT_EQ(raw[511], 0xAB);
    }
}

TEST(Decode, RejectsWhatIsNotAnInUseFileRecord) {
    auto s = MakeScan();
    TDecodeContext ctx;
    auto notInUse = RecordBuilder(1024, 0).FileName(5, u"gone.txt").Build();
    EXPECT_FALSE(s->DecodeFileRecord(notInUse.data(), ctx, 30, false, false, true));
    auto bad = RecordBuilder().FileName(5, u"x").Build();
    std::memcpy(bad.data(), "BAAD", 4);
    EXPECT_FALSE(s->DecodeFileRecord(bad.data(), ctx, 30, false, false, true));
}

TEST(Decode, StandardInformationAndResidentData) {
    auto s = MakeScan();
    auto raw = RecordBuilder()
                   .StdInfo(kFt2024, kFt2024 + 36000000000ull, 0, 0x21)
                   .FileName(5, u"r.txt")
                   .ResidentData(300)
                   .Build();
    TDecodeContext ctx;
    ASSERT_TRUE(s->DecodeFileRecord(raw.data(), ctx, 40, false, false, true));
    const TMFT_RECORD& r = ctx.rec;
    EXPECT_EQ(r.Name(), u"r.txt");
    EXPECT_EQ(r.ParentRec, 5u);
    EXPECT_EQ(r.FileSize, 300u);
    EXPECT_EQ(r.AllocSize, 0u);
    EXPECT_EQ(r.HasFileSizeFlags, 3u);
    EXPECT_EQ(r.DOSAttrib, 0x21u);
    EXPECT_EQ(DateTimeToUnix(r.CreatedDate), 1714564800);
    EXPECT_EQ(DateTimeToUnix(r.ModifiedDate), 1714564800 + 3600);
    EXPECT_EQ(r.LastAccessDate, kDate1601);
}

TEST(Decode, NamesAndHardLinks) {
    auto s = MakeScan();
    TDecodeContext ctx;
    // Win32 + DOS name: one name, no extra entry
    auto w =
        RecordBuilder().FileName(5, u"LONGNA~1.TXT", 2).FileName(5, u"Long name.txt", 1).Build();
    ASSERT_TRUE(s->DecodeFileRecord(w.data(), ctx, 30, false, false, true));
    EXPECT_EQ(ctx.rec.Name(), u"Long name.txt");
    EXPECT_EQ(ctx.numExtra, 0u);
    // same folder, names differing only by case: no extra entry
    auto c = RecordBuilder().FileName(5, u"Report.doc", 0).FileName(5, u"REPORT.DOC", 0).Build();
    ASSERT_TRUE(s->DecodeFileRecord(c.data(), ctx, 31, false, false, true));
    EXPECT_EQ(ctx.numExtra, 0u);
    // a.txt in folder 100, b.txt in folder 200: one extra entry, same sizes, not counted
    auto h = RecordBuilder()
                 .StdInfo(kFt2024, kFt2024, kFt2024, 0x20)
                 .FileName(100, u"a.txt")
                 .FileName(200, u"b.txt")
                 .NonResidentData(10000, EncodeRuns({{3, 1000}}))
                 .Build();
    ASSERT_TRUE(s->DecodeFileRecord(h.data(), ctx, 32, false, false, true));
    EXPECT_EQ(ctx.rec.Name(), u"a.txt");
    EXPECT_EQ(ctx.rec.ParentRec, 100u);
    ASSERT_EQ(ctx.numExtra, 1u);
    const TMFT_RECORD& e = ctx.extraNames[0].Rec;
    EXPECT_EQ(e.Name(), u"b.txt");
    EXPECT_EQ(e.ParentRec, 200u);
    EXPECT_TRUE(e.DoNotCountFlag);
    EXPECT_EQ(e.FileSize, 10000u);
    EXPECT_EQ(e.AllocSize, 3u * 4096);
    EXPECT_EQ(ctx.rec.AllocSize, 3u * 4096);
}

TEST(Decode, DataRunsAndAllocation) {
    struct Case {
        const char* what;
        std::vector<uint8_t> runs;
        uint64_t alloc;
    };
    const Case cases[] = {
        // 1 GiB sparse file with two allocated runs of 16 clusters
        {"sparse", EncodeRuns({{16, 5000}, {262112, 0, true}, {16, 9000}}), 131072},
        // the first run's offset is negative: its clusters do not count
        {"negative first", {0x21, 0x08, 0x00, 0xF0, 0x11, 0x04, 0x10, 0x00}, 4 * 4096},
        {"three runs", EncodeRuns({{1, 10}, {2, 100}, {3, 50}}), 6 * 4096},
    };
    for (const Case& c : cases) {
        auto s = MakeScan();
        auto raw = RecordBuilder().FileName(5, u"f").NonResidentData(1u << 30, c.runs).Build();
        TDecodeContext ctx;
        ASSERT_TRUE(s->DecodeFileRecord(raw.data(), ctx, 30, true, false, true)) << c.what;
        EXPECT_EQ(ctx.rec.AllocSize, c.alloc) << c.what;
        EXPECT_EQ(ctx.rec.FileSize, 1u << 30) << c.what;
        EXPECT_EQ(size_t(ctx.runs.NumDataRuns), ctx.runs.DataRuns.size()) << c.what;
    }
    // stored runs: absolute first offset, relative ones after it
    auto s = MakeScan();
    auto raw = RecordBuilder()
                   .FileName(5, u"f")
                   .NonResidentData(100, EncodeRuns({{4, 1000}, {2, 900}}))
                   .Build();
    TDecodeContext ctx;
    ASSERT_TRUE(s->DecodeFileRecord(raw.data(), ctx, 30, true, false, true));
    ASSERT_EQ(ctx.runs.DataRuns.size(), 2u);
    EXPECT_EQ(ctx.runs.DataRuns[0].Offset, 1000);
    EXPECT_FALSE(ctx.runs.DataRuns[0].IsOffset);
    EXPECT_EQ(ctx.runs.DataRuns[1].Offset, -100);
    EXPECT_TRUE(ctx.runs.DataRuns[1].IsOffset);
}

TEST(Decode, NamedStreamsAddAllocationOnly) {
    auto s = MakeScan();
    auto raw = RecordBuilder()
                   .FileName(5, u"f")
                   .ResidentData(50)
                   .NonResidentData(70000, EncodeRuns({{20, 300}}), u"Zone")
                   .Build();
    TDecodeContext ctx;
    ASSERT_TRUE(s->DecodeFileRecord(raw.data(), ctx, 30, false, false, true));
    EXPECT_EQ(ctx.rec.FileSize, 50u);
    EXPECT_EQ(ctx.rec.AllocSize, 20u * 4096);
    // A resident named stream is ignored.
    auto raw2 =
        RecordBuilder().FileName(5, u"g").ResidentData(50).ResidentData(600, u"ads").Build();
    ASSERT_TRUE(s->DecodeFileRecord(raw2.data(), ctx, 31, false, false, true));
    EXPECT_EQ(ctx.rec.FileSize, 50u);
}

TEST(Decode, ExtensionRecordWithLaterBaseIsDeferred) {
    auto s = MakeScan();
    auto raw = RecordBuilder()
                   .Base(90 | (uint64_t(3) << 48))
                   .NonResidentData(5000, EncodeRuns({{2, 77}}))
                   .Build();
    TDecodeContext ctx;
    EXPECT_FALSE(s->DecodeFileRecord(raw.data(), ctx, 40, false, false, true));
    ASSERT_EQ(s->FOOSFileList.size(), 1u);
    uint64_t recno;
    std::memcpy(&recno, s->FOOSFileList[0].data(), 8);
    EXPECT_EQ(recno, 40u);
    // The deferred copy is already fixed up: decoding it out of sequence succeeds.
    EXPECT_TRUE(s->DecodeFileRecord(s->FOOSFileList[0].data() + 8, ctx, 40, false, true, true));
    EXPECT_EQ(ctx.rec.FileSize, 5000u);
    EXPECT_TRUE(ctx.rec.IndexMe);
}

TEST(Decode, MalformedRecordsAreDroppedNotRead) {
    auto s = MakeScan();
    TDecodeContext ctx;
    // first attribute offset outside the record
    {
        auto raw = RecordBuilder().FileName(5, u"x").Build();
        raw[20] = 0xFC, raw[21] = 0x03; // 1020: the type fits, the length does not
        EXPECT_FALSE(s->DecodeFileRecord(raw.data(), ctx, 30, false, false, false));
        raw[20] = 0xFF, raw[21] = 0xFF;
        EXPECT_FALSE(s->DecodeFileRecord(raw.data(), ctx, 30, false, false, false));
    }
    // a name whose length runs past the record end
    {
        RecordBuilder b;
        b.Put16(20, 900);
        b.Put32(900, 0x30);
        b.Put32(904, 100);      // ends at 1000, inside the record
        b.Put16(920, 24);       // value at 924
        b.raw()[924 + 64] = 60; // 924 + 66 + 120 > 1024
        b.Put32(1000, 0xFFFFFFFF);
        auto raw = b.raw();
        EXPECT_FALSE(s->DecodeFileRecord(raw.data(), ctx, 30, false, false, false));
    }
    // data runs that run past the record end
    {
        RecordBuilder b;
        b.FileName(5, u"f").NonResidentData(100, {0x11, 0x01, 0x10, 0x00});
        auto raw = b.Build();
        // point the mapping pairs at the last byte of the record
        size_t a = raw.size() - 1;
        raw[a] = 0x88;
        size_t attr = 56 + 96; // after the $FILE_NAME attribute (24 + 68 rounded to 96)
        uint16_t off = uint16_t(a - attr);
        std::memcpy(&raw[attr + 32], &off, 2);
        EXPECT_FALSE(s->DecodeFileRecord(raw.data(), ctx, 30, false, false, false));
    }
}

TEST(Decode, AttributeListMergesEarlierExtensionRecords) {
    // Extension record 30 (base 60) is stored first (as a late decode would); base 60 lists it
    // and takes its allocation.
    auto s = MakeScan();
    TDecodeContext ctx;
    auto ext = RecordBuilder().Base(60).NonResidentData(1 << 20, EncodeRuns({{256, 4000}})).Build();
    ASSERT_TRUE(s->DecodeFileRecord(ext.data(), ctx, 30, false, true, false));
    bool later;
    ASSERT_TRUE(s->StoreDecodedRecord(ctx.rec, ctx.BaseFileRec, false, later));
    auto base = RecordBuilder()
                    .FileName(5, u"big.bin")
                    .AttrList({{0x30, 60}, {0x80, 30}, {0x80, 30}})
                    .Build();
    ASSERT_TRUE(s->DecodeFileRecord(base.data(), ctx, 60, false, false, true));
    EXPECT_TRUE(ctx.rec.IndexMe);
    // Listed twice, added once.
    EXPECT_EQ(ctx.rec.AllocSize, 256u * 4096);
}

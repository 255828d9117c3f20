// Size, number, date and attribute texts, the space summary and the dump progress line.
#include "base/datetime.h"
#include "views/format.h"
#include "views/summary.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace qz;

namespace {

struct EnglishFormat : ::testing::Test {
    TNumberFormat english{u",", u".", "%Y-%m-%d %H:%M:%S"};
    TFormatSettings f{TDisplayUnit::Dynamic, 1, english};
};

constexpr uint64_t GiB = 1ull << 30;

} // namespace

TEST_F(EnglishFormat, FormatSizeInEveryUnit) {
    struct Case {
        TDisplayUnit unit;
        int decimals;
        uint64_t size;
        const char16_t* text;
    };
    const Case cases[] = {
        {TDisplayUnit::Dynamic, 1, 0, u"0"},
        {TDisplayUnit::Dynamic, 1, 1, u"1 bytes"},
        {TDisplayUnit::Dynamic, 1, 1023, u"1,023 bytes"},
        {TDisplayUnit::Dynamic, 1, 1024, u"1.0 KB"},
        {TDisplayUnit::Dynamic, 1, 1048575, u"1,024.0 KB"}, // below 2^20: still KB
        {TDisplayUnit::Dynamic, 1, 1048576, u"1.0 MB"},
        {TDisplayUnit::Dynamic, 1, (1ull << 40) - 1, u"1,024.0 GB"},
        {TDisplayUnit::Dynamic, 1, 1ull << 40, u"1.0 TB"},
        {TDisplayUnit::Dynamic, 1, UINT64_MAX, u"16,777,216.0 TB"},
        {TDisplayUnit::Dynamic, 3, 1536, u"1.500 KB"},
        {TDisplayUnit::Bytes, 1, 0, u"0"},
        {TDisplayUnit::Bytes, 1, 123456, u"123,456"},
        {TDisplayUnit::Bytes, 1, UINT64_MAX, u"18,446,744,073,709,551,615"},
        {TDisplayUnit::KB, 1, 0, u"0.0 KB"},
        {TDisplayUnit::KB, 1, 1600, u"1.6 KB"},
        {TDisplayUnit::KB, 0, 1600, u"2 KB"},
        {TDisplayUnit::KB, 1, UINT64_MAX, u"18,014,398,509,481,984.0 KB"},
        {TDisplayUnit::MB, 2, 5 * 1048576 + 524288, u"5.50 MB"},
        {TDisplayUnit::GB, 1, 3 * GiB, u"3.0 GB"},
        {TDisplayUnit::TB, 1, 1000000, u"0.0 TB"},
        {TDisplayUnit::TB, 4, 1ull << 39, u"0.5000 TB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.unit) * 1000 + c.decimals);
        EXPECT_EQ(FormatSize(c.size, TFormatSettings{c.unit, c.decimals, english}), c.text)
            << c.size;
    }
    // Decimals outside 0..4 are clamped.
    f.Unit = TDisplayUnit::MB;
    f.Decimals = 9;
    EXPECT_EQ(f.TreeDecimals(), 4);
    EXPECT_EQ(FormatSize(3 * 1048576, f), u"3.0000 MB");
    f.Decimals = -3;
    EXPECT_EQ(FormatSize(1048576, f), u"1 MB");
}

TEST_F(EnglishFormat, LocaleSeparatorsAndNumbers) {
    const TNumberFormat german{u".", u",", "%d.%m.%Y %H:%M:%S"};
    EXPECT_EQ(FormatSize(1234567, TFormatSettings{TDisplayUnit::KB, 1, german}), u"1.205,6 KB");
    EXPECT_EQ(FormatCount(int64_t(-1234567), german), u"-1.234.567");
    EXPECT_EQ(FormatFixed(1234.56, 1, german), u"1234,6"); // "f": no grouping
    EXPECT_EQ(FormatCount(uint64_t(1000000), TNumberFormat{u"\u202f", u",", ""}),
              u"1\u202f000\u202f000");

    EXPECT_EQ(FormatNumber(0.05, 1, english), u"0.1");
    EXPECT_EQ(FormatNumber(-0.04, 1, english), u"0.0"); // no "-0.0"
    EXPECT_EQ(FormatNumber(999999.96, 1, english), u"1,000,000.0");
    EXPECT_EQ(FormatCount(uint64_t(0), english), u"0");
    EXPECT_EQ(FormatCount(int32_t(999), english), u"999");
}

TEST(LocaleFormat, CLocaleGetsEnglishSeparatorsAndIsoDates) {
    const char* old = std::getenv("LC_ALL");
    std::string saved = old ? old : "";
    setenv("LC_ALL", "C", 1);
    TNumberFormat f = LocaleNumberFormat();
    EXPECT_EQ(f.ThousandSeparator, u",");
    EXPECT_EQ(f.DecimalSeparator, u".");
    EXPECT_EQ(f.DateTimePattern, "%Y-%m-%d %H:%M:%S");
    if (old)
        setenv("LC_ALL", saved.c_str(), 1);
    else
        unsetenv("LC_ALL");
}

TEST_F(EnglishFormat, PercentagesNeverDivideByZero) {
    EXPECT_EQ(Percentage(5, 0), 0);
    EXPECT_EQ(Percentage(0, 0), 0);
    EXPECT_DOUBLE_EQ(Percentage(1, 4), 25);
    EXPECT_DOUBLE_EQ(Percentage(UINT64_MAX, UINT64_MAX), 100);
    EXPECT_EQ(FormatPercentCell(42.46, f), u"42.5 %");
    EXPECT_EQ(FormatPercentSummary(75, f), u"(75.0%)");
    f.Decimals = 0;
    EXPECT_EQ(FormatPercentCell(99.5, f), u"100 %");
    EXPECT_EQ(FormatPercentCell(0.0 / 0.0, f), u"0 %");
}

TEST_F(EnglishFormat, LocalDatesAndAttributes) {
    const char* oldTz = std::getenv("TZ");
    std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(FormatLocalDateTime(0, english), u"");
    EXPECT_EQ(FormatLocalDateTime(0.75, english), u""); // whole-day part 0
    EXPECT_EQ(FormatLocalDateTime(45000.5, english), u"2023-03-15 12:00:00");
    setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    tzset();
    EXPECT_EQ(FormatLocalDateTime(45000.5, english), u"2023-03-15 13:00:00");
    EXPECT_EQ(FormatLocalDateTime(45122.5, english), u"2023-07-15 14:00:00"); // summer time
    if (oldTz)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();

    EXPECT_EQ(AttributeLetters(0), u"");
    EXPECT_EQ(AttributeLetters(0x1 | 0x2 | 0x4 | 0x20 | 0x40 | 0x800), u"RHSADC");
    EXPECT_EQ(AttributeLetters(0x800 | 0x2 | 0x10), u"HC"); // the folder bit has no letter
}

TEST_F(EnglishFormat, SpaceSummaryOfOneDrive) {
    TDiskSizeInfo d;
    d.itempath = u"C:";
    d.hastotalandfreespace = true;
    d.totalspace = 100 * GiB;
    d.freespace = 25 * GiB;
    d.usedspace = 70 * GiB;
    TSpaceSummaryInput in;
    in.Format = f;
    in.HasEntry = true;
    in.EntryText = u"[C:] System";
    in.Kind = TSummaryKind::Drive;
    in.DiskSizes = {&d, 1};
    TSpaceSummary s = UpdateSpaceSummary(in);
    EXPECT_EQ(s.lblTotalSpace, u"100.0 GB");
    EXPECT_EQ(s.lblSpaceUsed, u"75.0 GB"); // reserved space counts as used
    EXPECT_EQ(s.lblSpaceUsedPerc, u"(75.0%)");
    EXPECT_EQ(s.lblSpaceFree, u"25.0 GB");
    EXPECT_EQ(s.lblSpaceFreePerc, u"(25.0%)");
    EXPECT_EQ(s.lblReservedSpace, u"n/a");
    EXPECT_EQ(s.lblDrive, u"[C:]");
    EXPECT_EQ(s.lblDriveSerial, u"System");
    EXPECT_EQ(s.Caption, u"[C:]  - Quarzel");
    EXPECT_EQ(s.totalspaceused, 75 * GiB);
    // A mounted file system's entry: its mount point in brackets, then its description.
    in.EntryText = u"[/home] sda2 (ext4)";
    s = UpdateSpaceSummary(in);
    EXPECT_EQ(s.lblDrive, u"[/home]");
    EXPECT_EQ(s.lblDriveSerial, u"sda2 (ext4)");
    in.EntryText = u"[C:] System";

    d.reservedspace = GiB;
    EXPECT_EQ(UpdateSpaceSummary(in).lblReservedSpace, u"1.0 GB");
    // Free space above the capacity must not wrap the used figure around.
    d.freespace = 200 * GiB;
    EXPECT_EQ(UpdateSpaceSummary(in).lblSpaceUsed, u"0");
    // A capacity of 0 with figures: no percentages, no reserved space.
    d.totalspace = 0;
    d.freespace = 0;
    s = UpdateSpaceSummary(in);
    EXPECT_EQ(s.lblSpaceUsedPerc, u"n/a");
    EXPECT_EQ(s.lblSpaceFreePerc, u"n/a");
    EXPECT_EQ(s.lblReservedSpace, u"n/a");
}

TEST_F(EnglishFormat, SpaceSummaryOfOtherSources) {
    TDiskSizeInfo two[2];
    two[0].itempath = u"/home";
    two[0].hastotalandfreespace = true;
    two[0].totalspace = 10 * GiB;
    two[0].freespace = 4 * GiB;
    two[0].usedspace = 5 * GiB;
    two[1].itempath = u"/mnt/x";
    two[1].usedspace = GiB;
    TSpaceSummaryInput in;
    in.Format = f;
    in.HasEntry = true;
    in.Kind = TSummaryKind::Multiple;
    in.DiskSizes = two;
    TSpaceSummary s = UpdateSpaceSummary(in);
    EXPECT_EQ(s.lblTotalSpace, u"n/a");
    EXPECT_EQ(s.lblSpaceFree, u"n/a");
    EXPECT_EQ(s.lblSpaceUsed, u"6.0 GB"); // both sources' used space
    EXPECT_EQ(s.lblSpaceUsedPerc, u"");
    EXPECT_EQ(s.lblSpaceFreePerc, u"");
    EXPECT_EQ(s.lblDrive, u"<Multiple>");
    EXPECT_EQ(s.lblDriveSerial, u"[/home] [/mnt/x] ");
    EXPECT_EQ(s.totalspace, 0u);

    // An MFT dump: capacities unknown, used = the root's allocated total.
    TDiskSizeInfo dump;
    dump.itempath = u"/data/c.mft";
    TMFT_RECORD root{};
    root.SubFoldersTotSizeAlloc = 3 * GiB;
    in.Kind = TSummaryKind::MFTFile;
    in.DiskSizes = {&dump, 1};
    in.CurrentDrive = u"/data/c.mft";
    in.rootmft = &root;
    s = UpdateSpaceSummary(in);
    EXPECT_EQ(s.lblTotalSpace, u"n/a");
    EXPECT_EQ(s.lblSpaceFree, u"n/a");
    EXPECT_EQ(s.lblSpaceUsed, u"3.0 GB");
    EXPECT_EQ(s.lblDrive, u"<MFT File>");
    EXPECT_EQ(s.lblDriveSerial, u"/data/c.mft");

    // A CSV import that carried capacities keeps them.
    dump.hastotalandfreespace = true;
    dump.totalspace = 8 * GiB;
    dump.freespace = 2 * GiB;
    in.Kind = TSummaryKind::CSVFile;
    in.FirstScanCSVHasSpace = true;
    s = UpdateSpaceSummary(in);
    EXPECT_EQ(s.lblTotalSpace, u"8.0 GB");
    EXPECT_EQ(s.lblDrive, u"<CSV File>");
    in.FirstScanCSVHasSpace = false;
    EXPECT_EQ(UpdateSpaceSummary(in).lblTotalSpace, u"n/a");

    // A source without a path: the serial label's text is kept in brackets.
    TDiskSizeInfo unnamed;
    in.DiskSizes = {&unnamed, 1};
    in.Kind = TSummaryKind::Folder;
    in.CurrentDrive = u"/srv";
    in.PreviousDriveSerial = u"old";
    s = UpdateSpaceSummary(in);
    EXPECT_EQ(s.Caption, u"[old] - Quarzel");
    EXPECT_EQ(s.lblDriveSerial, u"/srv");
    EXPECT_EQ(s.lblDrive, u"<Folder>");

    // A substituted or network drive: its letter, and the target when the list knows it.
    in.Kind = TSummaryKind::Network;
    in.EntryText = u"[Z:] (\\\\server\\share)";
    in.SubstOrNetworkTarget = u"\\\\server\\share";
    s = UpdateSpaceSummary(in);
    EXPECT_EQ(s.lblDrive, u"[Z:]");
    EXPECT_EQ(s.lblDriveSerial, u"\\\\server\\share");
    in.SubstOrNetworkTarget.clear();
    EXPECT_EQ(UpdateSpaceSummary(in).lblDriveSerial, u"[old]"); // the joined text stays

    TSpaceSummaryInput none;
    s = UpdateSpaceSummary(none);
    EXPECT_TRUE(s.ClearViews);
    EXPECT_EQ(s.Caption, u"Quarzel");
}

TEST_F(EnglishFormat, DumpProgressThrottle) {
    EXPECT_EQ(DumpProgressText(42, 1294467072, 3081764864, english),
              u"Dumping MFT file 42% (1,234.5/2,939.0 MB)");
    TDumpProgress p;
    std::u16string text;
    const TDateTime t0 = 45000.0, second = 1.0 / 86400.0;
    EXPECT_TRUE(p.Update(0, 0, 100, t0, text));
    EXPECT_FALSE(p.Update(0, 10, 100, t0 + second / 2, text)); // same percent within a second
    EXPECT_TRUE(p.Update(1, 20, 100, t0 + second / 2, text));  // the percentage rose
    EXPECT_TRUE(p.Update(1, 30, 100, t0 + 2 * second, text));  // a second passed
    EXPECT_TRUE(p.Update(100, 100, 100, t0 + 2 * second, text));
    EXPECT_EQ(p.LastPercent(), 100);
    EXPECT_TRUE(p.Update(100, 100, 100, t0 + 2 * second, text)); // 100 % always shows
}

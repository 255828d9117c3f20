// Extension statistics, colours and the file-types rows.
#include "base/text.h"
#include "filters/filters.h"
#include "tests/views/scanbuilder.h"
#include "views/displaytree.h"
#include "views/extstats.h"
#include "views/filetypes.h"
#include "views/format.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace qz;
using qz::test::ScanBuilder;

TEST(Colours, DefaultPaletteIsTheBaseColoursAdjusted) {
    // The stored defaults are the base colours passed through AdjustLuminance: computing them
    // checks the conversion to and from hue/luminance/saturation on twelve colours at once.
    const TColor base[12] = {0xDC7212, 0xC6CB06, 0x1B9327, 0x6D28A5, 0x972B56, 0x127CDC,
                             0x0B06CB, 0x931B87, 0xC40D0D, 0x6C9628, 0x16E2B3, 0x603E15};
    const double factor[12] = {0.7, 0.7, 0.8, 1.0, 0.9, 0.9, 1.6, 1.1, 0.9, 0.7, 0.7, 1.0};
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(AdjustLuminance(base[i], factor[i]), DefaultPalette()[size_t(i)]);
    }
    TExtColors c;
    EXPECT_EQ(c.BackgroundColor(), 0x393939u);
    EXPECT_EQ(c.FreeSpaceColor(), 0x909090u);
    EXPECT_EQ(AdjustLuminance(0x000000, 5.0), 0x000000u);
    EXPECT_EQ(AdjustLuminance(0x808080, 0.0), 0x000000u);
    EXPECT_EQ(AdjustLuminance(0xFFFFFF, 1.0), 0xFFFFFFu);
    EXPECT_EQ(AdjustLuminance(0xFFFFFF, 3.0), 0xFFFFFFu); // channels capped at 255
    EXPECT_EQ(AdjustLuminance(0xFF0000, 1.0), 0xFF0000u);
    // Settings store R + 256 G + 65536 B.
    EXPECT_EQ(ToSettingsColor(0x9B500C), 0x0C509Bu);
    EXPECT_EQ(FromSettingsColor(ToSettingsColor(0x123456)), 0x123456u);
    EXPECT_EQ(ColorBlindPalette()[0], 0x88CCEEu);
    EXPECT_EQ(ColorBlindPalette()[12], 0x202020u);
}

TEST(Colours, ExtensionKeys) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"a.tar.gz", u".gz"},
        {u".gitignore", u".gitignore"},
        {u"name.", u"."},
        {u"noext", u""},
        {u"Photo.JPG", u".jpg"},
        {u"x.\u00c4BC", u".\u00c4bc"},             // only ASCII letters are lower-cased
        {u"backup.verylongextension123", u""},     // longer than 15: no extension
        {u"a.abcdefghijklmn", u".abcdefghijklmn"}, // 15 with the dot
        {u"", u""},
    };
    for (auto [name, key] : cases) EXPECT_EQ(ExtensionKey(name), key) << Utf16ToUtf8(name);
}

namespace {

// Files of three extensions in two scans, with a folder, a filtered file, a file deleted
// while the scan is shown, a hard-link duplicate and a hole in the record list.
struct Stats : ::testing::Test {
    ScanBuilder a{u"/a"}, b{u"/b"};
    std::vector<TNTFS_FILES*> scans;
    void SetUp() override {
        PMFT_RECORD d = a.Folder(a.root, u"music.mp3"); // a folder: never counted
        a.File(d, u"x.MP3", 600, 4096);
        a.File(d, u"y.mp3", 0, 0);
        a.File(a.root, u"notes.txt", 100, 4096);
        PMFT_RECORD link = a.File(a.root, u"link.txt", 100, 4096);
        link->DoNotCountFlag = true;
        PMFT_RECORD hidden = a.File(a.root, u"filtered.iso", 999999, 1 << 20);
        hidden->Filtered = true;
        PMFT_RECORD gone = a.File(a.root, u"gone.txt", 5000, 8192); // counted nowhere
        gone->Deleted = true;
        a.File(a.root, u"README", 50, 4096);
        a.Finish();
        a.scan->FFileList.push_back(nullptr);
        b.File(b.root, u"z.Mp3", 300, 8192);
        b.File(b.root, u"backup.verylongextension123", 10, 4096);
        b.Finish();
        scans = {a.scan.get(), nullptr, b.scan.get()};
    }
};

} // namespace

TEST_F(Stats, BuildRanksAndPads) {
    TExtColors c;
    c.BuildExtSizes(scans);
    ASSERT_EQ(c.ExtSizes.size(), 3u);
    EXPECT_EQ(c.ExtSizes[0].Key, u".mp3");
    EXPECT_EQ(c.ExtSizes[0].Totals.Size, 900u);
    EXPECT_EQ(c.ExtSizes[0].Totals.Alloc, 12288u);
    EXPECT_EQ(c.ExtSizes[0].Totals.Count, 3u);
    EXPECT_EQ(c.ExtSizes[1].Key, u".txt");
    EXPECT_EQ(c.ExtSizes[1].Totals.Size, 200u);   // the hard link's size counts
    EXPECT_EQ(c.ExtSizes[1].Totals.Alloc, 4096u); // its allocation does not
    EXPECT_EQ(c.ExtSizes[1].Totals.Count, 2u);
    EXPECT_EQ(c.ExtSizes[2].Key, u""); // README and the over-long key
    EXPECT_EQ(c.ExtSizes[2].Totals.Size, 60u);
    EXPECT_EQ(c.ExtSizes[2].Totals.Count, 2u);
    const std::array<std::u16string, 12> top = {u".mp3", u".txt", u"",  u"*", u"*", u"*",
                                                u"*",    u"*",    u"*", u"*", u"*", u"*"};
    EXPECT_EQ(c.ExtSizesTop12, top);
    EXPECT_EQ(c.Total().Count, 7u);

    // By size: rank colours; everything else slot 12; the empty key has its rank too.
    EXPECT_EQ(c.GetFileColor(u"new.MP3"), c.tm_palette[0]);
    EXPECT_EQ(c.GetFileColor(u"a.txt"), c.tm_palette[1]);
    EXPECT_EQ(c.GetFileColor(u"Makefile"), c.tm_palette[2]);
    EXPECT_EQ(c.GetFileColor(u"a.exe"), c.tm_palette[12]);
    EXPECT_EQ(c.GetKeyColor(u".txt"), c.tm_palette[1]);

    // A headless run's command-line filters: include >=100 bytes, exclude *.txt.
    TFilterPair f;
    ParseFilterPair(u">=100", u"*.txt", false, f);
    c.BuildExtSizes(scans, CommandLineFilterTest(f));
    ASSERT_EQ(c.ExtSizes.size(), 1u);
    EXPECT_EQ(c.ExtSizes[0].Totals.Count, 2u); // x.MP3 and z.Mp3
    // A path in either filter switches both to full paths.
    ParseFilterPair(u"", u"music.mp3\\", false, f);
    c.BuildExtSizes(scans, CommandLineFilterTest(f));
    EXPECT_EQ(c.Total().Count, 5u); // the two files inside the folder music.mp3 left out

    // Nothing counted at all.
    std::vector<TNTFS_FILES*> none;
    c.BuildExtSizes(none);
    EXPECT_TRUE(c.ExtSizes.empty());
    EXPECT_EQ(c.ExtSizesTop12[0], u"*");
    EXPECT_EQ(c.GetFileColor(u"a.mp3"), c.tm_palette[12]);
}

TEST(Colours, ByExtensionListsAndTheCache) {
    TExtColors c;
    c.bColorBySize = false;
    c.tm_fileextensions[7] = u" exe , LOG,.mp3"; // exe is slot 4 already; ".mp3" never matches
    c.tm_fileextensions[9] = u"iso,,nrg";
    c.BuildExtColorsFixed();
    c.ResetColorCache();
    EXPECT_EQ(c.GetFileColor(u"setup.EXE"), c.tm_palette[4]); // the lowest slot wins
    EXPECT_EQ(c.GetFileColor(u"x.log"), c.tm_palette[7]);
    EXPECT_EQ(c.GetFileColor(u"song.mp3"), c.tm_palette[0]);
    EXPECT_EQ(c.GetFileColor(u"disc.nrg"), c.tm_palette[9]);
    EXPECT_EQ(c.GetFileColor(u"unknown.xyz"), c.tm_palette[12]);
    EXPECT_EQ(c.GetFileColor(u"noext"), c.tm_palette[12]);
    EXPECT_EQ(c.SlotOfKey(u".PNG"), 2);

    // The one-entry cache is dropped when the palette changes and the cache is reset.
    EXPECT_EQ(c.GetFileColor(u"a.dll"), DefaultPalette()[5]);
    c.tm_palette[5] = 0x010203;
    c.ResetColorCache();
    EXPECT_EQ(c.GetFileColor(u"b.dll"), 0x010203u);

    // By size, keys compare exactly: a key differing only in non-ASCII case does not match.
    ScanBuilder b(u"/x");
    b.File(b.root, u"a.\u00e9x", 10);
    b.Finish();
    std::vector<TNTFS_FILES*> scans{b.scan.get()};
    c.bColorBySize = true;
    c.BuildExtSizes(scans);
    EXPECT_EQ(c.GetFileColor(u"b.\u00e9x"), c.tm_palette[0]);
    EXPECT_EQ(c.GetFileColor(u"b.\u00c9x"), c.tm_palette[12]);
}

TEST(Colours, TenThousandKeysAtMost) {
    ScanBuilder b(u"/many");
    for (int i = 0; i < 10005; ++i) b.File(b.root, u"f." + AsciiToUtf16(std::to_string(i)), 1);
    b.File(b.root, u"again.0", 1); // a known key still counts under itself
    b.Finish();
    std::vector<TNTFS_FILES*> scans{b.scan.get()};
    TExtColors c;
    c.BuildExtSizes(scans);
    EXPECT_EQ(c.ExtSizes.size(), kMaxExtKeys + 1); // 10000 keys and the empty key
    uint64_t emptyCount = 0, zeroCount = 0;
    for (auto& e : c.ExtSizes) {
        if (e.Key.empty()) emptyCount = e.Totals.Count;
        if (e.Key == u".0") zeroCount = e.Totals.Count;
    }
    EXPECT_EQ(emptyCount, 5u);
    EXPECT_EQ(zeroCount, 2u);

    // Over several scans the keys are taken scan by scan in the order met: in a second scan a
    // key the first one ranked still counts under itself, any new one under the empty key.
    ScanBuilder more(u"/more");
    more.File(more.root, u"b.0", 1);
    more.File(more.root, u"b.10004", 1); // folded into the empty key in the first scan too
    more.File(more.root, u"b.new", 1);
    more.Finish();
    const std::vector<TNTFS_FILES*> two{b.scan.get(), more.scan.get()};
    c.BuildExtSizes(two);
    const std::vector<TExtTally> tallies{TallyExtensions(*b.scan), TallyExtensions(*more.scan)};
    TExtColors merged;
    merged.BuildExtSizes(tallies);
    for (const TExtColors* x : {&c, &merged}) {
        EXPECT_EQ(x->ExtSizes.size(), kMaxExtKeys + 1);
        for (auto& e : x->ExtSizes) {
            if (e.Key.empty()) {
                EXPECT_EQ(e.Totals.Count, 7u);
            } else if (e.Key == u".0") {
                EXPECT_EQ(e.Totals.Count, 3u);
            }
        }
    }
}

TEST_F(Stats, FileTypesRowsSharesAndSorting) {
    TExtColors c;
    c.BuildExtSizes(scans);
    // A describer that knows .mp3 and .txt only (the descriptions come from the MIME database
    // in the program; here the sort must not depend on the machine's database).
    int lookups = 0;
    TFileAssociationDetails cache([&](std::u16string_view ext) -> std::u16string {
        ++lookups;
        if (ext == u".MP3") return u"MP3 audio";
        if (ext == u".TXT") return u"Plain text document";
        return {};
    });
    TFileTypesView v;
    v.Fill(c, 1000, 0, &cache); // zero allocated total: 0 %, no division by zero
    ASSERT_EQ(v.Rows.size(), 3u);
    EXPECT_FLOAT_EQ(v.Rows[0].SizePercent, 90);
    EXPECT_FLOAT_EQ(v.Rows[1].SizePercent, 20);
    EXPECT_FLOAT_EQ(v.Rows[0].AllocPercent, 0);
    EXPECT_EQ(v.SortColumn(), -1); // statistics order until a header is clicked
    EXPECT_EQ(v.CellText(v.Rows[0], ecPercent), u"0.0 %"); // allocated share unless sorted by size
    v.HeaderClick(ecSize, cache);
    EXPECT_EQ(v.SortDirection(), TSortDirection::Descending);
    EXPECT_EQ(v.CellText(v.Rows[0], ecPercent), u"90.0 %");
    EXPECT_EQ(v.CellText(v.Rows[0], ecSize), u"900 bytes");
    EXPECT_EQ(v.CellText(v.Rows[0], ecFiles), u"3");
    EXPECT_EQ(v.CellText(v.Rows[0], ecExtension), u".mp3");
    v.HeaderClick(ecSwatch, cache); // not sortable
    EXPECT_EQ(v.SortColumn(), ecSize);
    EXPECT_EQ(lookups, 0); // nothing looked up while not needed

    // Cells queue what they lack; the empty key shows the no-extension words.
    EXPECT_EQ(v.CellText(v.Rows[2], ecFileType, &cache), u"(no extension)");
    EXPECT_EQ(v.CellText(v.Rows[0], ecFileType, &cache), u"");
    EXPECT_TRUE(cache.HasPending());
    cache.GetFileIconsAndDescriptions();
    EXPECT_EQ(lookups, 1);
    EXPECT_EQ(v.CellText(v.Rows[0], ecFileType, &cache), u"MP3 audio");

    // Sorting by type looks up every missing description in one batch; a type without a
    // description sorts by its extension text (".zzz" < "MP3 audio" < "Plain ...").
    TExtColors more;
    ScanBuilder z(u"/z");
    z.File(z.root, u"q.zzz", 1);
    z.File(z.root, u"r.TXT", 2);
    z.File(z.root, u"s.mp3", 3);
    z.Finish();
    std::vector<TNTFS_FILES*> zs{z.scan.get()};
    more.BuildExtSizes(zs);
    v.Fill(more, 6, 6, &cache);
    v.HeaderClick(ecFileType, cache);
    EXPECT_EQ(v.SortDirection(), TSortDirection::Ascending);
    std::vector<std::u16string> keys;
    for (auto& r : v.Rows) keys.push_back(r.ExtKey);
    EXPECT_EQ(keys, (std::vector<std::u16string>{u".zzz", u".mp3", u".txt"}));
    EXPECT_EQ(lookups, 3); // .TXT and .ZZZ, each once
    v.HeaderClick(ecExtension, cache);
    keys.clear();
    for (auto& r : v.Rows) keys.push_back(r.ExtKey);
    EXPECT_EQ(keys, (std::vector<std::u16string>{u".mp3", u".txt", u".zzz"}));
    // A refill keeps the sort.
    v.Fill(more, 6, 6, &cache);
    EXPECT_EQ(v.Rows[0].ExtKey, u".mp3");
}

TEST(FileAssociations, CacheKeepsUpperCasedExtensionsOnce) {
    int lookups = 0;
    TFileAssociationDetails cache([&](std::u16string_view) {
        ++lookups;
        return std::u16string(u"desc");
    });
    EXPECT_EQ(cache.AddExtension(u" .jpg "), 0);
    EXPECT_EQ(cache.AddExtension(u".JPG"), 0);
    EXPECT_EQ(cache.AddExtension(u""), -1);
    cache.AddFile(u"archive.tar.gz");
    cache.AddFile(u"Makefile");
    EXPECT_EQ(cache.Extensions(), (std::vector<std::u16string>{u".JPG", u".GZ"}));
    EXPECT_EQ(cache.Description(u".jpg"), nullptr);
    cache.GetFileIconsAndDescriptions();
    cache.GetFileIconsAndDescriptions();
    EXPECT_EQ(lookups, 2);
    ASSERT_NE(cache.Description(u".jpg"), nullptr);
    EXPECT_EQ(*cache.Description(u".jpg"), u"desc");
    cache.Clear();
    EXPECT_EQ(cache.IndexOf(u".JPG"), -1);
}

TEST(FileAssociations, SystemMimeDatabase) {
    // The real database (shared-mime-info) names common types; unknown ones stay empty.
    if (!std::filesystem::exists("/usr/share/mime/packages/freedesktop.org.xml"))
        GTEST_SKIP() << "no shared MIME database on this machine";
    EXPECT_FALSE(TFileAssociationDetails::MimeDescription(u".PNG").empty());
    EXPECT_FALSE(TFileAssociationDetails::MimeDescription(u".txt").empty());
    EXPECT_EQ(TFileAssociationDetails::MimeDescription(u".qzunknownext"), u"");
    EXPECT_EQ(TFileAssociationDetails::MimeDescription(u""), u"");
}

TEST(FileTypes, TotalsComeFromTheTopLevelNodes) {
    ScanBuilder a(u"/a"), b(u"/b");
    a.File(a.root, u"x", 100, 4096);
    b.File(b.root, u"y", 50, 8192);
    a.Finish();
    b.Finish();
    std::vector<TNTFS_FILES*> scans{a.scan.get(), b.scan.get()};
    TDisplayTree t;
    ASSERT_TRUE(t.LoadTree(scans));
    uint64_t size = 0, alloc = 0;
    TFileTypesView::TreeTotals(t, size, alloc);
    EXPECT_EQ(size, 150u);
    EXPECT_EQ(alloc, 12288u);
}

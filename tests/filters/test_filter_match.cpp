// Matching records against parsed filters: name-only and full-path patterns, extensions,
// comparisons, dates in local days, duplicates, keywords, regular expressions, Linux "/"
// paths, walk entries, several threads on one filter, and inputs that must not stall.
#include "base/datetime.h"
#include "engine/duplicates.h"
#include "filter_fixture.h"
#include "filters/filter_regex.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <thread>

using namespace qz;
using namespace qz::test;

namespace {

using Paths = std::vector<std::string>;

TDateTime At(int y, int mo, int d, int h, int mi) {
    TDateParts p;
    p.year = y, p.month = mo, p.day = d, p.hour = h, p.minute = mi;
    TDateTime t = 0;
    EXPECT_TRUE(TryEncodeDateTime(p, t));
    return t;
}

// C:\ with a few folders and files (sizes in bytes):
//   Windows\System32\kernel32.dll 2M, notes.txt 100
//   temp\a.tmp 500K, photo.png 2M
//   x\temp\log.txt 100
//   Videos\movie.mp4 3G, clip.MKV 1M
//   logs\app.log 10
//   big data\report.txt 10
//   noext 10, photo.jpg 500K, notes.txt 2M
class FilterMatch : public ::testing::Test {
protected:
    FilterScan s;
    PMFT_RECORD notesTxt = nullptr, photoJpg = nullptr, logTxt = nullptr, appLog = nullptr;
    TDUPFILES dups;

    void SetUp() override {
        SetFilterDecimalSeparator(u'.');
        SetFilterLocalTimeOffset(0);
        PMFT_RECORD win = s.Folder(s.root, u"Windows");
        PMFT_RECORD sys = s.Folder(win, u"System32");
        s.File(sys, u"kernel32.dll", 2u << 20);
        s.File(sys, u"notes.txt", 100);
        PMFT_RECORD temp = s.Folder(s.root, u"temp");
        s.File(temp, u"a.tmp", 500u << 10);
        s.File(temp, u"photo.png", 2u << 20);
        PMFT_RECORD x = s.Folder(s.root, u"x");
        PMFT_RECORD xt = s.Folder(x, u"temp");
        logTxt = s.File(xt, u"log.txt", 100, At(2024, 3, 1, 23, 30));
        PMFT_RECORD vid = s.Folder(s.root, u"Videos");
        s.File(vid, u"movie.mp4", 3ull << 30);
        s.File(vid, u"clip.MKV", 1u << 20);
        PMFT_RECORD logs = s.Folder(s.root, u"logs");
        appLog = s.File(logs, u"app.log", 10, At(2024, 2, 29, 23, 59));
        PMFT_RECORD big = s.Folder(s.root, u"big data");
        s.File(big, u"report.txt", 10);
        s.File(s.root, u"noext", 10);
        photoJpg = s.File(s.root, u"photo.jpg", 500u << 10);
        notesTxt = s.File(s.root, u"notes.txt", 2u << 20, At(2024, 3, 1, 10, 0));
        s.Totals();
        dups.dupcount = 1;
        dups.dupfiles = {notesTxt, photoJpg};
        SetDupGroup(*s.scan, notesTxt, &dups);
        SetDupGroup(*s.scan, photoJpg, &dups);
    }
    void TearDown() override {
        SetDupGroup(*s.scan, notesTxt, nullptr);
        SetDupGroup(*s.scan, photoJpg, nullptr);
        SetFilterLocalTimeOffset(0);
    }
    Paths All() const { return s.Matching(u""); }
    Paths AllBut(std::set<std::string> drop) const {
        Paths out;
        for (auto& p : All())
            if (!drop.count(p)) out.push_back(p);
        return out;
    }
};

const std::string R = "C:\\", W = "C:\\Windows", S = "C:\\Windows\\System32",
                  K = "C:\\Windows\\System32\\kernel32.dll",
                  N1 = "C:\\Windows\\System32\\notes.txt", T = "C:\\temp", TA = "C:\\temp\\a.tmp",
                  TP = "C:\\temp\\photo.png", X = "C:\\x", XT = "C:\\x\\temp",
                  XL = "C:\\x\\temp\\log.txt", V = "C:\\Videos", VM = "C:\\Videos\\movie.mp4",
                  VC = "C:\\Videos\\clip.MKV", L = "C:\\logs", LA = "C:\\logs\\app.log",
                  B = "C:\\big data", BR = "C:\\big data\\report.txt", NE = "C:\\noext",
                  PJ = "C:\\photo.jpg", NT = "C:\\notes.txt";

Paths Sorted(Paths p) {
    std::sort(p.begin(), p.end());
    return p;
}

struct Case {
    std::u16string_view text;
    bool fullPath;
    Paths want;
};

TEST_F(FilterMatch, NamePatternsComparisonsAndKeywords) {
    const Case cases[] = {
        {u"*.jpg|*.png >1M", false, {TP}},
        {u"*.mp4|*.mkv", false, {VM, VC}},
        {u"*.txt", true, {N1, XL, BR, NT}}, // own name's end, also in full-path mode
        {u"*.", false, {R, W, S, T, X, XT, V, L, B, NE}},
        {u"*.*", false, All()},
        {u"temp", false, {T, XT}},
        {u"\\temp\\", false, {T, TA, TP, XT, XL}}, // a folder's path ends with "\"
        {u"sys", false, {S}},
        {u"sys", true, {S, K, N1}}, // a name or an ancestor's name
        {u"log*", false, {L, XL}},
        {u"log*", true, {L, LA, XL}}, // "*log*" against the whole path
        {u"*log.txt", true, {XL}},
        {u"\"big data\"", false, {B}},
        {u"big data", false, {B}}, // two groups, both satisfied by one name
        {u"big data", true, {B, BR}},
        {u"\xC9T\xC9", false, {}}, // folding: no name holds "ete"
        {u"KERNEL", false, {K}},
        {u">1M", false, {R, W, S, K, T, TP, V, VM, NT}}, // folders by their totals
        {u"a>=1M", false, {R, W, S, K, T, TP, V, VM, VC, NT}},
        {u"<=10", false, {L, LA, B, BR, NE}}, // folders of 10 bytes too
        {u"=folders", false, {R, W, S, T, X, XT, V, L, B}},
        {u"!=files", false, {R, W, S, T, X, XT, V, L, B}},
        {u"=files >1G", false, {VM}},
        {u"namelen>8", false, {K, N1, TP, VM, NT, PJ, BR}},
        {u"pathlen<=7", false, {R, X, T, L}}, // without the trailing separator
        {u"pathlen=2", false, {R}},
        {u"=dups", false, {NT, PJ}},
        {u"dupcount>0", false, {NT, PJ}},
        {u"dupsize>=2M", false, {NT}},
        {u"!*.tmp", false, AllBut({TA})},
        {u"/^kern/", false, {K}},
        {u"/\\.TXT$/", false, {N1, XL, BR, NT}}, // "\" switches to the path
        {u"/^c:\\\\win/", false, {W, S, K, N1}}, // anchored at the path's start
        {u"/(/", false, {}},
        {u"!/(/", false, All()},
        {u"|||", false, All()},
        {u"!", false, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(s.Matching(c.text, c.fullPath), Sorted(c.want))
            << std::string(c.text.begin(), c.text.end()) << (c.fullPath ? " (full path)" : "");
}

TEST_F(FilterMatch, SizeAndFoldersTermsSatisfiedWhenNotApplied) {
    EXPECT_EQ(s.Matching(u">1G", false, false), All());
    EXPECT_EQ(s.Matching(u"a<1", false, false), All());
    EXPECT_EQ(s.Matching(u"=folders", false, false), All());
    EXPECT_EQ(s.Matching(u"!>1G", false, false), Paths{}); // satisfied, then negated
    // Other comparisons are still applied.
    EXPECT_EQ(s.Matching(u"namelen>8 >1G", false, false), Sorted({K, N1, TP, VM, NT, PJ, BR}));
    EXPECT_EQ(s.Matching(u"=files", false, false).size(), 12u);
}

TEST_F(FilterMatch, DatesCompareLocalCalendarDays) {
    // log.txt 2024-03-01 23:30 UTC, app.log 2024-02-29 23:59 UTC, notes.txt 2024-03-01 10:00.
    EXPECT_EQ(s.Matching(u"=2024-03-01"), Sorted({NT, XL}));
    EXPECT_EQ(s.Matching(u"=2024/03/01"), Sorted({NT, XL}));
    EXPECT_EQ(s.Matching(u">=2024-03-01"), Sorted({NT, XL}));
    EXPECT_EQ(s.Matching(u"<2023-03-15"), Paths{});
    SetFilterLocalTimeOffset(1.0 / 24); // one hour east of UTC
    EXPECT_EQ(s.Matching(u"=2024-03-01"), Sorted({NT, LA}));
    EXPECT_EQ(s.Matching(u"=2024-03-02"), Sorted({XL}));
    SetFilterLocalTimeOffset(-11.0 / 24);
    EXPECT_EQ(s.Matching(u"=2024-02-29"), Sorted({NT, LA}));
    EXPECT_EQ(s.Matching(u"=2024-03-01"), Sorted({XL}));

    // TODAY: three days ago passes "> today - 7", ten days ago does not.
    SetFilterLocalTimeOffset(0);
    notesTxt->ModifiedDate = NowUtc() - 3;
    logTxt->ModifiedDate = NowUtc() - 10;
    EXPECT_EQ(s.Matching(u">TODAY-7"), Sorted({NT}));
    EXPECT_EQ(s.Matching(u"<today-7 *.txt"), Sorted({N1, XL, BR})); // the others: 2023
}

TEST(FilterMatchLinux, SlashPathsAndEitherSeparator) {
    SetFilterLocalTimeOffset(0);
    FilterScan s(u"/home/me");
    PMFT_RECORD cache = s.Folder(s.root, u"cache");
    s.File(cache, u"x.bin");
    PMFT_RECORD src = s.Folder(s.root, u"src");
    PMFT_RECORD srcCache = s.Folder(src, u"cache");
    s.File(srcCache, u"y.o");
    s.File(src, u"main.c");
    s.File(s.root, u"notcache.txt");
    s.File(s.root, u"back\\slash"); // a Linux name may hold "\"
    s.Totals();
    const Paths caches = {"/home/me/cache", "/home/me/cache/x.bin", "/home/me/src/cache",
                          "/home/me/src/cache/y.o"};
    for (std::u16string_view t : {u"*/cache/*", u"\\cache\\", u"/cache/", u"*\\CACHE\\*",
                                  u"/\\/cache\\//", u"/[/]cache[\\\\]/"}) {
        Paths want = t == u"/cache/" // between slashes: an expression "cache" in own names
                         ? Paths{"/home/me/cache", "/home/me/notcache.txt", "/home/me/src/cache"}
                         : caches;
        EXPECT_EQ(s.Matching(t), Sorted(want)) << std::string(t.begin(), t.end());
    }
    EXPECT_EQ(s.Matching(u"/^\\/home\\/me\\/src/"),
              Sorted({"/home/me/src", "/home/me/src/main.c", "/home/me/src/cache",
                      "/home/me/src/cache/y.o"}));
    EXPECT_EQ(s.Matching(u"pathlen=8"), Paths{"/home/me"});
    EXPECT_EQ(s.Matching(u"pathlen=14"), Paths{"/home/me/cache"});
    EXPECT_EQ(s.Matching(u"home", true).size(), 9u); // the root's name holds "home"
    EXPECT_EQ(s.Matching(u"me/src"), Sorted({"/home/me/src", "/home/me/src/main.c",
                                             "/home/me/src/cache", "/home/me/src/cache/y.o"}));
}

// An entry described by its fields matches as the record made from it does.
TEST_F(FilterMatch, WalkEntriesMatchLikeTheirRecords) {
    FilterScan lin(u"/srv/data");
    PMFT_RECORD d = lin.Folder(lin.root, u"Cache");
    lin.File(d, u"a.TMP", 5000);
    lin.File(lin.root, u"b.txt", 10);
    lin.Totals();
    const std::u16string_view filters[] = {
        u"*.tmp",    u"cache",   u"\\cache\\",   u"*/cache/*", u"/^.:.win/",    u"/\\.tmp$/",
        u"temp|log", u"log*",    u">1k",         u"!>1k",      u"namelen>8",    u"pathlen>20",
        u"=folders", u"!=files", u"=2024-03-01", u"*.",        u"\"big data\"", u"!*.txt *.*",
        u"data",     u"sys",     u"/srv",        u"s<=100",    u"/(/",          u"!/(/",
    };
    for (FilterScan* scan : {&s, &lin}) {
        for (std::u16string_view text : filters) {
            for (bool startFull : {false, true}) {
                bool fp = startFull;
                TFilters_AND f;
                ParseFilters(text, f, fp);
                for (PMFT_RECORD r : scan->scan->FFileList) {
                    std::u16string parent = r->ParentMFTRec ? GetRecordPath(r->ParentMFTRec) : u"";
                    TFilterEntry e;
                    e.name = r->Name();
                    e.parentPath = parent;
                    e.folder = r->IsFolder();
                    e.size = r->IsFolder() ? r->SubFoldersTotSize : r->FileSize;
                    e.allocSize = r->IsFolder() ? r->SubFoldersTotSizeAlloc : r->AllocSize;
                    e.modified = r->ModifiedDate;
                    for (bool apply : {false, true})
                        EXPECT_EQ(MatchFilters(e, f, fp, apply), MatchFilters(r, f, fp, apply))
                            << std::string(text.begin(), text.end()) << " on "
                            << FilterScan::Path(r) << " full=" << fp << " apply=" << apply;
                }
            }
        }
    }
    // The walk's exclude test counts sizes as satisfied.
    TWalkExcludeFilter ex(u">1G", false);
    EXPECT_TRUE(ex.Active());
    TFilterEntry small;
    small.name = u"tiny";
    small.parentPath = u"/srv";
    EXPECT_TRUE(ex.Excludes(small));
    EXPECT_FALSE(TWalkExcludeFilter(u"  ", false).Active());
    TWalkExcludeFilter bad(u"/a(/ x", false);
    EXPECT_EQ(bad.Errors().size(), 1u);
    TWalkExcludeFilter sep(u"\\cache\\", false);
    EXPECT_TRUE(sep.FullPath());
    small.parentPath = u"/srv/cache";
    EXPECT_TRUE(sep.Excludes(small));
    small.parentPath = u"/srv/cached";
    EXPECT_FALSE(sep.Excludes(small));
}

// Inside a batch the paths of parent folders are reused: the answers stay those of records
// matched one by one, and a new batch sees renamed folders.
TEST_F(FilterMatch, BatchesReuseFolderPathsWithoutChangingAnswers) {
    FilterScan lin(u"/");
    PMFT_RECORD d = lin.Folder(lin.root, u"cache");
    lin.File(d, u"a.tmp");
    PMFT_RECORD e = lin.Folder(d, u"deeper");
    lin.File(e, u"b.log");
    lin.File(lin.root, u"top.txt");
    lin.Totals();
    const std::u16string_view texts[] = {
        u"\\cache\\",  u"*\\cache\\*.log", u"log",         u"sys",   u"/^c:\\\\win/",
        u"/\\/cache/", u"pathlen>9",       u"*.txt",       u"data",  u"temp|cache",
        u"*e*",        u"cache\\a.t",      u"e\\deeper\\", u"32\\k", u"\\notes.txt|\\b.log"};
    for (FilterScan* scan : {&s, &lin}) {
        for (std::u16string_view text : texts) {
            bool fp = true;
            TFilters_AND f;
            ParseFilters(text, f, fp);
            std::vector<bool> alone;
            for (PMFT_RECORD r : scan->scan->FFileList)
                alone.push_back(MatchFilters(r, f, fp, true));
            // Twice through, forwards and backwards, so parents are met cached and not.
            TFilterBatch batch;
            for (int round = 0; round < 2; ++round) {
                const auto& list = scan->scan->FFileList;
                for (size_t k = 0; k < list.size(); ++k) {
                    size_t i = round == 0 ? k : list.size() - 1 - k;
                    EXPECT_EQ(MatchFilters(list[i], f, fp, true), alone[i])
                        << std::string(text.begin(), text.end()) << " "
                        << FilterScan::Path(list[i]);
                }
            }
        }
    }
    bool fp = true;
    TFilters_AND f;
    ParseFilters(u"\\renamed\\", f, fp);
    PMFT_RECORD a = lin.scan->FFileList.back(); // /top.txt is not below it
    PMFT_RECORD b = nullptr;
    for (PMFT_RECORD r : lin.scan->FFileList)
        if (r->Name() == u"b.log") b = r;
    {
        TFilterBatch batch;
        EXPECT_FALSE(MatchFilters(b, f, fp, true));
    }
    lin.scan->SetRecordName(*e, u"renamed");
    {
        TFilterBatch batch;
        EXPECT_TRUE(MatchFilters(b, f, fp, true));
        EXPECT_FALSE(MatchFilters(a, f, fp, true));
    }
    // A record under test may change inside a batch (a walker reuses the record of an
    // excluded entry for the next one): what its children see is its new name.
    {
        TFilterBatch batch;
        ParseFilters(u"\\renamed\\", f, fp);
        EXPECT_TRUE(MatchFilters(e, f, fp, true));
        lin.scan->SetRecordName(*e, u"again");
        ParseFilters(u"\\again\\", f, fp);
        EXPECT_TRUE(MatchFilters(b, f, fp, true));
    }
}

TEST_F(FilterMatch, OneFilterFromManyThreads) {
    const std::u16string_view texts[] = {u"/t.*p/|*.mp4", u"\\temp\\", u"/^c:\\\\.*s/ >1k", u"log*",
                                         u"!/[aeiou]{2}/"};
    for (std::u16string_view text : texts) {
        bool fp = false;
        TFilters_AND f;
        ParseFilters(text, f, fp);
        std::vector<bool> want;
        for (PMFT_RECORD r : s.scan->FFileList) want.push_back(MatchFilters(r, f, fp, true));
        std::atomic<int> mismatches{0};
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                std::optional<TFilterBatch> batch;
                if (t % 2) batch.emplace();
                for (int round = 0; round < 300; ++round)
                    for (size_t i = 0; i < s.scan->FFileList.size(); ++i)
                        if (MatchFilters(s.scan->FFileList[i], f, fp, true) != want[i])
                            ++mismatches;
            });
        for (auto& th : threads) th.join();
        EXPECT_EQ(mismatches.load(), 0) << std::string(text.begin(), text.end());
    }
}

TEST(FilterMatchLimits, CatastrophicExpressionIsGivenUp) {
    FilterScan s;
    // 2,000 names on which "(a+)+$" backtracks exponentially.
    for (int i = 0; i < 2000; ++i) s.File(s.root, std::u16string(40, u'a') + u"!");
    s.File(s.root, u"aaaa");
    TFilters_AND f;
    bool fp = false;
    ParseFilters(u"/^(a+)+$/", f, fp);
    ASSERT_TRUE(f[0][0].regex);
    size_t matched = 0;
    for (PMFT_RECORD r : s.scan->FFileList) matched += MatchFilters(r, f, fp, true);
    const TFilterRegex& re = *f[0][0].regex;
    EXPECT_TRUE(re.GivenUp());
    EXPECT_EQ(re.LimitHits(), TFilterRegex::kMaxLimitHits);
    EXPECT_EQ(matched, 0u); // "aaaa" comes after the expression was given up
    std::vector<TFilterError> errors;
    CollectGivenUpExpressions(f, errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].term, u"/^(a+)+$/");
    EXPECT_NE(errors[0].message.find("given up"), std::string::npos);
    // Through FilterResults: the pass ends and says which term of which text.
    errors.clear();
    FilterResults(*s.scan, u"x|/^(a+)+$/", u"", true, false, false, &errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].pattern, u"^(a+)+$");
    EXPECT_EQ(errors[0].kind, TFilterErrorKind::RegexGivenUp);
    EXPECT_EQ(errors[0].position, 2u);
    EXPECT_FALSE(errors[0].exclude);
    EXPECT_NE(FilterErrorText(errors[0]).find("/^(a+)+$/: the expression kept exceeding"),
              std::string::npos)
        << FilterErrorText(errors[0]);
    errors.clear();
    FilterResults(*s.scan, u"", u" /^(a+)+$/", true, false, false, &errors);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].position, 1u);
    EXPECT_TRUE(errors[0].exclude);
    // A well-behaved expression on the same names is unaffected.
    ParseFilters(u"/^a+!$/", f, fp);
    matched = 0;
    for (PMFT_RECORD r : s.scan->FFileList) matched += MatchFilters(r, f, fp, true);
    EXPECT_EQ(matched, 2000u);
    EXPECT_EQ(f[0][0].regex->LimitHits(), 0u);
}

// Expressions that are not catastrophic work on the longest paths: a path of 12,000
// characters, and expressions whose work grows with its length.
TEST(FilterMatchLimits, PlainExpressionsOnLongPaths) {
    FilterScan s;
    PMFT_RECORD p = s.root;
    for (int i = 0; i < 60; ++i) p = s.Folder(p, std::u16string(200, char16_t(u'a' + i % 2)));
    PMFT_RECORD end = s.File(p, u"end.c");
    for (std::u16string_view text :
         {u"/^(.)+c$/", u"/\"^c:(?:a|b|[\\/])+end.c$\"/", u"/\"^c:(\\\\(a+|b+))+\\\\end\\.c$\"/",
          u"/^c:(\\\\a+\\\\b+)+/"}) {
        bool fp = true;
        TFilters_AND f;
        ParseFilters(text, f, fp);
        ASSERT_TRUE(f[0][0].regex) << std::string(text.begin(), text.end());
        EXPECT_TRUE(MatchFilters(end, f, fp, true)) << std::string(text.begin(), text.end());
        EXPECT_EQ(f[0][0].regex->LimitHits(), 0u);
    }
}

TEST(FilterMatchLimits, LongPatternsAndLoopingParents) {
    FilterScan s;
    PMFT_RECORD d = s.Folder(s.root, u"d");
    s.File(d, std::u16string(300, u'a'));
    // Patterns far longer than any path: answered without scanning.
    std::u16string longWild = u"*" + std::u16string(10000, u'a') + u"*";
    std::u16string longText(10000, u'a');
    std::u16string stars = u"*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b";
    for (const std::u16string& text : {longWild, longText, stars, u"\\" + longText})
        for (bool full : {false, true}) EXPECT_EQ(s.Matching(text, full), Paths{});

    // Two folders naming each other as parent (a damaged source): matching ends.
    PMFT_RECORD a = s.Folder(s.root, u"loopA");
    PMFT_RECORD b = s.Folder(a, u"loopB");
    a->ParentMFTRec = b;
    const struct {
        std::u16string_view text;
        bool want;
    } loopCases[] = {{u"zzz", false},      {u"loopa", true}, {u"\\zzz\\", false},
                     {u"pathlen>1", true}, {u"*zz*", false}, {u"/zz/", false}};
    for (const auto& c : loopCases) {
        bool fp = true;
        TFilters_AND f;
        ParseFilters(c.text, f, fp);
        EXPECT_EQ(MatchFilters(b, f, fp, true), c.want)
            << std::string(c.text.begin(), c.text.end());
    }
}

} // namespace

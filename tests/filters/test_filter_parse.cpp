// Parsing filter texts: normalisation, groups and terms, quotes and negation, comparisons
// with units, locale decimals, dates and keywords, name patterns and the full-path additions,
// regular-expression errors, and texts a person might type by mistake: what is wrong in them
// and where.
#include "base/datetime.h"
#include "filter_fixture.h"
#include "filters/filter_regex.h"
#include "filters/filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace qz;

namespace {

// Converts ASCII test text for messages.
std::string A(std::u16string_view s) {
    return std::string(s.begin(), s.end());
}

class FilterParse : public ::testing::Test {
protected:
    void SetUp() override {
        SetFilterDecimalSeparator(u'.');
        SetFilterLocalTimeOffset(0);
    }
    void TearDown() override { SetFilterDecimalSeparator(u'.'); }

    // The one term of a one-term text.
    static TFilterItem One(std::u16string_view text, bool fullPath = false) {
        TFilters_AND f;
        ParseFilters(text, f, fullPath);
        EXPECT_EQ(f.size(), 1u) << A(text);
        if (f.size() != 1 || f[0].size() != 1) {
            ADD_FAILURE() << "not one term: " << A(text);
            return {};
        }
        return f[0][0];
    }
    static int32_t Day(int y, int m, int d) {
        TDateParts p;
        p.year = y, p.month = m, p.day = d;
        TDateTime t = 0;
        EXPECT_TRUE(TryEncodeDateTime(p, t));
        return int32_t(t);
    }
};

TEST_F(FilterParse, NormalizeJoinsBarsInThreePasses) {
    const struct {
        std::u16string_view in, out;
    } cases[] = {
        {u"a | b", u"a|b"},  {u"a |b", u"a|b"},        {u"a| b", u"a|b"}, {u"a  |b", u"a |b"},
        {u"a|  b", u"a| b"}, {u"a |  b", u"a|b"},      {u"a b", u"a b"},  {u"", u""},
        {u" | | ", u"||"},   {u"x | y | z", u"x|y|z"},
    };
    for (const auto& c : cases) EXPECT_EQ(A(NormalizeFilterText(c.in)), A(c.out)) << A(c.in);
}

TEST_F(FilterParse, GroupsAndTerms) {
    const struct {
        std::u16string_view text;
        std::vector<size_t> termsPerGroup;
    } cases[] = {
        {u"", {}},
        {u"   ", {}},
        {u"a", {1}},
        {u"a b", {1, 1}},
        {u"a|b c", {2, 1}},
        {u"a | b", {2}},    // normalised to an alternative
        {u"a  |b", {1, 1}}, // "a |b" after normalising: a AND b
        {u"a||b", {2}},     // empty terms add nothing
        {u"a|", {1}},       // nor does a trailing bar
        {u"|||", {}},       // a group of bars only is no group
        {u"\"a b\"", {1}},  // quoted space
        {u"\"a b\"|c d", {2, 1}},
        {u"\"a|b\"", {1}}, // quoted bar
        {u"*.* x", {1, 1}},
        {u"\t a \t", {1}}, // control characters trimmed
    };
    for (const auto& c : cases) {
        TFilters_AND f;
        bool fp = false;
        ParseFilters(c.text, f, fp);
        std::vector<size_t> got;
        for (auto& g : f) got.push_back(g.size());
        EXPECT_EQ(got, c.termsPerGroup) << A(c.text);
    }
}

TEST_F(FilterParse, Comparisons) {
    const struct {
        std::u16string_view text;
        int32_t type, op;
        uint64_t bytes;
    } cases[] = {
        {u">1M", 1, 2, 1048576},
        {u">1.5G", 1, 2, 1610612736},
        {u"a>=100kb", 2, 3, 102400},
        {u"A>=100KB", 2, 3, 102400},
        {u"s<=10", 1, 5, 10},
        {u"=0", 1, 1, 0},
        {u"<2.5", 1, 4, 2}, // halves to even
        {u"<3.5", 1, 4, 4},
        {u"=0.5k", 1, 1, 512},
        {u"=1e3", 1, 1, 1000},
        {u">2T", 1, 2, 2ull << 40},
        {u">5b", 1, 2, 5},
        {u"namelen>100", 4, 2, 100},
        {u"PATHLEN>=260", 5, 3, 260},
        {u"dupcount>0", 6, 2, 0},
        {u"DupSize>1k", 7, 2, 1024},
        {u">99999999999T", 1, 2, UINT64_MAX}, // saturates instead of wrapping
    };
    for (const auto& c : cases) {
        TFilterItem it = One(c.text);
        EXPECT_EQ(it.sizeoptype, c.type) << A(c.text);
        EXPECT_EQ(it.sizeop, c.op) << A(c.text);
        EXPECT_EQ(it.sizebytes, c.bytes) << A(c.text);
        EXPECT_TRUE(it.filtertext.empty()) << A(c.text);
        EXPECT_FALSE(it.NOTFlag);
    }
}

TEST_F(FilterParse, TextsThatAreNotComparisons) {
    // Each becomes a name pattern holding its whole text.
    for (std::u16string_view t : {u">-5", u">", u"abc", u"s", u">1.5.5", u"=1e", u">x1",
                                  u"=2024/13/01", u">folders", u"=2024-02-30", u"=0000-01-01"}) {
        TFilterItem it = One(t);
        EXPECT_EQ(it.sizeop, 0) << A(t);
        EXPECT_EQ(it.sizeoptype, 0) << A(t);
        EXPECT_FALSE(it.filtertext.empty()) << A(t);
        EXPECT_FALSE(it.foldersonly || it.filesonly || it.dupsonly) << A(t);
    }
}

TEST_F(FilterParse, DecimalSeparatorFollowsTheLocale) {
    SetFilterDecimalSeparator(u',');
    EXPECT_EQ(One(u">1,5G").sizebytes, 1610612736u);
    TFilterItem dot = One(u">1.5G"); // neither a number nor a date: a text term
    EXPECT_EQ(dot.sizeop, 0);
    EXPECT_EQ(dot.filtertextlength, 5);
}

TEST_F(FilterParse, Dates) {
    const int32_t today = int32_t(std::trunc(NowUtc()));
    const struct {
        std::u16string_view text;
        int32_t op, day;
    } cases[] = {
        {u"=2024-03-01", 1, Day(2024, 3, 1)},
        {u"=2024/03/01", 1, Day(2024, 3, 1)},
        {u">=2024.03.01", 3, Day(2024, 3, 1)},
        {u"s<2024-03-01", 4, Day(2024, 3, 1)}, // a date whatever the prefix
        {u"=2024-03-01-3", 1, Day(2024, 2, 27)},
        {u"=2024-03-01+30", 1, Day(2024, 3, 31)},
        {u"=2024-03-01xyz", 1, Day(2024, 3, 1)},
        {u"=2024-03-01-x", 1, Day(2024, 3, 1)}, // unreadable offset counts 0
        {u">TODAY-7", 2, today - 7},
        {u"<today+1", 4, today + 1},
        {u"=Today", 1, today},
    };
    for (const auto& c : cases) {
        TFilterItem it = One(c.text);
        EXPECT_EQ(it.sizeoptype, 3) << A(c.text);
        EXPECT_EQ(it.sizeop, c.op) << A(c.text);
        // TODAY may cross midnight between the two readings.
        EXPECT_NEAR(it.sodate, c.day,
                    c.text.find(u'T') != c.text.npos || c.text.find(u't') != c.text.npos ? 1 : 0)
            << A(c.text);
    }
}

TEST_F(FilterParse, TodayIsTheLocalDay) {
    // 23 hours ahead of UTC: "today" is the UTC day or the next one, never the day before.
    SetFilterLocalTimeOffset(23.0 / 24);
    const int32_t utcDay = int32_t(std::trunc(NowUtc()));
    TFilterItem it = One(u"=TODAY");
    EXPECT_GE(it.sodate, utcDay);
    EXPECT_LE(it.sodate, utcDay + 1);
    EXPECT_EQ(it.sodate, int32_t(std::trunc(NowUtc() + 23.0 / 24)));
}

TEST_F(FilterParse, Keywords) {
    const struct {
        std::u16string_view text;
        bool folders, files, dups, negated;
    } cases[] = {
        {u"=folders", true, false, false, false}, {u"=FOLDER", true, false, false, false},
        {u"=files", false, true, false, false},   {u"=file", false, true, false, false},
        {u"=dup", false, false, true, false},     {u"=DUPS", false, false, true, false},
        {u"!=files", false, true, false, true},   {u"s=folders", true, false, false, false},
    };
    for (const auto& c : cases) {
        TFilterItem it = One(c.text);
        EXPECT_EQ(it.foldersonly, c.folders) << A(c.text);
        EXPECT_EQ(it.filesonly, c.files) << A(c.text);
        EXPECT_EQ(it.dupsonly, c.dups) << A(c.text);
        EXPECT_EQ(it.NOTFlag, c.negated) << A(c.text);
        EXPECT_EQ(it.sizeop, 0) << A(c.text);
    }
    EXPECT_TRUE(FoldersOnlyFilterActive(u"*.txt =folders", true));
    EXPECT_TRUE(FoldersOnlyFilterActive(u"x|=Folder", false));
    EXPECT_FALSE(FoldersOnlyFilterActive(u"!=folders", true));
    EXPECT_FALSE(FoldersOnlyFilterActive(u"\"=folders\"", true));
    EXPECT_FALSE(FoldersOnlyFilterActive(u"=files >1M", true));
    EXPECT_FALSE(FoldersOnlyFilterActive(u"", true));
}

TEST_F(FilterParse, QuotesAndNegation) {
    TFilterItem q = One(u"\"=5\""); // quoted: never a comparison
    EXPECT_EQ(q.sizeop, 0);
    EXPECT_EQ(A(q.filtertext), "=5");
    EXPECT_FALSE(q.NOTFlag);

    TFilterItem qs = One(u"\"Big Data\"");
    EXPECT_EQ(A(qs.filtertext), "big data"); // folded
    EXPECT_EQ(qs.filtertextlength, 8);

    TFilterItem nq = One(u"!\"x y\"");
    EXPECT_TRUE(nq.NOTFlag);
    EXPECT_EQ(A(nq.filtertext), "x y");

    TFilterItem nc = One(u"!>1M"); // negated comparison
    EXPECT_TRUE(nc.NOTFlag);
    EXPECT_EQ(nc.sizeop, 2);

    TFilterItem qn = One(u"\"!x\""); // a quoted "!" is text
    EXPECT_FALSE(qn.NOTFlag);
    EXPECT_EQ(A(qn.filtertext), "!x");

    TFilterItem unbalanced = One(u"\"abc def"); // runs to the end
    EXPECT_EQ(A(unbalanced.filtertext), "abc def");

    TFilterItem bang = One(u"!"); // negation of nothing: no crash, empty pattern
    EXPECT_TRUE(bang.NOTFlag);
    EXPECT_EQ(bang.filtertextlength, 0);
}

TEST_F(FilterParse, NamePatternFlags) {
    const struct {
        std::u16string_view text;
        bool wild, ext, noext, sep;
        std::string folded;
    } cases[] = {
        {u"*.txt", true, true, false, false, "*.txt"},
        {u"*.TAR.GZ", true, true, false, false, "*.tar.gz"},
        {u"*.t?t", true, false, false, false, "*.t?t"},
        {u"a*.txt", true, false, false, false, "a*.txt"},
        {u"*.", true, false, true, false, "*."},
        {u"*.*", true, false, false, false, "*"}, // the whole group "*.*" is "*"
        {u"Log", false, false, false, false, "log"},
        {u"\\temp\\", false, false, false, true, "\\temp\\"},
        {u"*/cache/*", true, false, false, true, "*\\cache\\*"}, // "/" is a separator
        {u"\xC9t\xE9", false, false, false, false, "ete"},       // accents folded
    };
    for (const auto& c : cases) {
        TFilterItem it = One(c.text);
        EXPECT_EQ(it.wildcards, c.wild) << A(c.text);
        EXPECT_EQ(it.fileextension, c.ext) << A(c.text);
        EXPECT_EQ(it.FilterNoExtension, c.noext) << A(c.text);
        EXPECT_EQ(it.backslash, c.sep) << A(c.text);
        EXPECT_EQ(A(it.filtertext), c.folded) << A(c.text);
        EXPECT_EQ(it.filtertextlength, int32_t(c.folded.size()));
        EXPECT_FALSE(it.isregex);
    }
}

TEST_F(FilterParse, FullPathAdditions) {
    const struct {
        std::u16string_view text;
        std::string folded;
    } cases[] = {
        {u"log", "log"},           // no wildcard: unchanged
        {u"log*", "*log*"},        // put in front, and appended
        {u"*log.txt", "*log.txt"}, // has a dot: nothing appended
        {u"?x", "*?x*"},
        {u"*.txt", "*.txt"}, // extension test keeps its form
        {u"a*", "*a*"},
        {u"\\temp\\", "\\temp\\"}, // no wildcard
        {u"*\\temp", "*\\temp*"},
    };
    for (const auto& c : cases) {
        bool fp = true;
        TFilters_AND f;
        ParseFilters(c.text, f, fp);
        ASSERT_EQ(f.size(), 1u);
        EXPECT_EQ(A(f[0][0].filtertext), c.folded) << A(c.text);
    }
}

TEST_F(FilterParse, SeparatorSwitchesTheWholeFilterToFullPath) {
    bool fp = false;
    TFilters_AND f;
    ParseFilters(u"log*", f, fp);
    EXPECT_FALSE(fp);
    EXPECT_EQ(A(f[0][0].filtertext), "log*");

    // The switch applies to every wildcard term, before or after the term holding the
    // separator: the two orders of the same filter parse alike.
    for (std::u16string_view text : {u"log* \\temp\\", u"\\temp\\ log*", u"log* /temp/x"}) {
        fp = false;
        ParseFilters(text, f, fp);
        EXPECT_TRUE(fp) << A(text);
        bool found = false;
        for (auto& g : f)
            for (auto& t : g)
                if (t.wildcards) {
                    found = true;
                    EXPECT_EQ(A(t.filtertext), "*log*") << A(text);
                }
        EXPECT_TRUE(found);
    }
    // Never switched off; comparisons with "/" in a date do not switch it on.
    fp = true;
    ParseFilters(u"abc", f, fp);
    EXPECT_TRUE(fp);
    fp = false;
    ParseFilters(u">=2024/03/01", f, fp);
    EXPECT_FALSE(fp);
    EXPECT_FALSE(FilterTextSetsFullPath(u">=2024/03/01 *.txt"));
    EXPECT_TRUE(FilterTextSetsFullPath(u"*.txt|a\\b"));
    EXPECT_FALSE(FilterTextSetsFullPath(u"/abc/"));     // the slashes delimit an expression
    EXPECT_TRUE(FilterTextSetsFullPath(u"/\\d{4}/"));   // an expression holding "\"
    EXPECT_TRUE(FilterTextSetsFullPath(u"/home/.*x/")); // or "/"

    // An exclude text with a separator switches the include text parsed with it.
    TFilterPair pair;
    ParseFilterPair(u"video*", u"\\temp\\", false, pair);
    EXPECT_TRUE(pair.fullPath);
    EXPECT_EQ(A(pair.include[0][0].filtertext), "*video*");
}

TEST_F(FilterParse, RegularExpressions) {
    TFilterItem ok = One(u"/ab+c/");
    EXPECT_TRUE(ok.isregex);
    ASSERT_TRUE(ok.regex);
    EXPECT_TRUE(ok.regex->Search(u"xxABBCxx")); // case-insensitive, unanchored
    EXPECT_FALSE(ok.regex->Search(u"ac"));
    EXPECT_FALSE(ok.backslash);

    TFilterItem noTrailing = One(u"/^x"); // the closing slash is optional
    ASSERT_TRUE(noTrailing.regex);
    EXPECT_TRUE(noTrailing.regex->Search(u"xyz"));
    EXPECT_FALSE(noTrailing.regex->Search(u"yx"));

    TFilterItem quoted = One(u"/\"a b\"/"); // an enclosing pair of quotes is dropped
    ASSERT_TRUE(quoted.regex);
    EXPECT_EQ(A(quoted.regex->Pattern()), "a b");

    TFilterItem accents = One(u"/\xE9t\xE9/"); // Unicode case folding: "ÉTÉ"
    ASSERT_TRUE(accents.regex);
    EXPECT_TRUE(accents.regex->Search(u"\xC9T\xC9.txt"));

    std::vector<TFilterError> errors;
    TFilters_AND f;
    bool fp = false;
    ParseFilters(u"*.txt /a(b/ !/[x/", f, fp, &errors);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_TRUE(f[1][0].isregex);
    EXPECT_FALSE(f[1][0].regex);
    EXPECT_TRUE(f[2][0].NOTFlag);
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(A(errors[0].term), "/a(b/");
    EXPECT_EQ(A(errors[0].pattern), "a(b");
    EXPECT_EQ(errors[0].offset, 3u);
    EXPECT_NE(errors[0].message.find("parenthesis"), std::string::npos) << errors[0].message;
    EXPECT_EQ(A(errors[1].term), "!/[x/");
    EXPECT_FALSE(errors[1].message.empty());
}

TEST_F(FilterParse, EitherSeparatorInExpressions) {
    const struct {
        std::u16string_view in, out;
    } cases[] = {
        {u"a/b", u"a[/\\\\]b"},
        {u"a\\\\b", u"a[/\\\\]b"}, // an escaped backslash
        {u"a\\/b", u"a[/\\\\]b"},  // an escaped slash
        {u"[/]", u"[/\\\\]"},      // in a class: both
        {u"[^\\\\x]", u"[^/\\\\x]"},
        {u"[]/]", u"[]/\\\\]"}, // "]" first in a class is a member
        {u"[[:alpha:]/]", u"[[:alpha:]/\\\\]"},
        {u"\\d{4}-\\d{2}", u"\\d{4}-\\d{2}"}, // other escapes kept
        {u"\\Qa/b\\E/", u"\\Qa/b\\E[/\\\\]"}, // quoted text kept
        {u"x\\", u"x\\"},                     // a trailing backslash is left to the engine
    };
    for (const auto& c : cases) EXPECT_EQ(A(RegexWithEitherSeparator(c.in)), A(c.out)) << A(c.in);

    // Compiled: either separator matches.
    TFilterItem it = One(u"/^\\/home\\/me\\//");
    ASSERT_TRUE(it.regex);
    EXPECT_TRUE(it.regex->Search(u"/home/me/x"));
    EXPECT_TRUE(it.regex->Search(u"\\home\\me\\x"));
    EXPECT_FALSE(it.regex->Search(u"/home/mex"));
}

TEST_F(FilterParse, TextsTypedByMistakeParseQuickly) {
    // Every one must parse without crashing; a 10,000-unit term parses to one term.
    std::u16string longTerm(10000, u'x');
    std::u16string longWild = u"*" + std::u16string(5000, u'a') + u"*?";
    std::u16string manyBars(5000, u'|');
    std::u16string manyQuotes(3001, u'"');
    std::u16string deepParens = u"/" + std::u16string(3000, u'(') + u"/";
    for (std::u16string_view t :
         {std::u16string_view(longTerm), std::u16string_view(longWild),
          std::u16string_view(manyBars), std::u16string_view(manyQuotes),
          std::u16string_view(deepParens), std::u16string_view(u"!"), std::u16string_view(u"\""),
          std::u16string_view(u"\"\""), std::u16string_view(u"!!"), std::u16string_view(u"="),
          std::u16string_view(u"/"), std::u16string_view(u"//"), std::u16string_view(u"!/"),
          std::u16string_view(u"\xD800"), std::u16string_view(u"/\xDC80/"),
          std::u16string_view(u"namelen>"), std::u16string_view(u"=today-99999999999")}) {
        TFilters_AND f;
        bool fp = false;
        std::vector<TFilterError> errors;
        ParseFilters(t, f, fp, &errors);
        for (auto& g : f) EXPECT_FALSE(g.empty());
    }
    TFilterItem it = One(longTerm);
    EXPECT_EQ(it.filtertextlength, 10000);
    EXPECT_EQ(One(u"=today-99999999999").sizeop, 1); // an unreadable offset counts 0
}

// Mistakes typed into a search or filter box: each is reported with what is wrong and the
// place in the text as typed (before the bars are joined), and the text keeps its meaning.
TEST_F(FilterParse, MistakesAreReportedWithTheirPlace) {
    std::u16string deepParens = u"a /" + std::u16string(10000, u'(') + u"/";
    std::u16string longText;
    while (longText.size() < 10000)
        longText += u"name" + std::u16string(1, u'a' + longText.size() % 26) + u"|";
    using K = TFilterErrorKind;
    const struct {
        std::u16string_view text;
        std::vector<std::pair<K, size_t>> errors; // kind and position
        std::string_view message;                 // in the first error's message
        std::vector<std::string> matching;        // paths accepted (name-only matching)
    } cases[] = {
        {u"*.txt \"my file", {{K::UnclosedQuote, 6}}, "not closed", {"C:\\my file.txt"}},
        {u"a | \"b", {{K::UnclosedQuote, 4}}, "not closed", {"C:\\b.txt"}},
        {u"\"", {{K::UnclosedQuote, 0}}, "not closed", {"C:\\", "C:\\b.txt", "C:\\my file.txt"}},
        {u"!", {{K::EmptyNegation, 0}}, "nothing to negate", {}},
        {u"*.txt  !", {{K::EmptyNegation, 7}}, "nothing to negate", {}},
        {u"b|!\"\"", {{K::EmptyNegation, 2}}, "nothing to negate", {"C:\\b.txt"}},
        {u"!/", {{K::EmptyNegation, 0}}, "nothing to negate", {}},
        {u"!\"", {{K::EmptyNegation, 0}, {K::UnclosedQuote, 1}}, "nothing to negate", {}},
        {u"x /a(b/", {{K::RegexSyntax, 6}}, "missing closing parenthesis", {}},
        {u"b | /x)/", {{K::RegexSyntax, 6}}, "unmatched closing parenthesis", {"C:\\b.txt"}},
        {u"!/[x/",
         {{K::RegexSyntax, 4}},
         "missing terminating ]",
         {"C:\\", "C:\\b.txt", "C:\\my file.txt"}},
        {deepParens, {{K::RegexSyntax, 254}}, "too deeply nested", {}},
        {longText, {}, "", {}},
        {u"\"my file\" b*", {}, "", {}},
    };
    test::FilterScan s;
    s.File(s.root, u"my file.txt");
    s.File(s.root, u"b.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(A(c.text.substr(0, 40)));
        TFilters_AND f;
        bool fp = false;
        std::vector<TFilterError> errors;
        ParseFilters(c.text, f, fp, &errors);
        ASSERT_EQ(errors.size(), c.errors.size());
        for (size_t i = 0; i < errors.size(); ++i) {
            EXPECT_EQ(errors[i].kind, c.errors[i].first) << i;
            EXPECT_EQ(errors[i].position, c.errors[i].second) << i;
            EXPECT_FALSE(errors[i].exclude);
        }
        EXPECT_EQ(FilterTextErrors(c.text).size(), errors.size());
        if (errors.empty()) continue;
        EXPECT_NE(errors[0].message.find(c.message), std::string::npos) << errors[0].message;
        const std::string line = FilterErrorText(errors[0]);
        EXPECT_NE(line.find("(character " + std::to_string(c.errors[0].second + 1) + ")"),
                  std::string::npos)
            << line;
        EXPECT_EQ(s.Matching(c.text), c.matching);
    }

    // An expression's error names the term and the engine's message.
    const std::vector<TFilterError> re = FilterTextErrors(u"b /a(b/");
    ASSERT_EQ(re.size(), 1u);
    EXPECT_EQ(A(re[0].term), "/a(b/");
    EXPECT_NE(FilterErrorText(re[0]).find("/a(b/ is not a valid regular expression: missing "
                                          "closing parenthesis"),
              std::string::npos)
        << FilterErrorText(re[0]);

    // A pair of texts says which one is wrong.
    TFilterPair pair;
    ParseFilterPair(u"ok !", u"\"x", false, pair);
    ASSERT_EQ(pair.errors.size(), 2u);
    EXPECT_EQ(pair.errors[0].kind, K::EmptyNegation);
    EXPECT_EQ(pair.errors[0].position, 3u);
    EXPECT_FALSE(pair.errors[0].exclude);
    EXPECT_EQ(pair.errors[1].kind, K::UnclosedQuote);
    EXPECT_EQ(pair.errors[1].position, 0u);
    EXPECT_TRUE(pair.errors[1].exclude);
}

TEST_F(FilterParse, FreeFiltersEmptiesAndParseReplaces) {
    TFilters_AND f;
    bool fp = false;
    ParseFilters(u"/a/ b c", f, fp);
    EXPECT_EQ(f.size(), 3u);
    std::weak_ptr<const TFilterRegex> re = f[0][0].regex;
    ParseFilters(u"x", f, fp); // the old content is released first
    EXPECT_EQ(f.size(), 1u);
    EXPECT_TRUE(re.expired());
    FreeFilters(f);
    EXPECT_TRUE(f.empty());
}

} // namespace

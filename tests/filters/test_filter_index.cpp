// Many terms matched through one index must answer exactly as the terms tested one by one.
// Over two real scans (an NTFS image and a folder tree with odd names, walked by the folder
// scanner), a table of mixed filters built from the scans' own names is matched both ways,
// in both match modes, with and without size terms, inside and outside a batch, and as walk
// entries.
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "filters/filter_index.h"
#include "filters/filters.h"
#include "sources/sources.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fcntl.h>
#include <map>
#include <optional>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

std::unique_ptr<TNTFS_FILES> ScanNtfsImage(const TempDir& tmp) {
    const std::string image = Gunzip(DataPath("ntfs/ColinFinck-ntfs/testfs1.gz"), tmp.path());
    auto s = std::make_unique<TNTFS_FILES>(Utf8ToUtf16(image));
    s->ProcessMFTRecords();
    EXPECT_FALSE(s->WasError) << s->ErrorMessage;
    s->CalculateDirSizes();
    return s;
}

// Names a filter text cannot hold as they are ('"' toggles quoting) are left out; Linux
// allows "*", "?", "\" and "|" in names, and those are kept.
std::unique_ptr<TNTFS_FILES> ScanOddTree(const TempDir& tmp) {
    const std::string root = tmp.path() + "/tree";
    const char* folders[] = {
        "Cache",   "cache",  "src",      "src/cache",      "Docs",        "Docs/\xC3\x89T\xC3\x89",
        "deep",    "deep/a", "deep/a/b", "deep/a/b/Cache", "back\\slash", "bar|dir",
        "star*dir"};
    const char* files[] = {"Report 2024.PDF",
                           "report.pdf",
                           "Docs/\xC3\xA9t\xC3\xA9.txt",
                           "Docs/\xC3\x89T\xC3\x89/x.TXT",
                           "noext",
                           ".hidden",
                           "a.b.c.tar.gz",
                           "x.tar.gz",
                           "weird*name?.txt",
                           "back\\slash/in.txt",
                           "bar|dir/q.log",
                           "star*dir/Q.LOG",
                           "src/main.c",
                           "src/cache/obj.o",
                           "src/cache.txt",
                           "deep/a/b/Cache/x.log",
                           "deep/a/b/z.7z",
                           "dots...",
                           "Cache/keep.log",
                           "cache/big.bin",
                           "IMG_2023-05-12_0001.jpg",
                           "img_2024.JPG",
                           "deep/a/readme",
                           "src/util.cpp",
                           "src/util.h"};
    EXPECT_EQ(::mkdir(root.c_str(), 0755), 0);
    for (const char* d : folders) EXPECT_EQ(::mkdir((root + "/" + d).c_str(), 0755), 0) << d;
    for (const char* f : files) {
        const int fd = ::open((root + "/" + f).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
        EXPECT_GE(fd, 0) << f;
        if (fd >= 0) {
            EXPECT_EQ(::ftruncate(fd, off_t(std::string(f).size()) * 1000), 0);
            ::close(fd);
        }
    }
    auto s = TNTFS_FILES::CreateSlow(Utf8ToUtf16(root), ScanSourcePasses());
    s->ProcessMFTRecords({.FullPath = true});
    EXPECT_FALSE(s->WasError) << s->ErrorMessage;
    s->CalculateDirSizes();
    return s;
}

// A term as the filter language reads it: quoted when it holds a separator.
std::u16string Term(std::u16string_view t) {
    if (t.find_first_of(u" |") == std::u16string_view::npos) return std::u16string(t);
    return u"\"" + std::u16string(t) + u"\"";
}

std::u16string Join(const std::vector<std::u16string>& terms, std::u16string_view sep) {
    std::u16string out;
    for (const std::u16string& t : terms) {
        if (!out.empty()) out += sep;
        out += t;
    }
    return out;
}

std::u16string Upper(std::u16string s) {
    for (char16_t& c : s)
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
    return s;
}

// Filters made of the scan's own names, so that the terms do match: texts, parts of names,
// extensions, wildcards, negated groups, paths, and groups mixing every kind of term.
std::vector<std::u16string> FiltersFor(const TNTFS_FILES& scan) {
    std::set<std::u16string> nameSet;
    std::vector<std::u16string> folders;
    for (PMFT_RECORD r : scan.FFileList) {
        if (!r || r == scan.MFTRoot || r->Name().empty()) continue;
        std::u16string n(r->Name());
        if (n.find(u'"') != std::u16string::npos) continue;
        nameSet.insert(n);
        if (r->IsFolder() && n.find_first_of(u"\\/") == std::u16string::npos) folders.push_back(n);
    }
    const std::vector<std::u16string> names(nameSet.begin(), nameSet.end());
    std::vector<std::u16string> texts, parts, exts, wilds, negs, paths;
    for (size_t i = 0; i < names.size(); ++i) {
        const std::u16string& n = names[i];
        const size_t dot = n.rfind(u'.');
        if (i % 3 == 0) texts.push_back(Term(i % 2 ? Upper(n) : n));
        if (n.size() >= 4) {
            parts.push_back(Term(n.substr(1, 3)));
            if (i % 4 == 0) wilds.push_back(Term(n.substr(0, 2) + u"*"));
            if (i % 4 == 1) wilds.push_back(Term(u"*" + n.substr(n.size() - 3)));
            if (i % 4 == 2) wilds.push_back(Term(u"?" + n.substr(1)));
            if (i % 4 == 3) wilds.push_back(Term(u"*" + n.substr(1, 2) + u"*" + n.substr(3, 1)));
        }
        if (dot != std::u16string::npos && dot + 1 < n.size()) {
            exts.push_back(Term(u"*" + n.substr(dot)));
            exts.push_back(Term(u"*" + Upper(n.substr(dot))));
            const size_t first = n.find(u'.');
            if (first != dot && first > 0) exts.push_back(Term(u"*" + n.substr(first)));
        }
        if (i % 5 == 0) negs.push_back(u"!" + Term(n));
        if (i % 7 == 0 && dot != std::u16string::npos && dot > 0)
            negs.push_back(u"!" + Term(n.substr(0, dot) + u"*.*"));
    }
    for (size_t i = 0; i < folders.size() && paths.size() < 40; i += 2) {
        paths.push_back(Term(u"\\" + folders[i] + u"\\"));
        paths.push_back(Term(folders[i] + u"/*"));
    }
    exts.push_back(u"*.zz9");
    const std::vector<std::u16string> mixedExtra = {u"/^img_20[0-9]{2}/",
                                                    u">1G",
                                                    u"=folders",
                                                    u"!zzz",
                                                    u"*.",
                                                    u"namelen>40",
                                                    u"=files",
                                                    u"/(/",
                                                    u"!*.txt",
                                                    u"\"\"",
                                                    u"*",
                                                    u"pathlen>400"};
    std::vector<std::u16string> mixed;
    for (size_t i = 0; i < texts.size() && i < 30; ++i) {
        mixed.push_back(texts[i]);
        if (i < exts.size()) mixed.push_back(exts[i]);
        if (i < wilds.size()) mixed.push_back(wilds[i]);
        mixed.push_back(mixedExtra[i % mixedExtra.size()]);
    }
    // Without the terms that accept everything, so that the group decides.
    std::vector<std::u16string> mixedStrict;
    for (const std::u16string& t : mixed)
        if (t != u"*" && t != u"\"\"" && t != u"!zzz" && t != u"!*.txt" && t != u"=folders" &&
            t != u"*.")
            mixedStrict.push_back(t);

    // Lists too short for an index (the NTFS image's names have no extensions) are left out.
    const auto big = [](std::initializer_list<const std::vector<std::u16string>*> lists) {
        for (const auto* l : lists)
            if (l->size() < kFilterIndexMin) return false;
        return true;
    };
    const std::pair<bool, std::u16string> cases[] = {
        {big({&texts}), Join(texts, u"|")},
        {big({&parts}), Join(parts, u"|")},
        {big({&exts}), Join(exts, u"|")},
        {big({&exts}), Join(exts, u"|") + u"|*."},
        {big({&wilds}), Join(wilds, u"|")},
        {big({&negs}), Join(negs, u" ")},
        {big({&paths}), Join(paths, u"|")},
        {big({&mixed}), Join(mixed, u"|")},
        {big({&mixedStrict}), Join(mixedStrict, u"|")},
        {big({&mixedStrict, &negs}), Join(mixedStrict, u"|") + u" " + Join(negs, u" ")},
        {big({&exts, &negs}), u"=files " + Join(exts, u"|") + u" " + Join(negs, u" ")},
        {big({&texts, &wilds}), Join(texts, u"|") + u" " + Join(wilds, u"|")},
        {big({&parts}), u"\"\"|" + Join(parts, u"|")},
    };
    std::vector<std::u16string> out;
    for (const auto& [enough, text] : cases)
        if (enough) out.push_back(text);
    return out;
}

// The filter parsed again with an index for every group that has any indexable term.
void IndexEverything(TFilters_AND& f, bool fullPath) {
    for (TFilters_OR& g : f)
        for (TFilterItem& it : g) {
            it.termindex.reset();
            it.indexed = false;
            it.filterhasindex = false;
        }
    BuildFilterIndexes(f, fullPath, 1);
}

// Matching will go through an index: some term is indexed and the filter says so.
bool UsesIndex(const TFilters_AND& f) {
    if (f.empty() || !f.front().front().filterhasindex) return false;
    for (const TFilters_OR& g : f)
        for (const TFilterItem& it : g)
            if (it.indexed) return true;
    return false;
}

TEST(FilterIndex, AnswersAsTermByTermOverRealScans) {
    TempDir tmp;
    std::unique_ptr<TNTFS_FILES> scans[] = {ScanNtfsImage(tmp), ScanOddTree(tmp)};
    size_t compared = 0, cases = 0, decisive = 0;
    for (const auto& scan : scans) {
        ASSERT_GT(scan->FFileList.size(), 30u);
        for (const std::u16string& text : FiltersFor(*scan)) {
            for (bool startFull : {false, true}) {
                for (bool everything : {false, true}) {
                    bool fp = startFull;
                    TFilters_AND f;
                    ParseFilters(text, f, fp);
                    if (everything) IndexEverything(f, fp);
                    const std::string what = Utf16ToUtf8(text).substr(0, 200) +
                                             " full=" + std::to_string(fp) +
                                             " every group=" + std::to_string(everything);
                    EXPECT_TRUE(UsesIndex(f)) << what;
                    size_t accepted = 0, rejected = 0, mismatches = 0;
                    for (bool inBatch : {false, true}) {
                        std::optional<TFilterBatch> batch;
                        if (inBatch) batch.emplace();
                        for (PMFT_RECORD r : scan->FFileList) {
                            for (bool apply : {false, true}) {
                                const bool want = MatchFiltersTermByTerm(r, f, fp, apply);
                                accepted += apply && want;
                                rejected += apply && !want;
                                ++compared;
                                if (MatchFilters(r, f, fp, apply) == want) continue;
                                if (++mismatches <= 5)
                                    ADD_FAILURE()
                                        << what << "\n  on " << Utf16ToUtf8(GetRecordPath(r))
                                        << " apply=" << apply << " want " << want;
                            }
                        }
                    }
                    // A walk entry for each record (no totals yet: sizes not applied).
                    for (PMFT_RECORD r : scan->FFileList) {
                        if (!r || !r->ParentMFTRec) continue;
                        const std::u16string parent = GetRecordPath(r->ParentMFTRec);
                        TFilterEntry e;
                        e.name = r->Name();
                        e.parentPath = parent;
                        e.folder = r->IsFolder();
                        e.modified = r->ModifiedDate;
                        if (MatchFilters(e, f, fp, false) !=
                                MatchFiltersTermByTerm(r, f, fp, false) &&
                            ++mismatches <= 5)
                            ADD_FAILURE() << what << "\n  walk entry " << Utf16ToUtf8(parent)
                                          << " + " << Utf16ToUtf8(r->Name());
                    }
                    EXPECT_EQ(mismatches, 0u) << what;
                    ++cases;
                    decisive += accepted > 0 && rejected > 0;
                }
            }
        }
    }
    EXPECT_GT(cases, 60u);
    // Most filters accept some records and reject others (those with a term that accepts
    // everything, such as "" or "*", cannot).
    EXPECT_GT(decisive, cases * 2 / 3);
    EXPECT_GT(compared, 50000u);
}

// The shapes the index takes its terms in, on a small tree where the expected answers are
// known: each case is checked against the term-by-term answer and against the paths listed.
TEST(FilterIndex, KnownAnswers) {
    TempDir tmp;
    auto scan = ScanOddTree(tmp);
    const auto matching = [&](std::u16string_view text, bool startFull) {
        bool fp = startFull;
        TFilters_AND f;
        ParseFilters(text, f, fp);
        EXPECT_TRUE(UsesIndex(f)) << Utf16ToUtf8(text);
        std::set<std::string> out;
        TFilterBatch batch;
        for (PMFT_RECORD r : scan->FFileList) {
            const bool got = MatchFilters(r, f, fp, true);
            EXPECT_EQ(got, MatchFiltersTermByTerm(r, f, fp, true));
            if (!got) continue;
            std::string p = Utf16ToUtf8(GetRecordPath(r));
            out.insert(p.substr(p.find("/tree") + 5));
        }
        return out;
    };
    // Sixteen absent extensions and the ones sought, in another case.
    std::u16string exts;
    for (int i = 0; i < 16; ++i) exts += u"*.q" + std::u16string(1, char16_t(u'a' + i)) + u"|";
    EXPECT_EQ(matching(exts + u"*.TAR.GZ|*.7Z", false),
              (std::set<std::string>{"/a.b.c.tar.gz", "/x.tar.gz", "/deep/a/b/z.7z"}));
    // Texts in full-path mode: contained in the name of the record or of a folder above it.
    std::u16string absent;
    for (int i = 0; i < 16; ++i) absent += u"zq" + std::u16string(1, char16_t(u'a' + i)) + u"|";
    EXPECT_EQ(matching(absent + u"\xE9t\xE9", true),
              (std::set<std::string>{"/Docs/\xC3\xA9t\xC3\xA9.txt", "/Docs/\xC3\x89T\xC3\x89",
                                     "/Docs/\xC3\x89T\xC3\x89/x.TXT"}));
    // Wildcards with and without a literal run; "?" is one unit.
    EXPECT_EQ(matching(absent + u"?mg_*|d?ts*", false),
              (std::set<std::string>{"/IMG_2023-05-12_0001.jpg", "/img_2024.JPG", "/dots..."}));
    // Negated groups: everything but what any of them names (folders above stay unrelated).
    std::u16string negs;
    for (int i = 0; i < 16; ++i) negs += u"!zq" + std::u16string(1, char16_t(u'a' + i)) + u" ";
    EXPECT_EQ(matching(negs + u"!*.log !*.txt !*.c !*.h !*.o !*.cpp !*.gz !*.7z !*.pdf !*.jpg "
                              u"!*.bin !=folders",
                       false),
              (std::set<std::string>{"/noext", "/.hidden", "/dots...", "/deep/a/readme"}));
}

} // namespace

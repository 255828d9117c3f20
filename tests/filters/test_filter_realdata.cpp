// Filters over real scans: an mkntfs volume image and a Windows $MFT (Cyrillic names) checked
// against The Sleuth Kit's listings of the same volumes, and a real folder tree walked by the
// folder scanner (exclude filter applied while walking) checked against find.
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "filters/filters.h"
#include "sources/sources.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

struct ListedItem {
    std::string path; // relative, "/" separators
    std::string name;
    bool dir = false;
    uint64_t size = 0;
};

// In-use items of an "fls -r -p" listing (deleted entries, virtual folders and alternate
// streams left out).
std::vector<ListedItem> ReadListing(const std::string& file) {
    std::vector<ListedItem> out;
    std::map<std::string, ListedItem> byPath;
    std::ifstream f(file);
    std::string line;
    while (std::getline(f, line)) {
        std::vector<std::string> col;
        std::stringstream ss(line);
        std::string c;
        while (std::getline(ss, c, '\t')) col.push_back(c);
        if (col.size() < 2 || col[0].find('*') != std::string::npos || col[0].rfind("V/V", 0) == 0)
            continue;
        ListedItem it;
        it.path = col[1];
        if (it.path.rfind("$OrphanFiles", 0) == 0) continue;
        size_t slash = it.path.rfind('/');
        size_t colon = it.path.find(':', slash == std::string::npos ? 0 : slash);
        if (colon != std::string::npos) {
            // A named stream: its file is an item too (of unnamed-data size 0 unless listed).
            it.path.resize(colon);
            it.name = slash == std::string::npos ? it.path : it.path.substr(slash + 1);
            byPath.emplace(it.path, it);
            continue;
        }
        it.name = slash == std::string::npos ? it.path : it.path.substr(slash + 1);
        it.dir = col[0][0] == 'd' || col[0][2] == 'd';
        it.size = col.size() >= 7 ? std::stoull(col[6]) : 0;
        byPath[it.path] = it;
    }
    for (auto& [p, it] : byPath) out.push_back(it);
    return out;
}

// The listed items a predicate selects, with all their folders.
std::set<std::string> WithAncestors(const std::vector<ListedItem>& items,
                                    const std::function<bool(const ListedItem&)>& pick) {
    std::set<std::string> out;
    for (const ListedItem& it : items) {
        if (!pick(it)) continue;
        std::string p = it.path;
        for (;;) {
            out.insert(p);
            size_t slash = p.rfind('/');
            if (slash == std::string::npos) break;
            p.resize(slash);
        }
    }
    return out;
}

// Visible records of a scan as relative "/" paths (the root left out).
std::set<std::string> VisibleRelative(TNTFS_FILES& s) {
    std::set<std::string> out;
    for (PMFT_RECORD r : s.FFileList) {
        if (!r || r->Filtered || r == s.MFTRoot || !r->ParentMFTRec) continue;
        std::string p = Utf16ToUtf8(GetRecordPath(r));
        p = p.substr(p.find('\\') + 1);
        for (char& ch : p)
            if (ch == '\\') ch = '/';
        out.insert(p);
    }
    return out;
}

std::unique_ptr<TNTFS_FILES> ScanNtfs(const std::string& path) {
    auto s = std::make_unique<TNTFS_FILES>(Utf8ToUtf16(path));
    s->ProcessMFTRecords();
    EXPECT_FALSE(s->WasError) << s->ErrorMessage;
    s->CalculateDirSizes();
    return s;
}

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(FilterRealData, MkntfsVolumeAgainstItsListing) {
    TempDir tmp;
    const std::string image = Gunzip(DataPath("ntfs/ColinFinck-ntfs/testfs1.gz"), tmp.path());
    auto s = ScanNtfs(image);
    const auto items = ReadListing(DataPath("ntfs/ColinFinck-ntfs/testfs1.fls-r-p-l.UTC.txt"));
    ASSERT_GT(items.size(), 500u);
    const struct {
        std::u16string_view include, exclude;
        std::function<bool(const ListedItem&)> pick;
    } cases[] = {
        {u"\\many_subdirs\\ namelen<=2", u"",
         [](const ListedItem& it) {
             return it.path.rfind("many_subdirs/", 0) == 0 && it.name.size() <= 2;
         }},
        {u"=files >=1000", u"", [](const ListedItem& it) { return !it.dir && it.size >= 1000; }},
        {u"/7$/", u"", [](const ListedItem& it) { return EndsWith(it.name, "7"); }},
        {u"*1?", u"", // name-only wildcard: the whole own name
         [](const ListedItem& it) {
             return it.name.size() >= 2 && it.name[it.name.size() - 2] == '1';
         }},
        {u"", u"\\many_subdirs\\",
         [](const ListedItem& it) { return it.path.rfind("many_subdirs", 0) != 0; }},
        {u"*-file|*file-*", u"$*",
         [](const ListedItem& it) {
             return it.name[0] != '$' &&
                    (EndsWith(it.name, "-file") || it.name.find("file-") != std::string::npos);
         }},
        {u"empty|sparse", u"=files <1", // sizes count as satisfied in the exclude filter
         [](const ListedItem&) { return false; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.include) + " / " + Utf16ToUtf8(c.exclude));
        FilterResults(*s, c.include, c.exclude, true, false, false);
        EXPECT_EQ(VisibleRelative(*s), WithAncestors(items, c.pick));
    }
}

TEST(FilterRealData, CyrillicNamesFoldCase) {
    TempDir tmp;
    const std::string mft = Gunzip(DataPath("ntfs/dfir_ntfs/unicode.mft.gz"), tmp.path());
    auto s = ScanNtfs(mft);
    const std::set<std::string> both = {"Привет", "Привет/привет.txt"};
    for (std::u16string_view inc : {u"привет", u"ПРИВЕТ.TXT", u"*.TXT !System*", u"/^пр.в/"}) {
        SCOPED_TRACE(Utf16ToUtf8(inc));
        FilterResults(*s, inc, u"", true, false, false);
        EXPECT_EQ(VisibleRelative(*s), both);
    }
    FilterResults(*s, u"\\привет\\", u"", true, false, false); // the folder and its content
    EXPECT_EQ(VisibleRelative(*s), both);
}

// ---------------------------------------------------------------- a real folder tree

void MakeFile(const std::string& path, off_t size) {
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0) << path;
    if (size) {
        ASSERT_EQ(::ftruncate(fd, size), 0);
    }
    ::close(fd);
}

std::set<std::string> Lines(const std::string& text) {
    std::set<std::string> out;
    std::stringstream ss(text);
    std::string line;
    while (std::getline(ss, line))
        if (!line.empty()) out.insert(line);
    return out;
}

TEST(FilterRealData, FolderWalkAgainstFind) {
    if (!HaveProgram("find")) GTEST_SKIP() << "find is not installed";
    TempDir tmp;
    const std::string root = tmp.path();
    for (const char* d : {"src", "src/cache", "cache", "docs", "logs", "logs/old", "deep", "deep/a",
                          "deep/a/b", "deep/a/b/cache", "Cached"})
        ASSERT_EQ(::mkdir((root + "/" + d).c_str(), 0755), 0);
    const struct {
        const char* path;
        off_t size;
    } files[] = {{"src/main.c", 100},
                 {"src/util.c", 200},
                 {"src/cache/obj1.o", 300},
                 {"cache/big.bin", 3 << 20},
                 {"docs/Readme.TXT", 10},
                 {"docs/notes.txt", 20},
                 {"docs/\xC3\x89t\xC3\xA9.txt", 30},
                 {"logs/app.log", 40},
                 {"logs/old/app.1.log", 50},
                 {"deep/a/b/cache/x.log", 60},
                 {"Cached/keep.log", 70},
                 {"src/cache.txt", 80}};
    for (const auto& f : files) MakeFile(root + "/" + f.path, f.size);

    const struct {
        std::u16string_view include, exclude;
        std::string find;             // arguments after the root; prints the files to show
        std::string findFolders = {}; // prints the folders to show; default: those above the files
    } cases[] = {
        {u"", u"*/cache/*", "-path '*/cache' -prune -o -type f -print",
         "-path '*/cache' -prune -o -type d -print"},
        {u"*.log", u"*/cache/*", "-path '*/cache' -prune -o -type f -iname '*.log' -print"},
        {u"*.txt", u"", "-type f -iname '*.txt'"},
        {u"=files >1M", u"", "-type f -size +1M"},
        {u"/\\/src\\//", u"", "-type f -path '*/src/*'"},
        {u"*.log|*.c", u"/cache",
         "-iname '*cache*' -prune -o -type f \\( -iname '*.log' -o "
         "-iname '*.c' \\) -print"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.include) + " / " + Utf16ToUtf8(c.exclude));
        auto scan = TNTFS_FILES::CreateSlow(Utf8ToUtf16(root), ScanSourcePasses());
        scan->ProcessMFTRecords({.Exclude = std::u16string(c.exclude), .FullPath = true});
        ASSERT_FALSE(scan->WasError) << scan->ErrorMessage;
        scan->CalculateDirSizes();
        ApplyScanFilters(*scan, c.include, c.exclude, true);

        std::set<std::string> shownFiles, shownFolders;
        for (PMFT_RECORD r : scan->FFileList) {
            if (!r || r->Filtered) continue;
            (r->IsFolder() ? shownFolders : shownFiles).insert(Utf16ToUtf8(GetRecordPath(r)));
        }
        std::string out;
        ASSERT_EQ(qz::test::Run("find '" + root + "' " + c.find, &out), 0);
        const std::set<std::string> want = Lines(out);
        EXPECT_EQ(shownFiles, want);
        // With an include filter exactly the folders above the shown files (and the root)
        // are shown.
        std::set<std::string> folders = {root};
        if (c.findFolders.empty()) {
            for (const std::string& f : want)
                for (size_t cut = f.rfind('/'); cut > root.size(); cut = f.rfind('/', cut - 1))
                    folders.insert(f.substr(0, cut));
        } else {
            out.clear();
            ASSERT_EQ(qz::test::Run("find '" + root + "' " + c.findFolders, &out), 0);
            folders = Lines(out);
        }
        EXPECT_EQ(shownFolders, folders);
    }
}

} // namespace

// Helpers of the export tests: running an export of a scan's tree, reading what it wrote,
// comparing two scans record by record, and a time zone for one test.
#pragma once

#include "base/datetime.h"
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "export/csv_export.h"
#include "tests/support/testsupport.h"
#include "views/displaytree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace qz::test {

// Sets the process time zone while it lives.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old, hadOld_ = true;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ZoneGuard() {
        if (hadOld_)
            ::setenv("TZ", old_.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string old_;
    bool hadOld_ = false;
};

inline std::string ReadText(const std::string& path) {
    auto b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

// The lines of a file (split at CR LF; the byte-order mark stays on the first).
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        size_t e = text.find("\r\n", at);
        if (e == std::string::npos) e = text.size();
        out.push_back(text.substr(at, e - at));
        at = e + 2;
    }
    return out;
}

// Exports the tree view of scans (no selection) with options into path.
inline TCsvExportResult ExportTree(std::vector<TNTFS_FILES*> scans, const TExportOptions& o,
                                   const std::string& path, TDisplayTree* tree = nullptr,
                                   std::vector<TDiskSizeInfo> sizes = {}) {
    TDisplayTree local;
    TDisplayTree& t = tree ? *tree : local;
    if (!tree) {
        EXPECT_TRUE(t.LoadTree(scans));
    }
    TCsvExportJob job;
    job.FileName = Utf8ToUtf16(path);
    job.Tree = &t;
    job.Scans = scans;
    job.DiskSizes = sizes;
    return ExportToCSV(job, o);
}

// What a record carries that an export must give back. Dates to the second.
struct TRecordFacts {
    bool folder = false;
    uint64_t size = 0, alloc = 0;
    bool doNotCount = false;
    uint32_t attrib = 0;
    int32_t files = 0, dirs = 0;
    std::string modified, accessed, created;
    bool operator==(const TRecordFacts&) const = default;
};
inline void PrintTo(const TRecordFacts& f, std::ostream* os) {
    *os << (f.folder ? "folder" : "file") << " size " << f.size << " alloc " << f.alloc
        << (f.doNotCount ? " (not counted)" : "") << " attrib " << f.attrib << " files " << f.files
        << " dirs " << f.dirs << " m " << f.modified << " a " << f.accessed << " c " << f.created;
}

inline std::string SecondText(TDateTime dt) {
    TDateParts p;
    if (!DecodeDateTime(dt, p)) return "invalid";
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day, p.hour,
                  p.minute, p.second);
    return buf;
}

// Every record of the tree below root that the tree view shows (not filtered, not deleted),
// by full path; count receives the number of records walked (paths may not repeat).
// withDates: also the access and creation dates.
inline std::map<std::u16string, TRecordFacts> Facts(PMFT_RECORD root, bool withDates,
                                                    size_t* count = nullptr) {
    std::map<std::u16string, TRecordFacts> m;
    std::vector<PMFT_RECORD> stack{root};
    size_t n = 0;
    while (!stack.empty()) {
        PMFT_RECORD r = stack.back();
        stack.pop_back();
        if (!r || r->Filtered || r->Deleted) continue;
        ++n;
        TRecordFacts f;
        f.folder = r->IsFolder() || !r->Children().empty();
        f.size = r->SubFoldersTotSize;
        f.alloc = r->SubFoldersTotSizeAlloc;
        f.doNotCount = r->DoNotCountFlag;
        f.attrib = r->DOSAttrib;
        f.files = r->SubFoldersNumFiles();
        f.dirs = r->SubFoldersNumDirs();
        f.modified = SecondText(r->ModifiedDate);
        if (withDates) {
            f.accessed = SecondText(r->LastAccessDate);
            f.created = SecondText(r->CreatedDate);
        }
        m[GetRecordPath(r)] = f;
        for (PMFT_RECORD c : r->Children()) stack.push_back(c);
    }
    if (count) *count = n;
    return m;
}

} // namespace qz::test

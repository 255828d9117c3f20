// Decoding real $MFT files made by Windows, mkntfs and the Linux ntfs3 driver, checked against
// The Sleuth Kit's listings of the same volumes: every in-use item with its size, under the
// right folder, and nothing else.
#include "base/datetime.h"
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

using namespace qz;
using namespace qz::test;

namespace {

struct Entry {
    bool dir = false;
    uint64_t size = 0;
    int64_t mtime = -1; // Unix seconds when the listing is in UTC
};

// "type meta:\tpath\tmtime\tatime\tctime\tcrtime\tsize\tuid\tgid" lines of fls -r -p -l.
// Returns in-use items by path; alternate streams ("file:stream") only mark their file.
std::map<std::string, Entry> ReadListing(const std::string& path) {
    std::map<std::string, Entry> out;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line)) {
        std::vector<std::string> col;
        std::stringstream ss(line);
        std::string c;
        while (std::getline(ss, c, '\t')) col.push_back(c);
        if (col.size() < 7) continue;
        const std::string& head = col[0];
        if (head.find('*') != std::string::npos || head.rfind("V/V", 0) == 0) continue;
        std::string p = col[1];
        if (p.rfind("$OrphanFiles", 0) == 0) continue;
        size_t slash = p.rfind('/');
        size_t colon = p.find(':', slash == std::string::npos ? 0 : slash);
        bool stream = colon != std::string::npos;
        if (stream) p.resize(colon);
        Entry& e = out[p];
        if (stream) continue;
        e.dir = head[0] == 'd' || head[2] == 'd';
        e.size = std::stoull(col[6]);
        if (col[2].find("(UTC)") != std::string::npos) {
            TDateParts d;
            if (std::sscanf(col[2].c_str(), "%d-%d-%d %d:%d:%d", &d.year, &d.month, &d.day, &d.hour,
                            &d.minute, &d.second) == 6) {
                TDateTime t;
                if (TryEncodeDateTime(d, t)) e.mtime = DateTimeToUnix(t);
            }
        }
    }
    return out;
}

// Scan a dump and return its records by path relative to the root ("/" separators).
std::map<std::string, PMFT_RECORD> Paths(TNTFS_FILES& s) {
    std::map<std::string, PMFT_RECORD> out;
    for (PMFT_RECORD r : s.FFileList) {
        if (!r || r == s.MFTRoot) continue;
        std::string p = Utf16ToUtf8(GetRecordPath(r));
        p = p.substr(p.find('\\') + 1);
        for (char& ch : p)
            if (ch == '\\') ch = '/';
        out[p] = r;
    }
    return out;
}

std::unique_ptr<TNTFS_FILES> ScanDump(const std::string& path) {
    auto s = std::make_unique<TNTFS_FILES>(Utf8ToUtf16(path));
    s->ProcessMFTRecords();
    EXPECT_FALSE(s->WasError) << s->ErrorMessage;
    s->CalculateDirSizes();
    return s;
}

void ExpectMatchesListing(TNTFS_FILES& s, const std::string& listing,
                          const std::set<std::string>& extra = {}) {
    auto want = ReadListing(listing);
    ASSERT_FALSE(want.empty()) << listing;
    auto have = Paths(s);
    for (auto& [p, e] : want) {
        auto it = have.find(p);
        if (it == have.end()) {
            ADD_FAILURE() << "missing " << p;
            continue;
        }
        EXPECT_EQ(it->second->IsFolder(), e.dir) << p;
        if (!e.dir) {
            EXPECT_EQ(it->second->FileSize, e.size) << p;
        }
        // The listing renders a zero FILETIME (mkntfs leaves $MFT's times at 0) as 2076-11-29
        // 08:54:34; the scan keeps it as 1601-01-01.
        if (e.mtime == 3373865674 && it->second->ModifiedDate == kDate1601) continue;
        if (e.mtime >= 0) {
            // the listing truncates to the second
            EXPECT_EQ(int64_t(std::floor((it->second->ModifiedDate - kUnixEpoch) * 86400.0 + 1e-4)),
                      e.mtime)
                << p;
        }
    }
    for (auto& [p, r] : have)
        if (!want.count(p) && !extra.count(p)) ADD_FAILURE() << "not in the listing: " << p;
}

class RealMft : public ::testing::Test {
protected:
    TempDir tmp;
};

} // namespace

TEST_F(RealMft, RawTablesMatchTheirListings) {
    // Windows tables: 1 KiB records, and 4 KiB records (a bare copy, record size from record 0).
    for (std::string name : {"4k-large", "orphan", "unicode"}) {
        SCOPED_TRACE(name);
        std::string mft = Gunzip(DataPath("ntfs/dfir_ntfs/" + name + ".mft.gz"), tmp.path());
        auto s = ScanDump(mft);
        ExpectMatchesListing(*s, DataPath("ntfs/dfir_ntfs/" + name + ".fls"));
    }
}

TEST_F(RealMft, HardLinkAndStreamsFromWindows10) {
    std::string mft = Gunzip(DataPath("ntfs/libfsntfs/mft_metadata_file.1.gz"), tmp.path());
    auto s = ScanDump(mft);
    // Record 38 has names in two folders: one counts its allocation, the other does not.
    std::vector<PMFT_RECORD> names;
    for (PMFT_RECORD r : s->FFileList)
        if (r && r->RecNo == 38) names.push_back(r);
    ASSERT_EQ(names.size(), 2u);
    EXPECT_NE(names[0]->ParentMFTRec, names[1]->ParentMFTRec);
    EXPECT_NE(names[0]->DoNotCountFlag, names[1]->DoNotCountFlag);
    EXPECT_EQ(names[0]->FileSize, names[1]->FileSize);
    EXPECT_EQ(names[0]->AllocSize, names[1]->AllocSize);
    // Every stored record hangs under the root.
    for (PMFT_RECORD r : s->FFileList)
        if (r && r != s->MFTRoot) {
            EXPECT_TRUE(IsAncestor(s->MFTRoot, r));
        }
}

// Images: the $MFT is cut out with The Sleuth Kit's icat and decoded as a bare dump.
struct ImageCase {
    const char* image;   // under tests/data/ntfs
    const char* unpack;  // shell command reading %s (the packed file) to stdout
    const char* offset;  // icat -o (sectors)
    const char* listing; // fls -r -p -l listing
};

TEST_F(RealMft, TablesCutFromImagesMatchTheirListings) {
    if (!HaveProgram("icat")) GTEST_SKIP() << "icat (sleuthkit) is not installed";
    const ImageCase cases[] = {
        {"dfir_ntfs/ntfs3.raw.gz", "gzip -dc", "0", "dfir_ntfs/ntfs3.fls-r-p-l.UTC.txt"},
        {"dfir_ntfs/ntfs3_attrlist.raw.gz", "gzip -dc", "0",
         "dfir_ntfs/ntfs3_attrlist.fls-r-p-l.UTC.txt"},
        {"dfir_ntfs/ntfs_index.raw.gz", "gzip -dc", "128",
         "dfir_ntfs/ntfs_index.fls-r-p-l.UTC.txt"},
        {"ColinFinck-ntfs/testfs1.gz", "gzip -dc", "0",
         "ColinFinck-ntfs/testfs1.fls-r-p-l.UTC.txt"},
        {"go-ntfs/charlie.dd.bz2", "bzip2 -dc", "0", "go-ntfs/charlie.fls-r-p-l.UTC.txt"},
        {"dftt-7-undel/7-undel-ntfs.zip", "unzip -p", "0",
         "dftt-7-undel/7-ntfs-undel.fls-r-p-l.UTC.txt"},
    };
    for (const ImageCase& c : cases) {
        SCOPED_TRACE(c.image);
        std::string img = tmp / "image";
        std::string tool = std::string(c.unpack).substr(0, std::string(c.unpack).find(' '));
        if (!HaveProgram(tool)) {
            std::printf("skipping %s: %s is not installed\n", c.image, tool.c_str());
            continue;
        }
        ASSERT_EQ(qz::test::Run(std::string(c.unpack) + " '" +
                                DataPath(std::string("ntfs/") + c.image) + "' > '" + img + "'"),
                  0);
        std::string mft = tmp / "mft";
        ASSERT_EQ(
            qz::test::Run(std::string("icat -o ") + c.offset + " '" + img + "' 0 > '" + mft + "'"),
            0);
        auto s = ScanDump(mft);
        ExpectMatchesListing(*s, DataPath(std::string("ntfs/") + c.listing));
    }
}

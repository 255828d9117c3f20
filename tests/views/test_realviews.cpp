// The views over real $MFT tables written by Windows (Cyrillic names, 4 KiB records, a hard
// link in two folders, a case-sensitive name pair): every record shows exactly once, shares
// add up, paths lead back to their nodes, and the file list and statistics count every file.
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"
#include "tests/support/testsupport.h"
#include "views/displaytree.h"
#include "views/extstats.h"
#include "views/filelist.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

using namespace qz;
using namespace qz::test;

namespace {

std::unique_ptr<TNTFS_FILES> ScanDump(const std::string& path) {
    auto s = std::make_unique<TNTFS_FILES>(Utf8ToUtf16(path));
    s->ProcessMFTRecords();
    EXPECT_FALSE(s->WasError) << s->ErrorMessage;
    s->CalculateDirSizes();
    int32_t index = 1;
    SetNameSortIndex(s->MFTRoot, index);
    return s;
}

} // namespace

TEST(RealViews, EveryRecordOnceWithConsistentShares) {
    TempDir tmp;
    for (std::string name : {"dfir_ntfs/unicode.mft.gz", "dfir_ntfs/4k-large.mft.gz",
                             "libfsntfs/mft_metadata_file.1.gz"}) {
        SCOPED_TRACE(name);
        auto s = ScanDump(Gunzip(DataPath("ntfs/" + name), tmp.path()));
        ASSERT_NE(s->MFTRoot, nullptr);
        std::vector<TNTFS_FILES*> scans{s.get()};
        TDisplayTree t;
        t.FILENODE_MIN_GROUP_SIZE = 3; // groups in most folders of these small tables
        ASSERT_TRUE(t.LoadTree(scans));
        t.Sort(tcSize, TSortDirection::Descending);

        std::map<PMFT_RECORD, int> seen;
        size_t groups = 0;
        t.ForEach(nullptr, [&](TTreeNode* n) {
            if (n->IsFileGroup) {
                ++groups;
                EXPECT_EQ(n->Data.Rec->SubFoldersTotSize, n->FolderRec()->ThisFolderTotSize());
            } else {
                ++seen[n->Data.Rec];
            }
            // The shares of a node's children add up to 100 % of it (by size: hard-link
            // duplicates count their size in their folder too).
            auto kids = t.Children(n);
            if (kids.empty() || n->Data.Rec->SubFoldersTotSize == 0) return;
            double sum = 0;
            for (TTreeNode* k : kids) sum += t.PercentOfParent(k);
            EXPECT_NEAR(sum, 100.0, 1e-6) << Utf16ToUtf8(GetRecordPath(n->Data.Rec));
        });
        EXPECT_EQ(groups, t.FileGroupCount());
        // Every record under the root shows exactly once, and nothing else.
        size_t records = 0;
        for (PMFT_RECORD r : s->FFileList) {
            if (!r || (r != s->MFTRoot && !IsAncestor(s->MFTRoot, r))) continue;
            ++records;
            EXPECT_EQ(seen[r], 1) << Utf16ToUtf8(GetRecordPath(r));
        }
        EXPECT_EQ(seen.size(), records);
        EXPECT_GT(records, 20u);

        // Each record's path leads back to its node.
        const std::u16string rootPath = GetRecordPath(s->MFTRoot);
        for (auto& [rec, count] : seen) {
            TTreeNode* n = t.FindNodeByPath(nullptr, GetRecordPath(rec), rootPath.size());
            ASSERT_NE(n, nullptr) << Utf16ToUtf8(GetRecordPath(rec));
            EXPECT_EQ(n->Data.Rec, rec) << Utf16ToUtf8(GetRecordPath(rec));
        }

        // The file list with no limit holds every file, largest allocation first.
        TFileList l;
        l.Options.MaxFiles = 0;
        ASSERT_TRUE(l.LoadFileList(scans));
        size_t files = 0;
        uint64_t size = 0;
        for (PMFT_RECORD r : s->FFileList)
            if (r && !r->IsFolder() && r->Children().empty()) {
                ++files;
                size += r->FileSize;
            }
        EXPECT_EQ(size_t(l.TotFilesNum), files);
        EXPECT_EQ(l.TotFilesSize, size);
        for (size_t i = 1; i < l.Roots().size(); ++i)
            EXPECT_GE(l.Roots()[i - 1]->Data.Rec->SubFoldersTotSizeAlloc,
                      l.Roots()[i]->Data.Rec->SubFoldersTotSizeAlloc);

        // The statistics count the same files and bytes.
        TExtColors c;
        c.BuildExtSizes(scans);
        EXPECT_EQ(c.Total().Count, files);
        EXPECT_EQ(c.Total().Size, size);
    }
}

TEST(RealViews, HardLinkAndCaseSensitivePairFromWindows10) {
    TempDir tmp;
    auto s = ScanDump(Gunzip(DataPath("ntfs/libfsntfs/mft_metadata_file.1.gz"), tmp.path()));
    std::vector<TNTFS_FILES*> scans{s.get()};
    TDisplayTree t;
    ASSERT_TRUE(t.LoadTree(scans));
    // The hard link's uncounted name shows its allocation in brackets.
    int bracketed = 0;
    t.ForEach(nullptr, [&](TTreeNode* n) {
        if (n->Data.Rec->RecNo != 38 || n->IsFileGroup) return;
        const std::u16string text = t.CellText(n, tcAllocated);
        if (n->Data.Rec->DoNotCountFlag) {
            ++bracketed;
            EXPECT_EQ(text.front(), u'(');
            EXPECT_TRUE(TDisplayTree::CellDisabled(n, tcAllocated));
        } else {
            EXPECT_NE(text.front(), u'(');
        }
    });
    EXPECT_EQ(bracketed, 1);
    // Names that differ only in case: each path finds its own record.
    std::map<std::u16string, std::vector<PMFT_RECORD>> folded;
    for (PMFT_RECORD r : s->FFileList) {
        if (!r || r == s->MFTRoot) continue;
        std::u16string p = GetRecordPath(r);
        for (auto& ch : p)
            if (ch >= u'a' && ch <= u'z') ch = char16_t(ch - 32);
        folded[p].push_back(r);
    }
    int pairs = 0;
    const size_t offset = GetRecordPath(s->MFTRoot).size();
    for (auto& [p, recs] : folded) {
        if (recs.size() < 2) continue;
        ++pairs;
        for (PMFT_RECORD r : recs) {
            TTreeNode* n = t.FindNodeByPath(nullptr, GetRecordPath(r), offset);
            ASSERT_NE(n, nullptr);
            EXPECT_EQ(n->Data.Rec, r);
        }
    }
    EXPECT_GE(pairs, 1);
}

// The subtree source: a folder of a finished MFT scan copied under a new root, every record
// with its own fields and name, in the source's depth-first order, independent of the source
// once copied; cancel before the copy keeps only the root; chains far deeper than a call
// stack would take are copied too.
#include "engine/mft_volume.h"
#include "tests/mft/mft_test_util.h"
#include "tests/mft/synth_volume.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

using namespace qz;
using namespace qz::test;

namespace {

std::unique_ptr<TNTFS_FILES> SourceScan(TempDir& tmp) {
    SynthVolume v(4096, 1024, 2048, {{64, 16}});
    v.PlaceMetadata(1000, 1100);
    v.AddFolder(30, 5, u"docs");
    v.AddFolder(31, 30, u"deep");
    v.AddFolder(32, 31, u"deeper");
    v.AddFolder(33, 30, u"empty");
    for (uint64_t r = 40; r < 60; ++r)
        v.AddFile(r, 30 + r % 3, u"file" + AsciiToUtf16(std::to_string(r)) + u".txt",
                  uint32_t(r * 3));
    v.AddFile(60, 5, u"outside.txt", 50);
    auto img = v.Image();
    std::string path = tmp / "vol.img";
    WriteFileBytes(path, img.data(), img.size());
    auto s = ScanMft(path);
    EXPECT_FALSE(s->WasError) << s->ErrorMessage;
    return s;
}

std::unique_ptr<TNTFS_FILES> CopyOf(PMFT_RECORD folder, const std::u16string& name) {
    auto s = std::make_unique<TNTFS_FILES>(folder, name);
    s->ProcessMFTRecords();
    s->CalculateDirSizes({.IgnoreFilter = true});
    return s;
}

// Depth-first order of the descendants of r (children in list order).
void PreOrder(PMFT_RECORD r, std::vector<PMFT_RECORD>& out) {
    for (PMFT_RECORD c : r->Children()) {
        out.push_back(c);
        if (c->IsFolder()) PreOrder(c, out);
    }
}

} // namespace

TEST(MftSubtree, FolderIsCopiedWithItsFieldsInDepthFirstOrder) {
    TempDir tmp;
    auto src = SourceScan(tmp);
    PMFT_RECORD docs = FindRecordByPath(src->MFTRoot, u"docs");
    ASSERT_NE(docs, nullptr);
    std::vector<PMFT_RECORD> order;
    PreOrder(docs, order);
    ASSERT_EQ(order.size(), 23u); // 3 folders and 20 files

    auto sub = CopyOf(docs, u"C:\\docs\\");
    ASSERT_FALSE(sub->WasError) << sub->ErrorMessage;
    PMFT_RECORD root = sub->MFTRoot;
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->Name(), u"C:\\docs");
    EXPECT_EQ(sub->FSource, u"C:\\docs");
    EXPECT_EQ(root->RecNo, 5u);
    EXPECT_TRUE(root->IsFolder());
    EXPECT_EQ(root->ModifiedDate, docs->ModifiedDate);
    ASSERT_EQ(sub->FFileList.size(), order.size() + 1);
    for (size_t i = 0; i < order.size(); ++i) {
        PMFT_RECORD a = order[i], b = sub->FFileList[i + 1];
        SCOPED_TRACE(Utf16ToUtf8(a->Name()));
        EXPECT_NE(a, b);
        EXPECT_EQ(b->Name(), a->Name());
        EXPECT_NE(b->Filename, a->Filename) << "the copy owns its name";
        EXPECT_EQ(b->RecNo, a->RecNo);
        EXPECT_EQ(b->ParentRec, a->ParentRec);
        EXPECT_EQ(b->FileRecFlags, a->FileRecFlags);
        EXPECT_EQ(b->DOSAttrib, a->DOSAttrib);
        EXPECT_EQ(b->FileSize, a->FileSize);
        EXPECT_EQ(b->AllocSize, a->AllocSize);
        EXPECT_EQ(b->ModifiedDate, a->ModifiedDate);
        EXPECT_EQ(b->CreatedDate, a->CreatedDate);
        EXPECT_EQ(b->LastAccessDate, a->LastAccessDate);
        EXPECT_EQ(b->DoNotCountFlag, a->DoNotCountFlag);
        EXPECT_EQ(b->ParentMFTRec->Name(),
                  a->ParentMFTRec == docs ? root->Name() : a->ParentMFTRec->Name());
        EXPECT_EQ(b->IsFolder(), sub->SearchDirRec(b->RecNo) >= 0);
    }
    // The totals of the copy are those of the folder.
    EXPECT_EQ(root->SubFoldersTotSize, docs->SubFoldersTotSize);
    EXPECT_EQ(root->SubFoldersTotSizeAlloc, docs->SubFoldersTotSizeAlloc);
    EXPECT_EQ(root->SubFoldersNumFiles(), docs->SubFoldersNumFiles());
    EXPECT_EQ(root->SubFoldersNumDirs(), docs->SubFoldersNumDirs());
    EXPECT_EQ(FindRecordByPath(root, u"outside.txt"), nullptr);
    PMFT_RECORD f = FindRecordByPath(root, u"deep\\deeper\\file41.txt");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(GetRecordPath(f), u"C:\\docs\\deep\\deeper\\file41.txt");

    // The copy lives on without its source.
    auto before = TreeOf(*sub);
    src.reset();
    EXPECT_EQ(TreeOf(*sub), before);
}

TEST(MftSubtree, LinuxFolderNameGivesSlashPathsAndCancelKeepsTheRoot) {
    TempDir tmp;
    auto src = SourceScan(tmp);
    PMFT_RECORD deep = FindRecordByPath(src->MFTRoot, u"docs\\deep");
    ASSERT_NE(deep, nullptr);
    auto sub = CopyOf(deep, u"/mnt/win/docs/deep/");
    ASSERT_FALSE(sub->WasError);
    EXPECT_EQ(sub->MFTRoot->Name(), u"/mnt/win/docs/deep");
    PMFT_RECORD f = FindRecordByPath(sub->MFTRoot, u"deeper/file41.txt", u'/');
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(GetRecordPath(f), u"/mnt/win/docs/deep/deeper/file41.txt");

    auto cancelled = std::make_unique<TNTFS_FILES>(deep, u"/mnt/win/docs/deep");
    cancelled->CancelProcess();
    cancelled->ProcessMFTRecords();
    ASSERT_EQ(cancelled->FFileList.size(), 1u);
    EXPECT_EQ(cancelled->MFTRoot->Name(), u"/mnt/win/docs/deep");
}

TEST(MftSubtree, ChainDeeperThanAnyCallStackIsCopied) {
    // 200,000 nested folders, each with one file.
    constexpr uint64_t kDepth = 200000;
    auto src = TNTFS_FILES::CreateSlow(u"/src");
    TRecordArena& arena = src->Arena();
    PMFT_RECORD parent = nullptr;
    for (uint64_t i = 0; i < kDepth; ++i) {
        PMFT_RECORD d = arena.NewRecord();
        d->RecNo = 5 + 2 * i;
        d->FileRecFlags = 2;
        d->Folder = arena.NewFolder();
        d->ParentMFTRec = parent;
        src->SetRecordName(*d, i == 0 ? u"/src" : u"d");
        src->AddToFileList(d);
        src->AddToDirList(d);
        PMFT_RECORD f = arena.NewRecord();
        f->RecNo = 6 + 2 * i;
        f->FileSize = 1;
        f->ParentMFTRec = d;
        src->SetRecordName(*f, u"f");
        src->AddToFileList(f);
        parent = d;
    }
    src->CalculateDirSizes({.IgnoreFilter = true});
    PMFT_RECORD top = src->FFileList.front();
    ASSERT_EQ(top->SubFoldersNumFiles(), int(kDepth));

    auto sub = CopyOf(top, u"/copy");
    ASSERT_FALSE(sub->WasError);
    EXPECT_EQ(sub->FFileList.size(), 2 * kDepth);
    EXPECT_EQ(sub->MFTRoot->SubFoldersNumFiles(), int(kDepth));
    EXPECT_EQ(sub->MFTRoot->SubFoldersNumDirs(), int(kDepth - 1));
    EXPECT_EQ(sub->MFTRoot->SubFoldersTotSize, kDepth);
}

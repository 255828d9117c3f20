// A command-line path turned into a source: folders, mount points of walked and of raw-read
// NTFS volumes, the full-volume mode, dumps, CSV/TSV files, NTFS images (whole and
// partitioned), and the paths that cannot be scanned.
#include "app/sourceresolve.h"
#include "base/text.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

TEST(ResolveSource, EveryKindOfPath) {
    TempDir tmp;
    for (const char* d : {"plain/sub", "extmnt", "ntfsmnt/inner/deep"})
        fs::create_directories(tmp / d);
    const std::string img = tmp / "vol.img";
    ASSERT_EQ(qz::test::Run("truncate -s 8M '" + img + "' && mkntfs -q -F -f '" + img +
                            "' >/dev/null 2>&1"),
              0);
    const std::string parted = Gunzip(DataPath("ntfs/dfir_ntfs/ntfs_index.raw.gz"), tmp.path());
    WriteFileBytes(tmp / "dump.MFT", "FILE", 4);
    WriteFileBytes(tmp / "list.Tsv", "x", 1);
    WriteFileBytes(tmp / "notes.txt", std::string(600, 'n').data(), 600);
    ASSERT_EQ(mkfifo((tmp / "fifo").c_str(), 0600), 0);
    const std::vector<TMountInfo> mounts =
        ParseMountInfo("1 0 8:1 / " + tmp / "extmnt" + " rw - ext4 " + tmp / "notes.txt" + " rw\n" +
                       "2 0 0:9 / " + tmp / "ntfsmnt" + " rw - fuseblk " + img + " rw\n");
    const TSourceList list = GetDrives(mounts, {}, "");

    struct Case {
        std::string path;
        bool fullScan;
        TSourceKind kind;
        TScanMethod method;
        std::string readPath, rootName, subtree;
        uint64_t offset;
    } cases[] = {
        {tmp / "plain", false, DT_FOLDER, TScanMethod::Enumerate, tmp / "plain", "", "", 0},
        {tmp / "plain/", true, DT_FOLDER, TScanMethod::Enumerate, tmp / "plain", "", "", 0},
        {tmp / "plain/sub/..//./", false, DT_FOLDER, TScanMethod::Enumerate, tmp / "plain", "", "",
         0},
        {tmp / "extmnt/../plain/../extmnt", false, DT_DRIVE, TScanMethod::Enumerate, tmp / "extmnt",
         "", "", 0},
        {tmp / "extmnt", false, DT_DRIVE, TScanMethod::Enumerate, tmp / "extmnt", "", "", 0},
        {tmp / "ntfsmnt/.", false, DT_NTFS, TScanMethod::MFTVolume, img, tmp / "ntfsmnt", "", 0},
        {tmp / "ntfsmnt/inner", false, DT_FOLDER, TScanMethod::Enumerate, tmp / "ntfsmnt/inner", "",
         "", 0},
        {tmp / "ntfsmnt/inner/deep", true, DT_FOLDER, TScanMethod::MFTVolume, img, tmp / "ntfsmnt",
         "inner/deep", 0},
        {tmp / "dump.MFT", false, DT_MFTFILE, TScanMethod::MFTDump, tmp / "dump.MFT", "", "", 0},
        {tmp / "list.Tsv", false, DT_CSVFILE, TScanMethod::CSVImport, tmp / "list.Tsv", "", "", 0},
        {img, false, DT_NTFS, TScanMethod::MFTVolume, img, "", "", 0},
        {parted, false, DT_NTFS, TScanMethod::MFTVolume, parted, "", "", 65536},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        TResolveOptions o;
        o.FullScanNTFSIfPossible = c.fullScan;
        const TResolvedSource r = ResolveSourcePath(c.path, list, mounts, o);
        ASSERT_TRUE(r.Ok) << r.Error;
        EXPECT_EQ(r.Source.Kind, c.kind);
        EXPECT_EQ(r.Source.Method, c.method);
        EXPECT_EQ(Utf16ToUtf8(r.Source.Path), c.readPath);
        EXPECT_EQ(Utf16ToUtf8(r.Source.RootName), c.rootName);
        EXPECT_EQ(Utf16ToUtf8(r.Source.SubtreePath), c.subtree);
        EXPECT_EQ(r.VolumeOffset, c.offset);
        // The entry selected in the source list; an image file has none.
        if (c.kind == DT_NTFS && c.rootName.empty())
            EXPECT_EQ(r.ListIndex, -1);
        else
            EXPECT_EQ(list.Entries.at(size_t(r.ListIndex)).Kind, c.kind);
    }
    EXPECT_EQ(
        Utf16ToUtf8(ResolveSourcePath(cases[7].path, list, mounts, {true}).Source.SubtreeRootName),
        tmp / "ntfsmnt/inner/deep");

    struct Bad {
        std::string path;
        const char* says;
    } bad[] = {
        {"", "no source given"},
        {tmp / "missing", "No such file or directory"},
        {tmp / "notes.txt", "not an NTFS image, an MFT dump (.mft) or a CSV/TSV export"},
        {tmp / "fifo", "not a folder, a file or a block device"},
    };
    for (const Bad& b : bad) {
        const TResolvedSource r = ResolveSourcePath(b.path, list, mounts, {});
        EXPECT_FALSE(r.Ok) << b.path;
        EXPECT_NE(r.Error.find(b.says), std::string::npos) << r.Error;
        EXPECT_NE(r.Error.find(b.path), std::string::npos) << r.Error;
    }
    // A file that is mounted somewhere tells where to scan it instead.
    EXPECT_NE(ResolveSourcePath(tmp / "notes.txt", list, mounts, {})
                  .Error.find("mounted at " + tmp / "extmnt"),
              std::string::npos);
}

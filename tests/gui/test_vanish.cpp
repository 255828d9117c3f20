// A source that vanishes while its folder walk runs: a folder of it, or the whole source,
// removed by another thread during the scan. Whatever the walk still found, the window ends
// the scan with a clear line (an error naming the source, or the completion with the count of
// what could not be read), shows totals that agree with the records it kept, stays unlocked
// and scans again.
#include "tests/gui/window_fixture.h"

#include "gui/statuspanel.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

// keep/ (three files of 1,000 bytes) and gone/ with folders*files small files below it.
void MakeVanishingTree(const std::string& root, int folders, int files) {
    for (int k = 0; k < 3; ++k) WriteSized(root + "/keep/k" + std::to_string(k), 1000);
    for (int d = 0; d < folders; ++d)
        for (int f = 0; f < files; ++f)
            WriteSized(root + "/gone/d" + std::to_string(d / 50) + "/e" + std::to_string(d) + "/f" +
                           std::to_string(f),
                       10);
}

} // namespace

TEST_F(WindowFixture, ASourceRemovedWhileItsWalkRunsEndsCleanly) {
    struct Case {
        const char* name;
        bool wholeSource; // the source folder itself goes, else gone/ below it
        int delayMs;      // after the start, before the removal begins
    };
    const Case cases[] = {{"a folder, at once", false, 0},
                          {"a folder, a moment later", false, 5},
                          {"the source, at once", true, 0},
                          {"the source, a moment later", true, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string root = Data + "/src";
        fs::remove_all(root);
        MakeVanishingTree(root, 1500, 4);
        Messages.clear();
        SC().ScanPath(QString::fromStdString(root));
        ASSERT_TRUE(SC().ScanInProgress());
        std::thread remover([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(c.delayMs));
            std::error_code ec;
            fs::remove_all(c.wholeSource ? root : root + "/gone", ec);
        });
        const bool ok = WaitForEnd();
        remover.join();

        // Unlocked, whatever the end.
        EXPECT_FALSE(SC().ScanInProgress());
        EXPECT_TRUE(SC().btnScan->isVisible());
        EXPECT_TRUE(SC().cbDrive->isEnabled());
        if (!ok) {
            // The source was gone before it could be opened: an error that names it, no tree.
            EXPECT_TRUE(c.wholeSource);
            EXPECT_TRUE(Status().startsWith(QStringLiteral("Error"))) << Status().toStdString();
            EXPECT_TRUE(Status().contains(QString::fromStdString(root))) << Status().toStdString();
            EXPECT_EQ(Model().rowCount(), 0);
            continue;
        }
        EXPECT_TRUE(Status().startsWith(QStringLiteral("Scan complete"))) << Status().toStdString();
        ASSERT_EQ(SC().Session().Scans().size(), 1u);
        const TNTFS_FILES& scan = *SC().Session().Scans()[0];
        // The totals are those of the records kept: nothing vanished is counted.
        uint64_t sum = 0;
        int64_t files = 0;
        for (PMFT_RECORD r : scan.FFileList)
            if (r && !r->IsFolder()) {
                sum += r->FileSize;
                ++files;
            }
        TTreeNode* top = Node("");
        ASSERT_NE(top, nullptr);
        EXPECT_EQ(top->Data.Rec->SubFoldersTotSize, sum);
        EXPECT_EQ(top->Data.Rec->SubFoldersNumFiles(), files);
        EXPECT_LE(files, 3 + 1500 * 4);
        if (!c.wholeSource) {
            // The folder left alone is read in full.
            TTreeNode* keep = Node("keep");
            ASSERT_NE(keep, nullptr);
            EXPECT_EQ(keep->Data.Rec->SubFoldersTotSize, 3000u);
        }
        // A folder that went between its listing and its reading is marked, and counted on the
        // status line.
        if (scan.Warnings.UnreadableFolders > 0) {
            EXPECT_TRUE(Status().contains(QStringLiteral(" - "))) << Status().toStdString();
        }
        EXPECT_TRUE(Messages.isEmpty()) << Messages.join(QStringLiteral("; ")).toStdString();
    }
    // The window scans again.
    MakeSampleTree(Data + "/after");
    ASSERT_TRUE(ScanAndWait(Data + "/after"));
    EXPECT_EQ(Node("")->Data.Rec->SubFoldersTotSize, 1000u + 3000 + 5 * 10240 + 100 + 50000);
}

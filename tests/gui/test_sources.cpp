// The source list in the window on real mounts (in the test process's own mount table): file
// systems mounted and unmounted while the user's entry stays, a new drive picked when none
// was, a drive unmounted before the list caught up; an NTFS volume only root may read raw
// (the offer to restart as root through a stand-in launcher, or to walk its folders); the
// full-volume mode for a folder on an NTFS volume read raw.
#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "engine/tree.h"
#include "gui/elevatedrestart.h"
#include "gui/qtext.h"
#include "gui/spacesummary.h"
#include "gui/statuspanel.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <fstream>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

#define REQUIRE_MOUNTS()                                                                           \
    do {                                                                                           \
        std::string why;                                                                           \
        if (!PrivateMountNamespace(&why)) GTEST_SKIP() << why;                                     \
    } while (0)

// A file system image mounted at a folder for the life of the object.
class Mounted {
public:
    // kind "ext4": mounted by the kernel through a loop device; "ntfs": made by mkntfs,
    // filled by fill (a folder) through ntfs-3g, then mounted again by ntfs-3g from a loop
    // device, so that the device can also be read raw.
    Mounted(const std::string& dir, const std::string& kind,
            const std::function<void(const std::string&)>& fill = {})
        : Image(dir + "/" + kind + ".img"), At(dir + "/" + kind) {
        fs::create_directories(At);
        if (kind == "ext4") {
            Ok = qz::test::Run("truncate -s 8M '" + Image + "' && mkfs.ext4 -q -F '" + Image +
                               "' 2>&1 && mount -o loop '" + Image + "' '" + At + "'") == 0;
            return;
        }
        Ok = qz::test::Run("truncate -s 16M '" + Image + "' && mkntfs -q -F -f '" + Image +
                           "' >/dev/null 2>&1") == 0;
        if (Ok && fill) {
            Ok = qz::test::Run("ntfs-3g '" + Image + "' '" + At + "'") == 0;
            if (Ok) fill(At);
            Ok = Ok && qz::test::Run("umount '" + At + "'") == 0;
        }
        if (Ok) Loop = AttachLoop(Image);
        Ok = Ok && !Loop.empty() && qz::test::Run("ntfs-3g '" + Loop + "' '" + At + "'") == 0;
    }
    ~Mounted() {
        Unmount();
        DetachLoop(Loop);
    }
    void Unmount() {
        if (Ok) qz::test::Run("umount '" + At + "' 2>/dev/null");
        Ok = false;
    }
    std::string Image, At, Loop;
    bool Ok = false;
};

int EntryAt(TScanControl& sc, const std::string& path) {
    return FindDriveEntry(sc.cbDrive->List(), path);
}

std::string SelectedText(TScanControl& sc) {
    const TSourceEntry* e = sc.cbDrive->SelectedEntry();
    return e ? Utf16ToUtf8(e->Text) : std::string("(none)");
}

} // namespace

TEST_F(WindowFixture, MountsComeAndGoWhileTheUsersEntryStays) {
    REQUIRE_MOUNTS();
    const int folderEntry = SC().cbDrive->EntryOfKind(DT_FOLDER);
    SC().cbDrive->setCurrentIndex(folderEntry);
    QSignalSpy rebuilt(&SC(), &TScanControl::sourcesChanged);
    Mounted ext(Dir.path(), "ext4");
    ASSERT_TRUE(ext.Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return EntryAt(SC(), ext.At) >= 0; }, 5000))
        << "the mounted file system was not listed";
    EXPECT_EQ(SelectedText(SC()), "<Select Folder...>");
    EXPECT_FALSE(SC().ScanInProgress());

    // The user picks the new drive: its space shows before any scan, then it is scanned.
    const int drive = EntryAt(SC(), ext.At);
    SC().cbDrive->setCurrentIndex(drive);
    emit SC().cbDrive->activated(drive);
    EXPECT_FALSE(SC().ScanInProgress()); // auto scan is off
    SC().UpdateSpaceSummary();
    EXPECT_NE(W().SpaceSummary()->lblTotalSpace->text(), QStringLiteral("n/a"));
    WriteSized(ext.At + "/inside/file.bin", 5000);
    QTest::mouseClick(SC().btnScan, Qt::LeftButton);
    ASSERT_TRUE(WaitForEnd()) << Status().toStdString();
    ASSERT_EQ(Model().rowCount(), 1);
    EXPECT_TRUE(Model().index(0, 0).data().toString().startsWith(
        QStringLiteral("[%1] loop").arg(QString::fromStdString(ext.At))));
    ASSERT_NE(Node("inside/file.bin"), nullptr);

    // Unmounted while selected: the entry goes and nothing is selected any more.
    const int before = rebuilt.count();
    ext.Unmount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return EntryAt(SC(), ext.At) < 0; }, 5000));
    EXPECT_GT(rebuilt.count(), before);
    EXPECT_EQ(SC().cbDrive->currentIndex(), -1);
}

TEST_F(WindowFixture, ANewDriveIsPickedWhenNothingWasSelected) {
    REQUIRE_MOUNTS();
    SC().cbDrive->SelectQuietly(-1);
    Mounted ext(Dir.path(), "ext4");
    ASSERT_TRUE(ext.Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return EntryAt(SC(), ext.At) >= 0; }, 5000));
    EXPECT_EQ(SC().cbDrive->currentIndex(), EntryAt(SC(), ext.At)) << SelectedText(SC());
    EXPECT_FALSE(SC().ScanInProgress()); // picked, not scanned
}

TEST_F(WindowFixture, ADriveUnmountedBeforeTheListCaughtUpIsRefused) {
    REQUIRE_MOUNTS();
    Mounted ext(Dir.path(), "ext4");
    ASSERT_TRUE(ext.Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return EntryAt(SC(), ext.At) >= 0; }, 5000));
    SC().StopWatchingSources(); // the list lags behind the system from now on
    SC().cbDrive->setCurrentIndex(EntryAt(SC(), ext.At));
    ext.Unmount();
    QTest::mouseClick(SC().btnScan, Qt::LeftButton);
    EXPECT_FALSE(SC().ScanInProgress()); // the empty mount point is not scanned instead
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].contains(QStringLiteral("is no longer mounted")))
        << Messages[0].toStdString();
    EXPECT_TRUE(Messages[0].contains(QString::fromStdString(ext.At)));
    EXPECT_TRUE(SC().btnScan->isEnabled());
    EXPECT_TRUE(SC().cbDrive->isEnabled());
}

// Root may read any device, so the volume is marked as an ordinary user's list would mark it
// (the classification itself is tested as an ordinary user in the source-list tests).
TEST_F(WindowFixture, AVolumeOnlyRootMayReadRawOffersTheRestartOrAWalk) {
    REQUIRE_MOUNTS();
    Mounted ntfs(Dir.path(), "ntfs",
                 [](const std::string& at) { WriteSized(at + "/docs/report.txt", 3000); });
    ASSERT_TRUE(ntfs.Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return EntryAt(SC(), ntfs.At) >= 0; }, 5000));
    SC().StopWatchingSources();
    TSourceSnapshot s;
    s.Mounts = ReadMountTable();
    s.Entries = GetDriveEntries(s.Mounts);
    for (TSourceEntry& e : s.Entries)
        if (e.Path == ntfs.At) {
            EXPECT_EQ(e.Kind, DT_NTFS); // as root
            e.Kind = DT_DRIVE;
            e.NeedsRoot = true;
            e.Text = DriveEntryText(*MountAt(s.Mounts, ntfs.At), true);
        }
    SC().ApplySources(s);
    const int entry = EntryAt(SC(), ntfs.At);
    ASSERT_GE(entry, 0);
    EXPECT_TRUE(
        SC().cbDrive->itemText(entry).endsWith(QStringLiteral("NTFS read raw only as root)")));

    // A launcher standing in for pkexec: it notes its arguments, then becomes another program
    // (as pkexec does once the user agreed), or ends at once (refused).
    TempDir bin;
    const std::string args = bin / "args", pid = bin / "pid";
    auto launcher = [&](const std::string& name, const std::string& tail) {
        std::ofstream f(bin / name);
        f << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << args << "'\necho $$ > '" << pid << "'\n"
          << tail << "\n";
        f.close();
        fs::permissions(bin / name, fs::perms::owner_all);
        return QString::fromStdString(bin / name);
    };
    std::vector<TElevationChoice> answers;
    QStringList offered;
    SC().AskElevation = [&](const QString& text) {
        offered << text;
        const TElevationChoice c = answers.front();
        answers.erase(answers.begin());
        return c;
    };
    SC().OptionArguments = {"--filter=*.txt"};
    SC().cbDrive->setCurrentIndex(entry);

    // Cancel: nothing happens.
    answers = {TElevationChoice::Cancel};
    QTest::mouseClick(SC().btnScan, Qt::LeftButton);
    EXPECT_EQ(offered.size(), 1);
    EXPECT_TRUE(offered[0].startsWith(QStringLiteral("[%1]").arg(QString::fromStdString(ntfs.At))));
    EXPECT_FALSE(SC().ScanInProgress());

    // Read the folders: a walk of the mounted volume.
    answers = {TElevationChoice::ReadFolder};
    QTest::mouseClick(SC().btnScan, Qt::LeftButton);
    ASSERT_TRUE(WaitForEnd()) << Status().toStdString();
    ASSERT_EQ(SC().Session().Sources.size(), 1u);
    EXPECT_EQ(SC().Session().Sources[0].Method, TScanMethod::Enumerate);
    ASSERT_NE(Node("docs/report.txt"), nullptr);

    // A launcher that is not there, and one that is refused: messages, the window stays.
    struct Refusal {
        QString launcher;
        const char* says;
    } refusals[] = {
        {QString::fromStdString(bin / "no-such-launcher"), "is not installed"},
        {launcher("refusing", "exit 126"), "refused or cancelled"},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.says);
        Messages.clear();
        SC().ElevatedRestart().Launcher = r.launcher;
        QSignalSpy failed(&SC().ElevatedRestart(), &TElevatedRestart::failed);
        answers = {TElevationChoice::RestartAsRoot};
        QTest::mouseClick(SC().btnScan, Qt::LeftButton);
        ASSERT_TRUE(failed.count() > 0 || failed.wait(5000));
        ASSERT_EQ(Messages.size(), 1);
        EXPECT_TRUE(Messages[0].contains(QString::fromLatin1(r.says))) << Messages[0].toStdString();
        EXPECT_TRUE(W().isVisible());
        EXPECT_FALSE(SC().ScanInProgress());
        EXPECT_TRUE(SC().btnScan->isEnabled());
    }

    // Agreed: the launcher turns into the program; this window closes.
    SC().ElevatedRestart().Launcher = launcher("pkexec", "exec sleep 30");
    SC().ElevatedRestart().Program = QStringLiteral("/opt/quarzel/quarzel");
    // No polkit policy names that program: the display goes along through "env".
    const QByteArray display = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":77");
    QSignalSpy restarted(&SC(), &TScanControl::restartedAsRoot);
    answers = {TElevationChoice::RestartAsRoot};
    QTest::mouseClick(SC().btnScan, Qt::LeftButton);
    ASSERT_TRUE(restarted.count() > 0 || restarted.wait(5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !W().isVisible(); }, 2000));
    std::ifstream p(pid);
    int started = 0;
    p >> started;
    if (started > 0) ::kill(started, SIGTERM);
    std::ifstream a(args);
    std::stringstream got;
    got << a.rdbuf();
    if (display.isNull())
        qunsetenv("DISPLAY");
    else
        qputenv("DISPLAY", display);
    const std::string command = got.str();
    EXPECT_EQ(command.rfind("env\nDISPLAY=:77\n", 0), 0u) << command;
    const std::string tail =
        "\n/opt/quarzel/quarzel\n" + ntfs.At + "\n--filter=*.txt\n--runningas\n";
    EXPECT_TRUE(command.size() > tail.size() &&
                command.compare(command.size() - tail.size(), tail.size(), tail) == 0)
        << command;
}

TEST_F(WindowFixture, CtrlScansAFolderOfAnNtfsVolumeThroughTheWholeVolume) {
    REQUIRE_MOUNTS();
    Mounted ntfs(Dir.path(), "ntfs", [](const std::string& at) {
        WriteSized(at + "/Users/me/a.doc", 7000);
        WriteSized(at + "/Users/me/b.doc", 9000);
        WriteSized(at + "/Users/you/c.doc", 100);
        WriteSized(at + "/Windows/big.sys", 50000);
    });
    ASSERT_TRUE(ntfs.Ok);
    ASSERT_TRUE(QTest::qWaitFor([&] { return EntryAt(SC(), ntfs.At) >= 0; }, 5000));
    ASSERT_EQ(SC().cbDrive->List().Entries[size_t(EntryAt(SC(), ntfs.At))].Kind, DT_NTFS);
    const std::string users = ntfs.At + "/Users";
    struct Case {
        const char* name;
        Qt::KeyboardModifiers keys;
        bool setting;
        TScanMethod method;
    } cases[] = {
        {"plain click: a walk", Qt::NoModifier, false, TScanMethod::Enumerate},
        {"Ctrl held: the whole volume", Qt::ControlModifier, false, TScanMethod::MFTVolume},
        {"the setting: the whole volume", Qt::NoModifier, true, TScanMethod::MFTVolume},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SC().FullScanNTFSIfPossible = c.setting;
        SC().cbDrive->setCurrentIndex(SC().cbDrive->EntryOfKind(DT_FOLDER));
        FoldersAsked << QString::fromStdString(users);
        QTest::mouseClick(SC().btnScan, Qt::LeftButton, c.keys);
        ASSERT_TRUE(WaitForEnd()) << Status().toStdString();
        ASSERT_EQ(SC().Session().Sources.size(), 1u);
        const TScanSource& src = SC().Session().Sources[0];
        EXPECT_EQ(src.Method, c.method);
        if (c.method == TScanMethod::MFTVolume) {
            EXPECT_EQ(Utf16ToUtf8(src.Path), ntfs.Loop);
            EXPECT_EQ(src.SubtreePath, u"Users");
        }
        // Either way the tree shows the folder alone, with its own totals.
        ASSERT_EQ(Model().rowCount(), 1);
        EXPECT_EQ(Model().index(0, 0).data().toString(), QString::fromStdString(users));
        TTreeNode* root = Node("");
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->Data.Rec->SubFoldersTotSize, 16100u);
        EXPECT_EQ(root->Data.Rec->SubFoldersNumFiles(), 3);
        EXPECT_NE(Node("me/b.doc"), nullptr);
        EXPECT_EQ(Node("Windows"), nullptr);
    }
}

// The exports of the window over real scans: the options dialog driven for real gives the
// same bytes as the program's headless export of the same options; the selection alone, the
// file list, the stored choices, OK refused without files and folders, the overwrite
// question, a failed write that leaves the earlier file as it was, the file-types export
// (again equal to the headless one) and the clipboard text of what is unfolded.
#include "tests/gui/window_fixture.h"

#include "base/text.h"
#include "export/export_headless.h"
#include "gui/exportactions.h"
#include "gui/exportdialog.h"
#include "gui/filelistpanel.h"
#include "gui/filteredit.h"
#include "gui/historycombo.h"
#include "gui/qtext.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <csignal>
#include <fstream>
#include <set>
#include <sys/resource.h>

using namespace qz;
using namespace qz::test;

namespace {

// The capacity figures (the last four columns when asked for) are read from the disk at
// export time, and other work writes to the same disk between two exports: the columns
// stay, their numbers are left out of a comparison.
std::string WithoutCapacityFigures(const std::string& text, char separator) {
    std::string out;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end + 1;
        std::string line = text.substr(start, end - start);
        size_t cut = line.find_last_not_of("\r\n") + 1;
        for (int i = 0; i < 4 && cut != std::string::npos && cut > 0; ++i)
            cut = line.rfind(separator, cut - 1);
        out += line.substr(0, cut == std::string::npos ? line.size() : cut) + "\n";
        start = end;
    }
    return out;
}

std::string ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The data rows of a CSV export (header and byte-order mark dropped), one string per line.
std::vector<std::string> Rows(const std::string& text) {
    std::vector<std::string> rows;
    size_t at = text.find("\r\n");
    while (at != std::string::npos && at + 2 < text.size()) {
        const size_t end = text.find("\r\n", at + 2);
        rows.push_back(text.substr(at + 2, end - at - 2));
        at = end;
    }
    return rows;
}

class ExportFixture : public WindowFixture {
protected:
    TExportActions& E() { return *W().Exports(); }
    void SetUp() override {
        WindowFixture::SetUp();
        E().ShowMessage = [this](QMessageBox::Icon, const QString& m) { Messages << m; };
        E().AskOverwrite = [this](const QString&) {
            ++Overwrites;
            return OverwriteAnswer;
        };
    }
    // Runs "Export to CSV file..." with the dialog set by setup (which also names the file);
    // returns the message shown at the end.
    QString Export(const std::function<void(TfrmExportOptions&)>& setup) {
        Messages.clear();
        E().RunDialog = [&](TfrmExportOptions& d) {
            setup(d);
            QTest::mouseClick(d.btnOK, Qt::LeftButton);
            return d.result();
        };
        E().actExport->trigger();
        EXPECT_TRUE(QTest::qWaitFor([this] { return !E().Busy(); }, 60000));
        return Messages.isEmpty() ? QString() : Messages.back();
    }
    std::string Headless(const std::string& root, const std::string& file,
                         const std::string& options) {
        const std::string cmd = "'" + std::string(QZ_BINARY_DIR) + "/app/quarzel' '" + root +
                                "' --export='" + file + "' --configfolder='" + Dir / "cfg2" + "' " +
                                options + " 2>&1";
        std::string out;
        EXPECT_EQ(qz::test::Run(cmd, &out), 0) << out;
        return ReadAll(file);
    }
    int Overwrites = 0;
    bool OverwriteAnswer = true;
};

void MakeExportTree(const std::string& root) {
    MakeSampleTree(root);
    WriteSized(root + "/docs/README", 123);
    WriteSized(root + "/docs/sub/deeper/z.dat", 7777);
    WriteSized(root + "/name with, comma.txt", 10);
}

} // namespace

TEST_F(ExportFixture, TheDialogsExportEqualsTheHeadlessExportOfTheSameOptions) {
    MakeExportTree(Data + "/t");
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    struct Case {
        const char* file;
        bool files, folders, dates, sizes, split, percent, recno, drive;
        int depth;
        const char* options; // the same choices on the command line
    } cases[] = {
        // (Record numbers are the walk's running numbers: another walk numbers differently.)
        {"all.csv", true, true, true, true, true, true, false, true, 0,
         "--exportalldates=1 --exportallsizes=1 --exportsplitfilename=1 "
         "--exportpercentofparent=1"},
        {"folders.TSV", false, true, false, false, false, true, false, false, 2,
         "--exportfiles=0 --exportpercentofparent=1 --exportdrivecapacity=0 --exportmaxdepth=2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string file = Data + "/out/" + c.file;
        const QString message = Export([&](TfrmExportOptions& d) {
            EXPECT_TRUE(d.rbTreeView->isChecked());
            EXPECT_FALSE(d.rbFileView->isEnabled());
            EXPECT_FALSE(d.cbSelectedOnly->isEnabled()); // nothing selected
            d.edFilename->setText(QString::fromStdString(file));
            d.cbExportFiles->setChecked(c.files);
            d.cbExportFolders->setChecked(c.folders);
            d.cbExportDates->setChecked(c.dates);
            d.cbExportFolderSize->setChecked(c.sizes);
            d.cbSplitFileNames->setChecked(c.split);
            d.cbPercentageofParent->setChecked(c.percent);
            d.cbExportMFTNo->setChecked(c.recno);
            d.cbExportDriveSize->setChecked(c.drive);
            d.seFolderDepth->setValue(c.depth);
        });
        EXPECT_EQ(message, QStringLiteral("Export complete"));
        const std::string mine = ReadAll(file);
        ASSERT_GT(mine.size(), 100u);
        // The program without a window, sorted as the window's tree (allocated, descending).
        const std::string theirs = Headless(Data + "/t", Data + "/out/headless_" + c.file,
                                            std::string(c.options) + " --sortby=2");
        if (c.drive) {
            const char separator = std::string(c.file).ends_with(".TSV") ? '\t' : ',';
            EXPECT_NE(mine, WithoutCapacityFigures(mine, separator)); // the columns are there
            EXPECT_EQ(WithoutCapacityFigures(mine, separator),
                      WithoutCapacityFigures(theirs, separator));
        } else {
            EXPECT_EQ(mine, theirs);
        }
    }
    // Every group, record numbers too, against the headless export of the same scan.
    const std::string file = Data + "/out/recno.csv";
    Export([&](TfrmExportOptions& d) {
        d.edFilename->setText(QString::fromStdString(file));
        for (QCheckBox* b :
             {d.cbExportFiles, d.cbExportFolders, d.cbExportDates, d.cbExportFolderSize,
              d.cbSplitFileNames, d.cbPercentageofParent, d.cbExportMFTNo, d.cbExportDriveSize})
            b->setChecked(true);
        d.seFolderDepth->setValue(0);
    });
    TScanSession& session = SC().Session();
    TDisplayTree tree;
    ASSERT_TRUE(session.LoadTree(tree, 2));
    std::vector<TNTFS_FILES*> scans = session.Scans();
    TCsvExportJob job;
    job.FileName = Utf8ToUtf16(Data + "/out/recno_headless.csv");
    job.Tree = &tree;
    job.Scans = scans;
    job.DiskSizes = session.DiskSizes;
    job.Decimals = tree.Format.TreeDecimals();
    TExportOptions options;
    for (TCmdValue<bool>* o :
         {&options.ExportFiles, &options.ExportFolders, &options.ExportMFTNo, &options.ExportDates,
          &options.ExportFolderSize, &options.SplitFileNames, &options.ExportDriveSize,
          &options.PercentOfParent})
        o->SetFromCommandLine(true);
    ASSERT_TRUE(HeadlessExportToCSV(job, options, 0).Ok);
    EXPECT_EQ(ReadAll(file), ReadAll(Data + "/out/recno_headless.csv"));

    // The choices are kept: the next dialog opens with them, and with the ".tsv" extension.
    E().RunDialog = [](TfrmExportOptions& d) {
        EXPECT_TRUE(d.cbExportMFTNo->isChecked());
        EXPECT_EQ(d.seFolderDepth->value(), 0);
        EXPECT_TRUE(d.edFilename->text().endsWith(QStringLiteral(".csv")));
        return int(QDialog::Rejected);
    };
    E().actExport->trigger();
    const std::string ini = ReadAll(Dir / "cfg/Quarzel3.ini");
    EXPECT_NE(ini.find("[frmExportOptions]"), std::string::npos) << ini;
    EXPECT_NE(ini.find("cbExportMFTNo.Checked=1"), std::string::npos) << ini;
    EXPECT_NE(ini.find("export_extension=.csv"), std::string::npos) << ini;
}

TEST_F(ExportFixture, SelectionFileListAndRefusedOk) {
    MakeExportTree(Data + "/t");
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    ClickRow(Node("docs"));
    ClickRow(Node("docs/a.txt"), Qt::ControlModifier); // inside docs: written once
    ClickRow(Node("top.bin"), Qt::ControlModifier);
    const std::string file = Data + "/sel.csv";
    QString label;
    Export([&](TfrmExportOptions& d) {
        EXPECT_TRUE(d.cbSelectedOnly->isChecked());
        label = d.lblSelection->text();
        d.edFilename->setText(QString::fromStdString(file));
    });
    // The two entries (a.txt lies in docs), each on a line of its own.
    EXPECT_EQ(label.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size(), 2) << label.toStdString();
    std::vector<std::string> rows = Rows(ReadAll(file));
    std::set<std::string> paths;
    for (const std::string& r : rows) paths.insert(r.substr(1, r.find("\",") - 1));
    const std::string t = Data + "/t/";
    EXPECT_EQ(paths,
              (std::set<std::string>{t + "docs/", t + "docs/a.txt", t + "docs/b.txt",
                                     t + "docs/README.", t + "docs/sub/", t + "docs/sub/deeper/",
                                     t + "docs/sub/deeper/z.dat", t + "top.bin"}));
    EXPECT_EQ(rows.size(), 8u); // a.txt once, with its folder
    // "Selected only" unchecked: the whole tree.
    Export([&](TfrmExportOptions& d) {
        d.cbSelectedOnly->setChecked(false);
        d.edFilename->setText(QString::fromStdString(file));
    });
    EXPECT_EQ(Overwrites, 1); // the file existed
    EXPECT_EQ(Rows(ReadAll(file)).size(), 18u);

    // From the file list: its rows in its order (a search for the .mkv files).
    W().pcMain->setCurrentWidget(W().tsFiles);
    ASSERT_TRUE(QTest::qWaitFor([this] { return W().Files()->List().Loaded(); }, 30000));
    W().Files()->cbFileSearch->SetText(QStringLiteral("*.mkv"));
    W().Files()->LoadFileList();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !W().Files()->Loading(); }, 30000));
    Export([&](TfrmExportOptions& d) {
        EXPECT_TRUE(d.rbFileView->isChecked());
        d.edFilename->setText(QString::fromStdString(Data + "/files.csv"));
    });
    rows = Rows(ReadAll(Data + "/files.csv"));
    ASSERT_EQ(rows.size(), 5u);
    for (const std::string& r : rows) EXPECT_NE(r.find(".mkv\","), std::string::npos) << r;

    // Neither files nor folders: OK is refused with a message and the dialog stays open.
    Messages.clear();
    int result = -1;
    E().RunDialog = [&](TfrmExportOptions& d) {
        d.ShowError = [this](const QString& m) { Messages << m; };
        d.cbExportFiles->setChecked(false);
        d.cbExportFolders->setChecked(false);
        QTest::mouseClick(d.btnOK, Qt::LeftButton);
        result = d.result();
        EXPECT_FALSE(d.isHidden() && result == QDialog::Accepted);
        return int(QDialog::Rejected);
    };
    E().actExport->trigger();
    EXPECT_NE(result, int(QDialog::Accepted));
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_TRUE(Messages[0].contains(QStringLiteral("Export Files"))) << Messages[0].toStdString();
}

TEST_F(ExportFixture, AFailedWriteSaysWhyAndLeavesTheEarlierFile) {
    MakeExportTree(Data + "/t");
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    const std::string file = Data + "/old.csv";
    WriteFileBytes(file, "OLD", 3);
    // "No" to the question: nothing happens.
    OverwriteAnswer = false;
    EXPECT_TRUE(Export([&](TfrmExportOptions& d) {
                    d.edFilename->setText(QString::fromStdString(file));
                }).isEmpty());
    EXPECT_EQ(ReadAll(file), "OLD");
    // Yes, but the disk refuses the bytes: the reason is shown, the old file stays.
    OverwriteAnswer = true;
    struct rlimit old {};
    getrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 200;
    setrlimit(RLIMIT_FSIZE, &small);
    const QString message =
        Export([&](TfrmExportOptions& d) { d.edFilename->setText(QString::fromStdString(file)); });
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_TRUE(message.startsWith(QStringLiteral("Export failed: "))) << message.toStdString();
    EXPECT_EQ(ReadAll(file), "OLD");
    // A folder that cannot be made (a file stands in its place).
    const QString m2 = Export([&](TfrmExportOptions& d) {
        d.edFilename->setText(QString::fromStdString(file + "/inside.csv"));
    });
    EXPECT_TRUE(m2.startsWith(QStringLiteral("Export failed: "))) << m2.toStdString();
    EXPECT_EQ(ReadAll(file), "OLD");
}

TEST_F(ExportFixture, FileTypesExportAndClipboardText) {
    WriteSized(Data + "/t/a/x.jpg", 90000);
    WriteSized(Data + "/t/a/y.txt", 5000);
    WriteSized(Data + "/t/b/z.txt", 3000);
    WriteSized(Data + "/t/README", 100);
    ASSERT_TRUE(ScanAndWait(Data + "/t"));
    const std::string file = Data + "/types.csv";
    E().AskFileTypesName = [&](const QString& proposed) {
        EXPECT_TRUE(
            proposed.section(QLatin1Char('/'), -1).startsWith(QStringLiteral("Quarzel_FT_")));
        return QString::fromStdString(file);
    };
    Messages.clear();
    E().actExportFileTypes->trigger();
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_EQ(Messages[0], QStringLiteral("Export complete"));
    const std::string cmd = "'" + std::string(QZ_BINARY_DIR) + "/app/quarzel' '" + Data +
                            "/t' --exportfiletypes='" + Data +
                            "/types_headless.csv' --configfolder='" + Dir / "cfg2" + "' 2>&1";
    std::string out;
    ASSERT_EQ(qz::test::Run(cmd, &out), 0) << out;
    EXPECT_EQ(ReadAll(file), ReadAll(Data + "/types_headless.csv"));
    EXPECT_NE(ReadAll(file).find("\"\",\"(no extension)\","), std::string::npos);

    // The clipboard text of what is unfolded: the root and its children, sizes right-aligned
    // in 20 characters, folders by path, files by name.
    E().actExportVisible->trigger();
    const QStringList lines = QGuiApplication::clipboard()->text().split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 5); // root, a, b, README, and the empty rest after the last CR LF
    EXPECT_EQ(lines[0].left(20).trimmed(), QStringLiteral("95.8 KB"));
    EXPECT_EQ(lines[0].mid(20), QStringLiteral("    ") + QString::fromStdString(Data + "/t"));
    const QStringList children = lines.mid(1, 3);
    EXPECT_EQ(children[0].mid(20),
              QStringLiteral("      ") + QString::fromStdString(Data + "/t/a"));
    EXPECT_TRUE(children.contains(QStringLiteral("           100 bytes      README")))
        << children.join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(lines[4].isEmpty());
}

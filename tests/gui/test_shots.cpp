// Screenshots of the views for a look by eye, taken under Xvfb when QZ_SHOTS names a folder
// (skipped otherwise): the file list with a search and its highlights, duplicates with their
// copies beneath them, the tree page with its share bars and the file-types view, the filter
// panel with a coloured expression and a marked mistake, and the export dialog. Under
// QT_SCALE_FACTOR the names get "-scaled".
#include "tests/gui/window_fixture.h"

#include "gui/exportactions.h"
#include "gui/exportdialog.h"
#include "gui/filelistpanel.h"
#include "gui/filelistview.h"
#include "gui/filteredit.h"
#include "gui/filterpanel.h"
#include "gui/historycombo.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QTabWidget>
#include <QTest>
#include <cstdlib>

using namespace qz;
using namespace qz::test;

TEST_F(WindowFixture, ViewScreenshots) {
    const char* folder = std::getenv("QZ_SHOTS");
    if (!folder) GTEST_SKIP() << "QZ_SHOTS is not set";
    const std::string suffix = std::getenv("QT_SCALE_FACTOR") ? "-scaled" : "";
    auto save = [&](QWidget* w, const std::string& name) {
        QTest::qWait(150);
        const QString path =
            QString::fromStdString(std::string(folder) + "/" + name + suffix + ".png");
        EXPECT_TRUE(w->grab().save(path)) << path.toStdString();
    };
    const std::string root = Data + "/Projects";
    MakeSampleTree(root + "/quarzel");
    for (int i = 0; i < 12; ++i)
        WriteSized(root + "/photos/2023/img" + std::to_string(i) + ".jpg", 40000 + 5000 * i);
    for (int i = 0; i < 3; ++i)
        WriteSized(root + "/photos/backup/img" + std::to_string(i) + ".jpg", 40000 + 5000 * i);
    WriteSized(root + "/photos/2023/img (2).jpg", 40000);
    WriteSized(root + "/music/album/track1.flac", 300000);
    WriteSized(root + "/music/album/track2.flac", 250000);
    WriteSized(root + "/notes.md", 1200);
    W().resize(1200, 800);
    ASSERT_TRUE(ScanAndWait(root));
    View().expand(Model().IndexOf(Node("photos")));
    ClickRow(Node("photos/2023"));
    save(&W(), "tree-filetypes");

    // The file list with a search: matches in bold in the name and the path.
    TFileListPanel& files = *W().Files();
    W().pcMain->setCurrentWidget(W().tsFiles);
    auto waitLoaded = [&] {
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !files.Loading() && files.List().Loaded(); }, 30000));
    };
    waitLoaded();
    files.cbFileSearch->SetText(QStringLiteral("img1*|*.flac"));
    files.LoadFileList();
    waitLoaded();
    save(&W(), "filelist-search");

    // Duplicates: the copies beneath each file.
    files.cbFileSearch->SetText(QString());
    files.cbDupMethod->setCurrentIndex(1);
    emit files.cbDupMethod->activated(1);
    files.LoadFileList();
    waitLoaded();
    files.vstFiles->expandAll();
    save(&W(), "filelist-duplicates");
    files.cbDupMethod->setCurrentIndex(0);
    emit files.cbDupMethod->activated(0);

    // The filter panel: a comparison coloured, an expression that does not compile marked.
    W().pcMain->setCurrentWidget(W().tsTree);
    TFilterPanel& filters = *W().Filters();
    if (!filters.isVisible()) filters.actFilterScanResults->trigger();
    filters.cbFilterInclude->SetText(QStringLiteral("*.jpg >50K !img1*"));
    emit filters.cbFilterInclude->textChangedByUser(filters.cbFilterInclude->Text());
    filters.cbFilterExclude->SetText(QStringLiteral("/(backup/"));
    emit filters.cbFilterExclude->textChangedByUser(filters.cbFilterExclude->Text());
    QTest::qWait(400);
    save(&W(), "filter-panel");

    // The export dialog, as it opens.
    TExportActions& exports = *W().Exports();
    exports.RunDialog = [&](TfrmExportOptions& d) {
        d.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&d));
        save(&d, "export-dialog");
        return int(QDialog::Rejected);
    };
    exports.actExport->trigger();
}

// The window's shell: settings round trips through the real window (change, close, reopen,
// compare), a damaged settings file, the Tweaks dialog, language switches at run time, the
// light, dark and automatic looks, Ctrl + wheel, the update bar against a local HTTP server,
// the file managers' context menu option, the elevation bar and reset to defaults. Under
// Xvfb, screenshots of the window in the dark look, in German and at device pixel ratio 2.
#include "app/windowstart.h"
#include "base/translate.h"
#include "gui/extview.h"
#include "gui/filelistpanel.h"
#include "gui/filelistview.h"
#include "gui/filteredit.h"
#include "gui/filterpanel.h"
#include "gui/historycombo.h"
#include "gui/infobars.h"
#include "gui/mainwindow.h"
#include "gui/retranslate.h"
#include "gui/scancontrol.h"
#include "gui/shell.h"
#include "gui/sourcepicker.h"
#include "gui/spacesummary.h"
#include "gui/statuspanel.h"
#include "gui/theme.h"
#include "gui/treeview.h"
#include "gui/tweaksdialog.h"
#include "tests/gui/window_fixture.h"
#include "tests/support/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// One start of the window on a settings folder: made as the program makes it, with the
// shell's boxes and outside calls recorded instead of shown or made.
class TWindowRun {
public:
    explicit TWindowRun(const std::string& configFolder, bool show = true)
        : FCommandLine(std::vector<std::string>{}), FOptions(ReadStartupOptions(FCommandLine)),
          FStore(configFolder + "/Quarzel3.ini", false, false) {
        std::vector<std::string> warnings;
        TMainSettings settings = FStore.Load(&warnings);
        FStart = std::make_unique<TWindowStart>(TWindowStart{
            FArgc, FArgv, FCommandLine, FOptions, FStore, settings, configFolder, 0, warnings});
        Window = std::make_unique<TfrmQuarzelMain>(*FStart);
        TShell& s = Shell();
        s.ShowError = [this](const QString& m) { Errors << m; };
        s.ShowInfo = [this](const QString& m) { Infos << m; };
        s.AskYesNo = [this](const QString& q) {
            Questions << q;
            return Answer;
        };
        s.OpenUrl = [this](const QString& u) { Opened << u; };
        s.HasVolumeAccess = [this] { return VolumeAccess; };
        s.RestartElevated = [this](QString& error) {
            ++Restarts;
            error = RestartError;
            return RestartError.isEmpty();
        };
        s.Relaunch = [this] { ++Relaunches; };
        if (show) Show();
    }
    ~TWindowRun() { Close(); }

    void Show() {
        Window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(Window.get()));
    }
    void Close() {
        if (!Window) return;
        Window->close();
        Window.reset();
    }
    TShell& Shell() { return *Window->Shell(); }

    std::unique_ptr<TfrmQuarzelMain> Window;
    QStringList Errors, Infos, Questions, Opened;
    bool Answer = true, VolumeAccess = true;
    QString RestartError;
    int Restarts = 0, Relaunches = 0;

private:
    int FArgc = 1;
    char FArg0[8] = "quarzel";
    char* FArgv[2] = {FArg0, nullptr};
    TCommandLine FCommandLine;
    TStartupOptions FOptions;
    TSettingsStore FStore;
    std::unique_ptr<TWindowStart> FStart;
};

class ShellTest : public ::testing::Test {
protected:
    TempDir Dir;
    std::string Ini() { return Dir / "Quarzel3.ini"; }
    void WriteIni(const std::string& text) { WriteFileBytes(Ini(), text.data(), text.size()); }
    void TearDown() override {
        // The look and the language are the application's: put them back for the next test.
        ActivateLanguage("en", {});
        QApplication::setPalette(TThemeManager::LightPalette());
    }
};

// A local HTTP server that answers every request with body and counts the requests.
class TUpdateServer {
public:
    explicit TUpdateServer(QByteArray body) : FBody(std::move(body)) {
        FServer.listen(QHostAddress::LocalHost);
        QObject::connect(&FServer, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* s = FServer.nextPendingConnection()) {
                QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    if (!s->readAll().contains("\r\n\r\n")) return;
                    ++Requests;
                    s->write(
                        "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(FBody.size()) +
                        "\r\nConnection: close\r\n\r\n" + FBody);
                    s->disconnectFromHost();
                });
                QObject::connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    std::string Url() const {
        return "http://127.0.0.1:" + std::to_string(FServer.serverPort()) + "/check?v=1";
    }
    int Requests = 0;

private:
    QByteArray FBody;
    QTcpServer FServer;
};

} // namespace

TEST_F(ShellTest, SettingsSurviveClosingAndReopeningTheWindow) {
    QSize size; // the size the window had when it closed
    int extWidth = 0;
    {
        TWindowRun run(Dir.path());
        TfrmQuarzelMain& w = *run.Window;
        w.resize(w.size() + QSize(37, 21));
        QHeaderView* h = w.Tree()->header();
        h->resizeSection(1, 151);
        h->moveSection(h->visualIndex(2), 4);
        h->setSectionHidden(3, true);
        w.spExt->setSizes({500, 233});
        w.actDisplayUnit[3]->trigger(); // MB
        run.Shell().actThemeDark->trigger();
        run.Shell().RunDialog = [](QDialog& d) {
            auto& t = static_cast<TfrmTweaks&>(d);
            t.edDecimalPlaces->setValue(3);
            t.cbAltRowColors->setChecked(true);
            t.cbScanMFTifPossible->setChecked(true);
            return int(QDialog::Accepted);
        };
        run.Shell().actTweaks->trigger();
        EXPECT_TRUE(w.Tree()->alternatingRowColors());
        QTest::qWait(50);
        extWidth = w.spExt->sizes().value(1);
        size = w.size();
    } // closing saves
    const std::string saved = ReadText(Ini());
    for (const std::string& line :
         {"FormWidth=" + std::to_string(size.width()),
          "FormHeight=" + std::to_string(size.height()), std::string("col1width=151"),
          std::string("col3visible=0"), std::string("actDisplayMB_Checked=TRUE"),
          std::string("uitheme=2"), std::string("decimalplaces=3"), std::string("altrowcolors=1"),
          std::string("FullScanNTFSIfPossible=1"), "panExt_Width=" + std::to_string(extWidth)})
        EXPECT_NE(saved.find(line), std::string::npos) << line << "\n" << saved;

    TWindowRun again(Dir.path());
    TfrmQuarzelMain& w = *again.Window;
    // The same size, unless the (off-screen) screen is smaller than the window's minimum.
    const QSize avail = w.screen()->availableGeometry().size();
    EXPECT_EQ(w.size(), size.boundedTo(avail).expandedTo(w.minimumSizeHint()));
    EXPECT_EQ(w.height(), size.height() <= avail.height() ? size.height() : w.height());
    QHeaderView* h = w.Tree()->header();
    EXPECT_EQ(h->sectionSize(1), 151);
    EXPECT_EQ(h->visualIndex(2), 4);
    EXPECT_TRUE(h->isSectionHidden(3));
    EXPECT_NEAR(w.spExt->sizes().value(1), extWidth, 2);
    EXPECT_TRUE(w.actDisplayUnit[3]->isChecked());
    EXPECT_TRUE(again.Shell().actThemeDark->isChecked());
    EXPECT_TRUE(again.Shell().Theme().Dark());
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 128);
    EXPECT_EQ(w.Format().Decimals, 3);
    EXPECT_TRUE(w.Tree()->alternatingRowColors());
    EXPECT_TRUE(w.ScanControl()->FullScanNTFSIfPossible);
}

TEST_F(ShellTest, ViewColumnsSortsAndHistoriesSurviveClosingAndReopeningTheWindow) {
    {
        TWindowRun run(Dir.path());
        TfrmQuarzelMain& w = *run.Window;
        TFileListPanel& files = *w.Files();
        QHeaderView* fh = files.vstFiles->header();
        fh->resizeSection(fcPath, 333);
        fh->moveSection(fh->visualIndex(fcSize), 0);
        files.vstFiles->setColumnHidden(fcAttributes, true);
        emit fh->sectionClicked(fcSize); // sorted by size
        QHeaderView* eh = w.FileTypes()->header();
        eh->resizeSection(ecSize, 99);
        eh->moveSection(eh->visualIndex(ecFiles), 1);
        w.FileTypes()->setColumnHidden(ecPercent, true);
        emit eh->sectionClicked(ecAllocated);
        // Texts are remembered when the box is left; the newest first.
        for (const char* t : {"*.iso", "gr\u00f6\u00dfe*"}) {
            files.cbFileSearch->Edit()->setText(QString::fromUtf8(t));
            emit files.cbFileSearch->Edit()->left();
        }
        TFilterPanel& filters = *w.Filters();
        filters.cbFilterInclude->Edit()->setText(QStringLiteral("*.mkv"));
        emit filters.cbFilterInclude->Edit()->left();
        filters.cbFilterExclude->Edit()->setText(QStringLiteral("tmp*"));
        emit filters.cbFilterExclude->Edit()->left();
    } // closing saves
    std::string saved = ReadText(Ini());
    for (const char* line : {"filescol_v26width=333", "filescol_v22pos=0", "filescol_v24visible=0",
                             "extcol1width=99", "extcol2pos=1", "extcol3visible=0", "extcol5pos=0",
                             "vstfiles_header_SortColumn=2", "vstext_header_SortColumn=6",
                             "numitems=2", "search2=*.iso", "searchFI1=*.mkv", "searchFE1=tmp*"})
        EXPECT_NE(saved.find(line), std::string::npos) << line << "\n" << saved;
    EXPECT_NE(saved.find("search1={UTF8}:"), std::string::npos) << saved;
    // The swatch column comes back 25 pixels wide whatever the file says.
    const size_t swatch = saved.find("extcol5width=");
    ASSERT_NE(swatch, std::string::npos);
    saved.replace(swatch, saved.find('\n', swatch) - swatch, "extcol5width=90");
    WriteIni(saved);

    TWindowRun again(Dir.path());
    TfrmQuarzelMain& w = *again.Window;
    TFileListPanel& files = *w.Files();
    QHeaderView* fh = files.vstFiles->header();
    EXPECT_EQ(fh->sectionSize(fcPath), 333);
    EXPECT_EQ(fh->visualIndex(fcSize), 0);
    EXPECT_TRUE(fh->isSectionHidden(fcAttributes));
    EXPECT_FALSE(fh->isSectionHidden(fcName));
    EXPECT_EQ(files.List().SortColumn(), int(fcSize));
    EXPECT_EQ(fh->sortIndicatorSection(), int(fcSize));
    QHeaderView* eh = w.FileTypes()->header();
    EXPECT_EQ(eh->sectionSize(ecSize), 99);
    EXPECT_EQ(eh->visualIndex(ecFiles), 1);
    EXPECT_EQ(eh->visualIndex(ecSwatch), 0);
    EXPECT_TRUE(eh->isSectionHidden(ecPercent));
    const qreal dpi = w.FileTypes()->screen()->logicalDotsPerInch();
    EXPECT_EQ(eh->sectionSize(ecSwatch), std::max(25, int(25 * dpi / 96.0 + 0.5)));
    EXPECT_EQ(eh->sortIndicatorSection(), int(ecAllocated));
    EXPECT_EQ(files.cbFileSearch->Items(), (std::vector<std::string>{"gr\u00f6\u00dfe*", "*.iso"}));
    EXPECT_EQ(w.Filters()->cbFilterInclude->Items(), (std::vector<std::string>{"*.mkv"}));
    EXPECT_EQ(w.Filters()->cbFilterExclude->Items(), (std::vector<std::string>{"tmp*"}));
}

TEST_F(ShellTest, TweaksOkStartsDisabledAndCancelChangesNothing) {
    TWindowRun run(Dir.path());
    TMainSettings values;
    values.FileNodeMinGroupSize = -3;
    TfrmTweaks dialog(values);
    QPushButton* ok = dialog.Buttons->button(QDialogButtonBox::Ok);
    EXPECT_FALSE(ok->isEnabled());
    EXPECT_EQ(dialog.edFileNodeMinGroupSize->value(), 0); // a negative size is shown as 0
    dialog.edFileNodeMinGroupSize->setValue(-1);
    EXPECT_EQ(dialog.edFileNodeMinGroupSize->value(), 0);
    dialog.cbEnableDragDrop->click();
    EXPECT_TRUE(ok->isEnabled());
    EXPECT_FALSE(dialog.Values().EnableDragDrop);

    const int savesBefore = run.Window->Settings().Saves();
    run.Shell().RunDialog = [](QDialog& d) {
        static_cast<TfrmTweaks&>(d).edDecimalPlaces->setValue(4);
        return int(QDialog::Rejected);
    };
    run.Shell().actTweaks->trigger();
    EXPECT_EQ(run.Window->Format().Decimals, 1);
    EXPECT_EQ(run.Window->Settings().Saves(), savesBefore);
}

TEST_F(ShellTest, ADamagedSettingsFileGivesDefaultsAWarningAndStaysUntilSaved) {
    const std::string damaged =
        std::string("[frmQuarzelMain]\nFormWidth=99999999\nFormHeight=700\ndecimalplaces=2\n"
                    "bad\0line\nfontheight4=abc\n[history\nnumitems=2\nsearch1=x",
                    98);
    WriteIni(damaged);
    {
        TWindowRun run(Dir.path());
        const QString status = run.Window->ScanStatus()->Status();
        EXPECT_TRUE(status.contains(QStringLiteral("damaged line"))) << status.toStdString();
        EXPECT_TRUE(status.contains(QStringLiteral("FormWidth"))) << status.toStdString();
        EXPECT_EQ(run.Window->Format().Decimals, 2); // what is sound is used
        EXPECT_EQ(run.Window->height(), 700);
        EXPECT_LT(run.Window->width(), 20000);
        EXPECT_EQ(ReadText(Ini()), damaged); // nothing written yet
    }
    EXPECT_EQ(ReadText(Ini() + ".corrupt"), damaged);
    TIniFile saved(Ini());
    EXPECT_EQ(saved.LoadState(), TIniFile::TLoadState::Loaded);
    EXPECT_EQ(saved.ReadInteger("frmQuarzelMain", "decimalplaces", 0), 2);
    EXPECT_EQ(saved.ReadInteger("frmQuarzelMain", "fontheight4", 0), 12);
}

TEST_F(ShellTest, LanguageSwitchAtRunTimeSetsTheTextsAgain) {
    TWindowRun run(Dir.path());
    TfrmQuarzelMain& w = *run.Window;
    run.Shell().Languages().SetLocaleFolder(QStringLiteral(QZ_LOCALE_BUILD_DIR));
    auto texts = [&] {
        return QStringList{w.mnuFile->title(),
                           w.mnuOptions->title(),
                           w.actScan->text(),
                           w.pcMain->tabText(0),
                           w.ScanControl()->btnScan->text(),
                           run.Shell().actTweaks->text(),
                           w.Tree()->model()->headerData(1, Qt::Horizontal).toString(),
                           run.Shell().WarningBar()->cbDontShowWarning->text()};
    };
    const QStringList english = texts();
    EXPECT_EQ(english.value(0), QStringLiteral("&File"));
    run.Shell().UpdateBar()->ShowUpdate(QStringLiteral("4.3"), QStringLiteral("https://x/"));
    run.Shell().ApplyLanguage(QStringLiteral("de"));
    // A text put together from pieces is set again by its owner.
    EXPECT_TRUE(run.Shell().UpdateBar()->lblUpdateAvailable->text().startsWith(
        QStringLiteral("Eine neue Version von Quarzel")));
    const QStringList german = texts();
    EXPECT_EQ(german.value(0), QStringLiteral("&Datei"));
    EXPECT_EQ(german.value(4), QStringLiteral("Scannen"));
    for (int i = 0; i < english.size(); ++i)
        EXPECT_NE(german[i], english[i]) << english[i].toStdString() << " was not translated";
    EXPECT_NE(ReadText(Ini()).find("language=de"), std::string::npos);
    // Qt's own buttons follow.
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Abbrechen"));
    // Texts made from pieces after a scan (status line, source list, summary) follow too,
    // with the catalogue's non-ASCII letters intact.
    MakeSampleTree(Dir / "tree");
    w.ScanControl()->ScanPath(QString::fromStdString(Dir / "tree"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.ScanControl()->ScanInProgress(); }, 60000));
    run.Shell().ApplyLanguage(QStringLiteral("fr"));
    EXPECT_EQ(w.mnuFile->title(), QStringLiteral("&Fichier"));
    EXPECT_TRUE(w.ScanStatus()->Status().startsWith(QStringLiteral("Analyse terminée ")))
        << w.ScanStatus()->Status().toStdString();
    EXPECT_TRUE(w.ScanStatus()->Status().endsWith(QStringLiteral(" secondes")));
    TSourcePicker* picker = w.ScanControl()->cbDrive;
    EXPECT_EQ(picker->itemText(picker->EntryOfKind(DT_FOLDER)),
              QStringLiteral("<Choisir un dossier...>"));
    EXPECT_EQ(w.SpaceSummary()->lblDrive->text(), QStringLiteral("<Dossier>"));
    run.Shell().ApplyLanguage(QStringLiteral("en"));
    EXPECT_EQ(texts(), english);
}

TEST_F(ShellTest, LightDarkAndAutomaticLooks) {
    TWindowRun run(Dir.path());
    TThemeManager& theme = run.Shell().Theme();
    auto windowLightness = [] {
        return QApplication::palette().color(QPalette::Window).lightness();
    };
    run.Shell().SetUITheme(2);
    QTest::qWait(20);
    EXPECT_TRUE(theme.Dark());
    EXPECT_LT(windowLightness(), 128);
    EXPECT_LT(run.Window->Tree()->palette().color(QPalette::Base).lightness(), 128)
        << run.Window->palette().color(QPalette::Base).lightness() << " "
        << run.Window->Tree()->viewport()->palette().color(QPalette::Base).lightness() << " "
        << QApplication::palette(run.Window->Tree()).color(QPalette::Base).lightness();
    run.Shell().SetUITheme(1);
    EXPECT_FALSE(theme.Dark());
    EXPECT_GT(windowLightness(), 128);
    EXPECT_EQ(QApplication::palette().color(QPalette::Highlight), QColor(0xC8, 0xC8, 0xC8));
    // Automatic follows the desktop portal's colour scheme, also when it changes.
    run.Shell().SetUITheme(0);
    theme.SetPortalColorScheme(1);
    EXPECT_TRUE(theme.Dark());
    theme.SetPortalColorScheme(2);
    EXPECT_FALSE(theme.Dark());
    // The classic variant is another style.
    theme.SetupQuarzelTheme(2, true);
    EXPECT_EQ(QApplication::style()->name().toLower(), QStringLiteral("windows"));
    EXPECT_TRUE(theme.Dark());
    theme.SetupQuarzelTheme(1, false);
    EXPECT_EQ(QApplication::style()->name().toLower(), QStringLiteral("fusion"));
    // A stored choice outside 0..2 is automatic.
    theme.SetupQuarzelTheme(5, false);
    EXPECT_EQ(theme.Theme(), 0);
}

TEST_F(ShellTest, CtrlWheelOverTheWindowChangesTheGridFontWithinItsBounds) {
    TWindowRun run(Dir.path());
    TTreeView* tree = run.Window->Tree();
    QWidget* target = run.Window->ScanStatus();
    auto wheel = [&](int notches) {
        QWheelEvent e(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(),
                      QPoint(0, 120 * notches), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &e);
    };
    const int start = tree->TreeFontHeight();
    wheel(1);
    EXPECT_EQ(tree->TreeFontHeight(), start + 1);
    EXPECT_NE(ReadText(Ini()).find("fontheight4=" + std::to_string(start + 1)), std::string::npos);
    wheel(100);
    EXPECT_EQ(tree->TreeFontHeight(), 50);
    wheel(1);
    EXPECT_EQ(tree->TreeFontHeight(), 50);
    wheel(-100);
    EXPECT_EQ(tree->TreeFontHeight(), 11);
}

TEST_F(ShellTest, UpdateBarOnceADayAndTheAskedCheck) {
    TUpdateServer server("VERSION=4.3\r\nINFOURL=https://example.invalid/v4.3\r\n");
    WriteIni("[frmQuarzelMain]\nUpdateURL=" + server.Url() + "\n");
    {
        TWindowRun run(Dir.path());
        TUpdateBar* bar = run.Shell().UpdateBar();
        ASSERT_TRUE(QTest::qWaitFor([&] { return bar->isVisible(); }, 20000));
        EXPECT_TRUE(bar->lblUpdateAvailable->text().contains(QStringLiteral("(v4.3)")));
        bar->btnViewUpdate->click();
        EXPECT_EQ(run.Opened, QStringList{QStringLiteral("https://example.invalid/v4.3")});
        bar->btnDismiss->click();
        EXPECT_FALSE(bar->isVisible());
        EXPECT_TRUE(run.Shell().actCheckForUpdatesNow->isVisible());
    }
    EXPECT_EQ(server.Requests, 1);
    {
        // The same day: no second automatic check; asking still checks.
        TWindowRun run(Dir.path());
        QTest::qWait(200);
        EXPECT_EQ(server.Requests, 1);
        run.Shell().actCheckForUpdatesNow->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.Requests == 2; }, 20000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return run.Shell().UpdateBar()->isVisible(); }, 20000));
    }
}

TEST_F(ShellTest, AskedCheckReportsNoUpdateAndFailures) {
    TUpdateServer same("VERSION=4.25\nINFOURL=https://example.invalid/\n");
    WriteIni("[frmQuarzelMain]\nactCheckForUpdates_Checked=FALSE\nUpdateURL=" + same.Url() + "\n");
    TWindowRun run(Dir.path());
    QTest::qWait(100);
    EXPECT_EQ(same.Requests, 0); // the option is off: no automatic check
    run.Shell().actCheckForUpdatesNow->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !run.Infos.isEmpty(); }, 20000));
    EXPECT_FALSE(run.Shell().UpdateBar()->isVisible());
    EXPECT_EQ(same.Requests, 1);
}

TEST_F(ShellTest, WithoutAnEndpointTheUpdateEntriesAreHidden) {
    TWindowRun run(Dir.path());
    if (std::string(QZ_UPDATE_URL).empty()) {
        EXPECT_FALSE(run.Shell().actCheckForUpdatesNow->isVisible());
        EXPECT_FALSE(run.Shell().actCheckForUpdates->isVisible());
    }
}

TEST_F(ShellTest, ContextMenuOptionWritesAndRemovesTheDesktopEntries) {
    const std::string data = std::getenv("XDG_DATA_HOME");
    const std::string entry = data + "/applications/quarzel.desktop";
    // On by default for settings that are not portable: the first showing writes the entries.
    TWindowRun run(Dir.path());
    QAction* option = run.Shell().actWindowsContextMenu;
    ASSERT_TRUE(option->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(entry); }, 20000));
    option->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fs::exists(entry); }, 20000));
    EXPECT_NE(ReadText(Ini()).find("actWindowsContextMenu_Checked=FALSE"), std::string::npos);
    option->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return fs::exists(entry); }, 20000));
    option->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !fs::exists(entry); }, 20000));
    EXPECT_FALSE(fs::exists(data + "/nautilus/scripts/Quarzel"));
    EXPECT_TRUE(run.Errors.isEmpty());
}

TEST_F(ShellTest, ElevationBarDontShowAgainAndRestart) {
    TWindowRun run(Dir.path(), false);
    run.VolumeAccess = false;
    run.Show();
    TWarningBar* bar = run.Shell().WarningBar();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_TRUE(bar->lblWarning->isVisible());
    bar->cbDontShowWarning->click();
    EXPECT_FALSE(bar->lblWarning->isVisible());
    EXPECT_TRUE(bar->isVisible()); // the bar and its button stay
    EXPECT_TRUE(bar->btnRestart->isVisible());
    EXPECT_NE(ReadText(Ini()).find("cbDontShowWarning_Checked=TRUE"), std::string::npos);

    // A relaunch that cannot start keeps the window and says why.
    run.RestartError = QStringLiteral("pkexec is not installed");
    bar->btnRestart->click();
    EXPECT_EQ(run.Restarts, 1);
    EXPECT_TRUE(run.Window->isVisible());
    ASSERT_EQ(run.Errors.size(), 1);
    EXPECT_TRUE(run.Errors[0].contains(QStringLiteral("pkexec is not installed")));
    // "Always Run as Administrator" without access restarts; the started relaunch closes.
    run.RestartError.clear();
    run.Shell().actRunAsAdmin->setChecked(false);
    run.Shell().actRunAsAdmin->trigger();
    EXPECT_EQ(run.Restarts, 2);
    EXPECT_FALSE(run.Window->isVisible());
    EXPECT_NE(ReadText(Ini()).find("actRunAsAdmin_Checked=TRUE"), std::string::npos);
}

TEST_F(ShellTest, AlwaysRunAsAdministratorWithAccessDoesNotRestart) {
    TWindowRun run(Dir.path());
    EXPECT_FALSE(run.Shell().WarningBar()->isVisible());
    run.Shell().actRunAsAdmin->setChecked(false);
    run.Shell().actRunAsAdmin->trigger();
    EXPECT_EQ(run.Restarts, 0);
    EXPECT_TRUE(run.Window->isVisible());
}

TEST_F(ShellTest, ResetDeletesTheFileRelaunchesAndWritesNothingAfter) {
    {
        TWindowRun run(Dir.path());
        run.Window->actDisplayUnit[4]->trigger();
        ASSERT_TRUE(fs::exists(Ini()));
        run.Answer = false;
        run.Shell().actResetConfig->trigger();
        EXPECT_TRUE(fs::exists(Ini())); // No stops
        run.Answer = true;
        run.Shell().actResetConfig->trigger();
        EXPECT_EQ(run.Questions.size(), 2);
        EXPECT_FALSE(fs::exists(Ini()));
        EXPECT_EQ(run.Relaunches, 1);
        EXPECT_FALSE(run.Window->isVisible());
    }
    EXPECT_FALSE(fs::exists(Ini())); // closing wrote nothing
    TWindowRun fresh(Dir.path());
    EXPECT_TRUE(fresh.Window->actDisplayUnit[0]->isChecked()); // defaults
}

// Under Xvfb (QZ_SHOTS names a folder): the window after a scan in the dark look and in German;
// run with QT_SCALE_FACTOR=2 for the high-DPI picture.
TEST_F(ShellTest, Screenshots) {
    const char* folder = std::getenv("QZ_SHOTS");
    if (!folder) GTEST_SKIP() << "QZ_SHOTS is not set";
    MakeSampleTree(Dir / "tree");
    TWindowRun run(Dir / "cfg");
    TfrmQuarzelMain& w = *run.Window;
    w.resize(1100, 700);
    run.Shell().UpdateBar()->ShowUpdate(QStringLiteral("4.3"), QStringLiteral("https://x/"));
    w.ScanControl()->ScanPath(QString::fromStdString(Dir / "tree"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.ScanControl()->ScanInProgress(); }, 60000));
    QTest::qWait(300);
    const std::string scale = std::getenv("QT_SCALE_FACTOR") ? "-dpr2" : "";
    run.Shell().SetUITheme(2);
    QTest::qWait(200);
    EXPECT_TRUE(
        w.grab().save(QString::fromStdString(std::string(folder) + "/dark" + scale + ".png")));
    run.Shell().SetUITheme(1);
    run.Shell().Languages().SetLocaleFolder(QStringLiteral(QZ_LOCALE_BUILD_DIR));
    run.Shell().ApplyLanguage(QStringLiteral("de"));
    QTest::qWait(200);
    EXPECT_TRUE(
        w.grab().save(QString::fromStdString(std::string(folder) + "/german" + scale + ".png")));
}

#include "gui/shell.h"

#include "app/desktopintegration.h"
#include "app/environment.h"
#include "app/updatecheck.h"
#include "app/volumeaccess.h"
#include "app/windowstart.h"
#include "base/debuglog.h"
#include "base/translate.h"
#include "fsops/mounts.h"
#include "gui/changemonitor.h"
#include "gui/elevation.h"
#include "gui/fileactions.h"
#include "gui/infobars.h"
#include "gui/languagedialog.h"
#include "gui/mainwindow.h"
#include "gui/qtext.h"
#include "gui/retranslate.h"
#include "gui/scancontrol.h"
#include "gui/statuspanel.h"
#include "gui/theme.h"
#include "gui/treeview.h"
#include "gui/tweaksdialog.h"
#include "gui/windowsettings.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QHeaderView>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QThreadPool>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qz {

namespace {

QAction* Checkable(QMenu* menu, const char* name, const char* caption, bool checked) {
    QAction* a = menu->addAction(Tr(caption));
    a->setObjectName(QString::fromLatin1(name));
    a->setCheckable(true);
    a->setChecked(checked);
    return a;
}

QAction* Command(QMenu* menu, const char* name, const char* caption) {
    QAction* a = menu->addAction(Tr(caption));
    a->setObjectName(QString::fromLatin1(name));
    return a;
}

bool InsideWindow(QObject* o, const QWidget* window) {
    auto* w = qobject_cast<QWidget*>(o);
    return w && w->window() == window;
}

// NTFS devices exist and the first cannot be read directly.
bool NtfsDevicesReadable(bool runningAs) {
    std::vector<TMountInfo> ntfs;
    for (const TMountInfo& m : ReadMountTable())
        if (MayBeNtfsMount(m.FsType) && m.FsType.rfind("fuse", 0) != 0) ntfs.push_back(m);
    if (ntfs.empty()) return true;
    return HasVolumeAccess(true, runningAs, ntfs);
}

} // namespace

TShell::TShell(TfrmQuarzelMain& window, TWindowSettings& settings, TWindowStart& start)
    : QObject(&window), FWindow(window), FSettings(settings), FStart(start),
      FTheme(std::make_unique<TThemeManager>()),
      FLanguages(std::make_unique<TLanguageSwitch>(QString::fromStdString(LocaleFolder()))),
      FUpdates(
          std::make_unique<TUpdateClient>([this](const TUpdateResult& r) { OnUpdateResult(r); })),
      FUpdateEndpoint(UpdateEndpoint(settings.Values().UpdateUrl)) {
    RunDialog = [](QDialog& d) { return d.exec(); };
    ShowError = [this](const QString& m) {
        QMessageBox::critical(&FWindow, QStringLiteral("Quarzel"), m);
    };
    ShowInfo = [this](const QString& m) {
        QMessageBox::information(&FWindow, QStringLiteral("Quarzel"), m);
    };
    AskYesNo = [this](const QString& q) {
        return QMessageBox::question(&FWindow, QStringLiteral("Quarzel"), q,
                                     QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    OpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    RestartElevated = [this](QString& error) {
        return RestartElevatedDetached(FWindow.ScanControl()->CurrentDrive(),
                                       FStart.CommandLine.OptionArguments(), error);
    };
    HasVolumeAccess = [this] { return NtfsDevicesReadable(FStart.Options.RunningAs); };
    Relaunch = [this] {
        QStringList args;
        for (const std::string& a : FStart.CommandLine.Arguments())
            args << QString::fromLocal8Bit(a.c_str());
        QProcess::startDetached(QString::fromStdString(ProgramPath()), args);
    };
    RegisterIntegration = [this](bool on, std::function<void(bool, QString)> done) {
        // File writes and the MIME database refresh run off the user-interface thread.
        QPointer<TShell> self(this);
        const std::string program = ProgramPath();
        QThreadPool::globalInstance()->start([self, on, program, done] {
            std::string error;
            const bool ok =
                RegisterExplorerIntegration(on, program, UserIntegrationPlaces(), &error);
            QMetaObject::invokeMethod(QCoreApplication::instance(), [self, ok, error, done] {
                if (self) done(ok, QString::fromStdString(error));
            });
        });
    };

    FTheme->SetupQuarzelTheme(settings.Values().UITheme, settings.Values().UseClassicTheme);
    FLanguages->LoadQtCatalogue();

    // The bars go above everything else in the window.
    FUpdateBar = new TUpdateBar(FWindow.centralWidget());
    FWarningBar = new TWarningBar(FWindow.centralWidget());
    if (auto* layout = qobject_cast<QVBoxLayout*>(FWindow.centralWidget()->layout())) {
        layout->insertWidget(0, FUpdateBar);
        layout->insertWidget(1, FWarningBar);
    }
    FWarningBar->hide();
    connect(FLanguages.get(), &TLanguageSwitch::languageChanged, FUpdateBar,
            &TUpdateBar::Retranslate);
    connect(FLanguages.get(), &TLanguageSwitch::languageChanged, this, [this] {
        FWindow.ScanControl()->Retranslate();
        FWindow.RefreshSelectionStatus();
    });
    connect(FUpdateBar, &TUpdateBar::viewUpdate, this, [this](const QString& url) {
        if (!url.isEmpty()) OpenUrl(url);
    });

    CreateActions();
    FSettings.OnRestore([this](TWindowSettings& s) { RestorePlacement(s); });
    FSettings.OnSave([this](TWindowSettings& s) { SavePlacement(s); });
    qApp->installEventFilter(this);
}

TShell::~TShell() {
    qApp->removeEventFilter(this);
}

void TShell::CreateActions() {
    const TMainSettings& v = FSettings.Values();
    QMenu* file = FWindow.mnuFile;
    QMenu* options = FWindow.mnuOptions;
    const bool updates = !FUpdateEndpoint.empty();

    // File menu, before its separator and "Exit".
    QAction* exitSeparator = nullptr;
    for (QAction* a : file->actions())
        if (a->isSeparator()) exitSeparator = a;
    actCheckForUpdatesNow = new QAction(Tr("Check for updates now"), this);
    actCheckForUpdatesNow->setObjectName(QStringLiteral("actCheckForUpdatesNow"));
    actCheckForUpdatesNow->setVisible(updates);
    actRestartAsAdmin = new QAction(Tr("Restart as Administrator"), this);
    actRestartAsAdmin->setObjectName(QStringLiteral("actRestartAsAdmin"));
    actResetConfig = new QAction(Tr("Reset configuration to defaults..."), this);
    actResetConfig->setObjectName(QStringLiteral("actResetConfig"));
    file->insertActions(exitSeparator, {actCheckForUpdatesNow, actRestartAsAdmin, actResetConfig});

    options->addSeparator();
    actTweaks = Command(options, "actTweaks", N_("Tweaks..."));
    actLanguage = Command(options, "actLanguage", N_("Language..."));
    mnuTheme = options->addMenu(Tr("Theme"));
    mnuTheme->setObjectName(QStringLiteral("mnuTheme"));
    FThemeGroup = new QActionGroup(this);
    actThemeAuto = Checkable(mnuTheme, "actThemeAuto", N_("Auto"), v.UITheme == 0);
    actThemeLight = Checkable(mnuTheme, "actThemeLight", N_("Light"), v.UITheme == 1);
    actThemeDark = Checkable(mnuTheme, "actThemeDark", N_("Dark"), v.UITheme == 2);
    for (QAction* a : {actThemeAuto, actThemeLight, actThemeDark}) FThemeGroup->addAction(a);
    options->addSeparator();
    actCheckForUpdates =
        Checkable(options, "actCheckForUpdates", N_("Check for updates"), v.CheckForUpdates);
    actCheckForUpdates->setVisible(updates);
    actWindowsContextMenu = Checkable(options, "actWindowsContextMenu",
                                      N_("File manager context menu"), v.WindowsContextMenu);
    actRunAsAdmin =
        Checkable(options, "actRunAsAdmin", N_("Always Run as Administrator"), v.RunAsAdmin);

    connect(actTweaks, &QAction::triggered, this, &TShell::actTweaksExecute);
    connect(actLanguage, &QAction::triggered, this, &TShell::actLanguageExecute);
    connect(actThemeAuto, &QAction::triggered, this, [this] { SetUITheme(0); });
    connect(actThemeLight, &QAction::triggered, this, [this] { SetUITheme(1); });
    connect(actThemeDark, &QAction::triggered, this, [this] { SetUITheme(2); });
    connect(actCheckForUpdatesNow, &QAction::triggered, this,
            [this] { CheckForUpdate(true, true); });
    connect(actCheckForUpdates, &QAction::triggered, this, [this](bool on) {
        FSettings.Values().CheckForUpdates = on;
        FSettings.SaveSettingsNow();
    });
    connect(actWindowsContextMenu, &QAction::triggered, this,
            &TShell::actWindowsContextMenuExecute);
    connect(actRunAsAdmin, &QAction::triggered, this, &TShell::actRunAsAdminExecute);
    connect(actRestartAsAdmin, &QAction::triggered, this, &TShell::actRestartAsAdminExecute);
    connect(actResetConfig, &QAction::triggered, this, &TShell::actResetConfigExecute);

    connect(FWarningBar->btnRestart, &QPushButton::clicked, actRestartAsAdmin, &QAction::trigger);
    connect(FWarningBar->cbDontShowWarning, &QCheckBox::clicked, this, [this](bool on) {
        FSettings.Values().DontShowWarning = on;
        FWarningBar->ApplyDontShow(on);
        FSettings.SaveSettingsNow();
    });
    // No restart while a scan runs.
    connect(FWindow.ScanControl(), &TScanControl::scanStarted, this, [this] {
        FWarningBar->btnRestart->setEnabled(false);
        actRestartAsAdmin->setEnabled(false);
    });
    connect(FWindow.ScanControl(), &TScanControl::scanFinished, this, [this] {
        FWarningBar->btnRestart->setEnabled(true);
        actRestartAsAdmin->setEnabled(true);
    });
}

void TShell::FirstShow() {
    FSettings.Restore();
    FWarningBar->setVisible(!HasVolumeAccess());
    FWarningBar->ApplyDontShow(FSettings.Values().DontShowWarning);
    SyncIntegration(false);
    CheckForUpdate(false, false);
    if (!FStart.SettingsWarnings.empty()) {
        QStringList warnings;
        for (const std::string& w : FStart.SettingsWarnings) warnings << QString::fromStdString(w);
        FWindow.ScanStatus()->SetStatus(
            Tr("Some settings could not be read; their defaults are used") + QStringLiteral(": ") +
            warnings.join(QStringLiteral("; ")));
    }
}

void TShell::Closing() {
    FSettings.Save();
}

// ---------------------------------------------------------------- stored state

void TShell::RestorePlacement(TWindowSettings& s) {
    TMainSettings& v = s.Values();
    s.RestoreWindow(&FWindow);
    s.RestoreHeader(QStringLiteral("col"), FWindow.Tree()->header());
    // The panels' sizes: the treemap's height below the tree, the file types' width beside it.
    auto place = [](QSplitter* sp, int second) {
        const QList<int> sizes = sp->sizes();
        if (second <= 0 || sizes.size() != 2) return;
        const int total = std::max(sizes[0] + sizes[1], second + 60);
        sp->setSizes({total - second, second});
    };
    place(FWindow.spTreemap, v.TreemapPanelHeight);
    place(FWindow.spExt, v.ExtPanelWidth);
    if (v.PageIndex >= 0 && v.PageIndex < FWindow.pcMain->count())
        FWindow.pcMain->setCurrentIndex(v.PageIndex);
}

void TShell::SavePlacement(TWindowSettings& s) {
    TMainSettings& v = s.Values();
    s.SaveWindow(&FWindow);
    s.SaveHeader(QStringLiteral("col"), FWindow.Tree()->header());
    const QList<int> treemap = FWindow.spTreemap->sizes();
    if (treemap.size() == 2 && FWindow.panTreemap->isVisible()) v.TreemapPanelHeight = treemap[1];
    const QList<int> ext = FWindow.spExt->sizes();
    if (ext.size() == 2 && FWindow.panExt->isVisible()) v.ExtPanelWidth = ext[1];
    v.PageIndex = FWindow.pcMain->currentIndex();
    v.TreeSortColumn = FWindow.Tree()->Tree().SortColumn();
    v.FontHeight = FWindow.Tree()->TreeFontHeight();
    v.Language = CurrentLanguage();
}

// ---------------------------------------------------------------- settings dialog

void TShell::actTweaksExecute() {
    TfrmTweaks dialog(FSettings.Values(), &FWindow);
    if (RunDialog(dialog) != QDialog::Accepted) return;
    const TMainSettings before = FSettings.Values();
    FSettings.Values() = dialog.Values();
    WriteTweaks(FSettings.Ini(), FSettings.Values());
    ApplyTweaks(before);
    FSettings.SaveSettingsNow();
}

void TShell::ApplyTweaks(const TMainSettings& before) {
    const TMainSettings& v = FSettings.Values();
    if (v.UseClassicTheme != before.UseClassicTheme)
        FTheme->SetupQuarzelTheme(v.UITheme, v.UseClassicTheme);
    TTreeView* tree = FWindow.Tree();
    tree->setAlternatingRowColors(v.AltRowColors > 0);
    TScanControl* sc = FWindow.ScanControl();
    sc->FullScanNTFSIfPossible = v.FullScanNTFSIfPossible;
    sc->FileNodeMinGroupSize = v.FileNodeMinGroupSize;
    sc->BaseOptions.ShowMaxModifiedDate = v.ShowMaxModifiedDate;
    if (v.DecimalPlaces != before.DecimalPlaces) FWindow.SetDecimalPlaces(v.DecimalPlaces);
    FWindow.FileActions()->EnableDragDrop = v.EnableDragDrop;
    FWindow.FileActions()->EnableDoubleClickOpen = v.EnableDoubleClickOpen;
    FWindow.ChangeMonitor()->SetEnabled(v.MonitorFileSystemForChanges);
    tree->viewport()->update();
}

// ---------------------------------------------------------------- language

void TShell::actLanguageExecute() {
    const QString folder = FLanguages->LocaleFolder();
    const bool own = folder == QString::fromStdString(ProgramFolder() + "/locale");
    TfrmSelectLanguage dialog(folder, QString::fromStdString(CurrentLanguage()), own, &FWindow);
    if (RunDialog(dialog) != QDialog::Accepted) return;
    ApplyLanguage(dialog.SelectedLanguageCode());
}

void TShell::ApplyLanguage(const QString& code) {
    FLanguages->Switch(code);
    FSettings.Values().Language = code.toStdString();
    FSettings.SaveSettingsNow();
    FWindow.RefreshSelectionStatus();
    FWindow.Tree()->viewport()->update();
}

// ---------------------------------------------------------------- look

void TShell::SetUITheme(int theme) {
    FSettings.Values().UITheme = theme;
    FTheme->SetupQuarzelTheme(theme, FSettings.Values().UseClassicTheme);
    (theme == 2 ? actThemeDark : theme == 1 ? actThemeLight : actThemeAuto)->setChecked(true);
    FSettings.SaveSettingsNow();
}

void TShell::ChangeFontHeight(int steps) {
    TTreeView* tree = FWindow.Tree();
    const int before = tree->TreeFontHeight();
    tree->SetTreeFontHeight(before + steps);
    if (tree->TreeFontHeight() == before) return;
    // The window stores the height when the tree reports it.
    emit tree->treeFontHeightChanged(tree->TreeFontHeight());
}

bool TShell::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Wheel && InsideWindow(watched, &FWindow)) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            // The tree changes its own font; its viewport gets the event first.
            QWidget* tree = FWindow.Tree();
            auto* w = qobject_cast<QWidget*>(watched);
            if (w == tree || tree->isAncestorOf(w)) {
                // Saved when the tree reports the change.
                return false;
            }
            const int steps = wheel->angleDelta().y() / 120;
            if (steps != 0) ChangeFontHeight(steps);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

// ---------------------------------------------------------------- update check

void TShell::CheckForUpdate(bool force, bool report) {
    TMainSettings& v = FSettings.Values();
    const TUpdateCheckPlan plan = PlanUpdateCheck(FUpdateEndpoint, v.CheckForUpdates, force,
                                                  v.LastUpdateCheck, TodayDayNumber());
    if (!plan.Send) return;
    v.LastUpdateCheck = plan.LastUpdateCheck;
    FSettings.SaveSettingsNow();
    FUpdates->Start(plan.Url, report);
}

void TShell::OnUpdateResult(const TUpdateResult& r) {
    switch (r.Kind) {
    case TUpdateResult::TKind::UpdateFound:
        FUpdateBar->ShowUpdate(QString::fromStdString(r.Reply.Version),
                               QString::fromStdString(r.Reply.InfoUrl));
        break;
    case TUpdateResult::TKind::NoUpdate:
        if (r.Report) ShowInfo(Tr("No update was found."));
        break;
    case TUpdateResult::TKind::Failed:
        if (r.Report)
            ShowError(Tr("An error occurred while checking for updates:") + QStringLiteral(" ") +
                      QString::fromStdString(r.Error));
        break;
    }
}

// ---------------------------------------------------------------- desktop integration

void TShell::SyncIntegration(bool report) {
    const bool on = FSettings.Values().WindowsContextMenu;
    QPointer<TShell> self(this);
    RegisterIntegration(on, [self, report](bool ok, QString error) {
        if (!ok && self && report)
            self->ShowError(Tr("Updating the file manager context menu failed:") +
                            QStringLiteral(" ") + error);
    });
}

void TShell::actWindowsContextMenuExecute() {
    FSettings.Values().WindowsContextMenu = actWindowsContextMenu->isChecked();
    SyncIntegration(true);
    FSettings.SaveSettingsNow();
}

// ---------------------------------------------------------------- elevation

void TShell::actRunAsAdminExecute() {
    FSettings.Values().RunAsAdmin = actRunAsAdmin->isChecked();
    FSettings.SaveSettingsNow();
    if (actRunAsAdmin->isChecked() && !HasVolumeAccess()) actRestartAsAdminExecute();
}

void TShell::actRestartAsAdminExecute() {
    QString error;
    if (!RestartElevated(error)) {
        // Without a relaunch the window stays: closing it would leave the user with nothing.
        ShowError(Tr("Cannot restart as Administrator:") + QStringLiteral(" ") + error);
        return;
    }
    FWindow.close();
}

void TShell::actResetConfigExecute() {
    if (!AskYesNo(Tr("Reset the configuration to default values") + QStringLiteral("?"))) return;
    const std::string file = FSettings.Ini().FileName();
    if (!file.empty() && ::unlink(file.c_str()) != 0 && errno != ENOENT) {
        ShowError(Tr("Could not clear the configuration") + QStringLiteral(" \"") +
                  QString::fromStdString(file) + QStringLiteral("\": ") +
                  QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    DebugLog("Restarting with 64 bit version");
    FSettings.Disable();
    Relaunch();
    FWindow.close();
}

} // namespace qz

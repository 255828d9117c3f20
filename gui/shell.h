// The application shell's part of the window: the settings dialog, reset to defaults, the
// look (theme menu, classic variant, Ctrl + mouse wheel), the language dialog, the update check
// with its bar, the file managers' context menu option, and the elevation bar and options.
//
// The main window creates it once its panels exist, calls FirstShow at its first showing
// (restores the stored state, applies the look, syncs the desktop integration, starts the
// daily update check) and Closing when it closes (saves the settings).
#pragma once

#include "app/settings.h"
#include "app/updateclient.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QDialog;
class QMenu;

namespace qz {

class TfrmQuarzelMain;
class TLanguageSwitch;
class TThemeManager;
class TUpdateBar;
class TWarningBar;
class TWindowSettings;
struct TWindowStart;

class TShell : public QObject {
    Q_OBJECT
public:
    TShell(TfrmQuarzelMain& window, TWindowSettings& settings, TWindowStart& start);
    ~TShell() override;

    void FirstShow();
    void Closing();

    // ---- actions (File and Options menus)
    QAction* actTweaks;
    QAction* actLanguage;
    QAction* actCheckForUpdatesNow;
    QAction* actCheckForUpdates;
    QAction* actThemeAuto;
    QAction* actThemeLight;
    QAction* actThemeDark;
    QAction* actWindowsContextMenu;
    QAction* actRunAsAdmin;
    QAction* actRestartAsAdmin;
    QAction* actResetConfig;
    QMenu* mnuTheme;

    TUpdateBar* UpdateBar() { return FUpdateBar; }
    TWarningBar* WarningBar() { return FWarningBar; }
    TThemeManager& Theme() { return *FTheme; }
    TLanguageSwitch& Languages() { return *FLanguages; }
    TUpdateClient& Updates() { return *FUpdates; }

    // ---- handlers
    void actTweaksExecute();
    void actLanguageExecute();
    void ApplyLanguage(const QString& code); // after the language dialog's OK
    void CheckForUpdate(bool force, bool report);
    void SetUITheme(int theme);
    void actWindowsContextMenuExecute();
    void actRunAsAdminExecute();
    void actRestartAsAdminExecute();
    void actResetConfigExecute();
    // Ctrl + mouse wheel anywhere in the window: the grid font by one point per notch.
    void ChangeFontHeight(int steps);

    // ---- what the user sees and answers (tests replace them)
    std::function<int(QDialog&)> RunDialog;        // exec() by default
    std::function<void(const QString&)> ShowError; // an error box
    std::function<void(const QString&)> ShowInfo;  // an information box
    std::function<bool(const QString&)> AskYesNo;  // a question
    std::function<void(const QString&)> OpenUrl;   // the browser
    std::function<bool(QString&)> RestartElevated; // pkexec; false with the error
    std::function<bool()> HasVolumeAccess;         // raw NTFS reads possible
    std::function<void()> Relaunch;                // the reset's restart of the program
    std::function<void(bool on, std::function<void(bool, QString)> done)> RegisterIntegration;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void RestorePlacement(TWindowSettings& s);
    void SavePlacement(TWindowSettings& s);
    void ApplyTweaks(const TMainSettings& before);
    void OnUpdateResult(const TUpdateResult& r);
    void SyncIntegration(bool report);

    TfrmQuarzelMain& FWindow;
    TWindowSettings& FSettings;
    TWindowStart& FStart;
    std::unique_ptr<TThemeManager> FTheme;
    std::unique_ptr<TLanguageSwitch> FLanguages;
    std::unique_ptr<TUpdateClient> FUpdates;
    TUpdateBar* FUpdateBar = nullptr;
    TWarningBar* FWarningBar = nullptr;
    QActionGroup* FThemeGroup = nullptr;
    std::string FUpdateEndpoint;
};

} // namespace qz

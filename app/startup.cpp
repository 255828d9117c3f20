#include "app/startup.h"

#include "app/appstate.h"
#include "app/configfile.h"
#include "app/desktopintegration.h"
#include "app/environment.h"
#include "app/headless.h"
#include "app/interrupt.h"
#include "app/presence.h"
#include "app/progressline.h"
#include "app/stdstreams.h"
#include "app/volumeaccess.h"
#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "sources/sources.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <sys/stat.h>

namespace qz {

bool HeadlessMode = false;
TDateTime StartTime = 0;

namespace {

std::atomic<bool> gInterrupted{false};

// Qt's own messages (font and platform notes of the off-screen drawing) go to the debug log,
// not onto the terminal of a headless run; fatal ones still reach standard error.
void QtMessageToLog(QtMsgType type, const QMessageLogContext&, const QString& message) {
    const std::string text = "Qt: " + message.toStdString();
    DebugLog(text);
    if (type == QtFatalMsg) std::fprintf(stderr, "quarzel: %s\n", text.c_str());
}

// Standard output written by --help and --version: a write that failed (a full disk, a
// closed descriptor) is a failure of the run.
int FinishStandardOutput() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return kExitOk;
    const int err = errno;
    std::fprintf(stderr, "quarzel: cannot write standard output: %s\n", std::strerror(err));
    return kExitFailed;
}

// The device a headless dump (or an --admin run) would read: the path itself when it is a
// block device, the device of a mount point, else nothing.
std::string DeviceOfPath(const std::string& path, const std::vector<TMountInfo>& mounts) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return {};
    if (S_ISBLK(st.st_mode)) return path;
    if (S_ISDIR(st.st_mode))
        if (const TMountInfo* m = MountAt(mounts, NormalizePath(path)))
            if (!m->Source.empty() && m->Source[0] == '/') return m->Source;
    return {};
}

} // namespace

void PrintUsage(std::FILE* out) {
    std::fprintf(
        out, "%s",
        "Usage: quarzel [PATH] [OPTION]...\n"
        "Shows where the space goes in PATH: a folder, an NTFS image file or block device (read\n"
        "through its Master File Table), an MFT dump (.mft) or a CSV/TSV export (.csv, .tsv).\n"
        "With one of the output options the scan runs without a window, writes the outputs\n"
        "(export, file types, treemap image) and ends.\n"
        "\n"
        "An option with a value is written --key=VALUE or --key VALUE; a switch is written\n"
        "--key (on) or --key=0 (off).\n"
        "\n"
        "Outputs (\"%d\" and \"%t\" in a name stand for the start date and time; no output may\n"
        "name PATH, the settings file or another output):\n"
        "  --export=FILE              CSV export of the tree (.tsv: tab-separated; - : standard "
        "output)\n"
        "  --exportfiletypes=FILE     CSV of the file types and their space\n"
        "  --treemapimagefile=FILE    treemap as a PNG image (the name gets \".png\")\n"
        "  --dumpmftfile=FILE         write the MFT of the NTFS volume PATH to FILE instead of "
        "scanning\n"
        "                             (a name without extension gets \".mft\")\n"
        "\n"
        "Filters:\n"
        "  --filter=TEXT              show only what matches (' stands for \", '' for ')\n"
        "  --filterexclude=TEXT       leave out what matches\n"
        "  --filterfullpath=0         match names only (default: whole paths)\n"
        "\n"
        "Export:\n"
        "  --exportfolders=0, --exportfiles=0   leave out folder or file rows\n"
        "  --exportmftrecno, --exportalldates, --exportallsizes, --exportsplitfilename,\n"
        "  --exportpercentofparent              add columns\n"
        "  --exportdrivecapacity=0              leave out the drive capacity columns\n"
        "  --exportmaxdepth=N, --exportlimit=N  deepest folder level, most rows (0: no limit)\n"
        "  --sortby=N                 0 name, 1 size, 2 allocated, 3 modified\n"
        "  --sortbyfiletypes=N        0 type, 1 size (default), 2 allocated\n"
        "\n"
        "Treemap image:\n"
        "  --treemapimagewidth=N, --treemapimageheight=N   size in pixels (1920 x 1080)\n"
        "  --treemapimagegray, --treemapimagefreespace, --treemapimageshowallocated\n"
        "\n"
        "Program:\n"
        "  --configfolder=DIR         folder of the settings file Quarzel3.ini (and of the\n"
        "                             debug logs); default: beside the program when a\n"
        "                             Quarzel3.ini or Quarzel3.portable is there, else\n"
        "                             $XDG_CONFIG_HOME/Quarzel3\n"
        "  --admin                    ask for root (pkexec) when NTFS devices cannot be read\n"
        "  --debug                    write a debug log\n"
        "  -setlanguage CODE          store the language and end\n"
        "  -install, -uninstall       add or remove the desktop entry, the .mft file type and\n"
        "                             the file managers' folder actions (for this user)\n"
        "  --help, --version\n"
        "\n"
        "Exit status: 0 when everything asked for was written, 1 when the scan or an output\n"
        "failed, 2 when the command line cannot be carried out.\n");
}

int QuarzelMain(int argc, char** argv, TWindowEntry window) {
    // Before anything is opened: a closed 0, 1 or 2 would be handed to the first file opened.
    if (!EnsureStandardDescriptors()) return kExitFailed;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const TCommandLine cl(std::move(args));
    if (cl.Help()) {
        PrintUsage(stdout);
        return FinishStandardOutput();
    }
    if (cl.Version()) {
        std::printf("quarzel %s\n", QZ_VERSION);
        return FinishStandardOutput();
    }
    for (const std::string& w : cl.Warnings())
        std::fprintf(stderr, "quarzel: warning: %s\n", w.c_str());
    if (!cl.Errors().empty()) {
        for (const std::string& e : cl.Errors()) std::fprintf(stderr, "quarzel: %s\n", e.c_str());
        std::fprintf(stderr, "Try 'quarzel --help' for more information.\n");
        return kExitUsage;
    }

    const TStartupOptions opt = ReadStartupOptions(cl);
    TConfigEnvironment env;
    env.ConfigFolderOption = opt.ConfigFolder;
    env.ProgramPath = ProgramPath();
    env.UserDataFolder = UserDataFolder();
    const TConfigLocation loc = GetConfigFileName(env);
    // The log lives beside the settings the user chose.
    if (opt.Debug) EnableDebugLog(DebugLogFolder(loc.FileName));
    DebugLog("Quarzel32 4.25 Start");
    DebugLog("User: " + UserName());
    DebugLog("Options:" + cl.GetOptionArguments());
    if (!loc.LogLine.empty()) DebugLog(loc.LogLine);
    DebugLog("Settings file: " + loc.FileName);
    const std::string defaultLanguage = DefaultLanguageCode(LocaleFolder());
    DebugLog("DefaultLanguageCode=" + defaultLanguage);

    if (cl.Uninstall() || cl.Install()) {
        // The desktop entries, the .mft file type and the file managers' folder actions.
        DebugLog(cl.Install() ? "Install" : "Uninstall");
        std::string error;
        if (!RegisterExplorerIntegration(cl.Install(), ProgramPath(), UserIntegrationPlaces(),
                                         &error)) {
            std::fprintf(stderr, "quarzel: %s\n", error.c_str());
            return kExitFailed;
        }
        return kExitOk;
    }

    StripIniBOM(loc.FileName);
    const bool setLanguage = cl.SetLanguage() && !cl.SetLanguageCode().empty();
    const bool headless = opt.Headless() && !setLanguage;
    TSettingsStore store(loc.FileName, loc.Portable, headless);
    switch (store.Ini().LoadState()) {
    case TIniFile::TLoadState::Corrupt:
        std::fprintf(stderr,
                     "quarzel: warning: the settings file %s is damaged; defaults are used\n",
                     loc.FileName.c_str());
        break;
    case TIniFile::TLoadState::Unreadable:
        std::fprintf(stderr,
                     "quarzel: warning: the settings file %s cannot be read (%s); defaults are "
                     "used\n",
                     loc.FileName.c_str(), store.Ini().LoadError().c_str());
        break;
    default:
        break;
    }
    std::vector<std::string> settingsWarnings;
    const TMainSettings settings = store.Load(&settingsWarnings);
    for (const std::string& w : settingsWarnings)
        std::fprintf(stderr, "quarzel: warning: settings file %s: %s\n", loc.FileName.c_str(),
                     w.c_str());
    bool forceElevation = settings.RunAsAdmin;
    if (setLanguage) {
        std::string error;
        if (store.Ini().ReadOnly()) // a file that could not be read is never written over
            error = "the settings file " + loc.FileName + " cannot be read";
        store.Ini().WriteString(kMainSection, "language", cl.SetLanguageCode());
        if (!error.empty() || !store.Ini().UpdateFile(&error)) {
            std::fprintf(stderr, "quarzel: cannot store the language: %s\n", error.c_str());
            return kExitFailed;
        }
        return kExitOk;
    }
    const std::string language = settings.Language.empty() ? defaultLanguage : settings.Language;
    DebugLog("Language=" + language);
    if (!ActivateLanguage(language, LocaleFolder()))
        DebugLog("No catalogue for " + language + " in " + LocaleFolder());

    StartTime = NowLocal();
    HeadlessMode = headless;
    if (!HeadlessMode) {
        if (!window) {
            std::fprintf(stderr, "quarzel: this build has no window; ask for an output "
                                 "(--export=FILE, --treemapimagefile=FILE, ...) to scan without "
                                 "it (see --help)\n");
            return kExitUsage;
        }
        DebugLog("Creating Mutex");
        TPresenceLock presence;
        RegisterSources();
        TWindowStart start{argc, argv, cl, opt, store, settings, HomeFolder(), StartTime};
        if (store.Ini().LoadState() == TIniFile::TLoadState::Damaged)
            start.SettingsWarnings.push_back(std::to_string(store.Ini().BadLines()) +
                                             " damaged line(s) left out, the first is line " +
                                             std::to_string(store.Ini().FirstBadLine()));
        start.SettingsWarnings.insert(start.SettingsWarnings.end(), settingsWarnings.begin(),
                                      settingsWarnings.end());
        const int code = window(start);
        DebugLog("Quarzel terminating, exit code " + std::to_string(code));
        return code;
    }

    THeadlessRun run;
    run.CommandLine = &cl;
    run.Options = &opt;
    run.Settings = &settings;
    run.Mounts = ReadMountTable();
    run.StartTime = StartTime;
    run.ProgressLine = TProgressLine::IsTerminal(stderr);
    run.Interrupt = &gInterrupted;
    run.RunFiles = {{"the settings file", loc.FileName}, {"the debug log", DebugLogPath()}};

    // In a headless run the stored "always run as root" choice does not apply: only a dump
    // needs the device, and an image file needs no root at all.
    const std::string path = cl.GetPathArgument(1);
    const std::string device = DeviceOfPath(path, run.Mounts);
    forceElevation = !opt.DumpMFTFile.empty() && !device.empty();
    if ((opt.Admin || forceElevation) &&
        !HasVolumeAccess(true, opt.RunningAs, run.Mounts, device)) {
        std::string error;
        RestartElevated(ElevatedArguments(ProgramPath(), path, cl.OptionArguments()), error);
        std::fprintf(stderr, "quarzel: warning: %s; going on without root\n", error.c_str());
    }

    DebugLog("Creating Mutex");
    TPresenceLock presence;

    RegisterSources();
    run.List = GetDrives(run.Mounts, settings.CustomFolders, HomeFolder());
    InstallInterruptHandlers(gInterrupted);
    qInstallMessageHandler(QtMessageToLog);
    int code = kExitFailed;
    try {
        code = ProcessCommandLine(run);
    } catch (const std::exception& e) {
        // Every expected failure is reported where it happens; this is the last guard.
        std::fprintf(stderr, "quarzel: %s\n", e.what());
        DebugLog(std::string("Ended by an error: ") + e.what());
    }
    DebugLog("Quarzel terminating, exit code " + std::to_string(code));
    return code;
}

} // namespace qz

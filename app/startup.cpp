#include "app/startup.h"

#include "app/appstate.h"
#include "app/configfile.h"
#include "app/environment.h"
#include "app/headless.h"
#include "app/presence.h"
#include "app/progressline.h"
#include "app/volumeaccess.h"
#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "sources/sources.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <csignal>
#include <cstring>
#include <sys/stat.h>

namespace qz {

bool HeadlessMode = false;
TDateTime StartTime = 0;

namespace {

std::atomic<bool> gInterrupted{false};

void OnInterrupt(int) {
    gInterrupted.store(true);
}

// Qt's own messages (font and platform notes of the off-screen drawing) go to the debug log,
// not onto the terminal of a headless run; fatal ones still reach standard error.
void QtMessageToLog(QtMsgType type, const QMessageLogContext&, const QString& message) {
    const std::string text = "Qt: " + message.toStdString();
    DebugLog(text);
    if (type == QtFatalMsg) std::fprintf(stderr, "quarzel: %s\n", text.c_str());
}

void InstallInterruptHandlers() {
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sa.sa_flags = SA_RESETHAND; // a second interrupt ends the process at once
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
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
        "Outputs (\"%d\" and \"%t\" in a name stand for the start date and time):\n"
        "  --export=FILE              CSV export of the tree (.tsv: tab-separated; - : standard "
        "output)\n"
        "  --exportfiletypes=FILE     CSV of the file types and their space\n"
        "  --treemapimagefile=FILE    treemap as a PNG image\n"
        "  --dumpmftfile=FILE         write the MFT of the NTFS volume PATH to FILE instead of "
        "scanning\n"
        "\n"
        "Filters:\n"
        "  --filter=TEXT              show only what matches (' stands for \", '' for ')\n"
        "  --filterexclude=TEXT       leave out what matches\n"
        "  --filterfullpath=0         match names only (default: whole paths)\n"
        "\n"
        "Export:\n"
        "  --exportfolders=0, --exportfiles=0   leave out folder or file rows\n"
        "  --exportmftrecno=1, --exportalldates=1, --exportallsizes=1, --exportsplitfilename=1,\n"
        "  --exportpercentofparent=1            add columns\n"
        "  --exportdrivecapacity=0              leave out the drive capacity columns\n"
        "  --exportmaxdepth=N, --exportlimit=N  deepest folder level, most rows (0: no limit)\n"
        "  --sortby=N                 0 name, 1 size, 2 allocated, 3 modified\n"
        "  --sortbyfiletypes=N        0 type, 1 size (default), 2 allocated\n"
        "\n"
        "Treemap image:\n"
        "  --treemapimagewidth=N, --treemapimageheight=N   size in pixels (1920 x 1080)\n"
        "  --treemapimagegray=1, --treemapimagefreespace=1, --treemapimageshowallocated=1\n"
        "\n"
        "Program:\n"
        "  --configfolder=DIR         folder of the settings file Quarzel3.ini\n"
        "  --admin=1                  ask for root (pkexec) when NTFS devices cannot be read\n"
        "  --debug                    write a debug log\n"
        "  -setlanguage CODE          store the language and end\n"
        "  --help, --version\n"
        "\n"
        "Exit status: 0 when everything asked for was written, 1 when the scan or an output\n"
        "failed, 2 when the command line cannot be carried out.\n");
}

int QuarzelMain(int argc, char** argv, TWindowEntry window) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    const TCommandLine cl(std::move(args));
    if (cl.Help()) {
        PrintUsage(stdout);
        return kExitOk;
    }
    if (cl.Version()) {
        std::printf("quarzel %s\n", QZ_VERSION);
        return kExitOk;
    }
    for (const std::string& w : cl.Warnings())
        std::fprintf(stderr, "quarzel: warning: %s\n", w.c_str());

    const TStartupOptions opt = ReadStartupOptions(cl);
    if (opt.Debug) EnableDebugLog(DebugLogFolder());
    DebugLog("Quarzel32 4.25 Start");
    DebugLog("User: " + UserName());
    DebugLog("Options:" + cl.GetOptionArguments());
    TConfigEnvironment env;
    env.ConfigFolderOption = opt.ConfigFolder;
    env.ProgramPath = ProgramPath();
    env.UserDataFolder = UserDataFolder();
    const TConfigLocation loc = GetConfigFileName(env);
    if (!loc.LogLine.empty()) DebugLog(loc.LogLine);
    DebugLog("Settings file: " + loc.FileName);
    const std::string defaultLanguage = DefaultLanguageCode(ProgramFolder() + "/locale");
    DebugLog("DefaultLanguageCode=" + defaultLanguage);

    if (cl.Uninstall()) {
        // The file-manager entries are not registered by this build, so none are left to
        // remove.
        DebugLog("Uninstall");
        return kExitOk;
    }

    StripIniBOM(loc.FileName);
    const bool setLanguage = cl.SetLanguage() && !cl.SetLanguageCode().empty();
    const bool headless = opt.Headless() && !setLanguage;
    TSettingsStore store(loc.FileName, loc.Portable, headless);
    if (store.Ini().LoadState() == TIniFile::TLoadState::Corrupt)
        std::fprintf(stderr,
                     "quarzel: warning: the settings file %s is damaged; defaults are used\n",
                     loc.FileName.c_str());
    const TMainSettings settings = store.Load();
    bool forceElevation = settings.RunAsAdmin;
    if (setLanguage) {
        store.Ini().WriteString(kMainSection, "language", cl.SetLanguageCode());
        std::string error;
        if (!store.Ini().UpdateFile(&error)) {
            std::fprintf(stderr, "quarzel: cannot store the language: %s\n", error.c_str());
            return kExitFailed;
        }
        return kExitOk;
    }
    const std::string language = settings.Language.empty() ? defaultLanguage : settings.Language;
    DebugLog("Language=" + language);

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
    InstallInterruptHandlers();
    qInstallMessageHandler(QtMessageToLog);
    const int code = ProcessCommandLine(run);
    DebugLog("Quarzel terminating, exit code " + std::to_string(code));
    return code;
}

} // namespace qz

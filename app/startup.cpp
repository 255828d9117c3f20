#include "app/startup.h"

#include "app/appstate.h"
#include "app/configfile.h"
#include "app/desktopintegration.h"
#include "app/environment.h"
#include "app/headless.h"
#include "app/inifile.h"
#include "app/interrupt.h"
#include "app/presence.h"
#include "app/progressline.h"
#include "app/stdstreams.h"
#include "app/volumeaccess.h"
#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"

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
    std::fprintf(stderr, "quarzel: %s\n",
                 Format(tr("cannot write standard output: %s"), std::strerror(err)).c_str());
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

namespace {

// One line of the option table: the options as typed, padded to the column where the
// description starts, then the translated description. A description of several lines (a
// translation may need more than the English) continues under that column.
void PrintOption(std::FILE* out, const char* options, const char* description) {
    const size_t column = std::strlen(options);
    std::fputs(options, out);
    for (const char* line = description;;) {
        const char* end = std::strchr(line, '\n');
        std::fwrite(line, 1, end ? size_t(end - line) : std::strlen(line), out);
        std::fputc('\n', out);
        if (!end || end[1] == '\0') break;
        line = end + 1;
        std::fprintf(out, "%*s", int(column), "");
    }
}

} // namespace

void PrintUsage(std::FILE* out) {
    // The texts are cut into paragraphs and single option descriptions so that a translation
    // cannot move the option column; option names and values are never translated.
    std::fputs(tr("Usage: quarzel [PATH] [OPTION]...\n"), out);
    std::fputs(
        tr("Shows where the space goes in PATH: a folder, an NTFS image file or block device "
           "(read\n"
           "through its Master File Table), an MFT dump (.mft) or a CSV/TSV export (.csv, .tsv).\n"
           "With one of the output options the scan runs without a window, writes the outputs\n"
           "(export, file types, treemap image) and ends.\n"),
        out);
    std::fputs("\n", out);
    std::fputs(tr("An option with a value is written --key=VALUE or --key VALUE; a switch is "
                  "written\n"
                  "--key (on) or --key=0 (off).\n"),
               out);
    std::fputs("\n", out);
    // TRANSLATORS: "%d" and "%t" are typed as they stand in an output's name.
    std::fputs(tr("Outputs (\"%d\" and \"%t\" in a name stand for the start date and time; no "
                  "output may\n"
                  "name PATH, the settings file or another output):\n"),
               out);
    PrintOption(out, "  --export=FILE              ",
                tr("CSV export of the tree (.tsv: tab-separated; - : standard output)"));
    PrintOption(out, "  --exportfiletypes=FILE     ", tr("CSV of the file types and their space"));
    PrintOption(out, "  --treemapimagefile=FILE    ",
                tr("treemap as a PNG image (the name gets \".png\")"));
    PrintOption(out, "  --dumpmftfile=FILE         ",
                tr("write the MFT of the NTFS volume PATH to FILE instead of scanning\n"
                   "(a name without extension gets \".mft\")"));
    std::fputs("\n", out);
    std::fputs(tr("Filters:\n"), out);
    PrintOption(out, "  --filter=TEXT              ",
                tr("show only what matches (' stands for \", '' for ')"));
    PrintOption(out, "  --filterexclude=TEXT       ", tr("leave out what matches"));
    PrintOption(out, "  --filterfullpath=0         ",
                tr("match names only (default: whole paths)"));
    std::fputs("\n", out);
    std::fputs(tr("Export:\n"), out);
    PrintOption(out, "  --exportfolders=0, --exportfiles=0   ",
                tr("leave out folder or file rows"));
    std::fputs("  --exportmftrecno, --exportalldates, --exportallsizes, --exportsplitfilename,\n",
               out);
    PrintOption(out, "  --exportpercentofparent              ", tr("add columns"));
    PrintOption(out, "  --exportdrivecapacity=0              ",
                tr("leave out the drive capacity columns"));
    PrintOption(out, "  --exportmaxdepth=N, --exportlimit=N  ",
                tr("deepest folder level, most rows (0: no limit)"));
    PrintOption(out, "  --sortby=N                 ",
                tr("0 name, 1 size, 2 allocated, 3 modified"));
    PrintOption(out, "  --sortbyfiletypes=N        ", tr("0 type, 1 size (default), 2 allocated"));
    std::fputs("\n", out);
    std::fputs(tr("Treemap image:\n"), out);
    PrintOption(out, "  --treemapimagewidth=N, --treemapimageheight=N   ",
                tr("size in pixels (1920 x 1080)"));
    std::fputs("  --treemapimagegray, --treemapimagefreespace, --treemapimageshowallocated\n", out);
    std::fputs("\n", out);
    std::fputs(tr("Program:\n"), out);
    PrintOption(out, "  --configfolder=DIR         ",
                tr("folder of the settings file Quarzel3.ini (and of the\n"
                   "debug logs); default: beside the program when a\n"
                   "Quarzel3.ini or Quarzel3.portable is there, else\n"
                   "$XDG_CONFIG_HOME/Quarzel3"));
    PrintOption(out, "  --admin                    ",
                tr("ask for root (pkexec) when NTFS devices cannot be read"));
    PrintOption(out, "  --debug                    ", tr("write a debug log"));
    PrintOption(out, "  -setlanguage CODE          ", tr("store the language and end"));
    PrintOption(out, "  -install, -uninstall       ",
                tr("add or remove the desktop entry, the .mft file type and\n"
                   "the file managers' folder actions (for this user)"));
    std::fputs("  --help, --version\n", out);
    std::fputs("\n", out);
    std::fputs(tr("Exit status: 0 when everything asked for was written, 1 when the scan or an "
                  "output\n"
                  "failed, 2 when the command line cannot be carried out.\n"),
               out);
}

int QuarzelMain(int argc, char** argv, TWindowEntry window) {
    // Before anything is opened: a closed 0, 1 or 2 would be handed to the first file opened.
    if (!EnsureStandardDescriptors()) return kExitFailed;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    TCommandLine cl(args);
    // The settings file's place and the language come first: every message, --help and the
    // command line's own errors included, is in the user's language.
    const TStartupOptions opt = ReadStartupOptions(cl);
    TConfigEnvironment env;
    env.ConfigFolderOption = opt.ConfigFolder;
    env.ProgramPath = ProgramPath();
    env.UserDataFolder = UserDataFolder();
    const TConfigLocation loc = GetConfigFileName(env);
    const std::string defaultLanguage = DefaultLanguageCode(LocaleFolder());
    {
        // Only the stored language is read here; the settings are loaded (and their damage
        // reported) below, once the language is known.
        const std::string stored = TIniFile(loc.FileName).ReadString(kMainSection, "language");
        ActivateLanguage(stored.empty() ? defaultLanguage : stored, LocaleFolder());
    }
    // The command line words its warnings and errors as it reads them: read it again in the
    // language now active.
    cl.Parse(std::move(args));
    if (cl.Help()) {
        PrintUsage(stdout);
        return FinishStandardOutput();
    }
    if (cl.Version()) {
        std::printf("quarzel %s\n", QZ_VERSION);
        return FinishStandardOutput();
    }
    for (const std::string& w : cl.Warnings())
        std::fprintf(stderr, "quarzel: %s %s\n", tr("warning:"), w.c_str());
    if (!cl.Errors().empty()) {
        for (const std::string& e : cl.Errors()) std::fprintf(stderr, "quarzel: %s\n", e.c_str());
        std::fputs(tr("Try 'quarzel --help' for more information.\n"), stderr);
        return kExitUsage;
    }

    // The log lives beside the settings the user chose.
    if (opt.Debug) EnableDebugLog(DebugLogFolder(loc.FileName));
    DebugLog("Quarzel32 4.25 Start");
    DebugLog("User: " + UserName());
    DebugLog("Options:" + cl.GetOptionArguments());
    if (!loc.LogLine.empty()) DebugLog(loc.LogLine);
    DebugLog("Settings file: " + loc.FileName);
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
        std::fprintf(
            stderr, "quarzel: %s %s\n", tr("warning:"),
            Format(tr("the settings file %s is damaged; defaults are used"), loc.FileName.c_str())
                .c_str());
        break;
    case TIniFile::TLoadState::Unreadable:
        std::fprintf(stderr, "quarzel: %s %s\n", tr("warning:"),
                     Format(tr("the settings file %s cannot be read (%s); defaults are used"),
                            loc.FileName.c_str(), store.Ini().LoadError().c_str())
                         .c_str());
        break;
    default:
        break;
    }
    std::vector<std::string> settingsWarnings;
    const TMainSettings settings = store.Load(&settingsWarnings);
    for (const std::string& w : settingsWarnings)
        std::fprintf(stderr, "quarzel: %s %s\n", tr("warning:"),
                     Format(tr("settings file %s: %s"), loc.FileName.c_str(), w.c_str()).c_str());
    bool forceElevation = settings.RunAsAdmin;
    if (setLanguage) {
        std::string error;
        if (store.Ini().ReadOnly()) // a file that could not be read is never written over
            error = Format(tr("the settings file %s cannot be read"), loc.FileName.c_str());
        store.Ini().WriteString(kMainSection, "language", cl.SetLanguageCode());
        if (!error.empty() || !store.Ini().UpdateFile(&error)) {
            std::fprintf(stderr, "quarzel: %s\n",
                         Format(tr("cannot store the language: %s"), error.c_str()).c_str());
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
            std::fprintf(stderr, "quarzel: %s\n",
                         tr("this build has no window; ask for an output (--export=FILE, "
                            "--treemapimagefile=FILE, ...) to scan without it (see --help)"));
            return kExitUsage;
        }
        DebugLog("Creating Mutex");
        TPresenceLock presence;
        TWindowStart start{argc, argv, cl, opt, store, settings, HomeFolder(), StartTime};
        if (store.Ini().LoadState() == TIniFile::TLoadState::Damaged)
            // "line(s)": one English form for any count; translations give their own forms.
            start.SettingsWarnings.push_back(
                Format(ntr("%d damaged line(s) left out, the first is line %d",
                           "%d damaged line(s) left out, the first is line %d",
                           uint64_t(store.Ini().BadLines())),
                       store.Ini().BadLines(), store.Ini().FirstBadLine()));
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
    run.RunFiles = {{N_("the settings file"), loc.FileName}, {N_("the debug log"), DebugLogPath()}};

    // In a headless run the stored "always run as root" choice does not apply: only a dump
    // needs the device, and an image file needs no root at all.
    const std::string path = cl.GetPathArgument(1);
    const std::string device = DeviceOfPath(path, run.Mounts);
    forceElevation = !opt.DumpMFTFile.empty() && !device.empty();
    if ((opt.Admin || forceElevation) &&
        !HasVolumeAccess(true, opt.RunningAs, run.Mounts, device)) {
        std::string error;
        RestartElevated(ElevatedArguments(ProgramPath(), path, cl.OptionArguments()), error);
        std::fprintf(stderr, "quarzel: %s %s\n", tr("warning:"),
                     Format(tr("%s; going on without root"), error.c_str()).c_str());
    }

    DebugLog("Creating Mutex");
    TPresenceLock presence;

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

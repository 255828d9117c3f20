// The command line: option forms, precedence, positional arguments, the single-purpose forms,
// lenient numbers and flags, the quote conversion of filters and the "%d"/"%t" names.
#include "app/cmdline.h"
#include "app/headless.h"
#include "app/options.h"
#include "app/outputfiles.h"
#include "app/volumeaccess.h"
#include "base/datetime.h"

#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <unistd.h>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {
TCommandLine Parse(std::initializer_list<const char*> a) {
    return TCommandLine(std::vector<std::string>(a.begin(), a.end()));
}
} // namespace

TEST(CommandLine, OptionFormsAndPositionals) {
    struct Case {
        std::vector<std::string> args;
        const char* key;
        const char* value; // expected option value ("" = not given)
        const char* path;  // expected first positional
        size_t warnings;
    } cases[] = {
        {{"/data", "--export=out.csv"}, "export", "out.csv", "/data", 0},
        {{"--debug", "/data"}, "debug", "1", "/data", 0},                  // bare key means "1"
        {{"--DeBuG=1"}, "debug", "1", "", 0},                              // keys ignore case
        {{"/export=w.csv", "/home/me"}, "export", "w.csv", "/home/me", 0}, // old form, known key
        {{"/home/me", "/tmp"}, "export", "", "/home/me", 0},              // unknown "/" key: a path
        {{"--export=a.csv", "--export=b.csv"}, "export", "a.csv", "", 0}, // first one wins
        {{"--exportfolders=", "x"}, "exportfolders", "", "x", 0},         // empty value: not given
        {{"--filter=a=b"}, "filter", "a=b", "", 0},            // value after the first "="
        {{"--", "--export=x"}, "export", "", "--export=x", 0}, // "--" ends the options
        {{"--expor=x.csv", "/d"}, "export", "", "/d", 1},      // typo: warned, no effect
        {{"-x", "/d"}, "export", "", "/d", 1},                 // unknown short option
        {{"-", "--export=-"}, "export", "-", "-", 0},          // "-" alone is positional
    };
    for (const Case& c : cases) {
        TCommandLine cl(c.args);
        SCOPED_TRACE(c.args.front());
        EXPECT_EQ(cl.GetCommandLineOption(c.key), c.value);
        EXPECT_EQ(cl.HasOption(c.key), *c.value != 0);
        EXPECT_EQ(cl.GetPathArgument(1), c.path);
        EXPECT_EQ(cl.Warnings().size(), c.warnings);
    }
}

TEST(CommandLine, ValuesAsTheNextArgumentAndBareSwitches) {
    struct Case {
        std::vector<std::string> args;
        const char* key;
        const char* value;
        const char* path;
    } cases[] = {
        {{"/d", "--export", "out.csv"}, "export", "out.csv", "/d"},
        {{"--filter", "*.mp4", "/d"}, "filter", "*.mp4", "/d"},
        {{"--export", "-", "/d"}, "export", "-", "/d"}, // standard output
        {{"--filterexclude", "-tmp", "/d"}, "filterexclude", "-tmp", "/d"},
        {{"--configfolder", "/etc/q", "/d"}, "configfolder", "/etc/q", "/d"},
        {{"--treemapimagewidth", "800", "/d"}, "treemapimagewidth", "800", "/d"},
        {{"--sortby", "2", "/d"}, "sortby", "2", "/d"},
        {{"/export", "w.csv", "/d"}, "export", "w.csv", "/d"}, // the old form too
        {{"--debug", "/d"}, "debug", "1", "/d"},               // switches: bare is "1"
        {{"--exportfolders", "/d"}, "exportfolders", "1", "/d"},
        {{"--treemapimagegray", "/d"}, "treemapimagegray", "1", "/d"},
        {{"--", "--export", "x"}, "export", "", "--export"},
    };
    for (const Case& c : cases) {
        TCommandLine cl(c.args);
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        EXPECT_EQ(cl.GetCommandLineOption(c.key), c.value);
        EXPECT_EQ(cl.GetPathArgument(1), c.path);
        EXPECT_TRUE(cl.Errors().empty());
    }
    // The value travels joined to its option (debug log, relaunch).
    EXPECT_EQ(Parse({"--export", "a b.csv", "--debug"}).GetOptionArguments(),
              " \"--export=a b.csv\" \"--debug\"");
    // A forgotten value is an error, whatever follows.
    for (auto args : {std::vector<std::string>{"/d", "--export"},
                      {"--export", "--filter=x", "/d"},
                      {"/d", "--filter", "--debug"}}) {
        TCommandLine cl(args);
        ASSERT_EQ(cl.Errors().size(), 1u) << args[1];
        EXPECT_NE(cl.Errors()[0].find("needs a value"), std::string::npos);
    }
}

TEST(CommandLine, OldFormNamingAnExistingPathIsThatPath) {
    // A folder "/export" (common for NFS exports) is scanned, not taken for the option.
    const auto exists = [](const std::string& p) { return p == "/export" || p == "/debug"; };
    TCommandLine a({"/export", "--export=a.csv", "/debug"}, exists);
    EXPECT_EQ(a.GetPathArgument(1), "/export");
    EXPECT_EQ(a.GetPathArgument(2), "/debug");
    EXPECT_EQ(a.GetCommandLineOption("export"), "a.csv");
    EXPECT_FALSE(a.HasOption("debug"));
    TCommandLine b({"/data", "/export=b.csv", "/admin"}, exists); // no such paths: options
    EXPECT_EQ(b.GetPathArgument(1), "/data");
    EXPECT_EQ(b.GetPathArgument(2), "");
    EXPECT_EQ(b.GetCommandLineOption("export"), "b.csv");
    EXPECT_EQ(b.GetCommandLineOption("admin"), "1");
}

TEST(CommandLine, DefaultsOptionArgumentsAndLaterPositionals) {
    TCommandLine cl = Parse({"/a", "--sortby=2", "/b", "--bogus"});
    EXPECT_EQ(cl.GetCommandLineOption("treemapimagewidth", "1920"), "1920");
    EXPECT_EQ(cl.GetPathArgument(2), "/b");
    EXPECT_EQ(cl.GetPathArgument(3), "");
    EXPECT_EQ(cl.GetPathArgument(0), "");
    // Every option argument, unknown ones included (they travel with a relaunch).
    EXPECT_EQ(cl.GetOptionArguments(), " \"--sortby=2\" \"--bogus\"");
}

TEST(CommandLine, SinglePurposeFormsOnlyAsFirstArgument) {
    TCommandLine a = Parse({"-SetLanguage", "de", "/x"});
    EXPECT_TRUE(a.SetLanguage());
    EXPECT_EQ(a.SetLanguageCode(), "de");
    EXPECT_EQ(a.GetPathArgument(1), "/x");

    TCommandLine b = Parse({"-setlanguage"});
    EXPECT_TRUE(b.SetLanguage());
    EXPECT_EQ(b.SetLanguageCode(), ""); // the program then starts normally

    // Options before the code are options, not the code.
    TCommandLine d = Parse({"-setlanguage", "--configfolder=/c", "pt_BR"});
    EXPECT_EQ(d.SetLanguageCode(), "pt_BR");
    EXPECT_EQ(d.GetCommandLineOption("configfolder"), "/c");
    EXPECT_EQ(d.GetPathArgument(1), "");
    EXPECT_TRUE(d.Errors().empty());
    TCommandLine e = Parse({"-setlanguage", "--configfolder=/c"});
    EXPECT_EQ(e.SetLanguageCode(), "");
    EXPECT_TRUE(e.Errors().empty());
    TCommandLine f = Parse({"-setlanguage", "--configfolder=/c", "/home/me"});
    ASSERT_EQ(f.Errors().size(), 1u); // a path is no language code
    EXPECT_NE(f.Errors()[0].find("-setlanguage needs a language code"), std::string::npos);

    TCommandLine c = Parse({"/x", "-uninstall"});
    EXPECT_FALSE(c.Uninstall());
    EXPECT_EQ(c.Warnings().size(), 1u);
    EXPECT_TRUE(Parse({"-UNINSTALL"}).Uninstall());

    EXPECT_TRUE(Parse({"--help"}).Help());
    EXPECT_TRUE(Parse({"-h"}).Help());
    EXPECT_TRUE(Parse({"/x", "--version"}).Version());
    EXPECT_FALSE(Parse({"/help"}).Help()); // "/help" is a path
}

TEST(CommandLine, LenientIntegers) {
    struct {
        const char* text;
        int def, want;
    } cases[] = {{"12", 0, 12},
                 {" -3 ", 0, -3},
                 {"+7", 0, 7},
                 {"", 5, 5},
                 {"12x", 5, 5},
                 {"0x10", 1, 1},
                 {"2147483647", 0, 2147483647},
                 {"2147483648", 9, 9},
                 {"-2147483648", 0, -2147483647 - 1},
                 {"1.5", 3, 3},
                 {"-", 4, 4}};
    for (auto& c : cases) EXPECT_EQ(ParseIntDef(c.text, c.def), c.want) << c.text;
}

TEST(StartupOptions, DefaultsFlagsAndLenientValues) {
    TStartupOptions d = ReadStartupOptions(Parse({"/x"}));
    EXPECT_FALSE(d.Debug);
    EXPECT_TRUE(d.ExportFolders);
    EXPECT_TRUE(d.ExportFiles);
    EXPECT_TRUE(d.FilterFullPath);
    EXPECT_EQ(d.ExportDriveCapacity, 1);
    EXPECT_EQ(d.SortBy, 0);
    EXPECT_EQ(d.SortByFileTypes, 1);
    EXPECT_EQ(d.TreemapImageWidth, 1920);
    EXPECT_EQ(d.TreemapImageHeight, 1080);
    EXPECT_FALSE(d.Headless());

    EXPECT_TRUE(ReadStartupOptions(Parse({"--debug"})).Debug);
    EXPECT_FALSE(ReadStartupOptions(Parse({"--debug=yes"})).Debug);
    EXPECT_TRUE(ReadStartupOptions(Parse({"--exportfolders"})).ExportFolders);
    EXPECT_FALSE(ReadStartupOptions(Parse({"--exportfolders=0"})).ExportFolders);
    EXPECT_TRUE(ReadStartupOptions(Parse({"--exportfolders="})).ExportFolders);
    EXPECT_EQ(ReadStartupOptions(Parse({"--sortby=size"})).SortBy, 0);
    EXPECT_EQ(ReadStartupOptions(Parse({"--sortbyfiletypes=abc"})).SortByFileTypes, 1);
    EXPECT_EQ(ReadStartupOptions(Parse({"--treemapimagewidth=wide"})).TreemapImageWidth, 1920);
    EXPECT_EQ(ReadStartupOptions(Parse({"--exportmaxdepth=3"})).ExportMaxDepth, 3);
    // A switch whose value is not a number is off, the drive capacity columns included.
    EXPECT_EQ(ReadStartupOptions(Parse({"--exportdrivecapacity=abc"})).ExportDriveCapacity, 0);
    EXPECT_EQ(ReadStartupOptions(Parse({"--exportmftrecno=abc"})).ExportMFTRecNo, 0);
    EXPECT_EQ(ReadStartupOptions(Parse({"--exportdrivecapacity"})).ExportDriveCapacity, 1);
    EXPECT_FALSE(ReadStartupOptions(Parse({"--filterfullpath=0"})).FilterFullPath);
    EXPECT_TRUE(ReadStartupOptions(Parse({"--filterfullpath=no"})).FilterFullPath);
    EXPECT_TRUE(ReadStartupOptions(Parse({"--exportpercentofparent=x"})).ExportPercentOfParent);
    EXPECT_FALSE(ReadStartupOptions(Parse({"--treemapimagegray=yes"})).TreemapImageGray);
    EXPECT_TRUE(ReadStartupOptions(Parse({"--treemapimagegray"})).TreemapImageGray);
    for (const char* o :
         {"--export=a", "--exportfiletypes=a", "--dumpmftfile=a", "--treemapimagefile=a"})
        EXPECT_TRUE(ReadStartupOptions(Parse({o})).Headless()) << o;
    EXPECT_FALSE(ReadStartupOptions(Parse({"--export="})).Headless());
}

TEST(StartupOptions, FilterQuoteConversion) {
    EXPECT_EQ(ConvertFilterQuotes("'*.tmp' | ''name''"), "\"*.tmp\"|'name'");
    EXPECT_EQ(ConvertFilterQuotes("a |b| c"), "a|b|c");
    EXPECT_EQ(ConvertFilterQuotes("'''"), "'\"");
    EXPECT_EQ(ReadStartupOptions(Parse({"--filterexclude='My Docs'"})).FilterExclude,
              "\"My Docs\"");
}

TEST(OutputNames, DateTimeExtensionsAndDevices) {
    TDateTime t;
    ASSERT_TRUE(TryEncodeDateTime({2025, 1, 31, 14, 5, 9, 0}, t));
    const auto E = TOutputKind::Export, I = TOutputKind::TreemapImage, D = TOutputKind::Dump;
    struct {
        TOutputKind kind;
        const char* value;
        const char* file;
    } cases[] = {
        {E, "/out/%d_%t.csv", "/out/20250131_140509.csv"},
        {E, "%d%d-%D.csv", "2025013120250131-%D.csv"}, // every one, case-sensitive
        {E, "-", "-"},
        {I, "map.jpg", "map.png"},
        {I, "map.PNG", "map.PNG"},
        {I, "dir.v2/map", "dir.v2/map.png"},
        {I, "%t.bmp", "140509.png"},
        {I, ".hidden", ".hidden.png"},
        {D, "vol", "vol.mft"},
        {D, "vol.raw", "vol.raw"},
        {D, "%d", "20250131.mft"},
        // A device or a pipe is written as named: nothing is created beside it.
        {I, "/dev/null", "/dev/null"},
        {D, "/dev/full", "/dev/full"},
        {I, "/dev/stdout", "/dev/stdout"},
    };
    for (auto& c : cases) EXPECT_EQ(OutputFileName(c.kind, c.value, t), c.file) << c.value;
}

TEST(Elevation, VolumeAccessAndRelaunchArguments) {
    const std::vector<TMountInfo> none;
    EXPECT_TRUE(HasVolumeAccess(true, true, none, "/nonexistent/dev")); // already relaunched
    EXPECT_FALSE(
        HasVolumeAccess(false, true, none, "/nonexistent/dev"));        // the marker not asked for
    EXPECT_TRUE(HasVolumeAccess(false, false, none, "/proc/self/exe")); // readable
    EXPECT_EQ(HasVolumeAccess(false, false, none), geteuid() == 0);     // nothing to try

    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    const std::string here = NormalizePath(cwd);
    const std::vector<std::string> argv =
        ElevatedArguments("/usr/bin/quarzel", "disk.img",
                          {"--export=out/a.csv", "/treemapimagefile=m.png", "--sortby=1",
                           "--export=-", "--filter=a/b"});
    const std::vector<std::string> want = {"pkexec",
                                           "/usr/bin/quarzel",
                                           here + "/disk.img",
                                           "--export=" + here + "/out/a.csv",
                                           "/treemapimagefile=" + here + "/m.png",
                                           "--sortby=1",
                                           "--export=-",
                                           "--filter=a/b",
                                           "--runningas"};
    EXPECT_EQ(argv, want);
}

TEST(Elevation, AMissingPkexecIsToldAsSuch) {
    TempDir tmp;
    // An entry of the search path that cannot be run makes execvp report "Permission denied".
    fs::create_directory(tmp / "bin");
    WriteFileBytes(tmp / "bin/pkexec", "", 0);
    const std::string path = tmp / "bin" + ":" + tmp / "none";
    EXPECT_EQ(FindProgram("pkexec", path.c_str()), "");
    EXPECT_EQ(FindProgram("sh", "/nonexistent:/bin"), "/bin/sh");
    const char* old = getenv("PATH");
    const std::string saved = old ? old : "";
    setenv("PATH", path.c_str(), 1);
    std::string error;
    RestartElevated({"pkexec", "/usr/bin/quarzel", "--runningas"}, error);
    setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(error.find("Permission denied"), std::string::npos) << error;
    EXPECT_NE(error.find("pkexec is not installed"), std::string::npos) << error;
}

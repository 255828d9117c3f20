// What the headless program does with its output files when they clash with something: an
// output naming an input of the run or another output, a device, a folder that cannot be
// inspected, closed standard descriptors, the file-size limit; and the command-line forms a
// user types (an option and its value as two arguments, -setlanguage after options).
#include "tests/app/program.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

using namespace qz::test;
namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& path) {
    auto b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

// Hidden temporary files an output left in folder.
std::vector<std::string> Leftovers(const std::string& folder) {
    std::vector<std::string> found;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(folder, ec))
        if (e.path().filename().string()[0] == '.') found.push_back(e.path().string());
    return found;
}

size_t FilesIn(const std::string& folder) {
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(ProgramOutputs, NeverReplaceAnInputOfTheRun) {
    TempDir tmp;
    const std::string img = tmp / "img.raw";
    ASSERT_TRUE(MakeNtfsImage(img, "2M"));
    MakeTree(tmp / "tree");
    const std::string cfg = "--configfolder=" + tmp / "cfg";
    ASSERT_EQ(Quarzel({tmp / "tree", "--export=tree.csv", cfg}, tmp.path()).code, 0);
    ASSERT_EQ(Quarzel({img, "--dumpmftfile=vol.mft", cfg}, tmp.path()).code, 0);
    fs::create_symlink(img, tmp / "link.raw");
    fs::create_hard_link(img, tmp / "hard.raw");
    fs::create_directories(tmp / "cfg");
    WriteSized(tmp / "cfg/Quarzel3.ini", 0);

    const std::vector<std::string> kept = {img, tmp / "tree.csv", tmp / "vol.mft",
                                           tmp / "cfg/Quarzel3.ini"};
    std::vector<std::string> before;
    for (const std::string& f : kept) before.push_back(ReadText(f));
    struct Case {
        std::vector<std::string> args;
        const char* says;
    } cases[] = {
        // The image replaced by its own dump, under its name, a link and a hard link.
        {{img, "--dumpmftfile=img.raw"}, "--dumpmftfile: img.raw is the source of this run"},
        {{img, "--dumpmftfile=link.raw"}, "--dumpmftfile: link.raw is the source of this run"},
        {{img, "--dumpmftfile=hard.raw"}, "is the source of this run"},
        {{"link.raw", "--export=img.raw"}, "--export: img.raw is the source of this run"},
        {{tmp / "tree.csv", "--export=tree.csv"}, "is the source of this run"},
        {{tmp / "vol.mft", "--exportfiletypes=./vol.mft"}, "is the source of this run"},
        {{tmp / "tree", "--treemapimagefile=cfg/Quarzel3.png", "--export=cfg/Quarzel3.ini"},
         "--export: cfg/Quarzel3.ini is the settings file of this run"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(cfg);
        SCOPED_TRACE(args[1]);
        Result r = Quarzel(args, tmp.path());
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    // A disk is no output: a block device node (of a loop device that need not exist).
    if (mknod((tmp / "disk").c_str(), S_IFBLK | 0600, makedev(7, 250)) == 0) {
        Result r = Quarzel({tmp / "tree", "--export=disk", cfg}, tmp.path());
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find("--export: disk is a disk (a block device)"), std::string::npos)
            << r.err;
    }
    // Standard output opened on the source for writing.
    Result r = Quarzel({tmp / "tree.csv", "--export=-", cfg}, tmp.path(), "1<>tree.csv");
    EXPECT_EQ(r.code, 2) << r.err;
    EXPECT_NE(r.err.find("--export: standard output is the source of this run"), std::string::npos)
        << r.err;
    for (size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(ReadText(kept[i]), before[i]) << kept[i];
    EXPECT_FALSE(fs::exists(tmp / "cfg/Quarzel3.png"));
    EXPECT_TRUE(Leftovers(tmp.path()).empty());
}

TEST(ProgramOutputs, TwoOutputsNeverNameOneFile) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    WriteSized(tmp / "old.csv", 10);
    fs::create_symlink("old.csv", tmp / "alias.csv");
    const std::string cfg = "--configfolder=" + tmp / "cfg";
    struct Case {
        std::vector<std::string> outputs;
    } cases[] = {
        {{"--export=same.csv", "--exportfiletypes=same.csv"}},
        {{"--export=same.csv", "--exportfiletypes=./sub/../same.csv"}},
        {{"--export=old.csv", "--exportfiletypes=alias.csv"}},   // through a link
        {{"--export=pic.png", "--treemapimagefile=pic.jpg"}},    // the image's ".png"
        {{"--exportfiletypes=%d.png", "--treemapimagefile=%d"}}, // the start date
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {tmp / "tree"};
        args.insert(args.end(), c.outputs.begin(), c.outputs.end());
        args.push_back(cfg);
        SCOPED_TRACE(c.outputs[1]);
        Result r = Quarzel(args, tmp.path());
        EXPECT_EQ(r.code, 2) << r.err;
        EXPECT_NE(r.err.find("name one file"), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(tmp / "same.csv"));
        EXPECT_FALSE(fs::exists(tmp / "pic.png"));
        EXPECT_FALSE(fs::exists(tmp / "sub"));
        EXPECT_EQ(ReadText(tmp / "old.csv"), std::string(10, 'q'));
    }
    // A device takes one output after the other.
    Result r = Quarzel({tmp / "tree", "--export=/dev/null", "--exportfiletypes=/dev/null", cfg},
                       tmp.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
}

TEST(ProgramOutputs, DevicesAreWrittenAsNamedAndRenamedFilesAreTold) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    const std::string img = tmp / "vol.img";
    ASSERT_TRUE(MakeNtfsImage(img, "2M"));
    const std::string cfg = "--configfolder=" + tmp / "cfg";
    // A device that takes nothing (as /dev/full): the write fails and nothing appears beside
    // it. A node of our own keeps /dev out of reach of a program that would write there.
    fs::create_directory(tmp / "dev");
    const std::string full = tmp / "dev/full";
    if (mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make a device node here";
    for (auto [src, option] :
         {std::pair<std::string, std::string>{tmp / "tree", "--treemapimagefile=" + full},
          {img, "--dumpmftfile=" + full},
          {tmp / "tree", "--export=" + full}}) {
        SCOPED_TRACE(option);
        Result r = Quarzel({src, option, "--treemapimagewidth=64", "--treemapimageheight=48", cfg},
                           tmp.path());
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_NE(r.err.find(full), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
        EXPECT_EQ(FilesIn(tmp / "dev"), 1u);
    }
    // A pipe gets the PNG itself.
    Result piped = Quarzel({tmp / "tree", "--treemapimagefile=/dev/stdout",
                            "--treemapimagewidth=64", "--treemapimageheight=48", cfg},
                           tmp.path(), "| od -An -c -N4");
    EXPECT_EQ(piped.code, 0) << piped.err;
    EXPECT_NE(piped.out.find("P   N   G"), std::string::npos) << piped.out;
    EXPECT_EQ(piped.err, "");
    // A name the rules change is told, with the file that was written.
    Result r = Quarzel({tmp / "tree", "--treemapimagefile=out/map.bmp", "--treemapimagewidth=64",
                        "--treemapimageheight=48", cfg},
                       tmp.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "quarzel: --treemapimagefile=out/map.bmp: written to out/map.png\n");
    EXPECT_TRUE(fs::exists(tmp / "out/map.png"));
}

TEST(ProgramOutputs, FoldersThatCannotBeInspectedEndWithAMessage) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    const std::string img = tmp / "vol.img";
    ASSERT_TRUE(MakeNtfsImage(img, "2M"));
    const std::string cfg = "--configfolder=" + tmp / "cfg";
    fs::create_directory_symlink("loop", tmp / "loop");
    std::string deep = tmp.path();
    while (deep.size() < PATH_MAX + 100) deep += "/" + std::string(200, 'd');
    struct Folder {
        std::string path;
        const char* cause;
    } folders[] = {
        {tmp / std::string(300, 'n'), "File name too long"},
        {deep, "File name too long"},
        {tmp / "loop", "Too many levels of symbolic links"},
    };
    for (const Folder& f : folders)
        for (const char* option :
             {"--export=", "--exportfiletypes=", "--treemapimagefile=", "--dumpmftfile="}) {
            const std::string src = std::string(option) == "--dumpmftfile=" ? img : tmp / "tree";
            SCOPED_TRACE(std::string(option) + f.cause);
            Result r = Quarzel({src, option + f.path + "/sub/out", cfg}, tmp.path());
            EXPECT_EQ(r.code, 1) << r.err;
            EXPECT_NE(r.err.find("quarzel: cannot create the folder"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find(f.cause), std::string::npos) << r.err;
            EXPECT_EQ(r.err.find("terminate"), std::string::npos) << r.err;
        }
    // A folder the user may not enter.
    const std::string asNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
    if (geteuid() != 0 || !HaveProgram("setpriv") ||
        qz::test::Run(asNobody + "test -x " + Quote(kQuarzel)) != 0)
        GTEST_SKIP() << "no other user to run as";
    fs::create_directories(tmp / "closed/inner");
    fs::permissions(tmp / "closed", fs::perms::owner_all);
    fs::permissions(tmp.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    fs::permissions(tmp / "tree", fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    std::string out;
    const int code =
        qz::test::Run("cd / && " + asNobody + Quote(kQuarzel) + " " + Quote(tmp / "tree") +
                          " --export=" + Quote(tmp / "closed/inner/a.csv") +
                          " --configfolder=/tmp/quarzel-nobody-cfg 2>&1",
                      &out);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("cannot create the folder " + tmp / "closed/inner: Permission denied"),
              std::string::npos)
        << out;
    fs::remove_all("/tmp/quarzel-nobody-cfg");
}

TEST(ProgramOutputs, ClosedStandardDescriptorsTakeNoFile) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    const std::string cfg = "--configfolder=" + tmp / "cfg";
    const std::string env = "XDG_RUNTIME_DIR=" + Quote(tmp / "run") + " ";
    fs::create_directory(tmp / "run");
    auto run = [&](const std::string& args, const std::string& redirect) {
        std::string out;
        const int code = qz::test::Run("cd " + Quote(tmp.path()) + " && " + env + Quote(kQuarzel) +
                                           " " + args + " " + Quote(cfg) + " " + redirect,
                                       &out);
        return std::pair{code, out};
    };
    // Standard output closed: the export cannot go there, and says so.
    auto [code, out] = run(Quote(tmp / "tree") + " --export=-", ">&- 2>err.txt");
    EXPECT_EQ(code, 1);
    EXPECT_NE(ReadText(tmp / "err.txt").find("Cannot write standard output"), std::string::npos)
        << ReadText(tmp / "err.txt");
    EXPECT_EQ(fs::file_size(tmp / "run/QuarzelMutex"), 0u);
    // Standard error closed: the messages of a failing run go nowhere, not into a file.
    std::tie(code, out) = run(Quote(tmp / "missing") + " --export=a.csv", "2>&-");
    EXPECT_EQ(code, 1);
    EXPECT_EQ(fs::file_size(tmp / "run/QuarzelMutex"), 0u);
    EXPECT_FALSE(fs::exists(tmp / "a.csv"));
    // Standard input closed does no harm.
    std::tie(code, out) = run(Quote(tmp / "tree") + " --export=-", "<&-");
    EXPECT_EQ(code, 0);
    EXPECT_NE(out.find("readme.txt"), std::string::npos);
    // A write to standard output that fails is a failure.
    std::tie(code, out) = run("--help", ">/dev/full 2>err.txt");
    EXPECT_EQ(code, 1);
    EXPECT_NE(ReadText(tmp / "err.txt").find("cannot write standard output"), std::string::npos);
    std::tie(code, out) = run(Quote(tmp / "tree") + " --export=-", ">/dev/full 2>err.txt");
    EXPECT_EQ(code, 1);
    EXPECT_NE(ReadText(tmp / "err.txt").find("No space left on device"), std::string::npos);
}

TEST(ProgramOutputs, TheFileSizeLimitEndsTheExportCleanly) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    for (int i = 0; i < 200; ++i) WriteSized(tmp / ("tree/media/f" + std::to_string(i)), 1);
    // ulimit -f counts 1024-byte blocks: the export (about 20 KB) passes 4 of them.
    Result r =
        Quarzel({tmp / "tree", "--export=out/a.csv", "--configfolder=" + tmp / "cfg"}, tmp.path());
    ASSERT_EQ(r.code, 0) << r.err;
    fs::remove(tmp / "out/a.csv");
    std::string out;
    const int code =
        qz::test::Run("cd " + Quote(tmp.path()) + " && (ulimit -f 4; exec " + Quote(kQuarzel) +
                          " " + Quote(tmp / "tree") +
                          " --export=out/a.csv --configfolder=" + Quote(tmp / "cfg") + ") 2>&1",
                      &out);
    EXPECT_EQ(code, 1) << out;
    EXPECT_NE(out.find("File too large"), std::string::npos) << out;
    EXPECT_FALSE(fs::exists(tmp / "out/a.csv"));
    EXPECT_TRUE(Leftovers(tmp / "out").empty());
}

TEST(ProgramCommandLine, ValuesAsTheNextArgument) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    // "--export FILE" and "--filter TEXT": the next argument is the value.
    Result r = Quarzel({tmp / "tree", "--export", "out.csv", "--filter", "*.mp4", "--configfolder",
                        tmp / "cfg", "--exportdrivecapacity"},
                       tmp.path());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(fs::exists(tmp / "1"));
    const auto rows = ReadCsv(tmp / "out.csv");
    ASSERT_EQ(rows.size(), 2u); // the header and the one file that matches
    EXPECT_NE(rows[1][0].find("clip.mp4"), std::string::npos);
    EXPECT_TRUE(fs::is_directory(tmp / "cfg"));
    // A forgotten value is an error, not a file named "1".
    for (const std::vector<std::string>& args : {std::vector<std::string>{tmp / "tree", "--export"},
                                                 {tmp / "tree", "--export", "--filter=*.txt"}}) {
        r = Quarzel(args, tmp.path());
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("--export needs a value: --export=FILE or --export FILE"),
                  std::string::npos)
            << r.err;
        EXPECT_FALSE(fs::exists(tmp / "1"));
    }
    // A value that is not a number turns the drive capacity columns off, as for every switch.
    r = Quarzel({tmp / "tree", "--export=cap.csv", "--exportdrivecapacity=abc",
                 "--configfolder=" + tmp / "cfg"},
                tmp.path());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadText(tmp / "cap.csv").find("DRIVECAPACITY"), std::string::npos);
    // --help shows both forms.
    r = Quarzel({"--help"}, tmp.path());
    EXPECT_NE(r.out.find("--key=VALUE or --key VALUE"), std::string::npos);
}

TEST(ProgramCommandLine, SetLanguageAfterOptions) {
    TempDir tmp;
    const std::string cfg = tmp / "cfg";
    Result r = Quarzel({"-setlanguage", "--configfolder=" + cfg, "de"}, tmp.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(ReadText(cfg + "/Quarzel3.ini").find("language=de\n"), std::string::npos);
    // No code: the option is not taken for one.
    r = Quarzel({"-setlanguage", "--configfolder=" + cfg, "--export=x.csv", tmp.path()},
                tmp.path());
    EXPECT_EQ(r.code, 2);
    // Said in the language stored a moment ago.
    EXPECT_NE(r.err.find("-setlanguage braucht einen Sprachcode"), std::string::npos) << r.err;
    EXPECT_EQ(ReadText(cfg + "/Quarzel3.ini").find("--configfolder"), std::string::npos);
    EXPECT_NE(ReadText(cfg + "/Quarzel3.ini").find("language=de\n"), std::string::npos);
}

TEST(ProgramSettings, APipeNamedLikeTheSettingsFileIsNotWaitedFor) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    fs::create_directory(tmp / "cfg");
    ASSERT_EQ(mkfifo((tmp / "cfg/Quarzel3.ini").c_str(), 0600), 0);
    std::string out;
    // timeout ends a program that waits for a writer to the pipe (status 124).
    const int code = qz::test::Run(
        "cd " + Quote(tmp.path()) + " && timeout 60 " + Quote(kQuarzel) + " " +
            Quote(tmp / "tree") + " --export=a.csv --configfolder=" + Quote(tmp / "cfg") + " 2>&1",
        &out);
    EXPECT_EQ(code, 0) << out;
    EXPECT_NE(out.find("cannot be read (not a regular file); defaults are used"), std::string::npos)
        << out;
    EXPECT_TRUE(fs::exists(tmp / "a.csv"));
}

// The built quarzel program run as a user runs it: a generated folder tree, an NTFS image made
// with mkntfs and filled through ntfs-3g, the dump --dumpmftfile writes of it and the CSV it
// exports must all describe the same tree; the PNG opens and has the size asked for; bad input
// ends with a message and a non-zero exit and leaves no output behind.
#include "tests/app/program.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz::test;
namespace fs = std::filesystem;

namespace {

// What a tree export says about each item below the root: path relative to the root (with
// "/" separators, folders ending in "/") -> size, files, folders. NTFS metadata ("$...") and
// the root row are left out.
std::map<std::string, std::string> TreeFacts(const std::string& csv) {
    auto rows = ReadCsv(csv);
    std::map<std::string, std::string> facts;
    if (rows.size() < 2) return facts;
    std::string root = rows[1][0];
    for (size_t i = 2; i < rows.size(); ++i) {
        std::string p = rows[i][0];
        if (p.rfind(root, 0) != 0) continue;
        p.erase(0, root.size());
        if (root.find('\\') != std::string::npos)
            for (char& c : p)
                if (c == '\\') c = '/';
        if (p.empty() || p[0] == '$') continue;
        if (p.back() != '/' && p.back() == '.') p.pop_back(); // a name without extension
        facts[p] = rows[i][1] + "," + rows[i][5] + "," + rows[i][6];
    }
    return facts;
}

bool PngSize(const std::string& path, unsigned& w, unsigned& h) {
    png_image img{};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
    w = img.width;
    h = img.height;
    std::vector<png_byte> pixels(PNG_IMAGE_SIZE(img));
    img.format = PNG_FORMAT_RGB;
    const bool ok = png_image_finish_read(&img, nullptr, pixels.data(), 0, nullptr) != 0;
    png_image_free(&img);
    return ok;
}

bool CanMountNtfs(std::string& why) {
    for (const char* p : {"mkntfs", "ntfs-3g"})
        if (!HaveProgram(p)) {
            why = std::string(p) + " is not installed";
            return false;
        }
    if (geteuid() != 0 || access("/dev/fuse", R_OK | W_OK) != 0) {
        why = "FUSE mounts need root and /dev/fuse";
        return false;
    }
    return true;
}

} // namespace

TEST(QuarzelProgram, FolderImageDumpAndCsvDescribeTheSameTree) {
    std::string why;
    if (!CanMountNtfs(why)) GTEST_SKIP() << why;
    TempDir tmp;
    const std::string tree = tmp / "tree", img = tmp / "vol.img", mnt = tmp / "mnt";
    MakeTree(tree);
    fs::create_directory(mnt);
    ASSERT_EQ(qz::test::Run("truncate -s 16M " + Quote(img) + " && mkntfs -q -F -f " + Quote(img) +
                            " >/dev/null 2>&1"),
              0);
    ASSERT_EQ(qz::test::Run("ntfs-3g " + Quote(img) + " " + Quote(mnt)), 0);
    const int copied = qz::test::Run("cp -r " + Quote(tree) + "/. " + Quote(mnt) + "/");
    ASSERT_EQ(copied, 0);
    {
        struct Unmount {
            std::string m;
            ~Unmount() { qz::test::Run("umount " + Quote(m) + " 2>/dev/null"); }
        } unmount{mnt};
        // The mount point of a readable NTFS volume is read through the MFT, its root named
        // after the mount point; with "FullScanNTFSIfPossible" a folder on it is cut out of
        // the whole volume's scan.
        fs::create_directory(tmp / "full");
        const std::string ini = "[frmQuarzelMain]\nFullScanNTFSIfPossible=1\n";
        WriteFileBytes(tmp / "full/Quarzel3.ini", ini.data(), ini.size());
        for (auto [args, file] :
             {std::pair<std::vector<std::string>, std::string>{
                  {mnt, "--export=mnt.csv", "--configfolder=" + tmp / "cfg"}, "mnt.csv"},
              {{mnt + "/docs", "--export=docs.csv", "--configfolder=" + tmp / "full"},
               "docs.csv"}}) {
            Result r = Quarzel(args, tmp.path());
            ASSERT_EQ(r.code, 0) << r.err;
            auto rows = ReadCsv(tmp / file);
            ASSERT_GE(rows.size(), 3u);
            EXPECT_EQ(rows[1][0], args[0] + "/");
        }
        // The names and sizes seen through the MFT are those walked in the folder (sizes
        // of the metadata files make the difference at the root).
        auto docs = TreeFacts(tmp / "docs.csv");
        EXPECT_EQ(docs.size(), 4u);
        EXPECT_EQ(docs.at("old/notes, \"draft\".txt"), "50000,0,0");
        EXPECT_EQ(ReadCsv(tmp / "docs.csv")[1][1], "51234");
    }

    const std::vector<std::string> common = {"--exportdrivecapacity=0",
                                             "--configfolder=" + tmp / "cfg"};
    // Silent, unless a file was written under a name other than the one given.
    auto run = [&](std::vector<std::string> args, const std::string& says = "") {
        args.insert(args.end(), common.begin(), common.end());
        Result r = Quarzel(args, tmp.path());
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, says);
        return r;
    };
    run({tree, "--export=folder.csv", "--treemapimagefile=out/folder.png",
         "--treemapimagewidth=800", "--treemapimageheight=600"});
    run({img, "--export=img.csv", "--treemapimagefile=out/img.jpg", "--treemapimagewidth=640",
         "--treemapimageheight=480"},
        "quarzel: --treemapimagefile=out/img.jpg: written to out/img.png\n");
    run({img, "--dumpmftfile=dumps/vol"},
        "quarzel: --dumpmftfile=dumps/vol: written to dumps/vol.mft\n");
    ASSERT_TRUE(fs::exists(tmp / "dumps/vol.mft"));
    run({tmp / "dumps/vol.mft", "--export=dump.csv"});
    run({tmp / "img.csv", "--export=csv.csv"});

    // The image, its dump and its exported CSV give the same export, byte for byte.
    EXPECT_EQ(ReadFileBytes(tmp / "img.csv"), ReadFileBytes(tmp / "dump.csv"));
    EXPECT_EQ(ReadFileBytes(tmp / "img.csv"), ReadFileBytes(tmp / "csv.csv"));

    // The same image as a block device (a read-only loop device), and a device without NTFS.
    auto attach = [&](const std::string& file) {
        std::string dev;
        if (HaveProgram("losetup") &&
            qz::test::Run("losetup -f --show -r " + Quote(file) + " 2>/dev/null", &dev) == 0)
            while (!dev.empty() && (dev.back() == '\n' || dev.back() == ' ')) dev.pop_back();
        return dev;
    };
    WriteSized(tmp / "zeros.img", 1 << 20);
    for (const std::string& file : {img, tmp / "zeros.img"}) {
        const std::string dev = attach(file);
        if (dev.empty()) continue; // no loop devices here
        struct Detach {
            std::string d;
            ~Detach() { qz::test::Run("losetup -d " + Quote(d) + " 2>/dev/null"); }
        } detach{dev};
        std::vector<std::string> args = {dev, "--export=dev.csv"};
        args.insert(args.end(), common.begin(), common.end());
        Result r = Quarzel(args, tmp.path());
        if (file == img) {
            EXPECT_EQ(r.code, 0) << r.err;
            EXPECT_EQ(ReadFileBytes(tmp / "dev.csv"), ReadFileBytes(tmp / "img.csv"));
            // A user who may not read the device is told so, and why.
            const std::string asNobody =
                "cd / && setpriv --reuid=65534 --regid=65534 --clear-groups ";
            if (HaveProgram("setpriv") &&
                qz::test::Run(asNobody + "test -x " + Quote(kQuarzel)) == 0) {
                std::string out;
                const int code =
                    qz::test::Run(asNobody + Quote(kQuarzel) + " " + Quote(dev) +
                                      " --export=" + Quote(tmp / "nobody.csv") + " 2>&1",
                                  &out);
                EXPECT_EQ(code, 1) << out;
                EXPECT_NE(out.find(dev + ": Permission denied (reading a device needs root"),
                          std::string::npos)
                    << out;
                EXPECT_FALSE(fs::exists(tmp / "nobody.csv"));
            }
        } else {
            EXPECT_EQ(r.code, 1);
            EXPECT_NE(r.err.find(dev + ": no NTFS file system on this device"), std::string::npos)
                << r.err;
        }
        fs::remove(tmp / "dev.csv");
    }

    // With the drive capacity columns, the image's root row carries its size and free space.
    Result cap = Quarzel({img, "--export=cap.csv", "--configfolder=" + tmp / "cfg"}, tmp.path());
    ASSERT_EQ(cap.code, 0) << cap.err;
    const auto capRows = ReadCsv(tmp / "cap.csv");
    ASSERT_GE(capRows.size(), 2u);
    const auto& head = capRows[0];
    const size_t at = size_t(std::find(head.begin(), head.end(), "DRIVECAPACITY") - head.begin());
    ASSERT_LT(at + 1, capRows[1].size());
    const unsigned long long total = std::stoull(capRows[1][at]);
    const unsigned long long freeBytes = std::stoull(capRows[1][at + 1]);
    EXPECT_GT(total, 15ull << 20);
    EXPECT_LE(total, 16ull << 20);
    EXPECT_GT(freeBytes, 0u);
    EXPECT_LT(freeBytes, total);
    // The folder walk and the MFT agree on every item: size and counts.
    const auto folder = TreeFacts(tmp / "folder.csv");
    const auto ntfs = TreeFacts(tmp / "img.csv");
    EXPECT_EQ(folder.size(), 11u);
    EXPECT_EQ(folder, ntfs);
    EXPECT_EQ(TreeFacts(tmp / "mnt.csv"), folder);
    EXPECT_EQ(folder.at("docs/"), "51234,3,1");
    EXPECT_EQ(folder.at("docs/old/notes, \"draft\".txt"), "50000,0,0");

    unsigned w = 0, h = 0;
    ASSERT_TRUE(PngSize(tmp / "out/folder.png", w, h));
    EXPECT_EQ(w, 800u);
    EXPECT_EQ(h, 600u);
    ASSERT_TRUE(PngSize(tmp / "out/img.png", w, h)); // ".jpg" became ".png"
    EXPECT_EQ(w, 640u);
    EXPECT_EQ(h, 480u);
    EXPECT_FALSE(fs::exists(tmp / "out/img.jpg"));
}

TEST(QuarzelProgram, OutputsOrderNamesAndStandardOutput) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    const std::string cfg = "--configfolder=" + tmp / "cfg";
    // "%d" and "%t" in names; file types sorted by size; the tree export sorted by size.
    Result r = Quarzel({tmp / "tree", "--export=out/%d_%t.csv", "--exportfiletypes=types.csv",
                        "--sortby=1", "--exportfiles=1", cfg},
                       tmp.path());
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> made;
    for (auto& e : fs::directory_iterator(tmp / "out"))
        made.push_back(e.path().filename().string());
    ASSERT_EQ(made.size(), 1u);
    EXPECT_TRUE(std::regex_match(made[0], std::regex("20[0-9]{6}_[0-9]{6}\\.csv"))) << made[0];
    auto rows = ReadCsv(tmp / ("out/" + made[0]));
    ASSERT_GE(rows.size(), 4u);
    // Below the root, by size descending: media (300000) before docs (51234).
    EXPECT_NE(rows[2][0].find("/media/"), std::string::npos) << rows[2][0];
    auto types = ReadCsv(tmp / "types.csv");
    ASSERT_GE(types.size(), 3u);
    EXPECT_EQ(types[1][0], ".mp4");
    EXPECT_EQ(types[2][0], ".txt");

    // With --dumpmftfile only the dump is written; the other outputs are named as left out.
    const std::string img = tmp / "vol.img";
    ASSERT_EQ(qz::test::Run("truncate -s 8M " + Quote(img) + " && mkntfs -q -F -f " + Quote(img) +
                            " >/dev/null 2>&1"),
              0);
    r = Quarzel({img, "--export=both.csv", "--dumpmftfile=both.mft", cfg}, tmp.path());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::exists(tmp / "both.mft"));
    EXPECT_FALSE(fs::exists(tmp / "both.csv"));
    EXPECT_NE(r.err.find("--export is not written when --dumpmftfile is given"), std::string::npos)
        << r.err;

    // "-": the CSV goes to standard output, nothing else does.
    r = Quarzel({tmp / "tree/docs", "--export=-", "--filter=*.txt", cfg}, tmp.path());
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("readme.txt"), std::string::npos);
    EXPECT_EQ(r.out.find("zero.bin"), std::string::npos); // the include filter
}

TEST(QuarzelProgram, HelpAndVersion) {
    TempDir tmp;
    Result help = Quarzel({"--help", "--export=a.csv"}, tmp.path());
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.rfind("Usage: quarzel [PATH] [OPTION]...", 0), 0u) << help.out;
    EXPECT_NE(help.out.find("--treemapimagefile=FILE"), std::string::npos);
    Result version = Quarzel({"--version"}, tmp.path());
    EXPECT_EQ(version.code, 0);
    EXPECT_TRUE(std::regex_match(version.out, std::regex("quarzel [0-9][^\n]*\n"))) << version.out;
    EXPECT_FALSE(fs::exists(tmp / "a.csv"));
}

// A stored language speaks on the command line too, --help and the command line's own errors
// (read before the settings) included, while option names, values and the column the option
// descriptions start in stay as typed. Without a stored language every text stays English,
// word for word.
TEST(QuarzelProgram, MessagesFollowTheStoredLanguage) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    const std::string en = "--configfolder=" + tmp / "en";
    const std::string de = "--configfolder=" + tmp / "de";
    ASSERT_EQ(Quarzel({"-setlanguage", de, "de"}, tmp.path()).code, 0);

    const Result english = Quarzel({"--help", en}, tmp.path());
    const Result german = Quarzel({"--help", de}, tmp.path());
    ASSERT_EQ(english.code, 0);
    ASSERT_EQ(german.code, 0) << german.err;
    EXPECT_EQ(english.out.rfind("Usage: quarzel [PATH] [OPTION]...\n", 0), 0u);
    EXPECT_EQ(german.out.rfind("Aufruf: quarzel [PATH] [OPTION]...\n", 0), 0u) << german.out;
    // The options of each English option line, padded to where its description starts.
    std::vector<std::string> columns;
    const std::regex optionLine("(  -\\S.*?\\s{2,})\\S.*|(  -.*)");
    std::istringstream englishLines(english.out);
    for (std::string line; std::getline(englishLines, line);) {
        std::smatch m;
        if (std::regex_match(line, m, optionLine)) columns.push_back(m[1].matched ? m[1] : m[2]);
    }
    ASSERT_GT(columns.size(), 20u);
    // The German text has the same option lines in the same order, and every line that
    // continues a description starts exactly in that description's column.
    size_t next = 0, column = 0;
    std::istringstream germanLines(german.out);
    for (std::string line; std::getline(germanLines, line);) {
        if (line.rfind("  -", 0) == 0) {
            ASSERT_LT(next, columns.size()) << line;
            EXPECT_EQ(line.rfind(columns[next], 0), 0u) << line;
            column = columns[next++].size();
        } else if (!line.empty() && line[0] == ' ') {
            EXPECT_EQ(line.find_first_not_of(' '), column) << line;
        } else {
            column = 0;
        }
    }
    EXPECT_EQ(next, columns.size());

    struct Case {
        std::vector<std::string> args;
        int code;
        const char* english; // standard error, exactly
        const char* german;  // part of the German text
        const char* kept;    // what the German text names as typed
    } cases[] = {
        {{"--frobnicate", "-x", "--export"},
         2,
         "quarzel: warning: Unknown option --frobnicate ignored\n"
         "quarzel: warning: Unknown option -x ignored (options are written --key=value)\n"
         "quarzel: --export needs a value: --export=FILE or --export FILE\n"
         "Try 'quarzel --help' for more information.\n",
         "braucht einen Wert",
         "--export=FILE"},
        {{"--export=a.csv"},
         2,
         "quarzel: no source given: name a folder, an NTFS image or device, an MFT dump (.mft) "
         "or a CSV/TSV export (see --help)\n",
         "keine Quelle",
         "--help"},
        {{tmp / "tree", "--treemapimagefile=a.png", "--treemapimagewidth=0"},
         2,
         "quarzel: treemap image size 0 x 1080 is out of range (1 to 32768 pixels a side, at "
         "most 268 million pixels)\n",
         "Kachelansicht",
         "0 x 1080"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front());
        std::vector<std::string> args = c.args;
        args.push_back(en);
        const Result e = Quarzel(args, tmp.path());
        EXPECT_EQ(e.code, c.code);
        EXPECT_EQ(e.err, c.english);
        args.back() = de;
        const Result g = Quarzel(args, tmp.path());
        EXPECT_EQ(g.code, c.code);
        EXPECT_EQ(g.err.rfind("quarzel: ", 0), 0u) << g.err;
        EXPECT_NE(g.err.find(c.german), std::string::npos) << g.err;
        const std::string english(c.english);
        EXPECT_EQ(g.err.find(english.substr(0, english.find('\n'))), std::string::npos) << g.err;
        EXPECT_NE(g.err.find(c.kept), std::string::npos) << g.err;
    }
    EXPECT_FALSE(fs::exists(tmp / "a.png"));
}

TEST(QuarzelProgram, BadInputFailsClearlyAndWritesNothing) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    WriteSized(tmp / "plain.txt", 3000);
    WriteSized(tmp / "blocker", 1);
    const std::string cfg = "--configfolder=" + tmp / "cfg";
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* says;
    } cases[] = {
        {{tmp / "missing", "--export=a.csv"}, 1, "missing: No such file or directory"},
        {{tmp / "plain.txt", "--export=a.csv"}, 1, "not an NTFS image"},
        {{tmp / "tree", "--export=blocker/sub/a.csv"}, 1, "cannot create the folder"},
        {{"--export=a.csv"}, 2, "no source given"},
        {{tmp / "tree", "--dumpmftfile=a.mft"}, 2, "--dumpmftfile needs an NTFS volume"},
        {{tmp / "tree", "--export=a.csv", "--filter=/([a/"}, 2, "not a valid regular expression"},
        {{tmp / "tree", "--treemapimagefile=a.png", "--treemapimagewidth=0"}, 2, "out of range"},
        {{tmp / "tree", "--export=-", "--exportfiletypes=-"}, 2, "standard output"},
        {{tmp / "tree"}, 2, "no display is available"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = c.args;
        args.push_back(cfg);
        Result r = Quarzel(args, tmp.path());
        SCOPED_TRACE(args.front());
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(fs::exists(tmp / "a.csv"));
        EXPECT_FALSE(fs::exists(tmp / "a.png"));
        EXPECT_FALSE(fs::exists(tmp / "a.mft"));
    }
    // An output that fails after the scan: the others are still written, the exit says so.
    fs::create_directory(tmp / "taken.csv");
    Result r = Quarzel({tmp / "tree", "--export=taken.csv", "--exportfiletypes=types.csv", cfg},
                       tmp.path());
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("--export: "), std::string::npos) << r.err;
    EXPECT_TRUE(fs::exists(tmp / "types.csv"));
    // A mistyped option is harmless but reported.
    r = Quarzel({tmp / "tree", "--exprot=x.csv", "--export=ok.csv", cfg}, tmp.path());
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("Unknown option --exprot=x.csv"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(tmp / "x.csv"));
}

TEST(QuarzelProgram, HeadlessRunLeavesTheSettingsFileAlone) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    fs::create_directory(tmp / "cfg");
    const std::string ini = "[frmQuarzelMain]\r\ndecimalplaces=3\r\nsomething=else\r\n";
    WriteFileBytes(tmp / "cfg/Quarzel3.ini", ini.data(), ini.size());
    Result r =
        Quarzel({tmp / "tree", "--export=a.csv", "--configfolder=" + tmp / "cfg"}, tmp.path());
    ASSERT_EQ(r.code, 0) << r.err;
    auto after = ReadFileBytes(tmp / "cfg/Quarzel3.ini");
    EXPECT_EQ(std::string(after.begin(), after.end()), ini);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "cfg"), fs::directory_iterator()), 1);

    // A damaged file: its damaged lines are left out, the user is told, and the file is left
    // as it is.
    const std::string junk("[frmQuarzelMain]\ndecimalplaces=3\n\x01\0junk", 39);
    fs::create_directory(tmp / "bad");
    WriteFileBytes(tmp / "bad/Quarzel3.ini", junk.data(), junk.size());
    r = Quarzel({tmp / "tree", "--export=b.csv", "--configfolder=" + tmp / "bad"}, tmp.path());
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("1 damaged line(s) left out, the first is line 3"), std::string::npos)
        << r.err;
    after = ReadFileBytes(tmp / "bad/Quarzel3.ini");
    EXPECT_EQ(std::string(after.begin(), after.end()), junk);
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp / "bad"), fs::directory_iterator()), 1);

    // "-setlanguage" stores the language (and only that) and ends.
    r = Quarzel({"-setlanguage", "de", "--configfolder=" + tmp / "cfg"}, tmp.path());
    EXPECT_EQ(r.code, 0) << r.err;
    after = ReadFileBytes(tmp / "cfg/Quarzel3.ini");
    const std::string now(after.begin(), after.end());
    EXPECT_NE(now.find("language=de"), std::string::npos) << now;
    EXPECT_NE(now.find("decimalplaces=3"), std::string::npos) << now;
}

TEST(QuarzelProgram, DebugLogLinesInTheirFormat) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    const std::string cmd = "XDG_CONFIG_HOME=" + Quote(tmp / "xdg") + " " + Quote(kQuarzel) + " " +
                            Quote(tmp / "tree") + " --treemapimagefile=" + Quote(tmp / "a.png") +
                            " --treemapimagewidth=64 --treemapimageheight=48 --exportfiletypes=" +
                            Quote(tmp / "t.csv") + " --export=" + Quote(tmp / "a.csv") +
                            " --debug --configfolder=" + Quote(tmp / "cfg");
    ASSERT_EQ(qz::test::Run(cmd), 0);
    // The log is kept beside the settings the user chose, not in the per-user folder.
    EXPECT_FALSE(fs::exists(tmp / "xdg/Quarzel3/DebugLogs"));
    std::vector<std::string> logs;
    for (auto& e : fs::directory_iterator(tmp / "cfg/DebugLogs")) logs.push_back(e.path().string());
    ASSERT_EQ(logs.size(), 1u);
    EXPECT_TRUE(std::regex_match(fs::path(logs[0]).filename().string(),
                                 std::regex("quarzellog[0-9]{14}\\.log")));
    std::ifstream in(logs[0]);
    std::string line, all;
    int n = 0;
    while (std::getline(in, line)) {
        EXPECT_TRUE(std::regex_match(line, std::regex("[0-9]{8} [0-9]{6} L0 .+"))) << line;
        all += line + "\n";
        ++n;
    }
    EXPECT_GT(n, 5);
    EXPECT_NE(all.find(" L0 Quarzel32 4.25 Start\n"), std::string::npos) << all;
    EXPECT_NE(all.find("Creating Mutex"), std::string::npos) << all;
    EXPECT_NE(all.find("Scanner Initialize"), std::string::npos) << all;
    EXPECT_NE(all.find("Config folder set via command line: \"" + tmp / "cfg" + "\""),
              std::string::npos)
        << all;
    // The outputs in their fixed order, whatever the order of the options.
    const size_t e = all.find("Headless export "), t = all.find("Headless file types export "),
                 m = all.find("Headless treemap image ");
    ASSERT_NE(m, std::string::npos) << all;
    EXPECT_LT(e, t);
    EXPECT_LT(t, m);

    // Without the option nothing is logged; without a chosen folder the log goes to the
    // per-user one.
    fs::remove_all(tmp / "cfg/DebugLogs");
    ASSERT_EQ(qz::test::Run(cmd.substr(0, cmd.find(" --debug")) +
                            " --configfolder=" + Quote(tmp / "cfg")),
              0);
    EXPECT_FALSE(fs::exists(tmp / "cfg/DebugLogs"));
    ASSERT_EQ(qz::test::Run(cmd.substr(0, cmd.find(" --configfolder"))), 0);
    EXPECT_TRUE(fs::is_directory(tmp / "xdg/Quarzel3/DebugLogs"));
}

TEST(QuarzelProgram, ProgressLineOnlyOnATerminal) {
    TempDir tmp;
    MakeTree(tmp / "tree");
    const std::string cfg = "--configfolder=" + tmp / "cfg";
    Result piped = Quarzel({tmp / "tree", "--export=a.csv", cfg}, tmp.path());
    EXPECT_EQ(piped.code, 0);
    EXPECT_EQ(piped.err, "");
    if (!HaveProgram("script")) GTEST_SKIP() << "script (a pseudo-terminal) is not installed";
    std::string cmd = Quote(kQuarzel) + " " + Quote(tmp / "tree") +
                      " --export=" + Quote(tmp / "b.csv") + " " + Quote(cfg);
    std::string out;
    ASSERT_EQ(qz::test::Run("script -qec " + Quote(cmd) + " /dev/null", &out), 0) << out;
    EXPECT_NE(out.find("Scanning"), std::string::npos) << out;
    EXPECT_NE(out.find("100%"), std::string::npos) << out;
    EXPECT_NE(out.find("6 files"), std::string::npos) << out;
    EXPECT_NE(out.find("Written: " + tmp / "b.csv"), std::string::npos) << out;
}

TEST(QuarzelProgram, DamagedFolderRecordIsReportedAndItsContentKept) {
    // testfs1 (mkntfs) with one flipped byte in the signature of folder many_subdirs, MFT
    // record 68, which holds 512 subfolders: the run still succeeds and writes every item,
    // and standard error says what happened.
    if (!HaveProgram("gzip")) GTEST_SKIP() << "gzip is not installed";
    TempDir tmp;
    const std::string img = tmp / "testfs1.img";
    ASSERT_EQ(qz::test::Run("gzip -dc " + Quote(DataPath("ntfs/ColinFinck-ntfs/testfs1.gz")) +
                            " > " + Quote(img)),
              0);
    Result healthy = Quarzel({img, "--export=healthy.csv"}, tmp.path());
    ASSERT_EQ(healthy.code, 0) << healthy.err;
    EXPECT_EQ(healthy.err.find("warning"), std::string::npos) << healthy.err;

    // The record: "FILE" at a sector start with its own number (header offset 44) 68.
    auto bytes = ReadFileBytes(img);
    size_t at = 0;
    for (size_t p = 0; p + 48 <= bytes.size() && !at; p += 512) {
        uint32_t number;
        std::memcpy(&number, &bytes[p + 44], 4);
        if (std::memcmp(&bytes[p], "FILE", 4) == 0 && number == 68) at = p;
    }
    ASSERT_NE(at, 0u);
    bytes[at + 3] = 'X';
    WriteFileBytes(img, bytes.data(), bytes.size());

    Result damaged = Quarzel({img, "--export=damaged.csv"}, tmp.path());
    EXPECT_EQ(damaged.code, 0) << damaged.err;
    EXPECT_NE(damaged.err.find("quarzel: warning: 513 items (0 bytes) could not be placed in "
                               "the folder tree"),
              std::string::npos)
        << damaged.err;
    const auto before = ReadCsv(tmp / "healthy.csv"), after = ReadCsv(tmp / "damaged.csv");
    EXPECT_EQ(after.size(), before.size() + 1); // the orphan folder's own row
    EXPECT_EQ(after[1][1], before[1][1]) << "the root's size";
    size_t moved = 0;
    for (const auto& row : after)
        moved += row[0].rfind("C:\\<Orphaned items>\\<MFT record 68>\\", 0) == 0;
    EXPECT_EQ(moved, 513u); // the folder standing for many_subdirs and its 512 subfolders
}

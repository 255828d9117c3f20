// The quarzel program on folder and CSV/TSV sources, as a user runs it: what could not be read
// is said on standard error while the outputs are still written; capacity figures for a folder
// that is not a mount point; paths given with ".", ".." and repeated "/".
#include "tests/sources/test_dirscan_util.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace qz::test;

namespace {

const std::string kQuarzel = std::string(QZ_BINARY_DIR) + "/app/quarzel";

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

struct Result {
    int code = -1;
    std::string out, err;
};

// Runs quarzel in folder dir with args; its standard error goes through errFile (in a folder
// the running user may write).
Result Quarzel(const std::string& dir, const std::vector<std::string>& args,
               const std::string& errFile) {
    std::string cmd = "cd " + Quote(dir) + " && " + Quote(kQuarzel);
    for (const std::string& a : args) cmd += " " + Quote(a);
    cmd += " 2>" + Quote(errFile);
    Result r;
    r.code = Run(cmd, &r.out);
    auto e = ReadFileBytes(errFile);
    r.err.assign(e.begin(), e.end());
    return r;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> f;
    size_t at = 0;
    for (;;) {
        size_t c = line.find(',', at);
        f.push_back(line.substr(at, c == std::string::npos ? std::string::npos : c - at));
        if (c == std::string::npos) return f;
        at = c + 1;
    }
}

TEST(SourcesProgram, UnreadableFoldersAreReportedAndTheExportIsWritten) {
    TempDir tmp;
    ::chmod(tmp.path().c_str(), 0755);
    const std::string out = tmp / "out";
    ASSERT_EQ(::mkdir(out.c_str(), 0777), 0);
    ::chmod(out.c_str(), 0777);
    const std::string root = tmp / "r";
    for (const char* d : {"r", "r/locked", "r/listonly"})
        ASSERT_EQ(::mkdir((tmp / d).c_str(), 0755), 0);
    MakeFile(root + "/locked/f", 10);
    MakeFile(root + "/listonly/a", 5);
    MakeFile(root + "/ok", 7);
    ::chmod((root + "/locked").c_str(), 0);
    ::chmod((root + "/listonly").c_str(), 0444);
    std::string got = RunUnprivileged([&] {
        Result r = Quarzel(out, {root, "--export=x.csv", "--configfolder=" + out}, out + "/err");
        auto csv = ReadFileBytes(out + "/x.csv");
        return "code " + std::to_string(r.code) + "\nerr\n" + r.err + "csv\n" +
               std::string(csv.begin(), csv.end());
    });
    if (got.rfind("SKIP", 0) == 0) GTEST_SKIP() << got;
    EXPECT_NE(got.find("code 0\n"), std::string::npos) << got;
    EXPECT_NE(got.find("quarzel: warning: 1 folder could not be read; what it holds is missing "
                       "from the scan [" +
                       root + "]"),
              std::string::npos)
        << got;
    EXPECT_NE(got.find("quarzel: warning: 1 entry could not be examined"), std::string::npos)
        << got;
    EXPECT_NE(got.find("\"" + root + "/listonly/a.\",0,0,,"), std::string::npos) << got;
    EXPECT_EQ(got.find("1899/12/30"), std::string::npos) << got;
}

TEST(SourcesProgram, HandEditedCsvOpensWithAWarning) {
    TempDir tmp;
    const std::string d = "2024/01/01 00:00:00";
    const std::string text = "File Name,Size,Allocated,Modified,Attributes,Files,Folders\r\n"
                             "\"C:\\\",0,0," +
                             d +
                             ",16,0,0\r\n"
                             "\"C:\\a.txt\",300,4096," +
                             d +
                             ",32,0,0\r\n"
                             "\"C:\\a.txt\",300,4096," +
                             d +
                             ",32,0,0\r\n"
                             "\"D:\\b.txt\",50,4096," +
                             d +
                             ",32,0,0\r\n"
                             "\"C:\\c.txt\",n/a,4096," +
                             d +
                             ",32,0,0\r\n"
                             "Total,650,,,,,\r\n";
    WriteFileBytes(tmp / "in.csv", text.data(), text.size());
    Result r =
        Quarzel(tmp.path(), {"in.csv", "--export=-", "--exportdrivecapacity=0"}, tmp / "err");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"C:\\\",300,8192,"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("2 lines were skipped"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 row had a number that could not be read"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("1 row named an item listed before"), std::string::npos) << r.err;
}

TEST(SourcesProgram, FolderPathsAreCleanAndTheRootRowCarriesItsDrive) {
    // A folder that is not a mount point, named with ".", ".." and repeated "/": every exported
    // path is the clean one, and the root row has the figures of the file system holding it.
    TempDir tmp;
    ASSERT_EQ(::mkdir((tmp / "tree").c_str(), 0755), 0);
    ASSERT_EQ(::mkdir((tmp / "tree/sub").c_str(), 0755), 0);
    MakeFile(tmp / "tree/sub/f.txt", 100);
    Result r = Quarzel(tmp.path(), {"./tree/../tree//sub/./..", "--export=-"}, tmp / "err");
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<std::string> lines;
    for (size_t at = 0; at < r.out.size();) {
        size_t e = r.out.find("\r\n", at);
        lines.push_back(r.out.substr(at, e - at));
        at = e == std::string::npos ? r.out.size() : e + 2;
    }
    ASSERT_EQ(lines.size(), 4u) << r.out;
    const std::string root = tmp / "tree";
    EXPECT_EQ(lines[1].rfind("\"" + root + "/\",", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("\"" + root + "/sub/\",", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("\"" + root + "/sub/f.txt\",", 0), 0u) << lines[3];
    const std::vector<std::string> f = Fields(lines[1]);
    ASSERT_EQ(f.size(), 11u) << lines[1];
    struct statvfs sv {};
    ASSERT_EQ(::statvfs(root.c_str(), &sv), 0);
    const unsigned long long total = std::stoull(f[7]), free = std::stoull(f[8]),
                             used = std::stoull(f[9]), reserved = std::stoull(f[10]);
    EXPECT_EQ(total, (unsigned long long)sv.f_blocks * sv.f_frsize);
    EXPECT_EQ(used + free + reserved, total); // used as df counts it, reserved apart
    EXPECT_EQ(Fields(lines[2]).size(), 7u);
}

} // namespace

// The trash on real trees: the home trash for items on its own mount, $topdir/.Trash/$uid and
// $topdir/.Trash-$uid on other mounts (a tmpfs, a bind mount of the same file system), the
// .trashinfo files read back, unique names, and the items the trash refuses.
#include "fsops/fileuri.h"
#include "fsops/trash.h"
#include "tests/fsops/fstree.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

namespace {

struct TInfo {
    std::string Path; // decoded
    std::string Date;
};

// Reads a .trashinfo file back; fails the test when it is not in the specified form.
TInfo ReadInfo(const std::string& file) {
    const std::string text = ReadText(file);
    std::smatch m;
    static const std::regex form("\\[Trash Info\\]\nPath=([^\n]*)\nDeletionDate=([^\n]*)\n");
    TInfo info;
    EXPECT_TRUE(std::regex_match(text, m, form)) << text;
    if (m.size() < 3) return info;
    EXPECT_TRUE(PercentDecode(m[1].str(), info.Path)) << m[1].str();
    info.Date = m[2].str();
    return info;
}

// The deletion date must read back as local time within a minute of now.
void ExpectRecentDate(const std::string& date) {
    struct tm t {};
    ASSERT_NE(strptime(date.c_str(), "%Y-%m-%dT%H:%M:%S", &t), nullptr) << date;
    ASSERT_EQ(date.size(), 19u) << date;
    t.tm_isdst = -1;
    EXPECT_LT(std::abs(std::difftime(std::mktime(&t), std::time(nullptr))), 60.0) << date;
}

TTrash TrashAt(const std::string& home) {
    return TTrash(home, ReadMountTable(), ::getuid());
}

} // namespace

TEST(Trash, TheHomeTrashTakesItemsOfItsMountWithTheirInformation) {
    TempDir tmp;
    const std::string home = tmp / "xdg/Trash";
    const TTrash trash = TrashAt(home);
    const std::vector<std::string> names = {"plain.txt", "with blank", "line\nbreak",
                                            "bad\xff",   "100%",       "folder"};
    for (const std::string& n : names)
        WriteText(tmp / "items/" + n + (n == "folder" ? "/in" : ""), n);
    WriteText(tmp / "items/stays", "beside");
    for (const std::string& n : names) {
        SCOPED_TRACE(n);
        const std::string path = tmp / "items/" + n;
        EXPECT_TRUE(trash.CanTrash(path));
        const TTrashResult r = trash.MoveToTrash(path);
        ASSERT_TRUE(r.Ok) << r.Message;
        EXPECT_FALSE(Exists(path));
        EXPECT_EQ(r.TrashedAs, home + "/files/" + n);
        EXPECT_EQ(r.InfoFile, home + "/info/" + n + ".trashinfo");
        const std::string content = ReadText(n == "folder" ? r.TrashedAs + "/in" : r.TrashedAs);
        EXPECT_EQ(content, n);
        const TInfo info = ReadInfo(r.InfoFile);
        EXPECT_EQ(info.Path, path); // absolute in the home trash
        ExpectRecentDate(info.Date);
    }
    EXPECT_EQ(ReadText(tmp / "items/stays"), "beside");
    // A line break and a byte that is not UTF-8 are escaped in the information file.
    EXPECT_NE(ReadText(home + "/info/line\nbreak.trashinfo").find("line%0Abreak"),
              std::string::npos);
    EXPECT_NE(ReadText(home + "/info/bad\xff.trashinfo").find("bad%FF"), std::string::npos);
}

TEST(Trash, ASecondItemOfTheSameNameGetsItsOwnName) {
    TempDir tmp;
    const TTrash trash = TrashAt(tmp / "xdg/Trash");
    WriteText(tmp / "a/report", "first");
    WriteText(tmp / "b/report", "second");
    WriteText(tmp / "c/report", "third");
    // A leftover in files/ without information also takes its name.
    WriteText(tmp / "xdg/Trash/files/report.3", "leftover");
    std::vector<TTrashResult> r;
    for (const char* d : {"a", "b", "c"}) r.push_back(trash.MoveToTrash(tmp / d + "/report"));
    for (const TTrashResult& x : r) ASSERT_TRUE(x.Ok) << x.Message;
    EXPECT_EQ(ReadText(r[0].TrashedAs), "first");
    EXPECT_EQ(r[1].TrashedAs, tmp / "xdg/Trash/files/report.2");
    EXPECT_EQ(ReadText(r[1].TrashedAs), "second");
    EXPECT_EQ(r[2].TrashedAs, tmp / "xdg/Trash/files/report.4");
    EXPECT_EQ(ReadInfo(r[2].InfoFile).Path, tmp / "c/report");
    EXPECT_EQ(ReadText(tmp / "xdg/Trash/files/report.3"), "leftover");
    EXPECT_FALSE(Exists(tmp / "xdg/Trash/info/report.3.trashinfo"));
}

TEST(Trash, OtherMountsUseTheTrashOfTheirTopFolder) {
    TempDir tmp;
    TMounts mounts;
    if (!mounts.Tmpfs(tmp / "m1") || !mounts.Tmpfs(tmp / "m2") || !mounts.Tmpfs(tmp / "m3") ||
        !mounts.Tmpfs(tmp / "m4"))
        GTEST_SKIP() << "cannot mount here";
    const std::string uid = std::to_string(::getuid());
    // m1: nothing there yet: $topdir/.Trash-$uid is made.
    // m2: an administrator's .Trash with the sticky bit: .Trash/$uid.
    // m3: a .Trash without the sticky bit is not trusted: .Trash-$uid.
    // m4: a .Trash that is a link is not followed: .Trash-$uid.
    ASSERT_EQ(::mkdir((tmp / "m2/.Trash").c_str(), 01777), 0);
    ASSERT_EQ(::chmod((tmp / "m2/.Trash").c_str(), 01777), 0);
    ASSERT_EQ(::mkdir((tmp / "m3/.Trash").c_str(), 0777), 0);
    ASSERT_EQ(::mkdir((tmp / "elsewhere").c_str(), 01777), 0);
    ASSERT_EQ(::symlink((tmp / "elsewhere").c_str(), (tmp / "m4/.Trash").c_str()), 0);
    struct Case {
        const char* mount;
        std::string trashDir; // relative to the mount
    } cases[] = {{"m1", ".Trash-" + uid},
                 {"m2", ".Trash/" + uid},
                 {"m3", ".Trash-" + uid},
                 {"m4", ".Trash-" + uid}};
    const TTrash trash = TrashAt(tmp / "xdg/Trash");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mount);
        const std::string top = tmp / c.mount;
        WriteText(top + "/sub dir/item\n1", c.mount);
        const TTrashResult r = trash.MoveToTrash(top + "/sub dir/item\n1");
        ASSERT_TRUE(r.Ok) << r.Message;
        EXPECT_EQ(r.TrashedAs, top + "/" + c.trashDir + "/files/item\n1");
        EXPECT_EQ(ReadText(r.TrashedAs), c.mount);
        const TInfo info = ReadInfo(r.InfoFile);
        EXPECT_EQ(info.Path, "sub dir/item\n1"); // relative to the top folder
        ExpectRecentDate(info.Date);
        struct stat st {};
        ASSERT_EQ(::lstat((top + "/" + c.trashDir).c_str(), &st), 0);
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u);
    }
    EXPECT_TRUE(PictureOf(tmp / "elsewhere").empty());
    EXPECT_FALSE(Exists(tmp / "xdg/Trash/files"));
}

TEST(Trash, ABindMountOfTheHomeFileSystemUsesItsOwnTopFolder) {
    TempDir tmp;
    TMounts mounts;
    WriteText(tmp / "src/doc", "through the bind mount");
    ASSERT_EQ(::mkdir((tmp / "bind").c_str(), 0755), 0);
    if (!mounts.Bind(tmp / "src", tmp / "bind")) GTEST_SKIP() << "cannot mount here";
    const TTrash trash = TrashAt(tmp / "xdg/Trash");
    const TTrashResult r = trash.MoveToTrash(tmp / "bind/doc");
    ASSERT_TRUE(r.Ok) << r.Message;
    const std::string uid = std::to_string(::getuid());
    EXPECT_EQ(r.TrashedAs, tmp / "bind/.Trash-" + uid + "/files/doc");
    EXPECT_EQ(ReadInfo(r.InfoFile).Path, "doc");
    EXPECT_EQ(ReadText(tmp / "src/.Trash-" + uid + "/files/doc"), "through the bind mount");
}

TEST(Trash, ItemsTheTrashCannotTakeSafelyAreRefusedAndLeftAsTheyAre) {
    TempDir tmp;
    TMounts mounts;
    WriteText(tmp / "src/precious", "bind source");
    WriteText(tmp / "tree/holder/mnt/.keep", "");
    WriteText(tmp / "tree/holder/file", "stays too");
    WriteText(tmp / "xdg/Trash/files/old", "in the trash");
    WriteText(tmp / "rofs/.keep", "");
    if (!mounts.Bind(tmp / "src", tmp / "tree/holder/mnt") || !mounts.Tmpfs(tmp / "rofs"))
        GTEST_SKIP() << "cannot mount here";
    WriteText(tmp / "rofs/file", "read-only");
    ASSERT_TRUE(mounts.ReadOnly(tmp / "rofs"));
    const TTrash trash = TrashAt(tmp / "xdg/Trash");
    const TTreePicture before = PictureOf(tmp.path());
    struct Case {
        std::string path;
        const char* reason; // part of the refusal
    } cases[] = {
        {tmp / "tree/holder", "mounted inside it"},
        {tmp / "tree/holder/mnt", "mount point"},
        {tmp / "xdg/Trash/files/old", "in the trash"},
        {tmp / "rofs/file", "read-only"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string why;
        EXPECT_FALSE(trash.CanTrash(c.path, &why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        const TTrashResult r = trash.MoveToTrash(c.path);
        EXPECT_FALSE(r.Ok);
        EXPECT_NE(r.Message.find(c.reason), std::string::npos) << r.Message;
    }
    EXPECT_EQ(Difference(before, PictureOf(tmp.path())), "");
    // A missing item fails with its system error.
    const TTrashResult gone = trash.MoveToTrash(tmp / "tree/none");
    EXPECT_FALSE(gone.Ok);
    EXPECT_EQ(gone.Error, ENOENT);
}

TEST(Trash, TheHomeTrashComesFromTheEnvironment) {
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string keep = oldData ? oldData : "";
    setenv("XDG_DATA_HOME", "/data/home", 1);
    EXPECT_EQ(TTrash::HomeTrashPath(), "/data/home/Trash");
    setenv("XDG_DATA_HOME", "relative", 1); // not absolute: ignored
    const char* home = std::getenv("HOME");
    if (home) {
        EXPECT_EQ(TTrash::HomeTrashPath(), std::string(home) + "/.local/share/Trash");
    }
    if (oldData)
        setenv("XDG_DATA_HOME", keep.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

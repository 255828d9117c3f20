// The plain-data parts of file operations: URIs and clipboard formats of paths with odd
// bytes, the properties of an item, finding a terminal, and starting programs on their own.
#include "fsops/clipformats.h"
#include "fsops/fileuri.h"
#include "fsops/launch.h"
#include "fsops/properties.h"
#include "fsops/terminal.h"
#include "tests/fsops/fstree.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;

TEST(FileUri, PathsOfAnyBytesRoundTrip) {
    struct Case {
        std::string path, uri;
    } cases[] = {
        {"/home/me/a b.txt", "file:///home/me/a%20b.txt"},
        {"/x/line\nbreak", "file:///x/line%0Abreak"},
        {"/x/100%/#?&=+", "file:///x/100%25/%23%3F%26%3D%2B"},
        {"/x/caf\xc3\xa9", "file:///x/caf%C3%A9"},
        {"/x/bad\xff\xfe", "file:///x/bad%FF%FE"},
        {"/x/keep-_.!~*'()", "file:///x/keep-_.!~*'()"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(FileUri(c.path), c.uri);
        std::string back;
        ASSERT_TRUE(PathOfFileUri(c.uri, back));
        EXPECT_EQ(back, c.path);
    }
    std::string out;
    EXPECT_TRUE(PathOfFileUri("file://localhost/a%2Fb", out));
    EXPECT_EQ(out, "/a/b");
    EXPECT_FALSE(PathOfFileUri("http://x/a", out));
    EXPECT_FALSE(PathOfFileUri("file:///a%2", out));
    EXPECT_FALSE(PathOfFileUri("file:///a%zz", out));
}

TEST(ClipboardFormats, CopyAndCutAsFileManagersReadThem) {
    const std::vector<std::string> paths = {"/d/one", "/d/two\nlines", "/d/bad\xff"};
    const TFileClipboard copy = MakeFileClipboard(paths, false);
    EXPECT_EQ(copy.UriList, "file:///d/one\r\nfile:///d/two%0Alines\r\nfile:///d/bad%FF\r\n");
    EXPECT_EQ(copy.GnomeCopiedFiles,
              "copy\nfile:///d/one\nfile:///d/two%0Alines\nfile:///d/bad%FF");
    EXPECT_EQ(copy.KdeCutSelection, "");
    EXPECT_EQ(copy.Text, "/d/one\n/d/two\nlines\n/d/bad\xff\n"); // the bytes as they are
    const TFileClipboard cut = MakeFileClipboard(paths, true);
    EXPECT_EQ(cut.GnomeCopiedFiles.substr(0, 4), "cut\n");
    EXPECT_EQ(cut.KdeCutSelection, "1");
    EXPECT_EQ(cut.UriList, copy.UriList);
    // Copy Path: one path without a line break; several each with one.
    EXPECT_EQ(CopyPathText({"/a/b "}), "/a/b ");
    EXPECT_EQ(CopyPathText({"/a", "/b"}), "/a\n/b\n");
    EXPECT_EQ(CopyPathText({}), "");
}

TEST(ItemProperties, WhatStatxSaysInTheDialogsForm) {
    TempDir tmp;
    WriteText(tmp / "f", std::string(5000, 'x'));
    ASSERT_EQ(::chmod((tmp / "f").c_str(), 04755), 0);
    ASSERT_EQ(::link((tmp / "f").c_str(), (tmp / "f2").c_str()), 0);
    ASSERT_EQ(::symlink("f", (tmp / "ln").c_str()), 0);
    struct stat st {};
    ASSERT_EQ(::stat((tmp / "f").c_str(), &st), 0);

    const TItemProperties f = ReadItemProperties(tmp / "f");
    ASSERT_TRUE(f.Ok);
    EXPECT_EQ(f.Type, "Regular file");
    EXPECT_EQ(f.Size, 5000u);
    EXPECT_EQ(f.Allocated, uint64_t(st.st_blocks) * 512);
    EXPECT_EQ(f.Links, 2u);
    EXPECT_EQ(f.Inode, st.st_ino);
    EXPECT_EQ(f.ModeText, "-rwsr-xr-x (4755)");
    EXPECT_EQ(f.Uid, st.st_uid);
    EXPECT_FALSE(f.Owner.empty());
    EXPECT_EQ(f.Modified.tv_sec, st.st_mtim.tv_sec);

    const TItemProperties ln = ReadItemProperties(tmp / "ln"); // the link, not its target
    ASSERT_TRUE(ln.Ok);
    EXPECT_EQ(ln.Type, "Symbolic link");
    EXPECT_EQ(ln.LinkTarget, "f");
    EXPECT_EQ(ReadItemProperties(tmp.path()).Type, "Folder");
    const TItemProperties gone = ReadItemProperties(tmp / "none");
    EXPECT_FALSE(gone.Ok);
    EXPECT_EQ(gone.Error, ENOENT);

    struct Mode {
        uint32_t mode;
        const char* text;
    } modes[] = {{S_IFDIR | 01777, "drwxrwxrwt"}, {S_IFREG | 02644, "-rw-r-Sr--"},
                 {S_IFLNK | 0777, "lrwxrwxrwx"},  {S_IFREG | 01600, "-rw------T"},
                 {S_IFCHR | 0620, "crw--w----"},  {S_IFIFO | 0, "p---------"}};
    for (const Mode& m : modes) EXPECT_EQ(ModeString(m.mode), m.text);
}

namespace {
void MakeProgram(const std::string& path, const std::string& body = "exit 0") {
    WriteText(path, "#!/bin/sh\n" + body + "\n");
    ASSERT_EQ(::chmod(path.c_str(), 0755), 0);
}
} // namespace

TEST(Terminal, TheUsersChoiceThenTheSystemsThenAKnownOne) {
    TempDir tmp;
    const std::string bin = tmp / "bin", bin2 = tmp / "bin2", none = tmp / "empty";
    ASSERT_EQ(::mkdir(none.c_str(), 0755), 0);
    MakeProgram(bin + "/kitty");
    MakeProgram(bin + "/xterm");
    MakeProgram(bin + "/konsole");
    MakeProgram(bin2 + "/xterm");
    ASSERT_EQ(::symlink("konsole", (bin + "/x-terminal-emulator").c_str()), 0);
    const std::string dir = "/some folder";
    struct Case {
        std::string env, path;
        std::vector<std::string> expected;
    } cases[] = {
        {"kitty -1", bin, {bin + "/kitty", "-1", "--directory", dir}},
        {"not-installed", bin, {bin + "/x-terminal-emulator", "--workdir", dir}},
        {"", bin2, {bin2 + "/xterm"}},
        {"", none, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.env + " in " + c.path);
        EXPECT_EQ(TerminalCommand(dir, c.env, c.path), c.expected);
    }
}

TEST(Launch, ProgramsStartInTheirFolderInASessionOfTheirOwnAndReportTheirEnd) {
    TempDir tmp;
    const std::string prog = tmp / "prog";
    MakeProgram(prog, "pwd > \"$1\"; ps -o sid= -p $$ > \"$1.sid\"; echo $$ > \"$1.pid\"; exit 3");
    std::mutex lock;
    std::condition_variable done;
    int status = -100;
    std::string error;
    ASSERT_TRUE(LaunchDetached(
        {prog, tmp / "out"}, tmp.path(),
        [&](int s) {
            std::lock_guard<std::mutex> g(lock);
            status = s;
            done.notify_all();
        },
        &error))
        << error;
    {
        std::unique_lock<std::mutex> g(lock);
        ASSERT_TRUE(done.wait_for(g, std::chrono::seconds(30), [&] { return status != -100; }));
    }
    EXPECT_EQ(status, 3);
    EXPECT_EQ(ReadText(tmp / "out"), tmp.path() + "\n");
    // Its session is its own: the session id is its process id.
    const std::string sid = ReadText(tmp / "out.sid"), pid = ReadText(tmp / "out.pid");
    if (!sid.empty()) {
        EXPECT_EQ(std::stol(sid), std::stol(pid));
    }

    EXPECT_FALSE(LaunchDetached({"no-such-program-here"}, "", nullptr, &error));
    EXPECT_NE(error.find("no-such-program-here"), std::string::npos) << error;
}

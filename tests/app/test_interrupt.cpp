// Output files and the signals that end a run: a temporary file beside the target while an
// output is written, in place for devices; SIGINT, SIGTERM and SIGHUP first ask the run to
// stop, a second one ends the process without leaving a temporary file; SIGXFSZ turns into a
// failed write.
#include "app/interrupt.h"
#include "base/tempfile.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

size_t FilesIn(const std::string& folder) {
    return size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Runs body in a child process; returns its wait status.
template <class F> int InChild(F body) {
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

} // namespace

TEST(OutputFile, TemporaryBesideTheTargetUntilCommitted) {
    TempDir tmp;
    const std::string target = tmp / "out.csv";
    WriteFileBytes(target, "old", 3);
    chmod(target.c_str(), 0640);
    fs::create_symlink("out.csv", tmp / "link.csv");
    {
        TOutputFile f;
        ASSERT_TRUE(f.Open(tmp / "link.csv")); // the link is followed
        EXPECT_EQ(f.Target(), target);
        EXPECT_FALSE(f.InPlace());
        ASSERT_EQ(write(f.Fd(), "new", 3), 3);
        EXPECT_EQ(FilesIn(tmp.path()), 3u);
        auto old = ReadFileBytes(target);
        EXPECT_EQ(std::string(old.begin(), old.end()), "old");
        ASSERT_TRUE(f.Commit());
    }
    auto now = ReadFileBytes(target);
    EXPECT_EQ(std::string(now.begin(), now.end()), "new");
    EXPECT_EQ(fs::status(target).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_TRUE(fs::is_symlink(tmp / "link.csv"));
    {
        TOutputFile f; // not committed: nothing changes
        ASSERT_TRUE(f.Open(target));
        ASSERT_EQ(write(f.Fd(), "lost", 4), 4);
    }
    EXPECT_EQ(FilesIn(tmp.path()), 2u);
    now = ReadFileBytes(target);
    EXPECT_EQ(std::string(now.begin(), now.end()), "new");

    TOutputFile dev; // a device is written as it is, nothing beside it
    ASSERT_TRUE(dev.Open("/dev/null"));
    EXPECT_TRUE(dev.InPlace());
    EXPECT_EQ(dev.WritePath(), "/dev/null");
    EXPECT_TRUE(dev.Commit());
    TOutputFile folder;
    EXPECT_FALSE(folder.Open(tmp.path()));
    EXPECT_EQ(errno, EISDIR);
}

TEST(Interrupt, ASecondSignalEndsTheProcessWithoutTemporaryFiles) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(strsignal(sig));
        TempDir tmp;
        const std::string target = tmp / "out.csv";
        const int status = InChild([&] {
            static std::atomic<bool> flag{false};
            InstallInterruptHandlers(flag);
            TOutputFile f;
            if (!f.Open(target)) _exit(10);
            raise(sig); // the first one asks to stop
            if (!flag.load()) _exit(11);
            if (FilesIn(tmp.path()) != 1) _exit(12); // the output goes on
            raise(sig);                              // the second one ends the process
            _exit(13);
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(FilesIn(tmp.path()), 0u);
    }
}

TEST(Interrupt, TheFileSizeLimitFailsTheWrite) {
    TempDir tmp;
    const std::string target = tmp / "big.bin";
    const int status = InChild([&] {
        static std::atomic<bool> flag{false};
        InstallInterruptHandlers(flag);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        TOutputFile f;
        if (!f.Open(target)) _exit(10);
        const std::string data(8192, 'x');
        const ssize_t n = write(f.Fd(), data.data(), data.size());
        const ssize_t more = write(f.Fd(), data.data(), data.size());
        const bool tooLarge = n == 4096 && more == -1 && errno == EFBIG;
        f.Discard();                                  // what a writer does with a failed output
        _exit(!tooLarge ? 11 : flag.load() ? 12 : 0); // the failed write is the report
    });
    ASSERT_TRUE(WIFEXITED(status)) << "signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(FilesIn(tmp.path()), 0u);
}

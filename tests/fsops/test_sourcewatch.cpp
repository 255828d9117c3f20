// The source-list watcher on real mounts and devices: a file system mounted and unmounted in
// a private mount table, a loop device coming and going, refreshes asked for by a provider;
// and the classification of an NTFS volume that only root may read raw, seen by an ordinary
// user. Everything is mounted in a mount namespace of the test's own.
#include "base/text.h"
#include "fsops/sourcewatch.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sys/wait.h>
#include <unistd.h>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

// Collects the watcher's rebuilds.
struct Snapshots {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<TSourceSnapshot> all;

    void Add(TSourceSnapshot s) {
        std::lock_guard<std::mutex> g(lock);
        all.push_back(std::move(s));
        changed.notify_all();
    }
    // Waits for a rebuild after the first `after` ones that satisfies pred.
    template <class P> bool WaitFor(size_t after, P pred, int ms = 5000) {
        std::unique_lock<std::mutex> g(lock);
        return changed.wait_for(g, std::chrono::milliseconds(ms), [&] {
            for (size_t i = after; i < all.size(); ++i)
                if (pred(all[i])) return true;
            return false;
        });
    }
    size_t Count() {
        std::lock_guard<std::mutex> g(lock);
        return all.size();
    }
    TSourceSnapshot Last() {
        std::lock_guard<std::mutex> g(lock);
        return all.back();
    }
};

const TSourceEntry* EntryAt(const TSourceSnapshot& s, const std::string& mountPoint) {
    for (const TSourceEntry& e : s.Entries)
        if (e.Path == mountPoint) return &e;
    return nullptr;
}

#define REQUIRE_MOUNTS()                                                                           \
    do {                                                                                           \
        std::string why;                                                                           \
        if (!PrivateMountNamespace(&why)) GTEST_SKIP() << why;                                     \
    } while (0)

} // namespace

TEST(SourceWatcher, FollowsFileSystemsMountedAndUnmounted) {
    REQUIRE_MOUNTS();
    TempDir tmp;
    const std::string img = tmp / "ext.img", at = tmp / "mnt";
    fs::create_directory(at);
    ASSERT_EQ(qz::test::Run("truncate -s 8M '" + img + "' && mkfs.ext4 -q -F '" + img + "' 2>&1"),
              0);
    Snapshots got;
    TSourceWatcher w([&](TSourceSnapshot s) { got.Add(std::move(s)); });
    w.Start();
    ASSERT_TRUE(got.WaitFor(0, [](const TSourceSnapshot& s) { return s.Serial == 1; }));
    EXPECT_TRUE(w.WatchesMounts());
    EXPECT_EQ(EntryAt(got.Last(), at), nullptr);

    size_t before = got.Count();
    ASSERT_EQ(qz::test::Run("mount -o loop '" + img + "' '" + at + "'"), 0);
    ASSERT_TRUE(got.WaitFor(before, [&](const TSourceSnapshot& s) { return EntryAt(s, at); }))
        << "the new mount was not listed";
    const TSourceSnapshot s = got.Last();
    const TSourceEntry* e = EntryAt(s, at);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->Kind, DT_DRIVE);
    EXPECT_EQ(e->FsType, "ext4");
    EXPECT_FALSE(e->NeedsRoot);
    EXPECT_EQ(Utf16ToUtf8(e->Text).rfind("[" + at + "] loop", 0), 0u) << Utf16ToUtf8(e->Text);
    // Its space figures come with it (statvfs of an 8 MiB file system).
    EXPECT_TRUE(e->Space.hastotalandfreespace);
    EXPECT_GT(e->Space.totalspace, 4u << 20);
    EXPECT_LE(e->Space.totalspace, 8u << 20);
    EXPECT_EQ(e->Space.itempath, Utf8ToUtf16(at));

    before = got.Count();
    ASSERT_EQ(qz::test::Run("umount '" + at + "'"), 0);
    ASSERT_TRUE(got.WaitFor(before, [&](const TSourceSnapshot& s) { return !EntryAt(s, at); }))
        << "the unmounted file system stayed listed";
}

TEST(SourceWatcher, DeviceEventsAndRefreshesRebuildWithTheProvidersEntries) {
    REQUIRE_MOUNTS();
    TempDir tmp;
    const std::string img = tmp / "disk.img";
    ASSERT_EQ(qz::test::Run("truncate -s 4M '" + img + "'"), 0);
    Snapshots got;
    int asked = 0; // on the watcher's thread only
    TSourceWatcher w([&](TSourceSnapshot s) { got.Add(std::move(s)); });
    w.AddProvider([&] {
        ++asked;
        TSourceEntry phone;
        phone.Kind = DT_DEVICE;
        phone.Path = "/run/user/0/gvfs/mtp:host=phone";
        phone.Text = u"Phone";
        return std::vector<TSourceEntry>{phone};
    });
    w.Start();
    ASSERT_TRUE(got.WaitFor(0, [](const TSourceSnapshot& s) { return s.Serial == 1; }));
    const TSourceSnapshot first = got.Last();
    ASSERT_FALSE(first.Entries.empty());
    EXPECT_EQ(first.Entries.back().Kind, DT_DEVICE); // after the drives
    EXPECT_EQ(first.Entries.back().Text, u"Phone");
    for (size_t i = 0; i + 1 < first.Entries.size(); ++i)
        EXPECT_TRUE(first.Entries[i].Kind == DT_DRIVE || first.Entries[i].Kind == DT_NTFS);

    // A provider whose devices changed asks for a rebuild.
    size_t before = got.Count();
    std::thread([&] { w.Refresh(); }).join();
    ASSERT_TRUE(got.WaitFor(before, [](const TSourceSnapshot&) { return true; }));

    // A block device coming and going (no mount): the kernel's events alone rebuild the list.
    if (!w.WatchesDevices()) GTEST_SKIP() << "no device events on this machine";
    before = got.Count();
    const std::string loop = AttachLoop(img);
    ASSERT_FALSE(loop.empty());
    const bool seen = got.WaitFor(before, [](const TSourceSnapshot&) { return true; });
    DetachLoop(loop);
    EXPECT_TRUE(seen) << "attaching " << loop << " did not rebuild the list";
    const TSourceSnapshot last = got.Last();
    EXPECT_GT(last.Serial, first.Serial);
    EXPECT_EQ(uint64_t(asked), last.Serial); // asked once per rebuild, never in between
}

// Root reads any device; an ordinary user may not read a disk's device node, and then an NTFS
// mount is listed for walking, with a note that root could read it raw.
TEST(SourceList, NtfsVolumeThatOnlyRootMayReadRaw) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to attach a loop device";
    TempDir tmp;
    const std::string img = tmp / "vol.img";
    ASSERT_EQ(qz::test::Run("truncate -s 8M '" + img + "' && mkntfs -q -F -f '" + img +
                            "' >/dev/null 2>&1"),
              0);
    const std::string loop = AttachLoop(img);
    ASSERT_FALSE(loop.empty());
    fs::create_directory(tmp / "win");
    ::chmod(tmp.path().c_str(), 0755);
    // The kernel's NTFS driver names itself in the mount table (a FUSE mount would need the
    // udev database, which this machine may not have).
    const std::vector<TMountInfo> mounts =
        ParseMountInfo("1 0 7:0 / " + tmp / "win" + " rw - ntfs3 " + loop + " rw\n" + "2 0 7:0 / " +
                       tmp.path() + " rw - fuseblk " + loop + " rw\n");
    auto describe = [&] {
        std::string out;
        for (const TSourceEntry& e : GetDriveEntries(mounts))
            out += std::to_string(int(e.Kind)) + (e.NeedsRoot ? " root " : " - ") +
                   Utf16ToUtf8(e.Text) + "\n";
        return out;
    };
    const std::string asRoot = describe();
    int pipefd[2];
    ASSERT_EQ(::pipe(pipefd), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipefd[0]);
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        const std::string out = describe();
        [[maybe_unused]] ssize_t n = ::write(pipefd[1], out.data(), out.size());
        ::_exit(0);
    }
    ::close(pipefd[1]);
    std::string asUser;
    char buf[512];
    for (ssize_t n; (n = ::read(pipefd[0], buf, sizeof buf)) > 0;) asUser.append(buf, size_t(n));
    ::close(pipefd[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    DetachLoop(loop);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::string dev = fs::path(loop).filename().string();
    EXPECT_EQ(asRoot, "1 - [" + tmp.path() + "] " + dev + " (fuseblk)\n1 - [" + tmp / "win" + "] " +
                          dev + " (ntfs3)\n");
    EXPECT_EQ(asUser, "0 - [" + tmp.path() + "] " + dev + " (fuseblk)\n0 root [" + tmp / "win" +
                          "] " + dev + " (ntfs3, NTFS read raw only as root)\n");
}

#include "fsops/changewatch.h"

#include "base/text.h"
#include "engine/tree.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

constexpr uint32_t kMask = IN_DELETE | IN_DELETE_SELF | IN_MOVED_FROM | IN_MOVED_TO | IN_CREATE |
                           IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;
constexpr size_t kBufSize = 256 * 1024;
// While the watches are added, waiting events are read every so many folders so that the
// kernel's queue does not overflow.
constexpr size_t kDrainEvery = 2048;

int64_t NowTicks() {
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

} // namespace

TChangeWatcher::TChangeWatcher(std::vector<TNTFS_FILES*> scans,
                               std::vector<PMFT_RECORD> linkedNames)
    : FScans(std::move(scans)), FLinkedNames(std::move(linkedNames)) {}

TChangeWatcher::~TChangeWatcher() {
    Stop();
}

bool TChangeWatcher::Start(std::string* error) {
    FInotify.reset(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    FWake.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (!FInotify || !FWake) {
        if (error) *error = std::strerror(errno);
        FInotify.Close();
        FWake.Close();
        return false;
    }
    FThread = std::thread([this] { Run(); });
    return true;
}

void TChangeWatcher::Stop() {
    if (!FThread.joinable()) return;
    FStop.store(true);
    const uint64_t one = 1;
    if (::write(FWake.get(), &one, sizeof one) < 0) {
        // The thread also notices FStop within its next poll round.
    }
    FThread.join();
    FInotify.Close();
    FWake.Close();
}

void TChangeWatcher::TakeChanges(TChangeBatch& out) {
    out.Clear();
    std::lock_guard<std::mutex> g(FLock);
    std::swap(out, FPending);
    FMovedAway.clear();
    FNotified = false;
}

std::chrono::steady_clock::time_point TChangeWatcher::LastChange() const {
    return std::chrono::steady_clock::time_point(
        std::chrono::steady_clock::duration(FLastChange.load(std::memory_order_relaxed)));
}

std::string TChangeWatcher::PathOf(const TWatched& w) {
    if (!w.Rec) return FNewPaths[w.NewPath];
    FPath16.clear();
    AppendRecordPath(w.Rec, FPath16);
    return Utf16ToUtf8(FPath16);
}

bool TChangeWatcher::AddWatch(const std::string& path, PMFT_RECORD rec, uint32_t newPath,
                              bool root) {
    const int wd = ::inotify_add_watch(FInotify.get(), path.c_str(), kMask);
    if (wd < 0) {
        if (errno == ENOSPC || errno == ENOMEM) FLimitReached.store(true);
        return false;
    }
    if (size_t(wd) >= FByWd.size()) FByWd.resize(std::max(size_t(wd) + 1, FByWd.size() * 2), -1);
    if (FByWd[size_t(wd)] >= 0) {
        // The same folder reached twice (a bind mount of a watched folder): the first stays.
        return true;
    }
    FByWd[size_t(wd)] = int32_t(FWatched.size());
    FWatched.push_back({rec, newPath, root});
    FWatchCount.fetch_add(1, std::memory_order_relaxed);
    return true;
}

void TChangeWatcher::Setup() {
    // Every folder of every scan with its depth; shallow ones are watched first.
    struct TItem {
        PMFT_RECORD Rec;
        uint32_t Depth;
    };
    std::vector<TItem> folders;
    std::vector<PMFT_RECORD> roots;
    for (TNTFS_FILES* scan : FScans) {
        PMFT_RECORD root = scan ? scan->MFTRoot : nullptr;
        if (!root || !root->Filename || root->Filename[0] != u'/') continue;
        roots.push_back(root);
        for (PMFT_RECORD r : scan->FDirList) {
            if (!r || !r->IsFolder()) continue;
            uint32_t depth = 0;
            PMFT_RECORD p = r;
            while (p->ParentMFTRec && depth < 100000) {
                p = p->ParentMFTRec;
                ++depth;
            }
            if (p != root) continue; // not below this scan's root (an orphan)
            folders.push_back({r, depth});
        }
    }
    std::stable_sort(folders.begin(), folders.end(),
                     [](const TItem& a, const TItem& b) { return a.Depth < b.Depth; });
    FFolderCount.store(folders.size());
    FBuf.resize(kBufSize);
    size_t sinceDrain = 0;
    std::string path;
    for (const TItem& f : folders) {
        if (FStop.load(std::memory_order_relaxed)) return;
        if (FLimitReached.load(std::memory_order_relaxed)) break;
        FPath16.clear();
        AppendRecordPath(f.Rec, FPath16);
        path.clear();
        Utf16ToUtf8(FPath16, path);
        AddWatch(path, f.Rec, ~0u, f.Depth == 0);
        if (++sinceDrain == kDrainEvery) {
            sinceDrain = 0;
            Drain();
        }
    }
}

void TChangeWatcher::GroupHardLinks() {
    if (FLinkedNames.empty()) return;
    // The names of one file have the same size and modification date: files that match a
    // linked name in both are looked at on disk, and those with the same inode form a group.
    struct TKeyHash {
        size_t operator()(const std::pair<uint64_t, double>& k) const {
            return std::hash<uint64_t>()(k.first) * 31 + std::hash<double>()(k.second);
        }
    };
    std::unordered_map<std::pair<uint64_t, double>, bool, TKeyHash> keys;
    for (PMFT_RECORD r : FLinkedNames)
        keys.emplace(std::make_pair(r->FileSize, r->ModifiedDate), true);
    struct TFileId {
        uint64_t Dev, Ino;
        bool operator==(const TFileId& o) const { return Dev == o.Dev && Ino == o.Ino; }
    };
    struct TIdHash {
        size_t operator()(const TFileId& k) const { return k.Ino * 1000003u ^ k.Dev; }
    };
    std::unordered_map<TFileId, std::vector<PMFT_RECORD>, TIdHash> byFile;
    std::string path;
    size_t sinceDrain = 0;
    for (TNTFS_FILES* scan : FScans) {
        if (!scan) continue;
        for (PMFT_RECORD r : scan->FFileList) {
            if (FStop.load(std::memory_order_relaxed)) return;
            if (++sinceDrain == 65536) {
                sinceDrain = 0;
                Drain();
            }
            if (!r || r->IsFolder() || !keys.count(std::make_pair(r->FileSize, r->ModifiedDate)))
                continue;
            FPath16.clear();
            AppendRecordPath(r, FPath16);
            path.clear();
            Utf16ToUtf8(FPath16, path);
            struct stat st {};
            if (::lstat(path.c_str(), &st) != 0 || st.st_nlink < 2) continue;
            byFile[{uint64_t(st.st_dev), uint64_t(st.st_ino)}].push_back(r);
        }
    }
    for (auto& [id, names] : byFile)
        if (names.size() > 1) FLinkGroups.push_back(std::move(names));
}

void TChangeWatcher::Handle(const ::inotify_event& ev, bool& added) {
    if (ev.mask & IN_Q_OVERFLOW) {
        std::lock_guard<std::mutex> g(FLock);
        FPending.Overflowed = true;
        added = true;
        return;
    }
    if (ev.wd < 0 || size_t(ev.wd) >= FByWd.size() || FByWd[size_t(ev.wd)] < 0) return;
    const size_t index = size_t(FByWd[size_t(ev.wd)]);
    if (ev.mask & IN_IGNORED) {
        // The folder is gone (or its file system was unmounted): its number may come again.
        FByWd[size_t(ev.wd)] = -1;
        return;
    }
    const TWatched w = FWatched[index];
    const char* name = ev.len ? ev.name : "";
    const size_t nameLen = ::strnlen(name, ev.len);
    if (ev.mask & IN_DELETE_SELF) {
        if (!w.Root) return; // a folder below: its parent reports it by name
        std::lock_guard<std::mutex> g(FLock);
        FPending.Removals.push_back({w.Rec, uint32_t(FPending.Names.size()), 0});
        added = true;
        return;
    }
    if ((ev.mask & IN_CREATE) && (ev.mask & IN_ISDIR)) {
        if (FLimitReached.load(std::memory_order_relaxed)) return;
        std::string path = PathOf(w);
        if (path != "/") path += '/';
        path.append(name, nameLen);
        FNewPaths.push_back(path);
        if (!AddWatch(path, nullptr, uint32_t(FNewPaths.size() - 1), false)) FNewPaths.pop_back();
        return;
    }
    if (ev.mask & IN_MOVED_TO) {
        std::lock_guard<std::mutex> g(FLock);
        auto it = FMovedAway.find(ev.cookie);
        if (it != FMovedAway.end()) {
            FPending.Removals[it->second].Folder = nullptr; // a rename within the watch
            FMovedAway.erase(it);
        }
        return;
    }
    if (!(ev.mask & (IN_DELETE | IN_MOVED_FROM)) || !w.Rec || nameLen == 0) return;
    std::lock_guard<std::mutex> g(FLock);
    if (ev.mask & IN_MOVED_FROM) FMovedAway[ev.cookie] = FPending.Removals.size();
    FPending.Removals.push_back({w.Rec, uint32_t(FPending.Names.size()), uint32_t(nameLen)});
    FPending.Names.append(name, nameLen);
    added = true;
}

bool TChangeWatcher::Drain() {
    bool added = false;
    for (;;) {
        const ssize_t n = ::read(FInotify.get(), FBuf.data(), FBuf.size());
        if (n <= 0) break;
        for (ssize_t off = 0; off < n;) {
            const auto* ev = reinterpret_cast<const ::inotify_event*>(FBuf.data() + off);
            Handle(*ev, added);
            off += ssize_t(sizeof(::inotify_event) + ev->len);
        }
    }
    if (added) {
        FLastChange.store(NowTicks(), std::memory_order_relaxed);
        bool tell = false;
        {
            std::lock_guard<std::mutex> g(FLock);
            tell = !FNotified;
            FNotified = true;
        }
        if (tell && OnChanges) OnChanges();
    }
    return added;
}

void TChangeWatcher::Run() {
    Setup();
    GroupHardLinks();
    FSetupDone.store(true, std::memory_order_release);
    if (FStop.load()) return;
    if (OnSetupDone) OnSetupDone();
    Drain();
    pollfd fds[2] = {{FInotify.get(), POLLIN, 0}, {FWake.get(), POLLIN, 0}};
    while (!FStop.load(std::memory_order_relaxed)) {
        const int rc = ::poll(fds, 2, -1);
        if (rc < 0 && errno != EINTR) break;
        if (fds[1].revents) break;
        if (fds[0].revents) Drain();
    }
}

} // namespace qz

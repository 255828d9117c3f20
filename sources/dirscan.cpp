// The folder walk's top level: the root record, the choice between the block method and the
// older method, and the fallback from one to the other.
#include "sources/dirscan.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "sources/dirscan_entry.h"
#include "sources/dirscan_walk.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <sched.h>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace qz {

using namespace dirscan;

TSlowScanOptions& SlowScanDefaults() {
    static TSlowScanOptions options;
    return options;
}

std::string SlowScanRootName(const std::string& path) {
    std::string full = path.empty() ? std::string(".") : path;
    if (full[0] != '/') {
        std::string cwd(256, '\0');
        while (!::getcwd(cwd.data(), cwd.size())) {
            if (errno != ERANGE) {
                cwd.clear();
                break;
            }
            cwd.resize(cwd.size() * 2);
        }
        if (!cwd.empty()) {
            cwd.resize(std::char_traits<char>::length(cwd.c_str()));
            full = cwd + "/" + full;
        }
    }
    const bool absolute = full[0] == '/';
    std::string out;
    out.reserve(full.size());
    size_t i = 0;
    while (i < full.size()) {
        while (i < full.size() && full[i] == '/') ++i;
        size_t j = i;
        while (j < full.size() && full[j] != '/') ++j;
        std::string_view part(full.data() + i, j - i);
        i = j;
        if (part.empty() || part == ".") continue;
        if (part == ".." && absolute) {
            // ".." after a symbolic link leads to the parent of the link's target, as the
            // kernel resolves it; after anything else it removes the last name.
            struct stat st {};
            if (!out.empty() && ::lstat(out.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
                if (char* real = ::realpath(out.c_str(), nullptr)) {
                    out = real;
                    std::free(real);
                    if (out == "/") out.clear();
                }
            }
            const size_t cut = out.rfind('/');
            out.resize(cut == std::string::npos ? 0 : cut);
            continue;
        }
        out.push_back('/');
        out.append(part);
    }
    if (!absolute) out.erase(0, 1); // no current folder known: stays relative
    if (out.empty()) out.push_back('/');
    return out;
}

namespace {

int WalkerCount(const TSlowScanOptions& options) {
    if (options.Threads > 0) return options.Threads;
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return n;
    }
    unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? int(n) : 1;
}

bool ForceOlderFromEnvironment() {
    const char* e = std::getenv("QUARZEL_FORCE_COMPATIBLE_SCAN");
    return e && *e && !(e[0] == '0' && e[1] == 0);
}

std::string ErrorText(int err) {
    return std::generic_category().message(err);
}

// The root record: number 5, named after the folder, listed first.
PMFT_RECORD AddRootRecord(TNTFS_FILES& nf, const std::u16string& name, TDateTime modified) {
    PMFT_RECORD root = nf.Arena().NewRecord();
    root->RecNo = 5;
    root->FileRecFlags = 2;
    root->ModifiedDate = modified;
    root->Folder = nf.Arena().NewFolder();
    nf.SetRecordName(*root, name);
    nf.AddToFileList(root);
    nf.AddToDirList(root);
    return root;
}

// What could not be read reaches the scan: a mark on each record and the counts.
void MarkUnreadable(TNTFS_FILES& nf, const TSlowScanStats& st) {
    std::vector<PMFT_RECORD> folders = st.UnreadableFolders;
    std::sort(folders.begin(), folders.end());
    folders.erase(std::unique(folders.begin(), folders.end()), folders.end());
    for (PMFT_RECORD r : folders) r->Unreadable = true;
    nf.Warnings.UnreadableFolders = int64_t(folders.size());
    nf.Warnings.UnexaminedEntries = st.NotExamined;
}

struct TRoot {
    PMFT_RECORD rec = nullptr;
    std::u16string name;
    std::string path;
    TDateTime modified = 0;
    uint64_t dev = 0;
    uint64_t ino = 0;
};

TFolderTask RootTask(const TRoot& root, TFileHandle fd) {
    TFolderTask t;
    t.fd = std::move(fd);
    t.rec = root.rec;
    t.path = root.path;
    t.share = 1.0;
    t.dev = root.dev;
    t.ino = root.ino;
    t.older = !t.fd.valid();
    return t;
}

// The entry of the walk: block method first, the older method when it is forced or when the
// block method fails.
void SlowScanFolder(TSlowScanWalk& walk, TRoot& root, TFileHandle rootFd, bool forceOlder) {
    TNTFS_FILES& nf = walk.Scan;
    DebugLog("SlowScanFolder Start");
    if (!forceOlder && (walk.Options.ForceOlderMethod || ForceOlderFromEnvironment())) {
        DebugLog("Force use XP compatible file scanning");
        forceOlder = true;
    }
    if (!forceOlder) {
        DebugLog("Calling SlowScanFolderAlloc");
        try {
            TWalker walker(walk, nf.Arena(), true);
            walker.Walk(RootTask(root, std::move(rootFd)));
            walk.WaitSlowScanThreads(walker);
            const std::string err = walk.WorkerError();
            if (!err.empty()) throw std::runtime_error(err);
            return;
        } catch (const std::exception& e) {
            DebugLog(std::string("Error in SlowScanFolderAlloc: ") + e.what() +
                     " (falling back to old method)");
        }
        // Throw away what the failed walk added: the older method lists everything again, and
        // nothing may be counted twice.
        walk.StopWorkers();
        nf.ClearRecords();
        walk.ResetCounters();
        walk.Stats = TSlowScanStats{};
        walk.Stats.OlderMethodFallback = true;
        root.rec = AddRootRecord(nf, root.name, root.modified);
    }
    if (nf.Cancelled()) return;
    TWalker walker(walk, nf.Arena(), true);
    walker.Walk(RootTask(root, TFileHandle()));
    walk.WaitSlowScanThreads(walker); // nothing is handed over by the older method
}

} // namespace

void DoSlowMode(TNTFS_FILES& nf, const TScanFilterTexts& filters) {
    DoSlowMode(nf, filters, SlowScanDefaults(), nullptr);
}

void DoSlowMode(TNTFS_FILES& nf, const TScanFilterTexts& filters, const TSlowScanOptions& options,
                TSlowScanStats* stats) {
    TSlowScanStats localStats;
    TSlowScanStats& st = stats ? *stats : localStats;
    st = TSlowScanStats{};
    nf.Warnings = TScanWarnings{};
    nf.DropRecNoIndexes(); // records are linked by pointer as they are found

    TRoot root;
    root.path = SlowScanRootName(Utf16ToUtf8(nf.FSource));
    root.name = Utf8ToUtf16(root.path);
    nf.FSource = root.name;

    // The root as the user named it (a symbolic link there is followed).
    TEntryMeta rm;
    int err = StatPath(root.path.c_str(), rm, true);
    if (err == 0) root.modified = EntryTime(rm.modify);
    root.dev = rm.dev;
    root.ino = rm.ino;
    root.rec = AddRootRecord(nf, root.name, root.modified);
    nf.MFTRoot = root.rec;
    if (err == 0 && !S_ISDIR(rm.mode)) err = ENOTDIR;
    TFileHandle rootFd;
    if (err == 0) {
        const int fd = OpenFolderPath(root.path.c_str());
        if (fd >= 0)
            rootFd.reset(fd);
        else
            err = -fd;
    }
    if (err != 0) {
        DebugLog("DoSlowMode - cannot open " + root.path + ": " + ErrorText(err));
        nf.SetError(
            Format(err == ENOTDIR ? tr("Not a folder %s: %s") : tr("Cannot read folder %s: %s"),
                   root.path.c_str(), ErrorText(err).c_str()));
        st.UnreadableFolders.push_back(root.rec);
        MarkUnreadable(nf, st);
        return;
    }

    // The include filter is applied once the walk is done; it still decides, with the exclude
    // filter, whether paths are matched in full. Entries matching the exclude filter are
    // dropped as they are found.
    const TWalkExcludeFilter exclude(filters.Exclude,
                                     filters.FullPath || FilterTextSetsFullPath(filters.Include));
    for (const TFilterError& e : exclude.Errors())
        DebugLog("DoSlowMode - exclude filter term " + Utf16ToUtf8(e.term) + ": " + e.message);
    TSlowScanWalk walk(nf, options, st, WalkerCount(options));
    if (exclude.Active()) walk.Exclude = &exclude;

    DebugLog("DoSlowMode - SlowScanFolder");
    SlowScanFolder(walk, root, std::move(rootFd), false);
    walk.StopWorkers();
    nf.MFTRoot = root.rec;
    st.ExtraLinks = walk.Links.Resolve();
    MarkUnreadable(nf, st);

    int64_t files, dirs;
    {
        std::lock_guard<std::mutex> g(nf.SlowScanCrit);
        files = walk.TotFiles;
        dirs = walk.TotFolders;
    }
    if (nf.OnProgress) nf.OnProgress(nf.Index, 100, files, dirs);
}

} // namespace qz

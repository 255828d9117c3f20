// The walker: reads folders (block method or older method), makes their records, adds them to
// the scan and descends, depth first, handing pending subfolders to idle walkers.
#include "sources/dirscan_walk.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "sources/dirscan_entry.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/stat.h>
#include <system_error>

namespace qz::dirscan {

namespace {

constexpr size_t kOlderBatch = 1024; // entries of the older method examined per locked step

std::string ErrorText(int err) {
    return std::generic_category().message(err);
}

// A listed name in UTF-16: most names are ASCII, widened byte by byte; others go through the
// full conversion.
void NameToUtf16(std::string_view name, std::u16string& out) {
    out.resize(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80) {
            out.clear();
            Utf8ToUtf16(name, out);
            return;
        }
        out[i] = char16_t(c);
    }
}

// The path of a subfolder.
void JoinPath(std::string& out, const std::string& folder, std::string_view name) {
    out.clear();
    out.reserve(folder.size() + 1 + name.size());
    out.append(folder);
    if (out.empty() || out.back() != '/') out.push_back('/');
    out.append(name);
}

} // namespace

TWalker::TWalker(TSlowScanWalk& walk, TRecordArena& arena, bool scanThread)
    : FWalk(walk), FArena(arena), FScanThread(scanThread), FBlock(new char[kBlockSize]) {
    FRawEntries.reserve(2048);
    FBatch.reserve(2048);
}

void TWalker::Push(TFolderTask&& task) {
    if (FFrames.size() <= FDepth) FFrames.emplace_back();
    TFrame& f = FFrames[FDepth++];
    f.fd = std::move(task.fd);
    f.rec = task.rec;
    f.path.assign(task.path);
    f.share = task.share;
    f.dev = task.dev;
    f.ino = task.ino;
    f.older = task.older;
    f.listed = false;
    f.count = 0;
    f.next = 0;
    f.names.clear();
    f.subs.clear();
}

void TWalker::Walk(TFolderTask&& task) {
    // Whatever happens, no descriptor of this walk stays open and the next walk starts clean.
    struct Cleanup {
        TWalker& w;
        ~Cleanup() {
            for (size_t i = 0; i < w.FDepth; ++i) w.FFrames[i].fd.Close();
            w.FDepth = 0;
        }
    } cleanup{*this};

    Push(std::move(task));
    while (FDepth > 0) {
        TFrame& f = FFrames[FDepth - 1];
        if (!f.listed) {
            f.listed = true;
            if (!FWalk.Stop()) ListFolder(f);
            f.count = f.subs.size();
            continue;
        }
        if (f.next >= f.subs.size() || FWalk.Stop()) {
            Finish(f);
            f.fd.Close();
            --FDepth;
            continue;
        }
        const TSub s = f.subs[f.next++];
        TFolderTask child = OpenSub(f, s);
        while (FWalk.WalkerIdle() && !FWalk.Stop())
            if (!HandOffShallowest(FDepth)) break;
        if (child.fd.valid()) LimitOpenFolders();
        Push(std::move(child)); // f may move: not used below
    }
}

TFolderTask TWalker::OpenSub(TFrame& f, const TSub& s) {
    TFolderTask t;
    t.rec = s.rec;
    const std::string_view name(f.names.data() + s.nameOff, s.nameLen);
    JoinPath(t.path, f.path, name);
    t.share = f.count ? f.share / double(f.count) : 0;
    t.dev = f.dev;
    t.ino = s.ino;
    t.older = f.older;
    const size_t index = size_t(&f - FFrames.data());
    if (!t.older && !f.fd.valid() && !Reopen(index)) t.older = true;
    if (!t.older) {
        const int fd = OpenFolderAt(f.fd.get(), f.names.data() + s.nameOff);
        if (fd >= 0) {
            t.fd.reset(fd);
        } else {
            DebugLog("SlowScanFolderAlloc: INVALID HANDLE. Fallback to SlowScanFolder");
            t.older = true;
        }
    }
    // The folder's descriptor is kept only while subfolders remain to be opened from it, so a
    // deep chain of folders does not hold a descriptor per level. The walker's first folder
    // stays open: folders below it can always be opened again from there.
    if (f.next >= f.subs.size() && index > 0) f.fd.Close();
    return t;
}

void TWalker::LimitOpenFolders() {
    size_t open = 1; // the folder about to be pushed
    for (size_t i = 0; i < FDepth; ++i) open += FFrames[i].fd.valid() ? 1 : 0;
    for (size_t i = 1; i < FDepth && open > FWalk.FdBudget(); ++i) {
        if (!FFrames[i].fd.valid()) continue;
        FFrames[i].fd.Close();
        --open;
    }
}

bool TWalker::Reopen(size_t j) {
    size_t i = j;
    while (i > 0 && !FFrames[i].fd.valid()) --i;
    if (!FFrames[i].fd.valid()) return false;
    const size_t keep = std::max<size_t>(FWalk.FdBudget() / 2, 1);
    TFileHandle passing; // a folder on the way that is not kept
    int at = FFrames[i].fd.get();
    for (size_t k = i + 1; k <= j; ++k) {
        TFrame& up = FFrames[k - 1];
        TFrame& fk = FFrames[k];
        // A folder's path is its parent's path, "/" unless that ends in one, and its name.
        const size_t skip = up.path.size() + (up.path.back() == '/' ? 0 : 1);
        const int fd = OpenFolderAt(at, fk.path.c_str() + skip);
        if (fd < 0) {
            DebugLog("SlowScanFolderAlloc: cannot open " + fk.path + " again: " + ErrorText(-fd));
            return false;
        }
        TFileHandle h(fd);
        struct stat st;
        if (::fstat(fd, &st) != 0 || uint64_t(st.st_dev) != fk.dev ||
            uint64_t(st.st_ino) != fk.ino) {
            // Moved or replaced since it was listed: what is there now is another folder.
            DebugLog("SlowScanFolderAlloc: " + fk.path + " was replaced since it was listed");
            return false;
        }
        if (k == j || (j - k < keep && fk.next < fk.subs.size())) {
            fk.fd = std::move(h);
            at = fk.fd.get();
        } else {
            passing = std::move(h);
            at = passing.get();
        }
    }
    return true;
}

bool TWalker::HandOffShallowest(size_t frames) {
    for (size_t i = 0; i < frames && i < FDepth; ++i) {
        TFrame& g = FFrames[i];
        // The older method walks its subtree on its own thread. A folder whose descriptor was
        // closed to stay within the budget is left to this walker, which opens it again once
        // (handing its subfolders out one by one would open it again for each).
        if (!g.listed || g.older || !g.fd.valid() || g.next >= g.subs.size()) continue;
        if (!FWalk.ReserveWalker()) return false;
        const TSub s = g.subs.back();
        g.subs.pop_back();
        FWalk.HandOff(OpenSub(g, s));
        return true;
    }
    return false;
}

void TWalker::ListFolder(TFrame& f) {
    if (f.older)
        ListOlderMethod(f);
    else
        ListBlockMethod(f);
}

void TWalker::Unreadable(TFrame& f, const char* what, int err) {
    std::string msg = "SlowScan: cannot ";
    msg += what;
    msg += " ";
    msg += f.path;
    msg += ": ";
    msg += ErrorText(err);
    DebugLog(msg);
    std::lock_guard<std::mutex> g(FWalk.Scan.SlowScanCrit);
    FWalk.Stats.UnreadableFolders.push_back(f.rec);
}

void TWalker::CheckBlocking(size_t entries) {
    // A walk from the page cache switches voluntarily about once per block (a contended lock,
    // a hand-over); one that reads inodes from the disk blocks on most inode-table blocks. The
    // sample covers at least 32 folders so that a few slow folders do not decide it.
    // The switches are read every 16 folders only: a walk from the page cache reads a folder
    // in a few microseconds, and a system call per folder would add a good part of that.
    if (FWalk.WaitingWalkersAllowed() || !FWalk.CanAddWaitingWalkers()) return;
    const bool sampling = FSampleSwitches >= 0 && FSampleFolders < 256;
    if (sampling) {
        ++FSampleFolders;
        FSampleEntries += entries;
        if (FSampleFolders % 16 != 0) return;
    }
    struct rusage ru {};
    if (::getrusage(RUSAGE_THREAD, &ru) != 0) return;
    if (!sampling) {
        FSampleSwitches = ru.ru_nvcsw;
        FSampleFolders = 0;
        FSampleEntries = 0;
        return;
    }
    const long switches = ru.ru_nvcsw - FSampleSwitches;
    if (FSampleFolders >= 32 && size_t(switches) >= 2 * FSampleFolders + FSampleEntries / 64)
        FWalk.AllowWaitingWalkers();
}

void TWalker::ListBlockMethod(TFrame& f) {
    if (DebugLogEnabled()) DebugLog("SlowScanFolderAlloc: " + f.path);
    const int fd = f.fd.get();
    long n = ReadFolderBlock(fd, FBlock.get(), kBlockSize);
    if (n < 0) {
        DebugLog("SlowScanFolderAlloc: 64K buffer fail - trying 32k buffer");
        n = ReadFolderBlock(fd, FBlock.get(), kBlockSize / 2);
        if (n < 0) {
            DebugLog("SlowScanFolderAlloc: failed, falling back to SlowScanFolder method");
            f.fd.Close();
            f.older = true;
            ListOlderMethod(f);
            return;
        }
    }
    size_t entries = 0;
    while (n > 0) {
        FRawEntries.clear();
        ForEachBlockEntry(FBlock.get(), n, [&](const TRawEntry& e) { FRawEntries.push_back(e); });
        entries += FRawEntries.size();
        // Examining entries in inode order keeps reads of the inode tables sequential.
        std::sort(FRawEntries.begin(), FRawEntries.end(),
                  [](const TRawEntry& a, const TRawEntry& b) { return a.ino < b.ino; });
        if (FWalk.Options.AfterBlockListed) FWalk.Options.AfterBlockListed(f.path);
        TakeEntries(
            f, [fd](const TRawEntry& e, TEntryMeta& meta) { return StatAt(fd, e.name, meta); });
        if (FWalk.Stop()) break;
        // A big folder takes a while: meanwhile an idle walker gets a folder from further up.
        while (FWalk.WalkerIdle() && !FWalk.Stop())
            if (!HandOffShallowest(FDepth - 1)) break;
        n = ReadFolderBlock(fd, FBlock.get(), kBlockSize);
        if (n < 0) Unreadable(f, "read", int(-n));
    }
    CheckBlocking(entries);
    if (f.subs.empty()) f.fd.Close();
}

void TWalker::ListOlderMethod(TFrame& f) {
    // Each folder read by the older method is one more pass through the walk's entry.
    if (f.rec->RecNo != 5) DebugLog("SlowScanFolder Start");
    DebugLog("SlowScanFolder slow method start");
    TFolderStream stream(f.path, f.rec->RecNo == 5);
    if (!stream.ok()) {
        Unreadable(f, "open", stream.error());
        return;
    }
    std::vector<uint32_t> offsets;
    offsets.reserve(kOlderBatch);
    auto flush = [&] {
        if (FRawEntries.empty()) return;
        for (size_t i = 0; i < FRawEntries.size(); ++i)
            FRawEntries[i].name = FRawNames.data() + offsets[i];
        std::sort(FRawEntries.begin(), FRawEntries.end(),
                  [](const TRawEntry& a, const TRawEntry& b) { return a.ino < b.ino; });
        if (FWalk.Options.AfterBlockListed) FWalk.Options.AfterBlockListed(f.path);
        TakeEntries(f, [&](const TRawEntry& e, TEntryMeta& meta) {
            JoinPath(FEntryPath, f.path, std::string_view(e.name, e.nameLen));
            return StatPath(FEntryPath.c_str(), meta);
        });
        FRawEntries.clear();
        FRawNames.clear();
        offsets.clear();
    };
    FRawEntries.clear();
    FRawNames.clear();
    TRawEntry e;
    while (!FWalk.Stop() && stream.Next(e)) {
        offsets.push_back(uint32_t(FRawNames.size()));
        FRawNames.append(e.name, e.nameLen);
        FRawNames.push_back('\0');
        e.name = nullptr;
        FRawEntries.push_back(e);
        if (FRawEntries.size() >= kOlderBatch) flush();
    }
    if (stream.error()) Unreadable(f, "read", stream.error());
    flush();
}

template <class StatFn> void TWalker::TakeEntries(TFrame& f, StatFn&& stat) {
    FBatch.clear();
    TNTFS_FILES& nf = FWalk.Scan;
    for (const TRawEntry& e : FRawEntries) {
        TEntryMeta meta;
        const int err = stat(e, meta);
        if (err == ENOENT || err == ENOTDIR) {
            ++FLocalCounts.Vanished; // removed (or its folder replaced) since it was listed
            continue;
        }
        if (err != 0) {
            // Listed but not examinable (typically a folder readable without search
            // permission): keep the name, with the type the listing gave.
            meta = TEntryMeta{};
            meta.mode = e.type == DT_DIR ? S_IFDIR : e.type == DT_LNK ? S_IFLNK : S_IFREG;
            ++FLocalCounts.NotExamined;
            if (DebugLogEnabled())
                DebugLog("SlowScan: cannot examine " + f.path + "/" +
                         std::string(e.name, e.nameLen) + ": " + ErrorText(err));
        }
        const std::string_view name(e.name, e.nameLen);
        PMFT_RECORD r = FSpare ? FSpare : FArena.NewRecord();
        FSpare = nullptr;
        NameToUtf16(name, FName16);
        FillRecordFromEntry(*r, meta, name);
        r->Unreadable = !meta.known;
        r->Filename = FName16.data(); // the scratch copy while the filter looks at it
        r->FilenameLen = FName16.size() < 255 ? FName16.size() : 255;
        r->ParentMFTRec = f.rec;
        r->ParentRec = f.rec->RecNo;
        if (FWalk.Exclude && FWalk.Exclude->Excludes(r)) {
            ZeroRecord(*r);
            FSpare = r;
            ++FLocalCounts.Excluded;
            continue;
        }
        nf.SetRecordName(*r, FName16, FArena);
        const bool folder = S_ISDIR(meta.mode);
        if (folder) {
            r->Folder = FArena.NewFolder();
            if (meta.known && meta.dev == f.dev && !meta.mountRoot) {
                f.subs.push_back(TSub{r, meta.ino, uint32_t(f.names.size()), e.nameLen});
                f.names.append(name);
                f.names.push_back('\0');
            } else if (meta.known) {
                ++FLocalCounts.MountsSkipped; // another file system: listed, not entered
            } else {
                FUnreadable.push_back(r); // cannot be examined, so cannot be entered
            }
        }
        FBatch.push_back(TNewRecord{r, meta.dev, meta.ino, meta.nlink, folder});
    }
    Commit(f);
}

void TWalker::Commit(TFrame& f) {
    const uint64_t parentRecNo = f.rec->RecNo;
    std::lock_guard<std::mutex> g(FWalk.Scan.SlowScanCrit);
    for (const TNewRecord& b : FBatch) {
        b.rec->RecNo = uint64_t(FWalk.NextRecNo++);
        b.rec->ParentRec = parentRecNo;
        if (!b.folder && b.nlink > 1) FWalk.Links.Add(b.dev, b.ino, b.rec);
        FWalk.Scan.AddToFileList(b.rec);
        if (b.folder) {
            FWalk.Scan.AddToDirList(b.rec);
            ++FWalk.TotFolders;
        } else {
            ++FWalk.TotFiles;
        }
    }
    FBatch.clear();
    TSlowScanStats& s = FWalk.Stats;
    s.UnreadableFolders.insert(s.UnreadableFolders.end(), FUnreadable.begin(), FUnreadable.end());
    FUnreadable.clear();
    s.Excluded += FLocalCounts.Excluded;
    s.Vanished += FLocalCounts.Vanished;
    s.NotExamined += FLocalCounts.NotExamined;
    s.MountsSkipped += FLocalCounts.MountsSkipped;
    FLocalCounts = TLocalCounts{};
}

void TWalker::Finish(TFrame& f) {
    {
        std::lock_guard<std::mutex> g(FWalk.Scan.SlowScanCrit);
        if (f.count == 0) FWalk.TotScore += f.share;
        ++FWalk.TotFoldersProcessed;
    }
    if (FScanThread) FWalk.ReportProgress(false);
}

} // namespace qz::dirscan

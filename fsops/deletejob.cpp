#include "fsops/deletejob.h"

#include "base/text.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace qz {

// ---------------------------------------------------------------- the shared part

TDeleteJobBase::~TDeleteJobBase() {
    // A job's own destructor has ended the thread already; this is the last guard.
    Cancel();
    Wait();
}

void TDeleteJobBase::Start() {
    FThread = std::thread([this] { Run(); });
}

void TDeleteJobBase::Wait() {
    if (FThread.joinable()) FThread.join();
}

void TDeleteJobBase::Run() {
    Work();
    FFinished.store(true, std::memory_order_release);
    if (OnDone) OnDone();
}

void TDeleteJobBase::Cancel() {
    FProgress.Cancel.store(true);
    std::lock_guard<std::mutex> g(FLock);
    FAnswered.notify_all();
}

void TDeleteJobBase::Answer(TDeleteChoice choice) {
    std::lock_guard<std::mutex> g(FLock);
    FAnswer = choice;
    FHaveAnswer = true;
    FAnswered.notify_all();
}

uint64_t TDeleteJobBase::EntriesDone() const {
    return FProgress.Removed.load(std::memory_order_relaxed);
}

TDeleteChoice TDeleteJobBase::Ask(const TDeleteFailure& f) {
    if (FSkipAll || !OnFailure) {
        Skipped.push_back(f);
        return TDeleteChoice::Skip;
    }
    {
        std::lock_guard<std::mutex> g(FLock);
        FHaveAnswer = false;
    }
    OnFailure(f);
    std::unique_lock<std::mutex> g(FLock);
    FAnswered.wait(g, [&] { return FHaveAnswer || FProgress.Cancel.load(); });
    if (!FHaveAnswer) return TDeleteChoice::Stop; // cancelled while waiting
    const TDeleteChoice c = FAnswer;
    if (c == TDeleteChoice::SkipAll) FSkipAll = true;
    if (c == TDeleteChoice::Skip || c == TDeleteChoice::SkipAll) Skipped.push_back(f);
    if (c == TDeleteChoice::Stop) FStopped = true;
    return c;
}

// ---------------------------------------------------------------- files of this system

TDeleteJob::TDeleteJob(std::vector<TDeleteItem> items, TTrash trash)
    : FItems(std::move(items)), FTrash(std::move(trash)) {
    for (const TDeleteItem& i : FItems) FEntriesTotal += i.Entries;
}

TDeleteJob::~TDeleteJob() {
    Cancel();
    Wait();
}

uint64_t TDeleteJob::EntriesDone() const {
    return TDeleteJobBase::EntriesDone() + FTrashedEntries.load(std::memory_order_relaxed);
}

bool TDeleteJob::DeleteOne(const TDeleteItem& item, bool permanent, const TItemIdentity& id) {
    if (permanent) {
        const TFailureHandler handler = [this](const TRemoveFailure& f) {
            const TDeleteChoice c = Ask({f.Path, f.Error, f.Message, false});
            return c == TDeleteChoice::Stop ? TFailureChoice::Stop : TFailureChoice::Skip;
        };
        const TRemoveOutcome r = RemoveTree(item.Path, FProgress, handler, &id);
        return r != TRemoveOutcome::Stopped && r != TRemoveOutcome::Cancelled;
    }
    const TTrashResult r = FTrash.MoveToTrash(item.Path, &id);
    if (r.Ok) {
        FTrashedEntries.fetch_add(item.Entries, std::memory_order_relaxed);
        return true;
    }
    if (r.Error == ENOENT) return true; // gone already
    switch (Ask({item.Path, r.Error, r.Message, true})) {
    case TDeleteChoice::DeletePermanently:
        return DeleteOne(item, true, id);
    case TDeleteChoice::Stop:
        return false;
    default:
        return !FProgress.Cancel.load();
    }
}

void TDeleteJob::Work() {
    for (size_t i = 0; i < FItems.size(); ++i) {
        if (FProgress.Cancel.load()) break;
        const TDeleteItem& item = FItems[i];
        const TLookUpResult found = LookUpBelow(item.Anchor, item.Path);
        std::string why;
        int error = 0;
        if (found.Outcome == TLookUp::Gone) {
            Gone.push_back(i);
            FItemsDone.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        const mode_t mode = found.Id.Mode;
        if (found.Outcome == TLookUp::Failed) {
            error = found.Error;
            why = std::strerror(found.Error);
        } else if (found.Outcome == TLookUp::Changed) {
            why = tr("a folder on its way is now a link; it changed since the scan");
        } else if (S_ISLNK(mode) && !item.ScanSawLink) {
            why = tr("it is a link now; it changed since the scan");
        } else if (S_ISDIR(mode) != item.ExpectFolder) {
            // Not the item the scan found: nothing of it is touched.
            why = item.ExpectFolder ? tr("it is no longer a folder; it changed since the scan")
                                    : tr("it is a folder now; it changed since the scan");
        }
        if (!why.empty()) {
            if (Ask({item.Path, error, why, false}) == TDeleteChoice::Stop) break;
            FItemsDone.fetch_add(1, std::memory_order_relaxed);
            continue;
        }
        const bool goOn = DeleteOne(item, item.Permanent, found.Id);
        struct stat after {};
        if (::lstat(item.Path.c_str(), &after) != 0 && errno == ENOENT) Gone.push_back(i);
        FItemsDone.fetch_add(1, std::memory_order_relaxed);
        if (!goOn) break;
    }
}

} // namespace qz

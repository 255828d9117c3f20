#include "app/interrupt.h"

#include "base/tempfile.h"

#include <csignal>

namespace qz {

namespace {

std::atomic<bool>* gFlag = nullptr;

void OnInterrupt(int sig) {
    if (!gFlag->exchange(true)) return; // the first one: stop at the next step
    RemoveTemporaryFiles();
    struct sigaction dfl {};
    dfl.sa_handler = SIG_DFL;
    sigemptyset(&dfl.sa_mask);
    sigaction(sig, &dfl, nullptr);
    raise(sig); // delivered when the handler returns, with the default action
}

} // namespace

void InstallInterruptHandlers(std::atomic<bool>& flag) {
    static_assert(std::atomic<bool>::is_always_lock_free);
    gFlag = &flag;
    struct sigaction sa {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sa.sa_mask, sig);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, nullptr);
}

} // namespace qz

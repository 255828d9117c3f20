// The kernel's USB events (libudev): a USB device plugged in or unplugged. The watcher never
// blocks: its descriptor becomes readable when events are waiting (a window watches it with
// its event loop) and Read takes one event at a time.
#pragma once

#include <memory>
#include <string>

namespace qz {

enum class TUsbEventKind : unsigned char { Arrival, Removal };

struct TUsbEvent {
    TUsbEventKind Kind = TUsbEventKind::Arrival;
    std::string SysPath; // the device's sysfs path
};

class TUsbWatcher {
public:
    TUsbWatcher();
    ~TUsbWatcher();
    TUsbWatcher(const TUsbWatcher&) = delete;
    TUsbWatcher& operator=(const TUsbWatcher&) = delete;

    // False (with Error saying why) when the events cannot be received here.
    bool Active() const { return FFd >= 0; }
    const std::string& Error() const { return FError; }
    // Readable when events wait; -1 when not active.
    int Fd() const { return FFd; }
    // One waiting event of a whole USB device arriving or leaving (its interfaces and other
    // actions are passed over); false when none is waiting.
    bool Read(TUsbEvent& out);

private:
    struct TState;
    std::unique_ptr<TState> F;
    int FFd = -1;
    std::string FError;
};

} // namespace qz

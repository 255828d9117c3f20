#include "fsops/devicesources.h"

#include "base/debuglog.h"
#include "base/text.h"

namespace qz {

std::vector<TSourceEntry> DeviceSourceEntries(const std::vector<TDeviceInfo>& devices) {
    DebugLog("LoadMFTDevices Start");
    std::vector<TSourceEntry> out;
    for (size_t i = 0; i < devices.size(); ++i) {
        const TDeviceInfo& d = devices[i];
        DebugLog("Device " + std::to_string(i) + ": " + d.DisplayName + " (" + d.Protocol + ")");
        if (d.Protocol.rfind("MTP", 0) != 0 && d.Protocol.rfind("PTP", 0) != 0) continue;
        TSourceEntry e;
        e.Kind = DT_DEVICE;
        e.Path = d.DisplayName;
        e.Text = Utf8ToUtf16(d.DisplayName);
        out.push_back(std::move(e));
    }
    return out;
}

void PutDeviceEntries(TSourceList& list, std::vector<TSourceEntry> devices) {
    std::vector<TSourceEntry>& all = list.Entries;
    const bool hadSelection = list.Selected >= 0 && size_t(list.Selected) < all.size();
    const TSourceEntry selected = hadSelection ? all[size_t(list.Selected)] : TSourceEntry{};
    std::vector<TSourceEntry> kept;
    kept.reserve(all.size() + devices.size());
    size_t insertAt = 0;
    for (TSourceEntry& e : all) {
        if (e.Kind == DT_DEVICE) continue;
        kept.push_back(std::move(e));
        if (kept.back().Kind == DT_DRIVE || kept.back().Kind == DT_NTFS) insertAt = kept.size();
    }
    kept.insert(kept.begin() + std::ptrdiff_t(insertAt), std::make_move_iterator(devices.begin()),
                std::make_move_iterator(devices.end()));
    all = std::move(kept);
    if (!hadSelection) {
        list.Selected = -1;
        return;
    }
    list.Selected = all.empty() ? -1 : 0;
    for (size_t i = 0; i < all.size(); ++i)
        if (all[i].Kind == selected.Kind && all[i].Text == selected.Text &&
            all[i].Path == selected.Path) {
            list.Selected = int(i);
            return;
        }
}

} // namespace qz

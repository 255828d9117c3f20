#include "sources/dirscan_entry.h"

#include "base/datetime.h"

#include <sys/stat.h>

namespace qz::dirscan {

uint32_t EntryAttributes(const TEntryMeta& m, std::string_view name) {
    uint32_t a = 0;
    if (S_ISDIR(m.mode)) a |= kAttrDirectory;
    if (m.known && !(m.mode & S_IWUSR) && !S_ISLNK(m.mode)) a |= kAttrReadOnly;
    if (!name.empty() && name[0] == '.') a |= kAttrHidden;
    if (S_ISLNK(m.mode)) a |= kAttrReparsePoint;
    if (S_ISREG(m.mode) && m.allocated < m.size) a |= kAttrSparse;
    return a;
}

TDateTime EntryTime(const TUnixTime& t) {
    // 0001-01-01 and 9999-12-31 23:59:59 in seconds since the Unix epoch.
    constexpr int64_t kFirst = -62135596800LL, kLast = 253402300799LL;
    if (t.sec < kFirst || t.sec > kLast) return 0;
    return UnixToDateTime(t.sec, t.nsec);
}

void FillRecordFromEntry(TMFT_RECORD& r, const TEntryMeta& m, std::string_view name) {
    const bool folder = S_ISDIR(m.mode);
    r.DOSAttrib = EntryAttributes(m, name);
    r.FileRecFlags = folder ? 2 : 0;
    r.FileSize = folder ? 0 : m.size;
    r.AllocSize = folder ? 0 : m.allocated;
    if (m.known) {
        r.ModifiedDate = EntryTime(m.modify);
        r.LastAccessDate = EntryTime(m.access);
        r.CreatedDate = EntryTime(m.hasBirth ? m.birth : m.change);
    } else {
        r.ModifiedDate = r.LastAccessDate = r.CreatedDate = 0;
    }
}

} // namespace qz::dirscan

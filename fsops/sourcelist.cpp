#include "fsops/sourcelist.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "engine/mft_volume.h"

#include <algorithm>
#include <sys/stat.h>

namespace qz {

const char* SourceKindName(TSourceKind kind) {
    switch (kind) {
    case DT_DRIVE:
        return "DT_DRIVE";
    case DT_NTFS:
        return "DT_NTFS";
    case DT_FOLDER:
        return "DT_FOLDER";
    case DT_MFTFILE:
        return "DT_MFTFILE";
    case DT_CSVFILE:
        return "DT_CSVFILE";
    case DT_SUBST:
        return "DT_SUBST";
    case DT_NETWORK:
        return "DT_NETWORK";
    case DT_MULTIPLE:
        return "DT_MULTIPLE";
    case DT_USERFOLDER:
        return "DT_USERFOLDER";
    case DT_DEVICE:
        return "DT_DEVICE";
    }
    return "DT_UNKNOWN";
}

namespace {

bool IsNetworkFileSystem(std::string_view t) {
    return t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" || t == "9p" ||
           t == "ceph" || t == "glusterfs" || t == "davfs" || t == "fuse.sshfs" || t == "afs";
}

std::string BaseName(const std::string& p) {
    size_t s = p.find_last_of('/');
    return s == std::string::npos ? p : p.substr(s + 1);
}

} // namespace

bool CanReadNtfsVolume(const TMountInfo& m) {
    if (!MayBeNtfsMount(m.FsType) || m.Source.empty() || m.Source[0] != '/') return false;
    return LocateNtfsVolume(m.Source).IsNtfs;
}

bool IsListedMount(const TMountInfo& m) {
    if (m.MountPoint != "/" && IsVirtualFileSystem(m.FsType)) return false;
    struct stat st {};
    if (::stat(m.MountPoint.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return m.MountPoint == "/" || (!m.Source.empty() && m.Source[0] == '/') ||
           IsNetworkFileSystem(m.FsType) || m.FsType.rfind("fuse.", 0) == 0;
}

TSourceList GetDrives(const std::vector<TMountInfo>& mounts,
                      const std::vector<std::string>& userFolders, const std::string& homeFolder) {
    DebugLog("GetDrives Start");
    TSourceList list;
    // The visible mount of each mount point is the last one.
    std::vector<const TMountInfo*> shown;
    for (const TMountInfo& m : mounts) {
        if (!IsListedMount(m)) continue;
        auto same = std::find_if(shown.begin(), shown.end(), [&](const TMountInfo* s) {
            return s->MountPoint == m.MountPoint;
        });
        if (same != shown.end())
            *same = &m;
        else
            shown.push_back(&m);
    }
    std::sort(shown.begin(), shown.end(), [](const TMountInfo* a, const TMountInfo* b) {
        return a->MountPoint < b->MountPoint;
    });
    DebugLog("DisplayDrivesEx");
    for (const TMountInfo* m : shown) {
        TSourceEntry e;
        e.Kind = CanReadNtfsVolume(*m) ? DT_NTFS : DT_DRIVE;
        e.Path = m->MountPoint;
        e.Device = m->Source;
        e.FsType = m->FsType;
        std::string desc =
            (!m->Source.empty() && m->Source[0] == '/') ? BaseName(m->Source) : m->Source;
        e.Text = Utf8ToUtf16("[" + m->MountPoint + "] " + desc + " (" + m->FsType + ")");
        list.Entries.push_back(std::move(e));
    }
    if (!list.Entries.empty()) {
        list.Selected = 0;
        if (!homeFolder.empty()) {
            const TMountInfo* h = MountOfPath(mounts, NormalizePath(homeFolder));
            if (h)
                for (size_t i = 0; i < list.Entries.size(); ++i)
                    if (list.Entries[i].Path == h->MountPoint) list.Selected = int(i);
        }
    }
    DebugLog("LoadUserFolders");
    for (const std::string& f : userFolders) {
        if (f.empty()) continue;
        TSourceEntry e;
        e.Kind = DT_USERFOLDER;
        e.Path = f;
        e.Text = Utf8ToUtf16(f);
        list.Entries.push_back(std::move(e));
    }
    for (TSourceKind k : {DT_FOLDER, DT_MULTIPLE, DT_MFTFILE, DT_CSVFILE}) {
        TSourceEntry e;
        e.Kind = k;
        e.Text = Utf8ToUtf16(FixedEntryText(k));
        list.Entries.push_back(std::move(e));
    }
    DebugLog("DoDrives Complete");
    return list;
}

std::string FixedEntryText(TSourceKind kind) {
    switch (kind) {
    case DT_FOLDER:
        return std::string("<") + tr("Select Folder") + "...>";
    case DT_MULTIPLE:
        return std::string("<") + tr("Select Multiple") + "...>";
    case DT_MFTFILE:
        return std::string("<") + tr("MFT File") + ">";
    case DT_CSVFILE:
        return std::string("<") + tr("CSV File") + ">";
    default:
        return {};
    }
}

int FindDriveEntry(const TSourceList& list, const std::string& path) {
    for (size_t i = 0; i < list.Entries.size(); ++i) {
        const TSourceEntry& e = list.Entries[i];
        if ((e.Kind == DT_DRIVE || e.Kind == DT_NTFS) && e.Path == path) return int(i);
    }
    return -1;
}

int FindEntryOfKind(const TSourceList& list, TSourceKind kind) {
    for (size_t i = 0; i < list.Entries.size(); ++i)
        if (list.Entries[i].Kind == kind) return int(i);
    return -1;
}

} // namespace qz

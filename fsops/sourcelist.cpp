#include "fsops/sourcelist.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "engine/mft_volume.h"
#include "fsops/udev_linux.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
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

TRawAccess NtfsRawAccess(const TMountInfo& m) {
    if (!MayBeNtfsMount(m.FsType) || m.Source.empty() || m.Source[0] != '/')
        return TRawAccess::NotNtfs;
    const TNtfsLocation loc = LocateNtfsVolume(m.Source);
    if (loc.Readable) return loc.IsNtfs ? TRawAccess::Readable : TRawAccess::NotNtfs;
    // The device refuses this process. NTFS drivers name themselves in the mount table; a
    // FUSE mount ("fuseblk") says nothing, and only the udev database may know.
    if (loc.Error != std::strerror(EACCES) && loc.Error != std::strerror(EPERM))
        return TRawAccess::NotNtfs;
    const bool ntfs = m.FsType == "ntfs" || m.FsType == "ntfs3" || m.FsType == "ntfs-3g" ||
                      m.FsType == "fuse.ntfs-3g" || m.FsType == "fuse.ntfs" ||
                      UdevFileSystemType(m.Source) == "ntfs";
    return ntfs ? TRawAccess::NeedsRoot : TRawAccess::NotNtfs;
}

bool CanReadNtfsVolume(const TMountInfo& m) {
    return NtfsRawAccess(m) == TRawAccess::Readable;
}

bool IsListedMount(const TMountInfo& m) {
    if (m.MountPoint != "/" && IsVirtualFileSystem(m.FsType)) return false;
    struct stat st {};
    if (::stat(m.MountPoint.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return m.MountPoint == "/" || (!m.Source.empty() && m.Source[0] == '/') ||
           IsNetworkFileSystem(m.FsType) || m.FsType.rfind("fuse.", 0) == 0;
}

std::u16string DriveEntryText(const TMountInfo& m, bool needsRoot) {
    const std::string desc =
        (!m.Source.empty() && m.Source[0] == '/') ? BaseName(m.Source) : m.Source;
    std::string text = "[" + m.MountPoint + "] " + desc + " (" + m.FsType;
    if (needsRoot) text += std::string(", ") + tr("NTFS read raw only as root");
    return Utf8ToUtf16(text + ")");
}

std::vector<TSourceEntry> GetDriveEntries(const std::vector<TMountInfo>& mounts) {
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
    std::vector<TSourceEntry> entries;
    for (const TMountInfo* m : shown) {
        TSourceEntry e;
        const TRawAccess raw = NtfsRawAccess(*m);
        e.Kind = raw == TRawAccess::Readable ? DT_NTFS : DT_DRIVE;
        e.NeedsRoot = raw == TRawAccess::NeedsRoot;
        e.Path = m->MountPoint;
        e.Device = m->Source;
        e.FsType = m->FsType;
        e.Text = DriveEntryText(*m, e.NeedsRoot);
        e.Space.itempath = Utf8ToUtf16(m->MountPoint);
        entries.push_back(std::move(e));
    }
    return entries;
}

TSourceList ComposeSourceList(std::vector<TSourceEntry> entries,
                              const std::vector<std::string>& userFolders,
                              const std::string& homeFolder,
                              const std::vector<TMountInfo>& mounts) {
    TSourceList list;
    list.Entries = std::move(entries);
    const TMountInfo* home =
        homeFolder.empty() ? nullptr : MountOfPath(mounts, NormalizePath(homeFolder));
    for (size_t i = 0; i < list.Entries.size(); ++i) {
        const TSourceEntry& e = list.Entries[i];
        if (e.Kind != DT_DRIVE && e.Kind != DT_NTFS) continue;
        if (list.Selected < 0) list.Selected = int(i);
        if (home && e.Path == home->MountPoint) list.Selected = int(i);
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

TSourceList GetDrives(const std::vector<TMountInfo>& mounts,
                      const std::vector<std::string>& userFolders, const std::string& homeFolder) {
    DebugLog("GetDrives Start");
    return ComposeSourceList(GetDriveEntries(mounts), userFolders, homeFolder, mounts);
}

bool SourceContains(const std::string& outer, const std::string& inner,
                    const std::vector<TMountInfo>& mounts) {
    const std::string o = NormalizePath(outer), i = NormalizePath(inner);
    const std::string prefix = o == "/" ? o : o + "/";
    if (i != o && i.compare(0, prefix.size(), prefix) != 0) return false;
    const TMountInfo* mo = MountOfPath(mounts, o);
    const TMountInfo* mi = MountOfPath(mounts, i);
    return !mo || !mi || mo->MountPoint == mi->MountPoint;
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

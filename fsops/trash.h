// Moving items to the trash as freedesktop.org desktops lay it out (files/ and info/ folders).
//
// An item goes to the trash of its own file system, so that it is renamed, never copied:
// - the home trash ($XDG_DATA_HOME/Trash, by default ~/.local/share/Trash) when the item is on
//   the same mount as the home trash;
// - otherwise $topdir/.Trash/$uid, where $topdir is the mount point of the item's file system
//   and .Trash is a folder (not a link) with the sticky bit set;
// - otherwise $topdir/.Trash-$uid, created when missing.
// A trash folder that is a symbolic link or belongs to another user is never used. Each
// trashed item gets "info/NAME.trashinfo" (its original path, escaped, absolute for the home
// trash and relative to $topdir otherwise, and the local deletion time) and is renamed to
// "files/NAME", NAME made unique with ".2", ".3", ... The information file is created first
// (exclusively, which reserves NAME) and removed again when the rename fails.
//
// Items the trash cannot take safely are refused with a reason instead: mount points, folders
// with another file system mounted below them (emptying the trash would delete inside that
// mount), items already in a trash, and items on file systems without a usable trash.
#pragma once

#include "fsops/itemlookup.h"
#include "fsops/mounts.h"

#include <string>
#include <sys/types.h>
#include <vector>

namespace qz {

struct TTrashResult {
    bool Ok = false;
    // The failure: errno of the step that failed (0 when the trash refused the item) and a
    // sentence saying why.
    int Error = 0;
    std::string Message;
    std::string TrashedAs; // the item's new path under files/
    std::string InfoFile;  // the .trashinfo written for it
};

class TTrash {
public:
    // homeTrash: the home trash folder (HomeTrashPath()); mounts: the mount table (an empty
    // table: file systems are told apart by their device numbers).
    TTrash(std::string homeTrash, std::vector<TMountInfo> mounts, uid_t uid);

    // $XDG_DATA_HOME/Trash, or $HOME/.local/share/Trash; empty when neither is set.
    static std::string HomeTrashPath();

    // True when path can be moved to a trash; otherwise false with the reason. Changes
    // nothing on disk (a trash folder that does not exist yet is checked for being creatable).
    bool CanTrash(const std::string& path, std::string* why = nullptr) const;
    // Moves path (absolute) to its trash. With expect, the item must still be that file
    // (device and inode), else nothing is touched.
    TTrashResult MoveToTrash(const std::string& path, const TItemIdentity* expect = nullptr) const;

    // The trash folder path would go to (the folder need not exist yet); empty when none.
    std::string TrashDirFor(const std::string& path, std::string* why = nullptr) const;

private:
    struct TTarget {
        std::string Dir;    // trash folder
        std::string TopDir; // empty for the home trash
    };
    // Where path goes; false with why. real: path with its folder's links resolved.
    bool Choose(const std::string& real, dev_t dev, bool create, TTarget& target,
                std::string& why) const;
    bool TopDirTrash(const std::string& topDir, dev_t dev, bool create, TTarget& target,
                     std::string& why) const;
    std::string TopDirOf(const std::string& real, dev_t dev) const;
    bool IsInsideATrash(const std::string& real) const;

    std::string FHome;     // home trash as given
    std::string FHomeReal; // with links resolved (of its nearest existing folder)
    std::vector<TMountInfo> FMounts;
    uid_t FUid;
};

// The local time as a trash information file writes it: "2024-05-01T13:45:10".
std::string TrashDeletionDate(time_t when);

} // namespace qz

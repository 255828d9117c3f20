// Helpers for the folder-walk tests: scanning a folder, the ground truth from find(1), tree
// checks, building trees with odd names and depths, and running a check without root rights.
#pragma once

#include "engine/scan.h"
#include "sources/dirscan.h"

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>

namespace qz::test {

// One item of a tree, from the scan or from find(1).
struct TItem {
    char type = 'f';         // f file, d folder, l symbolic link, p FIFO, c/b device, s socket
    uint64_t size = 0;       // own size (0 for folders)
    uint64_t allocated = 0;  // own bytes on disk (0 for folders)
    uint64_t inode = 0;      // find only
    uint32_t links = 1;      // find only
    bool doNotCount = false; // scan only
    bool operator==(const TItem&) const = default;
};
void PrintTo(const TItem& it, std::ostream* os);
// Relative path (bytes, "/"-separated, without the root) -> item.
using TListing = std::map<std::string, TItem>;

// Scan a folder with the walk (DoSlowMode), then total it (CalculateDirSizes).
std::unique_ptr<TNTFS_FILES> ScanFolder(const std::string& path,
                                        const TSlowScanOptions& options = {},
                                        TSlowScanStats* stats = nullptr,
                                        const std::u16string& exclude = u"", bool fullPath = true);

// The scan's records below the root, by relative path (built with GetRecordPath and converted
// back to bytes; the root's own path must be a prefix).
TListing ScanListing(TNTFS_FILES& scan);
// What find(1) sees below root (names as raw bytes).
TListing FindListing(const std::string& root);
// Only the type/size/allocation fields that both sides know.
TListing Comparable(const TListing& l, bool fromFind);

// Structural checks every finished walk must pass: root 5 first, numbers unique and running
// from 24 without gaps, every record linked to a listed folder whose number it carries.
// Returns an empty string when sound, else what is wrong.
std::string CheckTree(TNTFS_FILES& scan);

// Totals a correct walk must produce for a listing from find: sizes of every non-folder name,
// bytes on disk once per inode.
struct TTotals {
    uint64_t size = 0, allocated = 0;
    int64_t files = 0, folders = 0;
};
TTotals ExpectedTotals(const TListing& find);

// Create a file of n bytes (written, not sparse).
void MakeFile(const std::string& path, size_t n);
// A chain of `levels` folders named `name` below dirfd (created with mkdirat, so the total
// path may exceed PATH_MAX); a file "leaf" of leafSize bytes at the bottom.
void MakeChain(const std::string& top, const std::string& name, int levels, size_t leafSize);
// Remove a folder tree of any depth (descriptor-relative; also beyond PATH_MAX).
void RemoveTree(const std::string& path);

// Run body without root rights (as user nobody in a child process when running as root) and
// return what it returns; "SKIP: ..." when that is not possible.
std::string RunUnprivileged(const std::function<std::string()>& body);

} // namespace qz::test

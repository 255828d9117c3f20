// Bringing a shown scan in line with removals on disk: the records of removed items (and
// everything below them) are marked Deleted and the totals are summed again, as a new scan
// would count them. Runs on the thread that owns the scans (the window's).
#pragma once

#include "engine/scan.h"
#include "fsops/changewatch.h"

#include <vector>

namespace qz {

// Marks rec and every record below it Deleted; the records newly marked are appended to
// marked.
void MarkDeleted(PMFT_RECORD rec, std::vector<PMFT_RECORD>& marked);

// The records the batch's removals name (looked up by exact name among their folder's
// children) that are not marked Deleted yet, appended to found. Only reads the records.
void FindRemovedRecords(const TChangeBatch& batch, std::vector<PMFT_RECORD>& found);

// Marks the records the batch's removals name, and everything below them. Returns how many
// records were newly marked (appended to marked).
size_t ApplyRemovals(const TChangeBatch& batch, std::vector<PMFT_RECORD>& marked);

// Marks every record below a Deleted folder Deleted too (also those a filter hides, which
// are in no children list); call after folders were marked. Returns how many were marked.
size_t MarkBelowDeletedFolders(TNTFS_FILES& scan, std::vector<PMFT_RECORD>& marked);

// A hard-linked file whose counted name was removed while another name stays: the allocated
// size moves to a remaining name (as a new scan would count it). groups: the names of each
// linked file found in the scans (FindHardLinkGroups).
void MoveHardLinkCounts(const std::vector<std::vector<PMFT_RECORD>>& groups);

// Sums the totals of scan again with its own flags (CSV import, folders-only filter).
void RecomputeTotals(TNTFS_FILES& scan, bool foldersOnlyFilter);

} // namespace qz

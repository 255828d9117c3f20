// Duplicate groups: records of all scans on screen that share a normalised name, size and
// counts (method 1), and also the modification date (method 2).
#pragma once

#include "engine/scan.h"
#include "engine/types.h"

#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qz {

// The name used to compare candidates: folded through the default table (never a volume's
// $UpCase); a base ending in " (N)" or " - copy" loses that suffix. "Report (2).DOC",
// "report - Copy.doc" and "report.doc" all give "report.doc".
void NormalizeDupName(std::u16string_view name, std::u16string& out);
std::u16string NormalizeDupName(std::u16string_view name);

using TDupProgress = std::function<void(int percent)>;

// Group the records of sorted (in CompareForDuplicates order) into groups owned by owner (its
// DupGroups; normally the first of the scans the records come from). The groups of owner's
// previous pass are freed first, every record of sorted leaving its group. Stops early when
// cancelled() returns true. Progress in steps of at least 5 percent.
void GroupDuplicatesSorted(TNTFS_FILES& owner, std::span<const PMFT_RECORD> sorted, int method,
                           const std::function<bool()>& cancelled = {},
                           const TDupProgress& progress = {});

// Makes owner's members the ones DupGroupOf finds (those of any other scan are no longer
// found) and rec a member of group, or of none when group is nil. The grouping pass fills the
// table this way.
void SetDupGroup(TNTFS_FILES& owner, const TMFT_RECORD* rec, TDUPFILES* group);
// scan's records leave their groups, their addresses about to be given back. When scan is
// the owner of the groups and ends (ending), no record is in a group any longer.
void ForgetDupMembers(TNTFS_FILES& scan, bool ending);
// Before scans are handed to another thread to be freed: their records leave every group now,
// on the thread that groups and reads the groups, and their own end touches the groups no more
// (a later grouping pass of other scans may run meanwhile).
void LeaveDupGroups(std::span<TNTFS_FILES* const> scans);

// All non-nil records of the scans in CompareForDuplicates order.
std::vector<PMFT_RECORD> SortedForDuplicates(std::span<TNTFS_FILES* const> scans);

// Apply a grouping method to all scans on screen: when method differs from the one recorded
// in the first scan and is not 0, record it and regroup (the first scan owns the groups).
// Returns true when it regrouped.
bool LocateDuplicates(std::span<TNTFS_FILES* const> scans, int method,
                      const TDupProgress& progress = {});

} // namespace qz

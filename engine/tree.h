// Tree helpers over stored records: ancestry, paths, lookup by path, name numbering and the
// record orderings that views, exports and duplicate grouping sort by.
#pragma once

#include "engine/types.h"

#include <string>
#include <string_view>

namespace qz {

// True when a is one of r's ancestors, at any depth (a nil a: r's parent chain ends). A chain
// that loops without meeting a gives false.
bool IsAncestor(PMFT_RECORD a, PMFT_RECORD r);

// The separator of the tree r belongs to: "/" when its root's name starts with "/" (a Linux
// folder or mounted volume), else "\".
char16_t PathSeparatorOf(PMFT_RECORD r);

// Full path of rec: ancestors from the top, each followed by the separator, then (unless
// parentOnly) rec's own name, then a separator when trailingSlash is set and rec is a folder.
// A root named "X:" reads "X:\".
std::u16string GetRecordPath(PMFT_RECORD rec, bool parentOnly = false, bool trailingSlash = false);
// Appends the path to out (for loops over many records).
void AppendRecordPath(PMFT_RECORD rec, std::u16string& out, bool parentOnly = false,
                      bool trailingSlash = false);

// The descendant of rec at the relative path (components separated by sep), comparing names
// with CompareNames; nil when not found. Needs the Children lists.
PMFT_RECORD FindRecordByPath(PMFT_RECORD rec, std::u16string_view path, char16_t sep = u'\\');

// Number p and its subtree depth-first in name order (children are sorted in place).
void SetNameSortIndex(PMFT_RECORD p, int32_t& index);
// The two halves of SetNameSortIndex: sorting every Children list below p by name (the slow
// part, which a scan's own thread does), then numbering the subtree depth-first in the order
// the lists have (one name order across several scans, numbered after they all ended).
void SortChildrenByName(PMFT_RECORD p);
void NumberInChildOrder(PMFT_RECORD p, int32_t& index);

// Record orderings: negative when a sorts first. A nil sorts after any record.
int CompareBySize(PMFT_RECORD a, PMFT_RECORD b);
int CompareByAllocated(PMFT_RECORD a, PMFT_RECORD b);
int CompareByModified(PMFT_RECORD a, PMFT_RECORD b);
int CompareByAttributes(PMFT_RECORD a, PMFT_RECORD b);
int CompareByName(PMFT_RECORD a, PMFT_RECORD b);
int CompareBySortIndex(PMFT_RECORD a, PMFT_RECORD b);
int CompareForDuplicates(PMFT_RECORD a, PMFT_RECORD b);
int CompareByDupCount(PMFT_RECORD a, PMFT_RECORD b);
int CompareByDupSize(PMFT_RECORD a, PMFT_RECORD b);

} // namespace qz

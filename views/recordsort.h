// Sorting a scan's records in one of the engine's orderings, fast: the orderings on one number
// (then the name order) sort (key, name index) pairs held next to the record pointer, and the
// name orderings compare a prefix of four folded code units first, so most comparisons stay in
// contiguous memory. TLazySortedRecords sorts only as far as it is read (a partial sort that
// grows by doubling), so the top 1,000 of a million records costs little more than one pass.
#pragma once

#include "engine/types.h"

#include <cstdint>
#include <span>
#include <vector>

namespace qz {

using TRecordCompare = int (*)(PMFT_RECORD, PMFT_RECORD);

class TLazySortedRecords {
public:
    // Takes the records (no nils) in their list order; they are read in cmp's order, or in
    // the opposite order when reversed. Records that compare equal keep their list order.
    void Reset(std::span<const PMFT_RECORD> records, TRecordCompare cmp, bool reversed);
    size_t Size() const { return FItems.size(); }
    struct Item {
        uint64_t key;  // the number (numeric orderings) or the name prefix
        int32_t index; // SortNameIndex
        uint32_t pos;  // list position: the final tie-break
        PMFT_RECORD rec;
    };

    // The i-th entry in reading order (i < Size()).
    const Item& ItemAt(size_t i) {
        if (i >= FSortedEnd) Extend(i + 1);
        return FItems[i];
    }
    PMFT_RECORD At(size_t i) { return ItemAt(i).rec; }
    // Sorts everything now.
    void SortAll() { Extend(FItems.size()); }
    // Reading-order comparison of two entries (of this list or of another list built with the
    // same ordering), without the list-position tie-break: negative when a is read first.
    int Compare(const Item& a, const Item& b) const;

private:
    enum class Mode : uint8_t { Numeric, NamePrefix, Generic };
    bool Less(const Item& a, const Item& b) const {
        const int c = Compare(a, b);
        return c != 0 ? c < 0 : a.pos < b.pos;
    }
    void Extend(size_t need);
    Item MakeItem(PMFT_RECORD r, uint32_t pos) const;

    std::vector<Item> FItems;
    size_t FSortedEnd = 0;
    TRecordCompare FCompare = nullptr;
    uint64_t (*FKey)(PMFT_RECORD) = nullptr;
    Mode FMode = Mode::Generic;
    bool FReversed = false;
};

// The four first code units of a name folded through the name collation, packed so that
// comparing two prefixes agrees with CompareNames wherever they differ.
uint64_t NamePrefixKey(PMFT_RECORD r);

// All records sorted fully in cmp's order (stable for records that compare equal).
void SortRecordsFast(std::vector<PMFT_RECORD>& records, TRecordCompare cmp);

} // namespace qz

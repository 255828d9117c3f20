#include "views/recordsort.h"

#include "engine/collation.h"
#include "engine/tree.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace qz {

namespace {

uint64_t OrderedBits(double d) {
    if (std::isnan(d)) d = 0;
    uint64_t b = std::bit_cast<uint64_t>(d);
    return (b & 0x8000000000000000ull) ? ~b : b | 0x8000000000000000ull;
}

uint64_t SizeKey(PMFT_RECORD r) {
    return r->SubFoldersTotSize;
}
uint64_t AllocKey(PMFT_RECORD r) {
    return r->SubFoldersTotSizeAlloc;
}
uint64_t DateKey(PMFT_RECORD r) {
    return OrderedBits(r->ModifiedDate);
}
uint64_t AttribKey(PMFT_RECORD r) {
    return r->DOSAttrib;
}
uint64_t NoKey(PMFT_RECORD) {
    return 0;
}

// The orderings on one number: that number descending, then SortNameIndex ascending.
uint64_t (*NumericKeyOf(TRecordCompare cmp))(PMFT_RECORD) {
    if (cmp == &CompareBySize) return &SizeKey;
    if (cmp == &CompareByAllocated) return &AllocKey;
    if (cmp == &CompareByModified) return &DateKey;
    if (cmp == &CompareByAttributes) return &AttribKey;
    if (cmp == &CompareBySortIndex) return &NoKey;
    return nullptr;
}

bool IsNameOrdering(TRecordCompare cmp) {
    return cmp == &CompareByName || cmp == &CompareForDuplicates;
}

} // namespace

uint64_t NamePrefixKey(PMFT_RECORD r) {
    const char16_t* t = NameCollationTable.data();
    const std::u16string_view n = r->Name();
    uint64_t k = 0;
    for (size_t i = 0; i < 4; ++i) k = (k << 16) | uint64_t(i < n.size() ? t[n[i]] : t[0]);
    return k;
}

TLazySortedRecords::Item TLazySortedRecords::MakeItem(PMFT_RECORD r, uint32_t pos) const {
    uint64_t key = 0;
    if (FMode == Mode::Numeric)
        key = FKey(r);
    else if (FMode == Mode::NamePrefix)
        key = NamePrefixKey(r);
    return Item{key, r->SortNameIndex, pos, r};
}

void TLazySortedRecords::Reset(std::span<const PMFT_RECORD> records, TRecordCompare cmp,
                               bool reversed) {
    FCompare = cmp;
    FReversed = reversed;
    FKey = NumericKeyOf(cmp);
    FMode = FKey ? Mode::Numeric : IsNameOrdering(cmp) ? Mode::NamePrefix : Mode::Generic;
    FItems.resize(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        // The records are scattered in memory: fetch ahead.
        if (i + 8 < records.size()) __builtin_prefetch(records[i + 8]);
        FItems[i] = MakeItem(records[i], uint32_t(i));
    }
    FSortedEnd = 0;
}

int TLazySortedRecords::Compare(const Item& a, const Item& b) const {
    int c;
    switch (FMode) {
    case Mode::Numeric:
        c = a.key != b.key       ? (a.key > b.key ? -1 : 1)
            : a.index != b.index ? (a.index < b.index ? -1 : 1)
                                 : 0;
        break;
    case Mode::NamePrefix:
        c = a.key != b.key ? (a.key < b.key ? -1 : 1) : FCompare(a.rec, b.rec);
        break;
    default:
        c = FCompare(a.rec, b.rec);
        break;
    }
    return FReversed ? -c : c;
}

void TLazySortedRecords::Extend(size_t need) {
    const size_t n = FItems.size();
    if (need > n) need = n;
    if (need <= FSortedEnd) return;
    auto less = [this](const Item& a, const Item& b) { return Less(a, b); };
    const auto first = FItems.begin() + std::ptrdiff_t(FSortedEnd);
    // The duplicate ordering treats dates closer than 1e-5 days as equal, which is not a
    // strict weak order: only a merge sort is safe with it.
    if (FCompare == &CompareForDuplicates) {
        std::stable_sort(first, FItems.end(), less);
        FSortedEnd = n;
        return;
    }
    // Sort the next block of the smallest remaining entries; blocks double, so reading k
    // entries costs about one pass plus k log k.
    const size_t grow = std::max(need - FSortedEnd, std::max<size_t>(1024, FSortedEnd));
    const size_t mid = std::min(n, FSortedEnd + grow);
    const auto last = FItems.begin() + std::ptrdiff_t(mid);
    if (mid < n) std::nth_element(first, last, FItems.end(), less);
    std::sort(first, last, less);
    FSortedEnd = mid;
}

void SortRecordsFast(std::vector<PMFT_RECORD>& records, TRecordCompare cmp) {
    TLazySortedRecords s;
    s.Reset(records, cmp, false);
    s.SortAll();
    for (size_t i = 0; i < records.size(); ++i) records[i] = s.At(i);
}

} // namespace qz

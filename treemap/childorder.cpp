#include "treemap/childorder.h"

#include <bit>

namespace qz {

namespace {

uint64_t KeyOf(PMFT_RECORD rec, bool group) {
    return uint64_t(reinterpret_cast<uintptr_t>(rec)) | (group ? 1u : 0u);
}

size_t SlotOf(uint64_t key, size_t capacity) {
    const int shift = 64 - std::countr_zero(capacity);
    return size_t(((key >> 3) * 0x9E3779B97F4A7C15ull) >> shift);
}

} // namespace

void TChildOrders::Use(const TKey& key) {
    if (key == FKey) return;
    Clear();
    FKey = key;
    if (FSecond) FSecond->FKey = key;
}

void TChildOrders::Clear() {
    FFolders.clear();
    FEntries.clear();
    FSlots.clear();
    if (FSecond) FSecond->Clear();
}

TChildOrders::TFound TChildOrders::Find(PMFT_RECORD rec, bool group) const {
    TFound found;
    if (FSlots.empty()) return found;
    const uint64_t key = KeyOf(rec, group);
    const size_t mask = FSlots.size() - 1;
    for (size_t s = SlotOf(key, FSlots.size());; s = (s + 1) & mask) {
        const uint32_t v = FSlots[s];
        if (v == 0) return found;
        const TFolder& f = FFolders[v - 1];
        if (f.Key == key) {
            found.Known = true;
            found.Listed = f.Listed;
            found.Kids = {FEntries.data() + f.First, f.Count};
            return found;
        }
    }
}

void TChildOrders::Grow() {
    const size_t cap = std::bit_ceil(std::max<size_t>(1024, FFolders.size() * 4));
    FSlots.assign(cap, 0);
    const size_t mask = cap - 1;
    for (size_t i = 0; i < FFolders.size(); ++i) {
        size_t s = SlotOf(FFolders[i].Key, cap);
        while (FSlots[s] != 0) s = (s + 1) & mask;
        FSlots[s] = uint32_t(i + 1);
    }
}

void TChildOrders::Add(PMFT_RECORD rec, bool group, bool listed,
                       std::span<const TChildEntry> kids) {
    if (FEntries.size() + kids.size() > UINT32_MAX || FFolders.size() + 1 >= UINT32_MAX) return;
    FFolders.push_back(
        TFolder{KeyOf(rec, group), uint32_t(FEntries.size()), uint32_t(kids.size()), listed});
    FEntries.insert(FEntries.end(), kids.begin(), kids.end());
    // At most half full.
    if (FFolders.size() * 2 > FSlots.size()) {
        Grow();
        return;
    }
    const size_t mask = FSlots.size() - 1;
    size_t s = SlotOf(FFolders.back().Key, FSlots.size());
    while (FSlots[s] != 0) s = (s + 1) & mask;
    FSlots[s] = uint32_t(FFolders.size());
}

TChildOrders& TChildOrders::Second() {
    if (!FSecond) {
        FSecond = std::make_unique<TChildOrders>();
        FSecond->FKey = FKey;
    }
    return *FSecond;
}

} // namespace qz

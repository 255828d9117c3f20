#include "sources/csv_import_tables.h"

#include <algorithm>
#include <cstring>

namespace qz::csvimport {

TFolderTable::Entry* TFolderTable::Find(std::string_view key) {
    auto it = FMap.find(key);
    return it == FMap.end() ? nullptr : &it->second;
}

TFolderTable::Entry* TFolderTable::Add(std::string_view key, PMFT_RECORD rec, bool placeholder) {
    auto [it, added] = FMap.try_emplace(Intern(key), Entry{rec, placeholder});
    return &it->second;
}

std::string_view TFolderTable::Intern(std::string_view key) {
    if (key.size() > FLeft) {
        const size_t size = std::max<size_t>(key.size(), size_t(1) << 20);
        FChunks.push_back(std::make_unique<char[]>(size));
        FCur = FChunks.back().get();
        FLeft = size;
    }
    if (!key.empty()) std::memcpy(FCur, key.data(), key.size());
    std::string_view v(FCur, key.size());
    FCur += key.size();
    FLeft -= key.size();
    return v;
}

uint32_t TFileTable::Hash(PMFT_RECORD parent, std::u16string_view name) {
    // FNV-1a over the name's code units, seeded with the folder's address, then mixed.
    uint64_t h = 0xcbf29ce484222325ull ^ (reinterpret_cast<uintptr_t>(parent) >> 4);
    for (char16_t c : name) h = (h ^ uint64_t(c)) * 0x100000001b3ull;
    h ^= h >> 29;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 32;
    return uint32_t(h);
}

void TFileTable::TSlots::Grow(size_t slots) {
    std::vector<TSlot> old;
    old.swap(Slots);
    Slots.assign(slots, TSlot{});
    Used.clear();
    for (const TSlot& s : old)
        if (s.At != 0) Place(s);
}

void TFileTable::TSlots::Place(TSlot slot) {
    const size_t mask = Slots.size() - 1;
    size_t i = slot.Hash & mask;
    while (Slots[i].At != 0) i = (i + 1) & mask;
    Slots[i] = slot;
    if (TrackUsed) Used.push_back(uint32_t(i));
}

void TFileTable::TSlots::Clear() {
    for (uint32_t i : Used) Slots[i] = TSlot{};
    Used.clear();
    Count = 0;
}

PMFT_RECORD TFileTable::FindIn(TSlots& t, PMFT_RECORD parent, std::u16string_view name) {
    if ((t.Count + 1) * 2 > t.Slots.size()) t.Grow(std::max<size_t>(t.Slots.size() * 2, 256));
    const uint32_t hash = Hash(parent, name);
    FFoundIn = &t;
    FFoundHash = hash;
    const size_t mask = t.Slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const TSlot& s = t.Slots[i];
        if (s.At == 0) {
            FFreeSlot = i;
            return nullptr;
        }
        if (s.Hash != hash) continue;
        PMFT_RECORD r = FRecords[s.At - 1];
        if (r->ParentMFTRec == parent && r->Name() == name) return r;
    }
}

void TFileTable::StartRun(PMFT_RECORD parent) {
    if (FRunParent && !FRunInAll) FFirstRuns[FRunParent] = TFirstRun{FRunStart, FRecords.size()};
    FRun.Clear();
    FRunParent = parent;
    FRunStart = FRecords.size();
    auto it = FFirstRuns.find(parent);
    FRunInAll = it != FFirstRuns.end();
    if (FRunInAll && it->second.End != SIZE_MAX) {
        // The folder's second run: its files from the first run move to the table of all.
        for (size_t i = it->second.Start; i < it->second.End; ++i) {
            PMFT_RECORD r = FRecords[i];
            if (r->IsFolder() || r->ParentMFTRec != parent) continue;
            if ((FAll.Count + 1) * 2 > FAll.Slots.size())
                FAll.Grow(std::max<size_t>(FAll.Slots.size() * 2, 1024));
            FAll.Place(TSlot{Hash(parent, r->Name()), uint32_t(i + 1)});
            ++FAll.Count;
        }
        it->second.End = SIZE_MAX;
    }
}

PMFT_RECORD TFileTable::Find(PMFT_RECORD parent, std::u16string_view name) {
    if (parent != FRunParent || !FRunParent) StartRun(parent);
    return FindIn(FRunInAll ? FAll : FRun, parent, name);
}

void TFileTable::Add(size_t at) {
    TSlots& t = *FFoundIn;
    t.Slots[FFreeSlot] = TSlot{FFoundHash, uint32_t(at + 1)};
    if (t.TrackUsed) t.Used.push_back(uint32_t(FFreeSlot));
    ++t.Count;
}

} // namespace qz::csvimport

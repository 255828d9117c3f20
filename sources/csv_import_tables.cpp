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

PMFT_RECORD TFileTable::Find(PMFT_RECORD parent, std::u16string_view name, uint32_t hash) const {
    if (FSlots.empty()) return nullptr;
    const size_t mask = FSlots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const TSlot& s = FSlots[i];
        if (s.At == 0) return nullptr;
        if (s.Hash != hash) continue;
        PMFT_RECORD r = FRecords[s.At - 1];
        if (r->ParentMFTRec == parent && r->Name() == name) return r;
    }
}

void TFileTable::Place(TSlot slot) {
    const size_t mask = FSlots.size() - 1;
    size_t i = slot.Hash & mask;
    while (FSlots[i].At != 0) i = (i + 1) & mask;
    FSlots[i] = slot;
}

void TFileTable::Add(size_t at, uint32_t hash) {
    if ((FCount + 1) * 2 > FSlots.size()) {
        std::vector<TSlot> old;
        old.swap(FSlots);
        FSlots.assign(std::max<size_t>(old.size() * 2, 1024), TSlot{});
        for (const TSlot& s : old)
            if (s.At != 0) Place(s);
    }
    Place(TSlot{hash, uint32_t(at + 1)});
    ++FCount;
}

} // namespace qz::csvimport

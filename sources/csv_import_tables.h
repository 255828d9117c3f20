// Lookup tables of the CSV/TSV import: the folders read so far by path, and the files read so
// far by (folder, name), so that an item listed twice stays one record.
#pragma once

#include "engine/types.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qz::csvimport {

// Folder paths (UTF-8, without trailing separator) and their records. Keys live in a pool of
// fixed chunks, so they never move while the table lives.
class TFolderTable {
public:
    struct Entry {
        PMFT_RECORD Rec = nullptr;
        bool Placeholder = false; // made for a path named only as a parent; no row of its own yet
    };
    Entry* Find(std::string_view key);
    // Adds key unless present (the first record of a path stays the one found).
    Entry* Add(std::string_view key, PMFT_RECORD rec, bool placeholder);
    bool Empty() const { return FMap.empty(); }

private:
    std::string_view Intern(std::string_view key);
    std::unordered_map<std::string_view, Entry> FMap;
    std::vector<std::unique_ptr<char[]>> FChunks;
    char* FCur = nullptr;
    size_t FLeft = 0;
};

// File records by folder record and name. Open addressing over positions in the scan's record
// list, with a part of the hash beside each position, so that a lookup touches a record only
// when its hash matches: 8 bytes a slot, at most half of the slots used.
class TFileTable {
public:
    explicit TFileTable(const std::vector<PMFT_RECORD>& records) : FRecords(records) {}
    static uint32_t Hash(PMFT_RECORD parent, std::u16string_view name);
    // The file named name in parent, or nil.
    PMFT_RECORD Find(PMFT_RECORD parent, std::u16string_view name, uint32_t hash) const;
    // Adds the record at position `at` of the record list (its name not yet in the table).
    void Add(size_t at, uint32_t hash);

private:
    struct TSlot {
        uint32_t Hash = 0;
        uint32_t At = 0; // position + 1; 0 = empty
    };
    void Place(TSlot slot);
    const std::vector<PMFT_RECORD>& FRecords;
    std::vector<TSlot> FSlots;
    size_t FCount = 0;
};

} // namespace qz::csvimport

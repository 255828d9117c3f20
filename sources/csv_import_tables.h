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

// File records by folder record and name, so that a file listed twice is found again.
//
// Exports list the files of a folder one after the other, so the names of the current run of
// rows with one folder are kept in a small table that stays in the processor's cache, emptied
// when the folder changes. Only when the files of a folder come in a second run (a file list
// sorted by size, an edited file) are that folder's files moved into the table of all files,
// which serves it from then on. Both tables are open addressing over positions in the scan's
// record list, with a part of the hash beside each position, so a lookup touches a record
// only when its hash matches.
class TFileTable {
public:
    explicit TFileTable(const std::vector<PMFT_RECORD>& records) : FRecords(records) {}
    // The file named name in parent; when there is none, nil, and the name's place is kept
    // for Add (no other call in between).
    PMFT_RECORD Find(PMFT_RECORD parent, std::u16string_view name);
    // Adds the record at position `at` of the record list under the name last looked up.
    void Add(size_t at);

private:
    struct TSlot {
        uint32_t Hash = 0;
        uint32_t At = 0; // position + 1; 0 = empty
    };
    // One open-addressing table; at most half of its slots used.
    struct TSlots {
        std::vector<TSlot> Slots;
        std::vector<uint32_t> Used; // slots filled, when the table is emptied run by run
        size_t Count = 0;
        bool TrackUsed = false;
        void Grow(size_t slots);
        void Place(TSlot slot);
        void Clear();
    };
    static uint32_t Hash(PMFT_RECORD parent, std::u16string_view name);
    PMFT_RECORD FindIn(TSlots& t, PMFT_RECORD parent, std::u16string_view name);
    void StartRun(PMFT_RECORD parent);

    struct TFirstRun {
        size_t Start = 0, End = 0; // positions of the record list; End = SIZE_MAX: moved
    };
    const std::vector<PMFT_RECORD>& FRecords;
    TSlots FRun{{}, {}, 0, true};
    TSlots FAll;
    std::unordered_map<PMFT_RECORD, TFirstRun> FFirstRuns;
    PMFT_RECORD FRunParent = nullptr;
    size_t FRunStart = 0;
    bool FRunInAll = false; // the current folder's files are in FAll
    TSlots* FFoundIn = nullptr;
    uint32_t FFoundHash = 0;
    size_t FFreeSlot = 0;
};

} // namespace qz::csvimport

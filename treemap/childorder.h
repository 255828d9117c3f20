// The children of folders in the order a treemap lays them out, kept from one picture to the
// next of the same scans.
//
// Laying out a folder means listing the children the folder tree shows, reading each one's
// record for its size and sorting them (ties by name, a string comparison). A resize or a zoom
// lays out the same folders in the same order again, so a drawing thread keeps the sorted
// lists here: each folder met once has its children (record, size, file-group flag) stored
// contiguously in layout order, and the next picture reads them from one array instead of
// from the records spread over memory.
//
// The lists hold only for the records as they were: the owner calls Use with the drawing's
// choices before each drawing (a change of scans, size kind, order or file-group rule forgets
// them) and Clear whenever the records may have changed (a new scan, filters, deletions). One
// thread at a time.
#pragma once

#include "engine/types.h"
#include "views/displaytree.h"

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace qz {

class TNTFS_FILES;

// A child that takes area: its record (a file group: its folder's), its size on the treemap.
struct TChildEntry {
    PMFT_RECORD Rec = nullptr;
    uint64_t Size = 0;
    bool Group = false;
};

class TChildOrders {
public:
    // What the orders depend on besides the records.
    struct TKey {
        std::vector<TNTFS_FILES*> Scans;
        bool Allocated = true;
        bool OrderBySize = false;
        TDisplayTree::TGroupRule Groups;
        bool operator==(const TKey& o) const {
            return Scans == o.Scans && Allocated == o.Allocated && OrderBySize == o.OrderBySize &&
                   Groups.On == o.Groups.On && Groups.MinSize == o.Groups.MinSize;
        }
    };
    // The orders kept are for key from now on: forgotten when they were made for another.
    void Use(const TKey& key);
    // Forgets every order (the records changed).
    void Clear();

    struct TFound {
        bool Known = false;  // the folder's order is kept
        bool Listed = false; // the folder tree shows children (false: the item is a leaf)
        std::span<const TChildEntry> Kids; // those that take area, in layout order
    };
    TFound Find(PMFT_RECORD rec, bool group) const;
    // Keeps the order of a folder not kept yet.
    void Add(PMFT_RECORD rec, bool group, bool listed, std::span<const TChildEntry> kids);
    // The orders a second drawing thread keeps for the part of the picture it draws (its
    // own, so that neither thread writes what the other reads); follows Use and Clear.
    TChildOrders& Second();

    size_t Folders() const { return FFolders.size(); }

private:
    struct TFolder {
        uint64_t Key;
        uint32_t First, Count;
        bool Listed;
    };
    void Grow();

    TKey FKey;
    std::unique_ptr<TChildOrders> FSecond;
    std::vector<TFolder> FFolders;
    std::vector<TChildEntry> FEntries;
    std::vector<uint32_t> FSlots; // open addressing: folder index + 1, 0 = free
};

} // namespace qz

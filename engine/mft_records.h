// Readers for the NTFS metadata records that the volume source needs before any scan runs
// ($MFT and its extension records, $Bitmap, $UpCase): the unnamed attribute of a type with
// its runs, attribute-list values, and cluster positions of decoded runs. They use the same
// fixups, mapping-pairs decoder and attribute-list parser as the record decoder
// (ntfs_parse.h). Every read is bounded by the record size.
#pragma once

#include "engine/types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qz {

// The unnamed attribute of one type in one FILE record (the first one found).
struct TDataAttribute {
    bool NonResident = false;
    uint64_t LowestVcn = 0;
    uint64_t RealSize = 0;
    uint64_t InitializedSize = 0;
    const uint8_t* Value = nullptr; // resident data (points into the record)
    size_t ValueLength = 0;
    std::vector<TDATA_RUN> Runs; // non-resident: as the mapping pairs state them
};

// Apply the update-sequence fixups of a raw record in place. False when the record has no
// "FILE" signature or its update sequence lies outside the record.
bool ApplyRecordFixups(uint8_t* rec, size_t size);

// Find the first unnamed attribute of the given type in a fixed-up record. False when there
// is none or the record is malformed (a structure reaching outside the record or the
// attribute, runs that do not decode to clusters, a run list without its end).
bool FindUnnamedAttribute(const uint8_t* rec, size_t size, uint32_t type, TDataAttribute& out);
// The unnamed $DATA attribute (0x80).
inline bool FindUnnamedData(const uint8_t* rec, size_t size, TDataAttribute& out) {
    return FindUnnamedAttribute(rec, size, 0x80, out);
}

// The entries of an $ATTRIBUTE_LIST value (n bytes), in their order; stops at the first entry
// that does not fit.
std::vector<TATTRIB_RECORD> ParseAttributeList(const uint8_t* data, size_t n);

// Walks runs as their mapping pairs state them (the first offset absolute, every later one
// relative to the cluster before; a hole keeps the cluster number) with absolute positions:
// visit(vcn, length, lcn, sparse) for each run, VCNs counted from firstVcn, until visit
// returns false. False when a length, VCN or cluster number does not fit 63 bits.
template <class Visit>
bool WalkRuns(const std::vector<TDATA_RUN>& runs, int64_t firstVcn, Visit&& visit) {
    int64_t vcn = firstVcn, lcn = 0;
    for (const TDATA_RUN& r : runs) {
        if (!r.Sparse) {
            if (!r.IsOffset)
                lcn = r.Offset;
            else if (__builtin_add_overflow(lcn, r.Offset, &lcn))
                return false;
        }
        if (r.RunLength > uint64_t(INT64_MAX)) return false;
        const int64_t length = int64_t(r.RunLength);
        if (!visit(vcn, length, lcn, r.Sparse)) return true;
        if (__builtin_add_overflow(vcn, length, &vcn)) return false;
    }
    return true;
}

} // namespace qz

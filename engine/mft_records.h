// Small readers for the NTFS metadata records that the volume source needs before any scan
// runs ($MFT and its extension records, $Bitmap, $UpCase): update-sequence fixups and the
// unnamed $DATA attribute with its runs. Every read is bounded by the record size.
#pragma once

#include "engine/types.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qz {

// One run of a non-resident attribute with its absolute cluster number.
struct TClusterRun {
    int64_t Vcn = 0;
    int64_t Length = 0;
    int64_t Lcn = 0;
    bool Sparse = false;
};

// The unnamed $DATA attribute of one FILE record (the first one found).
struct TDataAttribute {
    bool NonResident = false;
    uint64_t LowestVcn = 0;
    uint64_t RealSize = 0;
    uint64_t InitializedSize = 0;
    const uint8_t* Value = nullptr; // resident data (points into the record)
    size_t ValueLength = 0;
    std::vector<TClusterRun> Runs; // non-resident: VCNs from LowestVcn
};

// Apply the update-sequence fixups of a raw record in place (stride 512 bytes). False when
// the record has no "FILE" signature or its update sequence lies outside the record.
bool ApplyRecordFixups(uint8_t* rec, size_t size);

// Find the first unnamed attribute of the given type in a fixed-up record. False when there
// is none or the record is malformed (a structure reaching outside the record, runs that do
// not decode).
bool FindUnnamedAttribute(const uint8_t* rec, size_t size, uint32_t type, TDataAttribute& out);
// The unnamed $DATA attribute (0x80).
inline bool FindUnnamedData(const uint8_t* rec, size_t size, TDataAttribute& out) {
    return FindUnnamedAttribute(rec, size, 0x80, out);
}

// One entry of an $ATTRIBUTE_LIST value.
struct TAttrListEntry {
    uint32_t Type = 0;
    uint8_t NameLength = 0;
    uint64_t LowestVcn = 0;
    uint64_t FileRef = 0; // with its sequence number
};
// The entries of an $ATTRIBUTE_LIST value (n bytes), in their order; stops at the first entry
// that does not fit.
std::vector<TAttrListEntry> ParseAttributeList(const uint8_t* data, size_t n);

// The flag word (offset 22) and the base-record reference (offset 32) of a record header.
uint16_t RecordFlags(const uint8_t* rec);
uint64_t RecordBaseRef(const uint8_t* rec);

// Convert decoded runs (first absolute, then relative) into absolute cluster runs.
std::vector<TClusterRun> ClusterRunsOf(const TRecordRuns& runs);
// Append absolute cluster runs to out in the decoded form: the first run absolute, every
// other one relative to the run before it, sparse runs with offset 0.
void AppendDecodedRuns(const std::vector<TClusterRun>& runs, TRecordRuns& out);

} // namespace qz

// The three NTFS encodings every reader of FILE records shares: update-sequence fixups,
// mapping pairs (data runs) and $ATTRIBUTE_LIST entries. One implementation each, used by
// the record decoder (the innermost loop of a scan, hence inline) and by the volume code.
// Every read is bounded by the limit the caller passes.
#pragma once

#include "engine/ntfs_layout.h"

#include <cstddef>
#include <cstdint>

namespace qz::ntfs {

// Restores the last two bytes of every 512-byte stride of a raw record from its update
// sequence array: with n the array's count, strides 1, 2, ... while n fixups remain and the
// stride ends inside the record (so a count that includes the sequence number itself stops at
// the record's end). The sequence number is not compared. False when the array lies outside
// the record.
inline bool ApplyUpdateSequence(uint8_t* rec, size_t size) {
    const TFileRecordView header{rec};
    const size_t at = header.UpdateSequenceOffset();
    unsigned n = header.UpdateSequenceCount();
    for (size_t i = 1; n > 0; ++i, --n) {
        const size_t end = i * kUpdateSequenceStride - 2;
        if (end >= size) break;
        if (at + 2 * i + 2 > size) return false;
        rec[end] = rec[at + 2 * i];
        rec[end + 1] = rec[at + 2 * i + 1];
    }
    return true;
}

// How a mapping-pairs list ended.
enum class TRunsEnd : uint8_t {
    Terminator,   // a 0 header byte
    BadHeader,    // a header byte with a size nibble above 8
    Truncated,    // a run whose bytes reach the limit
    LimitReached, // the limit came before any terminator
    Stopped,      // the visitor asked to stop
};

// Decodes the mapping pairs that start at buf[p], reading nothing at or past buf[limit]. Each
// run is a header byte h (low nibble: bytes of the length, high nibble: bytes of the offset),
// the length (unsigned) and the offset (signed, relative to the previous run's cluster; none
// for a hole of a sparse stream). visit(length, offset, hasOffset) returns false to stop.
template <class Visit>
TRunsEnd DecodeMappingPairs(const uint8_t* buf, size_t p, size_t limit, Visit&& visit) {
    while (p < limit) {
        const uint8_t h = buf[p];
        if (h == 0) return TRunsEnd::Terminator;
        const unsigned lengthBytes = h & 0x0F, offsetBytes = h >> 4;
        if (lengthBytes > 8 || offsetBytes > 8) return TRunsEnd::BadHeader;
        if (p + 1 + lengthBytes + offsetBytes > limit) return TRunsEnd::Truncated;
        uint64_t length = 0;
        for (unsigned k = 0; k < lengthBytes; ++k) length |= uint64_t(buf[p + 1 + k]) << (8 * k);
        int64_t offset = 0;
        if (offsetBytes > 0) {
            const size_t o = p + 1 + lengthBytes;
            uint64_t u = 0;
            for (unsigned k = 0; k < offsetBytes; ++k) u |= uint64_t(buf[o + k]) << (8 * k);
            if (offsetBytes < 8 && (buf[o + offsetBytes - 1] & 0x80))
                u |= ~uint64_t(0) << (8 * offsetBytes); // sign-extend from the top byte
            offset = int64_t(u);
        }
        if (!visit(length, offset, offsetBytes > 0)) return TRunsEnd::Stopped;
        p += 1 + lengthBytes + offsetBytes;
    }
    return TRunsEnd::LimitReached;
}

// Visits the entries of an $ATTRIBUTE_LIST value that starts at buf[start] and ends before
// buf[end], reading nothing at or past buf[limit]: visit(TAttributeListEntryView) for each
// entry until an end marker, an entry length of 0 or the value's end. False when an entry
// reaches past the limit.
template <class Visit>
bool ForEachAttributeListEntry(const uint8_t* buf, size_t start, size_t end, size_t limit,
                               Visit&& visit) {
    using Entry = TAttributeListEntryView;
    for (size_t pos = start; pos < end;) {
        if (pos + Entry::kType + 4 > limit) return false;
        const Entry e{buf + pos};
        if (e.Type() == kAttrEnd) break;
        if (pos + Entry::kLength + 2 > limit) return false;
        const uint16_t length = e.Length();
        if (length == 0) break;
        if (pos + Entry::kBytesRead > limit) return false;
        visit(e);
        pos += length;
    }
    return true;
}

} // namespace qz::ntfs

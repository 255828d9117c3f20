#include "engine/mft_records.h"

#include "engine/ntfs_parse.h"

namespace qz {

using namespace ntfs;

bool ApplyRecordFixups(uint8_t* rec, size_t size) {
    if (size < TFileRecordView::kHeaderBytes || !TFileRecordView{rec}.HasSignature()) return false;
    return ApplyUpdateSequence(rec, size);
}

bool FindUnnamedAttribute(const uint8_t* rec, size_t size, uint32_t wanted, TDataAttribute& out) {
    out = TDataAttribute{};
    if (size < TFileRecordView::kHeaderBytes || !TFileRecordView{rec}.HasSignature()) return false;
    size_t a = TFileRecordView{rec}.FirstAttribute();
    while (a + 16 <= size) {
        const TAttributeView attr{rec + a};
        const uint32_t type = attr.Type();
        if (type == kAttrEnd) return false;
        const uint32_t length = attr.Length();
        if (length < 16 || a + length > size) return false;
        if (type == wanted && attr.NameLength() == 0) {
            if (attr.NonResident() == 0) {
                if (length < TAttributeView::kResidentHeaderBytes) return false;
                const size_t vlen = attr.ValueLength(), voff = attr.ValueOffset();
                if (voff + vlen > length) return false;
                out.Value = rec + a + voff;
                out.ValueLength = vlen;
                out.RealSize = out.InitializedSize = vlen;
                return true;
            }
            if (length < TAttributeView::kNonResidentHeaderBytes) return false;
            out.NonResident = true;
            out.LowestVcn = attr.LowestVcn();
            out.RealSize = attr.RealSize();
            out.InitializedSize = attr.InitializedSize();
            const size_t runs = attr.MappingPairsOffset();
            if (runs >= length) return false;
            // Runs that map clusters: none empty or absurdly long, no number past 63 bits.
            int64_t vcn = int64_t(out.LowestVcn), lcn = 0;
            bool ok = true;
            const TRunsEnd end = DecodeMappingPairs(
                rec, a + runs, a + length, [&](uint64_t clusters, int64_t offset, bool hasOffset) {
                    if (clusters == 0 || clusters > (uint64_t(1) << 48) ||
                        (hasOffset && __builtin_add_overflow(lcn, offset, &lcn)) ||
                        __builtin_add_overflow(vcn, int64_t(clusters), &vcn))
                        return ok = false;
                    out.Runs.push_back(TDATA_RUN{clusters, offset, !out.Runs.empty(), !hasOffset});
                    return true;
                });
            return ok && end == TRunsEnd::Terminator;
        }
        a += length;
    }
    return false;
}

std::vector<TATTRIB_RECORD> ParseAttributeList(const uint8_t* data, size_t n) {
    std::vector<TATTRIB_RECORD> out;
    ForEachAttributeListEntry(data, 0, n, n, [&](const TAttributeListEntryView& e) {
        out.push_back(TATTRIB_RECORD{e.Type(), e.FileReference(), e.NameLength()});
    });
    return out;
}

} // namespace qz

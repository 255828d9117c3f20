// A small NTFS volume composed byte by byte: boot sector, $MFT laid out in the runs a test
// asks for, $Bitmap, $UpCase and the root folder, plus whatever records the test adds. Lets
// the tests choose exactly where every record lies (runs of given lengths, records straddling
// two runs, extension records before their base record).
#pragma once

#include "tests/engine/record_builder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace qz::test {

class SynthVolume {
public:
    // mftRuns: (length, LCN) in clusters. Records not added stay zero (not in use).
    SynthVolume(uint32_t bpc, uint32_t bpr, uint64_t totalClusters, std::vector<struct Run> mftRuns)
        : bpc_(bpc), bpr_(bpr), total_(totalClusters), mftRuns_(std::move(mftRuns)) {
        uint64_t clusters = 0;
        for (const struct Run& r : mftRuns_) clusters += r.length;
        records_ = clusters * bpc_ / bpr_;
        upcaseClusters_ = (131072 + bpc_ - 1) / bpc_;
        bitmapBytes_ = (total_ + 7) / 8;
        bitmapClusters_ = (bitmapBytes_ + bpc_ - 1) / bpc_;
    }
    uint64_t Records() const { return records_; }
    uint32_t RecordSize() const { return bpr_; }

    // A shorter $UpCase (the rest of the table keeps the identity mapping): small images.
    void SetUpcaseBytes(uint32_t bytes) {
        upcaseBytes_ = bytes;
        upcaseClusters_ = (bytes + bpc_ - 1) / bpc_;
    }

    // Where $UpCase and $Bitmap live (clusters); must not overlap the MFT runs.
    void PlaceMetadata(uint64_t upcaseLcn, uint64_t bitmapLcn) {
        upcaseLcn_ = upcaseLcn;
        bitmapLcn_ = bitmapLcn;
    }

    // Records are composed in (at most) 1 KiB, which leaves room for the update sequence before
    // the first attribute; Set() widens them to the record size.
    RecordBuilder Builder(uint16_t flags = 1) const {
        return RecordBuilder(bpr_ < 1024 ? bpr_ : 1024, flags);
    }
    void Set(uint64_t recno, std::vector<uint8_t> bytes) {
        extra_[recno] = Widen(std::move(bytes));
    }
    // A file of size bytes (resident data) in folder parent.
    void AddFile(uint64_t recno, uint64_t parent, const std::u16string& name, uint32_t size) {
        Set(recno, Builder(1)
                       .StdInfo(kFt, kFt, kFt, 0x20)
                       .FileName(parent, name)
                       .ResidentData(size)
                       .Build());
    }
    void AddFolder(uint64_t recno, uint64_t parent, const std::u16string& name) {
        Set(recno, Builder(3).StdInfo(kFt, kFt, kFt, 0x10).FileName(parent, name).Build());
    }

    // Clusters in use: boot sector, $MFT, $UpCase, $Bitmap.
    uint64_t UsedClusters() const {
        uint64_t used = 1 + upcaseClusters_ + bitmapClusters_;
        for (const struct Run& r : mftRuns_) used += r.length;
        return used;
    }

    std::vector<uint8_t> Image() const {
        std::vector<uint8_t> img(total_ * bpc_, 0);
        // Boot sector.
        uint8_t b[512] = {};
        std::memcpy(b + 3, "NTFS    ", 8);
        Put16(b + 11, 512);
        b[13] = uint8_t(bpc_ / 512);
        Put64(b + 0x28, total_ * bpc_ / 512);
        Put64(b + 0x30, uint64_t(mftRuns_.front().lcn));
        Put64(b + 0x38, total_ / 2);
        int8_t cpr;
        if (bpr_ >= bpc_) {
            cpr = int8_t(bpr_ / bpc_);
        } else {
            int lg = 0;
            while ((1u << lg) < bpr_) ++lg;
            cpr = int8_t(-lg);
        }
        b[0x40] = uint8_t(cpr);
        Put64(b + 0x48, 0x1122334455667788ull);
        b[510] = 0x55;
        b[511] = 0xAA;
        std::copy(b, b + sizeof b, img.begin());

        // $UpCase: identity with ASCII a-z upper-cased.
        std::vector<uint8_t> up(131072);
        for (uint32_t c = 0; c < 65536; ++c) {
            uint16_t u = uint16_t(c >= 'a' && c <= 'z' ? c - 32 : c);
            Put16(up.data() + 2 * c, u);
        }
        std::memcpy(img.data() + upcaseLcn_ * bpc_, up.data(), upcaseBytes_);
        // $Bitmap.
        std::vector<bool> used(total_, false);
        used[0] = true;
        for (const struct Run& r : mftRuns_)
            for (uint64_t i = 0; i < r.length && uint64_t(r.lcn) + i < total_; ++i)
                used[uint64_t(r.lcn) + i] = true;
        for (uint64_t i = 0; i < upcaseClusters_; ++i) used[upcaseLcn_ + i] = true;
        for (uint64_t i = 0; i < bitmapClusters_; ++i) used[bitmapLcn_ + i] = true;
        for (uint64_t i = 0; i < total_; ++i)
            if (used[i]) img[bitmapLcn_ * bpc_ + i / 8] |= uint8_t(1u << (i % 8));

        std::map<uint64_t, std::vector<uint8_t>> recs = extra_;
        recs.try_emplace(0, Widen(Builder(1)
                                      .StdInfo(kFt, kFt, kFt, 6)
                                      .FileName(5, u"$MFT")
                                      .NonResidentData(records_ * bpr_, EncodeRuns(mftRuns_))
                                      .Build()));
        recs.try_emplace(5,
                         Widen(Builder(3).StdInfo(kFt, kFt, kFt, 0x16).FileName(5, u".").Build()));
        recs.try_emplace(
            6, Widen(Builder(1)
                         .StdInfo(kFt, kFt, kFt, 6)
                         .FileName(5, u"$Bitmap")
                         .NonResidentData(bitmapBytes_,
                                          EncodeRuns({{bitmapClusters_, int64_t(bitmapLcn_)}}))
                         .Build()));
        recs.try_emplace(
            10, Widen(Builder(1)
                          .StdInfo(kFt, kFt, kFt, 6)
                          .FileName(5, u"$UpCase")
                          .NonResidentData(upcaseBytes_,
                                           EncodeRuns({{upcaseClusters_, int64_t(upcaseLcn_)}}))
                          .Build()));
        for (auto& [recno, bytes] : recs) WriteMftBytes(img, recno * bpr_, bytes);
        return img;
    }

    // Volume byte position of MFT byte offset o.
    uint64_t MftPosition(uint64_t o) const {
        uint64_t vcn = o / bpc_, within = o % bpc_, start = 0;
        for (const struct Run& r : mftRuns_) {
            if (vcn < start + r.length) return (uint64_t(r.lcn) + vcn - start) * bpc_ + within;
            start += r.length;
        }
        return ~uint64_t(0);
    }

    static constexpr uint64_t kFt = (1714564800ull + 11644473600ull) * 10000000ull; // 2024-05-01

private:
    std::vector<uint8_t> Widen(std::vector<uint8_t> b) const {
        if (b.size() < bpr_) b.resize(bpr_, 0);
        const uint32_t alloc = bpr_;
        std::memcpy(b.data() + 28, &alloc, 4); // allocated size of the record
        return b;
    }
    void WriteMftBytes(std::vector<uint8_t>& img, uint64_t o,
                       const std::vector<uint8_t>& bytes) const {
        for (size_t i = 0; i < bytes.size();) {
            // cluster by cluster: a record may straddle two runs
            uint64_t pos = MftPosition(o + i);
            if (pos + bpc_ > img.size())
                throw std::out_of_range("record outside the MFT or the volume");
            size_t n = std::min<size_t>(bytes.size() - i, bpc_ - (o + i) % bpc_);
            std::memcpy(img.data() + pos, bytes.data() + i, n);
            i += n;
        }
    }
    static void Put16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }
    static void Put64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

    uint32_t bpc_, bpr_;
    uint64_t total_;
    std::vector<struct Run> mftRuns_;
    uint64_t records_ = 0;
    uint64_t upcaseLcn_ = 0, bitmapLcn_ = 0;
    uint64_t upcaseClusters_ = 0, bitmapBytes_ = 0, bitmapClusters_ = 0;
    uint32_t upcaseBytes_ = 131072;
    std::map<uint64_t, std::vector<uint8_t>> extra_;
};

} // namespace qz::test

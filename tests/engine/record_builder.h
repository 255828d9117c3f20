// Composes NTFS FILE records byte by byte for decoder tests.
#pragma once

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace qz::test {

class RecordBuilder {
public:
    explicit RecordBuilder(size_t size = 1024, uint16_t flags = 1) : buf_(size, 0) {
        std::memcpy(buf_.data(), "FILE", 4);
        Put16(4, 48);                       // update sequence array offset
        Put16(6, uint16_t(size / 512 + 1)); // count, including the sequence number
        Put16(20, 56);                      // first attribute
        Put16(22, flags);
        Put16(48, 0x1234); // sequence number
        pos_ = 56;
    }
    RecordBuilder& Base(uint64_t ref) {
        Put64(32, ref);
        return *this;
    }
    // $STANDARD_INFORMATION with the given FILETIMEs and attributes.
    RecordBuilder& StdInfo(uint64_t created, uint64_t modified, uint64_t accessed,
                           uint32_t attrib) {
        size_t v = Resident(0x10, 72);
        Put64(v + 0, created);
        Put64(v + 8, modified);
        Put64(v + 16, modified);
        Put64(v + 24, accessed);
        Put32(v + 32, attrib);
        return *this;
    }
    RecordBuilder& FileName(uint64_t parent, const std::u16string& name, uint8_t ns = 1) {
        size_t v = Resident(0x30, 66 + 2 * name.size());
        Put64(v, parent | (uint64_t(1) << 48));
        buf_[v + 64] = uint8_t(name.size());
        buf_[v + 65] = ns;
        for (size_t i = 0; i < name.size(); ++i) Put16(v + 66 + 2 * i, name[i]);
        return *this;
    }
    RecordBuilder& ResidentData(uint32_t length, const std::u16string& streamName = u"") {
        size_t v = Resident(0x80, length, streamName);
        (void)v;
        return *this;
    }
    // Non-resident $DATA with a real size and raw mapping-pair bytes.
    RecordBuilder& NonResidentData(uint64_t realSize, const std::vector<uint8_t>& runs,
                                   const std::u16string& streamName = u"") {
        size_t nameOff = 64;
        size_t runOff = nameOff + Align8(2 * streamName.size());
        size_t len = Align8(runOff + runs.size() + 1);
        size_t a = pos_;
        Put32(a, 0x80);
        Put32(a + 4, uint32_t(len));
        buf_[a + 8] = 1;
        buf_[a + 9] = uint8_t(streamName.size());
        Put16(a + 10, uint16_t(nameOff));
        Put16(a + 32, uint16_t(runOff));
        Put64(a + 40, realSize);
        Put64(a + 48, realSize);
        Put64(a + 56, realSize);
        for (size_t i = 0; i < streamName.size(); ++i) Put16(a + nameOff + 2 * i, streamName[i]);
        std::memcpy(&buf_[a + runOff], runs.data(), runs.size());
        pos_ += len;
        return *this;
    }
    // $ATTRIBUTE_LIST entries (type, file reference).
    RecordBuilder& AttrList(const std::vector<std::pair<uint32_t, uint64_t>>& entries) {
        size_t v = Resident(0x20, 32 * entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            Put32(v + 32 * i, entries[i].first);
            Put16(v + 32 * i + 4, 32);
            Put64(v + 32 * i + 16, entries[i].second);
        }
        return *this;
    }
    // Finish: end marker, then apply the update sequence (protect the sector ends).
    std::vector<uint8_t> Build(uint16_t usn = 0xABCD) {
        if (pos_ + 8 > buf_.size()) throw std::length_error("attributes do not fit the record");
        Put32(pos_, 0xFFFFFFFF);
        Put32(pos_ + 4, 0);
        std::vector<uint8_t> out = buf_;
        size_t u = 48;
        Put16To(out, u, usn);
        for (size_t i = 1; i * 512 <= out.size(); ++i) {
            out[u + 2 * i] = out[i * 512 - 2];
            out[u + 2 * i + 1] = out[i * 512 - 1];
            Put16To(out, i * 512 - 2, usn);
        }
        return out;
    }
    std::vector<uint8_t>& raw() { return buf_; }
    size_t pos() const { return pos_; }

    void Put16(size_t at, uint16_t v) { Put16To(buf_, at, v); }
    void Put32(size_t at, uint32_t v) { std::memcpy(&buf_[at], &v, 4); }
    void Put64(size_t at, uint64_t v) { std::memcpy(&buf_[at], &v, 8); }

private:
    static size_t Align8(size_t n) { return (n + 7) & ~size_t(7); }
    static void Put16To(std::vector<uint8_t>& b, size_t at, uint16_t v) {
        std::memcpy(&b[at], &v, 2);
    }
    size_t Resident(uint32_t type, size_t valueLen, const std::u16string& name = u"") {
        size_t nameOff = 24;
        size_t valOff = Align8(nameOff + 2 * name.size());
        size_t len = Align8(valOff + valueLen);
        size_t a = pos_;
        Put32(a, type);
        Put32(a + 4, uint32_t(len));
        buf_[a + 8] = 0;
        buf_[a + 9] = uint8_t(name.size());
        Put16(a + 10, uint16_t(nameOff));
        Put32(a + 16, uint32_t(valueLen));
        Put16(a + 20, uint16_t(valOff));
        for (size_t i = 0; i < name.size(); ++i) Put16(a + nameOff + 2 * i, name[i]);
        pos_ += len;
        return a + valOff;
    }

    std::vector<uint8_t> buf_;
    size_t pos_;
};

// Mapping pairs for runs of (length, absolute LCN); 0 LCN with sparse=true gives a sparse run.
struct Run {
    uint64_t length;
    int64_t lcn;
    bool sparse = false;
};
inline std::vector<uint8_t> EncodeRuns(const std::vector<Run>& runs) {
    std::vector<uint8_t> out;
    int64_t prev = 0;
    for (const Run& r : runs) {
        uint8_t lb[8], ob[8];
        unsigned ln = 0, on = 0;
        uint64_t l = r.length;
        do {
            lb[ln++] = uint8_t(l);
            l >>= 8;
        } while (l && ln < 8);
        if (!r.sparse) {
            int64_t d = r.lcn - prev;
            prev = r.lcn;
            // Minimal signed little-endian encoding.
            for (;;) {
                ob[on++] = uint8_t(d);
                int64_t rest = d >> 8;
                bool signBit = (ob[on - 1] & 0x80) != 0;
                if ((rest == 0 && !signBit) || (rest == -1 && signBit) || on == 8) break;
                d = rest;
            }
        }
        out.push_back(uint8_t(ln | (on << 4)));
        out.insert(out.end(), lb, lb + ln);
        out.insert(out.end(), ob, ob + on);
    }
    out.push_back(0);
    return out;
}

} // namespace qz::test

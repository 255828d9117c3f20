// Opening MFT sources: an NTFS volume (block device or image file, possibly inside a
// partitioned disk image) or an MFT dump file.
//
// Volume: the volume data come from the boot sector, $MFT is decoded from record 0 (its data
// runs merged with those held in its extension records), the extents of $MFT are its runs,
// the volume's $UpCase replaces the name collation table and the free clusters are counted in
// $Bitmap.
// Dump: the raw $MFT data followed by an optional trailer with the volume data ("VOLDATA2" +
// 96 bytes + drive letter, or the older "VOLDATA" + 96 bytes).
#include "base/debuglog.h"
#include "base/text.h"
#include "engine/collation.h"
#include "engine/mft_records.h"
#include "engine/mft_volume.h"
#include "engine/ntfs_layout.h"
#include "engine/scan.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>

namespace qz {

namespace {

bool PreadAll(int fd, void* buf, size_t n, off_t at) {
    auto* p = static_cast<uint8_t*>(buf);
    while (n > 0) {
        ssize_t r = ::pread(fd, p, n, at);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
        at += r;
    }
    return true;
}

inline bool Pow2In(uint64_t v, uint64_t lo, uint64_t hi) {
    return v >= lo && v <= hi && (v & (v - 1)) == 0;
}

std::string Hex(int64_t v) {
    char b[24];
    std::snprintf(b, sizeof b, "%llX", static_cast<unsigned long long>(v));
    return b;
}

// Trailer kinds: 0 none, 7 "VOLDATA" (103 bytes), 8 "VOLDATA2" (105 bytes).
int TrailerKind(int fd, int64_t fileSize) {
    char tag[8];
    if (fileSize >= 103 && PreadAll(fd, tag, 7, fileSize - 103) &&
        std::memcmp(tag, "VOLDATA", 7) == 0)
        return 7;
    if (fileSize >= 105 && PreadAll(fd, tag, 8, fileSize - 105) &&
        std::memcmp(tag, "VOLDATA2", 8) == 0)
        return 8;
    return 0;
}

// ---------------------------------------------------------------- volumes

// The runs of $MFT's data, from its segments (record 0 and its extension records) in VCN
// order, become FMFTRuns and FMFTExtents. A gap between segments ends the runs there.
void SetMftRuns(TNTFS_FILES& s, std::vector<TDataAttribute>& segments, const std::string& path) {
    std::sort(
        segments.begin(), segments.end(),
        [](const TDataAttribute& a, const TDataAttribute& b) { return a.LowestVcn < b.LowestVcn; });
    std::vector<TMFT_EXTENTS> extents;
    int64_t next = 0;
    const int64_t totalClusters = s.FVolData.TotalClusters;
    for (const TDataAttribute& seg : segments) {
        if (int64_t(seg.LowestVcn) != next) {
            DebugLog("MFT data runs end at VCN " + Hex(next) + ": the next segment starts at " +
                     Hex(int64_t(seg.LowestVcn)));
            break;
        }
        bool stop = false;
        WalkRuns(seg.Runs, int64_t(seg.LowestVcn),
                 [&](int64_t vcn, int64_t length, int64_t lcn, bool sparse) {
                     if (sparse) {
                         stop = true;
                         return false;
                     }
                     if (lcn < 0 || length > totalClusters || lcn > totalClusters - length)
                         throw TScanError(Format(
                             tr("The data runs of $MFT on %s point outside the volume (cluster "
                                "%s, %s clusters, volume of %s)"),
                             path.c_str(), std::to_string(lcn).c_str(),
                             std::to_string(length).c_str(),
                             std::to_string(totalClusters).c_str()));
                     extents.push_back(TMFT_EXTENTS{vcn, length, lcn});
                     next = vcn + length;
                     return true;
                 });
        if (stop) break;
    }
    // FMFTRuns state the same runs as mapping pairs would: the first cluster number absolute,
    // every later one relative to the run before.
    s.FMFTRuns.clear();
    for (size_t i = 0; i < extents.size(); ++i)
        s.FMFTRuns.DataRuns.push_back(
            TDATA_RUN{uint64_t(extents[i].VCNLength),
                      i == 0 ? extents[i].LCN : extents[i].LCN - extents[i - 1].LCN, i > 0});
    s.FMFTRuns.NumDataRuns = int32_t(s.FMFTRuns.DataRuns.size());
    s.FMFTExtents = std::move(extents);
    s.FMFTExtentsAvailable = !s.FMFTExtents.empty();
}

void LogExtents(const TNTFS_FILES& s, const std::string& path) {
    DebugLog("GetMFTExtents start");
    DebugLog("GetMFTExtents \"" + path + "\" (from the data runs of $MFT)");
    for (size_t i = 0; i < s.FMFTExtents.size(); ++i) {
        const TMFT_EXTENTS& e = s.FMFTExtents[i];
        DebugLog(std::to_string(i) + ", VCNStart: " + Hex(e.VCNStart) +
                 ", VCNLength: " + Hex(e.VCNLength) + ", LCN: " + Hex(e.LCN));
    }
    DebugLog("Complete total=" + std::to_string(s.FMFTExtents.size()));
    DebugLog(std::string("FMFTExtentsAvailable=") + (s.FMFTExtentsAvailable ? "1" : "0"));
}

// One MFT record, raw (fixups not applied), read through the runs known so far.
bool ReadRawRecord(const TNTFS_FILES& s, uint64_t recno, std::vector<uint8_t>& buf,
                   std::string* error) {
    buf.assign(s.FVolData.BytesPerFileRecordSegment, 0);
    return ReadMFTData(s, recno * buf.size(), buf.data(), buf.size(), error);
}

// Free clusters: the zero bits of $Bitmap among the volume's clusters.
bool CountFreeClusters(const TNTFS_FILES& s, const TDataAttribute& bitmap, int64_t& freeClusters) {
    const uint64_t total = uint64_t(s.FVolData.TotalClusters);
    const uint64_t need = (total + 7) / 8;
    if (std::min(bitmap.InitializedSize, bitmap.RealSize) < need) return false;
    uint64_t used = 0, seen = 0; // bits counted, bytes seen
    auto count = [&](const uint8_t* p, size_t n) {
        for (size_t i = 0; i < n && seen < need; ++i, ++seen) {
            uint8_t b = p[i];
            if (seen == need - 1 && total % 8) b &= uint8_t((1u << (total % 8)) - 1);
            used += uint64_t(__builtin_popcount(b));
        }
    };
    if (!bitmap.NonResident) {
        count(bitmap.Value, bitmap.ValueLength);
    } else {
        const uint64_t bpc = s.FVolData.BytesPerCluster;
        std::vector<uint8_t> chunk(size_t(1) << 20);
        bool ok = true;
        WalkRuns(bitmap.Runs, int64_t(bitmap.LowestVcn),
                 [&](int64_t vcn, int64_t length, int64_t lcn, bool sparse) {
                     if (seen >= need) return false;
                     if (sparse || uint64_t(vcn) * bpc != seen) return ok = false;
                     uint64_t left = std::min<uint64_t>(uint64_t(length) * bpc, need - seen);
                     int64_t pos = lcn * int64_t(bpc);
                     while (left > 0) {
                         const size_t n = size_t(std::min<uint64_t>(left, chunk.size()));
                         if (!ReadVolume(s, pos, chunk.data(), n)) return ok = false;
                         count(chunk.data(), n);
                         pos += int64_t(n);
                         left -= n;
                     }
                     return true;
                 });
        if (!ok) return false;
    }
    if (seen < need) return false;
    freeClusters = int64_t(total - used);
    return true;
}

void OpenVolume(TNTFS_FILES& s, TFileHandle fd, const TNtfsLocation& loc, const std::string& path) {
    s.FDriveLetter = u'C';
    s.FMFTFile.Close();
    s.FVolumeHandle = std::move(fd);
    s.FVolumeOffset = int64_t(loc.Offset);
    s.FVolData = BootSectorVolumeData(loc.Boot);
    s.FBytesPerCluster = s.FVolData.BytesPerCluster;
    s.FMFTExtents.clear();
    s.FMFTExtentsAvailable = false;
    const uint32_t bpr = s.FVolData.BytesPerFileRecordSegment;
    DebugLog("Volume " + path + ": NTFS at byte " + std::to_string(loc.Offset) + ", " +
             std::to_string(s.FVolData.BytesPerCluster) + "-byte clusters, " + std::to_string(bpr) +
             "-byte records, $MFT at cluster " + std::to_string(s.FVolData.MftStartLcn));
    const uint64_t volumeBytes = loc.Boot.NumberSectors * loc.Boot.BytesPerSector;
    if (loc.Size < loc.Offset + volumeBytes)
        DebugLog("Volume " + path +
                 " is shorter than its boot sector says: " + std::to_string(loc.Size - loc.Offset) +
                 " of " + std::to_string(volumeBytes) + " bytes");

    // Record 0: $MFT itself, at the start of the MFT.
    std::vector<uint8_t> rec(bpr);
    std::string err;
    if (!ReadVolume(s, s.FVolData.MftStartLcn * int64_t(s.FVolData.BytesPerCluster), rec.data(),
                    bpr, &err)) {
        DebugLog("Could not read first MFT record: " + err);
        throw TScanError(Format(tr("Could not read the first MFT record of %s, Error: %s"),
                                path.c_str(), err.c_str()));
    }
    TDecodeContext ctx;
    TDataAttribute data0;
    if (!s.DecodeFileRecord(rec.data(), ctx, 0, true, false, true) ||
        !FindUnnamedData(rec.data(), bpr, data0) || !data0.NonResident || data0.LowestVcn != 0 ||
        data0.Runs.empty()) {
        DebugLog("Could not decode first MFT record");
        throw TScanError(tr("Could not decode first MFT record!"));
    }
    s.FMFT = ctx.rec;
    s.FMFT.Filename = nullptr; // the decoder's name storage is not ours to keep
    s.FMFT.FilenameLen = 0;
    s.FMFT.Folder = nullptr;
    s.FMFT.FileSize = data0.RealSize;
    std::vector<TDataAttribute> segments{data0};
    SetMftRuns(s, segments, path);

    // Runs held in extension records of $MFT, named by its attribute list (which a heavily
    // fragmented $MFT keeps outside the record, in clusters of its own). Each extension record
    // is read through the runs known so far, so records anywhere in the table are found, not
    // only those among the first 16.
    DebugLog("Checking attributes");
    std::vector<uint8_t> listData;
    TDataAttribute list;
    if (FindUnnamedAttribute(rec.data(), bpr, 0x20, list)) {
        if (!list.NonResident) {
            listData.assign(list.Value, list.Value + list.ValueLength);
        } else if (list.LowestVcn == 0 && list.RealSize <= (1u << 20)) {
            TMFT_RECORD listRec{};
            listRec.FileSize = list.RealSize;
            TRecordRuns listRuns;
            listRuns.DataRuns = list.Runs;
            listRuns.NumDataRuns = int32_t(list.Runs.size());
            listData.resize(size_t(list.RealSize));
            listData.resize(LoadFileDirect(s, listRec, listRuns, listData.data(), listData.size()));
        }
    }
    std::set<uint64_t> merged;
    for (const TATTRIB_RECORD& a : ParseAttributeList(listData.data(), listData.size())) {
        const uint64_t f = a.FileRef & kRecNoMask;
        if (a.AttribType != 0x80 || a.NameLength != 0 || f == 0 || !merged.insert(f).second)
            continue;
        std::vector<uint8_t> ext;
        TDataAttribute seg;
        err.clear();
        if (!ReadRawRecord(s, f, ext, &err) || !ApplyRecordFixups(ext.data(), bpr) ||
            (ntfs::TFileRecordView{ext.data()}.BaseReference() & kRecNoMask) != 0 ||
            !FindUnnamedData(ext.data(), bpr, seg) || !seg.NonResident) {
            DebugLog("Extension record " + std::to_string(f) + " of $MFT could not be read" +
                     (err.empty() ? std::string() : ": " + err));
            break;
        }
        DebugLog("Merging data runs");
        segments.push_back(std::move(seg));
        SetMftRuns(s, segments, path);
    }
    LogExtents(s, path);
    s.FVolData.MftValidDataLength = int64_t(std::min(data0.InitializedSize, data0.RealSize));

    // $UpCase (record 10) into the collation table.
    std::vector<uint8_t> up;
    if (!ReadRawRecord(s, 10, up, &err) ||
        !s.DecodeFileRecord(up.data(), ctx, 10, true, false, true)) {
        DebugLog("Could not decode first MFT Upcase record" +
                 (err.empty() ? std::string() : ": " + err));
        throw TScanError(tr("Could not decode first MFT Upcase record!"));
    }
    s.FMFTUpcase = ctx.rec;
    s.FMFTUpcase.Filename = nullptr;
    s.FMFTUpcase.FilenameLen = 0;
    s.FMFTUpcase.Folder = nullptr;
    TDataAttribute upData;
    s.FMFTUpcaseRuns.clear();
    if (FindUnnamedData(up.data(), bpr, upData) && upData.NonResident && upData.LowestVcn == 0) {
        s.FMFTUpcaseRuns.DataRuns = upData.Runs;
        s.FMFTUpcaseRuns.NumDataRuns = int32_t(upData.Runs.size());
    }
    std::vector<uint8_t> table(131072);
    const size_t want = size_t(std::min<uint64_t>(table.size(), s.FMFTUpcase.FileSize));
    const size_t got =
        LoadFileDirect(s, s.FMFTUpcase, s.FMFTUpcaseRuns, table.data(), table.size());
    if (want >= 2 && got == want) {
        LoadCollationFromUpcase(table.data(), got);
        DebugLog("Upcase file loaded");
    } else {
        DebugLog("Upcase file could not be read (" + std::to_string(got) + " of " +
                 std::to_string(want) + " bytes): the collation table is kept");
    }
    TNTFS_FILES::FreeRecordData(s.FMFTUpcase);
    s.FMFTUpcaseRuns.clear();

    // Free clusters from $Bitmap (record 6).
    std::vector<uint8_t> bm;
    TDataAttribute bitmap;
    int64_t freeClusters = 0;
    if (ReadRawRecord(s, 6, bm, nullptr) && ApplyRecordFixups(bm.data(), bpr) &&
        FindUnnamedData(bm.data(), bpr, bitmap) && CountFreeClusters(s, bitmap, freeClusters)) {
        s.FVolData.FreeClusters = freeClusters;
    } else {
        DebugLog("Could not count the free clusters in $Bitmap");
    }
}

// ---------------------------------------------------------------- dump files

// True when record 0 of a dump, read with records of size bytes, is one: its update sequence
// covers exactly the record's 512-byte sectors (or was already applied: count 0) and every
// sector ends in the sequence number.
bool RecordZeroFits(int fd, int64_t fileSize, uint32_t size) {
    using ntfs::Le16;
    if (int64_t(size) > fileSize || size < ntfs::TFileRecordView::kHeaderBytes) return false;
    std::vector<uint8_t> rec(size);
    const ntfs::TFileRecordView header{rec.data()};
    if (!PreadAll(fd, rec.data(), size, 0) || !header.HasSignature()) return false;
    const size_t at = header.UpdateSequenceOffset(), count = header.UpdateSequenceCount();
    const size_t stride = ntfs::kUpdateSequenceStride;
    if (count == 0) return true;
    if (count - 1 != size / stride || at + 2 * count > size) return false;
    for (size_t i = 1; i < count; ++i)
        if (Le16(&rec[i * stride - 2]) != Le16(&rec[at])) return false;
    return true;
}

// A dump's volume data may state a record size that its records do not have (a damaged or
// foreign trailer). Record 0 states its own size (header offset 28): when that size holds and
// the stated one does not, the records are read with record 0's size and the scan says so;
// when neither holds the dump is refused rather than read as garbage.
void CheckTrailerRecordSize(TNTFS_FILES& s, int fd, int64_t fileSize, const std::string& path) {
    const uint32_t stated = s.FVolData.BytesPerFileRecordSegment;
    uint8_t h[32];
    if (fileSize < 32 || !PreadAll(fd, h, 32, 0)) return;
    const uint32_t own = ntfs::TFileRecordView{h}.BytesAllocated();
    if (own == stated || !Pow2In(own, 256, 65536)) return;
    if (RecordZeroFits(fd, fileSize, own)) {
        DebugLog("MFT dump " + path + ": the volume data says " + std::to_string(stated) +
                 "-byte records, record 0 is " + std::to_string(own) + " bytes long; read with " +
                 std::to_string(own));
        s.FVolData.BytesPerFileRecordSegment = own;
        s.Anomalies.TrailerRecordSize = stated;
        return;
    }
    if (RecordZeroFits(fd, fileSize, stated)) return;
    throw TScanError(Format(tr("The MFT dump file %s says its records are %s bytes long, but its "
                               "first record says %s and fits neither: the dump is damaged"),
                            path.c_str(), std::to_string(stated).c_str(),
                            std::to_string(own).c_str()));
}

void OpenDump(TNTFS_FILES& s, TFileHandle fd, const std::string& path) {
    s.FDriveLetter = u'C';
    s.FVolumeHandle.Close();
    s.FVolumeOffset = 0;
    s.FMFTFile = std::move(fd);
    const int f = s.FMFTFile.get();
    struct stat st {};
    if (::fstat(f, &st) != 0)
        throw TScanError(
            Format(tr("Could not read file %s, Error: %s"), path.c_str(), std::strerror(errno)));
    const int64_t fileSize = st.st_size;
    if (fileSize <= 0) throw TScanError(Format(tr("The MFT dump file %s is empty"), path.c_str()));
    s.FVolData = TNTFS_VOLUME_DATA_BUFFER{};
    s.FVolData.BytesPerFileRecordSegment = 1024;
    s.FVolData.MftValidDataLength = fileSize;
    s.FVolData.BytesPerCluster = 4096;
    s.FVolData.BytesPerSector = 512;
    s.FVolDataDriveLetter = 0;
    s.FVolDataFlag = false;

    uint8_t head[4] = {};
    if (!PreadAll(f, head, std::min<int64_t>(4, fileSize), 0) ||
        (std::memcmp(head, "FILE", 4) != 0 && std::memcmp(head, "BAAD", 4) != 0))
        throw TScanError(
            Format(tr("%s is neither an NTFS volume or image nor an MFT dump file"), path.c_str()));

    const int kind = TrailerKind(f, fileSize);
    if (kind != 0) {
        TNTFS_VOLUME_DATA_BUFFER v{};
        if (!PreadAll(f, &v, 96, fileSize - (kind == 7 ? 96 : 97)))
            throw TScanError(Format(tr("Could not read file %s, Error: %s"), path.c_str(),
                                    std::strerror(errno)));
        if (!Pow2In(v.BytesPerFileRecordSegment, 256, 65536) ||
            !Pow2In(v.BytesPerCluster, 256, 2u << 20) || v.MftValidDataLength < 0)
            throw TScanError(Format(tr("The MFT dump file %s has a damaged volume-data trailer "
                                       "(%s-byte records, %s-byte clusters)"),
                                    path.c_str(),
                                    std::to_string(v.BytesPerFileRecordSegment).c_str(),
                                    std::to_string(v.BytesPerCluster).c_str()));
        s.FVolData = v;
        s.FVolDataFlag = true;
        CheckTrailerRecordSize(s, f, fileSize, path);
        if (kind == 8) {
            uint8_t letter = 0;
            PreadAll(f, &letter, 1, fileSize - 1);
            s.FVolDataDriveLetter = char16_t(letter);
            // Only a letter can name a root "X:"; anything else keeps "C".
            if (letter >= 'a' && letter <= 'z') letter = uint8_t(letter - 'a' + 'A');
            if (letter >= 'A' && letter <= 'Z') s.FDriveLetter = char16_t(letter);
        }
    } else {
        // A bare copy: the record size defaults to 1024 bytes, but a table of 4096-byte
        // records read that way would decode as garbage. Record 0 states its own allocated
        // size (header offset 28), so take it from there when it is plausible.
        uint8_t h[32];
        const ntfs::TFileRecordView header{h};
        if (fileSize >= 32 && PreadAll(f, h, 32, 0) && header.HasSignature()) {
            const uint32_t alloc = header.BytesAllocated();
            if (Pow2In(alloc, 512, 65536)) s.FVolData.BytesPerFileRecordSegment = alloc;
        }
        // A copy cut short lost its trailer too; record 0 still says how much data $MFT holds,
        // and a pass that expects that much reports the missing part.
        const uint32_t bpr = s.FVolData.BytesPerFileRecordSegment;
        std::vector<uint8_t> rec0(bpr);
        TDataAttribute d;
        if (fileSize >= int64_t(bpr) && PreadAll(f, rec0.data(), bpr, 0) &&
            ApplyRecordFixups(rec0.data(), bpr) && FindUnnamedData(rec0.data(), bpr, d) &&
            d.NonResident && d.LowestVcn == 0) {
            const uint64_t valid = std::min(d.InitializedSize, d.RealSize);
            if (valid > uint64_t(fileSize) && valid < (uint64_t(1) << 48)) {
                DebugLog("MFT dump " + path + " holds " + std::to_string(fileSize) +
                         " bytes; its $MFT record says " + std::to_string(valid));
                s.FVolData.MftValidDataLength = int64_t(valid);
            }
        }
    }
}

} // namespace

int64_t DumpDataBytes(const TNTFS_FILES& s) {
    const int fd = s.FMFTFile.get();
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return 0;
    const int kind = TrailerKind(fd, st.st_size);
    return st.st_size - (kind == 7 ? 103 : kind == 8 ? 105 : 0);
}

void OpenMFTSource(TNTFS_FILES& s) {
    if (s.FSource.size() == 1) {
        const std::string letter = Utf16ToUtf8(s.FSource);
        DebugLog("Could not open volume " + letter +
                 ", error: drive letters do not exist on this system");
        throw TScanError(
            Format(tr("Could not open volume %s, Error: drive letters do not exist on this "
                      "system; give the path of an NTFS device, image or MFT dump file"),
                   letter.c_str()));
    }
    const std::string path = Utf16ToUtf8(s.FSource);
    TFileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        const std::string msg = std::strerror(errno);
        DebugLog("Could not open volume " + path + ", error: " + msg);
        throw TScanError(Format(tr("Could not open %s, Error: %s"), path.c_str(), msg.c_str()));
    }
    const TNtfsLocation loc = LocateNtfsVolume(fd.get());
    if (loc.IsNtfs) {
        OpenVolume(s, std::move(fd), loc, path);
        return;
    }
    if (loc.IsBlockDevice) {
        const std::string msg = loc.Readable ? tr("no NTFS file system found") : loc.Error;
        DebugLog("Could not get volume data for " + path + ", error: " + msg);
        throw TScanError(
            Format(tr("Could not get volume data for %s, Error: %s"), path.c_str(), msg.c_str()));
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw TScanError(Format(tr("Could not read %s, Error: %s"), path.c_str(),
                                loc.Error.empty() ? tr("not a file") : loc.Error.c_str()));
    if (!loc.Readable && loc.Size >= 512)
        throw TScanError(
            Format(tr("Could not read %s, Error: %s"), path.c_str(), loc.Error.c_str()));
    OpenDump(s, std::move(fd), path);
}

} // namespace qz

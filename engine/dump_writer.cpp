// Writing an MFT dump file: the data of $MFT copied from the volume in reads of up to 2 MiB,
// extent by extent in VCN order, then the "VOLDATA2" trailer (96 bytes of volume data and the
// drive letter).
#include "base/debuglog.h"
#include "base/tempfile.h"
#include "base/translate.h"
#include "engine/mft_volume.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <streambuf>
#include <unistd.h>

namespace qz {

namespace {

constexpr size_t kReadBytes = size_t(2) << 20;
constexpr size_t kStreamBuffer = size_t(1) << 20;

std::string Hex(uint64_t v) {
    char b[24];
    std::snprintf(b, sizeof b, "%llX", static_cast<unsigned long long>(v));
    return b;
}

// An output stream buffer over a descriptor it does not own; the first write error is kept.
class TDescriptorBuffer : public std::streambuf {
public:
    TDescriptorBuffer(int fd, size_t size) : FFd(fd), FData(std::make_unique<char[]>(size)) {
        setp(FData.get(), FData.get() + size);
    }
    int Error() const { return FError; }

protected:
    int_type overflow(int_type ch) override {
        if (!Drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    int sync() override { return Drain() ? 0 : -1; }

private:
    bool Drain() {
        const char* p = pbase();
        size_t left = size_t(pptr() - pbase());
        while (left > 0 && FError == 0) {
            const ssize_t n = ::write(FFd, p, left);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                FError = n < 0 ? errno : ENOSPC;
                break;
            }
            p += n;
            left -= size_t(n);
        }
        setp(pbase(), epptr());
        return FError == 0;
    }

    int FFd;
    std::unique_ptr<char[]> FData;
    int FError = 0;
};

void Put(std::ostream& dest, const void* data, size_t n) {
    dest.write(static_cast<const char*>(data), std::streamsize(n));
    if (!dest) throw TScanError(tr("Could not write the MFT dump file (is the disk full?)"));
}

} // namespace

void SaveFileToStream(TNTFS_FILES& s, const TMFT_RECORD& mft, std::ostream& dest,
                      bool UseMFTExtents) {
    if (!IsVolumeSource(s))
        throw TScanError(s.FMFTFile.valid() ? tr("An MFT dump is written from an open NTFS volume "
                                                 "or image, not from a dump file")
                                            : tr("An MFT dump is written from an open NTFS volume "
                                                 "or image, not from a closed source"));
    DebugLog(std::string("SaveFileToStream, UseMFTExtents=") + (UseMFTExtents ? "1" : "0"));
    const uint64_t bpr = s.FVolData.BytesPerFileRecordSegment;
    const uint64_t bpc = s.FVolData.BytesPerCluster;
    // Only the scan's own $MFT record comes with its runs.
    static const TRecordRuns kNoRuns;
    const TRecordRuns& runs = &mft == &s.FMFT ? s.FMFTRuns : kNoRuns;
    auto buffer = std::make_unique<uint8_t[]>(kReadBytes);
    int64_t vcn = 0;
    uint64_t written = 0;
    const uint64_t total = mft.FileSize;
    DebugLog("FileSize=" + Hex(total));
    auto progress = [&](int pct, uint64_t a, uint64_t b) {
        if (s.OnProgress) s.OnProgress(s.index, pct, int64_t(a), int64_t(b));
    };
    auto percent = [&] { return total ? int(written * 100 / total) : 0; };
    uint64_t reads = 0;

    while (written < total) {
        // Where the copy stands (0 at the start); the bar never jumps back between extents.
        progress(percent(), written, total);
        TRunPos p;
        if (UseMFTExtents && s.FMFTExtentsAvailable) {
            p = GetClusterPos2(s, vcn);
            DebugLog("GetClusterPos2 nextcluster: " + Hex(uint64_t(vcn)) + ", location=" +
                     Hex(uint64_t(p.Position)) + ", numclustersfromhere=" + Hex(uint64_t(p.Count)));
        } else {
            p = GetClusterPos(s, runs, vcn);
            DebugLog("GetClusterPos nextcluster: " + Hex(uint64_t(vcn)) + ", location=" +
                     Hex(uint64_t(p.Position)) + ", numclustersfromhere=" + Hex(uint64_t(p.Count)));
        }
        if (!p.Found() || p.Count <= 0) {
            DebugLog("Failed to locate");
            if (mft.RecNo != 0) break;
            DebugLog("Fallback to ReadMFTRecord function");
            auto single = std::make_unique<uint8_t[]>(bpr + 12);
            uint64_t n = 0;
            for (uint64_t r = written / bpr; r < total / bpr; ++r) {
                if (ReadMFTRecord(s, r, single.get())) {
                    single[12 + 6] = 0; // fixed up already: no update sequence left to apply
                    single[12 + 7] = 0;
                } else {
                    // Not a usable FILE record: copied as it lies. A record that cannot be
                    // located or read at all stops the dump, which would be incomplete.
                    std::string err;
                    if (!ReadMFTData(s, r * bpr, single.get() + 12, bpr, &err))
                        throw TScanError(Format(tr("Could not read MFT record %llu: %s"),
                                                (unsigned long long)r, err.c_str()));
                }
                Put(dest, single.get() + 12, bpr);
                written += bpr;
                if (++n % 100 == 0 && total) progress(percent(), written, total);
            }
            break;
        }
        int64_t pos = p.Position;
        uint64_t bytes = uint64_t(p.Count) * bpc;
        if (bytes > total - written) bytes = total - written;
        while (bytes > 0) {
            const size_t n = size_t(std::min<uint64_t>(bytes, kReadBytes));
            std::string err;
            // A read that delivers less than asked stops the copy with an error (it must never
            // go round again without progress).
            if (!ReadVolume(s, pos, buffer.get(), n, &err))
                throw TScanError(Format(tr("Could not read $MFT at byte %lld of the volume: %s"),
                                        (long long)pos, err.c_str()));
            Put(dest, buffer.get(), n);
            written += n;
            bytes -= n;
            pos += int64_t(n);
            if (++reads % 100 == 0 && total) progress(percent(), written, total);
        }
        vcn += p.Count;
    }

    // The trailer. The drive letter byte is the scan's drive letter ("C" for images and
    // devices): the source's first character would be "/" for a path.
    Put(dest, "VOLDATA2", 8);
    Put(dest, &s.FVolData, sizeof s.FVolData);
    const char letter = char(s.FDriveLetter & 0xFF);
    Put(dest, &letter, 1);
    dest.flush();
    if (!dest) throw TScanError(tr("Could not write the MFT dump file (is the disk full?)"));
    progress(100, total, total);
}

void WriteMFTDumpFile(TNTFS_FILES& scan, const std::string& path) {
    // The dump goes to a temporary file beside the target and replaces it only when complete,
    // so a failed dump leaves an earlier file of that name as it was (a device or a pipe is
    // written in place).
    TOutputFile file;
    if (!file.Open(path))
        throw TScanError(Format(tr("Could not create the MFT dump file %s, Error: %s"),
                                path.c_str(), std::strerror(errno)));
    TDescriptorBuffer buffer(file.Fd(), kStreamBuffer);
    std::ostream out(&buffer);
    try {
        SaveFileToStream(scan, *scan.GetMFTRecord(), out, true);
    } catch (const TScanError& e) {
        if (buffer.Error() == 0) throw;
        throw TScanError(Format(tr("Could not write the MFT dump file %s, Error: %s"), path.c_str(),
                                std::strerror(buffer.Error())));
    }
    if (!file.Commit())
        throw TScanError(Format(tr("Could not write the MFT dump file %s, Error: %s"), path.c_str(),
                                std::strerror(errno)));
}

} // namespace qz

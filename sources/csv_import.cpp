#include "sources/csv_import.h"

#include "base/debuglog.h"
#include "base/filehandle.h"
#include "base/text.h"
#include "sources/csv_import_format.h"
#include "sources/csv_import_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <span>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <vector>

namespace qz {

namespace {

constexpr int64_t kProgressLines = 500;

bool TitleIs(std::string_view field, const char* title) {
    const size_t n = std::strlen(title);
    if (field.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = field[i];
        if (c >= 'a' && c <= 'z') c = char(c - 32);
        if (c != title[i]) return false;
    }
    return true;
}

// Folder paths (UTF-8, without trailing separator) and their records. Keys live in a pool of
// fixed chunks, so they never move while the table lives.
class TFolderTable {
public:
    struct Entry {
        PMFT_RECORD Rec = nullptr;
        bool Placeholder = false; // made for a path named only as a parent; no row of its own yet
    };
    Entry* Find(std::string_view key) {
        auto it = FMap.find(key);
        return it == FMap.end() ? nullptr : &it->second;
    }
    // Adds key unless present (the first record of a path stays the one found).
    Entry* Add(std::string_view key, PMFT_RECORD rec, bool placeholder) {
        auto [it, added] = FMap.try_emplace(Intern(key), Entry{rec, placeholder});
        return &it->second;
    }
    bool Empty() const { return FMap.empty(); }

private:
    std::string_view Intern(std::string_view key) {
        if (key.size() > FLeft) {
            const size_t size = std::max<size_t>(key.size(), size_t(1) << 20);
            FChunks.push_back(std::make_unique<char[]>(size));
            FCur = FChunks.back().get();
            FLeft = size;
        }
        if (!key.empty()) std::memcpy(FCur, key.data(), key.size());
        std::string_view v(FCur, key.size());
        FCur += key.size();
        FLeft -= key.size();
        return v;
    }
    std::unordered_map<std::string_view, Entry> FMap;
    std::vector<std::unique_ptr<char[]>> FChunks;
    char* FCur = nullptr;
    size_t FLeft = 0;
};

class TCsvImport {
public:
    TCsvImport(TNTFS_FILES& scan, char separator)
        : S(scan), A(scan.Arena()), FFieldSep(separator) {}

    // Returns true on success; false with failLine set.
    bool Run(int fd, uint64_t fileSize, size_t bufferSize, int64_t& failLine);

private:
    bool Header(std::span<const TCsvField> f);
    bool Row(std::span<const TCsvField> f);
    PMFT_RECORD NewRecord(std::string_view name, bool folder, PMFT_RECORD parent);
    PMFT_RECORD ParentFolder(std::string_view parentKey);
    bool ParentKeyOf(std::string_view key, std::string_view& parent) const;
    std::string_view FolderNameOf(std::string_view key) const;
    void Progress(uint64_t bytes);

    TNTFS_FILES& S;
    TRecordArena& A;
    const char FFieldSep;
    char FPathSep = '\\';
    bool FSlashPaths = false;
    uint64_t FFileSize = 1;
    // Header layout.
    size_t FColumns = 0;
    bool FCapacityLast = false; // the drive-capacity group ends the header
    size_t FCapacityAt = SIZE_MAX, FLastAccessAt = SIZE_MAX, FCreatedAt = SIZE_MAX;
    // State.
    uint64_t FNextRecNo = 5;
    int64_t FFileRows = 0, FFolderRows = 0;
    bool FFirstRow = true;
    TFolderTable FFolders;
    std::string FCacheKey;
    PMFT_RECORD FCacheRec = nullptr;
    bool FCacheValid = false;
    TLocalTimeCache FTime;
    std::u16string FName16;
    std::string FScratch;
    std::vector<std::string_view> FMissing;
};

bool TCsvImport::Run(int fd, uint64_t fileSize, size_t bufferSize, int64_t& failLine) {
    FFileSize = fileSize ? fileSize : 1;
    TCsvRowReader reader(fd, FFieldSep, bufferSize);
    bool header = true;
    int64_t nextProgress = kProgressLines;
    bool ok = true;
    failLine = 0;
    if (S.OnProgress) S.OnProgress(S.index, 0, 0, 0);
    for (;;) {
        if (S.Cancelled()) break;
        const auto st = reader.Next();
        if (st == TCsvRowReader::TStatus::End) {
            if (header) { // not even a header line
                ok = false;
                failLine = 1;
            }
            break;
        }
        if (st != TCsvRowReader::TStatus::Row) {
            ok = false;
            failLine = reader.Line();
            if (st == TCsvRowReader::TStatus::ReadError)
                DebugLog("CSV import read error: " + std::string(std::strerror(reader.Errno())));
            break;
        }
        const bool nul =
            std::memchr(reader.RowText().data(), 0, reader.RowText().size()) != nullptr;
        const bool good = !nul && (header ? Header(reader.Fields()) : Row(reader.Fields()));
        if (!good) {
            ok = false;
            failLine = reader.Line();
            break;
        }
        header = false;
        if (reader.Line() >= nextProgress) {
            while (nextProgress <= reader.Line()) nextProgress += kProgressLines;
            Progress(reader.BytesRead());
        }
    }
    Progress(reader.BytesRead());
    if (FFolders.Empty()) {
        // No folder at all: a lone root keeps the scan usable, and the import has failed.
        PMFT_RECORD root = A.NewRecord();
        root->RecNo = FNextRecNo++;
        root->FileRecFlags = 3;
        root->Folder = A.NewFolder();
        S.SetRecordName(*root, u" ", A);
        S.AddToFileList(root);
        S.AddToDirList(root);
        if (ok) failLine = 0;
        // A cancel before the first folder row is no failure: the scan shows what was read.
        return ok && S.Cancelled();
    }
    return ok;
}

void TCsvImport::Progress(uint64_t bytes) {
    if (!S.OnProgress) return;
    uint64_t pct = bytes >= FFileSize ? 100 : bytes * 100 / FFileSize;
    S.OnProgress(S.index, int(pct), FFileRows, FFolderRows);
}

bool TCsvImport::Header(std::span<const TCsvField> f) {
    // A header is never a data row: a quoted first field means the header is missing.
    if (f.size() < kCsvBaseTitles.size() || f[0].Quoted) return false;
    FColumns = f.size();
    for (size_t i = kCsvBaseTitles.size(); i < f.size(); ++i) {
        if (TitleIs(f[i].Raw, kTitleDriveCapacity) && FCapacityAt == SIZE_MAX) FCapacityAt = i;
        if (TitleIs(f[i].Raw, kTitleLastAccess) && FLastAccessAt == SIZE_MAX) FLastAccessAt = i;
        if (TitleIs(f[i].Raw, kTitleCreated) && FCreatedAt == SIZE_MAX) FCreatedAt = i;
    }
    FCapacityLast = FCapacityAt != SIZE_MAX && FCapacityAt + 4 == FColumns;
    return true;
}

bool TCsvImport::ParentKeyOf(std::string_view key, std::string_view& parent) const {
    if (FSlashPaths) {
        const size_t k = key.rfind('/');
        if (k == std::string_view::npos || key == "/") return false;
        parent = k == 0 ? key.substr(0, 1) : key.substr(0, k);
        return true;
    }
    // A bare server root (\\server) has no parent.
    if (key.size() >= 2 && key[0] == '\\' && key[1] == '\\' &&
        key.find('\\', 2) == std::string_view::npos)
        return false;
    const size_t k = key.rfind('\\');
    if (k == std::string_view::npos || k == 0) return false;
    parent = key.substr(0, k);
    return true;
}

std::string_view TCsvImport::FolderNameOf(std::string_view key) const {
    if (FSlashPaths) {
        const size_t k = key.rfind('/');
        std::string_view name = k == std::string_view::npos ? key : key.substr(k + 1);
        return name.empty() ? key : name;
    }
    const size_t k = key.find_last_of("\\:");
    std::string_view name = k == std::string_view::npos ? key : key.substr(k + 1);
    // A drive ("C:") and a bare server root ("\\server") are named by their whole path.
    if (name.empty() || (key.size() == name.size() + 2 && key[0] == '\\' && key[1] == '\\'))
        return key;
    return name;
}

PMFT_RECORD TCsvImport::NewRecord(std::string_view name, bool folder, PMFT_RECORD parent) {
    PMFT_RECORD r = A.NewRecord();
    r->RecNo = FNextRecNo++;
    r->FileRecFlags = folder ? 3 : 1;
    r->ParentMFTRec = parent;
    r->ParentRec = parent ? parent->RecNo : 0;
    FName16.clear();
    Utf8ToUtf16(name, FName16);
    S.SetRecordName(*r, FName16, A);
    if (folder) r->Folder = A.NewFolder();
    return r;
}

// The folder record of a parent path, made with its missing ancestors (top-down, so parents
// get lower numbers) when the file has no row for it.
PMFT_RECORD TCsvImport::ParentFolder(std::string_view parentKey) {
    if (FCacheValid && parentKey == FCacheKey) return FCacheRec;
    PMFT_RECORD top = nullptr;
    FMissing.clear();
    std::string_view cur = parentKey;
    for (;;) {
        if (TFolderTable::Entry* e = FFolders.Find(cur)) {
            top = e->Rec;
            break;
        }
        FMissing.push_back(cur);
        std::string_view up;
        if (!ParentKeyOf(cur, up)) break;
        cur = up;
    }
    for (size_t i = FMissing.size(); i-- > 0;) {
        std::string_view key = FMissing[i];
        PMFT_RECORD r = NewRecord(FolderNameOf(key), true, top);
        S.AddToFileList(r);
        S.AddToDirList(r);
        FFolders.Add(key, r, true);
        top = r;
    }
    FCacheKey.assign(parentKey);
    FCacheRec = top;
    FCacheValid = true;
    return top;
}

bool TCsvImport::Row(std::span<const TCsvField> f) {
    // A blank line carries nothing.
    if (f.size() == 1 && !f[0].Quoted && f[0].Raw.empty()) return true;
    if (!f[0].Quoted) return false;
    if (f.size() != FColumns && !(FCapacityLast && f.size() + 4 == FColumns)) return false;
    std::string_view path = TCsvRowReader::Text(f[0], FScratch);
    if (path.empty()) return false;
    if (FFirstRow) {
        FSlashPaths = path[0] == '/';
        FPathSep = FSlashPaths ? '/' : '\\';
    }
    const bool folder = path.back() == FPathSep;

    // Numbers and dates first: a row that does not read adds nothing.
    uint64_t size = 0, alloc = 0, attrib = 0, files = 0, dirs = 0;
    std::string_view allocText = f[2].Raw;
    const bool doNotCount = allocText.size() > 1 && allocText[0] == '0';
    if (doNotCount) allocText.remove_prefix(1);
    TDateTime modified = 0, accessed = 0, created = 0;
    if (!ParseCsvUnsigned(f[1].Raw, UINT64_MAX, size) ||
        !ParseCsvUnsigned(allocText, UINT64_MAX, alloc) ||
        !ParseCsvDate(f[3].Raw, FTime, modified) ||
        !ParseCsvUnsigned(f[4].Raw, UINT32_MAX, attrib) ||
        !ParseCsvUnsigned(f[5].Raw, INT32_MAX, files) ||
        !ParseCsvUnsigned(f[6].Raw, INT32_MAX, dirs))
        return false;
    if (FLastAccessAt < f.size() && !ParseCsvDate(f[FLastAccessAt].Raw, FTime, accessed))
        return false;
    if (FCreatedAt < f.size() && !ParseCsvDate(f[FCreatedAt].Raw, FTime, created)) return false;
    uint64_t capacity[4] = {0, 0, 0, 0};
    const bool readCapacity = FFirstRow && FCapacityAt != SIZE_MAX && FCapacityAt + 4 <= f.size();
    if (readCapacity)
        for (size_t i = 0; i < 4; ++i)
            if (!ParseCsvUnsigned(f[FCapacityAt + i].Raw, UINT64_MAX, capacity[i])) return false;

    // Key (folder path without its trailing separator), parent and name.
    std::string_view key = path;
    if (folder && !(FSlashPaths && path == "/")) key.remove_suffix(1);
    if (key.empty()) return false;
    std::string_view parentKey, name = key;
    bool hasParent = false;
    if (!(folder && FFirstRow)) { // the first folder row is the source root, named by its path
        hasParent = ParentKeyOf(key, parentKey);
        if (hasParent) name = key.substr(key.rfind(FPathSep) + 1);
    }
    if (!folder) name = name.substr(0, CsvFileNameWithoutDot(name));
    if (name.empty()) return false;

    PMFT_RECORD r = nullptr;
    if (folder) {
        // A folder first named as a parent gets its data when its own row follows.
        TFolderTable::Entry* e = FFolders.Find(key);
        if (e && e->Placeholder) {
            e->Placeholder = false;
            r = e->Rec;
        }
    }
    if (!r) {
        PMFT_RECORD parent = hasParent ? ParentFolder(parentKey) : nullptr;
        r = NewRecord(name, folder, parent);
        S.AddToFileList(r);
        if (folder) {
            FFolders.Add(key, r, false);
            S.AddToDirList(r);
        }
    }
    r->FileSize = size;
    r->AllocSize = alloc;
    r->DoNotCountFlag = doNotCount;
    r->ModifiedDate = modified;
    r->LastAccessDate = accessed;
    r->CreatedDate = created;
    r->DOSAttrib = uint32_t(attrib);
    if (folder) {
        r->Folder->SubFoldersNumFiles = int32_t(files);
        r->Folder->SubFoldersNumDirs = int32_t(dirs);
        ++FFolderRows;
    } else {
        S.CSVHasFilesFlag = true;
        ++FFileRows;
    }
    if (readCapacity) {
        TDiskSizeInfo& d = S.CSVDinfo;
        d.totalspace = capacity[0];
        d.freespace = capacity[1];
        d.usedspace = capacity[2];
        d.reservedspace = capacity[3];
        d.hastotalandfreespace = true;
    }
    FFirstRow = false;
    return true;
}

} // namespace

bool LoadCSVFile(TNTFS_FILES& scan, const std::u16string& path, int64_t& failLine,
                 size_t bufferSize) {
    const std::string p = Utf16ToUtf8(path);
    DebugLog("LoadCSVFile " + p);
    TFileHandle fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) throw std::runtime_error("Cannot open " + p + ": " + std::strerror(errno));
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode))
        throw std::runtime_error("Cannot open " + p + ": " + std::strerror(EISDIR));
    scan.CSVHasFilesFlag = false;
    scan.CSVDinfo = TDiskSizeInfo{};
    const uint64_t size = S_ISREG(st.st_mode) && st.st_size > 0 ? uint64_t(st.st_size) : 1;
    TCsvImport import(scan, CsvSeparatorFor(path));
    return import.Run(fd.get(), size, bufferSize < 16 ? 16 : bufferSize, failLine);
}

bool ImportCSVSource(TNTFS_FILES& scan, int64_t& failLine) {
    return LoadCSVFile(scan, scan.FSource, failLine);
}

} // namespace qz

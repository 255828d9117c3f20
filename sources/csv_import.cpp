#include "sources/csv_import.h"

#include "base/debuglog.h"
#include "base/filehandle.h"
#include "base/text.h"
#include "sources/csv_import_format.h"
#include "sources/csv_import_reader.h"
#include "sources/csv_import_tables.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <span>
#include <stdexcept>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace qz {

namespace {

using csvimport::TFileTable;
using csvimport::TFolderTable;

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

// Control characters other than tab and line ends do not occur in a line of text.
bool LooksBinary(std::string_view text) {
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\t' && c != '\r' && c != '\n') return true;
    }
    return false;
}

class TCsvImport {
public:
    TCsvImport(TNTFS_FILES& scan, char separator)
        : S(scan), A(scan.Arena()), FFieldSep(separator), FFiles(scan.FFileList) {}

    // Returns true on success; false with failLine set.
    bool Run(int fd, uint64_t fileSize, size_t bufferSize, int64_t& failLine);

private:
    enum class TRow {
        Stored,  // read into a record (new or merged)
        Blank,   // an empty line
        NotData, // not a data row (no quoted path): passed over
        Outside, // a path outside the tree of the first rows: passed over
        Failed,  // the import stops here
    };
    bool Header(std::span<const TCsvField> f);
    TRow Row(std::span<const TCsvField> f, bool hasLineEnd);
    PMFT_RECORD NewRecord(bool folder, PMFT_RECORD parent);
    void SetName16(std::string_view name, bool decode);
    PMFT_RECORD ParentFolder(std::string_view parentKey);
    bool ParentKeyOf(std::string_view key, std::string_view& parent) const;
    std::string_view FolderNameOf(std::string_view key) const;
    bool InsideRoot(std::string_view key) const;
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
    bool FFirstRow = true; // no row stored yet
    std::string FRootKey;  // the key of the root folder, once the first row has set it
    bool FRootKnown = false;
    TFolderTable FFolders;
    TFileTable FFiles;
    std::string FCacheKey;
    PMFT_RECORD FCacheRec = nullptr;
    bool FCacheValid = false;
    TLocalTimeCache FTime;
    std::u16string FName16;
    std::string FNameScratch;
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
    TScanWarnings& warn = S.Warnings;
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
        bool good = st == TCsvRowReader::TStatus::Row || st == TCsvRowReader::TStatus::Malformed;
        if (st == TCsvRowReader::TStatus::ReadError)
            DebugLog("CSV import read error: " + std::string(std::strerror(reader.Errno())));
        // A NUL byte or other control characters outside a quoted path: not a text file.
        if (good)
            good = std::memchr(reader.RowText().data(), 0, reader.RowText().size()) == nullptr;
        if (good && header) {
            good = st == TCsvRowReader::TStatus::Row && Header(reader.Fields());
            header = false;
        } else if (good && st == TCsvRowReader::TStatus::Malformed) {
            good = !LooksBinary(reader.RowText());
            ++warn.SkippedLines;
        } else if (good) {
            switch (Row(reader.Fields(), reader.RowHasLineEnd())) {
            case TRow::Stored:
            case TRow::Blank:
                break;
            case TRow::NotData:
                good = !LooksBinary(reader.RowText());
                ++warn.SkippedLines;
                break;
            case TRow::Outside:
                ++warn.SkippedLines;
                break;
            case TRow::Failed:
                good = false;
                break;
            }
        }
        if (!good) {
            ok = false;
            failLine = reader.Line();
            break;
        }
        if (reader.Line() >= nextProgress) {
            while (nextProgress <= reader.Line()) nextProgress += kProgressLines;
            Progress(reader.BytesRead());
        }
    }
    Progress(reader.BytesRead());
    if (warn.SkippedLines || warn.RowsWithBadNumbers || warn.MergedRows)
        DebugLog("LoadCSVFile: " + std::to_string(warn.SkippedLines) + " lines skipped, " +
                 std::to_string(warn.RowsWithBadNumbers) + " rows with numbers read as 0, " +
                 std::to_string(warn.MergedRows) + " rows merged");
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
    const size_t k = key.rfind(FPathSep);
    std::string_view name = k == std::string_view::npos ? key : key.substr(k + 1);
    // A drive ("C:"), the file-system root ("/") and a bare server root ("\\server") are named
    // by their whole path.
    if (name.empty() || (key.size() == name.size() + 2 && key[0] == '\\' && key[1] == '\\'))
        return key;
    return name;
}

bool TCsvImport::InsideRoot(std::string_view key) const {
    if (key == FRootKey) return true;
    return key.size() > FRootKey.size() && key.starts_with(FRootKey) &&
           (FRootKey.back() == FPathSep || key[FRootKey.size()] == FPathSep);
}

void TCsvImport::SetName16(std::string_view name, bool decode) {
    FName16.clear();
    if (decode && name.find('/') != std::string_view::npos) {
        // In a "\" file a "/" inside a name stands for a "\" of the name (see
        // csv_import_format.h).
        FNameScratch.assign(name);
        for (char& c : FNameScratch)
            if (c == '/') c = '\\';
        Utf8ToUtf16(FNameScratch, FName16);
        return;
    }
    Utf8ToUtf16(name, FName16);
}

// A record named FName16.
PMFT_RECORD TCsvImport::NewRecord(bool folder, PMFT_RECORD parent) {
    PMFT_RECORD r = A.NewRecord();
    r->RecNo = FNextRecNo++;
    r->FileRecFlags = folder ? 3 : 1;
    r->ParentMFTRec = parent;
    r->ParentRec = parent ? parent->RecNo : 0;
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
        SetName16(FolderNameOf(key), !FSlashPaths && top);
        PMFT_RECORD r = NewRecord(true, top);
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

TCsvImport::TRow TCsvImport::Row(std::span<const TCsvField> f, bool hasLineEnd) {
    if (f.size() == 1 && !f[0].Quoted && f[0].Raw.empty()) return TRow::Blank;
    // A data row starts with a quoted path; anything else (a note, a total line) is passed over.
    if (!f[0].Quoted || f[0].Raw.empty()) return TRow::NotData;
    // The last line of a file cut short: fewer fields than a row has, and no line end.
    const size_t rowFields = FCapacityLast ? FColumns - 4 : FColumns;
    if (!hasLineEnd && f.size() < rowFields) return TRow::Failed;
    std::string_view path = TCsvRowReader::Text(f[0], FScratch);
    if (!FRootKnown) {
        // The rows that set the root also set the file's path separator.
        FSlashPaths = path[0] == '/';
        FPathSep = FSlashPaths ? '/' : '\\';
    }
    const bool folder = path.back() == FPathSep;

    // Numbers that do not read (empty, not a number, out of range, missing) read as 0 and are
    // counted; an empty date is an unknown one; a date that is present but does not read stops
    // the import.
    bool badNumber = false;
    auto number = [&](size_t i, uint64_t max) -> uint64_t {
        uint64_t v = 0;
        if (i < f.size() && ParseCsvUnsigned(f[i].Raw, max, v)) return v;
        badNumber = true;
        return 0;
    };
    bool badDate = false;
    auto date = [&](size_t i, bool required) -> TDateTime {
        TDateTime t = 0;
        if (i >= f.size()) {
            badNumber |= required;
            return 0;
        }
        if (!ParseCsvDate(f[i].Raw, FTime, t)) badDate = true;
        return t;
    };
    const uint64_t size = number(1, UINT64_MAX);
    std::string_view allocText = f.size() > 2 ? f[2].Raw : std::string_view();
    const bool doNotCount = allocText.size() > 1 && allocText[0] == '0';
    uint64_t alloc = 0;
    if (doNotCount) allocText.remove_prefix(1);
    if (!ParseCsvUnsigned(allocText, UINT64_MAX, alloc)) badNumber = true;
    const TDateTime modified = date(3, true);
    const uint64_t attrib = number(4, UINT32_MAX);
    const uint64_t files = folder ? number(5, INT32_MAX) : 0;
    const uint64_t dirs = folder ? number(6, INT32_MAX) : 0;
    const TDateTime accessed = FLastAccessAt != SIZE_MAX ? date(FLastAccessAt, false) : 0;
    const TDateTime created = FCreatedAt != SIZE_MAX ? date(FCreatedAt, false) : 0;
    if (badDate) return TRow::Failed;
    uint64_t capacity[4] = {0, 0, 0, 0};
    const bool readCapacity = FFirstRow && FCapacityAt != SIZE_MAX && FCapacityAt + 4 <= f.size();
    if (readCapacity)
        for (size_t i = 0; i < 4; ++i) capacity[i] = number(FCapacityAt + i, UINT64_MAX);

    // Key (folder path without its trailing separator), parent and name.
    std::string_view key = path;
    if (folder && !(FSlashPaths && path == "/")) key.remove_suffix(1);
    if (key.empty()) return TRow::NotData;
    std::string_view parentKey;
    if (!FRootKnown) {
        // The first row sets the root: a folder row is the source root, named by its path; a
        // file row's root is the top of its folder chain.
        if (folder) {
            FRootKey.assign(key);
        } else {
            if (!ParentKeyOf(key, parentKey)) return TRow::Outside;
            std::string_view top = parentKey, up;
            while (ParentKeyOf(top, up)) top = up;
            FRootKey.assign(top);
        }
        FRootKnown = true;
    }
    if (!InsideRoot(key)) return TRow::Outside;
    const bool isRoot = key == FRootKey;
    if (isRoot && !folder) return TRow::Outside; // a file named like the root folder
    if (!isRoot && !ParentKeyOf(key, parentKey)) return TRow::Outside;

    PMFT_RECORD r = nullptr;
    bool merged = false;
    if (folder) {
        // A folder first named as a parent gets its data when its own row follows; a folder
        // listed twice keeps its record and takes the data of the later row.
        if (TFolderTable::Entry* e = FFolders.Find(key)) {
            r = e->Rec;
            merged = !e->Placeholder;
            e->Placeholder = false;
        } else {
            PMFT_RECORD parent = isRoot ? nullptr : ParentFolder(parentKey);
            SetName16(isRoot ? key : key.substr(key.rfind(FPathSep) + 1), !FSlashPaths && !isRoot);
            r = NewRecord(true, parent);
            S.AddToFileList(r);
            S.AddToDirList(r);
            FFolders.Add(key, r, false);
        }
    } else {
        std::string_view name = key.substr(key.rfind(FPathSep) + 1);
        name = name.substr(0, CsvFileNameWithoutDot(name));
        if (name.empty()) return TRow::NotData;
        PMFT_RECORD parent = ParentFolder(parentKey);
        SetName16(name, !FSlashPaths);
        r = FFiles.Find(parent, FName16);
        merged = r != nullptr;
        if (!r) {
            r = NewRecord(false, parent);
            FFiles.Add(S.FFileList.size());
            S.AddToFileList(r);
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
    } else {
        S.CSVHasFilesFlag = true;
    }
    if (merged)
        ++S.Warnings.MergedRows;
    else
        ++(folder ? FFolderRows : FFileRows);
    if (badNumber) ++S.Warnings.RowsWithBadNumbers;
    if (readCapacity) {
        TDiskSizeInfo& d = S.CSVDinfo;
        d.totalspace = capacity[0];
        d.freespace = capacity[1];
        d.usedspace = capacity[2];
        d.reservedspace = capacity[3];
        d.hastotalandfreespace = true;
    }
    FFirstRow = false;
    return TRow::Stored;
}

} // namespace

bool LoadCSVFile(TNTFS_FILES& scan, const std::u16string& path, int64_t& failLine,
                 size_t bufferSize) {
    const std::string p = Utf16ToUtf8(path);
    DebugLog("LoadCSVFile " + p);
    TFileHandle fd(::open(p.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd)
        throw std::runtime_error(Format(tr("Cannot open %s: %s"), p.c_str(), std::strerror(errno)));
    struct stat st {};
    if (::fstat(fd.get(), &st) == 0 && S_ISDIR(st.st_mode))
        throw std::runtime_error(
            Format(tr("Cannot open %s: %s"), p.c_str(), std::strerror(EISDIR)));
    scan.CSVHasFilesFlag = false;
    scan.CSVDinfo = TDiskSizeInfo{};
    scan.Warnings = TScanWarnings{};
    const uint64_t size = S_ISREG(st.st_mode) && st.st_size > 0 ? uint64_t(st.st_size) : 1;
    TCsvImport import(scan, CsvSeparatorFor(path));
    return import.Run(fd.get(), size, bufferSize < 16 ? 16 : bufferSize, failLine);
}

bool ImportCSVSource(TNTFS_FILES& scan, int64_t& failLine) {
    return LoadCSVFile(scan, scan.FSource, failLine);
}

} // namespace qz

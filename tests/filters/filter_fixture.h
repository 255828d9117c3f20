// Small scans built record by record for the filter tests: a root, folders and files with
// sizes and dates, linked as a scan source links them.
#pragma once

#include "engine/scan.h"
#include "engine/tree.h"
#include "filters/filters.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace qz::test {

class FilterScan {
public:
    static constexpr TDateTime kDate = 45000.5; // 2023-03-15 12:00 UTC

    // "C:" gives "\" paths, a name starting with "/" gives Linux paths.
    explicit FilterScan(std::u16string_view rootName = u"C:")
        : scan(TNTFS_FILES::CreateSlow(u"filters")) {
        root = Add(5, nullptr, rootName, true);
        scan->MFTRoot = root;
    }

    PMFT_RECORD Folder(PMFT_RECORD parent, std::u16string_view name) {
        return Add(next++, parent, name, true);
    }
    PMFT_RECORD File(PMFT_RECORD parent, std::u16string_view name, uint64_t size = 100,
                     TDateTime modified = kDate) {
        PMFT_RECORD r = Add(next++, parent, name, false);
        r->FileSize = size;
        r->AllocSize = (size + 4095) / 4096 * 4096;
        r->SubFoldersTotSize = size;
        r->SubFoldersTotSizeAlloc = r->AllocSize;
        r->ModifiedDate = modified;
        return r;
    }
    // Totals of every folder, all records counted.
    void Totals() { scan->CalculateDirSizes({.IgnoreFilter = true}); }

    // Paths of the records that pass filter text (parsed with the starting flag fullPath).
    std::vector<std::string> Matching(std::u16string_view text, bool fullPath = false,
                                      bool applySizeTerms = true) const {
        TFilters_AND f;
        ParseFilters(text, f, fullPath);
        std::vector<std::string> out;
        for (PMFT_RECORD r : scan->FFileList)
            if (MatchFilters(r, f, fullPath, applySizeTerms)) out.push_back(Path(r));
        std::sort(out.begin(), out.end());
        return out;
    }
    // Paths of the records left visible by the last FilterResults.
    std::vector<std::string> Visible() const {
        std::vector<std::string> out;
        for (PMFT_RECORD r : scan->FFileList)
            if (!r->Filtered) out.push_back(Path(r));
        std::sort(out.begin(), out.end());
        return out;
    }
    static std::string Path(PMFT_RECORD r) {
        std::u16string p = GetRecordPath(r);
        return std::string(p.begin(), p.end()); // test names are ASCII
    }

    std::unique_ptr<TNTFS_FILES> scan;
    PMFT_RECORD root = nullptr;
    uint64_t next = 24;

private:
    PMFT_RECORD Add(uint64_t recno, PMFT_RECORD parent, std::u16string_view name, bool folder) {
        PMFT_RECORD r = scan->Arena().NewRecord();
        r->RecNo = recno;
        r->FileRecFlags = folder ? 3 : 1;
        r->ParentRec = parent ? parent->RecNo : 0;
        r->ParentMFTRec = parent;
        r->ModifiedDate = kDate;
        scan->SetRecordName(*r, name);
        if (folder) {
            r->Folder = scan->Arena().NewFolder();
            scan->AddToDirList(r);
        }
        scan->AddToFileList(r);
        return r;
    }
};

} // namespace qz::test

// Builds scans record by record, as a scan source would store them, for the views' tests and
// benchmarks: a root (record 5), folders and files with sizes, dates and attributes, then the
// engine's own totals and name numbering.
#pragma once

#include "base/datetime.h"
#include "engine/scan.h"
#include "engine/tree.h"

#include <memory>
#include <string>

namespace qz::test {

class ScanBuilder {
public:
    // rootName "C:" gives "\" paths, a name starting with "/" gives Linux paths.
    explicit ScanBuilder(std::u16string_view rootName = u"C:")
        : scan(TNTFS_FILES::CreateSlow(u"builder")) {
        root = Add(5, nullptr, rootName, true);
        scan->MFTRoot = root;
    }

    PMFT_RECORD Folder(PMFT_RECORD parent, std::u16string_view name,
                       TDateTime modified = kDefaultDate, uint32_t attrib = 0x10) {
        PMFT_RECORD r = Add(next++, parent, name, true);
        r->ModifiedDate = modified;
        r->DOSAttrib = attrib;
        return r;
    }

    PMFT_RECORD File(PMFT_RECORD parent, std::u16string_view name, uint64_t size,
                     uint64_t alloc = UINT64_MAX, TDateTime modified = kDefaultDate,
                     uint32_t attrib = 0x20) {
        PMFT_RECORD r = Add(next++, parent, name, false);
        r->FileSize = size;
        r->AllocSize = alloc == UINT64_MAX ? (size + 4095) / 4096 * 4096 : alloc;
        r->ModifiedDate = modified;
        r->DOSAttrib = attrib;
        return r;
    }

    // Totals and children lists (CalculateDirSizes), then names numbered from index.
    TNTFS_FILES& Finish(int32_t& index) {
        scan->CalculateDirSizes();
        SetNameSortIndex(root, index);
        return *scan;
    }
    TNTFS_FILES& Finish() {
        int32_t index = 1;
        return Finish(index);
    }

    static constexpr TDateTime kDefaultDate = 45000.5; // 2023-03-15 12:00 UTC

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
        r->ModifiedDate = kDefaultDate;
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

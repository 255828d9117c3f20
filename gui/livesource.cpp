#include "gui/livesource.h"

#include "gui/qtext.h"

namespace qz {

bool IsLiveSource(const TScanSource& source, const TNTFS_FILES* scan, QString* why) {
    auto no = [&](const char* reason) {
        if (why) *why = Tr(reason);
        return false;
    };
    switch (source.Method) {
    case TScanMethod::CSVImport:
        return no("a CSV/TSV import lists files of another time or place: file operations are "
                  "not available for it");
    case TScanMethod::MFTDump:
        return no("an MFT dump holds no files of this system: file operations are not "
                  "available for it");
    case TScanMethod::MFTVolume:
        if (source.RootName.empty() && source.SubtreeRootName.empty())
            return no("the NTFS volume was read raw and is not mounted: file operations are not "
                      "available for it");
        break;
    case TScanMethod::Device:
        return no("items of a portable device are not files of this system: file "
                  "operations are not available for them");
    case TScanMethod::Enumerate:
        if (source.Kind == DT_DEVICE)
            return no("items of a portable device are not files of this system: file "
                      "operations are not available for them");
        break;
    }
    // The root must name an absolute folder of this system.
    const PMFT_RECORD root = scan ? scan->MFTRoot : nullptr;
    if (!root || !root->Filename || root->Filename[0] != u'/')
        return no("the scan's paths are not paths of this system: file operations are not "
                  "available for it");
    return true;
}

} // namespace qz

#include "sources/sources.h"

#include "engine/scan.h"
#include "sources/csv_import.h"
#include "sources/devicescan.h"
#include "sources/dirscan.h"

namespace qz {

void RegisterSources() {
    TSourcePasses& passes = SourcePasses();
    passes.ImportCSV = ImportCSVSource;
    passes.SlowScan = [](TNTFS_FILES& scan, const std::u16string& filterInclude,
                         const std::u16string& filterExclude, bool filterFullPath,
                         bool foldersOnly) {
        DoSlowMode(scan, filterInclude, filterExclude, filterFullPath, foldersOnly);
    };
    passes.DeviceScan = DoDeviceScan;
}

} // namespace qz

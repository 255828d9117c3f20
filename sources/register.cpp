#include "sources/sources.h"

#include "sources/csv_import.h"
#include "sources/devicescan.h"
#include "sources/dirscan.h"

namespace qz {

TSourcePasses ScanSourcePasses() {
    return {
        .ImportCSV = ImportCSVSource,
        .SlowScan = [](TNTFS_FILES& scan,
                       const TScanFilterTexts& filters) { DoSlowMode(scan, filters); },
        .DeviceScan =
            [](TNTFS_FILES& scan, const TScanFilterTexts& filters) {
                DoDeviceScan(scan, filters.Include, filters.Exclude, filters.FullPath);
            },
    };
}

} // namespace qz

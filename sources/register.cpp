#include "sources/sources.h"

#include "sources/csv_import.h"
#include "sources/dirscan.h"

namespace qz {

TSourcePasses ScanSourcePasses() {
    return {
        .ImportCSV = ImportCSVSource,
        .SlowScan = [](TNTFS_FILES& scan,
                       const TScanFilterTexts& filters) { DoSlowMode(scan, filters); },
    };
}

} // namespace qz

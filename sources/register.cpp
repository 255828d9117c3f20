#include "sources/sources.h"

#include "engine/scan.h"
#include "sources/csv_import.h"
#include "sources/dirscan.h"

namespace qz {

void RegisterSources() {
    TSourcePasses& passes = SourcePasses();
    passes.ImportCSV = ImportCSVSource;
    passes.SlowScan = [](TNTFS_FILES& scan, const TScanFilterTexts& filters) {
        DoSlowMode(scan, filters);
    };
}

} // namespace qz

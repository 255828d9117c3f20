// The warnings of a finished scan: what it could not read (folders, entries, device objects),
// what a CSV/TSV import passed over or merged, and how a device was reached. Headless runs print
// them; the window shows them.
#pragma once

#include "engine/scan.h"

#include <string>
#include <vector>

namespace qz {

// One sentence per kind of problem met, in English passed through tr(); none when the scan
// met none.
std::vector<std::string> ScanWarningTexts(const TScanWarnings& warnings);

} // namespace qz

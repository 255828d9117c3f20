// Registration of the scan sources implemented in this library with the engine.
#pragma once

namespace qz {

// Sets this library's entries of SourcePasses(): the folder walk, the CSV/TSV import and
// the device walk.
// Call once at start-up, before the first scan.
void RegisterSources();

} // namespace qz

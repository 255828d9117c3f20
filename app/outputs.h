// The outputs of a headless run, each handed to the subsystem that writes it: the CSV/TSV
// export, the file-types export, the treemap image and the MFT dump.
#pragma once

#include "app/options.h"
#include "app/outputfiles.h"
#include "app/progressline.h"
#include "app/settings.h"
#include "export/export_options.h"
#include "views/scancontrol.h"

#include <atomic>
#include <string>

namespace qz {

struct TOutputContext {
    const TCommandLine& CommandLine;
    TScanSession& Session;
    TDisplayTree& Tree;
    const TStartupOptions& Options;
    const TMainSettings& Settings;
    double StartTime = 0; // local date-time of the start
};

// The export options of the command line (each key that is given is marked as given), with
// the command-line filters for the rows.
TExportOptions ExportOptionsFromCommandLine(const TCommandLine& cl, const TStartupOptions& opt);

// Each writes one output; false with error (naming the file) when it failed. Nothing
// half-written is left under the name.
bool WriteCsvExport(TOutputContext& ctx, const std::string& file, std::string& error);
bool WriteFileTypesExport(TOutputContext& ctx, const std::string& file, std::string& error);
bool WriteTreemapImage(TOutputContext& ctx, const std::string& file, std::string& error);
// The MFT dump of the NTFS volume (image or device) src. interrupt (may be nil), once set,
// stops the copy and removes the file.
bool WriteMFTDump(const TScanSource& src, const std::string& file, TProgressLine& progress,
                  std::string& error, const std::atomic<bool>* interrupt = nullptr);

} // namespace qz

// The option values read once at start-up, with their defaults and lenient parsing.
#pragma once

#include "app/cmdline.h"

#include <string>

namespace qz {

struct TStartupOptions {
    bool Debug = false;       // "debug" equals "1"
    std::string ConfigFolder; // "configfolder"
    bool Admin = false;       // "admin" equals "1"
    bool RunningAs = false;   // "runningas" equals "1"

    std::string ExportFile;          // "export"
    std::string ExportFileTypesFile; // "exportfiletypes"
    std::string DumpMFTFile;         // "dumpmftfile"
    std::string TreemapImageFile;    // "treemapimagefile"

    std::string FilterInclude; // "filter", after the quote conversion
    std::string FilterExclude; // "filterexclude", after the quote conversion
    bool FilterGiven = false;  // "filter" or "filterexclude" given
    std::string FilterFullPathText;
    bool FilterFullPath = true; // text is not exactly "0"
    bool FilterFullPathGiven = false;

    bool ExportFolders = true; // false only for "0"
    bool ExportFiles = true;   // false only for "0"
    int ExportMFTRecNo = 0;
    int ExportAllDates = 0;
    int ExportAllSizes = 0;
    int ExportSplitFilename = 0;
    int ExportDriveCapacity = 1;
    bool ExportPercentOfParent = false; // anything but "0"
    int ExportMaxDepth = 0;             // 0: no limit
    int ExportLimit = 0;                // 0: no limit

    std::string SortByText; // empty when not given
    int SortBy = 0;         // 0 name, 1 size, 2 allocated, 3 modified
    std::string SortByFileTypesText;
    int SortByFileTypes = 1; // 0 type, 1 size, 2 allocated

    int TreemapImageWidth = 1920;
    int TreemapImageHeight = 1080;
    bool TreemapImageGray = false;          // "1" only
    bool TreemapImageFreeSpace = false;     // "1" only
    bool TreemapImageShowAllocated = false; // "1" only

    // Any of the four outputs requested.
    bool Headless() const {
        return !ExportFile.empty() || !ExportFileTypesFile.empty() || !DumpMFTFile.empty() ||
               !TreemapImageFile.empty();
    }
};

TStartupOptions ReadStartupOptions(const TCommandLine& cl);

} // namespace qz

#include "app/options.h"

namespace qz {

TStartupOptions ReadStartupOptions(const TCommandLine& cl) {
    TStartupOptions o;
    auto opt = [&](const char* key, const char* def = "") {
        return cl.GetCommandLineOption(key, def);
    };
    auto num = [&](const char* key, int def) { return ParseIntDef(opt(key), def); };
    o.Debug = opt("debug") == "1";
    o.ConfigFolder = opt("configfolder");
    o.Admin = opt("admin") == "1";
    o.RunningAs = opt("runningas") == "1";

    o.ExportFile = opt("export");
    o.ExportFileTypesFile = opt("exportfiletypes");
    o.DumpMFTFile = opt("dumpmftfile");
    o.TreemapImageFile = opt("treemapimagefile");

    o.FilterInclude = ConvertFilterQuotes(opt("filter"));
    o.FilterExclude = ConvertFilterQuotes(opt("filterexclude"));
    o.FilterGiven = cl.HasOption("filter") || cl.HasOption("filterexclude");
    o.FilterFullPathText = opt("filterfullpath");
    o.FilterFullPathGiven = cl.HasOption("filterfullpath");
    o.FilterFullPath = o.FilterFullPathText != "0";

    o.ExportFolders = opt("exportfolders") != "0";
    o.ExportFiles = opt("exportfiles") != "0";
    o.ExportMFTRecNo = num("exportmftrecno", 0);
    o.ExportAllDates = num("exportalldates", 0);
    o.ExportAllSizes = num("exportallsizes", 0);
    o.ExportSplitFilename = num("exportsplitfilename", 0);
    // On unless given: a value that is not a number reads 0, as for the other switches.
    o.ExportDriveCapacity = cl.HasOption("exportdrivecapacity") ? num("exportdrivecapacity", 0) : 1;
    o.ExportPercentOfParent = opt("exportpercentofparent", "0") != "0";
    o.ExportMaxDepth = num("exportmaxdepth", 0);
    o.ExportLimit = num("exportlimit", 0);

    o.SortByText = opt("sortby");
    o.SortBy = ParseIntDef(o.SortByText, 0);
    o.SortByFileTypesText = opt("sortbyfiletypes");
    o.SortByFileTypes = ParseIntDef(o.SortByFileTypesText, 1);

    o.TreemapImageWidth = num("treemapimagewidth", 1920);
    o.TreemapImageHeight = num("treemapimageheight", 1080);
    o.TreemapImageGray = opt("treemapimagegray") == "1";
    o.TreemapImageFreeSpace = opt("treemapimagefreespace") == "1";
    o.TreemapImageShowAllocated = opt("treemapimageshowallocated") == "1";
    return o;
}

} // namespace qz

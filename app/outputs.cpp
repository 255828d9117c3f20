#include "app/outputs.h"

#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "engine/mft_volume.h"
#include "export/export_headless.h"
#include "export/export_options.h"
#include "treemap/imageexport.h"
#include "treemap/qtcanvas.h"
#include "views/filetypes.h"
#include "views/summary.h"

namespace qz {

namespace {

// The scans and their space figures, slot for slot (failed slots left out).
struct TScanSet {
    std::vector<TNTFS_FILES*> Scans;
    std::vector<TDiskSizeInfo> Sizes;
};

TScanSet ScansOf(const TScanSession& session) {
    TScanSet set;
    for (size_t k = 0; k < session.ScanSlots.size(); ++k)
        if (session.ScanSlots[k]) {
            set.Scans.push_back(session.ScanSlots[k].get());
            set.Sizes.push_back(k < session.DiskSizes.size() ? session.DiskSizes[k]
                                                             : TDiskSizeInfo{});
        }
    return set;
}

void ApplyColours(const TMainSettings& s, TExtColors& colors) {
    colors.tm_palette = s.Palette;
    colors.tm_fileextensions = s.FileExtensions;
    colors.bColorBySize = s.ColorBySize;
    colors.BuildExtColorsFixed();
    colors.ResetColorCache();
}

} // namespace

TExportOptions ExportOptionsFromCommandLine(const TCommandLine& cl, const TStartupOptions& opt) {
    TExportOptions eo;
    auto set = [&](auto& value, const char* key, auto v) {
        if (cl.HasOption(key))
            value.SetFromCommandLine(v);
        else
            value.Value = v;
    };
    set(eo.ExportFiles, "exportfiles", opt.ExportFiles);
    set(eo.ExportFolders, "exportfolders", opt.ExportFolders);
    set(eo.ExportMFTNo, "exportmftrecno", opt.ExportMFTRecNo != 0);
    set(eo.ExportDates, "exportalldates", opt.ExportAllDates != 0);
    set(eo.ExportFolderSize, "exportallsizes", opt.ExportAllSizes != 0);
    set(eo.SplitFileNames, "exportsplitfilename", opt.ExportSplitFilename != 0);
    set(eo.ExportDriveSize, "exportdrivecapacity", opt.ExportDriveCapacity != 0);
    set(eo.PercentOfParent, "exportpercentofparent", opt.ExportPercentOfParent);
    set(eo.MaxDepth, "exportmaxdepth", opt.ExportMaxDepth < 0 ? 0 : opt.ExportMaxDepth);
    set(eo.Limit, "exportlimit", int64_t(opt.ExportLimit < 0 ? 0 : opt.ExportLimit));
    eo.FilterInclude = Utf8ToUtf16(opt.FilterInclude);
    eo.FilterExclude = Utf8ToUtf16(opt.FilterExclude);
    eo.FilterFullPath = opt.FilterFullPath;
    return eo;
}

bool WriteCsvExport(TOutputContext& ctx, const std::string& file, std::string& error) {
    DebugLog("Headless export " + file);
    const TExportOptions options = ExportOptionsFromCommandLine(ctx.CommandLine, ctx.Options);
    const TScanSet set = ScansOf(ctx.Session);
    TCsvExportJob job;
    job.FileName = Utf8ToUtf16(file);
    job.View = TExportView::Tree;
    job.Tree = &ctx.Tree;
    job.Scans = set.Scans;
    job.DiskSizes = set.Sizes;
    job.Decimals = ctx.Tree.Format.TreeDecimals();
    const TCsvExportResult r = HeadlessExportToCSV(job, options, ctx.StartTime);
    if (!r.Ok) error = r.Error;
    return r.Ok;
}

bool WriteFileTypesExport(TOutputContext& ctx, const std::string& file, std::string& error) {
    DebugLog("Headless file types export " + file);
    const TExportOptions options = ExportOptionsFromCommandLine(ctx.CommandLine, ctx.Options);
    const TScanSet set = ScansOf(ctx.Session);
    TExtColors colors;
    ApplyColours(ctx.Settings, colors);
    colors.BuildExtSizes(set.Scans, MakeExportRowFilter(options));
    uint64_t size = 0, alloc = 0;
    TFileTypesView::TreeTotals(ctx.Tree, size, alloc);
    TFileAssociationDetails cache;
    TFileTypesView view;
    view.Fill(colors, size, alloc, &cache);
    switch (ctx.Options.SortByFileTypes) {
    case 1:
        view.Sort(ecSize, TSortDirection::Descending, cache);
        break;
    case 2:
        view.Sort(ecAllocated, TSortDirection::Descending, cache);
        break;
    default:
        view.Sort(ecExtension, TSortDirection::Ascending, cache);
        break;
    }
    const TFileTypesExportResult r =
        HeadlessExportFileTypes(Utf8ToUtf16(file), ctx.StartTime, view, cache);
    if (!r.Ok) error = r.Error;
    return r.Ok;
}

bool WriteTreemapImage(TOutputContext& ctx, const std::string& file, std::string& error) {
    DebugLog("Headless treemap image " + file);
    TOffscreenGui gui; // fonts for the labels, without a display
    const TScanSet set = ScansOf(ctx.Session);
    TExtColors colors;
    ApplyColours(ctx.Settings, colors);
    TTreemap treemap(ctx.Tree, colors);
    treemap.Scans = set.Scans;
    treemap.DiskSizes = set.Sizes;
    treemap.Shading.GradientEnabled = ctx.Settings.GradientEnabled;
    treemap.Format = ctx.Tree.Format;
    const TStartupOptions& o = ctx.Options;
    const TDrawResult r = ExportTreemapImage(treemap, Utf8ToUtf16(file), o.TreemapImageWidth,
                                             o.TreemapImageHeight, o.TreemapImageGray,
                                             o.TreemapImageFreeSpace, o.TreemapImageShowAllocated);
    switch (r.Outcome) {
    case TDrawOutcome::Drawn:
        return true;
    case TDrawOutcome::Failed:
        error = r.Error;
        return false;
    case TDrawOutcome::Skipped:
    case TDrawOutcome::Cancelled: // nothing cancels a headless drawing
        error = tr("the treemap has nothing to draw");
        return false;
    }
    return false;
}

bool WriteMFTDump(const TScanSource& src, const std::string& file, TProgressLine& progress,
                  std::string& error, const std::atomic<bool>* interrupt) {
    DebugLog("Headless MFT dump " + file);
    try {
        TNTFS_FILES scan(src.Path);
        if (!IsVolumeSource(scan)) {
            error = Utf16ToUtf8(src.Path) + ": " + tr("not an NTFS volume");
            return false;
        }
        TDumpProgress throttle;
        throttle.Numbers = LocaleNumberFormat();
        scan.OnProgress = [&](int, int percent, int64_t written, int64_t total) {
            // The dump writer leaves no file behind when the copy ends with an error.
            if (interrupt && interrupt->load()) throw TScanError("interrupted");
            std::u16string text;
            if (throttle.Update(percent, written, total, NowUtc(), text))
                progress.Show(Utf16ToUtf8(text));
        };
        WriteMFTDumpFile(scan, file);
        return true;
    } catch (const std::exception& e) {
        error = e.what();
        return false;
    }
}

} // namespace qz

#include "app/headless.h"

#include "app/outputs.h"
#include "app/progressline.h"
#include "app/sourceresolve.h"
#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "filters/filters.h"
#include "sources/scan_warnings.h"
#include "sources/sources.h"
#include "views/format.h"

namespace qz {

int ProcessCommandLine(THeadlessRun& run) {
    const TStartupOptions& opt = *run.Options;
    const TMainSettings& settings = *run.Settings;
    auto fail = [&](int code, const std::string& message) {
        DebugLog("ProcessCommandLine failed: " + message);
        std::fprintf(run.Err, "quarzel: %s\n", message.c_str());
        return code;
    };
    auto warn = [&](const std::string& message) {
        std::fprintf(run.Err, "quarzel: %s %s\n", tr("warning:"), message.c_str());
    };
    DebugLog("ProcessCommandLine");

    const std::string path = run.CommandLine->GetPathArgument(1);
    if (path.empty())
        return fail(kExitUsage,
                    tr("no source given: name a folder, an NTFS image or device, an MFT dump "
                       "(.mft) or a CSV/TSV export (see --help)"));
    for (int i = 2; !run.CommandLine->GetPathArgument(i).empty(); ++i)
        warn(Format(tr("only the first path is scanned; %s is ignored"),
                    run.CommandLine->GetPathArgument(i).c_str()));

    TResolveOptions ro;
    ro.FullScanNTFSIfPossible = settings.FullScanNTFSIfPossible;
    const TResolvedSource r = ResolveSourcePath(path, run.List, run.Mounts, ro);
    if (!r.Ok) return fail(kExitFailed, r.Error);
    DebugLog(std::string(SourceKindName(r.Source.Kind)) + " " + path);
    // What no output may replace: the source as named, the file or device read for it, and
    // the files the run uses.
    std::vector<TRunFile> runFiles = {{N_("the source"), path}};
    if (const std::string read = Utf16ToUtf8(r.Source.Path); read != path)
        runFiles.push_back({N_("the source"), read});
    runFiles.insert(runFiles.end(), run.RunFiles.begin(), run.RunFiles.end());
    // The file written under a name other than the one given is named, so that scripts can
    // find it (on a terminal every output's "Written:" line does).
    auto tellRenamed = [&](TOutputKind kind, const std::string& value, const std::string& file) {
        if (file != value)
            std::fprintf(run.Err, "quarzel: %s=%s: written to %s\n", OutputOption(kind),
                         value.c_str(), file.c_str());
    };

    // ---- the MFT dump replaces the scan
    if (!opt.DumpMFTFile.empty()) {
        if (r.Source.Method != TScanMethod::MFTVolume || !r.Source.SubtreePath.empty())
            return fail(
                kExitUsage,
                Format(tr("--dumpmftfile needs an NTFS volume: an NTFS image file or block "
                          "device, or the mount point of an NTFS volume whose device can be "
                          "read; %s is none"),
                       path.c_str()));
        for (TOutputKind k :
             {TOutputKind::Export, TOutputKind::FileTypes, TOutputKind::TreemapImage}) {
            const std::string& v = k == TOutputKind::Export      ? opt.ExportFile
                                   : k == TOutputKind::FileTypes ? opt.ExportFileTypesFile
                                                                 : opt.TreemapImageFile;
            if (!v.empty())
                warn(Format(tr("%s is not written when --dumpmftfile is given"), OutputOption(k)));
        }
        const std::string file = OutputFileName(TOutputKind::Dump, opt.DumpMFTFile, run.StartTime);
        std::string error;
        if (!CheckOutputFiles({{TOutputKind::Dump, file}}, runFiles, error))
            return fail(kExitUsage, error);
        if (!PrepareOutputFolder(file, error)) return fail(kExitFailed, error);
        TProgressLine line(run.ProgressLine, run.Err);
        TScanSource src = r.Source;
        if (!WriteMFTDump(src, file, line, error, run.Interrupt)) {
            line.Finish();
            if (run.Interrupt && run.Interrupt->load())
                return fail(kExitInterrupted, tr("interrupted; the MFT dump was not written"));
            return fail(kExitFailed, error);
        }
        line.Finish();
        if (run.ProgressLine)
            std::fprintf(run.Err, "%s %s\n", tr("MFT dump written to"), file.c_str());
        else
            tellRenamed(TOutputKind::Dump, opt.DumpMFTFile, file);
        return kExitOk;
    }

    // ---- everything that can be checked before a long scan
    struct Output {
        TOutputKind Kind;
        std::string Value; // as given
        std::string File;
    };
    std::vector<Output> outputs;
    for (auto [kind, value] : {std::pair{TOutputKind::Export, &opt.ExportFile},
                               {TOutputKind::FileTypes, &opt.ExportFileTypesFile},
                               {TOutputKind::TreemapImage, &opt.TreemapImageFile}})
        if (!value->empty())
            outputs.push_back({kind, *value, OutputFileName(kind, *value, run.StartTime)});
    if (!opt.TreemapImageFile.empty()) {
        const long long w = opt.TreemapImageWidth, h = opt.TreemapImageHeight;
        if (w < 1 || h < 1 || w > 32768 || h > 32768 || w * h > (1ll << 28))
            return fail(
                kExitUsage,
                Format(tr("treemap image size %lld x %lld is out of range (1 to 32768 pixels a "
                          "side, at most 268 million pixels)"),
                       w, h));
    }
    {
        TFilterPair pair;
        ParseFilterPair(Utf8ToUtf16(opt.FilterInclude), Utf8ToUtf16(opt.FilterExclude),
                        opt.FilterFullPath, pair);
        if (!pair.errors.empty()) {
            const TFilterError& e = pair.errors.front();
            return fail(kExitUsage, std::string(e.exclude ? "--filterexclude" : "--filter") + ": " +
                                        FilterErrorText(e));
        }
    }
    {
        std::vector<TPlannedOutput> planned;
        for (const Output& o : outputs) planned.push_back({o.Kind, o.File});
        std::string error;
        if (!CheckOutputFiles(planned, runFiles, error)) return fail(kExitUsage, error);
        for (const Output& o : outputs)
            if (!PrepareOutputFolder(o.File, error)) return fail(kExitFailed, error);
    }

    // ---- the scan
    TScanSession session(ScanSourcePasses());
    session.DiskSizeOf = [&run](const TScanSource& s, const TNTFS_FILES& scan) {
        return SourceDiskSize(s, scan, run.Mounts);
    };
    TScanOptions so;
    so.FilterInclude = Utf8ToUtf16(opt.FilterInclude);
    so.FilterExclude = Utf8ToUtf16(opt.FilterExclude);
    so.MatchEntirePath = opt.FilterFullPath;
    so.ShowMaxModifiedDate = settings.ShowMaxModifiedDate;
    so.TimeOffset = LocalOffsetAt(NowUtc());
    const TScanSource sources[1] = {r.Source};
    session.Start(sources, so);
    // The texts of this run (tree cells, treemap labels, the progress line) are formatted with
    // the stored unit and decimals and the locale's separators.
    TFormatSettings format;
    format.Unit = settings.DisplayUnit;
    format.Decimals = settings.DecimalPlaces;
    format.Numbers = LocaleNumberFormat();
    TProgressLine line(run.ProgressLine, run.Err);
    session.Wait(
        [&](const TScanProgress& p) {
            line.Show(ScanProgressLine(p.Percent, p.Files, p.Folders, p.Seconds, format.Numbers));
        },
        [&] { return run.Interrupt && run.Interrupt->load(); });
    line.Finish();
    const bool scanned = session.Finish();
    if (run.Interrupt && run.Interrupt->load())
        return fail(kExitInterrupted, tr("interrupted; nothing was written"));
    // What a scan could not read or passed over does not stop the outputs, but is said.
    for (const TNTFS_FILES* s : session.Scans())
        for (const std::string& w : ScanWarningTexts(s->Warnings))
            warn(w + " [" + Utf16ToUtf8(s->FSource) + "]");
    if (!scanned) {
        for (const std::string& e : session.Errors)
            std::fprintf(run.Err, "quarzel: %s\n", e.c_str());
        return kExitFailed;
    }
    DebugLog(
        Utf16ToUtf8(ScanCompleteText(session.Seconds, session.WasCancelled(), format.Numbers)));
    // Damage the scan worked around (items outside the folder tree, impossible sizes): the
    // outputs are written, but the user hears of it.
    for (const TNTFS_FILES* s : session.Scans())
        for (const std::string& w : s->AnomalyTexts()) {
            DebugLog("Warning: " + w);
            warn(w + " [" + Utf16ToUtf8(s->FSource) + "]");
        }

    TDisplayTree tree;
    tree.FILENODE_MIN_GROUP_SIZE = settings.FileNodeMinGroupSize;
    tree.Format = format;
    std::string error;
    if (!session.LoadTree(tree, opt.SortBy, &error)) return fail(kExitFailed, path + ": " + error);

    // ---- the outputs, in order
    TOutputContext ctx{*run.CommandLine, session, tree, opt, settings, run.StartTime};
    int code = kExitOk;
    for (const Output& o : outputs) {
        // Each output is written whole or not at all; an interrupt stops before the next.
        if (run.Interrupt && run.Interrupt->load())
            return fail(kExitInterrupted,
                        Format(tr("interrupted; %s and the outputs after it were not written"),
                               OutputOption(o.Kind)));
        error.clear();
        bool ok = false;
        switch (o.Kind) {
        case TOutputKind::Export:
            ok = WriteCsvExport(ctx, o.File, error);
            break;
        case TOutputKind::FileTypes:
            ok = WriteFileTypesExport(ctx, o.File, error);
            break;
        case TOutputKind::TreemapImage:
            ok = WriteTreemapImage(ctx, o.File, error);
            break;
        case TOutputKind::Dump:
            break;
        }
        if (!ok) {
            fail(kExitFailed, std::string(OutputOption(o.Kind)) + ": " + error);
            code = kExitFailed;
        } else if (run.ProgressLine && o.File != "-") {
            std::fprintf(run.Err, "%s %s\n", tr("Written:"), o.File.c_str());
        } else {
            tellRenamed(o.Kind, o.Value, o.File);
        }
    }
    return code;
}

} // namespace qz

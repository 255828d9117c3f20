#include "app/headless.h"

#include "app/outputs.h"
#include "app/progressline.h"
#include "app/sourceresolve.h"
#include "base/datetime.h"
#include "base/debuglog.h"
#include "base/text.h"
#include "filters/filters.h"
#include "fsops/disksize.h"
#include "views/format.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace qz {

namespace {

// Lower-cased extension of the last path component, dot included ("" without one).
std::string ExtensionOf(const std::string& name) {
    const size_t slash = name.find_last_of('/');
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot == slash + 1)
        return {};
    std::string e = name.substr(dot);
    for (char& c : e) c = char(std::tolower(static_cast<unsigned char>(c)));
    return e;
}

// Creates the folder an output file goes to; false with error when it cannot be made.
bool PrepareOutputFolder(const std::string& file, std::string& error) {
    if (file == "-") return true;
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    if (folder.empty()) return true;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (std::filesystem::is_directory(folder)) return true;
    error = "cannot create the folder " + folder.string() + ": " +
            (ec ? ec.message() : std::string("a file of that name is in the way"));
    return false;
}

TDiskSizeInfo SourceDiskSize(const TScanSource& src, const TNTFS_FILES& scan,
                             const std::vector<TMountInfo>& mounts) {
    const std::string path = Utf16ToUtf8(src.Path);
    switch (src.Method) {
    case TScanMethod::MFTVolume:
        if (!src.SubtreePath.empty())
            return GetDiskSizeInfo(Utf16ToUtf8(src.SubtreeRootName), mounts);
        if (!src.RootName.empty()) return GetDiskSizeInfo(Utf16ToUtf8(src.RootName), mounts);
        return DiskSizeFromVolumeData(src.Path, scan.FVolData);
    case TScanMethod::Enumerate:
        return GetDiskSizeInfo(path, mounts);
    case TScanMethod::MFTDump:
    case TScanMethod::CSVImport:
        break;
    }
    TDiskSizeInfo none;
    none.itempath = src.Path;
    return none;
}

} // namespace

std::string HeadlessOutputName(const std::string& value, double startTime) {
    if (value == "-") return value;
    return ExpandDateTimeName(value, startTime);
}

std::string TreemapImageName(const std::string& value, double startTime) {
    std::string name = HeadlessOutputName(value, startTime);
    const std::string ext = ExtensionOf(name);
    if (ext == ".png") return name;
    if (!ext.empty()) name.resize(name.size() - ext.size());
    return name + ".png";
}

int ProcessCommandLine(THeadlessRun& run) {
    const TStartupOptions& opt = *run.Options;
    const TMainSettings& settings = *run.Settings;
    auto fail = [&](int code, const std::string& message) {
        DebugLog("ProcessCommandLine failed: " + message);
        std::fprintf(run.Err, "quarzel: %s\n", message.c_str());
        return code;
    };
    auto warn = [&](const std::string& message) {
        std::fprintf(run.Err, "quarzel: warning: %s\n", message.c_str());
    };
    DebugLog("ProcessCommandLine");

    const std::string path = run.CommandLine->GetPathArgument(1);
    if (path.empty())
        return fail(kExitUsage,
                    "no source given: name a folder, an NTFS image or device, an MFT dump (.mft) "
                    "or a CSV/TSV export (see --help)");
    for (int i = 2; !run.CommandLine->GetPathArgument(i).empty(); ++i)
        warn("only the first path is scanned; " + run.CommandLine->GetPathArgument(i) +
             " is ignored");

    TResolveOptions ro;
    ro.FullScanNTFSIfPossible = settings.FullScanNTFSIfPossible;
    const TResolvedSource r = ResolveSourcePath(path, run.List, run.Mounts, ro);
    if (!r.Ok) return fail(kExitFailed, r.Error);
    DebugLog(std::string(SourceKindName(r.Source.Kind)) + " " + path);

    // ---- the MFT dump replaces the scan
    if (!opt.DumpMFTFile.empty()) {
        if (r.Source.Method != TScanMethod::MFTVolume || !r.Source.SubtreePath.empty())
            return fail(
                kExitUsage,
                "--dumpmftfile needs an NTFS volume: an NTFS image file or block device, or "
                "the mount point of an NTFS volume whose device can be read; " +
                    path + " is none");
        for (TOutputKind k :
             {TOutputKind::Export, TOutputKind::FileTypes, TOutputKind::TreemapImage}) {
            const std::string& v = k == TOutputKind::Export      ? opt.ExportFile
                                   : k == TOutputKind::FileTypes ? opt.ExportFileTypesFile
                                                                 : opt.TreemapImageFile;
            if (!v.empty())
                warn(std::string(OutputOption(k)) + " is not written when --dumpmftfile is given");
        }
        std::string file = HeadlessOutputName(opt.DumpMFTFile, run.StartTime);
        if (ExtensionOf(file).empty()) file += ".mft";
        std::string error;
        if (!PrepareOutputFolder(file, error)) return fail(kExitFailed, error);
        TProgressLine line(run.ProgressLine, run.Err);
        TScanSource src = r.Source;
        if (!WriteMFTDump(src, file, line, error, run.Interrupt)) {
            line.Finish();
            if (run.Interrupt && run.Interrupt->load())
                return fail(kExitInterrupted, "interrupted; the MFT dump was not written");
            return fail(kExitFailed, error);
        }
        line.Finish();
        if (run.ProgressLine)
            std::fprintf(run.Err, "%s %s\n", tr("MFT dump written to"), file.c_str());
        return kExitOk;
    }

    // ---- everything that can be checked before a long scan
    struct Output {
        TOutputKind Kind;
        std::string File;
    };
    std::vector<Output> outputs;
    if (!opt.ExportFile.empty())
        outputs.push_back({TOutputKind::Export, HeadlessOutputName(opt.ExportFile, run.StartTime)});
    if (!opt.ExportFileTypesFile.empty())
        outputs.push_back(
            {TOutputKind::FileTypes, HeadlessOutputName(opt.ExportFileTypesFile, run.StartTime)});
    if (!opt.TreemapImageFile.empty())
        outputs.push_back(
            {TOutputKind::TreemapImage, TreemapImageName(opt.TreemapImageFile, run.StartTime)});
    if (!opt.TreemapImageFile.empty()) {
        const long long w = opt.TreemapImageWidth, h = opt.TreemapImageHeight;
        if (w < 1 || h < 1 || w > 32768 || h > 32768 || w * h > (1ll << 28))
            return fail(
                kExitUsage,
                "treemap image size " + std::to_string(w) + " x " + std::to_string(h) +
                    " is out of range (1 to 32768 pixels a side, at most 268 million pixels)");
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
    int stdoutUsers = 0;
    for (const Output& o : outputs) {
        std::string error;
        if (o.File == "-") ++stdoutUsers;
        if (!PrepareOutputFolder(o.File, error)) return fail(kExitFailed, error);
    }
    if (stdoutUsers > 1)
        return fail(kExitUsage, "only one output can go to standard output (\"-\")");

    // ---- the scan
    TScanSession session;
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
    TProgressLine line(run.ProgressLine, run.Err);
    session.Wait(
        [&](const TScanProgress& p) {
            line.Show(ScanProgressLine(p.Percent, p.Files, p.Folders, p.Seconds));
        },
        [&] { return run.Interrupt && run.Interrupt->load(); });
    line.Finish();
    const bool scanned = session.Finish();
    if (run.Interrupt && run.Interrupt->load())
        return fail(kExitInterrupted, "interrupted; nothing was written");
    if (!scanned) {
        for (const std::string& e : session.Errors)
            std::fprintf(run.Err, "quarzel: %s\n", e.c_str());
        return kExitFailed;
    }
    DebugLog(Utf16ToUtf8(ScanCompleteText(session.Seconds, session.WasCancelled())));

    TDisplayTree tree;
    tree.FILENODE_MIN_GROUP_SIZE = settings.FileNodeMinGroupSize;
    std::string error;
    if (!session.LoadTree(tree, opt.SortBy, &error)) return fail(kExitFailed, path + ": " + error);

    // ---- the outputs, in order
    TOutputContext ctx{*run.CommandLine, session, tree, opt, settings, run.StartTime};
    int code = kExitOk;
    for (const Output& o : outputs) {
        // Each output is written whole or not at all; an interrupt stops before the next.
        if (run.Interrupt && run.Interrupt->load())
            return fail(kExitInterrupted, "interrupted; " + std::string(OutputOption(o.Kind)) +
                                              " and the outputs after it were not written");
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
        }
    }
    return code;
}

} // namespace qz

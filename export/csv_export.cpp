#include "export/csv_export.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "export/csv_export_rows.h"
#include "export/export_file.h"
#include "views/format.h"

#include <vector>

namespace qz {

namespace {

class TCsvExportRun {
public:
    TCsvExportRun(const TCsvExportJob& job, const TExportOptions& o, TViewNodes& view)
        : J(job), O(o), V(view),
          F(o, CsvSeparatorFor(job.FileName), job.Tree && job.Tree->SortColumn() == tcAllocated,
            job.Decimals) {}

    TCsvExportResult Run();

private:
    bool Begin(const std::u16string& name);
    void End();
    // Writes node (depth 0) with what lies below it; false when the walk must stop.
    bool Walk(TTreeNode* start);
    // The row of one record; false when the walk must stop.
    bool Row(PMFT_RECORD rec, PMFT_RECORD folderRec);
    const TDiskSizeInfo* CapacityOf(PMFT_RECORD root) const;
    bool LimitReached() const { return O.Limit > 0 && R.Rows >= O.Limit; }
    bool Cancelled() const { return J.Cancel && J.Cancel->load(std::memory_order_relaxed); }
    bool Stopped() const { return LimitReached() || File.Failed() || Cancelled(); }

    const TCsvExportJob& J;
    const TExportOptions& O;
    TViewNodes& V;
    TCsvRowFormatter F;
    TExportFile File;
    TCsvExportResult R;
    struct Item {
        TTreeNode* Node;
        int Depth;
    };
    std::vector<Item> FStack;
};

bool TCsvExportRun::Begin(const std::u16string& name) {
    if (!File.Open(name)) {
        R.Ok = false;
        R.Error = File.Error();
        return false;
    }
    File.Write("\xEF\xBB\xBF");
    F.AppendHeader(File.Buffer());
    File.Wrote();
    return true;
}

void TCsvExportRun::End() {
    if (Cancelled()) {
        File.Abandon();
        R.Ok = false;
        R.Cancelled = true;
        if (R.Error.empty()) R.Error = tr("Export cancelled");
        return;
    }
    const std::string path = File.Path();
    if (!File.Commit()) {
        R.Ok = false;
        if (R.Error.empty()) R.Error = File.Error();
        DebugLog("Export failed: " + File.Error());
        return;
    }
    R.FilesWritten.push_back(Utf8ToUtf16(path));
}

const TDiskSizeInfo* TCsvExportRun::CapacityOf(PMFT_RECORD root) const {
    for (size_t i = 0; i < J.Scans.size(); ++i) {
        TNTFS_FILES* s = J.Scans[i];
        if (!s || s->MFTRoot != root) continue;
        if (i < J.DiskSizes.size() && J.DiskSizes[i].hastotalandfreespace) return &J.DiskSizes[i];
        if (s->WasCSVFile && s->CSVDinfo.hastotalandfreespace) return &s->CSVDinfo;
        return nullptr;
    }
    return nullptr;
}

bool TCsvExportRun::Row(PMFT_RECORD rec, PMFT_RECORD folderRec) {
    if (Stopped()) return false;
    if (!rec || rec->Deleted) return true;
    if (J.RowFilter && !J.RowFilter(rec)) return true;
    if (IsFolderLike(rec) ? !O.ExportFolders : !O.ExportFiles) return true;
    const TDiskSizeInfo* cap = O.ExportDriveSize && !rec->ParentMFTRec ? CapacityOf(rec) : nullptr;
    F.AppendRow(File.Buffer(), rec, folderRec, cap);
    File.Wrote();
    ++R.Rows;
    return !Stopped();
}

bool TCsvExportRun::Walk(TTreeNode* start) {
    const int maxDepth = O.MaxDepth;
    FStack.clear();
    FStack.push_back({start, 0});
    while (!FStack.empty()) {
        const Item it = FStack.back();
        FStack.pop_back();
        if (maxDepth > 0 && it.Depth > maxDepth) continue;
        TTreeNode* n = it.Node;
        PMFT_RECORD rec = n->Data.Rec;
        if (!rec || rec->Deleted) continue;
        if (n->IsFileGroup) {
            // A file group stands for its files: their rows, no row of its own.
            for (TTreeNode* c : V.Children(n))
                if (!Row(c->Data.Rec, c->FolderRec())) return false;
            continue;
        }
        if (!Row(rec, n->FolderRec())) return false;
        if (!IsFolderLike(rec)) continue;
        auto kids = V.Children(n);
        for (size_t i = kids.size(); i-- > 0;) FStack.push_back({kids[i], it.Depth + 1});
    }
    return !Stopped();
}

TCsvExportResult TCsvExportRun::Run() {
    if (J.UseSelection && V.SelectedCount() > 0) {
        std::vector<TSelectedItem> items;
        GetSelectedItems(items, V);
        if (!Begin(J.FileName)) return R;
        for (const TSelectedItem& item : items) {
            try {
                if (!Walk(item.Node)) break;
            } catch (const std::exception& e) {
                DebugLog(std::string("Export of a selected entry failed: ") + e.what());
            }
        }
        End();
        return R;
    }
    auto roots = V.Roots();
    if (J.View == TExportView::FileList || J.FileName == u"-") {
        if (!Begin(J.FileName)) return R;
        for (TTreeNode* n : roots)
            if (!Walk(n)) break;
        End();
        return R;
    }
    // One file per source; an empty view still gets its header.
    for (size_t i = 0; i < std::max<size_t>(roots.size(), 1); ++i) {
        if (!Begin(i == 0 ? J.FileName : NumberedExportFileName(J.FileName, int(i)))) return R;
        if (i < roots.size()) Walk(roots[i]);
        End();
        if (!R.Ok || R.Cancelled) return R;
    }
    return R;
}

} // namespace

TCsvExportResult ExportToCSV(const TCsvExportJob& job, const TExportOptions& options) {
    TViewNodes* view = job.View == TExportView::Tree ? static_cast<TViewNodes*>(job.Tree)
                                                     : static_cast<TViewNodes*>(job.Files);
    if (!view) {
        TCsvExportResult r;
        r.Ok = false;
        r.Error = tr("Nothing to export");
        return r;
    }
    TCsvExportRun run(job, options, *view);
    return run.Run();
}

std::u16string ExportSelectionLabel(std::span<const TSelectedItem> selection) {
    std::u16string s;
    for (size_t i = 0; i < selection.size() && i < 2; ++i) s += selection[i].Path + u"\n";
    if (selection.size() > 2) s += u"+ " + AsciiToUtf16(std::to_string(selection.size() - 2));
    return s;
}

} // namespace qz

// The CSV/TSV export of the tree view, the file list, or the selection of either.
//
// The export walks the view's nodes in the view's current order (children are made as the
// walk reaches them) and writes a row for each record that passes the row options: export
// files / folders, maximum depth below each starting node, the row limit (counted across all
// files of one export) and, in headless runs, the command-line filter. It never reads the
// disk. The options dialog, the overwrite question and the messages belong to the window.
//
// What is written:
// - nodes selected in the exported view: only those, each folder with its subtree; a folder
//   and a node inside it give the inner node once; a file group gives its files;
// - no selection, file list: every row of the list;
// - no selection, tree view: each top-level node (one per source) to a file of its own:
//   name.csv, name_1.csv, name_2.csv ... (to standard output, "-", all sources follow each
//   other under one header).
#pragma once

#include "engine/scan.h"
#include "export/export_options.h"
#include "views/displaytree.h"
#include "views/filelist.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qz {

enum class TExportView : uint8_t { Tree, FileList };

struct TCsvExportJob {
    std::u16string FileName; // "-" = standard output; ".tsv" (any case) selects tabs
    TExportView View = TExportView::Tree;
    TDisplayTree* Tree = nullptr; // also decides the percentage figures (sorted by Allocated)
    TFileList* Files = nullptr;
    // The scans on screen and the window's space figures, in the same order (for the
    // drive-capacity fields of a source root's row). A CSV import's own figures are used
    // when the window has none for it.
    std::span<TNTFS_FILES* const> Scans;
    std::span<const TDiskSizeInfo> DiskSizes;
    // Rows must also pass this test when set (the headless per-row filter).
    std::function<bool(PMFT_RECORD)> RowFilter;
    // Digits after the point of the percentage (the caller's TreeDecimals).
    int Decimals = 1;
    // False: the whole view is written even when nodes are selected ("Selected only" off).
    bool UseSelection = true;
    // Asked between rows when set: true stops the export and nothing is written under the
    // name (an earlier file of that name stays as it was).
    const std::atomic<bool>* Cancel = nullptr;
};

struct TCsvExportResult {
    bool Ok = true;
    std::string Error; // the first failure: "Cannot create ...: ..." / "Cannot write ...: ..."
    bool Cancelled = false;
    std::vector<std::u16string> FilesWritten;
    int64_t Rows = 0;
};

// Runs the export with the given options.
TCsvExportResult ExportToCSV(const TCsvExportJob& job, const TExportOptions& options);

// The selection text of the options dialog: the first two paths, each followed by a line
// break, then "+ N" for the others.
std::u16string ExportSelectionLabel(std::span<const TSelectedItem> selection);

} // namespace qz

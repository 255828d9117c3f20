// What the scans on screen could not read or had to work around, counted over all of them
// for the status line: folders that could not be read, entries that could not be examined,
// CSV/TSV lines passed over, records outside the folder tree, records with impossible sizes.
// The full wording of each (with its source) is the scans' own warning and anomaly texts.
#pragma once

#include "engine/scan.h"
#include "views/format.h"

#include <string>
#include <vector>

namespace qz {

struct TScanIssues {
    TScanWarnings Warnings;   // summed over the scans
    TScanAnomalies Anomalies; // counts summed; TrailerRecordSize: nonzero when any dump had one
    bool Any() const {
        return Warnings.Any() || Anomalies.OrphanItems || Anomalies.DamagedSizes ||
               Anomalies.SaturatedTotals || Anomalies.TrailerRecordSize;
    }
};

TScanIssues SumScanIssues(const std::vector<TNTFS_FILES*>& scans);

// One short clause per kind of issue, joined by ", " ("2 folders could not be read, 3 lines
// skipped"); empty when there is none.
std::u16string ScanIssuesText(const TScanIssues& issues, const TNumberFormat& nf);

} // namespace qz

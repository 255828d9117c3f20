// "Apply Filter": the filter panel's filters applied again to the scans on screen, without
// reading the disk, on a thread of its own.
//
// The views let go of the scans first (aboutToFilter: the tree is emptied here, the other
// views clear themselves), so nothing reads the records while the pass rewrites their flags
// and totals. When the pass is done the tree is built again, sorted as before, with what was
// expanded and selected where those items remain; then filtered tells the other views to
// rebuild. Refused while a scan runs or another pass runs.
#pragma once

#include "gui/backgroundjob.h"
#include "views/displaytree.h"
#include "views/filterapply.h"

#include <QObject>

namespace qz {

class TScanControl;
class TScanStatus;
class TTreeView;

class TFilterApplier : public QObject {
    Q_OBJECT
public:
    TFilterApplier(TScanControl& scans, TTreeView& tree, TScanStatus& status,
                   QObject* parent = nullptr);
    ~TFilterApplier() override;

    // Starts the pass; false (nothing done) while a scan or another pass runs, or before a
    // scan has finished.
    bool Apply(const TFilterApplyRequest& request);
    bool Busy() const { return FJob.Busy(); }
    // Waits for a running pass and drops its end (the window closes).
    void Stop();
    // What the last pass reported (mistakes in the texts, expressions given up).
    const std::vector<TFilterError>& Errors() const { return FResult.Errors; }

signals:
    // Before the pass: every view that shows the scans lets go of them now.
    void aboutToFilter();
    // After the pass: the tree shows the filtered scans; the other views rebuild.
    void filtered();

private:
    void Done();

    TScanControl& FScans;
    TTreeView& FTree;
    TScanStatus& FStatus;
    TBackgroundJob FJob;
    TTreeViewState FState;
    TFilterApplyResult FResult;
};

} // namespace qz

#include "gui/filterapplier.h"

#include "base/debuglog.h"
#include "gui/qtext.h"
#include "gui/scancontrol.h"
#include "gui/statuspanel.h"
#include "gui/treeview.h"

#include <QGuiApplication>

namespace qz {

TFilterApplier::TFilterApplier(TScanControl& scans, TTreeView& tree, TScanStatus& status,
                               QObject* parent)
    : QObject(parent), FScans(scans), FTree(tree), FStatus(status) {}

TFilterApplier::~TFilterApplier() {
    Stop();
}

void TFilterApplier::Stop() {
    if (!FJob.Busy()) return;
    FJob.Stop();
    QGuiApplication::restoreOverrideCursor();
}

bool TFilterApplier::Apply(const TFilterApplyRequest& request) {
    if (FJob.Busy() || FScans.ScanInProgress() || FScans.Session().Scans().empty()) return false;
    DebugLog("Apply filter");
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    // What the user sees expanded and selected comes back where the items remain.
    FState = FTree.Tree().CaptureViewRecords(); // their paths are made by the pass's thread
    FTree.Model().Reset([this] { FTree.Tree().Clear(); });
    emit aboutToFilter();
    FStatus.SetStatus(Tr("Filtering") + QStringLiteral("..."));
    TScanSession* session = &FScans.Session();
    FJob.Start(
        [this, session, request](const std::atomic<bool>&) {
            // Before the pass: it changes the records' flags and totals, not their names.
            TDisplayTree::FillPaths(FState);
            FResult = ReapplyFilters(*session, request);
        },
        [this] { Done(); });
    return true;
}

void TFilterApplier::Done() {
    TScanSession& s = FScans.Session();
    std::string error;
    TDisplayTree& tree = FTree.Tree();
    bool loaded = false;
    FTree.Model().Reset([&] {
        loaded = s.LoadTree(tree, -1, &error);
        tree.RestoreViewState(FState);
    });
    FTree.ShowTreeState();
    FState = {};
    if (!loaded)
        FStatus.SetStatus(Tr("Error") + QStringLiteral(": ") + QString::fromUtf8(error));
    else
        FStatus.SetStatus(Tr("Filter applied"));
    QGuiApplication::restoreOverrideCursor();
    emit filtered();
}

} // namespace qz

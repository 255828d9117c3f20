// The space summary of the window's top panel: what is shown ("Selection:") and the total,
// used, free and reserved space of the sources, each value right of its caption. The values
// come from UpdateSpaceSummary (views/summary.h).
#pragma once

#include "views/summary.h"

#include <QWidget>

class QLabel;

namespace qz {

class TSpaceSummaryPanel : public QWidget {
    Q_OBJECT
public:
    explicit TSpaceSummaryPanel(QWidget* parent = nullptr);
    void Show(const TSpaceSummary& s);
    // The serial label's text (UpdateSpaceSummary keeps it for sources without a path).
    QString DriveSerial() const;
    // The figures may be cut at the right rather than widen the window: once filled in after
    // a scan they are wider than the "n/a" before it, and the window would otherwise grow by
    // itself at the end of every scan.
    QSize minimumSizeHint() const override;

    QLabel *lblDrive, *lblDriveSerial, *lblTotalSpace, *lblSpaceUsed, *lblSpaceUsedPerc,
        *lblSpaceFree, *lblSpaceFreePerc, *lblReservedSpace;
};

} // namespace qz

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

    QLabel *lblDrive, *lblDriveSerial, *lblTotalSpace, *lblSpaceUsed, *lblSpaceUsedPerc,
        *lblSpaceFree, *lblSpaceFreePerc, *lblReservedSpace;
};

} // namespace qz

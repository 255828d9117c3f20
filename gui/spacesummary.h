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
    // The figures are cut at the right, never squeezed, when the window is narrower than they
    // need: once filled in after a scan they are wider than the "n/a" before it, and asking
    // for that width would make the window grow by itself at the end of a scan.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    // The labels' own widget, always as wide as they need, placed at the panel's left edge.
    QWidget* FContent;
    void PlaceContent();

public:
    QLabel *lblDrive, *lblDriveSerial, *lblTotalSpace, *lblSpaceUsed, *lblSpaceUsedPerc,
        *lblSpaceFree, *lblSpaceFreePerc, *lblReservedSpace;
};

} // namespace qz

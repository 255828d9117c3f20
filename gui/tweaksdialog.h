// The settings dialog "Tweaks" (TfrmTweaks): the grid, scan and treemap options of the settings
// file with their keys. It shows the current values with OK disabled; any change enables OK;
// OK hands the values back (the main window applies and stores them), Cancel changes nothing.
#pragma once

#include "app/settings.h"

#include <QDialog>

class QCheckBox;
class QDialogButtonBox;
class QSpinBox;

namespace qz {

class TfrmTweaks : public QDialog {
    Q_OBJECT
public:
    TfrmTweaks(const TMainSettings& current, QWidget* parent = nullptr);

    // The values as the controls show them (the fields of the table, others as given).
    TMainSettings Values() const;

    QCheckBox* cbEnableDragDrop;
    QCheckBox* cbEnableDoubleClickOpen;
    QCheckBox* cbMonitorFileSystemForchanges;
    QCheckBox* cbShowMaxModifiedDate;
    QCheckBox* cbScanMFTifPossible;
    QCheckBox* cbQuarzelClassicTheme;
    QCheckBox* cbShowHorizontalLines;
    QCheckBox* cbAltRowColors;
    QCheckBox* cbGradientEnabled;
    QSpinBox* edDecimalPlaces;
    QSpinBox* edFileNodeMinGroupSize;
    QDialogButtonBox* Buttons;

private:
    void Changed();
    TMainSettings FCurrent;
};

// Stores the dialog's keys as integers (booleans 1/0) in the settings file.
void WriteTweaks(TIniFile& ini, const TMainSettings& s);

} // namespace qz

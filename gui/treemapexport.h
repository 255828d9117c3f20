// The image dialog (TfrmExportTreemap, "Save Treemap Image as .png file"): width and height
// edits with the size presets, gray and free-space choices. The size is checked when Save is
// pressed: a size that is not a whole number, below one pixel or too large for a bitmap is
// named in the dialog, which stays open. The choices kept between runs live in the settings
// file's section "frmExportTreemap".
#pragma once

#include "treemap/imageexport.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QToolButton;

namespace qz {

class TIniFile;

class TfrmExportTreemap : public QDialog {
    Q_OBJECT
public:
    explicit TfrmExportTreemap(QWidget* parent = nullptr);

    QLabel* lblWidth;
    QLineEdit* edWidth;
    QLabel* lblHeight;
    QLineEdit* edHeight;
    QToolButton* Button1; // opens PopupMenu1, the size presets
    QMenu* PopupMenu1;
    QCheckBox* cbShadesofGray;
    QCheckBox* cbShowFreeSpace;
    QLabel* lblError; // why Save was refused
    QPushButton* btnSave;
    QPushButton* btnCancel;

    void SetChoices(const TExportTreemapChoices& c);
    TExportTreemapChoices Choices() const;
    // The kept choices (the edits and the gray check box); missing values keep the defaults.
    void LoadChoices(const TIniFile& ini);
    void SaveChoices(TIniFile& ini) const;
    // A preset's caption sets the edits (ApplySizePreset).
    void PresetClick(const QString& caption);

private:
    void btnSaveClick();
};

} // namespace qz

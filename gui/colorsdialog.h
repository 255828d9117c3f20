// The Colors dialog (TfrmSetColors): the theme, colouring by size or by extension, the 13
// palette colours with a colour picker, and the extension lists of the slots, with the default
// and colour-blind presets. The dialog edits a copy; the caller applies it after OK.
#pragma once

#include "views/extstats.h"

#include <QDialog>
#include <array>
#include <functional>

class QColorDialog;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace qz {

struct TColorChoices {
    TTM_PALETTE Palette = DefaultPalette();
    TTM_FILEEXTENSIONS FileExtensions = DefaultFileExtensions();
    bool ColorBySize = true;
    int UITheme = 0; // 0 Auto, 1 Light, 2 Dark
};

class TfrmSetColors : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSetColors(QWidget* parent = nullptr);

    QComboBox* cbTheme;
    QRadioButton* rbSize;
    QRadioButton* rbExtension;
    QListWidget* lbColors; // swatches "1" .. "13"
    QLabel* lblExtensions;
    std::array<QLineEdit*, kPaletteSlots> edExt; // the last one is hidden
    QColorDialog* Picker;
    QPushButton* btnDefaultColors;
    QPushButton* btnColorBlind;
    QPushButton* btnDefaultExtensions;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // Called when the theme combo changes (a preview; Cancel re-applies the saved theme).
    std::function<void(int theme)> PreviewTheme;

    void SetChoices(const TColorChoices& c);
    TColorChoices Choices() const;
    // The colour of swatch slot.
    TColor SwatchColor(int slot) const;
    void SetSwatchColor(int slot, TColor c);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetPalette(const TTM_PALETTE& palette);
    void SwatchSelected(int slot);
    void PickerChanged();
    void UpdateExtensionControls();

    TTM_PALETTE FColors{};
    int FBound = -1;       // the swatch the picker edits
    bool FLoading = false; // the picker is being loaded from a swatch
};

} // namespace qz

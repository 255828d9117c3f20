// Saving the treemap as a PNG image: the image dialog's stored choices and size presets, the
// dialog's save sequence, and the command line's file name rule and call. The dialog itself
// (and its overwrite question) belongs to the window.
#pragma once

#include "engine/types.h"
#include "treemap/treemap.h"

#include <array>
#include <string>
#include <string_view>

namespace qz {

// The size presets of the dialog's menu, in menu order.
inline constexpr std::array<std::u16string_view, 7> kTreemapSizePresets = {
    u"1024x768", u"1280x720", u"1680x1050", u"1920x1080", u"2560x1440", u"3840x2160", u"7680x4320"};

// The dialog's settings section and the keys of its stored choices.
inline constexpr const char* kExportTreemapSection = "frmExportTreemap";
inline constexpr const char* kExportTreemapGrayKey = "cbShadesofGray_Checked";
inline constexpr const char* kExportTreemapWidthKey = "edWidth_Text";
inline constexpr const char* kExportTreemapHeightKey = "edHeight_Text";

// What the dialog keeps between runs (the edits' texts and the gray check box) and the
// free-space check box, which starts from the window's "Show Free Space on Treemap".
struct TExportTreemapChoices {
    std::u16string edWidth = u"1920";
    std::u16string edHeight = u"1080";
    bool cbShadesofGray = false;
    bool cbShowFreeSpace = false;
};

// A preset click: caption without "&" split at its first "x" into width and height; a part
// that is not an integer leaves its edit unchanged, a caption without "x" changes nothing.
void ApplySizePreset(std::u16string_view caption, std::u16string& edWidth,
                     std::u16string& edHeight);

// An edit's integer: optional blanks, an optional sign, decimal digits, optional blanks, within
// the range of int. False for anything else.
bool ParseImageDimension(std::u16string_view text, int& value);

// The command line's image file name: every "%d" replaced by startLocal as "yyyymmdd", every
// "%t" by "HHnnss" (case-sensitive), and the extension forced to ".png" unless it is one
// already (ASCII case ignored); a name without extension gets ".png".
std::u16string TreemapImageFileName(std::u16string_view value, TDateTime startLocal);

// The image size of the dialog's edits: "" and width and height set when both are integers
// within the bitmap's limits, else the message to show (nothing is drawn then).
std::string CheckImageChoices(const TExportTreemapChoices& choices, int& width, int& height);

// The dialog's drawing: the chosen size, gray and free-space choices (free space never while
// zoomed), every pixel computed (fast mode off). False with a message when the size is not
// acceptable (CheckImageChoices).
bool DialogImageRequest(const TExportTreemapChoices& choices, bool zoomed, TTreemapRequest& request,
                        std::string& error);
inline TTreemapShading DialogImageShading(TTreemapShading screen) {
    screen.tm_FastDraw = false;
    return screen;
}

// The dialog's save on the caller's thread, after the file was chosen (and overwriting
// agreed): draws with every pixel computed into fileName at the chosen size, with the gray
// and free-space choices. The screen picture and its layout stay as they are. A size that is
// not acceptable fails with a message and draws nothing.
TDrawResult SaveTreemapImage(TTreemap& treemap, const std::u16string& fileName,
                             const TExportTreemapChoices& choices);

// The command line's image: the extension statistics are rebuilt (through
// treemap.ExtSizesFilter, the command line's filters, when set), the picture drawn at
// width x height (fast mode as it is) with the gray and free-space choices and written to
// fileName (already fixed up by TreemapImageFileName); allocated selects the allocated sizes.
TDrawResult ExportTreemapImage(TTreemap& treemap, const std::u16string& fileName, int width,
                               int height, bool gray, bool freeSpace, bool allocated);

} // namespace qz

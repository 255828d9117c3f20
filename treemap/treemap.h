// The treemap of the scans on screen: layout, shading and labels drawn into an off-screen
// 24-bit bitmap, for the window (which shows the bitmap and adds the mouse) or for a PNG file.
//
// The drawing walks the display tree (ui/displaytree.h) in its order, which is made a
// descending size order for the duration of the drawing. Every folder's children are laid out
// by the squarified layout (layout.h) into the folder's rectangle, every leaf is shaded as a
// cushion (shading.h) in the colour of its extension (ui/extstats.h), and each node laid out
// keeps its rectangle in Data.MapRect for hit-testing and outlines. Several scans share the
// width side by side, each optionally followed by its drive's free space.
//
// Everything runs on the caller's thread (the user-interface thread); nothing here depends on
// widgets. Text needs a QGuiApplication (qtcanvas.h: TOffscreenGui for headless runs); without
// one the picture is drawn without labels.
#pragma once

#include "engine/scan.h"
#include "treemap/bitmap.h"
#include "treemap/canvas.h"
#include "treemap/geometry.h"
#include "treemap/shading.h"
#include "views/displaytree.h"
#include "views/extstats.h"

#include <chrono>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qz {

// Margin around the treemap on screen (an image file has none).
inline constexpr int kScreenMargin = 4;
// Scans with more records than this report progress while they are drawn.
inline constexpr size_t kProgressRecordThreshold = 1000000;

// n * dpi / 96, rounded to nearest (pixel sizes that follow the monitor's scaling).
int ScaleToDpi(int n, int dpi);

// Progress of the drawing of a very large scan, for the window's status line and bar.
struct TTreemapProgress {
    std::function<void()> Begin;           // "drawing the treemap..." shown, bar at 0
    std::function<void(int percent)> Step; // a new percentage (steps of at least 20)
    std::function<void()> End;             // restore the status text and the bar
};

enum class TDrawOutcome : uint8_t {
    Skipped, // nothing to draw or nothing changed; no message
    Drawn,   // the bitmap (screen) or the file was made
    Failed,  // Error holds the message to show
};

struct TDrawResult {
    TDrawOutcome Outcome = TDrawOutcome::Skipped;
    std::string Error; // UTF-8, for Failed: the word for error, ": " and the cause
};

class TTreemap {
public:
    TTreemap(TDisplayTree& tree, TExtColors& colors);
    ~TTreemap();
    TTreemap(const TTreemap&) = delete;
    TTreemap& operator=(const TTreemap&) = delete;

    // ---- what the window provides
    std::vector<TNTFS_FILES*> Scans; // the scans on screen, in order
    std::vector<TDiskSizeInfo> ds;   // one per scan (missing entries: no drive figures)
    bool ShowAllocatedSize = true;   // "Show Allocated Size on Treemap"
    bool ShowFileNames = true;       // "Show Folder and File Names on Treemap"
    bool ShowFreeSpace = false;      // "Show Free Space on Treemap" (the screen's choice)
    int Dpi = 96;                    // of the monitor showing the window
    // Pixel height of the window's reference label font; 0: 12 * dpi / 96. The treemap text is
    // 80 % of it.
    int LabelFontHeight = 0;
    std::string FontFamily;           // empty: the application's default font
    TTreemapShading Shading;          // tm_* values, GradientEnabled, tm_FastDraw
    TFormatSettings Format;           // how the labels write sizes
    TTreeNode* TreemapRoot = nullptr; // zoom node; nil = all scans
    // Replaces a folder strip's text (name and separator) of a scan root by the source
    // picker's entry for it; nil or an empty result keeps the text (see PickerEntryFor).
    std::function<std::u16string(std::u16string_view)> RootDisplayName;
    TTreemapProgress Progress;
    // When the extension statistics are rebuilt, a file must also pass this test to count
    // (a headless run's command-line include and exclude filters); nil: every file counts.
    std::function<bool(PMFT_RECORD)> ExtSizesFilter;
    // Scans with more records than this are drawn with progress.
    size_t ProgressRecordThreshold = kProgressRecordThreshold;
    // Makes the canvas for a drawing's labels; nil: a Qt canvas when a QGuiApplication exists.
    std::function<std::unique_ptr<TTreemapCanvas>(TTreemapBitmap&, int fontPixelSize)>
        CanvasFactory;

    // ---- state of the last drawing
    int LastTreemapWidth = 0, LastTreemapHeight = 0; // size of the last screen drawing
    std::vector<TctRectangle> FreeSpaceRect;         // per scan; empty without free space
    std::chrono::steady_clock::time_point DrawTreemapStart;
    TTreemapBitmap Image; // the last screen picture (empty after a file drawing)

    // Height of a folder's name strip and the least width that gets one (follow Dpi).
    int iTREEMAPTEXTHEIGHT() const { return ScaleToDpi(12, Dpi); }
    int iTREEMAPTEXTMINWIDTH() const { return ScaleToDpi(80, Dpi); }
    int FontPixelSize() const;

    // Draws the treemap. fileName empty: for the screen, into Image, with the 4-pixel margin;
    // skipped when the size equals the last screen drawing's and neither rebuild nor force
    // is set. fileName given: a width x height bitmap without margin written as a PNG file
    // (missing folders created), replacing an existing file. rebuild first rebuilds the
    // extension statistics; gray draws in shades of gray; withFreeSpace adds each drive's free
    // space when the treemap is not zoomed. No scans: Skipped. A size below 1 or too large, or a
    // file that cannot be written: Failed with the message (a screen size below 1: Skipped).
    TDrawResult DrawTreemap(bool withFreeSpace, bool rebuild, bool gray,
                            const std::u16string& fileName, int width, int height, bool force);
    // The screen drawing with the window's choices: free space when ShowFreeSpace is set and
    // the treemap is not zoomed.
    TDrawResult RedrawTreemap(bool rebuild, bool force, int width, int height);

    // Forgets every node's rectangle (before zoom, unzoom and option changes).
    void FreeTreemapRects();

    // The display node under (x, y) below node, from the stored rectangles: a node without
    // children answers itself; otherwise the first child (in tree order) whose rectangle holds
    // the point, recursively, else node itself when its rectangle holds the point, else nil.
    // With testFreeSpace, a point in FreeSpaceRect[i] gives nil and freeIndex = i
    // (otherwise freeIndex = -1).
    TTreeNode* HitTestTreemap(TTreeNode* node, int x, int y, int& freeIndex,
                              bool testFreeSpace = false);
    // The node under (x, y) of the current picture: inside the zoom node, or in each scan's
    // top-level node in turn.
    TTreeNode* NodeAt(int x, int y, int& freeIndex);

    TDisplayTree& Tree() { return FTree; }
    TExtColors& Colors() { return FColors; }

private:
    // The drawing itself into bitmap (background, zoom or scans with free space).
    void Paint(TTreemapBitmap& bitmap, int margin, bool withFreeSpace, bool gray);

    TDisplayTree& FTree;
    TExtColors& FColors;
};

// The source picker's entry that names a scan root: the first entry that starts with "[" +
// text without its last character + "]" (ASCII case ignored), so that "C:\" matches
// "[C:] System"; empty when none does.
std::u16string PickerEntryFor(std::u16string_view text, std::span<const std::u16string> entries);

} // namespace qz

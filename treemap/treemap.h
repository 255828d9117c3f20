// The treemap of the scans: layout, shading and labels drawn into an off-screen 24-bit
// bitmap, for the window (which shows the bitmap and adds the mouse) or for a PNG file.
//
// PaintTreemap draws one picture from a value that holds every choice (TTreemapSettings, the
// window's or the command line's; TTreemapRequest, this drawing's) and the scans' records,
// which it only reads. Every folder's children are laid out by the squarified layout
// (layout.h) in descending size order, every leaf is shaded as a cushion (shading.h) in the
// colour of its extension (views/extstats.h), and each item laid out keeps its rectangle in
// the picture's own layout (maplayout.h) for hit-testing and outlines; the folder tree is
// never written to. Several scans share the width side by side, each optionally followed by
// its drive's free space.
//
// PaintTreemap may run on any thread (the window draws on a thread of its own, treemap/
// renderer.h); TTreemap wraps it for a caller that draws on its own thread (headless runs,
// tests, benchmarks). Nothing here depends on widgets. Text needs a QGuiApplication
// (qtcanvas.h: TOffscreenGui for headless runs); without one the picture has no labels.
#pragma once

#include "engine/scan.h"
#include "treemap/bitmap.h"
#include "treemap/canvas.h"
#include "treemap/childorder.h"
#include "treemap/geometry.h"
#include "treemap/maplayout.h"
#include "treemap/paintlist.h"
#include "treemap/shading.h"
#include "views/displaytree.h"
#include "views/extstats.h"

#include <atomic>
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

// Progress of the drawing of a very large scan, for the window's status line and bar. Called
// on the drawing's thread.
struct TTreemapProgress {
    std::function<void()> Begin;           // "drawing the treemap..." shown, bar at 0
    std::function<void(int percent)> Step; // a new percentage (steps of at least 20)
    std::function<void()> End;             // restore the status text and the bar
};

enum class TDrawOutcome : uint8_t {
    Skipped,   // nothing to draw or nothing changed; no message
    Drawn,     // the bitmap (screen) or the file was made
    Failed,    // Error holds the message to show
    Cancelled, // a newer request stopped the drawing
};

struct TDrawResult {
    TDrawOutcome Outcome = TDrawOutcome::Skipped;
    std::string Error; // UTF-8, for Failed: the word for error, ": " and the cause
};

// The choices a drawing follows (the window's, or the command line's), copied into every
// drawing so that they may change while a drawing runs.
struct TTreemapSettings {
    std::vector<TNTFS_FILES*> Scans;      // the scans on screen, in order
    std::vector<TDiskSizeInfo> DiskSizes; // one per scan (missing entries: no drive figures)
    bool ShowAllocatedSize = true;        // "Show Allocated Size on Treemap"
    bool ShowFileNames = true;            // "Show Folder and File Names on Treemap"
    bool ShowFreeSpace = false;           // "Show Free Space on Treemap" (the screen's choice)
    int Dpi = 96;                         // of the monitor showing the window
    // Pixel height of the window's reference label font; 0: 12 * dpi / 96. The treemap text is
    // 80 % of it.
    int LabelFontHeight = 0;
    std::string FontFamily;  // empty: the application's default font
    TTreemapShading Shading; // tm_* values, GradientEnabled, tm_FastDraw
    TFormatSettings Format;  // how the labels write sizes
    // Replaces a folder strip's text (name and separator) of a scan root by the source
    // picker's entry for it; nil or an empty result keeps the text (see PickerEntryFor).
    // Called on the drawing's thread.
    std::function<std::u16string(std::u16string_view)> RootDisplayName;
    TTreemapProgress Progress;
    // When the extension statistics are rebuilt, a file must also pass this test to count
    // (a headless run's command-line include and exclude filters); nil: every file counts.
    std::function<bool(PMFT_RECORD)> ExtSizesFilter;
    // When the statistics are rebuilt and this holds the scans' tallies (one per scan, as their
    // threads made them for the records as they are), they are ranked from it instead of from
    // every file again (ExtSizesFilter must then be nil).
    std::vector<TExtTally> ExtTallies;
    // Scans with more records than this are drawn with progress.
    size_t ProgressRecordThreshold = kProgressRecordThreshold;
    // Threads that make the pixels, each a band of rows (the drawing's own thread is one of
    // them); the bytes of a picture are the same for any number. With more than one,
    // CanvasFactory is called once per band, on the band's thread.
    int PixelThreads = 1;
    // 2: the layout is made on two threads, each laying out part of the items (TWalkSettings::
    // Threads); the layout and the picture are the same as from one.
    int WalkThreads = 1;
    // Makes the canvas for a drawing's labels; nil: a Qt canvas when a QGuiApplication exists.
    std::function<std::unique_ptr<TTreemapCanvas>(TTreemapBitmap&, int fontPixelSize)>
        CanvasFactory;

    // Height of a folder's name strip and the least width that gets one (follow Dpi).
    int iTREEMAPTEXTHEIGHT() const { return ScaleToDpi(12, Dpi); }
    int iTREEMAPTEXTMINWIDTH() const { return ScaleToDpi(80, Dpi); }
    int FontPixelSize() const;
};

// A node of the folder tree as the treemap knows it: a record, or a folder's file group.
struct TMapNodeRef {
    PMFT_RECORD Rec = nullptr; // a file group: its folder's record
    bool Group = false;
    explicit operator bool() const { return Rec != nullptr; }
    bool operator==(const TMapNodeRef&) const = default;
};
// The reference of a display node (nil: none).
TMapNodeRef MapNodeOf(const TTreeNode* n);

// What one drawing draws.
struct TTreemapRequest {
    int Width = 0, Height = 0;
    bool ForFile = false;       // no margin (a screen picture has a 4-pixel black one)
    bool WithFreeSpace = false; // each drive's free space (never while zoomed)
    bool Gray = false;          // shades of gray
    bool Rebuild = false;       // rebuild the extension statistics first
    TMapNodeRef Zoom;           // the node the picture shows; none: all scans
    // The folder tree's file-group rule and its order: children in descending order of their
    // sizes when the tree is sorted so, else of their allocated sizes.
    TDisplayTree::TGroupRule Groups;
    bool OrderBySize = false;
};
// The request's group rule and order taken from tree's load and sort.
void FollowTree(TTreemapRequest& request, const TDisplayTree& tree);

// A drawn picture: the bitmap and the layout it was drawn from.
struct TTreemapPicture {
    TTreemapBitmap Image;
    TTreemapLayout Layout;
    // What the drawing recorded before making the pixels (kept so that the next drawing into
    // this picture reuses its storage).
    TPaintList Paint;
};

// Draws request into picture (its bitmap made at the requested size; a screen drawing reuses
// a bitmap of that size already there). Rebuild first rebuilds colors' extension statistics.
// No scans: Skipped. A size below 1, or one too large to allocate: Failed with the message
// (Skipped for a screen). cancel set meanwhile: Cancelled, the picture incomplete. orders, when
// given, keeps the folders' sorted children for the next drawing of the same scans (it is
// emptied first when request.Rebuild is set, and when the choices it was kept for differ).
TDrawResult PaintTreemap(const TTreemapSettings& settings, const TTreemapRequest& request,
                         TExtColors& colors, TTreemapPicture& picture,
                         const std::atomic<bool>* cancel = nullptr, TChildOrders* orders = nullptr);

// Writes a drawn bitmap as a PNG file, creating missing folders first (a folder that cannot
// be made shows as the write's failure) and replacing an existing file.
TDrawResult SaveTreemapPicture(const std::u16string& fileName, const TTreemapBitmap& image);

// What one TTreemap::DrawTreemap call draws.
struct TDrawTreemapOptions {
    bool WithFreeSpace = false; // each drive's free space (never while zoomed)
    bool Rebuild = false;       // rebuild the extension statistics first
    bool Gray = false;          // shades of gray
    bool Force = false;         // screen: draw even when the size equals the last drawing's
    std::u16string FileName{};  // empty: the screen picture; else a PNG file written
};

// The treemap drawn on the caller's thread: headless runs, tests and benchmarks.
class TTreemap : public TTreemapSettings {
public:
    TTreemap(TDisplayTree& tree, TExtColors& colors);
    ~TTreemap();
    TTreemap(const TTreemap&) = delete;
    TTreemap& operator=(const TTreemap&) = delete;

    TTreeNode* TreemapRoot = nullptr; // zoom node; nil = all scans

    // ---- state of the last screen drawing
    int LastTreemapWidth = 0, LastTreemapHeight = 0;
    std::chrono::steady_clock::time_point DrawTreemapStart;
    TTreemapPicture Screen; // the last screen picture and its layout
    const TTreemapBitmap& Image() const { return Screen.Image; }
    const TTreemapLayout& Layout() const { return Screen.Layout; }
    const std::vector<TctRectangle>& FreeSpaceRect() const { return Screen.Layout.FreeSpaceRect; }

    // Draws the treemap. No FileName: for the screen, into Screen, with the 4-pixel margin;
    // skipped when the size equals the last screen drawing's and neither Rebuild nor Force
    // is set. FileName given: a width x height bitmap without margin written as a PNG file
    // (missing folders created), replacing an existing file; the screen picture and its
    // layout stay as they are. No scans: Skipped. A size below 1 or too large, or a file that
    // cannot be written: Failed with the message (a screen size below 1: Skipped).
    TDrawResult DrawTreemap(int width, int height, const TDrawTreemapOptions& options = {});
    // The screen drawing with the window's choices: free space when ShowFreeSpace is set and
    // the treemap is not zoomed.
    TDrawResult RedrawTreemap(bool rebuild, bool force, int width, int height);

    // The item of the screen picture under (x, y) (free space tested when it is shown).
    TMapHit NodeAt(int x, int y) const;
    // The display node of a layout item of the screen picture (children made as needed).
    TTreeNode* DisplayNodeOf(uint32_t item);
    // The screen layout's item of a display node; kNoItem when the picture has none.
    uint32_t ItemOf(const TTreeNode* n) const;

    TDisplayTree& Tree() { return FTree; }
    TExtColors& Colors() { return FColors; }

private:
    TDisplayTree& FTree;
    TExtColors& FColors;
};

// The display node that shows layout item `item`: found from the node of the layout's top
// item (zoomNode when the layout is zoomed, else the scan's top-level node) by matching the
// records down the item's ancestors; children are made as needed. Nil when the tree does not
// show it.
TTreeNode* FindDisplayNode(TDisplayTree& tree, const TTreemapLayout& layout, uint32_t item,
                           TTreeNode* zoomNode);

// The source picker's entry that names a scan root: the first entry that starts with "[" +
// text without its last character + "]" (ASCII case ignored), so that "C:\" matches
// "[C:] System"; empty when none does.
std::u16string PickerEntryFor(std::u16string_view text, std::span<const std::u16string> entries);

} // namespace qz

#include "treemap/treemap.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "treemap/labels.h"
#include "treemap/pngwriter.h"
#include "treemap/qtcanvas.h"
#include "treemap/walk.h"
#include "views/format.h"

#include <cmath>
#include <filesystem>

namespace qz {

namespace {

PMFT_RECORD ScanRoot(TNTFS_FILES* scan) {
    if (!scan || scan->WasError) return nullptr;
    if (scan->MFTRoot) return scan->MFTRoot;
    const int k = scan->SearchDirRec(5);
    return k >= 0 && size_t(k) < scan->FDirList.size() ? scan->FDirList[size_t(k)] : nullptr;
}

// Restores the tree's sort order when the drawing ends, however it ends.
class TSortForDrawing {
public:
    explicit TSortForDrawing(TDisplayTree& tree) : FTree(tree) {
        const int col = tree.SortColumn();
        const bool bySize = col == tcPercent || col == tcSize || col == tcAllocated;
        if (bySize && tree.SortDirection() == TSortDirection::Descending) return;
        FColumn = col;
        FDirection = tree.SortDirection();
        FRestore = true;
        tree.Sort(tcAllocated, TSortDirection::Descending);
    }
    ~TSortForDrawing() {
        if (FRestore) FTree.Sort(FColumn, FDirection);
    }

private:
    TDisplayTree& FTree;
    int FColumn = tcAllocated;
    TSortDirection FDirection = TSortDirection::Descending;
    bool FRestore = false;
};

// Keeps the walk's canvas: made on first use, finished (painter ended) on destruction.
struct TCanvasHolder {
    std::unique_ptr<TTreemapCanvas> canvas;
    bool made = false;
};

bool InRect(const TMapRect& r, int x, int y) {
    // Inclusive bounds; the sums are taken in floating point before truncation.
    return std::trunc(r.Left) <= float(x) && float(x) <= std::trunc(r.Left + r.Width) &&
           std::trunc(r.Top) <= float(y) && float(y) <= std::trunc(r.Top + r.Height);
}

} // namespace

int ScaleToDpi(int n, int dpi) {
    // Integer multiply-then-divide, rounded to nearest.
    const long long p = (long long)n * dpi;
    return int(p >= 0 ? (p + 48) / 96 : -((-p + 48) / 96));
}

std::u16string PickerEntryFor(std::u16string_view text, std::span<const std::u16string> entries) {
    if (text.empty()) return {};
    std::u16string prefix = u"[";
    prefix.append(text.substr(0, text.size() - 1));
    prefix.push_back(u']');
    for (const auto& e : entries)
        if (e.size() >= prefix.size() &&
            EqualsIgnoreAsciiCase(std::u16string_view(e).substr(0, prefix.size()), prefix))
            return e;
    return {};
}

TTreemap::TTreemap(TDisplayTree& tree, TExtColors& colors) : FTree(tree), FColors(colors) {}
TTreemap::~TTreemap() = default;

int TTreemap::FontPixelSize() const {
    const int label = LabelFontHeight > 0 ? LabelFontHeight : ScaleToDpi(12, Dpi);
    return std::max(1, int(double(label) * 0.8));
}

void TTreemap::FreeTreemapRects() {
    FTree.FreeTreemapRects();
}

TDrawResult TTreemap::RedrawTreemap(bool rebuild, bool force, int width, int height) {
    return DrawTreemap(ShowFreeSpace && !TreemapRoot, rebuild, false, u"", width, height, force);
}

TDrawResult TTreemap::DrawTreemap(bool withFreeSpace, bool rebuild, bool gray,
                                  const std::u16string& fileName, int width, int height,
                                  bool force) {
    TDrawResult result;
    const bool toFile = !fileName.empty();
    if (Scans.empty()) return result;
    if (rebuild)
        FColors.BuildExtSizes(Scans, ExtSizesFilter);
    else if (!toFile && !force && width == LastTreemapWidth && height == LastTreemapHeight)
        return result;
    // The screen picture goes until the new one is ready (its rectangles are being replaced);
    // a picture of the same size lends its memory to the new one.
    TTreemapBitmap bitmap;
    if (!toFile) {
        LastTreemapWidth = width;
        LastTreemapHeight = height;
        if (Image.Width() == width && Image.Height() == height) bitmap = std::move(Image);
        Image.Release();
        if (width < 1 || height < 1) return result;
    }
    DrawTreemapStart = std::chrono::steady_clock::now();

    std::string error;
    if (bitmap.Empty() && !bitmap.Create(width, height, error)) {
        result.Outcome = TDrawOutcome::Failed;
        result.Error = std::string(tr("Error")) + ": " + error;
        return result;
    }
    {
        TSortForDrawing sorted(FTree);
        Paint(bitmap, toFile ? 0 : kScreenMargin, withFreeSpace, gray);
    }
    if (!toFile) {
        Image = std::move(bitmap);
        result.Outcome = TDrawOutcome::Drawn;
        return result;
    }
    // The file drawing replaced the rectangles: the screen picture no longer matches them.
    Image.Release();
    LastTreemapWidth = LastTreemapHeight = 0;
    const std::string path = Utf16ToUtf8(fileName);
    {
        std::error_code ec; // a folder that cannot be made shows as the save's failure
        const auto parent = std::filesystem::path(path).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    }
    if (!WriteTreemapPng(path, bitmap, error)) {
        result.Outcome = TDrawOutcome::Failed;
        result.Error = std::string(tr("Error")) + ": " + error;
        DebugLog("Treemap image not saved: " + error, 1);
        return result;
    }
    result.Outcome = TDrawOutcome::Drawn;
    return result;
}

void TTreemap::Paint(TTreemapBitmap& bitmap, int m, bool withFreeSpace, bool gray) {
    // Background: black, the drawing area in the darkened colour of the last palette slot
    // (taken before gray mode, so gray pictures share it).
    const int W0 = bitmap.Width(), H0 = bitmap.Height();
    if (m > 0) { // the black frame around the area (each pixel written once)
        bitmap.FillRect(0, 0, W0, m, 0x000000);
        bitmap.FillRect(0, H0 - m, W0, H0, 0x000000);
        bitmap.FillRect(0, m, m, H0 - m, 0x000000);
        bitmap.FillRect(W0 - m, m, W0, H0 - m, 0x000000);
    }
    bitmap.FillRect(m, m, W0 - m, H0 - m, FColors.BackgroundColor());
    const float xmin = float(m), xmax = float(bitmap.Width() - m);
    const float ymin = float(m), ymax = float(bitmap.Height() - m);
    const float W = xmax - xmin;

    TWalkSettings ws;
    ws.Allocated = ShowAllocatedSize;
    ws.Names = ShowFileNames;
    ws.Gray = gray;
    ws.TextHeight = iTREEMAPTEXTHEIGHT();
    ws.TextMinWidth = iTREEMAPTEXTMINWIDTH();
    ws.Shading = gray ? Shading.Gray() : Shading;
    ws.RootDisplayName = &RootDisplayName;
    ws.Format = Format;

    TCanvasHolder holder;
    const int fontPx = FontPixelSize();
    // One canvas per drawing, made when the first label or frame needs it.
    auto canvasSource = [&]() -> TTreemapCanvas* {
        if (holder.made) return holder.canvas.get();
        holder.made = true;
        if (CanvasFactory)
            holder.canvas = CanvasFactory(bitmap, fontPx);
        else if (GuiAvailable())
            holder.canvas = std::make_unique<TQtCanvas>(bitmap, fontPx, FontFamily);
        else
            DebugLog("Treemap labels left out: no QGuiApplication", 1);
        return holder.canvas.get();
    };
    TTreemapWalk walk(FTree, FColors, bitmap, ws, canvasSource);

    if (TreemapRoot) {
        FreeSpaceRect.clear();
        walk.Draw(TreemapRoot, TctRectangle(xmin, xmax, ymin, ymax));
        *FTree.EnsureMapRect(TreemapRoot) = TMapRect{xmin, ymin, W, ymax - ymin};
        return;
    }

    const size_t count = Scans.size();
    auto info = [&](size_t i) -> const TDiskSizeInfo* { return i < ds.size() ? &ds[i] : nullptr; };
    auto hasDrive = [&](size_t i) {
        const TDiskSizeInfo* d = info(i);
        return withFreeSpace && d && d->hastotalandfreespace;
    };
    // Totals of every scan's share (the whole drive where its free space is shown).
    uint64_t T = 0, Ta = 0;
    for (size_t i = 0; i < count; ++i) {
        if (hasDrive(i)) {
            T += info(i)->totalspace;
            Ta += info(i)->totalspace;
        } else if (PMFT_RECORD r = ScanRoot(Scans[i])) {
            T += r->SubFoldersTotSize;
            Ta += r->SubFoldersTotSizeAlloc;
        }
    }
    const uint64_t Tm = ShowAllocatedSize ? Ta : T;
    if (withFreeSpace)
        FreeSpaceRect.assign(count, TctRectangle());
    else
        FreeSpaceRect.clear();
    auto share = [&](uint64_t s) -> float {
        return Tm == 0 ? 0.0f : float(std::trunc(double(s) / double(Tm) * double(W)));
    };

    float x = xmin;
    for (size_t i = 0; i < count; ++i) {
        PMFT_RECORD root = ScanRoot(Scans[i]);
        uint64_t S = 0;
        if (hasDrive(i))
            S = info(i)->totalspace > info(i)->freespace ? info(i)->totalspace - info(i)->freespace
                                                         : 0;
        else if (root)
            S = ShowAllocatedSize ? root->SubFoldersTotSizeAlloc : root->SubFoldersTotSize;
        const TctRectangle strip(x, x + share(S), ymin, ymax);
        float next = strip.XMax() + 1;
        if (hasDrive(i)) {
            const TDiskSizeInfo& d = *info(i);
            const float fx0 = strip.XMax() + 1;
            const float fx1 = std::min(fx0 + share(d.freespace), float(bitmap.Width() - 1));
            const TctRectangle fr(fx0, fx1, ymin, ymax);
            FreeSpaceRect[i] = fr;
            TCushionSurface surface;
            const float h = Shading.tm_H * Shading.tm_F;
            AddRidge(surface, fr, h);
            AddRidge(surface, fr, h);
            RenderCushion(bitmap, fr, gray ? kGrayFreeSpaceColor : FColors.FreeSpaceColor(),
                          surface, ws.Shading);
            const int th = iTREEMAPTEXTHEIGHT();
            const int left = int(std::trunc(fr.XMin())), top = int(std::trunc(fr.YMin()));
            const int w = int(std::trunc(fr.Width())), hh = int(std::trunc(fr.Height()));
            if (ShowFileNames && hh > th && w >= iTREEMAPTEXTMINWIDTH()) {
                if (TTreemapCanvas* freeCanvas = canvasSource()) {
                    const std::u16string head =
                        Utf8ToUtf16(tr("Free Space")) + u": [" + d.itempath + u"]";
                    DrawFittedLine(*freeCanvas, TIntRect{left + 4, top, left + w - 2, top + th},
                                   head, u" " + FormatSize(d.freespace, Format));
                }
            }
            next = fr.XMax() + 1;
        }
        TTreeNode* top = root ? FTree.RootNodeOf(root) : nullptr;
        if (top) {
            const bool progress = Scans[i]->FFileList.size() > ProgressRecordThreshold;
            // The status line and the bar are restored however the walk ends.
            struct TEndProgress {
                const std::function<void()>* end;
                ~TEndProgress() {
                    if (end && *end) (*end)();
                }
            } endProgress{progress ? &Progress.End : nullptr};
            if (progress) {
                if (Progress.Begin) Progress.Begin();
                walk.SetProgress(&Progress, Scans[i]->FFileList.size());
            } else {
                walk.SetProgress(nullptr, 0);
            }
            walk.Draw(top, strip);
            *FTree.EnsureMapRect(top) =
                TMapRect{strip.XMin(), strip.YMin(), strip.Width(), strip.Height()};
        }
        x = next;
    }
}

TTreeNode* TTreemap::HitTestTreemap(TTreeNode* node, int x, int y, int& freeIndex,
                                    bool testFreeSpace) {
    freeIndex = -1;
    if (!node) return nullptr;
    if (!FTree.HasChildren(node)) return node;
    if (testFreeSpace) {
        for (size_t i = 0; i < FreeSpaceRect.size(); ++i) {
            const TctRectangle& r = FreeSpaceRect[i];
            if (std::trunc(r.XMin()) <= float(x) && float(x) <= std::trunc(r.XMax()) &&
                std::trunc(r.YMin()) <= float(y) && float(y) <= std::trunc(r.YMax())) {
                freeIndex = int(i);
                return nullptr;
            }
        }
    }
    // Children never made have no rectangles: no need to make them here.
    const auto kids = node->ChildrenMade() ? FTree.Children(node) : std::span<TTreeNode* const>();
    for (TTreeNode* c : kids) {
        if (!c->Data.MapRect || !InRect(*c->Data.MapRect, x, y)) continue;
        if (TTreeNode* hit = HitTestTreemap(c, x, y, freeIndex, testFreeSpace)) return hit;
        break;
    }
    if (!node->Data.MapRect) return nullptr;
    return InRect(*node->Data.MapRect, x, y) ? node : nullptr;
}

TTreeNode* TTreemap::NodeAt(int x, int y, int& freeIndex) {
    freeIndex = -1;
    const bool freeShown = ShowFreeSpace && !FreeSpaceRect.empty();
    if (TreemapRoot) return HitTestTreemap(TreemapRoot, x, y, freeIndex, false);
    for (TNTFS_FILES* scan : Scans) {
        PMFT_RECORD root = ScanRoot(scan);
        TTreeNode* top = root ? FTree.RootNodeOf(root) : nullptr;
        if (!top) continue;
        if (TTreeNode* hit = HitTestTreemap(top, x, y, freeIndex, freeShown)) return hit;
    }
    return nullptr;
}

} // namespace qz

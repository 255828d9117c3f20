#include "treemap/treemap.h"

#include "base/debuglog.h"
#include "base/text.h"
#include "treemap/labels.h"
#include "treemap/pngwriter.h"
#include "treemap/qtcanvas.h"
#include "treemap/walk.h"
#include "views/format.h"

#include <climits>
#include <cmath>
#include <filesystem>
#include <system_error>
#include <thread>

namespace qz {

namespace {

PMFT_RECORD ScanRoot(TNTFS_FILES* scan) {
    if (!scan || scan->WasError) return nullptr;
    if (scan->MFTRoot) return scan->MFTRoot;
    const int k = scan->SearchDirRec(5);
    return k >= 0 && size_t(k) < scan->FDirList.size() ? scan->FDirList[size_t(k)] : nullptr;
}

// The walk's choices for this drawing.
TWalkSettings WalkSettings(const TTreemapSettings& st, const TTreemapRequest& rq,
                           const std::atomic<bool>* cancel) {
    TWalkSettings ws;
    ws.Allocated = st.ShowAllocatedSize;
    ws.Names = st.ShowFileNames;
    ws.Gray = rq.Gray;
    ws.TextHeight = st.iTREEMAPTEXTHEIGHT();
    ws.TextMinWidth = st.iTREEMAPTEXTMINWIDTH();
    ws.Shading = rq.Gray ? st.Shading.Gray() : st.Shading;
    ws.RootDisplayName = &st.RootDisplayName;
    ws.Format = st.Format;
    ws.Groups = rq.Groups;
    ws.OrderBySize = rq.OrderBySize;
    ws.Cancel = cancel;
    ws.Threads = st.WalkThreads;
    return ws;
}

// Records the drawing (background, zoom or scans with free space) into the picture's paint
// list and lays it out into its layout. False when cancel stopped it.
bool Record(const TTreemapSettings& st, const TTreemapRequest& rq, TExtColors& colors,
            TTreemapPicture& picture, const TWalkSettings& ws, const std::atomic<bool>* cancel) {
    const TTreemapBitmap& bitmap = picture.Image;
    TTreemapLayout& layout = picture.Layout;
    TPaintList& paint = picture.Paint;
    const int m = rq.ForFile ? 0 : kScreenMargin;
    // Background: black, the drawing area in the darkened colour of the last palette slot
    // (taken before gray mode, so gray pictures share it).
    const int W0 = bitmap.Width(), H0 = bitmap.Height();
    if (m > 0) { // the black frame around the area (each pixel written once)
        paint.Fill(0, 0, W0, m, 0x000000);
        paint.Fill(0, H0 - m, W0, H0, 0x000000);
        paint.Fill(0, m, m, H0 - m, 0x000000);
        paint.Fill(W0 - m, m, W0, H0 - m, 0x000000);
    }
    paint.Fill(m, m, W0 - m, H0 - m, colors.BackgroundColor());
    const float xmin = float(m), xmax = float(bitmap.Width() - m);
    const float ymin = float(m), ymax = float(bitmap.Height() - m);
    const float W = xmax - xmin;
    const bool gray = rq.Gray;
    TTreemapWalk walk(layout, colors, paint, ws);

    if (rq.Zoom) {
        layout.Zoomed = true;
        TMapItem top;
        top.Rect = TMapRect{xmin, ymin, W, ymax - ymin};
        top.Rec = rq.Zoom.Rec;
        top.Flags = rq.Zoom.Group ? TMapItem::kFileGroup : 0;
        layout.Tops.push_back(layout.Add(top));
        walk.Draw(layout.Tops.back(), TctRectangle(xmin, xmax, ymin, ymax));
        return !walk.Cancelled();
    }

    const size_t count = st.Scans.size();
    auto info = [&](size_t i) -> const TDiskSizeInfo* {
        return i < st.DiskSizes.size() ? &st.DiskSizes[i] : nullptr;
    };
    auto hasDrive = [&](size_t i) {
        const TDiskSizeInfo* d = info(i);
        return rq.WithFreeSpace && d && d->hastotalandfreespace;
    };
    // Totals of every scan's share (the whole drive where its free space is shown).
    uint64_t T = 0, Ta = 0;
    for (size_t i = 0; i < count; ++i) {
        if (hasDrive(i)) {
            T += info(i)->totalspace;
            Ta += info(i)->totalspace;
        } else if (PMFT_RECORD r = ScanRoot(st.Scans[i])) {
            T += r->SubFoldersTotSize;
            Ta += r->SubFoldersTotSizeAlloc;
        }
    }
    const uint64_t Tm = st.ShowAllocatedSize ? Ta : T;
    if (rq.WithFreeSpace) layout.FreeSpaceRect.assign(count, TctRectangle());
    auto share = [&](uint64_t s) -> float {
        return Tm == 0 ? 0.0f : float(std::trunc(double(s) / double(Tm) * double(W)));
    };

    float x = xmin;
    for (size_t i = 0; i < count; ++i) {
        PMFT_RECORD root = ScanRoot(st.Scans[i]);
        uint64_t S = 0;
        if (hasDrive(i))
            S = info(i)->totalspace > info(i)->freespace ? info(i)->totalspace - info(i)->freespace
                                                         : 0;
        else if (root)
            S = st.ShowAllocatedSize ? root->SubFoldersTotSizeAlloc : root->SubFoldersTotSize;
        const TctRectangle strip(x, x + share(S), ymin, ymax);
        float next = strip.XMax() + 1;
        if (hasDrive(i)) {
            const TDiskSizeInfo& d = *info(i);
            const float fx0 = strip.XMax() + 1;
            const float fx1 = std::min(fx0 + share(d.freespace), float(bitmap.Width() - 1));
            const TctRectangle fr(fx0, fx1, ymin, ymax);
            layout.FreeSpaceRect[i] = fr;
            TCushionSurface surface;
            const float h = st.Shading.tm_H * st.Shading.tm_F;
            AddRidge(surface, fr, h);
            AddRidge(surface, fr, h);
            paint.Cushion(fr, gray ? kGrayFreeSpaceColor : colors.FreeSpaceColor(), surface);
            const int th = st.iTREEMAPTEXTHEIGHT();
            const int left = int(std::trunc(fr.XMin())), top = int(std::trunc(fr.YMin()));
            const int w = int(std::trunc(fr.Width())), hh = int(std::trunc(fr.Height()));
            if (st.ShowFileNames && hh > th && w >= st.iTREEMAPTEXTMINWIDTH()) {
                const std::u16string head =
                    Utf8ToUtf16(tr("Free Space")) + u": [" + d.itempath + u"]";
                paint.FittedLine(TIntRect{left + 4, top, left + w - 2, top + th}, head,
                                 u" " + FormatSize(d.freespace, st.Format));
            }
            next = fr.XMax() + 1;
        }
        // The scan's top-level node: the folder tree shows roots no filter took out.
        if (root && TDisplayTree::ShowsRecord(root)) {
            TMapItem top;
            top.Rect = TMapRect{strip.XMin(), strip.YMin(), strip.Width(), strip.Height()};
            top.Rec = root;
            layout.Tops.push_back(layout.Add(top));
            const size_t records = st.Scans[i]->FFileList.size();
            const bool progress = records > st.ProgressRecordThreshold;
            // The status line and the bar are restored however the walk ends.
            struct TEndProgress {
                const std::function<void()>* end;
                ~TEndProgress() {
                    if (end && *end) (*end)();
                }
            } endProgress{progress ? &st.Progress.End : nullptr};
            if (progress) {
                if (st.Progress.Begin) st.Progress.Begin();
                walk.SetProgress(&st.Progress, records);
            } else {
                walk.SetProgress(nullptr, 0);
            }
            walk.Draw(layout.Tops.back(), strip);
            if (walk.Cancelled()) return false;
        }
        x = next;
    }
    return !(cancel && cancel->load(std::memory_order_relaxed));
}

// Makes the pixels of the recorded drawing: in bands of rows, one per thread, when asked for.
// False when cancel stopped it.
bool MakePixels(const TTreemapSettings& st, const TWalkSettings& ws, TTreemapPicture& picture,
                const std::atomic<bool>* cancel) {
    TTreemapBitmap& bitmap = picture.Image;
    const int fontPx = st.FontPixelSize();
    const int height = bitmap.Height();
    const int bands = std::clamp(st.PixelThreads, 1, std::max(1, height / 16));
    // Each band makes its own canvas when its first label or frame needs it, and finishes it
    // (its painter ended) on its own thread.
    auto replay = [&](int band) {
        const int top = band == 0 ? INT_MIN : int(int64_t(height) * band / bands);
        const int bottom = band == bands - 1 ? INT_MAX : int(int64_t(height) * (band + 1) / bands);
        std::unique_ptr<TTreemapCanvas> canvas;
        auto source = [&]() -> TTreemapCanvas* {
            if (st.CanvasFactory)
                canvas = st.CanvasFactory(bitmap, fontPx);
            else if (GuiAvailable())
                canvas = std::make_unique<TQtCanvas>(bitmap, fontPx, st.FontFamily);
            else if (band == 0)
                DebugLog("Treemap labels left out: no QGuiApplication", 1);
            return canvas.get();
        };
        picture.Paint.Replay(bitmap, top, bottom, ws.Shading, source, cancel);
    };
    std::vector<std::thread> helpers;
    try {
        for (int band = 1; band < bands; ++band) helpers.emplace_back(replay, band);
    } catch (const std::system_error&) { // no thread to be had: the remaining bands here
        for (int band = int(helpers.size()) + 1; band < bands; ++band) replay(band);
    }
    replay(0);
    for (std::thread& t : helpers) t.join();
    return !(cancel && cancel->load(std::memory_order_relaxed));
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

int TTreemapSettings::FontPixelSize() const {
    const int label = LabelFontHeight > 0 ? LabelFontHeight : ScaleToDpi(12, Dpi);
    return std::max(1, int(double(label) * 0.8));
}

TMapNodeRef MapNodeOf(const TTreeNode* n) {
    if (!n) return {};
    if (n->IsFileGroup) return {n->FolderRec(), true};
    return {n->Data.Rec, false};
}

void FollowTree(TTreemapRequest& request, const TDisplayTree& tree) {
    request.Groups = tree.GroupRule();
    request.OrderBySize =
        tree.SortColumn() == tcSize && tree.SortDirection() == TSortDirection::Descending;
}

TDrawResult PaintTreemap(const TTreemapSettings& settings, const TTreemapRequest& request,
                         TExtColors& colors, TTreemapPicture& picture,
                         const std::atomic<bool>* cancel, TChildOrders* orders) {
    TDrawResult result;
    picture.Layout.Clear();
    if (settings.Scans.empty()) return result;
    if (request.Rebuild && !settings.ExtTallies.empty() && !settings.ExtSizesFilter)
        colors.BuildExtSizes(std::span<const TExtTally>(settings.ExtTallies));
    else if (request.Rebuild)
        colors.BuildExtSizes(settings.Scans, settings.ExtSizesFilter);
    const int width = request.Width, height = request.Height;
    if (!request.ForFile && (width < 1 || height < 1)) {
        picture.Image.Release();
        return result;
    }
    // A bitmap of the same size is drawn over (every pixel is written).
    if (picture.Image.Width() != width || picture.Image.Height() != height) {
        std::string error;
        if (!picture.Image.Create(width, height, error)) {
            result.Outcome = TDrawOutcome::Failed;
            result.Error = std::string(tr("Error")) + ": " + error;
            return result;
        }
    }
    picture.Paint.Clear();
    TWalkSettings ws = WalkSettings(settings, request, cancel);
    if (orders) {
        // Rebuilt statistics mean changed records: the kept orders may be wrong.
        if (request.Rebuild) orders->Clear();
        orders->Use(TChildOrders::TKey{settings.Scans, ws.Allocated, ws.OrderBySize, ws.Groups});
        ws.Orders = orders;
    }
    if (!Record(settings, request, colors, picture, ws, cancel) ||
        !MakePixels(settings, ws, picture, cancel)) {
        result.Outcome = TDrawOutcome::Cancelled;
        return result;
    }
    picture.Layout.Finish();
    result.Outcome = TDrawOutcome::Drawn;
    return result;
}

TDrawResult SaveTreemapPicture(const std::u16string& fileName, const TTreemapBitmap& image) {
    TDrawResult result;
    const std::string path = Utf16ToUtf8(fileName);
    {
        std::error_code ec; // a folder that cannot be made shows as the save's failure
        const auto parent = std::filesystem::path(path).parent_path();
        if (!parent.empty()) std::filesystem::create_directories(parent, ec);
    }
    std::string error;
    if (!WriteTreemapPng(path, image, error)) {
        result.Outcome = TDrawOutcome::Failed;
        result.Error = std::string(tr("Error")) + ": " + error;
        DebugLog("Treemap image not saved: " + error, 1);
        return result;
    }
    result.Outcome = TDrawOutcome::Drawn;
    return result;
}

// ---------------------------------------------------------------- TTreemap

TTreemap::TTreemap(TDisplayTree& tree, TExtColors& colors) : FTree(tree), FColors(colors) {}
TTreemap::~TTreemap() = default;

TDrawResult TTreemap::RedrawTreemap(bool rebuild, bool force, int width, int height) {
    return DrawTreemap(
        width, height,
        {.WithFreeSpace = ShowFreeSpace && !TreemapRoot, .Rebuild = rebuild, .Force = force});
}

TDrawResult TTreemap::DrawTreemap(int width, int height, const TDrawTreemapOptions& options) {
    const bool toFile = !options.FileName.empty();
    if (Scans.empty()) return {};
    if (!options.Rebuild && !toFile && !options.Force && width == LastTreemapWidth &&
        height == LastTreemapHeight)
        return {};
    TTreemapRequest rq;
    rq.Width = width;
    rq.Height = height;
    rq.ForFile = toFile;
    rq.WithFreeSpace = options.WithFreeSpace && !TreemapRoot;
    rq.Gray = options.Gray;
    rq.Rebuild = options.Rebuild;
    rq.Zoom = MapNodeOf(TreemapRoot);
    FollowTree(rq, FTree);
    DrawTreemapStart = std::chrono::steady_clock::now();
    if (!toFile) {
        LastTreemapWidth = width;
        LastTreemapHeight = height;
        return PaintTreemap(*this, rq, FColors, Screen);
    }
    TTreemapPicture picture;
    const TDrawResult r = PaintTreemap(*this, rq, FColors, picture);
    if (r.Outcome != TDrawOutcome::Drawn) return r;
    return SaveTreemapPicture(options.FileName, picture.Image);
}

TMapHit TTreemap::NodeAt(int x, int y) const {
    return Screen.Layout.HitTest(x, y, ShowFreeSpace && !FreeSpaceRect().empty());
}

TTreeNode* TTreemap::DisplayNodeOf(uint32_t item) {
    return FindDisplayNode(FTree, Screen.Layout, item, TreemapRoot);
}

uint32_t TTreemap::ItemOf(const TTreeNode* n) const {
    const TMapNodeRef ref = MapNodeOf(n);
    return Screen.Layout.Find(ref.Rec, ref.Group);
}

TTreeNode* FindDisplayNode(TDisplayTree& tree, const TTreemapLayout& layout, uint32_t item,
                           TTreeNode* zoomNode) {
    if (item >= layout.Items.size()) return nullptr;
    std::vector<uint32_t> chain; // item up to its top item
    for (uint32_t i = item; i != kNoItem; i = layout.Items[i].Parent) chain.push_back(i);
    const TMapItem& top = layout.Items[chain.back()];
    const TMapNodeRef topRef{top.Rec, top.IsFileGroup()};
    TTreeNode* node = layout.Zoomed ? zoomNode : tree.RootNodeOf(top.Rec);
    if (!node || MapNodeOf(node) != topRef) return nullptr;
    for (size_t k = chain.size() - 1; k-- > 0;) {
        const TMapItem& it = layout.Items[chain[k]];
        const TMapNodeRef want{it.Rec, it.IsFileGroup()};
        TTreeNode* found = nullptr;
        for (TTreeNode* c : tree.Children(node))
            if (MapNodeOf(c) == want) {
                found = c;
                break;
            }
        if (!found) return nullptr;
        node = found;
    }
    return node;
}

} // namespace qz

#include "treemap/walk.h"

#include "engine/tree.h"
#include "treemap/labels.h"
#include "treemap/layout.h"
#include "treemap/treemap.h"
#include "views/format.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <system_error>
#include <thread>

namespace qz {

namespace {

constexpr TColor kFrameDark = 0x303030;  // left and bottom edge of a folder's frame
constexpr TColor kFrameLight = 0x404040; // right and top edge
constexpr size_t kPrefetchAhead = 8;     // children whose records are fetched ahead

int Trunc(float v) {
    if (!(v > -1.0e9f)) return v != v ? 0 : -1000000000;
    if (v > 1.0e9f) return 1000000000;
    return int(v);
}

// Round to nearest, halves to even (the default rounding mode).
float RoundEven(float v) {
    return std::nearbyint(v);
}

} // namespace

TTreemapWalk::TTreemapWalk(TTreemapLayout& layout, TExtColors& colors, TPaintList& paint,
                           const TWalkSettings& settings)
    : FLayout(layout), FColors(colors), FPaint(paint), S(settings) {}

void TTreemapWalk::SetProgress(const TTreemapProgress* progress, size_t records) {
    FProgress = progress;
    FProgressTotal = records;
    FProgressCounter = 1;
    FProgressShown = 0;
}

void TTreemapWalk::Draw(uint32_t item, const TctRectangle& bounds) {
    FCancelled = false;
    if (item >= FLayout.Items.size()) return;
    FStack.clear();
    FStack.push_back(Frame{item, bounds, TCushionSurface{}, S.Shading.tm_H, true});
    if (S.Threads > 1 && !S.RecordCushions)
        DrawShared();
    else
        Run();
}

void TTreemapWalk::Run() {
    while (!FStack.empty()) {
        if (S.Cancel && S.Cancel->load(std::memory_order_relaxed)) {
            FCancelled = true;
            FStack.clear();
            return;
        }
        const Frame f = FStack.back();
        FStack.pop_back();
        DrawTreemapNode(f);
    }
}

void TTreemapWalk::DrawShared() {
    // The stack holds siblings (and their parents' later siblings) in reverse layout order, the
    // largest next: while that one holds most of the area waiting, it is drawn here, which
    // puts its children on the stack in its place.
    auto area = [](const Frame& f) {
        return f.Bounds.Width() >= 1 && f.Bounds.Height() >= 1
                   ? double(f.Bounds.Width()) * double(f.Bounds.Height())
                   : 0.0;
    };
    constexpr int kMaxSteps = 64;
    size_t handed = 0;
    for (int step = 0; step < kMaxSteps && !FStack.empty(); ++step) {
        if (S.Cancel && S.Cancel->load(std::memory_order_relaxed)) break;
        double total = 0;
        for (const Frame& f : FStack) total += area(f);
        if (FStack.size() >= 2 && area(FStack.back()) <= 0.6 * total) {
            // The helper takes the frames at the bottom (drawn last) up to half of the area.
            double bottom = 0;
            while (handed + 1 < FStack.size() && bottom < 0.5 * total)
                bottom += area(FStack[handed++]);
            break;
        }
        const Frame f = FStack.back();
        FStack.pop_back();
        DrawTreemapNode(f);
    }
    if (handed == 0) {
        Run();
        return;
    }
    const std::vector<Frame> frames(FStack.begin(), FStack.begin() + std::ptrdiff_t(handed));
    FStack.erase(FStack.begin(), FStack.begin() + std::ptrdiff_t(handed));

    // The helper's own layout (starting with the items made so far, which its frames refer to),
    // paint list, colour lookup (it keeps a cache) and kept orders (a folder met by the other
    // thread in an earlier drawing is sorted again, a folder's order is the same either way).
    const size_t shared = FLayout.Items.size();
    TTreemapLayout helperLayout;
    helperLayout.Items.assign(FLayout.Items.begin(), FLayout.Items.end());
    TExtColors helperColors(FColors);
    TPaintList helperPaint;
    TWalkSettings helperSettings = S;
    helperSettings.Threads = 1;
    if (S.Orders) helperSettings.Orders = &S.Orders->Second();
    TTreemapWalk helper(helperLayout, helperColors, helperPaint, helperSettings);
    helper.FStack = frames;
    std::exception_ptr helperError;
    auto runHelper = [&] {
        try {
            helper.Run();
        } catch (...) {
            helperError = std::current_exception();
        }
    };
    std::thread thread;
    try {
        thread = std::thread(runHelper);
    } catch (const std::system_error&) { // no thread to be had: after this walk's part
    }
    std::exception_ptr ownError;
    try {
        Run();
    } catch (...) {
        ownError = std::current_exception();
    }
    if (thread.joinable())
        thread.join();
    else if (!ownError)
        runHelper();
    if (ownError) std::rethrow_exception(ownError);
    if (helperError) std::rethrow_exception(helperError);
    if (FCancelled || helper.FCancelled) {
        FCancelled = true;
        return;
    }
    Join(helper, shared, frames);
}

void TTreemapWalk::Join(TTreemapWalk& helper, size_t shared, std::span<const Frame> frames) {
    // The helper's items after the shared ones follow this walk's; indexes into them move by
    // the same amount (those below `shared` name the same items in both layouts).
    const uint32_t first = uint32_t(shared);
    const uint32_t offset = uint32_t(FLayout.Items.size() - shared);
    auto moved = [&](uint32_t i) { return i != kNoItem && i >= first ? i + offset : i; };
    const std::vector<TMapItem>& theirs = helper.FLayout.Items;
    for (const Frame& f : frames) { // the shared items the helper gave children
        TMapItem& it = FLayout.Items[f.Item];
        it.FirstChild = moved(theirs[f.Item].FirstChild);
        it.ChildCount = theirs[f.Item].ChildCount;
    }
    FLayout.Items.reserve(FLayout.Items.size() + theirs.size() - shared);
    for (size_t i = shared; i < theirs.size(); ++i) {
        TMapItem it = theirs[i];
        it.Parent = moved(it.Parent);
        it.FirstChild = moved(it.FirstChild);
        FLayout.Items.push_back(it);
    }
    FPaint.Append(helper.FPaint);
    FStats.Visited += helper.FStats.Visited;
    FStats.Leaves += helper.FStats.Leaves;
    FStats.Skipped += helper.FStats.Skipped;
    FStats.Layouts += helper.FStats.Layouts;
    FStats.Children += helper.FStats.Children;
    FStats.Shared += helper.FStats.Visited;
}

void TTreemapWalk::CountSkipped(PMFT_RECORD r, bool group) {
    if (!FProgress || group || FProgressTotal == 0) return;
    FProgressCounter += uint64_t(uint32_t(r->SubFoldersNumFiles())) +
                        uint64_t(uint32_t(r->SubFoldersNumDirs())) + 1;
    const int pct = int(FProgressCounter * 100 / FProgressTotal);
    if (std::abs(pct - FProgressShown) >= 20) {
        FProgressShown = pct;
        if (FProgress->Step) FProgress->Step(pct);
    }
}

bool TTreemapWalk::ListChildren(const TMapItem& item) {
    FKids.clear();
    const PMFT_RECORD r = item.Rec;
    const auto kids = r->Children();
    const size_t m = kids.size();
    uint32_t pos = 0;
    auto prefetch = [&](size_t i) {
        // The children's records lie anywhere in memory: ask for them a few steps ahead.
        if (i + kPrefetchAhead < m) __builtin_prefetch(kids[i + kPrefetchAhead]);
    };
    if (item.IsFileGroup()) {
        for (size_t i = 0; i < m; ++i) {
            prefetch(i);
            const PMFT_RECORD c = kids[i];
            if (TDisplayTree::ShowsRecord(c) && !TDisplayTree::IsFolderLike(c))
                FKids.push_back(Kid{0, pos++, c, false});
        }
        return !FKids.empty();
    }
    size_t files = 0;
    for (size_t i = 0; i < m; ++i) {
        prefetch(i);
        const PMFT_RECORD c = kids[i];
        if (!TDisplayTree::ShowsRecord(c)) continue;
        if (TDisplayTree::IsFolderLike(c))
            FKids.push_back(Kid{0, pos++, c, false});
        else
            ++files;
    }
    if (S.Groups.Groups(r, files)) {
        FKids.push_back(Kid{0, pos++, r, true});
    } else if (files > 0) {
        for (const PMFT_RECORD c : kids)
            if (TDisplayTree::ShowsRecord(c) && !TDisplayTree::IsFolderLike(c))
                FKids.push_back(Kid{0, pos++, c, false});
    }
    return !FKids.empty();
}

std::span<const TChildEntry> TTreemapWalk::SortedChildren(const TMapItem& item) {
    if (!item.IsFileGroup() && item.Rec->Children().empty()) { // a file: nothing to keep
        FListed = false;
        return {};
    }
    if (S.Orders) {
        const TChildOrders::TFound kept = S.Orders->Find(item.Rec, item.IsFileGroup());
        if (kept.Known) {
            FListed = kept.Listed;
            return kept.Kids;
        }
    }
    FListed = ListChildren(item);
    FSorted.clear();
    if (FListed) {
        FStats.Children += FKids.size();
        // The children that take area, in descending size order (a sorted copy of the list;
        // ties by name, in the same direction, as the folder tree sorts them).
        size_t n = 0;
        for (const Kid& k : FKids) {
            const uint64_t size = TreemapSize(k.Rec, k.Group, S.Allocated);
            if (size == 0 || (S.Allocated && k.Rec->DoNotCountFlag)) continue;
            Kid& kept = FKids[n++];
            kept = k;
            kept.Key = TreemapSize(k.Rec, k.Group, !S.OrderBySize);
        }
        FKids.resize(n);
        std::sort(FKids.begin(), FKids.end(), [](const Kid& a, const Kid& b) {
            if (a.Key != b.Key) return a.Key > b.Key;
            if (int c = TDisplayTree::CompareRecordNames(a.Rec, b.Rec)) return c > 0;
            return a.Pos < b.Pos;
        });
        FSorted.reserve(n);
        for (const Kid& k : FKids)
            FSorted.push_back(
                TChildEntry{k.Rec, TreemapSize(k.Rec, k.Group, S.Allocated), k.Group});
    }
    if (S.Orders) S.Orders->Add(item.Rec, item.IsFileGroup(), FListed, FSorted);
    return FSorted;
}

void TTreemapWalk::DrawTreemapNode(const Frame& f) {
    const TctRectangle& b = f.Bounds;
    // A subtree smaller than a pixel is neither drawn nor laid out.
    if (!(b.Width() >= 1) || !(b.Height() >= 1)) {
        ++FStats.Skipped;
        if (!f.Top) CountSkipped(FLayout.Items[f.Item].Rec, FLayout.Items[f.Item].IsFileGroup());
        return;
    }
    ++FStats.Visited;
    TCushionSurface s = f.Surface;
    if (!f.Top) AddRidge(s, b, f.CushionHeight);

    const TMapItem item = FLayout.Items[f.Item]; // a copy: the array grows below
    const std::span<const TChildEntry> kids = SortedChildren(item);
    if (!FListed) {
        Leaf(item, b, s);
        return;
    }
    TMapRect area{b.XMin(), b.YMin(), b.Width(), b.Height()};
    if (S.Names && !item.IsFileGroup() && area.Height > float(S.TextHeight) &&
        area.Width >= float(S.TextMinWidth)) {
        if (S.Shade) NameStrip(item, b);
        area.Top += float(S.TextHeight + 1);
        area.Height -= float(S.TextHeight + 2);
        area.Left += 2;
        area.Width -= 4;
    }
    const size_t n = kids.size();
    if (n == 0) return;
    FSizes.resize(n);
    for (size_t i = 0; i < n; ++i) FSizes[i] = kids[i].Size;
    FRects.resize(n);
    FPlaced.resize(n);
    // Items beyond the layout's limits get no rectangle and are not drawn; the ones placed
    // are always the first.
    const size_t placed = SquarifyChildren(1, 0, FSizes, area, FRects, FPlaced);
    ++FStats.Layouts;

    // Children whose rectangle rounds to less than a pixel either way are neither drawn nor
    // kept in the layout (a point there belongs to this item): at a screen's size most records
    // of a large scan are such, and keeping them would cost the layout, its lookup and its
    // grids far more than the visible items.
    const uint32_t first = uint32_t(FLayout.Items.size());
    FBounds.clear();
    for (size_t i = 0; i < placed; ++i) {
        const TMapRect& r = FRects[i];
        const TctRectangle cb(RoundEven(r.Left), RoundEven(r.Left + r.Width), RoundEven(r.Top),
                              RoundEven(r.Top + r.Height));
        if (!(cb.Width() >= 1) || !(cb.Height() >= 1)) {
            ++FStats.Skipped;
            CountSkipped(kids[i].Rec, kids[i].Group);
            continue;
        }
        TMapItem c;
        c.Rect = r;
        c.Rec = kids[i].Rec;
        c.Parent = f.Item;
        c.Flags = kids[i].Group ? TMapItem::kFileGroup : 0;
        FLayout.Items.push_back(c);
        FBounds.push_back(cb);
    }
    FLayout.Items[f.Item].FirstChild = first;
    FLayout.Items[f.Item].ChildCount = uint32_t(FBounds.size());

    // Children are drawn in layout order: push them last first.
    const float h = f.CushionHeight * S.Shading.tm_F;
    for (size_t i = FBounds.size(); i-- > 0;)
        FStack.push_back(Frame{first + uint32_t(i), FBounds[i], s, h, false});
}

void TTreemapWalk::Leaf(const TMapItem& item, const TctRectangle& b, const TCushionSurface& s) {
    ++FStats.Leaves;
    if (!S.Shade && !S.RecordCushions) return;
    const PMFT_RECORD rec = item.Rec;
    const TColor color = S.Gray ? kGrayCushionColor : FColors.GetFileColor(rec->Name());
    if (S.RecordCushions) S.RecordCushions->push_back(TCushionJob{b, color, s});
    if (!S.Shade) return;
    FPaint.Cushion(b, color, s);
    if (!S.Names || !(float(S.TextHeight) < b.Height()) || !(float(S.TextMinWidth) < b.Width()))
        return;
    const bool group = item.IsFileGroup();
    const bool file = !rec->IsFolder() && !group;
    uint64_t size;
    if (file)
        size = S.Allocated ? rec->AllocSize : rec->FileSize;
    else
        size = TreemapSize(rec, group, S.Allocated);
    FSuffix = u"(" + FormatSize(size, S.Format) + u")";
    const TIntRect rect{Trunc(b.XMin()) + 4, Trunc(b.YMin()), Trunc(b.XMax() - 2), Trunc(b.YMax())};
    FPaint.WrappedLabel(rect, rec->Name(), FSuffix);
}

void TTreemapWalk::NameStrip(const TMapItem& item, const TctRectangle& b) {
    const PMFT_RECORD rec = item.Rec;
    const char16_t sep = PathSeparatorOf(rec);
    FText.assign(rec->Name());
    if (FText.empty() || FText.back() != sep) FText.push_back(sep);
    if (S.RootDisplayName && *S.RootDisplayName) {
        std::u16string shown = (*S.RootDisplayName)(FText);
        if (!shown.empty()) FText.swap(shown);
    }
    const uint64_t size = S.Allocated ? rec->SubFoldersTotSizeAlloc : rec->SubFoldersTotSize;
    FSuffix = u" (" + FormatSize(size, S.Format) + u")";
    const float width = b.Width(), height = b.Height();
    const TIntRect rect{Trunc(b.XMin()) + 4, Trunc(b.YMin()), Trunc(b.XMin() + width - 2),
                        Trunc(b.YMin() + float(S.TextHeight))};
    FPaint.FittedLine(rect, FText, FSuffix);
    // The frame around the folder: dark on the left and bottom, lighter on the right and top.
    const int x0 = Trunc(b.XMin()), y0 = Trunc(b.YMin());
    const int x1 = Trunc(b.XMin() + width), y1 = Trunc(b.YMin() + height);
    FPaint.Line(x0, y0, x0, y1, kFrameDark);
    FPaint.Line(x0, y1, x1, y1, kFrameDark);
    FPaint.Line(x1, y1, x1, y0, kFrameLight);
    FPaint.Line(x1, y0, x0, y0, kFrameLight);
}

} // namespace qz

#include "treemap/maplayout.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace qz {

namespace {

// Folders with more children than this get a hit-testing grid.
constexpr uint32_t kGridMinChildren = 48;
// Cells per grid: about one for every two children, within these bounds.
constexpr int64_t kGridMinCells = 16, kGridMaxCells = 1 << 16;

uint64_t KeyOf(PMFT_RECORD rec, bool group) {
    return uint64_t(reinterpret_cast<uintptr_t>(rec)) | (group ? 1u : 0u);
}

uint64_t Mix(uint64_t key) {
    return (key >> 3) * 0x9E3779B97F4A7C15ull;
}

// trunc(v) as a pixel coordinate, far values held at safe ends.
int64_t PixelOf(float v) {
    if (!(v > -1.0e9f)) return v != v ? 0 : -1000000000;
    if (v > 1.0e9f) return 1000000000;
    return int64_t(v);
}

bool Deleted(const TMapItem& i) {
    return i.Rec && i.Rec->Deleted;
}

} // namespace

bool MapRectHolds(const TMapRect& r, int x, int y) {
    return std::trunc(r.Left) <= float(x) && float(x) <= std::trunc(r.Left + r.Width) &&
           std::trunc(r.Top) <= float(y) && float(y) <= std::trunc(r.Top + r.Height);
}

void TTreemapLayout::Clear() {
    Items.clear();
    Tops.clear();
    FreeSpaceRect.clear();
    Zoomed = false;
    FSlots.clear();
    FGridOf.clear();
    FGrids.clear();
}

void TTreemapLayout::Finish() {
    // Record lookup: open addressing over a power-of-two table at most half full.
    const size_t n = Items.size();
    size_t cap = std::bit_ceil(std::max<size_t>(16, n * 2));
    FSlots.assign(cap, 0);
    const size_t mask = cap - 1;
    const int shift = 64 - std::countr_zero(cap);
    for (size_t i = 0; i < n; ++i) {
        const TMapItem& it = Items[i];
        size_t s = size_t(Mix(KeyOf(it.Rec, it.IsFileGroup())) >> shift);
        while (FSlots[s] != 0) s = (s + 1) & mask;
        FSlots[s] = uint32_t(i + 1);
    }
    FGridOf.clear();
    FGrids.clear();
    for (size_t i = 0; i < n; ++i)
        if (Items[i].ChildCount > kGridMinChildren) BuildGrid(uint32_t(i));
}

uint32_t TTreemapLayout::Find(PMFT_RECORD rec, bool group) const {
    if (FSlots.empty() || !rec) return kNoItem;
    const size_t mask = FSlots.size() - 1;
    const int shift = 64 - std::countr_zero(FSlots.size());
    const uint64_t key = KeyOf(rec, group);
    for (size_t s = size_t(Mix(key) >> shift);; s = (s + 1) & mask) {
        const uint32_t v = FSlots[s];
        if (v == 0) return kNoItem;
        const TMapItem& it = Items[v - 1];
        if (KeyOf(it.Rec, it.IsFileGroup()) == key) return v - 1;
    }
}

void TTreemapLayout::BuildGrid(uint32_t item) {
    const std::span<const TMapItem> kids = Children(item);
    // The children's bounding box in whole pixels (edges included, as the hit test counts).
    int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
    for (const TMapItem& c : kids) {
        x0 = std::min(x0, PixelOf(c.Rect.Left));
        y0 = std::min(y0, PixelOf(c.Rect.Top));
        x1 = std::max(x1, PixelOf(c.Rect.Left + c.Rect.Width));
        y1 = std::max(y1, PixelOf(c.Rect.Top + c.Rect.Height));
    }
    if (x1 < x0 || y1 < y0) return;
    TGrid g;
    g.X0 = int(x0);
    g.Y0 = int(y0);
    g.Width = x1 - x0 + 1;
    g.Height = y1 - y0 + 1;
    const int64_t cells =
        std::clamp<int64_t>(int64_t(kids.size()) / 2, kGridMinCells, kGridMaxCells);
    g.Cols = std::clamp<int64_t>(
        int64_t(std::lround(std::sqrt(double(cells) * double(g.Width) / double(g.Height)))), 1,
        g.Width);
    g.Rows = std::clamp<int64_t>(cells / g.Cols, 1, g.Height);
    auto col = [&](int64_t x) {
        return std::clamp<int64_t>((x - x0) * g.Cols / g.Width, 0, g.Cols - 1);
    };
    auto row = [&](int64_t y) {
        return std::clamp<int64_t>((y - y0) * g.Rows / g.Height, 0, g.Rows - 1);
    };
    g.Start.assign(size_t(g.Cols * g.Rows + 1), 0);
    // Two passes: count per cell, then place (children in order, so each cell stays in
    // layout order).
    for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) {
            for (size_t k = 1; k < g.Start.size(); ++k) g.Start[k] += g.Start[k - 1];
            g.Entries.resize(g.Start.back());
        }
        std::vector<uint32_t> fill;
        if (pass == 1) fill.assign(g.Start.begin(), g.Start.end() - 1);
        for (size_t k = 0; k < kids.size(); ++k) {
            const TMapItem& c = kids[k];
            const int64_t c0 = col(PixelOf(c.Rect.Left)),
                          c1 = col(PixelOf(c.Rect.Left + c.Rect.Width));
            const int64_t r0 = row(PixelOf(c.Rect.Top)),
                          r1 = row(PixelOf(c.Rect.Top + c.Rect.Height));
            for (int64_t r = r0; r <= r1; ++r)
                for (int64_t cc = c0; cc <= c1; ++cc) {
                    const size_t cell = size_t(r * g.Cols + cc);
                    if (pass == 0)
                        ++g.Start[cell + 1];
                    else
                        g.Entries[fill[cell]++] = Items[item].FirstChild + uint32_t(k);
                }
        }
    }
    FGridOf.emplace_back(item, uint32_t(FGrids.size()));
    FGrids.push_back(std::move(g));
}

const TTreemapLayout::TGrid* TTreemapLayout::GridOf(uint32_t item) const {
    auto it = std::lower_bound(FGridOf.begin(), FGridOf.end(), std::make_pair(item, 0u));
    return it != FGridOf.end() && it->first == item ? &FGrids[it->second] : nullptr;
}

uint32_t TTreemapLayout::ChildAt(uint32_t item, int x, int y) const {
    const TMapItem& it = Items[item];
    auto holds = [&](uint32_t c) {
        return MapRectHolds(Items[c].Rect, x, y) && !Deleted(Items[c]);
    };
    if (const TGrid* g = it.ChildCount > kGridMinChildren ? GridOf(item) : nullptr) {
        const int64_t dx = int64_t(x) - g->X0, dy = int64_t(y) - g->Y0;
        if (dx < 0 || dy < 0 || dx >= g->Width || dy >= g->Height) return kNoItem;
        const size_t cell = size_t((dy * g->Rows / g->Height) * g->Cols + dx * g->Cols / g->Width);
        for (uint32_t k = g->Start[cell]; k < g->Start[cell + 1]; ++k)
            if (holds(g->Entries[k])) return g->Entries[k];
        return kNoItem;
    }
    for (uint32_t c = it.FirstChild; c < it.FirstChild + it.ChildCount; ++c)
        if (holds(c)) return c;
    return kNoItem;
}

uint32_t TTreemapLayout::Descend(uint32_t top, int x, int y) const {
    if (top >= Items.size() || Deleted(Items[top]) || !MapRectHolds(Items[top].Rect, x, y))
        return kNoItem;
    uint32_t cur = top;
    for (uint32_t c; (c = ChildAt(cur, x, y)) != kNoItem;) cur = c;
    return cur;
}

TMapHit TTreemapLayout::HitTest(int x, int y, bool testFreeSpace) const {
    TMapHit hit;
    if (testFreeSpace)
        for (size_t i = 0; i < FreeSpaceRect.size(); ++i) {
            const TctRectangle& r = FreeSpaceRect[i];
            if (r == TctRectangle()) continue; // a scan without drive figures
            if (std::trunc(r.XMin()) <= float(x) && float(x) <= std::trunc(r.XMax()) &&
                std::trunc(r.YMin()) <= float(y) && float(y) <= std::trunc(r.YMax())) {
                hit.FreeIndex = int(i);
                return hit;
            }
        }
    for (uint32_t top : Tops)
        if ((hit.Item = Descend(top, x, y)) != kNoItem) return hit;
    return hit;
}

} // namespace qz

#include "treemap/layout.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace qz {

namespace {

constexpr double kLeastSide = 0.00001; // smallest side length that counts in a ratio

// Aspect ratio of one item of side s in a strip of thickness t; 0 where it is not defined.
inline double Ratio(double t, double s) {
    double r;
    if (t > s && s > kLeastSide)
        r = t / s;
    else if (t > kLeastSide)
        r = s / t;
    else
        r = 0;
    return std::isinf(r) ? 0 : r;
}

} // namespace

size_t SquarifyChildren(int k0, size_t start, std::span<const uint64_t> sizes, TMapRect area,
                        std::span<TMapRect> rects, std::span<uint8_t> placed) {
    const size_t count = sizes.size();
    if (start >= count) return 0;
    for (size_t i = start; i < count; ++i) placed[i] = 0;
    double x = area.Left, y = area.Top, w = area.Width, h = area.Height;
    // R: the sum of the sizes still to be laid out.
    uint64_t R = 0;
    for (size_t i = start; i < count; ++i) R += sizes[i];
    size_t done = 0;
    std::vector<uint64_t> heap;
    for (int strip = k0;; ++strip) {
        if (start >= count) return done;
        if (start >= kLayoutItemLimit) strip = std::max(strip, kLayoutStripLimit);
        if (strip >= kLayoutStripLimit) return done;

        const bool column = w >= h;
        const double L = column ? h : w, B = column ? w : h;
        // Find the row: extend while the worst ratio does not get worse.
        uint64_t G = 0, smin = UINT64_MAX, smax = 0;
        double best = 0;
        size_t n = count - start;
        bool useHeap = false; // some sides became negligible: see below
        heap.clear();
        for (size_t k = start; k < count; ++k) {
            const uint64_t sk = sizes[k];
            G += sk;
            const double t = R ? double(G) / double(R) * B : 0;
            const double scale = G ? L / double(G) : 0;
            smin = std::min(smin, sk);
            smax = std::max(smax, sk);
            // The ratio falls with the side up to t and rises beyond it, so the worst item is
            // the largest one or the smallest whose side counts (sides at or below kLeastSide
            // give ratios under 1, which never raise the worst above its start of 1).
            double worst = std::max(1.0, Ratio(t, double(smax) * scale));
            if (!useHeap && double(smin) * scale > kLeastSide) {
                worst = std::max(worst, Ratio(t, double(smin) * scale));
            } else {
                // The scale only falls as the strip grows, so a side that stopped counting
                // never counts again: keep the counting sizes in a min-heap.
                auto counts = [&](uint64_t s) { return double(s) * scale > kLeastSide; };
                if (!useHeap) {
                    useHeap = true;
                    for (size_t j = start; j <= k; ++j)
                        if (counts(sizes[j])) heap.push_back(sizes[j]);
                    std::make_heap(heap.begin(), heap.end(), std::greater<>());
                } else if (counts(sk)) {
                    heap.push_back(sk);
                    std::push_heap(heap.begin(), heap.end(), std::greater<>());
                }
                while (!heap.empty() && !counts(heap.front())) {
                    std::pop_heap(heap.begin(), heap.end(), std::greater<>());
                    heap.pop_back();
                }
                if (!heap.empty()) worst = std::max(worst, Ratio(t, double(heap.front()) * scale));
            }
            if (k == start) best = worst;
            if (worst > best) {
                n = k - start;
                G -= sk;
                break;
            }
            best = worst;
        }
        const double t = R ? double(G) / double(R) * B : 0;
        const double scale = G ? L / double(G) : 0;
        // Place the row.
        double p = column ? y : x;
        for (size_t j = start; j < start + n; ++j) {
            const double len = double(sizes[j]) * scale;
            TMapRect& r = rects[j];
            if (column)
                r = {float(x), float(p), float(t), float(len)};
            else
                r = {float(p), float(y), float(len), float(t)};
            placed[j] = 1;
            p += len;
        }
        done += n;
        start += n;
        R -= G;
        // The rest of the area.
        const double a = t > kLeastStripAdvance ? t : kLeastStripAdvance;
        if (column) {
            x += a;
            w -= a;
        } else {
            y += a;
            h -= a;
        }
        if ((column ? w : h) > kLeastStripAdvance) continue;
        // Too thin for another strip: the remaining items share what is left.
        for (size_t j = start; j < count; ++j) {
            rects[j] = {float(x), float(y), float(w), float(h)};
            placed[j] = 1;
        }
        return done + (count - start);
    }
}

} // namespace qz

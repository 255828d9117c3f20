// Syntax colouring of filter boxes as a pure function of the text: which code units are drawn
// in the highlight colour. The window only draws the runs.
#include "filters/filters.h"

#include <algorithm>
#include <cmath>

namespace qz {

namespace {

bool IsMarker(char16_t c) {
    return c == u'!' || c == u'<' || c == u'=' || c == u'>';
}

char16_t Upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}

bool WordAt(std::u16string_view t, size_t p, std::u16string_view upperWord) {
    if (t.size() - p < upperWord.size()) return false;
    for (size_t i = 0; i < upperWord.size(); ++i)
        if (Upper(t[p + i]) != upperWord[i]) return false;
    return true;
}

// A marker at q followed by a character that is not a space.
bool MarkerThenText(std::u16string_view t, size_t q) {
    return q + 1 < t.size() && IsMarker(t[q]) && t[q + 1] != u' ';
}

bool StartsHighlight(std::u16string_view t, size_t p) {
    char16_t c = t[p];
    if ((c == u'!' || c == u'/' || c == u'<' || c == u'=' || c == u'>') && p + 1 < t.size() &&
        t[p + 1] != u' ')
        return true;
    for (std::u16string_view w : {u"PATHLEN", u"NAMELEN", u"DUPSIZE", u"DUPCOUNT"})
        if (WordAt(t, p, w) && MarkerThenText(t, p + w.size())) return true;
    if ((c == u'A' || c == u'a' || c == u'S' || c == u's') && MarkerThenText(t, p + 1)) return true;
    return false;
}

} // namespace

std::vector<bool> FilterHighlightMask(std::u16string_view text) {
    std::vector<bool> mask(text.size(), false);
    bool inside = false, highlight = false;
    for (size_t p = 0; p < text.size(); ++p) {
        char16_t c = text[p];
        if (c == u'"') {
            inside = !inside;
        } else if (!inside) {
            if (c == u' ')
                highlight = false;
            else if (!highlight && StartsHighlight(text, p))
                highlight = true;
        }
        mask[p] = highlight;
    }
    return mask;
}

std::vector<TFilterColourRun> FilterColourRuns(std::u16string_view text) {
    std::vector<TFilterColourRun> runs;
    std::vector<bool> mask = FilterHighlightMask(text);
    for (size_t p = 0; p < mask.size(); ++p) {
        if (!runs.empty() && runs.back().highlight == mask[p])
            ++runs.back().length;
        else
            runs.push_back({p, 1, mask[p]});
    }
    return runs;
}

bool FilterTextColourable(std::u16string_view text) {
    for (char16_t c : text) {
        if ((c >= 0x0600 && c <= 0x06FF) || (c >= 0x0750 && c <= 0x077F) ||
            (c >= 0xFB50 && c <= 0xFC3F) || (c >= 0xFE70 && c <= 0xFEFC))
            return false;
    }
    return true;
}

uint32_t FilterHighlightColour() {
    // Teal (0, 128, 128) in hue/lightness/saturation, lightness times 1.25, back to RGB.
    const double r = 0 / 255.0, g = 128 / 255.0, b = 128 / 255.0;
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
    double l = (mx + mn) / 2;
    const double s = mx == mn ? 0 : (l <= 0.5 ? (mx - mn) / (mx + mn) : (mx - mn) / (2 - mx - mn));
    const double h = 180.0 / 360.0; // teal's hue
    l = std::min(1.0, l * 1.25);
    auto hue = [](double m1, double m2, double t) {
        if (t < 0) t += 1;
        if (t > 1) t -= 1;
        if (t < 1.0 / 6) return m1 + (m2 - m1) * 6 * t;
        if (t < 0.5) return m2;
        if (t < 2.0 / 3) return m1 + (m2 - m1) * (2.0 / 3 - t) * 6;
        return m1;
    };
    const double m2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
    const double m1 = 2 * l - m2;
    auto byte = [](double v) { return uint32_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
    return byte(hue(m1, m2, h + 1.0 / 3)) << 16 | byte(hue(m1, m2, h)) << 8 |
           byte(hue(m1, m2, h - 1.0 / 3));
}

} // namespace qz

#include "treemap/labels.h"

#include <vector>

namespace qz {

namespace {

bool IsHigh(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLow(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// head with `keep` of its code units kept: the first ceil(keep/2) and the last floor(keep/2)
// around the ellipsis, never splitting a surrogate pair.
std::u16string Shortened(std::u16string_view head, size_t keep, std::u16string_view suffix) {
    size_t front = (keep + 1) / 2, back = keep / 2;
    if (front > 0 && IsHigh(head[front - 1])) --front;
    size_t tailStart = head.size() - back;
    if (back > 0 && tailStart < head.size() && IsLow(head[tailStart]) && tailStart > 0 &&
        IsHigh(head[tailStart - 1]))
        ++tailStart;
    std::u16string s;
    s.reserve(keep + 1 + suffix.size());
    s.append(head.substr(0, front));
    s.push_back(kEllipsis);
    s.append(head.substr(tailStart));
    s.append(suffix);
    return s;
}

} // namespace

std::u16string FitMiddle(TTreemapCanvas& canvas, std::u16string_view head,
                         std::u16string_view suffix, int width) {
    std::u16string whole;
    whole.reserve(head.size() + suffix.size());
    whole.append(head).append(suffix);
    if (canvas.TextWidth(whole) <= width || head.empty()) return whole;
    // The longest shortened form that fits (widths grow with the characters kept).
    size_t lo = 0, hi = head.size() - 1;
    while (lo < hi) {
        const size_t mid = (lo + hi + 1) / 2;
        if (canvas.TextWidth(Shortened(head, mid, suffix)) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    return Shortened(head, lo, suffix);
}

void DrawFittedLine(TTreemapCanvas& canvas, const TIntRect& rect, std::u16string_view head,
                    std::u16string_view suffix) {
    if (rect.Width() <= 0 || rect.Height() <= 0) return;
    const std::u16string text = FitMiddle(canvas, head, suffix, rect.Width());
    const int y = rect.Top + (rect.Height() - canvas.LineHeight()) / 2;
    canvas.DrawText(rect.Left, y, text, rect);
}

void DrawWrappedLabel(TTreemapCanvas& canvas, const TIntRect& rect, std::u16string_view text,
                      std::u16string_view suffix) {
    const int W = rect.Width();
    if (W <= 0 || rect.Height() <= 0) return;
    // Words: the blank-separated parts of text, then the suffix as one word.
    std::vector<std::u16string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && text[i] == u' ') ++i;
        size_t j = i;
        while (j < text.size() && text[j] != u' ') ++j;
        if (j > i) words.push_back(text.substr(i, j - i));
        i = j;
    }
    if (!suffix.empty()) words.push_back(suffix);
    const int lh = std::max(1, canvas.LineHeight());
    int y = rect.Top;
    std::u16string line, trial;
    auto flush = [&]() {
        if (canvas.TextWidth(line) > W) line = FitMiddle(canvas, line, u"", W);
        canvas.DrawText(rect.Left, y, line, rect);
        y += lh;
        line.clear();
    };
    for (size_t w = 0; w < words.size(); ++w) {
        if (line.empty()) {
            line.assign(words[w]);
            continue;
        }
        trial = line;
        trial.push_back(u' ');
        trial.append(words[w]);
        if (canvas.TextWidth(trial) <= W) {
            line.swap(trial);
            continue;
        }
        flush();
        if (y + lh > rect.Bottom) return;
        line.assign(words[w]);
    }
    if (!line.empty()) flush();
}

} // namespace qz

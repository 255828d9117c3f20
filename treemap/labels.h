// Treemap labels: the texts of folder name strips, leaf labels and free-space labels, and
// their fitting. A fitted text keeps its trailing part (the size in brackets) whole and
// shortens the middle of the name with an ellipsis; leaf labels wrap at word boundaries.
#pragma once

#include "treemap/canvas.h"

#include <string>
#include <string_view>

namespace qz {

inline constexpr char16_t kEllipsis = u'\u2026';

// head shortened in its middle so that head' + suffix fits in width pixels: head itself when
// it fits, else its first and last characters around an ellipsis, as many as fit (at least
// the ellipsis and the suffix, which the caller's clipping may then cut).
std::u16string FitMiddle(TTreemapCanvas& canvas, std::u16string_view head,
                         std::u16string_view suffix, int width);

// One line vertically centred in rect, fitted with FitMiddle and clipped to rect (folder
// name strips and free-space labels).
void DrawFittedLine(TTreemapCanvas& canvas, const TIntRect& rect, std::u16string_view head,
                    std::u16string_view suffix);

// Text wrapped at blanks into lines of at most rect's width from its top down; suffix is one
// unbreakable word at the end; a line that is still too wide is shortened in its middle.
// Only lines that fit in the height are drawn, but always the first (clipped to rect).
void DrawWrappedLabel(TTreemapCanvas& canvas, const TIntRect& rect, std::u16string_view text,
                      std::u16string_view suffix);

} // namespace qz

// Drawing shared by the file list and the file-types view: the sorted column's tint, the
// percentage bar with its frame, the red mark of a value that does not fit, and text with
// highlighted runs (the search matches).
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <vector>

class QPainter;
class QFont;

namespace qz {

// The window colour darkened (light theme) or lightened (dark theme) by #101010.
QColor SortTint(const QColor& base);

// A percentage bar from the cell's left edge, as wide as percent of the cell, one pixel less
// than the cell's height, in bar (#9DA4FF; darker in a dark theme); a frame around the whole
// cell in #E0E0E0 (#404040 in a dark theme). Returns the filled part and its colour, for the
// text drawn over it (DrawTextOverFill).
struct TBarFill {
    QRect Rect; // empty: nothing filled
    QColor Colour;
};
TBarFill PaintPercentBar(QPainter* p, const QRect& cell, double percent, bool dark);

// The red line along the left edge of a right-aligned value that does not fit.
void PaintOverflowMark(QPainter* p, const QRect& cell);

// A run of text drawn bold in the match colour.
struct THighlightRun {
    int Start = 0;
    int Length = 0;
};
// Draws text on one line, vertically centred in rect, from its left edge (clipped), with the
// runs in bold and in matchColour and the rest in the painter's pen.
void DrawHighlightedText(QPainter* p, const QRect& rect, const QString& text,
                         const std::vector<THighlightRun>& runs, const QColor& matchColour);

// Black or white, whichever reads better on background (the larger contrast ratio of their
// relative luminances).
QColor ContrastingTextColour(const QColor& background);

// Draws text in rect with flags in pen, except where it lies over fill: there it is drawn in
// the colour that reads on fillColour, so each glyph contrasts with what is under it.
void DrawTextOverFill(QPainter* p, const QRect& rect, int flags, const QString& text,
                      const QColor& pen, const QRect& fill, const QColor& fillColour);

// The match colour of the file list: #3838FF, in a dark theme #70BEFF.
QColor MatchColour(bool dark);

} // namespace qz

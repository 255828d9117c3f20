// The canvas implemented with Qt Gui: a QPainter over the treemap bitmap's own memory, so
// text and lines land in the same rows the cushions are shaded into. Needs a
// QGuiApplication (fonts); headless runs create one on the "offscreen" platform with
// TOffscreenGui. No widgets, no display.
#pragma once

#include "treemap/bitmap.h"
#include "treemap/canvas.h"

#include <memory>
#include <string>

class QGuiApplication;
class QImage;

namespace qz {

// True when the process has a QGuiApplication, so text can be drawn.
bool GuiAvailable();

// Makes sure the process has a QGuiApplication for the lifetime of this object: when there is
// no Qt application yet, one is created on the "offscreen" platform (no display needed) and
// destroyed with this object; otherwise nothing is done. Create it on the main thread before
// the first drawing of a headless run.
class TOffscreenGui {
public:
    TOffscreenGui();
    ~TOffscreenGui();
    TOffscreenGui(const TOffscreenGui&) = delete;
    TOffscreenGui& operator=(const TOffscreenGui&) = delete;
    bool Available() const { return GuiAvailable(); }

private:
    std::unique_ptr<QGuiApplication> FApp;
};

// The bitmap as a QImage over the same memory (no copy; valid while the bitmap lives and is
// not redrawn), for showing the picture in a window.
QImage TreemapQImage(const TTreemapBitmap& bitmap);

// Label colour of the treemap text.
inline constexpr TColor kTreemapTextColor = 0xDDDDDD;

class TQtCanvas : public TTreemapCanvas {
public:
    // Paints on bitmap (which must outlive the canvas) with a font of fontPixelSize pixels
    // of family (empty: the application's default family). Needs GuiAvailable().
    TQtCanvas(TTreemapBitmap& bitmap, int fontPixelSize, const std::string& family = {});
    ~TQtCanvas() override;

    int TextWidth(std::u16string_view text) override;
    int LineHeight() override;
    void DrawText(int x, int y, std::u16string_view text, const TIntRect& clip) override;
    void DrawLine(int x0, int y0, int x1, int y1, TColor color) override;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace qz

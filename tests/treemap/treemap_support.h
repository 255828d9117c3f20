// Helpers of the treemap tests: a canvas that records what is drawn (text measured at a fixed
// width per character), PNG reading, and pixel checks.
#pragma once

#include "treemap/bitmap.h"
#include "treemap/canvas.h"

#include <string>
#include <vector>

namespace qz::test {

// Measures every code unit as kCharWidth pixels and a line as kLineHeight; records the calls.
class RecordingCanvas : public TTreemapCanvas {
public:
    static constexpr int kCharWidth = 6;
    static constexpr int kLineHeight = 10;
    struct Text {
        int X, Y;
        std::u16string S;
        TIntRect Clip;
    };
    struct Line {
        int X0, Y0, X1, Y1;
        TColor Color;
    };
    std::vector<Text> Texts;
    std::vector<Line> Lines;

    int TextWidth(std::u16string_view text) override { return int(text.size()) * kCharWidth; }
    int LineHeight() override { return kLineHeight; }
    void DrawText(int x, int y, std::u16string_view text, const TIntRect& clip) override {
        Texts.push_back({x, y, std::u16string(text), clip});
    }
    void DrawLine(int x0, int y0, int x1, int y1, TColor color) override {
        Lines.push_back({x0, y0, x1, y1, color});
    }
};

// A PNG file read back as 8-bit RGB; false when it cannot be read.
struct PngImage {
    int Width = 0, Height = 0;
    std::vector<uint8_t> Rgb; // R, G, B per pixel, rows top-down
    TColor Pixel(int x, int y) const {
        const uint8_t* p = &Rgb[(size_t(y) * size_t(Width) + size_t(x)) * 3];
        return TColor(p[0]) << 16 | TColor(p[1]) << 8 | p[2];
    }
};
bool ReadPng(const std::string& path, PngImage& out, std::string* format = nullptr);

} // namespace qz::test

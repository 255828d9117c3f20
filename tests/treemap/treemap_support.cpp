#include "tests/treemap/treemap_support.h"

#include "treemap/qtcanvas.h"

#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>

namespace qz::test {

bool ReadPng(const std::string& path, PngImage& out, std::string* format) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_init_io(png, f);
    png_read_info(png, info);
    const int bitDepth = png_get_bit_depth(png, info), colorType = png_get_color_type(png, info);
    if (format)
        *format = "depth=" + std::to_string(bitDepth) + " type=" + std::to_string(colorType) +
                  " interlace=" + std::to_string(png_get_interlace_type(png, info));
    out.Width = int(png_get_image_width(png, info));
    out.Height = int(png_get_image_height(png, info));
    out.Rgb.assign(size_t(out.Width) * size_t(out.Height) * 3, 0);
    std::vector<png_bytep> rows(size_t(out.Height));
    for (int y = 0; y < out.Height; ++y)
        rows[size_t(y)] = &out.Rgb[size_t(y) * size_t(out.Width) * 3];
    if (bitDepth != 8 || colorType != PNG_COLOR_TYPE_RGB) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(f);
        return false;
    }
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    return true;
}

} // namespace qz::test

// The tests' main: a QGuiApplication on the offscreen platform for the label font.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    qz::TOffscreenGui gui;
    return RUN_ALL_TESTS();
}

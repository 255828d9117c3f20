#include "treemap/pngwriter.h"

#include "base/tempfile.h"
#include "base/text.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace qz {

namespace {

// Default compression: fast deflate with the "up" filter; the shaded cushions change little
// from one row to the next, so this keeps files small at a fraction of the default's time.
constexpr int kDefaultLevel = 1;

struct TPngErrorState {
    std::jmp_buf jump;
    char message[256] = {0};
};

void OnPngError(png_structp png, png_const_charp msg) {
    auto* st = static_cast<TPngErrorState*>(png_get_error_ptr(png));
    std::snprintf(st->message, sizeof st->message, "%s", msg ? msg : "libpng error");
    std::longjmp(st->jump, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

// Writes the PNG stream to f. Only trivially destructible locals live here, because libpng
// reports errors by a long jump back into this function.
bool WritePngStream(FILE* f, const TTreemapBitmap& bmp, int level, TPngErrorState& st,
                    png_bytep* rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &st, OnPngError, OnPngWarning);
    if (!png) {
        std::snprintf(st.message, sizeof st.message, "%s", "cannot initialise libpng");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(st.message, sizeof st.message, "%s", "cannot initialise libpng");
        return false;
    }
    if (setjmp(st.jump)) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f);
    png_set_compression_level(png, level);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, level == 0 ? PNG_FILTER_NONE : PNG_FILTER_UP);
    png_set_IHDR(png, info, png_uint_32(bmp.Width()), png_uint_32(bmp.Height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_bgr(png); // the bitmap holds B, G, R
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

std::string Describe(const std::string& what, const std::string& path, int err) {
    return what + " " + path + ": " + std::strerror(err);
}

} // namespace

bool WriteTreemapPng(const std::string& path, const TTreemapBitmap& bitmap, std::string& error,
                     int compressionLevel) {
    error.clear();
    if (bitmap.Empty()) {
        error = std::string(tr("Nothing to write to")) + " " + path;
        return false;
    }
    if (path.empty()) {
        error = tr("No file name for the treemap image");
        return false;
    }
    const int level = compressionLevel < 0 ? kDefaultLevel : std::min(compressionLevel, 9);

    TOutputFile out;
    if (!out.Open(path)) {
        error = Describe(tr("Cannot write"), path, errno);
        return false;
    }
    FILE* f = fdopen(out.Fd(), "wb");
    if (!f) {
        error = Describe(tr("Cannot write"), path, errno);
        return false;
    }
    out.ReleaseFd(); // closed by fclose from here on
    std::vector<png_bytep> rows(size_t(bitmap.Height()));
    for (int y = 0; y < bitmap.Height(); ++y)
        rows[size_t(y)] = const_cast<png_bytep>(bitmap.Row(y));
    const auto state = std::make_unique<TPngErrorState>();
    errno = 0;
    bool ok = WritePngStream(f, bitmap, level, *state, rows.data());
    int err = errno;
    const std::string pngMessage = state->message;
    if (ok && std::fflush(f) != 0) {
        ok = false;
        err = errno;
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && !out.Commit()) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        out.Discard();
        // A write error inside libpng shows as its message; the system's cause is clearer.
        if (err != 0)
            error = Describe(tr("Cannot write"), path, err);
        else
            error = std::string(tr("Cannot write")) + " " + path + ": " + pngMessage;
        return false;
    }
    return true;
}

} // namespace qz

// Writing the treemap bitmap as a PNG file: 8 bits per channel, RGB, no alpha, through
// libpng.
//
// The image is written to a temporary file beside the target and renamed over it only when
// everything (rows, end of image, closing the file) succeeded, so a failed save never leaves
// a truncated picture behind and an existing file stays untouched on failure; a device or a
// pipe is written in place.
#pragma once

#include "treemap/bitmap.h"

#include <string>

namespace qz {

// Writes bitmap to path (UTF-8), replacing an existing file (a target that is a symbolic link
// is followed). Returns false with error set to a text naming the file and the cause.
// compressionLevel is zlib's 0..9 (-1: the writer's default, tuned for speed).
bool WriteTreemapPng(const std::string& path, const TTreemapBitmap& bitmap, std::string& error,
                     int compressionLevel = -1);

} // namespace qz

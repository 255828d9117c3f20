// What the clipboard holds for Copy, Cut and Copy Path, as plain data (the window puts each
// part on the clipboard under its format name).
//
// File managers read a list of file URIs ("text/uri-list") and learn whether the files are to
// be moved from "x-special/gnome-copied-files" (GNOME Files, Nemo, Caja, Thunar, PCManFM:
// "copy" or "cut" on the first line, then the URIs) or from "application/x-kde-cutselection"
// ("1" for a cut; Dolphin). Paths are bytes: a name that is not valid UTF-8 keeps its bytes
// in the text and is escaped byte by byte in the URIs.
#pragma once

#include <string>
#include <vector>

namespace qz {

struct TFileClipboard {
    std::string UriList;          // "text/uri-list": each URI followed by CR LF
    std::string GnomeCopiedFiles; // "x-special/gnome-copied-files"
    std::string KdeCutSelection;  // "application/x-kde-cutselection": "1" for a cut, else empty
    std::string Text;             // "text/plain": the paths, as Copy Path writes them
};

// Format names.
inline constexpr const char* kMimeUriList = "text/uri-list";
inline constexpr const char* kMimeGnomeCopiedFiles = "x-special/gnome-copied-files";
inline constexpr const char* kMimeKdeCutSelection = "application/x-kde-cutselection";

// The clipboard contents for absolute paths; cut marks the files to be moved by the paste.
TFileClipboard MakeFileClipboard(const std::vector<std::string>& paths, bool cut);

// Copy Path: one path as it is (no line break); several paths each followed by a line break.
std::string CopyPathText(const std::vector<std::string>& paths);

} // namespace qz

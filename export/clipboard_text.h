// "Copy file and size info to clipboard": a plain-text listing of the selected nodes of a view,
// or of what is unfolded in it, ready to paste into a message. The window puts the text on the
// clipboard.
//
// One line per listed node, CR LF after each: the size (FormatSize) right-aligned in 20
// characters, two spaces per tree level (2 x (Depth + 1)), then the name part: a file group
// "[N files in <folder path>]", a file of the tree view its own name, a folder (either view)
// and every file-list row the full path.
//
// What is listed: with a selection, each selected node (a folder with its unfolded part: its
// visible children, recursively, when it is expanded); without one, the tree view's first
// source root with its unfolded part, or every row of the file list. A file group that is
// unfolded lists its line and its files, and the folder's other children follow it.
#pragma once

#include "views/format.h"
#include "views/viewnodes.h"

#include <string>

namespace qz {

// The text (UTF-8; names that held invalid UTF-8 come out as their original bytes). treeView:
// view is the folder tree (files show their own names), else the file list; sizes and counts
// are written with format.
std::string ClipboardText(TViewNodes& view, bool treeView, const TFormatSettings& format);

} // namespace qz

// The clipboard and drag data of files (text/uri-list with the file managers' copy and cut
// markers, and the paths as text) as Qt mime data.
#pragma once

#include <QMimeData>
#include <memory>
#include <string>
#include <vector>

namespace qz {

// Files to paste or drop: cut marks them to be moved by the paste.
std::unique_ptr<QMimeData> FileMimeData(const std::vector<std::string>& paths, bool cut);
// Copy Path: the paths as text (names that are not valid UTF-8 keep their bytes).
std::unique_ptr<QMimeData> PathTextMimeData(const std::vector<std::string>& paths);

} // namespace qz

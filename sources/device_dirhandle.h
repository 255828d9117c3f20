// RAII owner of an open directory stream (opendir / closedir).
#pragma once

#include <dirent.h>
#include <memory>

namespace qz {

struct TCloseDir {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using TDirHandle = std::unique_ptr<DIR, TCloseDir>;

} // namespace qz

// The header pop-up menu of a grid that shows or hides its columns: one checkable entry per
// column, captioned as the header; columns for which fixed() holds are left out (they always
// show, or something else decides whether they show).
#pragma once

#include <functional>

class QTreeView;

namespace qz {

void AttachColumnMenu(QTreeView* view, std::function<bool(int column)> fixed);

} // namespace qz

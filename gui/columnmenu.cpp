#include "gui/columnmenu.h"

#include "gui/qtext.h"

#include <QHeaderView>
#include <QMenu>
#include <QTreeView>

namespace qz {

void AttachColumnMenu(QTreeView* view, std::function<bool(int)> fixed) {
    QHeaderView* h = view->header();
    h->setContextMenuPolicy(Qt::CustomContextMenu);
    QObject::connect(h, &QHeaderView::customContextMenuRequested, view,
                     [view, h, fixed = std::move(fixed)](const QPoint& pos) {
                         QMenu menu(view);
                         menu.setAccessibleName(Tr("Columns"));
                         for (int c = 0; c < h->count(); ++c) {
                             if (fixed(c)) continue;
                             QAction* a = menu.addAction(
                                 view->model()->headerData(c, Qt::Horizontal).toString());
                             a->setCheckable(true);
                             a->setChecked(!view->isColumnHidden(c));
                             QObject::connect(a, &QAction::toggled, view, [view, c](bool on) {
                                 view->setColumnHidden(c, !on);
                             });
                         }
                         menu.exec(h->viewport()->mapToGlobal(pos));
                     });
}

} // namespace qz

// The treemap panel's pointer, selection and zoom: hover text, hint and outline, clicks that
// select in the folder tree, double-clicks and the keypad keys that zoom, the context menus,
// and the outlines of the selected and deleted items.
#include "engine/tree.h"
#include "gui/qtext.h"
#include "gui/treemappanel.h"
#include "gui/treemapview.h"
#include "gui/treeview.h"
#include "views/format.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QToolTip>
#include <cmath>

namespace qz {

namespace {

// An item's outline as the picture draws it: from (trunc(left), trunc(top)) to
// (trunc(left + width), trunc(top + height)).
QRectF OutlineOf(const TMapRect& r) {
    return QRectF(QPointF(std::trunc(r.Left), std::trunc(r.Top)),
                  QPointF(std::trunc(r.Left + r.Width), std::trunc(r.Top + r.Height)));
}

} // namespace

TMapHit TTreemapPanel::HitAt(QPoint p) const {
    const TTreemapPicture* pic = Picture();
    if (!pic) return {};
    return pic->Layout.HitTest(p.x(), p.y(), !pic->Layout.FreeSpaceRect.empty());
}

TTreeNode* TTreemapPanel::NodeOfItem(uint32_t item) const {
    const TTreemapPicture* pic = Picture();
    if (!pic || item == kNoItem) return nullptr;
    return FindDisplayNode(FTree.Tree(), pic->Layout, item, FShownZoom);
}

bool TTreemapPanel::CentreOf(const TTreeNode* node, QPoint& picturePoint) const {
    const TTreemapPicture* pic = Picture();
    const TMapNodeRef ref = MapNodeOf(node);
    const uint32_t i = pic ? pic->Layout.Find(ref.Rec, ref.Group) : kNoItem;
    if (i == kNoItem) return false;
    const TMapRect& r = pic->Layout.Items[i].Rect;
    picturePoint = QPoint(int(r.Left + r.Width / 2), int(r.Top + r.Height / 2));
    return true;
}

// ---------------------------------------------------------------- hover

void TTreemapPanel::OnPointerMoved(QPoint p) {
    const TMapHit hit = HitAt(p);
    const TTreemapPicture* pic = Picture();
    if (hit.Item != kNoItem) {
        if (!(hit == FHover)) {
            FHover = hit;
            UpdateOutlines();
        }
        const TMapItem& it = pic->Layout.Items[hit.Item];
        const QString path = ToQString(GetRecordPath(it.Rec));
        emit hoverTextChanged(path);
        if (path != FLastPBHint) {
            FLastPBHint = path;
            // A folder (a file group counts as one) shows its subtree's totals.
            const PMFT_RECORD r = it.Rec;
            uint64_t size, alloc;
            if (it.IsFileGroup()) {
                size = r->ThisFolderTotSize();
                alloc = r->ThisFolderTotSizeAlloc();
            } else if (r->IsFolder()) {
                size = r->SubFoldersTotSize;
                alloc = r->SubFoldersTotSizeAlloc;
            } else {
                size = r->FileSize;
                alloc = r->AllocSize;
            }
            const TFormatSettings& f = FTree.Tree().Format;
            QString allocText = ToQString(FormatSize(alloc, f));
            if (r->DoNotCountFlag)
                allocText = QStringLiteral("(") + allocText + QStringLiteral(")");
            FHintText = path + QStringLiteral("\n") + Tr("Size") + QStringLiteral(": ") +
                        ToQString(FormatSize(size, f)) + QStringLiteral("\n") + Tr("Allocated") +
                        QStringLiteral(": ") + allocText;
            timMapHint.start();
        }
        return;
    }
    if (FHover.Item != kNoItem) {
        FHover = {};
        UpdateOutlines();
    }
    if (hit.FreeIndex >= 0 && size_t(hit.FreeIndex) < FShownDisks.size()) {
        const TDiskSizeInfo& d = FShownDisks[size_t(hit.FreeIndex)];
        const QString text = Tr("Free Space") + QStringLiteral(": [") + ToQString(d.itempath) +
                             QStringLiteral("] ") +
                             ToQString(FormatSize(d.freespace, FTree.Tree().Format));
        emit hoverTextChanged(text);
        if (text != FLastPBHint) {
            FLastPBHint = FHintText = text;
            timMapHint.start();
        }
        return;
    }
    // Nothing under the pointer: the texts go, the remembered hint stays (coming back to the
    // same item shows no new hint).
    emit hoverTextChanged(QString());
    FHintText.clear();
    timMapHint.stop();
    QToolTip::hideText();
}

void TTreemapPanel::OnPointerLeft() {
    timMapHint.stop();
    if (FHover.Item != kNoItem) {
        FHover = {};
        UpdateOutlines();
    }
    emit hoverTextChanged(QString());
}

void TTreemapPanel::ShowHint() {
    if (FHintText.isEmpty() || !pbTreemap->underMouse()) return;
    QToolTip::showText(QCursor::pos(), FHintText, pbTreemap, QRect(), 30000);
}

// ---------------------------------------------------------------- selection

void TTreemapPanel::ShowInTree(TTreeNode* n) {
    TDisplayTree& t = FTree.Tree();
    // Opened down to the node: ancestors first.
    std::vector<TTreeNode*> up;
    for (TTreeNode* p = n ? n->Parent : nullptr; p; p = p->Parent) up.push_back(p);
    for (size_t k = up.size(); k-- > 0;) {
        t.SetExpanded(up[k], true);
        FTree.expand(FTree.Model().IndexOf(up[k]));
    }
    FTree.SelectionChangedElsewhere(n);
}

void TTreemapPanel::OnPressed(QPoint p, Qt::MouseButton button, Qt::KeyboardModifiers mods) {
    if (button != Qt::LeftButton) return;
    TTreeNode* n = NodeOfItem(HitAt(p).Item);
    if (!n) return;
    TDisplayTree& t = FTree.Tree();
    if (!(mods & (Qt::ControlModifier | Qt::ShiftModifier))) t.ClearSelection();
    // The first scan's tree folds up (its own row first, so the rows below need no
    // re-layout), then opens again down to the item.
    if (!t.Roots().empty()) {
        TTreeNode* first = t.Roots()[0];
        std::vector<TTreeNode*> expanded, stack{first};
        while (!stack.empty()) {
            TTreeNode* c = stack.back();
            stack.pop_back();
            if (!c->Expanded()) continue;
            expanded.push_back(c);
            if (c->ChildrenMade()) stack.insert(stack.end(), c->Kids, c->Kids + c->KidCount);
        }
        for (TTreeNode* c : expanded) {
            t.SetExpanded(c, false);
            FTree.collapse(FTree.Model().IndexOf(c));
        }
    }
    t.Select(n, !n->Selected());
    ShowInTree(n);
}

void TTreemapPanel::OnDoubleClicked(QPoint, Qt::MouseButton button) {
    if (button != Qt::LeftButton) return;
    TDisplayTree& t = FTree.Tree();
    // The press before selected the item under the pointer: its folder is the zoom target,
    // or, when it is the zoom folder already, the zoom steps out.
    if (FTreemapRoot) {
        std::vector<TSelectedItem> list;
        GetSelectedItems(list, t, {.ContainingFolders = true, .IncludeGroups = true});
        if (!list.empty() && list[0].Node == FTreemapRoot) {
            actUnzoomExecute();
            return;
        }
    }
    actZoomExecute();
    if (!FTreemapRoot) return;
    t.ClearSelection();
    t.Select(FTreemapRoot);
    t.SetExpanded(FTreemapRoot, true);
    FTree.expand(FTree.Model().IndexOf(FTreemapRoot));
    ShowInTree(FTreemapRoot);
}

void TTreemapPanel::OnContextMenu(QPoint p, QPoint global) {
    TTreeNode* n = NodeOfItem(HitAt(p).Item);
    if (!n) {
        // Off the items (free space, gaps, no scan): the treemap's options.
        puTreeOptions->popup(global);
        return;
    }
    TDisplayTree& t = FTree.Tree();
    if (!n->Selected()) t.ClearSelection();
    if (t.SelectedCount() == 0) t.Select(n);
    FTree.SelectionChangedElsewhere(nullptr);
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("puTreemapItem"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (FillContextMenu) FillContextMenu(*menu, n);
    if (!menu->isEmpty()) menu->addSeparator();
    menu->addAction(actZoom);
    menu->addAction(actUnzoom);
    menu->popup(global);
}

// ---------------------------------------------------------------- zoom

void TTreemapPanel::actZoomExecute() {
    actZoom->setEnabled(false);
    // The folder of the first selected item (a grouped file: its file group).
    std::vector<TSelectedItem> list;
    GetSelectedItems(list, FTree.Tree(), {.ContainingFolders = true, .IncludeGroups = true});
    if (!list.empty() && list[0].Node != FTreemapRoot) {
        FTreemapRoot = list[0].Node;
        FTree.Tree().SetExpanded(FTreemapRoot, true);
        FTree.expand(FTree.Model().IndexOf(FTreemapRoot));
        RedrawTreemap(false, true);
    }
    UpdateZoomButtons();
    UpdateActions();
}

void TTreemapPanel::actUnzoomExecute() {
    actUnzoom->setEnabled(false);
    // One level up; from a top-level node back to all scans.
    if (FTreemapRoot) FTreemapRoot = FTreemapRoot->Parent;
    RedrawTreemap(false, true);
    UpdateZoomButtons();
}

void TTreemapPanel::ResetZoom() {
    if (FTreemapRoot) {
        FTreemapRoot = nullptr;
        RedrawTreemap(false, true);
    }
    UpdateZoomButtons();
}

// ---------------------------------------------------------------- outlines

void TTreemapPanel::UpdateOutlines() {
    const TTreemapPicture* pic = Picture();
    if (!pic) {
        pbTreemap->SetOutlines({});
        return;
    }
    const TTreemapLayout& l = pic->Layout;
    std::vector<TMapOutline> out;
    // Deleted items in red: a pen of 2 * dpi / 96 pixels (1 where that would fill half the
    // item) on rectangles at least 2 pixels wide, inside their edges.
    const int pen = std::max(1, ScaleToDpi(2, Dpi()));
    for (uint32_t i : FDeletedItems) {
        const QRectF r = OutlineOf(l.Items[i].Rect);
        if (r.width() < 2) continue;
        const int w = pen * 2 > r.width() ? 1 : pen;
        out.push_back({r.adjusted(w / 2.0, w / 2.0, -w / 2.0, -w / 2.0), QColor(0xFF, 0, 0), w});
    }
    // The tree's selection in white (deleted records left out).
    FTree.Tree().ForEachSelected([&](const TTreeNode* n) {
        if (n->Data.Rec->Deleted) return;
        const TMapNodeRef ref = MapNodeOf(n);
        const uint32_t i = l.Find(ref.Rec, ref.Group);
        if (i != kNoItem) out.push_back({OutlineOf(l.Items[i].Rect), QColor(0xFF, 0xFF, 0xFF), 2});
    });
    // The item under the pointer in gray.
    if (FHover.Item != kNoItem && FHover.Item < l.Items.size())
        out.push_back({OutlineOf(l.Items[FHover.Item].Rect), QColor(0xB0, 0xB0, 0xB0), 1});
    pbTreemap->SetOutlines(std::move(out));
}

} // namespace qz

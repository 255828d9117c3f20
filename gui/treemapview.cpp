#include "gui/treemapview.h"

#include "treemap/treemap.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace qz {

TTreemapView::TTreemapView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("pbTreemap"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    setMinimumSize(8, 8);
}

void TTreemapView::SetPicture(std::shared_ptr<const TTreemapPicture> picture, QImage shown) {
    FPicture = std::move(picture);
    FShown = FPicture ? std::move(shown) : QImage();
    update();
}

void TTreemapView::SetOutlines(std::vector<TMapOutline> outlines) {
    FOutlines = std::move(outlines);
    update();
}

void TTreemapView::SetOutlinesHidden(bool hidden) {
    if (FOutlinesHidden == hidden) return;
    FOutlinesHidden = hidden;
    update();
}

QSize TTreemapView::PictureSize() const {
    const qreal dpr = devicePixelRatioF();
    return QSize(int(std::lround(width() * dpr)), int(std::lround(height() * dpr)));
}

bool TTreemapView::Stretched() const {
    return !FShown.isNull() && FShown.size() != PictureSize();
}

QPoint TTreemapView::ToPicture(QPointF pos) const {
    if (FShown.isNull() || width() < 1 || height() < 1) return pos.toPoint();
    const double sx = double(FShown.width()) / width(), sy = double(FShown.height()) / height();
    return QPoint(int(std::floor(pos.x() * sx)), int(std::floor(pos.y() * sy)));
}

QPointF TTreemapView::FromPicture(QPointF p) const {
    if (FShown.isNull() || FShown.width() < 1 || FShown.height() < 1) return p;
    const double sx = double(width()) / FShown.width(), sy = double(height()) / FShown.height();
    return QPointF((p.x() + 0.5) * sx, (p.y() + 0.5) * sy);
}

void TTreemapView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (FShown.isNull()) {
        p.fillRect(rect(), Qt::black);
        return;
    }
    // The picture, stretched (without smoothing: fast while the window is dragged) when it
    // was drawn for another size.
    p.drawImage(QRectF(rect()), FShown);
    if (FOutlinesHidden || FOutlines.empty()) return;
    const double sx = double(width()) / FShown.width(), sy = double(height()) / FShown.height();
    p.setBrush(Qt::NoBrush);
    for (const TMapOutline& o : FOutlines) {
        QPen pen(o.Color);
        pen.setWidthF(o.Pen / devicePixelRatioF());
        pen.setJoinStyle(Qt::MiterJoin);
        p.setPen(pen);
        p.drawRect(
            QRectF(o.Rect.x() * sx, o.Rect.y() * sy, o.Rect.width() * sx, o.Rect.height() * sy));
    }
}

void TTreemapView::mouseMoveEvent(QMouseEvent* event) {
    emit pointerMoved(ToPicture(event->position()));
}

void TTreemapView::mousePressEvent(QMouseEvent* event) {
    emit pressed(ToPicture(event->position()), event->button(), event->modifiers());
}

void TTreemapView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The platform reports the second press as the double-click: it does not select again.
    emit doubleClicked(ToPicture(event->position()), event->button());
}

void TTreemapView::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    emit pointerLeft();
}

void TTreemapView::contextMenuEvent(QContextMenuEvent* event) {
    emit contextMenuAt(ToPicture(event->pos()), event->globalPos());
    event->accept();
}

void TTreemapView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit resized();
}

} // namespace qz

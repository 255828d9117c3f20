// The treemap's paint surface (imTreeMap with pbTreemap over it): shows the last picture and
// the outlines over it, and reports the pointer in the picture's own pixels.
//
// While a new picture is drawn (after a resize, a zoom) the previous one is shown stretched
// to the surface, so the window never waits for a drawing; the pointer and the outlines are
// mapped through the same stretch, so they always refer to the picture the user sees. The
// picture is drawn in device pixels: on a scaled screen it stays sharp.
#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QWidget>
#include <memory>
#include <vector>

namespace qz {

struct TTreemapPicture;

// An outline in picture pixels.
struct TMapOutline {
    QRectF Rect;
    QColor Color;
    int Pen = 1;
};

class TTreemapView : public QWidget {
    Q_OBJECT
public:
    explicit TTreemapView(QWidget* parent = nullptr);

    // The picture shown (nil: none) and the same pixels ready to paint (made on the drawing's
    // thread).
    void SetPicture(std::shared_ptr<const TTreemapPicture> picture, QImage shown);
    const TTreemapPicture* Picture() const { return FPicture.get(); }
    void SetOutlines(std::vector<TMapOutline> outlines);
    const std::vector<TMapOutline>& Outlines() const { return FOutlines; }
    // While set, the outlines are left out (the window is being resized).
    void SetOutlinesHidden(bool hidden);

    // The size, in device pixels, a picture for the surface has now.
    QSize PictureSize() const;
    // The picture pixel under a point of the surface; the picture pixel's middle on the
    // surface.
    QPoint ToPicture(QPointF pos) const;
    QPointF FromPicture(QPointF picturePos) const;
    // True while the picture shown was drawn for another size.
    bool Stretched() const;

signals:
    void pointerMoved(QPoint picturePos);
    void pointerLeft();
    void pressed(QPoint picturePos, Qt::MouseButton button, Qt::KeyboardModifiers mods);
    void doubleClicked(QPoint picturePos, Qt::MouseButton button);
    // Right button or the menu key.
    void contextMenuAt(QPoint picturePos, QPoint globalPos);
    void resized();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    std::shared_ptr<const TTreemapPicture> FPicture;
    QImage FShown;
    std::vector<TMapOutline> FOutlines;
    bool FOutlinesHidden = false;
};

} // namespace qz

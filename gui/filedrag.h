// Dragging the selected items of a view out to other programs (a file manager, an editor, a
// mail client): an event filter on the view's viewport starts the drag once the mouse moved
// far enough with the left button held. The drop copies by default; a move is offered only
// when Shift was held as the drag began, so that a drop on a file manager of the same file
// system does not move the files by surprise.
#pragma once

#include <QDrag>
#include <QMimeData>
#include <QObject>
#include <QPoint>
#include <functional>
#include <memory>

class QWidget;

namespace qz {

class TFileDrag : public QObject {
    Q_OBJECT
public:
    // viewport: the widget that receives the view's mouse events; makeMime: the data of the
    // view's selection (nil: nothing to drag).
    TFileDrag(QWidget* viewport, std::function<std::unique_ptr<QMimeData>()> makeMime,
              std::function<bool()> enabled);

    // Runs the drag (the platform's drag loop; tests replace it to look at the drag).
    std::function<Qt::DropAction(QDrag& drag, Qt::DropActions actions, Qt::DropAction def)> Exec;
    // True while a drag of ours is running (drops on our own window are refused then).
    static bool Dragging();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* FViewport;
    std::function<std::unique_ptr<QMimeData>()> FMakeMime;
    std::function<bool()> FEnabled;
    QPoint FPressPos;
    bool FArmed = false;
    bool FMoveAllowed = false;
};

} // namespace qz

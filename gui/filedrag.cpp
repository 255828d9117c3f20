#include "gui/filedrag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

namespace qz {

namespace {
bool gDragging = false;
}

bool TFileDrag::Dragging() {
    return gDragging;
}

TFileDrag::TFileDrag(QWidget* viewport, std::function<std::unique_ptr<QMimeData>()> makeMime,
                     std::function<bool()> enabled)
    : QObject(viewport), FViewport(viewport), FMakeMime(std::move(makeMime)),
      FEnabled(std::move(enabled)) {
    Exec = [](QDrag& drag, Qt::DropActions actions, Qt::DropAction def) {
        return drag.exec(actions, def);
    };
    viewport->installEventFilter(this);
}

bool TFileDrag::eventFilter(QObject* watched, QEvent* event) {
    if (watched != FViewport) return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* e = static_cast<QMouseEvent*>(event);
        FArmed = e->button() == Qt::LeftButton && (!FEnabled || FEnabled());
        FPressPos = e->position().toPoint();
        FMoveAllowed = e->modifiers() & Qt::ShiftModifier;
        return false;
    }
    case QEvent::MouseButtonRelease:
        FArmed = false;
        return false;
    case QEvent::MouseMove: {
        auto* e = static_cast<QMouseEvent*>(event);
        if (!FArmed || !(e->buttons() & Qt::LeftButton)) return false;
        if ((e->position().toPoint() - FPressPos).manhattanLength() <
            QApplication::startDragDistance())
            return false;
        FArmed = false;
        std::unique_ptr<QMimeData> mime = FMakeMime ? FMakeMime() : nullptr;
        if (!mime) return false;
        QPointer<QDrag> drag = new QDrag(FViewport);
        drag->setMimeData(mime.release());
        Qt::DropActions actions = Qt::CopyAction | Qt::LinkAction;
        if (FMoveAllowed) actions |= Qt::MoveAction;
        gDragging = true;
        Exec(*drag, actions, Qt::CopyAction);
        gDragging = false;
        if (drag) drag->deleteLater();
        return true;
    }
    default:
        return false;
    }
}

} // namespace qz

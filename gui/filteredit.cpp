#include "gui/filteredit.h"

#include "filters/filters.h"
#include "gui/qtext.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QTextCharFormat>

namespace qz {

TFilterEdit::TFilterEdit(QWidget* parent) : QLineEdit(parent) {
    setClearButtonEnabled(false);
    // After the edit has settled (the formats must not be given while the line edit is still
    // inside its own change).
    connect(this, &QLineEdit::textChanged, this, &TFilterEdit::ApplyColours, Qt::QueuedConnection);
}

QColor TFilterEdit::HighlightColour() {
    const uint32_t c = FilterHighlightColour();
    return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

void TFilterEdit::ApplyColours() {
    if (FApplying) return;
    const QString t = text();
    const std::u16string u = ToU16(t);
    QList<QPair<int, int>> runs;
    if (FilterTextColourable(u) && layoutDirection() == Qt::LeftToRight)
        for (const TFilterColourRun& r : FilterColourRuns(u))
            if (r.highlight) runs.push_back({int(r.start), int(r.length)});
    FRuns = runs;
    // The line edit takes text formats from an input-method event: its attributes' positions
    // count from the cursor. An event without text changes nothing else.
    QList<QInputMethodEvent::Attribute> attributes;
    QTextCharFormat highlight;
    highlight.setForeground(HighlightColour());
    const int cursor = cursorPosition();
    for (const auto& r : runs)
        attributes.push_back(QInputMethodEvent::Attribute(QInputMethodEvent::TextFormat,
                                                          r.first - cursor, r.second, highlight));
    FApplying = true;
    QInputMethodEvent event(QString(), attributes);
    QCoreApplication::sendEvent(this, &event);
    FApplying = false;
    update();
}

void TFilterEdit::SetError(const QString& message, int position) {
    if (message == FError && position == FErrorPosition) return;
    FError = message;
    FErrorPosition = message.isEmpty() ? -1 : position;
    setToolTip(message);
    setAccessibleDescription(message);
    update();
}

void TFilterEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Down && !(event->modifiers() & Qt::AltModifier)) {
        emit downPressed();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Up) {
        event->accept(); // the history is opened with Down; Up does not step through it
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TFilterEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    emit left();
}

void TFilterEdit::changeEvent(QEvent* event) {
    QLineEdit::changeEvent(event);
    // A box that was disabled takes no input-method events: its colours are given again.
    if (event->type() == QEvent::EnabledChange || event->type() == QEvent::FontChange ||
        event->type() == QEvent::LayoutDirectionChange)
        ApplyColours();
}

void TFilterEdit::paintEvent(QPaintEvent* event) {
    QLineEdit::paintEvent(event);
    if (FError.isEmpty()) return;
    QPainter p(this);
    p.setPen(QPen(QColor(0xE0, 0x20, 0x20), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(rect().adjusted(1, 1, -1, -1));
}

} // namespace qz

#include "gui/cellpaint.h"

#include "views/extstats.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegion>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace qz {

QColor SortTint(const QColor& base) {
    const int d = base.lightness() < 128 ? 0x10 : -0x10;
    return QColor(std::clamp(base.red() + d, 0, 255), std::clamp(base.green() + d, 0, 255),
                  std::clamp(base.blue() + d, 0, 255));
}

TBarFill PaintPercentBar(QPainter* p, const QRect& cell, double percent, bool dark) {
    if (!std::isfinite(percent)) percent = 0;
    percent = std::clamp(percent, 0.0, 100.0);
    const int fill = int(std::trunc(double(cell.width()) * percent / 100.0));
    const TColor bar = dark ? AdjustLuminance(0x9DA4FF, 0.7) : TColor(0x9DA4FF);
    TBarFill filled;
    filled.Colour = QColor(bar);
    if (fill > 0) {
        filled.Rect = QRect(cell.left(), cell.top(), fill, cell.height() - 1);
        p->fillRect(filled.Rect, filled.Colour);
    }
    if (cell.width() > 1) {
        p->save();
        p->setPen(dark ? QColor(0x40, 0x40, 0x40) : QColor(0xE0, 0xE0, 0xE0));
        p->setBrush(Qt::NoBrush);
        p->drawRect(cell.adjusted(0, 0, -1, -1));
        p->restore();
    }
    return filled;
}

void PaintOverflowMark(QPainter* p, const QRect& cell) {
    p->fillRect(QRect(cell.left(), cell.top(), 2, cell.height()), QColor(0xFF, 0, 0));
}

void DrawHighlightedText(QPainter* p, const QRect& rect, const QString& text,
                         const std::vector<THighlightRun>& runs, const QColor& matchColour) {
    if (runs.empty()) {
        p->drawText(rect, int(Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine), text);
        return;
    }
    QList<QTextLayout::FormatRange> formats;
    for (const THighlightRun& r : runs) {
        if (r.Length <= 0 || r.Start < 0 || r.Start >= text.size()) continue;
        QTextLayout::FormatRange f;
        f.start = r.Start;
        f.length = std::min<int>(r.Length, int(text.size()) - r.Start);
        f.format.setFontWeight(QFont::Bold);
        f.format.setForeground(matchColour);
        formats.push_back(f);
    }
    QTextLayout layout(text, p->font());
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.setFormats(formats);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    if (line.isValid()) line.setLineWidth(1e6);
    layout.endLayout();
    const qreal y = rect.top() + (rect.height() - layout.boundingRect().height()) / 2.0;
    p->save();
    p->setClipRect(rect, Qt::IntersectClip);
    layout.draw(p, QPointF(rect.left(), y));
    p->restore();
}

namespace {

// The relative luminance of a colour (sRGB, 0 black .. 1 white).
double Luminance(const QColor& c) {
    const auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

} // namespace

QColor ContrastingTextColour(const QColor& background) {
    const double l = Luminance(background);
    // Contrast ratios (L1 + 0.05) / (L2 + 0.05) against black and white.
    const double onBlack = (l + 0.05) / 0.05, onWhite = 1.05 / (l + 0.05);
    return onBlack >= onWhite ? QColor(Qt::black) : QColor(Qt::white);
}

void DrawTextOverFill(QPainter* p, const QRect& rect, int flags, const QString& text,
                      const QColor& pen, const QRect& fill, const QColor& fillColour) {
    const QRect over = fill.intersected(rect);
    if (over.isEmpty()) { // nothing filled under the text: one plain drawing
        p->setPen(pen);
        p->drawText(rect, flags, text);
        return;
    }
    p->save();
    p->save();
    p->setClipRect(over, Qt::IntersectClip);
    p->setPen(ContrastingTextColour(fillColour));
    p->drawText(rect, flags, text);
    p->restore();
    // The rest of the text: the region of rect outside the fill (within any clip set before).
    p->setClipRegion(QRegion(rect).subtracted(QRegion(over)), Qt::IntersectClip);
    p->setPen(pen);
    p->drawText(rect, flags, text);
    p->restore();
}

QColor MatchColour(bool dark) {
    return dark ? QColor(0x70, 0xBE, 0xFF) : QColor(0x38, 0x38, 0xFF);
}

} // namespace qz

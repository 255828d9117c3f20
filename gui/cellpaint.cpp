#include "gui/cellpaint.h"

#include "views/extstats.h"

#include <QFontMetrics>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace qz {

QColor SortTint(const QColor& base) {
    const int d = base.lightness() < 128 ? 0x10 : -0x10;
    return QColor(std::clamp(base.red() + d, 0, 255), std::clamp(base.green() + d, 0, 255),
                  std::clamp(base.blue() + d, 0, 255));
}

void PaintPercentBar(QPainter* p, const QRect& cell, double percent, bool dark) {
    if (!std::isfinite(percent)) percent = 0;
    percent = std::clamp(percent, 0.0, 100.0);
    const int fill = int(std::trunc(double(cell.width()) * percent / 100.0));
    const TColor bar = dark ? AdjustLuminance(0x9DA4FF, 0.7) : TColor(0x9DA4FF);
    if (fill > 0) p->fillRect(QRect(cell.left(), cell.top(), fill, cell.height() - 1), QColor(bar));
    if (cell.width() > 1) {
        p->save();
        p->setPen(dark ? QColor(0x40, 0x40, 0x40) : QColor(0xE0, 0xE0, 0xE0));
        p->setBrush(Qt::NoBrush);
        p->drawRect(cell.adjusted(0, 0, -1, -1));
        p->restore();
    }
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

QColor MatchColour(bool dark) {
    return dark ? QColor(0x70, 0xBE, 0xFF) : QColor(0x38, 0x38, 0xFF);
}

} // namespace qz

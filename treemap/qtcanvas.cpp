#include "treemap/qtcanvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

namespace qz {

namespace {

QString ToQString(std::u16string_view s) {
    return QString::fromUtf16(s.data(), qsizetype(s.size()));
}

QColor ToQColor(TColor c) {
    return QColor(int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF));
}

// Arguments of the offscreen application; they must outlive it.
int gArgc = 3;
char gArg0[] = "quarzel";
char gArg1[] = "-platform";
char gArg2[] = "offscreen";
char* gArgv[] = {gArg0, gArg1, gArg2, nullptr};

} // namespace

QImage TreemapQImage(const TTreemapBitmap& bitmap) {
    if (bitmap.Empty()) return QImage();
    return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), qsizetype(bitmap.Stride()),
                  QImage::Format_BGR888);
}

bool GuiAvailable() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

TOffscreenGui::TOffscreenGui() {
    if (QCoreApplication::instance()) return;
    gArgc = 3;
    FApp = std::make_unique<QGuiApplication>(gArgc, gArgv);
}

TOffscreenGui::~TOffscreenGui() = default;

struct TQtCanvas::Impl {
    QImage image;
    QPainter painter;
    QFont font;
    std::unique_ptr<QFontMetrics> metrics;
    QString scratch;
};

TQtCanvas::TQtCanvas(TTreemapBitmap& bitmap, int fontPixelSize, const std::string& family)
    : d(std::make_unique<Impl>()) {
    d->image = QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), qsizetype(bitmap.Stride()),
                      QImage::Format_BGR888);
    d->font = QGuiApplication::font();
    if (!family.empty()) d->font.setFamily(QString::fromStdString(family));
    d->font.setPixelSize(std::max(1, fontPixelSize));
    d->metrics = std::make_unique<QFontMetrics>(d->font);
    d->painter.begin(&d->image);
    d->painter.setFont(d->font);
    d->painter.setPen(ToQColor(kTreemapTextColor));
}

TQtCanvas::~TQtCanvas() {
    if (d->painter.isActive()) d->painter.end();
}

int TQtCanvas::TextWidth(std::u16string_view text) {
    return d->metrics->horizontalAdvance(ToQString(text));
}

int TQtCanvas::LineHeight() {
    return d->metrics->height();
}

void TQtCanvas::DrawText(int x, int y, std::u16string_view text, const TIntRect& clip) {
    if (clip.Width() <= 0 || clip.Height() <= 0) return;
    d->painter.setClipRect(QRect(clip.Left, clip.Top, clip.Width(), clip.Height()));
    // Labels read left to right: a right-to-left name stays a run of its own and the size in
    // brackets stays at the end (a left-to-right mark sets the line's direction).
    d->scratch.resize(0);
    d->scratch.append(QChar(0x200E));
    d->scratch.append(ToQString(text));
    d->painter.drawText(QPoint(x, y + d->metrics->ascent()), d->scratch);
    d->painter.setClipping(false);
}

void TQtCanvas::DrawLine(int x0, int y0, int x1, int y1, TColor color) {
    // Axis-aligned lines are filled as one-pixel rectangles without their end point.
    if (y0 == y1) {
        if (x0 == x1) return;
        const int l = x0 < x1 ? x0 : x1 + 1;
        d->painter.fillRect(QRect(l, y0, std::abs(x1 - x0), 1), ToQColor(color));
    } else if (x0 == x1) {
        const int t = y0 < y1 ? y0 : y1 + 1;
        d->painter.fillRect(QRect(x0, t, 1, std::abs(y1 - y0)), ToQColor(color));
    } else {
        d->painter.save();
        d->painter.setPen(QPen(ToQColor(color), 0));
        d->painter.drawLine(x0, y0, x1, y1);
        d->painter.restore();
    }
}

} // namespace qz

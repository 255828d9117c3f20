#include "gui/windowsettings.h"

#include "base/debuglog.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QScreen>
#include <QSplitter>
#include <QStringList>
#include <algorithm>

namespace qz {

namespace {

constexpr const char* M = kMainSection;

// Windows' show states, as the settings file stores them.
constexpr int kShowNormal = 1, kShowMaximized = 3;
constexpr int kMinColumnWidth = 4, kMaxColumnWidth = 4000;

std::string Key(const QString& s) {
    return s.toStdString();
}

// Four integers "a,b,c,d"; false when the text is not that.
bool ReadFour(const std::string& text, int out[4]) {
    const QStringList parts = QString::fromStdString(text).split(QLatin1Char(','));
    if (parts.size() != 4) return false;
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        out[i] = parts[i].trimmed().toInt(&ok);
        if (!ok) return false;
    }
    return true;
}

} // namespace

TWindowSettings::TWindowSettings(TSettingsStore& store, TMainSettings& values)
    : FStore(store), FValues(values) {}

void TWindowSettings::Restore() {
    if (FStore.Headless()) return;
    DebugLog("RestorePlacement");
    for (const THook& h : FRestorers) h(*this);
}

bool TWindowSettings::Save() {
    if (FStore.Headless() || FDisabled) return true;
    for (const THook& h : FSavers) h(*this);
    ++FSaves;
    return FStore.Save(FValues);
}

void TWindowSettings::Disable() {
    FDisabled = true;
    FStore.Ini().SetReadOnly(true);
}

void TWindowSettings::SaveHeader(const QString& prefix, const QHeaderView* header) {
    TIniFile& ini = Ini();
    for (int i = 0; i < header->count(); ++i) {
        const QString n = prefix + QString::number(i);
        // A hidden column reports width 0: its last width is kept.
        if (!header->isSectionHidden(i))
            ini.WriteInteger(M, Key(n + QStringLiteral("width")), header->sectionSize(i));
        ini.WriteInteger(M, Key(n + QStringLiteral("pos")), header->visualIndex(i));
        ini.WriteInteger(M, Key(n + QStringLiteral("visible")), header->isSectionHidden(i) ? 0 : 1);
    }
}

void TWindowSettings::RestoreHeader(const QString& prefix, QHeaderView* header) {
    const TIniFile& ini = Ini();
    const int count = header->count();
    std::vector<int> positions(size_t(count), -1);
    std::vector<bool> used(size_t(count), false);
    bool permutation = true;
    for (int i = 0; i < count; ++i) {
        const QString n = prefix + QString::number(i);
        int width = 0;
        if (ini.TryReadInteger(M, Key(n + QStringLiteral("width")), width) &&
            width >= kMinColumnWidth && width <= kMaxColumnWidth)
            header->resizeSection(i, width);
        int visible = 1;
        if (ini.TryReadInteger(M, Key(n + QStringLiteral("visible")), visible) && i > 0)
            header->setSectionHidden(i, visible == 0); // the first column always shows
        int pos = -1;
        if (!ini.TryReadInteger(M, Key(n + QStringLiteral("pos")), pos) || pos < 0 ||
            pos >= count || used[size_t(pos)])
            permutation = false;
        else
            used[size_t(pos)] = true;
        positions[size_t(i)] = pos;
    }
    if (!permutation) return;
    // Move each column to its place, from the first visual place on.
    for (int visual = 0; visual < count; ++visual) {
        const auto it = std::find(positions.begin(), positions.end(), visual);
        const int logical = int(it - positions.begin());
        header->moveSection(header->visualIndex(logical), visual);
    }
}

void TWindowSettings::SaveSplitter(const QString& key, const QSplitter* splitter) {
    QStringList parts;
    for (int size : splitter->sizes()) parts << QString::number(size);
    Ini().WriteString(M, Key(key), Key(parts.join(QLatin1Char(','))));
}

void TWindowSettings::RestoreSplitter(const QString& key, QSplitter* splitter) {
    const QStringList parts =
        QString::fromStdString(Ini().ReadString(M, Key(key))).split(QLatin1Char(','));
    if (parts.size() != splitter->count()) return;
    QList<int> sizes;
    for (const QString& p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok);
        if (!ok || v < 0 || v > kMaxWindowSide) return;
        sizes << v;
    }
    splitter->setSizes(sizes);
}

void TWindowSettings::SaveWindow(const QMainWindow* window) {
    TIniFile& ini = Ini();
    // Qt's logical pixels are the sizes at 96 dpi; the screen's scale is applied by Qt.
    const QRect normal =
        window->normalGeometry().isValid() ? window->normalGeometry() : window->geometry();
    const bool maximized = window->isMaximized() || window->isFullScreen();
    FValues.FormWidth = normal.width();
    FValues.FormHeight = normal.height();
    ini.WriteInteger(M, "ShowCmd", maximized ? kShowMaximized : kShowNormal);
    ini.WriteInteger(M, "Flags", 0);
    const QScreen* screen = window->screen();
    ini.WriteInteger(M, "PixelsPerInch",
                     screen ? int(screen->logicalDotsPerInch() * screen->devicePixelRatio() + 0.5)
                            : 96);
    ini.WriteString(M, "MinMaxPos", "-1,-1,-1,-1");
    ini.WriteString(M, "NormPos",
                    Key(QStringLiteral("%1,%2,%3,%4")
                            .arg(normal.left())
                            .arg(normal.top())
                            .arg(normal.right() + 1)
                            .arg(normal.bottom() + 1)));
}

void TWindowSettings::RestoreWindow(QMainWindow* window) {
    const TIniFile& ini = Ini();
    QSize size = window->size();
    if (FValues.FormWidth > 0) size.setWidth(FValues.FormWidth);
    if (FValues.FormHeight > 0) size.setHeight(FValues.FormHeight);
    int pos[4];
    QRect wanted;
    if (ReadFour(ini.ReadString(M, "NormPos"), pos) && pos[2] > pos[0] && pos[3] > pos[1])
        wanted = QRect(QPoint(pos[0], pos[1]), size);
    // The screen the window goes on: the one holding the stored place, else its own.
    QScreen* screen = nullptr;
    if (wanted.isValid())
        for (QScreen* s : QGuiApplication::screens())
            if (s->availableGeometry().intersects(wanted)) screen = s;
    if (!screen) screen = window->screen();
    if (screen) {
        const QRect avail = screen->availableGeometry();
        size = size.boundedTo(avail.size());
        if (!wanted.isValid() || !avail.intersects(wanted))
            wanted = QRect(avail.center() - QPoint(size.width() / 2, size.height() / 2), size);
    }
    window->resize(size);
    if (wanted.isValid()) window->move(wanted.topLeft());
    if (ini.ReadInteger(M, "ShowCmd", kShowNormal) == kShowMaximized) window->showMaximized();
}

} // namespace qz

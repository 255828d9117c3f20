#include "gui/theme.h"

#include "base/debuglog.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QStyle>
#include <QStyleFactory>
#include <QWidget>
#include <memory>

namespace qz {

namespace {

constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kPortalSettings = "org.freedesktop.portal.Settings";
constexpr const char* kAppearance = "org.freedesktop.appearance";
constexpr const char* kColorScheme = "color-scheme";

// The variant of a Read reply is wrapped once more in older portals.
int SchemeOf(QVariant v) {
    while (v.canConvert<QDBusVariant>()) v = v.value<QDBusVariant>().variant();
    bool ok = false;
    const uint scheme = v.toUInt(&ok);
    return ok && scheme <= 2 ? int(scheme) : 0;
}

// A colour with its lightness scaled (the dark selection: 80 %).
QColor ScaledLightness(const QColor& c, double factor) {
    QColor hsl = c.toHsl();
    hsl.setHsl(hsl.hue(), hsl.saturation(), int(hsl.lightness() * factor + 0.5), hsl.alpha());
    return hsl.toRgb();
}

} // namespace

TThemeManager::TThemeManager(QObject* parent)
    : QObject(parent), FDesktopPalette(QApplication::palette()),
      FDesktopStyle(QApplication::style() ? QApplication::style()->name() : QString()) {
    AskPortal();
}

QPalette TThemeManager::DarkPalette() {
    QPalette p;
    const QColor window(0x2B, 0x2D, 0x30), base(0x1E, 0x1F, 0x22), text(0xE6, 0xE6, 0xE6);
    const QColor disabled(0x80, 0x80, 0x80);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x26, 0x28, 0x2B));
    p.setColor(QPalette::ToolTipBase, window);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, QColor(0x35, 0x37, 0x3B));
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, QColor(0xFF, 0x6B, 0x6B));
    p.setColor(QPalette::Light, QColor(0x45, 0x47, 0x4B));
    p.setColor(QPalette::Midlight, QColor(0x3A, 0x3C, 0x40));
    p.setColor(QPalette::Mid, QColor(0x25, 0x26, 0x29));
    p.setColor(QPalette::Dark, QColor(0x18, 0x19, 0x1B));
    p.setColor(QPalette::Shadow, Qt::black);
    p.setColor(QPalette::Link, QColor(0x6C, 0xB4, 0xFF));
    p.setColor(QPalette::LinkVisited, QColor(0xB0, 0x8C, 0xFF));
    // The grids' selection: the style's accent at 80 % of its lightness.
    const QColor highlight = ScaledLightness(QColor(0x3D, 0x8B, 0xE0), 0.8);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, disabled);
    p.setColor(QPalette::Disabled, QPalette::Highlight, QColor(0x40, 0x42, 0x46));
    return p;
}

QPalette TThemeManager::LightPalette() {
    const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette p = fusion ? fusion->standardPalette() : QPalette();
    p.setColor(QPalette::Highlight, QColor(0xC8, 0xC8, 0xC8));
    p.setColor(QPalette::HighlightedText, Qt::black);
    return p;
}

bool TThemeManager::IsSystemDarkMode() const {
    if (FPortalScheme == 1) return true;
    if (FPortalScheme == 2) return false;
    // No portal (or no preference): the desktop's own palette tells.
    return FDesktopPalette.color(QPalette::Window).lightness() < 128;
}

void TThemeManager::SetupQuarzelTheme(int uiTheme, bool classic) {
    FTheme = uiTheme >= 0 && uiTheme <= 2 ? uiTheme : 0;
    FClassic = classic;
    const bool dark =
        FTheme == int(TUITheme::Dark) || (FTheme == int(TUITheme::Auto) && IsSystemDarkMode());
    const QString styleName = classic ? QStringLiteral("Windows") : QStringLiteral("Fusion");
    DebugLog("SetupQuarzelTheme " + styleName.toStdString() + (dark ? " dark" : " light"));
    // An unknown style leaves the one in use.
    if (QApplication::style()->name().compare(styleName, Qt::CaseInsensitive) != 0)
        if (QStyle* style = QStyleFactory::create(styleName)) QApplication::setStyle(style);
    QPalette palette = dark      ? DarkPalette()
                       : classic ? QApplication::style()->standardPalette()
                                 : LightPalette();
    if (!dark) {
        palette.setColor(QPalette::Highlight, QColor(0xC8, 0xC8, 0xC8));
        palette.setColor(QPalette::HighlightedText, Qt::black);
    }
    QApplication::setPalette(palette);
    const bool changed = !FApplied || dark != FDark;
    FDark = dark;
    FApplied = true;
    if (changed) emit themeChanged(dark);
}

void TThemeManager::SetPortalColorScheme(int scheme) {
    const bool before = IsSystemDarkMode();
    FPortalScheme = scheme;
    if (FApplied && FTheme == int(TUITheme::Auto) && IsSystemDarkMode() != before)
        SetupQuarzelTheme(FTheme, FClassic);
}

void TThemeManager::AskPortal() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    QDBusMessage read =
        QDBusMessage::createMethodCall(QLatin1String(kPortalService), QLatin1String(kPortalPath),
                                       QLatin1String(kPortalSettings), QStringLiteral("Read"));
    read << QLatin1String(kAppearance) << QLatin1String(kColorScheme);
    // Asked without waiting: the answer (if any) arrives through the event loop.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(read, 2000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        const QDBusPendingReply<QVariant> reply = *w;
        if (!reply.isError()) SetPortalColorScheme(SchemeOf(reply.value()));
        w->deleteLater();
    });
    bus.connect(QLatin1String(kPortalService), QLatin1String(kPortalPath),
                QLatin1String(kPortalSettings), QStringLiteral("SettingChanged"), this,
                SLOT(PortalSettingChanged(QString, QString, QDBusVariant)));
}

void TThemeManager::PortalSettingChanged(const QString& ns, const QString& key,
                                         const QDBusVariant& value) {
    if (ns == QLatin1String(kAppearance) && key == QLatin1String(kColorScheme))
        SetPortalColorScheme(SchemeOf(value.variant()));
}

} // namespace qz

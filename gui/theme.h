// The look: light, dark or automatic (SetupQuarzelTheme), in the modern or the classic variant.
//
// Automatic follows the desktop: the XDG desktop portal's appearance setting
// (org.freedesktop.appearance color-scheme: 1 prefers dark, 2 prefers light), asked over D-Bus
// without waiting for the answer and followed when it changes; without a portal, the
// lightness of the desktop's own palette decides. The four looks map onto Qt styles: modern
// light is Fusion with a light palette, modern dark Fusion with a dark palette, classic light
// the "Windows" style with its palette, classic dark the "Windows" style with the dark palette.
// Grid selections: dark takes the style's highlight at 80 % of its lightness, light a grey
// (#C8C8C8) with black text.
#pragma once

#include <QObject>
#include <QPalette>

class QDBusVariant;

namespace qz {

// The stored choice ("uitheme"): 0 automatic, 1 light, 2 dark.
enum class TUITheme { Auto = 0, Light = 1, Dark = 2 };

class TThemeManager : public QObject {
    Q_OBJECT
public:
    // Captures the desktop's palette and style before anything is changed, and asks the portal.
    explicit TThemeManager(QObject* parent = nullptr);

    // SetupQuarzelTheme: applies the look for the choice (values outside 0..2 act as 0).
    void SetupQuarzelTheme(int uiTheme, bool classic);
    bool Dark() const { return FDark; }
    bool Classic() const { return FClassic; }
    int Theme() const { return FTheme; }
    // IsSystemDarkMode: the portal's answer when there was one, else the palette's lightness.
    bool IsSystemDarkMode() const;
    // The portal's color-scheme (0 none, 1 dark, 2 light); -1 while unknown.
    int PortalColorScheme() const { return FPortalScheme; }
    // Sets the portal's answer (also used by tests for a desktop without a portal).
    void SetPortalColorScheme(int scheme);

    static QPalette DarkPalette();
    static QPalette LightPalette();

signals:
    // The look changed (palette or style): views that draw their own colours repaint.
    void themeChanged(bool dark);

private slots:
    void PortalSettingChanged(const QString& ns, const QString& key, const QDBusVariant& value);

private:
    void AskPortal();
    QPalette FDesktopPalette;
    QString FDesktopStyle;
    int FPortalScheme = -1;
    int FTheme = 0;
    bool FClassic = false;
    bool FDark = false;
    bool FApplied = false;
};

} // namespace qz

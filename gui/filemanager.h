// Showing items in the file manager: org.freedesktop.FileManager1.ShowItems over the session
// bus selects them in a file-manager window (GNOME Files, Dolphin, Nemo, Caja, Thunar answer
// it); without that service the folder is opened with the desktop's file opener instead.
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <functional>
#include <string>

namespace qz {

class TFileManager : public QObject {
    Q_OBJECT
public:
    explicit TFileManager(QObject* parent = nullptr);

    // Opens a file-manager window with item (absolute path) selected; when that cannot be done,
    // opens the folder with openFolder.
    void ShowItem(const std::string& item, const std::string& folder);
    // Opens folder (the folder itself, nothing selected).
    void ShowFolder(const std::string& folder);

    // Opens a folder with the desktop's file opener (set by the window; tests record it).
    std::function<void(const std::string& folder)> OpenFolder;
    // The bus asked (the session bus; tests give a bus of their own).
    void SetBus(const QDBusConnection& bus) { FBus = bus; }

signals:
    // The file manager answered a request (ok) or the folder was opened instead (!ok).
    void shown(bool ok);

private:
    QDBusConnection FBus;
    void Call(const QString& method, const std::string& path, const std::string& fallback);
};

} // namespace qz

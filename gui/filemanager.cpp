#include "gui/filemanager.h"

#include "fsops/fileuri.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

namespace qz {

TFileManager::TFileManager(QObject* parent)
    : QObject(parent), FBus(QDBusConnection::sessionBus()) {}

void TFileManager::ShowItem(const std::string& item, const std::string& folder) {
    Call(QStringLiteral("ShowItems"), item, folder);
}

void TFileManager::ShowFolder(const std::string& folder) {
    Call(QStringLiteral("ShowFolders"), folder, folder);
}

void TFileManager::Call(const QString& method, const std::string& path,
                        const std::string& fallback) {
    auto openInstead = [this, fallback] {
        if (OpenFolder) OpenFolder(fallback);
        emit shown(false);
    };
    if (!FBus.isConnected()) {
        openInstead();
        return;
    }
    const QString name = QStringLiteral("org.freedesktop.FileManager1");
    QDBusMessage msg = QDBusMessage::createMethodCall(
        name, QStringLiteral("/org/freedesktop/FileManager1"), name, method);
    // The URI as bytes read by the file manager: a name that is not UTF-8 stays escaped.
    const std::string uri = FileUri(path);
    msg << QStringList{QString::fromLatin1(uri.data(), qsizetype(uri.size()))} << QString();
    auto* watcher = new QDBusPendingCallWatcher(FBus.asyncCall(msg, 5000), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, openInstead](QDBusPendingCallWatcher* w) {
                w->deleteLater();
                if (w->isError()) {
                    openInstead();
                    return;
                }
                emit shown(true);
            });
}

} // namespace qz

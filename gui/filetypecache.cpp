#include "gui/filetypecache.h"

#include "gui/qtext.h"

#include <QApplication>
#include <QMimeDatabase>
#include <QMimeType>
#include <QStyle>

namespace qz {

TFileTypeCache::TFileTypeCache(QObject* parent) : QObject(parent) {
    FFileIcon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
    FTimer.setSingleShot(true);
    FTimer.setInterval(25);
    connect(&FTimer, &QTimer::timeout, this, &TFileTypeCache::FetchNow);
}

void TFileTypeCache::Request(std::u16string_view ext) {
    while (!ext.empty() && ext.front() <= u' ') ext.remove_prefix(1);
    while (!ext.empty() && ext.back() <= u' ') ext.remove_suffix(1);
    if (ext.empty() || ext.size() > 15) return;
    FDetails.AddExtension(ext);
    // Something new to fetch (also what another user of the description cache added).
    if (FIcons.size() < FDetails.Extensions().size() && !FTimer.isActive()) FTimer.start();
}

const QIcon* TFileTypeCache::Icon(std::u16string_view ext) const {
    const int i = FDetails.IndexOf(ext);
    if (i < 0 || size_t(i) >= FIcons.size()) return nullptr;
    return &FIcons[size_t(i)];
}

QIcon TFileTypeCache::IconForExtension(std::u16string_view ext) const {
    static const QMimeDatabase db;
    const QString name = QStringLiteral("file") + ToQString(ext).toLower();
    const QMimeType type = db.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
    if (type.isValid() && !type.isDefault()) {
        const QIcon themed = QIcon::fromTheme(type.iconName());
        if (!themed.isNull()) return themed;
        const QIcon generic = QIcon::fromTheme(type.genericIconName());
        if (!generic.isNull()) return generic;
    }
    return FFileIcon;
}

void TFileTypeCache::FetchNow() {
    FTimer.stop();
    if (!FDetails.HasPending() && FIcons.size() == FDetails.Extensions().size()) return;
    FDetails.GetFileIconsAndDescriptions();
    const auto& exts = FDetails.Extensions();
    for (size_t i = FIcons.size(); i < exts.size(); ++i)
        FIcons.push_back(IconForExtension(exts[i]));
    emit updated();
}

} // namespace qz

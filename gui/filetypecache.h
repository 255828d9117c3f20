// The window's cache of file types: for every extension a view has asked for, its type
// description (TFileAssociationDetails, from the MIME database) and its icon (from the
// desktop's icon theme for the MIME type, else the type's generic icon, else a built-in file
// icon).
//
// Views never look anything up while painting: they ask for an extension (Request) and draw
// what is known; a 25 ms timer then fetches everything asked for in one batch and says so
// (updated), and the views repaint.
#pragma once

#include "views/filetypes.h"

#include <QIcon>
#include <QObject>
#include <QTimer>
#include <string>
#include <vector>

namespace qz {

class TFileTypeCache : public QObject {
    Q_OBJECT
public:
    explicit TFileTypeCache(QObject* parent = nullptr);

    // The description cache (toolkit-free; exports use it too).
    TFileAssociationDetails& Details() { return FDetails; }

    // Queues an extension (".jpg", any case; 1 to 15 characters after trimming) for the next
    // batch and restarts the timer; known ones cost nothing.
    void Request(std::u16string_view ext);
    // The icon of an extension when fetched, else nil (the caller draws its fall-back).
    const QIcon* Icon(std::u16string_view ext) const;
    // The built-in icon of a file whose type has no icon.
    const QIcon& FileIcon() const { return FFileIcon; }
    // Fetches every queued extension now (descriptions and icons).
    void FetchNow();

signals:
    // A batch was fetched: views repaint.
    void updated();

private:
    QIcon IconForExtension(std::u16string_view ext) const;

    TFileAssociationDetails FDetails;
    std::vector<QIcon> FIcons; // same index as FDetails.Extensions()
    QIcon FFileIcon;
    QTimer FTimer;
};

} // namespace qz

// The properties of the selected items: for one item what the file system says about it
// (type, size, allocated size, dates, owner, mode, links, device, inode) beside what the scan
// counted in it; for several items their number and the files, folders and sizes they hold.
// Items of a source that is not a folder of this system show the scan's figures only.
#pragma once

#include "engine/types.h"
#include "views/format.h"

#include <QDialog>
#include <string>
#include <vector>

class QFormLayout;

namespace qz {

struct TPropertiesItem {
    std::string Path; // bytes
    PMFT_RECORD Rec = nullptr;
    bool OnDisk = false; // the path names a file of this system
};

class TPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    TPropertiesDialog(const std::vector<TPropertiesItem>& items, const TFormatSettings& format,
                      QWidget* parent = nullptr);

    // The value shown for a caption ("Size", "Owner", ...); empty when there is none (tests).
    QString Value(const QString& caption) const;

private:
    void Add(const QString& caption, const QString& value);
    void AddSingle(const TPropertiesItem& item);
    void AddSeveral(const std::vector<TPropertiesItem>& items);

    TFormatSettings FFormat;
    QFormLayout* FForm;
};

} // namespace qz

// The source list (cbDrive): the mounted file systems, the user's folders and the fixed
// entries (select folder, select multiple, MFT file, CSV file) as the toolkit-free list
// builds them (fsops/sourcelist.h), each entry with its kind.
//
// Only the user's own picks are reported (cbDriveSelect); the program selects entries
// quietly.
#pragma once

#include "fsops/sourcelist.h"

#include <QComboBox>

namespace qz {

class TSourcePicker : public QComboBox {
    Q_OBJECT
public:
    explicit TSourcePicker(QWidget* parent = nullptr);

    // Fills the list and selects its default entry.
    void SetList(TSourceList list);
    // RefreshDrives: rebuilds the list and keeps the selected entry: the one with the same
    // text, else the same drive, folder or device (its text may say something new). An entry
    // that is gone leaves nothing selected. With nothing selected before, a drive that is new
    // in the list is selected (a disk just plugged in), without a scan.
    void RefreshDrives(TSourceList list);
    // Sets the fixed entries' texts again in the current language (after a language switch).
    void Retranslate();
    const TSourceList& List() const { return FList; }
    // The selected entry; nil when none is.
    const TSourceEntry* SelectedEntry() const;
    // Selects an entry without reporting it as the user's pick (-1: none).
    void SelectQuietly(int index);
    // The first entry of a kind; -1 when there is none.
    int EntryOfKind(TSourceKind kind) const { return FindEntryOfKind(FList, kind); }

signals:
    // The user picked entry index.
    void cbDriveSelect(int index);

private:
    TSourceList FList;
};

} // namespace qz

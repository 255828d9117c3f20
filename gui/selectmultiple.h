// The multiple-selection dialog (TfrmSelectMultiple, "Select Multiple"): a check list
// (clbDrives) of the source list's drives, user folders and devices and of the folders the
// user keeps in the settings, with "Add Folder...", "Remove Folder...", OK and Cancel, and
// "Select All" (Ctrl+A) and "Select None" (Ctrl+D) in its pop-up menu. A click anywhere on an
// item, or Space, toggles its tick.
//
// OK refuses a selection in which one ticked item holds another (scanning the outer one reads
// the inner one too: see SourceContains) and names both; otherwise the user's folders are
// stored (SaveUserFolders) and the dialog closes. The dialog lives as long as the scan control,
// so its ticks are there the next time it opens.
#pragma once

#include "fsops/sourcelist.h"

#include <QDialog>
#include <functional>

class QAction;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace qz {

class TfrmSelectMultiple : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSelectMultiple(QWidget* parent = nullptr);

    // Fills the check list: the entries of list that can be scanned together (drives, user
    // folders, devices), then the folders of customFolders not among them. Items whose text
    // was ticked before stay ticked.
    void LoadList(const TSourceList& list, const std::vector<std::string>& customFolders,
                  const std::vector<TMountInfo>& mounts);
    // The ticked items as entries, in list order.
    std::vector<TSourceEntry> TickedEntries() const;
    // The user's folders (items added with "Add Folder..." or read from the settings), in
    // list order.
    std::vector<std::string> UserFolders() const;
    // Ticks or unticks every item.
    void SelectAll(bool ticked);

    QListWidget* clbDrives;
    QPushButton* btnAddFolder;
    QPushButton* btnRemoveFolder;
    QPushButton* btnOK;
    QPushButton* btnCancel;
    QAction* actSelectAll;
    QAction* actSelectNone;

    // Dialogs and storage (tests replace the first two): the folder to add (empty: none), a
    // message, and storing the user's folders (false: they could not be written).
    std::function<QString()> AskFolder;
    std::function<void(const QString&)> ShowMessage;
    std::function<bool(const std::vector<std::string>&)> SaveUserFolders;

    void accept() override;

private:
    QListWidgetItem* AddItem(const TSourceEntry& e, bool ticked);
    void AddFolderClick();
    void RemoveFolderClick();

    std::vector<TMountInfo> FMounts;
};

} // namespace qz

// The file-types view (vstExt) beside the folder tree: one row per extension with its colour
// swatch, icon, description, size, allocated size, file count and share; header clicks sort
// (the swatch column neither sorts nor moves nor resizes). Its pop-up menu offers "Select"
// (every file of the extension in the tree), "Export File Types to CSV file..." and "Show File
// Types"; the window carries out the first two.
#pragma once

#include "gui/filetypesmodel.h"

#include <QTreeView>

class QAction;

namespace qz {

class TFileTypesDelegate;
class TWindowSettings;

class TExtView : public QTreeView {
    Q_OBJECT
public:
    TExtView(TFileTypesModel& model, QWidget* parent = nullptr);

    TFileTypesModel& Model() { return FModel; }
    TFileTypesDelegate& Delegate() { return *FDelegate; }
    // The extension key of the current row (empty: none, or the row of files without one).
    std::u16string CurrentKey() const;
    // Makes the row of key current.
    bool SelectRowOf(std::u16string_view key);

    // Every save of the window's settings stores the columns ("extcol": widths, positions,
    // visibility); the restore sets them again, the swatch first and 25 pixels wide at 96 dpi.
    void AttachSettings(TWindowSettings& settings);

    QAction* actSelectExt;       // "Select"
    QAction* actExportFileTypes; // "Export File Types to CSV file..." (the window's action)
    QAction* actShowFileTypes;   // "Show File Types" (F8, the window's action)

signals:
    // "Select": the window selects every file of key in the tree.
    void selectExtension(const QString& key);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void SetupHeader();

    TFileTypesModel& FModel;
    TFileTypesDelegate* FDelegate;
};

} // namespace qz

// The export options dialog (frmExportOptions, caption "Export"): the file name with its
// browse button, the view and selection, the row options and option groups, and the maximum
// folder depth. OK is refused while neither files nor folders are to be exported.
#pragma once

#include "export/export_options.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace qz {

class TfrmExportOptions : public QDialog {
    Q_OBJECT
public:
    explicit TfrmExportOptions(QWidget* parent = nullptr);

    QLabel* lblExportFilename;
    QLineEdit* edFilename;
    QToolButton* btnBrowse;
    QRadioButton* rbTreeView;
    QRadioButton* rbFileView;
    QCheckBox* cbSelectedOnly;
    QLabel* lblSelection;
    QCheckBox* cbExportFiles;
    QCheckBox* cbExportFolders;
    QCheckBox* cbExportDriveSize;
    QCheckBox* cbExportDates;
    QCheckBox* cbExportFolderSize;
    QCheckBox* cbSplitFileNames;
    QCheckBox* cbPercentageofParent;
    QCheckBox* cbExportMFTNo;
    QLabel* lblMaxFolderDepth;
    QSpinBox* seFolderDepth;
    QPushButton* btnOK;
    QPushButton* btnCancel;

    // The browse dialog (tests replace it): the file chosen, empty when cancelled; current is
    // the name in the box, tsv chooses the ".tsv" entry of the filter first.
    std::function<QString(const QString& current, bool tsv)> AskSaveFile;
    // The message OK shows when nothing would be exported (tests replace it).
    std::function<void(const QString&)> ShowError;

    void SetState(const TExportDialogState& s);
    TExportDialogState State() const;
    // The view exported (the other one cannot be chosen) and the selection's description;
    // selected: nodes are selected in that view.
    void SetView(bool treeView, bool selected, const QString& selection);

private:
    void Browse();
    void OkClicked();
};

} // namespace qz

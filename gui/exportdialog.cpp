#include "gui/exportdialog.h"

#include "gui/qtext.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

namespace qz {

namespace {
QCheckBox* Box(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QCheckBox(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}
} // namespace

TfrmExportOptions::TfrmExportOptions(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmExportOptions"));
    setWindowTitle(Tr("Export"));
    setAccessibleName(Tr("Export"));
    auto* layout = new QVBoxLayout(this);

    lblExportFilename = new QLabel(Tr("Export file name:"), this);
    edFilename = new QLineEdit(this);
    edFilename->setObjectName(QStringLiteral("edFilename"));
    edFilename->setAccessibleName(Tr("Export file name:"));
    edFilename->setMinimumWidth(420);
    lblExportFilename->setBuddy(edFilename);
    btnBrowse = new QToolButton(this);
    btnBrowse->setObjectName(QStringLiteral("btnBrowse"));
    btnBrowse->setText(QStringLiteral("..."));
    btnBrowse->setAccessibleName(Tr("Browse"));
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(edFilename, 1);
    nameRow->addWidget(btnBrowse);
    layout->addWidget(lblExportFilename);
    layout->addLayout(nameRow);

    auto* gbSelection = new QGroupBox(Tr("Selection"), this);
    gbSelection->setObjectName(QStringLiteral("gbSelection"));
    auto* sel = new QVBoxLayout(gbSelection);
    auto* views = new QHBoxLayout;
    rbTreeView = new QRadioButton(Tr("Tree View"), gbSelection);
    rbTreeView->setObjectName(QStringLiteral("rbTreeView"));
    rbFileView = new QRadioButton(Tr("File View"), gbSelection);
    rbFileView->setObjectName(QStringLiteral("rbFileView"));
    cbSelectedOnly = Box("cbSelectedOnly", Tr("Selected only"), gbSelection);
    views->addWidget(rbTreeView);
    views->addWidget(rbFileView);
    views->addWidget(cbSelectedOnly);
    views->addStretch(1);
    lblSelection = new QLabel(gbSelection);
    lblSelection->setObjectName(QStringLiteral("lblSelection"));
    lblSelection->setAccessibleName(Tr("Selection"));
    lblSelection->setTextFormat(Qt::PlainText);
    sel->addLayout(views);
    sel->addWidget(lblSelection);
    layout->addWidget(gbSelection);

    cbExportFiles = Box("cbExportFiles", Tr("Export Files"), this);
    cbExportFolders = Box("cbExportFolders", Tr("Export Folders"), this);
    cbExportDriveSize = Box("cbExportDriveSize", Tr("Export drive size information"), this);
    cbExportDates =
        Box("cbExportDates", Tr("Export \"Last Accessed\" and \"Created\" dates"), this);
    cbExportFolderSize =
        Box("cbExportFolderSize",
            Tr("Export total size and allocated size of folders (excluding sub folders)"), this);
    cbSplitFileNames = Box("cbSplitFileNames",
                           Tr("Split file names into root, folder, filename and extension"), this);
    cbPercentageofParent =
        Box("cbPercentageofParent", Tr("Export percentage of parent value"), this);
    cbExportMFTNo = Box("cbExportMFTNo", Tr("Export MFT record number"), this);
    for (QCheckBox* b : {cbExportFiles, cbExportFolders, cbExportDriveSize, cbExportDates,
                         cbExportFolderSize, cbSplitFileNames, cbPercentageofParent, cbExportMFTNo})
        layout->addWidget(b);

    auto* depthRow = new QHBoxLayout;
    lblMaxFolderDepth = new QLabel(Tr("Max folder depth (0 = no limit):"), this);
    seFolderDepth = new QSpinBox(this);
    seFolderDepth->setObjectName(QStringLiteral("seFolderDepth"));
    seFolderDepth->setAccessibleName(Tr("Max folder depth (0 = no limit):"));
    seFolderDepth->setRange(0, 9999); // a negative depth cannot be entered
    lblMaxFolderDepth->setBuddy(seFolderDepth);
    depthRow->addWidget(lblMaxFolderDepth);
    depthRow->addWidget(seFolderDepth);
    depthRow->addStretch(1);
    layout->addLayout(depthRow);

    auto* buttons = new QDialogButtonBox(this);
    btnOK = buttons->addButton(Tr("OK"), QDialogButtonBox::AcceptRole);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(buttons);

    AskSaveFile = [this](const QString& current, bool tsv) {
        const QString csv = QStringLiteral(".csv (*.csv)"),
                      tsvFilter = QStringLiteral(".tsv (*.tsv)");
        QString selected = tsv ? tsvFilter : csv;
        QFileDialog dialog(this, Tr("Export"), current, csv + QStringLiteral(";;") + tsvFilter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("csv"));
        dialog.setOption(QFileDialog::DontConfirmOverwrite); // asked after OK
        dialog.selectNameFilter(selected);
        dialog.selectFile(current);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().front();
    };
    ShowError = [this](const QString& text) {
        QMessageBox::critical(this, QStringLiteral("Quarzel"), text);
    };
    connect(btnBrowse, &QToolButton::clicked, this, &TfrmExportOptions::Browse);
    connect(btnOK, &QPushButton::clicked, this, &TfrmExportOptions::OkClicked);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmExportOptions::SetState(const TExportDialogState& s) {
    cbExportFiles->setChecked(s.cbExportFiles);
    cbExportFolders->setChecked(s.cbExportFolders);
    cbExportDriveSize->setChecked(s.cbExportDriveSize);
    cbExportDates->setChecked(s.cbExportDates);
    cbExportFolderSize->setChecked(s.cbExportFolderSize);
    cbSplitFileNames->setChecked(s.cbSplitFileNames);
    cbPercentageofParent->setChecked(s.cbPercentageofParent);
    cbExportMFTNo->setChecked(s.cbExportMFTNo);
    seFolderDepth->setValue(ValidFolderDepth(s.seFolderDepth));
}

TExportDialogState TfrmExportOptions::State() const {
    TExportDialogState s;
    s.cbExportFiles = cbExportFiles->isChecked();
    s.cbExportFolders = cbExportFolders->isChecked();
    s.cbExportDriveSize = cbExportDriveSize->isChecked();
    s.cbExportDates = cbExportDates->isChecked();
    s.cbExportFolderSize = cbExportFolderSize->isChecked();
    s.cbSplitFileNames = cbSplitFileNames->isChecked();
    s.cbPercentageofParent = cbPercentageofParent->isChecked();
    s.cbExportMFTNo = cbExportMFTNo->isChecked();
    s.seFolderDepth = ValidFolderDepth(seFolderDepth->value());
    return s;
}

void TfrmExportOptions::SetView(bool treeView, bool selected, const QString& selection) {
    rbTreeView->setChecked(treeView);
    rbFileView->setChecked(!treeView);
    rbTreeView->setEnabled(treeView);
    rbFileView->setEnabled(!treeView);
    cbSelectedOnly->setChecked(selected);
    cbSelectedOnly->setEnabled(selected);
    lblSelection->setText(selected ? selection : QString());
}

void TfrmExportOptions::Browse() {
    const QString name = edFilename->text();
    const bool tsv = name.endsWith(QStringLiteral(".tsv"), Qt::CaseInsensitive);
    const QString chosen = AskSaveFile ? AskSaveFile(name, tsv) : QString();
    if (!chosen.isEmpty()) edFilename->setText(chosen);
}

void TfrmExportOptions::OkClicked() {
    const std::u16string error = CheckExportDialog(State());
    if (!error.empty()) {
        if (ShowError) ShowError(ToQString(error));
        return; // the dialog stays open
    }
    if (edFilename->text().trimmed().isEmpty()) {
        if (ShowError) ShowError(Tr("Please enter a file name"));
        return;
    }
    accept();
}

} // namespace qz

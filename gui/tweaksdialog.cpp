#include "gui/tweaksdialog.h"

#include "gui/qtext.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <climits>

namespace qz {

namespace {

QCheckBox* Check(QWidget* parent, QVBoxLayout* layout, const char* name, const char* caption,
                 bool checked) {
    auto* c = new QCheckBox(Tr(caption), parent);
    c->setObjectName(QString::fromLatin1(name));
    c->setChecked(checked);
    layout->addWidget(c);
    return c;
}

} // namespace

TfrmTweaks::TfrmTweaks(const TMainSettings& current, QWidget* parent)
    : QDialog(parent), FCurrent(current) {
    setObjectName(QStringLiteral("frmTweaks"));
    setWindowTitle(Tr("Tweaks"));
    auto* layout = new QVBoxLayout(this);
    cbEnableDragDrop =
        Check(this, layout, "cbEnableDragDrop", N_("Enable drag/drop"), current.EnableDragDrop);
    cbEnableDoubleClickOpen = Check(this, layout, "cbEnableDoubleClickOpen",
                                    N_("Open file on double click"), current.EnableDoubleClickOpen);
    cbMonitorFileSystemForchanges =
        Check(this, layout, "cbMonitorFileSystemForchanges", N_("Monitor file system for changes"),
              current.MonitorFileSystemForChanges);
    cbShowMaxModifiedDate =
        Check(this, layout, "cbShowMaxModifiedDate",
              N_("Show max modified date of all sub folders/files as folder's last modified date"),
              current.ShowMaxModifiedDate);
    cbScanMFTifPossible = Check(this, layout, "cbScanMFTifPossible",
                                N_("Scan MFT (if possible) when a folder is selected for analysis"),
                                current.FullScanNTFSIfPossible);
    auto* explanation = new QLabel(
        Tr("Normally the MFT is only scanned when an entire drive is selected. This option can "
           "speed up the scanning of folders containing a large number of files, but can be "
           "slower for smaller folders."),
        this);
    explanation->setObjectName(QStringLiteral("lblScanMFTifPossible"));
    explanation->setWordWrap(true);
    explanation->setContentsMargins(20, 0, 0, 4);
    layout->addWidget(explanation);
    cbQuarzelClassicTheme = Check(this, layout, "cbQuarzelClassicTheme",
                                  N_("Use Quarzel classic theme"), current.UseClassicTheme);
    cbShowHorizontalLines =
        Check(this, layout, "cbShowHorizontalLines", N_("Show horizontal lines in grids"),
              current.ShowHorizontalLines > 0);
    cbAltRowColors =
        Check(this, layout, "cbAltRowColors", N_("Alternate row colors"), current.AltRowColors > 0);
    cbGradientEnabled = Check(this, layout, "cbGradientEnabled",
                              N_("Enable gradient colors in treemap"), current.GradientEnabled);

    auto* form = new QFormLayout;
    edDecimalPlaces = new QSpinBox(this);
    edDecimalPlaces->setObjectName(QStringLiteral("edDecimalPlaces"));
    edDecimalPlaces->setRange(0, 4);
    edDecimalPlaces->setValue(current.DecimalPlaces);
    edDecimalPlaces->setAccessibleName(Tr("Number of Decimal places to display:"));
    form->addRow(Tr("Number of Decimal places to display:"), edDecimalPlaces);
    edFileNodeMinGroupSize = new QSpinBox(this);
    edFileNodeMinGroupSize->setObjectName(QStringLiteral("edFileNodeMinGroupSize"));
    // A negative size is no choice: the box stops at 0.
    edFileNodeMinGroupSize->setRange(0, INT_MAX);
    edFileNodeMinGroupSize->setValue(std::max(0, current.FileNodeMinGroupSize));
    edFileNodeMinGroupSize->setAccessibleName(
        Tr("File group minimum size (set to 0 to disable file grouping):"));
    form->addRow(Tr("File group minimum size (set to 0 to disable file grouping):"),
                 edFileNodeMinGroupSize);
    layout->addLayout(form);

    Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    Buttons->setObjectName(QStringLiteral("Buttons"));
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(false);
    layout->addWidget(Buttons);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QCheckBox* c : findChildren<QCheckBox*>())
        connect(c, &QCheckBox::toggled, this, &TfrmTweaks::Changed);
    for (QSpinBox* e : {edDecimalPlaces, edFileNodeMinGroupSize})
        connect(e, &QSpinBox::valueChanged, this, &TfrmTweaks::Changed);
}

void TfrmTweaks::Changed() {
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(true);
}

TMainSettings TfrmTweaks::Values() const {
    TMainSettings s = FCurrent;
    s.EnableDragDrop = cbEnableDragDrop->isChecked();
    s.EnableDoubleClickOpen = cbEnableDoubleClickOpen->isChecked();
    s.MonitorFileSystemForChanges = cbMonitorFileSystemForchanges->isChecked();
    s.ShowMaxModifiedDate = cbShowMaxModifiedDate->isChecked();
    s.FullScanNTFSIfPossible = cbScanMFTifPossible->isChecked();
    s.UseClassicTheme = cbQuarzelClassicTheme->isChecked();
    s.ShowHorizontalLines = cbShowHorizontalLines->isChecked() ? 1 : 0;
    s.AltRowColors = cbAltRowColors->isChecked() ? 1 : 0;
    s.GradientEnabled = cbGradientEnabled->isChecked();
    s.DecimalPlaces = edDecimalPlaces->value();
    s.FileNodeMinGroupSize = edFileNodeMinGroupSize->value();
    return s;
}

void WriteTweaks(TIniFile& ini, const TMainSettings& s) {
    const char* M = kMainSection;
    ini.WriteInteger(M, "enabledragdrop", s.EnableDragDrop ? 1 : 0);
    ini.WriteInteger(M, "enabledoubleclickopen", s.EnableDoubleClickOpen ? 1 : 0);
    ini.WriteInteger(M, "MonitorFileSystemForChanges", s.MonitorFileSystemForChanges ? 1 : 0);
    ini.WriteInteger(M, "ShowMaxModifiedDate", s.ShowMaxModifiedDate ? 1 : 0);
    ini.WriteInteger(M, "FullScanNTFSIfPossible", s.FullScanNTFSIfPossible ? 1 : 0);
    ini.WriteInteger(M, "UseQuarzelClassicTheme", s.UseClassicTheme ? 1 : 0);
    ini.WriteInteger(M, "showhorizontallines", s.ShowHorizontalLines);
    ini.WriteInteger(M, "altrowcolors", s.AltRowColors);
    ini.WriteInteger(M, "gradientenabled", s.GradientEnabled ? 1 : 0);
    ini.WriteInteger(M, "decimalplaces", s.DecimalPlaces);
    ini.WriteInteger(M, "FileNodeMinGroupSize", s.FileNodeMinGroupSize);
}

} // namespace qz

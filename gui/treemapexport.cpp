#include "gui/treemapexport.h"

#include "app/inifile.h"
#include "base/text.h"
#include "gui/qtext.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace qz {

TfrmExportTreemap::TfrmExportTreemap(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmExportTreemap"));
    setWindowTitle(Tr("Save Treemap Image as .png file"));
    setAccessibleName(windowTitle());
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    lblWidth = new QLabel(Tr("Width") + QStringLiteral(":"), this);
    edWidth = new QLineEdit(QStringLiteral("1920"), this);
    edWidth->setObjectName(QStringLiteral("edWidth"));
    edWidth->setAccessibleName(Tr("Width"));
    lblWidth->setBuddy(edWidth);
    lblHeight = new QLabel(Tr("Height") + QStringLiteral(":"), this);
    edHeight = new QLineEdit(QStringLiteral("1080"), this);
    edHeight->setObjectName(QStringLiteral("edHeight"));
    edHeight->setAccessibleName(Tr("Height"));
    lblHeight->setBuddy(edHeight);
    Button1 = new QToolButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setText(QStringLiteral("..."));
    Button1->setAccessibleName(Tr("Size presets"));
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    for (std::u16string_view preset : kTreemapSizePresets) {
        QAction* a = PopupMenu1->addAction(ToQString(preset));
        connect(a, &QAction::triggered, this, [this, a] { PresetClick(a->text()); });
    }
    connect(Button1, &QToolButton::clicked, this,
            [this] { PopupMenu1->popup(Button1->mapToGlobal(QPoint(0, Button1->height()))); });
    grid->addWidget(lblWidth, 0, 0);
    grid->addWidget(edWidth, 0, 1);
    grid->addWidget(Button1, 0, 2, 2, 1);
    grid->addWidget(lblHeight, 1, 0);
    grid->addWidget(edHeight, 1, 1);
    layout->addLayout(grid);
    cbShadesofGray = new QCheckBox(Tr("Shades of Gray (single color)"), this);
    cbShadesofGray->setObjectName(QStringLiteral("cbShadesofGray"));
    cbShowFreeSpace = new QCheckBox(Tr("Show Free Space on Treemap"), this);
    cbShowFreeSpace->setObjectName(QStringLiteral("cbShowFreeSpace"));
    layout->addWidget(cbShadesofGray);
    layout->addWidget(cbShowFreeSpace);
    lblError = new QLabel(this);
    lblError->setObjectName(QStringLiteral("lblError"));
    lblError->setWordWrap(true);
    lblError->setStyleSheet(QStringLiteral("color: #C00000"));
    lblError->hide();
    layout->addWidget(lblError);
    auto* buttons = new QDialogButtonBox(this);
    btnSave = buttons->addButton(Tr("Save"), QDialogButtonBox::AcceptRole);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setDefault(true);
    btnCancel = buttons->addButton(Tr("Cancel"), QDialogButtonBox::RejectRole);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    layout->addWidget(buttons);
    // Save checks the size first; Cancel closes.
    connect(btnSave, &QPushButton::clicked, this, &TfrmExportTreemap::btnSaveClick);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->setSizeConstraint(QLayout::SetFixedSize); // a fixed border
}

void TfrmExportTreemap::SetChoices(const TExportTreemapChoices& c) {
    edWidth->setText(ToQString(c.edWidth));
    edHeight->setText(ToQString(c.edHeight));
    cbShadesofGray->setChecked(c.cbShadesofGray);
    cbShowFreeSpace->setChecked(c.cbShowFreeSpace);
}

TExportTreemapChoices TfrmExportTreemap::Choices() const {
    TExportTreemapChoices c;
    c.edWidth = ToU16(edWidth->text());
    c.edHeight = ToU16(edHeight->text());
    c.cbShadesofGray = cbShadesofGray->isChecked();
    c.cbShowFreeSpace = cbShowFreeSpace->isChecked();
    return c;
}

void TfrmExportTreemap::LoadChoices(const TIniFile& ini) {
    TExportTreemapChoices c = Choices();
    c.edWidth = Utf8ToUtf16(
        ini.ReadString(kExportTreemapSection, kExportTreemapWidthKey, Utf16ToUtf8(c.edWidth)));
    c.edHeight = Utf8ToUtf16(
        ini.ReadString(kExportTreemapSection, kExportTreemapHeightKey, Utf16ToUtf8(c.edHeight)));
    c.cbShadesofGray = ini.ReadBool(kExportTreemapSection, kExportTreemapGrayKey, c.cbShadesofGray);
    SetChoices(c);
}

void TfrmExportTreemap::SaveChoices(TIniFile& ini) const {
    const TExportTreemapChoices c = Choices();
    ini.WriteString(kExportTreemapSection, kExportTreemapWidthKey, Utf16ToUtf8(c.edWidth));
    ini.WriteString(kExportTreemapSection, kExportTreemapHeightKey, Utf16ToUtf8(c.edHeight));
    ini.WriteBool(kExportTreemapSection, kExportTreemapGrayKey, c.cbShadesofGray);
}

void TfrmExportTreemap::PresetClick(const QString& caption) {
    std::u16string w = ToU16(edWidth->text()), h = ToU16(edHeight->text());
    ApplySizePreset(ToU16(caption), w, h);
    edWidth->setText(ToQString(w));
    edHeight->setText(ToQString(h));
}

void TfrmExportTreemap::btnSaveClick() {
    int width = 0, height = 0;
    const std::string error = CheckImageChoices(Choices(), width, height);
    if (!error.empty()) {
        lblError->setText(QString::fromUtf8(error));
        lblError->show();
        return;
    }
    lblError->hide();
    accept();
}

} // namespace qz

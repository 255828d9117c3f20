#include "gui/colorsdialog.h"

#include "gui/qtext.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qz {

namespace {

QColor ToQColor(TColor c) {
    return QColor(int((c >> 16) & 0xFF), int((c >> 8) & 0xFF), int(c & 0xFF));
}

TColor FromQColor(const QColor& c) {
    return TColor(c.red()) << 16 | TColor(c.green()) << 8 | TColor(c.blue());
}

QIcon Swatch(TColor c) {
    QPixmap pm(28, 14);
    pm.fill(ToQColor(c));
    return QIcon(pm);
}

} // namespace

TfrmSetColors::TfrmSetColors(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSetColors"));
    setWindowTitle(Tr("Colors"));
    setAccessibleName(windowTitle());
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* lblTheme = new QLabel(Tr("UI Theme:"), this);
    cbTheme = new QComboBox(this);
    cbTheme->setObjectName(QStringLiteral("cbTheme"));
    cbTheme->setAccessibleName(Tr("UI Theme"));
    cbTheme->addItems({Tr("Auto"), Tr("Light"), Tr("Dark")});
    lblTheme->setBuddy(cbTheme);
    top->addWidget(lblTheme);
    top->addWidget(cbTheme);
    top->addSpacing(20);
    top->addWidget(new QLabel(Tr("Color By:"), this));
    rbSize = new QRadioButton(Tr("Size"), this);
    rbSize->setObjectName(QStringLiteral("rbSize"));
    rbExtension = new QRadioButton(Tr("Extension"), this);
    rbExtension->setObjectName(QStringLiteral("rbExtension"));
    auto* group = new QButtonGroup(this);
    group->addButton(rbSize);
    group->addButton(rbExtension);
    top->addWidget(rbSize);
    top->addWidget(rbExtension);
    top->addStretch(1);
    layout->addLayout(top);

    auto* middle = new QHBoxLayout;
    auto* slotGrid = new QGridLayout;
    slotGrid->addWidget(new QLabel(Tr("Color:"), this), 0, 0);
    lblExtensions = new QLabel(Tr("File Extension(s):"), this);
    slotGrid->addWidget(lblExtensions, 0, 1);
    lbColors = new QListWidget(this);
    lbColors->setObjectName(QStringLiteral("lbColors"));
    lbColors->setAccessibleName(Tr("Colors"));
    lbColors->setIconSize(QSize(28, 14));
    for (int i = 0; i < kPaletteSlots; ++i) lbColors->addItem(QString::number(i + 1));
    lbColors->setFixedWidth(90);
    slotGrid->addWidget(lbColors, 1, 0, kPaletteSlots, 1);
    for (int i = 0; i < kPaletteSlots; ++i) {
        edExt[size_t(i)] = new QLineEdit(this);
        edExt[size_t(i)]->setObjectName(QStringLiteral("edExt%1").arg(i + 1));
        edExt[size_t(i)]->setAccessibleName(Tr("File Extension(s)") +
                                            QStringLiteral(" %1").arg(i + 1));
        edExt[size_t(i)]->installEventFilter(this);
        slotGrid->addWidget(edExt[size_t(i)], i + 1, 1);
    }
    edExt[kPaletteSlots - 1]->hide(); // the last slot takes everything not listed
    middle->addLayout(slotGrid, 1);
    Picker = new QColorDialog(this);
    Picker->setObjectName(QStringLiteral("Picker"));
    Picker->setOptions(QColorDialog::NoButtons | QColorDialog::DontUseNativeDialog);
    Picker->setWindowFlags(Qt::Widget);
    middle->addWidget(Picker);
    layout->addLayout(middle, 1);

    auto* buttons = new QHBoxLayout;
    btnDefaultColors = new QPushButton(Tr("Default"), this);
    btnDefaultColors->setObjectName(QStringLiteral("btnDefaultColors"));
    btnDefaultColors->setAccessibleName(Tr("Default colors"));
    btnColorBlind = new QPushButton(Tr("Color Blind"), this);
    btnColorBlind->setObjectName(QStringLiteral("btnColorBlind"));
    btnDefaultExtensions = new QPushButton(Tr("Default"), this);
    btnDefaultExtensions->setObjectName(QStringLiteral("btnDefaultExtensions"));
    btnDefaultExtensions->setAccessibleName(Tr("Default file extensions"));
    btnOK = new QPushButton(Tr("OK"), this);
    btnOK->setObjectName(QStringLiteral("btnOK"));
    btnOK->setDefault(true);
    btnCancel = new QPushButton(Tr("Cancel"), this);
    btnCancel->setObjectName(QStringLiteral("btnCancel"));
    buttons->addWidget(btnDefaultColors);
    buttons->addWidget(btnColorBlind);
    buttons->addWidget(btnDefaultExtensions);
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    connect(lbColors, &QListWidget::currentRowChanged, this, &TfrmSetColors::SwatchSelected);
    connect(Picker, &QColorDialog::currentColorChanged, this, &TfrmSetColors::PickerChanged);
    connect(rbSize, &QRadioButton::toggled, this, &TfrmSetColors::UpdateExtensionControls);
    connect(btnDefaultColors, &QPushButton::clicked, this,
            [this] { SetPalette(DefaultPalette()); });
    connect(btnColorBlind, &QPushButton::clicked, this,
            [this] { SetPalette(ColorBlindPalette()); });
    connect(btnDefaultExtensions, &QPushButton::clicked, this, [this] {
        const TTM_FILEEXTENSIONS& d = DefaultFileExtensions();
        for (int i = 0; i < kPaletteSlots; ++i)
            edExt[size_t(i)]->setText(i + 1 < kPaletteSlots ? ToQString(d[size_t(i)]) : QString());
    });
    connect(cbTheme, &QComboBox::currentIndexChanged, this, [this](int i) {
        if (PreviewTheme && i >= 0) PreviewTheme(i);
    });
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    SetChoices(TColorChoices{});
}

void TfrmSetColors::SetChoices(const TColorChoices& c) {
    {
        const QSignalBlocker block(cbTheme);
        cbTheme->setCurrentIndex(c.UITheme >= 0 && c.UITheme <= 2 ? c.UITheme : 0);
    }
    rbSize->setChecked(c.ColorBySize);
    rbExtension->setChecked(!c.ColorBySize);
    for (int i = 0; i < kPaletteSlots; ++i)
        edExt[size_t(i)]->setText(i + 1 < kPaletteSlots ? ToQString(c.FileExtensions[size_t(i)])
                                                        : QString());
    SetPalette(c.Palette);
    lbColors->setCurrentRow(0);
    UpdateExtensionControls();
}

TColorChoices TfrmSetColors::Choices() const {
    TColorChoices c;
    c.Palette = FColors;
    for (int i = 0; i < kPaletteSlots; ++i)
        c.FileExtensions[size_t(i)] = ToU16(edExt[size_t(i)]->text());
    c.FileExtensions[kPaletteSlots - 1].clear();
    c.ColorBySize = rbSize->isChecked();
    c.UITheme = std::max(0, cbTheme->currentIndex());
    return c;
}

TColor TfrmSetColors::SwatchColor(int slot) const {
    return FColors[size_t(slot)];
}

void TfrmSetColors::SetSwatchColor(int slot, TColor c) {
    FColors[size_t(slot)] = c;
    lbColors->item(slot)->setIcon(Swatch(c));
}

void TfrmSetColors::SetPalette(const TTM_PALETTE& palette) {
    for (int i = 0; i < kPaletteSlots; ++i) SetSwatchColor(i, palette[size_t(i)]);
    // The picker follows the list again.
    FBound = -1;
    SwatchSelected(lbColors->currentRow());
}

void TfrmSetColors::SwatchSelected(int slot) {
    if (slot < 0 || slot >= kPaletteSlots) return;
    if (slot != FBound) {
        FLoading = true;
        Picker->setCurrentColor(ToQColor(FColors[size_t(slot)]));
        FLoading = false;
        FBound = slot;
    }
    QLineEdit* e = edExt[size_t(slot)];
    if (e->isVisible() && e->isEnabled() && !e->hasFocus() && isVisible()) e->setFocus();
}

void TfrmSetColors::PickerChanged() {
    if (FLoading || FBound < 0) return;
    SetSwatchColor(FBound, FromQColor(Picker->currentColor()));
}

void TfrmSetColors::UpdateExtensionControls() {
    const bool on = rbExtension->isChecked();
    lblExtensions->setEnabled(on);
    btnDefaultExtensions->setEnabled(on);
    for (QLineEdit* e : edExt) e->setEnabled(on);
}

bool TfrmSetColors::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn)
        for (int i = 0; i < kPaletteSlots; ++i)
            if (watched == edExt[size_t(i)] && lbColors->currentRow() != i)
                lbColors->setCurrentRow(i);
    return QDialog::eventFilter(watched, event);
}

} // namespace qz

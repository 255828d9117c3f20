#include "gui/spacesummary.h"

#include "gui/qtext.h"

#include <QGridLayout>
#include <QLabel>

namespace qz {

namespace {

QLabel* ValueLabel(QWidget* parent, const char* name, const QString& accessible) {
    auto* l = new QLabel(QStringLiteral("n/a"), parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAccessibleName(accessible);
    // Reached with Tab (after the interaction flags, which set a focus policy of their own).
    l->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    l->setFocusPolicy(Qt::StrongFocus);
    return l;
}

} // namespace

TSpaceSummaryPanel::TSpaceSummaryPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("panSpace"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(0);
    lblDrive = ValueLabel(this, "lblDrive", Tr("Selection"));
    lblDriveSerial = ValueLabel(this, "lblDriveSerial", Tr("Selection path"));
    lblTotalSpace = ValueLabel(this, "lblTotalSpace", Tr("Total Space"));
    lblSpaceUsed = ValueLabel(this, "lblSpaceUsed", Tr("Space Used"));
    lblSpaceUsedPerc = ValueLabel(this, "lblSpaceUsedPerc", Tr("Space Used percentage"));
    lblSpaceFree = ValueLabel(this, "lblSpaceFree", Tr("Space Free"));
    lblSpaceFreePerc = ValueLabel(this, "lblSpaceFreePerc", Tr("Space Free percentage"));
    lblReservedSpace = ValueLabel(this, "lblReservedSpace", Tr("Reserved Space"));
    lblDriveSerial->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto caption = [&](const char* text, QLabel* buddy) {
        auto* l = new QLabel(Tr(text), this);
        l->setBuddy(buddy);
        return l;
    };
    // Two rows: what is shown across the top, the four figures below it.
    grid->addWidget(caption(N_("Selection:"), lblDrive), 0, 0, Qt::AlignRight);
    grid->addWidget(lblDrive, 0, 1);
    grid->addWidget(lblDriveSerial, 0, 2, 1, 7);
    grid->addWidget(caption(N_("Total Space:"), lblTotalSpace), 1, 0, Qt::AlignRight);
    grid->addWidget(lblTotalSpace, 1, 1);
    grid->addWidget(caption(N_("Space Used:"), lblSpaceUsed), 1, 2, Qt::AlignRight);
    grid->addWidget(lblSpaceUsed, 1, 3);
    grid->addWidget(lblSpaceUsedPerc, 1, 4);
    grid->addWidget(caption(N_("Space Free:"), lblSpaceFree), 1, 5, Qt::AlignRight);
    grid->addWidget(lblSpaceFree, 1, 6);
    grid->addWidget(lblSpaceFreePerc, 1, 7);
    grid->addWidget(caption(N_("Reserved Space:"), lblReservedSpace), 1, 8, Qt::AlignRight);
    grid->addWidget(lblReservedSpace, 1, 9);
    grid->setColumnStretch(10, 1);
}

void TSpaceSummaryPanel::Show(const TSpaceSummary& s) {
    lblDrive->setText(ToQString(s.lblDrive));
    lblDriveSerial->setText(ToQString(s.lblDriveSerial));
    lblTotalSpace->setText(ToQString(s.lblTotalSpace));
    lblSpaceUsed->setText(ToQString(s.lblSpaceUsed));
    lblSpaceUsedPerc->setText(ToQString(s.lblSpaceUsedPerc));
    lblSpaceFree->setText(ToQString(s.lblSpaceFree));
    lblSpaceFreePerc->setText(ToQString(s.lblSpaceFreePerc));
    lblReservedSpace->setText(ToQString(s.lblReservedSpace));
    for (QLabel* l : {lblDrive, lblDriveSerial, lblTotalSpace, lblSpaceUsed, lblSpaceUsedPerc,
                      lblSpaceFree, lblSpaceFreePerc, lblReservedSpace})
        l->setAccessibleDescription(l->text());
}

QSize TSpaceSummaryPanel::minimumSizeHint() const {
    return {0, QWidget::minimumSizeHint().height()};
}

QString TSpaceSummaryPanel::DriveSerial() const {
    return lblDriveSerial->text();
}

} // namespace qz

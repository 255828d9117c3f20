#include "gui/spacesummary.h"

#include "gui/qtext.h"

#include <QGridLayout>
#include <QLabel>
#include <algorithm>

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
    FContent = new QWidget(this);
    auto* grid = new QGridLayout(FContent);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(0);
    QWidget* c = FContent;
    lblDrive = ValueLabel(c, "lblDrive", Tr("Selection"));
    lblDriveSerial = ValueLabel(c, "lblDriveSerial", Tr("Selection path"));
    lblTotalSpace = ValueLabel(c, "lblTotalSpace", Tr("Total Space"));
    lblSpaceUsed = ValueLabel(c, "lblSpaceUsed", Tr("Space Used"));
    lblSpaceUsedPerc = ValueLabel(c, "lblSpaceUsedPerc", Tr("Space Used percentage"));
    lblSpaceFree = ValueLabel(c, "lblSpaceFree", Tr("Space Free"));
    lblSpaceFreePerc = ValueLabel(c, "lblSpaceFreePerc", Tr("Space Free percentage"));
    lblReservedSpace = ValueLabel(c, "lblReservedSpace", Tr("Reserved Space"));
    lblDriveSerial->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    auto caption = [&](const char* text, QLabel* buddy) {
        auto* l = new QLabel(Tr(text), c);
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
    PlaceContent();
}

QSize TSpaceSummaryPanel::sizeHint() const {
    return FContent->sizeHint();
}

QSize TSpaceSummaryPanel::minimumSizeHint() const {
    return {0, FContent->minimumSizeHint().height()};
}

void TSpaceSummaryPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceContent();
}

void TSpaceSummaryPanel::PlaceContent() {
    const QSize need = FContent->sizeHint();
    FContent->setGeometry(0, 0, std::max(width(), need.width()), std::max(height(), need.height()));
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
    // The texts' width changed: the window's layout asks again, the labels are placed anew.
    FContent->layout()->activate();
    updateGeometry();
    PlaceContent();
}

QString TSpaceSummaryPanel::DriveSerial() const {
    return lblDriveSerial->text();
}

} // namespace qz

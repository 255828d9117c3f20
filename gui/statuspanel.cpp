#include "gui/statuspanel.h"

#include "gui/qtext.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

namespace qz {

TScanStatus::TScanStatus(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("panStatus"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    lblStatus = new QLabel(Tr("Ready..."), this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setAccessibleName(Tr("Status"));
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lblStatus->setFocusPolicy(Qt::StrongFocus);
    lblStatus->setMinimumWidth(100);
    lblStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setAccessibleName(Tr("Scan progress"));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setMaximumWidth(220);
    layout->addWidget(ProgressBar1);
    layout->addWidget(lblStatus, 1);
}

void TScanStatus::SetStatus(const QString& text) {
    lblStatus->setText(text);
    lblStatus->setAccessibleDescription(text);
    lblStatus->setToolTip({}); // details belong to the line they were given with
}

QString TScanStatus::Status() const {
    return lblStatus->text();
}

TScanStatus::TLine TScanStatus::Line() const {
    return {lblStatus->text(), lblStatus->toolTip(), lblStatus->accessibleDescription()};
}

void TScanStatus::SetLine(const TLine& line) {
    lblStatus->setText(line.Text);
    lblStatus->setToolTip(line.ToolTip);
    lblStatus->setAccessibleDescription(line.Description);
}

void TScanStatus::SetProgress(int percent) {
    ProgressBar1->setValue(std::clamp(percent, 0, 100));
}

int TScanStatus::Progress() const {
    return ProgressBar1->value();
}

TTreeStatus::TTreeStatus(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("panTreeStatus"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    pnlSelection = new QLabel(this);
    pnlSelection->setObjectName(QStringLiteral("pnlSelection"));
    pnlSelection->setAccessibleName(Tr("Selection"));
    pnlSelection->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    pnlSelection->setFocusPolicy(Qt::StrongFocus);
    pnlSelection->setMinimumWidth(450);
    pnlHotPath = new QLabel(this);
    pnlHotPath->setObjectName(QStringLiteral("pnlHotPath"));
    pnlHotPath->setAccessibleName(Tr("Path under the mouse"));
    pnlHotPath->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(pnlSelection);
    layout->addWidget(pnlHotPath, 1);
}

void TTreeStatus::SetSelectionText(const QString& text) {
    pnlSelection->setText(text);
    pnlSelection->setAccessibleDescription(text);
}

void TTreeStatus::SetHotPath(const QString& path) {
    pnlHotPath->setText(path);
}

QString TTreeStatus::SelectionText() const {
    return pnlSelection->text();
}

} // namespace qz

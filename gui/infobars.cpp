#include "gui/infobars.h"

#include "gui/qtext.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

namespace qz {

namespace {
// A bar's height at 96 dpi (Qt's logical pixels).
constexpr int kUpdateBarHeight = 36, kWarningBarHeight = 40;
} // namespace

TUpdateBar::TUpdateBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("panUpdateAvailable"));
    setAccessibleName(Tr("Update available"));
    setMinimumHeight(kUpdateBarHeight);
    // Dark text on the yellow gradient, in the dark look too.
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    setPalette(pal);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    btnViewUpdate = new QPushButton(Tr("View Update"), this);
    btnViewUpdate->setObjectName(QStringLiteral("btnViewUpdate"));
    auto* icon = new QLabel(this);
    icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(20, 20));
    lblUpdateAvailable = new QLabel(this);
    lblUpdateAvailable->setObjectName(QStringLiteral("lblUpdateAvailable"));
    btnDismiss = new QPushButton(Tr("Dismiss"), this);
    btnDismiss->setObjectName(QStringLiteral("btnDismiss"));
    layout->addWidget(btnViewUpdate);
    layout->addWidget(icon);
    layout->addWidget(lblUpdateAvailable, 1);
    layout->addWidget(btnDismiss);
    connect(btnViewUpdate, &QPushButton::clicked, this, [this] { emit viewUpdate(InfoUrl()); });
    connect(btnDismiss, &QPushButton::clicked, this, &QWidget::hide);
    hide();
}

void TUpdateBar::ShowUpdate(const QString& version, const QString& infoUrl) {
    FVersion = version;
    Retranslate();
    btnViewUpdate->setToolTip(infoUrl);
    show();
}

void TUpdateBar::Retranslate() {
    if (FVersion.isEmpty()) return;
    lblUpdateAvailable->setText(Tr("A new version of Quarzel is available") +
                                QStringLiteral(" (v") + FVersion + QStringLiteral("). ") +
                                Tr("Click the \"View Update\" button to learn more."));
}

QString TUpdateBar::InfoUrl() const {
    return btnViewUpdate->toolTip();
}

void TUpdateBar::paintEvent(QPaintEvent*) {
    // The bar's colours stay light in the dark look too: its text is dark on yellow.
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height());
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, QColor(0xFF, 0xE8, 0x6B));
    p.fillRect(rect(), g);
}

TWarningBar::TWarningBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("panWarning"));
    setAccessibleName(Tr("Administrator rights"));
    setMinimumHeight(kWarningBarHeight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    btnRestart = new QPushButton(Tr("Restart as Administrator"), this);
    btnRestart->setObjectName(QStringLiteral("btnRestart"));
    imWarning = new QLabel(this);
    imWarning->setObjectName(QStringLiteral("imWarning"));
    imWarning->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(20, 20));
    lblWarning = new QLabel(
        Tr("Quarzel requires \"Administrator\" rights to enable high speed scanning of NTFS "
           "hard drives and to access all system files and folders. Please click the \"Restart "
           "as Administrator\" button to enable them."),
        this);
    lblWarning->setObjectName(QStringLiteral("lblWarning"));
    lblWarning->setWordWrap(true);
    cbDontShowWarning = new QCheckBox(Tr("Don't show this again"), this);
    cbDontShowWarning->setObjectName(QStringLiteral("cbDontShowWarning"));
    layout->addWidget(btnRestart);
    layout->addWidget(imWarning);
    layout->addWidget(lblWarning, 1);
    layout->addWidget(cbDontShowWarning);
}

void TWarningBar::ApplyDontShow(bool dontShow) {
    cbDontShowWarning->setChecked(dontShow);
    lblWarning->setVisible(!dontShow);
    imWarning->setVisible(!dontShow);
    cbDontShowWarning->setVisible(!dontShow);
}

void TWarningBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Base));
}

} // namespace qz

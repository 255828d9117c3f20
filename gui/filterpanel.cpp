#include "gui/filterpanel.h"

#include "base/text.h"
#include "gui/filteredit.h"
#include "gui/historycombo.h"
#include "gui/qtext.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

namespace qz {

QString FilterProblemText(const TFilterError& e, std::u16string_view text, int& position) {
    position = -1;
    if (e.kind == TFilterErrorKind::UnclosedQuote || e.kind == TFilterErrorKind::EmptyNegation) {
        // Not an expression: the filter parser's own words and place.
        position = int(e.position);
        return QString::fromStdString(FilterErrorText(e));
    }
    // The place of the expression in the text: its term, then the leading slash.
    if (!e.term.empty()) {
        const size_t at = text.find(e.term);
        if (at != std::u16string_view::npos) {
            const size_t slash = e.term.find(u'/');
            position = int(at + (slash == std::u16string::npos ? 0 : slash + 1) + e.offset);
        }
    }
    QString s = Tr("Invalid regular expression");
    if (!e.term.empty()) s += QLatin1Char(' ') + ToQString(e.term);
    if (!e.message.empty()) s += QStringLiteral(": ") + QString::fromUtf8(e.message);
    if (position >= 0)
        s += QStringLiteral(" (") + Tr("character") + QLatin1Char(' ') +
             QString::number(position + 1) + QLatin1Char(')');
    return s;
}

TFilterPanel::TFilterPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("panFilter"));
    setAccessibleName(Tr("Filter"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);

    lblFilterInclude = new QLabel(Tr("Include Filter:"), this);
    cbFilterInclude = new THistoryCombo(true, this);
    cbFilterInclude->setObjectName(QStringLiteral("cbFilterInclude"));
    cbFilterInclude->setAccessibleName(Tr("Include filter history"));
    cbFilterInclude->Edit()->setObjectName(QStringLiteral("edFilterInclude"));
    cbFilterInclude->Edit()->setAccessibleName(Tr("Include Filter:"));
    lblFilterInclude->setBuddy(cbFilterInclude->Edit());
    lblFilterExclude = new QLabel(Tr("Exclude Filter:"), this);
    cbFilterExclude = new THistoryCombo(true, this);
    cbFilterExclude->setObjectName(QStringLiteral("cbFilterExclude"));
    cbFilterExclude->setAccessibleName(Tr("Exclude filter history"));
    cbFilterExclude->Edit()->setObjectName(QStringLiteral("edFilterExclude"));
    cbFilterExclude->Edit()->setAccessibleName(Tr("Exclude Filter:"));
    lblFilterExclude->setBuddy(cbFilterExclude->Edit());
    rbMatchFilenameFilter = new QRadioButton(Tr("Match file name only"), this);
    rbMatchFilenameFilter->setObjectName(QStringLiteral("rbMatchFilenameFilter"));
    rbMatchPathFilter = new QRadioButton(Tr("Match entire path"), this);
    rbMatchPathFilter->setObjectName(QStringLiteral("rbMatchPathFilter"));
    rbMatchPathFilter->setChecked(true);

    actApplyFilter = new QAction(Tr("Apply Filter"), this);
    actApplyFilter->setObjectName(QStringLiteral("actApplyFilter"));
    actApplyFilter->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5));
    btnApply = new QPushButton(Tr("Apply Filter"), this);
    btnApply->setObjectName(QStringLiteral("btnApply"));
    btnApply->setDefault(true);
    btnClearFilters = new QPushButton(Tr("Clear"), this);
    btnClearFilters->setObjectName(QStringLiteral("btnClearFilters"));
    btnClearFilters->setAccessibleName(Tr("Clear the filters"));

    actFilterScanResults = new QAction(Tr("Filter Scan Results"), this);
    actFilterScanResults->setObjectName(QStringLiteral("actFilterScanResults"));
    actFilterScanResults->setCheckable(true);
    actFilterScanResults->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    sbFilter = new QToolButton(parent);
    sbFilter->setObjectName(QStringLiteral("sbFilter"));
    sbFilter->setDefaultAction(actFilterScanResults);
    sbFilter->setText(Tr("Filter"));
    sbFilter->setAccessibleName(Tr("Filter Scan Results"));
    sbFilter->setToolTip(Tr("Filter Scan Results") + QStringLiteral(" (Ctrl+Shift+F)"));
    puFilter = new QMenu(this);
    puFilter->addAction(actFilterScanResults);

    lblFilterError = new QLabel(this);
    lblFilterError->setObjectName(QStringLiteral("lblFilterError"));
    lblFilterError->setAccessibleName(Tr("Filter error"));
    QPalette errorPalette = lblFilterError->palette();
    errorPalette.setColor(QPalette::WindowText, QColor(0xC0, 0x10, 0x10));
    lblFilterError->setPalette(errorPalette);
    lblFilterError->hide();

    grid->addWidget(lblFilterInclude, 0, 0);
    grid->addWidget(cbFilterInclude, 0, 1);
    grid->addWidget(lblFilterExclude, 0, 2);
    grid->addWidget(cbFilterExclude, 0, 3);
    grid->addWidget(rbMatchFilenameFilter, 0, 4);
    grid->addWidget(rbMatchPathFilter, 0, 5);
    grid->addWidget(btnApply, 0, 6);
    grid->addWidget(btnClearFilters, 0, 7);
    grid->addWidget(lblFilterError, 1, 0, 1, 8);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    hide(); // the panel starts hidden

    FCheckTimer.setSingleShot(true);
    FCheckTimer.setInterval(150);
    connect(&FCheckTimer, &QTimer::timeout, this, &TFilterPanel::CheckTexts);
    connect(actFilterScanResults, &QAction::toggled, this, &TFilterPanel::TogglePanel);
    connect(actApplyFilter, &QAction::triggered, this, &TFilterPanel::ApplyClicked);
    connect(btnApply, &QPushButton::clicked, this, &TFilterPanel::ApplyClicked);
    connect(btnClearFilters, &QPushButton::clicked, this, [this] {
        // Empties both boxes; nothing is applied until Apply.
        cbFilterInclude->SetText(QString());
        cbFilterExclude->SetText(QString());
        cbFilterInclude->Edit()->setFocus();
        FCheckTimer.start();
        emit filtersChanged();
    });
    for (THistoryCombo* box : {cbFilterInclude, cbFilterExclude}) {
        connect(box->Edit(), &QLineEdit::returnPressed, this, [this] {
            if (btnApply->isEnabled()) btnApply->click();
        });
        connect(box, &THistoryCombo::textChangedByUser, this, [this] {
            FCheckTimer.start();
            emit filtersChanged();
        });
        connect(box, &THistoryCombo::historyChanged, this, [this] {
            if (SaveSettings) SaveSettings();
        });
    }
    connect(rbMatchPathFilter, &QRadioButton::toggled, this, [this] {
        FCheckTimer.start();
        emit filtersChanged();
    });
    setContextMenuPolicy(Qt::CustomContextMenu);
    connect(this, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { puFilter->exec(mapToGlobal(at)); });
    EnableFilterControls(false, false); // Apply waits for a first scan
}

// ---------------------------------------------------------------- settings

void TFilterPanel::LoadSettings(const TMainSettings& s) {
    cbFilterInclude->SetItems(s.IncludeHistory);
    cbFilterExclude->SetItems(s.ExcludeHistory);
    cbFilterInclude->SetText(QString::fromUtf8(s.FilterIncludeText));
    cbFilterExclude->SetText(QString::fromUtf8(s.FilterExcludeText));
    (s.MatchPathFilter ? rbMatchPathFilter : rbMatchFilenameFilter)->setChecked(true);
    actFilterScanResults->setChecked(s.FilterScanResults);
    CheckTexts();
}

void TFilterPanel::StoreSettings(TMainSettings& s) const {
    s.IncludeHistory = cbFilterInclude->Items();
    s.ExcludeHistory = cbFilterExclude->Items();
    s.FilterIncludeText = cbFilterInclude->Text().toStdString();
    s.FilterExcludeText = cbFilterExclude->Text().toStdString();
    s.MatchPathFilter = rbMatchPathFilter->isChecked();
    s.FilterScanResults = PanelOn();
}

void TFilterPanel::SetFromCommandLine(const std::u16string& include, const std::u16string& exclude,
                                      bool filtersGiven, bool fullPath, bool fullPathGiven) {
    if (filtersGiven) {
        cbFilterInclude->SetText(ToQString(include));
        cbFilterExclude->SetText(ToQString(exclude));
        actFilterScanResults->setChecked(true);
    }
    if (fullPathGiven) (fullPath ? rbMatchPathFilter : rbMatchFilenameFilter)->setChecked(true);
    CheckTexts();
}

// ---------------------------------------------------------------- state

bool TFilterPanel::PanelOn() const {
    return actFilterScanResults->isChecked();
}

TFilterApplyRequest TFilterPanel::Request() const {
    TFilterApplyRequest r;
    r.Include = ToU16(cbFilterInclude->Text());
    r.Exclude = ToU16(cbFilterExclude->Text());
    r.MatchEntirePath = rbMatchPathFilter->isChecked();
    r.PanelOn = PanelOn();
    return r;
}

void TFilterPanel::ScanFilters(std::u16string& include, std::u16string& exclude,
                               bool& fullPath) const {
    const TFilterApplyRequest r = Request();
    include = r.PanelOn ? r.Include : std::u16string();
    exclude = r.PanelOn ? r.Exclude : std::u16string();
    fullPath = r.MatchEntirePath;
}

void TFilterPanel::EnableFilterControls(bool enabled, bool all) {
    btnApply->setEnabled(enabled);
    actApplyFilter->setEnabled(enabled);
    if (!all) return;
    for (QWidget* w : std::initializer_list<QWidget*>{
             btnClearFilters, cbFilterInclude, cbFilterExclude, lblFilterInclude, lblFilterExclude,
             rbMatchFilenameFilter, rbMatchPathFilter})
        w->setEnabled(enabled);
}

void TFilterPanel::TogglePanel(bool on) {
    setVisible(on);
    if (on) cbFilterInclude->Edit()->setFocus();
    emit filtersChanged();
    if (SaveSettings) SaveSettings();
}

void TFilterPanel::ApplyClicked() {
    if (!btnApply->isEnabled()) return;
    cbFilterInclude->Remember();
    cbFilterExclude->Remember();
    emit applyRequested();
}

// ---------------------------------------------------------------- mistakes

void TFilterPanel::CheckTexts() {
    QStringList lines;
    const bool fullPath = rbMatchPathFilter->isChecked();
    for (THistoryCombo* box : {cbFilterInclude, cbFilterExclude}) {
        const std::u16string text = ToU16(box->Text());
        TFilters_AND filter;
        bool path = fullPath;
        std::vector<TFilterError> errors;
        ParseFilters(text, filter, path, &errors);
        FreeFilters(filter);
        if (errors.empty()) {
            box->Edit()->SetError(QString());
            continue;
        }
        int position = -1;
        const QString message = FilterProblemText(errors.front(), text, position);
        box->Edit()->SetError(message, position);
        lines << (box == cbFilterInclude ? lblFilterInclude : lblFilterExclude)->text() +
                     QLatin1Char(' ') + message;
    }
    lblFilterError->setText(lines.join(QLatin1Char('\n')));
    lblFilterError->setVisible(!lines.isEmpty());
}

void TFilterPanel::ShowPassErrors(const std::vector<TFilterError>& errors) {
    CheckTexts();
    QStringList lines;
    if (!lblFilterError->text().isEmpty()) lines << lblFilterError->text();
    for (const TFilterError& e : errors) {
        if (e.message.empty() || lblFilterError->text().contains(ToQString(e.term))) continue;
        lines << Tr("Regular expression given up") + QLatin1Char(' ') + ToQString(e.term) +
                     QStringLiteral(": ") + QString::fromUtf8(e.message);
        for (THistoryCombo* box : {cbFilterInclude, cbFilterExclude})
            if (box->Text().contains(ToQString(e.term))) box->Edit()->SetError(lines.back());
    }
    lblFilterError->setText(lines.join(QLatin1Char('\n')));
    lblFilterError->setVisible(!lines.isEmpty());
}

} // namespace qz

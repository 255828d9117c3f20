#include "gui/filelistpanel.h"

#include "base/text.h"
#include "gui/filelistmodel.h"
#include "gui/filelistview.h"
#include "gui/filetypecache.h"
#include "gui/filteredit.h"
#include "gui/historycombo.h"
#include "gui/qtext.h"
#include "gui/windowsettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMetaObject>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qz {

namespace {

QLabel* Hint(const QString& text, QWidget* parent) {
    auto* l = new QLabel(text, parent);
    l->setEnabled(false); // drawn in the gray-text colour
    return l;
}

QLabel* StatusPanel(const char* name, const QString& accessible, QWidget* parent) {
    auto* l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAccessibleName(accessible);
    l->setFrameShape(QFrame::StyledPanel);
    l->setFrameShadow(QFrame::Sunken);
    l->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    l->setFocusPolicy(Qt::TabFocus);
    l->setMinimumWidth(60);
    return l;
}

} // namespace

TFileListPanel::TFileListPanel(TFileTypeCache& types, QWidget* parent)
    : QWidget(parent), FTypes(types), FShown(std::make_unique<TFileList>()),
      FBuilding(std::make_unique<TFileList>()) {
    setObjectName(QStringLiteral("tsFiles"));
    setAccessibleName(Tr("File View"));
    FModel = new TFileListModel(FShown.get(), this);
    CreateControls();
    FTimer.setSingleShot(true);
    FTimer.setInterval(500);
    connect(&FTimer, &QTimer::timeout, this, &TFileListPanel::TimerFired);
}

TFileListPanel::~TFileListPanel() {
    FJob.Stop();
}

void TFileListPanel::CreateControls() {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 0);
    layout->setSpacing(3);

    auto* row1 = new QHBoxLayout;
    rbMatchName = new QRadioButton(Tr("Match file name only"), this);
    rbMatchName->setObjectName(QStringLiteral("rbMatchFilename"));
    rbMatchPath = new QRadioButton(Tr("Match entire path"), this);
    rbMatchPath->setObjectName(QStringLiteral("rbMatchPath"));
    rbMatchName->setChecked(true);
    row1->addWidget(rbMatchName);
    row1->addWidget(Hint(Tr("(Fast)"), this));
    row1->addSpacing(12);
    row1->addWidget(rbMatchPath);
    row1->addWidget(Hint(Tr("(Warning: can be slow!)"), this));
    row1->addSpacing(18);
    auto* lblMax = new QLabel(Tr("Max files to display:"), this);
    cbMaxFiles = new QComboBox(this);
    cbMaxFiles->setObjectName(QStringLiteral("cbMaxFiles"));
    cbMaxFiles->setAccessibleName(Tr("Max files to display:"));
    lblMax->setBuddy(cbMaxFiles);
    for (int v : MaxFilesChoices())
        cbMaxFiles->addItem(
            v == 0 ? Tr("ALL") : ToQString(FormatCount(int64_t(v), LocaleNumberFormat())), v);
    row1->addWidget(lblMax);
    row1->addWidget(cbMaxFiles);
    row1->addWidget(Hint(Tr("(Selecting ALL can be very slow!)"), this));
    row1->addStretch(1);
    layout->addLayout(row1);

    auto* row2 = new QHBoxLayout;
    cbShowFolders = new QCheckBox(Tr("Folders"), this);
    cbShowFolders->setObjectName(QStringLiteral("cbShowFolders"));
    auto* lblDup = new QLabel(Tr("Duplicate Files:"), this);
    cbDupMethod = new QComboBox(this);
    cbDupMethod->setObjectName(QStringLiteral("cbDupMethod"));
    cbDupMethod->setAccessibleName(Tr("Duplicate Files:"));
    lblDup->setBuddy(cbDupMethod);
    cbDupMethod->addItem(Tr("Don't locate duplicates"));
    cbDupMethod->addItem(Tr("Locate by Name, Size"));
    cbDupMethod->addItem(Tr("Locate by Name, Size, Date"));
    cbDupsOnly = new QCheckBox(Tr("Duplicates only"), this);
    cbDupsOnly->setObjectName(QStringLiteral("cbDupsOnly"));
    cbDupsOnly->setEnabled(false);
    row2->addWidget(cbShowFolders);
    row2->addSpacing(18);
    row2->addWidget(lblDup);
    row2->addWidget(cbDupMethod);
    row2->addWidget(cbDupsOnly);
    row2->addStretch(1);
    layout->addLayout(row2);

    auto* row3 = new QHBoxLayout;
    auto* lblSearch = new QLabel(Tr("Search:"), this);
    cbFileSearch = new THistoryCombo(false, this);
    cbFileSearch->setObjectName(QStringLiteral("cbFileSearch"));
    cbFileSearch->setAccessibleName(Tr("Search history"));
    cbFileSearch->Edit()->setObjectName(QStringLiteral("edFileSearch"));
    cbFileSearch->Edit()->setAccessibleName(Tr("Search"));
    cbFileSearch->Edit()->setPlaceholderText(Tr("Search (filter language)"));
    lblSearch->setBuddy(cbFileSearch->Edit());
    btnClearSearch = new QPushButton(Tr("Clear"), this);
    btnClearSearch->setObjectName(QStringLiteral("btnClearSearch"));
    btnClearSearch->setAccessibleName(Tr("Clear the search"));
    lblSearchError = new QLabel(this);
    lblSearchError->setObjectName(QStringLiteral("lblSearchError"));
    lblSearchError->setAccessibleName(Tr("Search error"));
    QPalette errorPalette = lblSearchError->palette();
    errorPalette.setColor(QPalette::WindowText, QColor(0xC0, 0x10, 0x10));
    lblSearchError->setPalette(errorPalette);
    lblSearchError->hide();
    row3->addWidget(lblSearch);
    row3->addWidget(cbFileSearch, 1);
    row3->addWidget(btnClearSearch);
    layout->addLayout(row3);
    layout->addWidget(lblSearchError);

    vstFiles = new TFileListView(*FModel, FTypes, this);
    layout->addWidget(vstFiles, 1);

    auto* status = new QHBoxLayout;
    status->setSpacing(2);
    pnlFilesSelection = StatusPanel("pnlFilesSelection", Tr("Selected files"), this);
    pnlFilesHot = StatusPanel("pnlFilesHot", Tr("Path under the mouse"), this);
    pnlFilesTotals = StatusPanel("pnlFilesTotals", Tr("File list totals"), this);
    status->addWidget(pnlFilesSelection, 2);
    status->addWidget(pnlFilesHot, 3);
    status->addWidget(pnlFilesTotals, 2);
    layout->addLayout(status);

    connect(cbFileSearch, &THistoryCombo::textChangedByUser, this, &TFileListPanel::SearchChanged);
    connect(cbFileSearch, &THistoryCombo::historyChanged, this, [this] {
        if (SaveSettings) SaveSettings();
    });
    connect(rbMatchName, &QRadioButton::toggled, this, &TFileListPanel::SearchChanged);
    connect(cbMaxFiles, qOverload<int>(&QComboBox::activated), this, [this] {
        SearchChanged();
        if (SaveSettings) SaveSettings();
    });
    connect(cbShowFolders, &QCheckBox::toggled, this, &TFileListPanel::SearchChanged);
    connect(cbDupsOnly, &QCheckBox::toggled, this, &TFileListPanel::SearchChanged);
    connect(cbDupMethod, qOverload<int>(&QComboBox::activated), this,
            &TFileListPanel::DupMethodChanged);
    connect(btnClearSearch, &QPushButton::clicked, this, [this] {
        cbFileSearch->SetText(QString());
        cbFileSearch->Edit()->setFocus();
        SearchChanged();
    });
    connect(vstFiles, &TFileListView::typed, this, [this](const QString& t) {
        TFilterEdit* e = cbFileSearch->Edit();
        e->setText(e->text() + t);
        e->setFocus();
        e->end(false);
        SearchChanged();
    });
    connect(vstFiles, &TFileListView::headerClicked, this, &TFileListPanel::HeaderClicked);
    connect(vstFiles, &TFileListView::hotRowChanged, pnlFilesHot, &QLabel::setText);
    connect(vstFiles, &TFileListView::rowSelectionChanged, this, &TFileListPanel::RefreshSelection);
    connect(&FTypes, &TFileTypeCache::updated, vstFiles->viewport(), qOverload<>(&QWidget::update));
}

// ---------------------------------------------------------------- settings

void TFileListPanel::LoadSettings(const TMainSettings& s) {
    const int maxFiles = ValidMaxFiles(s.MaxFiles);
    cbMaxFiles->setCurrentIndex(std::max(0, cbMaxFiles->findData(maxFiles)));
    cbDupMethod->setCurrentIndex(ValidDupMethod(s.DupMethod));
    cbDupsOnly->setEnabled(cbDupMethod->currentIndex() != 0);
    vstFiles->ShowDuplicateColumns(cbDupMethod->currentIndex() != 0);
    (s.MatchPath ? rbMatchPath : rbMatchName)->setChecked(true);
    cbShowFolders->setChecked(s.ShowFolders);
    cbFileSearch->SetItems(s.SearchHistory);
    if (s.FilesSortColumn == fcSize || s.FilesSortColumn == fcAllocated)
        FShown->SetSort(s.FilesSortColumn, TSortDirection::Descending);
    FModel->SetList(FShown.get());
}

void TFileListPanel::StoreSettings(TMainSettings& s) const {
    s.MaxFiles = cbMaxFiles->currentData().toInt();
    s.DupMethod = cbDupMethod->currentIndex();
    s.MatchPath = rbMatchPath->isChecked();
    s.ShowFolders = cbShowFolders->isChecked();
    s.SearchHistory = cbFileSearch->Items();
    s.FilesSortColumn = FShown->SortColumn();
}

void TFileListPanel::AttachSettings(TWindowSettings& settings) {
    settings.OnRestore([this](TWindowSettings& s) {
        s.RestoreHeader(QStringLiteral("filescol_v2"), vstFiles->header());
        // The duplicate columns show while a duplicate mode is chosen, whatever was stored.
        vstFiles->ShowDuplicateColumns(cbDupMethod->currentIndex() != 0);
    });
    settings.OnSave([this](TWindowSettings& s) {
        StoreSettings(s.Values());
        s.SaveHeader(QStringLiteral("filescol_v2"), vstFiles->header());
    });
}

void TFileListPanel::SetFormat(const TFormatSettings& format) {
    FShown->Format = format;
    FBuilding->Format = format;
    FModel->TextsChanged();
    ShowTotals();
    RefreshSelection();
}

void TFileListPanel::SetFontHeight(int height) {
    vstFiles->SetFontHeight(height);
}

// ---------------------------------------------------------------- scans

void TFileListPanel::SetScans(std::vector<TNTFS_FILES*> scans, uint64_t totalSize,
                              uint64_t totalAlloc) {
    ClearScans();
    FScans = std::move(scans);
    FShown->SetDriveTotals(totalSize, totalAlloc);
    if (isVisible()) LoadFileList();
}

void TFileListPanel::RecordsChanged(uint64_t totalSize, uint64_t totalAlloc) {
    FShown->SetDriveTotals(totalSize, totalAlloc);
    vstFiles->viewport()->update();
    if (!FShown->Loaded()) return;
    ShowTotals();
    RefreshSelection();
}

void TFileListPanel::ClearScans() {
    const bool wasLoading = Loading() || FShowWhenThawed;
    FShowWhenThawed = FLoadWhenThawed = false;
    FJob.Stop();
    FTimer.stop();
    FPending = false;
    if (wasLoading) QApplication::restoreOverrideCursor();
    FModel->Reset([this] {
        FShown->Clear();
        FBuilding->Clear();
    });
    FScans.clear();
    FLoadedOnce = false;
    pnlFilesSelection->clear();
    pnlFilesHot->clear();
    pnlFilesTotals->clear();
    if (wasLoading) emit loadingChanged(false);
}

// ---------------------------------------------------------------- loading

TFileListOptions TFileListPanel::ReadOptions() const {
    TFileListOptions o;
    o.MaxFiles = cbMaxFiles->currentData().toInt();
    o.MatchEntirePath = rbMatchPath->isChecked();
    o.IncludeFolders = cbShowFolders->isChecked();
    o.DupMethod = cbDupMethod->currentIndex();
    o.DuplicatesOnly = cbDupsOnly->isChecked() && cbDupsOnly->isEnabled();
    o.SearchText = ToU16(cbFileSearch->Text());
    return o;
}

bool TFileListPanel::Loading() const {
    return FJob.Busy() || FPending || FShowWhenThawed;
}

void TFileListPanel::SearchChanged() {
    // Before the first load of a scan nothing is loaded by typing: the page does it.
    if (!FLoadedOnce || FScans.empty()) return;
    FTimer.start();
}

void TFileListPanel::TimerFired() {
    LoadFileList();
}

void TFileListPanel::LoadFileList() {
    FTimer.stop();
    if (FScans.empty()) return;
    if (FFrozen) {
        FLoadWhenThawed = true;
        return;
    }
    if (FJob.Busy()) {
        // The running load is abandoned; this one starts when it has stopped.
        FJob.Cancel();
        FPending = true;
        return;
    }
    StartLoad();
}

void TFileListPanel::StartLoad() {
    FPending = false;
    TFileList& next = *FBuilding;
    next.TakeSettingsFrom(*FShown);
    next.Options = ReadOptions();
    if (next.WillRegroup(FScans)) {
        // The groups the shown rows point to are about to be rewritten.
        FModel->Reset([this] { FShown->Clear(); });
        pnlFilesSelection->clear();
        pnlFilesTotals->setText(Tr("Duplicate Files:") + QLatin1Char(' ') +
                                cbDupMethod->currentText() + QStringLiteral("..."));
    } else {
        pnlFilesTotals->setText(Tr("Loading file list") + QStringLiteral("..."));
    }
    QApplication::setOverrideCursor(Qt::BusyCursor);
    emit loadingChanged(true);
    const std::vector<TNTFS_FILES*> scans = FScans;
    TFileList* list = FBuilding.get();
    const QString dupText = Tr("Duplicate Files:") + QLatin1Char(' ') + cbDupMethod->currentText();
    FJob.Start(
        [this, list, scans, dupText](const std::atomic<bool>& cancel) {
            list->LoadFileList(
                scans, [&cancel] { return cancel.load(std::memory_order_relaxed); },
                [this, dupText](int percent) {
                    QMetaObject::invokeMethod(
                        this,
                        [this, dupText, percent] {
                            pnlFilesTotals->setText(dupText + QStringLiteral("... ") +
                                                    QString::number(percent) + QLatin1Char('%'));
                        },
                        Qt::QueuedConnection);
                });
        },
        [this] { LoadDone(); });
}

void TFileListPanel::LoadDone() {
    if (FFrozen) {
        FShowWhenThawed = true;
        return;
    }
    QApplication::restoreOverrideCursor();
    if (FPending) {
        StartLoad();
        return;
    }
    // The new list is shown; the old one gives its rows back.
    std::swap(FShown, FBuilding);
    FModel->SetList(FShown.get());
    FBuilding->Clear();
    FLoadedOnce = true;
    vstFiles->ShowDuplicateColumns(FShown->DuplicateColumnsShown());
    const QString error = ToQString(FShown->SearchError());
    cbFileSearch->Edit()->SetError(error);
    lblSearchError->setText(error);
    lblSearchError->setVisible(!error.isEmpty());
    ShowTotals();
    RefreshSelection();
    emit loadingChanged(false);
}

void TFileListPanel::DupMethodChanged() {
    const bool on = cbDupMethod->currentIndex() != 0;
    cbDupsOnly->setEnabled(on);
    vstFiles->ShowDuplicateColumns(on);
    if (SaveSettings) SaveSettings();
    SearchChanged();
}

void TFileListPanel::HeaderClicked(int column) {
    if (FModel->HeaderClick(column)) {
        if (FLoadedOnce) FTimer.start(1); // with a limit the list is loaded again
    }
    if (SaveSettings) SaveSettings();
}

void TFileListPanel::Freeze(bool frozen) {
    if (frozen == FFrozen) return;
    FFrozen = frozen;
    if (frozen) return;
    if (FShowWhenThawed) {
        FShowWhenThawed = false;
        LoadDone();
    }
    if (FLoadWhenThawed) {
        FLoadWhenThawed = false;
        LoadFileList();
    }
}

void TFileListPanel::PageShown() {
    if (!FShown->Loaded() && !FJob.Busy() && !FScans.empty()) LoadFileList();
    cbFileSearch->Edit()->setFocus();
}

void TFileListPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    PageShown();
}

// ---------------------------------------------------------------- status texts

void TFileListPanel::ShowTotals() {
    pnlFilesTotals->setText(ToQString(FShown->TotalsText()));
}

void TFileListPanel::RefreshSelection() {
    pnlFilesSelection->setText(ToQString(FShown->SelectionStatusText()));
    emit selectionChanged();
}

} // namespace qz

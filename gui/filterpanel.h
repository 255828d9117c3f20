// The filter panel (panFilter, Ctrl+Shift+F) above the pages: the include and exclude boxes
// with their histories, the match mode, "Apply Filter" (Enter in a box, Shift+F5) and "Clear".
// The boxes colour their text and show what is wrong in it (an expression that does not
// compile, with its message and position) while it is typed.
//
// The panel only holds the choices; applying them to the scans on screen is the window's
// (TFilterApplier). The panel's on-state is the check of actFilterScanResults, whose toggle
// button sbFilter the window places where it stays visible.
#pragma once

#include "app/settings.h"
#include "views/filterapply.h"

#include <QTimer>
#include <QWidget>
#include <functional>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace qz {

class THistoryCombo;

class TFilterPanel : public QWidget {
    Q_OBJECT
public:
    explicit TFilterPanel(QWidget* parent = nullptr);

    QLabel* lblFilterInclude;
    THistoryCombo* cbFilterInclude; // its edit is edFilterInclude
    QLabel* lblFilterExclude;
    THistoryCombo* cbFilterExclude; // its edit is edFilterExclude
    QRadioButton* rbMatchFilenameFilter;
    QRadioButton* rbMatchPathFilter;
    QPushButton* btnApply;
    QPushButton* btnClearFilters;
    QLabel* lblFilterError;
    QAction* actFilterScanResults; // "Filter Scan Results" (check), Ctrl+Shift+F
    QAction* actApplyFilter;       // "Apply Filter", Shift+F5
    QToolButton* sbFilter;         // the toggle button of actFilterScanResults
    QMenu* puFilter;               // the panel's own pop-up menu

    // ---- settings: the texts, the match mode, the on-state and the two histories
    void LoadSettings(const TMainSettings& s);
    void StoreSettings(TMainSettings& s) const;
    // The command line's filters: they switch the panel on and fill the boxes.
    void SetFromCommandLine(const std::u16string& include, const std::u16string& exclude,
                            bool filtersGiven, bool fullPath, bool fullPathGiven);
    // Called when a history was cleared or picked from, or the panel toggled (save now).
    std::function<void()> SaveSettings;

    // What Apply applies now.
    TFilterApplyRequest Request() const;
    bool PanelOn() const;
    // The scan options' filters: the panel's texts while it is on, none otherwise.
    void ScanFilters(std::u16string& include, std::u16string& exclude, bool& fullPath) const;

    // EnableFilterControls: Apply alone, or every control of the panel (all).
    void EnableFilterControls(bool enabled, bool all);
    // Shows what a filter pass reported (expressions given up, mistakes); empty: nothing.
    void ShowPassErrors(const std::vector<TFilterError>& errors);

signals:
    // Apply was asked for (button, Enter in a box, Shift+F5).
    void applyRequested();
    // The texts, the mode or the on-state changed (the scan options follow).
    void filtersChanged();

private:
    void TogglePanel(bool on);
    void CheckTexts();
    void ApplyClicked();

    QTimer FCheckTimer; // checks the texts shortly after typing
};

// One line for the user about a mistake in a filter text, and the position (0-based, in
// text) it refers to, -1 when unknown.
QString FilterProblemText(const TFilterError& e, std::u16string_view text, int& position);

} // namespace qz

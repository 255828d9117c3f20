// A main window made as the program makes it (settings in a temporary folder, a command line
// without options), with its dialogs and message boxes replaced by recorders, and helpers to
// make folder trees and to wait for scans.
#pragma once

#include "app/windowstart.h"
#include "gui/mainwindow.h"
#include "gui/scancontrol.h"
#include "gui/treeview.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QStringList>
#include <memory>

namespace qz::test {

// Writes a file of n bytes (parents created).
void WriteSized(const std::string& path, size_t n);

// WCAG contrast ratio of two colours (1 = none, 21 = black on white).
double ContrastRatio(const QColor& a, const QColor& b);

// docs/ (a.txt 1000 bytes, b.txt 3000), media/ (five files of 10,240 bytes: a file group),
// media/deep/x.bin (100 bytes), top.bin (50,000 bytes).
void MakeSampleTree(const std::string& root);

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    TfrmQuarzelMain& W() { return *FWindow; }
    TScanControl& SC() { return *FWindow->ScanControl(); }
    TTreeView& View() { return *FWindow->Tree(); }
    TDisplayTree& Tree() { return View().Tree(); }
    TTreeModel& Model() { return View().Model(); }

    // Scans path as the command line does and waits for the end; returns the ok flag of the
    // end (false also when no end came within a minute).
    bool ScanAndWait(const std::string& path);
    // Waits for the end of a scan that was started otherwise.
    bool WaitForEnd(int ms = 60000);
    // The node at path below the first top-level node (children made as needed).
    TTreeNode* Node(const std::string& relative);
    // Clicks a row (made visible first) with the given keys held.
    void ClickRow(TTreeNode* n, Qt::KeyboardModifiers mods = Qt::NoModifier);
    QString Status() const;

    TempDir Dir;
    std::string Data;         // Dir / "data": where tests put their trees
    QStringList Messages;     // what message boxes would have shown
    QStringList FoldersAsked; // the folder dialog's answers, used up in order
    QStringList FilesAsked;   // the file dialog's answers, used up in order
    int FolderDialogs = 0, FileDialogs = 0;

private:
    int FArgc = 1;
    char FArg0[8] = "quarzel";
    char* FArgv[2] = {FArg0, nullptr};
    std::unique_ptr<TCommandLine> FCommandLine;
    std::unique_ptr<TStartupOptions> FOptions;
    std::unique_ptr<TSettingsStore> FStore;
    std::unique_ptr<TWindowStart> FStart;
    std::unique_ptr<TfrmQuarzelMain> FWindow;
    // Results of finished scans not yet collected by a wait.
    std::vector<bool> FEnds;
};

} // namespace qz::test

// The window's side of the settings file: one object that restores the stored state when the
// window first shows and saves it when the window closes (and at once, on SaveSettingsNow).
//
// The values of TMainSettings have one owner, the main window's settings (Values()). Parts of
// the window that keep state of their own (column layouts, splitters, histories, dialogs)
// register a restorer and a saver here instead of writing the file themselves:
//
//   settings.OnRestore([this](TWindowSettings& s) { s.RestoreHeader("filescol_v2", header()); });
//   settings.OnSave([this](TWindowSettings& s) { s.SaveHeader("filescol_v2", header()); });
//
// Nothing is written in headless mode, nor after a reset to defaults (Disable), and a file that
// could not be read is never written over (the storage is read-only then).
#pragma once

#include "app/settings.h"

#include <QString>
#include <functional>
#include <vector>

class QHeaderView;
class QMainWindow;
class QSplitter;

namespace qz {

class TWindowSettings {
public:
    using THook = std::function<void(TWindowSettings&)>;

    // values: the window's settings (kept by reference; the window owns them).
    TWindowSettings(TSettingsStore& store, TMainSettings& values);

    TMainSettings& Values() { return FValues; }
    TIniFile& Ini() { return FStore.Ini(); }
    TSettingsStore& Store() { return FStore; }

    void OnRestore(THook hook) { FRestorers.push_back(std::move(hook)); }
    void OnSave(THook hook) { FSavers.push_back(std::move(hook)); }

    // fstoreRestorePlacement: runs every restorer (in the order they were added).
    void Restore();
    // fstoreSavePlacement + flush: runs every saver, writes the values and the file. False when
    // the file could not be written (the settings stay in memory; nothing is reported).
    bool Save();
    // SaveSettingsNow: the same, for a choice that is kept at once.
    bool SaveSettingsNow() { return Save(); }
    // After a reset: nothing is saved any more by this process.
    void Disable();
    bool Disabled() const { return FDisabled; }
    int Saves() const { return FSaves; }

    // ---- helpers for the parts of the window
    // A header's columns: prefix + n + "width", "pos" (visual index), "visible" (1/0). A stored
    // layout that does not fit (a width out of 4..4000, positions that are no permutation) is
    // left out: the column keeps its current layout.
    void SaveHeader(const QString& prefix, const QHeaderView* header);
    void RestoreHeader(const QString& prefix, QHeaderView* header);
    // A splitter's sizes as "key" = "a,b,...", restored only when it has as many parts.
    void SaveSplitter(const QString& key, const QSplitter* splitter);
    void RestoreSplitter(const QString& key, QSplitter* splitter);
    // The window's size, position and maximised state ("FormWidth", "FormHeight", "NormPos",
    // "ShowCmd", "PixelsPerInch", "MinMaxPos", "Flags"). A position off every screen is not
    // used; a size larger than the screen shrinks to it.
    void SaveWindow(const QMainWindow* window);
    void RestoreWindow(QMainWindow* window);

private:
    TSettingsStore& FStore;
    TMainSettings& FValues;
    std::vector<THook> FRestorers, FSavers;
    bool FDisabled = false;
    int FSaves = 0;
};

} // namespace qz

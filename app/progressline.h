// A live progress line on standard error for headless runs: rewritten in place ("\r") while a
// scan or dump runs, ended with a line break. Silent when standard error is not a terminal.
#pragma once

#include "views/format.h"

#include <cstdio>
#include <string>

namespace qz {

class TProgressLine {
public:
    // enabled: normally whether standard error is a terminal (IsTerminal()).
    explicit TProgressLine(bool enabled, std::FILE* out = stderr) : FEnabled(enabled), FOut(out) {}
    ~TProgressLine() { Finish(); }
    static bool IsTerminal(std::FILE* f = stderr);

    void Show(const std::string& text);
    // Ends the line (when one is shown).
    void Finish();
    bool Enabled() const { return FEnabled; }

private:
    bool FEnabled;
    std::FILE* FOut;
    bool FShown = false;
};

// "Scanning  42%  12,345 files  1,234 folders  0:05"
std::string ScanProgressLine(int percent, long long files, long long folders, double seconds,
                             const TNumberFormat& nf);

} // namespace qz

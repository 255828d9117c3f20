#include "app/progressline.h"

#include "base/text.h"
#include "views/format.h"

#include <unistd.h>

namespace qz {

bool TProgressLine::IsTerminal(std::FILE* f) {
    return ::isatty(::fileno(f)) == 1;
}

void TProgressLine::Show(const std::string& text) {
    if (!FEnabled) return;
    // Back to the start of the line, the text, and the rest of the old line cleared.
    std::fprintf(FOut, "\r%s\033[K", text.c_str());
    std::fflush(FOut);
    FShown = true;
}

void TProgressLine::Finish() {
    if (!FShown) return;
    std::fputc('\n', FOut);
    std::fflush(FOut);
    FShown = false;
}

std::string ScanProgressLine(int percent, long long files, long long folders, double seconds,
                             const TNumberFormat& nf) {
    const long long s = seconds < 0 ? 0 : (long long)seconds;
    char elapsed[32];
    if (s >= 3600)
        std::snprintf(elapsed, sizeof elapsed, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(elapsed, sizeof elapsed, "%lld:%02lld", s / 60, s % 60);
    char pct[16];
    std::snprintf(pct, sizeof pct, "%3d%%", percent);
    const std::string fileCount = Utf16ToUtf8(FormatCount(int64_t(files), nf));
    const std::string folderCount = Utf16ToUtf8(FormatCount(int64_t(folders), nf));
    // TRANSLATORS: the progress line of a scan without a window: the percentage, the counts
    // of files and folders (with their separators) and the time taken, "1:05". The English
    // count texts keep one form for any number; a translation gives its own forms.
    return Format(
        tr("Scanning %s  %s  %s  %s"), pct,
        Format(ntr("%s files", "%s files", uint64_t(files)), fileCount.c_str()).c_str(),
        Format(ntr("%s folders", "%s folders", uint64_t(folders)), folderCount.c_str()).c_str(),
        elapsed);
}

} // namespace qz

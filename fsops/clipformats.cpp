#include "fsops/clipformats.h"

#include "fsops/fileuri.h"

namespace qz {

TFileClipboard MakeFileClipboard(const std::vector<std::string>& paths, bool cut) {
    TFileClipboard c;
    c.GnomeCopiedFiles = cut ? "cut" : "copy";
    for (const std::string& p : paths) {
        const std::string uri = FileUri(p);
        c.UriList += uri;
        c.UriList += "\r\n";
        c.GnomeCopiedFiles += '\n';
        c.GnomeCopiedFiles += uri;
    }
    if (cut) c.KdeCutSelection = "1";
    c.Text = CopyPathText(paths);
    return c;
}

std::string CopyPathText(const std::vector<std::string>& paths) {
    if (paths.size() == 1) return paths[0];
    std::string text;
    for (const std::string& p : paths) {
        text += p;
        text += '\n';
    }
    return text;
}

} // namespace qz

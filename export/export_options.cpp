#include "export/export_options.h"

#include "base/datetime.h"
#include "base/text.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>

namespace qz {

// ---------------------------------------------------------------- the options dialog

namespace {
struct BoolProp {
    const char* name;
    bool TExportDialogState::*field;
};
constexpr BoolProp kBoolProps[] = {
    {"cbExportDates.Checked", &TExportDialogState::cbExportDates},
    {"cbExportDriveSize.Checked", &TExportDialogState::cbExportDriveSize},
    {"cbExportFolderSize.Checked", &TExportDialogState::cbExportFolderSize},
    {"cbExportMFTNo.Checked", &TExportDialogState::cbExportMFTNo},
    {"cbPercentageofParent.Checked", &TExportDialogState::cbPercentageofParent},
    {"cbSplitFileNames.Checked", &TExportDialogState::cbSplitFileNames},
    {"cbExportFiles.Checked", &TExportDialogState::cbExportFiles},
    {"cbExportFolders.Checked", &TExportDialogState::cbExportFolders},
};
constexpr const char* kDepthProp = "seFolderDepth.Value";

bool ReadInt(const std::string& s, long long& v) {
    const char* b = s.data();
    const char* e = b + s.size();
    auto r = std::from_chars(b, e, v);
    return r.ec == std::errc() && r.ptr == e;
}
} // namespace

std::vector<std::pair<std::string, std::string>>
SaveExportDialogState(const TExportDialogState& s) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const BoolProp& p : kBoolProps) {
        out.emplace_back(p.name, s.*p.field ? "1" : "0");
        if (std::string_view(p.name) == "cbSplitFileNames.Checked")
            out.emplace_back(kDepthProp, std::to_string(s.seFolderDepth));
    }
    return out;
}

TExportDialogState
LoadExportDialogState(const std::function<bool(const std::string&, std::string&)>& get) {
    TExportDialogState s;
    std::string v;
    for (const BoolProp& p : kBoolProps) {
        long long n = 0;
        if (get(p.name, v)) {
            if (v == "true" || v == "True")
                s.*p.field = true;
            else if (v == "false" || v == "False")
                s.*p.field = false;
            else if (ReadInt(v, n))
                s.*p.field = n != 0;
        }
    }
    long long depth = 0;
    if (get(kDepthProp, v) && ReadInt(v, depth) && depth <= INT32_MAX)
        s.seFolderDepth = ValidFolderDepth(int(std::max<long long>(depth, -1)));
    return s;
}

void ApplyCommandLineToDialog(const TExportOptions& o, TExportDialogState& s) {
    if (o.ExportFiles.Given) s.cbExportFiles = o.ExportFiles;
    if (o.ExportFolders.Given) s.cbExportFolders = o.ExportFolders;
    if (o.ExportDriveSize.Given) s.cbExportDriveSize = o.ExportDriveSize;
    if (o.ExportDates.Given) s.cbExportDates = o.ExportDates;
    if (o.ExportFolderSize.Given) s.cbExportFolderSize = o.ExportFolderSize;
    if (o.SplitFileNames.Given) s.cbSplitFileNames = o.SplitFileNames;
    if (o.PercentOfParent.Given) s.cbPercentageofParent = o.PercentOfParent;
    if (o.ExportMFTNo.Given) s.cbExportMFTNo = o.ExportMFTNo;
    if (o.MaxDepth.Given) s.seFolderDepth = ValidFolderDepth(o.MaxDepth);
}

int ValidFolderDepth(int value) {
    return value < 0 ? 0 : value;
}

std::u16string CheckExportDialog(const TExportDialogState& s) {
    if (s.cbExportFiles || s.cbExportFolders) return {};
    return Utf8ToUtf16(tr("One or both of Export Files and Export Folders must be selected for "
                          "the export to be valid."));
}

void ApplyDialogToOptions(const TExportDialogState& s, TExportOptions& o) {
    o.ExportFiles.Value = s.cbExportFiles;
    o.ExportFolders.Value = s.cbExportFolders;
    o.ExportDriveSize.Value = s.cbExportDriveSize;
    o.ExportDates.Value = s.cbExportDates;
    o.ExportFolderSize.Value = s.cbExportFolderSize;
    o.SplitFileNames.Value = s.cbSplitFileNames;
    o.PercentOfParent.Value = s.cbPercentageofParent;
    o.ExportMFTNo.Value = s.cbExportMFTNo;
    o.MaxDepth.Value = ValidFolderDepth(s.seFolderDepth);
}

// ---------------------------------------------------------------- settings and names

std::u16string TExportSettings::DefaultExportFolder() {
    // The XDG documents folder when the user has one, else ~/Documents when it exists.
    auto isDir = [](const std::string& p) {
        struct stat st {};
        return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    };
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    std::string homeDir = home;
    std::string config = std::getenv("XDG_CONFIG_HOME") && *std::getenv("XDG_CONFIG_HOME")
                             ? std::string(std::getenv("XDG_CONFIG_HOME"))
                             : homeDir + "/.config";
    if (FILE* f = std::fopen((config + "/user-dirs.dirs").c_str(), "r")) {
        char line[4096];
        std::string found;
        while (std::fgets(line, sizeof line, f)) {
            std::string l = line;
            const std::string key = "XDG_DOCUMENTS_DIR=\"";
            if (l.rfind(key, 0) != 0) continue;
            const size_t end = l.find('"', key.size());
            if (end == std::string::npos) continue;
            found = l.substr(key.size(), end - key.size());
            if (found.rfind("$HOME", 0) == 0) found = homeDir + found.substr(5);
        }
        std::fclose(f);
        if (isDir(found) && found != homeDir) return Utf8ToUtf16(found);
    }
    const std::string docs = homeDir + "/Documents";
    return isDir(docs) ? Utf8ToUtf16(docs) : std::u16string();
}

namespace {
std::string Stamp(TDateTime local, const char* format) {
    TDateParts p;
    if (!DecodeDateTime(local, p)) p = TDateParts{};
    char buf[32];
    if (std::string_view(format) == "date")
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", p.year, p.month, p.day);
    else if (std::string_view(format) == "time")
        std::snprintf(buf, sizeof buf, "%02d%02d%02d", p.hour, p.minute, p.second);
    else
        std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d", p.year, p.month, p.day, p.hour,
                      p.minute, p.second);
    return buf;
}

std::u16string WithoutTrailingSeparator(std::u16string folder) {
    while (folder.size() > 1 && (folder.back() == u'/' || folder.back() == u'\\'))
        folder.pop_back();
    return folder;
}
} // namespace

std::u16string ProposedExportFileName(const TExportSettings& settings, TDateTime nowLocal) {
    std::u16string name =
        u"Quarzel_" + AsciiToUtf16(Stamp(nowLocal, "all")) + settings.export_extension;
    if (settings.export_folder.empty()) return name;
    std::u16string folder = WithoutTrailingSeparator(settings.export_folder);
    if (folder != u"/") folder += u'/';
    return folder + name;
}

std::u16string ProposedFileTypesFileName(TDateTime nowLocal) {
    return u"Quarzel_FT_" + AsciiToUtf16(Stamp(nowLocal, "all")) + u".csv";
}

namespace {
// Position of the last separator of a file name (npos when none).
size_t LastSeparator(std::u16string_view name) {
    return name.find_last_of(u"/");
}
size_t ExtensionStart(std::u16string_view name) {
    const size_t sep = LastSeparator(name);
    const size_t base = sep == std::u16string_view::npos ? 0 : sep + 1;
    const size_t dot = name.rfind(u'.');
    return dot == std::u16string_view::npos || dot <= base ? name.size() : dot;
}
} // namespace

void RememberExportFileName(TExportSettings& settings, const std::u16string& fileName) {
    settings.export_extension = fileName.substr(ExtensionStart(fileName));
    const size_t sep = LastSeparator(fileName);
    settings.export_folder =
        sep == std::u16string::npos ? std::u16string() : fileName.substr(0, sep + 1);
}

int ExportFilterIndexFor(std::u16string_view extension) {
    return EqualsIgnoreAsciiCase(extension, u".tsv") ? 2 : 1;
}

std::u16string ExpandExportFileName(std::u16string_view name, TDateTime startLocal) {
    const std::u16string date = AsciiToUtf16(Stamp(startLocal, "date"));
    const std::u16string time = AsciiToUtf16(Stamp(startLocal, "time"));
    std::u16string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == u'%' && i + 1 < name.size() &&
            (name[i + 1] == u'd' || name[i + 1] == u't')) {
            out += name[i + 1] == u'd' ? date : time;
            ++i;
        } else {
            out.push_back(name[i]);
        }
    }
    return out;
}

std::u16string NumberedExportFileName(const std::u16string& fileName, int i) {
    if (fileName == u"-") return fileName;
    const size_t ext = ExtensionStart(fileName);
    return fileName.substr(0, ext) + u"_" + AsciiToUtf16(std::to_string(i)) + fileName.substr(ext);
}

void CreateFolderOf(const std::u16string& fileName) {
    const std::string path = Utf16ToUtf8(fileName);
    const size_t sep = path.rfind('/');
    if (sep == std::string::npos || sep == 0) return;
    const std::string folder = path.substr(0, sep);
    for (size_t i = 1; i <= folder.size(); ++i) {
        if (i < folder.size() && folder[i] != '/') continue;
        const std::string part = folder.substr(0, i);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return;
    }
}

} // namespace qz

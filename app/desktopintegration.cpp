#include "app/desktopintegration.h"

#include "app/desktopdata.h"
#include "app/environment.h"
#include "app/volumeaccess.h"
#include "base/debuglog.h"
#include "base/tempfile.h"
#include "base/translate.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qz {

namespace {

constexpr const char* kCaption = "Quarzel";
// Dolphin shows "&" as the accelerator of the following letter.
constexpr const char* kDolphinCaption = "Quar&zel";
// Marks the lines and files this program writes.
constexpr const char* kMarkerKey = "X-Quarzel-Integration";
constexpr const char* kThunarId = "quarzel-scan-folder";
constexpr const char* kThunarCreatedMarker = "<!-- created by Quarzel -->";

struct TPaths {
    std::string DesktopEntry, Icon, MimePackage, MimeFolder, ApplicationsFolder, NautilusScript,
        DolphinMenu, NemoFolderAction, NemoBackgroundAction, ThunarActions;
};

TPaths PathsOf(const TIntegrationPlaces& p) {
    TPaths x;
    x.ApplicationsFolder = p.DataHome + "/applications";
    x.DesktopEntry = x.ApplicationsFolder + "/quarzel.desktop";
    x.Icon = p.DataHome + "/icons/hicolor/scalable/apps/quarzel.svg";
    x.MimeFolder = p.DataHome + "/mime";
    x.MimePackage = x.MimeFolder + "/packages/quarzel-mft.xml";
    x.NautilusScript = p.DataHome + "/nautilus/scripts/Quarzel";
    x.DolphinMenu = p.DataHome + "/kio/servicemenus/quarzel.desktop";
    x.NemoFolderAction = p.DataHome + "/nemo/actions/quarzel.nemo_action";
    x.NemoBackgroundAction = p.DataHome + "/nemo/actions/quarzel-background.nemo_action";
    x.ThunarActions = p.ConfigHome + "/Thunar/uca.xml";
    return x;
}

bool MakeFolders(const std::string& file) {
    std::string dir;
    size_t pos = 1;
    while ((pos = file.find('/', pos)) != std::string::npos) {
        dir = file.substr(0, pos);
        if (::mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
        ++pos;
    }
    return true;
}

bool ReadText(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return true;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

class TResult {
public:
    explicit TResult(std::string* error) : FError(error) {}
    // what: a translated text with one "%s" for the path.
    bool Fail(const char* what, const std::string& path, int err) {
        if (FOk && FError) *FError = Format(what, path.c_str()) + ": " + std::strerror(err);
        FOk = false;
        return false;
    }
    bool Ok() const { return FOk; }

private:
    std::string* FError;
    bool FOk = true;
};

// Writes text to path whole (a temporary file beside it, then renamed) with the given mode.
bool Write(const std::string& path, const std::string& text, mode_t mode, TResult& result) {
    if (!MakeFolders(path)) return result.Fail(tr("cannot create the folder of %s"), path, errno);
    TOutputFile out;
    if (!out.Open(path)) return result.Fail(tr("cannot write %s"), path, errno);
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(out.Fd(), text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return result.Fail(tr("cannot write %s"), path, n < 0 ? errno : EIO);
        done += size_t(n);
    }
    if (::fchmod(out.Fd(), mode) != 0) return result.Fail(tr("cannot write %s"), path, errno);
    if (!out.Commit()) return result.Fail(tr("cannot write %s"), path, errno);
    return true;
}

bool Remove(const std::string& path, TResult& result) {
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        return result.Fail(tr("cannot remove %s"), path, errno);
    return true;
}

// The value of key in a key file's text, from the line "key=value"; empty when absent.
std::string KeyValue(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

// The caption to write: the one in our earlier file when the user changed it.
std::string KeptCaption(const std::string& path, const char* key, const char* fallback) {
    std::string text;
    if (!ReadText(path, text) || KeyValue(text, kMarkerKey).empty()) return fallback;
    const std::string caption = KeyValue(text, key);
    return caption.empty() ? fallback : caption;
}

// Escapes a key-file string value (backslash, line breaks).
std::string KeyFileEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else
            out += c;
    }
    return out;
}

std::string XmlEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string DesktopEntryText(const std::string& program) {
    std::string text = desktopdata::kDesktopEntryTemplate;
    const size_t at = text.find("@EXEC@");
    if (at != std::string::npos) text.replace(at, 6, DesktopExecProgram(program));
    return text + kMarkerKey + "=1\n";
}

std::string NautilusScriptText(const std::string& program) {
    // GNOME Files starts a script in the shown folder with the selected names as arguments;
    // with nothing selected the shown folder itself is scanned.
    return "#!/bin/sh\n"
           "# " +
           std::string(kMarkerKey) +
           ": opens the selected folder (or the shown one) in Quarzel.\n"
           "if [ $# -gt 0 ]; then exec " +
           ShellQuote(program) + " \"$1\"; else exec " + ShellQuote(program) + " \"$PWD\"; fi\n";
}

std::string DolphinMenuText(const std::string& program, const std::string& caption) {
    return "[Desktop Entry]\n"
           "Type=Service\n"
           "MimeType=inode/directory;\n"
           "Actions=quarzel;\n"
           "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n" +
           std::string(kMarkerKey) +
           "=1\n"
           "\n"
           "[Desktop Action quarzel]\n"
           "Name=" +
           caption +
           "\n"
           "Icon=quarzel\n"
           "Exec=" +
           DesktopExecProgram(program) + " %f\n";
}

std::string NemoActionText(const std::string& program, const std::string& caption,
                           bool background) {
    // Nemo splits Exec like a shell after putting in the quoted paths.
    return "[Nemo Action]\n"
           "Name=" +
           caption +
           "\n"
           "Comment=Show where the space goes in this folder\n"
           "Icon-Name=quarzel\n"
           "Exec=" +
           KeyFileEscape(ShellQuote(program)) + (background ? " %P\n" : " %F\n") +
           (background ? "Selection=None\nExtensions=any;\n" : "Selection=s\nExtensions=dir;\n") +
           kMarkerKey + "=1\n";
}

std::string ThunarActionText(const std::string& program) {
    return "<action>\n"
           "\t<icon>quarzel</icon>\n"
           "\t<name>Quarzel</name>\n"
           "\t<submenu></submenu>\n"
           "\t<unique-id>" +
           std::string(kThunarId) +
           "</unique-id>\n"
           "\t<command>" +
           XmlEscape(ShellQuote(program) + " %f") +
           "</command>\n"
           "\t<description>Show where the space goes in this folder</description>\n"
           "\t<range></range>\n"
           "\t<patterns>*</patterns>\n"
           "\t<directories/>\n"
           "</action>\n";
}

// The text of uca.xml without our action: every <action>...</action> that holds our id goes.
std::string WithoutThunarAction(const std::string& text) {
    std::string out;
    size_t pos = 0;
    for (;;) {
        const size_t start = text.find("<action>", pos);
        if (start == std::string::npos) break;
        const size_t end = text.find("</action>", start);
        if (end == std::string::npos) break;
        const size_t stop = end + std::strlen("</action>");
        const std::string block = text.substr(start, stop - start);
        if (block.find(std::string(">") + kThunarId + "<") != std::string::npos) {
            out += text.substr(pos, start - pos);
            pos = stop;
            if (pos < text.size() && text[pos] == '\n') ++pos;
        } else {
            out += text.substr(pos, stop - pos);
            pos = stop;
        }
    }
    return out + text.substr(pos);
}

bool UpdateThunar(bool on, const std::string& path, const std::string& program, TResult& result) {
    std::string text;
    const bool had = ReadText(path, text);
    if (had && text.find("</actions>") == std::string::npos) {
        // Not a list of actions we can read: left as it is.
        DebugLog("Thunar actions file not changed (not understood): " + path);
        return true;
    }
    if (!had) {
        if (!on) return true;
        text = std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n") + kThunarCreatedMarker +
               "\n<actions>\n</actions>\n";
    }
    text = WithoutThunarAction(text);
    if (on) {
        text.insert(text.rfind("</actions>"), ThunarActionText(program));
        return Write(path, text, 0644, result);
    }
    if (text.find(kThunarCreatedMarker) != std::string::npos &&
        text.find("<action>") == std::string::npos)
        return Remove(path, result);
    return !had || Write(path, text, 0644, result);
}

// Runs a database refresh (update-mime-database, update-desktop-database) when installed;
// waits for it. Its output is not wanted.
void RunRefresh(const char* tool, const std::string& folder) {
    const std::string program = FindProgram(tool, std::getenv("PATH"));
    if (program.empty()) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string arg0 = tool;
    std::string arg1 = folder;
    char* argv[] = {arg0.data(), arg1.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) == 0) {
        int status = 0;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            DebugLog(std::string(tool) + " failed on " + folder);
    }
    posix_spawn_file_actions_destroy(&actions);
}

} // namespace

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string DesktopExecProgram(const std::string& programPath) {
    // Reserved characters make a quoted argument, inside which '"', '`', '$' and '\' take a
    // backslash; the key file then escapes every backslash once more. '%' is always doubled.
    bool quote = false;
    for (char c : programPath)
        if (std::strchr(" \t\n\"'\\><~|&;$*?#()`", c)) quote = true;
    std::string arg;
    for (char c : programPath) {
        if (c == '%') {
            arg += "%%";
            continue;
        }
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) arg += '\\';
        arg += c;
    }
    if (quote) arg = "\"" + arg + "\"";
    return KeyFileEscape(arg);
}

TIntegrationPlaces UserIntegrationPlaces() {
    TIntegrationPlaces p;
    const char* data = std::getenv("XDG_DATA_HOME");
    p.DataHome = data && *data == '/' ? std::string(data) : HomeFolder() + "/.local/share";
    const char* config = std::getenv("XDG_CONFIG_HOME");
    p.ConfigHome = config && *config == '/' ? std::string(config) : HomeFolder() + "/.config";
    return p;
}

std::vector<std::string> IntegrationFiles(const TIntegrationPlaces& places) {
    const TPaths x = PathsOf(places);
    return {x.DesktopEntry,         x.Icon,         x.MimePackage,
            x.NautilusScript,       x.DolphinMenu,  x.NemoFolderAction,
            x.NemoBackgroundAction, x.ThunarActions};
}

bool RegisterExplorerIntegration(bool on, const std::string& programPath,
                                 const TIntegrationPlaces& places, std::string* error) {
    DebugLog(std::string("RegisterExplorerIntegration ") + (on ? "on" : "off"));
    const TPaths x = PathsOf(places);
    TResult result(error);
    if (on) {
        const std::string dolphinCaption = KeptCaption(x.DolphinMenu, "Name", kDolphinCaption);
        const std::string nemoCaption = KeptCaption(x.NemoFolderAction, "Name", kCaption);
        const std::string nemoBackgroundCaption =
            KeptCaption(x.NemoBackgroundAction, "Name", kCaption);
        Write(x.Icon, desktopdata::kIconSvg, 0644, result);
        Write(x.DesktopEntry, DesktopEntryText(programPath), 0644, result);
        Write(x.MimePackage, desktopdata::kMimeTypeXml, 0644, result);
        Write(x.NautilusScript, NautilusScriptText(programPath), 0755, result);
        // Dolphin runs service menus of the user's folder only when they are executable.
        Write(x.DolphinMenu, DolphinMenuText(programPath, dolphinCaption), 0755, result);
        Write(x.NemoFolderAction, NemoActionText(programPath, nemoCaption, false), 0644, result);
        Write(x.NemoBackgroundAction, NemoActionText(programPath, nemoBackgroundCaption, true),
              0644, result);
        UpdateThunar(true, x.ThunarActions, programPath, result);
    } else {
        for (const std::string& f : {x.DesktopEntry, x.Icon, x.MimePackage, x.NautilusScript,
                                     x.DolphinMenu, x.NemoFolderAction, x.NemoBackgroundAction})
            Remove(f, result);
        UpdateThunar(false, x.ThunarActions, programPath, result);
    }
    if (Exists(x.MimeFolder + "/packages")) RunRefresh("update-mime-database", x.MimeFolder);
    if (Exists(x.ApplicationsFolder)) RunRefresh("update-desktop-database", x.ApplicationsFolder);
    return result.Ok();
}

} // namespace qz

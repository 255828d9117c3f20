#include "fsops/terminal.h"

#include "fsops/launch.h"

#include <climits>
#include <cstdlib>

namespace qz {

namespace {

// The options that make a terminal start in folder (after the program's name).
std::vector<std::string> FolderOptions(const std::string& name, const std::string& folder) {
    if (name == "gnome-terminal" || name == "xfce4-terminal" || name == "mate-terminal" ||
        name == "tilix" || name == "terminator" || name == "lxterminal" || name == "foot" ||
        name == "kgx")
        return {"--working-directory=" + folder};
    if (name == "konsole" || name == "qterminal") return {"--workdir", folder};
    if (name == "alacritty") return {"--working-directory", folder};
    if (name == "kitty") return {"--directory", folder};
    if (name == "wezterm") return {"start", "--cwd", folder};
    if (name == "urxvt" || name == "rxvt-unicode") return {"-cd", folder};
    return {}; // xterm and the others start in the folder they are started in
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::vector<std::string> SplitWords(const std::string& text) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
        size_t j = i;
        while (j < text.size() && text[j] != ' ' && text[j] != '\t') ++j;
        if (j > i) words.push_back(text.substr(i, j - i));
        i = j;
    }
    return words;
}

} // namespace

const std::vector<std::string>& KnownTerminals() {
    static const std::vector<std::string> kList = {
        "gnome-terminal", "konsole",    "xfce4-terminal", "mate-terminal", "kgx",
        "tilix",          "terminator", "lxterminal",     "qterminal",     "alacritty",
        "kitty",          "wezterm",    "foot",           "urxvt",         "xterm"};
    return kList;
}

std::vector<std::string> TerminalCommand(const std::string& folder, const std::string& terminalEnv,
                                         const std::string& path) {
    // $TERMINAL: a program with options of its own.
    std::vector<std::string> words = SplitWords(terminalEnv);
    const std::string chosen = words.empty() ? std::string() : FindProgram(words[0], path);
    if (!chosen.empty()) {
        const std::string name = BaseName(words[0]);
        words[0] = chosen;
        for (std::string& o : FolderOptions(name, folder)) words.push_back(o);
        return words;
    }
    // The system's choice; its folder options when it is a link to a terminal we know.
    const std::string system = FindProgram("x-terminal-emulator", path);
    if (!system.empty()) {
        std::vector<std::string> cmd = {system};
        char real[PATH_MAX];
        if (::realpath(system.c_str(), real))
            for (std::string& o : FolderOptions(BaseName(real), folder)) cmd.push_back(o);
        return cmd;
    }
    for (const std::string& name : KnownTerminals()) {
        const std::string found = FindProgram(name, path);
        if (found.empty()) continue;
        std::vector<std::string> cmd = {found};
        for (std::string& o : FolderOptions(name, folder)) cmd.push_back(o);
        return cmd;
    }
    return {};
}

} // namespace qz

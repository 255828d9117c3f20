#include "app/environment.h"

#include "base/translate.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

std::string ProgramPath() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return {};
    return std::string(buf, size_t(n));
}

std::string ProgramFolder() {
    std::string p = ProgramPath();
    size_t s = p.find_last_of('/');
    return s == std::string::npos ? std::string() : s == 0 ? std::string("/") : p.substr(0, s);
}

std::string UserName() {
    struct passwd pw {};
    struct passwd* res = nullptr;
    char buf[4096];
    if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &res) == 0 && res && res->pw_name &&
        *res->pw_name)
        return res->pw_name;
    if (const char* u = std::getenv("USER"); u && *u) return u;
    return "Unknown";
}

std::string HomeFolder() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    struct passwd pw {};
    struct passwd* res = nullptr;
    char buf[4096];
    if (::getpwuid_r(::geteuid(), &pw, buf, sizeof buf, &res) == 0 && res && res->pw_dir)
        return res->pw_dir;
    return {};
}

std::string UserDataFolder() {
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/')
        base = x;
    else
        base = HomeFolder() + "/.config";
    return base + "/Quarzel3";
}

std::string DebugLogFolder(const std::string& settingsFile) {
    const size_t slash = settingsFile.find_last_of('/');
    if (slash == std::string::npos) return "DebugLogs";
    return settingsFile.substr(0, slash) + "/DebugLogs";
}

std::string LocaleFolderFor(const std::string& programFolder) {
    const std::string beside = programFolder + "/locale";
    struct stat st {};
    if (::stat(beside.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return beside;
    const size_t slash = programFolder.find_last_of('/');
    const std::string prefix = slash == std::string::npos ? "." : programFolder.substr(0, slash);
    return prefix + "/share/locale";
}

std::string LocaleFolder() {
    return LocaleFolderFor(ProgramFolder());
}

std::string DefaultLanguageCode(const std::string& localeFolder) {
    std::string code;
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (v && *v) {
            code = v;
            break;
        }
    }
    if (code.size() < 2 || !std::isalpha(static_cast<unsigned char>(code[0])) ||
        !std::isalpha(static_cast<unsigned char>(code[1])))
        return "en";
    code = code.substr(0, 2);
    for (char& c : code) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (DIR* d = ::opendir(localeFolder.c_str())) {
        std::string found;
        while (struct dirent* e = ::readdir(d)) {
            std::string name = e->d_name;
            if (name == "." || name == ".." || name.size() < code.size()) continue;
            if (e->d_type != DT_DIR && e->d_type != DT_UNKNOWN) continue;
            bool match = true;
            for (size_t i = 0; i < code.size(); ++i)
                if (std::tolower(static_cast<unsigned char>(name[i])) != code[i]) match = false;
            // share/locale holds every program's languages: only ours count.
            struct stat st {};
            const std::string catalogue =
                localeFolder + "/" + name + "/LC_MESSAGES/" + kTextDomain + ".mo";
            if (match && ::stat(catalogue.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                found = name;
                break;
            }
        }
        ::closedir(d);
        if (!found.empty()) return found;
    }
    return "en";
}

} // namespace qz

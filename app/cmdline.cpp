#include "app/cmdline.h"

#include "base/datetime.h"
#include "base/translate.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <sys/stat.h>

namespace qz {

namespace {

constexpr std::array<std::string_view, 30> kKnownKeys = {"debug",
                                                         "configfolder",
                                                         "admin",
                                                         "export",
                                                         "exportfiletypes",
                                                         "filter",
                                                         "filterexclude",
                                                         "filterfullpath",
                                                         "exportfolders",
                                                         "exportfiles",
                                                         "exportmftrecno",
                                                         "exportalldates",
                                                         "exportallsizes",
                                                         "exportsplitfilename",
                                                         "exportdrivecapacity",
                                                         "exportpercentofparent",
                                                         "exportmaxdepth",
                                                         "exportlimit",
                                                         "sortby",
                                                         "sortbyfiletypes",
                                                         "dumpmftfile",
                                                         "treemapimagefile",
                                                         "treemapimagewidth",
                                                         "treemapimageheight",
                                                         "treemapimagegray",
                                                         "treemapimagefreespace",
                                                         "treemapimageshowallocated",
                                                         "runningas",
                                                         "substlist",
                                                         "networklist"};

// The options that take a value (a path, a filter, a name, a number that is not a switch):
// without "=" they take the next argument. The others are switches, "1" when bare.
constexpr std::array<std::pair<std::string_view, std::string_view>, 15> kValueKeys = {{
    {"configfolder", "DIR"},
    {"export", "FILE"},
    {"exportfiletypes", "FILE"},
    {"dumpmftfile", "FILE"},
    {"treemapimagefile", "FILE"},
    {"filter", "TEXT"},
    {"filterexclude", "TEXT"},
    {"exportmaxdepth", "N"},
    {"exportlimit", "N"},
    {"sortby", "N"},
    {"sortbyfiletypes", "N"},
    {"treemapimagewidth", "N"},
    {"treemapimageheight", "N"},
    {"substlist", "LIST"},
    {"networklist", "LIST"},
}};

std::string_view ValueName(std::string_view key) {
    for (auto [k, name] : kValueKeys)
        if (k == key) return name;
    return {};
}

// A language code as the locale folders name them: "de", "pt_BR", "zh-Hant", "sr@latin".
bool IsLanguageCode(std::string_view code) {
    size_t i = 0;
    while (i < code.size() && std::isalpha(static_cast<unsigned char>(code[i]))) ++i;
    if (i < 2 || i > 3) return false;
    for (; i < code.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(code[i]);
        if (!std::isalnum(c) && c != '_' && c != '-' && c != '.' && c != '@') return false;
    }
    return code.size() <= 32;
}

std::string Lower(std::string_view s) {
    std::string r(s);
    for (char& c : r) c = char(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

} // namespace

bool TCommandLine::IsKnownKey(std::string_view key) {
    return std::find(kKnownKeys.begin(), kKnownKeys.end(), key) != kKnownKeys.end();
}

void TCommandLine::Parse(std::vector<std::string> args, const TPathExists& exists) {
    auto pathExists = [&](const std::string& p) {
        if (exists) return exists(p);
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0;
    };
    *this = TCommandLine();
    FArgs = std::move(args);
    size_t first = 0;
    if (!FArgs.empty()) {
        std::string a0 = Lower(FArgs[0]);
        if (a0 == "-uninstall") {
            FUninstall = true;
            first = 1;
        } else if (a0 == "-install") {
            FInstall = true;
            first = 1;
        } else if (a0 == "-setlanguage") {
            // The code is the next argument, or, when options come first, the first
            // argument that is not an option.
            FSetLanguage = true;
            first = 1;
            if (FArgs.size() > 1 && !FArgs[1].empty() && FArgs[1][0] != '-' && FArgs[1][0] != '/') {
                FSetLanguageCode = FArgs[1];
                first = 2;
            }
        }
    }
    bool optionsEnded = false;
    for (size_t i = first; i < FArgs.size(); ++i) {
        const std::string& a = FArgs[i];
        if (optionsEnded || a.size() < 2 || (a[0] != '-' && a[0] != '/')) {
            FPositional.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsEnded = true;
            continue;
        }
        std::string_view body;
        bool windowsForm = false;
        if (a.compare(0, 2, "--") == 0) {
            body = std::string_view(a).substr(2);
        } else if (a[0] == '/') {
            body = std::string_view(a).substr(1);
            windowsForm = true;
        } else {
            body = std::string_view(a).substr(1); // "-h", "-x": single-dash forms
        }
        const size_t eq = body.find('=');
        const std::string key = Lower(body.substr(0, eq));
        std::string value =
            eq == std::string_view::npos ? std::string("1") : std::string(body.substr(eq + 1));
        if (windowsForm && (!IsKnownKey(key) || pathExists(a))) { // /home/me, /export
            FPositional.push_back(a);
            continue;
        }
        std::string given = a; // as kept for the log and a relaunch: always key=value
        if (eq == std::string_view::npos && !optionsEnded && (a[0] == '/' || a[1] == '-')) {
            if (const std::string_view what = ValueName(key); !what.empty()) {
                // "--export out.csv": the value is the next argument. One that is itself a
                // long option means the value was forgotten.
                const bool next = i + 1 < FArgs.size() && !(FArgs[i + 1].size() > 2 &&
                                                            FArgs[i + 1].compare(0, 2, "--") == 0);
                if (!next) {
                    const std::string form = (windowsForm ? "/" : "--") + key;
                    const std::string w(what);
                    FErrors.push_back(Format(tr("%s needs a value: %s=%s or %s %s"), form.c_str(),
                                             form.c_str(), w.c_str(), form.c_str(), w.c_str()));
                    continue;
                }
                value = FArgs[++i];
                given = a + "=" + value;
            }
        }
        if (a[0] == '-' && a[1] != '-') {
            if (key == "h" || key == "?" || key == "help") {
                FHelp = true;
            } else {
                FWarnings.push_back(Format(
                    tr("Unknown option %s ignored (options are written --key=value)"), a.c_str()));
                FOptionArgs.push_back(a);
            }
            continue;
        }
        if (key == "help" && !windowsForm) {
            FHelp = true;
            continue;
        }
        if (key == "version" && !windowsForm) {
            FVersion = true;
            continue;
        }
        FOptionArgs.push_back(given);
        if (!IsKnownKey(key)) {
            FWarnings.push_back(Format(tr("Unknown option %s ignored"), a.c_str()));
            continue;
        }
        FOptions.push_back({key, value});
    }
    if (FSetLanguage && FSetLanguageCode.empty() && !FPositional.empty()) {
        FSetLanguageCode = FPositional.front();
        FPositional.erase(FPositional.begin());
    }
    if (!FSetLanguageCode.empty() && !IsLanguageCode(FSetLanguageCode))
        FErrors.push_back(
            Format(tr("-setlanguage needs a language code such as de or zh_CN, not %s"),
                   FSetLanguageCode.c_str()));
}

bool TCommandLine::TakesValue(std::string_view key) {
    return !ValueName(key).empty();
}

std::string TCommandLine::GetCommandLineOption(std::string_view key, std::string_view def) const {
    const std::string k = Lower(key);
    for (const Option& o : FOptions)
        if (o.Key == k) return o.Value.empty() ? std::string(def) : o.Value;
    return std::string(def);
}

bool TCommandLine::HasOption(std::string_view key) const {
    const std::string k = Lower(key);
    for (const Option& o : FOptions)
        if (o.Key == k) return !o.Value.empty();
    return false;
}

std::string TCommandLine::GetPathArgument(int n) const {
    if (n < 1 || size_t(n) > FPositional.size()) return {};
    return FPositional[size_t(n - 1)];
}

std::string TCommandLine::GetOptionArguments() const {
    std::string r;
    for (const std::string& a : FOptionArgs) r += " \"" + a + "\"";
    return r;
}

int ParseIntDef(std::string_view t, int def) {
    size_t i = 0, e = t.size();
    while (i < e && (t[i] == ' ' || t[i] == '\t')) ++i;
    while (e > i && (t[e - 1] == ' ' || t[e - 1] == '\t')) --e;
    bool neg = false;
    if (i < e && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    if (i == e) return def;
    long long v = 0;
    for (; i < e; ++i) {
        if (t[i] < '0' || t[i] > '9') return def;
        v = v * 10 + (t[i] - '0');
        if (v > (long long)INT_MAX + 1) return def;
    }
    if (neg) v = -v;
    if (v < INT_MIN || v > INT_MAX) return def;
    return int(v);
}

std::string ConvertFilterQuotes(std::string_view t) {
    std::string r;
    r.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == '\'') {
            if (i + 1 < t.size() && t[i + 1] == '\'') {
                r.push_back('\'');
                ++i;
            } else {
                r.push_back('"');
            }
        } else {
            r.push_back(t[i]);
        }
    }
    auto replaceAll = [&](std::string_view from, std::string_view to) {
        size_t p = 0;
        while ((p = r.find(from, p)) != std::string::npos) {
            r.replace(p, from.size(), to);
            p += to.size();
        }
    };
    replaceAll(" | ", "|");
    replaceAll(" |", "|");
    replaceAll("| ", "|");
    return r;
}

std::string ExpandDateTimeName(std::string_view name, double when) {
    TDateParts p;
    DecodeDateTime(when, p);
    char d[16], t[16];
    std::snprintf(d, sizeof d, "%04d%02d%02d", p.year, p.month, p.day);
    std::snprintf(t, sizeof t, "%02d%02d%02d", p.hour, p.minute, p.second);
    std::string r(name);
    for (auto [from, to] : {std::pair<std::string_view, std::string_view>{"%d", d}, {"%t", t}}) {
        size_t pos = 0;
        while ((pos = r.find(from, pos)) != std::string::npos) {
            r.replace(pos, from.size(), to);
            pos += to.size();
        }
    }
    return r;
}

} // namespace qz

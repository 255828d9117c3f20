#include "app/volumeaccess.h"

#include "app/cmdline.h"
#include "base/debuglog.h"
#include "base/filehandle.h"
#include "base/translate.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

bool CanOpenForReading(const std::string& dev) {
    TFileHandle fd(::open(dev.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    return fd.valid();
}

bool IsBlockDevice(const std::string& p) {
    struct stat st {};
    return ::stat(p.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
}

std::string Absolute(const std::string& p) {
    if (p.empty() || p == "-" || p[0] == '/') return p;
    return NormalizePath(p);
}

} // namespace

bool HasVolumeAccess(bool respectRelaunch, bool runningAs, const std::vector<TMountInfo>& mounts,
                     const std::string& device) {
    if (respectRelaunch && runningAs) return true;
    std::vector<std::string> candidates;
    if (!device.empty()) {
        candidates.push_back(device);
    } else {
        std::vector<const TMountInfo*> sorted;
        for (const TMountInfo& m : mounts) sorted.push_back(&m);
        std::sort(sorted.begin(), sorted.end(), [](const TMountInfo* a, const TMountInfo* b) {
            return a->MountPoint < b->MountPoint;
        });
        for (const TMountInfo* m : sorted)
            if (MayBeNtfsMount(m->FsType) && m->FsType.rfind("fuse", 0) != 0 &&
                IsBlockDevice(m->Source))
                candidates.push_back(m->Source);
        if (candidates.empty())
            for (const TMountInfo* m : sorted)
                if (IsBlockDevice(m->Source)) candidates.push_back(m->Source);
    }
    if (candidates.empty()) return ::geteuid() == 0;
    return CanOpenForReading(candidates.front());
}

std::vector<std::string> ElevatedArguments(const std::string& program, const std::string& path,
                                           const std::vector<std::string>& optionArgs) {
    std::vector<std::string> argv = {"pkexec", program};
    if (!path.empty()) argv.push_back(Absolute(path));
    for (const std::string& a : optionArgs) {
        const size_t eq = a.find('=');
        std::string key = a.substr(0, eq);
        while (!key.empty() && (key[0] == '-' || key[0] == '/')) key.erase(0, 1);
        for (char& c : key) c = char(std::tolower(static_cast<unsigned char>(c)));
        const bool isPath = key == "export" || key == "exportfiletypes" || key == "dumpmftfile" ||
                            key == "treemapimagefile" || key == "configfolder";
        if (isPath && eq != std::string::npos)
            argv.push_back(a.substr(0, eq + 1) + Absolute(a.substr(eq + 1)));
        else
            argv.push_back(a);
    }
    argv.push_back("--runningas");
    return argv;
}

std::string FindProgram(const std::string& name, const char* searchPath) {
    if (name.find('/') != std::string::npos)
        return ::access(name.c_str(), X_OK) == 0 ? name : std::string();
    const std::string dirs = searchPath ? searchPath : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end == start ? "." : dirs.substr(start, end - start);
        const std::string candidate = dir + "/" + name;
        struct stat st {};
        if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

void RestartElevated(const std::vector<std::string>& argv, std::string& error) {
    DebugLog("RestartElevated");
    // Searched here rather than by execvp, which reports a missing program as "Permission
    // denied" when some folder on the search path cannot be entered.
    const std::string program = FindProgram(argv.front(), std::getenv("PATH"));
    if (program.empty()) {
        error = Format(tr("%s is not installed (it asks for root; install it, or run quarzel as "
                          "root)"),
                       argv.front().c_str());
        return;
    }
    std::vector<char*> cargv;
    for (const std::string& a : argv) cargv.push_back(const_cast<char*>(a.c_str()));
    cargv.push_back(nullptr);
    ::execv(program.c_str(), cargv.data());
    error = Format(tr("cannot start %s: %s"), argv.front().c_str(), std::strerror(errno));
}

} // namespace qz

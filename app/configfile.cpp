#include "app/configfile.h"

#include "app/inifile.h"

#include <filesystem>
#include <unistd.h>

namespace qz {

namespace {

bool EnsureFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

} // namespace

TConfigLocation GetConfigFileName(const TConfigEnvironment& env) {
    TConfigLocation loc;
    std::string folder;
    if (!env.ConfigFolderOption.empty()) {
        folder = env.ConfigFolderOption;
        loc.LogLine = "Config folder set via command line: \"" + folder + "\"";
    } else if (!env.MachineConfigFile.empty()) {
        TIniFile machine(env.MachineConfigFile);
        std::string v = machine.ReadString("", "configfolder");
        if (v.empty()) v = machine.ReadString("Quarzel", "configfolder");
        if (!v.empty()) {
            folder = v;
            loc.LogLine = "Config folder set in " + env.MachineConfigFile + ", configfolder: \"" +
                          folder + "\"";
        }
    }
    if (!folder.empty()) {
        if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
        if (EnsureFolder(folder)) {
            loc.FileName = (folder == "/" ? std::string() : folder) + "/Quarzel3.ini";
            loc.Portable = true;
            return loc;
        }
    }
    const std::string& prog = env.ProgramPath;
    const size_t slash = prog.find_last_of('/');
    if (slash != std::string::npos) {
        const std::string beside = prog.substr(0, slash + 1);
        if (::access((beside + "Quarzel3.ini").c_str(), F_OK) == 0 ||
            ::access((beside + kPortableMarkerName).c_str(), F_OK) == 0) {
            loc.FileName = beside + "Quarzel3.ini";
            loc.Portable = true;
            loc.LogLine = "Portable settings beside the program";
            return loc;
        }
    }
    EnsureFolder(env.UserDataFolder);
    loc.FileName = env.UserDataFolder + "/Quarzel3.ini";
    loc.Portable = false;
    return loc;
}

} // namespace qz

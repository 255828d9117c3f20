#include "base/debuglog.h"

#include "base/text.h"

#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>

namespace qz {

namespace {
std::mutex gLogLock;
std::atomic<bool> gEnabled{false};
std::string gFolder;
std::string gFile;

std::string StampNow(const char* fmt) {
    time_t t = time(nullptr);
    struct tm lt {};
    localtime_r(&t, &lt);
    char buf[32];
    strftime(buf, sizeof buf, fmt, &lt);
    return buf;
}
} // namespace

void EnableDebugLog(const std::string& folder) {
    std::lock_guard<std::mutex> g(gLogLock);
    gFolder = folder;
    if (gFile.empty()) gFile = "quarzellog" + StampNow("%Y%m%d%H%M%S") + ".log";
    gEnabled = true;
}

void DisableDebugLog() {
    gEnabled = false;
}

bool DebugLogEnabled() {
    return gEnabled;
}

std::string DebugLogPath() {
    std::lock_guard<std::mutex> g(gLogLock);
    if (!gEnabled) return {};
    return gFolder + "/" + gFile;
}

void DebugLog(std::string_view message, int level) {
    if (!gEnabled) return;
    std::lock_guard<std::mutex> g(gLogLock);
    std::string path = gFolder + "/" + gFile;
    FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) {
        std::error_code ec;
        std::filesystem::create_directories(gFolder, ec);
        f = std::fopen(path.c_str(), "ab");
        if (!f) return;
    }
    std::string line = StampNow("%Y%m%d %H%M%S") + " L" + std::to_string(level) + " ";
    line.append(message);
    line.push_back('\n');
    std::fwrite(line.data(), 1, line.size(), f);
    std::fclose(f);
}

void DebugLog(std::u16string_view message, int level) {
    if (!gEnabled) return;
    DebugLog(std::string_view(Utf16ToUtf8(message)), level);
}

} // namespace qz

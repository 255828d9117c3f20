#include "tests/app/program.h"

#include "tests/support/testsupport.h"

#include <filesystem>

namespace qz::test {

const std::string kQuarzel = std::string(QZ_BINARY_DIR) + "/app/quarzel";

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Result Quarzel(const std::vector<std::string>& args, const std::string& dir,
               const std::string& shellTail) {
    TempDir errDir;
    // Without a display: headless runs must not need one, and a run that would open the window
    // says that it cannot. The messages are English unless a test stores another language:
    // the tester's own locale does not choose them.
    std::string cmd = "cd " + Quote(dir) +
                      " && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u LC_ALL "
                      "LC_MESSAGES=C " +
                      Quote(kQuarzel);
    for (const std::string& a : args) cmd += " " + Quote(a);
    cmd += " 2>" + Quote(errDir / "err");
    if (!shellTail.empty()) cmd += " " + shellTail;
    Result r;
    r.code = Run(cmd, &r.out);
    auto e = ReadFileBytes(errDir / "err");
    r.err.assign(e.begin(), e.end());
    return r;
}

std::vector<std::vector<std::string>> ReadCsv(const std::string& path) {
    auto b = ReadFileBytes(path);
    std::string t(b.begin(), b.end());
    if (t.rfind("\xEF\xBB\xBF", 0) == 0) t.erase(0, 3);
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (size_t i = 0; i < t.size(); ++i) {
        char c = t[i];
        if (quoted) {
            if (c == '"' && i + 1 < t.size() && t[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ++i;
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else {
            field += c;
        }
    }
    if (!field.empty() || !rows.back().empty()) rows.back().push_back(field);
    if (rows.back().empty()) rows.pop_back();
    return rows;
}

void WriteSized(const std::string& path, size_t n) {
    std::string data(n, 'q');
    WriteFileBytes(path, data.data(), data.size());
}

void MakeTree(const std::string& root) {
    namespace fs = std::filesystem;
    fs::create_directories(root + "/docs/old");
    fs::create_directories(root + "/media/empty");
    fs::create_directories(root + "/Fotos \xC3\xBC");
    WriteSized(root + "/docs/readme.txt", 1234);
    WriteSized(root + "/docs/old/notes, \"draft\".txt", 50000);
    WriteSized(root + "/docs/zero.bin", 0);
    WriteSized(root + "/media/clip.mp4", 300000);
    WriteSized(root + "/Fotos \xC3\xBC/bild.jpg", 7000);
    WriteSized(root + "/top", 42);
}

bool MakeNtfsImage(const std::string& path, const char* size) {
    return Run(std::string("truncate -s ") + size + " " + Quote(path) + " && mkntfs -q -F -f " +
               Quote(path) + " >/dev/null 2>&1") == 0;
}

} // namespace qz::test

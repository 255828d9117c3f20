// The desktop integration written into a temporary XDG home: the files validate with the
// desktop's own tools, every command starts the program on the folder asked for (run for real
// with a stand-in program), captions the user changed survive, a moved program is re-pointed,
// other Thunar actions are kept, and removal leaves nothing of ours behind.
#include "app/desktopintegration.h"
#include "tests/app/program.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

std::string ReadText(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteText(const std::string& p, const std::string& t) {
    fs::create_directories(fs::path(p).parent_path());
    std::ofstream(p, std::ios::binary) << t;
}

std::string KeyValue(const std::string& text, const std::string& key) {
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return {};
}

// A stand-in for the program that writes its arguments, one a line, to args.txt beside it.
std::string MakeStandIn(const std::string& folder) {
    fs::create_directories(folder);
    const std::string program = folder + "/quarzel";
    WriteText(program, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$(dirname "
                       "\"$0\")/args.txt\"\n");
    ::chmod(program.c_str(), 0755);
    return program;
}

// Replaces the first occurrence of what in text.
std::string Replace(std::string text, const std::string& what, const std::string& with) {
    const size_t at = text.find(what);
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

std::string XmlUnescape(std::string s) {
    for (auto [from, to] :
         {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}})
        for (size_t at; (at = s.find(from)) != std::string::npos;) s.replace(at, strlen(from), to);
    return s;
}

// Every file below root that mentions quarzel in its name or content.
std::vector<std::string> FilesMentioningUs(const std::string& root) {
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        std::string name = e.path().filename().string(), text = ReadText(e.path());
        for (std::string* s : {&name, &text})
            for (char& c : *s) c = char(tolower(static_cast<unsigned char>(c)));
        if (name.find("quarzel") != std::string::npos || text.find("quarzel") != std::string::npos)
            found.push_back(e.path());
    }
    return found;
}

class DesktopIntegration : public ::testing::Test {
protected:
    TempDir tmp;
    TIntegrationPlaces places{tmp / "home/.local/share", tmp / "home/.config"};
    // A path with a blank, a quote and a dollar: every file's quoting is exercised.
    std::string program = MakeStandIn(tmp / "my app's $dir");
    std::string folder = tmp / "a folder";

    void SetUp() override { fs::create_directories(folder); }
    std::string Args() { return ReadText(tmp / "my app's $dir/args.txt"); }
    int Sh(const std::string& command) {
        return qz::test::Run("cd " + Quote(folder) + " && " + command);
    }
};

} // namespace

TEST_F(DesktopIntegration, FilesValidateAndEveryCommandStartsTheProgramOnTheFolder) {
    std::string error;
    ASSERT_TRUE(RegisterExplorerIntegration(true, program, places, &error)) << error;
    for (const std::string& f : IntegrationFiles(places)) EXPECT_TRUE(fs::exists(f)) << f;
    const std::string data = places.DataHome;

    if (HaveProgram("desktop-file-validate")) {
        std::string out;
        EXPECT_EQ(qz::test::Run("desktop-file-validate " +
                                    Quote(data + "/applications/quarzel.desktop") + " 2>&1",
                                &out),
                  0)
            << out;
    } else {
        ADD_FAILURE() << "desktop-file-validate is missing (scripts/deps.sh installs it)";
    }
    // update-mime-database ran: the type is known by its glob and its magic.
    ASSERT_TRUE(HaveProgram("update-mime-database"));
    EXPECT_NE(ReadText(data + "/mime/globs2").find("application/x-quarzel-mft:*.mft"),
              std::string::npos);
    EXPECT_NE(ReadText(data + "/mime/magic").find("FILE0"), std::string::npos);
    EXPECT_EQ(ReadText(data + "/icons/hicolor/scalable/apps/quarzel.svg").rfind("<?xml", 0), 0u);

    // Desktop entry: Exec unquoted by the desktop-entry rules (here: the key file's escapes,
    // then one shell-like word), %f given the file.
    const std::string entry = ReadText(data + "/applications/quarzel.desktop");
    EXPECT_NE(entry.find("MimeType=application/x-quarzel-mft;"), std::string::npos);
    std::string exec = KeyValue(entry, "Exec");
    for (size_t at; (at = exec.find("\\\\")) != std::string::npos;) exec.replace(at, 2, "\\");
    ASSERT_EQ(Sh(Replace(exec, "%f", Quote(folder))), 0) << exec;
    EXPECT_EQ(Args(), folder + "\n");

    // GNOME Files: the script with the selection as arguments, or with none in the folder.
    const std::string script = data + "/nautilus/scripts/Quarzel";
    ASSERT_EQ(Sh(Quote(script) + " " + Quote(folder)), 0);
    EXPECT_EQ(Args(), folder + "\n");
    ASSERT_EQ(Sh(Quote(script)), 0);
    EXPECT_EQ(Args(), fs::canonical(folder).string() + "\n");

    // Dolphin: an executable service menu for folders.
    const std::string dolphin = ReadText(data + "/kio/servicemenus/quarzel.desktop");
    EXPECT_NE(dolphin.find("MimeType=inode/directory;"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat((data + "/kio/servicemenus/quarzel.desktop").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_EQ(KeyValue(dolphin, "Exec"), KeyValue(entry, "Exec"));

    // Nemo: Exec is split like a shell line after %F / %P are replaced by quoted paths.
    for (const char* file : {"quarzel.nemo_action", "quarzel-background.nemo_action"}) {
        const std::string action = ReadText(data + "/nemo/actions/" + file);
        std::string line = KeyValue(action, "Exec");
        for (size_t at; (at = line.find("\\\\")) != std::string::npos;) line.replace(at, 2, "\\");
        line = Replace(Replace(line, "%F", Quote(folder)), "%P", Quote(folder));
        ASSERT_EQ(Sh(line), 0) << file << ": " << line;
        EXPECT_EQ(Args(), folder + "\n") << file;
    }

    // Thunar: the command (XML text) with %f replaced by the quoted path, run by a shell.
    const std::string uca = ReadText(places.ConfigHome + "/Thunar/uca.xml");
    const size_t a = uca.find("<command>"), b = uca.find("</command>");
    ASSERT_NE(a, std::string::npos);
    const std::string command = XmlUnescape(uca.substr(a + 9, b - a - 9));
    ASSERT_EQ(Sh(Replace(command, "%f", Quote(folder))), 0) << command;
    EXPECT_EQ(Args(), folder + "\n");

    // Removal leaves nothing that names us (the MIME database is rebuilt without the type).
    ASSERT_TRUE(RegisterExplorerIntegration(false, program, places, &error)) << error;
    for (const std::string& f : IntegrationFiles(places)) EXPECT_FALSE(fs::exists(f)) << f;
    EXPECT_EQ(FilesMentioningUs(tmp / "home"), std::vector<std::string>());
    // Removing again is no error.
    EXPECT_TRUE(RegisterExplorerIntegration(false, program, places, &error)) << error;
}

TEST_F(DesktopIntegration, UserCaptionsAndOtherThunarActionsSurviveAMovedProgramIsRepointed) {
    const std::string userAction = "<action>\n\t<icon>utilities-terminal</icon>\n\t<name>Open "
                                   "Terminal Here</name>\n\t<unique-id>1-1</unique-id>\n\t"
                                   "<command>exo-open --launch TerminalEmulator</command>\n"
                                   "</action>\n";
    const std::string uca = places.ConfigHome + "/Thunar/uca.xml";
    WriteText(uca, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" + userAction +
                       "</actions>\n");
    ASSERT_TRUE(RegisterExplorerIntegration(true, program, places));
    const std::string dolphinFile = places.DataHome + "/kio/servicemenus/quarzel.desktop";
    const std::string nemoFile = places.DataHome + "/nemo/actions/quarzel.nemo_action";
    WriteText(dolphinFile, Replace(ReadText(dolphinFile), "Name=Quar&zel", "Name=Disk usage"));
    WriteText(nemoFile, Replace(ReadText(nemoFile), "Name=Quarzel", "Name=Space"));

    // The program moved: registering again points every command at the new place.
    const std::string moved = MakeStandIn(tmp / "moved");
    ASSERT_TRUE(RegisterExplorerIntegration(true, moved, places));
    for (const std::string& f : IntegrationFiles(places)) {
        const std::string text = ReadText(f);
        EXPECT_EQ(text.find("$dir"), std::string::npos) << f;
        if (f.find(".svg") == std::string::npos && f.find(".xml") == std::string::npos) {
            EXPECT_NE(text.find(tmp / "moved"), std::string::npos) << f;
        }
    }
    EXPECT_NE(ReadText(uca).find(tmp / "moved"), std::string::npos);
    EXPECT_EQ(KeyValue(ReadText(dolphinFile), "Name"), "Disk usage");
    EXPECT_EQ(KeyValue(ReadText(nemoFile), "Name"), "Space");
    const std::string both = ReadText(uca);
    EXPECT_NE(both.find(userAction), std::string::npos);
    EXPECT_EQ(both.find("<unique-id>quarzel-scan-folder"),
              both.rfind("<unique-id>quarzel-scan-folder")); // one action of ours

    ASSERT_TRUE(RegisterExplorerIntegration(false, moved, places));
    EXPECT_EQ(ReadText(uca), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n" +
                                 userAction + "</actions>\n");
}

TEST_F(DesktopIntegration, AFileInTheWayIsReportedByName) {
    // A folder where the desktop entry goes cannot be replaced.
    fs::create_directories(places.DataHome + "/applications/quarzel.desktop");
    std::string error;
    EXPECT_FALSE(RegisterExplorerIntegration(true, program, places, &error));
    EXPECT_NE(error.find("quarzel.desktop"), std::string::npos) << error;
    // The other entries are still written.
    EXPECT_TRUE(fs::exists(places.DataHome + "/nautilus/scripts/Quarzel"));
}

TEST(DesktopExec, QuotingFollowsTheDesktopEntryRules) {
    struct Case {
        const char* Path;
        const char* Exec;
    };
    for (const Case& c : {Case{"/usr/bin/quarzel", "/usr/bin/quarzel"},
                          Case{"/opt/my app/quarzel", "\"/opt/my app/quarzel\""},
                          Case{"/opt/100%/quarzel", "/opt/100%%/quarzel"},
                          Case{"/opt/$x/quarzel", "\"/opt/\\\\$x/quarzel\""},
                          Case{"/opt/a\\b/quarzel", "\"/opt/a\\\\\\\\b/quarzel\""}})
        EXPECT_EQ(DesktopExecProgram(c.Path), c.Exec) << c.Path;
    EXPECT_EQ(ShellQuote("it's"), "'it'\\''s'");
}

TEST(DesktopIntegrationProgram, InstallAndUninstallFromTheCommandLine) {
    TempDir tmp;
    const std::string env = "HOME=" + Quote(tmp / "home") +
                            " XDG_DATA_HOME=" + Quote(tmp / "data") +
                            " XDG_CONFIG_HOME=" + Quote(tmp / "config") + " ";
    ASSERT_EQ(qz::test::Run(env + Quote(kQuarzel) + " -install"), 0);
    const std::string entry = ReadText(tmp / "data/applications/quarzel.desktop");
    EXPECT_NE(entry.find("Exec=" + fs::canonical(kQuarzel).string() + " %f"), std::string::npos)
        << entry;
    EXPECT_TRUE(fs::exists(tmp / "config/Thunar/uca.xml"));
    ASSERT_EQ(qz::test::Run(env + Quote(kQuarzel) + " -uninstall"), 0);
    EXPECT_EQ(FilesMentioningUs(tmp.path()), std::vector<std::string>());
}

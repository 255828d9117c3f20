// The settings file: storage, encoded texts, defaults and fall-backs of the keys, the file
// never lost (damaged, unreadable, headless), its location, and the presence lock.
#include "app/configfile.h"
#include "app/inifile.h"
#include "app/presence.h"
#include "app/settings.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {
std::string ReadText(const std::string& p) {
    auto b = ReadFileBytes(p);
    return std::string(b.begin(), b.end());
}
void WriteText(const std::string& p, const std::string& t) {
    WriteFileBytes(p, t.data(), t.size());
}
} // namespace

TEST(IniFile, ReadsWritesAndKeepsWhatItDoesNotKnow) {
    TempDir tmp;
    const std::string path = tmp / "Quarzel3.ini";
    WriteText(
        path,
        "; kept comment\r\n[frmQuarzelMain]\r\nMaxFiles= 100\r\nLanguage=de\r\nmaxfiles=5\r\n\r\n"
        "[Other]\r\nx=  spaced value\r\n");
    {
        TIniFile ini(path);
        EXPECT_EQ(ini.LoadState(), TIniFile::TLoadState::Loaded);
        EXPECT_EQ(ini.ReadInteger("FRMQUARZELMAIN", "maxfiles", 0), 100); // first occurrence
        EXPECT_EQ(ini.ReadString("frmquarzelmain", "LANGUAGE"), "de");
        EXPECT_EQ(ini.ReadString("other", "x"), "  spaced value");
        EXPECT_EQ(ini.ReadString("other", "missing", "def"), "def");
        EXPECT_EQ(ini.ReadInteger("other", "x", 7), 7); // not a number
        ini.WriteBool("Other", "flag", true);
        ini.WriteString("New", "multi", "a\nb");
        ini.DeleteKey("frmQuarzelMain", "language");
        ASSERT_TRUE(ini.UpdateFile());
    }
    TIniFile again(path);
    EXPECT_EQ(again.ReadString("Other", "flag"), "TRUE");
    EXPECT_TRUE(again.ReadBool("Other", "flag", false));
    EXPECT_EQ(again.ReadString("New", "multi"), "a b"); // one line per value
    EXPECT_FALSE(again.ValueExists("frmQuarzelMain", "language"));
    EXPECT_NE(ReadText(path).find("; kept comment"), std::string::npos);
    // Nothing but the file itself is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(tmp.path()), fs::directory_iterator()), 1);
}

TEST(IniFile, BooleansAndIntegers) {
    TIniFile ini;
    ASSERT_TRUE(ini.SetText(
        "[s]\na=TRUE\nb=yes\nc=Y\nd=1\ne=FALSE\nf=no\ng=n\nh=0\ni=maybe\nn1= -12 \nn2=1e3\n"));
    for (const char* k : {"a", "b", "c", "d"}) EXPECT_TRUE(ini.ReadBool("s", k, false)) << k;
    for (const char* k : {"e", "f", "g", "h"}) EXPECT_FALSE(ini.ReadBool("s", k, true)) << k;
    EXPECT_TRUE(ini.ReadBool("s", "i", true));
    EXPECT_FALSE(ini.ReadBool("s", "i", false));
    int v = 99;
    EXPECT_TRUE(ini.TryReadInteger("s", "n1", v));
    EXPECT_EQ(v, -12);
    EXPECT_FALSE(ini.TryReadInteger("s", "n2", v));
    EXPECT_FALSE(ini.TryReadInteger("s", "none", v));
}

TEST(IniFile, DamagedLinesAreLeftOutTheRestIsReadAndTheFileKept) {
    TempDir tmp;
    const std::string path = tmp / "Quarzel3.ini";
    // The file ends cut off in the middle of "fontheight4=12".
    const char raw[] =
        "[frmQuarzelMain]\ndecimalplaces=3\n\x01\x02 binary junk\0more\nFormWidth=800\n"
        "[history\nnumitems=1\nsearch1=*.iso\nno equals sign here\nfontheight4=1";
    const std::string junk(raw, sizeof raw - 1);
    WriteText(path, junk);
    TIniFile ini(path);
    EXPECT_EQ(ini.LoadState(), TIniFile::TLoadState::Damaged);
    EXPECT_EQ(ini.BadLines(), 3);
    EXPECT_EQ(ini.FirstBadLine(), 3);
    std::vector<std::string> warnings;
    const TMainSettings s = LoadMainSettings(ini, false, &warnings);
    EXPECT_EQ(s.DecimalPlaces, 3); // what is sound is read
    EXPECT_EQ(s.FormWidth, 800);
    EXPECT_EQ(s.FontHeight, 12); // a value cut off mid-line that makes no sense: default
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[0].find("3 damaged line(s)"), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[1].find("fontheight4=1"), std::string::npos) << warnings[1];
    // Nothing is written until the settings are saved; then the damaged file is kept aside.
    EXPECT_EQ(ReadText(path), junk);
    ini.WriteInteger("frmQuarzelMain", "decimalplaces", 2);
    ASSERT_TRUE(ini.UpdateFile());
    EXPECT_EQ(ReadText(path + ".corrupt"), junk); // the user's bytes survive
    TIniFile again(path);
    EXPECT_EQ(again.LoadState(), TIniFile::TLoadState::Loaded);
    EXPECT_EQ(again.ReadInteger("frmQuarzelMain", "decimalplaces", 0), 2);
}

TEST(Settings, UnusableValuesGiveTheirDefaultsWithAWarning) {
    struct Case {
        const char* Line;
        bool Warned;
    };
    const Case cases[] = {
        {"FormWidth=99999999999", true}, {"FormWidth=-5", true},          {"FormHeight=abc", true},
        {"fontheight4=9000", true},      {"panTreemap_Height=1e9", true}, {"color3=16777216", true},
        {"decimalplaces=9", true},       {"FormWidth=1200", false},       {"fontheight4=20", false},
    };
    const TMainSettings defaults;
    for (const Case& c : cases) {
        TIniFile ini;
        ini.SetText(std::string("[frmQuarzelMain]\n") + c.Line);
        std::vector<std::string> warnings;
        const TMainSettings s = LoadMainSettings(ini, false, &warnings);
        EXPECT_EQ(warnings.size(), c.Warned ? 1u : 0u) << c.Line;
        if (c.Warned) {
            EXPECT_EQ(s.FormWidth, defaults.FormWidth) << c.Line;
            EXPECT_EQ(s.FormHeight, defaults.FormHeight) << c.Line;
            EXPECT_EQ(s.FontHeight, defaults.FontHeight) << c.Line;
            EXPECT_EQ(s.TreemapPanelHeight, defaults.TreemapPanelHeight) << c.Line;
            EXPECT_EQ(s.Palette, defaults.Palette) << c.Line;
            EXPECT_EQ(s.DecimalPlaces, defaults.DecimalPlaces) << c.Line;
        }
    }
    // A huge history count reads a bounded number of entries.
    TIniFile ini;
    ini.SetText("[history]\nnumitems=2000000000\nsearch1=a\n");
    EXPECT_LE(LoadMainSettings(ini, false).SearchHistory.size(), 1000u);
}

TEST(IniFile, UnreadableFileIsNeverWritten) {
    TempDir tmp;
    const std::string path = tmp / "Quarzel3.ini";
    fs::create_directory(path); // opens, but cannot be read as a file (root reads anything else)
    TIniFile ini(path);
    EXPECT_EQ(ini.LoadState(), TIniFile::TLoadState::Unreadable);
    EXPECT_TRUE(ini.ReadOnly());
    ini.WriteString("a", "b", "c");
    EXPECT_TRUE(ini.UpdateFile());
    EXPECT_TRUE(fs::is_directory(path));
}

TEST(IniFile, ManyKeysRepeatedKeysAndSections) {
    // A big file (as a long history makes) reads in linear time; which occurrence holds does
    // not change with the size.
    std::string text = "[history]\n";
    for (int i = 0; i < 80000; ++i)
        text += "search" + std::to_string(i) + "=v" + std::to_string(i) + "\n";
    text += "SEARCH5=later\n[Other]\nk=1\n[HISTORY]\nsearch7=later\nextra=x\n";
    TIniFile ini;
    ASSERT_TRUE(ini.SetText(text));
    EXPECT_EQ(ini.ReadString("history", "search79999"), "v79999");
    EXPECT_EQ(ini.ReadString("History", "Search5"), "v5"); // the first occurrence holds
    EXPECT_EQ(ini.ReadString("history", "search7"), "v7"); // also across a repeated section
    EXPECT_EQ(ini.ReadString("history", "extra"), "x");    // which continues the first one
    EXPECT_EQ(ini.ReadSectionKeys("history").size(), 80001u);
    EXPECT_EQ(ini.Sections(), (std::vector<std::string>{"history", "Other"}));
    ini.DeleteKey("history", "search3");
    ini.WriteString("history", "SEARCH4", "changed");
    ini.WriteString("history", "search3", "back");
    EXPECT_EQ(ini.ReadString("history", "search4"), "changed");
    EXPECT_EQ(ini.ReadString("history", "search79999"), "v79999");
    EXPECT_EQ(ini.ReadSectionKeys("history").back(), "search3"); // written anew at the end
    ini.EraseSection("HISTORY");
    EXPECT_FALSE(ini.SectionExists("history"));
    EXPECT_EQ(ini.ReadString("other", "k"), "1");
}

TEST(IniFile, OnlyARegularFileIsRead) {
    TempDir tmp;
    const std::string fifo = tmp / "Quarzel3.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Reading a pipe would wait for a writer; it is passed over as unreadable instead.
    TIniFile ini(fifo);
    EXPECT_EQ(ini.LoadState(), TIniFile::TLoadState::Unreadable);
    EXPECT_EQ(ini.LoadError(), "not a regular file");
    EXPECT_TRUE(ini.ReadOnly());
    EXPECT_FALSE(StripIniBOM(fifo));
    EXPECT_EQ(TIniFile("/dev/zero").LoadState(), TIniFile::TLoadState::Unreadable);
}

TEST(IniFile, FailedWriteKeepsTheOldFile) {
    TempDir tmp;
    const std::string dir = tmp / "ro";
    fs::create_directory(dir);
    const std::string path = dir + "/Quarzel3.ini";
    WriteText(path, "[s]\nk=old\n");
    TIniFile ini(path);
    ini.WriteString("s", "k", "new");
    fs::remove(path);
    fs::create_directory(path); // the rename over it must fail
    std::string error;
    EXPECT_FALSE(ini.UpdateFile(&error));
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_EQ(ini.ReadString("s", "k"), "new"); // still in memory
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()),
              1); // no temp left
}

TEST(IniFile, StripIniBOM) {
    TempDir tmp;
    const std::string path = tmp / "a.ini";
    WriteText(path, "\xEF\xBB\xBF[s]\nk=v\n");
    EXPECT_TRUE(StripIniBOM(path));
    EXPECT_EQ(ReadText(path), "[s]\nk=v\n");
    EXPECT_FALSE(StripIniBOM(path));
    WriteText(path, "\xEF\xBB"); // two bytes: left alone
    EXPECT_FALSE(StripIniBOM(path));
    EXPECT_EQ(ReadText(path).size(), 2u);
    EXPECT_FALSE(StripIniBOM(tmp / "missing.ini"));
}

TEST(IniText, EncodedFormRoundTrips) {
    EXPECT_EQ(EncodeIniText("*.tmp|>1G"), "*.tmp|>1G");
    const std::string u = "Fotos \xC3\xBC\xE2\x82\xAC";
    EXPECT_EQ(EncodeIniText(u), "{UTF8}:466f746f7320c3bce282ac");
    EXPECT_EQ(DecodeIniText(EncodeIniText(u)), u);
    EXPECT_EQ(DecodeIniText("{UTF8}:41zz42"), std::string("A\0B", 3)); // a bad pair gives byte 0
    EXPECT_EQ(DecodeIniText("plain {UTF8}:41"), "plain {UTF8}:41");

    TempDir tmp;
    TMainSettings s;
    s.FilterIncludeText = u;
    s.SearchHistory = {"first", u};
    TIniFile ini(tmp / "q.ini");
    SaveMainSettings(ini, s);
    ASSERT_TRUE(ini.UpdateFile());
    TMainSettings r = LoadMainSettings(TIniFile(tmp / "q.ini"), false);
    EXPECT_EQ(r.FilterIncludeText, u);
    EXPECT_EQ(r.SearchHistory, s.SearchHistory);
}

TEST(MainSettings, DefaultsAndFallbacks) {
    TMainSettings d = LoadMainSettings(TIniFile(), false);
    EXPECT_EQ(d.MaxFiles, 1000);
    EXPECT_EQ(d.DupMethod, 2);
    EXPECT_EQ(d.DecimalPlaces, 1);
    EXPECT_EQ(d.FileNodeMinGroupSize, 4);
    EXPECT_TRUE(d.ShowMaxModifiedDate);
    EXPECT_FALSE(d.FullScanNTFSIfPossible);
    EXPECT_TRUE(d.RunAsAdmin);
    EXPECT_FALSE(LoadMainSettings(TIniFile(), true).RunAsAdmin); // portable
    EXPECT_EQ(d.Palette, DefaultPalette());
    EXPECT_EQ(d.FileExtensions, DefaultFileExtensions());

    // Treemap extension slots are UTF-8 text; a slot that is not stored keeps its default.
    TIniFile ext;
    ASSERT_TRUE(ext.SetText("[frmQuarzelMain]\ntmfileextensions2=mkv,b\xC3\xBCld\n"));
    const TMainSettings e = LoadMainSettings(ext, false);
    EXPECT_EQ(e.FileExtensions[1], u"mkv,b\u00FCld");
    EXPECT_EQ(e.FileExtensions[0], DefaultFileExtensions()[0]);

    struct {
        const char* text;
        int maxfiles, dupmethod, decimals, treeSort;
    } cases[] = {
        {"maxfiles=abc\ndupmethod=x\ndecimalplaces=9\nvst_header_SortColumn=4", 0, 0, 1, -1},
        {"maxfiles=500\ndupmethod=3\ndecimalplaces=-1\nvst_header_SortColumn=8", 1000, 0, 1, 8},
        {"maxfiles=100000\ndupmethod=1\ndecimalplaces=4\nvst_header_SortColumn=2", 100000, 1, 4, 2},
    };
    for (auto& c : cases) {
        TIniFile ini;
        ASSERT_TRUE(ini.SetText(std::string("[frmQuarzelMain]\n") + c.text));
        TMainSettings s = LoadMainSettings(ini, false);
        EXPECT_EQ(s.MaxFiles, c.maxfiles) << c.text;
        EXPECT_EQ(s.DupMethod, c.dupmethod) << c.text;
        EXPECT_EQ(s.DecimalPlaces, c.decimals) << c.text;
        EXPECT_EQ(s.TreeSortColumn, c.treeSort) << c.text;
    }
}

TEST(MainSettings, SaveWritesTheStoredForms) {
    TIniFile ini;
    ASSERT_TRUE(ini.SetText("[frmQuarzelMain]\nvst_header_SortColumn=4\nfontsize=9\ncolor12=255\n"
                            "[history]\nsearch7=stale\n"));
    TMainSettings s = LoadMainSettings(ini, false);
    s.SearchHistory = {"a", "b"};
    s.DisplayUnit = TDisplayUnit::GB;
    SaveMainSettings(ini, s);
    EXPECT_FALSE(ini.ValueExists("frmQuarzelMain", "vst_header_SortColumn")); // 4 is not kept
    EXPECT_FALSE(ini.ValueExists("frmQuarzelMain", "fontsize"));
    EXPECT_EQ(ini.ReadString("history", "numitems"), "2");
    EXPECT_EQ(ini.ReadString("history", "search2"), "b");
    EXPECT_FALSE(ini.ValueExists("history", "search7")); // the section is rewritten
    EXPECT_EQ(ini.ReadString("frmQuarzelMain", "actDisplayGB_Checked"), "TRUE");
    EXPECT_EQ(ini.ReadString("frmQuarzelMain", "actDisplayDynamic_Checked"), "FALSE");
    EXPECT_EQ(ini.ReadString("frmQuarzelMain", "enabledragdrop"), "1");
    EXPECT_TRUE(ini.ValueExists("frmQuarzelMain", "color11"));
    EXPECT_EQ(ini.ReadString("frmQuarzelMain", "color12"), "255"); // read, never written
    EXPECT_EQ(LoadMainSettings(ini, false).Palette[12], FromSettingsColor(255));
    EXPECT_EQ(LoadMainSettings(ini, false).DisplayUnit, TDisplayUnit::GB);
}

TEST(SettingsStore, HeadlessNeverWritesTheFile) {
    TempDir tmp;
    const std::string path = tmp / "Quarzel3.ini";
    const std::string before = "[frmQuarzelMain]\ndecimalplaces=3\n";
    WriteText(path, before);
    TSettingsStore store(path, true, true);
    TMainSettings s = store.Load();
    EXPECT_EQ(s.DecimalPlaces, 3);
    s.DecimalPlaces = 2;
    EXPECT_TRUE(store.Save(s));
    EXPECT_TRUE(store.SaveSettingsNow());
    EXPECT_EQ(ReadText(path), before);

    TSettingsStore windowed(path, true, false);
    EXPECT_TRUE(windowed.Save(s));
    EXPECT_EQ(TIniFile(path).ReadInteger("frmQuarzelMain", "decimalplaces", 0), 2);
}

TEST(ConfigLocation, ChoosesTheFolderInOrder) {
    TempDir tmp;
    TConfigEnvironment env;
    env.MachineConfigFile = tmp / "none.conf";
    env.ProgramPath = "/usr/bin/quarzel";
    env.UserDataFolder = tmp / "home/.config/Quarzel3";

    TConfigLocation user = GetConfigFileName(env);
    EXPECT_EQ(user.FileName, env.UserDataFolder + "/Quarzel3.ini");
    EXPECT_FALSE(user.Portable);
    EXPECT_TRUE(fs::is_directory(env.UserDataFolder));

    // A program outside /usr (in /opt, in a build folder) is not portable by that alone:
    // beside it the settings often cannot be written.
    fs::create_directories(tmp / "opt/bin");
    env.ProgramPath = tmp / "opt/bin/quarzel";
    EXPECT_EQ(GetConfigFileName(env).FileName, env.UserDataFolder + "/Quarzel3.ini");
    // A marker beside it makes it portable: its settings file, or a Quarzel3.portable.
    for (const char* marker : {"Quarzel3.ini", "Quarzel3.portable"}) {
        WriteText(tmp / "opt/bin/" + marker, "");
        TConfigLocation beside = GetConfigFileName(env);
        EXPECT_EQ(beside.FileName, tmp / "opt/bin/Quarzel3.ini") << marker;
        EXPECT_TRUE(beside.Portable);
        fs::remove(tmp / "opt/bin/" + marker);
    }
    WriteText(tmp / "opt/bin/Quarzel3.portable", "");

    WriteText(env.MachineConfigFile, "configfolder=" + tmp / "machine/\n");
    TConfigLocation machine = GetConfigFileName(env);
    EXPECT_EQ(machine.FileName, tmp / "machine/Quarzel3.ini");
    EXPECT_TRUE(machine.Portable);
    EXPECT_NE(machine.LogLine.find(env.MachineConfigFile), std::string::npos);

    env.ConfigFolderOption = tmp / "cli/a/b";
    TConfigLocation cli = GetConfigFileName(env);
    EXPECT_EQ(cli.FileName, tmp / "cli/a/b/Quarzel3.ini");
    EXPECT_TRUE(fs::is_directory(tmp / "cli/a/b"));
    EXPECT_EQ(cli.LogLine, "Config folder set via command line: \"" + tmp / "cli/a/b" + "\"");

    // A given folder that cannot be made is passed over (to the program's folder, not to
    // the machine-wide choice).
    WriteText(tmp / "file", "x");
    env.ConfigFolderOption = tmp / "file/sub";
    EXPECT_EQ(GetConfigFileName(env).FileName, tmp / "opt/bin/Quarzel3.ini");
}

TEST(PresenceLock, MarksARunningInstance) {
    TempDir tmp;
    const std::string path = tmp / "QuarzelMutex";
    EXPECT_FALSE(InstanceRunning(path));
    {
        TPresenceLock a(path);
        TPresenceLock b(path); // a second instance is not refused
        EXPECT_TRUE(a.Held());
        EXPECT_TRUE(b.Held());
        EXPECT_TRUE(InstanceRunning(path));
    }
    EXPECT_FALSE(InstanceRunning(path));
}

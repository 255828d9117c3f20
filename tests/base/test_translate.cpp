// The translation function and its catalogues: .mo files made by the real msgfmt, plural
// rules of several languages, damaged files, language switches while other threads translate.
#include "base/mocatalogue.h"
#include "base/translate.h"
#include "tests/support/testsupport.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

const char* kGermanPo = R"(msgid ""
msgstr ""
"Content-Type: text/plain; charset=UTF-8\n"
"Language: de\n"
"Plural-Forms: nplurals=2; plural=(n != 1);\n"

msgid "Scan"
msgstr "Scannen"

msgid "Size"
msgstr "Größe"

msgid "Untranslated"
msgstr ""

msgid "%1 file"
msgid_plural "%1 files"
msgstr[0] "%1 Datei"
msgstr[1] "%1 Dateien"
)";

// A Polish catalogue: three plural forms.
const char* kPolishPo = R"(msgid ""
msgstr ""
"Content-Type: text/plain; charset=UTF-8\n"
"Plural-Forms: nplurals=3; plural=(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);\n"

msgid "file"
msgid_plural "files"
msgstr[0] "plik"
msgstr[1] "pliki"
msgstr[2] "plików"
)";

// Compiles po text with msgfmt into file (extra: further msgfmt options).
void Compile(const std::string& poText, const std::string& file, const std::string& extra = {}) {
    fs::create_directories(fs::path(file).parent_path());
    const std::string po = file + ".po";
    std::ofstream(po) << poText;
    ASSERT_EQ(Run("msgfmt " + extra + " -o '" + file + "' '" + po + "'"), 0);
}

std::string ReadAll(const std::string& file) {
    const std::vector<uint8_t> b = ReadFileBytes(file);
    return std::string(b.begin(), b.end());
}

} // namespace

TEST(PluralRule, FormsOfSeveralLanguages) {
    struct Case {
        const char* Rule;
        uint64_t N;
        int Form;
    };
    const char* polish = "nplurals=3; plural=(n==1 ? 0 : n%10>=2 && n%10<=4 && "
                         "(n%100<10 || n%100>=20) ? 1 : 2);";
    const char* arabic = "nplurals=6; plural=(n==0 ? 0 : n==1 ? 1 : n==2 ? 2 : n%100>=3 && "
                         "n%100<=10 ? 3 : n%100>=11 ? 4 : 5);";
    const char* czech = "nplurals=3; plural=(n==1) ? 0 : (n>=2 && n<=4) ? 1 : 2;";
    const Case cases[] = {
        {"nplurals=2; plural=(n != 1);", 0, 1},
        {"nplurals=2; plural=(n != 1);", 1, 0},
        {"nplurals=2; plural=(n != 1);", 2, 1},
        {"nplurals=2; plural=(n > 1);", 0, 0},
        {"nplurals=2; plural=(n > 1);", 1, 0},
        {"nplurals=2; plural=(n > 1);", 2, 1},
        {"nplurals=1; plural=0;", 7, 0},
        {polish, 1, 0},
        {polish, 3, 1},
        {polish, 5, 2},
        {polish, 12, 2},
        {polish, 22, 1},
        {polish, 112, 2},
        {arabic, 0, 0},
        {arabic, 2, 2},
        {arabic, 105, 3},
        {arabic, 111, 4},
        {arabic, 200, 5},
        {czech, 1, 0},
        {czech, 4, 1},
        {czech, 5, 2},
        {"nplurals=2; plural=!(n == 1);", 1, 0},
        {"nplurals=2;plural=n/0+n%0;", 5, 0},        // division by zero gives 0
        {"nplurals=2; plural=-n+1;", 1, 0},          // unsigned arithmetic
        {"nplurals=2; plural=n*3-1;", 4, 1},         // 11: past the forms -> the last one
        {"nplurals=3; plural=(n<=2)+(n>=2);", 2, 2}, // "<=" is not "<" followed by "="
    };
    for (const Case& c : cases) {
        TPluralRule rule;
        ASSERT_TRUE(rule.Parse(c.Rule)) << c.Rule;
        EXPECT_EQ(rule.FormFor(c.N), c.Form) << c.Rule << " n=" << c.N;
    }
}

TEST(PluralRule, BadRulesKeepTheEnglishRule) {
    const std::string deep =
        "nplurals=2; plural=" + std::string(200, '(') + "n" + std::string(200, ')') + ";";
    std::string longChain = "nplurals=2; plural=n";
    for (int i = 0; i < 300; ++i) longChain += "+n";
    longChain += ";";
    for (const std::string& bad :
         {std::string("nplurals=2; plural=(n != 1;"), std::string("nplurals=2; plural=n ? 1;"),
          std::string("nplurals=0; plural=0;"), std::string("nplurals=x; plural=0;"),
          std::string("plural=n;"), std::string("nplurals=2; plural=n $ 2;"),
          std::string("nplurals=2; plural=99999999999999999999999;"), deep, longChain}) {
        TPluralRule rule;
        EXPECT_FALSE(rule.Parse(bad)) << bad;
        EXPECT_EQ(rule.FormCount(), 2);
        EXPECT_EQ(rule.FormFor(1), 0);
        EXPECT_EQ(rule.FormFor(2), 1);
    }
}

TEST(MoCatalogue, ReadsWhatMsgfmtWritesInBothByteOrders) {
    TempDir tmp;
    for (const char* order : {"little", "big"}) {
        const std::string file = tmp / (std::string(order) + ".mo");
        Compile(kGermanPo, file, std::string("--endianness=") + order);
        TMoCatalogue c;
        std::string error;
        ASSERT_TRUE(c.LoadFile(file, &error)) << order << ": " << error;
        EXPECT_STREQ(c.Find("Scan"), "Scannen");
        EXPECT_STREQ(c.Find("Size"), "Größe");
        EXPECT_EQ(c.Find("Untranslated"), nullptr); // msgfmt leaves it out or empty
        EXPECT_EQ(c.Find("Missing"), nullptr);
        EXPECT_STREQ(c.FindPlural("%1 file", 1), "%1 Datei");
        EXPECT_STREQ(c.FindPlural("%1 file", 0), "%1 Dateien");
        EXPECT_EQ(c.HeaderField("Language"), "de");
    }
    const std::string pl = tmp / "pl.mo";
    Compile(kPolishPo, pl);
    TMoCatalogue c;
    ASSERT_TRUE(c.LoadFile(pl));
    EXPECT_STREQ(c.FindPlural("file", 1), "plik");
    EXPECT_STREQ(c.FindPlural("file", 4), "pliki");
    EXPECT_STREQ(c.FindPlural("file", 14), "plików");
}

TEST(MoCatalogue, DamagedFilesAreRefusedWithoutReadingOutside) {
    TempDir tmp;
    Compile(kGermanPo, tmp / "de.mo");
    const std::string good = ReadAll(tmp / "de.mo");
    ASSERT_GT(good.size(), 28u);
    // Every cut-off copy: either refused or (when only the string area was cut) usable; the
    // sanitizer build sees any read outside the bytes.
    for (size_t len = 0; len < good.size(); ++len) {
        TMoCatalogue c;
        if (c.Load(good.substr(0, len))) (void)c.Find("Scan");
    }
    // Offsets pointing far outside the file.
    std::string bad = good;
    const uint32_t huge = 0x7fffffff;
    std::memcpy(bad.data() + 12, &huge, 4);
    TMoCatalogue c1;
    std::string error;
    EXPECT_FALSE(c1.Load(bad, &error));
    EXPECT_FALSE(error.empty());
    // A string whose length runs past the end.
    bad = good;
    uint32_t table;
    std::memcpy(&table, good.data() + 16, 4);
    std::memcpy(bad.data() + table, &huge, 4);
    TMoCatalogue c2;
    EXPECT_FALSE(c2.Load(bad));
    TMoCatalogue c3;
    EXPECT_FALSE(c3.Load("not a catalogue at all, just text of some length"));
    TMoCatalogue c4;
    EXPECT_FALSE(c4.LoadFile(tmp.path())); // a folder
    EXPECT_FALSE(c4.LoadFile(tmp / "missing.mo"));
}

TEST(Translate, ActivatesCataloguesAndFallsBackToEnglish) {
    TempDir tmp;
    Compile(kGermanPo, tmp / "de/LC_MESSAGES/quarzel.mo");
    fs::create_directories(tmp / "xx/LC_MESSAGES");
    std::ofstream(tmp / "xx/LC_MESSAGES/quarzel.mo") << "damaged";

    ASSERT_TRUE(ActivateLanguage("de", tmp.path()));
    EXPECT_EQ(CurrentLanguage(), "de");
    const char* scan = tr("Scan");
    EXPECT_STREQ(scan, "Scannen");
    EXPECT_STREQ(tr("Not in the catalogue"), "Not in the catalogue");
    EXPECT_STREQ(tr("Untranslated"), "Untranslated");
    EXPECT_STREQ(ntr("%1 file", "%1 files", 7), "%1 Dateien");

    // A regional code uses the language's catalogue.
    ASSERT_TRUE(ActivateLanguage("de_AT", tmp.path()));
    EXPECT_STREQ(tr("Size"), "Größe");
    EXPECT_EQ(CurrentCatalogueFile(), tmp / "de/LC_MESSAGES/quarzel.mo");

    ASSERT_TRUE(ActivateLanguage("en", tmp.path()));
    EXPECT_STREQ(tr("Scan"), "Scan");
    EXPECT_STREQ(ntr("%1 file", "%1 files", 1), "%1 file");
    EXPECT_STREQ(ntr("%1 file", "%1 files", 0), "%1 files");
    EXPECT_STREQ(scan, "Scannen"); // a text handed out earlier stays valid

    // No catalogue, a damaged one, a code that tries to leave the folder: English.
    for (const char* code : {"fr", "xx", "../de", ".."}) {
        EXPECT_FALSE(ActivateLanguage(code, tmp.path())) << code;
        EXPECT_STREQ(tr("Scan"), "Scan") << code;
    }
    ActivateLanguage("en", {});
}

TEST(Translate, LanguageSwitchesWhileOtherThreadsTranslate) {
    TempDir tmp;
    Compile(kGermanPo, tmp / "de/LC_MESSAGES/quarzel.mo");
    std::atomic<bool> stop{false};
    std::atomic<long> bad{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i)
        readers.emplace_back([&] {
            while (!stop.load()) {
                const char* t = tr("Scan");
                if (std::strcmp(t, "Scan") != 0 && std::strcmp(t, "Scannen") != 0) ++bad;
            }
        });
    for (int i = 0; i < 2000; ++i) ActivateLanguage(i % 2 ? "de" : "en", tmp.path());
    stop = true;
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(bad.load(), 0);
    ActivateLanguage("en", {});
}

TEST(Translate, TheBuildsCataloguesCompileAndLoad) {
    // The catalogues the build made from po/ (every language named in po/LINGUAS).
    std::ifstream linguas(std::string(QZ_TESTDATA_DIR) + "/../../po/LINGUAS");
    std::string lang;
    int seen = 0;
    while (linguas >> lang) {
        const std::string file = FindCatalogue(lang, QZ_LOCALE_BUILD_DIR);
        ASSERT_FALSE(file.empty()) << lang;
        TMoCatalogue c;
        std::string error;
        EXPECT_TRUE(c.LoadFile(file, &error)) << lang << ": " << error;
        EXPECT_EQ(c.HeaderField("Language"), lang);
        ++seen;
    }
    EXPECT_GE(seen, 3);
}

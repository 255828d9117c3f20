// Where the catalogues are found and which language a start picks.
#include "app/environment.h"
#include "base/translate.h"
#include "tests/support/testsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

using namespace qz;
using namespace qz::test;
namespace fs = std::filesystem;

namespace {

// Sets the locale variables for one test and puts them back.
class TLocaleEnv {
public:
    explicit TLocaleEnv(const char* lang) {
        for (const char* v : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* old = std::getenv(v);
            FSaved.emplace_back(v, old ? std::optional<std::string>(old) : std::nullopt);
            unsetenv(v);
        }
        if (lang) setenv("LANG", lang, 1);
    }
    ~TLocaleEnv() {
        for (auto& [name, value] : FSaved) value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> FSaved;
};

void AddCatalogue(const std::string& folder, const std::string& code) {
    fs::create_directories(folder + "/" + code + "/LC_MESSAGES");
    std::ofstream(folder + "/" + code + "/LC_MESSAGES/quarzel.mo") << "x";
}

} // namespace

TEST(Language, CataloguesBesideTheProgramElseInTheInstallation) {
    TempDir tmp;
    fs::create_directories(tmp / "opt/bin");
    EXPECT_EQ(LocaleFolderFor(tmp / "opt/bin"), tmp / "opt/share/locale");
    fs::create_directories(tmp / "opt/bin/locale");
    EXPECT_EQ(LocaleFolderFor(tmp / "opt/bin"), tmp / "opt/bin/locale");
}

TEST(Language, DefaultFromTheLocaleAmongTheProgramsCatalogues) {
    TempDir tmp;
    const std::string locale = tmp / "share/locale";
    AddCatalogue(locale, "de");
    AddCatalogue(locale, "zh_CN");
    // Another program's language folder holds no catalogue of ours.
    fs::create_directories(locale + "/fr/LC_MESSAGES");
    struct Case {
        const char* Lang;
        const char* Code;
    };
    for (const Case& c :
         {Case{"de_DE.UTF-8", "de"}, Case{"zh_TW.UTF-8", "zh_CN"}, Case{"fr_FR.UTF-8", "en"},
          Case{"C.UTF-8", "en"}, Case{"C", "en"}, Case{nullptr, "en"}}) {
        TLocaleEnv env(c.Lang);
        EXPECT_EQ(DefaultLanguageCode(locale), c.Code) << (c.Lang ? c.Lang : "(none)");
    }
}

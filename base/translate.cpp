#include "base/translate.h"

#include "base/mocatalogue.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <vector>

namespace qz {

namespace {

struct TLanguage {
    std::string Code;
    std::string File;                        // empty: English
    std::unique_ptr<TMoCatalogue> Catalogue; // null: English
};

// Every language activated so far; entries are never removed, so a text handed out from a
// catalogue stays valid, and the current one is read without a lock.
std::mutex gLanguagesLock;
std::vector<std::unique_ptr<TLanguage>> gLanguages;
std::atomic<const TLanguage*> gCurrent{nullptr};

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsEnglish(const std::string& code) {
    return code.empty() || code == "en" || code.rfind("en_", 0) == 0;
}

} // namespace

std::string FindCatalogue(const std::string& code, const std::string& localeFolder) {
    if (code.empty() || localeFolder.empty() || code.find('/') != std::string::npos ||
        code[0] == '.')
        return {};
    const std::string suffix = std::string("/LC_MESSAGES/") + kTextDomain + ".mo";
    std::string file = localeFolder + "/" + code + suffix;
    if (IsFile(file)) return file;
    const size_t cut = code.find_first_of("_@.");
    if (cut != std::string::npos && cut > 0) {
        file = localeFolder + "/" + code.substr(0, cut) + suffix;
        if (IsFile(file)) return file;
    }
    return {};
}

bool ActivateLanguage(const std::string& code, const std::string& localeFolder) {
    const std::string file = IsEnglish(code) ? std::string() : FindCatalogue(code, localeFolder);
    std::lock_guard lock(gLanguagesLock);
    for (const auto& l : gLanguages)
        if (l->Code == code && l->File == file) {
            gCurrent.store(l.get(), std::memory_order_release);
            return IsEnglish(code) || l->Catalogue != nullptr;
        }
    auto language = std::make_unique<TLanguage>();
    language->Code = code.empty() ? std::string("en") : code;
    if (!file.empty()) {
        auto catalogue = std::make_unique<TMoCatalogue>();
        if (catalogue->LoadFile(file)) {
            language->File = file;
            language->Catalogue = std::move(catalogue);
        }
    }
    const bool ok = IsEnglish(code) || language->Catalogue != nullptr;
    gCurrent.store(language.get(), std::memory_order_release);
    gLanguages.push_back(std::move(language));
    return ok;
}

std::string CurrentLanguage() {
    const TLanguage* l = gCurrent.load(std::memory_order_acquire);
    return l ? l->Code : std::string("en");
}

std::string CurrentCatalogueFile() {
    const TLanguage* l = gCurrent.load(std::memory_order_acquire);
    return l ? l->File : std::string();
}

const char* tr(const char* english) {
    const TLanguage* l = gCurrent.load(std::memory_order_acquire);
    if (!l || !l->Catalogue || !english) return english;
    const char* text = l->Catalogue->Find(english);
    return text ? text : english;
}

std::string Format(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (n > 0) {
        text.resize(size_t(n));
        std::vsnprintf(text.data(), size_t(n) + 1, format, again);
    }
    va_end(again);
    return text;
}

const char* EnglishOf(const char* text) {
    const TLanguage* l = gCurrent.load(std::memory_order_acquire);
    if (!l || !l->Catalogue || !text) return text;
    const char* original = l->Catalogue->FindOriginal(text);
    return original ? original : text;
}

const char* ntr(const char* singular, const char* plural, uint64_t n) {
    const TLanguage* l = gCurrent.load(std::memory_order_acquire);
    if (l && l->Catalogue && singular)
        if (const char* text = l->Catalogue->FindPlural(singular, n)) return text;
    return n == 1 ? singular : plural;
}

} // namespace qz

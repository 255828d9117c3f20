// Translation of the program's user-visible texts. Every text is keyed by its English form:
// tr returns the current language's text, or the key itself when the catalogue has none (or
// no catalogue is active). Catalogues are GNU gettext ".mo" files of the text domain
// "quarzel", one per language: <locale folder>/<code>/LC_MESSAGES/quarzel.mo.
//
// Texts are found by xgettext (see po/): write the English text as a literal inside tr(),
// ntr() or N_(). N_ only marks a literal that is translated later through a variable (the
// titles of a table, for example).
//
// Any thread may translate at any time. ActivateLanguage swaps the current catalogue
// atomically; a catalogue once loaded stays in memory until the process ends, so a text
// returned by tr stays valid after a language change. The catalogues are read here rather than
// through the C library's gettext, which picks its language from the process locale and
// environment: it ignores the language under the "C" locale, and changing the environment
// while other threads translate is a data race.
#pragma once

#include <cstdint>
#include <string>

namespace qz {

inline constexpr const char* kTextDomain = "quarzel";

// Marks an English text for the catalogues without translating it here.
constexpr const char* N_(const char* english) {
    return english;
}

// The current language's text for english.
const char* tr(const char* english);
// The form of a text with a count: the catalogue's plural rule picks the form for n; without
// a translation, singular when n is 1, else plural.
const char* ntr(const char* singular, const char* plural, uint64_t n);

// printf into a string, for messages whose translated form places the values: write
// Format(tr("cannot open %s: %s"), path, why). A translation may reorder them ("%2$s ... %1$s").
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The English key of text as the current language shows it: the msgid whose translation it
// is, else text itself (English, or no catalogue entry).
const char* EnglishOf(const char* text);

// Makes the catalogue of code current: <localeFolder>/<code>/LC_MESSAGES/quarzel.mo, else the
// one of the code's language alone ("de" for "de_AT"). "en", a code without catalogue or a
// catalogue that cannot be read leaves the English texts. False when code is not English and
// no catalogue could be used (the English texts are then current).
bool ActivateLanguage(const std::string& code, const std::string& localeFolder);
// The code last given to ActivateLanguage ("en" before).
std::string CurrentLanguage();
// The file of the current catalogue; empty when English.
std::string CurrentCatalogueFile();

// The catalogue file of code under localeFolder (with the language-alone fall-back); empty
// when none exists.
std::string FindCatalogue(const std::string& code, const std::string& localeFolder);

} // namespace qz

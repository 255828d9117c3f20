#include "app/languages.h"

#include "base/translate.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <sys/stat.h>

namespace qz {

const std::vector<std::string>& LanguageNameTable() {
    static const std::vector<std::string> table = {"aa Afar",
                                                   "ab Abkhazian",
                                                   "ae Avestan",
                                                   "af Afrikaans",
                                                   "ak Akan",
                                                   "am Amharic",
                                                   "an Aragonese",
                                                   "ar Arabic",
                                                   "as Assamese",
                                                   "av Avaric",
                                                   "ay Aymara",
                                                   "az Azerbaijani",
                                                   "ba Bashkir",
                                                   "be Belarusian",
                                                   "bg Bulgarian",
                                                   "bh Bihari",
                                                   "bi Bislama",
                                                   "bm Bambara",
                                                   "bn Bengali",
                                                   "bo Tibetan",
                                                   "br Breton",
                                                   "bs Bosnian",
                                                   "ca Catalan",
                                                   "ce Chechen",
                                                   "ch Chamorro",
                                                   "co Corsican",
                                                   "cr Cree",
                                                   "cs Czech",
                                                   "cu Church Slavic",
                                                   "cv Chuvash",
                                                   "cy Welsh",
                                                   "da Danish",
                                                   "de German",
                                                   "de_AT Austrian German",
                                                   "de_CH Swiss German",
                                                   "dv Divehi",
                                                   "dz Dzongkha",
                                                   "ee Ewe",
                                                   "el Greek",
                                                   "en English",
                                                   "en_AU Australian English",
                                                   "en_CA Canadian English",
                                                   "en_GB British English",
                                                   "en_US American English",
                                                   "eo Esperanto",
                                                   "es Spanish",
                                                   "es_GL Galician",
                                                   "et Estonian",
                                                   "eu Basque",
                                                   "fa Persian",
                                                   "ff Fulah",
                                                   "fi Finnish",
                                                   "fj Fijian",
                                                   "fo Faroese",
                                                   "fr French",
                                                   "fr_BE Walloon",
                                                   "fy Western Frisian",
                                                   "ga Irish",
                                                   "gd Scottish Gaelic",
                                                   "gl Galician",
                                                   "gn Guarani",
                                                   "gu Gujarati",
                                                   "gv Manx",
                                                   "ha Hausa",
                                                   "he Hebrew",
                                                   "hi Hindi",
                                                   "ho Hiri Motu",
                                                   "hr Croatian",
                                                   "ht Haitian",
                                                   "hu Hungarian",
                                                   "hy Armenian",
                                                   "hz Herero",
                                                   "ia Interlingua",
                                                   "id Indonesian",
                                                   "ie Interlingue",
                                                   "ig Igbo",
                                                   "ii Sichuan Yi",
                                                   "ik Inupiaq",
                                                   "io Ido",
                                                   "is Icelandic",
                                                   "it Italian",
                                                   "iu Inuktitut",
                                                   "ja Japanese",
                                                   "jv Javanese",
                                                   "ka Georgian",
                                                   "kg Kongo",
                                                   "ki Kikuyu",
                                                   "kj Kuanyama",
                                                   "kk Kazakh",
                                                   "kl Kalaallisut",
                                                   "km Khmer",
                                                   "kn Kannada",
                                                   "ko Korean",
                                                   "kr Kanuri",
                                                   "ks Kashmiri",
                                                   "ku Kurdish",
                                                   "kv Komi",
                                                   "kw Cornish",
                                                   "ky Kirghiz",
                                                   "la Latin",
                                                   "lb Luxembourgish",
                                                   "lg Ganda",
                                                   "li Limburgish",
                                                   "ln Lingala",
                                                   "lo Lao",
                                                   "lt Lithuanian",
                                                   "lu Luba-Katanga",
                                                   "lv Latvian",
                                                   "mg Malagasy",
                                                   "mh Marshallese",
                                                   "mi Maori",
                                                   "mk Macedonian",
                                                   "ml Malayalam",
                                                   "mn Mongolian",
                                                   "mr Marathi",
                                                   "ms Malay",
                                                   "mt Maltese",
                                                   "my Burmese",
                                                   "na Nauru",
                                                   "nb Norwegian Bokmal",
                                                   "nd North Ndebele",
                                                   "ne Nepali",
                                                   "ng Ndonga",
                                                   "nl Dutch",
                                                   "nl_BE Flemish",
                                                   "nn Norwegian Nynorsk",
                                                   "no Norwegian",
                                                   "nr South Ndebele",
                                                   "nv Navajo",
                                                   "ny Chichewa",
                                                   "oc Occitan",
                                                   "oj Ojibwa",
                                                   "om Oromo",
                                                   "or Oriya",
                                                   "os Ossetian",
                                                   "pa Punjabi",
                                                   "pi Pali",
                                                   "pl Polish",
                                                   "ps Pashto",
                                                   "pt Portuguese",
                                                   "pt_BR Brazilian Portuguese",
                                                   "qu Quechua",
                                                   "rm Romansh",
                                                   "rn Rundi",
                                                   "ro Romanian",
                                                   "ru Russian",
                                                   "rw Kinyarwanda",
                                                   "sa Sanskrit",
                                                   "sc Sardinian",
                                                   "sd Sindhi",
                                                   "se Northern Sami",
                                                   "sg Sango",
                                                   "si Sinhala",
                                                   "sk Slovak",
                                                   "sl Slovenian",
                                                   "sm Samoan",
                                                   "sn Shona",
                                                   "so Somali",
                                                   "sq Albanian",
                                                   "sr Serbian",
                                                   "ss Swati",
                                                   "st Southern Sotho",
                                                   "su Sundanese",
                                                   "sv Swedish",
                                                   "sw Swahili",
                                                   "ta Tamil",
                                                   "te Telugu",
                                                   "tg Tajik",
                                                   "th Thai",
                                                   "ti Tigrinya",
                                                   "tk Turkmen",
                                                   "tl Tagalog",
                                                   "tn Tswana",
                                                   "to Tonga",
                                                   "tr Turkish",
                                                   "ts Tsonga",
                                                   "tt Tatar",
                                                   "tw Twi",
                                                   "ty Tahitian",
                                                   "ug Uighur",
                                                   "uk Ukrainian",
                                                   "ur Urdu",
                                                   "uz Uzbek",
                                                   "ve Venda",
                                                   "vi Vietnamese",
                                                   "vo Volapuk",
                                                   "wa Walloon",
                                                   "wo Wolof",
                                                   "xh Xhosa",
                                                   "yi Yiddish",
                                                   "yo Yoruba",
                                                   "za Zhuang",
                                                   "zh Chinese",
                                                   "zh_CHS Chinese - Simplified",
                                                   "zh_CHT Chinese - Traditional",
                                                   "zu Zulu"};
    return table;
}

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The table line for code (case-insensitive), or nullptr.
const std::string* TableLine(const std::string& code) {
    const std::string want = Lower(code);
    for (const std::string& line : LanguageNameTable())
        if (Lower(line.substr(0, line.find(' '))) == want) return &line;
    return nullptr;
}

TLanguageEntry EntryFor(const std::string& code) {
    const std::string* line = TableLine(code);
    if (!line) return {"(" + code + ")", code};
    return {line->substr(line->find(' ') + 1) + " (" + code + ")", code};
}

} // namespace

std::vector<TLanguageEntry> SetupLanguages(const std::string& localeFolder,
                                           const std::string& currentCode, bool ownFolder,
                                           int& selected) {
    std::vector<std::string> codes;
    if (DIR* d = ::opendir(localeFolder.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            if (name.empty() || name[0] == '.') continue;
            struct stat st {};
            const std::string path = localeFolder + "/" + name;
            if (::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) continue;
            const std::string catalogue = path + "/LC_MESSAGES/" + std::string(kTextDomain) + ".mo";
            if (!ownFolder && (::stat(catalogue.c_str(), &st) != 0 || !S_ISREG(st.st_mode)))
                continue;
            codes.push_back(name);
        }
        ::closedir(d);
    }
    std::sort(codes.begin(), codes.end());
    std::vector<TLanguageEntry> entries;
    if (std::find(codes.begin(), codes.end(), "en") == codes.end())
        entries.push_back(EntryFor("en"));
    for (const std::string& c : codes) entries.push_back(EntryFor(c));
    selected = -1;
    for (size_t i = 0; i < entries.size() && selected < 0; ++i)
        if (entries[i].Code == currentCode) selected = int(i);
    for (size_t i = 0; i < entries.size() && selected < 0; ++i)
        if (entries[i].Text.find("(" + currentCode + ")") != std::string::npos) selected = int(i);
    if (selected < 0) selected = 0;
    return entries;
}

} // namespace qz

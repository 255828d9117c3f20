// One GNU gettext message catalogue (".mo" file), read whole into memory, and its plural rule.
//
// The file is checked before use: both byte orders, every string inside the file, tables
// inside the file. A file that fails a check gives no catalogue (Load returns false with the
// reason); it never makes lookups read outside the file. Texts are returned as they are stored
// (the program's catalogues are UTF-8).
#pragma once

#include "base/pluralrule.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace qz {

class TMoCatalogue {
public:
    TMoCatalogue() = default;
    // The lookup table points into the bytes: a catalogue is not copied.
    TMoCatalogue(const TMoCatalogue&) = delete;
    TMoCatalogue& operator=(const TMoCatalogue&) = delete;

    // Parses bytes (kept by the catalogue). False, with error set, when they are no catalogue.
    bool Load(std::string bytes, std::string* error = nullptr);
    bool LoadFile(const std::string& path, std::string* error = nullptr);

    // The translation of msgid, or nullptr when the catalogue has none (or it is empty).
    const char* Find(std::string_view msgid) const;
    // The form for n of the entry whose singular is singular; nullptr when none.
    const char* FindPlural(std::string_view singular, uint64_t n) const;

    // The msgid whose (singular) translation is translation; nullptr when none. When several
    // texts have the same translation, one of them.
    const char* FindOriginal(std::string_view translation) const;

    size_t Size() const { return FEntries.size(); }
    // The value of a header field ("Plural-Forms", "Language", ...); empty when absent.
    std::string HeaderField(std::string_view name) const;

private:
    struct Entry {
        uint32_t Offset = 0, Length = 0; // the translation (all forms, NUL-separated)
    };
    std::string FBytes;
    std::unordered_map<std::string_view, Entry> FEntries;         // msgid (singular) -> translation
    std::unordered_map<std::string_view, const char*> FOriginals; // translation -> msgid
    std::string_view FHeader;
    TPluralRule FPlural;
};

} // namespace qz

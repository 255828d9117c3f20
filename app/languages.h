// The language dialog's list, free of any toolkit: the catalogues' folders under the locale
// folder, named from the table of language codes and English names.
#pragma once

#include <string>
#include <vector>

namespace qz {

// The table: code, one space, English name ("de German"); ISO 639-1 codes and some regional
// variants.
const std::vector<std::string>& LanguageNameTable();

struct TLanguageEntry {
    std::string Text; // "German (de)", or "(xx)" for a code without a table line
    std::string Code;
};

// SetupLanguages: English first (its texts are the program's own), then every subfolder of
// localeFolder (in name order; names beginning with "." left out) that holds the program's
// catalogue -- or, in a folder of the program's own ("locale" beside it), every subfolder.
// selected: the index of the entry for currentCode (else the first entry containing
// "(" + currentCode + ")", else 0).
std::vector<TLanguageEntry> SetupLanguages(const std::string& localeFolder,
                                           const std::string& currentCode, bool ownFolder,
                                           int& selected);

} // namespace qz

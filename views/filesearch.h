// The file list's search: a text in the filter language, parsed once per load and matched
// against every candidate record, and the parts of a name or path to highlight.
#pragma once

#include "engine/types.h"
#include "filters/filters.h"
#include "views/filelist.h"

#include <memory>
#include <string>
#include <vector>

namespace qz {

class TFileSearch {
public:
    TFileSearch();
    ~TFileSearch();

    // Parses text (folded as the filter language folds it); an empty text matches everything.
    // What is wrong in the text goes to errors (the text is still searched with it).
    void Parse(std::u16string_view text, bool matchEntirePath, std::vector<TFilterError>& errors);
    // Appends the expressions that were given up while matching (they ran into the match
    // limits too often and matched nothing from then on).
    void CollectGivenUp(std::vector<TFilterError>& errors) const;
    bool Empty() const;
    // A term asks for folders only: folders are listed.
    bool HasFoldersOnlyTerm() const;
    // A term that is not a regular expression holds a path separator: paths are matched.
    bool ForcesFullPath() const;
    // True when r matches (fullPath: against its full path); scratch is reused between calls.
    bool Matches(PMFT_RECORD r, bool fullPath, std::u16string& scratch) const;
    // The ranges of text to highlight.
    std::vector<TMatchRange> Highlight(std::u16string_view text) const;

    // The form a search text is kept in the history: normalised and trimmed.
    static std::u16string NormalizeHistoryText(std::u16string_view text);

private:
    struct Impl;
    std::unique_ptr<Impl> FImpl;
};

} // namespace qz

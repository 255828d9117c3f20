// The filter language and its application to a scan.
//
// A filter text such as '*.mp4|*.mkv >1G' is a conjunction of groups (separated by spaces)
// of alternative terms (separated by "|"). It parses into a TFilters_AND of TFilters_OR of
// TFilterItem; MatchFilters tests one record (or one entry a folder walk has just found)
// against it. The same language serves the include and exclude filters of a scan, the
// command-line filters of headless runs, the walk-time exclusion and the file-list search.
//
// Paths: a term that begins with "/" is a regular expression. Anywhere else in a term (inside
// regular expressions too) "/" and "\" are the same path separator: either one switches the
// filter to full-path matching and matches either separator in a path, so '*/cache/*' works
// on a Linux folder scan ("/" paths) as well as on an NTFS scan ("\" paths).
//
// Many terms: the plain name patterns of a group of many alternatives, and many negated
// single-term groups, are matched through one index each (filters/filter_index.h), so a
// pasted list of thousands of names costs about as much per record as a few terms.
//
// Mistakes in a text (an unclosed quote, a lone "!", an expression that does not compile) do
// not stop parsing: the text keeps its meaning, and each mistake is reported with its place in
// the text (TFilterError) for a search box or the filter panel to show.
//
// Threads: a parsed filter is read-only while matching; one filter may be matched from any
// number of threads at once (compiled expressions keep their match data per thread). Parsing
// is safe on any thread, so a box may check its text (FilterTextErrors) off the window's thread.
#pragma once

#include "engine/types.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

class TNTFS_FILES;
class TFilterRegex;     // filters/filter_regex.h
class TFilterTermIndex; // filters/filter_index.h

// ---------------------------------------------------------------- parsed form

// One parsed term.
struct TFilterItem {
    std::u16string filtertext;      // folded pattern (after the full-path additions); empty for
                                    // comparisons
    int32_t filtertextlength = 0;   // length of filtertext in code units
    bool wildcards = false;         // contains "*" or "?"
    bool fileextension = false;     // "*.ext": ends-with test on the own name
    bool FilterNoExtension = false; // exactly "*.": names without a dot
    bool backslash = false;         // contains a path separator ("\" or "/")
    bool NOTFlag = false;           // written with a leading "!"
    int32_t sizeoptype = 0;   // 1 size, 2 allocated, 3 modified date, 4 name length, 5 path length,
                              // 6 duplicate count, 7 duplicate size; 0 = not a comparison
    int32_t sizeop = 0;       // 1 "=", 2 ">", 3 ">=", 4 "<", 5 "<="; 0 = not a comparison
    uint64_t sizebytes = 0;   // bytes, characters or a count
    int32_t sodate = 0;       // date comparisons: local day number (days since 1899-12-30)
    bool foldersonly = false; // keyword "=folder(s)"
    bool filesonly = false;   // keyword "=file(s)"
    bool dupsonly = false;    // keyword "=dup(s)"
    // Term written between slashes: the compiled expression, nil when it did not compile.
    std::shared_ptr<const TFilterRegex> regex;

    // ---- additions to the classic fields
    bool isregex = false;    // written as "/.../" (with regex nil: it did not compile and the
                             // term accepts nothing unless negated)
    std::u16string termtext; // the term as written, without the group/term separators
    size_t textpos = 0;      // code-unit offset of termtext in the text given to ParseFilters
    uint64_t serial = 0;     // unique per parsed term (copies share it): keys what a pass
                             // over many records remembers about this term
    // Many plain terms are matched through one index (filters/filter_index.h): an indexed
    // group's first item holds its index, every item of the negated single-term groups it
    // gathers holds theirs, and each term it answers for is marked indexed. The index is only
    // used in the match mode it was built for; a parsed filter is matched as a whole and not
    // edited (the groups an index gathers are answered together).
    std::shared_ptr<const TFilterTermIndex> termindex;
    bool indexed = false;
    bool filterhasindex = false; // on the first item of the first group: some group has an
                                 // index (a filter without one is matched by the plain loop)
};

using TFilters_OR = std::vector<TFilterItem>;  // the terms of one group (any may accept)
using TFilters_AND = std::vector<TFilters_OR>; // the groups (all must accept); empty = all

// What is wrong in a filter text. The text still has its meaning (the filter is usable, the
// term in question behaves as described), but it is most likely not what the user meant.
enum class TFilterErrorKind : uint8_t {
    RegexSyntax,   // an expression that does not compile: its term matches nothing
                   // (everything when negated)
    RegexGivenUp,  // an expression that kept exceeding the match limits during a pass: it
                   // matched nothing from then on (found by the pass, not by parsing)
    UnclosedQuote, // a double quote that is never closed: the rest of the text is one term
    EmptyNegation, // "!" with nothing to negate: the term matches nothing
};
struct TFilterError {
    TFilterErrorKind kind = TFilterErrorKind::RegexSyntax;
    std::u16string term;    // the term as written (the rest of the text for a quote)
    std::u16string pattern; // expressions: the expression handed to the engine
    std::string message;    // what is wrong (UTF-8); for RegexSyntax the engine's message
    size_t offset = 0;      // RegexSyntax: code-unit offset in pattern where compilation stopped
    size_t position = 0;    // code-unit offset in the filter text where it is wrong (a text
                            // box can put its cursor there)
    bool exclude = false;   // from a pair of texts: in the exclude text
};

// One line for the user: what is wrong, then "(character N)" with N = position + 1.
std::string FilterErrorText(const TFilterError& error);

// The errors of a filter text, as ParseFilters finds them (expressions compiled). Pure; may be
// called from any thread, for example while a search text is typed.
std::vector<TFilterError> FilterTextErrors(std::u16string_view text);

// ---------------------------------------------------------------- the language

// Every " | " becomes "|", then every " |", then every "| " (three passes, in this order).
std::u16string NormalizeFilterText(std::u16string_view text);

// Releases what filter held and parses text into it. fullPath is the caller's starting
// full-path flag; parsing sets it to true (never to false) when any term contains a path
// separator, and then every wildcard term of the text gets the full-path additions. What is
// wrong in the text (see TFilterErrorKind) is appended to *errors when given, in text order.
void ParseFilters(std::u16string_view text, TFilters_AND& filter, bool& fullPath,
                  std::vector<TFilterError>* errors = nullptr);

// True when parsing text would switch on full-path matching (some term, other than a
// comparison, contains "\" or "/" outside a leading regular-expression slash). Callers that
// parse several texts sharing one flag (include and exclude) test all texts first, so that
// every text is parsed with the final flag; ParseFilterPair does exactly that.
bool FilterTextSetsFullPath(std::u16string_view text);

// An include and an exclude filter sharing one full-path flag (starting from fullPath).
struct TFilterPair {
    TFilters_AND include;
    TFilters_AND exclude;
    bool fullPath = false;
    std::vector<TFilterError> errors; // of both texts
};
void ParseFilterPair(std::u16string_view include, std::u16string_view exclude, bool fullPath,
                     TFilterPair& out);

// Appends an error for every expression of filter that was given up after running into the
// match limits too often (it then matched nothing more; see TFilterRegex), so that a caller can
// warn that the filter's result is incomplete.
void CollectGivenUpExpressions(const TFilters_AND& filter, std::vector<TFilterError>& errors);

// Frees every term's expression and empties the filter.
void FreeFilters(TFilters_AND& filter);

// True when rec passes filter. With applySizeTerms false the size, allocated-size and folders
// terms count as satisfied (totals not final yet; exclusion). rec must be linked to its
// parents (ParentMFTRec) when the filter uses paths.
bool MatchFilters(PMFT_RECORD rec, const TFilters_AND& filter, bool fullPath, bool applySizeTerms);

// A pass over many records on one thread (FilterResults, a search over a file list, a walker
// testing the entries it finds). While one lives, MatchFilters on this thread keeps the paths
// of the parent folders it has built and reuses them for their other children, so the folders
// above the records matched meanwhile must not be renamed, moved or freed (the records under
// test themselves may change, such as a walker's reused record). Nests; costs nothing when no
// term needs a path.
class TFilterBatch {
public:
    TFilterBatch();
    ~TFilterBatch();
    TFilterBatch(const TFilterBatch&) = delete;
    TFilterBatch& operator=(const TFilterBatch&) = delete;
};

// An entry a folder walk has found, before any record exists for it.
struct TFilterEntry {
    std::u16string_view name;       // own name
    std::u16string_view parentPath; // full path of the folder it is in, with or without a
                                    // trailing separator ("/" or "\"); empty for a root
    bool folder = false;
    uint64_t size = 0;      // a folder: its total so far (normally 0)
    uint64_t allocSize = 0; // likewise
    TDateTime modified = 0; // UTC
    uint32_t attributes = 0;
};
bool MatchFilters(const TFilterEntry& entry, const TFilters_AND& filter, bool fullPath,
                  bool applySizeTerms);

// True when any term of any group of text is the folders keyword without negation.
bool FoldersOnlyFilterActive(std::u16string_view text, bool fullPath);

// ---------------------------------------------------------------- applying to a scan

// Asked now and then by a long pass, on the pass's thread: true stops the pass. Typically reads
// a flag that another thread sets (a scan's cancel flag, a window's Cancel button).
using TFilterCancel = std::function<bool()>;

// Sets Filtered on every record of the scan: hidden unless it passes the include filter (size
// terms applied) and does not match the exclude filter (size and folders terms counted as
// satisfied); then every ancestor of a visible record is made visible. Without
// ForceFilterFlag and with both texts blank nothing changes. FoldersOnlyFlag has no effect
// here (it is the caller's totals choice). What is wrong in the texts, and the expressions
// given up during the pass, go to *errors when given.
// cancel is asked every few thousand records (more often when every record costs much), so a
// cancel takes effect within about a tenth of a second; a cancelled pass clears every
// Filtered flag (the scan shows all its records) and returns false.
bool FilterResults(TNTFS_FILES& scan, std::u16string_view FilterInclude,
                   std::u16string_view FilterExclude, bool ForceFilterFlag, bool FilterFullPath,
                   bool FoldersOnlyFlag, std::vector<TFilterError>* errors = nullptr,
                   const TFilterCancel& cancel = {});

// The filter steps a scan thread runs once the records are read: with a folders-only include
// filter the totals first (all records counted), then FilterResults, then the totals again
// (hidden files still counted when folders-only, otherwise not). Returns the folders-only
// decision. The scan's cancel flag stops the filter pass (CancelProcess before or during it:
// the records stay unfiltered, the totals count them all).
bool ApplyScanFilters(TNTFS_FILES& scan, std::u16string_view FilterInclude,
                      std::u16string_view FilterExclude, bool FilterFullPath,
                      std::vector<TFilterError>* errors = nullptr);

// The exclude test of a folder walk: parsed once, then asked for every entry found (from any
// number of walker threads). An excluded entry is not stored and an excluded folder is not
// entered. Sizes and the folders keyword count as satisfied (totals are not known yet).
class TWalkExcludeFilter {
public:
    TWalkExcludeFilter() = default;
    TWalkExcludeFilter(std::u16string_view filterExclude, bool filterFullPath) {
        Parse(filterExclude, filterFullPath);
    }
    void Parse(std::u16string_view filterExclude, bool filterFullPath);
    // Any group at all (otherwise Excludes is always false and need not be called).
    bool Active() const { return !FFilter.empty(); }
    bool FullPath() const { return FFullPath; }
    const TFilters_AND& Filter() const { return FFilter; }
    const std::vector<TFilterError>& Errors() const { return FErrors; }
    // entry: name set and ParentMFTRec linked (it need not be listed in the scan yet).
    bool Excludes(PMFT_RECORD entry) const;
    bool Excludes(const TFilterEntry& entry) const;

private:
    TFilters_AND FFilter;
    bool FFullPath = false;
    std::vector<TFilterError> FErrors;
};

// ---------------------------------------------------------------- settings of the language

// Offset of local time from UTC in days, taken once (at first use or InitFilterTimeOffset):
// date terms compare local calendar days in the time zone of that moment.
TDateTime FilterLocalTimeOffset();
void InitFilterTimeOffset();
void SetFilterLocalTimeOffset(TDateTime offset); // tests and callers with their own rule

// The decimal separator of numbers in terms: the user's locale (LC_NUMERIC of the
// environment) unless set.
char16_t FilterDecimalSeparator();
void SetFilterDecimalSeparator(char16_t sep);

// ---------------------------------------------------------------- syntax colouring

// A run of text drawn in one colour: highlight (comparison, negation, expression) or plain.
struct TFilterColourRun {
    size_t start = 0;  // code-unit offset
    size_t length = 0; // code units
    bool highlight = false;
};
// The coloured runs of a filter box's text (adjacent runs differ in colour; a surrogate pair
// is never split).
std::vector<TFilterColourRun> FilterColourRuns(std::u16string_view text);
// Per code unit: true where the text is drawn in the highlight colour.
std::vector<bool> FilterHighlightMask(std::u16string_view text);
// False when the text holds Arabic characters (the platform then draws the box).
bool FilterTextColourable(std::u16string_view text);
// The highlight colour as 0xRRGGBB: teal with its lightness raised by a quarter.
uint32_t FilterHighlightColour();

} // namespace qz

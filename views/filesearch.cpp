#include "views/filesearch.h"

#include "engine/collation.h"
#include "filters/filter_regex.h"
#include "filters/filters.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <algorithm>

namespace qz {

namespace {

// A regular-expression term compiled once more for its match position (the filter's own
// expression only answers whether it matches), with the same options and limits.
class THighlightRegex {
public:
    explicit THighlightRegex(std::shared_ptr<const TFilterRegex> source) : FSource(source) {
        const std::u16string& pattern = source->Pattern();
        int errcode = 0;
        PCRE2_SIZE erroffset = 0;
        const uint32_t options = PCRE2_CASELESS | PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF |
                                 PCRE2_NEVER_BACKSLASH_C;
        FCode = pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(pattern.data()), pattern.size(),
                                 options, &errcode, &erroffset, nullptr);
        if (!FCode) return;
        FData = pcre2_match_data_create_from_pattern_16(FCode, nullptr);
        FContext = pcre2_match_context_create_16(nullptr);
        if (FContext) {
            pcre2_set_match_limit_16(FContext, TFilterRegex::kMatchLimit);
            pcre2_set_depth_limit_16(FContext, TFilterRegex::kDepthLimit);
        }
    }
    ~THighlightRegex() {
        if (FContext) pcre2_match_context_free_16(FContext);
        if (FData) pcre2_match_data_free_16(FData);
        if (FCode) pcre2_code_free_16(FCode);
    }
    THighlightRegex(const THighlightRegex&) = delete;
    THighlightRegex& operator=(const THighlightRegex&) = delete;

    bool FirstMatch(std::u16string_view text, size_t& start, size_t& length) const {
        // An expression the search gave up on matched nothing: nothing to highlight, and no
        // time spent on it while painting.
        if (!FCode || !FData || FSource->GivenUp()) return false;
        const int rc = pcre2_match_16(FCode, reinterpret_cast<PCRE2_SPTR16>(text.data()),
                                      text.size(), 0, 0, FData, FContext);
        if (rc < 0) return false;
        const PCRE2_SIZE* ov = pcre2_get_ovector_pointer_16(FData);
        if (ov[1] < ov[0]) return false; // \K tricks can end a match before its start
        start = ov[0];
        length = ov[1] - ov[0];
        return true;
    }

private:
    std::shared_ptr<const TFilterRegex> FSource;
    pcre2_code_16* FCode = nullptr;
    pcre2_match_data_16* FData = nullptr;
    pcre2_match_context_16* FContext = nullptr;
};

} // namespace

struct TFileSearch::Impl {
    TFilters_AND filter;
    bool fullPath = false;                 // the full-path flag after parsing
    bool foldersTerm = false;              // some term is the folders keyword
    std::vector<std::u16string> fragments; // folded literal parts to highlight
    std::vector<std::unique_ptr<THighlightRegex>> regexes;

    ~Impl() { FreeFilters(filter); }
};

TFileSearch::TFileSearch() : FImpl(std::make_unique<Impl>()) {}
TFileSearch::~TFileSearch() = default;

namespace {

std::u16string_view Trimmed(std::u16string_view s) {
    while (!s.empty() && s.front() <= u' ') s.remove_prefix(1);
    while (!s.empty() && s.back() <= u' ') s.remove_suffix(1);
    return s;
}

bool IsArabic(char16_t c) {
    return (c >= 0x0600 && c <= 0x06FF) || (c >= 0x0750 && c <= 0x077F) ||
           (c >= 0xFB50 && c <= 0xFC3F) || (c >= 0xFE70 && c <= 0xFEFC);
}

// Path separators are interchangeable in the filter language.
char16_t Unify(char16_t c) {
    return c == u'/' ? u'\\' : c;
}

} // namespace

void TFileSearch::Parse(std::u16string_view text, bool matchEntirePath,
                        std::vector<TFilterError>& errors) {
    Impl& s = *FImpl;
    FreeFilters(s.filter);
    s.fragments.clear();
    s.regexes.clear();
    s.foldersTerm = false;
    s.fullPath = matchEntirePath;
    // An expression that does not compile makes its term match nothing (unless negated); the
    // search still runs, and the caller tells the user why.
    ParseFilters(NormalizeFilterText(text), s.filter, s.fullPath, &errors);
    for (const TFilters_OR& group : s.filter) {
        for (const TFilterItem& item : group) {
            if (item.foldersonly) s.foldersTerm = true;
            if (item.sizeop != 0 || item.sizeoptype != 0 || item.foldersonly || item.filesonly ||
                item.dupsonly)
                continue;
            if (item.isregex) {
                if (item.regex) s.regexes.push_back(std::make_unique<THighlightRegex>(item.regex));
                continue;
            }
            std::u16string_view t = item.filtertext;
            if (item.wildcards) {
                if (t.find(u'?') != std::u16string_view::npos) continue;
                size_t start = 0;
                while (start <= t.size()) {
                    size_t star = t.find(u'*', start);
                    if (star == std::u16string_view::npos) star = t.size();
                    if (star > start) s.fragments.emplace_back(t.substr(start, star - start));
                    start = star + 1;
                }
            } else if (!t.empty()) {
                s.fragments.emplace_back(t);
            }
        }
    }
    std::sort(s.fragments.begin(), s.fragments.end());
    s.fragments.erase(std::unique(s.fragments.begin(), s.fragments.end()), s.fragments.end());
}

void TFileSearch::CollectGivenUp(std::vector<TFilterError>& errors) const {
    CollectGivenUpExpressions(FImpl->filter, errors);
}

bool TFileSearch::Empty() const {
    return FImpl->filter.empty();
}
bool TFileSearch::HasFoldersOnlyTerm() const {
    return FImpl->foldersTerm;
}
bool TFileSearch::ForcesFullPath() const {
    return FImpl->fullPath;
}

bool TFileSearch::Matches(PMFT_RECORD r, bool fullPath, std::u16string&) const {
    return FImpl->filter.empty() || MatchFilters(r, FImpl->filter, fullPath, true);
}

std::vector<TMatchRange> TFileSearch::Highlight(std::u16string_view text) const {
    const Impl& s = *FImpl;
    std::vector<TMatchRange> ranges;
    for (const auto& re : s.regexes) {
        size_t start = 0, length = 0;
        if (re->FirstMatch(text, start, length) && length > 0) ranges.push_back({start, length});
    }
    if (!s.fragments.empty()) {
        const char16_t* table = NameCollationTable.data();
        std::u16string folded(text.size(), u'\0');
        for (size_t i = 0; i < text.size(); ++i) folded[i] = Unify(table[text[i]]);
        for (const std::u16string& frag : s.fragments) {
            std::u16string f(frag);
            for (auto& c : f) c = Unify(c);
            size_t pos = 0;
            while ((pos = folded.find(f, pos)) != std::u16string::npos) {
                const bool arabic =
                    std::any_of(text.begin() + std::ptrdiff_t(pos),
                                text.begin() + std::ptrdiff_t(pos + f.size()), IsArabic);
                if (!arabic) ranges.push_back({pos, f.size()});
                pos += f.size();
            }
        }
    }
    // In text order, overlapping or touching runs joined.
    std::sort(ranges.begin(), ranges.end(),
              [](const TMatchRange& a, const TMatchRange& b) { return a.Start < b.Start; });
    std::vector<TMatchRange> merged;
    for (const TMatchRange& r : ranges) {
        if (!merged.empty() && r.Start <= merged.back().Start + merged.back().Length) {
            const size_t end =
                std::max(merged.back().Start + merged.back().Length, r.Start + r.Length);
            merged.back().Length = end - merged.back().Start;
        } else {
            merged.push_back(r);
        }
    }
    return merged;
}

std::u16string TFileSearch::NormalizeHistoryText(std::u16string_view text) {
    const std::u16string n = NormalizeFilterText(text);
    return std::u16string(Trimmed(n));
}

} // namespace qz

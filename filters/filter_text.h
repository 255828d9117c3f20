// Folding and the three matching primitives of the filter language, over UTF-16 text.
//
// Patterns are folded once when parsed, record text code unit by code unit while matching,
// both through FilterFold: the name collation (case and accents) with "/" read as "\", so
// either separator matches either.
#pragma once

#include "engine/collation.h"

#include <string>
#include <string_view>

namespace qz::filtertext {

inline char16_t FilterFold(char16_t c) {
    char16_t f = NameCollationTable[c];
    return f == u'/' ? u'\\' : f;
}

inline void FoldAppend(std::u16string_view s, std::u16string& out) {
    size_t at = out.size();
    out.resize(at + s.size());
    char16_t* d = out.data() + at;
    for (char16_t c : s) *d++ = FilterFold(c);
}

inline std::u16string Fold(std::u16string_view s) {
    std::u16string out;
    FoldAppend(s, out);
    return out;
}

// The folded pattern occurs in text (already folded).
inline bool Contains(std::u16string_view foldedText, std::u16string_view pattern) {
    return foldedText.find(pattern) != std::u16string_view::npos;
}

// The folded pattern occurs in text that is folded on the fly.
bool ContainsFolding(std::u16string_view text, std::u16string_view pattern);

// The whole (folded) text matches the wildcard pattern: "*" any run, "?" one code unit.
bool WildcardMatch(std::u16string_view foldedText, std::u16string_view pattern);

// The last units of name, folded, equal tail (a folded ".ext").
inline bool EndsWithFolding(std::u16string_view name, std::u16string_view tail) {
    if (name.size() < tail.size()) return false;
    // From the end: the last unit tells most names apart.
    const char16_t* s = name.data() + (name.size() - tail.size());
    for (size_t i = tail.size(); i-- > 0;)
        if (FilterFold(s[i]) != tail[i]) return false;
    return true;
}

} // namespace qz::filtertext

// Parsing filter texts: groups, terms, quotes, negation, comparisons and name patterns.
#include "base/datetime.h"
#include "base/text.h"
#include "filters/filter_index.h"
#include "filters/filter_regex.h"
#include "filters/filter_text.h"
#include "filters/filters.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cmath>
#include <langinfo.h>
#include <locale.h>
#include <mutex>

namespace qz {

using filtertext::Fold;

// ---------------------------------------------------------------- language settings

namespace {

std::once_flag gOffsetOnce;
std::atomic<double> gOffset{0.0};

std::once_flag gSepOnce;
std::atomic<char16_t> gDecimalSep{u'.'};

char16_t LocaleDecimalSeparator() {
    char16_t sep = u'.';
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", locale_t(0));
    if (loc) {
        const char* radix = nl_langinfo_l(RADIXCHAR, loc);
        // Single-byte separators only ("." or ","); anything else keeps ".".
        if (radix && radix[0] && !radix[1] && static_cast<unsigned char>(radix[0]) < 0x80)
            sep = char16_t(radix[0]);
        freelocale(loc);
    }
    return sep;
}

} // namespace

void InitFilterTimeOffset() {
    std::call_once(gOffsetOnce, [] {
        TDateTime now = NowUtc();
        gOffset.store(LocalOffsetAt(now), std::memory_order_relaxed);
    });
}

TDateTime FilterLocalTimeOffset() {
    InitFilterTimeOffset();
    return gOffset.load(std::memory_order_relaxed);
}

void SetFilterLocalTimeOffset(TDateTime offset) {
    InitFilterTimeOffset();
    gOffset.store(offset, std::memory_order_relaxed);
}

char16_t FilterDecimalSeparator() {
    std::call_once(gSepOnce, [] { gDecimalSep.store(LocaleDecimalSeparator()); });
    return gDecimalSep.load(std::memory_order_relaxed);
}

void SetFilterDecimalSeparator(char16_t sep) {
    std::call_once(gSepOnce, [] {});
    gDecimalSep.store(sep, std::memory_order_relaxed);
}

// ---------------------------------------------------------------- text helpers

namespace {

bool IsBlank(char16_t c) {
    return c <= 0x20;
}

std::u16string_view Trim(std::u16string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? char16_t(c - 32) : c;
}

bool StartsWithNoCase(std::u16string_view s, std::u16string_view upperPrefix) {
    if (s.size() < upperPrefix.size()) return false;
    for (size_t i = 0; i < upperPrefix.size(); ++i)
        if (AsciiUpper(s[i]) != upperPrefix[i]) return false;
    return true;
}

bool EqualsNoCase(std::u16string_view s, std::u16string_view upper) {
    return s.size() == upper.size() && StartsWithNoCase(s, upper);
}

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Position of the first sep that is not inside double quotes (every '"' toggles), or npos.
size_t FindUnquoted(std::u16string_view s, char16_t sep) {
    bool inside = false;
    for (size_t i = 0; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c == u'"')
            inside = !inside;
        else if (c == sep && !inside)
            return i;
    }
    return std::u16string_view::npos;
}

// Replaces every from (which holds one "|") by "|". origins[i] is the offset in the caller's
// text of s[i] (one more entry for the end); the kept "|" keeps the offset of its own.
void JoinBars(std::u16string& s, std::vector<size_t>& origins, std::u16string_view from) {
    const size_t bar = from.find(u'|');
    std::u16string out;
    std::vector<size_t> outOrigins;
    size_t pos = 0;
    for (;;) {
        size_t hit = s.find(from, pos);
        if (hit == std::u16string::npos) break;
        if (pos == 0) {
            out.reserve(s.size());
            outOrigins.reserve(origins.size());
        }
        out.append(s, pos, hit - pos);
        outOrigins.insert(outOrigins.end(), origins.begin() + ptrdiff_t(pos),
                          origins.begin() + ptrdiff_t(hit));
        out.push_back(u'|');
        outOrigins.push_back(origins[hit + bar]);
        pos = hit + from.size();
    }
    if (pos == 0) return;
    out.append(s, pos, std::u16string::npos);
    outOrigins.insert(outOrigins.end(), origins.begin() + ptrdiff_t(pos), origins.end());
    s.swap(out);
    origins.swap(outOrigins);
}

// NormalizeFilterText, remembering where each unit of the result was in text.
std::u16string Normalize(std::u16string_view text, std::vector<size_t>& origins) {
    std::u16string s(text);
    origins.resize(text.size() + 1);
    for (size_t i = 0; i <= text.size(); ++i) origins[i] = i;
    JoinBars(s, origins, u" | ");
    JoinBars(s, origins, u" |");
    JoinBars(s, origins, u"| ");
    return s;
}

// A decimal number written with the given separator: [sign] digits [sep digits] [e [sign]
// digits], at least one digit before the exponent. False when the text is anything else.
bool ReadNumber(std::u16string_view s, char16_t sep, double& value) {
    s = Trim(s);
    if (s.empty() || s.size() > 64) return false;
    char buf[72];
    size_t n = 0, i = 0, digits = 0;
    if (s[i] == u'+' || s[i] == u'-') buf[n++] = char(s[i++]);
    while (i < s.size() && IsDigit(s[i])) buf[n++] = char(s[i++]), ++digits;
    if (i < s.size() && s[i] == sep) {
        buf[n++] = '.';
        ++i;
        while (i < s.size() && IsDigit(s[i])) buf[n++] = char(s[i++]), ++digits;
    }
    if (digits == 0) return false;
    if (i < s.size() && (s[i] == u'e' || s[i] == u'E')) {
        buf[n++] = 'e';
        ++i;
        if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) buf[n++] = char(s[i++]);
        size_t expDigits = 0;
        while (i < s.size() && IsDigit(s[i])) buf[n++] = char(s[i++]), ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != s.size()) return false;
    const char* first = buf[0] == '+' ? buf + 1 : buf;
    auto [ptr, ec] = std::from_chars(first, buf + n, value);
    if (ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: the nearest representable extreme.
        value = (buf[0] == '-') ? -HUGE_VAL : HUGE_VAL;
        for (size_t k = 0; k < n; ++k)
            if (buf[k] == 'e' && k + 1 < n && buf[k + 1] == '-') value = 0; // underflow
        return true;
    }
    return ec == std::errc() && ptr == buf + n;
}

// Digits only, at most nine of them; false otherwise.
bool ReadSmallInt(std::u16string_view s, int32_t& value) {
    if (s.empty() || s.size() > 9) return false;
    int32_t v = 0;
    for (char16_t c : s) {
        if (!IsDigit(c)) return false;
        v = v * 10 + (c - u'0');
    }
    value = v;
    return true;
}

// multiplier x number rounded to the nearest integer (halves to even), saturating.
uint64_t ScaledBytes(double number, uint64_t multiplier) {
    double v = std::nearbyint(number * double(multiplier));
    if (!(v >= 0)) return 0;
    if (v >= 18446744073709551616.0) return UINT64_MAX;
    return uint64_t(v);
}

// The day a date term names: "TODAY" or "yyyy?mm?dd", then an optional "-n" or "+n".
// 0 when the text is no date.
int32_t ReadDateDay(std::u16string_view r) {
    int64_t base = 0;
    size_t used = 0;
    if (StartsWithNoCase(r, u"TODAY")) {
        base = int64_t(std::trunc(NowUtc() + FilterLocalTimeOffset()));
        used = 5;
    } else {
        if (r.size() < 10 || IsDigit(r[4]) || IsDigit(r[7])) return 0;
        int32_t y = 0, m = 0, d = 0;
        if (!ReadSmallInt(r.substr(0, 4), y) || !ReadSmallInt(r.substr(5, 2), m) ||
            !ReadSmallInt(r.substr(8, 2), d))
            return 0;
        TDateParts p;
        p.year = y;
        p.month = m;
        p.day = d;
        TDateTime dt = 0;
        if (!TryEncodeDateTime(p, dt)) return 0;
        base = int64_t(std::trunc(dt));
        used = 10;
    }
    if (base <= 0) return 0;
    std::u16string_view after = r.substr(used);
    if (!after.empty() && (after[0] == u'-' || after[0] == u'+')) {
        int32_t n = 0;
        if (!ReadSmallInt(after.substr(1), n)) n = 0;
        base += after[0] == u'-' ? -int64_t(n) : int64_t(n);
    }
    if (base > INT32_MAX) base = INT32_MAX;
    if (base < INT32_MIN) base = INT32_MIN;
    return int32_t(base);
}

// Comparison and keyword analysis of an unquoted term. True when the term is a comparison
// (fields filled); keyword flags may be set either way.
bool AnalyseComparison(std::u16string_view s, TFilterItem& item) {
    static constexpr struct {
        std::u16string_view prefix;
        int32_t kind;
    } kPrefixes[] = {{u"DUPCOUNT", 6}, {u"DUPSIZE", 7}, {u"NAMELEN", 4},
                     {u"PATHLEN", 5},  {u"A", 2},       {u"S", 1}};
    int32_t kind = 1;
    for (const auto& p : kPrefixes) {
        if (StartsWithNoCase(s, p.prefix)) {
            kind = p.kind;
            s.remove_prefix(p.prefix.size());
            break;
        }
    }
    int32_t op = 0;
    if (s.starts_with(u"="))
        op = 1, s.remove_prefix(1);
    else if (s.starts_with(u">="))
        op = 3, s.remove_prefix(2);
    else if (s.starts_with(u"<="))
        op = 5, s.remove_prefix(2);
    else if (s.starts_with(u">"))
        op = 2, s.remove_prefix(1);
    else if (s.starts_with(u"<"))
        op = 4, s.remove_prefix(1);
    if (op == 0) return false;

    if (op == 1) {
        bool keyword = true;
        if (EqualsNoCase(s, u"FOLDER") || EqualsNoCase(s, u"FOLDERS"))
            item.foldersonly = true;
        else if (EqualsNoCase(s, u"FILE") || EqualsNoCase(s, u"FILES"))
            item.filesonly = true;
        else if (EqualsNoCase(s, u"DUP") || EqualsNoCase(s, u"DUPS"))
            item.dupsonly = true;
        else
            keyword = false;
        if (keyword) return false; // acts as a keyword term
    }

    std::u16string_view r = s;
    uint64_t multiplier = 1;
    if (!r.empty() && (r.back() == u'B' || r.back() == u'b')) r.remove_suffix(1);
    if (!r.empty()) {
        switch (AsciiUpper(r.back())) {
        case u'K':
            multiplier = 1ull << 10;
            break;
        case u'M':
            multiplier = 1ull << 20;
            break;
        case u'G':
            multiplier = 1ull << 30;
            break;
        case u'T':
            multiplier = 1ull << 40;
            break;
        default:
            break;
        }
        if (multiplier != 1) r.remove_suffix(1);
    }

    double number = -1;
    if (!ReadNumber(r, FilterDecimalSeparator(), number)) number = -1;
    if (number >= 0) {
        item.sizeoptype = kind;
        item.sizeop = op;
        item.sizebytes = ScaledBytes(number, multiplier);
        return true;
    }
    int32_t day = ReadDateDay(r);
    if (day == 0) return false;
    item.sizeoptype = 3;
    item.sizeop = op;
    item.sodate = day;
    return true;
}

bool HasSeparator(std::u16string_view s) {
    return s.find_first_of(u"\\/") != std::u16string_view::npos;
}

bool IsExtensionTest(std::u16string_view p) {
    return p.size() > 2 && p.starts_with(u"*.") &&
           p.find_first_of(u"*?", 2) == std::u16string_view::npos;
}

// The text being parsed: its normalised form, and where each unit of that was in the text
// the caller gave (errors and terms are placed in the caller's text).
struct TParseText {
    std::vector<size_t> origins; // one per unit of norm, and one for its end (set first)
    std::u16string norm;

    explicit TParseText(std::u16string_view text) : norm(Normalize(text, origins)) {}
    size_t At(size_t normOffset) const { return origins[normOffset]; }
    size_t Offset(std::u16string_view part) const { return size_t(part.data() - norm.data()); }
    // Where unit k of part (a view into norm) was; k == part.size() is just after its last unit.
    size_t Origin(std::u16string_view part, size_t k) const {
        const size_t at = Offset(part);
        if (k < part.size()) return At(at + k);
        return part.empty() ? At(at) : At(at + part.size() - 1) + 1;
    }
};

void AddError(std::vector<TFilterError>* errors, TFilterErrorKind kind, std::u16string_view term,
              size_t position, std::string message) {
    if (!errors) return;
    TFilterError e;
    e.kind = kind;
    e.term.assign(term);
    e.position = position;
    e.message = std::move(message);
    errors->push_back(std::move(e));
}

// First pass over one term: quotes, negation, comparisons, and the parts of the name pattern
// that do not depend on the full-path flag. A name pattern's raw text is left in filtertext.
std::atomic<uint64_t> gNextSerial{1};

void AnalyseTerm(std::u16string_view term, TFilterItem& item, bool compile,
                 std::vector<TFilterError>* errors, const TParseText& source) {
    item.termtext.assign(term);
    item.textpos = source.Origin(term, 0);
    item.serial = gNextSerial.fetch_add(1, std::memory_order_relaxed);
    bool quoted = false;
    std::u16string_view t = term;
    if (t.front() == u'"') {
        quoted = true;
        t.remove_prefix(1);
        if (!t.empty() && t.back() == u'"') t.remove_suffix(1);
    } else if (t.front() == u'!') {
        item.NOTFlag = true;
        t.remove_prefix(1);
        if (!t.empty() && t.front() == u'"') t.remove_prefix(1);
        if (!t.empty() && t.back() == u'"') t.remove_suffix(1);
    }
    if (!quoted && AnalyseComparison(t, item)) return;

    // "!" alone (or before an empty quote or expression) negates a pattern that every name
    // contains: the term matches nothing, which is never what was meant.
    const auto emptyNegation = [&] {
        if (compile)
            AddError(errors, TFilterErrorKind::EmptyNegation, term, item.textpos,
                     tr("nothing to negate after \"!\"; the term matches nothing"));
    };
    item.wildcards = t.find_first_of(u"*?") != std::u16string_view::npos;
    if (t.starts_with(u"/")) {
        item.isregex = true;
        std::u16string_view body = t.substr(1);
        if (body.ends_with(u"/")) body.remove_suffix(1);
        if (body.size() >= 2 && body.front() == u'"' && body.back() == u'"')
            body = body.substr(1, body.size() - 2);
        item.backslash = HasSeparator(body);
        item.filtertext.assign(body);
        if (!compile) return;
        if (item.NOTFlag && body.empty()) emptyNegation();
        // Errors are reported against the expression as written; what is compiled is the
        // same expression with either separator accepted.
        TFilterError err;
        std::shared_ptr<TFilterRegex> asWritten = TFilterRegex::Compile(body, &err);
        if (asWritten) {
            if (HasSeparator(body))
                item.regex = TFilterRegex::Compile(RegexWithEitherSeparator(body), &err);
            else
                item.regex = std::move(asWritten);
        }
        if (!item.regex && errors) {
            err.kind = TFilterErrorKind::RegexSyntax;
            err.term.assign(term);
            err.position = source.Origin(body, std::min(err.offset, body.size()));
            errors->push_back(std::move(err));
        }
        return;
    }
    if (item.NOTFlag && t.empty()) emptyNegation();
    item.backslash = HasSeparator(t);
    item.filtertext.assign(t);
}

// Second pass over a name pattern: the full-path additions, the extension flags, folding.
void FinishPattern(TFilterItem& item, bool fullPath) {
    std::u16string p = std::move(item.filtertext);
    if (!item.isregex) {
        if (item.wildcards && fullPath) {
            if (!p.starts_with(u"*")) p.insert(p.begin(), u'*');
            if (!IsExtensionTest(p) && !p.ends_with(u"*") && p.find(u'.') == std::u16string::npos)
                p.push_back(u'*');
        }
        item.fileextension = IsExtensionTest(p);
        item.FilterNoExtension = p == u"*.";
    }
    item.filtertext = Fold(p);
    item.filtertextlength = int32_t(item.filtertext.size());
}

// Splits and analyses text into filter; true when some name pattern holds a separator.
bool ParseFirstPass(std::u16string_view text, TFilters_AND& filter, bool compile,
                    std::vector<TFilterError>* errors) {
    filter.clear();
    bool separator = false;
    const TParseText source(text);
    std::u16string_view rest = source.norm;
    while (!rest.empty()) {
        size_t sp = FindUnquoted(rest, u' ');
        std::u16string_view group = rest.substr(0, sp);
        rest = sp == std::u16string_view::npos ? std::u16string_view() : rest.substr(sp + 1);
        group = Trim(group);
        if (group == u"*.*") group = group.substr(0, 1); // "*", still a view into the text
        if (group.empty()) continue;
        TFilters_OR terms;
        while (!group.empty()) {
            while (!group.empty() && group.front() == u' ') group.remove_prefix(1);
            size_t bar = FindUnquoted(group, u'|');
            std::u16string_view term = group.substr(0, bar);
            group =
                bar == std::u16string_view::npos ? std::u16string_view() : group.substr(bar + 1);
            if (term.empty()) continue;
            terms.emplace_back();
            AnalyseTerm(term, terms.back(), compile, errors, source);
            const TFilterItem& it = terms.back();
            if (it.sizeop == 0 && it.backslash) separator = true;
        }
        // A group of bars only ("|", "|||") holds no term and adds nothing, like an empty
        // term inside a group; kept, it would reject every record.
        if (!terms.empty()) filter.push_back(std::move(terms));
    }
    return separator;
}

} // namespace

// ---------------------------------------------------------------- public

std::u16string NormalizeFilterText(std::u16string_view text) {
    std::vector<size_t> origins;
    return Normalize(text, origins);
}

void FreeFilters(TFilters_AND& filter) {
    filter.clear();
    filter.shrink_to_fit();
}

void ParseFilters(std::u16string_view text, TFilters_AND& filter, bool& fullPath,
                  std::vector<TFilterError>* errors) {
    FreeFilters(filter);
    const size_t firstError = errors ? errors->size() : 0;
    if (ParseFirstPass(text, filter, true, errors)) fullPath = true;
    for (TFilters_OR& group : filter)
        for (TFilterItem& item : group)
            if (item.sizeop == 0) FinishPattern(item, fullPath);
    BuildFilterIndexes(filter, fullPath);
    if (!errors) return;

    // Every double quote toggles; one left open takes the rest of the text into its term.
    size_t open = 0;
    bool inside = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'"') continue;
        inside = !inside;
        if (inside) open = i;
    }
    if (inside)
        AddError(errors, TFilterErrorKind::UnclosedQuote, text.substr(open), open,
                 tr("the double quote is not closed; the rest of the text is one term"));
    std::stable_sort(
        errors->begin() + ptrdiff_t(firstError), errors->end(),
        [](const TFilterError& a, const TFilterError& b) { return a.position < b.position; });
}

std::vector<TFilterError> FilterTextErrors(std::u16string_view text) {
    TFilters_AND filter;
    bool fullPath = false;
    std::vector<TFilterError> errors;
    ParseFilters(text, filter, fullPath, &errors);
    return errors;
}

std::string FilterErrorText(const TFilterError& e) {
    // A term of thousands of characters is named by its start.
    constexpr size_t kShown = 60;
    std::u16string_view term = e.term;
    std::string shown;
    if (term.size() <= kShown) {
        shown = Utf16ToUtf8(term);
    } else {
        size_t cut = kShown;
        if (term[cut - 1] >= 0xD800 && term[cut - 1] <= 0xDBFF) --cut; // not inside a pair
        shown = Utf16ToUtf8(term.substr(0, cut)) + "...";
    }
    std::string what;
    switch (e.kind) {
    case TFilterErrorKind::RegexSyntax:
        what = shown + " " + tr("is not a valid regular expression") + ": " + e.message;
        break;
    case TFilterErrorKind::RegexGivenUp:
        what = shown + ": " + e.message;
        break;
    case TFilterErrorKind::UnclosedQuote:
    case TFilterErrorKind::EmptyNegation:
        what = e.message;
        break;
    }
    return what + " (" + tr("character") + " " + std::to_string(e.position + 1) + ")";
}

bool FilterTextSetsFullPath(std::u16string_view text) {
    TFilters_AND scratch;
    return ParseFirstPass(text, scratch, false, nullptr);
}

void ParseFilterPair(std::u16string_view include, std::u16string_view exclude, bool fullPath,
                     TFilterPair& out) {
    out.errors.clear();
    bool flag = fullPath || FilterTextSetsFullPath(include) || FilterTextSetsFullPath(exclude);
    ParseFilters(include, out.include, flag, &out.errors);
    const size_t firstExclude = out.errors.size();
    ParseFilters(exclude, out.exclude, flag, &out.errors);
    for (size_t i = firstExclude; i < out.errors.size(); ++i) out.errors[i].exclude = true;
    out.fullPath = flag;
}

bool FoldersOnlyFilterActive(std::u16string_view text, bool fullPath) {
    (void)fullPath; // the keyword does not depend on the match mode
    TFilters_AND parsed;
    ParseFirstPass(text, parsed, false, nullptr);
    for (const TFilters_OR& group : parsed)
        for (const TFilterItem& item : group)
            if (item.foldersonly && !item.NOTFlag) return true;
    return false;
}

} // namespace qz

#include "filters/filter_regex.h"

#include "base/text.h"
#include "filters/filters.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

static_assert(sizeof(PCRE2_UCHAR16) == sizeof(char16_t));

namespace qz {

namespace {

PCRE2_SPTR16 Units(std::u16string_view s) {
    return reinterpret_cast<PCRE2_SPTR16>(s.data());
}

// Match data and limits of the calling thread. The match data holds one offset pair, which is
// enough for any expression since only the fact of a match is used.
struct TThreadMatchState {
    pcre2_match_data_16* data = nullptr;
    pcre2_match_context_16* context = nullptr;
    pcre2_jit_stack_16* jitStack = nullptr;
    TThreadMatchState() {
        data = pcre2_match_data_create_16(1, nullptr);
        context = pcre2_match_context_create_16(nullptr);
        if (context) {
            pcre2_set_match_limit_16(context, TFilterRegex::kMatchLimit);
            pcre2_set_depth_limit_16(context, TFilterRegex::kDepthLimit);
            pcre2_set_heap_limit_16(context, TFilterRegex::kHeapLimitKiB);
            // The default JIT stack (32 KiB) runs out on paths of a few thousand characters
            // even for plain expressions such as "^(.)*x$"; the larger one is committed only
            // as far as it is used.
            jitStack =
                pcre2_jit_stack_create_16(32 * 1024, TFilterRegex::kJitStackKiB * 1024, nullptr);
            if (jitStack) pcre2_jit_stack_assign_16(context, nullptr, jitStack);
        }
    }
    ~TThreadMatchState() {
        pcre2_match_data_free_16(data);
        pcre2_match_context_free_16(context);
        pcre2_jit_stack_free_16(jitStack);
    }
    TThreadMatchState(const TThreadMatchState&) = delete;
    TThreadMatchState& operator=(const TThreadMatchState&) = delete;
};

TThreadMatchState& ThreadMatchState() {
    thread_local TThreadMatchState state;
    return state;
}

std::string ErrorText(int code) {
    PCRE2_UCHAR16 buf[256];
    int n = pcre2_get_error_message_16(code, buf, 256);
    if (n < 0) return "error " + std::to_string(code);
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(buf), size_t(n)));
}

} // namespace

std::shared_ptr<TFilterRegex> TFilterRegex::Compile(std::u16string_view pattern,
                                                    TFilterError* error) {
    int errcode = 0;
    PCRE2_SIZE erroffset = 0;
    const uint32_t options =
        PCRE2_CASELESS | PCRE2_UTF | PCRE2_UCP | PCRE2_MATCH_INVALID_UTF | PCRE2_NEVER_BACKSLASH_C;
    pcre2_code_16* code =
        pcre2_compile_16(Units(pattern), pattern.size(), options, &errcode, &erroffset, nullptr);
    if (!code) {
        if (error) {
            error->pattern.assign(pattern);
            error->message = ErrorText(errcode);
            error->offset = erroffset;
        }
        return nullptr;
    }
    // JIT is an optimisation only: without it the interpreter runs the same expression.
    (void)pcre2_jit_compile_16(code, PCRE2_JIT_COMPLETE);
    std::shared_ptr<TFilterRegex> re(new TFilterRegex());
    re->FCode = code;
    re->FPattern.assign(pattern);
    return re;
}

TFilterRegex::~TFilterRegex() {
    pcre2_code_free_16(static_cast<pcre2_code_16*>(FCode));
}

bool TFilterRegex::Search(std::u16string_view subject) const {
    if (GivenUp()) return false;
    TThreadMatchState& st = ThreadMatchState();
    if (!st.data) return false;
    int rc = pcre2_match_16(static_cast<const pcre2_code_16*>(FCode), Units(subject),
                            subject.size(), 0, 0, st.data, st.context);
    if (rc >= 0) return true; // 0: a match whose offsets did not fit (cannot happen with 1 pair)
    if (rc != PCRE2_ERROR_NOMATCH) FLimitHits.fetch_add(1, std::memory_order_relaxed);
    return false;
}

void CollectGivenUpExpressions(const TFilters_AND& filter, std::vector<TFilterError>& errors) {
    for (const TFilters_OR& group : filter)
        for (const TFilterItem& item : group)
            if (item.regex && item.regex->GivenUp()) {
                TFilterError e;
                e.kind = TFilterErrorKind::RegexGivenUp;
                e.term = item.termtext;
                e.pattern = item.regex->Pattern();
                e.position = item.textpos;
                e.message = tr("the expression kept exceeding the match limits and was given up; "
                               "later names were not matched");
                errors.push_back(std::move(e));
            }
}

std::u16string RegexWithEitherSeparator(std::u16string_view p) {
    static constexpr std::u16string_view kEither = u"[/\\\\]";
    std::u16string out;
    out.reserve(p.size() + 8);
    bool inClass = false;
    size_t i = 0;
    const size_t n = p.size();
    while (i < n) {
        char16_t c = p[i];
        if (c == u'\\' && i + 1 < n) {
            char16_t d = p[i + 1];
            if (d == u'Q') { // \Q...\E: literal text, kept as written
                size_t end = p.find(u"\\E", i + 2);
                size_t stop = end == std::u16string_view::npos ? n : end + 2;
                out.append(p.substr(i, stop - i));
                i = stop;
                continue;
            }
            if (d == u'\\' || d == u'/') {
                out.append(inClass ? std::u16string_view(u"/\\\\") : kEither);
                i += 2;
                continue;
            }
            out.push_back(c);
            out.push_back(d);
            i += 2;
            continue;
        }
        if (inClass) {
            if (c == u'[' && i + 1 < n &&
                (p[i + 1] == u':' || p[i + 1] == u'.' || p[i + 1] == u'=')) {
                // A POSIX class such as [:alpha:]: copied up to its closing ":]".
                char16_t kind = p[i + 1];
                size_t end = p.find(std::u16string{kind, u']'}, i + 2);
                size_t stop = end == std::u16string_view::npos ? n : end + 2;
                out.append(p.substr(i, stop - i));
                i = stop;
                continue;
            }
            if (c == u']') inClass = false;
            if (c == u'/') {
                out.append(u"/\\\\");
                ++i;
                continue;
            }
            out.push_back(c);
            ++i;
            continue;
        }
        if (c == u'[') {
            inClass = true;
            out.push_back(c);
            ++i;
            // A "]" right after "[" or "[^" is a literal member of the class.
            if (i < n && p[i] == u'^') out.push_back(p[i++]);
            if (i < n && p[i] == u']') out.push_back(p[i++]);
            continue;
        }
        if (c == u'/') {
            out.append(kEither);
            ++i;
            continue;
        }
        out.push_back(c);
        ++i;
    }
    return out;
}

} // namespace qz

// Regular-expression terms of the filter language, on PCRE2's 16-bit API.
//
// An expression is compiled once (case-insensitive, Unicode-aware, JIT when available) and is
// then searched unanchored from any number of threads: each thread keeps its own match data.
// Match limits bound the work of one search, and an expression that keeps hitting them stops
// being searched at all, so a catastrophic pattern cannot stall a scan of millions of names.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qz {

struct TFilterError;

class TFilterRegex {
public:
    // Compiles pattern; nil (and *error filled when given) when it does not compile.
    static std::shared_ptr<TFilterRegex> Compile(std::u16string_view pattern,
                                                 TFilterError* error = nullptr);
    ~TFilterRegex();
    TFilterRegex(const TFilterRegex&) = delete;
    TFilterRegex& operator=(const TFilterRegex&) = delete;

    // True when the expression occurs anywhere in subject. A search that exceeds the match
    // limits counts as no match.
    bool Search(std::u16string_view subject) const;

    const std::u16string& Pattern() const { return FPattern; }
    // Searches that ran into the match limits so far; after kMaxLimitHits the expression is
    // given up and every later search answers no match at once.
    uint32_t LimitHits() const { return FLimitHits.load(std::memory_order_relaxed); }
    bool GivenUp() const { return LimitHits() >= kMaxLimitHits; }

    // Per search: backtracking steps, nested backtracking frames and their memory (the
    // interpreter), and the stack of compiled code (JIT). Plain expressions stay far below
    // them on paths of tens of thousands of characters.
    static constexpr uint32_t kMatchLimit = 200000;
    static constexpr uint32_t kDepthLimit = 100000;
    static constexpr uint32_t kHeapLimitKiB = 16384;
    static constexpr uint32_t kJitStackKiB = 4096;
    static constexpr uint32_t kMaxLimitHits = 64;

private:
    TFilterRegex() = default;
    void* FCode = nullptr; // pcre2_code_16
    std::u16string FPattern;
    mutable std::atomic<uint32_t> FLimitHits{0};
};

// The expression with "/" and "\" made interchangeable path separators: outside character
// classes an unescaped "/", an escaped "\/" and an escaped "\\" each become "[/\\]"; inside a
// class, "/" and "\\" each admit the other as well. Everything else is kept as written.
std::u16string RegexWithEitherSeparator(std::u16string_view pattern);

} // namespace qz

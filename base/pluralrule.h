// The plural rule of a gettext catalogue: the header line
// "Plural-Forms: nplurals=N; plural=EXPRESSION;" where EXPRESSION is a C expression in n
// (?:, ||, &&, ==, !=, <, >, <=, >=, +, -, *, /, %, !, parentheses, decimal numbers).
//
// The expression is parsed once into a small node list. Input that is not such an expression
// (unknown characters, trailing text, more than 256 nodes, nesting deeper than 64 levels, so
// that evaluation stays shallow) makes the rule invalid, and an invalid rule falls back to the
// English one (n != 1). Arithmetic is unsigned 64-bit; division by zero gives 0. A form index
// outside 0..nplurals-1 gives the last form.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace qz {

class TPluralRule {
public:
    TPluralRule() = default; // English: two forms, plural = n != 1
    // Parses the value of the "Plural-Forms" header field. False (and the English rule kept)
    // when it cannot be parsed.
    bool Parse(std::string_view pluralForms);

    int FormCount() const { return FForms; }
    // The form index for n, in 0..FormCount()-1.
    int FormFor(uint64_t n) const;

    enum class TOp : uint8_t {
        Num,
        Var,
        Not,
        Neg,
        Mul,
        Div,
        Mod,
        Add,
        Sub,
        Lt,
        Gt,
        Le,
        Ge,
        Eq,
        Ne,
        And,
        Or,
        Cond
    };
    struct TNode {
        TOp Op = TOp::Num;
        uint64_t Value = 0;             // Num
        int32_t A = -1, B = -1, C = -1; // operand nodes
    };

private:
    uint64_t Eval(int node, uint64_t n) const;
    int FForms = 2;
    std::vector<TNode> FNodes; // empty: English rule
    int FRoot = -1;
};

} // namespace qz

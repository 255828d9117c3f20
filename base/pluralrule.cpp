#include "base/pluralrule.h"

#include <string>

namespace qz {

namespace {

constexpr size_t kMaxNodes = 256;
constexpr int kMaxDepth = 64;

// Recursive-descent parser with C precedence:
// cond := or ('?' cond ':' cond)?; or := and ('||' and)*; and := eq ('&&' eq)*;
// eq := rel (('=='|'!=') rel)*; rel := add (('<'|'>'|'<='|'>=') add)*;
// add := mul (('+'|'-') mul)*; mul := unary (('*'|'/'|'%') unary)*;
// unary := ('!'|'-') unary | primary; primary := number | 'n' | '(' cond ')'.
class TParser {
public:
    TParser(std::string_view text, std::vector<TPluralRule::TNode>& nodes)
        : FText(text), FNodes(nodes) {}

    int ParseAll() {
        const int root = Cond(0);
        Skip();
        if (root < 0 || FPos != FText.size()) return -1;
        return root;
    }

private:
    using TOp = TPluralRule::TOp;

    void Skip() {
        while (FPos < FText.size() && (FText[FPos] == ' ' || FText[FPos] == '\t' ||
                                       FText[FPos] == '\n' || FText[FPos] == '\r'))
            ++FPos;
    }
    bool Accept(std::string_view token) {
        Skip();
        if (FText.substr(FPos, token.size()) != token) return false;
        // "<" must not take the first half of "<=", "!" not of "!=".
        if (token.size() == 1 && FPos + 1 < FText.size() && FText[FPos + 1] == '=' &&
            (token == "<" || token == ">" || token == "!" || token == "="))
            return false;
        FPos += token.size();
        return true;
    }
    int Add(TOp op, int a = -1, int b = -1, int c = -1, uint64_t value = 0) {
        if (FNodes.size() >= kMaxNodes) return -1;
        if ((op != TOp::Num && op != TOp::Var && a < 0) || (b < 0 && op >= TOp::Mul) ||
            (op == TOp::Cond && c < 0))
            return -1;
        TPluralRule::TNode node;
        node.Op = op;
        node.Value = value;
        node.A = a;
        node.B = b;
        node.C = c;
        FNodes.push_back(node);
        return int(FNodes.size() - 1);
    }

    int Cond(int depth) {
        if (depth > kMaxDepth) return -1;
        const int test = Binary(0, depth);
        if (test < 0 || !Accept("?")) return test;
        const int yes = Cond(depth + 1);
        if (yes < 0 || !Accept(":")) return -1;
        const int no = Cond(depth + 1);
        return Add(TOp::Cond, test, yes, no);
    }

    // Binary operators by level, lowest precedence first.
    struct TLevel {
        std::string_view Tokens[4];
        TOp Ops[4];
        int Count;
    };
    static const TLevel& Level(int i) {
        static const TLevel levels[] = {
            {{"||"}, {TOp::Or}, 1},
            {{"&&"}, {TOp::And}, 1},
            {{"==", "!="}, {TOp::Eq, TOp::Ne}, 2},
            {{"<=", ">=", "<", ">"}, {TOp::Le, TOp::Ge, TOp::Lt, TOp::Gt}, 4},
            {{"+", "-"}, {TOp::Add, TOp::Sub}, 2},
            {{"*", "/", "%"}, {TOp::Mul, TOp::Div, TOp::Mod}, 3},
        };
        return levels[i];
    }
    static constexpr int kLevels = 6;

    int Binary(int level, int depth) {
        if (level == kLevels) return Unary(depth);
        int left = Binary(level + 1, depth);
        while (left >= 0) {
            const TLevel& l = Level(level);
            int found = -1;
            for (int i = 0; i < l.Count && found < 0; ++i)
                if (Accept(l.Tokens[i])) found = i;
            if (found < 0) break;
            const int right = Binary(level + 1, depth);
            left = Add(l.Ops[found], left, right);
        }
        return left;
    }

    int Unary(int depth) {
        if (depth > kMaxDepth) return -1;
        if (Accept("!")) return Add(TOp::Not, Unary(depth + 1));
        if (Accept("-")) return Add(TOp::Neg, Unary(depth + 1));
        return Primary(depth);
    }

    int Primary(int depth) {
        Skip();
        if (FPos >= FText.size()) return -1;
        const char c = FText[FPos];
        if (c == 'n') {
            ++FPos;
            return Add(TOp::Var);
        }
        if (c >= '0' && c <= '9') {
            uint64_t v = 0;
            while (FPos < FText.size() && FText[FPos] >= '0' && FText[FPos] <= '9') {
                if (v > (UINT64_MAX - 9) / 10) return -1;
                v = v * 10 + uint64_t(FText[FPos++] - '0');
            }
            return Add(TOp::Num, -1, -1, -1, v);
        }
        if (Accept("(")) {
            const int inner = Cond(depth + 1);
            if (inner < 0 || !Accept(")")) return -1;
            return inner;
        }
        return -1;
    }

    std::string_view FText;
    size_t FPos = 0;
    std::vector<TPluralRule::TNode>& FNodes;
};

// The text after "name=" up to the next ";" (or the end); false when name= is absent.
bool FieldValue(std::string_view text, std::string_view name, std::string_view& value) {
    size_t pos = 0;
    while ((pos = text.find(name, pos)) != std::string_view::npos) {
        const bool wordStart =
            pos == 0 || text[pos - 1] == ' ' || text[pos - 1] == ';' || text[pos - 1] == '\t';
        size_t after = pos + name.size();
        while (after < text.size() && text[after] == ' ') ++after;
        if (wordStart && after < text.size() && text[after] == '=') {
            const size_t start = after + 1;
            const size_t end = text.find(';', start);
            value = text.substr(start,
                                end == std::string_view::npos ? text.size() - start : end - start);
            return true;
        }
        pos += name.size();
    }
    return false;
}

} // namespace

bool TPluralRule::Parse(std::string_view pluralForms) {
    std::string_view formsText, expression;
    if (!FieldValue(pluralForms, "nplurals", formsText) ||
        !FieldValue(pluralForms, "plural", expression))
        return false;
    int forms = 0;
    bool digits = false;
    for (char c : formsText) {
        if (c == ' ') continue;
        if (c < '0' || c > '9' || forms > 100) return false;
        forms = forms * 10 + (c - '0');
        digits = true;
    }
    if (!digits || forms < 1 || forms > 100) return false;
    std::vector<TNode> nodes;
    const int root = TParser(expression, nodes).ParseAll();
    if (root < 0) return false;
    FForms = forms;
    FNodes = std::move(nodes);
    FRoot = root;
    return true;
}

uint64_t TPluralRule::Eval(int node, uint64_t n) const {
    const TNode& x = FNodes[size_t(node)];
    switch (x.Op) {
    case TOp::Num:
        return x.Value;
    case TOp::Var:
        return n;
    case TOp::Not:
        return !Eval(x.A, n);
    case TOp::Neg:
        return uint64_t(0) - Eval(x.A, n);
    case TOp::Cond:
        return Eval(x.A, n) ? Eval(x.B, n) : Eval(x.C, n);
    case TOp::And:
        return Eval(x.A, n) && Eval(x.B, n);
    case TOp::Or:
        return Eval(x.A, n) || Eval(x.B, n);
    default:
        break;
    }
    const uint64_t a = Eval(x.A, n), b = Eval(x.B, n);
    switch (x.Op) {
    case TOp::Mul:
        return a * b;
    case TOp::Div:
        return b ? a / b : 0;
    case TOp::Mod:
        return b ? a % b : 0;
    case TOp::Add:
        return a + b;
    case TOp::Sub:
        return a - b;
    case TOp::Lt:
        return a < b;
    case TOp::Gt:
        return a > b;
    case TOp::Le:
        return a <= b;
    case TOp::Ge:
        return a >= b;
    case TOp::Eq:
        return a == b;
    case TOp::Ne:
        return a != b;
    default:
        return 0;
    }
}

int TPluralRule::FormFor(uint64_t n) const {
    if (FRoot < 0) return n == 1 ? 0 : 1;
    const uint64_t form = Eval(FRoot, n);
    return form < uint64_t(FForms) ? int(form) : FForms - 1;
}

} // namespace qz

// Matching many name-pattern terms at once.
//
// A group of a filter may hold thousands of alternative terms (a pasted list of names or
// extensions), and a filter may hold thousands of negated single-term groups ("!a !b ...").
// Tested term by term, every record would cost thousands of comparisons. ParseFilters therefore
// gathers the plain name patterns of such a group into one TFilterTermIndex:
//   - extension tests ("*.jpg"): a sorted list of the folded tails, looked up from every dot
//     of the own name;
//   - "*." (no extension): one flag;
//   - text terms ("log", "\cache\"): an Aho-Corasick automaton over their folded patterns,
//     run once over the folded name (or the folded path in full-path mode);
//   - wildcard terms: the same automaton finds the terms whose longest literal run occurs in
//     the text, and only those are matched in full (terms without any literal always are).
// The index answers whether any of its terms accepts a record, with exactly the answers the
// terms give one by one. Regular expressions, comparisons, keywords and (inside a group of
// several terms) negated terms stay term by term.
#pragma once

#include "filters/filters.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qz {

// Fewest indexable terms for which an index pays (a few terms are quicker one by one).
constexpr size_t kFilterIndexMin = 16;

class TFilterTermIndex {
public:
    // Whether the index stands for one group's terms (any accepts: the group is satisfied)
    // or for several negated single-term groups (any accepts: one of those groups fails).
    enum class TKind : uint8_t { AnyOf, NoneOf };

    // True when term can be tested through an index (a name pattern, not negated, not a
    // regular expression, comparison or keyword).
    static bool Indexable(const TFilterItem& term);

    TFilterTermIndex(TKind kind, bool fullPath) : FKind(kind), FFullPath(fullPath) {}
    // Adds a term (Indexable, apart from its NOTFlag for a NoneOf index); then Finish once.
    void Add(const TFilterItem& term);
    void Finish();

    TKind Kind() const { return FKind; }
    // AnyOf: the positions in its group of the terms it does not answer for (tested one by
    // one when the index accepts nothing). NoneOf: the number of groups it answers for, which
    // follow one another in the filter, starting with the group whose item holds it.
    const std::vector<uint32_t>& OtherTerms() const { return FOtherTerms; }
    size_t Groups() const { return FGroups; }
    // The index holds the terms' answers for this match mode only; in the other mode the
    // terms are tested one by one.
    bool FullPath() const { return FFullPath; }
    size_t Terms() const { return FTerms; }

    // Cheap answers first: a term that accepts everything, "*." on a name without a dot.
    bool AcceptsAny() const { return FAlwaysTrue; }
    bool NoExtensionTerm() const { return FNoExtension; }
    bool NeedsFoldedName() const { return !FTails.empty(); }
    // The folded own name ends with one of the extension tails.
    bool TailMatches(std::u16string_view foldedName) const;
    // Text and wildcard terms need the subject: the folded own name (name-only mode) or the
    // folded full path with a separator after a folder (full-path mode).
    bool NeedsSubject() const { return FHasTexts || !FWild.empty(); }
    bool SubjectMatches(std::u16string_view subject) const;

private:
    struct Node {
        uint32_t firstEdge = 0, edgeCount = 0;
        uint32_t fail = 0;
        uint32_t candidateLink = 0; // nearest node on the fail chain (itself included) that
                                    // ends wildcard literals; 0 = none (the root ends none)
        uint32_t firstCandidate = 0, candidateCount = 0; // into FCandidates
        uint32_t dense = UINT32_MAX; // block of FDense for a node with many children
        bool endsText = false;       // a text term ends here or on the fail chain
    };
    uint32_t Next(uint32_t node, char16_t c) const;
    uint32_t Child(uint32_t node, char16_t c) const;
    uint32_t ChildByEdges(const Node& n, char16_t c) const;

    TKind FKind;
    bool FFullPath;
    size_t FTerms = 0;
    std::vector<uint32_t> FOtherTerms;
    size_t FGroups = 0;
    friend void BuildFilterIndexes(TFilters_AND&, bool, size_t);
    bool FAlwaysTrue = false, FNoExtension = false, FHasTexts = false;
    std::vector<std::u16string> FTails; // sorted, unique
    char16_t FTailStart = u'.';         // the folded dot every tail begins with
    std::vector<std::u16string> FWild;  // wildcard patterns (folded)
    std::vector<uint32_t> FWildAlways;  // patterns without a literal run

    // Built by Add (trie), completed by Finish (edges sorted per node, fail links).
    std::vector<Node> FNodes;
    std::vector<char16_t> FEdgeChar;
    std::vector<uint32_t> FEdgeTarget;
    std::vector<uint32_t> FCandidates;
    // For the root and the nodes with many children, their children for the units below 128
    // (most of a folded path), 128 entries a node: the child or UINT32_MAX. A text step that
    // matches nothing falls back to these nodes, so their look-up is direct.
    std::vector<uint32_t> FDense;
    // The trie while it is built, and the literals that end at its nodes.
    struct BuildEdge {
        uint32_t node;
        char16_t c;
        uint32_t child;
    };
    std::unordered_map<uint64_t, uint32_t> FBuildChildren; // (node << 16 | unit) -> child
    std::vector<BuildEdge> FBuildEdges;
    std::vector<std::pair<uint32_t, uint32_t>> FBuildEnds; // (node, wildcard id)
    std::vector<uint32_t> FBuildTextEnds;                  // nodes where text terms end
    uint32_t Insert(std::u16string_view literal);
};

// Gathers the indexable terms of filter (parsed with fullPath) into indexes: a group with at
// least minTerms such terms gets one, held by its first item, and at least minTerms negated
// single-term groups share one, held by each of them; those groups are moved together (where
// the first of them was; the order of groups does not change what a filter accepts). The
// indexed items are marked indexed.
void BuildFilterIndexes(TFilters_AND& filter, bool fullPath, size_t minTerms = kFilterIndexMin);

// Every term tested one by one, indexes ignored: the reference the indexes must agree with.
bool MatchFiltersTermByTerm(PMFT_RECORD rec, const TFilters_AND& filter, bool fullPath,
                            bool applySizeTerms);

} // namespace qz

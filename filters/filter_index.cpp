// The index of many name-pattern terms: extension tails, text terms and wildcard terms
// through one Aho-Corasick automaton.
#include "filters/filter_index.h"

#include "filters/filter_text.h"

#include <algorithm>
#include <deque>

namespace qz {

namespace {

constexpr uint32_t kNone = UINT32_MAX;
// Nodes with at least this many children get a direct table for the units below 128.
constexpr uint32_t kDenseChildren = 12;

// The longest run of a wildcard pattern without "*" or "?": every text the pattern matches
// contains it.
std::u16string_view LongestLiteral(std::u16string_view pattern) {
    std::u16string_view best;
    size_t start = 0;
    while (start <= pattern.size()) {
        size_t end = pattern.find_first_of(u"*?", start);
        if (end == std::u16string_view::npos) end = pattern.size();
        if (end - start > best.size()) best = pattern.substr(start, end - start);
        start = end + 1;
    }
    return best;
}

// Wildcard terms already matched in full during this query, so that a literal found several
// times in one text costs one full match (per thread; generations save clearing).
struct TCandidateStamps {
    std::vector<uint32_t> stamp;
    uint32_t generation = 0;
    uint32_t Begin(size_t terms) {
        if (stamp.size() < terms) stamp.resize(terms, 0);
        if (++generation == 0) { // wrapped: old stamps could collide
            std::fill(stamp.begin(), stamp.end(), 0);
            generation = 1;
        }
        return generation;
    }
};

TCandidateStamps& CandidateStamps() {
    thread_local TCandidateStamps s;
    return s;
}

// Sets filterhasindex on the filter's first item when the building is done (whichever way
// it ends).
struct MarkedWhenDone {
    TFilters_AND& filter;
    ~MarkedWhenDone() {
        if (filter.empty() || filter.front().empty()) return;
        bool any = false;
        for (const TFilters_OR& g : filter) any = any || (!g.empty() && g.front().termindex);
        filter.front().front().filterhasindex = any;
    }
};

} // namespace

bool TFilterTermIndex::Indexable(const TFilterItem& t) {
    return t.sizeop == 0 && !t.foldersonly && !t.filesonly && !t.dupsonly && !t.isregex;
}

uint32_t TFilterTermIndex::Insert(std::u16string_view literal) {
    if (FNodes.empty()) FNodes.emplace_back(); // the root
    uint32_t node = 0;
    for (char16_t c : literal) {
        const uint64_t key = (uint64_t(node) << 16) | c;
        auto [it, added] = FBuildChildren.try_emplace(key, uint32_t(FNodes.size()));
        if (added) {
            FNodes.emplace_back();
            FBuildEdges.push_back({node, c, it->second});
        }
        node = it->second;
    }
    return node;
}

void TFilterTermIndex::Add(const TFilterItem& t) {
    ++FTerms;
    std::u16string_view p = t.filtertext;
    if (t.FilterNoExtension) {
        FNoExtension = true;
    } else if (t.fileextension) {
        FTailStart = p[1];
        FTails.emplace_back(p.substr(1));
    } else if (t.wildcards) {
        const uint32_t id = uint32_t(FWild.size());
        FWild.emplace_back(p);
        std::u16string_view literal = LongestLiteral(p);
        if (literal.empty())
            FWildAlways.push_back(id);
        else
            FBuildEnds.emplace_back(Insert(literal), id);
    } else if (p.empty()) {
        FAlwaysTrue = true; // an empty text occurs in every name
    } else {
        FHasTexts = true;
        FBuildTextEnds.push_back(Insert(p));
    }
}

void TFilterTermIndex::Finish() {
    std::sort(FTails.begin(), FTails.end());
    FTails.erase(std::unique(FTails.begin(), FTails.end()), FTails.end());
    FBuildChildren = {};
    if (FNodes.empty()) return;

    // Edges sorted by node, then unit: each node's children are a contiguous sorted run.
    std::sort(FBuildEdges.begin(), FBuildEdges.end(), [](const BuildEdge& a, const BuildEdge& b) {
        return a.node != b.node ? a.node < b.node : a.c < b.c;
    });
    FEdgeChar.resize(FBuildEdges.size());
    FEdgeTarget.resize(FBuildEdges.size());
    for (size_t i = 0; i < FBuildEdges.size(); ++i) {
        const BuildEdge& e = FBuildEdges[i];
        Node& n = FNodes[e.node];
        if (n.edgeCount == 0) n.firstEdge = uint32_t(i);
        ++n.edgeCount;
        FEdgeChar[i] = e.c;
        FEdgeTarget[i] = e.child;
    }
    FBuildEdges = {};
    for (size_t i = 0; i < FNodes.size(); ++i) {
        Node& n = FNodes[i];
        if (i != 0 && n.edgeCount < kDenseChildren) continue;
        n.dense = uint32_t(FDense.size() / 128);
        FDense.resize(FDense.size() + 128, kNone);
        for (uint32_t e = n.firstEdge; e < n.firstEdge + n.edgeCount; ++e)
            if (FEdgeChar[e] < 128) FDense[size_t(n.dense) * 128 + FEdgeChar[e]] = FEdgeTarget[e];
    }

    std::vector<bool> textEnd(FNodes.size(), false);
    for (uint32_t n : FBuildTextEnds) textEnd[n] = true;
    FBuildTextEnds = {};
    std::sort(FBuildEnds.begin(), FBuildEnds.end());
    FCandidates.reserve(FBuildEnds.size());
    for (size_t i = 0; i < FBuildEnds.size(); ++i) {
        Node& n = FNodes[FBuildEnds[i].first];
        if (n.candidateCount == 0) n.firstCandidate = uint32_t(FCandidates.size());
        ++n.candidateCount;
        FCandidates.push_back(FBuildEnds[i].second);
    }
    FBuildEnds = {};

    // Fail links breadth first: a node's fail target is shallower, so it is complete before
    // the node inherits from it.
    std::deque<uint32_t> queue;
    queue.push_back(0);
    while (!queue.empty()) {
        const uint32_t u = queue.front();
        queue.pop_front();
        const Node& un = FNodes[u];
        for (uint32_t e = un.firstEdge; e < un.firstEdge + un.edgeCount; ++e) {
            const char16_t c = FEdgeChar[e];
            const uint32_t v = FEdgeTarget[e];
            uint32_t fail = 0;
            if (u != 0) {
                for (uint32_t f = FNodes[u].fail;; f = FNodes[f].fail) {
                    const uint32_t w = Child(f, c);
                    if (w != kNone) {
                        fail = w;
                        break;
                    }
                    if (f == 0) break;
                }
            }
            Node& vn = FNodes[v];
            vn.fail = fail;
            vn.endsText = textEnd[v] || FNodes[fail].endsText;
            vn.candidateLink = vn.candidateCount ? v : FNodes[fail].candidateLink;
            queue.push_back(v);
        }
    }
}

uint32_t TFilterTermIndex::ChildByEdges(const Node& n, char16_t c) const {
    const char16_t* first = FEdgeChar.data() + n.firstEdge;
    const char16_t* last = first + n.edgeCount;
    if (n.edgeCount <= 8) {
        for (const char16_t* p = first; p != last; ++p)
            if (*p == c) return FEdgeTarget[size_t(p - FEdgeChar.data())];
        return kNone;
    }
    const char16_t* p = std::lower_bound(first, last, c);
    return p != last && *p == c ? FEdgeTarget[size_t(p - FEdgeChar.data())] : kNone;
}

inline uint32_t TFilterTermIndex::Child(uint32_t node, char16_t c) const {
    const Node& n = FNodes[node];
    if (c < 128 && n.dense != kNone) return FDense[size_t(n.dense) * 128 + c];
    return n.edgeCount ? ChildByEdges(n, c) : kNone;
}

uint32_t TFilterTermIndex::Next(uint32_t node, char16_t c) const {
    for (;;) {
        const uint32_t w = Child(node, c);
        if (w != kNone) return w;
        if (node == 0) return 0;
        node = FNodes[node].fail;
    }
}

bool TFilterTermIndex::TailMatches(std::u16string_view name) const {
    for (size_t i = name.find(FTailStart); i != std::u16string_view::npos;
         i = name.find(FTailStart, i + 1)) {
        const std::u16string_view tail = name.substr(i);
        auto it = std::lower_bound(FTails.begin(), FTails.end(), tail,
                                   [](const std::u16string& a, std::u16string_view b) {
                                       return std::u16string_view(a) < b;
                                   });
        if (it != FTails.end() && std::u16string_view(*it) == tail) return true;
    }
    return false;
}

bool TFilterTermIndex::SubjectMatches(std::u16string_view subject) const {
    for (uint32_t id : FWildAlways)
        if (filtertext::WildcardMatch(subject, FWild[id])) return true;
    if (FNodes.empty()) return false;
    TCandidateStamps& stamps = CandidateStamps();
    const uint32_t generation = FWild.empty() ? 0 : stamps.Begin(FWild.size());
    uint32_t state = 0;
    for (char16_t c : subject) {
        state = Next(state, c);
        const Node& n = FNodes[state];
        if (n.endsText) return true;
        for (uint32_t k = n.candidateLink; k != 0; k = FNodes[FNodes[k].fail].candidateLink) {
            const Node& kn = FNodes[k];
            for (uint32_t i = kn.firstCandidate; i < kn.firstCandidate + kn.candidateCount; ++i) {
                const uint32_t id = FCandidates[i];
                if (stamps.stamp[id] == generation) continue;
                stamps.stamp[id] = generation;
                if (filtertext::WildcardMatch(subject, FWild[id])) return true;
            }
        }
    }
    return false;
}

void BuildFilterIndexes(TFilters_AND& filter, bool fullPath, size_t minTerms) {
    if (minTerms == 0) minTerms = 1;
    MarkedWhenDone mark{filter};
    for (TFilters_OR& group : filter) {
        size_t n = 0;
        for (const TFilterItem& it : group) n += TFilterTermIndex::Indexable(it) && !it.NOTFlag;
        if (n < minTerms) continue;
        auto index = std::make_shared<TFilterTermIndex>(TFilterTermIndex::TKind::AnyOf, fullPath);
        for (size_t i = 0; i < group.size(); ++i) {
            TFilterItem& it = group[i];
            if (!TFilterTermIndex::Indexable(it) || it.NOTFlag) {
                index->FOtherTerms.push_back(uint32_t(i));
                continue;
            }
            index->Add(it);
            it.indexed = true;
        }
        index->Finish();
        group.front().termindex = std::move(index);
    }
    // "!a !b !c ...": every group holds one negated term; all of them pass exactly when none
    // of the patterns accepts the record.
    const auto negatedSingle = [](const TFilters_OR& g) {
        return g.size() == 1 && g[0].NOTFlag && TFilterTermIndex::Indexable(g[0]);
    };
    std::vector<bool> covered(filter.size());
    size_t count = 0, first = 0;
    for (size_t g = filter.size(); g-- > 0;)
        if ((covered[g] = negatedSingle(filter[g]))) ++count, first = g;
    if (count < minTerms) return;
    // Moved together, where the first of them was, so that matching steps over them at once.
    TFilters_AND ordered;
    ordered.reserve(filter.size());
    for (size_t g = 0; g < filter.size(); ++g) {
        if (g == first)
            for (size_t h = first; h < filter.size(); ++h)
                if (covered[h]) ordered.push_back(std::move(filter[h]));
        if (!covered[g]) ordered.push_back(std::move(filter[g]));
    }
    filter.swap(ordered);
    auto index = std::make_shared<TFilterTermIndex>(TFilterTermIndex::TKind::NoneOf, fullPath);
    index->FGroups = count;
    for (size_t g = first; g < first + count; ++g) index->Add(filter[g][0]);
    index->Finish();
    for (size_t g = first; g < first + count; ++g) {
        filter[g][0].indexed = true;
        filter[g][0].termindex = index;
    }
}

} // namespace qz

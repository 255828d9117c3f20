// Matching records and walk entries against a parsed filter.
#include "filters/filter_index.h"
#include "filters/filter_regex.h"
#include "filters/filter_text.h"
#include "filters/filters.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

namespace qz {

namespace filtertext {

bool ContainsFolding(std::u16string_view text, std::u16string_view pattern) {
    const size_t m = pattern.size(), n = text.size();
    if (m == 0) return true;
    if (n < m) return false;
    const char16_t first = pattern[0];
    const char16_t* s = text.data();
    for (size_t i = 0; i + m <= n; ++i) {
        if (FilterFold(s[i]) != first) continue;
        size_t j = 1;
        while (j < m && FilterFold(s[i + j]) == pattern[j]) ++j;
        if (j == m) return true;
    }
    return false;
}

bool WildcardMatch(std::u16string_view text, std::u16string_view pat) {
    const size_t n = text.size(), m = pat.size();
    // Every unit of the pattern other than "*" takes one unit of text: a pattern that needs
    // more than the text has fails at once (and a very long pattern costs nothing).
    size_t needed = 0;
    for (char16_t c : pat) needed += c != u'*';
    if (needed > n) return false;
    size_t t = 0, p = 0, starP = std::u16string_view::npos, starT = 0;
    while (t < n) {
        if (p < m && pat[p] != u'*' && (pat[p] == u'?' || pat[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < m && pat[p] == u'*') {
            starP = p++;
            starT = t;
        } else if (starP != std::u16string_view::npos) {
            p = starP + 1;
            t = ++starT;
        } else {
            return false;
        }
    }
    while (p < m && pat[p] == u'*') ++p;
    return p == m;
}

} // namespace filtertext

namespace {

using namespace filtertext;

// Longest parent chain followed; a longer (or looping) chain is cut there.
constexpr size_t kMaxDepth = 65536;

bool IsSep(char16_t c) {
    return c == u'/' || c == u'\\';
}

// Paths of folders kept while a TFilterBatch lives: a direct-mapped table, so children of the
// folders met lately (a walk's order, an MFT's order) find their folder's path built, and a
// folder's path is built from its nearest kept ancestor's (the upper folders, shared by
// many, stay kept). Each slot also remembers,
// for the last path-containment terms tested, whether the folder's path already holds them.
struct TParentPaths {
    static constexpr size_t kSlots = 1024;
    static constexpr size_t kMemo = 4;
    struct Slot {
        PMFT_RECORD key = nullptr;
        bool has[2] = {false, false}; // [0] raw, [1] folded
        std::u16string path[2];       // the folder's path with a separator after it
        uint64_t memoSerial[kMemo] = {};
        bool memoValue[kMemo] = {};
        uint8_t memoNext = 0;
    };
    std::unique_ptr<Slot[]> slots; // made when a batch first needs a path
    int batches = 0;
    std::u16string build;

    void Clear() {
        if (slots)
            for (size_t i = 0; i < kSlots; ++i) slots[i].key = nullptr;
    }
    static size_t Index(PMFT_RECORD p) {
        uint64_t h = (uint64_t(reinterpret_cast<uintptr_t>(p)) >> 3) * 0x9E3779B97F4A7C15ull;
        return size_t(h >> 54);
    }
    Slot& For(PMFT_RECORD p) {
        if (!slots) slots = std::make_unique<Slot[]>(kSlots);
        Slot& s = slots[Index(p)];
        if (s.key != p) {
            s.key = p;
            s.has[0] = s.has[1] = false;
            for (uint64_t& m : s.memoSerial) m = 0;
        }
        return s;
    }
    const std::u16string* Peek(PMFT_RECORD p, bool fold) const {
        if (!slots) return nullptr;
        const Slot& s = slots[Index(p)];
        return s.key == p && s.has[fold] ? &s.path[fold] : nullptr;
    }
    // The slot of folder with its path built (from the nearest kept ancestor).
    template <bool Fold> Slot& Folder(PMFT_RECORD folder, std::vector<PMFT_RECORD>& chain) {
        if (slots) {
            Slot& here = slots[Index(folder)];
            if (here.key == folder && here.has[Fold]) return here;
        }
        chain.clear();
        const std::u16string* base = nullptr;
        for (PMFT_RECORD p = folder; p && chain.size() < kMaxDepth; p = p->ParentMFTRec) {
            if (p != folder && (base = Peek(p, Fold))) break;
            chain.push_back(p);
        }
        char16_t sep;
        if (base) {
            build.assign(*base);
            sep = base->back();
        } else {
            std::u16string_view top = chain.back()->Name();
            sep = !top.empty() && top[0] == u'/' ? u'/' : u'\\';
            if (Fold) sep = FilterFold(sep);
            build.clear();
        }
        for (size_t i = chain.size(); i-- > 0;) {
            std::u16string_view n = chain[i]->Name();
            if constexpr (Fold)
                FoldAppend(n, build);
            else
                build.append(n);
            if (n.empty() || !IsSep(n.back())) build.push_back(sep);
            if (i > 0) { // the ancestors' paths too: their other descendants come later
                Slot& a = For(chain[i]);
                a.path[Fold].assign(build);
                a.has[Fold] = true;
            }
        }
        Slot& s = For(folder);
        s.path[Fold].swap(build);
        s.has[Fold] = true;
        return s;
    }
};
static_assert(TParentPaths::kSlots == 1024, "the slot index takes the hash's top 10 bits");

// Scratch of the calling thread, reused call after call.
struct TScratch {
    std::u16string raw, folded, name, tail;
    std::vector<PMFT_RECORD> chain;
    TParentPaths parents;
};
TScratch& Scratch() {
    thread_local TScratch s;
    return s;
}

// The record or entry under test, with its path built at most once.
struct TRecordSubject {
    PMFT_RECORD r;
    std::u16string_view Name() const { return r->Name(); }
    bool Folder() const { return r->IsFolder(); }
    uint64_t Size() const { return r->IsFolder() ? r->SubFoldersTotSize : r->FileSize; }
    uint64_t Alloc() const { return r->IsFolder() ? r->SubFoldersTotSizeAlloc : r->AllocSize; }
    TDateTime Modified() const { return r->ModifiedDate; }
    bool HasDup() const { return DupGroupOf(r) != nullptr; }
    uint64_t DupCount() const {
        const TDUPFILES* g = DupGroupOf(r);
        return g && g->dupcount > 0 ? uint64_t(g->dupcount) : 0;
    }
    uint64_t DupSize() const {
        uint64_t n = DupCount(), size = r->SubFoldersTotSize;
        if (n && size > UINT64_MAX / n) return UINT64_MAX;
        return n * size;
    }
    // The parent's slot when a batch keeps folder paths.
    template <bool Fold> TParentPaths::Slot* ParentSlot() const {
        TScratch& scratch = Scratch();
        PMFT_RECORD parent = r->ParentMFTRec;
        if (!parent || scratch.parents.batches == 0) return nullptr;
        return &scratch.parents.Folder<Fold>(parent, scratch.chain);
    }
    // The full path, a separator after every ancestor and after a folder.
    template <bool Fold> void BuildPath(std::u16string& out) const {
        if (TParentPaths::Slot* slot = ParentSlot<Fold>()) {
            const std::u16string& prefix = slot->path[Fold];
            out.assign(prefix);
            std::u16string_view n = r->Name();
            if constexpr (Fold)
                FoldAppend(n, out);
            else
                out.append(n);
            // Only folders that have children under test are kept: the record under test may
            // still change (a walker reuses the record of an excluded entry).
            if (r->IsFolder() && (n.empty() || !IsSep(n.back()))) out.push_back(prefix.back());
            return;
        }
        std::vector<PMFT_RECORD>& chain = Scratch().chain;
        chain.clear();
        for (PMFT_RECORD p = r; p && chain.size() < kMaxDepth; p = p->ParentMFTRec)
            chain.push_back(p);
        std::u16string_view top = chain.back()->Name();
        const char16_t sep = !top.empty() && top[0] == u'/' ? u'/' : u'\\';
        out.clear();
        for (size_t i = chain.size(); i-- > 0;) {
            std::u16string_view n = chain[i]->Name();
            if constexpr (Fold)
                FoldAppend(n, out);
            else
                out.append(n);
            if ((i > 0 || r->IsFolder()) && (n.empty() || !IsSep(n.back())))
                out.push_back(Fold ? FilterFold(sep) : sep);
        }
    }
    // The folded path contains the pattern of it, without building the path when a batch
    // keeps the parent's: the parent's path (remembered per term) or its end joined to the
    // own name. False in *done when the caller must test the built path itself.
    bool PathContains(const TFilterItem& it, bool& done) const {
        TParentPaths::Slot* slot = ParentSlot<true>();
        done = slot != nullptr;
        if (!slot) return false;
        std::u16string_view pat = it.filtertext;
        const std::u16string& prefix = slot->path[1];
        bool inPrefix = false, known = false;
        if (it.serial) {
            for (size_t i = 0; i < TParentPaths::kMemo; ++i)
                if (slot->memoSerial[i] == it.serial) inPrefix = slot->memoValue[i], known = true;
        }
        if (!known) {
            inPrefix = Contains(prefix, pat);
            if (it.serial) {
                size_t k = slot->memoNext++ % TParentPaths::kMemo;
                slot->memoSerial[k] = it.serial;
                slot->memoValue[k] = inPrefix;
            }
        }
        if (inPrefix) return true;
        if (pat.empty()) return true;
        std::u16string& tail = Scratch().tail;
        size_t keep = std::min(prefix.size(), pat.size() - 1);
        tail.assign(prefix, prefix.size() - keep, keep);
        std::u16string_view n = r->Name();
        FoldAppend(n, tail);
        if (r->IsFolder() && (n.empty() || !IsSep(n.back()))) tail.push_back(prefix.back());
        return Contains(tail, pat);
    }
    bool AncestorsContain(std::u16string_view pattern) const {
        if (TParentPaths::Slot* slot = ParentSlot<true>()) {
            // The pattern holds no separator, so it lies within the folder's path or within
            // the own name, never across both.
            return Contains(slot->path[1], pattern) || ContainsFolding(r->Name(), pattern);
        }
        size_t steps = 0;
        for (PMFT_RECORD p = r; p && steps < kMaxDepth; p = p->ParentMFTRec, ++steps)
            if (ContainsFolding(p->Name(), pattern)) return true;
        return false;
    }
};

struct TEntrySubject {
    const TFilterEntry& e;
    std::u16string_view Name() const { return e.name; }
    bool Folder() const { return e.folder; }
    uint64_t Size() const { return e.size; }
    uint64_t Alloc() const { return e.allocSize; }
    TDateTime Modified() const { return e.modified; }
    bool HasDup() const { return false; }
    uint64_t DupCount() const { return 0; }
    uint64_t DupSize() const { return 0; }
    template <bool Fold> void BuildPath(std::u16string& out) const {
        std::u16string_view base = e.parentPath.empty() ? e.name : e.parentPath;
        const char16_t sep = !base.empty() && base[0] == u'/' ? u'/' : u'\\';
        const char16_t s = Fold ? FilterFold(sep) : sep;
        out.clear();
        if (!e.parentPath.empty()) {
            if constexpr (Fold)
                FoldAppend(e.parentPath, out);
            else
                out.append(e.parentPath);
            if (!IsSep(e.parentPath.back())) out.push_back(s);
        }
        if constexpr (Fold)
            FoldAppend(e.name, out);
        else
            out.append(e.name);
        if (e.folder && (e.name.empty() || !IsSep(e.name.back()))) out.push_back(s);
    }
    bool AncestorsContain(std::u16string_view pattern) const {
        return ContainsFolding(e.name, pattern) || ContainsFolding(e.parentPath, pattern);
    }
    bool PathContains(const TFilterItem&, bool& done) const {
        done = false;
        return false;
    }
};

template <class T> bool Compare(int32_t op, T value, T with) {
    switch (op) {
    case 1:
        return value == with;
    case 2:
        return value > with;
    case 3:
        return value >= with;
    case 4:
        return value < with;
    case 5:
        return value <= with;
    default:
        return false;
    }
}

template <class S> class TMatcher {
public:
    TMatcher(const S& s, bool fullPath, bool apply) : FS(s), FFullPath(fullPath), FApply(apply) {}

    bool Term(const TFilterItem& it) { return Evaluate(it) != it.NOTFlag; }

    // Some term of index accepts the subject (NOTFlag aside: a NoneOf index holds the
    // negated terms' patterns).
    bool IndexAccepts(const TFilterTermIndex& index) {
        if (index.AcceptsAny()) return true;
        if (index.NoExtensionTerm() && FS.Name().find(u'.') == std::u16string_view::npos)
            return true;
        if (index.NeedsFoldedName() && index.TailMatches(FoldedName())) return true;
        if (index.NeedsSubject())
            return index.SubjectMatches(FFullPath ? std::u16string_view(FoldedPath())
                                                  : std::u16string_view(FoldedName()));
        return false;
    }

private:
    const S& FS;
    const bool FFullPath, FApply;
    bool FRawBuilt = false, FFoldedBuilt = false, FNameFolded = false;

    const std::u16string& RawPath() {
        std::u16string& raw = Scratch().raw;
        if (!FRawBuilt) FS.template BuildPath<false>(raw), FRawBuilt = true;
        return raw;
    }
    const std::u16string& FoldedPath() {
        std::u16string& f = Scratch().folded;
        if (!FFoldedBuilt) FS.template BuildPath<true>(f), FFoldedBuilt = true;
        return f;
    }
    const std::u16string& FoldedName() {
        std::u16string& n = Scratch().name;
        if (!FNameFolded) {
            n.clear();
            FoldAppend(FS.Name(), n);
            FNameFolded = true;
        }
        return n;
    }
    bool PathBuilt() const { return FRawBuilt || FFoldedBuilt; }

    bool Evaluate(const TFilterItem& it) {
        if (it.foldersonly) return !FApply || FS.Folder();
        if (it.filesonly) return !FS.Folder();
        if (it.dupsonly) return FS.HasDup();
        if (it.sizeop != 0) return Comparison(it);
        std::u16string_view pat = it.filtertext;
        if (!FFullPath) {
            if (it.isregex) return it.regex && it.regex->Search(FS.Name());
            if (it.FilterNoExtension) return FS.Name().find(u'.') == std::u16string_view::npos;
            if (it.fileextension) return EndsWithFolding(FS.Name(), pat.substr(1));
            if (it.wildcards) return WildcardMatch(FoldedName(), pat);
            return ContainsFolding(FS.Name(), pat);
        }
        if (it.isregex) return it.regex && it.regex->Search(RawPath());
        if (!it.wildcards && !it.backslash) {
            if (FFoldedBuilt) return Contains(FoldedPath(), pat);
            return FS.AncestorsContain(pat);
        }
        if (it.fileextension) return EndsWithFolding(FS.Name(), pat.substr(1));
        if (it.FilterNoExtension) return FS.Name().find(u'.') == std::u16string_view::npos;
        if (it.wildcards) return WildcardMatch(FoldedPath(), pat);
        if (!FFoldedBuilt) {
            bool done = false;
            bool r = FS.PathContains(it, done);
            if (done) return r;
        }
        return Contains(FoldedPath(), pat);
    }

    bool Comparison(const TFilterItem& it) {
        switch (it.sizeoptype) {
        case 1:
            return !FApply || Compare(it.sizeop, FS.Size(), it.sizebytes);
        case 2:
            return !FApply || Compare(it.sizeop, FS.Alloc(), it.sizebytes);
        case 3: {
            double day = std::trunc(FS.Modified() + FilterLocalTimeOffset());
            return Compare(it.sizeop, day, double(it.sodate));
        }
        case 4:
            return Compare(it.sizeop, uint64_t(FS.Name().size()), it.sizebytes);
        case 5: {
            const std::u16string& p = RawPath();
            uint64_t len = p.size();
            if (len && IsSep(p.back())) --len;
            return Compare(it.sizeop, len, it.sizebytes);
        }
        case 6:
            return Compare(it.sizeop, FS.DupCount(), it.sizebytes);
        case 7:
            return Compare(it.sizeop, FS.DupSize(), it.sizebytes);
        default:
            return false;
        }
    }
};

// The plain loop: every term tested in turn, the first accepting term satisfying its group.
// Inlined into each caller, where the subject stays in registers.
template <class S>
[[gnu::always_inline]] inline bool MatchTermByTerm(const S& s, const TFilters_AND& filter,
                                                   bool fullPath, bool apply) {
    TMatcher<S> m(s, fullPath, apply);
    for (const TFilters_OR& group : filter) {
        bool ok = false;
        for (const TFilterItem& it : group) {
            if (m.Term(it)) {
                ok = true;
                break;
            }
        }
        if (!ok) return false;
    }
    return true;
}

// A filter with indexes: an indexed group is answered by its index, then by the terms the
// index does not hold; a NoneOf index answers for its whole run of negated groups.
template <class S>
[[gnu::noinline]] bool MatchIndexed(const S& s, const TFilters_AND& filter, bool fullPath,
                                    bool apply) {
    TMatcher<S> m(s, fullPath, apply);
    for (size_t g = 0; g < filter.size(); ++g) {
        const TFilters_OR& group = filter[g];
        const TFilterTermIndex* index = group.empty() ? nullptr : group.front().termindex.get();
        bool ok = false;
        if (index && index->FullPath() == fullPath) {
            if (index->Kind() == TFilterTermIndex::TKind::NoneOf) {
                // This group and the next Groups() - 1: one negated pattern each.
                if (m.IndexAccepts(*index)) return false;
                g += index->Groups() - 1;
                continue;
            }
            ok = m.IndexAccepts(*index);
            for (size_t k = 0; !ok && k < index->OtherTerms().size(); ++k)
                ok = m.Term(group[index->OtherTerms()[k]]);
        } else {
            for (size_t k = 0; !ok && k < group.size(); ++k) ok = m.Term(group[k]);
        }
        if (!ok) return false;
    }
    return true;
}

bool HasIndex(const TFilters_AND& filter) {
    return !filter.front().empty() && filter.front().front().filterhasindex;
}

} // namespace

TFilterBatch::TFilterBatch() {
    TParentPaths& p = Scratch().parents;
    if (p.batches++ == 0) p.Clear();
}

TFilterBatch::~TFilterBatch() {
    TParentPaths& p = Scratch().parents;
    if (--p.batches == 0) p.Clear();
}

// The plain loop is inlined into each caller, the indexed one is not: filters of a few terms
// keep the short path they always had.
bool MatchFilters(PMFT_RECORD rec, const TFilters_AND& filter, bool fullPath, bool applySizeTerms) {
    if (filter.empty()) return true;
    if (!rec) return false;
    if (HasIndex(filter))
        return MatchIndexed(TRecordSubject{rec}, filter, fullPath, applySizeTerms);
    return MatchTermByTerm(TRecordSubject{rec}, filter, fullPath, applySizeTerms);
}

bool MatchFiltersTermByTerm(PMFT_RECORD rec, const TFilters_AND& filter, bool fullPath,
                            bool applySizeTerms) {
    if (filter.empty()) return true;
    if (!rec) return false;
    return MatchTermByTerm(TRecordSubject{rec}, filter, fullPath, applySizeTerms);
}

bool MatchFilters(const TFilterEntry& entry, const TFilters_AND& filter, bool fullPath,
                  bool applySizeTerms) {
    if (filter.empty()) return true;
    if (HasIndex(filter))
        return MatchIndexed(TEntrySubject{entry}, filter, fullPath, applySizeTerms);
    return MatchTermByTerm(TEntrySubject{entry}, filter, fullPath, applySizeTerms);
}

} // namespace qz

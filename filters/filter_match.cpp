// Matching records and walk entries against a parsed filter.
#include "filters/filter_regex.h"
#include "filters/filter_text.h"
#include "filters/filters.h"

#include <cmath>
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

// Scratch of the calling thread, reused call after call.
struct TScratch {
    std::u16string raw, folded, name;
    std::vector<PMFT_RECORD> chain;
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
    bool HasDup() const { return r->DupFiles != nullptr; }
    uint64_t DupCount() const {
        return r->DupFiles && r->DupFiles->dupcount > 0 ? uint64_t(r->DupFiles->dupcount) : 0;
    }
    uint64_t DupSize() const {
        uint64_t n = DupCount(), size = r->SubFoldersTotSize;
        if (n && size > UINT64_MAX / n) return UINT64_MAX;
        return n * size;
    }
    // The full path, a separator after every ancestor and after a folder.
    template <bool Fold> void BuildPath(std::u16string& out) const {
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
    bool AncestorsContain(std::u16string_view pattern) const {
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

template <class S>
bool MatchSubject(const S& s, const TFilters_AND& filter, bool fullPath, bool apply) {
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

} // namespace

bool MatchFilters(PMFT_RECORD rec, const TFilters_AND& filter, bool fullPath, bool applySizeTerms) {
    if (filter.empty()) return true;
    if (!rec) return false;
    return MatchSubject(TRecordSubject{rec}, filter, fullPath, applySizeTerms);
}

bool MatchFilters(const TFilterEntry& entry, const TFilters_AND& filter, bool fullPath,
                  bool applySizeTerms) {
    if (filter.empty()) return true;
    return MatchSubject(TEntrySubject{entry}, filter, fullPath, applySizeTerms);
}

} // namespace qz

#include "engine/tree.h"

#include "engine/collation.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace qz {

bool IsAncestor(PMFT_RECORD a, PMFT_RECORD r) {
    if (!r) return false;
    // Any depth; a chain that loops is found by moving a mark to the current step after 1, 2,
    // 4, ... steps (Brent): once inside the loop the walk meets the mark again.
    PMFT_RECORD mark = r;
    size_t steps = 0, stride = 1;
    for (PMFT_RECORD p = r->ParentMFTRec;; p = p->ParentMFTRec) {
        if (p == a) return true;
        if (!p || p == mark) return false;
        if (++steps == stride) {
            mark = p;
            steps = 0;
            stride *= 2;
        }
    }
}

static PMFT_RECORD TopOf(PMFT_RECORD r) {
    while (r && r->ParentMFTRec) r = r->ParentMFTRec;
    return r;
}

char16_t PathSeparatorOf(PMFT_RECORD r) {
    PMFT_RECORD top = TopOf(r);
    return top && top->Filename && top->Filename[0] == u'/' ? u'/' : u'\\';
}

void AppendRecordPath(PMFT_RECORD rec, std::u16string& out, bool parentOnly, bool trailingSlash) {
    if (!rec) return;
    if (!rec->ParentMFTRec) {
        std::u16string_view n = rec->Name();
        out.append(n);
        if (n.size() == 2 && n[1] == u':') out.push_back(u'\\');
        return;
    }
    // Collect the ancestors bottom-up on a small stack, then write them top-down.
    PMFT_RECORD stackBuf[64];
    std::vector<PMFT_RECORD> big;
    size_t depth = 0;
    for (PMFT_RECORD p = rec->ParentMFTRec; p; p = p->ParentMFTRec) {
        if (depth < 64)
            stackBuf[depth] = p;
        else {
            if (big.empty()) big.assign(stackBuf, stackBuf + 64);
            big.push_back(p);
        }
        ++depth;
    }
    PMFT_RECORD top = depth <= 64 ? stackBuf[depth - 1] : big.back();
    const char16_t sep = top->Filename && top->Filename[0] == u'/' ? u'/' : u'\\';
    for (size_t i = depth; i-- > 0;) {
        PMFT_RECORD p = depth <= 64 ? stackBuf[i] : big[i];
        std::u16string_view n = p->Name();
        out.append(n);
        if (n.empty() || n.back() != sep) out.push_back(sep);
    }
    if (!parentOnly) {
        out.append(rec->Name());
        if (trailingSlash && rec->IsFolder()) out.push_back(sep);
    }
}

std::u16string GetRecordPath(PMFT_RECORD rec, bool parentOnly, bool trailingSlash) {
    std::u16string s;
    AppendRecordPath(rec, s, parentOnly, trailingSlash);
    return s;
}

PMFT_RECORD FindRecordByPath(PMFT_RECORD rec, std::u16string_view path, char16_t sep) {
    while (rec && !rec->Children().empty()) {
        size_t cut = path.find(sep);
        std::u16string_view first = path.substr(0, cut);
        std::u16string_view rest =
            cut == std::u16string_view::npos ? std::u16string_view() : path.substr(cut + 1);
        PMFT_RECORD found = nullptr;
        for (PMFT_RECORD c : rec->Children()) {
            if (c && CompareNames(first, c->Name()) == 0) {
                found = c;
                break;
            }
        }
        if (!found || rest.empty()) return found;
        rec = found;
        path = rest;
    }
    return nullptr;
}

void SortChildrenByName(PMFT_RECORD p) {
    if (!p) return;
    // An explicit stack copes with any depth.
    std::vector<PMFT_RECORD> stack{p};
    while (!stack.empty()) {
        PMFT_RECORD r = stack.back();
        stack.pop_back();
        auto ch = r->Children();
        if (ch.empty()) continue;
        std::stable_sort(ch.begin(), ch.end(),
                         [](PMFT_RECORD a, PMFT_RECORD b) { return CompareByName(a, b) < 0; });
        for (PMFT_RECORD c : ch)
            if (c && !c->Children().empty()) stack.push_back(c);
    }
}

void NumberInChildOrder(PMFT_RECORD p, int32_t& index) {
    if (!p) return;
    std::vector<PMFT_RECORD> stack{p};
    while (!stack.empty()) {
        PMFT_RECORD r = stack.back();
        stack.pop_back();
        r->SortNameIndex = index++;
        auto ch = r->Children();
        for (size_t i = ch.size(); i-- > 0;) stack.push_back(ch[i]);
    }
}

void SetNameSortIndex(PMFT_RECORD p, int32_t& index) {
    SortChildrenByName(p);
    NumberInChildOrder(p, index);
}

// ---------------------------------------------------------------- orderings

namespace {
template <class T> int Desc(T a, T b) {
    return a > b ? -1 : a < b ? 1 : 0;
}
template <class T> int Asc(T a, T b) {
    return a < b ? -1 : a > b ? 1 : 0;
}
} // namespace

#define QZ_NIL_CHECK(a, b)                                                                         \
    if (!(a) || !(b)) return (a) == (b) ? 0 : (a) ? -1 : 1

int CompareBySize(PMFT_RECORD a, PMFT_RECORD b) {
    QZ_NIL_CHECK(a, b);
    if (int c = Desc(a->SubFoldersTotSize, b->SubFoldersTotSize)) return c;
    return Asc(a->SortNameIndex, b->SortNameIndex);
}

int CompareByAllocated(PMFT_RECORD a, PMFT_RECORD b) {
    QZ_NIL_CHECK(a, b);
    if (int c = Desc(a->SubFoldersTotSizeAlloc, b->SubFoldersTotSizeAlloc)) return c;
    return Asc(a->SortNameIndex, b->SortNameIndex);
}

int CompareByModified(PMFT_RECORD a, PMFT_RECORD b) {
    QZ_NIL_CHECK(a, b);
    if (int c = Desc(a->ModifiedDate, b->ModifiedDate)) return c;
    return Asc(a->SortNameIndex, b->SortNameIndex);
}

int CompareByAttributes(PMFT_RECORD a, PMFT_RECORD b) {
    QZ_NIL_CHECK(a, b);
    if (int c = Desc(a->DOSAttrib, b->DOSAttrib)) return c;
    return Asc(a->SortNameIndex, b->SortNameIndex);
}

int CompareByName(PMFT_RECORD a, PMFT_RECORD b) {
    QZ_NIL_CHECK(a, b);
    if (int c = CompareNames(a->Filename, b->Filename)) return c;
    return Asc(a->SortNameIndex, b->SortNameIndex);
}

int CompareBySortIndex(PMFT_RECORD a, PMFT_RECORD b) {
    QZ_NIL_CHECK(a, b);
    return Asc(a->SortNameIndex, b->SortNameIndex);
}

int CompareForDuplicates(PMFT_RECORD a, PMFT_RECORD b) {
    QZ_NIL_CHECK(a, b);
    if (int c = CompareNames(a->Filename, b->Filename)) return c < 0 ? -1 : 1;
    if (int c = Desc(a->SubFoldersTotSize, b->SubFoldersTotSize)) return c;
    int64_t na = int64_t(a->SubFoldersNumFiles()) + a->SubFoldersNumDirs();
    int64_t nb = int64_t(b->SubFoldersNumFiles()) + b->SubFoldersNumDirs();
    if (int c = Desc(na, nb)) return c;
    if (std::fabs(a->ModifiedDate - b->ModifiedDate) >= 1e-5)
        if (int c = Desc(a->ModifiedDate, b->ModifiedDate)) return c;
    return Asc(a->SortNameIndex, b->SortNameIndex);
}

int CompareByDupCount(PMFT_RECORD a, PMFT_RECORD b) {
    QZ_NIL_CHECK(a, b);
    const TDUPFILES* ga = DupGroupOf(a);
    const TDUPFILES* gb = DupGroupOf(b);
    if (!ga != !gb) return ga ? -1 : 1;
    if (ga)
        if (int c = Desc(ga->dupcount, gb->dupcount)) return c;
    return Desc(a->SortNameIndex, b->SortNameIndex);
}

int CompareByDupSize(PMFT_RECORD a, PMFT_RECORD b) {
    QZ_NIL_CHECK(a, b);
    const TDUPFILES* ga = DupGroupOf(a);
    const TDUPFILES* gb = DupGroupOf(b);
    if (!ga != !gb) return ga ? -1 : 1;
    if (ga) {
        unsigned __int128 sa = (unsigned __int128)ga->dupcount * a->SubFoldersTotSize;
        unsigned __int128 sb = (unsigned __int128)gb->dupcount * b->SubFoldersTotSize;
        if (int c = Desc(sa, sb)) return c;
    }
    return Desc(a->SortNameIndex, b->SortNameIndex);
}

} // namespace qz

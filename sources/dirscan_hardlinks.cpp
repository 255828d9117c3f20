#include "sources/dirscan_hardlinks.h"

#include <algorithm>

namespace qz::dirscan {

namespace {
size_t Depth(PMFT_RECORD r) {
    size_t d = 0;
    for (; r->ParentMFTRec; r = r->ParentMFTRec) ++d;
    return d;
}
} // namespace

bool PathComesFirst(PMFT_RECORD a, PMFT_RECORD b) {
    if (a == b) return false;
    const size_t da = Depth(a), db = Depth(b);
    PMFT_RECORD x = a, y = b;
    for (size_t d = da; d > db; --d) x = x->ParentMFTRec;
    for (size_t d = db; d > da; --d) y = y->ParentMFTRec;
    if (x == y) return da < db; // one holds the other
    while (x->ParentMFTRec != y->ParentMFTRec) {
        x = x->ParentMFTRec;
        y = y->ParentMFTRec;
    }
    return x->Name() < y->Name();
}

int64_t THardLinkNames::Resolve() {
    std::sort(FNames.begin(), FNames.end(), [](const TName& a, const TName& b) {
        return a.Dev != b.Dev ? a.Dev < b.Dev : a.Ino < b.Ino;
    });
    int64_t marked = 0;
    for (size_t i = 0; i < FNames.size();) {
        size_t j = i + 1;
        while (j < FNames.size() && FNames[j].Dev == FNames[i].Dev &&
               FNames[j].Ino == FNames[i].Ino)
            ++j;
        if (j - i > 1) {
            PMFT_RECORD first = FNames[i].Rec;
            for (size_t k = i + 1; k < j; ++k)
                if (PathComesFirst(FNames[k].Rec, first)) first = FNames[k].Rec;
            for (size_t k = i; k < j; ++k) {
                PMFT_RECORD r = FNames[k].Rec;
                r->DoNotCountFlag = r != first;
                marked += r != first ? 1 : 0;
            }
        }
        i = j;
    }
    Clear();
    return marked;
}

void THardLinkNames::Clear() {
    FNames.clear();
    FNames.shrink_to_fit();
}

} // namespace qz::dirscan

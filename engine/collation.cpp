#include "engine/collation.h"

#include <clocale>
#include <cwctype>
#include <fstream>
#include <locale.h>
#include <mutex>
#include <vector>

namespace qz {

TCollationTable NameCollationTable = [] {
    TCollationTable t{};
    BuildDefaultCollationTable(t);
    return t;
}();

namespace {
const char16_t kAccented[] = u"àáâãäçèéêëìíîïñòóôõöùúûüýÿÀÁÂÃÄÇÈÉÊËÌÍÎÏÑÒÓÔÕÖÙÚÛÜÝ";
const char16_t kPlain[] = u"aaaaaceeeeiiiinooooouuuuyyaaaaaceeeeiiiinooooouuuuy";
static_assert(sizeof(kAccented) == sizeof(kPlain));
} // namespace

void FoldCollationTable(TCollationTable& table) {
    constexpr size_t n = sizeof(kAccented) / sizeof(char16_t) - 1;
    for (auto& v : table) {
        // Every accented letter folded here lies in U+00C0..U+00FF; the table is built at
        // start-up, where looking up all 65536 units in the list took a few milliseconds.
        if (v < 0xC0 || v > 0xFF) continue;
        for (size_t i = 0; i < n; ++i) {
            if (v == kAccented[i]) {
                v = kPlain[i];
                break;
            }
        }
    }
    for (char16_t c = u'a'; c <= u'z'; ++c) table[c] = c;
    for (char16_t c = u'A'; c <= u'Z'; ++c) table[c] = char16_t(c - u'A' + u'a');
}

void BuildDefaultCollationTable(TCollationTable& table) {
    // Unicode simple upper-case mapping from the C library's UTF-8 locale.
    locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
    if (!loc) loc = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", locale_t(0));
    for (uint32_t c = 0; c < 65536; ++c) {
        char16_t u = char16_t(c);
        if (c >= 0xD800 && c <= 0xDFFF) {
            u = char16_t(c);
        } else if (loc) {
            wint_t w = towupper_l(wint_t(c), loc);
            u = w < 0x10000 ? char16_t(w) : char16_t(c);
        } else if (c >= 'a' && c <= 'z') {
            u = char16_t(c - 32);
        } else if ((c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
            u = char16_t(c - 32);
        }
        table[c] = u;
    }
    if (loc) freelocale(loc);
    FoldCollationTable(table);
}

bool InitNameCollationTable(const std::string& programDir) {
    std::string path = programDir.empty() ? std::string("upcase.dat") : programDir + "/upcase.dat";
    std::ifstream f(path, std::ios::binary);
    if (f) {
        f.seekg(0, std::ios::end);
        if (f.tellg() == std::streamoff(131072)) {
            f.seekg(0);
            std::vector<unsigned char> buf(131072);
            if (f.read(reinterpret_cast<char*>(buf.data()), 131072)) {
                for (size_t i = 0; i < 65536; ++i)
                    NameCollationTable[i] = char16_t(buf[2 * i] | (buf[2 * i + 1] << 8));
                return true;
            }
        }
    }
    BuildDefaultCollationTable(NameCollationTable);
    return false;
}

void LoadCollationFromUpcase(const uint8_t* data, size_t bytes) {
    size_t units = bytes / 2 > 65536 ? 65536 : bytes / 2;
    for (size_t i = 0; i < 65536; ++i)
        NameCollationTable[i] =
            i < units ? char16_t(data[2 * i] | (data[2 * i + 1] << 8)) : char16_t(i);
    FoldCollationTable(NameCollationTable);
}

const TCollationTable& DefaultFoldTable() {
    static const TCollationTable t = [] {
        TCollationTable x{};
        BuildDefaultCollationTable(x);
        return x;
    }();
    return t;
}

int CompareNames(const char16_t* a, const char16_t* b) {
    if (a && b) {
        const char16_t* t = NameCollationTable.data();
        for (size_t i = 0;; ++i) {
            int x = t[a[i]], y = t[b[i]];
            if (x != y) return x - y;
            if (a[i] == 0) return 0;
        }
    }
    if (a) return 1;
    if (b) return -1;
    return 0;
}

int CompareNames(std::u16string_view a, std::u16string_view b) {
    const char16_t* t = NameCollationTable.data();
    size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        int x = t[a[i]], y = t[b[i]];
        if (x != y) return x - y;
    }
    // The shorter name ends with a NUL, which folds to 0.
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? int(t[0]) - int(t[b[n]]) : int(t[a[n]]) - int(t[0]);
}

} // namespace qz

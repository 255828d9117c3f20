// Helpers of the MFT source tests: scanning a path to a totalled tree, a comparable picture of
// a tree, and reading The Sleuth Kit's listings.
#pragma once

#include "base/datetime.h"
#include "base/text.h"
#include "engine/scan.h"
#include "engine/tree.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace qz::test {

// Construct, run the pass and total: what the program does with an MFT source.
inline std::unique_ptr<TNTFS_FILES> ScanMft(const std::string& path,
                                            const std::u16string& rootName = u"") {
    auto s = std::make_unique<TNTFS_FILES>(Utf8ToUtf16(path));
    s->FRootName = rootName;
    s->ProcessMFTRecords();
    s->CalculateDirSizes();
    return s;
}

// Path of r below its root, with "/" separators.
inline std::string RelPath(PMFT_RECORD r) {
    std::string p = Utf16ToUtf8(GetRecordPath(r));
    PMFT_RECORD top = r;
    while (top->ParentMFTRec) top = top->ParentMFTRec;
    std::string root = Utf16ToUtf8(GetRecordPath(top));
    p = p.substr(root.size());
    if (!p.empty() && (p[0] == '\\' || p[0] == '/')) p.erase(0, 1);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

struct ItemSig {
    bool dir = false;
    uint64_t size = 0, alloc = 0, totSize = 0, totAlloc = 0;
    int64_t mtime = 0; // seconds
    bool doNotCount = false;
    int files = 0, dirs = 0;
    bool operator==(const ItemSig&) const = default;
};
inline std::ostream& operator<<(std::ostream& o, const ItemSig& s) {
    return o << (s.dir ? "dir" : "file") << " size=" << s.size << " alloc=" << s.alloc
             << " tot=" << s.totSize << "/" << s.totAlloc << " mtime=" << s.mtime
             << " dnc=" << s.doNotCount << " files=" << s.files << " dirs=" << s.dirs;
}

// Every record of a finished scan by relative path (hard links: "path" of each name).
inline std::map<std::string, ItemSig> TreeOf(TNTFS_FILES& s) {
    std::map<std::string, ItemSig> out;
    for (PMFT_RECORD r : s.FFileList) {
        if (!r) continue;
        ItemSig g;
        g.dir = r->IsFolder();
        g.size = r->FileSize;
        g.alloc = r->AllocSize;
        g.totSize = r->SubFoldersTotSize;
        g.totAlloc = r->SubFoldersTotSizeAlloc;
        g.mtime = int64_t((r->ModifiedDate - kUnixEpoch) * 86400.0 + 0.5);
        g.doNotCount = r->DoNotCountFlag;
        g.files = r->SubFoldersNumFiles();
        g.dirs = r->SubFoldersNumDirs();
        out[RelPath(r)] = g;
    }
    return out;
}

// Differences between two trees, at most a few, for failure messages.
inline std::string TreeDiff(const std::map<std::string, ItemSig>& a,
                            const std::map<std::string, ItemSig>& b) {
    std::ostringstream o;
    int n = 0;
    for (auto& [p, g] : a) {
        auto it = b.find(p);
        if (it == b.end()) {
            o << "only in first: " << p << "\n";
        } else if (!(it->second == g)) {
            o << p << ": " << g << " vs " << it->second << "\n";
        } else {
            continue;
        }
        if (++n == 8) return o.str();
    }
    for (auto& [p, g] : b)
        if (!a.count(p)) {
            o << "only in second: " << p << "\n";
            if (++n == 8) break;
        }
    return o.str();
}

struct ListedItem {
    bool dir = false;
    uint64_t size = 0;
};

// In-use items of a "fls -r -p -l" listing by path; alternate streams only mark their file,
// deleted entries and virtual folders are left out.
inline std::map<std::string, ListedItem> ReadFlsListing(const std::string& path) {
    std::map<std::string, ListedItem> out;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line)) {
        std::vector<std::string> col;
        std::stringstream ss(line);
        std::string c;
        while (std::getline(ss, c, '\t')) col.push_back(c);
        if (col.size() < 7) continue;
        const std::string& head = col[0];
        if (head.find('*') != std::string::npos || head.rfind("V/V", 0) == 0) continue;
        std::string p = col[1];
        if (p.rfind("$OrphanFiles", 0) == 0) continue;
        size_t slash = p.rfind('/');
        size_t colon = p.find(':', slash == std::string::npos ? 0 : slash);
        bool stream = colon != std::string::npos;
        if (stream) p.resize(colon);
        ListedItem& e = out[p];
        if (stream) continue;
        e.dir = head[0] == 'd' || head[2] == 'd';
        e.size = std::stoull(col[6]);
    }
    return out;
}

} // namespace qz::test

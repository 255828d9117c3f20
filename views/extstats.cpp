#include "views/extstats.h"

#include "filters/filters.h"

#include <algorithm>
#include <cmath>
#include <tuple>
#include <unordered_map>

namespace qz {

namespace {

constexpr char16_t AsciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

// Rounds to the nearest integer, halves to even.
double RoundEven(double v) {
    return std::nearbyint(v);
}

} // namespace

const TTM_PALETTE& DefaultPalette() {
    // The base colours #DC7212, #C6CB06, #1B9327, #6D28A5, #972B56, #127CDC, #0B06CB, #931B87,
    // #C40D0D, #6C9628, #16E2B3, #603E15 passed through AdjustLuminance with 0.7, 0.7, 0.8,
    // 1.0, 0.9, 0.9, 1.6, 1.1, 0.9, 0.7, 0.7, 1.0; slot 12 as is.
    static const TTM_PALETTE p = {0x9B500C, 0x8B8E04, 0x16751F, 0x6D28A5, 0x87264D,
                                  0x0F70C6, 0x5852FA, 0xA31D96, 0xB10C0B, 0x4D691C,
                                  0x0F9E7E, 0x613F15, 0x484848};
    return p;
}

const TTM_PALETTE& ColorBlindPalette() {
    static const TTM_PALETTE p = {0x88CCEE, 0x44AA99, 0x332288, 0x117733, 0x999933,
                                  0xDDCC77, 0xCC6677, 0xAA4499, 0x882255, 0x202020,
                                  0x202020, 0x202020, 0x202020};
    return p;
}

const TTM_FILEEXTENSIONS& DefaultFileExtensions() {
    static const TTM_FILEEXTENSIONS e = {u"mp3,ogg,wav,wma",
                                         u"mkv,mp4,mpeg,mpg,mov,ogm,ogv,swf,webm,wmv",
                                         u"bmp,gif,jpeg,jpg,pcx,png,tga,tif,tiff",
                                         u"7z,ace,arj,cab,gz,gzip,jar,rar,tar,tgz,z,zip",
                                         u"exe",
                                         u"dll",
                                         u"sys",
                                         u"txt,log",
                                         u"vdi,vhd,vhdx,qcow",
                                         u"iso,nrg,bin",
                                         u"doc,dot,wbk,docx,xls,xlsx,ppt,pptx,pub",
                                         u"msi",
                                         u""};
    return e;
}

TColor AdjustLuminance(TColor c, double factor) {
    const double R = double((c >> 16) & 0xFF), G = double((c >> 8) & 0xFF), B = double(c & 0xFF);
    const double mx = std::max({R, G, B}), mn = std::min({R, G, B});
    // To hue, luminance, saturation on a 0..240 scale.
    double H, S;
    const double L = std::trunc(((mx + mn) * 240 + 255) / 510);
    if (mx == mn) {
        H = 160;
        S = 0;
    } else {
        if (L <= 120)
            S = std::trunc(((mx - mn) * 240 + (mx + mn) / 2) / (mx + mn));
        else
            S = std::trunc(((mx - mn) * 240 + (510 - mx - mn) / 2) / (510 - mx - mn));
        auto delta = [&](double ch) {
            return std::trunc(((mx - ch) * 40 + (mx - mn) / 2) / (mx - mn));
        };
        const double dR = delta(R), dG = delta(G), dB = delta(B);
        if (R == mx)
            H = dB - dG;
        else if (G == mx)
            H = 80 + dR - dB;
        else
            H = 160 + dG - dR;
        if (H < 0) H += 240;
        if (H > 240) H -= 240;
    }
    double L2 = std::trunc(L * factor);
    if (!(L2 > 0)) L2 = 0;
    auto channel = [](double v) -> uint32_t {
        if (v > 255) return 255;
        if (v < 0) return 0;
        return uint32_t(RoundEven(v));
    };
    uint32_t r, g, b;
    if (S == 0) {
        r = g = b = channel(L2 * 255 / 240);
    } else {
        const double m2 = L2 <= 120 ? (L2 * (240 + S) + 120) / 240 : L2 + S - (L2 * S + 120) / 240;
        const double m1 = 2 * L2 - m2;
        auto hue = [&](double h) {
            if (h < 0) h += 240;
            if (h > 240) h -= 240;
            double v;
            if (h < 40)
                v = m1 + ((m2 - m1) * h + 20) / 40;
            else if (h < 120)
                v = m2;
            else if (h < 160)
                v = m1 + ((m2 - m1) * (160 - h) + 20) / 40;
            else
                v = m1;
            return RoundEven(v);
        };
        r = channel((hue(H + 80) * 255 + 120) / 240);
        g = channel((hue(H) * 255 + 120) / 240);
        b = channel((hue(H - 80) * 255 + 120) / 240);
    }
    return (r << 16) | (g << 8) | b;
}

void ExtensionKey(std::u16string_view name, std::u16string& out) {
    out.clear();
    const size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos) return;
    const size_t len = name.size() - dot;
    if (len > 15) return;
    out.resize(len);
    for (size_t i = 0; i < len; ++i) out[i] = AsciiLower(name[dot + i]);
}

std::u16string ExtensionKey(std::u16string_view name) {
    std::u16string k;
    ExtensionKey(name, k);
    return k;
}

std::function<bool(PMFT_RECORD)> CommandLineFilterTest(const TFilterPair& filters) {
    return [&filters](PMFT_RECORD r) {
        if (!filters.include.empty() && !MatchFilters(r, filters.include, filters.fullPath, true))
            return false;
        if (!filters.exclude.empty() && MatchFilters(r, filters.exclude, filters.fullPath, true))
            return false;
        return true;
    };
}

TExtColors::TExtColors()
    : tm_palette(DefaultPalette()), tm_fileextensions(DefaultFileExtensions()) {
    ExtSizesTop12.fill(u"*");
    BuildExtColorsFixed();
}

TExtTotals TExtColors::Total() const {
    TExtTotals t;
    for (const auto& e : ExtSizes) {
        t.Size += e.Totals.Size;
        t.Alloc += e.Totals.Alloc;
        t.Count += e.Totals.Count;
    }
    return t;
}

TExtTally TallyExtensions(const TNTFS_FILES& scan, const std::function<bool(PMFT_RECORD)>& accept) {
    TExtTally tally;
    if (scan.WasError) return tally; // a failed scan shows nothing
    std::unordered_map<std::u16string, size_t> index;
    index.reserve(1024);
    std::u16string key, lastKey = u"*";
    size_t lastSlot = 0;
    for (PMFT_RECORD r : scan.FFileList) {
        // Items deleted while the scan is shown left the totals: they leave the types too.
        if (!r || r->Filtered || r->Deleted || r->IsFolder()) continue;
        if (accept && !accept(r)) continue;
        ExtensionKey(r->Name(), key);
        size_t slot;
        if (key == lastKey) { // sibling files are often of one type
            slot = lastSlot;
        } else {
            auto [it, added] = index.try_emplace(key, tally.Entries.size());
            if (added) tally.Entries.push_back({key, {}});
            slot = it->second;
            lastKey = key;
            lastSlot = slot;
        }
        TExtTotals& t = tally.Entries[slot].Totals;
        t.Size += r->FileSize;
        if (!r->DoNotCountFlag) t.Alloc += r->AllocSize;
        t.Count += 1;
    }
    return tally;
}

void TExtColors::BuildExtSizes(std::span<TNTFS_FILES* const> scans,
                               const std::function<bool(PMFT_RECORD)>& accept) {
    std::vector<TExtTally> tallies;
    tallies.reserve(scans.size());
    for (TNTFS_FILES* scan : scans)
        if (scan) tallies.push_back(TallyExtensions(*scan, accept));
    BuildExtSizes(tallies);
}

void TExtColors::BuildExtSizes(std::span<const TExtTally> tallies) {
    ExtSizes.clear();
    // Keys are taken in the order the files were met, scan by scan: once kMaxExtKeys keys are
    // known, the files of any further key count under the empty key.
    std::unordered_map<std::u16string, size_t> index;
    index.reserve(1024);
    static const std::u16string kNoKey;
    for (const TExtTally& tally : tallies)
        for (const TExtEntry& e : tally.Entries) {
            auto it = index.find(e.Key);
            if (it == index.end()) {
                const std::u16string& key = index.size() >= kMaxExtKeys ? kNoKey : e.Key;
                bool added;
                std::tie(it, added) = index.try_emplace(key, ExtSizes.size());
                if (added) ExtSizes.push_back({key, {}});
            }
            TExtTotals& t = ExtSizes[it->second].Totals;
            t.Size += e.Totals.Size;
            t.Alloc += e.Totals.Alloc;
            t.Count += e.Totals.Count;
        }
    // Key order first, so equal sizes keep a stable order, then largest size first.
    std::sort(ExtSizes.begin(), ExtSizes.end(),
              [](const TExtEntry& a, const TExtEntry& b) { return a.Key < b.Key; });
    std::stable_sort(ExtSizes.begin(), ExtSizes.end(), [](const TExtEntry& a, const TExtEntry& b) {
        return a.Totals.Size > b.Totals.Size;
    });
    for (size_t i = 0; i < 12; ++i) ExtSizesTop12[i] = i < ExtSizes.size() ? ExtSizes[i].Key : u"*";
    BuildExtColorsFixed();
    ResetColorCache();
}

void TExtColors::BuildExtColorsFixed() {
    ExtColorsFixed.clear();
    for (int slot = 0; slot < kPaletteSlots; ++slot) {
        std::u16string_view text = tm_fileextensions[size_t(slot)];
        size_t start = 0;
        while (start <= text.size()) {
            size_t comma = text.find(u',', start);
            if (comma == std::u16string_view::npos) comma = text.size();
            std::u16string_view part = text.substr(start, comma - start);
            while (!part.empty() && part.front() <= u' ') part.remove_prefix(1);
            while (!part.empty() && part.back() <= u' ') part.remove_suffix(1);
            if (!part.empty()) {
                std::u16string k = u".";
                for (char16_t c : part) k.push_back(AsciiLower(c));
                auto it = std::lower_bound(
                    ExtColorsFixed.begin(), ExtColorsFixed.end(), k,
                    [](const FixedEntry& e, const std::u16string& v) { return e.Key < v; });
                if (it == ExtColorsFixed.end() || it->Key != k)
                    ExtColorsFixed.insert(it, FixedEntry{std::move(k), slot});
            }
            start = comma + 1;
        }
    }
}

void TExtColors::ResetColorCache() {
    GFC_LastExt = u"*";
    GFC_LastResult = 0;
}

int TExtColors::SlotOfKey(std::u16string_view key) const {
    if (bColorBySize) {
        for (int i = 0; i < 12; ++i)
            if (ExtSizesTop12[size_t(i)] == key) return i;
        return 12;
    }
    std::u16string k(key);
    for (auto& c : k) c = AsciiLower(c);
    auto it =
        std::lower_bound(ExtColorsFixed.begin(), ExtColorsFixed.end(), k,
                         [](const FixedEntry& e, const std::u16string& v) { return e.Key < v; });
    return it != ExtColorsFixed.end() && it->Key == k ? it->Slot : 12;
}

TColor TExtColors::GetKeyColor(std::u16string_view key) {
    if (key == GFC_LastExt) return GFC_LastResult;
    const TColor c = tm_palette[size_t(SlotOfKey(key))];
    GFC_LastExt.assign(key);
    GFC_LastResult = c;
    return c;
}

TColor TExtColors::GetFileColor(std::u16string_view name) {
    ExtensionKey(name, FKeyScratch);
    return GetKeyColor(FKeyScratch);
}

} // namespace qz

// Extension statistics and the treemap colours.
//
// ExtSizes totals size, allocated size and file count per extension key over all scans, then
// ranks the keys by size. Colouring picks one of 13 palette slots per file: by size, the
// twelve largest keys get slots 0..11 in rank order and everything else slot 12; by
// extension, the user's lists name the extensions of each slot. A one-entry cache serves runs
// of sibling files of one type.
//
// Colours are 0xRRGGBB; the settings file stores R + 256*G + 65536*B (ToSettingsColor).
// Not thread-safe: build and look up from one thread.
#pragma once

#include "base/color.h"
#include "engine/scan.h"

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace qz {

struct TFilterPair;

inline constexpr int kPaletteSlots = 13;
using TTM_PALETTE = std::array<TColor, kPaletteSlots>;
using TTM_FILEEXTENSIONS = std::array<std::u16string, kPaletteSlots>;

// Settings form: R in the low byte, B in the high byte.
constexpr uint32_t ToSettingsColor(TColor c) {
    return ((c >> 16) & 0xFF) | (c & 0xFF00) | ((c & 0xFF) << 16);
}
constexpr TColor FromSettingsColor(uint32_t v) {
    return ToSettingsColor(v & 0xFFFFFF);
}

const TTM_PALETTE& DefaultPalette();               // slots 0..12 of the default table
const TTM_PALETTE& ColorBlindPalette();            // the "Color Blind" preset
const TTM_FILEEXTENSIONS& DefaultFileExtensions(); // "mp3,ogg,wav,wma", ... slot 12 empty

// The luminance of c scaled by factor in hue/luminance/saturation space (0..240 scale).
TColor AdjustLuminance(TColor c, double factor);

// Extension key of a name: from the last dot to the end, dot included, ASCII letters lower-
// cased (".gz", ".gitignore", "." for a name ending in a dot); empty without a dot or when
// longer than 15 characters.
std::u16string ExtensionKey(std::u16string_view name);
void ExtensionKey(std::u16string_view name, std::u16string& out);

struct TExtTotals {
    uint64_t Size = 0;
    uint64_t Alloc = 0; // hard-link duplicates (DoNotCountFlag) excluded
    uint64_t Count = 0;
};

struct TExtEntry {
    std::u16string Key;
    TExtTotals Totals;
};

inline constexpr size_t kMaxExtKeys = 10000; // further new keys count as the empty key

// One scan's totals per extension key, keys in the order their first file was met (no cap:
// the cap on keys applies when the scans' tallies are merged). A scan's thread makes it, so
// the window does not walk every file again when the scan is shown.
struct TExtTally {
    std::vector<TExtEntry> Entries;
};
// The tally of a scan's counted files (missing, filtered, deleted and folder records
// skipped); accept, when given, must also return true for a file to count. A failed scan
// gives an empty tally.
TExtTally TallyExtensions(const TNTFS_FILES& scan,
                          const std::function<bool(PMFT_RECORD)>& accept = {});

// The accept test of a headless run's statistics (BuildExtSizes): a file must match the
// include filter when it has terms and must not match the exclude filter when it has terms,
// with the pair's full-path flag and size terms applied. filters must outlive the test.
std::function<bool(PMFT_RECORD)> CommandLineFilterTest(const TFilterPair& filters);

class TExtColors {
public:
    TExtColors();

    // ---- settings
    TTM_PALETTE tm_palette;               // colours of slots 0..12
    TTM_FILEEXTENSIONS tm_fileextensions; // "exe" or "txt,log" per slot; slot 12 unused
    bool bColorBySize = true;

    // ---- statistics (as of the last BuildExtSizes)
    std::vector<TExtEntry> ExtSizes;              // largest size first
    std::array<std::u16string, 12> ExtSizesTop12; // the 12 largest keys, "*" padded
    // Sum over all keys.
    TExtTotals Total() const;

    // Rebuilds the statistics over every counted file of the scans (missing, filtered and
    // folder records skipped), then ExtColorsFixed, and resets the lookup cache. accept, when
    // given, must also return true for a file to count (the headless run's command-line
    // include and exclude filters).
    void BuildExtSizes(std::span<TNTFS_FILES* const> scans,
                       const std::function<bool(PMFT_RECORD)>& accept = {});
    // The same from the scans' tallies (one per scan, in scan order).
    void BuildExtSizes(std::span<const TExtTally> tallies);
    // Rebuilds the extension-to-slot map from tm_fileextensions (lowest slot wins).
    void BuildExtColorsFixed();
    // Forget the cached lookup; call after changing the palette, the lists or the mode.
    void ResetColorCache();

    // The colour of a file name (by size rank or by extension list).
    TColor GetFileColor(std::u16string_view name);
    // The colour of an extension key as ExtSizes holds it (the file-types swatches).
    TColor GetKeyColor(std::u16string_view key);
    // The slot (0..12) of a key without touching the cache.
    int SlotOfKey(std::u16string_view key) const;

    // The derived colours: treemap background (slot 12 at 0.8) and free space (slot 12 at 2.0).
    TColor BackgroundColor() const { return AdjustLuminance(tm_palette[12], 0.8); }
    TColor FreeSpaceColor() const { return AdjustLuminance(tm_palette[12], 2.0); }

private:
    struct FixedEntry {
        std::u16string Key; // "." + lower-cased extension
        int Slot;
    };
    std::vector<FixedEntry> ExtColorsFixed; // sorted by key (ASCII case-insensitive)
    std::u16string GFC_LastExt = u"*";
    TColor GFC_LastResult = 0;
    std::u16string FKeyScratch;
};

} // namespace qz

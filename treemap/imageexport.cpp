#include "treemap/imageexport.h"

#include "base/datetime.h"
#include "base/text.h"

#include <climits>
#include <cstdio>

namespace qz {

bool ParseImageDimension(std::u16string_view text, int& value) {
    size_t i = 0, n = text.size();
    while (i < n && text[i] == u' ') ++i;
    while (n > i && text[n - 1] == u' ') --n;
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    if (i == n) return false;
    long long v = 0;
    for (; i < n; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return false;
        v = v * 10 + (text[i] - u'0');
        if (v > (long long)INT_MAX + 1) return false;
    }
    if (negative) v = -v;
    if (v > INT_MAX || v < INT_MIN) return false;
    value = int(v);
    return true;
}

void ApplySizePreset(std::u16string_view caption, std::u16string& edWidth,
                     std::u16string& edHeight) {
    std::u16string c;
    for (char16_t ch : caption)
        if (ch != u'&') c.push_back(ch);
    const size_t x = c.find(u'x');
    if (x == std::u16string::npos) return;
    int v;
    if (ParseImageDimension(std::u16string_view(c).substr(0, x), v))
        edWidth = AsciiToUtf16(std::to_string(v));
    if (ParseImageDimension(std::u16string_view(c).substr(x + 1), v))
        edHeight = AsciiToUtf16(std::to_string(v));
}

std::u16string TreemapImageFileName(std::u16string_view value, TDateTime startLocal) {
    TDateParts p;
    DecodeDateTime(startLocal, p);
    char d[16], t[16];
    std::snprintf(d, sizeof d, "%04d%02d%02d", p.year, p.month, p.day);
    std::snprintf(t, sizeof t, "%02d%02d%02d", p.hour, p.minute, p.second);
    const std::u16string day = AsciiToUtf16(d), time = AsciiToUtf16(t);
    std::u16string name;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == u'%' && i + 1 < value.size() &&
            (value[i + 1] == u'd' || value[i + 1] == u't')) {
            name += value[i + 1] == u'd' ? day : time;
            ++i;
        } else {
            name.push_back(value[i]);
        }
    }
    // The extension: from the last dot of the last path component (a leading dot starts a
    // hidden name, not an extension).
    const size_t slash = name.find_last_of(u"/");
    const size_t base = slash == std::u16string::npos ? 0 : slash + 1;
    const size_t dot = name.find_last_of(u'.');
    const bool hasExt = dot != std::u16string::npos && dot > base;
    if (hasExt && EqualsIgnoreAsciiCase(std::u16string_view(name).substr(dot), u".png"))
        return name;
    if (hasExt) name.resize(dot);
    return name + u".png";
}

namespace {

std::string NotAnInteger(std::u16string_view text) {
    return std::string(tr("Error")) + ": '" + Utf16ToUtf8(text) + "' " +
           tr("is not a valid integer value");
}

} // namespace

std::string CheckImageChoices(const TExportTreemapChoices& choices, int& width, int& height) {
    int w = 0, h = 0;
    if (!ParseImageDimension(choices.edWidth, w)) return NotAnInteger(choices.edWidth);
    if (!ParseImageDimension(choices.edHeight, h)) return NotAnInteger(choices.edHeight);
    std::string error = TTreemapBitmap::CheckSize(w, h);
    if (!error.empty()) return std::string(tr("Error")) + ": " + error;
    width = w;
    height = h;
    return {};
}

bool DialogImageRequest(const TExportTreemapChoices& choices, bool zoomed, TTreemapRequest& request,
                        std::string& error) {
    int width = 0, height = 0;
    error = CheckImageChoices(choices, width, height);
    if (!error.empty()) return false;
    request.Width = width;
    request.Height = height;
    request.ForFile = true;
    request.Gray = choices.cbShadesofGray;
    request.WithFreeSpace = choices.cbShowFreeSpace && !zoomed;
    request.Rebuild = false;
    return true;
}

TDrawResult SaveTreemapImage(TTreemap& treemap, const std::u16string& fileName,
                             const TExportTreemapChoices& choices) {
    TDrawResult r;
    int width = 0, height = 0;
    r.Error = CheckImageChoices(choices, width, height);
    if (!r.Error.empty()) {
        r.Outcome = TDrawOutcome::Failed;
        return r;
    }
    const bool fast = treemap.Shading.tm_FastDraw;
    treemap.Shading.tm_FastDraw = false;
    r = treemap.DrawTreemap(width, height,
                            {.WithFreeSpace = choices.cbShowFreeSpace,
                             .Gray = choices.cbShadesofGray,
                             .FileName = fileName});
    treemap.Shading.tm_FastDraw = fast;
    return r;
}

TDrawResult ExportTreemapImage(TTreemap& treemap, const std::u16string& fileName, int width,
                               int height, bool gray, bool freeSpace, bool allocated) {
    treemap.ShowAllocatedSize = allocated;
    treemap.TreemapRoot = nullptr;
    return treemap.DrawTreemap(
        width, height,
        {.WithFreeSpace = freeSpace, .Rebuild = true, .Gray = gray, .FileName = fileName});
}

} // namespace qz

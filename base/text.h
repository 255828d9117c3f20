// Text helpers shared by every subsystem: lossless UTF-8 <-> UTF-16 conversion. The
// translation function (tr) is declared in base/translate.h, included here for the code that
// uses both.
//
// Linux file names are bytes. A byte that is not part of valid UTF-8 becomes the code unit
// 0xDC00 + byte (U+DC80..U+DCFF) and converts back to the same byte, so every scanned name
// round-trips exactly. Other unpaired surrogates (possible in NTFS names) are written as
// their three-byte generalized UTF-8 form.
#pragma once

#include "base/translate.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qz {

std::u16string Utf8ToUtf16(std::string_view s);
void Utf8ToUtf16(std::string_view s, std::u16string& out); // appends
std::string Utf16ToUtf8(std::u16string_view s);
void Utf16ToUtf8(std::u16string_view s, std::string& out); // appends

// ASCII-only widening for literals and numbers.
std::u16string AsciiToUtf16(std::string_view s);

// Case-insensitive (ASCII) comparison of UTF-16 text, used for extensions and keys.
bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b);
bool EndsWithIgnoreAsciiCase(std::u16string_view s, std::u16string_view suffix);

} // namespace qz

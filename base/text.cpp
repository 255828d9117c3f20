#include "base/text.h"

namespace qz {

void Utf8ToUtf16(std::string_view s, std::u16string& out) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const size_t n = s.size();
    out.reserve(out.size() + n);
    size_t i = 0;
    while (i < n) {
        unsigned c = p[i];
        if (c < 0x80) {
            out.push_back(char16_t(c));
            ++i;
            continue;
        }
        unsigned need = 0;
        uint32_t cp = 0, min = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            need = 1, cp = c & 0x1F, min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            need = 2, cp = c & 0x0F, min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            need = 3, cp = c & 0x07, min = 0x10000;
        }
        bool ok = need > 0;
        if (ok) {
            for (unsigned k = 1; k <= need; ++k) {
                if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                cp = (cp << 6) | (p[i + k] & 0x3F);
            }
        }
        // Overlong forms, surrogates and values past U+10FFFF are not valid UTF-8.
        if (ok && (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)) ok = false;
        if (!ok) {
            out.push_back(char16_t(0xDC00 + c));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += need + 1;
    }
}

std::u16string Utf8ToUtf16(std::string_view s) {
    std::u16string r;
    Utf8ToUtf16(s, r);
    return r;
}

void Utf16ToUtf8(std::u16string_view s, std::string& out) {
    out.reserve(out.size() + s.size());
    const size_t n = s.size();
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = s[i];
        if (c < 0x80) {
            out.push_back(char(c));
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
            out.push_back(char(0xF0 | (cp >> 18)));
            out.push_back(char(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(char(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(char(0x80 | (cp & 0x3F)));
            continue;
        }
        if (c >= 0xDC80 && c <= 0xDCFF) { // an undecodable byte of a Linux name
            out.push_back(char(c - 0xDC00));
            continue;
        }
        if (c < 0x800) {
            out.push_back(char(0xC0 | (c >> 6)));
            out.push_back(char(0x80 | (c & 0x3F)));
        } else {
            out.push_back(char(0xE0 | (c >> 12)));
            out.push_back(char(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
}

std::string Utf16ToUtf8(std::u16string_view s) {
    std::string r;
    Utf16ToUtf8(s, r);
    return r;
}

std::u16string AsciiToUtf16(std::string_view s) {
    std::u16string r(s.size(), u'\0');
    for (size_t i = 0; i < s.size(); ++i) r[i] = char16_t(static_cast<unsigned char>(s[i]));
    return r;
}

static inline char16_t AsciiLower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? char16_t(c + 32) : c;
}

bool EqualsIgnoreAsciiCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

bool EndsWithIgnoreAsciiCase(std::u16string_view s, std::u16string_view suffix) {
    return s.size() >= suffix.size() &&
           EqualsIgnoreAsciiCase(s.substr(s.size() - suffix.size()), suffix);
}

} // namespace qz

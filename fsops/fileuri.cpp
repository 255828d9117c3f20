#include "fsops/fileuri.h"

namespace qz {

namespace {

bool Unreserved(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    switch (c) {
    case '-':
    case '_':
    case '.':
    case '!':
    case '~':
    case '*':
    case '\'':
    case '(':
    case ')':
        return true;
    default:
        return false;
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

std::string PercentEncodePath(std::string_view bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '/' || Unreserved(c)) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

bool PercentDecode(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        if (i + 2 >= text.size()) return false;
        const int hi = HexValue(text[i + 1]), lo = HexValue(text[i + 2]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(char(hi * 16 + lo));
        i += 2;
    }
    return true;
}

std::string FileUri(std::string_view absolutePath) {
    return "file://" + PercentEncodePath(absolutePath);
}

bool PathOfFileUri(std::string_view uri, std::string& out) {
    constexpr std::string_view kScheme = "file://";
    if (uri.substr(0, kScheme.size()) != kScheme) return false;
    std::string_view rest = uri.substr(kScheme.size());
    if (rest.substr(0, 9) == "localhost") rest.remove_prefix(9);
    if (rest.empty() || rest[0] != '/') return false;
    return PercentDecode(rest, out);
}

} // namespace qz

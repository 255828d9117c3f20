#include "sources/devicepath.h"

namespace qz {

namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

std::string_view Trim(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || (static_cast<unsigned char>(c) < 0x20); };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

} // namespace

TDevicePath SplitDevicePath(std::string_view path) {
    TDevicePath p;
    size_t i = path.find('\\');
    p.Device = std::string(path.substr(0, i));
    while (i != std::string_view::npos) {
        const size_t from = i + 1;
        i = path.find('\\', from);
        std::string_view part = path.substr(from, i == std::string_view::npos ? i : i - from);
        if (!part.empty()) p.Inner.emplace_back(part);
    }
    return p;
}

std::string DeviceDisplayName(std::string_view friendlyName, std::string_view description) {
    std::string_view chosen = Trim(friendlyName);
    if (chosen.empty()) chosen = Trim(description);
    std::string name;
    name.reserve(chosen.size());
    for (char c : chosen) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            name.push_back(' ');
        else
            name.push_back(c == '\\' ? '/' : c);
    }
    size_t lead = 0;
    while (lead < name.size() && (name[lead] == '/' || name[lead] == '<' || name[lead] == ' '))
        ++lead;
    name.erase(0, lead);
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name.empty()) name = "Portable device";
    return name;
}

std::string DeviceRecordName(std::string_view name, bool* replaced) {
    std::string out;
    out.reserve(name.size());
    bool any = false;
    for (char c : name) {
        if (c == '\\') {
            out += "\u29F5";
            any = true;
        } else if (c == '/') {
            out += "\u2215";
            any = true;
        } else {
            out.push_back(c);
        }
    }
    if (replaced) *replaced = any;
    return out;
}

bool SameDeviceName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    return true;
}

} // namespace qz

#include "base/mocatalogue.h"

#include "base/filehandle.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

constexpr uint32_t kMagic = 0x950412de;
constexpr uint32_t kMagicSwapped = 0xde120495;
// A catalogue of the program is a few hundred kilobytes; anything far larger is no catalogue
// of ours and is not read into memory.
constexpr size_t kMaxFileSize = 64u << 20;

uint32_t Read32(const std::string& bytes, size_t at, bool swap) {
    uint32_t v;
    std::memcpy(&v, bytes.data() + at, 4);
    if (swap) v = __builtin_bswap32(v);
    return v;
}

bool Fail(std::string* error, const char* why) {
    if (error) *error = why;
    return false;
}

} // namespace

bool TMoCatalogue::Load(std::string bytes, std::string* error) {
    FEntries.clear();
    FOriginals.clear();
    FHeader = {};
    FPlural = TPluralRule();
    FBytes = std::move(bytes);
    const std::string& b = FBytes;
    if (b.size() < 28) return Fail(error, "too short for a message catalogue");
    uint32_t magic;
    std::memcpy(&magic, b.data(), 4);
    if (magic != kMagic && magic != kMagicSwapped) return Fail(error, "not a message catalogue");
    const bool swap = magic == kMagicSwapped;
    const uint32_t revision = Read32(b, 4, swap);
    if ((revision >> 16) > 1) return Fail(error, "unknown catalogue revision");
    const uint64_t count = Read32(b, 8, swap);
    const uint64_t originals = Read32(b, 12, swap);
    const uint64_t translations = Read32(b, 16, swap);
    if (originals + count * 8 > b.size() || translations + count * 8 > b.size())
        return Fail(error, "string tables outside the file");
    // A string (length, offset) is valid when it and its terminating NUL lie inside the file.
    auto stringAt = [&](uint64_t table, uint64_t i, uint32_t& offset, uint32_t& length) {
        length = Read32(b, size_t(table + i * 8), swap);
        offset = Read32(b, size_t(table + i * 8 + 4), swap);
        return uint64_t(offset) + length < b.size() && b[offset + length] == '\0';
    };
    FEntries.reserve(size_t(count));
    for (uint64_t i = 0; i < count; ++i) {
        uint32_t idOffset, idLength, strOffset, strLength;
        if (!stringAt(originals, i, idOffset, idLength) ||
            !stringAt(translations, i, strOffset, strLength)) {
            FEntries.clear();
            FOriginals.clear();
            return Fail(error, "a string outside the file");
        }
        // The singular ends at the first NUL (a plural entry holds "singular\0plural").
        std::string_view id(b.data() + idOffset, idLength);
        id = id.substr(0, id.find('\0'));
        if (id.empty()) {
            FHeader = std::string_view(b.data() + strOffset, strLength);
            continue;
        }
        if (strLength == 0) continue; // untranslated
        FEntries[id] = Entry{strOffset, strLength};
        const std::string_view first(b.data() + strOffset); // the first form, to its NUL
        FOriginals.emplace(first, b.data() + idOffset);
    }
    const std::string forms = HeaderField("Plural-Forms");
    if (!forms.empty()) FPlural.Parse(forms);
    return true;
}

bool TMoCatalogue::LoadFile(const std::string& path, std::string* error) {
    TFileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.valid()) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return Fail(error, "not a regular file");
    if (size_t(st.st_size) > kMaxFileSize) return Fail(error, "too large for a catalogue");
    std::string bytes(size_t(st.st_size), '\0');
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::read(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += size_t(n);
    }
    bytes.resize(done);
    return Load(std::move(bytes), error);
}

const char* TMoCatalogue::Find(std::string_view msgid) const {
    const auto it = FEntries.find(msgid);
    if (it == FEntries.end()) return nullptr;
    return FBytes.data() + it->second.Offset;
}

const char* TMoCatalogue::FindPlural(std::string_view singular, uint64_t n) const {
    const auto it = FEntries.find(singular);
    if (it == FEntries.end()) return nullptr;
    const std::string_view forms(FBytes.data() + it->second.Offset, it->second.Length);
    int want = FPlural.FormFor(n);
    size_t start = 0;
    // Walk to form want; a catalogue with fewer forms than its rule gives the last one.
    while (want > 0) {
        const size_t nul = forms.find('\0', start);
        if (nul == std::string_view::npos) break;
        start = nul + 1;
        --want;
    }
    if (start >= forms.size() || forms[start] == '\0') return nullptr;
    return forms.data() + start;
}

const char* TMoCatalogue::FindOriginal(std::string_view translation) const {
    const auto it = FOriginals.find(translation);
    return it == FOriginals.end() ? nullptr : it->second;
}

std::string TMoCatalogue::HeaderField(std::string_view name) const {
    size_t pos = 0;
    while (pos < FHeader.size()) {
        size_t end = FHeader.find('\n', pos);
        if (end == std::string_view::npos) end = FHeader.size();
        const std::string_view line = FHeader.substr(pos, end - pos);
        if (line.size() > name.size() && line.substr(0, name.size()) == name &&
            line[name.size()] == ':') {
            std::string_view value = line.substr(name.size() + 1);
            while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
            return std::string(value);
        }
        pos = end + 1;
    }
    return {};
}

} // namespace qz

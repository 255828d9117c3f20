#include "app/inifile.h"

#include "app/cmdline.h"
#include "base/filehandle.h"
#include "base/translate.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qz {

namespace {

constexpr size_t kMaxIniBytes = 16u << 20;

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = x - 'A' + 'a';
        if (y >= 'A' && y <= 'Z') y = y - 'A' + 'a';
        if (x != y) return false;
    }
    return true;
}

std::string LowerAscii(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return r;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

enum class ReadResult { Ok, Missing, Failed, TooLarge };
constexpr int kNotRegular = -1; // the reason of a failed read that has no errno of its own

ReadResult ReadWholeFile(const std::string& path, std::string& out, int& err) {
    // Without O_NONBLOCK, opening a pipe waits for a writer that may never come.
    TFileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        err = errno;
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        err = S_ISDIR(st.st_mode) ? EISDIR : kNotRegular;
        return ReadResult::Failed;
    }
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t r = ::read(fd.get(), buf, sizeof buf);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
            err = errno;
            return ReadResult::Failed;
        }
        if (r == 0) break;
        out.append(buf, size_t(r));
        if (out.size() > kMaxIniBytes) return ReadResult::TooLarge;
    }
    return ReadResult::Ok;
}

// Writes data to a temporary file beside path and renames it over path (keeping the mode of
// an existing file; a symbolic link is followed to the file it names).
bool WriteFileAtomically(const std::string& rawPath, std::string_view data, std::string* error) {
    std::string path = rawPath;
    if (char* real = ::realpath(rawPath.c_str(), nullptr)) {
        path = real;
        std::free(real);
    }
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + std::strerror(errno);
        return false;
    };
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back(0);
    TFileHandle fd(::mkstemp(name.data()));
    if (!fd) return fail(Format(tr("Cannot create a file beside %s"), path.c_str()));
    const std::string tmp = name.data();
    size_t done = 0;
    while (done < data.size()) {
        ssize_t w = ::write(fd.get(), data.data() + done, data.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            int e = errno;
            ::unlink(tmp.c_str());
            errno = e;
            return fail(Format(tr("Cannot write %s"), tmp.c_str()));
        }
        done += size_t(w);
    }
    if (::fchmod(fd.get(), mode) != 0 || ::fsync(fd.get()) != 0) {
        int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail(Format(tr("Cannot write %s"), tmp.c_str()));
    }
    fd.Close();
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int e = errno;
        ::unlink(tmp.c_str());
        errno = e;
        return fail(Format(tr("Cannot replace %s"), path.c_str()));
    }
    return true;
}

} // namespace

TIniFile::TIniFile(std::string path) : FPath(std::move(path)) {
    std::string text;
    int err = 0;
    switch (ReadWholeFile(FPath, text, err)) {
    case ReadResult::Missing:
        FState = TLoadState::Missing;
        return;
    case ReadResult::Failed:
        FState = TLoadState::Unreadable;
        FReadOnly = true; // never write over a file we could not read
        FLoadError = err == kNotRegular ? tr("not a regular file") : std::strerror(err);
        return;
    case ReadResult::TooLarge:
        FState = TLoadState::Corrupt;
        return;
    case ReadResult::Ok:
        break;
    }
    FState = SetText(text) ? TLoadState::Loaded : TLoadState::Damaged;
    FModified = false;
}

void TIniFile::Section::Reindex() {
    Index.clear();
    for (size_t i = 0; i < Lines.size(); ++i)
        if (!Lines[i].Key.empty()) Index.emplace(LowerAscii(Lines[i].Key), i); // first one holds
}

void TIniFile::ReindexSections() {
    FSectionIndex.clear();
    for (size_t i = 1; i < FSections.size(); ++i)
        FSectionIndex.emplace(LowerAscii(FSections[i].Name), i);
}

bool TIniFile::SetText(std::string_view text) {
    std::vector<Section> sections;
    std::unordered_map<std::string, size_t> sectionIndex;
    sections.push_back({});
    size_t current = 0;
    int lineNumber = 0;
    FBadLines = 0;
    FFirstBadLine = 0;
    auto bad = [&] {
        if (FBadLines++ == 0) FFirstBadLine = lineNumber;
    };
    if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        std::string_view line = Trim(text.substr(pos, eol - pos));
        pos = eol + 1;
        ++lineNumber;
        if (line.empty()) continue;
        // NUL bytes and other control characters (a tab aside) are no settings text.
        bool control = false;
        for (char c : line)
            if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7f) control = true;
        if (control) {
            bad();
            continue;
        }
        if (line[0] == ';' || line[0] == '#') {
            sections[current].Lines.push_back({"", "", std::string(line)});
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') {
                // A header cut off: what follows does not belong to the section before.
                bad();
                continue;
            }
            std::string name(Trim(line.substr(1, line.size() - 2)));
            // A repeated section continues the first one.
            const auto [it, added] = sectionIndex.emplace(LowerAscii(name), sections.size());
            if (added) sections.push_back({std::move(name), {}, {}});
            current = it->second;
            continue;
        }
        size_t eq = line.find('=');
        std::string key(eq == std::string_view::npos ? std::string_view()
                                                     : Trim(line.substr(0, eq)));
        if (key.empty()) {
            bad();
            continue;
        }
        Section& s = sections[current];
        // The first occurrence of a key holds.
        if (!s.Index.emplace(LowerAscii(key), s.Lines.size()).second) continue;
        std::string value(line.substr(eq + 1)); // values keep inner and leading blanks
        s.Lines.push_back({std::move(key), std::move(value), {}});
    }
    FSections = std::move(sections);
    FSectionIndex = std::move(sectionIndex);
    FModified = true;
    return FBadLines == 0;
}

std::string TIniFile::Text() const {
    std::string out;
    for (const Section& s : FSections) {
        if (&s == &FSections.front()) {
            if (s.Lines.empty()) continue;
        } else {
            out += "[" + s.Name + "]\n";
        }
        for (const Line& l : s.Lines) {
            if (l.Key.empty())
                out += l.Raw;
            else
                out += l.Key + "=" + l.Value;
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

TIniFile::Section* TIniFile::FindSection(std::string_view name) {
    if (name.empty()) return FSections.empty() ? nullptr : &FSections.front();
    const auto it = FSectionIndex.find(LowerAscii(name));
    return it == FSectionIndex.end() ? nullptr : &FSections[it->second];
}

const TIniFile::Section* TIniFile::FindSection(std::string_view name) const {
    return const_cast<TIniFile*>(this)->FindSection(name);
}

const TIniFile::Line* TIniFile::FindLine(const Section& s, std::string_view key) {
    const auto it = s.Index.find(LowerAscii(key));
    return it == s.Index.end() ? nullptr : &s.Lines[it->second];
}

std::string TIniFile::ReadString(std::string_view section, std::string_view key,
                                 std::string_view def) const {
    const Section* s = FindSection(section);
    const Line* l = s ? FindLine(*s, key) : nullptr;
    return l ? l->Value : std::string(def);
}

bool TIniFile::TryReadInteger(std::string_view section, std::string_view key, int& out) const {
    const Section* s = FindSection(section);
    const Line* l = s ? FindLine(*s, key) : nullptr;
    if (!l) return false;
    // Two different defaults tell a number from text that is not one.
    const int a = ParseIntDef(l->Value, 0), b = ParseIntDef(l->Value, 1);
    if (a != b) return false;
    out = a;
    return true;
}

int TIniFile::ReadInteger(std::string_view section, std::string_view key, int def) const {
    int v = def;
    return TryReadInteger(section, key, v) ? v : def;
}

bool TIniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
    const Section* s = FindSection(section);
    const Line* l = s ? FindLine(*s, key) : nullptr;
    if (!l) return def;
    std::string_view v = Trim(l->Value);
    for (const char* t : {"TRUE", "YES", "Y", "1"})
        if (EqualNoCase(v, t)) return true;
    for (const char* f : {"FALSE", "NO", "N", "0"})
        if (EqualNoCase(v, f)) return false;
    return def;
}

bool TIniFile::ValueExists(std::string_view section, std::string_view key) const {
    const Section* s = FindSection(section);
    return s && FindLine(*s, key);
}

bool TIniFile::SectionExists(std::string_view section) const {
    return FindSection(section) != nullptr;
}

std::vector<std::string> TIniFile::ReadSectionKeys(std::string_view section) const {
    std::vector<std::string> keys;
    if (const Section* s = FindSection(section))
        for (const Line& l : s->Lines)
            if (!l.Key.empty()) keys.push_back(l.Key);
    return keys;
}

std::vector<std::string> TIniFile::Sections() const {
    std::vector<std::string> names;
    for (size_t i = 1; i < FSections.size(); ++i) names.push_back(FSections[i].Name);
    return names;
}

void TIniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
    if (FSections.empty()) FSections.push_back({});
    Section* s = FindSection(section);
    if (!s) {
        FSectionIndex.emplace(LowerAscii(section), FSections.size());
        FSections.push_back({std::string(section), {}, {}});
        s = &FSections.back();
    }
    // A value is one line: line breaks would split it into lines of their own.
    std::string v(value);
    for (char& c : v)
        if (c == '\n' || c == '\r') c = ' ';
    const auto [it, added] = s->Index.emplace(LowerAscii(key), s->Lines.size());
    if (added) {
        s->Lines.push_back({std::string(key), std::move(v), {}});
        FModified = true;
        return;
    }
    Line& l = s->Lines[it->second];
    if (l.Value != v) {
        l.Value = std::move(v);
        FModified = true;
    }
}

void TIniFile::WriteInteger(std::string_view section, std::string_view key, int64_t value) {
    WriteString(section, key, std::to_string(value));
}

void TIniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
    WriteString(section, key, value ? "TRUE" : "FALSE");
}

void TIniFile::DeleteKey(std::string_view section, std::string_view key) {
    Section* s = FindSection(section);
    if (!s) return;
    const auto it = s->Index.find(LowerAscii(key));
    if (it == s->Index.end()) return;
    s->Lines.erase(s->Lines.begin() + long(it->second));
    s->Reindex();
    FModified = true;
}

void TIniFile::EraseSection(std::string_view section) {
    if (section.empty()) return;
    const auto it = FSectionIndex.find(LowerAscii(section));
    if (it == FSectionIndex.end()) return;
    FSections.erase(FSections.begin() + long(it->second));
    ReindexSections();
    FModified = true;
}

bool TIniFile::UpdateFile(std::string* error) {
    if (FPath.empty() || FReadOnly || !FModified) return true;
    if ((FState == TLoadState::Corrupt || FState == TLoadState::Damaged) && FCorruptCopy.empty()) {
        // Keep the unreadable content before writing over it.
        std::string keep = FPath + ".corrupt";
        for (int n = 1; ::access(keep.c_str(), F_OK) == 0 && n < 1000; ++n)
            keep = FPath + ".corrupt." + std::to_string(n);
        if (::rename(FPath.c_str(), keep.c_str()) != 0 && errno != ENOENT) {
            if (error)
                *error = Format(tr("Cannot keep the unreadable settings file %s: %s"),
                                FPath.c_str(), std::strerror(errno));
            return false;
        }
        FCorruptCopy = keep;
    }
    if (!WriteFileAtomically(FPath, Text(), error)) return false;
    FModified = false;
    FState = TLoadState::Loaded;
    return true;
}

std::string EncodeIniText(std::string_view s) {
    bool ascii = true;
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) ascii = false;
    if (ascii) return std::string(s);
    static const char* hex = "0123456789abcdef";
    std::string r = "{UTF8}:";
    for (char c : s) {
        unsigned char b = static_cast<unsigned char>(c);
        r.push_back(hex[b >> 4]);
        r.push_back(hex[b & 15]);
    }
    return r;
}

std::string DecodeIniText(std::string_view v) {
    constexpr std::string_view tag = "{UTF8}:";
    if (v.substr(0, tag.size()) != tag) return std::string(v);
    v.remove_prefix(tag.size());
    auto nib = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string r;
    for (size_t i = 0; i + 1 < v.size(); i += 2) {
        int h = nib(v[i]), l = nib(v[i + 1]);
        r.push_back(h < 0 || l < 0 ? '\0' : char(h * 16 + l));
    }
    return r;
}

bool StripIniBOM(const std::string& path) {
    std::string text;
    int err = 0;
    if (ReadWholeFile(path, text, err) != ReadResult::Ok) return false;
    if (text.size() <= 2 || text.compare(0, 3, "\xEF\xBB\xBF") != 0) return false;
    return WriteFileAtomically(path, std::string_view(text).substr(3), nullptr);
}

} // namespace qz

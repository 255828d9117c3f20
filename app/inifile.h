// The settings storage: an INI file of sections ("[name]") and "key=value" lines, held in
// memory. Reads come from memory; writes change memory and reach the disk with UpdateFile.
// Sections and keys compare without regard to ASCII case and keep the case they were first
// written with. Comment lines (";" or "#") are kept in place. Keys before the first section
// header belong to the section "".
//
// Only a regular file is read (a pipe or a device of that name is passed over without waiting
// for it, so it cannot stall the start); reading, lookups and writes take time linear in the
// size of the file.
//
// The user's file is never lost: a file that cannot be read (or is no regular file) leaves
// the storage empty and read-only (nothing is written over it). Damage is contained: a line
// that is not INI text (NUL bytes or other control characters, neither a section, a key, a
// comment nor blank, a section header cut off) is left out and the rest is read (state
// Damaged, the lines counted); a file beyond 16 MiB is read as empty (state Corrupt). Either
// way the file stays as it is until the settings are next saved, and before that first write
// it is kept beside it as "<name>.corrupt" (".corrupt.1", ... when that exists). Writes go to a
// temporary file in the same folder that then replaces the file, so a failed write leaves the
// previous file whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qz {

class TIniFile {
public:
    enum class TLoadState { NoFile, Missing, Loaded, Damaged, Unreadable, Corrupt };

    TIniFile() = default; // in memory only
    explicit TIniFile(std::string path);

    const std::string& FileName() const { return FPath; }
    TLoadState LoadState() const { return FState; }
    // Why an unreadable file could not be read.
    const std::string& LoadError() const { return FLoadError; }
    // Lines left out of a damaged file, and the number of the first (from 1).
    int BadLines() const { return FBadLines; }
    int FirstBadLine() const { return FFirstBadLine; }
    // Path of the kept copy of a damaged or corrupt file, once made.
    const std::string& CorruptCopy() const { return FCorruptCopy; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view def = {}) const;
    // A decimal integer (blanks and a sign allowed); def when missing or not a number.
    int ReadInteger(std::string_view section, std::string_view key, int def) const;
    // False when missing or not a number (out is left alone).
    bool TryReadInteger(std::string_view section, std::string_view key, int& out) const;
    // "TRUE", "YES", "Y", "1" are true; "FALSE", "NO", "N", "0" false (any case); else def.
    bool ReadBool(std::string_view section, std::string_view key, bool def) const;
    bool ValueExists(std::string_view section, std::string_view key) const;
    bool SectionExists(std::string_view section) const;
    std::vector<std::string> ReadSectionKeys(std::string_view section) const;
    std::vector<std::string> Sections() const;

    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    void WriteInteger(std::string_view section, std::string_view key, int64_t value);
    void WriteBool(std::string_view section, std::string_view key, bool value); // "TRUE"/"FALSE"
    void DeleteKey(std::string_view section, std::string_view key);
    void EraseSection(std::string_view section);

    // Read-only storage takes writes in memory but never writes the file.
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool ro) { FReadOnly = ro; }
    bool Modified() const { return FModified; }
    // Writes the file when modified and writable. False (and the in-memory settings kept)
    // when the file could not be written; error then says why.
    bool UpdateFile(std::string* error = nullptr);

    // The file's text as it would be written.
    std::string Text() const;
    // Replaces the content with parsed text, leaving out lines that are not INI text; false
    // when any line was left out (BadLines then counts them).
    bool SetText(std::string_view text);

private:
    struct Line {
        std::string Key; // empty for a comment line
        std::string Value;
        std::string Raw; // comment text
    };
    struct Section {
        std::string Name;
        std::vector<Line> Lines;
        std::unordered_map<std::string, size_t> Index; // lower-case key -> line
        void Reindex();
    };
    Section* FindSection(std::string_view name);
    const Section* FindSection(std::string_view name) const;
    static const Line* FindLine(const Section& s, std::string_view key);
    void ReindexSections();

    std::string FPath;
    std::string FCorruptCopy;
    std::string FLoadError;
    TLoadState FState = TLoadState::NoFile;
    int FBadLines = 0, FFirstBadLine = 0;
    std::vector<Section> FSections; // a leading unnamed section holds lines before any header
    std::unordered_map<std::string, size_t> FSectionIndex; // lower-case name -> section
    bool FReadOnly = false;
    bool FModified = false;
};

// The encoded form of filter and history texts: pure ASCII as is, anything else "{UTF8}:"
// followed by two lower-case hex digits per byte of its UTF-8 form.
std::string EncodeIniText(std::string_view utf8);
// The reverse: "{UTF8}:" values are hex-decoded pair by pair (a pair that is not hex gives
// byte 0); any other value is returned as is.
std::string DecodeIniText(std::string_view value);

// Removes a UTF-8 byte-order mark from the start of the file (only when the file is longer
// than two bytes). Errors are ignored. True when one was removed.
bool StripIniBOM(const std::string& path);

} // namespace qz

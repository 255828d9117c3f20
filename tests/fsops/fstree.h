// Test helpers for file operations on real trees: a byte-for-byte picture of a folder tree,
// files with odd names, and mounts that are undone at the end of a test.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace qz::test {

// Relative path -> "F:" + content, "D", or "L:" + link target, for everything below root
// (links are not followed; mounted file systems below root are included).
using TTreePicture = std::map<std::string, std::string>;
TTreePicture PictureOf(const std::string& root);
// The entries of before that are not at or below one of the removed relative paths.
TTreePicture Without(const TTreePicture& before, const std::vector<std::string>& removed);
// The first difference between two pictures, empty when equal.
std::string Difference(const TTreePicture& expected, const TTreePicture& actual);

// Writes content to path, creating its folders.
void WriteText(const std::string& path, const std::string& content);
std::string ReadText(const std::string& path);
bool Exists(const std::string& path); // lstat succeeds

// Mounts made by a test, undone (lazily, in reverse order) on destruction.
class TMounts {
public:
    ~TMounts();
    // A tmpfs at dir; false when this process may not mount (not root).
    bool Tmpfs(const std::string& dir, const std::string& options = "size=16m");
    bool Bind(const std::string& from, const std::string& to);
    // Makes the mount at dir read-only.
    bool ReadOnly(const std::string& dir);

private:
    std::vector<std::string> FPoints;
};

} // namespace qz::test

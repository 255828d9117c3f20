// Running the built quarzel program as a user runs it, and reading what it wrote.
#pragma once

#include <string>
#include <vector>

namespace qz::test {

extern const std::string kQuarzel; // the program under test

struct Result {
    int code = -1;
    std::string out, err;
};

// s quoted for the shell.
std::string Quote(const std::string& s);
// Runs quarzel with args (each passed as one argument) in folder dir; shellTail is appended to
// the command line as it stands (redirections such as ">&-").
Result Quarzel(const std::vector<std::string>& args, const std::string& dir,
               const std::string& shellTail = {});
// RFC 4180 rows of a CSV file (the UTF-8 byte-order mark dropped).
std::vector<std::vector<std::string>> ReadCsv(const std::string& path);
// A file of n bytes.
void WriteSized(const std::string& path, size_t n);
// A small tree with nesting, empty folders and files, and names that need care.
void MakeTree(const std::string& root);
// An NTFS image of the given size made with mkntfs; false when mkntfs failed.
bool MakeNtfsImage(const std::string& path, const char* size);

} // namespace qz::test

// File paths as URIs and percent-encoded text.
//
// Linux file names are bytes, so every function here works on the path's bytes: a name that
// is not valid UTF-8 is escaped byte by byte and comes back unchanged when decoded, and a line
// break in a name becomes "%0A" instead of ending a line of a URI list.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qz {

// Escapes every byte except the unreserved characters of RFC 2396 (letters, digits and
// "-_.!~*'()") and "/" as "%XX" (upper-case hex). The form of trash information files and of
// file URIs.
std::string PercentEncodePath(std::string_view bytes);
// The inverse; false when a "%" is not followed by two hex digits.
bool PercentDecode(std::string_view text, std::string& out);

// "file://" + the escaped absolute path.
std::string FileUri(std::string_view absolutePath);
// The path of a "file://" URI (with or without an empty host, or "localhost"); false for any
// other URI.
bool PathOfFileUri(std::string_view uri, std::string& out);

} // namespace qz

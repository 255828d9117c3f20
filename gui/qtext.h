// Text conversions between the toolkit-free code (UTF-16 std::u16string, UTF-8 std::string)
// and Qt.
#pragma once

#include "base/translate.h"

#include <QString>
#include <string>
#include <string_view>

namespace qz {

inline QString ToQString(std::u16string_view s) {
    return QString::fromUtf16(s.data(), qsizetype(s.size()));
}
inline QString ToQString(const std::string& s) {
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}
inline std::u16string ToU16(const QString& s) {
    return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()), size_t(s.size()));
}
// A file name for the toolkit-free code: the bytes the system uses for it (names that are not
// valid UTF-8 keep their bytes through QFile's encoding).
std::string ToLocalPath(const QString& s);
// Translated text of the program's catalogue (base/translate.h: tr, ntr, N_).
QString Tr(const char* english);
// The form of a text with a count n.
QString NTr(const char* singular, const char* plural, uint64_t n);

} // namespace qz

#include "sources/csv_import_reader.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qz {

TCsvRowReader::TCsvRowReader(int fd, char separator, size_t bufferSize)
    : FFd(fd), FSep(separator), FBuf(new char[bufferSize]), FCap(bufferSize) {
    FFields.reserve(32);
}

bool TCsvRowReader::Fill() {
    if (FPos > 0) {
        std::memmove(FBuf.get(), FBuf.get() + FPos, FEnd - FPos);
        FEnd -= FPos;
        FPos = 0;
    }
    while (FEnd < FCap && !FEof) {
        const ssize_t got = ::read(FFd, FBuf.get() + FEnd, FCap - FEnd);
        if (got < 0) {
            if (errno == EINTR) continue;
            FErrno = errno;
            return false;
        }
        if (got == 0) {
            FEof = true;
            break;
        }
        FEnd += size_t(got);
        // One successful read is enough to make progress; the buffer is topped up when a
        // row does not fit into what is there.
        break;
    }
    return true;
}

std::string_view TCsvRowReader::Text(const TCsvField& f, std::string& scratch) {
    if (!f.HasDoubledQuotes) return f.Raw;
    scratch.clear();
    std::string_view s = f.Raw;
    for (size_t i = 0; i < s.size(); ++i) {
        scratch.push_back(s[i]);
        if (s[i] == '"') ++i; // the second quote of the pair
    }
    return scratch;
}

TCsvRowReader::TParse TCsvRowReader::ParseRow(size_t& rowEnd, int64_t& newlines) {
    FFields.clear();
    newlines = 0;
    const char* const base = FBuf.get();
    const char* p = base + FPos;
    const char* const end = base + FEnd;
    const char sep = FSep;
    for (;;) {
        if (p < end && *p == '"') {
            const char* q = p + 1;
            bool doubled = false;
            const char* close = nullptr;
            while (!close) {
                const char* f = static_cast<const char*>(std::memchr(q, '"', size_t(end - q)));
                if (!f) break;
                if (f + 1 < end && f[1] == '"') {
                    doubled = true;
                    q = f + 2;
                    continue;
                }
                if (f + 1 == end && !FEof) break; // a doubled quote may follow
                close = f;
            }
            if (!close) {
                if (FEof) return TParse::BadQuote;
                return FPos == 0 && FEnd == FCap ? TParse::TooLong : TParse::NeedMore;
            }
            for (const char* c = p + 1; c < close;) {
                const char* nl = static_cast<const char*>(std::memchr(c, '\n', size_t(close - c)));
                if (!nl) break;
                ++newlines;
                c = nl + 1;
            }
            FFields.push_back({std::string_view(p + 1, size_t(close - p - 1)), true, doubled});
            p = close + 1;
            if (p == end) {
                if (!FEof) return FPos == 0 && FEnd == FCap ? TParse::TooLong : TParse::NeedMore;
                rowEnd = size_t(p - base);
                return TParse::Done;
            }
            if (*p == sep) {
                ++p;
                continue;
            }
            if (*p == '\n') {
                rowEnd = size_t(p + 1 - base);
                return TParse::Done;
            }
            if (*p == '\r') {
                if (p + 1 == end && !FEof)
                    return FPos == 0 && FEnd == FCap ? TParse::TooLong : TParse::NeedMore;
                if (p + 1 == end || p[1] == '\n') {
                    rowEnd = size_t(p + (p + 1 == end ? 1 : 2) - base);
                    return TParse::Done;
                }
            }
            // Text after the closing quote: the line is passed over up to its end.
            const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
            if (!nl && !FEof) return FPos == 0 && FEnd == FCap ? TParse::TooLong : TParse::NeedMore;
            rowEnd = size_t((nl ? nl + 1 : end) - base);
            return TParse::Malformed;
        }
        // Unquoted field: up to the separator or the line end.
        const char* e = p;
        while (e < end && *e != sep && *e != '\n') ++e;
        if (e == end && !FEof)
            return FPos == 0 && FEnd == FCap ? TParse::TooLong : TParse::NeedMore;
        const char* fe = e;
        if (e == end || *e == '\n') {
            if (fe > p && fe[-1] == '\r') --fe;
        }
        FFields.push_back({std::string_view(p, size_t(fe - p)), false, false});
        if (e < end && *e == sep) {
            p = e + 1;
            continue;
        }
        rowEnd = size_t((e < end ? e + 1 : e) - base);
        return TParse::Done;
    }
}

TCsvRowReader::TStatus TCsvRowReader::Next() {
    if (!FStarted) {
        FStarted = true;
        if (!Fill()) {
            FRowLine = FNextLine;
            return TStatus::ReadError;
        }
        // The byte-order mark may arrive in pieces on a pipe.
        while (FEnd < 3 && !FEof)
            if (!Fill()) return TStatus::ReadError;
        if (FEnd >= 3 && std::memcmp(FBuf.get(), "\xEF\xBB\xBF", 3) == 0) {
            FPos = 3;
            FConsumed = 3;
        }
    }
    for (;;) {
        FRowLine = FNextLine;
        if (FPos == FEnd) {
            if (FEof) return TStatus::End;
            if (!Fill()) return TStatus::ReadError;
            continue;
        }
        size_t rowEnd = 0;
        int64_t newlines = 0;
        const TParse parsed = ParseRow(rowEnd, newlines);
        switch (parsed) {
        case TParse::Done:
        case TParse::Malformed: {
            const size_t start = FPos;
            size_t textEnd = rowEnd;
            FRowHasLineEnd = textEnd > start && FBuf[textEnd - 1] == '\n';
            if (FRowHasLineEnd) --textEnd;
            if (textEnd > start && FBuf[textEnd - 1] == '\r') --textEnd;
            FRowText = std::string_view(FBuf.get() + start, textEnd - start);
            FConsumed += rowEnd - start;
            FPos = rowEnd;
            FNextLine += 1 + newlines;
            return parsed == TParse::Done ? TStatus::Row : TStatus::Malformed;
        }
        case TParse::NeedMore:
            if (!Fill()) return TStatus::ReadError;
            continue;
        case TParse::TooLong:
            return TStatus::TooLong;
        case TParse::BadQuote:
            return TStatus::BadQuote;
        }
    }
}

} // namespace qz

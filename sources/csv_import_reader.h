// Streaming row reader for CSV/TSV files: splits a file into rows and fields through one
// fixed read buffer (1 MiB by default), without copying fields.
//
// A row ends at LF (a CR before it is dropped) outside quotes. A field that starts with '"'
// is quoted: it runs to the next '"' that is not doubled, may hold the separator and line
// breaks, and must be followed by the separator or the end of the row; a row where other text
// follows the closing quote is passed over up to its line end (Malformed). A row longer than
// the buffer is refused (TooLong), so a file of any size or shape is read in bounded memory.
#pragma once

#include "base/filehandle.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qz {

struct TCsvField {
    std::string_view Raw; // as stored (inside the quotes for a quoted field)
    bool Quoted = false;
    bool HasDoubledQuotes = false; // Raw holds "" pairs that stand for one '"'
};

class TCsvRowReader {
public:
    enum class TStatus {
        Row,       // a row is available (Fields, Line)
        Malformed, // text follows a closing quote: the line was passed over (Line, RowText)
        End,       // end of the input
        TooLong,   // the row does not fit into the buffer
        BadQuote,  // a quoted field is not closed before the end of the input
        ReadError, // the input could not be read (errno in Errno())
    };

    // Reads from fd (not owned). A UTF-8 byte-order mark at the start is skipped.
    TCsvRowReader(int fd, char separator, size_t bufferSize = size_t(1) << 20);

    TStatus Next();
    // Fields of the current row; valid until the next call to Next.
    std::span<const TCsvField> Fields() const { return FFields; }
    // The row's whole text without its line end.
    std::string_view RowText() const { return FRowText; }
    // False when the row ran to the end of the input without a line end (a last line cut
    // short, or a file without a final line break).
    bool RowHasLineEnd() const { return FRowHasLineEnd; }
    // Line number (1-based) of the first line of the current row, or of the row that failed.
    int64_t Line() const { return FRowLine; }
    // Bytes consumed so far (for progress).
    uint64_t BytesRead() const { return FConsumed; }
    int Errno() const { return FErrno; }

    // The field's text with doubled quotes made single (scratch holds it when needed).
    static std::string_view Text(const TCsvField& f, std::string& scratch);

private:
    enum class TParse { Done, Malformed, NeedMore, TooLong, BadQuote };
    TParse ParseRow(size_t& rowEnd, int64_t& newlines);
    bool Fill(); // moves the unread part to the front and reads more; false on a read error

    int FFd;
    char FSep;
    std::unique_ptr<char[]> FBuf;
    size_t FCap;
    size_t FPos = 0; // start of the unread part
    size_t FEnd = 0; // end of the data in the buffer
    bool FEof = false;
    bool FStarted = false;
    int FErrno = 0;
    uint64_t FConsumed = 0;
    int64_t FNextLine = 1;
    int64_t FRowLine = 0;
    std::string_view FRowText;
    bool FRowHasLineEnd = false;
    std::vector<TCsvField> FFields;
};

} // namespace qz

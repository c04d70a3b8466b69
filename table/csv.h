// Splitting a table's bytes into rows and cells: quoted cells with doubled quotes and line
// breaks, LF or CRLF line ends, the byte-order mark, UTF-8 checking, and the line and
// character column where every cell starts, for messages.
#ifndef ZORV_TABLE_CSV_H
#define ZORV_TABLE_CSV_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "table/input.h"

namespace zorv::table {

struct Pos {
    int64_t line = 0;
    int64_t column = 0;  // in characters, 1-based
};

// One row as the scanner found it. Cell texts are decoded (quotes removed, doubled quotes
// single) and stay UTF-8.
struct Row {
    std::string text;            // the cells back to back
    std::vector<uint32_t> ends;  // cell i is text[ends[i-1], ends[i])
    std::vector<int32_t> chars;  // characters in cell i
    std::vector<Pos> where;      // where cell i starts
    Pos end;                     // where the row's line end (or the end of the input) is
    std::string raw;             // the original bytes without the line end, when kept

    int32_t cells() const { return static_cast<int32_t>(ends.size()); }
    std::string_view cell(int32_t i) const {
        const uint32_t from = i == 0 ? 0 : ends[static_cast<size_t>(i) - 1];
        return std::string_view(text).substr(from, ends[static_cast<size_t>(i)] - from);
    }
};

enum class Scan { kRow, kEnd, kError };

// A refusal of the scanner: where, and what.
struct ScanFailure {
    Pos at;
    std::string message;
};

class Scanner {
  public:
    Scanner(Input& input, char delimiter);

    // A row is refused as soon as it has more than n cells (kMaxColumns at first).
    void set_max_cells(int32_t n) { max_cells_ = n; }
    // Reads the next row that is not an empty line. keep_raw keeps its original bytes.
    Scan next(Row& row, bool keep_raw, ScanFailure* failure);
    // Starts again at the input's first byte (after the input was rewound).
    void restart();
    // The line end of the first row that had one: "\r\n" or "\n" (the default).
    std::string_view line_end() const { return line_end_; }

  private:
    bool fill(Row& row, bool keep_raw, ScanFailure* failure);
    bool skip_bom(ScanFailure* failure);

    Input& input_;
    char delim_;
    int32_t max_cells_ = 0;
    std::vector<char> buf_;
    size_t pos_ = 0;
    size_t end_ = 0;
    bool eof_ = false;
    bool started_ = false;  // the byte-order mark has been looked for
    int64_t line_ = 1;
    int64_t column_ = 0;  // characters consumed on the current line
    std::string line_end_ = "\n";
    bool line_end_known_ = false;
    size_t raw_from_ = 0;  // start of the row's bytes still in buf_
};

}  // namespace zorv::table

#endif

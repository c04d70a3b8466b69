// Splitting blocks of a table's bytes into rows and cells: quoted cells with doubled quotes
// and line breaks, LF or CRLF line ends, UTF-8 checking. A cell is kept as where its text
// lies in the block, so nothing is copied; positions for messages (line and character
// column) are worked out only when something is wrong.
#ifndef ZORV_TABLE_CSV_H
#define ZORV_TABLE_CSV_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace zorv::table {

struct Pos {
    int64_t line = 0;
    int64_t column = 0;  // in characters, 1-based
};

// How a cell is written: as it stands, between quotes, or between quotes with doubled quotes
// that stand for one each.
enum class Quoting : uint8_t { kPlain, kQuoted, kDoubled };

struct Cell {
    uint32_t begin = 0;  // offset of the text in the block, past an opening quote
    uint32_t end = 0;    // end of the text, before a closing quote
    int32_t chars = 0;   // characters of the text, a doubled quote counting once
    Quoting quoting = Quoting::kPlain;

    // Where the cell starts in the block, its opening quote included.
    uint32_t start() const { return begin - (quoting == Quoting::kPlain ? 0 : 1); }
};

// The cells of a row. The storage keeps its largest size from row to row, so the scanner
// writes cells in place.
class CellList {
  public:
    size_t size() const { return n_; }
    bool empty() const { return n_ == 0; }
    const Cell& operator[](size_t i) const { return v_[i]; }
    const Cell* begin() const { return v_.data(); }
    const Cell* end() const { return v_.data() + n_; }
    void clear() { n_ = 0; }
    Cell& emplace_back() {
        if (n_ == v_.size()) v_.resize(n_ < 8 ? 16 : 2 * n_);
        return v_[n_++];
    }
    // Room for n cells from the start; the caller fills them and sets the count.
    Cell* room(size_t n) {
        if (v_.size() < n) v_.resize(n);
        return v_.data();
    }
    void set_size(size_t n) { n_ = n; }

  private:
    std::vector<Cell> v_;
    size_t n_ = 0;
};

// One row as the scanner found it.
struct RowCells {
    uint32_t begin = 0;  // the row's bytes in the block, without the line end
    uint32_t end = 0;    // offset of the line end (of its CR in CRLF), or of the input's end
    int64_t line = 0;    // lines of the block before the row's first line
    bool plain = true;   // no unquoted cell holds a quote or a CR: the bytes are RFC 4180
    size_t count = 0;    // the row's cells; `cells` holds at least the scanner's wanted ones
    CellList cells;
};

enum class Scan { kRow, kEnd, kError };

// A refusal of the scanner: where (the line counted from the block's first, 0-based) and why.
struct ScanFailure {
    Pos at;
    std::string message;
};

class RowScanner {
  public:
    explicit RowScanner(char delimiter);

    // A row is refused as soon as it has more than n cells (kMaxColumns at first).
    void set_max_cells(int32_t n) { max_cells_ = n; }
    // Only the first n cells of a row need be kept: past them a row's cells may only be
    // counted (RowCells::count). Every cell is kept by default.
    void set_wanted(size_t n) { wanted_ = n; }
    // Scans the rows of data[begin, size). A block holds whole rows, each row beginning a
    // line, unless last (the input ends in it). kMaskPadding bytes past size must be
    // readable (their contents do not matter).
    void start(const char* data, size_t begin, size_t size, bool last);
    // The next row that is not an empty line.
    Scan next(RowCells& row, ScanFailure* failure);
    // Offset of the first byte not yet scanned, and the line ends passed so far.
    size_t position() const { return pos_; }
    int64_t lines() const { return lines_; }
    // The line end of the first line that ended outside quotes: "\r\n" or "\n" (the default).
    std::string_view line_end() const { return first_end_ == 2 ? "\r\n" : "\n"; }

    // Line (from the block's first, 0-based) and character column of an offset of row.
    Pos locate(const RowCells& row, uint32_t offset) const;

  private:
    Scan fail(const RowCells& row, size_t offset, std::string message, ScanFailure* failure);
    bool too_long(const RowCells& row, size_t at, size_t begin, size_t upto, size_t extra,
                  bool quoted, ScanFailure* failure);
    void masks(size_t at, uint64_t* bits, uint64_t* special, uint64_t* delims) const;
    void load(size_t at);
    size_t seek(size_t p);

    uint8_t delim_;
    int32_t max_cells_;
    size_t wanted_ = std::numeric_limits<size_t>::max();
    const uint8_t* data_ = nullptr;
    size_t window_ = 0;     // offset of the 64 bytes whose masks bits_ holds
    uint64_t bits_ = 0;     // the bytes there that the scanner must look at
    uint64_t special_ = 0;  // those of them that are no delimiter or line feed, and the end
    uint64_t delims_ = 0;   // the delimiters there
    size_t pos_ = 0;
    size_t size_ = 0;
    bool last_ = true;
    int64_t lines_ = 0;
    int first_end_ = 0;  // 0 none yet, 1 LF, 2 CRLF
};

// The text between a cell's quotes with each doubled quote made single, in *scratch.
std::string_view undouble(std::string_view raw, std::string* scratch);

// A cell's text: a view into the block, or for doubled quotes the text with each made
// single, in *scratch.
inline std::string_view cell_text(const char* data, const Cell& cell, std::string* scratch) {
    const std::string_view raw(data + cell.begin, cell.end - cell.begin);
    return cell.quoting == Quoting::kDoubled ? undouble(raw, scratch) : raw;
}

// Appends a row's bytes as RFC 4180 CSV with the given delimiter: every cell as the input
// wrote it, except an unquoted cell holding a quote or a CR, which is quoted.
void append_csv(const char* data, const RowCells& row, char delimiter, std::string* out);

}  // namespace zorv::table

#endif

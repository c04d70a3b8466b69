// The row scanner. Text runs are skipped by a table lookup per byte, stopping only at the
// bytes that matter (the delimiter, quotes, line ends, non-ASCII bytes); a sentinel line
// feed after the block ends every run without a bounds test. UTF-8 is checked as the
// scanner passes, and characters are counted as bytes less continuation bytes.
#include "table/csv.h"

#include <cassert>
#include <cstdio>

#include "table/table.h"

namespace zorv::table {
namespace {

// A UTF-8 lead byte: how many continuation bytes follow it and the range the first of them
// must lie in, which rules out overlong forms, surrogates and values past U+10FFFF.
struct Lead {
    int more;
    uint8_t lo, hi;
};

Lead lead_of(uint8_t b) {
    if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
    if (b == 0xE0) return {2, 0xA0, 0xBF};
    if (b == 0xED) return {2, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF) return {2, 0x80, 0xBF};
    if (b == 0xF0) return {3, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
    if (b == 0xF4) return {3, 0x80, 0x8F};
    return {-1, 0, 0};
}

std::string byte_text(uint8_t b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

// The length of the character whose lead byte (0x80 or above) is at p, or 0 when it is not
// well formed, with the reason: the byte itself, a broken sequence, or the input's end.
int char_length(const uint8_t* p, const uint8_t* end, bool last, std::string* why) {
    const Lead l = lead_of(*p);
    if (l.more < 0) {
        *why = "invalid UTF-8 (byte " + byte_text(*p) + ")";
        return 0;
    }
    uint8_t lo = l.lo, hi = l.hi;
    for (int k = 1; k <= l.more; ++k, lo = 0x80, hi = 0xBF) {
        if (p + k >= end) {
            // A block that is not the last ends only after a line feed, so a character cut
            // by its end is one cut by the input's end.
            *why = last ? "invalid UTF-8 (the input ends inside a character)"
                        : "row too long (is a closing quote missing?)";
            return 0;
        }
        if (p[k] < lo || p[k] > hi) {
            *why = "invalid UTF-8 (a character begun by byte " + byte_text(*p) + " is broken)";
            return 0;
        }
    }
    return l.more + 1;
}

}  // namespace

RowScanner::RowScanner(char delimiter)
    : delim_(static_cast<uint8_t>(delimiter)), max_cells_(kMaxColumns) {
    for (int b = 0; b < 256; ++b) {
        const bool high = b >= 0x80;
        plain_[b] = high || b == '"' || b == '\n' || b == '\r' || b == delim_;
        quoted_[b] = high || b == '"' || b == '\n';
    }
}

void RowScanner::start(char* data, size_t begin, size_t size, bool last) {
    data[size] = '\n';  // the sentinel: every run stops at it
    data_ = reinterpret_cast<const uint8_t*>(data);
    pos_ = begin;
    size_ = size;
    last_ = last;
    lines_ = 0;
}

Pos RowScanner::locate(const RowCells& row, uint32_t offset) const {
    Pos at{row.line, 1};
    for (uint32_t i = row.begin; i < offset; ++i) {
        const uint8_t b = data_[i];
        if (b == '\n') {
            ++at.line;
            at.column = 1;
        } else if ((b & 0xC0) != 0x80) {
            ++at.column;
        }
    }
    return at;
}

Scan RowScanner::fail(const RowCells& row, uint32_t offset, std::string message,
                      ScanFailure* failure) {
    *failure = {locate(row, offset), std::move(message)};
    pos_ = size_;
    return Scan::kError;
}

// Each cell is scanned by one of two loops, outside or inside quotes; both keep `extra`,
// the bytes of the text that are no characters of their own (continuation bytes, the
// second quote of a pair), so that a cell's characters are its bytes less extra.
Scan RowScanner::next(RowCells& row, ScanFailure* failure) {
    row.cells.clear();
    row.plain = true;
    const uint8_t* const base = data_;
    const uint8_t* const end = base + size_;
    const uint8_t* p = base + pos_;
    auto offset = [base](const uint8_t* q) { return static_cast<uint32_t>(q - base); };

    // Empty lines hold no row.
    for (;;) {
        if (p == end) {
            pos_ = size_;
            return Scan::kEnd;
        }
        if (*p == '\n') {
            if (first_end_ == 0) first_end_ = 1;
        } else if (*p == '\r' && p + 1 < end && p[1] == '\n') {
            if (first_end_ == 0) first_end_ = 2;
            ++p;
        } else {
            break;
        }
        ++p;
        ++lines_;
    }
    row.begin = offset(p);
    row.line = lines_;

    std::string why;
    for (;;) {
        Cell cell;
        const uint8_t* const at = p;  // the cell's start
        int32_t extra = 0;
        const bool quoted = *p == '"' && p < end;
        // A cell that has grown past the widest column is refused at its start, before any
        // fault found later in it.
        auto too_long = [&](const uint8_t* upto) {
            const uint8_t* from = base + cell.begin;
            if (upto - from - extra <= kMaxWidth) return false;
            fail(row, offset(at),
                 "cell longer than " + std::to_string(kMaxWidth) + " characters" +
                     (quoted ? " (is its closing quote missing?)" : ""),
                 failure);
            return true;
        };
        if (quoted) {
            cell.begin = offset(++p);
            bool doubled = false;
            for (;;) {
                while (quoted_[*p] == 0) ++p;
                if (p == end) {
                    if (too_long(p)) return Scan::kError;
                    return fail(row, offset(at),
                                last_ ? "quoted cell has no closing quote"
                                      : "row too long (is a closing quote missing?)",
                                failure);
                }
                if (*p == '"') {
                    if (p + 1 < end && p[1] == '"') {
                        doubled = true;
                        ++extra;
                        p += 2;
                        continue;
                    }
                    break;
                }
                if (*p == '\n') {
                    ++lines_;
                    ++p;
                    continue;
                }
                const int n = char_length(p, end, last_, &why);
                if (n == 0) return too_long(p) ? Scan::kError : fail(row, offset(p), why, failure);
                extra += n - 1;
                p += n;
            }
            cell.end = offset(p);
            cell.quoting = doubled ? Quoting::kDoubled : Quoting::kQuoted;
            if (too_long(p)) return Scan::kError;
            ++p;  // the closing quote
            if (p < end && *p != delim_ && *p != '\n' &&
                !(*p == '\r' && p + 1 < end && p[1] == '\n'))
                return fail(row, offset(p), "unexpected text after a closing quote", failure);
        } else {
            cell.begin = offset(p);
            for (;;) {
                while (plain_[*p] == 0) ++p;
                if (p == end || *p == delim_ || *p == '\n') break;
                if (*p == '\r') {
                    if (p + 1 < end && p[1] == '\n') break;
                    row.plain = false;  // a lone CR is text
                    ++p;
                    continue;
                }
                if (*p == '"') {
                    row.plain = false;  // a quote inside a cell is text
                    ++p;
                    continue;
                }
                const int n = char_length(p, end, last_, &why);
                if (n == 0) return too_long(p) ? Scan::kError : fail(row, offset(p), why, failure);
                extra += n - 1;
                p += n;
            }
            cell.end = offset(p);
            if (too_long(p)) return Scan::kError;
        }
        cell.chars = static_cast<int32_t>(cell.end - cell.begin) - extra;
        if (row.cells.size() >= static_cast<size_t>(max_cells_))
            return fail(row, offset(at),
                        max_cells_ == kMaxColumns
                            ? "more than " + std::to_string(kMaxColumns) + " cells in a row"
                            : "row has more cells than the header's " + std::to_string(max_cells_),
                        failure);
        row.cells.push_back(cell);

        if (p == end) {
            row.end = offset(p);
            pos_ = size_;
            if (!last_)
                return fail(row, offset(p), "row too long (is a closing quote missing?)", failure);
            return Scan::kRow;
        }
        if (*p == delim_) {
            ++p;
            continue;
        }
        row.end = offset(p);
        const int kind = *p == '\r' ? 2 : 1;
        if (first_end_ == 0) first_end_ = kind;
        p += kind;
        ++lines_;
        pos_ = offset(p);
        return Scan::kRow;
    }
}

std::string_view cell_text(const char* data, const Cell& cell, std::string* scratch) {
    const std::string_view raw(data + cell.begin, cell.end - cell.begin);
    if (cell.quoting != Quoting::kDoubled) return raw;
    scratch->clear();
    for (size_t i = 0; i < raw.size(); ++i) {
        scratch->push_back(raw[i]);
        if (raw[i] == '"') ++i;  // the second of a pair
    }
    return *scratch;
}

void append_csv(const char* data, const RowCells& row, char delimiter, std::string* out) {
    if (row.plain) {
        out->append(data + row.begin, row.end - row.begin);
        return;
    }
    for (size_t i = 0; i < row.cells.size(); ++i) {
        const Cell& c = row.cells[i];
        if (i > 0) out->push_back(delimiter);
        const std::string_view raw(data + c.begin, c.end - c.begin);
        if (c.quoting != Quoting::kPlain) {
            out->append(data + c.start(), c.end + 1 - c.start());
        } else if (raw.find_first_of("\"\r") == std::string_view::npos) {
            out->append(raw);
        } else {
            out->push_back('"');
            for (char ch : raw) {
                out->push_back(ch);
                if (ch == '"') out->push_back('"');
            }
            out->push_back('"');
        }
    }
    assert(!row.cells.empty());
}

}  // namespace zorv::table

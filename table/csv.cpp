// The row scanner. Runs of text are skipped with bit masks of the bytes that matter (the
// delimiter, quotes, line ends, non-ASCII bytes), 64 bytes at a time, so a cell costs a
// step or two rather than one per byte. UTF-8 is checked as the scanner passes, and
// characters are counted as bytes less continuation bytes.
#include "table/csv.h"

#include <algorithm>
#include <cassert>
#include <cstdio>

#include "table/bytemask.h"
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
// well formed, with the reason: the byte itself, a broken sequence, or the input's end. A
// NUL byte comes here too: it is no text of a table, and one found where a cell's text is
// read most often means the file is UTF-16 text or no text at all.
int char_length(const uint8_t* p, const uint8_t* end, bool last, std::string* why) {
    if (*p == 0) {
        *why = "NUL byte (is the table UTF-16 text, or not text at all?)";
        return 0;
    }
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
    : delim_(static_cast<uint8_t>(delimiter)), max_cells_(kMaxColumns) {}

void RowScanner::start(const char* data, size_t begin, size_t size, bool last) {
    data_ = reinterpret_cast<const uint8_t*>(data);
    pos_ = begin;
    size_ = size;
    last_ = last;
    lines_ = 0;
    load(begin & ~size_t{63});
}

// The masks of the window at `at` (a multiple of 64): the bytes the scanner stops at; among
// them, those that are neither the delimiter nor a line feed (`special`), and the
// delimiters. None holds a byte past the block's end; the stops and the special ones hold
// the end itself, so that every search ends there.
inline void RowScanner::masks(size_t at, uint64_t* bits, uint64_t* special,
                              uint64_t* delims) const {
    const StopMasks m = stop_masks(data_ + at, delim_);
    uint64_t s = m.rare;
    uint64_t d = m.delim;
    uint64_t b = s | m.newline | d;
    if (size_ - at < 64) {
        const int end = static_cast<int>(size_ - at);
        b = (b & bits_below(end)) | uint64_t{1} << end;
        s = (s & bits_below(end)) | uint64_t{1} << end;
        d &= bits_below(end);
    }
    *bits = b;
    *special = s;
    *delims = d;
}

void RowScanner::load(size_t at) {
    window_ = at;
    masks(at, &bits_, &special_, &delims_);
}

// The offset of the first byte at or after p that the scanner must look at: the delimiter,
// a quote, a line end, a byte of a character beyond ASCII, or the block's end.
inline size_t RowScanner::seek(size_t p) {
    if (p - window_ >= 64) load(p & ~size_t{63});
    uint64_t m = bits_ & ~bits_below(static_cast<int>(p - window_));
    while (m == 0) {
        load(window_ + 64);
        m = bits_;
    }
    return window_ + static_cast<size_t>(lowest_bit(m));
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

Scan RowScanner::fail(const RowCells& row, size_t offset, std::string message,
                      ScanFailure* failure) {
    *failure = {locate(row, static_cast<uint32_t>(offset)), std::move(message)};
    pos_ = size_;
    return Scan::kError;
}

// A cell that has grown past the widest column is refused at its start, before any fault
// found later in it: true, with the failure, when the cell's text from begin to upto, of
// which extra bytes are no characters of their own, is too long.
bool RowScanner::too_long(const RowCells& row, size_t at, size_t begin, size_t upto, size_t extra,
                          bool quoted, ScanFailure* failure) {
    if (upto - begin - extra <= static_cast<size_t>(kMaxWidth)) return false;
    fail(row, at,
         "cell longer than " + std::to_string(kMaxWidth) + " characters" +
             (quoted ? " (is its closing quote missing?)" : ""),
         failure);
    return true;
}

// Each cell is scanned by one of two loops, outside or inside quotes; both keep `extra`,
// the bytes of the text that are no characters of their own (continuation bytes, the
// second quote of a pair), so that a cell's characters are its bytes less extra. Both skip
// from one byte that matters to the next with seek().
Scan RowScanner::next(RowCells& row, ScanFailure* failure) {
    row.cells.clear();
    row.plain = true;
    const uint8_t* const d = data_;
    const size_t end = size_;
    size_t p = pos_;

    // Empty lines hold no row.
    for (;;) {
        if (p == end) {
            pos_ = size_;
            return Scan::kEnd;
        }
        if (d[p] == '\n') {
            if (first_end_ == 0) first_end_ = 1;
        } else if (d[p] == '\r' && p + 1 < end && d[p + 1] == '\n') {
            if (first_end_ == 0) first_end_ = 2;
            ++p;
        } else {
            break;
        }
        ++p;
        ++lines_;
    }
    row.begin = static_cast<uint32_t>(p);
    row.line = lines_;

    // The common cells first: unquoted, ended by the delimiter or the line end. The first
    // byte of any other kind (a quote, a lone CR, a malformed character, the block's end)
    // or a cell too long or too many hands the rest of the row, from the start of the cell
    // it is in, to the careful loop below. The loop keeps its state in locals, so that it
    // stays in registers.
    std::string why;
    {
        const size_t room = std::min<size_t>(static_cast<size_t>(max_cells_), 1024);
        const size_t wanted = std::min(room, wanted_);
        Cell* const cells = row.cells.room(room);
        size_t n = 0;
        size_t window = window_;
        uint64_t bits = bits_, special = special_, delims = delims_;
        size_t cell = p;
        size_t extra = 0;  // continuation bytes in the cell
        if (p - window >= 64) {
            window = p & ~size_t{63};
            masks(window, &bits, &special, &delims);
        }
        // The stops still ahead in the window: the lowest is cleared at each step, so one
        // step does not wait on the arithmetic of the last.
        uint64_t ahead = bits & ~bits_below(static_cast<int>(p - window));
        for (;;) {
            while (ahead == 0) {
                window += 64;
                masks(window, &bits, &special, &delims);
                ahead = bits;
            }
            const int i = lowest_bit(ahead);
            ahead &= ahead - 1;
            const size_t q = window + static_cast<size_t>(i);
            const bool rare = (special >> i & 1) != 0;
            if (rare && (d[q] >= 0x80 || d[q] == 0) && q < end) {
                // A character beyond ASCII: checked, counted, and its bytes passed over (a
                // NUL fails the check).
                const int len = char_length(d + q, d + end, last_, &why);
                if (len == 0) break;
                extra += static_cast<size_t>(len - 1);
                const size_t next = q + static_cast<size_t>(len);
                if (next - window >= 64) {
                    window = next & ~size_t{63};
                    masks(window, &bits, &special, &delims);
                    ahead = bits;
                }
                ahead &= ~bits_below(static_cast<int>(next - window));
                continue;
            }
            if ((rare && !(d[q] == '\r' && q + 1 < end && d[q + 1] == '\n')) ||
                q - cell - extra > static_cast<size_t>(kMaxWidth) || n == room)
                break;
            Cell& c = cells[n++];
            c.begin = static_cast<uint32_t>(cell);
            c.end = static_cast<uint32_t>(q);
            c.chars = static_cast<int32_t>(q - cell - extra);
            c.quoting = Quoting::kPlain;
            extra = 0;
            size_t count = n;
            size_t line_end = q;
            if (d[q] == delim_) {
                cell = q + 1;
                if (n < wanted) continue;
                // Past the cells wanted only their number matters: the delimiters are
                // counted a window at a time up to the line end. Anything else (a rare
                // byte, a cell that may be too long, too many cells) leaves the count, and
                // the cells are taken one by one from the first not wanted.
                size_t w = window, start = cell;
                uint64_t a = ahead, b = bits, sp = special, dl = delims;
                bool whole = false;
                for (;;) {
                    const uint64_t others = a & ~dl;
                    const uint64_t run = others != 0 ? a & bits_below(lowest_bit(others)) : a;
                    if (run != 0) {
                        if (w + static_cast<size_t>(lowest_bit(run)) - start >
                            static_cast<size_t>(kMaxWidth))
                            break;
                        count += static_cast<size_t>(count_bits(run));
                        start = w + static_cast<size_t>(highest_bit(run)) + 1;
                    }
                    if (count >= static_cast<size_t>(max_cells_)) break;
                    if (others != 0) {
                        const int j = lowest_bit(others);
                        line_end = w + static_cast<size_t>(j);
                        whole = line_end - start <= static_cast<size_t>(kMaxWidth) &&
                                ((sp >> j & 1) == 0 || (d[line_end] == '\r' && line_end + 1 < end &&
                                                        d[line_end + 1] == '\n'));
                        break;
                    }
                    if (w + 64 - start > static_cast<size_t>(kMaxWidth)) break;
                    w += 64;
                    masks(w, &b, &sp, &dl);
                    a = b;
                }
                if (!whole) continue;
                ++count;  // the last cell, ended by the line end
                window = w, bits = b, special = sp, delims = dl;
            }
            row.cells.set_size(n);
            row.count = count;
            row.end = static_cast<uint32_t>(line_end);
            const int kind = d[line_end] == '\r' ? 2 : 1;
            if (first_end_ == 0) first_end_ = kind;
            ++lines_;
            pos_ = line_end + static_cast<size_t>(kind);
            window_ = window, bits_ = bits, special_ = special, delims_ = delims;
            return Scan::kRow;
        }
        row.cells.set_size(n);
        window_ = window, bits_ = bits, special_ = special, delims_ = delims;
        p = cell;
    }

    for (;;) {
        const size_t at = p;  // the cell's start
        size_t begin, finish;
        size_t extra = 0;
        Quoting quoting = Quoting::kPlain;
        if (p < end && d[p] == '"') {
            begin = ++p;
            quoting = Quoting::kQuoted;
            for (;;) {
                p = seek(p);
                if (p == end) {
                    if (too_long(row, at, begin, p, extra, true, failure)) return Scan::kError;
                    return fail(row, at,
                                last_ ? "quoted cell has no closing quote"
                                      : "row too long (is a closing quote missing?)",
                                failure);
                }
                const uint8_t b = d[p];
                if (b == '"') {
                    if (p + 1 < end && d[p + 1] == '"') {
                        quoting = Quoting::kDoubled;
                        ++extra;
                        p += 2;
                        continue;
                    }
                    break;
                }
                if (b == '\n') {
                    ++lines_;
                } else if (b >= 0x80 || b == 0) {
                    const int n = char_length(d + p, d + end, last_, &why);
                    if (n == 0) {
                        if (too_long(row, at, begin, p, extra, true, failure)) return Scan::kError;
                        return fail(row, p, why, failure);
                    }
                    extra += static_cast<size_t>(n - 1);
                    p += static_cast<size_t>(n);
                    continue;
                }
                ++p;  // a line feed, a CR or the delimiter: text inside quotes
            }
            finish = p;
            if (too_long(row, at, begin, p, extra, true, failure)) return Scan::kError;
            ++p;  // the closing quote
            if (p < end && d[p] != delim_ && d[p] != '\n' &&
                !(d[p] == '\r' && p + 1 < end && d[p + 1] == '\n'))
                return fail(row, p, "unexpected text after a closing quote", failure);
        } else {
            begin = p;
            for (;;) {
                p = seek(p);
                if (p == end) break;
                const uint8_t b = d[p];
                if (b == delim_ || b == '\n') break;
                if (b == '\r') {
                    if (p + 1 < end && d[p + 1] == '\n') break;
                    row.plain = false;  // a lone CR is text
                    ++p;
                } else if (b == '"') {
                    row.plain = false;  // a quote inside a cell is text
                    ++p;
                } else {
                    const int n = char_length(d + p, d + end, last_, &why);
                    if (n == 0) {
                        if (too_long(row, at, begin, p, extra, false, failure)) return Scan::kError;
                        return fail(row, p, why, failure);
                    }
                    extra += static_cast<size_t>(n - 1);
                    p += static_cast<size_t>(n);
                }
            }
            finish = p;
            if (too_long(row, at, begin, p, extra, false, failure)) return Scan::kError;
        }
        if (row.cells.size() >= static_cast<size_t>(max_cells_))
            return fail(row, at,
                        max_cells_ == kMaxColumns
                            ? "more than " + std::to_string(kMaxColumns) + " cells in a row"
                            : "row has more cells than the header's " + std::to_string(max_cells_),
                        failure);
        // Filled in place: a cell built aside and copied in would be stored in pieces and
        // read back whole, which stalls the processor on every cell.
        Cell& cell = row.cells.emplace_back();
        cell.begin = static_cast<uint32_t>(begin);
        cell.end = static_cast<uint32_t>(finish);
        cell.chars = static_cast<int32_t>(finish - begin - extra);
        cell.quoting = quoting;

        if (p == end) {
            row.end = static_cast<uint32_t>(p);
            row.count = row.cells.size();
            pos_ = size_;
            if (!last_) return fail(row, p, "row too long (is a closing quote missing?)", failure);
            return Scan::kRow;
        }
        if (d[p] == delim_) {
            ++p;
            continue;
        }
        row.end = static_cast<uint32_t>(p);
        row.count = row.cells.size();
        const int kind = d[p] == '\r' ? 2 : 1;
        if (first_end_ == 0) first_end_ = kind;
        p += static_cast<size_t>(kind);
        ++lines_;
        pos_ = p;
        return Scan::kRow;
    }
}

std::string_view undouble(std::string_view raw, std::string* scratch) {
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

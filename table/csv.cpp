// The row scanner: a byte-at-a-time state machine over blocks of the input, with a fast
// path for runs of plain ASCII inside a cell. UTF-8 is checked as the bytes pass, so a
// cell never has to be looked at twice, and a character is counted at its lead byte.
#include "table/csv.h"

#include <cstdio>

#include "table/table.h"

namespace zorv::table {
namespace {

constexpr size_t kBlock = size_t{1} << 18;

enum State { kCellStart, kUnquoted, kQuoted, kAfterQuote };

// A UTF-8 lead byte: how many continuation bytes follow it and the range the first of them
// must lie in, which rules out overlong forms, surrogates and values past U+10FFFF.
struct Lead {
    int more;
    unsigned char lo, hi;
};

Lead lead_of(unsigned char b) {
    if (b >= 0xC2 && b <= 0xDF) return {1, 0x80, 0xBF};
    if (b == 0xE0) return {2, 0xA0, 0xBF};
    if (b == 0xED) return {2, 0x80, 0x9F};
    if (b >= 0xE1 && b <= 0xEF) return {2, 0x80, 0xBF};
    if (b == 0xF0) return {3, 0x90, 0xBF};
    if (b >= 0xF1 && b <= 0xF3) return {3, 0x80, 0xBF};
    if (b == 0xF4) return {3, 0x80, 0x8F};
    return {-1, 0, 0};
}

std::string byte_text(unsigned char b) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", b);
    return text;
}

}  // namespace

Scanner::Scanner(Input& input, char delimiter)
    : input_(input), delim_(delimiter), max_cells_(kMaxColumns), buf_(kBlock) {}

void Scanner::restart() {
    pos_ = end_ = raw_from_ = 0;
    eof_ = false;
    started_ = false;
    line_ = 1;
    column_ = 0;
}

// Refills the block once it is used up; bytes of the current row still in the block are
// first saved to its raw text. At the end of the input the block stays empty.
bool Scanner::fill(Row& row, bool keep_raw, ScanFailure* failure) {
    if (keep_raw && end_ > raw_from_) row.raw.append(buf_.data() + raw_from_, end_ - raw_from_);
    pos_ = end_ = raw_from_ = 0;
    if (eof_) return true;
    std::string why;
    const ssize_t got = input_.read(buf_.data(), buf_.size(), &why);
    if (got < 0) {
        *failure = {{line_, column_ + 1}, "cannot read: " + why};
        return false;
    }
    eof_ = got == 0;
    end_ = static_cast<size_t>(got);
    return true;
}

// Skips a byte-order mark at the very start; the first three bytes may come in pieces.
bool Scanner::skip_bom(ScanFailure* failure) {
    started_ = true;
    while (end_ < 3 && !eof_) {
        std::string why;
        const ssize_t got = input_.read(buf_.data() + end_, buf_.size() - end_, &why);
        if (got < 0) {
            *failure = {{1, 1}, "cannot read: " + why};
            return false;
        }
        eof_ = got == 0;
        end_ += static_cast<size_t>(got);
    }
    if (end_ >= 3 && static_cast<unsigned char>(buf_[0]) == 0xEF &&
        static_cast<unsigned char>(buf_[1]) == 0xBB && static_cast<unsigned char>(buf_[2]) == 0xBF)
        pos_ = 3;
    return true;
}

Scan Scanner::next(Row& row, bool keep_raw, ScanFailure* failure) {
    row.text.clear();
    row.ends.clear();
    row.chars.clear();
    row.where.clear();
    row.raw.clear();
    if (!started_ && !skip_bom(failure)) return Scan::kError;
    raw_from_ = pos_;

    State st = kCellStart;
    bool cr = false;  // a CR outside quotes, a line end only if LF follows
    Pos cr_at;
    bool any = false;  // the row holds something besides its line end
    int more = 0;      // continuation bytes still due in the current character
    unsigned char lo = 0, hi = 0;
    unsigned char seq_lead = 0;  // the current character's first byte, named in messages
    Pos seq_at;
    Pos cell_at{line_, column_ + 1};
    Pos quote_at;
    int32_t cell_chars = 0;

    auto fail = [&](Pos at, std::string message) {
        *failure = {at, std::move(message)};
        return Scan::kError;
    };
    auto too_long = [&] {
        return fail(cell_at, "cell longer than " + std::to_string(kMaxWidth) + " characters" +
                                 (st == kQuoted ? " (is its closing quote missing?)" : ""));
    };
    // Closes the current cell; false when the row has too many.
    auto end_cell = [&] {
        if (row.ends.size() >= static_cast<size_t>(max_cells_)) return false;
        row.ends.push_back(static_cast<uint32_t>(row.text.size()));
        row.chars.push_back(cell_chars);
        row.where.push_back(cell_at);
        cell_chars = 0;
        return true;
    };
    auto too_many = [&] {
        if (max_cells_ == kMaxColumns)
            return fail(cell_at, "more than " + std::to_string(kMaxColumns) + " cells in a row");
        return fail(cell_at, "row has more cells than the header's " + std::to_string(max_cells_));
    };

    for (;;) {
        if (pos_ == end_) {
            if (!fill(row, keep_raw, failure)) return Scan::kError;
            if (pos_ == end_) break;
        }
        if (more == 0 && !cr && (st == kUnquoted || st == kQuoted)) {
            size_t i = pos_;
            while (i < end_) {
                const unsigned char b = static_cast<unsigned char>(buf_[i]);
                if (b >= 0x80 || b == '"' || b == '\n' || b == '\r' || b == delim_) break;
                ++i;
            }
            if (i > pos_) {
                const size_t n = i - pos_;
                row.text.append(buf_.data() + pos_, n);
                column_ += static_cast<int64_t>(n);
                pos_ = i;
                if (n > static_cast<size_t>(kMaxWidth - cell_chars)) return too_long();
                cell_chars += static_cast<int32_t>(n);
                continue;
            }
        }

        const unsigned char b = static_cast<unsigned char>(buf_[pos_++]);
        bool lead = true;  // b begins a character
        if (more > 0) {
            if (b < lo || b > hi)
                return fail(seq_at, "invalid UTF-8 (a character begun by byte " +
                                        byte_text(seq_lead) + " is broken)");
            --more;
            lo = 0x80, hi = 0xBF;
            lead = false;
        } else {
            ++column_;
            if (b >= 0x80) {
                const Lead l = lead_of(b);
                if (l.more < 0)
                    return fail({line_, column_}, "invalid UTF-8 (byte " + byte_text(b) + ")");
                more = l.more, lo = l.lo, hi = l.hi, seq_lead = b;
                seq_at = {line_, column_};
            }
        }

        if (cr) {
            cr = false;
            if (b == '\n') {
                if (!line_end_known_) line_end_ = "\r\n", line_end_known_ = true;
                if (!any && row.ends.empty() && st == kCellStart) {  // an empty line
                    ++line_, column_ = 0;
                    row.raw.clear();
                    raw_from_ = pos_;
                    cell_at = {line_, 1};
                    continue;
                }
                row.end = cr_at;
                if (!end_cell()) return too_many();
                if (keep_raw) {
                    row.raw.append(buf_.data() + raw_from_, pos_ - 1 - raw_from_);
                    row.raw.pop_back();  // the CR, just before the LF
                }
                ++line_, column_ = 0;
                return Scan::kRow;
            }
            if (st == kAfterQuote) return fail(cr_at, "unexpected text after a closing quote");
            row.text.push_back('\r');
            if (++cell_chars > kMaxWidth) return too_long();
            st = kUnquoted;
            any = true;
        }

        switch (st) {
            case kQuoted:
                if (b == '"') {
                    st = kAfterQuote;
                    break;
                }
                row.text.push_back(static_cast<char>(b));
                if (lead && ++cell_chars > kMaxWidth) return too_long();
                if (b == '\n') ++line_, column_ = 0;
                break;
            case kAfterQuote:
                if (b == '"') {
                    row.text.push_back('"');
                    if (++cell_chars > kMaxWidth) return too_long();
                    st = kQuoted;
                    break;
                }
                [[fallthrough]];
            case kCellStart:
            case kUnquoted:
                if (b == static_cast<unsigned char>(delim_)) {
                    if (!end_cell()) return too_many();
                    st = kCellStart;
                    cell_at = {line_, column_ + 1};
                    any = true;
                } else if (b == '\n') {
                    if (!line_end_known_) line_end_ = "\n", line_end_known_ = true;
                    if (!any && row.ends.empty() && st == kCellStart) {  // an empty line
                        ++line_, column_ = 0;
                        raw_from_ = pos_;
                        row.raw.clear();
                        cell_at = {line_, 1};
                        break;
                    }
                    row.end = {line_, column_};
                    if (!end_cell()) return too_many();
                    if (keep_raw) row.raw.append(buf_.data() + raw_from_, pos_ - 1 - raw_from_);
                    ++line_, column_ = 0;
                    return Scan::kRow;
                } else if (b == '\r') {
                    cr = true;
                    cr_at = {line_, column_};
                } else if (st == kAfterQuote) {
                    return fail({line_, column_}, "unexpected text after a closing quote");
                } else if (b == '"' && st == kCellStart) {
                    st = kQuoted;
                    quote_at = {line_, column_};
                    any = true;
                } else {
                    row.text.push_back(static_cast<char>(b));
                    if (lead && ++cell_chars > kMaxWidth) return too_long();
                    st = kUnquoted;
                    any = true;
                }
                break;
        }
    }

    // The end of the input.
    if (more > 0) return fail(seq_at, "invalid UTF-8 (the input ends inside a character)");
    if (st == kQuoted) return fail(quote_at, "quoted cell has no closing quote");
    if (cr) {
        if (st == kAfterQuote) return fail(cr_at, "unexpected text after a closing quote");
        row.text.push_back('\r');
        if (++cell_chars > kMaxWidth) return too_long();
        any = true;
    }
    if (!any && row.ends.empty() && st == kCellStart) return Scan::kEnd;
    row.end = {line_, column_ + 1};
    if (!end_cell()) return too_many();
    return Scan::kRow;
}

}  // namespace zorv::table

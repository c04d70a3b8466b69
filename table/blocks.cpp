// Reading blocks and cutting them at the last row end. The cut follows quotes exactly as the
// scanner reads them (a quote opens a quoted cell only at a cell's start, a doubled quote
// inside stays inside), so on well-formed input every block ends where a row ends; on
// malformed input the scanner meets the fault before the cut can matter.
#include "table/blocks.h"

#include <algorithm>
#include <cstring>

#include "table/bytemask.h"

namespace zorv::table {

void BlockReader::restart() {
    carry_.clear();
    started_ = false;
    eof_ = false;
}

// The length of the whole rows at the start of data (0 when no row ends in it): the offset
// after the last line feed outside quotes. Only quotes and line feeds are visited, found
// 64 bytes at a time, so the cost is small next to the scanning of the rows.
size_t BlockReader::cut(const char* data, size_t size) const {
    const auto* d = reinterpret_cast<const uint8_t*>(data);
    const auto delim = static_cast<uint8_t>(delim_);
    size_t whole = 0;
    bool inside = false;  // within a quoted cell
    bool skip = false;    // the window's first quote is the second of a doubled one
    for (size_t at = 0; at < size; at += 64) {
        const QuoteMasks m = quote_masks(d + at);
        const uint64_t valid = bits_below(static_cast<int>(std::min<size_t>(64, size - at)));
        uint64_t quotes = m.quote & valid;
        uint64_t lines = m.newline & valid;
        if (skip) quotes &= ~uint64_t{1};
        skip = false;
        for (;;) {
            if (!inside) {
                // Line feeds before the next quote end rows.
                const uint64_t before = quotes != 0 ? bits_below(lowest_bit(quotes)) : ~uint64_t{0};
                if ((lines & before) != 0)
                    whole = at + static_cast<size_t>(highest_bit(lines & before)) + 1;
                if (quotes == 0) break;
            } else if (quotes == 0) {
                break;  // line feeds inside quotes end nothing
            }
            const int i = lowest_bit(quotes);
            quotes &= quotes - 1;
            lines &= ~bits_below(i + 1);
            const size_t o = at + static_cast<size_t>(i);
            if (!inside) {
                // A quote opens a quoted cell only at a cell's start; elsewhere it is text.
                inside = o == 0 || d[o - 1] == delim || d[o - 1] == '\n';
                continue;
            }
            if (o + 1 >= size) return whole;  // a doubled quote or a closing one: not known yet
            if (d[o + 1] != '"') {
                inside = false;
            } else if (i == 63) {
                skip = true;
            } else {
                quotes &= ~(uint64_t{1} << (i + 1));
            }
        }
    }
    return whole;
}

bool BlockReader::next(Block& block, std::string* why) {
    block.begin = block.size = 0;
    block.last = false;
    // The first block has room for the byte-order mark, which is looked for once, in it.
    const size_t least = started_ ? block_bytes_ : std::max(block_bytes_, kByteOrderMark.size());
    const size_t want = std::max(least, carry_.size() * 2) + kMaskPadding;
    if (block.bytes.size() < want) block.bytes.resize(want);
    std::memcpy(block.data(), carry_.data(), carry_.size());
    size_t n = carry_.size();
    carry_.clear();
    for (;;) {
        const size_t room = block.bytes.size() - kMaskPadding;
        while (n < room && !eof_) {
            const ssize_t got = input_.read(block.data() + n, room - n, why);
            if (got < 0) return false;
            eof_ = got == 0;
            n += static_cast<size_t>(got);
        }
        if (!started_) {
            started_ = true;
            if (std::string_view(block.data(), n).starts_with(kByteOrderMark)) {
                std::memmove(block.data(), block.data() + kByteOrderMark.size(),
                             n - kByteOrderMark.size());
                n -= kByteOrderMark.size();
                if (!eof_) continue;  // fill the three bytes' room
            }
        }
        if (eof_) {
            block.size = n;
            block.last = true;
            return true;
        }
        const size_t whole = cut(block.data(), n);
        if (whole > 0) {
            block.size = whole;
            carry_.assign(block.data() + whole, n - whole);
            return true;
        }
        // Unfinished, for the scanner to refuse: a row past the limit, or one that holds a
        // NUL byte, which no table has (/dev/zero would otherwise be read up to the limit).
        if (n > row_limit_ || std::memchr(block.data(), 0, n) != nullptr) {
            block.size = n;
            return true;
        }
        block.bytes.resize(block.bytes.size() * 2);  // a row longer than the block
    }
}

}  // namespace zorv::table

// Reading blocks and cutting them at the last row end. The cut follows quotes exactly as the
// scanner reads them (a quote opens a quoted cell only at a cell's start, a doubled quote
// inside stays inside), so on well-formed input every block ends where a row ends; on
// malformed input the scanner meets the fault before the cut can matter.
#include "table/blocks.h"

#include <algorithm>
#include <cstring>

namespace zorv::table {

void BlockReader::restart() {
    carry_.clear();
    started_ = false;
    eof_ = false;
}

// The length of the whole rows at the start of data (0 when no row ends in it): the offset
// after the last line feed outside quotes. Quote-free stretches are searched with memchr
// and memrchr, so the cost is small next to the scanning of the rows.
size_t BlockReader::cut(const char* data, size_t size) const {
    const char* p = data;
    const char* const end = data + size;
    size_t whole = 0;
    while (p < end) {
        const char* q = static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
        const char* stop = q != nullptr ? q : end;
        if (const void* nl = ::memrchr(p, '\n', static_cast<size_t>(stop - p)))
            whole = static_cast<size_t>(static_cast<const char*>(nl) - data) + 1;
        if (q == nullptr) break;
        p = q + 1;
        if (q != data && q[-1] != delim_ && q[-1] != '\n') continue;  // a quote inside a cell
        // A quoted cell: find its closing quote, stepping over doubled ones.
        for (;;) {
            const char* r =
                static_cast<const char*>(std::memchr(p, '"', static_cast<size_t>(end - p)));
            if (r == nullptr || r + 1 == end) return whole;  // the cell goes on past the block
            if (r[1] != '"') {
                p = r + 1;
                break;
            }
            p = r + 2;
        }
    }
    return whole;
}

bool BlockReader::next(Block& block, std::string* why) {
    block.begin = block.size = 0;
    block.last = false;
    const size_t want = std::max(kBlockBytes, carry_.size() * 2) + 1;
    if (block.bytes.size() < want) block.bytes.resize(want);
    std::memcpy(block.data(), carry_.data(), carry_.size());
    size_t n = carry_.size();
    carry_.clear();
    for (;;) {
        const size_t room = block.bytes.size() - 1;  // the sentinel's byte stays free
        while (n < room && !eof_) {
            const ssize_t got = input_.read(block.data() + n, room - n, why);
            if (got < 0) return false;
            eof_ = got == 0;
            n += static_cast<size_t>(got);
        }
        if (!started_) {
            started_ = true;
            if (n >= 3 && std::memcmp(block.data(), "\xEF\xBB\xBF", 3) == 0) {
                std::memmove(block.data(), block.data() + 3, n - 3);
                n -= 3;
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
        if (n > row_limit_) {
            block.size = n;  // unfinished: the scanner refuses the row
            return true;
        }
        block.bytes.resize(block.bytes.size() * 2);  // a row longer than the block
    }
}

}  // namespace zorv::table

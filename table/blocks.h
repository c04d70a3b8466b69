// A table's bytes in large blocks, each cut at a row's end, so that the rows of a block can
// be scanned on their own, on any thread. The bytes after the last whole row of a read are
// carried over to the next block.
#ifndef ZORV_TABLE_BLOCKS_H
#define ZORV_TABLE_BLOCKS_H

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "table/input.h"

namespace zorv::table {

// The UTF-8 byte-order mark, dropped where it begins the input.
inline constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

struct Block {
    std::vector<char> bytes;  // the rows, then kMaskPadding bytes at least
    size_t begin = 0;         // offset of the first row (past a header read from the block)
    size_t size = 0;          // end of the rows
    bool last = false;        // the input ends in this block

    char* data() { return bytes.data(); }
};

// The longest header row: far more than any header of names a person would read, and
// reached quickly by an input with no line end at all.
inline constexpr size_t kHeaderBytes = size_t{64} << 20;

class BlockReader {
  public:
    // block_bytes: bytes read for a block, unless a row is longer.
    BlockReader(Input& input, char delimiter, size_t block_bytes)
        : input_(input), delim_(delimiter), block_bytes_(block_bytes < 1 ? 1 : block_bytes) {}

    // A row may not be longer than this (kHeaderBytes at first); one that is, is handed
    // over unfinished for the scanner to refuse, rather than read whole into memory.
    void set_row_limit(size_t bytes) { row_limit_ = bytes; }
    // Fills block with the next whole rows, the byte-order mark at the input's start left
    // out. After the input's end, blocks are empty and last. Returns false with *why when
    // the input cannot be read.
    bool next(Block& block, std::string* why);
    // Starts again at the input's first byte (after the input was rewound).
    void restart();

  private:
    size_t cut(const char* data, size_t size) const;

    Input& input_;
    char delim_;
    size_t block_bytes_;
    size_t row_limit_ = kHeaderBytes;
    std::string carry_;  // the start of a row that the last block did not hold whole
    bool started_ = false;
    bool eof_ = false;
};

}  // namespace zorv::table

#endif

// Text handling of the command line: UTF-8 arguments and input to the wide characters the
// library reads.
#ifndef ZORV_CLI_TEXT_H
#define ZORV_CLI_TEXT_H

#include <cstddef>
#include <optional>
#include <string>

namespace zorv::cli {

// Decodes UTF-8. On malformed input returns nothing and sets bad_offset to the offset of
// the first byte that does not decode.
std::optional<std::u32string> decode_utf8(const std::string& bytes, size_t* bad_offset);

// Reads everything from a file descriptor into *out. Returns 0, or the errno of the read
// that failed (then *out holds what came before it).
int read_all(int fd, std::string* out);

// Drops a UTF-8 byte-order mark (U+FEFF) from the front of text, where an editor may have
// put it; it is no part of the clause.
void skip_byte_order_mark(std::u32string* text);

}  // namespace zorv::cli

#endif

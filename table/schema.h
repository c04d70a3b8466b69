// A table's columns: the header's names and kind suffixes (name:num, name:char,
// name:char(N)), the key a NAME leaf is matched against, the checks a cell must pass
// against its column, and the layout of the row record.
#ifndef ZORV_TABLE_SCHEMA_H
#define ZORV_TABLE_SCHEMA_H

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "table/table.h"

namespace zorv::table {

// Reads the header row's cell texts into columns (kinds of untyped columns left numeric,
// widths 0). On a fault returns false with the faulty cell's index and the message.
bool parse_header(const std::vector<std::string>& cells, std::vector<Column>* columns,
                  int32_t* bad_cell, std::string* message);

// The key of a column name: upper-cased by the library's case mapping and cut, in whole
// characters, to the 32 bytes of a node's name field, as the parser cuts names.
std::string name_key(std::string_view name);

// Checks a cell against its column's kind and width; on success stores a numeric cell's
// value in *value (untouched for a character column). Returns the fault's message, or an
// empty string.
std::string check_cell(const Column& column, std::string_view cell, int32_t chars, double* value);

// Places the columns in the record in header order, each double at a multiple of 8, and
// returns the record size, a multiple of 8. A character column gets a width of at least 1.
int32_t lay_out(std::vector<Column>* columns);

// A cell as messages quote it: at most 40 characters, line breaks shown as blanks.
std::string excerpt(std::string_view cell);

}  // namespace zorv::table

#endif

// The table a command binds a clause against: the file --input names (or the bundled sample
// table), read with the delimiter --delimiter gives; its column list, and what to tell a user
// whose clause names a column the table does not have.
#ifndef ZORV_CLI_TABLES_H
#define ZORV_CLI_TABLES_H

#include <cstdio>
#include <memory>
#include <string>

#include "table/table.h"

namespace zorv::cli {

struct TableChoice {
    std::string input;      // a path, "-" for standard input, empty for the sample table
    std::string delimiter;  // as given on the command line
    bool delimiter_given = false;
};

// The delimiter of --delimiter: one byte, or a tab written as a real tab or as the two
// characters backslash and t. Without one, a tab for a file named *.tsv, else a comma.
// Returns false with a message for anything else.
bool parse_delimiter(const TableChoice& choice, char* delimiter, std::string* error);

// Opens the chosen table. On failure returns null with the message in *error and whether it
// is a usage error (a bad --delimiter, the sample table missing) or the table's own
// (FILE:LINE:COL: message); either way the command ends with status 2.
// The options' delimiter is the choice's; the rest (threads, progress) are kept.
std::unique_ptr<table::Table> open_table(const TableChoice& choice, std::string* error,
                                         table::TableOptions options = {});

// The path open_table reads: the input given, or the bundled sample table.
std::string table_path(const TableChoice& choice);

// The column list of `zorv columns`: name, kind and width (characters of a character
// column), aligned, with a heading line.
void print_columns(const table::Table& t, std::FILE* out);

// The lines that explain a failed binding: the name no column answered, the closest names
// when there are some, and the table's columns.
std::string unknown_column_message(const table::Table& t);

}  // namespace zorv::cli

#endif

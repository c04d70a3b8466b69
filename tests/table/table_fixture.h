// Helpers of the table tests: tables in temporary files or fed through pipes, whole tables
// read into memory, values taken out of records, and NAME leaves as the parser fills them.
#ifndef ZORV_TESTS_TABLE_TABLE_FIXTURE_H
#define ZORV_TESTS_TABLE_TABLE_FIXTURE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "table/table.h"

namespace tabletest {

using namespace zorv::table;

// A temporary file holding the given bytes; removed when the object goes.
struct TempFile {
    explicit TempFile(std::string_view content);
    ~TempFile();
    std::string path;
};

// A table opened from a file holding text; the file is gone once it is open.
struct Opened {
    std::unique_ptr<Table> table;
    TableError error;
    std::string path;
};
Opened open_text(std::string_view text, const TableOptions& options = {});

// A table read from a pipe that a writer thread fills: nothing can be rewound, and a
// table of any size passes through the pipe's small buffer. Messages name it "pipe".
struct Piped {
    explicit Piped(std::string_view text, const TableOptions& options = {});
    ~Piped();  // closes the table first, so a writer blocked on a full pipe gives up
    std::unique_ptr<Table> table;
    TableError error;
    std::thread writer;
};

// Everything a table hands out, row by row.
struct Rows {
    std::vector<std::vector<std::byte>> records;
    std::vector<int64_t> numbers, lines;
    std::vector<std::string> bytes;
    bool ok = true;
    TableError error;
};
Rows read_all(Table& table, int32_t chunk_rows = 1000, const ReadOptions& options = {});
// The same through Table::scan on a number of threads (lines are not known there), each
// row's bytes as RowView::append_csv gives them.
Rows scan_all(Table& table, int32_t threads, const ReadOptions& options = {});

// The value of column `key` in a record; text() gives characters as UTF-8 without their
// trailing blanks.
double number(const Table& table, const std::vector<std::byte>& record, std::string_view key);
std::string text(const Table& table, const std::vector<std::byte>& record, std::string_view key);
uint64_t bits(double d);

// A zero-initialised NAME leaf holding key (cut to 32 bytes).
std::unique_ptr<ZNode> name_leaf(std::string_view key);

// The error's text with the file's name shown as F.
std::string shown(const TableError& error, const std::string& path);

}  // namespace tabletest

#endif

// Helpers of the table tests: tables written to temporary files or pipes, whole tables
// read into memory, cell values taken out of records, and NAME leaves as the parser fills
// them.
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
class TempFile {
  public:
    explicit TempFile(std::string_view content);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// A table opened from text in a file (the file may go once the table is open: the open
// descriptor keeps it readable).
struct Opened {
    std::unique_ptr<Table> table;
    TableError error;
    std::string path;  // the file's name, as messages give it
};
Opened open_text(std::string_view text, const TableOptions& options = {});

// A table read from a pipe that a writer thread fills, so nothing can be rewound and a
// table of any size streams through the pipe's small buffer.
class Piped {
  public:
    explicit Piped(std::string_view text, const TableOptions& options = {});
    ~Piped();  // closes the table first, so a writer blocked on a full pipe gives up
    Piped(const Piped&) = delete;
    Piped& operator=(const Piped&) = delete;

    std::unique_ptr<Table> table;
    TableError error;

  private:
    std::thread writer_;
};

// Everything a table hands out, row by row.
struct Rows {
    std::vector<std::vector<std::byte>> records;
    std::vector<int64_t> numbers;
    std::vector<int64_t> lines;
    std::vector<std::string> bytes;
    bool ok = true;
    TableError error;
};
Rows read_all(Table& table, int32_t chunk_rows = 1000, const ReadOptions& options = {});

// Values of the column `key` (upper-cased name) in a record.
double number(const Table& table, const std::vector<std::byte>& record, std::string_view key);
std::u32string characters(const Table& table, const std::vector<std::byte>& record,
                          std::string_view key);
// The character value as UTF-8 without its trailing blanks.
std::string text(const Table& table, const std::vector<std::byte>& record, std::string_view key);

uint64_t bits(double d);

// A zero-initialised NAME leaf holding key as the parser would (cut to 32 bytes).
std::unique_ptr<ZNode> name_leaf(std::string_view key);

// The error's text with the file's name replaced by F, so expectations read short.
std::string shown(const TableError& error, const std::string& path);

}  // namespace tabletest

#endif

// Tables in CSV or TSV files for the zorv command, the benchmarks and the tests: the schema
// learnt from the header and the data, the name-binding callback of ZORVResolve, and the
// rows as fixed-layout records, read in chunks of bounded size whatever the file's size.
#ifndef ZORV_TABLE_TABLE_H
#define ZORV_TABLE_TABLE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "zorv/zorv.h"

namespace zorv::table {

// Status of the binding callback for a name that is no column of the table. It lies above
// the resolver's own statuses (1 to 5), so a caller can tell the two apart.
inline constexpr int32_t kUnknownColumn = 100;

// The widest character column, in characters: its width in bytes (4 a character) must fit
// the 16-bit length fields of a node. No cell of any column may be longer.
inline constexpr int32_t kMaxWidth = 8191;

// The most columns a table may have; with kMaxWidth it keeps a record below 2^31 bytes.
inline constexpr int32_t kMaxColumns = 32767;

// A refused table: the file, where in it (1-based line and character column; 0 when the
// failure concerns the whole file) and what is wrong.
struct TableError {
    std::string file;
    int64_t line = 0;
    int64_t column = 0;
    std::string message;

    // "FILE:LINE:COL: message", or "FILE: message" without a position.
    std::string text() const;
};

enum class Kind : uint8_t { kNumeric, kCharacter };

struct Column {
    std::string name;  // as the header writes it (UTF-8), without its kind suffix
    std::string key;   // upper-cased and cut to 32 bytes, as a NAME leaf holds it
    Kind kind = Kind::kNumeric;
    bool typed = false;  // the header fixed the kind (and, with char(N), the width)
    bool learnt = true;  // the kind and width are known (see TableOptions::learn)
    int32_t width = 0;   // characters of a character column; 0 for a numeric one
    int32_t offset = 0;  // byte offset of the value in the row record

    // Bytes of the value in the row record: a double, or 4 bytes a character.
    int32_t bytes() const { return kind == Kind::kNumeric ? 8 : 4 * width; }
};

struct TableOptions {
    char delimiter = ',';  // any single byte but '"', CR and LF; '\t' reads TSV
    int32_t threads = 1;   // threads of the schema pass
    // Bytes read at a time: a block of rows, handed whole to a thread. Small blocks are
    // for tests, which reach many block ends with little text that way.
    size_t block_bytes = size_t{1} << 20;
    // Called now and then during the schema pass with the bytes and rows read so far.
    std::function<void(uint64_t bytes, int64_t rows)> progress;
    // Keys (as NAME leaves hold them) of the columns whose kinds and widths the schema pass
    // must learn; empty for every column. A reader that binds only these columns is spared
    // the look at every other cell. The others keep what their header says (numeric when
    // untyped), are never decoded and must not be bound: Column::learnt tells.
    std::vector<std::string> learn;
};

struct ReadOptions {
    bool bound_only = false;  // decode only the cells of columns a lookup has bound
    bool keep_bytes = true;   // keep each row's original bytes in the chunk
};

// Up to capacity() rows of a table: their records, their numbers and their original bytes.
// A chunk is reused from read to read, so its memory stays that of its largest fill.
class Chunk {
  public:
    explicit Chunk(int32_t capacity = 1024);

    int32_t capacity() const { return capacity_; }
    int32_t size() const { return size_; }
    // Row i's record: record size bytes, 8-byte aligned.
    const std::byte* record(int32_t i) const;
    // 1-based number of row i among the table's data rows (the header is not a row).
    int64_t row_number(int32_t i) const { return numbers_[static_cast<size_t>(i)]; }
    // Line of the file on which row i begins.
    int64_t line(int32_t i) const { return lines_[static_cast<size_t>(i)]; }
    // Row i exactly as the file holds it, without its line end (empty unless kept).
    std::string_view bytes(int32_t i) const;

  private:
    friend class Table;
    int32_t capacity_;
    int32_t size_ = 0;
    int32_t record_size_ = 0;
    std::vector<uint64_t> records_;  // uint64_t keeps every record 8-byte aligned
    std::vector<uint8_t> decoded_;   // the columns the last fill decoded
    std::vector<int64_t> numbers_;
    std::vector<int64_t> lines_;
    std::string bytes_;
    std::vector<size_t> ends_;
};

// A row handed to a RowTask: its record, and its bytes as the file holds them.
class RowView {
  public:
    const std::byte* record() const { return record_; }
    // 0-based number of the row among the rows of its block.
    int64_t index() const { return index_; }
    // The row exactly as the file holds it, without its line end.
    std::string_view bytes() const;
    // Appends the row as RFC 4180 CSV with the table's delimiter: its bytes, unless an
    // unquoted cell holds a quote or a CR; such a cell is quoted, the others stay as written.
    void append_csv(std::string* out) const;

  private:
    friend class Table;
    const std::byte* record_ = nullptr;
    int64_t index_ = 0;
    const char* data_ = nullptr;
    const void* cells_ = nullptr;  // the scanner's record of the row
    char delimiter_ = ',';
};

// Work on every row of a table, spread over threads block by block (Table::scan).
class RowTask {
  public:
    virtual ~RowTask() = default;
    // Before the first row: blocks will be worked on in `slots` slots.
    virtual void start(int32_t slots) = 0;
    // One row, on a worker thread. The rows of a block come one after another, with the
    // slot (0 <= slot < slots) the block holds; blocks in other slots may be worked on at
    // the same time on other threads.
    virtual void row(int32_t slot, const RowView& row) = 0;
    // On the calling thread once a block's rows are done, blocks in the table's order:
    // `first` is the 1-based number of its first row, `rows` how many it held and `bytes`
    // its size. Returns false to stop reading. The slot is then free for another block.
    virtual bool done(int32_t slot, int64_t first, int64_t rows, uint64_t bytes) = 0;
};

class Table {
  public:
    // Opens the table at path ("-" is standard input) and learns its schema. When the
    // header types every column (name:num or name:char(N)) only the header is read now;
    // otherwise one pass over the whole file checks every cell and infers kinds and widths.
    // Standard input that cannot be rewound is then copied to an unnamed temporary file as
    // it is read, so memory stays bounded and the rows are read back from the copy.
    static std::unique_ptr<Table> open(const std::string& path, const TableOptions& options,
                                       TableError* error);
    // The same for an open descriptor, named `name` in messages; the table closes it.
    static std::unique_ptr<Table> open_fd(int fd, const std::string& name,
                                          const TableOptions& options, TableError* error);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& file() const;
    const std::vector<Column>& columns() const;
    int32_t record_size() const;  // a multiple of 8
    // Index of the column whose key is `key` (upper-cased), or -1.
    int32_t find(std::string_view key) const;
    // Data rows counted by the schema pass; -1 when the table is streamed without one.
    int64_t row_count() const;
    // The header row's original bytes, and the line end the file uses ("\n" or "\r\n").
    std::string_view header_bytes() const;
    std::string_view line_end() const;

    // The name-binding callback of ZORVResolve, with the table as its context: binds a
    // NAME leaf to the column of the same upper-cased name and marks the column bound.
    // An unknown name returns kUnknownColumn and is kept in unknown_name().
    static int32_t lookup(void* table, ZNode* node, NQJournal* jnl);
    const std::string& unknown_name() const;
    bool bound(int32_t column) const;
    void clear_bindings();

    // Reads the next rows into chunk, as many as it holds. Returns the number read; 0 at
    // the end of the table; -1 on an error, the chunk then holding the rows before the
    // faulty one. With bound_only, columns not decoded hold zero bytes.
    int32_t read(Chunk& chunk, const ReadOptions& options, TableError* error);
    // Starts reading again at the first data row. Fails for streamed standard input.
    bool rewind(TableError* error);
    // Reads the rest of the table on `threads` threads: each row is decoded as read() would
    // with options and handed to task.row. Returns false on an error (error set), after the
    // rows before the faulty one have been handed out and their blocks done, or when the
    // task stopped it (error then has an empty message).
    bool scan(const ReadOptions& options, int32_t threads, RowTask& task, TableError* error);

    // The header row as RFC 4180 CSV (see RowView::append_csv), without its line end.
    const std::string& header_csv() const;
    char delimiter() const;

  private:
    struct State;
    explicit Table(std::unique_ptr<State> state);
    static std::unique_ptr<Table> start(std::unique_ptr<State> state, TableError* error);
    std::unique_ptr<State> st_;
    std::vector<uint8_t> bound_;  // per column: a lookup bound it
    std::string unknown_;         // the last name no column answered
};

// Edit distance of two UTF-8 texts in characters: insertions, deletions, substitutions and
// transpositions of neighbours each cost 1.
int32_t edit_distance(std::string_view a, std::string_view b);

// The names of the columns closest to `key` (an upper-cased name), nearest first and at most
// `limit`; only columns within a third of the longer name's length (at least 1) qualify.
std::vector<std::string> closest_columns(std::string_view key, const std::vector<Column>& columns,
                                         size_t limit = 3);

// "; did you mean 'a', 'b' or 'c'?" naming `names` (as closest_columns gives them), or
// nothing when there are none: the tail of every unknown-column message.
std::string did_you_mean(const std::vector<std::string>& names);

}  // namespace zorv::table

#endif

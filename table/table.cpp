// Opening a table (the header, then the schema pass unless the header types every column)
// and reading its rows into chunks of records. Both passes check cells with the same
// routines, so a streamed table is refused for exactly what a file read twice would be.
#include "table/table.h"

#include <unistd.h>

#include <cstring>
#include <unordered_map>

#include "table/cells.h"
#include "table/csv.h"
#include "table/input.h"
#include "table/schema.h"

namespace zorv::table {

struct Table::State {
    State(std::string name, const TableOptions& options)
        : file(std::move(name)), scanner(input, options.delimiter) {}

    std::string file;
    Input input;
    Scanner scanner;
    std::vector<Column> columns;
    std::unordered_map<std::string, int32_t> index;  // key -> column
    int32_t record_size = 0;
    int64_t rows = -1;     // data rows, when the schema pass counted them
    bool checked = false;  // the schema pass has checked every cell
    std::string header;
    Row row;
    int64_t numbered = 0;  // data rows handed out since the last (re)start
    bool done = false;
    TableError failure;  // the error that stopped reading, repeated by later reads

    bool fail(TableError* error, Pos at, std::string message) {
        *error = {file, at.line, at.column, std::move(message)};
        return false;
    }
    bool fail(TableError* error, const ScanFailure& f) { return fail(error, f.at, f.message); }

    // Checks that a row has as many cells as the header; the scanner refuses more.
    bool full_row(TableError* error) {
        const size_t n = columns.size();
        if (row.ends.size() == n) return true;
        return fail(error, row.end,
                    "row has " + std::to_string(row.ends.size()) + " cell" +
                        (row.ends.size() == 1 ? "" : "s") + ", the header has " +
                        std::to_string(n));
    }

    bool read_header(TableError* error);
    bool learn_schema(TableError* error);
    bool restart(TableError* error);
};

std::string TableError::text() const {
    if (line <= 0) return file + ": " + message;
    return file + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + message;
}

Chunk::Chunk(int32_t capacity) : capacity_(capacity < 1 ? 1 : capacity) {}

const std::byte* Chunk::record(int32_t i) const {
    return reinterpret_cast<const std::byte*>(records_.data()) +
           static_cast<size_t>(i) * static_cast<size_t>(record_size_);
}

std::string_view Chunk::bytes(int32_t i) const {
    if (ends_.empty()) return {};
    const size_t from = i == 0 ? 0 : ends_[static_cast<size_t>(i) - 1];
    return std::string_view(bytes_).substr(from, ends_[static_cast<size_t>(i)] - from);
}

bool Table::State::read_header(TableError* error) {
    ScanFailure f;
    switch (scanner.next(row, true, &f)) {
        case Scan::kError:
            return fail(error, f);
        case Scan::kEnd:
            return fail(error, {1, 1}, "no header row: the table is empty");
        case Scan::kRow:
            break;
    }
    int32_t bad = 0;
    std::string message;
    if (!parse_header(row, &columns, &bad, &message))
        return fail(error, row.where[static_cast<size_t>(bad)], message);
    header = row.raw;
    scanner.set_max_cells(static_cast<int32_t>(columns.size()));
    return true;
}

// The schema pass: every cell checked against a typed column, kinds and widths of the
// others learnt. Memory is that of one row, whatever the table's length.
bool Table::State::learn_schema(TableError* error) {
    const size_t n = columns.size();
    std::vector<uint8_t> numeric(n, 1);
    std::vector<int32_t> width(n, 0);
    rows = 0;
    for (;;) {
        ScanFailure f;
        const Scan r = scanner.next(row, false, &f);
        if (r == Scan::kEnd) break;
        if (r == Scan::kError) return fail(error, f);
        if (!full_row(error)) return false;
        ++rows;
        for (size_t i = 0; i < n; ++i) {
            const Column& c = columns[i];
            const int32_t chars = row.chars[i];
            if (chars > width[i]) width[i] = chars;
            double value;
            if (c.typed && (c.kind == Kind::kNumeric || c.width > 0)) {
                std::string message =
                    check_cell(c, row.cell(static_cast<int32_t>(i)), chars, &value);
                if (!message.empty()) return fail(error, row.where[i], std::move(message));
            } else if (!c.typed && numeric[i]) {
                const CellClass k = classify(row.cell(static_cast<int32_t>(i)), &value);
                numeric[i] = k != CellClass::kOther && k != CellClass::kTooLarge;
            }
        }
    }
    for (size_t i = 0; i < n; ++i) {
        Column& c = columns[i];
        if (!c.typed) c.kind = numeric[i] ? Kind::kNumeric : Kind::kCharacter;
        if (c.kind == Kind::kCharacter && c.width == 0) c.width = width[i];
    }
    checked = true;
    return true;
}

// Positions the scanner on the first data row again.
bool Table::State::restart(TableError* error) {
    std::string why;
    if (!input.rewind(&why)) return fail(error, {0, 0}, "cannot read again: " + why);
    scanner.restart();
    ScanFailure f;
    if (scanner.next(row, false, &f) != Scan::kRow)
        return fail(error, f.message.empty() ? Pos{1, 1} : f.at,
                    f.message.empty() ? "the header row is gone" : f.message);
    numbered = 0;
    done = false;
    failure = {};
    return true;
}

Table::Table(std::unique_ptr<State> state) : st_(std::move(state)) {}
Table::~Table() = default;

namespace {

// A delimiter must not be confused with quoting, line ends or the bytes of a character.
bool delimiter_ok(char delimiter, const std::string& name, TableError* error) {
    const unsigned char d = static_cast<unsigned char>(delimiter);
    if (d != 0 && d < 0x80 && d != '"' && d != '\r' && d != '\n') return true;
    *error = {name, 0, 0,
              "the delimiter must be one ASCII character other than a quote or a line end"};
    return false;
}

}  // namespace

std::unique_ptr<Table> Table::open(const std::string& path, const TableOptions& options,
                                   TableError* error) {
    const std::string name = path == "-" ? "<stdin>" : path;
    if (!delimiter_ok(options.delimiter, name, error)) return nullptr;
    auto st = std::make_unique<State>(name, options);
    std::string why;
    if (!st->input.open(path, &why)) {
        *error = {st->file, 0, 0, "cannot open: " + why};
        return nullptr;
    }
    return start(std::move(st), error);
}

std::unique_ptr<Table> Table::open_fd(int fd, const std::string& name, const TableOptions& options,
                                      TableError* error) {
    if (!delimiter_ok(options.delimiter, name, error)) {
        ::close(fd);
        return nullptr;
    }
    auto st = std::make_unique<State>(name, options);
    st->input.adopt(fd);
    return start(std::move(st), error);
}

// After the input is open: the header, the schema (from the header alone when it types
// every column; standard input then streams), the layout and the index of keys.
std::unique_ptr<Table> Table::start(std::unique_ptr<State> st, TableError* error) {
    // Whether a copy is needed is known only after the header, so one is begun at once;
    // failing to make it matters only when the header leaves a schema pass to do.
    std::string why;
    if (!st->input.seekable()) st->input.start_copy(&why);
    if (!st->read_header(error)) return nullptr;
    bool typed = true;
    for (const Column& c : st->columns)
        typed = typed && c.typed && (c.kind == Kind::kNumeric || c.width > 0);
    if (typed) {
        st->input.stop_copy();
    } else if (!st->input.rewindable()) {
        *error = {st->file, 0, 0, why};
        return nullptr;
    } else if (!st->learn_schema(error) || !st->restart(error)) {
        return nullptr;
    }
    st->record_size = lay_out(&st->columns);
    for (size_t i = 0; i < st->columns.size(); ++i)
        st->index.emplace(st->columns[i].key, static_cast<int32_t>(i));
    std::unique_ptr<Table> table(new Table(std::move(st)));
    table->bound_.assign(table->st_->columns.size(), 0);
    return table;
}

const std::string& Table::file() const {
    return st_->file;
}
const std::vector<Column>& Table::columns() const {
    return st_->columns;
}
int32_t Table::record_size() const {
    return st_->record_size;
}
int64_t Table::row_count() const {
    return st_->rows;
}
std::string_view Table::header_bytes() const {
    return st_->header;
}
std::string_view Table::line_end() const {
    return st_->scanner.line_end();
}

int32_t Table::find(std::string_view key) const {
    const auto it = st_->index.find(std::string(key));
    return it == st_->index.end() ? -1 : it->second;
}

int32_t Table::read(Chunk& chunk, const ReadOptions& options, TableError* error) {
    State& st = *st_;
    const size_t n = st.columns.size();
    std::vector<uint8_t> want(n, 1);
    if (options.bound_only) want = bound_;
    const size_t words = static_cast<size_t>(st.record_size / 8);
    if (chunk.record_size_ != st.record_size || want != chunk.decoded_) {
        chunk.record_size_ = st.record_size;
        chunk.records_.assign(static_cast<size_t>(chunk.capacity_) * words, 0);
        chunk.decoded_ = want;
    }
    chunk.size_ = 0;
    chunk.numbers_.clear();
    chunk.lines_.clear();
    chunk.bytes_.clear();
    chunk.ends_.clear();
    if (!st.failure.message.empty()) {
        *error = st.failure;
        return -1;
    }
    auto fail = [&](Pos at, std::string message) {
        st.fail(&st.failure, at, std::move(message));
        *error = st.failure;
        return -1;
    };
    while (!st.done && chunk.size_ < chunk.capacity_) {
        ScanFailure f;
        const Scan r = st.scanner.next(st.row, options.keep_bytes, &f);
        if (r == Scan::kEnd) {
            st.done = true;
            break;
        }
        if (r == Scan::kError) return fail(f.at, f.message);
        if (!st.full_row(&st.failure)) {
            *error = st.failure;
            return -1;
        }
        std::byte* record = reinterpret_cast<std::byte*>(chunk.records_.data()) +
                            static_cast<size_t>(chunk.size_) * words * 8;
        for (size_t i = 0; i < n; ++i) {
            if (!want[i] && st.checked) continue;
            const Column& c = st.columns[i];
            const std::string_view cell = st.row.cell(static_cast<int32_t>(i));
            double value = 0;
            std::string message = check_cell(c, cell, st.row.chars[i], &value);
            if (!message.empty()) return fail(st.row.where[i], std::move(message));
            if (!want[i]) continue;
            if (c.kind == Kind::kNumeric)
                std::memcpy(record + c.offset, &value, sizeof value);
            else
                put_chars(cell, c.width, record + c.offset);
        }
        chunk.numbers_.push_back(++st.numbered);
        chunk.lines_.push_back(st.row.where[0].line);
        if (options.keep_bytes) {
            chunk.bytes_ += st.row.raw;
            chunk.ends_.push_back(chunk.bytes_.size());
        }
        ++chunk.size_;
    }
    return chunk.size_;
}

bool Table::rewind(TableError* error) {
    return st_->restart(error);
}

}  // namespace zorv::table

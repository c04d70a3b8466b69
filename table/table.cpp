// Opening a table (the header, then the schema pass unless the header types every column)
// and reading its rows: one after another into chunks of records, or spread over threads
// block by block. Every way of reading checks cells with the same routines, so a streamed
// table is refused for exactly what a file read twice would be.
#include "table/table.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <unordered_map>

#include "table/blocks.h"
#include "table/bytemask.h"
#include "table/cells.h"
#include "table/csv.h"
#include "table/input.h"
#include "table/pipeline.h"
#include "table/records.h"
#include "table/schema.h"

namespace zorv::table {
namespace {

// The longest a well-formed cell can be in bytes: 4 a character, and the quotes and the
// delimiter around it (a doubled quote is 2 bytes for 1 character).
constexpr size_t kCellBytes = 4 * static_cast<size_t>(kMaxWidth) + 3;

// Jobs in flight for a number of threads: some more than threads, so that reading and
// writing go on while every worker is busy.
size_t job_count(int32_t threads) {
    return threads <= 1 ? 1 : static_cast<size_t>(threads) + 4;
}

// What a worker found wrong in its block: the line counted from the block's first.
struct BlockFault {
    bool failed = false;
    Pos at;
    std::string message;
};

}  // namespace

struct Table::State {
    State(std::string name, const TableOptions& options)
        : file(std::move(name)),
          reader(input, options.delimiter, options.block_bytes),
          scanner(options.delimiter),
          options(options) {}

    std::string file;
    Input input;
    BlockReader reader;
    RowScanner scanner;      // the rows of `block`, for the sequential reads
    Block block;             // the block being read: first the one holding the header
    int64_t block_line = 1;  // the line its first byte lies on
    TableOptions options;
    std::vector<Column> columns;
    std::unordered_map<std::string, int32_t> index;  // key -> column
    int32_t record_size = 0;
    int64_t rows = -1;     // data rows, when the schema pass counted them
    bool checked = false;  // the schema pass has checked every cell
    std::string header;
    std::string header_csv;
    RowCells row;
    int64_t numbered = 0;  // data rows handed out since the last (re)start
    bool done = false;
    TableError failure;  // the error that stopped reading, repeated by later reads

    bool fail(TableError* error, Pos at, std::string message) {
        *error = {file, at.line, at.column, std::move(message)};
        return false;
    }
    // A scanner's position, from its block's first line to the file's.
    Pos in_file(Pos at, int64_t first_line) const { return {first_line + at.line, at.column}; }

    Scan next_row(TableError* error);
    bool full_row(TableError* error);
    bool read_header(TableError* error);
    bool learn_schema(TableError* error);
    bool restart(TableError* error);
    // The next block for a pass over the rows on several threads: first the rest of the
    // block being read, then new ones until the last. Returns false when there is none, or
    // with *why when the input cannot be read. The sequential reading is left at the end.
    bool next_block(Block& to, std::string* why) {
        if (block.size > scanner.position() || !block.last) {
            block_line += scanner.lines();  // the line `to` now begins on
            std::swap(block.bytes, to.bytes);
            to.begin = scanner.position();
            to.size = block.size;
            to.last = block.last;
            if (block.bytes.size() < kMaskPadding) block.bytes.resize(kMaskPadding);
            block.begin = block.size = 0;
            block.last = true;
            scanner.start(block.data(), 0, 0, true);
            return true;
        }
        if (!reader.next(to, why)) return false;
        return to.size > to.begin || !to.last;
    }
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

std::string_view RowView::bytes() const {
    const auto* row = static_cast<const RowCells*>(cells_);
    return std::string_view(data_ + row->begin, row->end - row->begin);
}

void RowView::append_csv(std::string* out) const {
    table::append_csv(data_, *static_cast<const RowCells*>(cells_), delimiter_, out);
}

// The next row of the sequential read, reading blocks as they are used up.
Scan Table::State::next_row(TableError* error) {
    for (;;) {
        ScanFailure f;
        const Scan r = scanner.next(row, &f);
        if (r == Scan::kError) fail(error, in_file(f.at, block_line), f.message);
        if (r != Scan::kEnd || block.last) return r;
        block_line += scanner.lines();
        std::string why;
        if (!reader.next(block, &why)) {
            fail(error, {block_line, 1}, "cannot read: " + why);
            return Scan::kError;
        }
        scanner.start(block.data(), block.begin, block.size, block.last);
    }
}

// Checks that a row has as many cells as the header; the scanner refuses more.
bool Table::State::full_row(TableError* error) {
    if (row.count == columns.size()) return true;
    return fail(error, in_file(scanner.locate(row, row.end), block_line),
                cell_count_message(row.count, columns.size()));
}

bool Table::State::read_header(TableError* error) {
    reader.set_row_limit(kHeaderBytes);
    std::string why;
    if (!reader.next(block, &why)) return fail(error, {1, 1}, "cannot read: " + why);
    block_line = 1;
    // A UTF-16 file would be refused at its first byte as malformed UTF-8; its byte-order
    // mark says what it is, and so what to do about it.
    const std::string_view start(block.data() + block.begin, block.size - block.begin);
    if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF"))
        return fail(error, {1, 1},
                    "the table is UTF-16 text (it begins with a UTF-16 byte-order mark); save it "
                    "as UTF-8");
    scanner.set_max_cells(kMaxColumns);
    scanner.start(block.data(), block.begin, block.size, block.last);
    switch (next_row(error)) {
        case Scan::kError:
            return false;
        case Scan::kEnd:
            return fail(error, {1, 1}, "no header row: the table is empty");
        case Scan::kRow:
            break;
    }
    // A CR that ends no line is text to the scanner, but in the header it means the lines
    // end in CR alone, and the whole table would read as one header row.
    for (const Cell& c : row.cells) {
        if (c.quoting != Quoting::kPlain) continue;
        const void* cr = std::memchr(block.data() + c.begin, '\r', c.end - c.begin);
        if (cr == nullptr) continue;
        const auto at = static_cast<uint32_t>(static_cast<const char*>(cr) - block.data());
        return fail(error, in_file(scanner.locate(row, at), block_line),
                    "the header holds a CR that ends no line: lines must end in LF or CRLF, "
                    "not in CR alone");
    }
    std::vector<std::string> cells;
    std::string scratch;
    for (const Cell& c : row.cells) cells.emplace_back(cell_text(block.data(), c, &scratch));
    int32_t bad = 0;
    std::string message;
    if (!parse_header(cells, &columns, &bad, &message))
        return fail(
            error,
            in_file(scanner.locate(row, row.cells[static_cast<size_t>(bad)].start()), block_line),
            message);
    header.assign(block.data() + row.begin, row.end - row.begin);
    header_csv.clear();
    append_csv(block.data(), row, options.delimiter, &header_csv);
    // Written back, the header begins a file, where a reader takes a leading mark for the
    // file's own: a first name that begins with one (written as it was, so unquoted and free
    // of quotes) is quoted to keep it.
    if (std::string_view(header_csv).starts_with(kByteOrderMark)) {
        const Cell& first = row.cells[0];
        header_csv.insert(first.end - first.begin, 1, '"');
        header_csv.insert(0, 1, '"');
    }
    scanner.set_max_cells(static_cast<int32_t>(columns.size()));
    reader.set_row_limit((columns.size() + 2) * kCellBytes);
    return true;
}

// The schema pass: every cell checked against a typed column, kinds and widths of the
// others learnt, block by block on the threads the options give. Memory is that of the
// blocks in flight, whatever the table's length.
bool Table::State::learn_schema(TableError* error) {
    const size_t n = columns.size();
    struct Job {
        Block block;
        RowCells row;
        std::string scratch;
        std::vector<uint8_t> numeric;
        std::vector<int32_t> width;
        int64_t rows = 0, lines = 0;
        BlockFault fault;
    };
    // A column found to hold text in one block need not be classified in the others.
    std::unique_ptr<std::atomic<uint8_t>[]> text(new std::atomic<uint8_t>[n]);
    for (size_t i = 0; i < n; ++i) text[i].store(0, std::memory_order_relaxed);
    const int32_t threads = std::max(1, options.threads);
    std::vector<Job> jobs(job_count(threads));
    std::vector<RowScanner> scanners(static_cast<size_t>(threads), RowScanner(options.delimiter));
    // The columns looked at: those whose cells the header's kinds check, and those to learn.
    std::vector<size_t> looked;
    for (size_t i = 0; i < n; ++i) {
        Column& c = columns[i];
        c.learnt = c.typed && (c.kind == Kind::kNumeric || c.width > 0);
        for (const std::string& key : options.learn) c.learnt = c.learnt || key == c.key;
        c.learnt = c.learnt || options.learn.empty();
        if (c.learnt || (c.typed && (c.kind == Kind::kNumeric || c.width > 0))) looked.push_back(i);
    }
    for (RowScanner& s : scanners) {
        s.set_max_cells(static_cast<int32_t>(n));
        s.set_wanted(looked.empty() ? 0 : looked.back() + 1);
    }

    std::string unread;  // why the input could not be read
    auto make = [&](Job& job) { return next_block(job.block, &unread); };
    auto work = [&](Job& job, int worker) {
        RowScanner& scan = scanners[static_cast<size_t>(worker)];
        job.numeric.assign(n, 1);
        job.width.assign(n, 0);
        job.rows = 0;
        job.fault = {};
        scan.start(job.block.data(), job.block.begin, job.block.size, job.block.last);
        for (;;) {
            ScanFailure f;
            const Scan r = scan.next(job.row, &f);
            if (r == Scan::kEnd) break;
            if (r == Scan::kError) {
                job.fault = {true, f.at, std::move(f.message)};
                break;
            }
            if (job.row.count != n) {
                job.fault = {true, scan.locate(job.row, job.row.end),
                             cell_count_message(job.row.count, n)};
                break;
            }
            ++job.rows;
            for (const size_t i : looked) {
                const Column& c = columns[i];
                const Cell& cell = job.row.cells[i];
                if (cell.chars > job.width[i]) job.width[i] = cell.chars;
                const bool checks = c.typed && (c.kind == Kind::kNumeric || c.width > 0);
                if (!checks && (c.typed || !job.numeric[i])) continue;
                if (!checks && text[i].load(std::memory_order_relaxed)) {
                    job.numeric[i] = 0;
                    continue;
                }
                const std::string_view t = cell_text(job.block.data(), cell, &job.scratch);
                const bool in_block = cell.quoting != Quoting::kDoubled;
                if (!checks) {
                    if (!(in_block ? is_number_in_block(t) : is_number(t))) {
                        job.numeric[i] = 0;
                        text[i].store(1, std::memory_order_relaxed);
                    }
                    continue;
                }
                if (c.kind == Kind::kNumeric ? (in_block ? is_number_in_block(t) : is_number(t))
                                             : cell.chars <= c.width)
                    continue;
                double unused;
                job.fault = {true, scan.locate(job.row, cell.start()),
                             check_cell(c, t, cell.chars, &unused)};
                break;
            }
            if (job.fault.failed) break;
        }
        job.lines = scan.lines();
    };

    std::vector<uint8_t> numeric(n, 1);
    std::vector<int32_t> width(n, 0);
    uint64_t bytes = 0;
    rows = 0;
    bool ok = true;
    auto take = [&](Job& job) {
        rows += job.rows;
        if (job.fault.failed) {
            ok = fail(error, in_file(job.fault.at, block_line), job.fault.message);
            return false;
        }
        for (size_t i = 0; i < n; ++i) {
            numeric[i] &= job.numeric[i];
            width[i] = std::max(width[i], job.width[i]);
        }
        block_line += job.lines;
        bytes += job.block.size - job.block.begin;
        if (options.progress) options.progress(bytes, rows);
        return true;
    };
    run_in_order(threads, jobs, make, work, take);
    if (!ok) return false;
    if (!unread.empty()) return fail(error, {block_line, 1}, "cannot read: " + unread);
    for (size_t i = 0; i < n; ++i) {
        Column& c = columns[i];
        if (!c.typed) c.kind = numeric[i] ? Kind::kNumeric : Kind::kCharacter;
        if (c.kind == Kind::kCharacter && c.width == 0) c.width = width[i];
    }
    checked = true;
    return true;
}

// Positions the reading on the first data row again.
bool Table::State::restart(TableError* error) {
    std::string why;
    if (!input.rewind(&why)) return fail(error, {0, 0}, "cannot read again: " + why);
    reader.restart();
    const std::vector<Column> kept = std::move(columns);
    const bool ok = read_header(error);
    columns = kept;  // as learnt, not as the header alone says
    if (!ok) return false;
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
const std::string& Table::header_csv() const {
    return st_->header_csv;
}
char Table::delimiter() const {
    return st_->options.delimiter;
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
    RecordWriter writer(st.columns, want, !st.checked);
    while (!st.done && chunk.size_ < chunk.capacity_) {
        const Scan r = st.next_row(&st.failure);
        if (r == Scan::kEnd) {
            st.done = true;
            break;
        }
        if (r == Scan::kError || !st.full_row(&st.failure)) {
            *error = st.failure;
            return -1;
        }
        std::byte* record = reinterpret_cast<std::byte*>(chunk.records_.data()) +
                            static_cast<size_t>(chunk.size_) * words * 8;
        int32_t bad = 0;
        std::string message;
        if (!writer.fill(st.block.data(), st.row, record, &bad, &message)) {
            const Cell& cell = st.row.cells[static_cast<size_t>(bad)];
            st.fail(&st.failure, st.in_file(st.scanner.locate(st.row, cell.start()), st.block_line),
                    std::move(message));
            *error = st.failure;
            return -1;
        }
        chunk.numbers_.push_back(++st.numbered);
        chunk.lines_.push_back(st.block_line + st.row.line);
        if (options.keep_bytes) {
            chunk.bytes_.append(st.block.data() + st.row.begin, st.row.end - st.row.begin);
            chunk.ends_.push_back(chunk.bytes_.size());
        }
        ++chunk.size_;
    }
    return chunk.size_;
}

bool Table::scan(const ReadOptions& options, int32_t threads, RowTask& task, TableError* error) {
    State& st = *st_;
    *error = {};
    if (!st.failure.message.empty()) {
        *error = st.failure;
        return false;
    }
    if (st.done) return true;
    const size_t n = st.columns.size();
    const std::vector<uint8_t> want = options.bound_only ? bound_ : std::vector<uint8_t>(n, 1);
    threads = std::max(1, threads);
    struct Job {
        Block block;
        RowCells row;
        int64_t rows = 0, lines = 0;
        BlockFault fault;
    };
    std::vector<Job> jobs(job_count(threads));
    struct Worker {
        Worker(const State& st, const std::vector<uint8_t>& want)
            : scanner(st.options.delimiter),
              writer(st.columns, want, !st.checked),
              record(static_cast<size_t>(st.record_size / 8) + 1, 0) {}
        RowScanner scanner;
        RecordWriter writer;
        std::vector<uint64_t> record;  // uint64_t keeps it 8-byte aligned
    };
    std::vector<Worker> workers;
    workers.reserve(static_cast<size_t>(threads));
    const size_t wanted = RecordWriter(st.columns, want, !st.checked).columns_needed();
    for (int32_t t = 0; t < threads; ++t) {
        workers.emplace_back(st, want);
        workers.back().scanner.set_max_cells(static_cast<int32_t>(n));
        workers.back().scanner.set_wanted(wanted);
    }
    task.start(static_cast<int32_t>(jobs.size()));

    std::string unread;
    auto make = [&](Job& job) { return st.next_block(job.block, &unread); };
    auto work = [&](Job& job, int index) {
        Worker& w = workers[static_cast<size_t>(index)];
        const int32_t slot = static_cast<int32_t>(&job - jobs.data());
        std::byte* record = reinterpret_cast<std::byte*>(w.record.data());
        RowView view;
        view.record_ = record;
        view.data_ = job.block.data();
        view.cells_ = &job.row;
        view.delimiter_ = st.options.delimiter;
        job.rows = 0;
        job.fault = {};
        w.scanner.start(job.block.data(), job.block.begin, job.block.size, job.block.last);
        for (;;) {
            ScanFailure f;
            const Scan r = w.scanner.next(job.row, &f);
            if (r == Scan::kEnd) break;
            if (r == Scan::kError) {
                job.fault = {true, f.at, std::move(f.message)};
                break;
            }
            if (job.row.count != n) {
                job.fault = {true, w.scanner.locate(job.row, job.row.end),
                             cell_count_message(job.row.count, n)};
                break;
            }
            int32_t bad = 0;
            std::string message;
            if (!w.writer.fill(job.block.data(), job.row, record, &bad, &message)) {
                const Cell& cell = job.row.cells[static_cast<size_t>(bad)];
                job.fault = {true, w.scanner.locate(job.row, cell.start()), std::move(message)};
                break;
            }
            view.index_ = job.rows++;
            task.row(slot, view);
        }
        job.lines = w.scanner.lines();
    };
    bool ok = true;
    auto take = [&](Job& job) {
        const int32_t slot = static_cast<int32_t>(&job - jobs.data());
        const bool go =
            task.done(slot, st.numbered + 1, job.rows, job.block.size - job.block.begin);
        st.numbered += job.rows;
        if (job.fault.failed) {
            ok = st.fail(&st.failure, st.in_file(job.fault.at, st.block_line), job.fault.message);
            *error = st.failure;
            return false;
        }
        st.block_line += job.lines;
        return go;
    };
    const bool whole = run_in_order(threads, jobs, make, work, take);
    if (!ok) return false;
    if (!unread.empty()) {
        st.fail(&st.failure, {st.block_line, 1}, "cannot read: " + unread);
        *error = st.failure;
        return false;
    }
    st.done = whole;
    return whole;
}

bool Table::rewind(TableError* error) {
    return st_->restart(error);
}

}  // namespace zorv::table

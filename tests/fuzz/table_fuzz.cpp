// Fuzz target: arbitrary bytes as a CSV table, opened through a memory-backed descriptor;
// then the same bytes after a typed header, so that cells are checked as rows are read
// rather than by a schema pass. Every way of reading must agree with the plain one (the
// whole table in one block, read in chunks of three rows):
// - blocks of a few bytes, whose ends fall inside rows, cells and characters: the same
//   schema and the same refusal, and, scanned through a row task, the same rows;
// - after a rewind, only the first and last columns bound: the same rows and values;
// - only the first column learnt: the same values in it;
// - the header and the rows written back as CSV and read again: the same table.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "table/table.h"
#include "tests/fuzz/fuzz_host.h"

using namespace fuzzhost;
using namespace zorv::table;

namespace {

// A descriptor holding the bytes, at its start.
int memory_file(std::string_view head, std::string_view body) {
    const int fd = memfd_create("fuzz table", 0);
    if (fd < 0) fail("no memory file");
    for (std::string_view part : {head, body}) {
        while (!part.empty()) {
            const ssize_t w = ::write(fd, part.data(), part.size());
            if (w <= 0) fail("cannot write the memory file");
            part.remove_prefix(static_cast<size_t>(w));
        }
    }
    if (::lseek(fd, 0, SEEK_SET) != 0) fail("cannot rewind the memory file");
    return fd;
}

std::unique_ptr<Table> open(std::string_view head, std::string_view body,
                            const TableOptions& options, std::string* error) {
    TableError e;
    std::unique_ptr<Table> t = Table::open_fd(memory_file(head, body), "fuzz.csv", options, &e);
    if (!t) {
        FUZZ_CHECK(!e.message.empty());
        *error = e.text();
    }
    return t;
}

// What a read of a table gave: per row its record (or the part of it compared) and the
// refusal that ended it, if any.
struct Reading {
    std::vector<std::string> rows;
    std::string error;
    bool operator==(const Reading&) const = default;
};

// The bytes of the columns `cols` of a record; all of it when cols is empty.
std::string part(const Table& table, const std::byte* record, const std::vector<int32_t>& cols) {
    const char* at = reinterpret_cast<const char*>(record);
    if (cols.empty()) return std::string(at, static_cast<size_t>(table.record_size()));
    std::string out;
    for (int32_t c : cols) {
        const Column& col = table.columns()[static_cast<size_t>(c)];
        out.append(at + col.offset, static_cast<size_t>(col.bytes()));
    }
    return out;
}

Reading read_all(Table& table, int32_t capacity, bool bound_only, const std::vector<int32_t>& cols,
                 std::vector<std::string>* bytes = nullptr) {
    Reading out;
    Chunk chunk(capacity);
    ReadOptions options;
    options.bound_only = bound_only;
    options.keep_bytes = bytes != nullptr;
    for (;;) {
        TableError error;
        const int32_t n = table.read(chunk, options, &error);
        FUZZ_CHECK(n >= -1 && n <= capacity);
        if (n >= 0) FUZZ_CHECK(chunk.size() == n);
        for (int32_t i = 0; i < chunk.size(); ++i) {
            FUZZ_CHECK(chunk.row_number(i) == static_cast<int64_t>(out.rows.size()) + 1);
            FUZZ_CHECK(chunk.line(i) >= 1);
            out.rows.push_back(part(table, chunk.record(i), cols));
            if (bytes) bytes->emplace_back(chunk.bytes(i));
        }
        if (n < 0) {
            FUZZ_CHECK(!error.message.empty());
            out.error = error.text();
            break;
        }
        if (n == 0) break;
    }
    return out;
}

// Collects the rows a scan hands out, block by block in the table's order, with each row
// written back as CSV.
class Collect : public RowTask {
  public:
    Reading reading;
    std::string csv;  // every row, each followed by a line feed

    void start(int32_t slots) override { pending_.assign(static_cast<size_t>(slots), {}); }
    void row(int32_t slot, const RowView& row) override {
        Pending& p = pending_[static_cast<size_t>(slot)];
        FUZZ_CHECK(row.index() == static_cast<int64_t>(p.rows.size()));
        p.rows.emplace_back(reinterpret_cast<const char*>(row.record()), record_);
        row.append_csv(&p.csv);
        p.csv += '\n';
    }
    bool done(int32_t slot, int64_t first, int64_t rows, uint64_t) override {
        Pending& p = pending_[static_cast<size_t>(slot)];
        FUZZ_CHECK(first == static_cast<int64_t>(reading.rows.size()) + 1);
        FUZZ_CHECK(rows == static_cast<int64_t>(p.rows.size()));
        for (std::string& r : p.rows) reading.rows.push_back(std::move(r));
        csv += p.csv;
        p = {};
        return true;
    }
    explicit Collect(size_t record) : record_(record) {}

  private:
    struct Pending {
        std::vector<std::string> rows;
        std::string csv;
    };
    size_t record_;
    std::vector<Pending> pending_;
};

Reading scan_all(Table& table, std::string* csv) {
    Collect task(static_cast<size_t>(table.record_size()));
    TableError error;
    const bool whole = table.scan(ReadOptions{}, 1, task, &error);
    if (!whole) {
        FUZZ_CHECK(!error.message.empty());
        task.reading.error = error.text();
    }
    *csv = std::move(task.csv);
    return task.reading;
}

// Binds a column the way ZORVResolve's callback is called: with a NAME leaf holding its key.
void bind(Table& table, const Column& col) {
    ZNode leaf{};
    leaf.type = Z_NAME;
    std::memcpy(leaf.u.nm.name, col.key.data(), col.key.size());
    leaf.u.nm.namelen = static_cast<int16_t>(col.key.size());
    FUZZ_CHECK(Table::lookup(&table, &leaf, nullptr) == 0);
    FUZZ_CHECK(leaf.u.nm.coloff == col.offset);
    FUZZ_CHECK(col.kind == Kind::kNumeric ? leaf.vlen == -8 : leaf.vlen == col.bytes());
}

// The schema as text, for the verbose runs that explain a finding.
void dump(const char* what, const Table& t) {
    if (!host().verbose) return;
    std::fprintf(stderr, "%s: record %d, rows %lld\n", what, static_cast<int>(t.record_size()),
                 static_cast<long long>(t.row_count()));
    for (const Column& c : t.columns())
        std::fprintf(stderr, "  [%s] key [%s] %s%s width %d at %d\n", c.name.c_str(), c.key.c_str(),
                     c.kind == Kind::kNumeric ? "num" : "char", c.typed ? " typed" : "",
                     static_cast<int>(c.width), static_cast<int>(c.offset));
}

bool same_schema(const Table& a, const Table& b) {
    dump("first", a);
    dump("second", b);
    if (a.columns().size() != b.columns().size() || a.record_size() != b.record_size())
        return false;
    for (size_t i = 0; i < a.columns().size(); ++i) {
        const Column& x = a.columns()[i];
        const Column& y = b.columns()[i];
        if (x.name != y.name || x.key != y.key || x.kind != y.kind || x.typed != y.typed ||
            x.width != y.width || x.offset != y.offset)
            return false;
    }
    return true;
}

// Blocks larger than any input, so that the reference reading sees the table in one block
// (the default of 1 MiB would do the same, but costs a megabyte's clearing per open).
constexpr size_t kWholeBlock = size_t{1} << 14;
static_assert(kWholeBlock > 8192 + 64, "tests/fuzz/run gives the table at most 8192 bytes");

TableOptions whole() {
    TableOptions options;
    options.block_bytes = kWholeBlock;
    return options;
}

void check_table(std::string_view head, std::string_view body) {
    std::string error;
    std::unique_ptr<Table> table = open(head, body, whole(), &error);

    // Blocks of 1 to 64 bytes, the size taken from the input so that a finding replays.
    TableOptions small;
    small.block_bytes = 1 + (body.empty() ? 0 : static_cast<uint8_t>(body.back()) % 64);
    std::string small_error;
    std::unique_ptr<Table> blocked = open(head, body, small, &small_error);
    FUZZ_CHECK(!table == !blocked);
    if (!table) {
        FUZZ_CHECK(small_error == error);
        return;
    }
    FUZZ_CHECK(same_schema(*table, *blocked));
    FUZZ_CHECK(table->row_count() == blocked->row_count());

    const std::vector<Column>& columns = table->columns();
    FUZZ_CHECK(!columns.empty() && columns.size() <= static_cast<size_t>(kMaxColumns));
    FUZZ_CHECK(table->record_size() % 8 == 0);
    for (const Column& c : columns) {
        FUZZ_CHECK(c.key.size() <= 32 && table->find(c.key) >= 0);
        FUZZ_CHECK(c.kind == Kind::kNumeric || (c.width >= 0 && c.width <= kMaxWidth));
        FUZZ_CHECK(c.offset >= 0 && c.offset + c.bytes() <= table->record_size());
    }

    std::vector<std::string> bytes;
    const Reading full = read_all(*table, 3, false, {}, &bytes);
    if (table->row_count() >= 0 && full.error.empty())
        FUZZ_CHECK(table->row_count() == static_cast<int64_t>(full.rows.size()));
    std::string csv;
    FUZZ_CHECK(scan_all(*blocked, &csv) == full);

    // Only the first and last columns decoded.
    std::vector<int32_t> ends = {0};
    if (columns.size() > 1) ends.push_back(static_cast<int32_t>(columns.size() - 1));
    Reading expected;
    for (const std::string& r : full.rows) {
        std::string want;
        for (int32_t c : ends) {
            const Column& col = columns[static_cast<size_t>(c)];
            want += r.substr(static_cast<size_t>(col.offset), static_cast<size_t>(col.bytes()));
        }
        expected.rows.push_back(std::move(want));
    }
    expected.error = full.error;
    TableError rewind_error;
    FUZZ_CHECK(table->rewind(&rewind_error));
    for (int32_t c : ends) bind(*table, columns[static_cast<size_t>(c)]);
    FUZZ_CHECK(read_all(*table, 2, true, ends) == expected);

    if (!full.error.empty()) return;

    // Only the first column learnt: where the whole table reads cleanly, so does that column.
    TableOptions first = whole();
    first.learn = {columns[0].key};
    std::string learn_error;
    std::unique_ptr<Table> learnt = open(head, body, first, &learn_error);
    FUZZ_CHECK(learnt != nullptr);
    const Column& c0 = learnt->columns()[0];
    FUZZ_CHECK(c0.learnt && c0.kind == columns[0].kind && c0.width == columns[0].width);
    bind(*learnt, c0);
    Reading firsts;
    for (const std::string& r : full.rows)
        firsts.rows.push_back(r.substr(static_cast<size_t>(columns[0].offset),
                                       static_cast<size_t>(columns[0].bytes())));
    FUZZ_CHECK(read_all(*learnt, 4, true, {0}) == firsts);

    // Written back as CSV (the header, then every row) and read again: the same table.
    std::string copy = table->header_csv() + "\n" + csv;
    std::string copy_error;
    std::unique_ptr<Table> again = open({}, copy, whole(), &copy_error);
    if (!again) fail(("the table written back is refused: " + copy_error).c_str());
    FUZZ_CHECK(same_schema(*table, *again));
    FUZZ_CHECK(read_all(*again, 3, false, {}) == full);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    check_table({}, body);
    check_table("n:num,t:char(6),m:num\n", body);
    return 0;
}

// Fuzz target: arbitrary bytes as a CSV table, opened through a memory-backed descriptor and
// read to the end in small chunks; then the same bytes after a typed header, so that the
// rows are checked as they are read rather than by a schema pass. Each table is read twice:
// fully, then, after a rewind, with only its first and last columns bound; the second read
// must deliver the same rows, the same values in the bound columns and the same refusal.
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

// A descriptor holding the bytes, at its start; -1 when none can be made.
int memory_file(std::string_view head, const uint8_t* data, size_t size) {
    const int fd = memfd_create("fuzz table", 0);
    if (fd < 0) return -1;
    auto put = [fd](const void* p, size_t n) {
        const char* at = static_cast<const char*>(p);
        while (n > 0) {
            const ssize_t w = ::write(fd, at, n);
            if (w <= 0) return false;
            at += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    };
    if (!put(head.data(), head.size()) || !put(data, size) || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// What one read of the whole table gave: per row, its number and the bytes of the columns
// compared; and the refusal that ended it, if any.
struct Reading {
    std::vector<int64_t> numbers;
    std::vector<std::string> values;
    std::string error;
};

Reading read_all(Table& table, int32_t capacity, bool bound_only,
                 const std::vector<int32_t>& cols) {
    Reading out;
    Chunk chunk(capacity);
    ReadOptions options;
    options.bound_only = bound_only;
    options.keep_bytes = !bound_only;
    const int32_t record = table.record_size();
    FUZZ_CHECK(record % 8 == 0);
    for (;;) {
        TableError error;
        const int32_t n = table.read(chunk, options, &error);
        FUZZ_CHECK(n >= -1 && n <= capacity);
        if (n >= 0) FUZZ_CHECK(chunk.size() == n);
        for (int32_t i = 0; i < chunk.size(); ++i) {
            const int64_t number = chunk.row_number(i);
            FUZZ_CHECK(number == static_cast<int64_t>(out.numbers.size()) + 1);
            FUZZ_CHECK(chunk.line(i) >= 1);
            if (options.keep_bytes) (void)chunk.bytes(i).size();
            out.numbers.push_back(number);
            std::string values;
            for (int32_t c : cols) {
                const Column& col = table.columns()[static_cast<size_t>(c)];
                FUZZ_CHECK(col.offset >= 0 && col.offset + col.bytes() <= record);
                values.append(reinterpret_cast<const char*>(chunk.record(i)) + col.offset,
                              static_cast<size_t>(col.bytes()));
            }
            out.values.push_back(std::move(values));
        }
        if (n < 0) {
            out.error = error.text();
            FUZZ_CHECK(!error.message.empty());
            break;
        }
        if (n == 0) break;
    }
    return out;
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

void check_table(std::string_view head, const uint8_t* data, size_t size) {
    const int fd = memory_file(head, data, size);
    if (fd < 0) fail("no memory file");
    TableError error;
    std::unique_ptr<Table> table = Table::open_fd(fd, "fuzz.csv", TableOptions{}, &error);
    if (!table) {
        FUZZ_CHECK(!error.message.empty());
        (void)error.text();
        return;
    }
    const std::vector<Column>& columns = table->columns();
    FUZZ_CHECK(!columns.empty() && columns.size() <= static_cast<size_t>(kMaxColumns));
    for (size_t i = 0; i < columns.size(); ++i) {
        const Column& c = columns[i];
        FUZZ_CHECK(c.key.size() <= 32);
        FUZZ_CHECK(c.kind == Kind::kNumeric || (c.width >= 0 && c.width <= kMaxWidth));
        FUZZ_CHECK(table->find(c.key) >= 0);
    }
    std::vector<int32_t> compared = {0};
    if (columns.size() > 1) compared.push_back(static_cast<int32_t>(columns.size() - 1));

    const Reading full = read_all(*table, 3, false, compared);
    if (table->row_count() >= 0 && full.error.empty())
        FUZZ_CHECK(table->row_count() == static_cast<int64_t>(full.numbers.size()));

    TableError rewind_error;
    FUZZ_CHECK(table->rewind(&rewind_error));
    for (int32_t c : compared) bind(*table, columns[static_cast<size_t>(c)]);
    const Reading bound = read_all(*table, 2, true, compared);
    FUZZ_CHECK(bound.numbers == full.numbers);
    FUZZ_CHECK(bound.values == full.values);
    FUZZ_CHECK(bound.error == full.error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    check_table({}, data, size);
    check_table("n:num,t:char(6),m:num\n", data, size);
    return 0;
}

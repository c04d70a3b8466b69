// Helpers of the table tests (see table_fixture.h).
#include "table_fixture.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "support/utf8.h"

namespace tabletest {
namespace {

void write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n <= 0) return;  // a pipe whose reader has gone
        data.remove_prefix(static_cast<size_t>(n));
    }
}

const Column& column_of(const Table& table, std::string_view key) {
    const int32_t i = table.find(key);
    if (i < 0) throw std::invalid_argument("no column " + std::string(key));
    return table.columns()[static_cast<size_t>(i)];
}

}  // namespace

TempFile::TempFile(std::string_view content) {
    const char* dir = std::getenv("TMPDIR");
    path = std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") + "/zorv_table_XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) throw std::runtime_error("mkstemp failed");
    write_all(fd, content);
    ::close(fd);
}

TempFile::~TempFile() {
    ::unlink(path.c_str());
}

Opened open_text(std::string_view text, const TableOptions& options) {
    TempFile file(text);
    Opened o;
    o.path = file.path;
    o.table = Table::open(file.path, options, &o.error);
    return o;
}

Piped::Piped(std::string_view text, const TableOptions& options) {
    ::signal(SIGPIPE, SIG_IGN);  // a writer whose reader has gone sees EPIPE instead
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe failed");
    writer = std::thread([fd = fds[1], data = std::string(text)] {
        write_all(fd, data);
        ::close(fd);
    });
    table = Table::open_fd(fds[0], "pipe", options, &error);
}

Piped::~Piped() {
    table.reset();
    writer.join();
}

Rows read_all(Table& table, int32_t chunk_rows, const ReadOptions& options) {
    Rows rows;
    Chunk chunk(chunk_rows);
    const size_t size = static_cast<size_t>(table.record_size());
    for (;;) {
        const int32_t n = table.read(chunk, options, &rows.error);
        for (int32_t i = 0; i < chunk.size(); ++i) {
            rows.records.emplace_back(chunk.record(i), chunk.record(i) + size);
            rows.numbers.push_back(chunk.row_number(i));
            rows.lines.push_back(chunk.line(i));
            rows.bytes.emplace_back(chunk.bytes(i));
        }
        rows.ok = n >= 0;
        if (n <= 0) return rows;
    }
}

namespace {

// Keeps what each block's rows gave in the block's slot until the block is done, then
// appends it: rows come out in the table's order only if the scan keeps it.
class Collect final : public RowTask {
  public:
    Collect(Rows& rows, size_t record_size) : rows_(rows), size_(record_size) {}
    void start(int32_t slots) override { slots_.resize(static_cast<size_t>(slots)); }
    void row(int32_t slot, const RowView& row) override {
        Rows& s = slots_[static_cast<size_t>(slot)];
        s.records.emplace_back(row.record(), row.record() + size_);
        s.numbers.push_back(row.index());
        std::string csv;
        row.append_csv(&csv);
        s.bytes.push_back(csv);
    }
    bool done(int32_t slot, int64_t first, int64_t n, uint64_t) override {
        Rows& s = slots_[static_cast<size_t>(slot)];
        EXPECT_EQ(static_cast<int64_t>(s.records.size()), n);
        for (size_t i = 0; i < s.records.size(); ++i) {
            rows_.records.push_back(std::move(s.records[i]));
            rows_.numbers.push_back(first + s.numbers[i]);
            rows_.bytes.push_back(std::move(s.bytes[i]));
        }
        s = Rows{};
        return true;
    }

  private:
    Rows& rows_;
    size_t size_;
    std::vector<Rows> slots_;
};

}  // namespace

Rows scan_all(Table& table, int32_t threads, const ReadOptions& options) {
    Rows rows;
    Collect collect(rows, static_cast<size_t>(table.record_size()));
    rows.ok = table.scan(options, threads, collect, &rows.error);
    return rows;
}

double number(const Table& table, const std::vector<std::byte>& record, std::string_view key) {
    double v;
    std::memcpy(&v, record.data() + column_of(table, key).offset, sizeof v);
    return v;
}

std::string text(const Table& table, const std::vector<std::byte>& record, std::string_view key) {
    const Column& c = column_of(table, key);
    std::u32string s(static_cast<size_t>(c.width), U'\0');
    std::memcpy(s.data(), record.data() + c.offset, 4 * s.size());
    while (!s.empty() && s.back() == U' ') s.pop_back();
    std::string out;
    for (char32_t ch : s) {
        char b[4];
        out.append(b, static_cast<size_t>(utf8::encode(ch, b)));
    }
    return out;
}

uint64_t bits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return b;
}

std::unique_ptr<ZNode> name_leaf(std::string_view key) {
    auto node = std::make_unique<ZNode>();
    std::memset(node.get(), 0, sizeof(ZNode));
    node->type = Z_NAME;
    const size_t n = std::min(key.size(), sizeof node->u.nm.name);
    std::memcpy(node->u.nm.name, key.data(), n);
    node->u.nm.namelen = static_cast<int16_t>(n);
    return node;
}

std::string shown(const TableError& error, const std::string& path) {
    std::string t = error.text();
    if (!path.empty() && t.compare(0, path.size(), path) == 0) t.replace(0, path.size(), "F");
    return t;
}

}  // namespace tabletest

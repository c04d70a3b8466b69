// Row records and how they are handed out: the layout, the values, chunks of any size
// giving the same records, decoding only bound columns, and standard input streamed or
// copied aside.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "table_fixture.h"
#include "zorv/support.h"

namespace {

using namespace tabletest;

TEST(Records, LayoutInHeaderOrderWithAlignedDoubles) {
    struct Layout {
        const char* header;
        std::vector<int32_t> offsets;
        int32_t size;
    };
    const std::vector<Layout> layouts = {
        {"c1:char(3),n1:num,c2:char(1),n2:num,c3:char(2)", {0, 16, 24, 32, 40}, 48},
        {"n:num,c:char(1)", {0, 8}, 16},
        {"a:char(2),b:char(3),n:num", {0, 8, 24}, 32},
    };
    for (const Layout& l : layouts) {
        Opened o = open_text(std::string(l.header) + "\n");
        ASSERT_NE(o.table, nullptr) << o.error.text();
        std::vector<int32_t> offsets;
        for (const Column& c : o.table->columns()) offsets.push_back(c.offset);
        EXPECT_EQ(offsets, l.offsets) << l.header;
        EXPECT_EQ(o.table->record_size(), l.size) << l.header;
    }
}

TEST(Records, ValuesAsTheEvaluatorReadsThem) {
    Opened o = open_text("c:char(4),n,m\né😀,2.5,.C\n,-0,\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    const Rows rows = read_all(*o.table);
    ASSERT_EQ(rows.records.size(), 2u);
    char32_t units[4];
    double n;
    std::memcpy(units, rows.records[0].data(), sizeof units);
    std::memcpy(&n, rows.records[0].data() + 16, sizeof n);
    EXPECT_EQ(std::u32string(units, 4), U"é😀  ");  // blank-padded 4-byte characters
    EXPECT_EQ(n, 2.5);
    EXPECT_EQ(bits(number(*o.table, rows.records[0], "M")), bits(pvMissVal('C')));
    std::memcpy(units, rows.records[1].data(), sizeof units);
    EXPECT_EQ(std::u32string(units, 4), U"    ");
    EXPECT_TRUE(std::signbit(number(*o.table, rows.records[1], "N")));
    EXPECT_EQ(bits(number(*o.table, rows.records[1], "M")), bits(pvMissVal('.')));
}

// Numbers, missing values, quoted cells over two lines, and both line ends.
std::string many_rows(int n, bool typed) {
    std::string csv =
        typed ? "id:num,name:char(12),score:num,city:char(8)\n" : "id,name,score,city\n";
    for (int i = 1; i <= n; ++i) {
        csv += std::to_string(i) + ",";
        csv += i % 11 == 0 ? "\"N\n" + std::to_string(i) + "\"" : "n" + std::to_string(i * 7);
        csv += i % 13 == 0 ? ",.K" : i % 17 == 0 ? "," : "," + std::to_string(i * 0.25);
        csv += i % 3 == 0 ? ",\"Oslo, N\"" : ",Lyon";
        csv += i % 5 == 0 ? "\r\n" : "\n";
    }
    return csv;
}

TEST(Records, ChunksOfAnySizeGiveTheSameRows) {
    Opened o = open_text(many_rows(3000, false));
    ASSERT_NE(o.table, nullptr) << o.error.text();
    const Rows whole = read_all(*o.table, 4000);
    ASSERT_EQ(whole.records.size(), 3000u);
    EXPECT_EQ(whole.numbers.back(), 3000);
    EXPECT_EQ(text(*o.table, whole.records[10], "NAME"), "N\n11");
    EXPECT_EQ(text(*o.table, whole.records[2], "CITY"), "Oslo, N");
    EXPECT_EQ(bits(number(*o.table, whole.records[12], "SCORE")), bits(pvMissVal('K')));
    for (int32_t size : {1, 7, 2999}) {
        ASSERT_TRUE(o.table->rewind(&o.error)) << o.error.text();
        const Rows part = read_all(*o.table, size);
        ASSERT_TRUE(part.ok) << part.error.text();
        EXPECT_TRUE(part.records == whole.records) << size;
        EXPECT_EQ(part.numbers, whole.numbers) << size;
        EXPECT_EQ(part.lines, whole.lines) << size;
        EXPECT_EQ(part.bytes, whole.bytes) << size;
    }
    Chunk chunk(5);
    TableError error;
    ASSERT_TRUE(o.table->rewind(&o.error));
    ASSERT_EQ(o.table->read(chunk, {}, &error), 5);
    for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(reinterpret_cast<uintptr_t>(chunk.record(i)) % 8, 0u);
}

// A pipe cannot be rewound: an untyped table is copied aside during the schema pass, a
// typed one streams. Both give what the same text gives from a file.
TEST(Records, PipesGiveWhatFilesGive) {
    for (bool typed : {false, true}) {
        const std::string csv = many_rows(20000, typed);  // far more than a pipe holds
        Opened file = open_text(csv);
        Piped pipe(csv);
        ASSERT_NE(pipe.table, nullptr) << pipe.error.text();
        EXPECT_EQ(pipe.table->row_count(), typed ? -1 : 20000);
        const Rows a = read_all(*file.table, 999);
        const Rows b = read_all(*pipe.table, 1000);
        ASSERT_TRUE(a.ok && b.ok) << a.error.text() << b.error.text();
        EXPECT_TRUE(a.records == b.records);
        EXPECT_TRUE(a.bytes == b.bytes);
        TableError error;
        EXPECT_EQ(pipe.table->rewind(&error), !typed) << error.text();
    }
}

TEST(Records, StandardInputByDash) {
    TempFile file("a,b:char\n1,x\n2,y\n");
    const int saved = ::dup(STDIN_FILENO);
    const int fd = ::open(file.path.c_str(), O_RDONLY);
    ASSERT_EQ(::dup2(fd, STDIN_FILENO), STDIN_FILENO);
    ::close(fd);
    TableError error;
    auto table = Table::open("-", {}, &error);
    const Rows rows = table ? read_all(*table) : Rows{};
    const std::string name = table ? table->file() : error.text();
    table.reset();
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
    ASSERT_EQ(rows.records.size(), 2u) << error.text();
    EXPECT_EQ(name, "<stdin>");
    EXPECT_EQ(rows.bytes[1], "2,y");
}

TEST(Records, OnlyBoundColumnsAreDecoded) {
    Opened o = open_text("a,b:char(2),c\n1,xy,3\n4,zw,6\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    auto leaf = name_leaf("B");
    ASSERT_EQ(Table::lookup(o.table.get(), leaf.get(), nullptr), 0);
    ReadOptions bound_only;
    bound_only.bound_only = true;
    const int32_t a = o.table->columns()[0].offset, c = o.table->columns()[2].offset;
    auto at = [](const Chunk& chunk, int32_t row, int32_t offset) {
        double v;
        std::memcpy(&v, chunk.record(row) + offset, sizeof v);
        return bits(v);
    };
    // One chunk through three reads: bound only, everything, bound only again.
    Chunk chunk(4);
    ASSERT_EQ(o.table->read(chunk, bound_only, &o.error), 2);
    EXPECT_EQ(at(chunk, 1, a), 0u);
    EXPECT_EQ(at(chunk, 1, c), 0u);
    char32_t b[2];
    std::memcpy(b, chunk.record(1) + o.table->columns()[1].offset, sizeof b);
    EXPECT_EQ(std::u32string(b, 2), U"zw");
    ASSERT_TRUE(o.table->rewind(&o.error));
    ASSERT_EQ(o.table->read(chunk, {}, &o.error), 2);
    EXPECT_EQ(at(chunk, 1, c), bits(6));
    ASSERT_TRUE(o.table->rewind(&o.error));
    ASSERT_EQ(o.table->read(chunk, bound_only, &o.error), 2);
    EXPECT_EQ(at(chunk, 1, c), 0u);
}

}  // namespace

// Row records and how they are handed out: the layout, the values, chunks of any size
// giving the same records, decoding only bound columns, rewinding, and standard input
// streamed or copied aside.
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
        {"c:char(1)", {0}, 8},
        {"a:char(2),b:char(3),n:num", {0, 8, 24}, 32},
        {"x:num,y:num", {0, 8}, 16},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.header);
        Opened o = open_text(std::string(l.header) + "\n");
        ASSERT_NE(o.table, nullptr) << o.error.text();
        std::vector<int32_t> offsets;
        for (const Column& c : o.table->columns()) offsets.push_back(c.offset);
        EXPECT_EQ(offsets, l.offsets);
        EXPECT_EQ(o.table->record_size(), l.size);
    }
}

TEST(Records, ValuesAsTheEvaluatorReadsThem) {
    Opened o = open_text("c:char(4),n,m\né😀,2.5,.C\n,-0,\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    const Rows rows = read_all(*o.table);
    ASSERT_TRUE(rows.ok) << rows.error.text();
    ASSERT_EQ(rows.records.size(), 2u);
    const std::vector<std::byte>& r = rows.records[0];
    char32_t units[4];
    std::memcpy(units, r.data(), sizeof units);
    EXPECT_EQ(std::u32string(units, 4), U"é😀  ");
    double n;
    std::memcpy(&n, r.data() + 16, sizeof n);
    EXPECT_EQ(n, 2.5);
    EXPECT_EQ(bits(number(*o.table, r, "M")), bits(pvMissVal('C')));
    EXPECT_EQ(characters(*o.table, rows.records[1], "C"), U"    ");
    EXPECT_TRUE(std::signbit(number(*o.table, rows.records[1], "N")));
    EXPECT_EQ(bits(number(*o.table, rows.records[1], "M")), bits(pvMissVal('.')));
}

// A table of many rows with numbers, missing values, and quoted cells over two lines.
std::string many_rows(int n, bool typed) {
    std::string csv =
        typed ? "id:num,name:char(12),score:num,city:char(8)\n" : "id,name,score,city\n";
    for (int i = 1; i <= n; ++i) {
        csv += std::to_string(i) + ",";
        csv += i % 11 == 0 ? "\"N\n" + std::to_string(i) + "\"" : "n" + std::to_string(i * 7);
        csv += ",";
        csv += i % 13 == 0 ? ".K" : i % 17 == 0 ? "" : std::to_string(i * 0.25);
        csv += i % 3 == 0 ? ",\"Oslo, N\"" : ",Lyon";
        csv += i % 5 == 0 ? "\r\n" : "\n";
    }
    return csv;
}

TEST(Records, ChunksOfAnySizeGiveTheSameRows) {
    Opened o = open_text(many_rows(3000, false));
    ASSERT_NE(o.table, nullptr) << o.error.text();
    EXPECT_EQ(o.table->row_count(), 3000);
    const Rows whole = read_all(*o.table, 4000);
    ASSERT_TRUE(whole.ok) << whole.error.text();
    ASSERT_EQ(whole.records.size(), 3000u);
    for (size_t i = 0; i < whole.numbers.size(); ++i)
        ASSERT_EQ(whole.numbers[i], static_cast<int64_t>(i) + 1);
    EXPECT_EQ(text(*o.table, whole.records[10], "NAME"), "N\n11");
    EXPECT_EQ(text(*o.table, whole.records[2], "CITY"), "Oslo, N");
    EXPECT_EQ(bits(number(*o.table, whole.records[12], "SCORE")), bits(pvMissVal('K')));

    for (int32_t size : {1, 7, 256, 2999, 3000}) {
        SCOPED_TRACE(size);
        ASSERT_TRUE(o.table->rewind(&o.error)) << o.error.text();
        Chunk chunk(size);
        TableError error;
        size_t seen = 0;
        int32_t n;
        while ((n = o.table->read(chunk, {}, &error)) > 0) {
            ASSERT_LE(n, size);
            for (int32_t i = 0; i < n; ++i, ++seen) {
                ASSERT_EQ(reinterpret_cast<uintptr_t>(chunk.record(i)) % 8, 0u);
                ASSERT_EQ(std::memcmp(chunk.record(i), whole.records[seen].data(),
                                      whole.records[seen].size()),
                          0)
                    << "row " << seen + 1;
                ASSERT_EQ(chunk.row_number(i), whole.numbers[seen]);
                ASSERT_EQ(chunk.line(i), whole.lines[seen]);
                ASSERT_EQ(chunk.bytes(i), whole.bytes[seen]);
            }
        }
        EXPECT_EQ(n, 0) << error.text();
        EXPECT_EQ(seen, 3000u);
        EXPECT_EQ(o.table->read(chunk, {}, &error), 0);  // the end stays the end
    }
}

// A pipe cannot be rewound: an untyped table is copied aside during the schema pass, a
// typed one streams. Both give what the same text gives from a file.
TEST(Records, PipesGiveWhatFilesGive) {
    for (bool typed : {false, true}) {
        SCOPED_TRACE(typed ? "typed header" : "untyped header");
        const std::string csv = many_rows(20000, typed);  // far more than a pipe holds
        Opened file = open_text(csv);
        ASSERT_NE(file.table, nullptr) << file.error.text();
        Piped pipe(csv);
        ASSERT_NE(pipe.table, nullptr) << pipe.error.text();
        EXPECT_EQ(pipe.table->row_count(), typed ? -1 : 20000);
        EXPECT_EQ(pipe.table->record_size(), file.table->record_size());
        const Rows a = read_all(*file.table, 999);
        const Rows b = read_all(*pipe.table, 1000);
        ASSERT_TRUE(a.ok && b.ok) << a.error.text() << b.error.text();
        EXPECT_TRUE(a.records == b.records);
        EXPECT_TRUE(a.bytes == b.bytes);
        EXPECT_EQ(a.lines, b.lines);
        // The copy of an untyped table can be read again; a streamed one cannot.
        TableError error;
        EXPECT_EQ(pipe.table->rewind(&error), !typed) << error.text();
    }
}

TEST(Records, StandardInputByDash) {
    TempFile file("a,b:char\n1,x\n2,y\n");
    const int saved = ::dup(STDIN_FILENO);
    const int fd = ::open(file.path().c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::dup2(fd, STDIN_FILENO), STDIN_FILENO);
    ::close(fd);
    TableError error;
    auto table = Table::open("-", {}, &error);
    ASSERT_NE(table, nullptr) << error.text();
    EXPECT_EQ(table->file(), "<stdin>");
    const Rows rows = read_all(*table);
    ASSERT_EQ(rows.records.size(), 2u);
    EXPECT_EQ(number(*table, rows.records[1], "A"), 2);
    table.reset();
    ::dup2(saved, STDIN_FILENO);
    ::close(saved);
}

TEST(Records, OnlyBoundColumnsAreDecoded) {
    Opened o = open_text("a,b:char(2),c\n1,xy,3\n4,zw,6\n");
    ASSERT_NE(o.table, nullptr) << o.error.text();
    auto leaf = name_leaf("B");
    ASSERT_EQ(Table::lookup(o.table.get(), leaf.get(), nullptr), 0);
    ReadOptions bound_only;
    bound_only.bound_only = true;
    Chunk chunk(4);
    ASSERT_EQ(o.table->read(chunk, bound_only, &o.error), 2);
    const Column& a = o.table->columns()[0];
    const Column& c = o.table->columns()[2];
    for (int32_t i = 0; i < 2; ++i) {
        double v[2];
        std::memcpy(&v[0], chunk.record(i) + a.offset, 8);
        std::memcpy(&v[1], chunk.record(i) + c.offset, 8);
        EXPECT_EQ(bits(v[0]), 0u);
        EXPECT_EQ(bits(v[1]), 0u);
    }
    char32_t b[2];
    std::memcpy(b, chunk.record(1) + o.table->columns()[1].offset, sizeof b);
    EXPECT_EQ(std::u32string(b, 2), U"zw");
    // The same chunk, used again for a full read, has every column.
    ASSERT_TRUE(o.table->rewind(&o.error));
    ASSERT_EQ(o.table->read(chunk, {}, &o.error), 2);
    double v;
    std::memcpy(&v, chunk.record(1) + c.offset, 8);
    EXPECT_EQ(v, 6);
    // And back to bound columns only: the others are cleared again.
    ASSERT_TRUE(o.table->rewind(&o.error));
    ASSERT_EQ(o.table->read(chunk, bound_only, &o.error), 2);
    std::memcpy(&v, chunk.record(1) + c.offset, 8);
    EXPECT_EQ(bits(v), 0u);
}

}  // namespace

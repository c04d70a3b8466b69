// The driver: truth values of leaves, columns in every place a row can hold them, reference
// leaves, the logical operators, null tests and unhandled nodes, work areas and the lock.
#include <barrier>
#include <limits>
#include <thread>

#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

const double kNaN = std::bit_cast<double>(0x7FF8000000000001ull);  // a NaN, not missing

// A number is true unless zero or missing (a NaN that is no missing value is true); NOT
// of a false value is true; only missing values are null.
TEST_F(EvalTest, NumericTruth) {
    for (double v : {0.0, -0.0, missing(1), missing(2), missing(28), kNaN, -2.5,
                     std::numeric_limits<double>::infinity()}) {
        Row row;
        row.x = v;
        const int want = !is_missing(v) && v != 0.0;
        ZNode r{};
        prepare("x");
        EXPECT_EQ(eval(row, &r), want) << v;
        EXPECT_EQ(bits_of(r.u.litn.num), bits_of(v));
        EXPECT_EQ(truth("not x", row), 1 - want) << v;
        EXPECT_EQ(truth("x is missing", row), is_missing(v) ? 1 : 0) << v;
    }
}

// Every way a binding can place a column: in the row (plain, shortened, at a negative
// offset, which is stored back as its absolute value), by an address in the row (a
// number, characters after a 16- or 32-bit count, or characters of the column's declared
// width), through a fetch callback.
TEST_F(EvalTest, ColumnsReadFromEveryPlace) {
    const double held = 6.25;
    const auto v16 = counted(U"abc", 2), u32 = counted(U"Hello world", 4);
    const std::u32string gtext = U"fetched", qtext = U"abcdefg";
    Row row;
    row.x = 1.5;
    put_short(row, 2.5);
    put(row.c, U"ab");
    row.p = &held;
    row.v = v16.data();
    row.u = u32.data();
    row.q = reinterpret_cast<const NQWChar*>(qtext.data());
    row.f = -4;
    row.g = reinterpret_cast<const NQWChar*>(gtext.data());
    row.gbytes = static_cast<int32_t>(4 * gtext.size());
    const struct {
        const char* clause;
        double num;            // for numeric results
        const char32_t* text;  // for character results
    } cases[] = {{"x", 1.5, nullptr},  {"nx", 1.5, nullptr},     {"s", 2.5, nullptr},
                 {"p", 6.25, nullptr}, {"f", -4, nullptr},       {"c", 0, U"ab   "},
                 {"v", 0, U"abc"},     {"u", 0, U"Hello world"}, {"g", 0, U"fetched"},
                 {"q", 0, U"abcde"}};
    for (const auto& c : cases) {
        prepare(c.clause, false);
        ZNode r{};
        EXPECT_EQ(eval(row, &r), 1) << c.clause;
        ASSERT_EQ(r.type, c.text ? Z_LITC : Z_LITN) << c.clause;
        if (c.text)
            EXPECT_EQ(chars_of(r), c.text) << c.clause;
        else
            EXPECT_EQ(r.u.litn.num, c.num) << c.clause;
    }
    prepare("nx", false);
    EXPECT_LT(inst_->root->u.nm.coloff, 0);
    eval(row);
    EXPECT_EQ(inst_->root->u.nm.coloff, static_cast<int32_t>(offsetof(Row, x)));

    // Blank and empty characters are false and null; a shortened missing value stays one.
    const auto empty16 = counted(U"", 2), blank32 = counted(U"   ", 4);
    put(row.c, U"");
    row.v = empty16.data();
    row.u = blank32.data();
    put_short(row, missing(5));
    for (const char* col : {"c", "v", "u", "s"}) {
        EXPECT_EQ(truth(col, row), 0) << col;
        EXPECT_EQ(truth(std::string(col) + (*col == 's' ? " is missing" : " is null"), row), 1);
    }
    EXPECT_EQ(bits_of(number("s + 1", row)), bits_of(missing(2)));
}

// A fetch that fails makes its column false with the value 0.0, which is what an
// enclosing operator reads (as characters: the empty value).
TEST_F(EvalTest, FailedFetchReadsAsZero) {
    Row row;
    row.f = 9;
    row.fail = 1;
    ZNode r{};
    prepare("f");
    EXPECT_EQ(eval(row, &r), 0);
    EXPECT_EQ(bits_of(r.u.litn.num), bits_of(0.0));
    EXPECT_EQ(number("f + 1", row), 1);
    prepare("upcase(g)");
    EXPECT_EQ(eval(row, &r), 0);
    EXPECT_EQ(r.u.litc.slen, 0);
}

// DREF leaves, built by the caller: the value's kind by refkind, at row + refoff or, with
// a negative refoff, at refaddr.
TEST_F(EvalTest, ReferenceLeavesReadEveryKind) {
    static const NQWChar kDesc[] = {'d', 'e', 's', 'c'};
    struct Data {
        int16_t i16 = -3;
        int32_t i32 = 70000;
        double d = missing(4);
        unsigned char shortd[4] = {0, 0, 0xD0, 0x3F};  // 0.25 shortened to its top bytes
        NQWChar text[3] = {'x', 'y', 'z'};
        struct {
            uint16_t reserved, length;
            const NQWChar* text;
        } desc = {0, 12, kDesc};
        uint32_t count = 8;
        NQWChar counted[2] = {' ', ' '};
    } data;
    const struct {
        int32_t kind;
        size_t off;
        int16_t vlen;
        int truth;
        double num;
        const char32_t* text;
    } cases[] = {
        {1, offsetof(Data, i16), 0, 1, -3, nullptr},
        {2, offsetof(Data, i32), 0, 1, 70000, nullptr},
        {3, offsetof(Data, i32), 0, 1, 70000, nullptr},
        {4, offsetof(Data, d), -8, 0, missing(4), nullptr},
        {4, offsetof(Data, shortd), -4, 1, 0.25, nullptr},
        {5, offsetof(Data, text), 8, 1, 0, U"xy"},
        {6, offsetof(Data, desc), 0, 1, 0, U"des"},
        {9, offsetof(Data, count), 0, 0, 0, U"  "},
        {7, offsetof(Data, i32), 0, 0, 0, nullptr},
        {8, offsetof(Data, i32), 0, 0, 0, nullptr},
        {10, offsetof(Data, i32), 0, 0, 0, nullptr},
    };
    for (const auto& c : cases)
        for (bool absolute : {false, true}) {
            ZNode* leaf = node(Z_DREF, c.vlen);
            leaf->u.dref.refkind = c.kind;
            leaf->u.dref.refoff = absolute ? -1 : static_cast<int32_t>(c.off);
            leaf->u.dref.refaddr =
                absolute ? reinterpret_cast<const char*>(&data) + c.off : nullptr;
            ZNode r{};
            EXPECT_EQ(inst_->Eval(inst_, &data, &r, leaf), c.truth) << "kind " << c.kind;
            ASSERT_EQ(r.type, c.text ? Z_LITC : Z_LITN) << "kind " << c.kind;
            if (c.text)
                EXPECT_EQ(chars_of(r), c.text) << "kind " << c.kind;
            else
                EXPECT_EQ(bits_of(r.u.litn.num), bits_of(c.num)) << "kind " << c.kind;
        }
}

// Empty AND is true, empty OR false, no tree selects every row; long runs of operands over
// overflow blocks stop where they must; the node's value is a truth constant; nodes
// without an evaluation (LIKE, sounds-like, sets, unknown codes) are false with 0.0.
TEST_F(EvalTest, LogicalOperatorsAndUnhandledNodes) {
    Row row;
    ZNode r{};
    EXPECT_EQ(eval(row, &r, op(Z_LAND, {})), 1);
    EXPECT_EQ(eval(row, &r, op(Z_LOR, {})), 0);
    EXPECT_EQ(inst_->root, nullptr);
    EXPECT_EQ(eval(row, &r), 1);
    EXPECT_EQ(r.u.litn.num, 1.0);

    std::string any = "x = 0", all = "x <> 0";
    for (int i = 1; i < 40; ++i) {
        any += " or x = " + std::to_string(i);
        all += " and x <> " + std::to_string(i);
    }
    for (double v : {0.0, 14.0, 15.0, 39.0, 40.0, missing(2)}) {
        row.x = v;
        const int inside = v >= 0 && v < 40;
        EXPECT_EQ(truth(any, row, false), inside) << v;
        EXPECT_EQ(truth(all, row, false), 1 - inside) << v;
    }
    row.x = 2, row.y = 3;
    prepare("x + 1 and y", false);
    EXPECT_EQ(eval(row, &r), 1);
    EXPECT_EQ(r.u.litn.num, 1.0);

    put(row.c, U"abc");
    for (const char* clause : {"c like 'a%'", "c =* 'abc'"}) {
        prepare(clause, false);
        EXPECT_EQ(eval(row, &r), 0) << clause;
        EXPECT_EQ(r.u.litn.num, 0.0);
    }
    for (int type : {int{Z_SET}, int{Z_RANB}, int{Z_APOS}, int{Z_FTRN}, int{Z_INOT}, 400}) {
        EXPECT_EQ(eval(row, &r, op(type, {num(1), num(2)})), 0) << type;
        EXPECT_EQ(r.u.litn.num, 0.0);
    }
}

// With a work area needed and none to be had, nothing is evaluated (no fetch is called)
// and the result record is left as it was.
TEST_F(EvalTest, NoWorkAreaMeansFalseWithoutEvaluating) {
    const std::u32string text = U"abc";
    Row row;
    row.g = reinterpret_cast<const NQWChar*>(text.data());
    row.gbytes = 12;
    prepare("upcase(g)");
    ASSERT_GT(inst_->worksize, 0);
    ZNode r;
    std::memset(&r, 0x5A, sizeof r);
    zhost_fail_pool_allocation(ext()->pool, 1);
    EXPECT_EQ(eval(row, &r), 0);
    zhost_fail_pool_allocation(ext()->pool, 0);
    EXPECT_EQ(fetch_calls.load(), 0);
    EXPECT_EQ(r.type, 0x5A5A);
    EXPECT_EQ(eval(row, &r), 1);
    EXPECT_EQ(fetch_calls.load(), 1);
}

// Two evaluations in flight at once (both wait inside their fetch until the other has
// arrived) take two work areas: their results, built in the areas, lie apart, and both
// areas end up cached. (Once an area is back on the free stack its first word is the
// stack's link, so only where the results lie is compared.)
TEST_F(EvalTest, ConcurrentEvaluationsTakeDistinctWorkAreas) {
    prepare("upcase(g)");
    EvalWorkClear(inst_);
    std::barrier meet(2);
    const std::u32string texts[2] = {U"first", U"     "};
    ZNode results[2];
    int truths[2] = {-1, -1};
    auto run = [&](int i) {
        Row row;
        row.g = reinterpret_cast<const NQWChar*>(texts[i].data());
        row.gbytes = static_cast<int32_t>(4 * texts[i].size());
        row.hook = [](void* b) { static_cast<std::barrier<>*>(b)->arrive_and_wait(); };
        row.hookarg = &meet;
        truths[i] = eval(row, &results[i]);
    };
    std::thread a(run, 0), b(run, 1);
    a.join();
    b.join();
    EXPECT_EQ(truths[0], 1);
    EXPECT_EQ(truths[1], 0);
    EXPECT_NE(results[0].u.litc.str, results[1].u.litc.str);
    size_t cached = 0;
    for (uintptr_t b = inst_->workfree; b; b = *reinterpret_cast<const uintptr_t*>(b)) ++cached;
    EXPECT_EQ(cached, 2u);
}

// A lock that counts, and notes whether it was held while a fetch ran.
struct CountingLock : NQLock {
    int acquired = 0, released = 0, held = 0, held_in_fetch = 0, args = 0;
};
CountingLock* the_lock = nullptr;

TEST_F(EvalTest, SerializedEvaluationHoldsTheLock) {
    CountingLock lock{};
    lock.Acquire = [](NQLock* l, int32_t a, int32_t b) -> NQStatus {
        auto* c = static_cast<CountingLock*>(l);
        ++c->acquired, c->held = 1, c->args = 10 * a + b;
        return 0;
    };
    lock.Release = [](NQLock* l) -> NQStatus {
        auto* c = static_cast<CountingLock*>(l);
        ++c->released, c->held = 0;
        return 0;
    };
    the_lock = &lock;
    prepare("f > 1");
    NQLock* real = inst_->lock;
    inst_->lock = &lock;
    Row row;
    row.f = 2;
    row.hook = [](void*) { the_lock->held_in_fetch += the_lock->held; };
    EXPECT_EQ(eval(row), 1);
    EXPECT_EQ(lock.acquired, 0);  // serialize is off
    inst_->serialize = 1;
    EXPECT_EQ(eval(row), 1);
    EXPECT_EQ(lock.acquired, 1);
    EXPECT_EQ(lock.released, 1);
    EXPECT_EQ(lock.held_in_fetch, 1);
    EXPECT_EQ(lock.args, 11);
    inst_->lock = real;
    the_lock = nullptr;
}

}  // namespace
}  // namespace evaltest

// Sets end sorted, disjoint and minimal, with the same members as before: random lists with
// duplicates, ranges and missing values at lengths around the 15-slot blocks and long ones,
// checked against what the list selects rather than against a second sort.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "tests/tran/tran_fixture.h"
#include "tests/tran/truth_model.h"

namespace {

using truthmodel::order;
using truthmodel::Row;

class SetSort : public trantest::TranTest {
  protected:
    // do_set as the driver runs it: again while it reports a change.
    int settle(ZNode* s) {
        int calls = 0;
        while (do_set(s, inst_, jnl_)) ++calls;
        return calls;
    }

    static double low(const ZNode* e) {
        return e->type == Z_LITN ? e->u.litn.num : truthmodel::operand(e, 0)->u.litn.num;
    }
    static double high(const ZNode* e) {
        return e->type == Z_LITN ? e->u.litn.num : truthmodel::operand(e, 1)->u.litn.num;
    }

    // Sorted by key, and no two neighbours that overlap or touch at an end either includes.
    static void expect_canonical(const ZNode* s) {
        for (int i = 0; i + 1 < s->u.op.nargs; ++i) {
            const ZNode* a = truthmodel::operand(s, i);
            const ZNode* b = truthmodel::operand(s, i + 1);
            ASSERT_TRUE(a && b) << "empty slot " << i;
            const int o = order(high(a), low(b));
            const bool apart = o == 1 || (o == 2 && (a->type == Z_RANL || a->type == Z_RANN) &&
                                          (b->type == Z_RANH || b->type == Z_RANN));
            EXPECT_TRUE(apart) << "elements " << i << " and " << i + 1 << " of "
                               << ztest::render(s);
        }
    }

    ZNode* element(std::mt19937& rng, int spread) {
        const int kind = static_cast<int>(rng() % 10);
        if (kind == 0) return missing(1 + static_cast<int>(rng() % 4));
        const double a = static_cast<double>(rng() % static_cast<unsigned>(spread));
        if (kind < 7) return num(a);
        const double b = a + 1 + static_cast<double>(rng() % 4);
        return range(Z_RANB + static_cast<int>(rng() % 4), a, b);
    }
};

TEST_F(SetSort, RandomListsEndSortedDisjointAndWithTheSameMembers) {
    std::mt19937 rng(20261206);
    for (int n : {2, 3, 8, 9, 14, 15, 16, 29, 30, 31, 45, 46, 200, 1500}) {
        for (int round = 0; round < (n < 200 ? 6 : 2); ++round) {
            const int spread = round % 2 ? n : n / 3 + 2;  // many or few duplicates
            ZNode* s = node(Z_SET, -8);
            for (int i = 0; i < n; ++i) inst_->Set(inst_, s, -1, element(rng, spread));
            ZNode* in = op(Z_IN, {col("X"), s});

            std::vector<Row> rows;
            for (int r = 1; r <= 5; ++r) rows.push_back({{"X", nqmissv_table[r - 1]}});
            for (int v = -2; v <= 2 * (spread + 6); ++v) rows.push_back({{"X", v / 2.0}});
            const std::vector<bool> before = truthmodel::truth_table(in, rows);

            EXPECT_LE(settle(s), 3) << n;
            expect_canonical(s);
            EXPECT_EQ(truthmodel::truth_table(in, rows), before) << n << " " << render(s);
            for (const ZNode* b = s->u.op.next; b; b = b->u.op.next)
                EXPECT_EQ(b->workoff, 0u) << "the backward links are cleared";
            EXPECT_EQ(do_set(s, inst_, jnl_), 0) << "a settled set reports no change";
        }
    }
}

TEST_F(SetSort, NeighboursMerge) {
    struct Case {
        ZNode* set;
        const char* expected;
    } const cases[] = {
        {set({num(3), num(1), num(2), num(1)}), "SET(LITN 1,LITN 2,LITN 3)"},
        {set({range(Z_RANB, 1, 5), num(5)}), "SET(RANB(LITN 1,LITN 5))"},
        {set({num(5), range(Z_RANL, 1, 5)}), "SET(RANB(LITN 1,LITN 5))"},
        {set({range(Z_RANB, 3, 5), range(Z_RANL, 1, 3)}), "SET(RANB(LITN 1,LITN 5))"},
        {set({range(Z_RANN, 1, 3), range(Z_RANN, 3, 5)}),
         "SET(RANN(LITN 1,LITN 3),RANN(LITN 3,LITN 5))"},
        {set({range(Z_RANL, 2, 5), range(Z_RANB, 1, 10)}), "SET(RANB(LITN 1,LITN 10))"},
        {set({range(Z_RANH, 1, 4), range(Z_RANL, 1, 4)}), "SET(RANB(LITN 1,LITN 4))"},
        {set({num(1), range(Z_RANH, 1, 2)}), "SET(RANB(LITN 1,LITN 2))"},
        {set({chr("A "), chr("B"), chr("A")}), "SET(LITC 'A ',LITC 'B')"},
        {set({num(2), nullptr, num(1)}), "SET(LITN 1,LITN 2)"},
    };
    for (const Case& c : cases) {
        settle(c.set);
        EXPECT_EQ(render(c.set), c.expected);
    }
    ZNode* one = set({nullptr});
    EXPECT_EQ(do_set(one, inst_, jnl_), 0);
    ZNode* sorted = set({num(1), range(Z_RANB, 2, 3), chr("x")});
    EXPECT_EQ(do_set(sorted, inst_, jnl_), 0);
}

// Orders that defeat a median-of-three pivot (two sorted runs interleaved, as the union of
// two lists leaves them; an organ pipe) split the quicksort's segments one element at a time
// until the heapsort takes over: the set still ends sorted, merged and with its members.
TEST_F(SetSort, OrdersThatDefeatTheMedianOfThreeEndSorted) {
    const int n = 1000;
    std::vector<std::vector<double>> orders(3);
    for (int i = 0; i < n; i += 2) orders[0].push_back(i);
    for (int i = n - 1; i > 0; i -= 2) orders[0].push_back(i);
    for (int i = 0; i < n / 2; ++i) orders[1].push_back(i);
    for (int i = n / 2; i > 0; --i) orders[1].push_back(i);  // every value but 0 twice
    for (int i = 0; i < n; ++i) orders[2].push_back((i * 7919) % n % 3 ? i : n - i);
    for (const std::vector<double>& order : orders) {
        ZNode* s = node(Z_SET, -8);
        for (double v : order) inst_->Set(inst_, s, -1, num(v));
        ZNode* in = op(Z_IN, {col("X"), s});
        std::vector<Row> rows;
        for (int v = -1; v <= n + 1; ++v) rows.push_back({{"X", static_cast<double>(v)}});
        const std::vector<bool> before = truthmodel::truth_table(in, rows);
        settle(s);
        expect_canonical(s);
        EXPECT_EQ(truthmodel::truth_table(in, rows), before);
    }
}

// Keys of two kinds or unordered numbers have no order; the sort must still end and keep
// every element.
TEST_F(SetSort, ElementsWithoutAnOrderStillSort) {
    ZNode* s = node(Z_SET, -8);
    const double nan = std::nan("");
    for (int i = 0; i < 2000; ++i)
        inst_->Set(inst_, s, -1, i % 3 == 0 ? chr(std::to_string(i)) : num(i % 5 ? i : nan));
    const int32_t n = s->u.op.nargs;
    do_set(s, inst_, jnl_);
    EXPECT_LE(s->u.op.nargs, n);
    EXPECT_GT(s->u.op.nargs, 0);
}

// The middle position steps whole blocks from the low position's block.
TEST_F(SetSort, MiddlePositionAcrossBlocks) {
    ZNode* s = numbers(0, 50);
    const SetPos lo{s, 3, 3};
    const SetPos hi{s->u.op.next->u.op.next, 2, 32};
    SetPos mid{};
    MIDPOS(&lo, &hi, &mid);
    EXPECT_EQ(mid.index, 17);
    EXPECT_EQ(mid.block->u.op.args[mid.slot]->u.litn.num, 17);
}

}  // namespace

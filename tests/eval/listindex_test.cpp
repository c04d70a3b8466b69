// The numeric IN search over sorted lists of points and ranges, short and long, and the
// index of long lists: the same answers with and without it, and never an index that no
// longer describes its list (copied, changed, freed or reset lists fall back to the walk).
#include "eval/listindex.h"

#include <bit>
#include <cmath>
#include <limits>
#include <vector>

#include "frame/nodeutil.h"
#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

// One list element as the test sees it: a point (LITN) or a range of the given type.
struct Elem {
    int type;
    double lo, hi;
};

bool member(double v, const Elem& e) {
    if (e.type == Z_LITN) return num_compare(v, e.lo) == kOrdEqual;
    const int32_t c = num_compare(v, e.lo), d = num_compare(v, e.hi);
    const bool low_in = e.type == Z_RANB || e.type == Z_RANL;
    const bool high_in = e.type == Z_RANB || e.type == Z_RANH;
    return (c == kOrdGreater || (c == kOrdEqual && low_in)) &&
           (d == kOrdLess || (d == kOrdEqual && high_in));
}

class ListTest : public EvalTest {
  protected:
    // Elements 10k .. 10k + 3 in turn: a point, then ranges of each type; after `missing`
    // missing constants of increasing rank.
    static std::vector<Elem> model(int n, int missing_first = 0) {
        std::vector<Elem> out;
        const int ranks[] = {1, 4, 20};
        for (int i = 0; i < missing_first && i < 3; ++i)
            out.push_back({Z_LITN, missing(ranks[i]), 0});
        const int types[] = {Z_LITN, Z_RANB, Z_RANL, Z_RANH, Z_RANN};
        for (int k = 0; k < n; ++k) out.push_back({types[k % 5], 10.0 * k, 10.0 * k + 3});
        return out;
    }

    ZNode* build(const std::vector<Elem>& elems) {
        ZNode* list = node(Z_SET);
        for (const Elem& e : elems) {
            ZNode* el = e.type == Z_LITN ? num(e.lo) : op(e.type, {num(e.lo), num(e.hi)});
            inst_->Set(inst_, list, -1, el);
        }
        return list;
    }

    // Values around every element: below, on and inside its bounds, just past them.
    static std::vector<double> probes(const std::vector<Elem>& elems) {
        std::vector<double> out = {-std::numeric_limits<double>::infinity(), 1e300, -0.5};
        for (int r = 1; r <= 28; r += 3) out.push_back(missing(r));
        for (const Elem& e : elems) {
            if (is_missing(e.lo)) continue;
            for (double d : {-1.0, 0.0, 1.5, 3.0, 3.25}) out.push_back(e.lo + d);
        }
        return out;
    }

    int found(ZNode* in, double v) {
        Row row;
        row.x = v;
        return eval(row, nullptr, in);
    }
};

// Every list length from 0 to 48 elements (around the block boundaries), each element
// kind at each place, missing constants first or not, with and without the index, against
// a scan of the elements one by one; NIN answers the opposite.
TEST_F(ListTest, EveryLengthAgreesWithAScan) {
    for (int n = 0; n <= 48; ++n) {
        const std::vector<Elem> elems = model(n, n % 4);
        ZNode* list = build(elems);
        ZNode* in = op(Z_IN, {col("X"), list});
        ZNode* nin = op(Z_NIN, {col("X"), list});
        build_list_indexes(inst_, in);
        ASSERT_EQ(n > 0, list_index(inst_, list) != nullptr) << n;
        for (bool indexed : {true, false}) {
            if (!indexed) list->reserved20 = 0;
            for (double v : probes(elems)) {
                bool want = false;
                for (const Elem& e : elems) want = want || member(v, e);
                ASSERT_EQ(found(in, v), want) << n << " elements, probe " << v;
                ASSERT_EQ(found(nin, v), !want) << n << " elements, probe " << v;
            }
        }
    }
}

// A list of 100000 elements: indexed, every probe answers as the element it falls on says;
// with the index dropped, a sample of probes gives the same answers by walking.
TEST_F(ListTest, HundredThousandElementsIndexed) {
    const int n = 100000;
    const std::vector<Elem> elems = model(n, 3);
    ZNode* list = build(elems);
    ZNode* in = op(Z_IN, {col("X"), list});
    build_list_indexes(inst_, in);
    ASSERT_TRUE(ListReader(inst_, list).indexed());
    const std::vector<double> all = probes(elems);
    std::vector<int> answers;
    for (double v : all) {
        bool want = false;
        if (is_missing(v)) {
            for (int i = 0; i < 3; ++i) want = want || member(v, elems[static_cast<size_t>(i)]);
        } else if (v >= 0 && v < 10.0 * n) {
            want = member(v, elems[3 + static_cast<size_t>(v / 10)]);
        }
        answers.push_back(found(in, v));
        ASSERT_EQ(answers.back(), want) << v;
    }
    list->reserved20 = 0;
    ASSERT_FALSE(ListReader(inst_, list).indexed());
    for (size_t i = 0; i < all.size(); i += 499) EXPECT_EQ(found(in, all[i]), answers[i]) << all[i];
}

// The marks that must not be trusted: a list record copied to another node, a list
// changed through the node store or behind its back, any store or free through the node
// store since the index was built, a freed list, a reset instance.
TEST_F(ListTest, StaleIndexesFallBackToTheWalk) {
    const std::vector<Elem> elems = model(40);
    ZNode* list = build(elems);
    ZNode* in = op(Z_IN, {col("X"), list});
    ZNode* twin = node(Z_SET);
    ZNode* twin_in = op(Z_IN, {col("X"), twin});
    ZNode* range36 = inst_->Get(inst_, list, 36);
    ASSERT_EQ(range36->type, Z_RANB);
    build_list_indexes(inst_, in);
    ASSERT_NE(list_index(inst_, list), nullptr);
    ASSERT_TRUE(ListReader(inst_, list).indexed());
    ASSERT_NE(list->reserved20, 0u);

    copy_record(twin, list);  // same blocks, same count, same mark
    EXPECT_EQ(list_index(inst_, twin), nullptr);
    EXPECT_EQ(found(twin_in, 350), 1);  // element 35, a point
    EXPECT_EQ(found(twin_in, 351), 0);

    // The count changed by hand: the index is not used, the search sees the shorter list.
    list->u.op.nargs = 30;
    EXPECT_EQ(list_index(inst_, list), nullptr);
    EXPECT_EQ(found(in, 350), 0);
    EXPECT_EQ(found(in, 250), 1);
    list->u.op.nargs = 40;
    EXPECT_NE(list_index(inst_, list), nullptr);

    // A store into an element (a range's bound) leaves the list's mark but not its index.
    inst_->Set(inst_, range36, 1, num(365));
    EXPECT_EQ(list_index(inst_, list), nullptr);
    EXPECT_EQ(found(in, 364), 1);
    build_list_indexes(inst_, in);
    EXPECT_NE(list_index(inst_, list), nullptr);
    EXPECT_EQ(found(in, 364), 1);
    EXPECT_EQ(found(in, 366), 0);

    // A store into the list itself drops its mark; the new element is found.
    inst_->Set(inst_, list, 35, num(352));
    EXPECT_EQ(list->reserved20, 0u);
    EXPECT_EQ(found(in, 352), 1);
    EXPECT_EQ(found(in, 350), 0);
    build_list_indexes(inst_, in);
    EXPECT_NE(list_index(inst_, list), nullptr);
    EXPECT_EQ(found(in, 352), 1);

    inst_->FreeOp(inst_, list);
    EXPECT_EQ(list->reserved20, 0u);

    ASSERT_GT(list_indexes(inst_).count, 0);
    inst_->Reset(inst_);
    EXPECT_EQ(list_indexes(inst_).count, 0);
    EXPECT_EQ(list_indexes(inst_).entries, nullptr);
}

// Lists the key intervals cannot describe keep the binary search over their elements, with
// its answers: an unsorted list (where it misses an element), a bound that is a column, a
// NaN constant (equal to every number by the order).
TEST_F(ListTest, ListsWithoutKeyIntervalsAreSearchedElementByElement) {
    ZNode* unsorted = op(Z_IN, {col("X"), op(Z_SET, {num(5), num(1), num(3)})});
    ZNode* bycolumn = op(Z_IN, {col("X"), op(Z_SET, {num(1), op(Z_RANB, {col("Y"), num(10)})})});
    const double nan = std::bit_cast<double>(0x7FF8000000000001ull);
    ZNode* withnan = op(Z_IN, {col("X"), op(Z_SET, {num(1), num(nan)})});
    for (ZNode* in : {unsorted, bycolumn, withnan}) {
        build_list_indexes(inst_, in);
        EXPECT_EQ(list_index(inst_, in->u.op.args[1]), nullptr);
    }
    EXPECT_EQ(found(unsorted, 1), 1);
    EXPECT_EQ(found(unsorted, 5), 0);  // the search goes up from 1 and never meets 5
    Row row;
    row.y = 4;
    for (double v : {1.0, 4.0, 10.0}) {
        row.x = v;
        EXPECT_EQ(eval(row, nullptr, bycolumn), 1) << v;
    }
    row.x = 3;
    EXPECT_EQ(eval(row, nullptr, bycolumn), 0);
    EXPECT_EQ(found(withnan, 7), 1);  // the NaN, probed second, equals 7
    EXPECT_EQ(found(withnan, missing(2)), 0);
}

// When the instance's pool refuses the index's memory the list stays unindexed and its
// searches still answer right.
TEST_F(ListTest, RefusedMemoryLeavesTheListUnindexed) {
    const std::vector<Elem> elems = model(20000);
    ZNode* list = build(elems);
    ZNode* in = op(Z_IN, {col("X"), list});
    zhost_fail_pool_allocation(inst_->pool, 1);
    build_list_indexes(inst_, in);
    zhost_fail_pool_allocation(inst_->pool, 0);
    EXPECT_EQ(list_index(inst_, list), nullptr);
    EXPECT_EQ(found(in, 199950), 1);
    EXPECT_EQ(found(in, 199951), 0);
    build_list_indexes(inst_, in);
    EXPECT_NE(list_index(inst_, list), nullptr);
}

std::string long_in(const char* column, const char* op, int n, int step) {
    std::string clause = std::string(column) + " " + op + " (";
    for (int i = 0; i < n; ++i) clause += (i ? ", " : "") + std::to_string(step * i);
    return clause + ")";
}

// Resolution (through the transformer) leaves every long list of the final tree indexed,
// numeric and character alike; a tree joined from another instance gets indexes of its
// own instance, and both instances answer alike.
TEST_F(ListTest, TransformedAndJoinedTreesAreIndexed) {
    prepare(long_in("x", "in", 5000, 2) + " and " + long_in("y", "not in", 20, 3));
    ZNode* root = inst_->root;
    ASSERT_EQ(root->type, Z_LAND) << tree();
    for (ArgCursor it(root); !it.done(); it.next()) {
        ZNode* list = it.get()->u.op.args[1];
        EXPECT_TRUE(ListReader(inst_, list).indexed()) << ztest::render(it.get());
    }

    std::string chars = "c in: (";
    for (int i = 0; i < 30; ++i)
        chars += std::string(i ? ", '" : "'") + char('a' + i % 26) + std::to_string(i) + "'";
    ZInst* other = create();
    ASSERT_NE(other, nullptr);
    prepare(chars + ")", true, other);
    ASSERT_EQ(other->root->type, Z_TIN);
    ASSERT_TRUE(ListReader(other, other->root->u.op.args[1]).indexed());

    ZInst* joined = create();
    ASSERT_NE(joined, nullptr);
    prepare(long_in("x", "in", 5000, 2), true, joined);
    ASSERT_EQ(joined->And(joined, other, jnl_), 0);
    ASSERT_EQ(joined->root->type, Z_LAND);
    ZNode* copied = joined->root->u.op.args[1];
    ASSERT_EQ(copied->type, Z_TIN);
    EXPECT_TRUE(ListReader(joined, copied->u.op.args[1]).indexed());
    EXPECT_TRUE(ListReader(other, other->root->u.op.args[1]).indexed());

    Row row;
    row.x = 1234;
    for (const char32_t* text : {U"b1", U"b27", U"c2xyz", U"c", U"zz", U"a0"}) {
        put(row.c, text);
        EXPECT_EQ(joined->Eval(joined, &row, nullptr, nullptr),
                  other->Eval(other, &row, nullptr, nullptr))
            << std::string(text, text + std::char_traits<char32_t>::length(text));
    }
}

}  // namespace
}  // namespace evaltest

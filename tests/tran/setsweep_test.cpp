// The fast forms of the set operations give exactly the sets the walks give: the same elements,
// values (literal kinds, missing-value patterns, blank padding, vlen), order, range types and
// counts, on random sets of every shape the merges hand them, and so do the merges of whole
// AND/OR nodes that use them.
#include "tran/setsweep.h"

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "tests/tran/tran_fixture.h"
#include "tran/cutlist.h"
#include "tran/merge.h"

namespace {

using setsweep::Path;

// Every field a copy carries that a rendering leaves out.
std::string detail(const ZNode* n) {
    if (!n) return "-";
    std::string s = ztest::type_name(n->type) + "/" + std::to_string(n->vlen);
    if (n->type == Z_LITN) {
        uint64_t bits;
        std::memcpy(&bits, &n->u.litn.num, sizeof bits);
        char buf[40];
        std::snprintf(buf, sizeof buf, " %llx/%u", static_cast<unsigned long long>(bits),
                      n->u.litn.tag);
        return s + buf;
    }
    if (n->type == Z_LITC) return s + " '" + ztest::utf8(n->u.litc.str, n->u.litc.slen / 4) + "'";
    if (zkind::is_leaf(n->type)) return ztest::render(n);
    s += "(" + std::to_string(n->u.op.nargs) + ":";
    for (ArgCursor c(const_cast<ZNode*>(n)); !c.done(); c.next()) s += " " + detail(c.get());
    return s + ")";
}

class Sweeps : public trantest::TranTest {
  protected:
    // Mostly small integers (so ends often meet), now and then a missing value, a date or
    // -0; characters with trailing blanks; unless pure, one value in 40 of the other kind.
    ZNode* value(int kind, int span, bool pure = false) {
        if (kind == 1 || (!pure && rng_() % 40 == 0))
            return chr(std::string(1, static_cast<char>('a' + rng_() % 8)) +
                       std::string(rng_() % 3, ' '));
        const int pick = static_cast<int>(rng_() % 100);
        if (pick < 5) return missing(1 + static_cast<int>(rng_() % 4));
        const double v = static_cast<double>(rng_() % static_cast<unsigned>(span));
        if (pick < 7) return num(v, 1);
        if (pick < 9 && v == 0) return num(-0.0);
        return num(v);
    }

    // A point, or a range of any type whose bounds are mostly (or, regular, always)
    // ascending.
    ZNode* element(int kind, int span, bool regular = false) {
        if (rng_() % 2) return value(kind, span, regular);
        ZNode* lo = value(kind, span, regular);
        ZNode* hi = value(kind, span, regular);
        if (regular && yowccmp(hi, lo, 2, 0) == kCmpEqual) return lo;
        if ((regular || rng_() % 10) && yowccmp(hi, lo, 2, 0) == kCmpLess) std::swap(lo, hi);
        return range(Z_RANB + static_cast<int>(rng_() % 4), lo, hi);
    }

    // Unsorted (as OR merges and unions leave a list), built by AddToSet (empty slots and
    // all), or built and compacted (as sorting leaves it).
    ZNode* random_set(int kind, bool pure = false) {
        static const int kSizes[] = {0, 1, 2, 3, 5, 8, 14, 15, 16, 29, 30, 31, 45};
        const int size = kSizes[rng_() % 13];
        const int span = size < 10 ? 12 : 4 * size;
        const int shape = static_cast<int>(rng_() % 3);
        ZNode* s = node(Z_SET, kind == 1 ? 4 : -8);
        for (int i = 0; i < size; ++i) {
            ZNode* e = element(kind, span, pure);
            if (shape == 0)
                inst_->Set(inst_, s, -1, e);
            else
                AddToSet(inst_, jnl_, s, e);
        }
        if (shape == 2) yowcln(s, inst_);
        return s;
    }

    std::mt19937 rng_{20240601};
};

TEST_F(Sweeps, FastFormsGiveTheWalksSets) {
    for (int round = 0; round < 3000; ++round) {
        const int kind = round % 10 == 0 ? 1 : 0;
        ZNode* s1 = random_set(kind);
        ZNode* s2 = random_set(kind);
        const std::string in1 = detail(s1);
        const std::string in2 = detail(s2);
        const std::string what = "s1 " + render(s1) + "\ns2 " + render(s2);
        auto both = [&](auto op) {
            EXPECT_EQ(detail(op(Path::kFast)), detail(op(Path::kLiteral))) << what;
        };
        both([&](Path p) { return setsweep::differ_sets(inst_, jnl_, s1, s2, p); });
        both([&](Path p) { return setsweep::intersect_sets(inst_, jnl_, s1, s2, p); });
        for (int type = Z_CEQ; type <= Z_CGE; ++type) {
            ZNode* cmp = op(type, {col("X"), value(kind, 12)});
            const std::string walked =
                detail(setsweep::intersect_ineq_with_set(inst_, jnl_, cmp, s1, Path::kLiteral));
            both(
                [&](Path p) { return setsweep::intersect_ineq_with_set(inst_, jnl_, cmp, s1, p); });
            // In place, on a copy of a sorted set: the same elements, or -1 and no change.
            const setsweep::SetFacts f = setsweep::scan_set(s1);
            if (!f.sorted) continue;
            ZNode* copy = CopyTree(s1, inst_, jnl_);
            setsweep::CutList list(inst_);
            ASSERT_TRUE(list.attach(copy, f.kind));
            const int32_t n = list.cut(jnl_, cmp);
            list.close();
            EXPECT_EQ(detail(copy), n < 0 ? in1 : walked) << what << "\ncut by " << render(cmp);
        }
        ASSERT_EQ(detail(s1), in1) << "the operations leave their inputs alone";
        ASSERT_EQ(detail(s2), in2);
    }
}

TEST_F(Sweeps, LongSortedSetsAcrossBlocks) {
    // Long sets with ranges on both sides of a difference, and cuts at block edges.
    int sorted = 0;
    for (int round = 0; round < 200; ++round) {
        ZNode* s1 = node(Z_SET, -8);
        ZNode* s2 = node(Z_SET, -8);
        for (int i = 0; i < 200; ++i) {
            AddToSet(inst_, jnl_, s1, element(0, 1500, true));
            AddToSet(inst_, jnl_, s2, rng_() % 4 ? value(0, 1500, true) : element(0, 1500, true));
        }
        yowcln(s1, inst_);
        if (round % 2) yowcln(s2, inst_);
        EXPECT_EQ(detail(setsweep::differ_sets(inst_, jnl_, s1, s2, Path::kFast)),
                  detail(setsweep::differ_sets(inst_, jnl_, s1, s2, Path::kLiteral)));
        const setsweep::SetFacts f = setsweep::scan_set(s1);
        if (!f.sorted) continue;
        ++sorted;
        // A run of cuts, mostly x <> c (which leave empty slots behind), now and then one
        // from a side: the list, closed, holds what the walks make of the set cut by each.
        ZNode* walked = s1;
        setsweep::CutList list(inst_);
        ASSERT_TRUE(list.attach(s1, f.kind));
        for (int i = 0; i < 150 && walked->u.op.nargs > 0; ++i) {
            const int type = rng_() % 10 ? Z_CNE : Z_CLT + static_cast<int>(rng_() % 4);
            ZNode* k = rng_() % 2 ? value(0, 1500, true) : nullptr;
            if (!k) {  // a constant the list holds, to remove it
                ZNode* e =
                    inst_->Get(inst_, walked, static_cast<int32_t>(rng_() % walked->u.op.nargs));
                k = CopyTree(zkind::is_range(e->type) ? e->u.op.args[rng_() % 2] : e, inst_, jnl_);
            }
            ZNode* cmp = op(type, {col("X"), k});
            walked = setsweep::intersect_ineq_with_set(inst_, jnl_, cmp, walked, Path::kLiteral);
            ASSERT_EQ(list.cut(jnl_, cmp), walked->u.op.nargs);
        }
        list.close();
        EXPECT_EQ(detail(s1), detail(walked));
    }
    EXPECT_GT(sorted, 150) << "the cut in place must be tried on most of them";
}

TEST_F(Sweeps, BuilderAddsAsAddToSet) {
    // Elements mostly in ascending order with ends that meet (the builder's direct appends),
    // now and then one out of order or a point on an end (where AddToSet merges).
    for (int round = 0; round < 2000; ++round) {
        std::vector<ZNode*> elements;
        int at = 0;
        for (int n = static_cast<int>(rng_() % 40); n > 0; --n) {
            at += static_cast<int>(rng_() % 3);
            const int lo = rng_() % 6 ? at : static_cast<int>(rng_() % (at + 1));
            if (rng_() % 3 == 0)
                elements.push_back(num(lo));
            else
                elements.push_back(range(Z_RANB + static_cast<int>(rng_() % 4), lo,
                                         lo + 1 + static_cast<int>(rng_() % 2)));
        }
        ZNode* built = node(Z_SET, -8);
        ZNode* walked = node(Z_SET, -8);
        setsweep::SetBuilder builder(inst_, jnl_, built, Path::kFast);
        for (ZNode* e : elements) {
            builder.add(e);
            AddToSet(inst_, jnl_, walked, e);
        }
        ASSERT_EQ(detail(built), detail(walked)) << "round " << round;
    }
}

TEST_F(Sweeps, CutsSearchPastLeadingEmptySlots) {
    // x > 20 empties the first block and a half; the cuts after it must find 22 and 30.
    ZNode* s = numbers(0, 60);
    setsweep::CutList list(inst_);
    ASSERT_TRUE(list.attach(s, Z_LITN));
    EXPECT_EQ(list.cut(jnl_, op(Z_CGT, {col("X"), num(20)})), 39);
    EXPECT_EQ(list.cut(jnl_, op(Z_CNE, {col("X"), num(22)})), 38);
    EXPECT_EQ(list.cut(jnl_, op(Z_CLE, {col("X"), num(30)})), 9);
    list.close();
    std::string expected = "SET(LITN 21";
    for (int i = 23; i <= 30; ++i) expected += ",LITN " + std::to_string(i);
    EXPECT_EQ(render(s), expected + ")");
}

TEST_F(Sweeps, WithoutScratchMemoryTheWalksRun) {
    ZNode* s1 = set({num(1), range(Z_RANB, 3, 9), num(12)});
    ZNode* s2 = set({num(5), range(Z_RANN, 7, 12), num(20)});
    const std::string differ = detail(setsweep::differ_sets(inst_, jnl_, s1, s2, Path::kLiteral));
    const std::string common =
        detail(setsweep::intersect_sets(inst_, jnl_, s1, s2, Path::kLiteral));
    zhost_fail_pool_allocation(inst_->pool, 1);
    EXPECT_EQ(detail(DifferSets(inst_, jnl_, s1, s2)), differ);
    zhost_fail_pool_allocation(inst_->pool, 1);
    EXPECT_EQ(detail(IntersectSets(inst_, jnl_, s1, s2)), common);
    zhost_fail_pool_allocation(inst_->pool, 0);
}

TEST_F(Sweeps, EqualPointsKeepTheFirstOfThem) {
    // 'b ' equals 'b' and comes first: the walk keeps it, and so must the sort.
    ZNode* s1 = set({chr("c"), chr("b "), chr("a"), chr("b"), chr("c  ")});
    ZNode* s2 = set({chr("a"), range(Z_RANB, chr("x"), chr("z"))});
    ZNode* r = DifferSets(inst_, jnl_, s1, s2);
    EXPECT_EQ(render(r), "SET(LITC 'b ',LITC 'c')");
    EXPECT_EQ(detail(r), detail(setsweep::differ_sets(inst_, jnl_, s1, s2, Path::kLiteral)));
}

// Whole AND/OR nodes over one column with long lists: the fast paths in the merges (cut in
// place, direct appends, sweeps) leave the tree the literal walks leave.
TEST_F(Sweeps, EqualitiesInAnyOrderGiveTheLiteralList) {
    // x = c OR ... in shuffled, descending and ascending order, with repeats and equal texts
    // that differ in their blanks: the points held back are placed as AddToSet places them.
    // Now and then more points than the first array for held-back points takes (64).
    for (int round = 0; round < 60; ++round) {
        const bool wide = round % 10 == 9;
        const int width = wide ? 150 : 3 + round % 40;
        std::vector<int> values;
        for (int i = 0; i < width; ++i)
            values.push_back(static_cast<int>(rng_() % (wide ? 300 : 30)));
        if (round % 3 == 1) std::sort(values.rbegin(), values.rend());
        if (round % 3 == 2) std::sort(values.begin(), values.end());
        auto build = [&] {
            ZNode* n = node(Z_LOR, -8);
            for (int v : values) {
                ZNode* c =
                    round % 4 ? num(v) : chr(std::string(1, 'a' + v % 8) + std::string(v % 3, ' '));
                inst_->Set(inst_, n, -1, op(Z_CEQ, {col("X"), c}));
            }
            return n;
        };
        ZNode* fast = build();
        ZNode* walked = build();
        tranmerge::merge_all(fast, inst_, jnl_, false, Path::kFast);
        tranmerge::merge_all(walked, inst_, jnl_, false, Path::kLiteral);
        ASSERT_EQ(detail(fast), detail(walked)) << "round " << round;
    }
}

TEST_F(Sweeps, MergesGiveTheLiteralTree) {
    for (int round = 0; round < 400; ++round) {
        const bool is_and = round % 2 == 0;
        const unsigned seed = static_cast<unsigned>(round);
        auto build = [&] {
            rng_.seed(seed);
            ZNode* n = node(is_and ? Z_LAND : Z_LOR, -8);
            // Now and then a wide node whose first operand holds a long list (of more blocks
            // than the cut list's first table holds: 16).
            const bool wide = round % 20 == 19;
            const int width = wide ? 300 : 2 + static_cast<int>(rng_() % 60);
            const int span = wide ? 250 : 50;
            if (wide)
                inst_->Set(inst_, n, -1, op(is_and ? Z_IN : Z_NIN, {col("X"), numbers(0, 300)}));
            const bool ascending = rng_() % 2;
            const int texts = round % 5 == 0;  // where 'b' and 'b ' are equal, not identical
            for (int i = 0; i < width; ++i) {
                // Another column's merges come between those of X.
                const char* column = rng_() % 5 ? "X" : "Y";
                const int pick = static_cast<int>(rng_() % 10);
                const int kind = rng_() % 30 == 0 ? 1 - texts : texts;
                const bool pure = rng_() % 4 != 0;
                if (pick < 2) {
                    ZNode* s = random_set(kind, pure);
                    if (s->u.op.nargs == 0) inst_->Set(inst_, s, -1, value(kind, 12));
                    inst_->Set(inst_, n, -1, op(rng_() % 2 ? Z_IN : Z_NIN, {col(column), s}));
                } else {
                    // x = c, x <> c mostly; ascending constants (each twice) half the time.
                    const int type =
                        pick < 7 ? (is_and ? Z_CNE : Z_CEQ) : Z_CEQ + static_cast<int>(rng_() % 6);
                    ZNode* c =
                        ascending && pick < 7 && !kind ? num(i / 2) : value(kind, span, pure);
                    inst_->Set(inst_, n, -1, op(type, {col(column), c}));
                }
            }
            return n;
        };
        ZNode* fast = build();
        ZNode* walked = build();
        const std::string before = render(fast);
        // Sometimes the pool refuses one of the fast paths' scratch arrays.
        if (round % 7 == 3) zhost_fail_pool_allocation(inst_->pool, 1 + round % 4);
        const int32_t a = tranmerge::merge_all(fast, inst_, jnl_, is_and, Path::kFast);
        zhost_fail_pool_allocation(inst_->pool, 0);
        const int32_t b = tranmerge::merge_all(walked, inst_, jnl_, is_and, Path::kLiteral);
        ASSERT_EQ(detail(fast), detail(walked)) << "round " << round << ": " << before;
        ASSERT_EQ(a, b);
    }
}

}  // namespace

// Range algebra: end inclusion through the exclusion bits, membership with and without
// closing an end, intersections with a range or a one-sided comparison, and differences.
// RANB [lo,hi], RANL [lo,hi), RANH (lo,hi], RANN (lo,hi).
#include "tests/tran/tran_fixture.h"

namespace {

class Ranges : public trantest::TranTest {
  protected:
    // "first | second" of an operation that gives up to two pieces.
    static std::string pieces(ZNode* first, ZNode* second) {
        return render(first) + " | " + render(second);
    }
};

TEST(RangeKinds, ExclusionBitsAndTypesMapBothWays) {
    const int code_of_bits[4] = {Z_RANB, Z_RANH, Z_RANL, Z_RANN};
    for (int bits = 0; bits < 4; ++bits) {
        EXPECT_EQ(RangeCode(bits), code_of_bits[bits]);
        EXPECT_EQ(RangeBits(RangeCode(bits)), bits);
    }
    for (int other : {int{Z_SET}, int{Z_LITN}, int{Z_CGT}, int{Z_NULL}, 364, 359})
        EXPECT_EQ(RangeBits(other), 0);
}

TEST_F(Ranges, MembershipHonoursExcludedEnds) {
    struct Case {
        int type;
        ZNode *lo, *hi, *p;
        int in;
    } const cases[] = {
        {Z_RANL, num(1), num(3), num(3), 0},         {Z_RANB, num(1), num(3), num(3), 1},
        {Z_RANH, num(1), num(3), num(1), 0},         {Z_RANB, num(1), num(3), num(1), 1},
        {Z_RANN, num(1), num(3), num(2), 1},         {Z_RANB, num(1), num(3), num(0), 0},
        {Z_RANB, num(1), num(3), num(4), 0},         {Z_RANB, num(1), num(3), chr("2"), 0},
        {Z_RANB, missing(1), num(5), missing(2), 1}, {Z_RANB, num(-1), num(5), missing(2), 0},
        {Z_RANB, chr("a"), chr("c"), chr("b  "), 1}, {Z_RANL, chr("a"), chr("c"), chr("c "), 0},
    };
    for (const Case& c : cases) {
        ZNode* r = range(c.type, c.lo, c.hi);
        EXPECT_EQ(PointInRange_YN(c.p, r), c.in) << render(c.p) << " in " << render(r);
    }
}

TEST_F(Ranges, PositionTestClosesAnExcludedEndOnThePoint) {
    struct Case {
        int type;
        double p;
        int code;
        int after;
    } const cases[] = {
        {Z_RANH, 1, 4, Z_RANB}, {Z_RANH, 5, 2, Z_RANH}, {Z_RANH, 6, 0, Z_RANH},
        {Z_RANH, 0, 1, Z_RANH}, {Z_RANL, 5, 8, Z_RANB}, {Z_RANN, 1, 4, Z_RANL},
        {Z_RANN, 5, 8, Z_RANH}, {Z_RANN, 3, 2, Z_RANN}, {Z_RANB, 1, 2, Z_RANB},
    };
    for (const Case& c : cases) {
        ZNode* r = range(c.type, 1, 5);
        EXPECT_EQ(PointInRange_WH(r, num(c.p)), c.code) << c.p << " against " << render(r);
        EXPECT_EQ(r->type, c.after) << c.p;
    }
    ZNode* r = range(Z_RANN, 1, 5);
    EXPECT_EQ(PointInRange_WH(r, chr("1")), 0);
    EXPECT_EQ(r->type, Z_RANN);
}

TEST_F(Ranges, IntersectionOfTwoRanges) {
    struct Case {
        ZNode *r1, *r2;
        std::string expected;
    } const cases[] = {
        {range(Z_RANB, 1, 5), range(Z_RANN, 3, 9), "RANH(LITN 3,LITN 5)"},
        {range(Z_RANN, 3, 9), range(Z_RANB, 1, 5), "RANH(LITN 3,LITN 5)"},
        {range(Z_RANL, 1, 3), range(Z_RANB, 3, 5), "-"},
        {range(Z_RANB, 1, 3), range(Z_RANB, 3, 5), "RANB(LITN 3,LITN 3)"},
        {range(Z_RANB, 1, 5), range(Z_RANN, 1, 5), "RANN(LITN 1,LITN 5)"},
        {range(Z_RANH, 1, 4), range(Z_RANL, 1, 4), "RANN(LITN 1,LITN 4)"},
        {range(Z_RANB, 1, 9), range(Z_RANL, 3, 5), "RANL(LITN 3,LITN 5)"},
        {range(Z_RANB, 1, 2), range(Z_RANB, 3, 4), "-"},
        {range(Z_RANB, missing(2), num(2)), range(Z_RANB, 0, 4), "RANB(LITN 0,LITN 2)"},
        {range(Z_RANB, chr("a"), chr("m")), range(Z_RANH, chr("f"), chr("z")),
         "RANH(LITC 'f',LITC 'm')"},
        // Only numeric first or character second ranges are intersected.
        {range(Z_RANB, chr("a"), chr("m")), range(Z_RANB, 1, 2), "-"},
        // Bounds are chosen strictly: a date never wins over a plain number, whose bound
        // (the second range's) is taken.
        {range(Z_RANB, num(1, 1), num(5, 1)), range(Z_RANB, 3, 9), "RANB(LITN 3,LITN 9)"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(render(IntersectRanges(inst_, jnl_, c.r1, c.r2)), c.expected)
            << render(c.r1) << " and " << render(c.r2);

    // The result hangs the inputs' bound nodes themselves.
    ZNode* r1 = range(Z_RANB, 1, 5);
    ZNode* r2 = range(Z_RANB, 3, 9);
    ZNode* r = IntersectRanges(inst_, jnl_, r1, r2);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->u.op.args[0], r2->u.op.args[0]);
    EXPECT_EQ(r->u.op.args[1], r1->u.op.args[1]);
}

TEST_F(Ranges, EveryComparisonAtEveryPositionOfTheConstant) {
    // k = 0 below, 1 at lo, 5 between, 9 at hi, 10 above; over [1,9] and over (1,9).
    const double ks[5] = {0, 1, 5, 9, 10};
    const int ops[5] = {Z_CNE, Z_CLT, Z_CLE, Z_CGT, Z_CGE};
    const char* closed[5][5] = {
        {"RANB(1,9)", "RANH(1,9)", "RANL(1,5) RANH(5,9)", "RANL(1,9)", "RANB(1,9)"},
        {"-", "-", "RANL(1,5)", "RANL(1,9)", "RANB(1,9)"},
        {"-", "1", "RANB(1,5)", "RANB(1,9)", "RANB(1,9)"},
        {"RANB(1,9)", "RANH(1,9)", "RANH(5,9)", "-", "-"},
        {"RANB(1,9)", "RANB(1,9)", "RANB(5,9)", "9", "-"},
    };
    const char* open[5][5] = {
        {"RANN(1,9)", "RANN(1,9)", "RANN(1,5) RANN(5,9)", "RANN(1,9)", "RANN(1,9)"},
        {"-", "-", "RANN(1,5)", "RANN(1,9)", "RANN(1,9)"},
        {"-", "-", "RANH(1,5)", "RANN(1,9)", "RANN(1,9)"},
        {"RANN(1,9)", "RANN(1,9)", "RANN(5,9)", "-", "-"},
        {"RANN(1,9)", "RANN(1,9)", "RANL(5,9)", "-", "-"},
    };
    // Short form: numbers without "LITN ", the second piece after a blank.
    auto brief = [](ZNode* first, ZNode* second) {
        std::string s = render(first) + (second ? " " + render(second) : "");
        for (size_t at; (at = s.find("LITN ")) != std::string::npos;) s.erase(at, 5);
        return s;
    };
    for (int type : {Z_RANB, Z_RANN}) {
        for (int o = 0; o < 5; ++o) {
            for (int p = 0; p < 5; ++p) {
                ZNode* r = range(type, 1, 9);
                ZNode* c = op(ops[o], {col("X"), num(ks[p])});
                ZNode* second = reinterpret_cast<ZNode*>(&second);  // must be overwritten
                ZNode* first = IntersectIneqWithRange(inst_, jnl_, c, r, &second);
                EXPECT_EQ(brief(first, second), (type == Z_RANB ? closed : open)[o][p])
                    << render(c) << " over " << render(r);
                EXPECT_NE(first, r) << "a copy of the range is a new node";
                EXPECT_EQ(r->type, type) << "the input range is left as it was";
            }
        }
    }

    // Pieces share the nodes they come from: k itself, and the range's bounds.
    ZNode* r = range(Z_RANB, 1, 9);
    ZNode* c = op(Z_CNE, {col("X"), num(5)});
    ZNode* second = nullptr;
    ZNode* first = IntersectIneqWithRange(inst_, jnl_, c, r, &second);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->u.op.args[0], r->u.op.args[0]);
    EXPECT_EQ(first->u.op.args[1], c->u.op.args[1]);
    EXPECT_EQ(second->u.op.args[0], c->u.op.args[1]);
    EXPECT_EQ(IntersectIneqWithRange(inst_, jnl_, op(Z_CGE, {col("X"), num(9)}), r, &second),
              r->u.op.args[1]);

    // A constant that does not compare with the bounds counts as below them.
    EXPECT_EQ(
        render(IntersectIneqWithRange(inst_, jnl_, op(Z_CNE, {col("X"), chr("a")}), r, &second)),
        "RANB(LITN 1,LITN 9)");
    EXPECT_EQ(IntersectIneqWithRange(inst_, jnl_, op(Z_CLT, {col("X"), chr("a")}), r, &second),
              nullptr);
}

TEST_F(Ranges, DifferenceLeavesUpToTwoPieces) {
    struct Case {
        int t2;
        double lo2, hi2;
        std::string expected;
    } const from_closed[] = {
        {Z_RANB, 3, 5, "RANL(LITN 1,LITN 3) | RANH(LITN 5,LITN 9)"},
        {Z_RANB, 1, 9, "- | -"},
        {Z_RANN, 1, 9, "LITN 9 | LITN 1"},
        {Z_RANB, 0, 12, "- | -"},
        {Z_RANB, 10, 12, "RANB(LITN 1,LITN 9) | -"},
        {Z_RANB, -3, 0, "RANB(LITN 1,LITN 9) | -"},
        {Z_RANB, 0, 1, "RANH(LITN 1,LITN 9) | -"},
        {Z_RANL, 0, 1, "RANB(LITN 1,LITN 9) | -"},
        {Z_RANB, 9, 12, "RANL(LITN 1,LITN 9) | -"},
        {Z_RANH, 9, 12, "RANB(LITN 1,LITN 9) | -"},
        {Z_RANB, 0, 5, "RANH(LITN 5,LITN 9) | -"},
        {Z_RANL, 0, 5, "RANB(LITN 5,LITN 9) | -"},
        {Z_RANB, 5, 12, "RANL(LITN 1,LITN 5) | -"},
        {Z_RANH, 5, 12, "RANB(LITN 1,LITN 5) | -"},
        {Z_RANL, 5, 9, "RANL(LITN 1,LITN 5) | LITN 9"},
        {Z_RANB, 1, 5, "RANH(LITN 5,LITN 9) | -"},
        {Z_RANH, 1, 5, "RANH(LITN 5,LITN 9) | LITN 1"},
    };
    for (const Case& c : from_closed) {
        ZNode* r1 = range(Z_RANB, 1, 9);
        ZNode* r2 = range(c.t2, c.lo2, c.hi2);
        ZNode* second = reinterpret_cast<ZNode*>(&second);
        ZNode* first = DifferRanges(inst_, jnl_, r1, r2, &second);
        EXPECT_EQ(pieces(first, second), c.expected) << render(r1) << " minus " << render(r2);
    }

    // Excluded ends of the first range stay excluded; points are its own bound nodes.
    ZNode* r1 = range(Z_RANL, 1, 9);
    ZNode* second = nullptr;
    EXPECT_EQ(DifferRanges(inst_, jnl_, r1, range(Z_RANH, 1, 9), &second), nullptr);
    EXPECT_EQ(second, r1->u.op.args[0]);
    ZNode* first = DifferRanges(inst_, jnl_, range(Z_RANH, 1, 9), range(Z_RANB, 0, 1), &second);
    EXPECT_EQ(pieces(first, second), "RANH(LITN 1,LITN 9) | -");
    first = DifferRanges(inst_, jnl_, range(Z_RANN, 1, 9), range(Z_RANB, 3, 5), &second);
    EXPECT_EQ(pieces(first, second), "RANN(LITN 1,LITN 3) | RANN(LITN 5,LITN 9)");

    // A one-point range touched at its point leaves nothing, not the empty [1, 1) or
    // (1, 1], which a set would still take for holding 1. The same for x <> 1 over it.
    for (const ZNode* r2 : {range(Z_RANB, 1, 5), range(Z_RANB, 0, 1)}) {
        first = DifferRanges(inst_, jnl_, range(Z_RANB, 1, 1), const_cast<ZNode*>(r2), &second);
        EXPECT_EQ(pieces(first, second), "- | -") << render(r2);
    }
    EXPECT_EQ(IntersectIneqWithRange(inst_, jnl_, op(Z_CNE, {col("X"), num(1)}),
                                     range(Z_RANB, 1, 1), &second),
              nullptr);
}

}  // namespace

// Merging under AND and OR: every cell of the merge tables is checked by what it means (the
// merged tree selects the same rows as the two comparisons it replaces, for values on, between
// and around the constants and for missing values), pairs that cannot merge stay apart, and
// constant operands are folded or kept as the node's kind of value requires.
#include <string>
#include <vector>

#include "tests/tran/tran_fixture.h"
#include "tests/tran/truth_model.h"

namespace {

using truthmodel::order;

class Merging : public trantest::TranTest {
  protected:
    ZNode* cmp(int type, ZNode* c, const char* column = "X") { return op(type, {col(column), c}); }
};

const char* const kOp[] = {"=", "<>", "<", "<=", ">", ">="};

TEST_F(Merging, TwoComparisonsOfOneColumnKeepTheirRows) {
    // Pairs of constants by rank (0 for a number) and value: equal, less, greater, missing.
    const int pairs[][4] = {{0, 3, 0, 3}, {0, 3, 0, 5}, {0, 5, 0, 3},
                            {2, 0, 0, 3}, {0, 3, 2, 0}, {3, 0, 2, 0}};
    std::vector<truthmodel::Row> rows;
    for (double x : {nqmissv_table[0], nqmissv_table[1], nqmissv_table[2], nqmissv_table[5], -7.0,
                     2.0, 3.0, 4.0, 5.0, 6.0})
        rows.push_back({{"X", x}});
    for (const bool is_and : {true, false}) {
        for (int op1 = Z_CEQ; op1 <= Z_CGE; ++op1) {
            for (int op2 = Z_CEQ; op2 <= Z_CGE; ++op2) {
                for (const auto& p : pairs) {
                    ZNode* a = cmp(op1, p[0] ? missing(p[0]) : num(p[1]));
                    ZNode* b = cmp(op2, p[2] ? missing(p[2]) : num(p[3]));
                    const double c1 = a->u.op.args[1]->u.litn.num;
                    const double c2 = b->u.op.args[1]->u.litn.num;
                    ZNode* tree = op(is_and ? Z_LAND : Z_LOR, {a, b});
                    const std::vector<bool> before = truthmodel::truth_table(tree, rows);
                    const std::string what = std::string("x ") + kOp[op1 - Z_CEQ] + " c1 " +
                                             (is_and ? "AND" : "OR") + " x " + kOp[op2 - Z_CEQ] +
                                             " c2, order " + std::to_string(order(c1, c2));
                    ZNode* after = transform(tree);
                    EXPECT_EQ(truthmodel::truth_table(after, rows), before)
                        << what << " became " << render(after);

                    // What stays apart: under AND a <> whose constant lies strictly inside the
                    // other's half-line; under OR an = whose constant lies strictly outside.
                    auto apart = [&](int t1, double k1, int t2, double k2) {
                        if (!zkind::is_ordering(t2) || order(k1, k2) == 2) return false;
                        const bool inside = order(k1, k2) & truthmodel::kMask[t2 - Z_CEQ];
                        return is_and ? t1 == Z_CNE && inside : t1 == Z_CEQ && !inside;
                    };
                    const bool merged = !apart(op1, c1, op2, c2) && !apart(op2, c2, op1, c1);
                    EXPECT_EQ(after->type != Z_LAND && after->type != Z_LOR, merged)
                        << what << " became " << render(after);
                }
            }
        }
    }
}

// A long OR of ranges of one column becomes one list, grown by a union per range: every
// range keeps its rows, in any order of the operands.
TEST_F(Merging, ALongOrOfRangesBecomesOneList) {
    const int n = 200;
    std::vector<truthmodel::Row> rows;
    for (int v = -1; v <= 4 * n + 1; ++v) rows.push_back({{"X", v / 2.0}});
    for (const int stride : {1, 7, 199}) {
        ZNode* tree = node(Z_LOR, -8);
        for (int k = 0; k < n; ++k) {
            const int i = (k * stride) % n;
            inst_->Set(inst_, tree, -1,
                       op(Z_LAND, {cmp(Z_CGT, num(2 * i)), cmp(Z_CLT, num(2 * i + 1))}));
        }
        const std::vector<bool> before = truthmodel::truth_table(tree, rows);
        ZNode* after = transform(tree);
        EXPECT_EQ(after->type, Z_IN) << render(after).substr(0, 200);
        EXPECT_EQ(truthmodel::truth_table(after, rows), before) << "stride " << stride;
    }
}

TEST_F(Merging, RewritesOfWholeNodes) {
    auto both = [&](int type, ZNode* a, ZNode* b) { return op(type, {a, b}); };
    auto x = [&](int type, double c) { return cmp(type, num(c)); };
    struct Case {
        ZNode* tree;
        const char* expected;
    } const cases[] = {
        {both(Z_LAND, x(Z_CEQ, 1), x(Z_CEQ, 2)), "LITN 0"},
        {both(Z_LAND, x(Z_CEQ, 1), x(Z_CGT, 0)), "CEQ(NAME X,LITN 1)"},
        {both(Z_LAND, x(Z_CLE, 5), x(Z_CGE, 5)), "CEQ(NAME X,LITN 5)"},
        {both(Z_LAND, x(Z_CGT, 1), x(Z_CLE, 5)), "IN(NAME X,SET(RANH(LITN 1,LITN 5)))"},
        {both(Z_LAND, x(Z_CLE, 5), x(Z_CGE, 1)), "IN(NAME X,SET(RANB(LITN 1,LITN 5)))"},
        {both(Z_LAND, x(Z_CNE, 1), x(Z_CNE, 2)), "NIN(NAME X,SET(LITN 1,LITN 2))"},
        {both(Z_LAND, x(Z_CLE, 3), x(Z_CNE, 3)), "CLT(NAME X,LITN 3)"},
        {both(Z_LOR, x(Z_CEQ, 2), x(Z_CEQ, 1)), "IN(NAME X,SET(LITN 1,LITN 2))"},
        {both(Z_LOR, x(Z_CLT, 3), x(Z_CGT, 3)), "CNE(NAME X,LITN 3)"},
        {both(Z_LOR, x(Z_CLT, 1), x(Z_CGE, 5)), "NIN(NAME X,SET(RANL(LITN 1,LITN 5)))"},
        {both(Z_LOR, x(Z_CEQ, 1), x(Z_CLE, 4)), "CLE(NAME X,LITN 4)"},
        // Only constants of one kind merge, and only on one column.
        {both(Z_LOR, cmp(Z_CEQ, chr("A")), x(Z_CEQ, 1)),
         "LOR(CEQ(NAME X,LITC 'A'),CEQ(NAME X,LITN 1))"},
        {both(Z_LOR, cmp(Z_CEQ, num(5, 1)), x(Z_CEQ, 6)),
         "LOR(CEQ(NAME X,LITN 5),CEQ(NAME X,LITN 6))"},
        {both(Z_LAND, x(Z_CEQ, 1), cmp(Z_CEQ, num(2), "Y")),
         "LAND(CEQ(NAME X,LITN 1),CEQ(NAME Y,LITN 2))"},
        {both(Z_LAND, cmp(Z_CEQ, col("Y")), x(Z_CEQ, 1)),
         "LAND(CEQ(NAME X,NAME Y),CEQ(NAME X,LITN 1))"},
        // Duplicates are found by the constant side alone, blank-padded.
        {both(Z_LAND, op(Z_CONT, {col("S", 8), chr("A ")}), op(Z_CONT, {col("S", 8), chr("A")})),
         "CONT(NAME S,LITC 'A ')"},
        {both(Z_LOR, op(Z_BETW, {col("X"), num(1), col("Y")}),
              op(Z_BETW, {col("X"), num(1), col("Z")})),
         "BETW(NAME X,LITN 1,NAME Y)"},
        // Constant operands.
        {both(Z_LAND, x(Z_CGT, 1), num(0)), "LITN 0"},
        {both(Z_LOR, x(Z_CGT, 1), chr("x")), "LITN 1"},
        {both(Z_LAND, num(1), x(Z_CGT, 1)), "CGT(NAME X,LITN 1)"},
        {both(Z_LAND, col("X"), num(7)), "LAND(NAME X,LITN 7)"},
        {op(Z_LAND, {col("X"), col("Y"), num(7)}), "LAND(NAME X,NAME Y)"},
        {both(Z_LOR, chr("  "), x(Z_CLT, 1)), "CLT(NAME X,LITN 1)"},
        {both(Z_LAND, node(Z_NULL), x(Z_CLT, 1)), "CLT(NAME X,LITN 1)"},
        {both(Z_LOR, node(Z_NULL), x(Z_CLT, 1)), "CLT(NAME X,LITN 1)"},
        {op(Z_LOR, {col("X")}), "NAME X"},
        {op(Z_LAND, {num(1)}), "LAND()"},
    };
    for (const Case& c : cases) {
        const std::string before = render(c.tree);
        EXPECT_EQ(render(transform(c.tree)), c.expected) << before;
    }
}

TEST_F(Merging, CharacterComparisonsAgainstTooLongConstants) {
    struct Case {
        int type;
        const char* constant;
        const char* expected;
    } const cases[] = {
        {Z_CEQ, "ABCD", "LITN 0"},
        {Z_CNE, "ABCD", "LITN 1"},
        {Z_CLT, "ABCD", "CLE(NAME X,LITC 'ABC')"},
        {Z_CGE, "ABCD", "CGT(NAME X,LITC 'ABC')"},
        {Z_CLE, "ABCD", "CLE(NAME X,LITC 'ABC')"},
        {Z_CGT, "ABCD", "CGT(NAME X,LITC 'ABC')"},
        {Z_CEQ, "ABC   ", "CEQ(NAME X,LITC 'ABC')"},
        {Z_CEQ, "AB", "CEQ(NAME X,LITC 'AB')"},
    };
    for (const Case& c : cases) {
        ZNode* tree = op(c.type, {col("X", 12, 12), chr(c.constant)});
        const int before = free_nodes();
        EXPECT_EQ(render(transform(tree)), c.expected) << c.constant;
        if (zkind::is_leaf(tree->type)) {
            EXPECT_EQ(free_nodes(), before + 2) << "column and constant";
        }
    }
}

}  // namespace

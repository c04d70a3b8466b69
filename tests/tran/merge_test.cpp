// Merging under AND and OR: every cell of the merge tables is checked by what it means (the
// merged tree selects the same rows as the two comparisons it replaces, for values on, between
// and around the constants and for missing values), the pairs that cannot merge are left
// alone, and the constant operands are folded or kept as the node's kind of value requires.
#include <string>
#include <vector>

#include "tests/tran/tran_fixture.h"
#include "tests/tran/truth_model.h"

namespace {

using truthmodel::order;
using truthmodel::Row;

class Merging : public trantest::TranTest {
  protected:
    ZNode* transform(ZNode* tree) {
        inst_->root = tree;
        ZORVTran(inst_, jnl_);
        return inst_->root;
    }

    ZNode* cmp(int type, ZNode* c, const char* column = "X") { return op(type, {col(column), c}); }

    ZNode* constant(double v) {
        return v == kMiss ? missing(2) : v == kMissA ? missing(3) : num(v);
    }

    // Stand-ins for the missing values in the tables below.
    static constexpr double kMiss = -1000, kMissA = -1001;
};

const char* const kOp[] = {"=", "<>", "<", "<=", ">", ">="};

TEST_F(Merging, TwoComparisonsOfOneColumnKeepTheirRows) {
    const double pairs[][2] = {{3, 3}, {3, 5}, {5, 3}, {kMiss, 3}, {3, kMiss}, {kMissA, kMiss}};
    std::vector<Row> rows;
    for (double x : {nqmissv_table[0], nqmissv_table[1], nqmissv_table[2], nqmissv_table[5], -7.0,
                     2.0, 3.0, 4.0, 5.0, 6.0})
        rows.push_back({{"X", x}});
    for (const bool is_and : {true, false}) {
        for (int op1 = Z_CEQ; op1 <= Z_CGE; ++op1) {
            for (int op2 = Z_CEQ; op2 <= Z_CGE; ++op2) {
                for (const auto& p : pairs) {
                    ZNode* a = cmp(op1, constant(p[0]));
                    ZNode* b = cmp(op2, constant(p[1]));
                    const double c1 = a->u.op.args[1]->u.litn.num;
                    const double c2 = b->u.op.args[1]->u.litn.num;
                    ZNode* tree = op(is_and ? Z_LAND : Z_LOR, {a, b});
                    const std::vector<bool> before = truthmodel::truth_table(tree, rows);
                    const std::string what = std::string("x ") + kOp[op1 - Z_CEQ] + " c1 " +
                                             (is_and ? "AND" : "OR") + " x " + kOp[op2 - Z_CEQ] +
                                             " c2, c1 " + std::to_string(order(c1, c2)) + " c2";
                    ZNode* after = transform(tree);
                    EXPECT_EQ(truthmodel::truth_table(after, rows), before)
                        << what << " became " << render(after);

                    // Which pairs stay apart: under AND a <> whose constant lies strictly inside
                    // the other's half-line; under OR an = whose constant lies strictly outside.
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

TEST_F(Merging, ShapesOfMergedComparisons) {
    struct Case {
        bool is_and;
        int op1;
        double c1;
        int op2;
        double c2;
        const char* expected;
    } const cases[] = {
        {true, Z_CEQ, 1, Z_CEQ, 2, "LITN 0"},
        {true, Z_CEQ, 1, Z_CGT, 0, "CEQ(NAME X,LITN 1)"},
        {true, Z_CEQ, 1, Z_CLT, 0, "LITN 0"},
        {true, Z_CLT, 5, Z_CLT, 3, "CLT(NAME X,LITN 3)"},
        {true, Z_CGT, 1, Z_CGT, 3, "CGT(NAME X,LITN 3)"},
        {true, Z_CLE, 5, Z_CGE, 5, "CEQ(NAME X,LITN 5)"},
        {true, Z_CLT, 5, Z_CGT, 5, "LITN 0"},
        {true, Z_CGT, 1, Z_CLT, 5, "IN(NAME X,SET(RANN(LITN 1,LITN 5)))"},
        {true, Z_CGT, 1, Z_CLE, 5, "IN(NAME X,SET(RANH(LITN 1,LITN 5)))"},
        {true, Z_CLE, 5, Z_CGE, 1, "IN(NAME X,SET(RANB(LITN 1,LITN 5)))"},
        {true, Z_CNE, 1, Z_CNE, 2, "NIN(NAME X,SET(LITN 1,LITN 2))"},
        {true, Z_CLE, 3, Z_CNE, 3, "CLT(NAME X,LITN 3)"},
        {true, Z_CNE, 1, Z_CGE, 3, "CGE(NAME X,LITN 3)"},
        {true, Z_CNE, 7, Z_CGE, 3, "LAND(CNE(NAME X,LITN 7),CGE(NAME X,LITN 3))"},
        {false, Z_CEQ, 1, Z_CEQ, 2, "IN(NAME X,SET(LITN 1,LITN 2))"},
        {false, Z_CEQ, 1, Z_CNE, 1, "LITN 1"},
        {false, Z_CLT, 3, Z_CEQ, 3, "CLE(NAME X,LITN 3)"},
        {false, Z_CLT, 3, Z_CGT, 3, "CNE(NAME X,LITN 3)"},
        {false, Z_CLT, 1, Z_CGE, 5, "NIN(NAME X,SET(RANL(LITN 1,LITN 5)))"},
        {false, Z_CGT, 5, Z_CLT, 1, "NIN(NAME X,SET(RANB(LITN 1,LITN 5)))"},
        {false, Z_CEQ, 1, Z_CLE, 4, "CLE(NAME X,LITN 4)"},
        {false, Z_CGT, 1, Z_CGT, 4, "CGT(NAME X,LITN 1)"},
    };
    for (const Case& c : cases) {
        ZNode* tree = op(c.is_and ? Z_LAND : Z_LOR, {cmp(c.op1, num(c.c1)), cmp(c.op2, num(c.c2))});
        EXPECT_EQ(render(transform(tree)), c.expected)
            << kOp[c.op1 - Z_CEQ] << c.c1 << (c.is_and ? " AND " : " OR ") << kOp[c.op2 - Z_CEQ]
            << c.c2;
    }
}

TEST_F(Merging, OnlyComparableConstantsOfOneColumnMerge) {
    EXPECT_EQ(render(transform(op(Z_LOR, {cmp(Z_CEQ, chr("A")), cmp(Z_CEQ, num(1))}))),
              "LOR(CEQ(NAME X,LITC 'A'),CEQ(NAME X,LITN 1))");
    EXPECT_EQ(render(transform(op(Z_LOR, {cmp(Z_CEQ, num(5, 1)), cmp(Z_CEQ, num(6))}))),
              "LOR(CEQ(NAME X,LITN 5),CEQ(NAME X,LITN 6))");
    EXPECT_EQ(render(transform(op(Z_LAND, {cmp(Z_CEQ, num(1)), cmp(Z_CEQ, num(2), "Y")}))),
              "LAND(CEQ(NAME X,LITN 1),CEQ(NAME Y,LITN 2))");
    // A column on the constant side is no constant: x = y AND x = 1 keeps both.
    EXPECT_EQ(render(transform(op(Z_LAND, {op(Z_CEQ, {col("X"), col("Y")}), cmp(Z_CEQ, num(1))}))),
              "LAND(CEQ(NAME X,NAME Y),CEQ(NAME X,LITN 1))");
}

TEST_F(Merging, DuplicatesCompareOnlyTheConstantSide) {
    ZNode* s = col("S", 8, 8);
    EXPECT_EQ(render(transform(op(
                  Z_LAND, {op(Z_CONT, {s, chr("A ")}), op(Z_CONT, {col("S", 8, 8), chr("A")})}))),
              "CONT(NAME S,LITC 'A ')");
    EXPECT_EQ(render(transform(op(Z_LOR, {op(Z_BETW, {col("X"), num(1), col("Y")}),
                                          op(Z_BETW, {col("X"), num(1), col("Z")})}))),
              "BETW(NAME X,LITN 1,NAME Y)");
}

TEST_F(Merging, ConstantOperandsFoldOrStay) {
    struct Case {
        const char* what;
        ZNode* tree;
        const char* expected;
    } const cases[] = {
        {"false decides an AND", op(Z_LAND, {cmp(Z_CGT, num(1)), num(0)}), "LITN 0"},
        {"true decides an OR", op(Z_LOR, {cmp(Z_CGT, num(1)), chr("x")}), "LITN 1"},
        {"true beside a comparison goes", op(Z_LAND, {num(1), cmp(Z_CGT, num(1))}),
         "CGT(NAME X,LITN 1)"},
        {"7 beside a column stays", op(Z_LAND, {col("X"), num(7)}), "LAND(NAME X,LITN 7)"},
        {"7 beside two columns goes", op(Z_LAND, {col("X"), col("Y"), num(7)}),
         "LAND(NAME X,NAME Y)"},
        {"blank text under OR beside a predicate goes", op(Z_LOR, {chr("  "), cmp(Z_CLT, num(1))}),
         "CLT(NAME X,LITN 1)"},
        {"an empty operand is true under AND", op(Z_LAND, {node(Z_NULL), cmp(Z_CLT, num(1))}),
         "CLT(NAME X,LITN 1)"},
        {"an empty operand is false under OR", op(Z_LOR, {node(Z_NULL), cmp(Z_CLT, num(1))}),
         "CLT(NAME X,LITN 1)"},
        {"a lone operand takes the node's place", op(Z_LOR, {col("X")}), "NAME X"},
        {"a lone neutral truth constant leaves no operand", op(Z_LAND, {num(1)}), "LAND()"},
    };
    for (const Case& c : cases) EXPECT_EQ(render(transform(c.tree)), c.expected) << c.what;
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

// Many operands over a few columns go through the column index; the same call with the
// index's memory refused scans every pair. Both must give the same tree.
TEST_F(Merging, WideNodesMergeAsThePairwiseScanDoes) {
    auto build = [&](bool is_and) {
        // Constraints that never contradict (AND) or cover everything (OR), so that the
        // merges run through the whole list instead of stopping at a fixed value.
        const int and_types[] = {Z_CGT, Z_CLT, Z_CNE, Z_CGE, Z_CLE, Z_CNE};
        const int or_types[] = {Z_CEQ, Z_CLT, Z_CGT, Z_CEQ, Z_CLE, Z_CGE};
        const char* cols[] = {"A", "B", "C"};
        const int* types = is_and ? and_types : or_types;
        ZNode* n = node(is_and ? Z_LAND : Z_LOR, -8);
        for (int i = 0; i < 40; ++i) {
            const int type = types[i % 6];
            const bool upper = type == Z_CLT || type == Z_CLE;
            const bool lower = type == Z_CGT || type == Z_CGE;
            const double c = upper   ? (is_and ? 50 + i % 7 : i % 4)
                             : lower ? (is_and ? i % 5 : 60 + i % 7)
                                     : 10 + i;
            inst_->Set(inst_, n, -1, cmp(type, num(c), cols[(i / 2) % 3]));
        }
        inst_->Set(inst_, n, -1,
                   op(Z_IN, {col("B"), set({num(15), num(20), range(Z_RANB, 30, 45)})}));
        inst_->Set(inst_, n, -1, op(Z_NIN, {col("A"), set({num(12), num(70)})}));
        return n;
    };
    for (int is_and : {1, 0}) {
        ZNode* indexed = build(is_and);
        ZNode* scanned = build(is_and);
        const auto run = is_and ? do_and : do_or;
        EXPECT_EQ(run(indexed, inst_, jnl_), 1);
        zhost_fail_pool_allocation(inst_->pool, 1);
        EXPECT_EQ(run(scanned, inst_, jnl_), 1);
        zhost_fail_pool_allocation(inst_->pool, 0);
        EXPECT_EQ(render(indexed), render(scanned));
    }
}

}  // namespace

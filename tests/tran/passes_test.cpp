// The passes one by one: what pass 1 normalises, how NOT is pushed down, how nested AND/OR
// flatten (and in which order), one-constant lists, and the cost order of pass 3 with its
// weights.
#include <algorithm>
#include <string>
#include <vector>

#include "tests/tran/tran_fixture.h"

namespace {

class Passes : public trantest::TranTest {
  protected:
    std::string walk(ZNode* tree, PassFn pass) {
        posttrav(tree, pass, inst_, jnl_);
        return render(tree);
    }
    std::string transform(ZNode* tree) {
        inst_->root = tree;
        ZORVTran(inst_, jnl_);
        return render(inst_->root);
    }
    ZNode* cmp(int type, const char* column, double c) { return op(type, {col(column), num(c)}); }
    // A leaf whose pass-3 weight is w: a character constant of w characters.
    ZNode* weighing(int w) { return chr(std::string(static_cast<size_t>(w), 'w')); }
};

TEST_F(Passes, PassOneNormalisesOperands) {
    struct Case {
        const char* what;
        ZNode* tree;
        const char* expected;
    } const cases[] = {
        {"constant left of a column", op(Z_CLT, {num(5), col("X")}), "CGT(NAME X,LITN 5)"},
        {"expression left of a column", op(Z_CGE, {op(Z_AADD, {col("Y"), num(1)}), col("X")}),
         "CLE(NAME X,AADD(NAME Y,LITN 1))"},
        {"two constants stay", op(Z_CGT, {num(5), num(3)}), "CGT(LITN 5,LITN 3)"},
        {"pending NOT", op(Z_INOT, {col("X"), op(Z_IN, {set({num(1)})})}),
         "NIN(NAME X,SET(LITN 1))"},
        {"pending NOT of LIKE", op(Z_INOT, {col("S"), op(Z_LIKE, {chr("a%")})}),
         "NLKE(NAME S,LITC 'a%')"},
        {"minus a number", op(Z_ANEG, {num(5)}), "LITN -5"},
        {"minus zero", op(Z_ANEG, {num(0)}), "LITN -0"},
        {"minus a missing value", op(Z_ANEG, {missing(7)}), "LITN ."},
        {"minus minus", op(Z_ANEG, {op(Z_ANEG, {col("X")})}), "NAME X"},
        {"minus thrice", op(Z_ANEG, {op(Z_ANEG, {op(Z_ANEG, {col("X")})})}), "ANEG(NAME X)"},
        {"plus", op(Z_APOS, {col("X")}), "NAME X"},
        {"empty colon constant", op(Z_CTEQ, {col("S"), chr("")}), "CTEQ(NAME S,LITC ' ')"},
    };
    for (const Case& c : cases) EXPECT_EQ(walk(c.tree, pass1), c.expected) << c.what;

    ZNode* blank = op(Z_CTLT, {col("S"), chr("")});
    posttrav(blank, pass1, inst_, jnl_);
    EXPECT_EQ(blank->u.op.args[1]->vlen, 4);
    EXPECT_EQ(blank->u.op.args[1]->u.litc.str, blank->u.op.args[1]->u.litc.inl);
    ZNode* date = op(Z_ANEG, {num(3, 1)});
    posttrav(date, pass1, inst_, jnl_);
    EXPECT_EQ(date->u.litn.tag, 1u) << "the constant keeps its kind";
}

TEST_F(Passes, NegationsPushedDownAndOneConstantLists) {
    auto lnot = [&](ZNode* x) { return op(Z_LNOT, {x}); };
    struct Case {
        const char* what;
        ZNode* tree;
        const char* expected;
    } const cases[] = {
        {"De Morgan", lnot(op(Z_LOR, {cmp(Z_CEQ, "A", 1), cmp(Z_CLT, "B", 2)})),
         "LAND(CNE(NAME A,LITN 1),CGE(NAME B,LITN 2))"},
        {"three NOTs", lnot(lnot(lnot(col("X")))), "LNOT(NAME X)"},
        {"NOT of an AND left without operands (true)", lnot(node(Z_LAND, -8)), "LOR()"},
        {"NOT of an OR left without operands (false)", lnot(node(Z_LOR, -8)), "LAND()"},
        {"two NOTs over a column", lnot(lnot(col("X"))), "LNOT(LNOT(NAME X))"},
        {"two NOTs over a comparison", lnot(lnot(cmp(Z_CLT, "A", 1))), "CLT(NAME A,LITN 1)"},
        {"NOT IN", lnot(op(Z_IN, {col("X"), set({num(1), num(2)})})),
         "NIN(NAME X,SET(LITN 1,LITN 2))"},
        {"NOT LIKE", lnot(op(Z_LIKE, {col("S", 8), chr("a%")})), "NLKE(NAME S,LITC 'a%')"},
        {"NOT sounds-like", lnot(op(Z_SDX, {col("S", 8), chr("ab")})), "NSDX(NAME S,LITC 'ab')"},
        {"NOT of a colon comparison stays", lnot(op(Z_CTLT, {col("S", 8), chr("a")})),
         "LNOT(CTLT(NAME S,LITC 'a'))"},
        {"one constant", op(Z_NIN, {col("X"), set({num(1)})}), "CNE(NAME X,LITN 1)"},
        {"one text", op(Z_IN, {col("S", 8), set({chr("ab")})}), "CEQ(NAME S,LITC 'ab')"},
        {"one range stays a list", op(Z_IN, {col("X"), set({range(Z_RANB, 1, 3)})}),
         "IN(NAME X,SET(RANB(LITN 1,LITN 3)))"},
        {"one after merging", op(Z_IN, {col("X"), set({num(1), num(1)})}), "CEQ(NAME X,LITN 1)"},
    };
    for (const Case& c : cases) EXPECT_EQ(transform(c.tree), c.expected) << c.what;
}

TEST_F(Passes, FlatteningAppendsInnerOperandsAtTheEnd) {
    EXPECT_EQ(walk(op(Z_LAND, {op(Z_LAND, {col("A"), col("B")}), col("C")}), pass2b),
              "LAND(NAME A,NAME C,NAME B)");
    EXPECT_EQ(walk(op(Z_LAND, {op(Z_LAND, {col("A"), op(Z_LAND, {col("B"), col("C")})}), col("D")}),
                   pass2b),
              "LAND(NAME A,NAME D,NAME B,NAME C)");
    EXPECT_EQ(walk(op(Z_LOR, {col("A"), op(Z_LAND, {col("B"), col("C")})}), pass2b),
              "LOR(NAME A,LAND(NAME B,NAME C))");
    // An inner OR without operands (false) goes without a trace: an empty slot would read
    // as true.
    EXPECT_EQ(walk(op(Z_LOR, {col("A"), node(Z_LOR, -8), col("B")}), pass2b), "LOR(NAME A,NAME B)");

    // Two long lists: the inner one's operands past the first land after the outer ones,
    // across the overflow blocks of both.
    auto names = [&](const char* prefix, int n) {
        ZNode* list = node(Z_LOR, -8);
        for (int i = 0; i < n; ++i)
            inst_->Set(inst_, list, -1, col((prefix + std::to_string(i)).c_str()));
        return list;
    };
    ZNode* outer = names("O", 20);
    ZNode* inner = names("I", 20);
    inst_->Set(inst_, outer, 3, inner);
    inst_->Set(inst_, outer, 17, names("J", 2));
    std::vector<std::string> expected;
    for (int i = 0; i < 20; ++i)
        expected.push_back(i == 3 ? "NAME I0" : i == 17 ? "NAME J0" : "NAME O" + std::to_string(i));
    for (int i = 1; i < 20; ++i) expected.push_back("NAME I" + std::to_string(i));
    expected.push_back("NAME J1");
    std::string text = "LOR(";
    for (size_t i = 0; i < expected.size(); ++i) text += (i ? "," : "") + expected[i];
    EXPECT_EQ(walk(outer, pass2b), text + ")");
    EXPECT_EQ(outer->u.op.nargs, 40);
}

TEST_F(Passes, CostOrderAndWeights) {
    ZNode* list = numbers(1, 10);
    ZNode* in = op(Z_IN, {col("X"), list});
    ZNode* gt = cmp(Z_CGT, "Y", 1);
    ZNode* tree = op(Z_LAND, {in, gt});
    EXPECT_EQ(posttrav(tree, pass3, inst_, jnl_), 1);
    EXPECT_EQ(tree->u.op.args[0], gt);
    // X 2, ten numbers 2 each, the IN list once more per further element: 2 * 9 + 2 + 20.
    EXPECT_EQ(tree->weight, 40 + 4);
    for (ZNode* n : {in, gt, list, in->u.op.args[0], list->u.op.args[3], gt->u.op.args[1]})
        EXPECT_EQ(n->weight, 0);

    ZNode* huge = op(Z_IN, {col("X"), numbers(0, 20000)});
    posttrav(huge, pass3, inst_, jnl_);
    EXPECT_EQ(huge->weight, 32767);
    EXPECT_EQ(walk(op(Z_LOR, {col("S", 40), col("T", 4), node(Z_STAR)}), pass3),
              "LOR(NAME T,STAR,NAME S)");
}

// The order is a bubble sort of adjacent filled slots: equal weights keep their order and
// nothing crosses an empty slot. The sorted path and the slot-by-slot one (taken when the
// pool refuses scratch memory) must agree with that, also on a long list.
TEST_F(Passes, CostOrderIsStableAndStopsAtEmptySlots) {
    std::vector<int> longer;  // weights; -1 an empty slot
    for (int i = 0; i < 300; ++i) longer.push_back(i % 17 == 0 ? -1 : (i * 7919) % 5);
    for (const auto& ws : {std::vector<int>{3, 1, -1, 2, 0, 2, 2, 1, -1, -1, 5}, longer}) {
        // Expected: the original positions, each run between empty slots sorted stably.
        std::vector<int> at(ws.size());
        for (size_t i = 0; i < ws.size(); ++i) at[i] = static_cast<int>(i);
        for (auto lo = at.begin(); lo != at.end();) {
            auto hi = std::find_if(lo, at.end(), [&](int p) { return ws[p] < 0; });
            std::stable_sort(lo, hi, [&](int p, int q) { return ws[p] < ws[q]; });
            lo = hi == at.end() ? hi : hi + 1;
        }
        for (const bool refused : {false, true}) {
            ZNode* n = node(Z_LAND, -8);
            for (int w : ws) inst_->Set(inst_, n, -1, w < 0 ? nullptr : weighing(w));
            std::vector<ZNode*> before;
            for (ArgCursor c(n); !c.done(); c.next()) before.push_back(c.get());
            if (refused) zhost_fail_pool_allocation(inst_->pool, 1);
            EXPECT_EQ(posttrav(n, pass3, inst_, jnl_), 1);
            zhost_fail_pool_allocation(inst_->pool, 0);
            size_t i = 0;
            for (ArgCursor c(n); !c.done(); c.next(), ++i)
                EXPECT_EQ(c.get(), before[static_cast<size_t>(at[i])]) << i << " " << refused;
        }
    }
    EXPECT_EQ(posttrav(op(Z_LAND, {weighing(0), weighing(1), weighing(1)}), pass3, inst_, jnl_), 0);
}

}  // namespace

// The partner index skips only pairs that no rule would change: its table agrees with the
// rules for every kind of pair and relation of constants, and on random wide AND/OR nodes it
// gives exactly the tree that offering every pair in slot order gives.
#include "tran/partners.h"

#include <limits>
#include <random>
#include <string>

#include "tests/tran/tran_fixture.h"
#include "tran/merge.h"

namespace {

using tranmerge::Cond;

class Partners : public trantest::TranTest {
  protected:
    // An operand of the given kind on column X: IN/NIN over {v}, or a comparison with v.
    ZNode* operand(int kind, ZNode* v) {
        if (kind == Z_IN || kind == Z_NIN) return op(kind, {col("X"), set({v})});
        return op(kind, {col("X"), v});
    }
};

TEST_F(Partners, TheTableAgreesWithTheRules) {
    const int kinds[] = {Z_IN, Z_NIN, Z_CEQ, Z_CNE, Z_CLT, Z_CLE, Z_CGT, Z_CGE};
    for (const bool is_and : {true, false}) {
        for (int a_kind : kinds) {
            for (int b_kind : kinds) {
                // b's constant below, equal to and above a's (5), and of another kind.
                for (int rel = 0; rel < 4; ++rel) {
                    ZNode* bconst = rel == 3 ? chr("x") : num(3 + 2 * rel);
                    ZNode* node = op(is_and ? Z_LAND : Z_LOR,
                                     {operand(a_kind, num(5)), operand(b_kind, bconst)});
                    tranmerge::Merge m(node, inst_, jnl_);
                    const auto pair = is_and ? tranmerge::and_pair : tranmerge::or_pair;
                    const bool merged = pair(m, node->u.op.args[0], node->u.op.args[1]) !=
                                        tranmerge::Outcome::kNone;

                    const Cond c = tranmerge::partner_cond(is_and, a_kind, b_kind);
                    const bool sets =
                        a_kind == Z_IN || a_kind == Z_NIN || b_kind == Z_IN || b_kind == Z_NIN;
                    bool expected = c != Cond::kNever;
                    if (c != Cond::kNever && c != Cond::kAny && !sets) {
                        expected = rel != 3 &&
                                   (c == Cond::kSame || (c == Cond::kGe && rel >= 1) ||
                                    (c == Cond::kLe && rel <= 1) || (c == Cond::kEq && rel == 1));
                    }
                    EXPECT_EQ(merged, expected)
                        << (is_and ? "AND " : "OR ") << ztest::type_name(a_kind) << " 5, "
                        << ztest::type_name(b_kind) << " " << render(bconst);
                }
            }
        }
    }
}

class WideNodes : public trantest::TranTest {
  protected:
    // Constants mostly numbers from lo to hi, now and then a date or a text, which compare
    // with their own kind only.
    ZNode* constant(std::mt19937& rng, int lo, int hi) {
        const double v = lo + static_cast<double>(rng() % static_cast<unsigned>(hi - lo + 1));
        if (nans_ && rng() % 24 == 0) return num(std::numeric_limits<double>::quiet_NaN());
        switch (rng() % 16) {
            case 0:
                return num(v, 1);
            case 1:
                return chr(std::string(1, static_cast<char>('a' + v)));
            default:
                return num(v);
        }
    }

    // Operands chosen so that the node rarely folds to a constant: under AND bounds from
    // below stay below the bounds from above and lists keep a wide range, under OR the
    // other way round.
    ZNode* operand(std::mt19937& rng, bool is_and) {
        const char* cols[] = {"A", "B", "C"};
        const int which = static_cast<int>(rng() % 3);
        ZNode* x = col(cols[which]);
        if (symbols_) {  // the same column as a symbol leaf: its word says which
            x->type = Z_SYM;
            x->u.op.nargs = 1000 + which;
        }
        const int pick = static_cast<int>(rng() % 20);
        if (pick < 2) {
            ZNode* s = node(Z_SET, -8);
            const bool in = pick == 0;
            if (in == is_and) inst_->Set(inst_, s, -1, range(Z_RANB, 0, 9));
            for (int n = static_cast<int>(rng() % 3); n > 0; --n)
                inst_->Set(inst_, s, -1,
                           rng() % 4 ? num(static_cast<double>(rng() % 10)) : missing(2));
            if (s->u.op.nargs == 0) inst_->Set(inst_, s, -1, num(4));
            return op(in ? Z_IN : Z_NIN, {x, s});
        }
        if (pick == 2) return op(rng() % 2 ? Z_CONT : Z_LIKE, {x, constant(rng, 0, 2)});
        if (pick == 3) return op(Z_CEQ, {x, col("D")});  // against a column: merges with nothing
        if (pick == 4) return rng() % 2 ? num(is_and ? 7 : 0) : col("E");
        if (pick < 10) {
            // x <> c under AND, x = c under OR; a missing value now and then.
            ZNode* c = rng() % 10 ? constant(rng, 0, 9) : missing(2 + static_cast<int>(rng() % 2));
            return op(is_and ? Z_CNE : Z_CEQ, {x, c});
        }
        if (pick == 10 && rng() % 8 == 0)  // the kind that settles the node at once: rare
            return op(is_and ? Z_CEQ : Z_CNE, {x, constant(rng, 4, 5)});
        // Bounds are plain numbers: a list cut by a bound it cannot compare with is empty.
        const int type = Z_CLT + static_cast<int>(rng() % 4);
        const bool upper = type == Z_CLT || type == Z_CLE;
        return op(type, {x, num(static_cast<double>(rng() % 4 + (upper == is_and ? 6 : 0)))});
    }

    // Rounds of wide nodes, each merged through the index and by offering every pair (the
    // index cannot be had); the trees must agree. Returns how many nodes stayed open.
    int agree(int rounds) {
        int still_open = 0;
        for (int round = 0; round < rounds; ++round) {
            const bool is_and = round % 2 == 0;
            const int width = 16 + (round * 37) % 150;
            auto build = [&] {
                std::mt19937 rng(static_cast<unsigned>(round));
                ZNode* n = node(is_and ? Z_LAND : Z_LOR, -8);
                for (int i = 0; i < width; ++i) inst_->Set(inst_, n, -1, operand(rng, is_and));
                return n;
            };
            ZNode* indexed = build();
            ZNode* scanned = build();
            const std::string before = render(indexed);
            const auto run = is_and ? do_and : do_or;
            const int32_t a = run(indexed, inst_, jnl_);
            zhost_fail_pool_allocation(inst_->pool, 1);  // no index: every pair is offered
            const int32_t b = run(scanned, inst_, jnl_);
            zhost_fail_pool_allocation(inst_->pool, 0);
            EXPECT_EQ(render(indexed), render(scanned)) << "round " << round << ": " << before;
            EXPECT_EQ(a, b);
            if (indexed->type == (is_and ? Z_LAND : Z_LOR)) ++still_open;
            if (render(indexed) != before) ++changed_;
        }
        return still_open;
    }

    bool nans_ = false;     // constants are now and then a NaN that is no missing value
    bool symbols_ = false;  // columns are SYM leaves rather than NAME leaves
    int changed_ = 0;       // rounds whose node the merges changed
};

TEST_F(WideNodes, MergeAsEveryPairInSlotOrder) {
    EXPECT_GT(agree(300), 150) << "most nodes must merge all the way, not fold at once";
}

// A NaN constant has no place in the order of its column's constants: the index then offers
// every pair of that column, and the trees are still those of the plain scan.
TEST_F(WideNodes, ColumnsWithANaNConstantMergeAsEveryPair) {
    nans_ = true;
    agree(60);
}

// Columns given as symbol leaves are grouped by their symbol word, as names are by name.
TEST_F(WideNodes, SymbolColumnsMergeAsEveryPair) {
    symbols_ = true;
    agree(60);
    EXPECT_GT(changed_, 50) << "the symbol columns' comparisons must merge";
}

}  // namespace

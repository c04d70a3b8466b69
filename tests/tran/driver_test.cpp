// The transformer as a whole: random numeric clauses keep exactly the rows they select and
// end in the promised normal form, with no node shared or left on the free list; a second
// instance's tree is joined under an AND; and wide clauses (long IN lists, thousands of
// comparisons under one AND) come out right.
#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "tests/tran/tran_fixture.h"
#include "tests/tran/truth_model.h"

namespace {

using truthmodel::Row;

class Driver : public trantest::TranTest {
  protected:
    ZNode* constant(std::mt19937& rng) {
        const int k = static_cast<int>(rng() % 6);
        return k == 5 ? missing(2) : num(1 + k * 0.75);
    }
    ZNode* column(std::mt19937& rng) { return col(rng() % 2 ? "X" : "Y"); }

    ZNode* clause(std::mt19937& rng, int depth) {
        const int k = static_cast<int>(rng() % (depth > 0 ? 11 : 5));
        switch (k) {
            case 0:
            case 1: {
                const int type = Z_CEQ + static_cast<int>(rng() % 6);
                if (rng() % 4 == 0) return op(type, {constant(rng), column(rng)});
                return op(type, {column(rng), constant(rng)});
            }
            case 2: {
                ZNode* s = node(Z_SET, -8);
                for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n) {
                    if (rng() % 3) {
                        inst_->Set(inst_, s, -1, constant(rng));
                    } else {
                        const double lo = 1 + static_cast<double>(rng() % 4);
                        inst_->Set(inst_, s, -1,
                                   range(Z_RANB + static_cast<int>(rng() % 4), lo,
                                         lo + 0.5 + static_cast<double>(rng() % 3)));
                    }
                }
                return op(rng() % 2 ? Z_IN : Z_NIN, {column(rng), s});
            }
            case 3:
                return op(rng() % 2 ? Z_BETW : Z_NBTW, {column(rng), constant(rng), constant(rng)});
            case 4:
                return op(Z_LNOT, {op(Z_CLT, {column(rng), constant(rng)})});
            case 5:
            case 6:
                return op(Z_LNOT, {clause(rng, depth - 1)});
            default: {
                ZNode* n = node(rng() % 2 ? Z_LAND : Z_LOR, -8);
                for (int i = 2 + static_cast<int>(rng() % 4); i > 0; --i)
                    inst_->Set(inst_, n, -1, clause(rng, depth - 1));
                return n;
            }
        }
    }

    // The promised normal form, in a tree that shares no node and holds none that the node
    // store has taken back.
    void expect_normal_form(const ZNode* n, const ZNode* root, std::set<const ZNode*>& seen) {
        if (seen.empty())
            for (const ZNode* f = inst_->nodefree; f; f = f->u.op.next) seen.insert(f);
        ASSERT_TRUE(n && seen.insert(n).second) << "missing, shared or released node";
        EXPECT_TRUE(n == root || n->weight == 0) << render(n);
        EXPECT_TRUE(n->type != Z_INOT && n->type != Z_APOS) << render(n);
        const ZNode* prev = nullptr;
        for (int i = 0; zkind::is_operator(n->type) && i < n->u.op.nargs; ++i) {
            const ZNode* a = truthmodel::operand(n, i);
            ASSERT_NE(a, nullptr) << render(n);
            const int t = a->type;
            EXPECT_FALSE((n->type == Z_LAND || n->type == Z_LOR) && t == n->type) << render(n);
            if (n->type == Z_LNOT) {
                EXPECT_FALSE(t == Z_LAND || t == Z_LOR || zkind::is_comparison(t) ||
                             zkind::is_is_group(t))
                    << render(n);
            }
            if ((n->type == Z_IN || n->type == Z_NIN) && i == 1) {
                EXPECT_FALSE(a->u.op.nargs == 1 && zkind::is_constant(a->u.op.args[0]->type));
            }
            if (n->type == Z_SET && prev) {
                EXPECT_EQ(NodeCompare(inst_, jnl_, const_cast<ZNode*>(a), const_cast<ZNode*>(prev)),
                          0)
                    << render(n);
            }
            expect_normal_form(a, root, seen);
            prev = a;
        }
    }
};

TEST_F(Driver, AnEmptyTreeStaysEmpty) {
    EXPECT_EQ(transform(nullptr), nullptr);
}

TEST_F(Driver, RandomNumericClausesKeepTheirRows) {
    std::vector<Row> rows;
    std::vector<double> values = {nqmissv_table[1], nqmissv_table[2], nqmissv_table[0]};
    for (int v = 0; v <= 10; ++v) values.push_back(0.5 + v * 0.375);
    for (double x : values)
        for (double y : values) rows.push_back({{"X", x}, {"Y", y}});
    std::mt19937 rng(1206);
    for (int round = 0; round < 1500; ++round) {
        ZNode* tree = clause(rng, 3);
        const std::string text = render(tree);
        const std::vector<bool> before = truthmodel::truth_table(tree, rows);
        ZNode* after = transform(tree);
        EXPECT_EQ(truthmodel::truth_table(after, rows), before)
            << text << "\nbecame " << render(after);
        std::set<const ZNode*> seen;
        expect_normal_form(after, after, seen);
        if (HasFailure()) break;
    }
}

TEST_F(Driver, AndJoinsACopyOfAnotherTree) {
    EXPECT_EQ(inst_->And, &ZORVAnd);
    ZInst* other = create();
    ASSERT_NE(other, nullptr);
    std::swap(inst_, other);  // build with the other instance's node store
    inst_->root = op(Z_LOR, {op(Z_CGT, {col("X"), num(5)}), col("Y")});
    std::swap(inst_, other);
    const std::string text = render(other->root);

    inst_->root = nullptr;
    EXPECT_EQ(ZORVAnd(inst_, other, jnl_), 0);
    EXPECT_EQ(render(inst_->root), text);
    EXPECT_NE(inst_->root, other->root);
    EXPECT_NE(inst_->root->u.op.args[0], other->root->u.op.args[0]);

    ZNode* first = inst_->root;
    ZORVAnd(inst_, other, jnl_);
    EXPECT_EQ(render(inst_->root), "LAND(" + text + "," + text + ")");
    EXPECT_EQ(inst_->root->u.op.args[0], first);
    EXPECT_EQ(render(other->root), text);
}

// The host reaches the tree through the ESC wrapper: it must wrap the joined tree, not the
// old root, which the next transformation dissolves into the new AND and frees.
TEST_F(Driver, AndKeepsTheWrapperAroundTheRoot) {
    ZInst* esc = create(ZORV_OPT_ESC);
    ASSERT_NE(esc, nullptr);
    const std::u32string mine = U"x > 1 and y < 2", theirs = U"z = 3";
    ASSERT_EQ(esc->Parse(esc, mine.data(), static_cast<int32_t>(mine.size()), jnl_), 0);
    ASSERT_EQ(inst_->Parse(inst_, theirs.data(), static_cast<int32_t>(theirs.size()), jnl_), 0);
    ASSERT_NE(esc->escroot, nullptr);
    EXPECT_EQ(ZORVAnd(esc, inst_, jnl_), 0);
    ZORVTran(esc, jnl_);
    EXPECT_EQ(esc->Root(esc), esc->escroot);
    EXPECT_EQ(esc->escroot->u.op.args[0], esc->root);
    EXPECT_EQ(render(esc->root), "LAND(CGT(NAME X,LITN 1),CEQ(NAME Z,LITN 3),CLT(NAME Y,LITN 2))");
}

// A joined tree evaluates with this instance's work area, so that area must hold the scratch
// values of the copied tree too, which here needs more than the old tree (four 288-byte
// upper-cased copies and their 1152-byte concatenation against one 576-byte concatenation).
// The ends of the values are what the clauses test, so a value cut short fails them.
constexpr int kWide = 72;
int32_t bind_wide(void*, ZNode* leaf, NQJournal*) {
    if (std::string_view(leaf->u.nm.name, static_cast<size_t>(leaf->u.nm.namelen)) != "W")
        return 99;
    leaf->vlen = 4 * kWide;
    leaf->u.nm.colw = 4 * kWide;
    leaf->u.nm.coloff = 0;
    return 0;
}

TEST_F(Driver, AndMakesRoomForTheScratchValuesOfTheJoinedTree) {
    std::u32string row(kWide, U' ');
    row.replace(0, 3, U"abc");
    row.replace(kWide - 3, 3, U"xyz");
    ZInst* other = create();
    ASSERT_NE(other, nullptr);
    auto prepare = [&](ZInst* inst, std::u32string_view text) {
        ASSERT_EQ(inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), jnl_), 0);
        ASSERT_EQ(inst->Resolve(inst, jnl_, bind_wide, nullptr), 0);
        EXPECT_EQ(inst->Eval(inst, row.data(), nullptr, nullptr), 1);
    };
    prepare(inst_, U"w || w contains 'xyzabc'");
    prepare(other, U"upcase(w) || upcase(w) || upcase(w) || upcase(w) contains 'XYZABC'");
    ASSERT_GT(other->worksize, inst_->worksize);

    EXPECT_EQ(ZORVAnd(inst_, other, jnl_), 0);
    EXPECT_GE(inst_->workcap, other->worksize);
    EXPECT_EQ(inst_->Eval(inst_, row.data(), nullptr, nullptr), 1);
    row[kWide - 1] = U'q';
    EXPECT_EQ(inst_->Eval(inst_, row.data(), nullptr, nullptr), 0);
}

// Wide clauses: they must come out right, and (this being the sanitizer or emulator build)
// in a few seconds at most. The list of the result must hold exactly `values`, ascending.
void expect_list(const ZNode* after, int type, const std::set<int>& values) {
    ASSERT_EQ(after->type, type) << ztest::render(after).substr(0, 200);
    ZNode* s = after->u.op.args[1];
    ASSERT_EQ(s->u.op.nargs, static_cast<int>(values.size()));
    auto v = values.begin();
    for (ArgCursor c(s); !c.done(); c.next(), ++v) ASSERT_EQ(c.get()->u.litn.num, *v);
}

TEST_F(Driver, ALongInListInRandomOrderWithDuplicates) {
    std::mt19937 rng(7);
    ZNode* list = node(Z_SET, -8);
    std::set<int> distinct;
    for (int i = 0; i < 100000; ++i) {
        const int v = static_cast<int>(rng() % 60000);
        distinct.insert(v);
        inst_->Set(inst_, list, -1, num(v));
    }
    expect_list(transform(op(Z_IN, {col("X"), list})), Z_IN, distinct);
}

TEST_F(Driver, ManyInequalitiesOfOneColumnGatherIntoOneList) {
    std::mt19937 rng(11);
    ZNode* all = node(Z_LAND, -8);
    std::set<int> distinct;
    for (int i = 0; i < 10000; ++i) {
        const int v = static_cast<int>(rng() % 8000);
        distinct.insert(v);
        inst_->Set(inst_, all, -1, op(Z_CNE, {col("X"), num(v)}));
    }
    expect_list(transform(all), Z_NIN, distinct);
}

TEST_F(Driver, ManyComparisonsOverManyColumns) {
    // 4000 comparisons on each of 50 columns, interleaved and shuffled: bounds from below
    // and above that narrow down to one range per column.
    constexpr int kColumns = 50, kEach = 4000;
    ZNode* all = node(Z_LAND, -8);
    for (int i = 0; i < kEach; ++i) {
        for (int c = 0; c < kColumns; ++c) {
            const std::string name = "C" + std::to_string(c);
            const int k = (i * 7919 + c) % kEach;  // every k once per column
            inst_->Set(
                inst_, all, -1,
                k % 2 ? op(Z_CGT, {col(name), num(k)}) : op(Z_CLE, {col(name), num(10000 - k)}));
        }
    }
    ZNode* after = transform(all);
    ASSERT_EQ(after->type, Z_LAND);
    ASSERT_EQ(after->u.op.nargs, kColumns);
    std::set<std::string> expected, got;
    for (int c = 0; c < kColumns; ++c)
        expected.insert("IN(NAME C" + std::to_string(c) + ",SET(RANH(LITN 3999,LITN 6002)))");
    for (ArgCursor a(after); !a.done(); a.next()) got.insert(render(a.get()));
    EXPECT_EQ(got, expected);
}

}  // namespace

// Set algebra: sets stay sorted, disjoint and untouching as elements are added; the
// intersections, union and difference give the right elements (copied or moved as
// promised) across overflow blocks; compaction and release of list blocks.
#include <algorithm>
#include <set>

#include "tests/tran/tran_fixture.h"

namespace {

class Sets : public trantest::TranTest {
  protected:
    // "LITN from,...,LITN from+count-1" as rendered inside a list.
    static std::string seq(int from, int count) {
        std::string s;
        for (int i = 0; i < count; ++i) s += (i ? ",LITN " : "LITN ") + std::to_string(from + i);
        return s;
    }
    std::set<ZNode*> free_list() {
        std::set<ZNode*> out;
        for (ZNode* n = inst_->nodefree; n != nullptr && out.insert(n).second; n = n->u.op.next) {
        }
        return out;
    }
    ZNode* nulls_at(ZNode* s, std::initializer_list<int> positions) {
        for (int i : positions) inst_->Set(inst_, s, i, nullptr);
        return s;
    }
};

TEST_F(Sets, AddingKeepsElementsSortedDisjointAndUntouching) {
    struct Case {
        ZNode *set, *x;
        std::string expected;  // raw slots: "-" is a slot emptied by the merge
    } const cases[] = {
        {set({range(Z_RANL, 1, 3), num(5)}), num(3), "SET(RANB(LITN 1,LITN 3),LITN 5)"},
        {set({range(Z_RANB, 1, 3), num(5)}), num(4), "SET(RANB(LITN 1,LITN 3),LITN 4,LITN 5)"},
        {set({num(4), num(5)}), num(4), "SET(LITN 4,LITN 5)"},
        {set({num(1), num(3)}), missing(2), "SET(LITN .,LITN 1,LITN 3)"},
        {set({num(1), num(3)}), num(9), "SET(LITN 1,LITN 3,LITN 9)"},
        {set({num(1), num(3)}), chr("a"), "SET(LITN 1,LITN 3,LITC 'a')"},
        {set({nullptr, num(3)}), num(2), "SET(-,LITN 2,LITN 3)"},
        {set({range(Z_RANL, 1, 3), range(Z_RANH, 5, 7)}), range(Z_RANB, 3, 5),
         "SET(-,-,RANB(LITN 1,LITN 7))"},
        {set({range(Z_RANN, 2, 3)}), range(Z_RANN, 1, 2),
         "SET(RANN(LITN 1,LITN 2),RANN(LITN 2,LITN 3))"},
        {set({range(Z_RANB, 2, 3)}), range(Z_RANL, 1, 2), "SET(-,RANB(LITN 1,LITN 3))"},
        {set({num(0), num(4), num(10)}), range(Z_RANB, 1, 9),
         "SET(LITN 0,-,RANB(LITN 1,LITN 9),LITN 10)"},
        {set({num(1)}), range(Z_RANN, 1, 9), "SET(-,RANL(LITN 1,LITN 9))"},
        {set({range(Z_RANB, 1, 2), range(Z_RANB, 5, 6)}), range(Z_RANH, 0, 5),
         "SET(-,-,RANH(LITN 0,LITN 6))"},
        // At equal ends, an end stays excluded only if both ranges exclude it.
        {set({range(Z_RANN, 1, 2)}), range(Z_RANB, 1, 3), "SET(-,RANB(LITN 1,LITN 3))"},
        {set({range(Z_RANL, 4, 6)}), range(Z_RANH, 5, 6), "SET(-,RANB(LITN 4,LITN 6))"},
        {set({range(Z_RANN, 4, 6)}), range(Z_RANN, 4, 6), "SET(-,RANN(LITN 4,LITN 6))"},
        // A point that closes the high end of one range joins it with the next.
        {set({range(Z_RANL, 1, 3), range(Z_RANH, 3, 5)}), num(3), "SET(-,-,RANB(LITN 1,LITN 5))"},
        {set({range(Z_RANN, 1, 3), range(Z_RANN, 3, 5)}), num(3), "SET(-,-,RANN(LITN 1,LITN 5))"},
        // Closing a low end takes the range below out and puts it back in place.
        {set({range(Z_RANB, 0, 1), range(Z_RANH, 3, 5)}), num(3),
         "SET(-,RANB(LITN 0,LITN 1),RANB(LITN 3,LITN 5))"},
        {set({}), op(Z_CEQ, {col("X"), num(1)}), "SET(CEQ(NAME X,LITN 1))"},
    };
    for (const Case& c : cases) {
        const std::string before = render(c.set);
        AddToSet(inst_, jnl_, c.set, c.x);
        EXPECT_EQ(render(c.set), c.expected) << "adding " << render(c.x) << " to " << before;
    }

    // The set holds a copy; the argument stays the caller's.
    ZNode* s = set({num(1)});
    ZNode* x = range(Z_RANB, 3, 4);
    AddToSet(inst_, jnl_, s, x);
    x->u.op.args[0]->u.litn.num = 99;
    EXPECT_EQ(render(s), "SET(LITN 1,RANB(LITN 3,LITN 4))");
    AddToSet(inst_, jnl_, s, nullptr);
    EXPECT_EQ(s->u.op.nargs, 2);
}

TEST_F(Sets, AddingAcrossOverflowBlocks) {
    // Points 0, 2, ..., 58 fill two blocks; 29 goes between 28 and 30, in a third block.
    ZNode* evens = set({});
    for (int i = 0; i < 30; ++i) inst_->Set(inst_, evens, -1, num(2 * i));
    AddToSet(inst_, jnl_, evens, num(29));
    std::string expected = "SET(";
    for (int i = 0; i < 30; ++i)
        expected += (i ? ",LITN " : "LITN ") + std::to_string(2 * i) + (i == 14 ? ",LITN 29" : "");
    EXPECT_EQ(render(evens), expected + ")");
    EXPECT_EQ(evens->u.op.nargs, 31);

    ZNode* s = numbers(10, 20);
    AddToSet(inst_, jnl_, s, range(Z_RANB, 1, 2));
    EXPECT_EQ(render(s), "SET(RANB(LITN 1,LITN 2)," + seq(10, 20) + ")");

    // A range over the tail releases the points it covers.
    ZNode* t = numbers(1, 20);
    std::set<ZNode*> covered;
    for (ArgCursor c(t); !c.done(); c.next())
        if (c.index() >= 4) covered.insert(c.get());
    AddToSet(inst_, jnl_, t, range(Z_RANB, 5, 25));
    std::string emptied;
    for (int i = 0; i < 16; ++i) emptied += ",-";
    EXPECT_EQ(render(t), "SET(" + seq(1, 4) + emptied + ",RANB(LITN 5,LITN 25))");
    // Released, so either still in the store or taken again for the stored copy.
    std::set<ZNode*> reused = free_list();
    ArgCursor last(t);
    while (last.index() < t->u.op.nargs - 1) last.next();
    reused.insert({last.get(), last.get()->u.op.args[0], last.get()->u.op.args[1]});
    for (ZNode* n : covered) EXPECT_EQ(reused.count(n), 1u) << "a covered point is not released";
}

// With the node store dry, a set that needs a new block for the element is left as it was
// and a set with room gets an empty slot: the element is lost, the set stays a set.
TEST_F(Sets, AddingWithTheNodeStoreDryLosesOnlyTheElement) {
    ZNode* full = numbers(10, Z_NODE_ARGS);
    ZNode* roomy = numbers(10, 3);
    ZNode* one = num(1);
    const std::string before = render(full);
    inst_->NewOp = [](ZInst*, int32_t) -> ZNode* { return nullptr; };
    AddToSet(inst_, jnl_, full, one);
    AddToSet(inst_, jnl_, roomy, one);
    inst_->NewOp = ZORVNewOp;
    EXPECT_EQ(render(full), before);
    EXPECT_EQ(render(roomy), "SET(-,LITN 10,LITN 11,LITN 12)");
}

TEST_F(Sets, ElementOfAnotherKindEndsTheProcess) {
    NQJournal* err = zhost_open_stream_journal(stdout, stderr);
    ZNode* s = set({num(1)});
    ZNode* x = op(Z_CEQ, {col("X"), num(1)});
    EXPECT_DEATH(AddToSet(inst_, err, s, x), "FATAL WHERE CLAUSE ERROR: add to set code = 260");
    zhost_close_journal(err);
}

TEST_F(Sets, MembershipSkipsEmptySlotsAndReadsRanges) {
    ZNode* s = set({nullptr, num(2), range(Z_RANL, 4, 6), nullptr, chr("x")});
    struct Case {
        ZNode* p;
        int in;
    } const cases[] = {{num(2), 1}, {num(4), 1},     {num(5.5), 1}, {num(6), 0},
                       {num(3), 0}, {chr("x  "), 1}, {chr("y"), 0}, {missing(2), 0}};
    for (const Case& c : cases) EXPECT_EQ(PointInSet(c.p, s), c.in) << render(c.p);
    EXPECT_EQ(PointInSet(num(18), numbers(0, 20)), 1);
}

TEST_F(Sets, IntersectionsGiveNewSetsOfCopies) {
    ZNode* a = set({num(1), range(Z_RANB, 3, 7)});
    ZNode* b = set({num(3), range(Z_RANB, 5, 9)});
    ZNode* r = IntersectSets(inst_, jnl_, a, b);
    EXPECT_EQ(render(r), "SET(LITN 3,RANB(LITN 5,LITN 7))");
    EXPECT_NE(r->u.op.args[0], b->u.op.args[0]);
    EXPECT_EQ(render(IntersectSets(inst_, jnl_, a, set({}))), "SET()");
    EXPECT_EQ(render(IntersectSets(inst_, jnl_, set({num(1), num(2), num(8)}),
                                   set({range(Z_RANB, 0, 5)}))),
              "SET(LITN 1,LITN 2)");

    struct Case {
        int type;
        ZNode* k;
        std::string expected;
    } const cases[] = {
        {Z_CLT, num(5), "SET(LITN 1,RANL(LITN 3,LITN 5))"},
        {Z_CNE, num(5), "SET(LITN 1,RANL(LITN 3,LITN 5),RANH(LITN 5,LITN 7),LITN 9)"},
        {Z_CGE, num(7), "SET(LITN 7,LITN 9)"},
        {Z_CLE, num(1), "SET(LITN 1)"},
        {Z_CGT, num(9), "SET()"},
        {Z_CEQ, num(5), "SET()"},
    };
    for (const Case& c : cases) {
        ZNode* s = set({num(1), range(Z_RANB, 3, 7), num(9)});
        ZNode* cmp = op(c.type, {col("X"), c.k});
        EXPECT_EQ(render(IntersectIneqWithSet(inst_, jnl_, cmp, s)), c.expected) << render(cmp);
        EXPECT_EQ(render(s), "SET(LITN 1,RANB(LITN 3,LITN 7),LITN 9)");
    }
}

TEST_F(Sets, UnionMovesElementsAndRelinksWholeBlocks) {
    struct Case {
        ZNode *s1, *s2;
        std::string expected;
    } const cases[] = {
        {set({num(1), num(2)}), set({num(3)}), "SET(LITN 1,LITN 2,LITN 3)"},
        {set({}), set({num(3), num(4)}), "SET(LITN 3,LITN 4)"},
        {set({num(1)}), set({}), "SET(LITN 1)"},
        // s2's first fifteen, then s1, then the rest of s2.
        {numbers(100, 2), numbers(0, 20),
         "SET(" + seq(0, 15) + "," + seq(100, 2) + "," + seq(15, 5) + ")"},
        {numbers(100, 2), numbers(0, 30),
         "SET(" + seq(15, 15) + "," + seq(100, 2) + "," + seq(0, 15) + ")"},
        {numbers(100, 17), numbers(0, 47),
         "SET(" + seq(0, 15) + "," + seq(30, 15) + "," + seq(15, 15) + "," + seq(100, 17) + "," +
             seq(45, 2) + ")"},
        {numbers(100, 15), numbers(0, 3), "SET(" + seq(100, 15) + "," + seq(0, 3) + ")"},
        // A compaction down to fifteen leaves an empty block linked: the rest goes there.
        {[&] {
             ZNode* s = nulls_at(numbers(100, 17), {0, 1});
             yowcln(s, inst_);
             return s;
         }(),
         numbers(0, 2), "SET(" + seq(102, 15) + "," + seq(0, 2) + ")"},
    };
    for (const Case& c : cases) {
        const int32_t total = c.s1->u.op.nargs + c.s2->u.op.nargs;
        std::set<ZNode*> elements;
        for (ZNode* s : {c.s1, c.s2})
            for (ArgCursor e(s); !e.done(); e.next()) elements.insert(e.get());
        ZNode* r = UnionSet(inst_, jnl_, c.s1, c.s2);
        EXPECT_EQ(render(r), c.expected);
        EXPECT_EQ(r->u.op.nargs, total);
        for (ArgCursor e(r); !e.done(); e.next())
            EXPECT_EQ(elements.count(e.get()), 1u) << "element " << e.index() << " is not moved";
        for (ZNode* s : {c.s1, c.s2}) EXPECT_EQ(render(s), "SET()");
        // The result is an ordinary list: appending continues at its end.
        inst_->Set(inst_, r, -1, num(999));
        EXPECT_EQ(render(r),
                  c.expected.substr(0, c.expected.size() - 1) + (total ? "," : "") + "LITN 999)");
    }
}

// A set grown by one union after another, each told where the last one left its last element,
// keeps the same elements in the same order as unions that find the end by walking.
TEST_F(Sets, UnionsToldTheirTailAgreeWithUnionsThatWalk) {
    ZNode* told = set({});
    ZNode* walked = set({});
    ZNode* last = nullptr;
    int from = 0;
    for (int step = 0; step < 60; ++step) {
        const int count = (step * 7) % 33;  // 0 .. 32: within a block, whole blocks, and more
        told = UnionSetTail(inst_, jnl_, told, numbers(from, count), &last);
        walked = UnionSet(inst_, jnl_, walked, numbers(from, count));
        from += count;
        ASSERT_EQ(render(told), render(walked)) << "step " << step;
        ZNode* holder = told;
        for (ArgCursor e(told); !e.done(); e.next()) holder = e.block();
        if (told->u.op.nargs > 0 && last != nullptr) {
            EXPECT_EQ(last, holder) << "step " << step << ": the last element's block";
        }
        if (step % 5 == 4 &&
            told->u.op.nargs >= 2) {  // a compaction may leave an emptied block linked at the end
            const int n = told->u.op.nargs;
            ZNode* s = nulls_at(told, {n - 1, n - 2});
            yowcln(s, inst_);
            walked = nulls_at(walked, {n - 1, n - 2});
            yowcln(walked, inst_);
            last = nullptr;  // a caller that changed the set no longer knows its end
        }
    }
    // Two full blocks and an emptied third one linked after them, united with nothing: the
    // last element is still in the second block.
    ZNode* s = nulls_at(numbers(0, 32), {30, 31});
    yowcln(s, inst_);
    last = s->u.op.next;
    ASSERT_NE(last->u.op.next, nullptr) << "the emptied block stays linked";
    ZNode* r = UnionSetTail(inst_, jnl_, s, set({}), &last);
    EXPECT_EQ(r->u.op.nargs, 30);
    EXPECT_EQ(last, r->u.op.next);
}

TEST_F(Sets, DifferenceCutsEveryElementOfTheSecondSet) {
    struct Case {
        ZNode *s1, *s2;
        std::string expected;
    } const cases[] = {
        {set({num(1), range(Z_RANB, 3, 7)}), set({num(5)}),
         "SET(LITN 1,RANL(LITN 3,LITN 5),RANH(LITN 5,LITN 7))"},
        {set({num(1), num(2), num(3)}), set({num(2)}), "SET(LITN 1,LITN 3)"},
        {set({range(Z_RANB, 1, 9)}), set({range(Z_RANB, 2, 3), num(5)}),
         "SET(RANL(LITN 1,LITN 2),RANN(LITN 3,LITN 5),RANH(LITN 5,LITN 9))"},
        {set({range(Z_RANB, 1, 9), num(20)}), set({range(Z_RANB, 0, 30)}), "SET()"},
    };
    for (const Case& c : cases) {
        const std::string s1 = render(c.s1);
        EXPECT_EQ(render(DifferSets(inst_, jnl_, c.s1, c.s2)), c.expected) << s1;
        EXPECT_EQ(render(c.s1), s1) << "the first set is left as it was";
    }
    ZNode* s1 = set({num(1), range(Z_RANB, 3, 7)});
    ZNode* r = DifferSets(inst_, jnl_, s1, set({}));
    EXPECT_NE(r, s1);
    EXPECT_EQ(r->type, Z_SET);
    EXPECT_EQ(r->u.op.args[1], s1->u.op.args[1]) << "with nothing to cut, elements are shared";
}

TEST_F(Sets, CompactionClosesGapsAndReleasesSpareBlocks) {
    ZNode* a = num(1);
    ZNode* b = num(2);
    ZNode* s = set({a, nullptr, b, nullptr});
    yowcln(s, inst_);
    EXPECT_EQ(render(s), "SET(LITN 1,LITN 2)");
    EXPECT_EQ(s->u.op.nargs, 2);

    ZNode* full = numbers(0, 20);
    const std::string text = render(full);
    yowcln(full, inst_);
    EXPECT_EQ(render(full), text);

    ZNode* land = nulls_at(op(Z_LAND, {col("A"), col("B"), col("C")}), {0});
    yowcln(land, inst_);
    EXPECT_EQ(render(land), "LAND(NAME B,NAME C)");

    struct Case {
        int count;
        std::initializer_list<int> nulls;
        int blocks_left;  // overflow blocks still linked
    } const cases[] = {{20, {0, 1, 2, 3, 4, 5}, 0},
                       {40, {3, 35}, 2},
                       {40, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, 1},
                       {20, {0, 19, 7, 8, 9}, 1}};
    for (const Case& c : cases) {
        ZNode* s = nulls_at(numbers(0, c.count), c.nulls);
        std::string expected = "SET(";
        int kept = 0;
        for (int i = 0; i < c.count; ++i)
            if (std::count(c.nulls.begin(), c.nulls.end(), i) == 0)
                expected += (kept++ ? ",LITN " : "LITN ") + std::to_string(i);
        std::set<ZNode*> blocks;
        for (ZNode* x = s->u.op.next; x != nullptr; x = x->u.op.next) blocks.insert(x);
        yowcln(s, inst_);
        EXPECT_EQ(render(s), expected + ")");
        EXPECT_EQ(s->u.op.nargs, kept);
        int left = 0;
        for (ZNode* x = s->u.op.next; x != nullptr; x = x->u.op.next, ++left) blocks.erase(x);
        EXPECT_EQ(left, c.blocks_left);
        const std::set<ZNode*> store = free_list();
        for (ZNode* x : blocks) EXPECT_EQ(store.count(x), 1u) << "a spare block is not released";
    }
}

TEST_F(Sets, FreeinterReleasesTheListNotItsOperands) {
    ZNode* s = numbers(0, 20);
    std::set<ZNode*> expected = {s, s->u.op.next};
    std::set<ZNode*> operands;
    for (ArgCursor c(s); !c.done(); c.next()) operands.insert(c.get());
    freeinter(inst_, jnl_, s);
    std::set<ZNode*> store = free_list();
    EXPECT_EQ(store, expected);
    freeinter(inst_, jnl_, nullptr);
    EXPECT_EQ(free_list(), expected);
}

}  // namespace

// ZORVResolve through the instance's slot: the name-binding callback's contract, and the
// evaluation work area sized to the scratch space the tree reserved, whatever the status.
#include <gtest/gtest.h>

#include "frame/evalwork.h"
#include "tests/resolve/resolve_fixture.h"

namespace {

using resolvetest::Resolver;

TEST_F(Resolver, EveryNameIsOfferedOnceLeftToRightDepthFirst) {
    ASSERT_EQ(parse("(n1 + n2) * n3 > s4 AND c5 LIKE w6 OR UPCASE(c7) = c8"), 0);
    EXPECT_EQ(resolve_slot(), 0);
    EXPECT_EQ(offered_, (std::vector<std::string>{"N1", "N2", "N3", "S4", "C5", "W6", "C7", "C8"}));
}

// The callback's own status ends the walk unchanged: names to its right are never offered.
TEST_F(Resolver, TheCallbacksStatusEndsTheWalk) {
    refuse_ = "BAD";
    for (int32_t status : {1, 5, 99, -7}) {
        refusal_ = status;
        offered_.clear();
        ASSERT_EQ(parse("n1 > 1 AND (bad = 2 OR n3 < 4) AND n4 = 1"), 0);
        EXPECT_EQ(resolve_slot(), status);
        EXPECT_EQ(offered_, (std::vector<std::string>{"N1", "BAD"}));
    }
}

// The work area is the reservation rounded up to 4096-byte steps. Without a reservation a
// size of one step or less is kept and a larger one dropped. A change of size gives the
// cached areas back.
TEST_F(Resolver, TheWorkAreaFollowsTheReservation) {
    struct Case {
        const char* clause;
        int32_t before, after;
        bool cache_kept;
        int32_t status;
    } const cases[] = {
        {"n = 1", 4096, 4096, true, 0},
        {"n = 1", 8192, 0, false, 0},
        {"c || 'abc' = w", 0, 4096, false, 0},                        // 52 bytes
        {"c || 'abc' = w", 4096, 4096, true, 0},                      // the same size again
        {"UPCASE(l) = c", 4096, 16384, false, 0},                     // 16000 bytes
        {"l || 'xxxxxxxxxxxxxxxxxxxxxxxxx' = c", 0, 8192, false, 0},  // 4100 bytes
        {"c || 'abc' = n", 0, 4096, false, ZORV_RESOLVE_MIXED},       // reserved, then failed
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.clause + std::string(" after ") + std::to_string(c.before));
        ASSERT_EQ(parse(c.clause), 0);
        inst_->workcap = c.before;
        EvalWorkFree(inst_, EvalWorkAlloc(inst_));  // one cached area
        EXPECT_EQ(resolve_slot(), c.status);
        EXPECT_EQ(inst_->workcap, c.after);
        EXPECT_EQ(inst_->workfree != 0, c.cache_kept);
        EvalWorkClear(inst_);
    }
}

}  // namespace

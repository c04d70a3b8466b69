// UPCASE: the argument cut to the call's declared length and upper-cased in the call's own
// region of the work area; an unbound call gives one blank.
#include <vector>

#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

// The value is read from a work area of the test's own, so that it can be looked at after
// the evaluation (ZORVEval's area goes back to the free stack, whose link is its first
// word).
TEST_F(EvalTest, UpcaseOfColumnValues) {
    const struct {
        const char32_t* text;  // G's value; G is declared 10 characters wide
        const char32_t* want;
        int truth;
    } cases[] = {
        {U"abc", U"ABC", 1},
        {U"   ", U"   ", 0},
        {U"", U"", 0},
        {U"a1 \U0001F600b\u00e9", U"A1 \U0001F600B\u00c9", 1},  // no mapping: unchanged
        {U"abcdefghijklmno", U"ABCDEFGHIJ", 1},                 // cut to the declared length
        {U"          x", U"          ", 0},
    };
    prepare("upcase(g)");
    std::vector<unsigned char> area(static_cast<size_t>(inst_->workcap), 0x7E);
    ASSERT_FALSE(area.empty());
    EvalCtx ctx{inst_, area.data()};
    for (const auto& c : cases) {
        const std::u32string text = c.text;
        Row row;
        row.g = reinterpret_cast<const NQWChar*>(text.data());
        row.gbytes = static_cast<int32_t>(4 * text.size());
        ZNode r{};
        EXPECT_EQ(eval_tree(&ctx, inst_->root, &row, &r), c.truth);
        ASSERT_EQ(r.type, Z_LITC);
        EXPECT_EQ(chars_of(r), c.want);
        if (r.u.litc.slen > 0) {
            EXPECT_EQ(reinterpret_cast<const unsigned char*>(r.u.litc.str),
                      area.data() + inst_->root->workoff);
        }
        EXPECT_EQ(text, c.text) << "the argument itself is not changed";
    }

    // Without a work area (scratch space never sized) the result's own buffer holds the
    // value, cut to its 48 bytes.
    const std::u32string text = U"abcdefghijklmnopq";
    Row row;
    row.g = reinterpret_cast<const NQWChar*>(text.data());
    row.gbytes = static_cast<int32_t>(4 * text.size());
    inst_->root->vlen = static_cast<int16_t>(row.gbytes);
    ctx.work = nullptr;
    ZNode r{};
    EXPECT_EQ(eval_tree(&ctx, inst_->root, &row, &r), 1);
    EXPECT_EQ(r.u.litc.str, r.u.litc.inl);
    EXPECT_EQ(chars_of(r), U"ABCDEFGHIJKL");
}

TEST_F(EvalTest, UnboundCallIsOneBlank) {
    ZNode* call = op(Z_FLST, {node(Z_FNAM, 0), col("C")}, 20);
    Row row;
    put(row.c, U"abc");
    ZNode r{};
    EXPECT_EQ(eval(row, &r, call), 0);
    ASSERT_EQ(r.type, Z_LITC);
    EXPECT_EQ(r.u.litc.str, r.u.litc.inl);
    EXPECT_EQ(chars_of(r), U" ");
    EXPECT_EQ(r.vlen, 4);
}

// Calls short of a part, which only a caller building trees makes: without its name leaf a
// call is one blank, as an unbound one is; a bound call without an argument is the empty
// value. Without a work area a value that fits the result's buffer is built there whole.
TEST_F(EvalTest, CallsShortOfAPartOrWithoutAWorkArea) {
    ZNode* bound = node(Z_FNAM, 0);
    bound->u.fn.fnum = 1;
    Row row;
    put(row.c, U"ab");
    ZNode r{};
    EXPECT_EQ(eval(row, &r, node(Z_FLST, 20)), 0);
    EXPECT_EQ(chars_of(r), U" ");
    EXPECT_EQ(eval(row, &r, op(Z_FLST, {bound}, 20)), 0);
    EXPECT_EQ(r.type, Z_LITC);
    EXPECT_EQ(r.u.litc.slen, 0);

    EvalCtx bare{inst_, nullptr};
    EXPECT_EQ(eval_tree(&bare, op(Z_FLST, {bound, col("C")}, 20), &row, &r), 1);
    EXPECT_EQ(r.u.litc.str, r.u.litc.inl);
    EXPECT_EQ(chars_of(r), U"AB   ");
}

}  // namespace
}  // namespace evaltest

// UPCASE: the argument cut to the call's declared length and upper-cased in the call's own
// region of the work area; an unbound call gives one blank.
#include <vector>

#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

class FuncTest : public EvalTest {
  protected:
    // Evaluates the prepared tree with a work area of the test's own, so that a value
    // left in it can be read after the evaluation.
    int run(const Row& row, ZNode* r) {
        area_.assign(static_cast<size_t>(inst_->workcap) + 64, 0x7E);
        EvalCtx ctx{inst_, inst_->workcap > 0 ? area_.data() : nullptr};
        return eval_tree(&ctx, inst_->root, &row, r);
    }
    std::vector<unsigned char> area_;
};

TEST_F(FuncTest, UpcaseOfColumnValues) {
    const struct {
        const char32_t* text;  // G's value
        const char32_t* want;
        int truth;
    } cases[] = {
        {U"abc", U"ABC", 1},
        {U"   ", U"   ", 0},
        {U"", U"", 0},
        {U"a1 \U0001F600b\u00e9", U"A1 \U0001F600B\u00c9", 1},  // no mapping: unchanged
        {U"abcdefghijklmno", U"ABCDEFGHIJ", 1},                 // cut to G's 10 characters
        {U"          x", U"          ", 0},
    };
    prepare("upcase(g)");
    ASSERT_GT(inst_->workcap, 0);
    for (const auto& c : cases) {
        const std::u32string text = c.text;
        Row row;
        row.g = reinterpret_cast<const NQWChar*>(text.data());
        row.gbytes = static_cast<int32_t>(4 * text.size());
        ZNode r{};
        EXPECT_EQ(run(row, &r), c.truth) << ztest::render(inst_->root);
        ASSERT_EQ(r.type, Z_LITC);
        EXPECT_EQ(chars_of(r), c.want);
        if (r.u.litc.slen > 0) {
            const auto* at = reinterpret_cast<const unsigned char*>(r.u.litc.str);
            EXPECT_EQ(at, area_.data() + inst_->root->workoff) << "in the call's region";
        }
        EXPECT_EQ(text, c.text) << "the argument itself is not changed";
    }
}

// Calls nested in comparisons, through ZORVEval with the instance's own work areas; two
// calls in one clause use separate regions.
TEST_F(FuncTest, UpcaseInsideClauses) {
    Row row;
    put(row.c, U"ab");
    put(row.w, U"Xy");
    EXPECT_EQ(truth("upcase(c) = 'AB'", row), 1);
    EXPECT_EQ(truth("upcase(c) = upcase(w)", row), 0);
    EXPECT_EQ(truth("upcase(c) < upcase(w)", row), 1);
    put(row.w, U"aB");
    EXPECT_EQ(truth("upcase(c) = upcase(w)", row), 1);
    EXPECT_EQ(truth("upcase(c) is null", row), 0);
}

TEST_F(FuncTest, UnboundCallIsOneBlank) {
    ZNode* call = op(Z_FLST, {node(Z_FNAM, 0), col("C")}, 20);
    Row row;
    put(row.c, U"abc");
    ZNode r;
    std::memset(&r, 0, sizeof r);
    EXPECT_EQ(eval(row, &r, call), 0);
    ASSERT_EQ(r.type, Z_LITC);
    EXPECT_EQ(r.u.litc.str, r.u.litc.inl);
    EXPECT_EQ(chars_of(r), U" ");
    EXPECT_EQ(r.vlen, 4);
}

// A bound call evaluated with no work area (a tree whose scratch space was never sized)
// is built in the result's own buffer, cut to its 48 bytes.
TEST_F(FuncTest, WithoutWorkAreaTheResultBufferHoldsTheValue) {
    prepare("upcase(g)");
    inst_->worksize = 0;
    inst_->workcap = 0;
    const std::u32string text = U"abcdefghijklmnopq";
    Row row;
    row.g = reinterpret_cast<const NQWChar*>(text.data());
    row.gbytes = static_cast<int32_t>(4 * text.size());
    inst_->root->vlen = static_cast<int16_t>(row.gbytes);
    ZNode r{};
    EXPECT_EQ(run(row, &r), 1);
    EXPECT_EQ(r.u.litc.str, r.u.litc.inl);
    EXPECT_EQ(chars_of(r), U"ABCDEFGHIJKL");
}

}  // namespace
}  // namespace evaltest

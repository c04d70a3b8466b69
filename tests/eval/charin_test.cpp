// The character IN searches on lists built by hand (ranges with excluded ends, elements of
// another kind) and on long lists reached through their index.
#include <string>

#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

class CharInTest : public EvalTest {
  protected:
    ZNode* lit(std::u32string_view s) {
        ZNode* n = inst_->NewOp(inst_, Z_LITC);
        auto* buf =
            static_cast<NQWChar*>(inst_->Alloc(inst_, 4 * static_cast<int32_t>(s.size()) + 4));
        std::copy(s.begin(), s.end(), buf);
        n->vlen = static_cast<int16_t>(4 * s.size());
        n->u.litc.str = buf;
        n->u.litc.slen = n->vlen;
        return n;
    }
    ZNode* list(int type, std::initializer_list<ZNode*> elements) {
        ZNode* s = inst_->NewOp(inst_, type);
        for (ZNode* e : elements) inst_->Set(inst_, s, -1, e);
        return s;
    }
    ZNode* range(int type, std::u32string_view lo, std::u32string_view hi) {
        return list(type, {lit(lo), lit(hi)});
    }
    int in(std::u32string_view x, ZNode* set, bool truncated = false) {
        EvalCtx ctx{inst_, nullptr};
        return truncated ? do_tinop(&ctx, lit(x), set, nullptr)
                         : do_cinop(&ctx, lit(x), set, nullptr);
    }
};

TEST_F(CharInTest, RangesWithExcludedEnds) {
    ZNode* set = list(Z_SET, {lit(U"B"), range(Z_RANN, U"D", U"F"), range(Z_RANL, U"H", U"J"),
                              range(Z_RANH, U"L", U"N"), range(Z_RANB, U"P", U"R"), lit(U"T")});
    // clang-format off
    const struct {
        std::u32string_view x;
        int in;
    } cases[] = {
        {U"A", 0}, {U"B", 1}, {U"B  ", 1}, {U"C", 0}, {U"D", 0}, {U"D ", 0}, {U"DA", 1}, {U"E", 1},
        {U"F", 0}, {U"H", 1}, {U"I", 1}, {U"J", 0}, {U"L", 0}, {U"M", 1}, {U"N", 1}, {U"N ", 1},
        {U"P", 1}, {U"R", 1}, {U"RA", 0}, {U"S", 0}, {U"T", 1}, {U"U", 0}, {U"", 0}, {U"\x01", 0},
    };
    // clang-format on
    for (const auto& k : cases)
        EXPECT_EQ(in(k.x, set), k.in) << std::string(k.x.begin(), k.x.end());
    EXPECT_EQ(in(U"B", list(Z_SET, {})), 0);
}

TEST_F(CharInTest, ElementsOfAnotherKind) {
    // The full search keeps its direction: D sends it down, the number keeps it going down.
    ZNode* odd = inst_->NewOp(inst_, Z_LITN);
    ZNode* set =
        list(Z_SET, {lit(U"A"), odd, lit(U"C"), lit(U"D"), lit(U"E"), lit(U"F"), lit(U"G")});
    EXPECT_EQ(in(U"A", set), 1);
    // The truncated search gives up at the first one it probes.
    set = list(Z_SET, {lit(U"AB"), lit(U"CD"), lit(U"EF"), range(Z_RANB, U"G", U"H")});
    EXPECT_EQ(in(U"C", set, true), 1);
    EXPECT_EQ(in(U"G", set, true), 0);
}

std::string key(int i) {  // K000 .. K999
    const std::string digits = std::to_string(i);
    return "K" + std::string(3 - digits.size(), '0') + digits;
}

TEST_F(CharInTest, LongListsThroughTheirIndex) {
    constexpr int kKeys = 300;
    std::string keys;
    for (int i = 0; i < kKeys; ++i) keys += (i ? ", '" : "'") + key(i) + "'";
    prepare("c in (" + keys + ")");
    ASSERT_EQ(inst_->root->type, Z_IN) << tree();
    ASSERT_TRUE(ListReader(inst_, inst_->root->u.op.args[1]).indexed());
    Row row;
    for (int i = 0; i < kKeys; ++i) {
        const std::string k = key(i);
        put(row.c, std::u32string(k.begin(), k.end()));
        ASSERT_EQ(eval(row), 1) << k;
    }
    for (std::u32string_view absent : {U"K", U"J999", U"K0005", U"K300", U"L", U"K15"}) {
        put(row.c, absent);
        EXPECT_EQ(eval(row), 0) << std::string(absent.begin(), absent.end());
    }

    prepare("g in : (" + keys + ")");
    ASSERT_EQ(inst_->root->type, Z_TIN) << tree();
    const struct {
        std::u32string_view g;
        int in;
    } prefixes[] = {{U"K", 1},   {U"K1", 1}, {U"K29", 1},    {U"K2999", 1}, {U"K3", 0},
                    {U"K30", 0}, {U"J", 0},  {U"K299 Z", 1}, {U"", 1},      {U"k1", 0}};
    for (const auto& p : prefixes) {
        const std::u32string g(p.g);
        row.g = reinterpret_cast<const NQWChar*>(g.data());
        row.gbytes = 4 * static_cast<int32_t>(g.size());
        EXPECT_EQ(eval(row), p.in) << std::string(p.g.begin(), p.g.end());
    }
}

}  // namespace
}  // namespace evaltest

// The line reader the tokenizer pulls the clause through: the whole clause as one string
// object, then the end of the input once that line comes back.
#include <string>

#include "frame/internal/internal_fixture.h"
#include "parse/parse.h"

namespace {

class GetLine : public frametest::Linked {
  protected:
    void SetUp() override {
        Linked::SetUp();
        inst_ = create();
        ASSERT_NE(inst_, nullptr);
    }
    int32_t getline() { return ZORVGetLine(&flag_, &line_, &inst_->prs); }

    ZInst* inst_ = nullptr;
    int32_t flag_ = 7;
    NQString* line_ = nullptr;
};

TEST_F(GetLine, NoPendingTextEndsTheInput) {
    inst_->prs.text = nullptr;
    EXPECT_EQ(getline(), 1);
    EXPECT_EQ(flag_, 7);
    EXPECT_EQ(line_, nullptr);
}

TEST_F(GetLine, ClauseIsOneLineThenTheEnd) {
    const std::u32string clause = U"a = 1 and b = 2";
    inst_->prs.text = clause.data();
    inst_->prs.textlen = 5;  // only the length given counts
    const long before = live();

    ASSERT_EQ(getline(), 0);
    EXPECT_EQ(flag_, 1);
    ASSERT_NE(line_, nullptr);
    EXPECT_EQ(std::u32string(line_->text, static_cast<size_t>(line_->length)), U"a = 1");
    EXPECT_EQ(live(), before + 1);

    flag_ = 7;
    EXPECT_EQ(getline(), 1);
    EXPECT_EQ(line_, nullptr);
    EXPECT_EQ(inst_->prs.text, nullptr);
    EXPECT_EQ(flag_, 7);
    EXPECT_EQ(live(), before);  // the string was released

    EXPECT_EQ(getline(), 1);  // and stays ended
}

TEST_F(GetLine, StringThatCannotBeMadeEndsTheInput) {
    const std::u32string clause = U"x = 1";
    inst_->prs.text = clause.data();
    inst_->prs.textlen = static_cast<int32_t>(clause.size());
    zhost_fail_creation(kernel_, ZHOST_CREATE_STRING, 1);
    EXPECT_EQ(getline(), 1);
    zhost_fail_creation(kernel_, ZHOST_CREATE_STRING, 0);
    EXPECT_EQ(flag_, 7);
    EXPECT_EQ(line_, nullptr);
}

// The engine would take the empty input for the empty clause and succeed: the parse fails
// instead, with no tree, and the next one reads its clause.
TEST_F(GetLine, ClauseThatCannotBeHandedOverFailsTheParse) {
    const std::u32string clause = U"x = 1";
    const auto parse = [&] {
        return inst_->Parse(inst_, clause.data(), static_cast<int32_t>(clause.size()), jnl_);
    };
    zhost_fail_creation(kernel_, ZHOST_CREATE_STRING, 1);
    EXPECT_EQ(parse(), 6);
    zhost_fail_creation(kernel_, ZHOST_CREATE_STRING, 0);
    EXPECT_EQ(inst_->Root(inst_), nullptr);
    ASSERT_EQ(parse(), 0);
    ASSERT_NE(inst_->Root(inst_), nullptr);
    EXPECT_EQ(inst_->Root(inst_)->type, Z_CEQ);
}

}  // namespace

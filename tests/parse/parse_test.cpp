// Whole clauses through the instance's Parse slot: our host's kernel, tokenizer and parse
// engine feed the semantic actions, and the trees, statuses and messages that come back.
#ifdef ZORV_TEST_HOST

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "tests/parse/clause_cases.h"
#include "tests/parse/sem_harness.h"
#include "zorv/host.h"

namespace {

class Parse : public ::testing::Test {
  protected:
    void SetUp() override {
        kernel_ = zhost_open_kernel(nullptr);
        ASSERT_NE(kernel_, nullptr);
        jnl_ = zhost_open_capture_journal();
        ASSERT_NE(jnl_, nullptr);
    }

    void TearDown() override {
        if (inst_) inst_->Destroy(inst_);
        if (ext_) ext_->RealDestroy(ext_);
        zhost_close_kernel(kernel_);
        zhost_close_journal(jnl_);
    }

    ZInst* instance(uintptr_t bits = 0) {
        ext_ = static_cast<ZExt*>(zorv(kernel_, jnl_));
        EXPECT_NE(ext_, nullptr);
        if (ext_ == nullptr) return nullptr;
        const uintptr_t options[2] = {bits, 0};
        inst_ = ext_->Create(ext_, options, jnl_, "parse test");
        EXPECT_NE(inst_, nullptr);
        return inst_;
    }

    int32_t parse(const std::string& clause) {
        text_ = widen(clause);
        zhost_journal_clear(jnl_);
        return inst_->Parse(inst_, text_.data(), static_cast<int32_t>(text_.size()), jnl_);
    }

    std::string tree() { return semtest::render(inst_, inst_->Root(inst_)); }

    std::vector<std::string> messages(int level) {
        std::vector<std::string> out;
        for (size_t i = 0; i < zhost_journal_count(jnl_); ++i)
            if (zhost_journal_level(jnl_, i) == level) out.push_back(zhost_journal_text(jnl_, i));
        return out;
    }

    static std::u32string widen(const std::string& s) {
        std::u32string out;
        for (size_t i = 0; i < s.size();) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            const int k = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            char32_t v = k == 1 ? c : c & (0x3F >> (k - 1));
            for (int j = 1; j < k; ++j)
                v = (v << 6) | (static_cast<unsigned char>(s[i + j]) & 0x3F);
            out += v;
            i += static_cast<size_t>(k);
        }
        return out;
    }

    NQKernel* kernel_ = nullptr;
    NQJournal* jnl_ = nullptr;
    ZExt* ext_ = nullptr;
    ZInst* inst_ = nullptr;
    std::u32string text_;
};

TEST_F(Parse, EveryClauseBuildsItsTree) {
    ASSERT_NE(instance(), nullptr);
    for (const semtest::ClauseCase& c : semtest::kClauseCases) {
        const int32_t st = parse(c.clause);
        if (c.tree == nullptr) {
            EXPECT_NE(st, 0) << c.clause;
            continue;
        }
        if (c.flagged) {
            EXPECT_EQ(st, NQ_STATUS_SEMANTIC) << c.clause;
        } else {
            ASSERT_EQ(st, 0) << c.clause << ": " << (messages(4).empty() ? "" : messages(4)[0]);
            EXPECT_TRUE(messages(NQ_LEVEL_ERROR).empty()) << c.clause;
        }
        EXPECT_EQ(tree(), c.tree) << c.clause;
        EXPECT_EQ(inst_->prs.stki, 0) << c.clause;
    }
}

// Names reach the node as upper-cased UTF-8 whether the host transcodes them or, when its
// NLS service needs no transcoder, the library encodes them itself.
TEST_F(Parse, NamesAreTheSameWithAndWithoutTranscoder) {
    const std::string clause = "straße = 1 AND größe_€ = 2";
    std::vector<std::string> trees;
    for (int needs : {1, 0}) {
        zhost_set_needs_transcoder(kernel_, needs);
        ASSERT_NE(instance(), nullptr);
        EXPECT_EQ((ext_->xcoder != nullptr), needs == 1);
        ASSERT_EQ(parse(clause), 0);
        trees.push_back(tree());
        inst_->Destroy(inst_);
        inst_ = nullptr;
        ext_->RealDestroy(ext_);
        ext_ = nullptr;
    }
    EXPECT_EQ(trees[0], "LAND(CEQ(NAME STRAßE,LITN 1),CEQ(NAME GRÖßE_€,LITN 2))");
    EXPECT_EQ(trees[1], trees[0]);
}

TEST_F(Parse, DecimalsConvertThroughTheLocale) {
    ASSERT_NE(instance(), nullptr);
    ASSERT_EQ(parse("x IN (1.5 0.0 2.5e2 .5)"), 0);
    EXPECT_EQ(tree(), "IN(NAME X,SET(LITN 1.5,LITN 0,LITN 250,LITN 0.5))");
}

TEST_F(Parse, SemanticTraceShowsEveryActionBeforeItActs) {
    ASSERT_NE(instance(ZORV_OPT_SEMTRACE), nullptr);
    ASSERT_EQ(parse("x = 1"), 0);
    const std::vector<std::string> trace = messages(NQ_LEVEL_TRACE);
    // The actions of: @SPECIAL(14) @INIT, the expression, @TERM @SPECIAL(114).
    ASSERT_GE(trace.size(), 6u);
    for (const std::string& m : trace) EXPECT_EQ(m.rfind("sem: @", 0), 0u) << m;
    EXPECT_EQ(trace.front().rfind("sem: @SPECIAL narg= 1 arg= 14 word=1,", 0), 0u);
    EXPECT_NE(trace.front().find(" 'x'"), std::string::npos) << trace.front();
    EXPECT_EQ(trace[1].rfind("sem: @INIT narg= 0 arg=  0 ", 0), 0u);
    EXPECT_EQ(trace.back().rfind("sem: @SPECIAL narg= 1 arg=114 ", 0), 0u);
    int pushes = 0;
    for (const std::string& m : trace)
        if (m.rfind("sem: @PUSH narg= 1 arg=  2 word=1,", 0) == 0) {
            ++pushes;
            EXPECT_NE(m.find(" '1'"), std::string::npos) << m;
        }
    EXPECT_EQ(pushes, 1);
}

TEST_F(Parse, NoTraceWithoutTheOption) {
    ASSERT_NE(instance(), nullptr);
    ASSERT_EQ(parse("x = 1"), 0);
    EXPECT_TRUE(messages(NQ_LEVEL_TRACE).empty());
}

TEST_F(Parse, ANameLongerThan32CharactersIsASemanticError) {
    ASSERT_NE(instance(), nullptr);
    EXPECT_EQ(parse(std::string(32, 'a') + " = 1"), 0);
    EXPECT_EQ(tree(), "CEQ(NAME " + std::string(32, 'A') + ",LITN 1)");
    EXPECT_EQ(parse(std::string(33, 'a') + " = 1"), NQ_STATUS_SEMANTIC);
}

// A clause that needs several arena blocks: its sixty strings take a node and a buffer
// each, about seven blocks in all. Refusing the n-th allocation of the instance's pool
// from the start of the parse ends the parse with the shortage and no tree, unless the
// refusal hits the clause's line itself, which just ends the input early.
TEST_F(Parse, ArenaExhaustionEndsTheParse) {
    ASSERT_NE(instance(), nullptr);
    std::string clause = "x IN (";
    for (int i = 0; i < 60; ++i) clause += "'a long string constant' ";
    clause += ")";
    ASSERT_EQ(parse(clause), 0);
    int shortages = 0;
    for (long n = 1; n <= 8; ++n) {
        zhost_fail_pool_allocation(inst_->pool, n);
        const int32_t st = parse(clause);
        zhost_fail_pool_allocation(inst_->pool, 0);
        if (st == 6) {
            ++shortages;
            EXPECT_EQ(inst_->Root(inst_), nullptr) << n;
        } else {
            EXPECT_EQ(st, 0) << n;
        }
    }
    EXPECT_GE(shortages, 6);
    ASSERT_EQ(parse(clause), 0) << "the instance parses again once memory is back";
    EXPECT_EQ(inst_->Root(inst_)->type, Z_IN);
}

}  // namespace

#endif

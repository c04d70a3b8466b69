// The parse driver's bound on tree depth: deep clauses are refused cleanly whatever their
// shape, a clause at the bound is accepted, resolved and printed, and wide clauses (long
// lists and runs) are not mistaken for deep ones. Also the stack each level of the
// resolver's and the printer's recursion takes, which the bound was chosen from.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>

#include "frame/nodeutil.h"
#include "tests/resolve/resolve_fixture.h"

namespace {

using resolvetest::Resolver;

const char kTooDeep[] = "clause nested too deeply: more than 4000 levels";
static_assert(ZORV_MAX_DEPTH == 4000, "kTooDeep spells the bound");

// first op term op term ... (terms in all), then tail.
std::string run(const std::string& first, const std::string& op, int terms,
                const std::string& tail = "") {
    std::string s = first;
    s.reserve(s.size() + (op.size() + first.size()) * static_cast<size_t>(terms) + tail.size());
    for (int i = 1; i < terms; ++i) s += op + first;
    return s + tail;
}

// Levels of the subtree, the root being level 1 (recursive: the trees here stay near the
// bound).
int depth(const ZNode* n) {
    if (!n) return 0;
    int deepest = 0;
    if (zkind::is_operator(n->type))
        for (ArgCursor c(const_cast<ZNode*>(n)); !c.done(); c.next())
            deepest = std::max(deepest, depth(c.get()));
    return deepest + 1;
}

class Depth : public Resolver {
  protected:
    void expect_refused(ZInst* inst, const std::string& clause) {
        zhost_journal_clear(jnl_);
        EXPECT_EQ(parse(clause, inst), ZORV_PARSE_TOO_DEEP);
        EXPECT_EQ(messages(NQ_LEVEL_ERROR), std::vector<std::string>{kTooDeep});
        EXPECT_EQ(inst->root, nullptr);
        EXPECT_EQ(inst->escroot, nullptr);
        EXPECT_EQ(inst->Root(inst), nullptr);
        ASSERT_EQ(parse("n = 1", inst), 0) << "the instance parses again";
        EXPECT_EQ(ztest::render(inst->root), "CEQ(NAME N,LITN 1)");
    }
};

// Long runs of a left-associative operator nest one level per term.
TEST_F(Depth, DeepClausesAreRefusedCleanly) {
    ZInst* wrapped = create(ZORV_OPT_ESC);
    ASSERT_NE(wrapped, nullptr);
    const int over = ZORV_MAX_DEPTH + 10;
    const std::string clauses[] = {
        run("n", " - ", over, " > 0"),
        run("n", "*", over, " > 0"),
        run("n", "/", over, " = 1"),
        run("c", " MIN ", over),
        run("c", " MAX ", over, " = w"),
        // Deep inside a wide AND, after many shallow operands.
        "n = 1 AND " + run("n = 1", " AND ", 1000) + " AND " + run("n", "+", over, " > 0"),
    };
    for (const std::string& clause : clauses) {
        SCOPED_TRACE(clause.substr(0, 40));
        expect_refused(inst_, clause);
        expect_refused(wrapped, clause);
    }
}

TEST_F(Depth, TwoHundredThousandTermsAreRefusedCleanly) {
    expect_refused(inst_, run("1", "+", 200000, " > 0"));
}

// Parenthesised nesting meets the parse engine's own limit long before the bound.
TEST_F(Depth, NestedParenthesesMeetTheEnginesLimit) {
    const int n = 100000;
    const std::string clauses[] = {
        std::string(n, '(') + "n" + std::string(n, ')') + " > 1",
        run("-(", "", n) + "n" + std::string(n, ')') + " > 1",
        run("NOT (", "", n) + "n" + std::string(n, ')'),
    };
    for (const std::string& clause : clauses) {
        SCOPED_TRACE(clause.substr(0, 20));
        EXPECT_EQ(parse(clause), NQ_STATUS_TOO_DEEP);
        EXPECT_EQ(inst_->root, nullptr);
    }
}

// Lists, runs of AND, OR, ** and ||, folded unary minuses and long chains are wide: they
// stay a few levels deep whatever their length.
class Wide : public Depth {
  protected:
    void expect_accepted(const std::string& clause, int levels) {
        SCOPED_TRACE(clause.substr(0, 40));
        ASSERT_EQ(parse(clause), 0);
        const int32_t status = resolve();
        EXPECT_TRUE(status == 0 || status == ZORV_RESOLVE_TOO_LONG) << status;
        EXPECT_EQ(depth(inst_->root), levels);
    }
};

TEST_F(Wide, AHundredThousandElementListIsAccepted) {
    std::string in = "n IN (";
    for (int i = 0; i < 100000; ++i) in += std::to_string(i) + ",";
    in.back() = ')';
    expect_accepted(in, 3);
}

TEST_F(Wide, TwoHundredThousandPredicatesUnderOneAndAreAccepted) {
    expect_accepted(run("n", "&", 200000), 2);
}

TEST_F(Wide, LongRunsAndChainsAreAccepted) {
    expect_accepted(run("n=1", "|", 20000), 3);
    expect_accepted(run("n", "**", 20000, " > 1"), 3);
    expect_accepted(run("c", "||", 20000, " = c"), 3);
    expect_accepted(run("-", " ", 100000, " n > 1"), 3);
    expect_accepted(run("n", " < ", 20000), 3);  // split: LAND, CLT, NAME
}

// A spy on the capture journal: notes the stack address of every message it passes on.
struct SpyJournal {
    NQJournal j;
    NQJournal* inner;
    std::vector<uintptr_t> frames;
};

NQStatus spy_format(NQJournal* j, const NQWChar* fmt, int32_t fmtlen, NQWChar* buf,
                    int32_t capacity, int32_t* written, va_list ap) {
    NQJournal* inner = reinterpret_cast<SpyJournal*>(j)->inner;
    return inner->FormatToBuf(inner, fmt, fmtlen, buf, capacity, written, ap);
}

NQStatus spy_message(NQJournal* j, int32_t level, const NQWChar* fmt, int32_t fmtlen, va_list ap) {
    auto* spy = reinterpret_cast<SpyJournal*>(j);
    spy->frames.push_back(reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
    return spy->inner->MessageToJnl(spy->inner, level, fmt, fmtlen, ap);
}

// Notes the stack address of each offered name and binds it numeric.
int32_t note_frame(void* ctx, ZNode* leaf, NQJournal*) {
    static_cast<std::vector<uintptr_t>*>(ctx)->push_back(
        reinterpret_cast<uintptr_t>(__builtin_frame_address(0)));
    leaf->vlen = -8;
    return 0;
}

// The deepest clause accepted: n + n + ... + n > 0, its first n at level ZORV_MAX_DEPTH.
// It resolves, and prints (the printer draws the first 25 levels and marks the cut). The
// stack the resolver takes per level is measured on it: over the bound it must stay far
// below the 8 MiB of a default thread stack, leaving room for evaluation.
TEST_F(Depth, AClauseAtTheBoundIsAcceptedResolvedAndPrinted) {
    const std::string clause = run("n", "+", ZORV_MAX_DEPTH - 1, " > 0");
    ASSERT_EQ(parse(clause), 0);
    EXPECT_EQ(depth(inst_->root), ZORV_MAX_DEPTH);

    std::vector<uintptr_t> frames;
    ASSERT_EQ(inst_->Resolve(inst_, jnl_, note_frame, &frames), 0);
    EXPECT_EQ(inst_->root->vlen, -8);
    ASSERT_EQ(frames.size(), static_cast<size_t>(ZORV_MAX_DEPTH - 1));
    // The first name is at the bottom, the last one at level 3.
    const uintptr_t per_level = (frames.back() - frames.front()) / (ZORV_MAX_DEPTH - 3);
    RecordProperty("resolve_bytes_per_level", static_cast<int>(per_level));
    EXPECT_LT(per_level * ZORV_MAX_DEPTH, 2u << 20);

    SpyJournal spy{*jnl_, jnl_, {}};
    spy.j.FormatToBuf = spy_format;
    spy.j.MessageToJnl = spy_message;
    zhost_journal_clear(jnl_);
    inst_->Print(inst_, &spy.j);
    const std::vector<std::string> lines = messages(NQ_LEVEL_PLAIN);
    ASSERT_GE(lines.size(), 27u);
    EXPECT_NE(lines.front().find("...overflow tree print..."), std::string::npos);
    EXPECT_NE(lines[lines.size() - 2].find("--CGT"), std::string::npos);
    // The first line is drawn 25 levels below the root's, which is the last line but one.
    const uintptr_t print_per_level = (spy.frames[spy.frames.size() - 2] - spy.frames[0]) / 25;
    RecordProperty("print_bytes_per_level", static_cast<int>(print_per_level));
    EXPECT_LT(print_per_level * ZORV_MAX_DEPTH, 2u << 20) << "even without its cut";

    // One level more, or the ESC wrapper around the same clause, passes the bound.
    expect_refused(inst_, "n + " + clause);
    ZInst* wrapped = create(ZORV_OPT_ESC);
    ASSERT_NE(wrapped, nullptr);
    expect_refused(wrapped, clause);
}

// A chained comparison counts two levels, for the AND that resolution makes of it, so the
// resolved tree stays within the bound too.
TEST_F(Depth, AChainCountsTheLevelItGainsInResolution) {
    const std::string deep = "(" + run("n", "+", ZORV_MAX_DEPTH - 2) + ")";
    ASSERT_EQ(parse(deep + " < 1 < 2"), 0);
    EXPECT_EQ(depth(inst_->root), ZORV_MAX_DEPTH - 1);
    ASSERT_EQ(resolve(), 0);
    EXPECT_EQ(inst_->root->type, Z_LAND);
    EXPECT_EQ(depth(inst_->root), ZORV_MAX_DEPTH);

    expect_refused(inst_, "(n + " + deep.substr(1) + " < 1 < 2");
    ASSERT_EQ(parse("(n + " + deep.substr(1) + " < 1"), 0) << "an unchained comparison";
}

}  // namespace

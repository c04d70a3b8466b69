// The life of a clause with one refusal in it, and the checks made at the end of each
// phase. See life.h.
#include "tests/faults/life.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "frame/frame.h"
#include "frame/nodekinds.h"
#include "tests/common/tree_text.h"
#include "tests/eval/eval_fixture.h"

namespace faults {
namespace {

// The clause the second instance holds, joined to every clause by ZORVAnd: a list that
// needs an overflow block and a list index, a character comparison and a folded call.
const char* const kSecond =
    "Z IN (17, 1, 16, 2, 15, 3, 14, 4, 13, 5, 12, 6, 11, 7, 10, 8, 9, 30) OR C = 'AB' OR "
    "W = UPCASE('abc')";

// The clause the reset instance must still answer, and its answer computed here.
const char* const kAgainClause = "X > 7 OR C = 'XYZ'";
bool again_answer(const evaltest::Row& row) {
    return row.x > 7 || std::u32string_view(row.c, 5) == U"XYZ  ";
}

// The rows every clause is evaluated over: numbers that meet the clauses' constants, a
// missing value, texts in both cases and blank ones.
const std::vector<evaltest::Row>& rows() {
    static const std::vector<evaltest::Row> table = [] {
        static const char32_t* const cs[] = {U"AB", U"ab", U"XYZ", U"xyz", U"", U"B", U"ABCDE"};
        static const char32_t* const ws[] = {U"ABC",       U"abc", U"a long tail of text",
                                             U"ABCABCABC", U"",    U"XYZAB"};
        std::vector<evaltest::Row> out;
        for (int i = 0; i < 20; ++i) {
            evaltest::Row r;
            r.x = i % 11 + (i % 4 == 3 ? 0.5 : 0);
            r.y = (i * 7) % 13;
            r.z = (i * 5) % 19 + 1;
            if (i == 6) r.x = evaltest::missing(2);
            if (i == 13) r.z = evaltest::missing(3);
            evaltest::put(r.c, cs[i % 7]);
            evaltest::put(r.w, ws[i % 6]);
            out.push_back(r);
        }
        return out;
    }();
    return table;
}

// The fixture's binding callback of the evaluator tests, made reachable.
struct Binder : evaltest::EvalTest {
    using evaltest::EvalTest::bind;
};

// A refusal by the instances' own slots: the n-th call from now answers null, and with
// `onward` every later call too.
struct SlotCountdown {
    long left = 0;
    bool onward = false;
    long fired = 0;
    bool tick() {
        if (left <= 0) return false;
        if (--left > 0) return false;
        if (onward) left = 1;
        ++fired;
        return true;
    }
};
SlotCountdown arena_refusal;
SlotCountdown node_refusal;

void* refusing_alloc(ZInst* inst, int32_t size) {
    return arena_refusal.tick() ? nullptr : ZORVAlloc(inst, size);
}
ZNode* refusing_newop(ZInst* inst, int32_t type) {
    return node_refusal.tick() ? nullptr : ZORVNewOp(inst, type);
}

std::u32string wide(const std::string& s) {
    return std::u32string(s.begin(), s.end());
}

int32_t parse(ZInst* inst, const std::string& text, NQJournal* jnl) {
    const std::u32string w = wide(text);
    return inst->Parse(inst, w.data(), static_cast<int32_t>(w.size()), jnl);
}

int32_t resolve(ZInst* inst, NQJournal* jnl) {
    return inst->Resolve(inst, jnl, &Binder::bind, nullptr);
}

// What is wrong with the instance's tree as memory, or "" when nothing is: a node of the
// tree (or an overflow block of one) that is also on the free list would be handed out
// again by the next NewOp while the tree still uses it; a list whose chain of blocks is
// shorter than its count would be read past its end; a free list that runs in a circle
// would hand out one node twice. ASan sees none of this: it is all inside arena blocks.
std::string unsound(ZInst* inst) {
    std::unordered_set<const ZNode*> free;
    for (const ZNode* n = inst->nodefree; n; n = n->u.op.next)
        if (!free.insert(n).second) return "the free list runs in a circle";
    std::unordered_set<const ZNode*> seen;
    std::vector<const ZNode*> todo;
    for (const ZNode* r : {inst->root, inst->escroot})
        if (r) todo.push_back(r);
    while (!todo.empty()) {
        const ZNode* n = todo.back();
        todo.pop_back();
        if (!seen.insert(n).second) continue;  // leaves may be shared (range bounds)
        if (free.count(n)) return "a node of the tree is on the free list: " + ztest::render(n);
        const bool operands =
            zkind::is_operator(n->type) || (n->type == Z_NULL && n->u.op.nargs > 0);
        if (!operands) continue;
        const ZNode* block = n;
        for (int32_t i = 0; i < n->u.op.nargs; ++i) {
            if (i > 0 && i % Z_NODE_ARGS == 0) {
                block = block->u.op.next;
                if (!block) return "a list is shorter than its count: " + ztest::render(n);
                if (free.count(block)) return "an overflow block of the tree is free";
            }
            const ZNode* arg = block->u.op.args[i % Z_NODE_ARGS];
            if (n->type == Z_ESC && i == 1) continue;  // the instance itself
            if (arg) todo.push_back(arg);
        }
    }
    return "";
}

// Work areas cached on the instance: they stay until it ends, and are counted as live.
long cached_areas(const ZInst* inst) {
    long n = 0;
    for (const void* p = reinterpret_cast<const void*>(inst->workfree); p;
         p = *static_cast<const void* const*>(p))
        ++n;
    return n;
}

}  // namespace

const char* phase_name(Phase p) {
    static const char* const names[] = {"entry",      "create", "parse", "resolve", "join",
                                        "evaluation", "reset",  "again", "end",     "nowhere"};
    return names[p];
}

std::string describe(const Refusal& r) {
    static const char* const creations[] = {"group",     "pool",       "lock",  "engine",
                                            "tokenizer", "transcoder", "string"};
    const std::string number =
        (r.onward ? " onward" : "") + (r.n > 0 ? " " + std::to_string(r.n) : std::string());
    switch (r.kind) {
        case Refusal::kPool:
            return "pool allocation" + number;
        case Refusal::kCreation:
            return std::string(creations[r.creation]) + " creation" + number;
        case Refusal::kArena:
            return "arena request" + number;
        case Refusal::kNode:
            return "node request" + number;
        default:
            return "nothing refused";
    }
}

const char* second_clause() {
    return kSecond;
}

Lives::Lives(NQKernel* kernel, NQJournal* jnl) : kernel_(kernel), jnl_(jnl) {
    other_ext_ = static_cast<ZExt*>(zorv(kernel_, jnl_));
    if (!other_ext_) {
        ADD_FAILURE() << "no extension record";
        return;
    }
    other_ = other_ext_->Create(other_ext_, nullptr, jnl_, nullptr);
    if (!other_) {
        ADD_FAILURE() << "no second instance";
        return;
    }
    EXPECT_EQ(parse(other_, kSecond, jnl_), 0);
    EXPECT_EQ(resolve(other_, jnl_), 0);
}

Lives::~Lives() {
    if (other_) other_->Destroy(other_);
    if (other_ext_) other_ext_->RealDestroy(other_ext_);
}

long Lives::injected() const {
    return zhost_injected_failures(kernel_) + arena_refusal.fired + node_refusal.fired;
}

Life Lives::live(const Clause& clause, const Refusal& refusal, const Life* ref) {
    Life life;
    const long base = zhost_live_count(kernel_);
    zhost_journal_clear(jnl_);
    arena_refusal = SlotCountdown{};
    node_refusal = SlotCountdown{};
    switch (refusal.kind) {
        case Refusal::kPool:
            zhost_fail_allocation(kernel_, refusal.n);
            break;
        case Refusal::kCreation:
            zhost_fail_creation(kernel_, refusal.creation, refusal.n);
            break;
        case Refusal::kArena:
            arena_refusal.left = refusal.n;
            arena_refusal.onward = refusal.onward;
            break;
        case Refusal::kNode:
            node_refusal.left = refusal.n;
            node_refusal.onward = refusal.onward;
            break;
        default:
            break;
    }

    long seen = injected();
    // Notes where the refusal came due; true when it did in this phase.
    auto came_due = [&](Phase p) {
        const long now = injected();
        const bool due = now != seen;
        seen = now;
        if (due && life.fired == kPhases) life.fired = p;
        return due;
    };
    // A phase reported a failure: legitimate only when the refusal came due in it.
    auto stop = [&](Phase p, bool due) {
        if (life.stopped == kPhases) life.stopped = p;
        EXPECT_TRUE(due) << phase_name(p) << " failed with nothing refused in it";
    };

    ZExt* ext = static_cast<ZExt*>(zorv(kernel_, jnl_));
    bool due = came_due(kEntry);
    ZInst* a = nullptr;
    ZInst* b = other_;
    if (!ext) {
        stop(kEntry, due);
    } else {
        const uintptr_t options[2] = {clause.options, 0};
        a = ext->Create(ext, options, jnl_, "faults");
        due = came_due(kCreate);
        if (a) {
            a->Alloc = refusing_alloc;
            a->NewOp = refusing_newop;
        } else {
            stop(kCreate, due);
        }
    }

    if (a && b) {
        const long before = zhost_live_count(kernel_);
        life.parse = parse(a, clause.text, jnl_);
        due = came_due(kParse);
        life.parsed = ztest::render(a->root);
        EXPECT_EQ(unsound(a), "") << "after the parse";
        if (ref && life.parse != ref->parse) {
            stop(kParse, due);
            EXPECT_NE(life.parse, 0) << "a refused parse must say so";
        } else if (ref && life.parse == 0) {
            EXPECT_EQ(life.parsed, ref->parsed) << "a parse that succeeded built another tree";
        }

        life.resolve = resolve(a, jnl_);
        due = came_due(kResolve);
        EXPECT_EQ(unsound(a), "") << "after the resolution";
        if (ref && life.parse == ref->parse && life.resolve != ref->resolve) {
            stop(kResolve, due);
            EXPECT_EQ(life.resolve, ZORV_RESOLVE_NO_MEMORY);
        }

        EXPECT_EQ(a->And(a, b, jnl_), 0);
        ZORVTran(a, jnl_);
        NQJournal* sink = zhost_open_capture_journal();
        a->Print(a, sink);
        EXPECT_GT(zhost_journal_count(sink), 0u);
        zhost_close_journal(sink);
        EXPECT_LE(a->TruthOf(a), 2);
        came_due(kJoin);
        EXPECT_EQ(unsound(a), "") << "after the join";
        EXPECT_EQ(unsound(b), "") << "the joined tree";
        life.transformed = ztest::render(a->root);
        life.changed = ref && life.transformed != ref->transformed;

        for (const evaltest::Row& row : rows()) {
            ZNode result;
            std::memset(&result, 0xA5, sizeof result);
            const int t = a->Eval(a, &row, &result, nullptr);
            if (came_due(kEval)) {
                // No work area: 0 at once, the result record untouched.
                EXPECT_GT(a->worksize, 0);
                EXPECT_EQ(t, 0);
                ZNode untouched;
                std::memset(&untouched, 0xA5, sizeof untouched);
                EXPECT_EQ(std::memcmp(&result, &untouched, sizeof result), 0);
                life.truths.push_back(-1);
            } else {
                EXPECT_TRUE(t == 0 || t == 1);
                life.truths.push_back(t);
            }
        }
        if (ref && life.stopped == kPhases && !life.changed) {
            EXPECT_EQ(life.truths.size(), ref->truths.size());
            for (size_t i = 0; i < life.truths.size() && i < ref->truths.size(); ++i) {
                if (life.truths[i] < 0) continue;
                EXPECT_EQ(life.truths[i], ref->truths[i]) << "row " << i;
            }
        }

        // The reset gives back all the clause took but the work areas the instance keeps.
        EXPECT_EQ(a->Reset(a), 0);
        came_due(kReset);
        EXPECT_EQ(zhost_live_count(kernel_), before + cached_areas(a)) << "memory kept by reset";
        EXPECT_EQ(a->root, nullptr);

        const int32_t again = parse(a, kAgainClause, jnl_);
        const int32_t again_bound = again == 0 ? resolve(a, jnl_) : again;
        std::vector<int> answers;
        for (const evaltest::Row& row : rows())
            answers.push_back(a->Eval(a, &row, nullptr, nullptr));
        due = came_due(kAgain);
        if (again != 0 || again_bound != 0) {
            stop(kAgain, due);
        } else if (!due) {
            for (size_t i = 0; i < answers.size(); ++i) {
                EXPECT_EQ(answers[i], again_answer(rows()[i]) ? 1 : 0) << "after reset, row " << i;
            }
        }
        a->Reset(a);
        EXPECT_EQ(zhost_live_count(kernel_), before + cached_areas(a)) << "memory kept by reset";
    }

    if (a) {
        EXPECT_EQ(a->Destroy(a), 0);
    }
    if (ext) {
        EXPECT_EQ(ext->RealDestroy(ext), 0);
    }
    came_due(kEnd);
    // Refusals are reported by statuses only: every error message is one the untouched life
    // writes too (the repair messages of a syntax error), never one of an inconsistency.
    for (size_t i = 0; i < zhost_journal_count(jnl_); ++i) {
        if (zhost_journal_level(jnl_, i) < NQ_LEVEL_ERROR) continue;
        const std::string text = zhost_journal_text(jnl_, i);
        if (ref && std::find(ref->errors.begin(), ref->errors.end(), text) == ref->errors.end())
            ADD_FAILURE() << "message of its own: " << text;
        life.errors.push_back(text);
    }
    EXPECT_EQ(zhost_live_count(kernel_), base) << "objects left behind";

    zhost_fail_allocation(kernel_, 0);
    for (int k = 0; k < ZHOST_CREATE_KINDS; ++k)
        zhost_fail_creation(kernel_, static_cast<ZHostCreation>(k), 0);
    arena_refusal.left = 0;
    node_refusal.left = 0;
    return life;
}

}  // namespace faults

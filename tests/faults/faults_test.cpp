// Every allocation and creation in the life of a clause refused in turn, the 1st, the 2nd,
// ... until a life runs untouched, over clauses that reach every part of the library: long
// IN lists (overflow blocks, set sorting, list indexes), merges into ranges and sets, NOT
// pushed down, chained comparisons, UPCASE, long concatenations (work areas), syntax errors
// repaired with messages, nesting deep enough to grow the parse stack, a text too long for
// an ordinary arena block. Every life must end with the documented failure or the untouched
// answer, give back everything it took, and leave the instance usable after a reset.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <string>

#include "tests/faults/life.h"
#include "tests/frame/frame_fixture.h"

namespace {

using faults::Clause;
using faults::Life;
using faults::Phase;
using faults::Refusal;

std::string numbers(int from, int to, int step) {
    std::string s;
    for (int v = from; step > 0 ? v <= to : v >= to; v += step) {
        if (!s.empty()) s += ", ";
        s += std::to_string(v);
    }
    return s;
}

std::string joined(const std::string& column, const char* op, const char* glue, int n) {
    std::string s;
    for (int v = 1; v <= n; ++v) {
        if (!s.empty()) s += glue;
        s += column + " " + op + " " + std::to_string(v);
    }
    return s;
}

std::string joined_down(const std::string& column, const char* op, const char* glue, int n) {
    std::string s;
    for (int v = n; v >= 1; --v) {
        if (!s.empty()) s += glue;
        s += column + " " + op + " " + std::to_string(v);
    }
    return s;
}

std::string repeated(const char* piece, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += piece;
    return s;
}

// Parentheses nested deeper than the parse stack's first 30 levels.
std::string nested(int depth) {
    std::string s = "X > 0";
    for (int d = 1; d <= depth; ++d)
        s = "(" + s + (d % 2 ? " OR Y = " : " AND Z <> ") + std::to_string(d % 13) + ")";
    return s;
}

const std::vector<Clause>& clauses() {
    static const std::vector<Clause> table = {
        {"merge into a range", "X > 5 AND X < 10 AND Y IN (1, 2, 3)", ZORV_OPT_ESC},
        {"long numeric list", "X IN (" + numbers(20, 1, -1) + ", 3, 20, 2.5)"},
        {"long character list",
         "C IN ('AB', 'ab', 'XYZ', 'a text longer than eleven', 'B', 'C', 'D', 'E', 'F', 'G', "
         "'H', 'I', 'J', 'K', 'L', 'M', 'ABCDEFG')"},
        {"NOT pushed down",
         "NOT (X = 1 OR Y < 2 OR Z IN (" + numbers(1, 17, 1) + ") OR NOT (X > 3 AND Y <> 4))"},
        {"chained comparisons", "1 < X <= Y < 10 AND 0 <= Z < X + 1 < 20"},
        {"UPCASE", "UPCASE(W) = 'ABC' OR UPCASE('xyz') = C OR UPCASE(C) IN ('AB', 'XYZ')"},
        {"long concatenation", "C || W || C || 'a long tail of text' = W || C || W OR W || W = C"},
        {"OR into a set", joined("X", "=", " OR ", 20) + " OR Y > 11", ZORV_OPT_ESC},
        {"OR into a set, downward", joined_down("X", "=", " OR ", 31)},
        {"AND of many", joined("X", "<>", " AND ", 18) + " AND Y >= 3 AND Y < 12"},
        {"BETWEEN, traced", "X BETWEEN 2 AND 9 AND NOT Y BETWEEN 3 AND 4 OR Z NOT BETWEEN 5 AND 5",
         ZORV_OPT_TOKTRACE | ZORV_OPT_SEMTRACE},
        {"deep nesting", nested(36)},
        {"long sum", "X" + repeated(" + 1", 70) + " > 75 OR Y = 2"},  // deeper than 64 levels
        {"syntax error", "X > AND Y IN (1, 2 OR Z = 3"},
        {"unknown function", "UPCASE(X) = 'A' OR Y > 2"},
        {"long text", "W = '" + std::string(600, 'q') + "' OR X = 3"},
        {"arithmetic and missing",
         "X + Y * 2 > Z - 1 AND -(-X) <> .A OR X IS MISSING OR -(5) = -Y"},
        {"empty", "   "},
        {"the joined clause", faults::second_clause()},
    };
    return table;
}

// The host's kernel and message target come from the frame tests' fixture, which also
// checks that nothing is left alive at the end.
class Faults : public frametest::Host {
  protected:
    // What a walk over one clause saw.
    struct Tally {
        long walked = 0;   // lives with the refusal come due
        long changed = 0;  // ... whose final tree silently differs from the untouched one
        long more = 0;     // ... and selects a row the untouched one rejects
        long fewer = 0;    // ... and rejects a row the untouched one selects
        long before = 0;   // lives whose refusal came due before the clause's parse
        std::array<long, faults::kPhases + 1> due{};      // lives by where the refusal came due
        std::array<long, faults::kPhases + 1> stopped{};  // ... by the phase that reported it
    };

    // Refuses the n-th event of the kind for n = from, from + 1, ... until a life runs
    // untouched or, when `to_the_end` is false, the refusal comes due after the clause's
    // evaluation.
    Tally walk(const Clause& clause, Refusal refusal, long from, bool to_the_end) {
        faults::Lives lives(kernel_, jnl_);
        const Life ref = lives.live(clause, Refusal{}, nullptr);
        EXPECT_EQ(ref.fired, faults::kPhases);
        Tally tally;
        for (refusal.n = from;; ++refusal.n) {
            SCOPED_TRACE(std::string(clause.label) + ": " + faults::describe(refusal));
            const Life life = lives.live(clause, refusal, &ref);
            if (life.fired == faults::kPhases) break;
            if (life.fired < faults::kParse) ++tally.before;
            if (!to_the_end && life.fired >= faults::kReset) break;
            ++tally.walked;
            ++tally.due[life.fired];
            ++tally.stopped[life.stopped];
            // Changed without a word: no phase up to the evaluation reported the refusal.
            const bool silent = life.stopped == faults::kPhases || life.stopped >= faults::kReset;
            if (silent && life.changed) {
                ++tally.changed;
                bool more = false, fewer = false;
                for (size_t r = 0; r < life.truths.size() && r < ref.truths.size(); ++r) {
                    more |= life.truths[r] == 1 && ref.truths[r] == 0;
                    fewer |= life.truths[r] == 0 && ref.truths[r] == 1;
                }
                tally.more += more;
                tally.fewer += fewer;
            }
            if (HasFailure()) break;  // one failing life says enough
        }
        return tally;
    }

    // Walks one kind of refusal over every clause. All lives begin alike (entry, instance)
    // and end alike (reset, the simple clause, destruction): the first clause's walk covers
    // those refusals; the others' start at their own parse and end once a refusal comes due
    // after their evaluation.
    void walk_all(Refusal kind) {
        long own = 1;  // the first event of a clause's own phases
        for (size_t i = 0; i < clauses().size() && !HasFailure(); ++i) {
            const Clause& c = clauses()[i];
            const Tally t = walk(c, kind, i == 0 ? 1 : own, i == 0);
            if (i == 0) own = t.before + 1;
            report(c, kind, t);
        }
    }

    void report(const Clause& clause, const Refusal& kind, const Tally& t) {
        if (t.walked == 0) return;
        auto phases = [](const std::array<long, faults::kPhases + 1>& count) {
            std::string out;
            for (int p = 0; p <= faults::kPhases; ++p)
                if (count[p])
                    out += std::string(" ") + faults::phase_name(static_cast<Phase>(p)) + " " +
                           std::to_string(count[p]);
            return out;
        };
        std::printf(
            "%-24s %-21s %4ld lives; due in%s; reported by%s; silently changed %ld "
            "(selecting more %ld, fewer %ld)\n",
            clause.label, faults::describe(kind).c_str(), t.walked, phases(t.due).c_str(),
            phases(t.stopped).c_str(), t.changed, t.more, t.fewer);
    }
};

TEST_F(Faults, EveryPoolAllocationRefused) {
    walk_all(Refusal{Refusal::kPool});
}

TEST_F(Faults, EveryCreationRefused) {
    for (int k = 0; k < ZHOST_CREATE_KINDS; ++k)
        walk_all(Refusal{Refusal::kCreation, static_cast<ZHostCreation>(k)});
}

TEST_F(Faults, EveryArenaRequestRefused) {
    walk_all(Refusal{Refusal::kArena});
}

TEST_F(Faults, EveryNodeRequestRefused) {
    walk_all(Refusal{Refusal::kNode});
}

TEST_F(Faults, ArenaRunsDry) {
    walk_all(Refusal{Refusal::kArena, ZHOST_CREATE_GROUP, true});
}

TEST_F(Faults, NodeStoreRunsDry) {
    walk_all(Refusal{Refusal::kNode, ZHOST_CREATE_GROUP, true});
}

}  // namespace

// The whole life of a clause on one kernel of our host runtime, with one allocation or
// creation refused somewhere in it: the entry, an instance, the clause parsed and resolved
// (and so transformed), the tree of a second instance joined to it, transformed again,
// printed and evaluated over a set of rows, the instance reset and used for a simple
// clause, and everything destroyed. Each
// phase is checked as it ends: a refusal may only show as the phase's documented failure
// (null, a non-zero status, an evaluation without a work area), and whatever a phase that
// did not report it built must be what the untouched life built.
#ifndef ZORV_TESTS_FAULTS_LIFE_H
#define ZORV_TESTS_FAULTS_LIFE_H

#include <string>
#include <vector>

#include "zorv/host.h"
#include "zorv/zorv.h"

namespace faults {

enum Phase : int {
    kEntry,   // zorv
    kCreate,  // ZORVCreate
    kParse,
    kResolve,  // binding, splitting, typing, transformation, work-area sizing
    kJoin,     // ZORVAnd, then ZORVTran and ZORVPrint of the joined tree
    kEval,
    kReset,
    kAgain,  // a simple clause on the reset instance
    kEnd,    // ZORVDestroy, ZORVRealDestroy
    kPhases
};
const char* phase_name(Phase p);

// What is refused: the n-th allocation by any pool of the kernel, the n-th creation of one
// kind of host object, or the n-th call of the instances' Alloc slot (arena memory) or
// NewOp slot (nodes, free-list pops included). Counted from the start of the life.
// With `onward`, the slot refuses the n-th call and every call after it, as an arena that
// has run dry does; the host's refusals are one-shot.
struct Refusal {
    enum Kind { kNone, kPool, kCreation, kArena, kNode } kind = kNone;
    ZHostCreation creation = ZHOST_CREATE_GROUP;
    bool onward = false;
    long n = 0;
};
std::string describe(const Refusal& r);

struct Clause {
    const char* label;
    std::string text;
    uint32_t options = 0;  // option bits of the first instance
};

// What one life came to.
struct Life {
    Phase fired = kPhases;    // where the refusal came due; kPhases: it never did
    Phase stopped = kPhases;  // the first phase that reported a failure
    int32_t parse = 0;
    int32_t resolve = 0;
    std::string parsed;               // the first instance's tree after the parse
    std::string transformed;          // after the join and the last transformation
    std::vector<int> truths;          // per row; -1 where the evaluation found no work area
    bool changed = false;             // the final tree differs from the untouched life's
    std::vector<std::string> errors;  // level-4 messages
};

// The clause of the second instance, which every life joins to its own.
const char* second_clause();

// Runs lives on one kernel with a capturing message target. Every check reports through
// GoogleTest, so the caller's SCOPED_TRACE names the clause and the refusal. The second
// instance, made once with its own extension record, outlives the lives.
class Lives {
  public:
    Lives(NQKernel* kernel, NQJournal* jnl);
    ~Lives();
    Lives(const Lives&) = delete;
    Lives& operator=(const Lives&) = delete;

    // One life of the clause. With a reference (the untouched life of the same clause) the
    // results of the phases are checked against it.
    Life live(const Clause& clause, const Refusal& refusal, const Life* reference);

  private:
    long injected() const;
    NQKernel* kernel_;
    NQJournal* jnl_;
    ZExt* other_ext_ = nullptr;
    ZInst* other_ = nullptr;
};

}  // namespace faults

#endif

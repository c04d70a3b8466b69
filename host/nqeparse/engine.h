// The LL(1) parse engine object: its host-visible record, its parse context, the checked
// grammar tables and the state of one Parse call (symbol stack, lookahead, error counts).
// engine.cpp runs the parse, repair.cpp recovers from syntax errors, message.cpp words them.
#ifndef NQEPARSE_ENGINE_H
#define NQEPARSE_ENGINE_H

#include <cstdint>
#include <vector>

#include "host/nqeparse/tables.h"
#include "zorv/nqhost.h"

namespace nqe {

// The symbol stack holds at most this many symbols. Every open parenthesis of an expression
// leaves a dozen or more pending symbols, so this allows several hundred levels of nesting;
// a clause that needs more is refused as nested too deeply.
constexpr int32_t kMaxDepth = 8192;
// Syntax errors reported per clause; at the next one the parse stops and says so.
constexpr int32_t kMaxErrors = 10;
// Tokens the repair looks ahead (and may delete) before it gives up on a stretch of input.
constexpr int32_t kWindow = 32;
// Tokens past a repair read on trial to choose among equally cheap repairs.
constexpr int32_t kHorizon = 4;
// Longest string of terminals a repair inserts.
constexpr int32_t kMaxInsert = 256;
// Deleted tokens named in a message before the rest are only counted.
constexpr int32_t kNamedDeletions = 5;

struct Engine;

// First words of the engine: the host record, then the way back to the whole object.
struct EngineHead {
    NQEngine pub;
    Engine* self;
};

// A stack of grammar symbols; the top is s[sp - 1].
struct SymbolStack {
    int16_t* s;
    int32_t sp;
};

// A repair under consideration: delete input tokens 0..k-1 (token 0 is the lookahead),
// then read token k as terminal `code` after inserting a string that brings stack symbol
// `at` to it.
struct Candidate {
    int32_t cost = kInf;
    int32_t k = -1;
    int32_t code = 0;
    int32_t at = -1;
};

// Result of running the machine up to the consumption of one terminal.
enum class Step { Matched, Ended, Stuck, TooDeep, Callback };

// A message being written; text past the capacity is dropped.
struct Message {
    static constexpr int32_t kCapacity = 1024;
    char32_t buf[kCapacity];
    int32_t len = 0;

    void add(const char32_t* s, int32_t n);
    void add(const char* ascii);
    void add_int(int32_t v);
    void add_quoted(const char32_t* s, int32_t n);  // 'text', long texts shortened
    void terminate() { buf[len < kCapacity ? len : kCapacity - 1] = 0; }
};

// Writes a finished message to the journal at level 4 (nothing without a journal).
void write_message(NQJournal* j, Message& m);

struct Engine {
    EngineHead head;
    NQParseContext ctx;
    NQKernel* kernel = nullptr;
    NQTokenCallback token = nullptr;
    NQSemanticCallback semantic = nullptr;
    Tables g;

    std::vector<int16_t> stack_mem;
    std::vector<int16_t> scratch_mem;
    std::vector<int16_t> aux_mem;
    std::vector<NQToken> ahead_mem;  // look-ahead tokens fetched by the repair
    std::vector<int16_t> insert_mem;
    std::vector<uint8_t> expect_mem;    // by terminal code
    std::vector<uint8_t> phrase_group;  // by terminal code: see group_terminals()
    std::vector<int32_t> items_mem;
    std::vector<int32_t> verdict_mem;  // by nonterminal and terminal: see verdict(), 0 unknown
    SymbolStack stack{};

    // State of the running Parse.
    NQJournal* jnl = nullptr;
    NQToken la{};        // the lookahead token (our copy)
    NQToken read{};      // the last token consumed, for the hints of syntax errors
    int32_t nahead = 0;  // tokens waiting in ahead_mem, oldest first
    bool end_fetched = false;
    bool semantics = true;  // false from the first syntax error on
    bool semantic_error = false;
    int32_t errors = 0;
    NQToken end_token{};

    NQStatus parse(NQJournal* j);

    // engine.cpp
    NQStatus fetch(NQToken* out);
    NQStatus fetch_ahead();
    static constexpr int32_t kAccept = 1, kReject = 2, kPass = 3;
    int32_t verdict(int32_t X, int32_t code);
    bool accepts(const SymbolStack& st, int32_t code);
    Step run(SymbolStack& st, const NQToken& tok, bool act, NQStatus* status);
    void adjust_keyword(NQToken& tok);
    NQStatus too_deep(const NQToken& tok);

    // repair.cpp
    NQStatus recover();
    NQToken& input(int32_t k);  // token k of the input from the lookahead on
    int32_t trial(const Candidate& c, int32_t limit, NQStatus* status);

    // message.cpp
    void say(Message& m);
    void add_near(Message& m, const NQToken& tok);
    void add_phrase(Message& m, int32_t code);
    void add_token(Message& m, const NQToken& tok);
    void add_expected(Message& m, const SymbolStack& st);
    void group_terminals();
    void add_hint(Message& m, const NQToken& before, const NQToken& tok);
    void add_refusal(Message& m, const NQToken& tok);
};

}  // namespace nqe

#endif

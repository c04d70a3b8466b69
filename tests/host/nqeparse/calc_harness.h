// Test harness for the parse engine: a small lexer that turns a clause into tokens of the
// calc grammar, a token callback that hands them out through one reused record, and a
// semantic callback that computes the clause's values, logging every action it gets.
#ifndef ZORV_TESTS_HOST_NQEPARSE_CALC_HARNESS_H
#define ZORV_TESTS_HOST_NQEPARSE_CALC_HARNESS_H

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "zorv/host.h"

extern "C" NQGrammar* calcgrammar(NQGrammar* desc);

namespace calc_test {

// Terminal codes the tests name.
enum : int16_t {
    kEndjb = 1,
    kNamex = 2,
    kQs = 3,
    kInt = 4,
    kNbr = 5,
    kCompound = 6,
    kMissing = 11,
    kSemicolon = 32,
    kEnd = 74,
};

// Action codes of calc.grammar.
enum : int16_t { aNum = 1, aName, aAdd, aMul, aNeg, aMark, aList };

// The clause's tokens; their texts point into `text` once point() has run (a copy or a
// move of `text` may move its characters).
struct Lexed {
    std::u32string text;
    std::vector<NQToken> toks;

    void point() {
        for (NQToken& t : toks) t.text = t.length ? text.data() + t.column - 1 : nullptr;
    }
};

// Splits ASCII text into tokens: words (keywords by their spelling, else names), integers,
// decimal numbers, '.'-missing values, quoted strings, and operators by longest spelling.
// A character that starts nothing becomes a "compound" token, which no production takes.
// The input closes like the host tokenizer's: "endjb" unless the last token was ";", then
// "$$$", both just after the last character.
Lexed lex(const std::string& ascii);

// One action as the semantic callback received it, with the text of its lookahead.
struct Seen {
    int16_t code;
    std::vector<int16_t> args;
    std::u32string token;
};

// Shared user data of the two callbacks.
struct Session {
    Lexed input;
    size_t next = 0;
    NQToken record{};  // the one token record handed out, rewritten by every call
    int token_calls = 0;
    int token_fail_at = 0;  // that call (1-based) fails with token_status
    NQStatus token_status = 0;

    std::map<std::u32string, double> vars;
    std::vector<double> values;
    std::vector<size_t> marks;
    std::vector<double> result;
    std::vector<Seen> seen;
    int semantic_fail_at = 0;  // that call (1-based) fails with semantic_status
    NQStatus semantic_status = 0;
    void* feed = nullptr;  // another token source's state, for tests that use one

    void load(const std::string& clause) {
        input = lex(clause);
        input.point();
        next = 0;
        token_calls = 0;
        values.clear();
        marks.clear();
        result.clear();
        seen.clear();
    }
};

NQStatus token_callback(void* user, int32_t x, int32_t y, NQToken** token);
NQStatus semantic_callback(NQParseContext* ctx, NQToken* token, const NQAction* action);

std::string utf8(const std::u32string& s);

// Opens a kernel and a capture journal, loads nqeparse and makes an engine on the calc
// grammar; at the end checks that nothing made through the kernel is left alive.
class EngineTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    NQEngine* make_engine(NQGrammarRoutine grammar, NQStatus* status);
    NQStatus parse(const std::string& clause);
    std::vector<std::string> messages() const;

    NQKernel* kernel = nullptr;
    NQJournal* jnl = nullptr;
    NQParseExt* ext = nullptr;
    NQEngine* engine = nullptr;
    Session s;
};

}  // namespace calc_test

#endif

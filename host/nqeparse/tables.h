// The parse engine's working form of a grammar descriptor: the descriptor's tables checked
// once and unpacked into dense arrays (prediction by nonterminal and terminal, production
// bodies, action records, spellings, repair costs and cheapest insertions).
#ifndef NQEPARSE_TABLES_H
#define NQEPARSE_TABLES_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "zorv/nqhost.h"

namespace nqe {

// A cost that no repair may pay: symbols the tables price at their never-cost.
constexpr int32_t kInf = 1 << 20;

// Production body: `len` symbols in prdlst starting at `at`, stored last symbol first.
struct Body {
    int32_t at;
    int16_t len;
    int16_t lhs;  // nonterminal number k (symbol code firstnt + k)
};

// How E(N, t) was reached: expand N by production `prod` and let t match inside the body
// symbol at forward position `pos`, after inserting the cheapest strings of those before it.
struct Choice {
    int16_t prod;
    int16_t pos;
};

struct Tables {
    int32_t nterms = 0;   // terminal codes 1..nterms; nterms is the end of input
    int32_t firstnt = 0;  // symbol code of N0
    int32_t nnt = 0;      // nonterminals N0..N(nnt-1)
    int32_t nprod = 0;
    int32_t nclasses = 0;  // token classes: codes 1..nclasses
    int32_t endcode = 0;
    int32_t namecode = 0;  // "namex", what a misplaced keyword may be read as

    const int16_t* prdlst = nullptr;
    const uint16_t* instbl = nullptr;

    std::vector<int16_t> pred;  // nnt rows of nterms + 1: production, or -1
    std::vector<Body> prods;
    std::vector<NQAction> actions;  // by action entry
    std::vector<int32_t> ins;       // insertion cost by symbol code (kInf: never)
    std::vector<int32_t> del;       // deletion cost by terminal code (kInf: never)
    std::vector<int32_t> cheap_at;  // cheapest terminal string of N<k>: instbl index of its count
    std::vector<int32_t> ecost;     // nnt rows of nterms + 1: least insertion before t inside N
    std::vector<Choice> echoice;
    std::vector<char32_t> spell;    // spellings, back to back
    std::vector<int32_t> spell_at;  // by terminal code
    std::vector<int32_t> spell_len;
    std::vector<uint8_t> keyword;  // by terminal code: a word of letters that a name may replace

    bool is_terminal(int32_t s) const { return s >= 1 && s <= nterms; }
    bool is_nonterminal(int32_t s) const { return s >= firstnt && s < firstnt + nnt; }

    // Production that expands nonterminal symbol X on lookahead t, or -1.
    int32_t predict(int32_t X, int32_t t) const {
        if (t < 1 || t > nterms) return -1;
        return pred[static_cast<size_t>(X - firstnt) * (nterms + 1) + t];
    }

    // Least insertion cost of a string w such that the symbol derives w t..., or kInf.
    int32_t reach(int32_t Y, int32_t t) const {
        if (is_terminal(Y)) return Y == t ? 0 : kInf;
        if (t < 1 || t > nterms) return kInf;
        return ecost[static_cast<size_t>(Y - firstnt) * (nterms + 1) + t];
    }

    const Choice& choice(int32_t X, int32_t t) const {
        return echoice[static_cast<size_t>(X - firstnt) * (nterms + 1) + t];
    }

    // Spelling of terminal t as (pointer, length).
    const char32_t* spelling(int32_t t, int32_t* len) const {
        *len = spell_len[t];
        return spell.data() + spell_at[t];
    }
    bool spelled(int32_t t, const char* ascii) const;
};

// Asks the grammar routine for its descriptor, checks it and fills `t`. Returns 0, or
// NQ_STATUS_BAD_GRAMMAR with *why naming the first fault. May throw std::bad_alloc.
// Loading a grammar (above all the repair costs) takes longer than many parses, and
// grammar routines describe constant tables: the tables loaded from a descriptor are kept
// and copied into the engines made later from a descriptor equal to it word for word.
NQStatus load_tables(Tables& t, NQGrammarRoutine routine, const char** why);

}  // namespace nqe

#endif

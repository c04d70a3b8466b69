// Reading a grammar descriptor: every table the engine will index is bounds-checked here,
// once, so that the parse loop can trust what it finds. Also computes, for the error
// repair, the least insertion that lets a terminal match inside each nonterminal.
#include "host/nqeparse/tables.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "zorv/host.h"

namespace nqe {
namespace {

// Limits that keep the dense tables small and every symbol code inside an int16.
constexpr int32_t kMaxTerminals = 2048;
constexpr int32_t kMaxNonterminals = 4096;
constexpr int32_t kMaxBody = 1024;
constexpr int32_t kMaxActionEntries = 8192;
constexpr int32_t kMaxSpelling = 256;

bool is_letter(char32_t c) {
    return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z');
}

// A keyword is spelled as a word: a letter, then letters, digits, '$' or '_'.
bool word_spelling(const char32_t* s, int32_t n) {
    if (n < 1 || !is_letter(s[0])) return false;
    for (int32_t i = 1; i < n; i++) {
        const char32_t c = s[i];
        if (!is_letter(c) && !(c >= U'0' && c <= U'9') && c != U'$' && c != U'_') return false;
    }
    return true;
}

int32_t cost_of(uint8_t c, int32_t never) {
    return c >= never ? kInf : c;
}

struct Loader {
    Tables& t;
    const NQGrammar& d;
    const char* why = nullptr;

    bool fail(const char* reason) {
        why = reason;
        return false;
    }

    bool header() {
        const void* tables[] = {d.prdlst, d.prdndx,  d.lhstbl,  d.prslst, d.prsndx,
                                d.actmap, d.argndx,  d.argtbl,  d.symtbl, d.symndx,
                                d.symmap, d.delcost, d.inscost, d.insndx, d.instbl};
        for (const void* p : tables)
            if (!p) return fail("a table address is null");
        if (d.version != 2) return fail("unknown descriptor version");
        if (d.nterms < 2 || d.nterms > kMaxTerminals) return fail("bad number of terminals");
        if (d.firstnt != d.nterms + 1)
            return fail("first nonterminal does not follow the terminals");
        if (d.nprslst == 0) return fail("empty prediction vector");
        if (d.nclasses < 0 || d.nclasses >= d.nterms) return fail("bad number of token classes");
        if (d.ninstbl < 1) return fail("empty insertion table");
        if (d.nevercost < 1 || d.nevercost > 255) return fail("bad never-cost");
        t.nterms = d.nterms;
        t.firstnt = d.firstnt;
        t.nclasses = d.nclasses;
        t.endcode = d.nterms;
        t.prdlst = d.prdlst;
        t.instbl = d.instbl;
        return true;
    }

    // The productions are those the prediction vector names; their left-hand sides give the
    // number of nonterminals.
    bool productions() {
        int32_t maxp = 0;
        for (uint32_t i = 0; i < d.nprslst; i++)
            maxp = std::max(maxp, std::abs(int32_t{d.prslst[i]}));
        if (maxp == 0) return fail("the prediction vector is all zero");
        t.nprod = maxp;
        int32_t maxk = 0;
        for (int32_t p = 0; p < t.nprod; p++) maxk = std::max(maxk, int32_t{d.lhstbl[p]});
        if (maxk >= kMaxNonterminals) return fail("too many nonterminals");
        t.nnt = maxk + 1;
        t.prods.resize(t.nprod);
        for (int32_t p = 0; p < t.nprod; p++) {
            const int32_t at = d.prdndx[p];
            const int32_t len = d.prdlst[at];
            if (len < 0 || len > kMaxBody) return fail("bad production length");
            t.prods[p] = Body{at + 1, static_cast<int16_t>(len), static_cast<int16_t>(d.lhstbl[p])};
            for (int32_t i = 0; i < len; i++)
                if (!symbol(d.prdlst[at + 1 + i])) return false;
        }
        return true;
    }

    bool symbol(int32_t s) {
        if (s > 0) {
            if (t.is_terminal(s) || t.is_nonterminal(s)) return true;
            return fail("a production names an unknown symbol");
        }
        if (s == 0) return fail("a production holds symbol 0");
        const int32_t e = -s - 1;
        if (e >= kMaxActionEntries) return fail("action entry out of range");
        if (static_cast<size_t>(e) >= t.actions.size()) t.actions.resize(e + 1, NQAction{});
        NQAction& a = t.actions[e];
        a.code = static_cast<int16_t>(d.actmap[e]);
        a.nargs = 0;
        const int32_t ai = d.argndx[e];
        if (ai == -1) return true;
        if (ai < 0 || ai >= d.ninstbl) return fail("argument index out of range");
        const int32_t n = d.argtbl[ai];
        if (n < 0 || n > NQ_ACTION_MAXARGS || ai + n >= d.ninstbl) return fail("bad argument list");
        a.nargs = static_cast<int16_t>(n);
        for (int32_t i = 0; i < n; i++) a.args[i] = d.argtbl[ai + 1 + i];
        return true;
    }

    // Dense prediction rows; an entry counts only when lhstbl confirms its row.
    void predictions() {
        const int32_t w = t.nterms + 1;
        t.pred.assign(static_cast<size_t>(t.nnt) * w, -1);
        for (int32_t k = 0; k < t.nnt; k++) {
            for (int32_t term = 1; term <= t.nterms; term++) {
                const int32_t idx = d.prsndx[k] + term;
                if (idx < 0 || idx >= static_cast<int32_t>(d.nprslst)) continue;
                const int32_t v = d.prslst[idx];
                if (v == 0) continue;
                const int32_t p = std::abs(v) - 1;
                if (d.lhstbl[p] == k)
                    t.pred[static_cast<size_t>(k) * w + term] = static_cast<int16_t>(p);
            }
        }
    }

    bool spellings() {
        t.spell_at.assign(t.nterms + 1, 0);
        t.spell_len.assign(t.nterms + 1, 0);
        t.keyword.assign(t.nterms + 1, 0);
        for (int32_t i = 0; i < t.nterms; i++) {
            const int32_t code = d.symmap[i];
            if (!t.is_terminal(code)) return fail("spelling of an unknown terminal");
            const uint32_t* s = d.symtbl + d.symndx[i];
            if (s[0] > static_cast<uint32_t>(kMaxSpelling)) return fail("spelling too long");
            t.spell_at[code] = static_cast<int32_t>(t.spell.size());
            t.spell_len[code] = static_cast<int32_t>(s[0]);
            for (uint32_t j = 0; j < s[0]; j++) t.spell.push_back(static_cast<char32_t>(s[1 + j]));
        }
        for (int32_t code = t.nclasses + 1; code < t.endcode; code++)
            t.keyword[code] = word_spelling(t.spell.data() + t.spell_at[code], t.spell_len[code]);
        t.namecode = 2;
        for (int32_t code = 1; code <= t.nclasses; code++)
            if (t.spelled(code, "namex")) t.namecode = code;
        return true;
    }

    bool costs() {
        const int32_t never = d.nevercost;
        t.del.assign(t.nterms + 1, kInf);
        t.ins.assign(t.firstnt + t.nnt, kInf);
        for (int32_t code = 1; code <= t.nterms; code++)
            t.del[code] = cost_of(d.delcost[code - 1], never);
        for (int32_t code = 1; code < t.firstnt + t.nnt; code++)
            t.ins[code] = cost_of(d.inscost[code - 1], never);
        t.cheap_at.assign(t.nnt, 0);
        for (int32_t k = 0; k < t.nnt; k++) {
            const int32_t at = d.insndx[k];
            if (at >= d.ninstbl) return fail("insertion index out of range");
            const int32_t n = d.instbl[at];
            if (at + n >= d.ninstbl) return fail("insertion string runs past its table");
            for (int32_t i = 1; i <= n; i++)
                if (!t.is_terminal(d.instbl[at + i])) return fail("insertion of a non-terminal");
            t.cheap_at[k] = at;
        }
        return true;
    }
};

// E(N, t): the least cost of a string w with N =>* w t ..., over the productions the
// prediction table can reach. A fixed point over "insert the body's prefix, then reach t in
// the next symbol"; costs only fall, so the relaxation ends.
void reach_costs(Tables& t) {
    const int32_t w = t.nterms + 1;
    t.ecost.assign(static_cast<size_t>(t.nnt) * w, kInf);
    t.echoice.assign(static_cast<size_t>(t.nnt) * w, Choice{-1, -1});
    for (bool changed = true; changed;) {
        changed = false;
        for (int32_t p = 0; p < t.nprod; p++) {
            const Body& b = t.prods[p];
            const size_t row = static_cast<size_t>(b.lhs) * w;
            for (int32_t term = 1; term <= t.nterms; term++) {
                int32_t before = 0;
                for (int32_t pos = 0; pos < b.len && before < kInf; pos++) {
                    const int32_t Y = t.prdlst[b.at + b.len - 1 - pos];  // forward order
                    if (Y < 0) continue;
                    const int32_t c = before + t.reach(Y, term);
                    if (c < t.ecost[row + term]) {
                        t.ecost[row + term] = c;
                        t.echoice[row + term] =
                            Choice{static_cast<int16_t>(p), static_cast<int16_t>(pos)};
                        changed = true;
                    }
                    before = std::min(kInf, before + t.ins[Y]);
                }
            }
        }
    }
}

}  // namespace

bool Tables::spelled(int32_t code, const char* ascii) const {
    int32_t n = 0;
    const char32_t* s = spelling(code, &n);
    int32_t i = 0;
    for (; i < n && ascii[i]; i++)
        if (s[i] != static_cast<char32_t>(static_cast<unsigned char>(ascii[i]))) return false;
    return i == n && !ascii[i];
}

namespace {

// The bytes of a descriptor that say which tables it describes: every field up to the
// end of the last reserved words, which leaves out only the tail padding of the record.
constexpr size_t kDescriptorBytes =
    offsetof(NQGrammar, reserved110) + sizeof(NQGrammar::reserved110);
static_assert(offsetof(NQGrammar, prdlst) == 4 * sizeof(int16_t) &&
                  offsetof(NQGrammar, nevercost) ==
                      offsetof(NQGrammar, prdlst) + 15 * sizeof(void*),
              "no padding inside the compared bytes");

struct Loaded {
    unsigned char descriptor[kDescriptorBytes];
    Tables tables;
};

// The grammars loaded so far, newest last; a program uses one or two.
constexpr size_t kKeep = 8;
std::mutex loaded_mu;
std::vector<Loaded> loaded;

bool copy_loaded(const NQGrammar& d, Tables& t) {
    std::lock_guard<std::mutex> hold(loaded_mu);
    for (const Loaded& l : loaded) {
        if (std::memcmp(l.descriptor, &d, kDescriptorBytes) != 0) continue;
        t = l.tables;
        return true;
    }
    return false;
}

void keep_loaded(const NQGrammar& d, const Tables& t) {
    std::lock_guard<std::mutex> hold(loaded_mu);
    if (loaded.size() == kKeep) loaded.erase(loaded.begin());
    Loaded& l = loaded.emplace_back();
    std::memcpy(l.descriptor, &d, kDescriptorBytes);
    l.tables = t;
}

}  // namespace

NQStatus load_tables(Tables& t, NQGrammarRoutine routine, const char** why) {
    *why = nullptr;
    NQGrammar desc{};
    const NQGrammar* d = routine ? routine(&desc) : nullptr;
    if (!d) {
        *why = "the grammar routine gave no descriptor";
        return NQ_STATUS_BAD_GRAMMAR;
    }
    if (copy_loaded(*d, t)) return NQ_OK;
    Loader l{t, *d};
    if (!l.header() || !l.productions() || !l.spellings() || !l.costs()) {
        *why = l.why;
        return NQ_STATUS_BAD_GRAMMAR;
    }
    l.predictions();
    reach_costs(t);
    keep_loaded(*d, t);
    return NQ_OK;
}

}  // namespace nqe

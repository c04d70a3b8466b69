// Syntax-error recovery: one message per error, then the least-cost repair the tables
// allow (delete some input tokens, then insert the cheapest terminal string that lets the
// next token match), after which the parse goes on checking without semantic actions.
#include <algorithm>
#include <cstring>

#include "host/nqeparse/engine.h"
#include "zorv/host.h"

namespace nqe {
namespace {

// Least insertion cost before `code` can be consumed from `st`: each stack symbol from the
// top is either where `code` matches (after the insertion that reach() prices) or is
// inserted whole so that the search goes on below it. Costs are never negative, so the walk
// ends once inserting the symbols above costs as much as the best plan found: on a deeply
// nested clause it would otherwise walk the whole stack for every candidate of every error.
int32_t plan(const Tables& g, const SymbolStack& st, int32_t code, int32_t* at) {
    int32_t done = 0;
    int32_t best = kInf;
    *at = -1;
    for (int32_t i = st.sp - 1; i >= 0 && done < best; i--) {
        const int32_t Y = st.s[i];
        if (Y < 0) continue;
        const int32_t c = done + g.reach(Y, code);
        if (c < best) {
            best = c;
            *at = i;
        }
        done += g.ins[Y];
    }
    return best;
}

// Writes the terminals the plan inserts into `out`; returns their number, or -1 when the
// string would be too long or the choices do not lead to `code`.
int32_t spell_plan(const Tables& g, const SymbolStack& st, int32_t at, int32_t code, int16_t* out) {
    int32_t n = 0;
    auto cheapest = [&](int32_t Y) {
        if (g.is_terminal(Y)) {
            if (n >= kMaxInsert) return false;
            out[n++] = static_cast<int16_t>(Y);
            return true;
        }
        const uint16_t* s = g.instbl + g.cheap_at[Y - g.firstnt];
        if (n + s[0] > kMaxInsert) return false;
        for (int32_t i = 1; i <= s[0]; i++) out[n++] = static_cast<int16_t>(s[i]);
        return true;
    };
    for (int32_t i = st.sp - 1; i > at; i--)
        if (st.s[i] >= 0 && !cheapest(st.s[i])) return -1;
    int32_t Y = st.s[at];
    for (int32_t steps = 0; !g.is_terminal(Y); steps++) {
        if (steps > g.nnt || g.reach(Y, code) >= kInf) return -1;
        const Choice& c = g.choice(Y, code);
        const Body& b = g.prods[c.prod];
        for (int32_t pos = 0; pos < c.pos; pos++) {
            const int32_t Z = g.prdlst[b.at + b.len - 1 - pos];
            if (Z >= 0 && !cheapest(Z)) return -1;
        }
        Y = g.prdlst[b.at + b.len - 1 - c.pos];
    }
    return Y == code ? n : -1;
}

void add_list_item(Message& m, int32_t i, int32_t n) {
    if (i > 0) m.add(i == n - 1 ? " and " : ", ");
}

}  // namespace

NQToken& Engine::input(int32_t k) {
    return k == 0 ? la : ahead_mem[k - 1];
}

// Tries repair `c` on a copy of the stack: inserts its string (priced on the grammar, while
// the machine decides on the prediction table, so it is checked here), reads token k as
// c.code and then reads on as the parse would. Returns the index of the first token that
// could not be read (at most `limit`), or -1 when the repair does not work.
int32_t Engine::trial(const Candidate& c, int32_t limit, NQStatus* status) {
    int16_t* ins = insert_mem.data();
    const int32_t n = spell_plan(g, stack, c.at, c.code, ins);
    if (n < 0) return -1;
    SymbolStack copy{scratch_mem.data(), stack.sp};
    std::memcpy(copy.s, stack.s, sizeof(int16_t) * stack.sp);
    NQStatus unused = NQ_OK;
    NQToken v = input(c.k);
    for (int32_t i = 0; i < n; i++) {
        v.code = ins[i];
        if (run(copy, v, false, &unused) != Step::Matched) return -1;
    }
    if (!accepts(copy, c.code)) return -1;
    v.code = static_cast<int16_t>(c.code);
    for (int32_t i = c.k;;) {
        const Step r = run(copy, v, false, &unused);
        if (r == Step::Ended) return limit;
        if (r != Step::Matched) return i == c.k ? -1 : i;
        if (++i >= limit) return limit;
        if (i > nahead) {
            if (nahead == kWindow || end_fetched) return i;
            *status = fetch_ahead();
            if (*status != NQ_OK) return -1;
        }
        v = input(i);
        if (g.is_terminal(v.code) && g.keyword[v.code] && !accepts(copy, v.code) &&
            accepts(copy, g.namecode))
            v.code = static_cast<int16_t>(g.namecode);
        if (!accepts(copy, v.code)) return i;
    }
}

// Called when the lookahead cannot be consumed. Reports the error, repairs, and leaves the
// stack ready to consume the (new) lookahead. Returns 0 to go on, or the status that ends
// the parse.
NQStatus Engine::recover() {
    if (errors >= kMaxErrors) {
        Message m;
        m.add("too many errors; the rest of the clause was not checked");
        say(m);
        return NQ_STATUS_SYNTAX;
    }
    errors++;
    semantics = false;

    Message m;
    m.add("syntax error at column ");
    m.add_int(la.column);
    m.add(" ");
    add_near(m, la);
    add_expected(m, stack);
    const NQToken at = la;  // the repair may move the lookahead on

    NQToken named[kNamedDeletions];
    int32_t ndeleted = 0;
    int32_t ninserted = 0;
    constexpr int32_t kCandidates = 2 * (kWindow + 1);  // two readings of each token
    Candidate rejected[kCandidates];
    int32_t nrejected = 0;
    auto is_rejected = [&](int32_t k, int32_t code) {
        for (int32_t i = 0; i < nrejected; i++)
            if (rejected[i].k == k && rejected[i].code == code) return true;
        return false;
    };
    auto note_deleted = [&](const NQToken& t) {
        if (ndeleted < kNamedDeletions) named[ndeleted] = t;
        ndeleted++;
    };

    for (;;) {
        // Every cheapest repair among the tokens within reach, fewer deletions first and a
        // keyword read as itself before it is read as a name.
        Candidate tied[kCandidates];
        int32_t ntied = 0;
        int32_t best = kInf;
        int32_t deleted_cost = 0;
        int32_t last = 0;
        for (int32_t k = 0;; k++) {
            if (k > nahead) {
                if (nahead == kWindow || end_fetched) break;
                const NQStatus st = fetch_ahead();
                if (st != NQ_OK) return st;
            }
            last = k;
            const NQToken& t = input(k);
            int32_t codes[2] = {t.code, 0};
            if (g.is_terminal(t.code) && g.keyword[t.code]) codes[1] = g.namecode;
            for (int32_t code : codes) {
                if (code == 0 || !g.is_terminal(code) || is_rejected(k, code)) continue;
                int32_t at = -1;
                const int32_t c = deleted_cost + plan(g, stack, code, &at);
                if (c >= kInf || c > best) continue;
                if (c < best) ntied = 0;
                best = c;
                tied[ntied++] = Candidate{c, k, code, at};
            }
            const int32_t d = g.is_terminal(t.code) ? g.del[t.code] : 1;
            if (t.code == g.endcode || d >= kInf) break;
            deleted_cost += d;
            if (deleted_cost > best || k == kWindow) break;
        }

        if (ntied == 0) {
            // Nothing within reach can be read: drop the whole stretch and look further,
            // unless it ends in what may not be deleted.
            const NQToken& t = input(last);
            if (t.code == g.endcode || (g.is_terminal(t.code) && g.del[t.code] >= kInf)) {
                add_hint(m, read, at);
                say(m);
                return NQ_STATUS_SYNTAX;
            }
            for (int32_t i = 0; i <= last; i++) note_deleted(input(i));
            nahead = 0;
            nrejected = 0;
            const NQStatus st = fetch(&la);
            if (st != NQ_OK) return st;
            continue;
        }

        // Among equally cheap repairs, take the one after which the input reads furthest.
        const int32_t limit = std::min(tied[ntied - 1].k + kHorizon + 1, kWindow + 1);
        int32_t chosen = -1;
        int32_t reached = -1;
        for (int32_t i = 0; i < ntied; i++) {
            NQStatus st = NQ_OK;
            const int32_t r = trial(tied[i], limit, &st);
            if (st != NQ_OK) return st;
            if (r < 0) {
                rejected[nrejected++] = tied[i];
            } else if (r > reached) {
                reached = r;
                chosen = i;
            }
        }
        if (chosen < 0) continue;

        const Candidate& c = tied[chosen];
        int16_t* ins = insert_mem.data();
        const int32_t n = spell_plan(g, stack, c.at, c.code, ins);
        for (int32_t i = 0; i < c.k; i++) note_deleted(input(i));
        if (c.k > 0) {
            la = ahead_mem[c.k - 1];
            std::memmove(ahead_mem.data(), ahead_mem.data() + c.k,
                         sizeof(NQToken) * (nahead - c.k));
            nahead -= c.k;
        }
        la.code = static_cast<int16_t>(c.code);
        NQToken v = la;
        for (int32_t i = 0; i < n; i++) {
            v.code = ins[i];
            NQStatus unused = NQ_OK;
            if (run(stack, v, false, &unused) != Step::Matched) return NQ_STATUS_BAD_GRAMMAR;
        }
        ninserted = n;
        break;
    }

    if (ndeleted > 0 || ninserted > 0) m.add("; read as if ");
    if (ndeleted > 0) {
        const int32_t shown = ndeleted <= kNamedDeletions ? ndeleted : kNamedDeletions - 1;
        const int32_t items = ndeleted <= kNamedDeletions ? ndeleted : kNamedDeletions;
        for (int32_t i = 0; i < shown; i++) {
            add_list_item(m, i, items);
            add_token(m, named[i]);
        }
        if (shown < ndeleted) {
            add_list_item(m, shown, items);
            m.add_int(ndeleted - shown);
            m.add(" more tokens");
        }
        m.add(" were deleted");
        if (ninserted > 0) m.add(" and ");
    }
    const int16_t* ins = insert_mem.data();
    for (int32_t i = 0; i < ninserted; i++) {
        add_list_item(m, i, ninserted);
        add_phrase(m, ins[i]);
    }
    if (ninserted > 0) m.add(" were inserted");
    add_hint(m, read, at);
    say(m);
    return NQ_OK;
}

}  // namespace nqe

// The table-driven LL(1) parse: a stack of grammar symbols that starts with N0, expanded
// by prediction, matched against the lookahead token's code, with action symbols handed to
// the semantic callback. Each lookahead is checked against the whole stack before it is
// used, so a syntax error is found before any action has seen the offending token.
#include "host/nqeparse/engine.h"

#include <algorithm>
#include <cstring>

#include "zorv/host.h"

namespace nqe {

// Next token: from the repair's look-ahead first, else from the token callback. The
// callback's record is reused by the tokenizer, so we keep a copy; its text stays valid
// for the whole parse. Past the end of input the end token is handed out again.
NQStatus Engine::fetch(NQToken* out) {
    if (nahead > 0) {
        *out = ahead_mem[0];
        std::memmove(ahead_mem.data(), ahead_mem.data() + 1, sizeof(NQToken) * (nahead - 1));
        nahead--;
        return NQ_OK;
    }
    if (end_fetched) {
        *out = end_token;
        return NQ_OK;
    }
    NQToken* tp = nullptr;
    const NQStatus st = token(ctx.user, 0, 0, &tp);
    if (st != NQ_OK) return st;
    if (!tp) return NQ_STATUS_BAD_ARGUMENT;
    *out = *tp;
    if (out->code == g.endcode) {
        end_fetched = true;
        end_token = *out;
    }
    return NQ_OK;
}

// Appends one more token to the look-ahead (the caller checks there is room).
NQStatus Engine::fetch_ahead() {
    NQToken* tp = nullptr;
    const NQStatus st = token(ctx.user, 0, 0, &tp);
    if (st != NQ_OK) return st;
    if (!tp) return NQ_STATUS_BAD_ARGUMENT;
    ahead_mem[nahead++] = *tp;
    if (tp->code == g.endcode) {
        end_fetched = true;
        end_token = *tp;
    }
    return NQ_OK;
}

// What a dry run does with terminal `code` from nonterminal X alone: accept it, reject it,
// or pass (X derives nothing before `code`, so the symbol below decides), together with
// the most symbols its expansions held at once. It depends on X and `code` only, so it is
// worked out once per pair and kept: the dry run of every token then costs a step per
// stack symbol it looks at instead of the expansions it would repeat.
int32_t Engine::verdict(int32_t X, int32_t code) {
    int32_t& kept =
        verdict_mem[static_cast<size_t>(X - g.firstnt) * static_cast<size_t>(g.nterms + 1) +
                    static_cast<size_t>(code)];
    if (kept != 0) return kept;
    int16_t* aux = aux_mem.data();
    int32_t na = 0;
    int32_t peak = 0;
    int32_t result = kPass;
    for (int32_t Y = X;;) {
        if (Y >= 0) {
            if (g.is_terminal(Y)) {
                result = Y == code ? kAccept : kReject;
                break;
            }
            const int32_t p = g.predict(Y, code);
            if (p < 0) {
                result = kReject;
                break;
            }
            const Body& b = g.prods[p];
            peak = std::max(peak, na + b.len);
            if (na + b.len > kMaxDepth) break;  // past any depth: accepts() says yes
            std::memcpy(aux + na, g.prdlst + b.at, sizeof(int16_t) * b.len);
            na += b.len;
        }
        if (na == 0) break;
        Y = aux[--na];
    }
    kept = peak << 2 | result;
    return kept;
}

// Whether terminal `code` can be consumed from stack `st`: a dry run that walks down the
// stack, expanding predicted nonterminals on the side, without touching `st` and without
// actions. A run that would outgrow the stack answers yes, so that the real run meets the
// depth limit and reports it. The expansions of each stack symbol are the verdict's.
bool Engine::accepts(const SymbolStack& st, int32_t code) {
    if (!g.is_terminal(code)) return false;
    for (int32_t below = st.sp; below > 0;) {
        const int32_t X = st.s[--below];
        if (X < 0) continue;
        if (g.is_terminal(X)) return X == code;
        const int32_t v = verdict(X, code);
        if (below + (v >> 2) > kMaxDepth) return true;
        if ((v & 3) != kPass) return (v & 3) == kAccept;
    }
    return false;
}

// Runs the machine on `st` until `tok` is consumed. With `act`, action symbols go to the
// semantic callback (a non-zero result stops the run: Step::Callback with *status), and an
// error flag raised by the callback is reported against `tok`.
Step Engine::run(SymbolStack& st, const NQToken& tok, bool act, NQStatus* status) {
    for (;;) {
        if (st.sp == 0) return Step::Stuck;
        const int32_t X = st.s[st.sp - 1];
        if (X < 0) {
            st.sp--;
            if (!act) continue;
            const NQAction& a = g.actions[-X - 1];
            const NQStatus s = semantic(&ctx, &la, &a);
            if (s != NQ_OK) {
                *status = s;
                return Step::Callback;
            }
            if (ctx.error) {
                Message m;
                add_refusal(m, la);
                say(m);
                ctx.error = 0;
                semantic_error = true;
            }
            continue;
        }
        if (g.is_terminal(X)) {
            if (X != tok.code) return Step::Stuck;
            st.sp--;
            return X == g.endcode ? Step::Ended : Step::Matched;
        }
        const int32_t p = g.predict(X, tok.code);
        if (p < 0) return Step::Stuck;
        const Body& b = g.prods[p];
        if (st.sp - 1 + b.len > kMaxDepth) return Step::TooDeep;
        st.sp--;
        std::memcpy(st.s + st.sp, g.prdlst + b.at, sizeof(int16_t) * b.len);
        st.sp += b.len;
    }
}

// A keyword that cannot stand here, where a name could, is read as a name: a column may be
// called L or AND.
void Engine::adjust_keyword(NQToken& tok) {
    if (!g.is_terminal(tok.code) || !g.keyword[tok.code]) return;
    if (!accepts(stack, tok.code) && accepts(stack, g.namecode))
        tok.code = static_cast<int16_t>(g.namecode);
}

NQStatus Engine::too_deep(const NQToken& tok) {
    Message m;
    m.add("clause is nested too deeply at column ");
    m.add_int(tok.column);
    m.add(" ");
    add_near(m, tok);
    say(m);
    return NQ_STATUS_TOO_DEEP;
}

NQStatus Engine::parse(NQJournal* j) {
    jnl = j;
    ctx.jnl = j;
    ctx.error = 0;
    nahead = 0;
    end_fetched = false;
    semantics = true;
    semantic_error = false;
    errors = 0;
    read = NQToken{};
    stack.sp = 0;
    stack.s[stack.sp++] = static_cast<int16_t>(g.firstnt);

    NQStatus st = fetch(&la);
    while (st == NQ_OK) {
        adjust_keyword(la);
        if (!accepts(stack, la.code)) {
            st = recover();
            if (st != NQ_OK) break;
        }
        const Step r = run(stack, la, semantics, &st);
        if (r == Step::Callback) break;
        if (r == Step::TooDeep) {
            st = too_deep(la);
            break;
        }
        if (r == Step::Stuck) {  // the dry run said yes: the tables contradict themselves
            st = NQ_STATUS_BAD_GRAMMAR;
            break;
        }
        if (r == Step::Ended) {
            st = errors ? NQ_STATUS_SYNTAX : semantic_error ? NQ_STATUS_SEMANTIC : NQ_OK;
            break;
        }
        read = la;
        st = fetch(&la);
    }
    ctx.jnl = nullptr;
    jnl = nullptr;
    return st;
}

}  // namespace nqe

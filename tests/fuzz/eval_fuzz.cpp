// Fuzz target: clauses through the whole road — parse, resolve against a fixed set of
// columns, transform, evaluate over a handful of fixed rows, print. The input is UTF-8 text;
// a first line break splits it into two clauses A and B. Each is parsed and resolved on an
// instance of its own; when both resolve, B is joined to A with ZORVAnd and the joined tree
// must select exactly the rows both select. A first byte 0x01 (dropped) picks a pair of
// instances that order characters through a collating service (ASCII letters without case).
// The instances live for the whole run and are reset after every input, so Reset must leave
// nothing behind that the next clause sees.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

#include "tests/common/column_binding.h"
#include "tests/fuzz/fuzz_host.h"
#include "zorv/support.h"

using namespace fuzzhost;

namespace {

constexpr int kShortBytes = 4;     // the shortened numeric column S: a double's top bytes
constexpr int kLongChars = 72;     // W: long enough that its results need the work area
constexpr int kCountedChars = 10;  // V and U declare this many characters

// One row of the fixed table. Character columns are blank-padded runs of 4-byte
// characters; P, V and U are reached through an address in the row, F and G through the
// fetch callback.
struct Row {
    double x = 0, y = 0, m = 0;
    unsigned char s[kShortBytes] = {};
    NQWChar c[5] = {};
    NQWChar w[kLongChars] = {};
    NQWChar e[3] = {};
    const double* p = nullptr;
    const unsigned char* v = nullptr;  // a 16-bit byte count, then the characters
    const unsigned char* u = nullptr;  // a 32-bit byte count, then the characters
    double f = 0;
    const NQWChar* g = nullptr;
    int32_t gbytes = 0;
    int32_t fail = 0;  // the fetch callback refuses the row
};

int32_t fetch(ZNode* leaf, const void* row, const void** address, int32_t* length) {
    const Row* r = static_cast<const Row*>(row);
    if (r->fail) return 1;
    *address = leaf->vlen < 0 ? static_cast<const void*>(&r->f) : r->g;
    *length = leaf->vlen < 0 ? -8 : r->gbytes;
    return 0;
}

using Column = ztest::Column;

constexpr Column kColumns[] = {
    {"X", -8, offsetof(Row, x), 0, nullptr},
    {"Y", -8, offsetof(Row, y), 0, nullptr},
    {"M", -8, offsetof(Row, m), 0, nullptr},
    {"NX", -8, -static_cast<int32_t>(offsetof(Row, y)), 0, nullptr},  // a negative offset
    {"S", -kShortBytes, offsetof(Row, s), 0, nullptr},
    {"C", 4 * 5, offsetof(Row, c), 0, nullptr},
    {"W", 4 * kLongChars, offsetof(Row, w), 0, nullptr},
    {"E", 4 * 3, offsetof(Row, e), 0, nullptr},
    {"P", -8, offsetof(Row, p), 1, nullptr},
    {"V", 4 * kCountedChars, offsetof(Row, v), 2, nullptr},
    {"U", 4 * kCountedChars, offsetof(Row, u), 4, nullptr},
    {"F", -8, 0, 1, fetch},
    {"G", 4 * kCountedChars, 0, 1, fetch},
};

// Unknown names are refused with a status of our own, which ends the resolution.
int32_t bind(void*, ZNode* leaf, NQJournal*) {
    return ztest::bind_column(kColumns, leaf);
}

template <size_t N>
void put(NQWChar (&dst)[N], std::u32string_view text) {
    for (size_t i = 0; i < N; ++i) dst[i] = i < text.size() ? text[i] : U' ';
}

void put_short(Row& row, double v) {
    unsigned char bytes[sizeof v];
    std::memcpy(bytes, &v, sizeof v);
    std::memcpy(row.s, bytes + sizeof v - kShortBytes, kShortBytes);
}

// A counted value: its byte count (2 or 4 bytes) placed so that the characters after it
// are 4-byte aligned, as a host lays them out.
struct Counted {
    alignas(4) unsigned char bytes[4 + 4 * kCountedChars] = {};
    const unsigned char* at = nullptr;
    void set(std::u32string_view text, uint32_t count, int width) {
        std::memcpy(bytes + 4, text.data(), 4 * text.size());
        if (width == 2) {
            const uint16_t n = static_cast<uint16_t>(count);
            std::memcpy(bytes + 2, &n, 2);
            at = bytes + 2;
        } else {
            std::memcpy(bytes, &count, 4);
            at = bytes;
        }
    }
};

constexpr int kRows = 5;

struct Table {
    Row rows[kRows];
    double pointed[kRows];
    Counted v[kRows], u[kRows];
    NQWChar g[kRows][kCountedChars] = {};
};

Table* make_table() {
    static Table t;
    const double inf = std::numeric_limits<double>::infinity();
    const double xs[kRows] = {0.0, 5.0, 1e308, -3.0, -inf};
    const double ys[kRows] = {-0.0, 10.0, 4.9e-324, 2.5, inf};
    const double ms[kRows] = {pvMissVal('.'), pvMissVal('A'), 1e9, pvMissVal('_'), pvMissVal('Z')};
    const double ss[kRows] = {1.5, -7.0, 3e38, pvMissVal('.'), 0.0};
    const std::u32string_view cs[kRows] = {U"Ann", U"bob  ", U"\u00C5\u00E9", U"", U"ZZZZZ"};
    const std::u32string_view ws[kRows] = {
        U"", U"The quick brown fox jumps over the lazy dog, then naps in the sun a while.",
        U"%_ like * ? \u00DF \u0130 \U0001F600 'quoted' \"double\"", U"    leading blanks", U"abc"};
    const std::u32string_view es[kRows] = {U"", U"\u00E9", U"a b", U"", U" "};
    const double ps[kRows] = {3.25, pvMissVal('.'), -1.0, 0.0, 7.0};
    const std::u32string_view vs[kRows] = {U"abc", U"0123456789", U"", U"x", U"\u00FF\u00FE"};
    // The counts a host gives: at most the declared width, and not always whole characters.
    const uint32_t vcount[kRows] = {12, 40, 0, 3, 8};
    const uint32_t ucount[kRows] = {12, 40, 0, 4, 7};
    const double fs[kRows] = {2.0, pvMissVal('.'), -0.5, 1e-300, 0.0};
    const std::u32string_view gs[kRows] = {U"Oslo", U"", U"Basel", U"a", U"Z z"};
    for (int i = 0; i < kRows; ++i) {
        Row& r = t.rows[i];
        r.x = xs[i];
        r.y = ys[i];
        r.m = ms[i];
        put_short(r, ss[i]);
        put(r.c, cs[i]);
        put(r.w, ws[i]);
        put(r.e, es[i]);
        t.pointed[i] = ps[i];
        r.p = &t.pointed[i];
        t.v[i].set(vs[i], vcount[i], 2);
        t.u[i].set(vs[i], ucount[i], 4);
        r.v = t.v[i].at;
        r.u = t.u[i].at;
        r.f = fs[i];
        for (size_t k = 0; k < gs[i].size(); ++k) t.g[i][k] = gs[i][k];
        r.g = t.g[i];
        r.gbytes = static_cast<int32_t>(4 * gs[i].size());
        r.fail = i == 2;
    }
    return &t;
}

// The collating service of the second pair: ASCII letters compare without their case, every
// other character by its code; a string that is a prefix of the other is the smaller.
int32_t caseless(NQCollator*, const NQWChar* a, int32_t alen, const NQWChar* b, int32_t blen,
                 int32_t) {
    auto fold = [](NQWChar c) { return c >= U'a' && c <= U'z' ? c - 32 : c; };
    for (int32_t i = 0; i < alen && i < blen; ++i)
        if (fold(a[i]) != fold(b[i])) return fold(a[i]) < fold(b[i]) ? -1 : 1;
    return alen < blen ? -1 : alen > blen ? 1 : 0;
}
NQCollator collator = {{nullptr, nullptr, 0}, caseless};

struct State {
    Table* table = nullptr;
    ZInst* a[2] = {};  // by pair: 0 plain, 1 with the collating service
    ZInst* b[2] = {};
    long live = 0;  // host objects alive once the instances are made
};

State& state() {
    static State s = [] {
        State made;
        made.table = make_table();
        for (int pair = 0; pair < 2; ++pair) {
            NQCollator* c = pair ? &collator : nullptr;
            made.a[pair] = create(0, "fuzz A", c);
            made.b[pair] = create(0, "fuzz B", c);
        }
        made.live = zhost_live_count(host().kernel);
        return made;
    }();
    return s;
}

// Parses and resolves one clause; true when it is ready to evaluate. Prints the tree as the
// parser left it when resolution is not reached, and as resolved otherwise.
bool prepare(ZInst* inst, const std::u32string& text) {
    Host& h = host();
    const int32_t parsed = inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), h.jnl);
    if (parsed != 0 || !inst->root) {
        if (h.verbose) std::fprintf(stderr, "parse status %d\n", static_cast<int>(parsed));
        ZORVPrint(inst, h.jnl);
        return false;
    }
    const int32_t status = inst->Resolve(inst, h.jnl, bind, nullptr);
    if (h.verbose) std::fprintf(stderr, "resolve status %d\n", static_cast<int>(status));
    ZORVPrint(inst, h.jnl);
    return status == 0;
}

// The clause's truth value over every row, as a bit mask. The operands of the root are
// evaluated on their own too, as a host may evaluate any subtree.
unsigned evaluate(ZInst* inst, Table* table) {
    unsigned mask = 0;
    for (int i = 0; i < kRows; ++i) {
        ZNode result{};
        const int32_t truth = inst->Eval(inst, &table->rows[i], &result, nullptr);
        FUZZ_CHECK(truth == 0 || truth == 1);
        FUZZ_CHECK(result.type == Z_LITN || result.type == Z_LITC);
        if (truth) mask |= 1u << i;
        if (host().verbose) std::fprintf(stderr, "row %d: %d\n", i, static_cast<int>(truth));
        ZNode* root = inst->root;
        if (root->type <= 35) continue;
        for (int32_t k = 0; k < root->u.op.nargs && k < 4; ++k) {
            ZNode* operand = inst->Get(inst, root, k);
            if (!operand) continue;
            ZNode part{};
            const int32_t t = inst->Eval(inst, &table->rows[i], &part, operand);
            FUZZ_CHECK(t == 0 || t == 1);
        }
    }
    return mask;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    state();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    State& s = state();
    Host& h = host();
    const int pair = size > 0 && data[0] == 1 ? 1 : 0;
    data += pair;
    size -= pair;
    ZInst* ia = s.a[pair];
    ZInst* ib = s.b[pair];
    const uint8_t* cut = static_cast<const uint8_t*>(std::memchr(data, '\n', size));
    const size_t alen = cut ? static_cast<size_t>(cut - data) : size;
    const std::u32string a = utf8(data, alen);
    const std::u32string b = cut ? utf8(cut + 1, size - alen - 1) : std::u32string();

    const bool a_ready = prepare(ia, a);
    const unsigned a_rows = a_ready ? evaluate(ia, s.table) : 0;
    if (cut) {
        const bool b_ready = prepare(ib, b);
        const unsigned b_rows = b_ready ? evaluate(ib, s.table) : 0;
        if (a_ready && b_ready) {
            FUZZ_CHECK(ia->And(ia, ib, h.jnl) == 0);
            FUZZ_CHECK(evaluate(ia, s.table) == (a_rows & b_rows));
            ZORVPrint(ia, h.jnl);
        }
    }

    ia->Reset(ia);
    ib->Reset(ib);
    // Reset gives back every arena block but the first; each instance may keep one cached
    // evaluation work area.
    const long grown = zhost_live_count(h.kernel) - s.live;
    FUZZ_CHECK(grown >= 0 && grown <= 4);
    return 0;
}

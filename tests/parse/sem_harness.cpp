// The bench behind the semantic-action tests: a hand-built instance with a test node store,
// a message target that formats what it receives, an LL(1) driver over the real grammar
// tables, a small lexer for test clauses and the tree rendering.
#include "tests/parse/sem_harness.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace semtest {

std::string utf8(const NQWChar* s, long n) {
    std::string out;
    for (long i = 0; i < n; ++i) {
        uint32_t c = static_cast<uint32_t>(s[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string format(const NQWChar* f, va_list ap) {
    std::string out;
    for (; *f != 0; ++f) {
        if (*f != U'%') {
            out += utf8(f, 1);
            continue;
        }
        ++f;
        if (*f == U'%') {
            out += '%';
            continue;
        }
        bool star = false;
        if (f[0] == U'.' && f[1] == U'*') {
            star = true;
            f += 2;
        }
        int width = 0;
        while (*f >= U'0' && *f <= U'9') width = width * 10 + static_cast<int>(*f++ - U'0');
        char buf[64];
        switch (*f) {
            case U'd':
                std::snprintf(buf, sizeof buf, "%*d", width, va_arg(ap, int));
                out += buf;
                break;
            case U'p':
                std::snprintf(buf, sizeof buf, "%p", va_arg(ap, void*));
                out += buf;
                break;
            case U'c': {
                const NQWChar c = static_cast<NQWChar>(va_arg(ap, int));
                out += utf8(&c, 1);
                break;
            }
            case U's': {
                const int n = star ? va_arg(ap, int) : -1;
                const NQWChar* s = va_arg(ap, const NQWChar*);
                long len = n;
                if (len < 0)
                    for (len = 0; s[len] != 0;) ++len;
                out += utf8(s, len);
                break;
            }
            default:
                out += "<?>";
                break;
        }
    }
    return out;
}

namespace {

NQStatus bench_message(NQJournal* j, int32_t level, const NQWChar* fmt, int32_t, va_list ap) {
    Bench* b = static_cast<Bench*>(j->reserved3);
    b->messages.push_back({level, format(fmt, ap)});
    return 0;
}

ZNode* bench_newop(ZInst* inst, int32_t type) {
    auto* n = static_cast<ZNode*>(inst->Alloc(inst, sizeof(ZNode)));
    if (n == nullptr) return nullptr;
    std::memset(n, 0, sizeof *n);
    n->type = static_cast<uint16_t>(type);
    return n;
}

ZNode* bench_get(ZInst*, ZNode* n, int32_t i) {
    if (i >= n->u.op.nargs) return nullptr;
    const ZNode* b = n;
    for (; i > 14; i -= 15) b = b->u.op.next;
    return b->u.op.args[i];
}

void bench_set(ZInst* inst, ZNode* n, int32_t i, ZNode* v) {
    if (i == -1) i = n->u.op.nargs;
    if (i > n->u.op.nargs) {
        ZNode* b = n;
        int32_t j = n->u.op.nargs;
        for (; b != nullptr && j > 14; j -= 15) b = b->u.op.next;
        if (b != nullptr) {
            for (; j < 15; ++j) b->u.op.args[j] = nullptr;
            b->u.op.next = nullptr;
        }
    }
    if (i >= n->u.op.nargs) n->u.op.nargs = i + 1;
    ZNode* b = n;
    for (; i > 14; i -= 15) {
        if (b->u.op.next == nullptr) b->u.op.next = inst->NewOp(inst, Z_NULL);
        b = b->u.op.next;
    }
    b->u.op.args[i] = v;
}

// Reads the whole token as a decimal the way the host's locale is meant to: status 0 and
// the characters used, or the special zero status.
NQStatus bench_tonumber(NQLocale*, const NQWChar* text, int32_t len, double* value, int32_t* used) {
    std::string s = utf8(text, len);
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    *used = static_cast<int32_t>(end - s.c_str());
    if (*used == 0) return static_cast<NQStatus>(0x803FE813u);
    if (v == 0.0) return static_cast<NQStatus>(0x803FE812u);
    *value = v;
    return 0;
}

// Writes one byte per character, the low byte of each, and at most the capacity.
NQStatus bench_transcode(NQTranscoder* t, const void* src, int32_t srcbytes, void* dst,
                         int32_t capacity, int32_t* written, int32_t) {
    Bench* b = static_cast<Bench*>(t->hdr.owner);
    const auto* w = static_cast<const NQWChar*>(src);
    const int32_t n = srcbytes / 4;
    b->transcodes.push_back({srcbytes, capacity, std::u32string(w, w + n)});
    int32_t k = 0;
    for (; k < n && k < capacity; ++k) static_cast<char*>(dst)[k] = static_cast<char>(w[k]);
    *written = k;
    return 0;
}

}  // namespace

void* bench_alloc(ZInst* inst, int32_t size) {
    Bench* b = Bench::of(inst);
    if (b->budget == 0) return nullptr;
    if (b->budget > 0) --b->budget;
    ++b->allocations;
    const size_t n = (static_cast<size_t>(size) + 7) & ~size_t{7};
    b->blocks_.emplace_back(new unsigned char[n]);
    std::memset(b->blocks_.back().get(), 0xA5, n);
    return b->blocks_.back().get();
}

Bench::Bench() {
    inst.Alloc = bench_alloc;
    inst.NewOp = bench_newop;
    inst.Get = bench_get;
    inst.Set = bench_set;
    inst.ext = &ext;
    inst.prs.inst = &inst;
    inst.prs.jnl = &jnl;
    inst.reserved16 = this;  // how the node store finds its bench
    jnl.MessageToJnl = bench_message;
    jnl.reserved3 = this;
    locale.ToNumber = bench_tonumber;
    ext.locale = &locale;
    xcoder.Transcode = bench_transcode;
    xcoder.hdr.owner = this;
    ctx.user = &inst.prs;
}

Bench* Bench::of(ZInst* inst) {
    return static_cast<Bench*>(inst->reserved16);
}

const NQToken* Bench::token(int16_t code, const std::u32string& text) {
    texts_.emplace_back(new std::u32string(text));
    tokens_.emplace_back(new NQToken{});
    NQToken* t = tokens_.back().get();
    t->code = code;
    t->length = static_cast<int32_t>(text.size());
    t->text = texts_.back()->data();
    return t;
}

NQStatus Bench::act(int16_t code, std::vector<int16_t> args, const NQToken* tok) {
    NQAction a{};
    a.code = code;
    a.nargs = static_cast<int16_t>(args.size());
    for (size_t i = 0; i < args.size(); ++i) a.args[i] = args[i];
    if (tok == nullptr) tok = token(74, U"");
    return ZORVSemantics(&ctx, const_cast<NQToken*>(tok), &a);
}

NQStatus Bench::push(int16_t kind, int16_t code, const std::u32string& text) {
    return act(2, {kind}, token(code, text));
}

// ---- grammar-driven parsing ----

namespace {

const NQGrammar& grammar() {
    static NQGrammar desc = [] {
        NQGrammar d{};
        zorvgrammar(&d);
        return d;
    }();
    return desc;
}

std::u32string spelling(int code) {
    const uint32_t* p = grammar().symtbl + grammar().symndx[code - 1];
    return std::u32string(p + 1, p + 1 + p[0]);
}

bool name_char(char32_t c) {
    return (c >= U'A' && c <= U'Z') || (c >= U'a' && c <= U'z') || (c >= U'0' && c <= U'9') ||
           c == U'_' || c == U'$' || c >= 0xC0;
}

char32_t upper(char32_t c) {
    return c >= U'a' && c <= U'z' ? c - 32 : c;
}

std::u32string widen(const std::string& s) {
    std::u32string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        int k = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t v = k == 1 ? c : c & (0x3F >> (k - 1));
        for (int j = 1; j < k; ++j) v = (v << 6) | (static_cast<unsigned char>(s[i + j]) & 0x3F);
        out += v;
        i += static_cast<size_t>(k);
    }
    return out;
}

}  // namespace

std::vector<Token> lex(const std::string& clause) {
    const std::u32string s = widen(clause);
    std::vector<Token> out;
    size_t i = 0;
    auto digit = [&](size_t j) { return j < s.size() && s[j] >= U'0' && s[j] <= U'9'; };
    while (i < s.size()) {
        const char32_t c = s[i];
        size_t j = i + 1;
        if (c == U' ') {
            ++i;
            continue;
        }
        if (c == U'{') {  // {code:text}
            size_t colon = s.find(U':', i);
            size_t close = s.find(U'}', colon);
            int16_t code = 0;
            for (size_t k = i + 1; k < colon; ++k)
                code = static_cast<int16_t>(code * 10 + (s[k] - U'0'));
            out.push_back({code, s.substr(colon + 1, close - colon - 1)});
            i = close + 1;
            continue;
        }
        if (digit(i)) {
            while (digit(j) || s[j] == U'.') ++j;
            std::u32string t = s.substr(i, j - i);
            out.push_back({static_cast<int16_t>(t.find(U'.') == t.npos ? 4 : 5), t});
        } else if (c == U'.') {
            if (j < s.size() && name_char(s[j])) ++j;
            out.push_back({11, s.substr(i, j - i)});
        } else if (c == U'\'') {
            for (;; ++j) {
                if (s[j] == U'\'' && j + 1 < s.size() && s[j + 1] == U'\'') {
                    ++j;
                } else if (s[j] == U'\'') {
                    ++j;
                    break;
                }
            }
            // 'x'd, 'x't and 'x'dt are date, time and datetime constants.
            size_t k = j;
            while (k < s.size() && name_char(s[k])) ++k;
            std::u32string suffix;
            for (size_t m = j; m < k; ++m) suffix += upper(s[m]);
            int16_t code = suffix == U"D" ? 8 : suffix == U"T" ? 9 : suffix == U"DT" ? 10 : 3;
            if (code != 3) j = k;
            out.push_back({code, s.substr(i, j - i)});
        } else if (name_char(c)) {
            while (j < s.size() && name_char(s[j])) ++j;
            if (j < s.size() && s[j] == U'.') {  // a format: best12.
                for (++j; digit(j);) ++j;
                out.push_back({7, s.substr(i, j - i)});
                i = j;
                continue;
            }
            std::u32string t = s.substr(i, j - i), up;
            for (char32_t x : t) up += upper(x);
            if (up == U"MIN" || up == U"MAX") up += U'$';
            int16_t code = 2;
            for (int k = 40; k <= 73; ++k)
                if (spelling(k) == up) code = static_cast<int16_t>(k);
            out.push_back({code, t});
        } else {
            int16_t best = 0;
            size_t len = 0;
            for (int k = 20; k <= 73; ++k) {
                std::u32string sp = spelling(k);
                if (sp.size() > len && s.compare(i, sp.size(), sp) == 0) {
                    best = static_cast<int16_t>(k);
                    len = sp.size();
                }
            }
            if (best == 0) {
                best = 99;  // nothing the grammar knows
                len = 1;
            }
            j = i + len;
            out.push_back({best, s.substr(i, len)});
        }
        i = j;
    }
    if (out.empty() || (out.back().code != 32 && out.back().code != 1)) out.push_back({32, U";"});
    out.push_back({74, U""});
    return out;
}

int drive(Bench& b, const std::vector<Token>& tokens) {
    const NQGrammar& g = grammar();
    std::vector<const NQToken*> toks;
    for (const Token& t : tokens) toks.push_back(b.token(t.code, t.text));
    std::vector<int> stack{g.firstnt};
    size_t pos = 0;
    while (!stack.empty()) {
        const int top = stack.back();
        stack.pop_back();
        if (top < 0) {
            const int e = -top - 1;
            std::vector<int16_t> args;
            if (g.argndx[e] >= 0) {
                const int16_t* a = g.argtbl + g.argndx[e];
                args.assign(a + 1, a + 1 + a[0]);
            }
            const int r = b.act(static_cast<int16_t>(g.actmap[e]), args, toks[pos]);
            if (r != 0) return r;
        } else if (top < g.firstnt) {
            if (toks[pos]->code != top) return kSyntaxError;
            if (top == 74) return 0;
            ++pos;
        } else {
            const int k = top - g.firstnt;
            const int i = g.prsndx[k] + toks[pos]->code;
            const int v = i >= 0 && i < g.nprslst ? g.prslst[i] : 0;
            const int p = (v < 0 ? -v : v) - 1;
            if (v == 0 || g.lhstbl[p] != k) return kSyntaxError;
            const int16_t* body = g.prdlst + g.prdndx[p];
            for (int n = 1; n <= body[0]; ++n) stack.push_back(body[n]);
        }
    }
    return kSyntaxError;
}

// ---- rendering ----

std::string type_name(int code) {
    static const std::map<int, const char*> names = {
        {0, "NULL"},   {1, "NAME"},   {2, "LITN"},   {3, "LITC"},   {4, "FNAM"},   {5, "STAR"},
        {6, "USER"},   {7, "TABL"},   {8, "WNAM"},   {9, "ANAM"},   {10, "LABL"},  {11, "HNAM"},
        {15, "BYNM"},  {16, "JTAG"},  {17, "UNDO"},  {18, "CLR"},   {19, "FMT"},   {24, "SAY"},
        {26, "XNAM"},  {28, "CMSG"},  {29, "CMTN"},  {30, "CMTU"},  {70, "SAME"},  {220, "LOR"},
        {221, "LAND"}, {222, "LNOT"}, {240, "INOT"}, {241, "IN"},   {242, "NIN"},  {243, "BETW"},
        {244, "NBTW"}, {245, "LIKE"}, {246, "NLKE"}, {247, "CONT"}, {248, "NCON"}, {249, "ISNL"},
        {250, "NTNL"}, {251, "TIN"},  {252, "TNIN"}, {255, "SDX"},  {256, "NSDX"}, {260, "CEQ"},
        {261, "CNE"},  {262, "CLT"},  {263, "CLE"},  {264, "CGT"},  {265, "CGE"},  {270, "CTEQ"},
        {271, "CTNE"}, {272, "CTLT"}, {273, "CTLE"}, {274, "CTGT"}, {275, "CTGE"}, {280, "AADD"},
        {281, "ASUB"}, {282, "AMUL"}, {283, "ADIV"}, {284, "ANEG"}, {285, "APOW"}, {286, "APOS"},
        {300, "CONC"}, {305, "MIN"},  {306, "MAX"},  {320, "FLST"}, {380, "SET"},  {570, "ESC"}};
    auto it = names.find(code);
    return it != names.end() ? it->second : std::to_string(code);
}

namespace {

std::string number(const ZNode* n) {
    uint64_t bits;
    std::memcpy(&bits, &n->u.litn.num, sizeof bits);
    std::string s;
    if ((bits >> 48) == 0xFFFF) {
        const int kind = static_cast<int>((bits >> 40) & 0xFF);
        s = kind == 0xFE   ? "."
            : kind == 0xFF ? "._"
                           : "." + std::string(1, char('A' + 0xFD - kind));
    } else {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.17g", n->u.litn.num);
        s = buf;
    }
    static const char* const tags[] = {"", " date", " time", " datetime"};
    if (n->u.litn.tag <= 3) s += tags[n->u.litn.tag];
    return s;
}

}  // namespace

std::string render(ZInst* inst, const ZNode* n) {
    if (n == nullptr) return "-";
    const std::string name = type_name(n->type);
    switch (n->type) {
        case Z_LITN:
            return name + " " + number(n);
        case Z_LITC:
            return name + " '" + utf8(n->u.litc.str, n->u.litc.slen / 4) + "'";
        case Z_NAME:
        case Z_FNAM:
            return name + " " + std::string(n->u.nm.name, n->u.nm.namelen);
        default:
            break;
    }
    // A NULL node with arguments is an operator that the actions left untyped.
    if (n->type <= Z_LFHI && (n->type != Z_NULL || n->u.op.nargs == 0)) return name;
    std::string s = name + "(";
    for (int32_t i = 0; i < n->u.op.nargs; ++i)
        s += (i ? "," : "") + render(inst, inst->Get(inst, const_cast<ZNode*>(n), i));
    return s + ")";
}

}  // namespace semtest

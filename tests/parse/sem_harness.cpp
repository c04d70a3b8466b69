// The bench behind the semantic-action tests: a hand-built instance with a test node store,
// a message target that formats what it receives, and the tree rendering.
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

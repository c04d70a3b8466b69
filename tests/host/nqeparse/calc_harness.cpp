// The engine tests' lexer, callbacks and fixture (see calc_harness.h).
#include "calc_harness.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace calc_test {
namespace {

// Spellings of the calc grammar's terminals, read from its own descriptor.
std::map<std::string, int16_t> spellings() {
    NQGrammar d{};
    calcgrammar(&d);
    std::map<std::string, int16_t> out;
    for (int i = 0; i < d.nterms; i++) {
        const uint32_t* s = d.symtbl + d.symndx[i];
        std::string word;
        for (uint32_t j = 0; j < s[0]; j++) word += static_cast<char>(s[1 + j]);
        if (d.symmap[i] > d.nclasses) out[word] = static_cast<int16_t>(d.symmap[i]);
    }
    return out;
}

bool word_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

std::u32string wide(const std::string& s) {
    return std::u32string(s.begin(), s.end());
}

}  // namespace

std::string utf8(const std::u32string& s) {
    std::string out;
    for (char32_t c : s) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
}

Lexed lex(const std::string& ascii) {
    static const std::map<std::string, int16_t> spelled = spellings();
    Lexed out;
    out.text = wide(ascii);
    const size_t n = ascii.size();
    auto add = [&](int16_t code, size_t at, size_t len) {
        NQToken t{};
        t.line = 1;
        t.column = static_cast<int32_t>(at + 1);
        t.code = code;
        t.length = static_cast<int32_t>(len);
        out.toks.push_back(t);
    };
    for (size_t i = 0; i < n;) {
        const char c = ascii[i];
        size_t j = i + 1;
        if (c == ' ') {
            i++;
            continue;
        }
        if (std::isalpha(static_cast<unsigned char>(c))) {
            while (j < n && word_char(ascii[j])) j++;
            auto k = spelled.find(ascii.substr(i, j - i));
            add(k != spelled.end() ? k->second : int16_t{kNamex}, i, j - i);
        } else if (std::isdigit(static_cast<unsigned char>(c))) {
            while (j < n && (std::isdigit(static_cast<unsigned char>(ascii[j])) || ascii[j] == '.'))
                j++;
            add(ascii.substr(i, j - i).find('.') == std::string::npos ? int16_t{kInt}
                                                                      : int16_t{kNbr},
                i, j - i);
        } else if (c == '.') {
            if (j < n && std::isalpha(static_cast<unsigned char>(ascii[j]))) j++;
            add(kMissing, i, j - i);
        } else if (c == '\'') {
            while (j < n && ascii[j] != '\'') j++;
            j = std::min(n, j + 1);
            add(kQs, i, j - i);
        } else {
            size_t best = 0;
            int16_t code = kCompound;
            for (const auto& [word, k] : spelled) {
                if (word.size() > best && !word_char(word[0]) &&
                    ascii.compare(i, word.size(), word) == 0) {
                    best = word.size();
                    code = k;
                }
            }
            j = i + std::max<size_t>(best, 1);
            add(code, i, j - i);
        }
        i = j;
    }
    if (out.toks.empty() || out.toks.back().code != kSemicolon) add(kEndjb, n, 0);
    add(kEnd, n, 0);
    return out;
}

NQStatus token_callback(void* user, int32_t, int32_t, NQToken** token) {
    Session& s = *static_cast<Session*>(user);
    s.token_calls++;
    if (s.token_calls == s.token_fail_at) return s.token_status;
    const std::vector<NQToken>& toks = s.input.toks;
    s.record = toks[std::min(s.next, toks.size() - 1)];
    if (s.next < toks.size()) s.next++;
    *token = &s.record;
    return 0;
}

// Computes on a stack of values: @NUM and @NAME push the value of the lookahead token,
// @ADD(sign), @MUL(1 or -1 for a division) and @NEG combine, @MARK opens a list and
// @LIST(1) closes the clause's list into the result, @LIST(2, sign) replaces a list by its
// largest (1) or smallest (-1) value. A name without a value or a number that does not
// read raises the context's error flag.
NQStatus semantic_callback(NQParseContext* ctx, NQToken* token, const NQAction* a) {
    Session& s = *static_cast<Session*>(ctx->user);
    Seen seen{a->code, std::vector<int16_t>(a->args, a->args + a->nargs),
              std::u32string(token->text ? token->text : U"", token->length)};
    s.seen.push_back(seen);
    if (static_cast<int>(s.seen.size()) == s.semantic_fail_at) return s.semantic_status;
    auto pop = [&] {
        const double v = s.values.back();
        s.values.pop_back();
        return v;
    };
    const int arg = a->nargs > 0 ? a->args[0] : 0;
    switch (a->code) {
        case aNum:
            if (token->code == kQs) {
                s.values.push_back(token->length - 2);
            } else if (token->code == kMissing) {
                s.values.push_back(NAN);
            } else {
                char* end = nullptr;
                const std::string text = utf8(seen.token);
                s.values.push_back(std::strtod(text.c_str(), &end));
                if (*end) ctx->error = 1;
            }
            break;
        case aName: {
            auto v = s.vars.find(seen.token);
            if (v == s.vars.end()) ctx->error = 1;
            s.values.push_back(v == s.vars.end() ? 0 : v->second);
            break;
        }
        case aAdd: {
            const double b = pop(), x = pop();
            s.values.push_back(x + arg * b);
            break;
        }
        case aMul: {
            const double b = pop(), x = pop();
            s.values.push_back(arg > 0 ? x * b : x / b);
            break;
        }
        case aNeg:
            s.values.push_back(-pop());
            break;
        case aMark:
            s.marks.push_back(s.values.size());
            break;
        case aList: {
            const size_t from = s.marks.back();
            s.marks.pop_back();
            std::vector<double> list(s.values.begin() + from, s.values.end());
            s.values.resize(from);
            if (arg == 1) {
                s.result = list;
            } else {
                const double pick = a->args[1] > 0 ? *std::max_element(list.begin(), list.end())
                                                   : *std::min_element(list.begin(), list.end());
                s.values.push_back(pick);
            }
            break;
        }
        default:
            ADD_FAILURE() << "unknown action code " << a->code;
    }
    return 0;
}

void EngineTest::SetUp() {
    kernel = zhost_open_kernel(nullptr);
    ASSERT_NE(kernel, nullptr);
    jnl = zhost_open_capture_journal();
    ext = static_cast<NQParseExt*>(kernel->LoadExtension(kernel, U"nqeparse", 8, jnl));
    ASSERT_NE(ext, nullptr);
    NQStatus st = -1;
    engine = make_engine(calcgrammar, &st);
    ASSERT_NE(engine, nullptr);
    ASSERT_EQ(st, 0);
    s.vars = {{U"X", 3}, {U"Y", 4}, {U"L", 5}, {U"AND", 7}, {U"MAX", 2}};
}

void EngineTest::TearDown() {
    if (engine) engine->hdr.Dispose(engine);
    if (kernel) {
        EXPECT_EQ(zhost_live_count(kernel), 0);
        zhost_close_kernel(kernel);
    }
    if (jnl) zhost_close_journal(jnl);
}

NQEngine* EngineTest::make_engine(NQGrammarRoutine grammar, NQStatus* status) {
    const NQEngineBlock block{grammar, token_callback, semantic_callback, nullptr, nullptr,
                              &s,      nullptr};
    return ext->CreateEngine(ext, &block, status, jnl);
}

NQStatus EngineTest::parse(const std::string& clause) {
    s.load(clause);
    zhost_journal_clear(jnl);
    return engine->Parse(engine, jnl);
}

std::vector<std::string> EngineTest::messages() const {
    std::vector<std::string> out;
    for (size_t i = 0; i < zhost_journal_count(jnl); i++) {
        EXPECT_EQ(zhost_journal_level(jnl, i), NQ_LEVEL_ERROR);
        out.push_back(zhost_journal_text(jnl, i));
    }
    return out;
}

}  // namespace calc_test

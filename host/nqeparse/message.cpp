// The engine's messages: building their wide text, naming terminals the way a reader of
// the clause understands them (token classes in words, operators and keywords in quotes),
// the list of what was expected, and writing to the journal at level 4.
#include <cstdarg>

#include "host/nqeparse/engine.h"

namespace nqe {
namespace {

// Longest token text quoted in a message before it is shortened.
constexpr int32_t kQuoteMax = 40;

struct ClassWords {
    const char* spelling;
    const char* words;
};

constexpr ClassWords kClassWords[] = {
    {"endjb", "end of clause"},
    {"namex", "a name"},
    {"vlit", "a name"},
    {"qs", "a quoted string"},
    {"int", "an integer"},
    {"nbr", "a number"},
    {"fmt", "a format"},
    {"date", "a date"},
    {"time", "a time"},
    {"datetime", "a datetime"},
    {"missing", "a missing value"},
};

// Terminals whose spelling in the tables is not what a reader types: the tokenizer reads
// MIN and MAX (with or without a '$') as the operators spelled "MIN$" and "MAX$".
constexpr ClassWords kShownAs[] = {
    {"MAX$", "'MAX'"},
    {"MIN$", "'MIN'"},
};

// Hints for a syntax error found right after a given token: when the token before the
// error is spelled `first` and the offending one `second` (with nothing between them when
// `touching`), the hint is added to the message.
struct Hint {
    const char* first;
    const char* second;
    bool touching;
    const char* text;
};

// A column may be named like a keyword: where a name can stand, the keyword reads as one
// (AND = 1, in IN (4)). NOT cannot, since a NOT there negates the operand that follows; a
// comparison right after it shows that a column was meant.
constexpr const char* kNotColumn = "a column named NOT is written as the name literal 'NOT'n";

constexpr Hint kHints[] = {
    {"!", "=", true, "'!' means OR in this language; for 'not equal' write '^=' or '<>'"},
    {"NOT", "=", false, kNotColumn},
    {"NOT", "^=", false, kNotColumn},
    {"NOT", "~=", false, kNotColumn},
    {"NOT", "<>", false, kNotColumn},
    {"NOT", "<", false, kNotColumn},
    {"NOT", "<=", false, kNotColumn},
    {"NOT", ">", false, kNotColumn},
    {"NOT", ">=", false, kNotColumn},
};

// Why the semantic actions refused a token, where it can be told from the token: one of
// the class `spelling` longer than `longest` characters.
struct Refusal {
    const char* spelling;
    int32_t longest;
    const char* what;
    const char* why;
};

constexpr Refusal kRefusals[] = {
    {"namex", 32, "name too long", "names are limited to 32 characters"},
    {"vlit", 32, "name too long", "names are limited to 32 characters"},
};

// Classes that are listed together as "a constant" when all of them are expected.
constexpr const char* kConstants[] = {"qs", "int", "nbr", "date", "time", "datetime", "missing"};

const char* class_words(const Tables& g, int32_t code) {
    if (code < 1 || code > g.nclasses) return nullptr;
    for (const ClassWords& c : kClassWords)
        if (g.spelled(code, c.spelling)) return c.words;
    return nullptr;
}

void write(NQJournal* j, int32_t level, const NQWChar* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    j->MessageToJnl(j, level, fmt, 0, ap);
    va_end(ap);
}

}  // namespace

// The text goes through a one-argument format, so none of its characters is read as a
// directive.
void write_message(NQJournal* j, Message& m) {
    if (!j || !j->MessageToJnl) return;
    m.terminate();
    write(j, NQ_LEVEL_ERROR, U"%s", m.buf);
}

void Message::add(const char32_t* s, int32_t n) {
    for (int32_t i = 0; i < n && len < kCapacity - 1; i++) buf[len++] = s[i];
}

void Message::add(const char* ascii) {
    for (; *ascii && len < kCapacity - 1; ascii++)
        buf[len++] = static_cast<char32_t>(static_cast<unsigned char>(*ascii));
}

void Message::add_int(int32_t v) {
    char digits[12];
    int32_t n = 0;
    uint32_t u = v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u);
    if (v < 0) add("-");
    while (n > 0) {
        const char d[2] = {digits[--n], 0};
        add(d);
    }
}

void Message::add_quoted(const char32_t* s, int32_t n) {
    add("'");
    if (n > kQuoteMax) {
        add(s, kQuoteMax - 3);
        add("...");
    } else {
        add(s, n);
    }
    add("'");
}

void Engine::say(Message& m) {
    write_message(jnl, m);
}

// "near 'text'", or "near end of clause" for the end of the input.
void Engine::add_near(Message& m, const NQToken& tok) {
    m.add("near ");
    if (tok.code == g.endcode || tok.length <= 0 || !tok.text ||
        (g.is_terminal(tok.code) && g.spelled(tok.code, "endjb")))
        m.add("end of clause");
    else
        m.add_quoted(tok.text, tok.length);
}

// A terminal as the reader knows it: "a name", "end of input", or its spelling in quotes.
void Engine::add_phrase(Message& m, int32_t code) {
    if (!g.is_terminal(code)) {
        m.add("an unknown token");
        return;
    }
    if (code == g.endcode) {
        m.add("end of input");
        return;
    }
    if (const char* w = class_words(g, code)) {
        m.add(w);
        return;
    }
    for (const ClassWords& c : kShownAs) {
        if (g.spelled(code, c.spelling)) {
            m.add(c.words);
            return;
        }
    }
    int32_t n = 0;
    const char32_t* s = g.spelling(code, &n);
    m.add_quoted(s, n);
}

// A token that the semantic actions refused (they raised the error flag while it was the
// lookahead): what it is, where, and why when the reason is known.
void Engine::add_refusal(Message& m, const NQToken& tok) {
    const Refusal* known = nullptr;
    for (const Refusal& r : kRefusals)
        if (g.is_terminal(tok.code) && g.spelled(tok.code, r.spelling) && tok.length > r.longest)
            known = &r;
    m.add(known ? known->what : "invalid name or constant");
    m.add(" at column ");
    m.add_int(tok.column);
    m.add(" ");
    add_near(m, tok);
    if (known) {
        m.add(": ");
        m.add(known->why);
    }
}

// "; hint" when the error at `tok` follows `before` in a way that a reader of another
// language is likely to mean otherwise.
void Engine::add_hint(Message& m, const NQToken& before, const NQToken& tok) {
    if (!g.is_terminal(before.code) || !g.is_terminal(tok.code)) return;
    const bool touching = before.column + before.length == tok.column && before.line == tok.line;
    for (const Hint& h : kHints) {
        if ((touching || !h.touching) && g.spelled(before.code, h.first) &&
            g.spelled(tok.code, h.second)) {
            m.add("; ");
            m.add(h.text);
            return;
        }
    }
}

// A deleted token: its text, or what it stands for when it has none.
void Engine::add_token(Message& m, const NQToken& tok) {
    if (tok.length > 0 && tok.text)
        m.add_quoted(tok.text, tok.length);
    else
        add_phrase(m, tok.code);
}

// How add_expected() lists each terminal: one of the classes listed together as "a
// constant", one of the classes that are "a name", or on its own. Found once per engine,
// since telling them apart compares spellings and every syntax error lists the terminals.
enum : uint8_t { kOwnPhrase, kConstantClass, kNameClass };

void Engine::group_terminals() {
    phrase_group.assign(g.nterms + 1, kOwnPhrase);
    for (int32_t t = 1; t <= g.nclasses && t <= g.nterms; t++) {
        for (const char* s : kConstants)
            if (g.spelled(t, s)) phrase_group[t] = kConstantClass;
        if (g.spelled(t, "namex") || g.spelled(t, "vlit")) phrase_group[t] = kNameClass;
    }
}

// ": expected A, B or C" with every terminal that the stack can consume next, found by a
// dry run per terminal. Classes come first, in code order, then spelled terminals.
void Engine::add_expected(Message& m, const SymbolStack& st) {
    const int32_t n = g.nterms;
    std::vector<uint8_t>& ok = expect_mem;
    bool all_constants = true;
    int32_t nconstants = 0;
    for (int32_t t = 1; t <= n; t++) {
        ok[t] = accepts(st, t);
        if (phrase_group[t] == kConstantClass) {
            nconstants++;
            all_constants = all_constants && ok[t];
        }
    }
    const bool group = all_constants && nconstants > 1;

    // Items: a terminal code, or kConstant / kName for the grouped phrases.
    constexpr int32_t kConstant = -1, kName = -2;
    std::vector<int32_t>& items = items_mem;
    int32_t count = 0;
    bool said_constant = false, said_name = false;
    for (int32_t t = 1; t <= n; t++) {
        if (!ok[t]) continue;
        if (group && phrase_group[t] == kConstantClass) {
            if (!said_constant) items[count++] = kConstant;
            said_constant = true;
        } else if (phrase_group[t] == kNameClass) {
            if (!said_name) items[count++] = kName;
            said_name = true;
        } else if (t <= g.nclasses) {
            items[count++] = t;
        }
    }
    for (int32_t t = g.nclasses + 1; t <= n; t++)
        if (ok[t]) items[count++] = t;
    if (count == 0) return;

    m.add(": expected ");
    for (int32_t i = 0; i < count; i++) {
        if (i > 0) m.add(i == count - 1 ? " or " : ", ");
        if (items[i] == kConstant)
            m.add("a constant");
        else if (items[i] == kName)
            m.add("a name");
        else
            add_phrase(m, items[i]);
    }
}

}  // namespace nqe

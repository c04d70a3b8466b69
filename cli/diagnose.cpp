// Finding the operator behind a status of ZORVResolve. The walk below repeats the resolver's
// typing on the parsed tree without changing it: children first, left to right, chained
// comparisons taken pair by pair as the resolver splits them, UPCASE bound or folded, each
// operator's operands checked against the first typed one. A node's kind is its vlen as the
// resolver would set it: negative numeric, positive character bytes, 0 untyped (which
// counts as character against a numeric reference, as in the resolver). The first rule
// broken gives the message, used only when its status is the one the resolver returned, so
// a disagreement between the two never puts a wrong operator in front of the user.
#include "cli/diagnose.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <vector>

#include "frame/nodekinds.h"
#include "frame/nodeutil.h"
#include "support/utf8.h"

namespace zorv::cli {
namespace {

constexpr int64_t kLongestValue = 32767;  // bytes a vlen can hold
constexpr int64_t kInlineResult = 48;     // longer concatenations take scratch space
constexpr size_t kShownChars = 20;        // characters of a constant quoted in a message

// The one built-in function (the resolver's `builtins` table, which libzorv.so keeps to
// itself): its name and argument count.
constexpr char kUpcase[] = "UPCASE";
constexpr int32_t kUpcaseArgs = 1;

// The operator as the language writes it. The tree keeps no spelling, so each type has its
// usual one: CEQ is '=' whether the clause said '=' or EQ, and a NOT folded into a
// predicate shows as in NOT IN.
struct Spelling {
    int32_t type;
    const char* text;
};
// clang-format off
constexpr Spelling kSpellings[] = {
    {Z_LOR, "OR"}, {Z_LAND, "AND"}, {Z_LNOT, "NOT"}, {Z_IN, "IN"},
    {Z_NIN, "NOT IN"}, {Z_TIN, "IN :"}, {Z_TNIN, "NOT IN :"}, {Z_BETW, "BETWEEN"},
    {Z_NBTW, "NOT BETWEEN"}, {Z_LIKE, "LIKE"}, {Z_NLKE, "NOT LIKE"}, {Z_CONT, "CONTAINS"},
    {Z_NCON, "NOT CONTAINS"}, {Z_ISNL, "IS MISSING"}, {Z_NTNL, "IS NOT MISSING"}, {Z_SDX, "=*"},
    {Z_NSDX, "NOT =*"}, {Z_CEQ, "="}, {Z_CNE, "^="}, {Z_CLT, "<"},
    {Z_CLE, "<="}, {Z_CGT, ">"}, {Z_CGE, ">="}, {Z_AADD, "+"},
    {Z_ASUB, "-"}, {Z_ANEG, "-"}, {Z_APOS, "-"}, {Z_AMUL, "*"},
    {Z_ADIV, "/"}, {Z_APOW, "**"}, {Z_CONC, "||"}, {Z_MIN, "MIN"},
    {Z_MAX, "MAX"}, {Z_SAME, "SAME"},
};
// clang-format on

std::string spelling(int32_t type) {
    for (const Spelling& s : kSpellings)
        if (s.type == type) return s.text;
    if (zkind::is_colon_comparison(type)) return spelling(type - zkind::kColonStep) + ":";
    return "type " + std::to_string(type);
}

std::string quoted(int32_t type) {
    const std::string q = "'" + spelling(type) + "'";
    return type == Z_ANEG || type == Z_APOS ? "prefix " + q : q;
}

using Rule = zkind::TypingRule;
constexpr Rule rule_of(int32_t type) {
    return zkind::typing_rule(type);
}

struct Operand {
    const ZNode* node;
    int64_t vlen;
};

std::string name_of(const ZNode* leaf) {
    const int32_t len =
        std::clamp<int32_t>(leaf->u.nm.namelen, 0, static_cast<int32_t>(sizeof leaf->u.nm.name));
    return std::string(leaf->u.nm.name, static_cast<size_t>(len));
}

class Diagnosis {
  public:
    // no_rows: the columns are a table's that has no rows, so an untyped one is numeric only
    // because nothing said otherwise.
    Diagnosis(const std::vector<table::Column>& columns, bool no_rows) : no_rows_(no_rows) {
        for (const table::Column& c : columns) index_.emplace(c.key, &c);
    }

    // Types the subtree at n as the resolver would and returns its vlen; nothing once a
    // rule is broken (status() and message() then tell which). Recursive: ZORVParse bounds the
    // tree's depth (ZORV_MAX_DEPTH), and a chain is walked here at the depth the resolver walks it.
    std::optional<int64_t> walk(ZNode* n, int32_t parent_type);

    int32_t status() const { return status_; }
    const std::string& message() const { return message_; }

  private:
    std::optional<int64_t> chain(ZNode* n);
    std::optional<int64_t> call(ZNode* n, const std::vector<Operand>& ops);
    std::optional<int64_t> type_operator(int32_t type, const std::vector<Operand>& ops,
                                         int32_t parent_type);
    std::string describe(const Operand& op) const;
    std::optional<int64_t> fail(int32_t status, std::string message) {
        status_ = status;
        message_ = std::move(message);
        return std::nullopt;
    }
    bool reserve(int64_t bytes) {
        if (bytes < 0 || worksize_ + bytes > ZORV_MAX_WORK) return false;
        worksize_ += bytes;
        return true;
    }

    // The column whose key is `key` (the first of that key), or null.
    const table::Column* find(const std::string& key) const {
        const auto at = index_.find(key);
        return at == index_.end() ? nullptr : at->second;
    }

    std::unordered_map<std::string, const table::Column*> index_;
    bool no_rows_;
    int64_t worksize_ = 0;
    int32_t status_ = 0;
    std::string message_;
};

std::optional<int64_t> Diagnosis::walk(ZNode* n, int32_t parent_type) {
    if (zkind::is_leaf(n->type)) {
        if (n->type != Z_NAME) return n->vlen;
        const table::Column* c = find(name_of(n));
        if (c == nullptr) return fail(table::kUnknownColumn, "unknown column '" + name_of(n) + "'");
        return c->kind == table::Kind::kNumeric ? -8 : c->bytes();
    }
    if ((zkind::is_comparison(n->type) || zkind::is_colon_comparison(n->type)) && n->u.op.nargs > 2)
        return chain(n);
    std::vector<Operand> ops;
    for (ArgCursor it(n); !it.done(); it.next()) {
        if (it.get() == nullptr) continue;  // the resolver skips empty slots
        const std::optional<int64_t> v = walk(it.get(), n->type);
        if (!v) return v;
        ops.push_back({it.get(), *v});
    }
    if (n->type == Z_FLST) return call(n, ops);
    return type_operator(n->type, ops, parent_type);
}

// a < b <= c: the resolver makes it a < b AND b <= c (the second b a copy) and resolves
// each comparison in turn; operand k >= 2 is a comparison holding the next term.
std::optional<int64_t> Diagnosis::chain(ZNode* n) {
    ZNode* left = nullptr;
    for (ArgCursor it(n); !it.done(); it.next()) {
        ZNode* term = it.get();
        int32_t type = n->type;
        if (it.index() >= 2) {
            if (term == nullptr || zkind::is_leaf(term->type) || term->u.op.nargs < 1) continue;
            type = term->type;
            term = term->u.op.args[0];
        }
        if (it.index() == 0) {
            left = term;
            continue;
        }
        std::vector<Operand> ops;
        for (ZNode* side : {left, term}) {
            if (side == nullptr) continue;
            const std::optional<int64_t> v = walk(side, type);
            if (!v) return v;
            ops.push_back({side, *v});
        }
        if (!type_operator(type, ops, Z_LAND)) return std::nullopt;
        left = term;
    }
    return -8;
}

// A call: only UPCASE of one argument binds. A character constant argument folds the call
// into a constant (and the resolver types it no further); a numeric one is refused.
std::optional<int64_t> Diagnosis::call(ZNode* n, const std::vector<Operand>& ops) {
    const ZNode* leaf = n->u.op.nargs > 0 ? n->u.op.args[0] : nullptr;
    if (leaf == nullptr || ops.empty() || ops.front().node != leaf)
        return fail(ZORV_RESOLVE_FUNCTION, "a function call names no function");
    const std::string name = name_of(leaf);
    const int32_t given = n->u.op.nargs - 1;
    if (name != kUpcase)
        return fail(ZORV_RESOLVE_FUNCTION,
                    "unknown function '" + name + "' (UPCASE is the only one)");
    if (given != kUpcaseArgs)
        return fail(ZORV_RESOLVE_FUNCTION,
                    std::string(kUpcase) + " takes 1 argument, not " + std::to_string(given));
    if (ops.size() < 2) return fail(ZORV_RESOLVE_FUNCTION, "UPCASE has an empty argument");
    const Operand& arg = ops[1];
    if (arg.node->type == Z_LITC) return arg.vlen;
    if (arg.node->type == Z_LITN || arg.vlen < 0)
        return fail(ZORV_RESOLVE_FUNCTION,
                    "UPCASE needs a character argument, but " + describe(arg));
    if (!reserve(4 * arg.vlen))
        return fail(ZORV_RESOLVE_TOO_LONG,
                    "the clause needs more scratch space than an evaluation may have (2 GiB)");
    return type_operator(Z_FLST, ops, 0);
}

std::optional<int64_t> Diagnosis::type_operator(int32_t type, const std::vector<Operand>& ops,
                                                int32_t parent_type) {
    const Rule rule = rule_of(type);
    size_t r = 0;
    while (r < ops.size() && ops[r].vlen == 0) ++r;
    int64_t ref = r < ops.size() ? ops[r].vlen : 0;
    const std::string op = quoted(type);

    if (rule == Rule::Arithmetic) {
        if (ref > 0)
            return fail(ZORV_RESOLVE_NOT_NUMERIC,
                        op + " needs numeric operands, but " + describe(ops[r]));
        ref = -8;
    } else if (rule == Rule::Character && ref < 0) {
        return fail(ZORV_RESOLVE_NOT_CHARACTER,
                    op + " needs character operands, but " + describe(ops[r]));
    } else if (rule == Rule::Colon && ref < 0) {
        return fail(ZORV_RESOLVE_COLON_NUMERIC, op + " compares character values, but " +
                                                    describe(ops[r]) + "; for numbers write " +
                                                    quoted(type - zkind::kColonStep));
    }

    if (rule != Rule::Logical) {
        for (size_t i = r + 1; i < ops.size(); ++i) {
            const int64_t v = ops[i].vlen;
            if ((v < 0) != (ref < 0)) {
                if (rule == Rule::Arithmetic)
                    return fail(ZORV_RESOLVE_NOT_NUMERIC,
                                op + " needs numeric operands, but " + describe(ops[i]));
                if (rule == Rule::Character)
                    return fail(ZORV_RESOLVE_NOT_CHARACTER,
                                op + " needs character operands, but " + describe(ops[i]));
                const std::string what = type == Z_SET ? "the list of " + quoted(parent_type) +
                                                             " needs values of one kind"
                                                       : op + " needs operands of one kind";
                return fail(ZORV_RESOLVE_MIXED,
                            what + ", but " + describe(ops[r]) + " and " + describe(ops[i]));
            }
            if (type == Z_CONC)
                ref += v;
            else if (rule == Rule::Widest && ((ref < 0 && v < ref) || (ref > 0 && v > ref)))
                ref = v;
        }
    }
    if (ref > kLongestValue)
        return fail(ZORV_RESOLVE_TOO_LONG,
                    op + " would make a value of " + std::to_string(ref / 4) +
                        " characters; values hold at most " + std::to_string(kLongestValue / 4));
    if (type == Z_CONC && ref > kInlineResult && !reserve(ref))
        return fail(ZORV_RESOLVE_TOO_LONG,
                    "the clause needs more scratch space than an evaluation may have (2 GiB)");
    return zkind::is_boolean_valued(type) ? -8 : ref;
}

// What an operand is, for a message: "city is a character column", "'abc' is a character
// constant", "the result of '+' is a number".
std::string Diagnosis::describe(const Operand& op) const {
    const ZNode* n = op.node;
    const bool numeric = op.vlen < 0;
    switch (n->type) {
        case Z_NAME: {
            const table::Column* c = find(name_of(n));
            const std::string name = c == nullptr ? name_of(n) : c->name;
            if (!numeric) return name + " is a character column";
            // Without a row to learn from, a column is numeric unless its header says more.
            if (c != nullptr && !c->typed && no_rows_)
                return name + " is a numeric column (the table has no rows to show its kind; " +
                       "a header cell " + name + ":char makes it a character column)";
            return name + " is a numeric column";
        }
        case Z_LITN: {
            static const char* const tags[] = {nullptr, "a date constant", "a time constant",
                                               "a datetime constant"};
            if (n->u.litn.tag >= 1 && n->u.litn.tag <= 3)
                return std::string(tags[n->u.litn.tag]) + " is a number";
            if (std::isnan(n->u.litn.num)) return "a missing value is a number";
            char text[40];
            std::snprintf(text, sizeof text, "%g", n->u.litn.num);
            return std::string(text) + " is a number";
        }
        case Z_LITC: {
            std::string text;
            const int32_t chars = n->u.litc.slen / 4;
            for (int32_t k = 0; k < chars && static_cast<size_t>(k) < kShownChars; ++k) {
                char bytes[4];
                text.append(bytes, static_cast<size_t>(utf8::encode(n->u.litc.str[k], bytes)));
            }
            if (static_cast<size_t>(chars) > kShownChars) text += "...";
            return "'" + text + "' is a character constant";
        }
        case Z_SET:
            return numeric ? "the list holds numbers" : "the list holds characters";
        case Z_FLST:
            return "UPCASE(...) gives characters";
        default:
            break;
    }
    if (zkind::is_operator(n->type))
        return "the result of " + quoted(n->type) +
               (numeric ? " is a number" : " is a character value");
    return "an operand of type " + std::to_string(n->type) + " has no value";
}

// The status in general words, when the walk finds no operator to blame.
std::string general(int32_t status) {
    switch (status) {
        case ZORV_RESOLVE_FUNCTION:
            return "a function call cannot be resolved: an unknown function, a wrong number of "
                   "arguments, or a number given to UPCASE";
        case ZORV_RESOLVE_COLON_NUMERIC:
            return "a colon comparison or IN : has numeric operands; colon forms compare "
                   "character values";
        case ZORV_RESOLVE_NOT_NUMERIC:
            return "an arithmetic operator has an operand that is not numeric";
        case ZORV_RESOLVE_NOT_CHARACTER:
            return "a character operator (||, LIKE, CONTAINS, =*) has a numeric operand";
        case ZORV_RESOLVE_MIXED:
            return "an operator has operands of different kinds (numbers and characters mixed)";
        case ZORV_RESOLVE_NO_MEMORY:
            return "out of memory while a chained comparison was split";
        case ZORV_RESOLVE_TOO_LONG:
            return "a value longer than 8191 characters, or more scratch space than an "
                   "evaluation may have (2 GiB)";
        default:
            return "the clause could not be resolved (status " + std::to_string(status) + ")";
    }
}

// The message for a status, given the columns the names bind to.
std::string failure_of(int32_t status, ZNode* parsed_root,
                       const std::vector<table::Column>& columns, bool no_rows) {
    if (status == ZORV_RESOLVE_NO_MEMORY || parsed_root == nullptr) return general(status);
    Diagnosis d(columns, no_rows);
    if (!d.walk(parsed_root, 0) && d.status() == status) return d.message();
    return general(status);
}

}  // namespace

std::string resolve_failure(int32_t status, ZNode* parsed_root, const table::Table& t) {
    return failure_of(status, parsed_root, t.columns(), t.row_count() == 0);
}

std::string resolve_failure(int32_t status, ZNode* parsed_root,
                            const std::vector<table::Column>& columns) {
    return failure_of(status, parsed_root, columns, false);
}

}  // namespace zorv::cli

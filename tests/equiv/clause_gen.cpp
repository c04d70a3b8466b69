// The random tables and clauses of the equivalence test. Every operator family of the
// language is drawn: AND, OR, NOT; comparisons in all spellings, plain and with the colon;
// IN and NOT IN lists (numeric and character, unsorted, with duplicates, now and then
// longer than one node's slots); IN with the colon; BETWEEN with its bounds in either
// order; IS MISSING / IS NULL; CONTAINS; arithmetic, power, unary minus, MIN and MAX;
// concatenation and UPCASE.
//
// A few clause shapes are kept out: those whose answers the transformer changes by design,
// and those of a disagreement still open (see the test's fixed clauses). Each exclusion is
// made where the shape would be drawn, with its reason.
#include "tests/equiv/clause_gen.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "tests/common/tree_text.h"

namespace equiv {

namespace {

// Characters of the generated texts, weighted by repetition: lower and upper case, the
// blank, a character below it (tab), characters just above it, a quote, one beyond ASCII.
const std::u32string kAlphabet = U"aaaabbbAABB    \t!'\u00e9~";

const std::vector<double> kNumbers = {-2, -1, 0, 0.5, 1, 2, 3, 10, -0.0, 0.25, 1e300, -1e300};
const std::vector<int> kMissingRanks = {1, 2, 3, 4, 28};

char32_t random_char(Rng& rng) {
    return kAlphabet[static_cast<size_t>(rng.below(static_cast<int>(kAlphabet.size())))];
}

std::u32string random_text(Rng& rng, int longest) {
    std::u32string s(static_cast<size_t>(rng.below(longest + 1)), U' ');
    for (char32_t& c : s) c = random_char(rng);
    return s;
}

char32_t flip_case(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 32;
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c == U'\u00e9') return U'\u00c9';
    return c;
}

// A variant of s that the evaluator must tell apart from it, or must not: trailing blanks
// taken off or added, one character's case changed, cut to a prefix, one character more,
// the last character replaced by one just below or above the blank.
std::u32string perturb(Rng& rng, std::u32string s) {
    switch (rng.below(6)) {
        case 0:
            while (!s.empty() && s.back() == U' ') s.pop_back();
            break;
        case 1:
            s.append(static_cast<size_t>(1 + rng.below(2)), U' ');
            break;
        case 2:
            if (!s.empty()) {
                const size_t i = static_cast<size_t>(rng.below(static_cast<int>(s.size())));
                s[i] = flip_case(s[i]);
            }
            break;
        case 3:
            s.resize(static_cast<size_t>(rng.below(static_cast<int>(s.size()) + 1)));
            break;
        case 4:
            s.push_back(random_char(rng));
            break;
        default:
            if (!s.empty()) s.back() = rng.chance(50) ? U'\t' : U'!';
            break;
    }
    return s;
}

bool below_blank(const std::u32string& s) {
    for (char32_t c : s)
        if (c < U' ') return true;
    return false;
}

bool padded_equal(const std::u32string& a, const std::u32string& b) {
    const std::u32string& longer = a.size() >= b.size() ? a : b;
    const std::u32string& shorter = a.size() >= b.size() ? b : a;
    if (longer.compare(0, shorter.size(), shorter) != 0) return false;
    for (size_t i = shorter.size(); i < longer.size(); ++i)
        if (longer[i] != U' ') return false;
    return true;
}

// Whether s is equal to some text of `used` when padded with blanks without being the same
// text: the pairs that the duplicate test under AND and OR merges by design.
bool padded_twin(const std::vector<std::u32string>& used, const std::u32string& s) {
    for (const std::u32string& t : used)
        if (t != s && padded_equal(t, s)) return true;
    return false;
}

std::string number_text(double v) {
    if (std::signbit(v)) return "- " + number_text(-v);
    char buf[40];
    if (v == std::floor(v) && v < 1e15)
        std::snprintf(buf, sizeof buf, "%.0f", v);
    else
        std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::string missing_text(int rank) {
    if (rank == 1) return "._";
    if (rank == 2) return ".";
    return std::string(".") + static_cast<char>('A' + rank - 3);
}

struct Spelling {
    const char* text;
    const char* negated;  // the same comparison written with a prefix NOT
};
// CEQ .. CGE in their spellings, plain and under a prefix NOT of the operator.
const std::vector<std::vector<Spelling>> kComparisons = {
    {{"=", "NOT <>"}, {"EQ", "^ NE"}},
    {{"<>", "NOT ="}, {"^=", "~ EQ"}, {"~=", "NOT EQ"}, {"NE", "^ ="}},
    {{"<", "NOT >="}, {"LT", "^ GE"}},
    {{"<=", "NOT >"}, {"LE", "~ GT"}},
    {{">", "NOT <="}, {"GT", "^ LE"}},
    {{">=", "NOT <"}, {"GE", "~ LT"}},
};

std::string comparison_op(Rng& rng) {
    const Spelling& s = rng.pick(kComparisons[static_cast<size_t>(rng.below(6))]);
    return rng.chance(15) ? s.negated : s.text;
}

// Kept out by design: a comparison of a character column with a constant longer than the
// column is narrowed on the assumption that the first non-blank character past the
// column's width is above the blank. Whether s may be compared with column col (-1: with
// none; -2: with every character column).
bool fits_column(const std::u32string& s, int col) {
    if (col == -1) return true;
    for (size_t c = 0; c < columns().size(); ++c) {
        if (columns()[c].numeric || (col >= 0 && static_cast<size_t>(col) != c)) continue;
        size_t i = static_cast<size_t>(columns()[c].width);
        while (i < s.size() && s[i] == U' ') ++i;
        if (i < s.size() && s[i] < U' ') return false;
    }
    return true;
}

}  // namespace

uint64_t Rng::next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::string literal(const std::u32string& s) {
    std::u32string q = U"'";
    for (char32_t c : s) {
        q += c;
        if (c == U'\'') q += c;
    }
    q += U'\'';
    return ztest::utf8(q.data(), static_cast<long>(q.size()));
}

std::vector<Row> random_table(Rng& rng) {
    const std::vector<Column>& cols = columns();
    const int count = 8 + rng.below(13);
    std::vector<Row> rows(static_cast<size_t>(count));
    for (Row& r : rows) {
        r.num.assign(cols.size(), 0.0);
        r.text.assign(cols.size(), U"");
    }
    for (size_t c = 0; c < cols.size(); ++c) {
        const Column& col = cols[c];
        // A few values per column that most rows repeat, so that rows and constants meet.
        std::vector<std::u32string> vocabulary;
        std::vector<double> numbers;
        for (int i = 0; i < 4; ++i) {
            vocabulary.push_back(random_text(rng, col.width));
            const int k = rng.below(100);
            numbers.push_back(k < 65   ? rng.pick(kNumbers)
                              : k < 85 ? missing(rng.pick(kMissingRanks))
                                       : static_cast<double>(rng.below(9) - 3));
        }
        for (Row& r : rows) {
            if (col.numeric) {
                double v = rng.chance(75) ? rng.pick(numbers) : rng.pick(kNumbers);
                if (col.holding == Holding::kShortened) {
                    // The row keeps the 4 most significant bytes only.
                    uint64_t bits;
                    std::memcpy(&bits, &v, sizeof bits);
                    bits &= 0xFFFFFFFF00000000ull;
                    std::memcpy(&v, &bits, sizeof v);
                }
                r.num[c] = v;
                continue;
            }
            std::u32string s = rng.chance(70) ? rng.pick(vocabulary) : random_text(rng, col.width);
            if (rng.chance(30)) s = perturb(rng, s);
            if (static_cast<int>(s.size()) > col.width) s.resize(static_cast<size_t>(col.width));
            if (!col.varying()) s.resize(static_cast<size_t>(col.width), U' ');
            r.text[c] = s;
        }
    }
    return rows;
}

ClauseGen::ClauseGen(Rng& rng, const std::vector<Row>& rows) : rng_(rng), rows_(rows) {}

std::string ClauseGen::clause() {
    focus_.clear();
    contains_.clear();
    colon_.clear();
    between_low_.clear();
    num_pool_.clear();
    // Kept out by design: the intersection of two ranges compares numeric bounds strictly
    // by literal kind (a date never against a number) while the other set routines compare
    // values, so all numeric constants of a clause are of one kind: now and then every one
    // a date, time or datetime constant (which the parser reads as 0 of that kind).
    kind_ = rng_.chance(4) ? 1 + rng_.below(3) : 0;
    text_pool_.clear();
    const int n = 1 + rng_.below(2);
    for (int i = 0; i < n; ++i) focus_.push_back(rng_.below(static_cast<int>(columns().size())));
    return boolean(1 + rng_.below(3));
}

int ClauseGen::pick_column() {
    if (rng_.chance(80)) return rng_.pick(focus_);
    return rng_.below(static_cast<int>(columns().size()));
}

int ClauseGen::pick_column(bool numeric) {
    std::vector<int> candidates;
    for (int c : focus_)
        if (columns()[static_cast<size_t>(c)].numeric == numeric) candidates.push_back(c);
    if (!candidates.empty() && rng_.chance(75)) return rng_.pick(candidates);
    for (size_t c = 0; c < columns().size(); ++c)
        if (columns()[c].numeric == numeric) candidates.push_back(static_cast<int>(c));
    return rng_.pick(candidates);
}

std::string ClauseGen::num_const(int col, std::string* key) {
    std::string ignored;
    if (!key) key = &ignored;
    if (kind_ != 0) {
        *key = std::to_string(kind_) + ":0";
        return kind_ == 1 ? "'1jan1960'd" : kind_ == 2 ? "'0:00't" : "'1jan1960:0:0'dt";
    }
    const int k = rng_.below(100);
    double v;
    if (col >= 0 && k < 60) {
        // Most constants come from a few values of the column's rows, the same few for
        // the whole clause, so that its comparisons meet one another and the rows.
        std::vector<double>& pool = num_pool_[col];
        if (pool.empty())
            for (int i = 0; i < 3; ++i)
                pool.push_back(
                    rows_[static_cast<size_t>(rng_.below(static_cast<int>(rows_.size())))]
                        .num[static_cast<size_t>(col)]);
        v = rng_.pick(pool);
    } else if (k < 85) {
        v = rng_.pick(kNumbers);
    } else if (k < 95) {
        v = missing(rng_.pick(kMissingRanks));
    } else {
        v = rng_.below(17) - 4;
    }
    const int rank = missing_rank(v);
    *key = rank ? "0:m" + std::to_string(rank) : "0:" + number_text(v == 0 ? 0.0 : v);
    return rank ? missing_text(rank) : number_text(v);
}

std::u32string ClauseGen::text_value(int col) {
    std::u32string s;
    if (col >= 0 && rng_.chance(70)) {
        std::vector<std::u32string>& pool = text_pool_[col];
        if (pool.empty())
            for (int i = 0; i < 3; ++i)
                pool.push_back(
                    rows_[static_cast<size_t>(rng_.below(static_cast<int>(rows_.size())))]
                        .text[static_cast<size_t>(col)]);
        s = rng_.pick(pool);
    } else if (rng_.chance(4)) {
        // Longer than any column and than a node's inline buffer.
        s = random_text(rng_, 8);
        for (int i = 0; i < 12; ++i) s += random_char(rng_);
    } else {
        s = random_text(rng_, col >= 0 ? columns()[static_cast<size_t>(col)].width + 1 : 3);
    }
    return rng_.chance(50) ? perturb(rng_, s) : s;
}

std::u32string ClauseGen::compared_text(int col) {
    for (;;) {
        std::u32string s = text_value(col);
        if (fits_column(s, col)) return s;
    }
}

ClauseGen::Expr ClauseGen::text_operand(const Expr& s, int depth, int constant_percent) {
    for (;;) {
        Expr k;
        if (rng_.chance(constant_percent)) {
            k.value = text_value(s.column);
            k.text = literal(k.value);
            k.constant = true;
        } else {
            k = text_expr(depth);
        }
        if (!k.constant || s.column == -1 || fits_column(k.value, s.column)) return k;
    }
}

ClauseGen::Expr ClauseGen::num_expr(int depth) {
    Expr e;
    if (depth <= 0 || rng_.chance(50)) {
        if (rng_.chance(55)) {
            e.column = pick_column(true);
            e.text = columns()[static_cast<size_t>(e.column)].name;
        } else {
            e.text = num_const(rng_.chance(50) ? pick_column(true) : -1);
            e.constant = true;
        }
        return e;
    }
    const Expr a = num_expr(depth - 1), b = num_expr(depth - 1);
    switch (rng_.below(12)) {
        case 0:
            e.text = "(" + a.text + " + " + b.text + ")";
            break;
        case 1:
            e.text = "(" + a.text + " - " + b.text + ")";
            break;
        case 2:
            e.text = "(" + a.text + " * " + b.text + ")";
            break;
        case 3:
            e.text = "(" + a.text + " / " + b.text + ")";
            break;
        case 4:
            e.text = "(" + a.text + " ** " + b.text + ")";
            break;
        case 5:
            e.text = "(" + a.text + " ** " + b.text + " ** " + num_expr(0).text + ")";
            break;
        case 6:
            if (a.negated) {
                // Kept out until it is settled (see the open disagreements of the test):
                // the transformer reads - - e as e, while the evaluator's minus turns every
                // missing value into the ordinary one. A minus right over a minus (a unary
                // plus, - -, counting as nothing) is not drawn unless e folds to a constant.
                e.text = "(" + a.text + " + " + b.text + ")";
                break;
            }
            e.text = "(- " + a.text + ")";
            e.constant = a.constant;
            e.negated = !a.constant;
            break;
        case 7:
            e.text = "(- - " + a.text + ")";
            e.constant = a.constant;
            e.negated = a.negated;
            break;
        case 8:
            e.text = "(" + a.text + " MIN " + b.text + ")";
            break;
        case 9:
            e.text = "(" + a.text + " MAX " + b.text + ")";
            break;
        case 10:
            // A predicate's value (1 or 0) in arithmetic. AND and OR are kept out of such
            // places: a one-operand AND/OR left by a merge is replaced by its operand,
            // which keeps the truth value but not the value.
            e.text = "(" + predicate(depth - 1, true) + ")";
            break;
        default:
            e.text = "(NOT " + a.text + ")";
            break;
    }
    return e;
}

ClauseGen::Expr ClauseGen::text_expr(int depth) {
    Expr e;
    if (depth <= 0 || rng_.chance(55)) {
        if (rng_.chance(60)) {
            e.column = pick_column(false);
            e.text = columns()[static_cast<size_t>(e.column)].name;
        } else {
            e.value = text_value(-1);
            e.text = literal(e.value);
            e.constant = true;
        }
        return e;
    }
    const Expr a = text_expr(depth - 1), b = text_expr(depth - 1);
    switch (rng_.below(5)) {
        case 0:
            e.text = "(" + a.text + " || " + b.text + ")";
            break;
        case 1:
            e.text = "(" + a.text + " !! " + b.text + " || " + text_expr(0).text + ")";
            break;
        case 2:
            // UPCASE of a constant is folded into a constant by the resolver.
            e.text = "UPCASE(" + a.text + ")";
            e.constant = a.constant;
            e.value = a.value;
            break;
        case 3:
            e.text = "(" + a.text + " MIN " + b.text + ")";
            break;
        default:
            e.text = "(" + a.text + " MAX " + b.text + ")";
            break;
    }
    return e;
}

ClauseGen::Expr ClauseGen::num_subject(int col, int depth) {
    if (depth > 0 && rng_.chance(20)) return num_expr(depth);
    Expr e;
    e.column = col;
    e.text = columns()[static_cast<size_t>(col)].name;
    return e;
}

ClauseGen::Expr ClauseGen::text_subject(int col, int depth) {
    if (depth > 0 && rng_.chance(20)) {
        Expr e;
        do e = text_expr(depth);
        while (e.constant);
        return e;
    }
    Expr e;
    e.column = col;
    e.text = columns()[static_cast<size_t>(col)].name;
    return e;
}

std::string ClauseGen::boolean(int depth) {
    const int r = rng_.below(100);
    if (depth <= 0 || r < 25) return predicate(depth, false);
    if (r < 55) return cluster(pick_column(), depth);
    if (r < 85) {
        const bool conj = rng_.chance(50);
        static const std::vector<std::string> ands = {" AND ", " AND ", " & "};
        static const std::vector<std::string> ors = {" OR ", " OR ", " | ", " ! "};
        const int n = 2 + rng_.below(4);
        std::string s = "(" + boolean(depth - 1);
        for (int i = 1; i < n; ++i) s += rng_.pick(conj ? ands : ors) + boolean(depth - 1);
        return s + ")";
    }
    if (r < 93) return "NOT (" + boolean(depth - 1) + ")";
    return bare_operand(depth);
}

std::string ClauseGen::cluster(int col, int depth) {
    static const std::vector<std::string> ands = {" AND ", " & "};
    static const std::vector<std::string> ors = {" OR ", " | "};
    const std::vector<std::string>& joins = rng_.chance(50) ? ands : ors;
    const bool numeric = columns()[static_cast<size_t>(col)].numeric;
    const std::string name = columns()[static_cast<size_t>(col)].name;
    // Now and then a long run, for the merges' ways with many operands and long sets.
    const int n = rng_.chance(5) ? 16 + rng_.below(30) : 2 + rng_.below(3);
    std::string s = "(";
    for (int i = 0; i < n; ++i) {
        if (i) s += rng_.pick(joins);
        const int r = rng_.below(100);
        auto constant = [&] { return numeric ? num_const(col) : literal(compared_text(col)); };
        if (depth > 1 && r < 12) {
            s += (rng_.chance(50) ? "NOT " : "") + cluster(col, depth - 1);
        } else if (r < 55) {
            s += name + " " + comparison_op(rng_) + " " + constant();
        } else if (r < 70) {
            std::string list = constant();
            for (int k = rng_.chance(5) ? 30 + rng_.below(40) : rng_.below(4); k > 0; --k)
                list += ", " + constant();
            s += name + (rng_.chance(35) ? " NOT IN (" : " IN (") + list + ")";
        } else if (r < 85) {
            // Constant bounds: a range, never kept as a BETWEEN.
            std::string lo_key, hi_key, lo, hi;
            do {
                lo = numeric ? num_const(col, &lo_key) : literal(text_value(col));
                hi = numeric ? num_const(col, &hi_key) : literal(text_value(col));
            } while (lo_key.substr(0, 1) != hi_key.substr(0, 1));
            s += name + (rng_.chance(30) ? " NOT BETWEEN " : " BETWEEN ") + lo + " AND " + hi;
        } else {
            s += numeric ? numeric_predicate(col, 0) : text_predicate(col, 0);
        }
    }
    return s + ")";
}

std::string ClauseGen::bare_operand(int depth) {
    static const std::vector<std::string> constants = {"0",   "1",   "7",   "0.5", ".",
                                                       "- 0", "'x'", "' '", "''",  "'\t'"};
    switch (rng_.below(6)) {
        case 0:
            return columns()[static_cast<size_t>(rng_.below(static_cast<int>(columns().size())))]
                .name;
        case 1:
            return rng_.pick(constants);
        case 2:
            return std::string("NOT ") +
                   columns()[static_cast<size_t>(pick_column(rng_.chance(50)))].name;
        case 3:
            // Two operands only: the duplicate test under AND and OR looks at the first two
            // operands of an operator, so two chains (X ** 2 ** 3, X ** 2 ** 1) that agree
            // on them would count as one by design.
            return "(" + num_expr(depth - 1).text + " + " + num_expr(depth - 1).text + ")";
        case 4:
            return "(" + text_expr(depth - 1).text + " || " + text_expr(depth - 1).text + ")";
        default:
            return "(" + num_expr(0).text + " ** " + num_expr(depth - 1).text + ")";
    }
}

std::string ClauseGen::predicate(int depth, bool value_position) {
    const int col = pick_column();
    const bool numeric = columns()[static_cast<size_t>(col)].numeric;
    if (!value_position && rng_.chance(6)) {
        // A chained comparison, split by the resolver into an AND. Every link compares
        // two neighbouring terms, so a text constant must fit every column.
        const Expr a = numeric ? num_subject(col, depth) : text_subject(col, depth);
        Expr any;
        any.column = -2;
        auto operand = [&] {
            if (numeric) return rng_.chance(60) ? num_const(col) : num_expr(depth).text;
            return text_operand(any, depth, 60).text;
        };
        std::string s = a.text + " " + comparison_op(rng_) + " " + operand();
        for (int i = rng_.below(2); i < 2; ++i) s += " " + comparison_op(rng_) + " " + operand();
        return s;
    }
    if (rng_.chance(8)) return "NOT (" + predicate(depth, value_position) + ")";
    return numeric ? numeric_predicate(col, depth) : text_predicate(col, depth);
}

std::string ClauseGen::numeric_predicate(int col, int depth) {
    const Expr s = num_subject(col, depth);
    const int r = rng_.below(100);
    if (r < 40) {
        const std::string k = rng_.chance(80) ? num_const(col) : num_expr(depth).text;
        if (rng_.chance(20)) return k + " " + comparison_op(rng_) + " " + s.text;
        return s.text + " " + comparison_op(rng_) + " " + k;
    }
    if (r < 56) {
        static const std::vector<std::string> forms = {" IN ", " IN ", " NOT IN ", " NOTIN ",
                                                       " ^ IN "};
        const int n = rng_.chance(6) ? 14 + rng_.below(50) : 1 + rng_.below(6);
        std::string list;
        std::vector<std::string> items;
        for (int i = 0; i < n; ++i) {
            items.push_back(!items.empty() && rng_.chance(20) ? rng_.pick(items) : num_const(col));
            list += (i ? (rng_.chance(50) ? ", " : " ") : "") + items.back();
        }
        return s.text + rng_.pick(forms) + "(" + list + ")";
    }
    if (r < 68) {
        std::string lo_key, hi_key;
        std::string lo;
        if (rng_.chance(85)) {
            lo = num_const(col, &lo_key);
        } else {
            // Not a constant, not even one that unary minus folds into a constant.
            Expr e;
            do e = num_expr(depth);
            while (e.constant);
            lo = e.text;
        }
        const std::string hi = rng_.chance(85) ? num_const(col, &hi_key) : num_expr(depth).text;
        // Kept out by design: a BETWEEN that stays a BETWEEN (a bound that is not a
        // constant, or constants of different literal kinds) counts as a duplicate of
        // another on the same column whose first bound is equal, whatever the second.
        const bool stays = lo_key.empty() || hi_key.empty() || lo_key[0] != hi_key[0];
        if (s.column >= 0 && stays && !lo_key.empty()) {
            std::set<std::string>& used = between_low_[s.column];
            if (!used.insert(lo_key).second) lo = "(" + lo + " + 0)";
        }
        return s.text + (rng_.chance(30) ? " NOT BETWEEN " : " BETWEEN ") + lo + " AND " + hi;
    }
    if (r < 78) {
        static const std::vector<std::string> forms = {" IS MISSING", " IS NULL", " IS NOT MISSING",
                                                       " IS ^ NULL", " IS ~ MISSING"};
        return s.text + rng_.pick(forms);
    }
    if (r < 92) return s.text + " " + comparison_op(rng_) + " " + num_expr(depth).text;
    return "NOT (" + numeric_predicate(col, depth) + ")";
}

std::string ClauseGen::text_predicate(int col, int depth) {
    const Expr s = text_subject(col, depth);
    const int bare = s.column;  // the column when the subject is one, else -1
    const int r = rng_.below(100);
    if (r < 28) {
        const std::string k = text_operand(s, depth, 80).text;
        if (rng_.chance(20)) return k + " " + comparison_op(rng_) + " " + s.text;
        return s.text + " " + comparison_op(rng_) + " " + k;
    }
    if (r < 44) {
        static const std::vector<std::string> ops = {
            "= :",  "EQ :", "<> :", "^= :", "NE :",    "< :",     "LT :",
            "<= :", "> :",  "GE :", ">= :", "NOT = :", "NOT < :", "^ > :"};
        std::string k;
        if (rng_.chance(80)) {
            // Kept out by design: an empty constant of a colon comparison is read as one
            // blank; and two colon comparisons of a column whose constants are equal
            // only when padded with blanks count as duplicates.
            std::u32string t;
            std::vector<std::u32string>& used = colon_[bare];
            do t = text_value(col);
            while (t.empty() || (bare >= 0 && padded_twin(used, t)));
            if (bare >= 0) used.push_back(t);
            k = literal(t);
        } else {
            Expr e;
            do e = text_expr(depth);
            while (e.constant);
            k = e.text;
        }
        return s.text + " " + rng_.pick(ops) + " " + k;
    }
    if (r < 58) {
        static const std::vector<std::string> forms = {" IN ", " IN ", " NOT IN ", " NOTIN ",
                                                       " ~ IN "};
        const int n = rng_.chance(6) ? 14 + rng_.below(50) : 1 + rng_.below(6);
        std::vector<std::u32string> items;
        std::string list;
        for (int i = 0; i < n; ++i) {
            items.push_back(!items.empty() && rng_.chance(20) ? rng_.pick(items)
                                                              : compared_text(bare));
            list += (i ? (rng_.chance(50) ? ", " : " ") : "") + literal(items.back());
        }
        return s.text + rng_.pick(forms) + "(" + list + ")";
    }
    if (r < 66) {
        static const std::vector<std::string> forms = {" IN : ", " NOT IN : ", " NOTIN : "};
        const int n = 1 + rng_.below(6);
        std::vector<std::u32string> items;
        std::string list;
        for (int i = 0; i < n; ++i) {
            // Kept out by design: the sort of a colon IN list drops one of two constants
            // that are equal when padded with blanks. Kept out until it is settled: a
            // character below the blank in such a list (see the open disagreements of
            // the test).
            std::u32string t;
            do t = !items.empty() && rng_.chance(20) ? rng_.pick(items) : text_value(col);
            while (padded_twin(items, t) || below_blank(t));
            items.push_back(t);
            list += (i ? (rng_.chance(50) ? ", " : " ") : "") + literal(t);
        }
        return s.text + rng_.pick(forms) + "(" + list + ")";
    }
    if (r < 75) {
        const bool lo_const = rng_.chance(85), hi_const = rng_.chance(85);
        std::u32string lo_text = text_value(col);
        std::string lo = literal(lo_text);
        if (!lo_const) {
            Expr e;
            do e = text_expr(depth);
            while (e.constant);
            lo = e.text;
        }
        const std::string hi = hi_const ? literal(text_value(col)) : text_expr(depth).text;
        // Kept out by design, as for numbers: a BETWEEN that stays one is a duplicate of
        // another on the column with an equal (blank-padded) first bound.
        if (bare >= 0 && lo_const && !hi_const) {
            while (!lo_text.empty() && lo_text.back() == U' ') lo_text.pop_back();
            std::set<std::string>& used = between_low_[bare];
            if (!used.insert(literal(lo_text)).second) lo = "(" + lo + " || '')";
        }
        return s.text + (rng_.chance(30) ? " NOT BETWEEN " : " BETWEEN ") + lo + " AND " + hi;
    }
    if (r < 82) {
        static const std::vector<std::string> forms = {" IS NULL", " IS MISSING", " IS NOT NULL",
                                                       " IS ~ MISSING"};
        return s.text + rng_.pick(forms);
    }
    if (r < 94) {
        static const std::vector<std::string> forms = {" CONTAINS ", " ? ", " NOT CONTAINS ",
                                                       " NOT ? ", " ^ CONTAINS "};
        if (rng_.chance(20)) {
            Expr p;
            do p = text_expr(depth);
            while (p.constant);
            return s.text + rng_.pick(forms) + p.text;
        }
        // Kept out by design: two CONTAINS tests of a column whose patterns differ only in
        // trailing blanks count as duplicates, though trailing blanks of a pattern count.
        std::u32string p;
        std::vector<std::u32string>& used = contains_[bare];
        do p = rng_.chance(50) ? random_text(rng_, 2) : text_value(col);
        while (bare >= 0 && padded_twin(used, p));
        if (bare >= 0) used.push_back(p);
        return s.text + rng_.pick(forms) + literal(p);
    }
    return s.text + " " + comparison_op(rng_) + " " + text_operand(s, depth, 0).text;
}

}  // namespace equiv

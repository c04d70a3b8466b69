// Random tables and random clauses over them, as text for the real parser. Constants are
// drawn near the table's values and most predicates of a clause test one or two focus
// columns, so that the transformer's merges (comparisons of one column under AND and OR,
// IN lists with ranges and with one another) fire often.
#ifndef ZORV_TESTS_EQUIV_CLAUSE_GEN_H
#define ZORV_TESTS_EQUIV_CLAUSE_GEN_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/equiv/table_model.h"

namespace equiv {

// A small deterministic generator (splitmix64), the same on every platform.
class Rng {
  public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t next();
    int below(int n) { return static_cast<int>(next() % static_cast<uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename T>
    const T& pick(const std::vector<T>& v) {
        return v[static_cast<size_t>(below(static_cast<int>(v.size())))];
    }

  private:
    uint64_t state_;
};

// 8 to 20 rows of values: numbers near a few small constants, missing values of several
// kinds, characters that differ by case, trailing blanks, prefixes and characters below
// the blank.
std::vector<Row> random_table(Rng& rng);

// One random clause over the table's columns.
class ClauseGen {
  public:
    ClauseGen(Rng& rng, const std::vector<Row>& rows);
    std::string clause();

  private:
    struct Expr {
        std::string text;
        int column = -1;        // the column when the expression is a bare column
        bool constant = false;  // a literal, possibly under unary minus
        std::u32string value;   // a text constant's characters, before any UPCASE
        bool negated = false;   // a unary minus over something that is not a constant
    };

    std::string boolean(int depth);
    // A predicate; in a value position (an operand of arithmetic) never a chain, which
    // the resolver turns into an AND.
    std::string predicate(int depth, bool value_position);
    std::string numeric_predicate(int col, int depth);
    std::string text_predicate(int col, int depth);
    std::string bare_operand(int depth);
    // An AND or OR of tests of one column against constants: the merges' home ground.
    std::string cluster(int col, int depth);
    Expr num_expr(int depth);
    Expr text_expr(int depth);
    Expr num_subject(int col, int depth);
    Expr text_subject(int col, int depth);
    // The other side of a comparison with s: a constant (with the given chance) or an
    // expression; one that is or folds to a constant fits s's column (see compared_text).
    Expr text_operand(const Expr& s, int depth, int constant_percent);

    int pick_column();  // a focus column mostly, of either kind
    int pick_column(bool numeric);
    // A numeric constant as clause text, near the values of column col (or of any
    // numeric column when col is -1); key receives its identity for duplicate checks.
    std::string num_const(int col, std::string* key = nullptr);
    std::u32string text_value(int col);
    // A text constant for comparisons with column col (-1 for none, -2 for every text
    // column): see fits_column.
    std::u32string compared_text(int col);

    Rng& rng_;
    const std::vector<Row>& rows_;
    std::vector<int> focus_;
    // Constants already used per column, to keep out the pairs that the transformer's
    // duplicate test treats as one by design.
    std::map<int, std::vector<std::u32string>> contains_, colon_;
    std::map<int, std::set<std::string>> between_low_;
    std::map<int, std::vector<double>> num_pool_;
    int kind_ = 0;  // the literal kind of every numeric constant of the clause
    std::map<int, std::vector<std::u32string>> text_pool_;
};

// Clause text of a character value: quoted, quotes doubled.
std::string literal(const std::u32string& s);

}  // namespace equiv

#endif

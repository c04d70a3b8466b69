// A plain evaluator written from the evaluation rules, for checking the library's: it reads
// column values from the row's values by name, searches IN lists linearly (so it needs no
// sorted sets and evaluates a tree straight from the resolver), and evaluates list
// elements and range bounds as expressions. It knows every node type a resolved or
// transformed clause of the equivalence test holds; any other is reported, not guessed.
#ifndef ZORV_TESTS_EQUIV_REFERENCE_H
#define ZORV_TESTS_EQUIV_REFERENCE_H

#include <string>

#include "tests/equiv/table_model.h"
#include "zorv/zorv.h"

namespace equiv {

struct Value {
    bool numeric = true;
    double num = 0;
    std::u32string text;
};

class Reference {
  public:
    explicit Reference(const Row& row) : row_(row) {}

    // The truth value of the tree for the row.
    bool holds(const ZNode* n) {
        Value v;
        return eval(n, v);
    }

    // Evaluates n into v and returns its truth value.
    bool eval(const ZNode* n, Value& v);

    // Set when the tree held something the reference has no rule for.
    const std::string& trouble() const { return trouble_; }

  private:
    double number(const ZNode* n);
    std::u32string text(const ZNode* n);
    bool in_list(const ZNode* x, const ZNode* list, bool truncated);
    bool refuse(const ZNode* n, Value& v);

    const Row& row_;
    std::string trouble_;
};

// The power function by its rules: x to the power y, the ordinary missing value where it
// cannot be computed.
double power(double x, double y);

}  // namespace equiv

#endif

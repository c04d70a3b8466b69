// A small reference evaluator for numeric clauses, written from the evaluator's rules
// (missing values ordered below every number by rank, comparisons by order masks, IN lists
// of constants and ranges, BETWEEN with its bounds in either order). The transformer's
// tests use it to check that a rewritten tree selects exactly the rows the original did.
#ifndef ZORV_TESTS_TRAN_TRUTH_MODEL_H
#define ZORV_TESTS_TRAN_TRUTH_MODEL_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/common/tree_text.h"
#include "zorv/zorv.h"

namespace truthmodel {

// Values of the columns, by name.
using Row = std::map<std::string, double>;

inline int rank(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    if ((bits >> 48) != 0xFFFF) return 0;
    const int r = (256 - static_cast<int>((bits >> 40) & 0xFF)) % 256;
    return r >= 1 && r <= 28 ? r : 2;
}

// The evaluator's order code: 1 less, 2 equal, 4 greater.
inline int order(double a, double b) {
    const int ra = rank(a), rb = rank(b);
    if (ra == 0 && rb == 0) return a < b ? 1 : a > b ? 4 : 2;
    if (ra == 0) return 4;
    if (rb == 0) return 1;
    return ra < rb ? 1 : ra == rb ? 2 : 4;
}

// Order masks of CEQ..CGE.
constexpr int kMask[6] = {2, 5, 1, 3, 4, 6};

inline ZNode* operand(const ZNode* n, int i) {
    const ZNode* b = n;
    for (; i >= Z_NODE_ARGS; i -= Z_NODE_ARGS) b = b->u.op.next;
    return b->u.op.args[i];
}

inline double value(const ZNode* n, const Row& row) {
    if (n->type == Z_LITN) return n->u.litn.num;
    if (n->type == Z_NAME) return row.at(std::string(n->u.nm.name, n->u.nm.namelen));
    ADD_FAILURE() << "no value for " << ztest::render(n);
    return 0;
}

inline bool in_list(double v, const ZNode* list, const Row& row) {
    for (int i = 0; i < list->u.op.nargs; ++i) {
        const ZNode* e = operand(list, i);
        if (!e) continue;
        if (e->type == Z_LITN) {
            if (order(v, e->u.litn.num) == 2) return true;
            continue;
        }
        const int lo = order(v, value(operand(e, 0), row));
        const int hi = order(v, value(operand(e, 1), row));
        const bool low_in = e->type == Z_RANB || e->type == Z_RANL;
        const bool high_in = e->type == Z_RANB || e->type == Z_RANH;
        if ((lo == 4 || (lo == 2 && low_in)) && (hi == 1 || (hi == 2 && high_in))) return true;
    }
    return false;
}

inline bool holds(const ZNode* n, const Row& row) {
    switch (n->type) {
        case Z_LITN:
            return rank(n->u.litn.num) == 0 && n->u.litn.num != 0;
        case Z_LAND:
        case Z_LOR: {
            const bool all = n->type == Z_LAND;
            for (int i = 0; i < n->u.op.nargs; ++i)
                if (const ZNode* a = operand(n, i); a && holds(a, row) != all) return !all;
            return all;
        }
        case Z_LNOT:
            return !holds(operand(n, 0), row);
        case Z_IN:
        case Z_NIN:
            return in_list(value(operand(n, 0), row), operand(n, 1), row) == (n->type == Z_IN);
        case Z_BETW:
        case Z_NBTW: {
            const double x = value(operand(n, 0), row);
            double lo = value(operand(n, 1), row), hi = value(operand(n, 2), row);
            if (order(lo, hi) == 4) std::swap(lo, hi);
            const bool inside = order(x, lo) != 1 && order(x, hi) != 4;
            return inside == (n->type == Z_BETW);
        }
        default:
            if (n->type >= Z_CEQ && n->type <= Z_CGE)
                return (order(value(operand(n, 0), row), value(operand(n, 1), row)) &
                        kMask[n->type - Z_CEQ]) != 0;
            ADD_FAILURE() << "no truth for " << ztest::render(n);
            return false;
    }
}

// The truth of the tree for every row.
inline std::vector<bool> truth_table(const ZNode* n, const std::vector<Row>& rows) {
    std::vector<bool> out;
    for (const Row& r : rows) out.push_back(holds(n, r));
    return out;
}

}  // namespace truthmodel

#endif

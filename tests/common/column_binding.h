// A name-binding callback over a fixed table of columns, for tests that evaluate clauses on
// rows of their own layout. Header-only, so the fuzz and thread trees use it without the
// rest of the test kit.
#ifndef ZORV_TESTS_COMMON_COLUMN_BINDING_H
#define ZORV_TESTS_COMMON_COLUMN_BINDING_H

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "zorv/zorv.h"

namespace ztest {

// One column as the binding leaves it in a NAME leaf: vlen -8 or -L numeric, otherwise
// characters in bytes; the row offset (negative to test the absolute-value rule), colmode
// and an optional fetch callback.
struct Column {
    std::string_view name;
    int16_t vlen;
    int32_t coloff;
    uint32_t colmode;
    ZFetch fetch;
};

// Status for a name that no column has: any other name is refused, so that a mistyped
// clause fails loudly.
inline constexpr int32_t kUnknownName = 99;

// Binds leaf to the column of its name, or returns kUnknownName.
inline int32_t bind_column(std::span<const Column> columns, ZNode* leaf) {
    const std::string_view name(leaf->u.nm.name, static_cast<size_t>(leaf->u.nm.namelen));
    for (const Column& c : columns) {
        if (name != c.name) continue;
        leaf->vlen = c.vlen;
        leaf->u.nm.colw = static_cast<int16_t>(c.vlen < 0 ? 8 : c.vlen);
        leaf->u.nm.coloff = c.coloff;
        leaf->u.nm.colmode = c.colmode;
        leaf->u.nm.fetch = c.fetch;
        return 0;
    }
    return kUnknownName;
}

}  // namespace ztest

#endif

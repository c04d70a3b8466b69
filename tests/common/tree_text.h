// The one textual notation the tests use for trees: TYPE(operands) for operators and
// "TYPE value" for leaves, e.g. "LAND(CGT(NAME X,LITN 5),IN(NAME Y,SET(LITN 1,RANB(LITN 2,LITN
// 4))))". Numbers print as %g (a missing value as ".", "._" or ".A".."Z"), character constants
// quoted with their exact length kept (trailing blanks show), an empty slot as "-".
#ifndef ZORV_TESTS_COMMON_TREE_TEXT_H
#define ZORV_TESTS_COMMON_TREE_TEXT_H

#include <string>

#include "zorv/zorv.h"

namespace ztest {

// The name the library's node-name table gives a type code, or the code in digits.
std::string type_name(int code);

// Wide characters as UTF-8.
std::string utf8(const NQWChar* s, long n);

// Renders the subtree at n. Operands are reached through the node's blocks directly, so the
// rendering is linear in the tree's size whatever the list lengths.
std::string render(const ZNode* n);

}  // namespace ztest

#endif

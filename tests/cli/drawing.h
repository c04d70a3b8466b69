// Reads a drawing of the tree printer back into a compact one-line form, so that tests can
// state the tree a clause should give as TYPE(contents) leaves and TYPE[operands] operators,
// e.g. "LAND[CGT[NAME(X),LITN(5)],LNOT[NAME(Y)]]". Character constants keep their quoted
// text and drop the hex of their storage; empty slots read as "empty".
#ifndef ZORV_TESTS_CLI_DRAWING_H
#define ZORV_TESTS_CLI_DRAWING_H

#include <string>
#include <vector>

// Returns the compact form, or a text starting with "bad drawing" when the lines do not
// follow the printer's layout.
std::string compact_tree(const std::vector<std::string>& lines);

#endif

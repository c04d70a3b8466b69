// Reads a drawing of the tree printer back into the tests' one tree notation (that of
// tests/common/tree_text.h), e.g. "LAND(CGT(NAME X,LITN 5),LNOT(NAME Y))", so that the
// trees the command draws are stated the way every other test states trees. The drawing
// holds less than the node: a number shows without its date or time kind, every missing
// value reads as ".", a character constant longer than the printer shows is cut, and the
// leaves other than names, numbers and strings show their type alone.
#ifndef ZORV_TESTS_CLI_DRAWING_H
#define ZORV_TESTS_CLI_DRAWING_H

#include <string>
#include <vector>

// Returns the tree, or a text starting with "bad drawing" when the lines do not follow the
// printer's layout.
std::string read_drawing(const std::vector<std::string>& lines);

#endif

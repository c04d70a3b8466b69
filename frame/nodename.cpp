/* The node-type names: every row of zorv/nodetypes.def, range markers included, in its
 * order, ending with the code 999. A lookup takes the first row with a code, so a range
 * marker shows only for a code that has no name of its own. */
#include "frame/frame.h"

#define ZORV_WIDE(text) U##text
#define ZORV_NODE(name, code) {ZORV_WIDE(#name), Z_##name},

const ZNodeName nodename[] = {
#include "zorv/nodetypes.def"
    {U"", 999},
};

#undef ZORV_NODE
#undef ZORV_WIDE

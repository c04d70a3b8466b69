// Renders trees in the tests' notation from the node records themselves, naming types
// through the library's own node-name table.
#include "tests/common/tree_text.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "frame/frame.h"
#include "frame/nodeutil.h"
#include "support/utf8.h"

namespace ztest {

std::string type_name(int code) {
    for (const ZNodeName* row = nodename; row->code != 999; ++row)
        if (row->code == code)
            return utf8(row->name,
                        static_cast<long>(std::char_traits<char32_t>::length(row->name)));
    return std::to_string(code);
}

std::string utf8(const NQWChar* s, long n) {
    std::string out;
    char buf[4];
    for (long i = 0; i < n; ++i) out.append(buf, static_cast<size_t>(utf8::encode(s[i], buf)));
    return out;
}

namespace {

// Missing values are NaNs whose top 16 bits are all ones; byte 5 tells which one.
std::string number(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    if ((bits >> 48) == 0xFFFF) {
        const int rank = (256 - static_cast<int>((bits >> 40) & 0xFF)) % 256;
        if (rank == 1) return "._";
        if (rank >= 3 && rank <= 28) return std::string(".") + static_cast<char>('A' + rank - 3);
        return ".";
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

}  // namespace

std::string render(const ZNode* n) {
    if (n == nullptr) return "-";
    const std::string name = type_name(n->type);
    switch (n->type) {
        case Z_LITN:
            return name + " " + number(n->u.litn.num);
        case Z_LITC:
            return name + " '" + utf8(n->u.litc.str, n->u.litc.slen / 4) + "'";
        case Z_NAME:
        case Z_FNAM:
            return name + " " + std::string(n->u.nm.name, static_cast<size_t>(n->u.nm.namelen));
        default:
            break;
    }
    // A NULL node with arguments is an operator that the actions left untyped.
    if (n->type <= Z_LFHI && (n->type != Z_NULL || n->u.op.nargs == 0)) return name;
    std::string s = name + "(";
    for (ArgCursor c(const_cast<ZNode*>(n)); !c.done(); c.next())
        s += (c.index() ? "," : "") + render(c.get());
    return s + ")";
}

}  // namespace ztest

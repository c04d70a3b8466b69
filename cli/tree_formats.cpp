// The JSON and Graphviz forms of a clause tree (schema and labels: tree_formats.h). Both
// walk the tree once, in preorder, operands through ArgCursor: linear in the nodes.
#include "cli/tree_formats.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "frame/missing.h"
#include "frame/nodeutil.h"
#include "support/utf8.h"

namespace zorv::cli {
namespace {

// Type names by code, the first row of nodetypes.def for each code winning as in the
// printer's lookup, so that range markers show only for codes without a name of their own.
struct TypeRow {
    const char* name;
    int32_t code;
};
constexpr TypeRow kTypeRows[] = {
#define ZORV_NODE(name, code) {#name, code},
#include "zorv/nodetypes.def"
#undef ZORV_NODE
};
constexpr int32_t kNamedCodes = 1000;  // every code of the table lies below
constexpr auto kTypeNames = [] {
    std::array<const char*, kNamedCodes> names{};
    for (const TypeRow& row : kTypeRows)
        if (row.code >= 0 && row.code < kNamedCodes && names[row.code] == nullptr)
            names[row.code] = row.name;
    return names;
}();

std::string type_name(int32_t code) {
    if (code >= 0 && code < kNamedCodes && kTypeNames[code] != nullptr) return kTypeNames[code];
    return std::to_string(code);
}

constexpr int32_t kLitcShown = 29;  // the drawing shows a character constant whole up to this
constexpr int32_t kLitcCut = 30;    // and this many characters of a longer one

void append_utf8(std::string& out, char32_t c) {
    char bytes[4];
    out.append(bytes, static_cast<size_t>(utf8::encode(c, bytes)));
}

// An 8-bit name of the node (the host's 8-bit encoding is UTF-8 here) as wide characters,
// decoded as the drawing's formatter does: a malformed byte reads as '?'.
std::u32string decode_name(const char* bytes, int32_t len, int32_t room) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    const unsigned char* end = p + std::clamp(len, 0, room);
    std::u32string out;
    while (p < end) {
        char32_t c = U'?';
        const int used = utf8::decode(p, end, &c);
        if (used == 0) c = U'?';
        p += used == 0 ? 1 : used;
        out.push_back(c);
    }
    return out;
}

std::u32string node_name(const ZNode* n) {
    if (n->type == Z_FUNC || n->type == Z_FMT)
        return decode_name(n->u.fn.fname, n->u.fn.fnamelen, sizeof n->u.fn.fname);
    return decode_name(n->u.nm.name, n->u.nm.namelen, sizeof n->u.nm.name);
}

// The characters of a character constant (slen bytes, 4 a character).
std::u32string_view litc_text(const ZNode* n) {
    const int32_t chars = std::max(n->u.litc.slen, 0) / 4;
    if (chars == 0 || n->u.litc.str == nullptr) return {};
    return {n->u.litc.str, static_cast<size_t>(chars)};
}

// Visits the tree in preorder: visit(node, id, parent id or -1, operand index) for every node,
// empty slots (null) included, ids counting from 0; leave() once an operator's operands are
// done. A stack of cursors instead of recursion: a tree may be ZORV_MAX_DEPTH levels deep,
// and the Python binding's threads may have less stack than the command's main thread.
template <class Visit, class Leave>
void preorder(ZNode* root, Visit visit, Leave leave) {
    struct Level {
        ArgCursor arg;
        int64_t id;
    };
    std::vector<Level> stack;
    int64_t next_id = 0;
    auto enter = [&](ZNode* n, int64_t parent, int32_t index) {
        const int64_t id = next_id++;
        visit(n, id, parent, index);
        if (n != nullptr && zkind::is_operator(n->type)) stack.push_back({ArgCursor(n), id});
    };
    enter(root, -1, 0);
    while (!stack.empty()) {
        Level& top = stack.back();
        if (top.arg.done()) {
            leave();
            stack.pop_back();
            continue;
        }
        ZNode* operand = top.arg.get();
        const int32_t index = top.arg.index();
        const int64_t parent = top.id;
        top.arg.next();                 // the cursor is done with this slot
        enter(operand, parent, index);  // may grow the stack: top is not used after this
    }
}

// ---- JSON ----

void json_string(std::string& out, std::u32string_view text) {
    out.push_back('"');
    for (const char32_t c : text) {
        switch (c) {
            case U'"':
                out += "\\\"";
                break;
            case U'\\':
                out += "\\\\";
                break;
            case U'\n':
                out += "\\n";
                break;
            case U'\r':
                out += "\\r";
                break;
            case U'\t':
                out += "\\t";
                break;
            default:
                // Other controls, DEL, and the two separators that end a line in JavaScript
                // go as escapes; everything else as UTF-8, U+FFFD for what is no character.
                if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029) {
                    char hex[8];
                    const auto end = std::to_chars(hex, hex + sizeof hex, uint32_t{c}, 16).ptr;
                    out += "\\u";
                    out.append(static_cast<size_t>(4 - (end - hex)), '0');
                    out.append(hex, end);
                } else {
                    append_utf8(out, utf8::is_scalar(c) ? c : U'\uFFFD');
                }
        }
    }
    out.push_back('"');
}

void json_int(std::string& out, const char* key, int64_t value) {
    out += ",\"";
    out += key;
    out += "\":";
    out += std::to_string(value);
}

void json_text(std::string& out, const char* key, std::u32string_view value) {
    out += ",\"";
    out += key;
    out += "\":";
    json_string(out, value);
}

// The name of a missing value's pattern, or null when v is no missing value (numbers, and
// NaN patterns other than the 28 canonical ones, which the name would not give back).
const char* missing_name(double v) {
    static constexpr const char* kNames[] = {
        "._", ".",  ".A", ".B", ".C", ".D", ".E", ".F", ".G", ".H", ".I", ".J", ".K", ".L",
        ".M", ".N", ".O", ".P", ".Q", ".R", ".S", ".T", ".U", ".V", ".W", ".X", ".Y", ".Z"};
    const int32_t rank = missing_rank(v);
    if (rank == 0) return nullptr;
    const uint64_t canonical =
        0xFFFF000000000000ull | (static_cast<uint64_t>((256 - rank) & 0xFF) << 40);
    return std::bit_cast<uint64_t>(v) == canonical ? kNames[rank - 1] : nullptr;
}

void json_number(std::string& out, const ZNode* n) {
    static constexpr const char* kTags[] = {"number", "date", "time", "datetime"};
    const uint32_t tag = n->u.litn.tag;
    out += ",\"tag\":\"";
    out += kTags[tag <= 3 ? tag : 0];
    out += '"';
    const double v = n->u.litn.num;
    char text[32];
    if (const char* name = missing_name(v)) {
        out += ",\"missing\":\"";
        out += name;
        out += '"';
    } else if (std::isfinite(v)) {
        // The shortest text that reads back to the same double, so no bit is lost.
        const auto end = std::to_chars(text, text + sizeof text, v).ptr;
        out += ",\"value\":";
        out.append(text, end);
    } else {
        char* end = text;
        *end++ = '"';
        const uint64_t bits = std::bit_cast<uint64_t>(v);
        for (int shift = 60; shift >= 0; shift -= 4)
            *end++ = "0123456789abcdef"[(bits >> shift) & 15];
        *end++ = '"';
        out += ",\"bits\":";
        out.append(text, end);
    }
}

void json_characters(std::string& out, const ZNode* n) {
    const std::u32string_view text = litc_text(n);
    json_text(out, "value", text);
    if (std::all_of(text.begin(), text.end(), utf8::is_scalar)) return;
    out += ",\"units\":[";
    for (size_t i = 0; i < text.size(); ++i) {
        if (i > 0) out.push_back(',');
        out += std::to_string(uint32_t{text[i]});
    }
    out.push_back(']');
}

// A node's own fields, after its opening brace; an operator's then open its "args" array,
// which the walk closes once its operands are written.
void json_fields(std::string& out, const ZNode* n) {
    out += "\"type\":\"";
    out += type_name(n->type);
    out += '"';
    json_int(out, "code", n->type);
    json_int(out, "vlen", n->vlen);
    switch (n->type) {
        case Z_NAME:
            json_text(out, "name", node_name(n));
            out += ",\"kind\":\"";
            out += n->vlen < 0 ? "numeric" : n->vlen > 0 ? "character" : "unbound";
            out += '"';
            break;
        case Z_FNAM:
        case Z_FUNC:
            json_text(out, "name", node_name(n));
            break;
        case Z_FMT:
            json_text(out, "name", node_name(n));
            json_int(out, "width", n->u.fn.fmtw);
            json_int(out, "decimals", n->u.fn.fmtd);
            break;
        case Z_LITN:
            json_number(out, n);
            break;
        case Z_LITC:
            json_characters(out, n);
            break;
        default:
            break;
    }
    out += zkind::is_operator(n->type) ? ",\"args\":[" : "}";
}

// ---- Graphviz ----

// What the drawing writes after a leaf's type field, as the printer formats it.
std::u32string drawing_contents(const ZNode* n) {
    auto ascii = [](std::u32string& s, std::string_view t) { s.append(t.begin(), t.end()); };
    std::u32string s;
    switch (n->type) {
        case Z_NAME:
        case Z_FNAM:
            s = U"(" + node_name(n) + U")";
            break;
        case Z_LITN: {
            // The drawing's %g: six significant digits, as std::printf would write them.
            char text[40];
            const auto end = std::to_chars(text, text + sizeof text, n->u.litn.num,
                                           std::chars_format::general, 6)
                                 .ptr;
            s = U"(";
            ascii(s, std::string_view(text, static_cast<size_t>(end - text)));
            static constexpr const char* kTags[] = {")", " DATE)", " TIME)", " DATETIME)"};
            ascii(s, kTags[n->u.litn.tag <= 3 ? n->u.litn.tag : 0]);
            break;
        }
        case Z_LITC: {
            const std::u32string_view text = litc_text(n);
            const bool whole = text.size() <= kLitcShown;
            const std::u32string_view shown = whole ? text : text.substr(0, kLitcCut);
            s = U"('";
            s += shown;
            s += whole ? U"' " : U"'... ";
            const auto* bytes = reinterpret_cast<const uint8_t*>(shown.data());
            for (size_t i = 0; i < shown.size() * 4; ++i) {
                s.push_back(U"0123456789abcdef"[bytes[i] >> 4]);
                s.push_back(U"0123456789abcdef"[bytes[i] & 15]);
            }
            s += whole ? U")" : U"...)";
            break;
        }
        case Z_FMT:
            s = U"(" + node_name(n);
            ascii(s, std::to_string(n->u.fn.fmtw) + "." + std::to_string(n->u.fn.fmtd) + ")");
            break;
        case Z_FUNC:
            s = U"(" + node_name(n) + U"())";
            break;
        default:
            break;
    }
    return s;
}

// A label as a dot string: quotes and backslashes escaped, controls as their pictures.
void dot_string(std::string& out, std::u32string_view text) {
    out.push_back('"');
    for (const char32_t c : text) {
        if (c == U'"' || c == U'\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            append_utf8(out, U'\u2400' + c);
        } else if (c == 0x7F) {
            append_utf8(out, U'\u2421');
        } else {
            append_utf8(out, c);
        }
    }
    out.push_back('"');
}

// A node's line of the graph: its shape and label.
void dot_node(std::string& out, const ZNode* n, int64_t id) {
    out += "  n" + std::to_string(id) + " [";
    if (n == nullptr) {
        out += "shape=box, style=dashed, label=\"0 empty\"];\n";
        return;
    }
    const bool op = zkind::is_operator(n->type);
    std::u32string label;
    for (const char c : std::to_string(n->vlen) + " " + type_name(n->type)) label += c;
    if (!op) {
        const std::u32string contents = drawing_contents(n);
        if (!contents.empty()) label += U" " + contents;
    }
    out += op ? "shape=ellipse, label=" : "shape=box, label=";
    dot_string(out, label);
    out += "];\n";
}

}  // namespace

std::string tree_json(const ZInst*, ZNode* root) {
    std::string out;
    preorder(
        root,
        [&out](const ZNode* n, int64_t, int64_t, int32_t index) {
            if (index > 0) out.push_back(',');
            if (n == nullptr) {
                out += "null";
                return;
            }
            out.push_back('{');
            json_fields(out, n);
        },
        [&out] { out += "]}"; });
    return out;
}

std::string tree_dot(const ZInst*, ZNode* root) {
    std::string out =
        "digraph zorv {\n  ordering=out;\n  node [fontname=\"Helvetica\", fontsize=11];\n";
    preorder(
        root,
        [&out](const ZNode* n, int64_t id, int64_t parent, int32_t) {
            if (parent >= 0)
                out += "  n" + std::to_string(parent) + " -> n" + std::to_string(id) + ";\n";
            dot_node(out, n, id);
        },
        [] {});
    out += "}\n";
    return out;
}

}  // namespace zorv::cli

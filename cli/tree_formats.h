// A clause tree as data: one JSON document, or one Graphviz graph, of the tree that ZORVPrint
// draws. Self-contained: it reads node records directly and depends only on the headers
// zorv/zorv.h, frame/nodeutil.h, frame/missing.h and the header-only support/utf8.h; it
// calls nothing of the library, the host runtime or the command line, so the Python binding
// compiles tree_formats.cpp into its extension as it is.
//
// JSON (stable: tools read it; fields may be added, none changes meaning or goes away).
// The document is the root node, on one line; an empty tree (a null root) is `null`.
// Every node is an object with
//   "type"  the name the drawing shows ("LAND", "CEQ", "LITN", ...; the first name of the
//           code in zorv/nodetypes.def), or the code's decimal digits when it has none
//   "code"  the node-type code, a number
//   "vlen"  the value length and kind: -8 numeric, -3..-7 a shortened numeric column,
//           > 0 a character value of that many bytes (4 per character), 0 not typed
// and, by type:
//   operators (code > 35)  "args": the operands in order; an empty slot is `null`
//   NAME   "name": the column's name as upper-cased by the parser; "kind": "numeric",
//          "character" (from vlen, as bound to the table) or "unbound" (vlen 0: not yet
//          bound, as in the parsed stage)
//   FNAM, FUNC  "name": the function's name
//   LITN   "tag": "number", "date", "time" or "datetime"; then exactly one of
//          "value": the number, the shortest text that reads back to the same double;
//          "missing": a missing value by name: ".", "._", ".A" ... ".Z";
//          "bits": 16 hex digits of the IEEE pattern, for an infinity or a NaN that is no
//          missing value (the parser makes neither)
//   LITC   "value": the text, as a JSON string in UTF-8; when a character is no Unicode
//          scalar value (a surrogate, past U+10FFFF) it reads as U+FFFD there, and
//          "units": [the code points, as numbers] gives the text exactly
//   FMT    "name", "width", "decimals"
// Other leaves carry the common fields alone, as the drawing shows nothing more of them.
// Unlike the drawing, the JSON is never cut: all levels, all characters.
//
// Graphviz: `digraph zorv`, one node per tree node (empty slots included) named n0, n1, ...
// in preorder, edges from each operator to its operands in operand order (`ordering=out`
// keeps that order left to right). A label holds what the node's line of the drawing holds:
// the value length, the type name and, for leaves, the drawing's contents, e.g.
// "-8 NAME (PRICE)", "4 LITC ('B' 42000000)", "0 empty". Control characters show as their
// Unicode control pictures (U+2400 + code, U+2421 for DEL), other characters that are no
// scalar value as '?', as the drawing writes them.
#ifndef ZORV_CLI_TREE_FORMATS_H
#define ZORV_CLI_TREE_FORMATS_H

#include <string>

#include "zorv/zorv.h"

namespace zorv::cli {

// The tree at root as one JSON document (no line end). inst owns the tree; the nodes are
// read directly, so the tree must not change meanwhile.
std::string tree_json(const ZInst* inst, ZNode* root);

// The tree at root as a Graphviz graph, ready for `dot -Tsvg`; ends with a line end.
std::string tree_dot(const ZInst* inst, ZNode* root);

}  // namespace zorv::cli

#endif

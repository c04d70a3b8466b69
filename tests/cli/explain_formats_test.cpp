// `zorv explain --format json|dot` against the drawing: for every clause form the JSON must
// be strict JSON from which the text drawing can be rebuilt line for line (printer layout,
// depth cut and all), and the dot graph must render and hold the same nodes, labels and
// operand order. The emitters are also driven directly on hand-built nodes that no clause
// makes (formats, infinities, characters that are no scalar value, unnamed codes).
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/tree_formats.h"
#include "cli_run.h"
#include "json_reader.h"
#include "support/utf8.h"
#include "temp_files.h"

namespace {

std::string utf8_of(const std::u32string& s) {
    std::string out;
    for (const char32_t c : s) {
        char b[4];
        out.append(b, static_cast<size_t>(utf8::encode(c, b)));
    }
    return out;
}
std::u32string wide(const std::string& s) {
    return std::u32string(s.begin(), s.end());
}
std::u32string text_of(const Json* j) {
    return j != nullptr && j->kind == Json::kString ? j->text : U"<absent>";
}
double number_of(const Json& node) {
    if (const Json* v = node.get("value")) return std::strtod(v->number.c_str(), nullptr);
    if (node.get("missing")) return -std::nan("");  // canonical missing: sign and top bits set
    return std::bit_cast<double>(std::stoull(utf8_of(text_of(node.get("bits"))), nullptr, 16));
}
// A character constant's code points: "units" when given, else the string.
std::u32string units_of(const Json& node) {
    const Json* units = node.get("units");
    if (units == nullptr) return text_of(node.get("value"));
    std::u32string s;
    for (const Json& u : units->items) s.push_back(static_cast<char32_t>(std::stoul(u.number)));
    return s;
}

// What the drawing writes after a leaf's type field, rebuilt from the node's JSON.
std::u32string contents(const Json& n) {
    const std::string type = utf8_of(text_of(n.get("type")));
    const std::u32string name = text_of(n.get("name"));
    char buf[64];
    if (type == "NAME" || type == "FNAM") return U"(" + name + U")";
    if (type == "FUNC") return U"(" + name + U"())";
    if (type == "FMT") {
        std::snprintf(buf, sizeof buf, "%s.%s)", n.get("width")->number.c_str(),
                      n.get("decimals")->number.c_str());
        return U"(" + name + wide(buf);
    }
    if (type == "LITN") {
        const std::map<std::string, std::string> tags = {
            {"number", ")"}, {"date", " DATE)"}, {"time", " TIME)"}, {"datetime", " DATETIME)"}};
        std::snprintf(buf, sizeof buf, "(%g", number_of(n));
        return wide(buf + tags.at(utf8_of(text_of(n.get("tag")))));
    }
    if (type != "LITC") return U"";
    const std::u32string all = units_of(n);
    const bool whole = all.size() <= 29;
    const std::u32string shown = whole ? all : all.substr(0, 30);
    std::u32string s = U"('" + shown + (whole ? U"' " : U"'... ");
    for (const char32_t c : shown)
        for (int byte = 0; byte < 4; ++byte) {  // storage order: little-endian
            std::snprintf(buf, sizeof buf, "%02x", static_cast<unsigned>(c >> (8 * byte)) & 255);
            s += wide(buf);
        }
    return s + (whole ? U")" : U"...)");
}

std::u32string type_field(const Json& n) {
    const std::string type = utf8_of(text_of(n.get("type")));
    char buf[16];
    if (type == n.get("code")->number)  // a code without a name shows by number
        std::snprintf(buf, sizeof buf, "-%3s----", type.c_str());
    else
        std::snprintf(buf, sizeof buf, "-%s-------", type.c_str());
    return wide(std::string(buf, 8));
}

// The printer's layout, from the JSON: the drawing's whole text, one line per node, operand
// 0 above its operator, bars, the cut below depth 24 and at 500 characters a line.
// Recursive, as the printer is; the test trees are at most 31 levels deep.
class Redraw {
  public:
    std::string text(const Json& root) {
        draw(root, U'-');
        return out_;
    }

  private:
    void flush() {
        if (line_.empty()) return;
        out_ += utf8_of(line_.substr(0, 500)) + "\n";
        line_.clear();
    }
    void start(const Json& n, char32_t c) {
        const Json* vlen = n.get("vlen");
        char buf[16];
        std::snprintf(buf, sizeof buf, "%4d ", vlen ? std::stoi(vlen->number) : 0);
        line_ += wide(buf) + prefix_.substr(0, static_cast<size_t>(indent_)) + c;
    }
    void draw(const Json& n, char32_t c) {
        if (indent_ > 240) {
            line_ += U"...overflow tree print...";
            flush();
            return;
        }
        indent_ += 10;
        char32_t& bar = prefix_[static_cast<size_t>(indent_ - 1)];
        const Json* args = n.get("args");
        if (n.kind == Json::kNull || args == nullptr) {
            if (c == U'\\') bar = U' ';
            start(n, c);
            line_ += n.kind == Json::kNull ? U"-empty-" : type_field(n);
            if (c == U'/') bar = U'|';
            if (n.kind != Json::kNull) line_ += contents(n);
            flush();
        } else {
            const size_t count = args->items.size();
            if (count > 0) draw(args->items[0], U'/');
            if (c == U'\\') bar = U' ';
            if (count == 1 && indent_ + 9 < 250) prefix_[static_cast<size_t>(indent_ + 9)] = U' ';
            start(n, c);
            line_ += type_field(n) + U"|";
            flush();
            if (c == U'/') bar = U'|';
            for (size_t i = 1; i < count; ++i) draw(args->items[i], i == count - 1 ? U'\\' : U'-');
        }
        indent_ -= 10;
    }

    std::u32string prefix_ = std::u32string(250, U' ');
    int indent_ = -9;
    std::u32string line_;
    std::string out_;
};

// The tree in preorder: each node's dot label as the drawing's line content, and the
// operands of each node by preorder number. Recursive: the test trees are shallow.
struct Preorder {
    std::vector<std::u32string> labels;
    std::map<int, std::vector<int>> operands;

    int walk(const Json& n) {
        const int id = static_cast<int>(labels.size());
        if (n.kind == Json::kNull) {
            labels.push_back(U"0 empty");
            return id;
        }
        std::u32string label = wide(n.get("vlen")->number) + U" " + text_of(n.get("type"));
        if (n.get("args") == nullptr && !contents(n).empty()) label += U" " + contents(n);
        for (char32_t& c : label)
            if (!utf8::is_scalar(c)) c = U'?';  // as the drawing writes them
        labels.push_back(label);
        if (const Json* args = n.get("args"))
            for (const Json& a : args->items) operands[id].push_back(walk(a));
        return id;
    }
};

// The graph as the emitter lays it out: header, node and edge lines, closing brace; labels
// unescaped (\" and \\, control pictures back to controls). False when a line fits none.
bool read_dot(const std::string& dot, Preorder* got, std::string* bad) {
    const std::vector<std::string> lines = lines_of(dot);
    if (lines.size() < 4 || lines[0] != "digraph zorv {" || lines.back() != "}") {
        *bad = "frame";
        return false;
    }
    for (size_t i = 3; i + 1 < lines.size(); ++i) {
        const std::string& l = lines[i];
        int a = -1, b = -1, used = 0;
        if (std::sscanf(l.c_str(), "  n%d -> n%d;%n", &a, &b, &used) == 2 &&
            static_cast<size_t>(used) == l.size()) {
            got->operands[a].push_back(b);
            continue;
        }
        const size_t at = l.find("label=\"");
        if (std::sscanf(l.c_str(), "  n%d [", &a) != 1 || at == std::string::npos ||
            l.compare(l.size() - 3, 3, "\"];") != 0 || a != static_cast<int>(got->labels.size())) {
            *bad = l;
            return false;
        }
        std::u32string label;
        const std::string body = l.substr(at + 7, l.size() - 3 - (at + 7));
        const auto* p = reinterpret_cast<const unsigned char*>(body.data());
        const auto* end = p + body.size();
        while (p < end) {
            char32_t c = 0;
            const int len = utf8::decode(p, end, &c);
            if (len == 0 || c == U'"') {
                *bad = l;
                return false;
            }
            p += len;
            if (c == U'\\' && p < end) c = *p++;  // \" or \\ (the emitter writes no other)
            if (c >= 0x2400 && c < 0x2420) c -= 0x2400;
            if (c == 0x2421) c = 0x7F;
            label.push_back(c);
        }
        got->labels.push_back(label);
    }
    return true;
}

bool have_dot() {
    return std::system("command -v dot >/dev/null 2>&1") == 0;
}

// Renders the graph with dot -Tsvg; returns dot's complaints (empty when none) and the
// number of nodes in the picture.
std::string render(const std::string& graph, int* nodes) {
    TempFiles dir;
    const std::string in = dir.write("tree.dot", graph);
    const std::string svg = dir.write("tree.svg", "");
    const std::string err = dir.write("dot.err", "");
    const std::string cmd = "dot -Tsvg '" + in + "' -o '" + svg + "' 2>'" + err + "'";
    if (std::system(cmd.c_str()) != 0) return "dot failed";
    std::ifstream svg_in(svg), err_in(err);
    const std::string picture{std::istreambuf_iterator<char>(svg_in), {}};
    *nodes = 0;
    for (size_t at = picture.find("class=\"node\""); at != std::string::npos;
         at = picture.find("class=\"node\"", at + 1))
        ++*nodes;
    return std::string{std::istreambuf_iterator<char>(err_in), {}};
}

struct Case {
    const char* stage;
    std::string clause;
};

std::string many(const std::string& first, const std::string& each, const char* sep, int n,
                 const std::string& last = "") {
    std::string s = first;
    for (int i = 1; i <= n; ++i) {
        std::string item = each;
        for (size_t at; (at = item.find('#')) != std::string::npos;)
            item.replace(at, 1, std::to_string(i));
        s += (i > 1 ? sep : "") + item;
    }
    return s + last;
}

// Every node type the drawing shows, from clauses over the sample table (resolved) and as
// parsed; sizes chosen around the limits: 15 argument slots a node, 29/30 characters shown,
// 25 levels drawn.
const std::vector<Case> kCases = {
    {"resolved",
     "price > 50 AND price <= 150 AND city =: 'B' AND (qty IS MISSING OR note IS NOT NULL)"},
    {"resolved",
     "price > 100 AND price <= 200 AND city IN ('Oslo', 'Basel', 'Oslo', 'Austin') AND NOT "
     "(qty < 10 OR flag = 1)"},
    {"resolved", "qty = 1 OR qty = 3 OR qty >= 10 OR qty < -2.5 OR price ^= 7"},
    {"resolved",
     "price + qty * 2 - id / flag > 2 ** 3 AND -price < 0 AND price MIN$ qty > 1 AND l MAX$ "
     "max < 3"},
    {"resolved",
     "upcase(name) = 'BO' AND name || city CONTAINS 'o' AND name LIKE 'B%' AND name =* 'Bob' "
     "AND name NOT LIKE 'x_'"},
    {"resolved",
     "name IN: ('a', 'Bö') AND city NOTIN: ('X') AND code <: 'U' AND code >=: 'C' AND note "
     "^=: 'x' AND code >: 'A' AND code <=: 'Z' AND code =: 'N'"},
    {"resolved", "qty IN (.A, ._, ., 1) OR price = .Z OR qty NOT IN (2, 4)"},
    {"resolved", "price BETWEEN 1 AND 2 AND qty NOT BETWEEN 3 AND 4"},
    {"resolved", many("qty IN (", "#", ", ", 20, ")")},
    {"resolved", many("", "id + # = #", " OR ", 17)},
    {"resolved", ""},
    {"resolved", "flag"},
    {"resolved", "date > '01JAN2024'd OR date < '10:30't OR date = '01JAN2024:10:30'dt"},
    {"resolved",
     "price = 0.1 OR price = 12345678901234567 OR price = 1.7976931348623157e308 OR price = "
     "4.9e-324 OR price = 123456.789 OR price = 1e21 OR price = -0"},
    // Texts longer than the column fold away once bound: long ones are shown as parsed.
    {"resolved", "note = 'a\"b\\c\x07\u00e9\U0001F600' OR name = ''"},
    {"parsed", "note = '" + std::string(29, 'a') + "' OR note = '" + std::string(30, 'b') +
                   "' OR note = '" + std::string(200, 'c') + "'"},
    {"parsed",
     "note = 'tab\there \"quoted\" back\\slash it''s \u00e9\u20ac\U0001F600 bell\x07 nl\n "
     "del\x7f' OR name = ''"},
    {"parsed", "a < b <= c > d"},
    {"parsed", "a ** b ** c + -d - e - f * g / - -h"},
    {"parsed", "a BETWEEN 1 AND 2 OR b NOT BETWEEN 3 AND 4 OR c IS MISSING"},
    {"parsed",
     "NOT a = 1 AND NOT (b OR c) AND a ^> 3 AND a NOT IN (1) AND NOT a LIKE 'x' AND a IS NOT "
     "MISSING AND NOT (a =* 'q')"},
    {"resolved",
     "NOT (name =* 'Bob') AND NOT (name CONTAINS 'x') AND NOT (name LIKE 'y') AND NOT (qty IN "
     "(1, 2)) AND NOT (price BETWEEN 1 AND 9) AND NOT (note IS MISSING)"},
    {"parsed", "ALSO x = 1"},
    {"parsed", "SAME AND x IN : ('y') AND z NOTIN : ('w') AND v =: 'u' AND t <=: 's'"},
    {"parsed", "?"},
    {"parsed", "UNDO"},
    {"parsed", "CLEAR"},
    {"parsed", ""},
    {"parsed", "f(a, 1, 'x') = upcase(b) AND x = -.B AND y = -1.5e3"},
    {"parsed", many("", "1", " + ", 30)},
    {"parsed", many("'" + std::string(40, 'c') + "' + ", "1", " + ", 22)},  // a line over 500
    {"parsed", many("x IN (", "#", ", ", 20, ")")},
    {"parsed", "x IN (._, ., .A, .Z)"},
};

std::vector<std::string> explain_args(const Case& c, const char* format) {
    return {"explain", "--stage", c.stage, "--format", format, "--", c.clause};
}

TEST(ExplainFormats, JsonRebuildsTheDrawingAndDotHoldsTheSameTree) {
    const bool dot = have_dot();
    if (!dot) std::fprintf(stderr, "note: graphviz's dot is not installed; not rendering\n");
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.stage) + ": " + c.clause);
        const CliResult text = run_zorv(explain_args(c, "text"));
        const CliResult json = run_zorv(explain_args(c, "json"));
        const CliResult graph = run_zorv(explain_args(c, "dot"));
        ASSERT_EQ(text.status, 0) << text.err;
        ASSERT_EQ(json.status, 0) << json.err;
        ASSERT_EQ(graph.status, 0) << graph.err;
        ASSERT_EQ(json.err + graph.err, "");

        // One document on one line.
        ASSERT_FALSE(json.out.empty());
        EXPECT_EQ(json.out.find('\n'), json.out.size() - 1);
        Json tree;
        std::string error;
        ASSERT_TRUE(read_json(json.out, &tree, &error)) << error << "\n" << json.out;
        EXPECT_EQ(Redraw().text(tree), text.out);

        Preorder want, got;
        want.walk(tree);
        ASSERT_TRUE(read_dot(graph.out, &got, &error)) << "bad dot line: " << error;
        EXPECT_EQ(got.labels, want.labels);
        EXPECT_EQ(got.operands, want.operands);
        if (dot) {
            int nodes = 0;
            EXPECT_EQ(render(graph.out, &nodes), "");
            EXPECT_EQ(nodes, static_cast<int>(want.labels.size()));
        }
    }
}

// The JSON holds values exactly where the drawing rounds or cuts them.
TEST(ExplainFormats, JsonKeepsEveryBitOfNumbersAndEveryCharacterOfText) {
    const std::vector<std::string> numbers = {
        "0.1",     "12345678901234567",       "1.7976931348623157e308", "4.9e-324",
        "1234567", "2.2250738585072014e-308", "0.30000000000000004",    "1e21"};
    std::string clause = "x IN (";
    for (const std::string& n : numbers) clause += n + ", ";
    clause += "._, ., .A, .Z) OR y = '" + std::string(40, 'q') + "\"\\\x01\U0001F600'";
    const CliResult r = run_zorv({"explain", "--stage", "parsed", "--format", "json", clause});
    ASSERT_EQ(r.status, 0) << r.err;
    Json tree;
    std::string error;
    ASSERT_TRUE(read_json(r.out, &tree, &error)) << error;
    const Json& set = tree.get("args")->items[0].get("args")->items[1];
    ASSERT_EQ(set.get("args")->items.size(), numbers.size() + 4);
    for (size_t i = 0; i < numbers.size(); ++i) {
        const Json* v = set.get("args")->items[i].get("value");
        ASSERT_TRUE(v != nullptr && v->kind == Json::kNumber) << numbers[i];
        const double d = std::strtod(v->number.c_str(), nullptr);
        EXPECT_EQ(std::bit_cast<uint64_t>(d),
                  std::bit_cast<uint64_t>(std::strtod(numbers[i].c_str(), nullptr)))
            << numbers[i] << " came back as " << v->number;
        char shortest[32];
        EXPECT_EQ(v->number, std::string(shortest, std::to_chars(shortest, shortest + 32, d).ptr));
    }
    const char* missing[] = {"._", ".", ".A", ".Z"};
    for (size_t i = 0; i < 4; ++i) {
        const Json& leaf = set.get("args")->items[numbers.size() + i];
        EXPECT_EQ(text_of(leaf.get("missing")), wide(missing[i]));
        EXPECT_EQ(leaf.get("value"), nullptr);
    }
    const Json& text = tree.get("args")->items[1].get("args")->items[1];
    EXPECT_EQ(text_of(text.get("value")), std::u32string(40, U'q') + U"\"\\\x01\U0001F600");
    EXPECT_NE(r.out.find("\\\"\\\\\\u0001\xF0\x9F\x98\x80\""), std::string::npos) << r.out;
}

// Kind of every column a tree names, by name (recursive over a three-level tree).
void column_kinds(const Json& n, std::map<std::u32string, std::u32string>* kinds) {
    if (text_of(n.get("type")) == U"NAME")
        (*kinds)[text_of(n.get("name"))] = text_of(n.get("kind"));
    if (const Json* args = n.get("args"))
        for (const Json& a : args->items) column_kinds(a, kinds);
}

TEST(ExplainFormats, ColumnsCarryTheirKindOnceBound) {
    const std::map<std::u32string, std::u32string> bound = {{U"PRICE", U"numeric"},
                                                            {U"CITY", U"character"},
                                                            {U"QTY", U"numeric"}},
                                                   parsed = {{U"PRICE", U"unbound"},
                                                             {U"CITY", U"unbound"},
                                                             {U"QTY", U"unbound"}};
    for (const auto& [stage, want] : {std::pair{"resolved", bound}, std::pair{"parsed", parsed}}) {
        const CliResult r = run_zorv({"explain", "--stage", stage, "--format", "json",
                                      "price > 1 OR city = 'B' OR qty IS MISSING"});
        Json tree;
        std::string error;
        ASSERT_TRUE(read_json(r.out, &tree, &error)) << error;
        std::map<std::u32string, std::u32string> kinds;
        column_kinds(tree, &kinds);
        EXPECT_EQ(kinds, want) << stage;
    }
}

// ---- the emitters on hand-built nodes ----

ZNode leaf(uint16_t type, int16_t vlen = -8) {
    ZNode n{};
    n.type = type;
    n.vlen = vlen;
    return n;
}

Json json_of(ZNode* root) {
    Json tree;
    std::string error;
    EXPECT_TRUE(read_json(zorv::cli::tree_json(nullptr, root), &tree, &error)) << error;
    return tree;
}

TEST(TreeFormats, EveryFiniteDoubleReadsBackBitForBit) {
    std::mt19937_64 bits(20240601);
    ZNode n = leaf(Z_LITN);
    for (int i = 0; i < 5000; ++i) {
        n.u.litn.num = std::bit_cast<double>(bits());
        if (!std::isfinite(n.u.litn.num)) continue;
        const Json j = json_of(&n);
        const Json* v = j.get("value");
        ASSERT_NE(v, nullptr);
        EXPECT_EQ(std::bit_cast<uint64_t>(std::strtod(v->number.c_str(), nullptr)),
                  std::bit_cast<uint64_t>(n.u.litn.num))
            << v->number;
    }
}

TEST(TreeFormats, LeavesNoClauseMakesStayExact) {
    ZNode inf = leaf(Z_LITN), nan = leaf(Z_LITN), fmt = leaf(Z_FMT, 0), func = leaf(Z_FUNC, 0);
    inf.u.litn.num = -INFINITY;
    nan.u.litn.num = std::bit_cast<double>(0xFFFF000000000001ull);  // missing top, other bits
    std::memcpy(fmt.u.fn.fname, "DOLLAR", 6);
    fmt.u.fn.fnamelen = 6;
    fmt.u.fn.fmtw = 12;
    fmt.u.fn.fmtd = 2;
    std::memcpy(func.u.fn.fname, "UPCASE", 6);
    func.u.fn.fnamelen = 6;
    char32_t odd[] = {U'a', 0xD800, 0x110000, U'\u2028'};
    ZNode text = leaf(Z_LITC, 16);
    text.u.litc.str = reinterpret_cast<NQWChar*>(odd);
    text.u.litc.slen = 16;
    ZNode unnamed = leaf(500);
    ZNode ops = leaf(Z_LOR), block = leaf(Z_NULL, 0);
    // 20 operands: 15 in the node, 5 in an overflow block; operand 3 is an empty slot.
    std::vector<ZNode*> all = {&inf, &nan, &fmt, nullptr, &func, &text, &unnamed};
    while (all.size() < 20) all.push_back(&inf);
    ops.u.op.nargs = 20;
    ops.u.op.next = &block;
    for (int i = 0; i < 20; ++i) (i < 15 ? ops : block).u.op.args[i % 15] = all[i];

    const Json j = json_of(&ops);
    const auto& args = j.get("args")->items;
    ASSERT_EQ(args.size(), 20u);
    EXPECT_EQ(text_of(args[0].get("bits")), U"fff0000000000000");
    EXPECT_EQ(text_of(args[1].get("bits")), U"ffff000000000001");
    EXPECT_EQ(args[1].get("missing"), nullptr);
    EXPECT_EQ(text_of(args[2].get("name")), U"DOLLAR");
    EXPECT_EQ(args[2].get("width")->number + "." + args[2].get("decimals")->number, "12.2");
    EXPECT_EQ(args[3].kind, Json::kNull);
    EXPECT_EQ(text_of(args[4].get("name")), U"UPCASE");
    EXPECT_EQ(text_of(args[5].get("value")), U"a\uFFFD\uFFFD\u2028");
    EXPECT_EQ(units_of(args[5]), std::u32string(odd, 4));
    EXPECT_EQ(text_of(args[6].get("type")), U"500");
    EXPECT_EQ(args[6].get("code")->number, "500");
    EXPECT_EQ(text_of(args[19].get("bits")), U"fff0000000000000");

    // The graph: one node per tree node, labels as the drawing's contents.
    Preorder want, got;
    want.walk(j);
    std::string error;
    ASSERT_TRUE(read_dot(zorv::cli::tree_dot(nullptr, &ops), &got, &error)) << error;
    EXPECT_EQ(got.labels, want.labels);
    EXPECT_EQ(got.labels[3], U"0 FMT (DOLLAR12.2)");
    EXPECT_EQ(got.labels[4], U"0 empty");
    EXPECT_EQ(got.labels[7], U"-8 500");
    EXPECT_EQ(got.operands, want.operands);
    if (have_dot()) {
        int nodes = 0;
        EXPECT_EQ(render(zorv::cli::tree_dot(nullptr, &ops), &nodes), "");
        EXPECT_EQ(nodes, 21);
    }
    EXPECT_EQ(zorv::cli::tree_json(nullptr, nullptr), "null");
}

// The deepest tree a clause can give, built by hand, is written whole on a thread of its
// own, as a binding's worker thread would call the emitters.
TEST(TreeFormats, TheDeepestTreeIsWrittenWhole) {
    std::vector<ZNode> chain(ZORV_MAX_DEPTH, leaf(Z_LNOT));
    for (size_t i = 0; i + 1 < chain.size(); ++i) {
        chain[i].u.op.nargs = 1;
        chain[i].u.op.args[0] = &chain[i + 1];
    }
    chain.back() = leaf(Z_LITN);
    std::string json, dot;
    std::thread([&] {
        json = zorv::cli::tree_json(nullptr, chain.data());
        dot = zorv::cli::tree_dot(nullptr, chain.data());
    }).join();
    std::string want;
    for (size_t i = 0; i + 1 < chain.size(); ++i)
        want += R"({"type":"LNOT","code":222,"vlen":-8,"args":[)";
    want += R"({"type":"LITN","code":2,"vlen":-8,"tag":"number","value":0})";
    for (size_t i = 0; i + 1 < chain.size(); ++i) want += "]}";
    EXPECT_EQ(json, want);
    // Header, one line per node and per edge, closing brace.
    EXPECT_EQ(lines_of(dot).size(), 3 + 2 * chain.size() - 1 + 1);
}

}  // namespace

// Parser of the tree printer's drawing. A node's line is: a 5-column value field, its
// depth's worth of prefix (1 + 10 per level), a connector ('-', '/' or a backslash), an 8-column
// type field (or "-empty-"), then '|' for an operator or the leaf's contents. Depth is the
// connector column in steps of ten. An operator's first operand is drawn above it with '/', its
// other operands below it with '-' and, for the last, a backslash.
#include "drawing.h"

#include <cstddef>

namespace {

struct Line {
    int depth = 0;
    char connector = 0;
    bool op = false;
    std::string text;  // the leaf in the tree notation, the operator's type, or "-"
};

// A leaf's contents "(...)" in the tree notation: names and numbers after a blank, strings
// quoted without the hex of their storage; other leaves show their type alone.
std::string leaf_text(const std::string& type, const std::string& contents) {
    if (contents.size() < 2 || contents.front() != '(' || contents.back() != ')') return type;
    std::string inner = contents.substr(1, contents.size() - 2);
    if (type == "NAME" || type == "FNAM") return type + " " + inner;
    if (type == "LITN") {
        inner = inner.substr(0, inner.find(' '));  // drops DATE, TIME or DATETIME
        if (inner.find("nan") != std::string::npos) inner = ".";
        return type + " " + inner;
    }
    if (type == "LITC") return type + " " + inner.substr(0, inner.rfind('\'') + 1);
    return type;
}

bool parse_line(const std::string& raw, Line* out) {
    // The root's connector is in column 6: after the value field and one prefix column.
    const size_t first = raw.find_first_of("-/\\", 5);
    if (raw.size() < 7 || first == std::string::npos || (first - 6) % 10 != 0) return false;
    out->depth = static_cast<int>((first - 6) / 10);
    out->connector = raw[first];
    std::string rest = raw.substr(first + 1);
    if (rest == "-empty-") {
        out->text = "-";
        return true;
    }
    if (rest.size() < 8 || rest[0] != '-') return false;
    std::string type = rest.substr(1, 7);
    type.erase(type.find_last_not_of('-') + 1);
    rest = rest.substr(8);
    out->op = rest == "|";
    out->text = out->op ? type : leaf_text(type, rest);
    return true;
}

class Reader {
  public:
    explicit Reader(std::vector<Line> lines) : lines_(std::move(lines)) {}

    // Reads the subtree whose root lies at depth d, starting at the current line.
    bool subtree(int d, std::string* out) {
        std::string first;
        const bool has_first = pos_ < lines_.size() && lines_[pos_].depth > d;
        if (has_first && !subtree(d + 1, &first)) return false;
        if (pos_ >= lines_.size() || lines_[pos_].depth != d) return false;
        const Line& root = lines_[pos_++];
        if (!root.op) {
            if (has_first) return false;
            *out = root.text;
            return true;
        }
        *out = root.text + "(" + first;
        // Further operands follow while the next line at depth d+1 or shallower is a
        // '-' or backslash operand of this node.
        while (true) {
            size_t look = pos_;
            while (look < lines_.size() && lines_[look].depth > d + 1) ++look;
            if (look >= lines_.size() || lines_[look].depth != d + 1 ||
                lines_[look].connector == '/') {
                break;
            }
            std::string operand;
            if (!subtree(d + 1, &operand)) return false;
            *out += "," + operand;
        }
        *out += ")";
        return true;
    }
    bool done() const { return pos_ == lines_.size(); }

  private:
    std::vector<Line> lines_;
    size_t pos_ = 0;
};

}  // namespace

std::string read_drawing(const std::vector<std::string>& lines) {
    std::vector<Line> parsed;
    for (const std::string& raw : lines) {
        Line l;
        if (!parse_line(raw, &l)) return "bad drawing: " + raw;
        parsed.push_back(l);
    }
    Reader r(std::move(parsed));
    std::string out;
    if (!r.subtree(0, &out) || !r.done()) return "bad drawing";
    return out;
}

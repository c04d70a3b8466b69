// Header parsing, column keys, cell checks and the record layout. A kind suffix follows the
// last colon of a header cell; blanks around the name and the suffix are ignored.
#include "table/schema.h"

#include <unordered_map>

#include "support/utf8.h"
#include "table/cells.h"
#include "zorv/support.h"

namespace zorv::table {
namespace {

constexpr size_t kKeyBytes = sizeof(ZNode::u.nm.name);

std::string_view trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::string ascii_lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// Reads a kind suffix into the column; false when it is none of num, char, char(N).
bool parse_kind(std::string_view suffix, Column* column) {
    const std::string s = ascii_lower(suffix);
    column->typed = true;
    if (s == "num") {
        column->kind = Kind::kNumeric;
        return true;
    }
    column->kind = Kind::kCharacter;
    if (s == "char") return true;  // width learnt from the data
    if (s.size() < 7 || s.compare(0, 5, "char(") != 0 || s.back() != ')') return false;
    int32_t width = 0;
    for (size_t i = 5; i + 1 < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        width = width * 10 + (s[i] - '0');
        if (width > kMaxWidth) return false;
    }
    if (width < 1) return false;
    column->width = width;
    return true;
}

}  // namespace

std::string name_key(std::string_view name) {
    std::u32string wide;
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    const auto* end = p + name.size();
    while (p < end) {
        char32_t c;
        const int len = utf8::decode(p, end, &c);
        if (len == 0) break;
        wide.push_back(c);
        p += len;
    }
    nqzstup(wide.data(), static_cast<int32_t>(wide.size()));
    std::string key;
    for (char32_t c : wide) {
        char bytes[4];
        const int len = utf8::encode(c, bytes);
        if (key.size() + static_cast<size_t>(len) > kKeyBytes) break;
        key.append(bytes, static_cast<size_t>(len));
    }
    return key;
}

std::string excerpt(std::string_view cell) {
    std::string out;
    int32_t chars = 0;
    for (size_t i = 0; i < cell.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(cell[i]);
        if ((b & 0xC0) != 0x80 && ++chars > 40) {
            out += "...";
            break;
        }
        out.push_back(b == '\n' || b == '\r' || b == '\t' ? ' ' : static_cast<char>(b));
    }
    return out;
}

bool parse_header(const std::vector<std::string>& cells, std::vector<Column>* columns,
                  int32_t* bad_cell, std::string* message) {
    columns->clear();
    std::unordered_map<std::string, int32_t> seen;
    for (int32_t i = 0; i < static_cast<int32_t>(cells.size()); ++i) {
        const std::string_view cell = cells[static_cast<size_t>(i)];
        Column column;
        const size_t colon = cell.rfind(':');
        column.name = std::string(trim(cell.substr(0, colon)));
        *bad_cell = i;
        if (column.name.empty()) {
            *message = "empty column name in header cell " + std::to_string(i + 1);
            return false;
        }
        if (colon != std::string_view::npos) {
            const std::string_view suffix = trim(cell.substr(colon + 1));
            if (!parse_kind(suffix, &column)) {
                *message = "unknown kind '" + excerpt(suffix) + "' of column '" + column.name +
                           "' (num, char or char(N) with N from 1 to " + std::to_string(kMaxWidth) +
                           ")";
                return false;
            }
        }
        column.key = name_key(column.name);
        const auto [at, fresh] = seen.emplace(column.key, i);
        if (!fresh) {
            const Column& first = (*columns)[static_cast<size_t>(at->second)];
            *message = "duplicate column name '" + column.name + "' (column " +
                       std::to_string(at->second + 1) + " is '" + first.name + "')";
            return false;
        }
        columns->push_back(std::move(column));
    }
    return true;
}

std::string check_cell(const Column& column, std::string_view cell, int32_t chars, double* value) {
    if (column.kind == Kind::kCharacter) {
        if (chars <= column.width) return {};
        return "cell '" + excerpt(cell) + "' of column '" + column.name + "' is longer than " +
               std::to_string(column.width) + " characters";
    }
    switch (classify(cell, value)) {
        case CellClass::kOther:
            return "cell '" + excerpt(cell) + "' of numeric column '" + column.name +
                   "' is not a number";
        case CellClass::kTooLarge:
            return "cell '" + excerpt(cell) + "' of numeric column '" + column.name +
                   "' is too large for a number";
        default:
            return {};
    }
}

int32_t lay_out(std::vector<Column>* columns) {
    int32_t offset = 0;
    for (Column& c : *columns) {
        if (c.kind == Kind::kNumeric) {
            c.width = 0;
            offset = (offset + 7) & ~7;
        } else if (c.width < 1) {
            c.width = 1;
        }
        c.offset = offset;
        offset += c.bytes();
    }
    return (offset + 7) & ~7;
}

}  // namespace zorv::table

// Binding column names of a clause to a table's columns, and the closest names to offer
// when a name is no column: edit distance over characters with neighbour transpositions.
#include <algorithm>
#include <cassert>
#include <string>
#include <vector>

#include "support/utf8.h"
#include "table/table.h"

namespace zorv::table {
namespace {

// The characters of UTF-8 text; a malformed byte stands for itself.
std::u32string chars_of(std::string_view text) {
    std::u32string out;
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* end = p + text.size();
    while (p < end) {
        char32_t c;
        int len = utf8::decode(p, end, &c);
        if (len == 0) c = *p, len = 1;
        out.push_back(c);
        p += len;
    }
    return out;
}

}  // namespace

int32_t Table::lookup(void* table, ZNode* node, NQJournal*) {
    Table* t = static_cast<Table*>(table);
    if (t == nullptr || node == nullptr) return kUnknownColumn;
    int32_t len = node->u.nm.namelen;
    if (len < 0) len = 0;
    if (len > static_cast<int32_t>(sizeof node->u.nm.name)) len = sizeof node->u.nm.name;
    const std::string_view key(node->u.nm.name, static_cast<size_t>(len));
    const int32_t i = t->find(key);
    if (i < 0) {
        t->unknown_ = std::string(key);
        return kUnknownColumn;
    }
    const Column& c = t->columns()[static_cast<size_t>(i)];
    assert(c.learnt);  // a table opened to learn some columns is bound to those only
    node->vlen = static_cast<int16_t>(c.kind == Kind::kNumeric ? -8 : c.bytes());
    node->u.nm.colw = static_cast<int16_t>(c.bytes());
    node->u.nm.coloff = c.offset;
    node->u.nm.colmode = 0;
    node->u.nm.fetch = nullptr;
    t->bound_[static_cast<size_t>(i)] = 1;
    return 0;
}

const std::string& Table::unknown_name() const {
    return unknown_;
}

bool Table::bound(int32_t column) const {
    return column >= 0 && static_cast<size_t>(column) < bound_.size() &&
           bound_[static_cast<size_t>(column)] != 0;
}

void Table::clear_bindings() {
    std::fill(bound_.begin(), bound_.end(), 0);
    unknown_.clear();
}

int32_t edit_distance(std::string_view a, std::string_view b) {
    const std::u32string s = chars_of(a), t = chars_of(b);
    const size_t m = s.size(), n = t.size();
    // Three rows of the table of distances between prefixes: i-2, i-1 and i.
    std::vector<int32_t> before(n + 1), prev(n + 1), cur(n + 1);
    for (size_t j = 0; j <= n; ++j) prev[j] = static_cast<int32_t>(j);
    for (size_t i = 1; i <= m; ++i) {
        cur[0] = static_cast<int32_t>(i);
        for (size_t j = 1; j <= n; ++j) {
            const int32_t cost = s[i - 1] == t[j - 1] ? 0 : 1;
            int32_t d = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + cost});
            if (i > 1 && j > 1 && s[i - 1] == t[j - 2] && s[i - 2] == t[j - 1])
                d = std::min(d, before[j - 2] + 1);
            cur[j] = d;
        }
        std::swap(before, prev);
        std::swap(prev, cur);
    }
    return prev[n];
}

std::vector<std::string> closest_columns(std::string_view key, const std::vector<Column>& columns,
                                         size_t limit) {
    const int32_t key_len = static_cast<int32_t>(chars_of(key).size());
    std::vector<std::pair<int32_t, size_t>> near;  // distance, column
    for (size_t i = 0; i < columns.size(); ++i) {
        const int32_t len = static_cast<int32_t>(chars_of(columns[i].key).size());
        const int32_t d = edit_distance(key, columns[i].key);
        if (d > 0 && d <= std::max(1, std::max(key_len, len) / 3)) near.emplace_back(d, i);
    }
    std::stable_sort(near.begin(), near.end(),
                     [](const auto& x, const auto& y) { return x.first < y.first; });
    std::vector<std::string> names;
    for (size_t k = 0; k < near.size() && k < limit; ++k)
        names.push_back(columns[near[k].second].name);
    return names;
}

std::string did_you_mean(const std::vector<std::string>& names) {
    if (names.empty()) return {};
    std::string out = "; did you mean ";
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) out += i + 1 == names.size() ? " or " : ", ";
        out += "'" + names[i] + "'";
    }
    return out + "?";
}

}  // namespace zorv::table

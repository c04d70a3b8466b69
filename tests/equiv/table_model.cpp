// Columns, row records and the binding callback of the equivalence test.
#include "tests/equiv/table_model.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "tests/common/tree_text.h"

namespace equiv {

namespace {

// Where each column lies in a row record, computed once from the pointer width.
struct Layout {
    std::vector<int32_t> offset;
    size_t bytes = 0;
};

size_t field_bytes(const Column& c) {
    switch (c.holding) {
        case Holding::kInPlace:
            return c.numeric ? 8 : 4 * static_cast<size_t>(c.width);
        case Holding::kShortened:
            return 4;
        default:
            return sizeof(void*);
    }
}

const Layout& layout() {
    static const Layout lay = [] {
        Layout l;
        for (const Column& c : columns()) {
            const size_t size = field_bytes(c);
            const size_t align = size >= 8 ? 8 : 4;
            l.bytes = (l.bytes + align - 1) / align * align;
            l.offset.push_back(static_cast<int32_t>(l.bytes));
            l.bytes += size;
        }
        return l;
    }();
    return lay;
}

// The fetch callback of fetched columns: the row holds, at the column's offset, the
// address of a 32-bit byte length followed by the characters.
int32_t fetch_text(ZNode* node, const void* row, const void** address, int32_t* length) {
    const char* slot = static_cast<const char*>(row) + node->u.nm.coloff;
    const char* blob;
    std::memcpy(&blob, slot, sizeof blob);
    uint32_t bytes;
    std::memcpy(&bytes, blob, sizeof bytes);
    *address = blob + 4;
    *length = static_cast<int32_t>(bytes);
    return 0;
}

std::string number(double v) {
    const int r = missing_rank(v);
    if (r == 1) return "._";
    if (r == 2) return ".";
    if (r > 2) return std::string(".") + static_cast<char>('A' + r - 3);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    if (v == 0 && std::signbit(v)) return "-0";
    return buf;
}

}  // namespace

const std::vector<Column>& columns() {
    static const std::vector<Column> cols = {
        {"X", true, 8, Holding::kInPlace, false},   {"Y", true, 8, Holding::kInPlace, true},
        {"Z", true, 8, Holding::kInPlace, false},   {"S", true, 4, Holding::kShortened, false},
        {"P", true, 8, Holding::kPointer, false},   {"A", false, 1, Holding::kInPlace, false},
        {"B", false, 3, Holding::kInPlace, false},  {"D", false, 5, Holding::kInPlace, true},
        {"V", false, 4, Holding::kPrefix32, false}, {"U", false, 3, Holding::kPrefix16, false},
        {"E", false, 2, Holding::kFetched, false},
    };
    return cols;
}

int column_index(const std::string& name) {
    for (size_t i = 0; i < columns().size(); ++i)
        if (name == columns()[i].name) return static_cast<int>(i);
    return -1;
}

double missing(int rank) {
    const uint64_t bits =
        0xFFFF000000000000ull | (static_cast<uint64_t>((256 - rank) & 0xFF) << 40);
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

int missing_rank(double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    if ((bits >> 48) != 0xFFFF) return 0;
    const int r = (256 - static_cast<int>((bits >> 40) & 0xFF)) % 256;
    return r >= 1 && r <= 28 ? r : 2;
}

RowRecords::RowRecords(const std::vector<Row>& rows) {
    const Layout& lay = layout();
    const std::vector<Column>& cols = columns();
    for (const Row& row : rows) {
        auto rec = std::make_unique<uint64_t[]>(lay.bytes / 8 + 1);
        char* base = reinterpret_cast<char*>(rec.get());
        for (size_t c = 0; c < cols.size(); ++c) {
            char* at = base + lay.offset[c];
            const Column& col = cols[c];
            const double v = row.num[c];
            const std::u32string& s = row.text[c];
            const uint32_t bytes = static_cast<uint32_t>(4 * s.size());
            switch (col.holding) {
                case Holding::kInPlace:
                    if (col.numeric)
                        std::memcpy(at, &v, 8);
                    else
                        std::memcpy(at, s.data(), bytes);
                    break;
                case Holding::kShortened:
                    std::memcpy(at, reinterpret_cast<const char*>(&v) + 4, 4);
                    break;
                case Holding::kPointer:
                case Holding::kPrefix16:
                case Holding::kPrefix32:
                case Holding::kFetched: {
                    auto blob = std::make_unique<uint64_t[]>(bytes / 8 + 2);
                    char* b = reinterpret_cast<char*>(blob.get());
                    if (col.holding == Holding::kPointer) {
                        std::memcpy(b, &v, 8);
                    } else if (col.holding == Holding::kPrefix16) {
                        // The length sits 2 bytes into the block so that the characters
                        // after it are aligned for 4-byte units, as a host lays them out.
                        const uint16_t n = static_cast<uint16_t>(bytes);
                        b += 2;
                        std::memcpy(b, &n, 2);
                        std::memcpy(b + 2, s.data(), bytes);
                    } else {
                        std::memcpy(b, &bytes, 4);
                        std::memcpy(b + 4, s.data(), bytes);
                    }
                    std::memcpy(at, &b, sizeof b);
                    storage_.push_back(std::move(blob));
                    break;
                }
            }
        }
        records_.push_back(std::move(rec));
    }
}

int32_t bind_column(void*, ZNode* leaf, NQJournal*) {
    const int c =
        column_index(std::string(leaf->u.nm.name, static_cast<size_t>(leaf->u.nm.namelen)));
    if (c < 0) return 99;
    const Column& col = columns()[static_cast<size_t>(c)];
    const int32_t off = layout().offset[static_cast<size_t>(c)];
    leaf->u.nm.coloff = col.negative_offset ? -off : off;
    leaf->u.nm.fetch = nullptr;
    leaf->u.nm.colmode = 0;
    if (col.numeric) {
        leaf->vlen = col.holding == Holding::kShortened ? -4 : -8;
        leaf->u.nm.colw = static_cast<int16_t>(col.width);
        if (col.holding == Holding::kPointer) leaf->u.nm.colmode = 1;
        return 0;
    }
    leaf->vlen = static_cast<int16_t>(4 * col.width);
    leaf->u.nm.colw = leaf->vlen;
    switch (col.holding) {
        case Holding::kPrefix16:
            leaf->u.nm.colmode = 2;
            break;
        case Holding::kPrefix32:
            leaf->u.nm.colmode = 4;
            break;
        case Holding::kFetched:
            leaf->u.nm.colmode = 1;
            leaf->u.nm.fetch = fetch_text;
            break;
        default:
            break;
    }
    return 0;
}

std::string quote(const std::u32string& s) {
    std::string out = "'";
    for (char32_t c : s) {
        if (c == U'\t')
            out += "\\t";
        else if (c == U'\'')
            out += "''";
        else
            out += ztest::utf8(&c, 1);
    }
    return out + "'";
}

std::string describe(const Row& row) {
    std::string out;
    const std::vector<Column>& cols = columns();
    for (size_t c = 0; c < cols.size(); ++c) {
        if (!out.empty()) out += ' ';
        out += std::string(cols[c].name) + "=" +
               (cols[c].numeric ? number(row.num[c]) : quote(row.text[c]));
    }
    return out;
}

}  // namespace equiv

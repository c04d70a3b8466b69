// Generation of the benchmark rows and their binding. The generator uses its own arithmetic
// on a 64-bit Mersenne Twister rather than the standard distributions, whose results may
// differ between library versions: the rows, and so the counts, are the same everywhere.
#include "bench/eval_rows.h"

#include <cstring>
#include <random>
#include <string_view>

#include "zorv/support.h"

namespace zbench {
namespace {

// An entry of a weighted vocabulary.
struct Weighted {
    const char* text;
    uint32_t weight;
};

// Codes as they turn up in real data: one frequent code, its case variants, a tail of rarer
// ones, prefixes of each other (for the colon comparison), and blanks.
constexpr Weighted kCodes[] = {
    {"ab", 300}, {"ba", 100}, {"cd", 120}, {"Ab", 80}, {"AB", 60},  {"ef", 80},   {"aB", 30},
    {"abc", 50}, {"gh", 50},  {"a", 40},   {"", 40},   {"xyz", 30}, {"abcd", 20},
};

constexpr const char* kWords[] = {"red",  "fox",  "grey", "wolf", "brown", "bear",
                                  "lynx", "owl",  "hare", "deer", "elk",   "foxglove",
                                  "den",  "pine", "moss", "fern"};

// Weights of y = 0..9: small counts are common.
constexpr uint32_t kCountWeights[] = {20, 18, 15, 12, 10, 8, 7, 5, 3, 2};

template <size_t N>
uint32_t total_weight(const Weighted (&v)[N]) {
    uint32_t t = 0;
    for (const Weighted& e : v) t += e.weight;
    return t;
}

template <size_t N>
const char* pick(const Weighted (&v)[N], uint64_t r) {
    uint32_t at = static_cast<uint32_t>(r % total_weight(v));
    for (const Weighted& e : v) {
        if (at < e.weight) return e.text;
        at -= e.weight;
    }
    return v[0].text;
}

// Stores text (ASCII) blank-padded into a column of `width` characters, cut at the width.
void store(NQWChar* column, size_t width, std::string_view text) {
    for (size_t i = 0; i < width; ++i)
        column[i] = i < text.size() ? static_cast<NQWChar>(text[i]) : NQWChar{' '};
}

}  // namespace

std::vector<Row> make_rows(size_t count) {
    std::mt19937_64 rng(20240611);
    const double missing = pvMissVal('.');
    constexpr uint32_t kCountTotal = 100;
    std::vector<Row> rows(count);
    for (Row& r : rows) {
        r.x = rng() % 50 == 0 ? missing : static_cast<double>(rng() % 2000) / 100.0;
        uint32_t at = static_cast<uint32_t>(rng() % kCountTotal);
        int y = 0;
        while (at >= kCountWeights[y]) at -= kCountWeights[y++];
        r.y = y;
        r.k = static_cast<double>(rng() % 100000);
        store(r.s, kCodeWidth, pick(kCodes, rng()));
        std::string words = kWords[rng() % std::size(kWords)];
        for (uint64_t more = rng() % 3; more > 0; --more)
            words += std::string(" ") + kWords[rng() % std::size(kWords)];
        store(r.w, kWordsWidth, words);
    }
    return rows;
}

std::string trimmed(const NQWChar* chars, size_t width) {
    while (width > 0 && chars[width - 1] == ' ') --width;
    std::string out(width, ' ');
    for (size_t i = 0; i < width; ++i) out[i] = static_cast<char>(chars[i]);  // ASCII only
    return out;
}

int32_t bind_row(void*, ZNode* node, NQJournal*) {
    struct Binding {
        const char* key;
        int32_t offset;
        int32_t bytes;  // -8 numeric, else the character column's bytes
    };
    static constexpr Binding kColumns[] = {
        {"X", offsetof(Row, x), -8},
        {"Y", offsetof(Row, y), -8},
        {"K", offsetof(Row, k), -8},
        {"S", offsetof(Row, s), static_cast<int32_t>(sizeof(Row::s))},
        {"W", offsetof(Row, w), static_cast<int32_t>(sizeof(Row::w))},
    };
    const std::string_view name(node->u.nm.name, static_cast<size_t>(node->u.nm.namelen));
    for (const Binding& b : kColumns) {
        if (name != b.key) continue;
        node->vlen = static_cast<int16_t>(b.bytes);
        node->u.nm.colw = static_cast<int16_t>(b.bytes < 0 ? 8 : b.bytes);
        node->u.nm.coloff = b.offset;
        node->u.nm.colmode = 0;
        node->u.nm.fetch = nullptr;
        return 0;
    }
    return 100;
}

}  // namespace zbench

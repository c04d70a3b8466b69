// The transformer never changes an answer: every clause is parsed twice by the real parser
// and resolved twice through the same binding callback; one tree is transformed and
// evaluated by the library for every row, the other is left as resolved and answered by
// the reference evaluator. Random clauses over random tables first, then a table of fixed
// clauses that once disagreed.
//
// ZORV_EQUIV_SEED and ZORV_EQUIV_COUNT override the seed and the number of random clauses;
// ZORV_EQUIV_SHOW=1 prints every clause with its transformed tree.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "frame/internal/internal_fixture.h"
#include "resolve/resolve.h"
#include "tests/common/tree_text.h"
#include "tests/equiv/clause_gen.h"
#include "tests/equiv/reference.h"
#include "tests/equiv/table_model.h"

namespace {

using equiv::Row;

// Random clauses per run: enough to draw every family many times over, few enough for the
// sanitized build and for the 32-bit build under emulation.
constexpr long kClauses = 10000;

long env_number(const char* name, long fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::strtol(v, nullptr, 0) : fallback;
}

// A row written as describe() writes it: NAME=value ..., numbers as %g or a missing-value
// literal, texts quoted with '' for a quote and \t for a tab. Columns left out hold 0 or
// blanks (the empty text when the column's length varies).
Row row_from(const std::string& spec) {
    const std::vector<equiv::Column>& cols = equiv::columns();
    Row r;
    r.num.assign(cols.size(), 0.0);
    r.text.assign(cols.size(), U"");
    for (size_t c = 0; c < cols.size(); ++c)
        if (!cols[c].numeric && !cols[c].varying())
            r.text[c].assign(static_cast<size_t>(cols[c].width), U' ');
    size_t i = 0;
    while (i < spec.size()) {
        if (spec[i] == ' ') {
            ++i;
            continue;
        }
        const size_t eq = spec.find('=', i);
        const int c = equiv::column_index(spec.substr(i, eq - i));
        EXPECT_GE(c, 0) << spec;
        i = eq + 1;
        if (spec[i] == '\'') {
            std::u32string t;
            for (++i; i < spec.size(); ++i) {
                if (spec[i] == '\'' && (i + 1 >= spec.size() || spec[i + 1] != '\'')) break;
                if (spec[i] == '\'') ++i;
                if (spec[i] == '\\' && i + 1 < spec.size() && spec[i + 1] == 't') {
                    t += U'\t';
                    ++i;
                } else {
                    t += static_cast<char32_t>(static_cast<unsigned char>(spec[i]));
                }
            }
            ++i;
            if (!cols[static_cast<size_t>(c)].varying())
                t.resize(static_cast<size_t>(cols[static_cast<size_t>(c)].width), U' ');
            r.text[static_cast<size_t>(c)] = t;
            continue;
        }
        const size_t end = spec.find(' ', i);
        const std::string v =
            spec.substr(i, end == std::string::npos ? std::string::npos : end - i);
        i = end == std::string::npos ? spec.size() : end;
        double d;
        if (v == "._")
            d = equiv::missing(1);
        else if (v == ".")
            d = equiv::missing(2);
        else if (v.size() == 2 && v[0] == '.')
            d = equiv::missing(3 + v[1] - 'A');
        else
            d = std::strtod(v.c_str(), nullptr);
        r.num[static_cast<size_t>(c)] = d;
    }
    return r;
}

class Equivalence : public frametest::Linked {
  protected:
    void SetUp() override {
        Linked::SetUp();
        plain_ = create();
        tran_ = create();
        ASSERT_NE(plain_, nullptr);
        ASSERT_NE(tran_, nullptr);
    }

    int32_t parse(ZInst* inst, const std::string& clause) {
        std::u32string text;
        for (size_t i = 0; i < clause.size();) {
            // The clauses are UTF-8; decode them for the wide-character parser.
            const unsigned char b = static_cast<unsigned char>(clause[i]);
            const int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
            char32_t c = n == 1 ? b : b & (0x3F >> (n - 1));
            for (int k = 1; k < n; ++k)
                c = (c << 6) |
                    (static_cast<unsigned char>(clause[i + static_cast<size_t>(k)]) & 0x3F);
            text += c;
            i += static_cast<size_t>(n);
        }
        return inst->Parse(inst, text.data(), static_cast<int32_t>(text.size()), jnl_);
    }

    // Checks one clause over the rows. Returns "" when the transformed tree, as the
    // library evaluates it, selects exactly the rows the reference selects on the tree as
    // resolved; otherwise what went wrong, with the row and both trees.
    std::string check(const std::string& clause, const std::vector<Row>& rows) {
        if (parse(plain_, clause) != 0 || parse(tran_, clause) != 0)
            return "the clause does not parse: " + clause;
        plain_->worksize = 0;
        int32_t st = resolve_tree(plain_, plain_->root, jnl_, equiv::bind_column, nullptr);
        if (st != 0) return "resolving gives status " + std::to_string(st) + ": " + clause;
        st = tran_->Resolve(tran_, jnl_, equiv::bind_column, nullptr);
        if (st != 0) return "ZORVResolve gives status " + std::to_string(st) + ": " + clause;

        const equiv::RowRecords records(rows);
        for (size_t i = 0; i < rows.size(); ++i) {
            equiv::Reference plain(rows[i]), transformed(rows[i]);
            const bool expected = plain.holds(plain_->root);
            const bool reference = transformed.holds(tran_->root);
            const bool evaluated =
                tran_->Eval ? tran_->Eval(tran_, records.record(i), nullptr, nullptr) != 0
                            : reference;
            std::string why = plain.trouble().empty() ? transformed.trouble() : plain.trouble();
            if (why.empty() && expected == evaluated && expected == reference) continue;
            if (why.empty())
                why = reference != expected ? "the transformed tree means something else"
                                            : "the evaluator misreads the transformed tree";
            return why + "\n  clause:      " + clause +
                   "\n  resolved:    " + ztest::render(plain_->root) +
                   "\n  transformed: " + ztest::render(tran_->root) +
                   "\n  row:         " + equiv::describe(rows[i]) + "\n  expected " +
                   std::to_string(expected) + ", evaluator " + std::to_string(evaluated) +
                   ", reference on the transformed tree " + std::to_string(reference);
        }
        return "";
    }

    ZInst* plain_ = nullptr;
    ZInst* tran_ = nullptr;
};

TEST_F(Equivalence, RandomClausesKeepTheirAnswers) {
    const uint64_t seed = static_cast<uint64_t>(env_number("ZORV_EQUIV_SEED", 20240611));
    const long count = env_number("ZORV_EQUIV_COUNT", kClauses);
    const bool show = env_number("ZORV_EQUIV_SHOW", 0) != 0;
    const auto start = std::chrono::steady_clock::now();
    int failures = 0;
    for (long n = 0; n < count; ++n) {
        // Each clause has a generator of its own, so that one can be replayed alone.
        equiv::Rng rng(seed * 0x100000001B3ull + static_cast<uint64_t>(n));
        const std::vector<Row> rows = equiv::random_table(rng);
        equiv::ClauseGen gen(rng, rows);
        const std::string clause = gen.clause();
        const std::string failure = check(clause, rows);
        if (show) std::printf("%s\n  %s\n", clause.c_str(), ztest::render(tran_->root).c_str());
        if (failure.empty()) continue;
        // The first few are shown in full; the rest only counted.
        if (++failures <= 5)
            ADD_FAILURE() << "seed " << seed << ", clause " << n << ": " << failure;
    }
    EXPECT_EQ(failures, 0) << "clauses that changed their answers";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    std::printf("%ld clauses (seed %llu) in %lld ms\n", count,
                static_cast<unsigned long long>(seed), static_cast<long long>(ms));
}

// Clauses that once disagreed, each with the rows that showed it, run also over a few
// random tables.
struct Fixed {
    const char* clause;
    std::vector<const char*> rows;
};

const std::vector<Fixed> kFixed = {
    {"X > 1", {"X=2", "X=."}},
};

TEST_F(Equivalence, FixedClausesKeepTheirAnswers) {
    for (const Fixed& f : kFixed) {
        std::vector<Row> rows;
        for (const char* spec : f.rows) rows.push_back(row_from(spec));
        EXPECT_EQ(check(f.clause, rows), "");
        for (uint64_t seed = 1; seed <= 3; ++seed) {
            equiv::Rng rng(seed);
            EXPECT_EQ(check(f.clause, equiv::random_table(rng)), "") << "table " << seed;
        }
    }
}

}  // namespace

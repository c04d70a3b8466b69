// The transformer never changes an answer: every clause is parsed twice by the real parser
// and resolved twice through the same binding callback; one tree is transformed and
// evaluated by the library for every row, the other is left as resolved and answered by
// the reference evaluator. Random clauses over random tables first, then fixed clauses: edge
// shapes the random ones seldom draw, and clauses that once disagreed.
//
// ZORV_EQUIV_SEED and ZORV_EQUIV_COUNT override the seed and the number of random clauses,
// ZORV_EQUIV_FIRST the number of the first (a failing clause is replayed alone with its
// number and a count of 1); ZORV_EQUIV_SHOW=1 prints every clause with its transformed tree.
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
// literal, texts (ASCII here) quoted with '' for a quote and \t for a tab. Columns left out
// hold 0 or blanks (the empty text when the column's length varies).
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

        if (show_) std::printf("%s\n  %s\n", clause.c_str(), ztest::render(tran_->root).c_str());
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
    const bool show_ = env_number("ZORV_EQUIV_SHOW", 0) != 0;
};

TEST_F(Equivalence, RandomClausesKeepTheirAnswers) {
    const uint64_t seed = static_cast<uint64_t>(env_number("ZORV_EQUIV_SEED", 20240611));
    const long count = env_number("ZORV_EQUIV_COUNT", kClauses);
    const auto start = std::chrono::steady_clock::now();
    int failures = 0;
    const long first = env_number("ZORV_EQUIV_FIRST", 0);
    for (long n = first; n < first + count; ++n) {
        // Each clause has a generator of its own, so that one can be replayed alone.
        equiv::Rng rng(seed * 0x100000001B3ull + static_cast<uint64_t>(n));
        const std::vector<Row> rows = equiv::random_table(rng);
        equiv::ClauseGen gen(rng, rows);
        const std::string clause = gen.clause();
        const std::string failure = check(clause, rows);
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

// Fixed clauses, each with rows at its edges and run also over a few random tables: shapes
// the random clauses never or seldom draw, and clauses that once disagreed. An entry
// marked open still disagrees and waits for a decision; the random clauses keep its shape
// out meanwhile. Once it agrees, the mark (and the generator's exclusion) must go.
struct Fixed {
    const char* clause;
    std::vector<const char*> rows;
    const char* open = nullptr;  // why it still disagrees
};

const std::vector<Fixed> kFixed = {
    // Constants of different literal kinds on one column, where no range is formed: the
    // comparisons stay apart, an equality joins a set by value.
    {"X > '1jan1960'd AND X < 5 AND X <> '0:00't", {"X=0", "X=-1", "X=3", "X=5", "X=."}},
    {"(X = '0:00't OR X = 0 OR X = 1 OR X = '1jan1960'd)", {"X=0", "X=1", "X=2", "X=._"}},
    // Long runs: equalities in any order into one set, inequalities into one NOT IN, a
    // long list cut by several comparisons.
    {"(X = 7 OR X = 3 OR X = . OR X = 1 OR X = 9 OR X = 3 OR X = 12 OR X = - 1 OR X = .A OR "
     "X = 0 OR X = 5 OR X = 2 OR X = 11 OR X = 8 OR X = - 0 OR X = 4 OR X = 10 OR X = 6)",
     {"X=3", "X=-1", "X=.", "X=.B", "X=13", "X=-0", "X=0.5"}},
    {"(S <> 7 AND S <> 3 AND S <> ._ AND S <> 1 AND S <> 9 AND S <> 3 AND S <> 12 AND "
     "S <> - 1 AND S <> 0 AND S <> 5 AND S <> 2 AND S <> 11 AND S <> 8 AND S <> 4 AND "
     "S <> 10 AND S <> 6 AND S <> 13)",
     {"S=3", "S=14", "S=._", "S=.", "S=0.5"}},
    {"P IN (40 39 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 "
     "29 30 31 32 33 34 35 36 37 38 .) AND P > 5 AND P <= 30 AND P <> 17 AND P NOT IN (20 21)",
     {"P=5", "P=6", "P=17", "P=20", "P=30", "P=31", "P=."}},
    // Negations stacked, and a chain of character columns.
    {"NOT (NOT (NOT (Y = 1))) AND NOT (NOT (Y < 3))", {"Y=1", "Y=2", "Y=3", "Y=."}},
    {"A < B <= D", {"A='a' B='b' D='b'", "A='a' B='a\t' D='a'", "A=' ' B='' D=''"}},
    // UPCASE of a column in a list, and of a constant folded by the resolver.
    {"(UPCASE(V) IN ('AB', 'B ') OR UPCASE('ab') = V)", {"V='ab'", "V='b'", "V='AB'", "V='b\t'"}},
    // The empty text in a truncated list matches everything; a colon comparison twice.
    {"D NOT IN : ('', 'a') OR (B = : 'ab' AND B = : 'ab')", {"D='a' B='abc'", "B='a'"}},
    // An AND emptied by a merge (true) under a NOT pushed down before the merge: the NOT
    // must give an empty OR (false), not an OR over the empty AND. And an empty OR taken
    // into its parent OR must leave no empty slot, which would read as true.
    {"NOT ((1 AND 1) OR X = 1)", {"X=1", "X=2", "X=."}},
    {"NOT ((A NE 'aaA' NE A AND A ~ IN (' ')))", {"A='!'", "A=' '"}},
    {"NOT ((A NE ' !' ~= A ! NOT (Z IN (- 1 - 1, - 1, 2)) ! A IS NULL))",
     {"A='B' Z=2", "A='B' Z=3", "A=' ' Z=2"}},
    {"X = 1 OR (1 AND (A = 'aaA' OR A = 'bbB'))", {"X=1", "X=2"}},
    // A one-point range cut at its point leaves nothing, not an empty range whose
    // included end a later cut would take for a point.
    {"X BETWEEN 0 AND 10 AND X BETWEEN - 5 AND 0 AND X NOT BETWEEN 0 AND 1 AND X <= 0",
     {"X=0", "X=1", "X=-1"}},
    {"(X BETWEEN - 0 AND 10 & NOT (X NOT IN (0, - 0, - 0, - 0) AND X GT - 0) & "
     "X BETWEEN - 0 AND - 1E300 & X NOT BETWEEN - 0 AND 0.25)",
     {"X=-0", "X=0", "X=0.25"}},
    // A double minus is read as nothing by the transformer; the evaluator's minus makes
    // every missing value the ordinary one, so - - S is . where S is .B.
    {"S NE (- (- S))", {"S=.B", "S=1", "S=."}, "- - e becomes e, losing a special missing value"},
    {"X = (- (- - (- Y)))",
     {"X=.A Y=.A", "X=. Y=.A", "X=2 Y=2"},
     "- - e becomes e, losing a special missing value"},
    // The truncated IN search is a binary search over the list sorted blank-padded, but
    // the list keeps an element of which another is a prefix when a character below the
    // blank separates them in that order: ('a\tb', 'a') stays, and 'a\ta' is not found.
    {"B IN : ('a	b', 'a	c', 'a')",
     {"B='a\ta'", "B='a'", "B='a\tb'", "B='b'"},
     "a truncated IN list that is not free of prefixes is searched by halves"},
};

TEST_F(Equivalence, FixedClausesKeepTheirAnswers) {
    for (const Fixed& f : kFixed) {
        if (f.open) continue;
        std::vector<Row> rows;
        for (const char* spec : f.rows) rows.push_back(row_from(spec));
        EXPECT_EQ(check(f.clause, rows), "");
        for (uint64_t seed = 1; seed <= 3; ++seed) {
            equiv::Rng rng(seed);
            EXPECT_EQ(check(f.clause, equiv::random_table(rng)), "") << "table " << seed;
        }
    }
}

TEST_F(Equivalence, OpenDisagreementsStillDisagree) {
    std::string open;
    for (const Fixed& f : kFixed) {
        if (!f.open) continue;
        std::vector<Row> rows;
        for (const char* spec : f.rows) rows.push_back(row_from(spec));
        EXPECT_NE(check(f.clause, rows), "")
            << f.clause << " agrees now: drop its open mark and the generator's exclusion";
        open += std::string("\n  ") + f.clause + ": " + f.open;
    }
    if (!open.empty()) GTEST_SKIP() << "open disagreements:" << open;
}

}  // namespace

// Numeric operators: missing values and division by zero give the ordinary missing value,
// truth follows the value, the power chain associates to the right and stops at a missing
// operand, and the numeric order (and its integer keys) puts missing values below numbers.
#include <cmath>
#include <limits>

#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::bit_cast<double>(0x7FF8000000000001ull);  // a NaN, not missing

// Each clause is evaluated as resolved only and as transformed, at the root and as an
// operand: the answers agree.
TEST_F(EvalTest, ArithmeticValuesAndTruth) {
    const double dot = missing(2), a = missing(3), z = missing(28);
    const struct {
        const char* clause;
        double x, y;
        double want;  // bit for bit; kNaN: any NaN that is no missing value
        int truth;
    } cases[] = {
        {"x + 1", a, 0, dot, 0},  // a lettered missing value becomes the ordinary one
        {"x - y", 4, z, dot, 0},
        {"x * y", missing(1), 2, dot, 0},
        {"x + y", 2.5, -2.5, 0.0, 0},
        {"x - y", 7, 2, 5, 1},
        {"x * y", 1e200, 1e200, kInf, 1},
        {"x - y", kInf, kInf, kNaN, 1},
        {"x / 0", 5, 0, dot, 0},
        {"x / y", 5, -0.0, dot, 0},
        {"y / x", 5, 0, 0.0, 0},
        {"x / y", 1, 4, 0.25, 1},
        {"-x", 0, 0, -0.0, 0},
        {"-x", z, 0, dot, 0},
        {"-x", 3, 0, -3, 1},
        {"x ** y ** 2", 2, 3, 512, 1},  // 2 ** 9
        {"x ** y ** 0.5", 0, 4, 0, 0},
        {"x ** y ** (1/3)", 2, -8, dot, 0},
    };
    for (const auto& c : cases) {
        Row row;
        row.x = c.x;
        row.y = c.y;
        for (bool transform : {false, true}) {
            prepare(c.clause, transform);
            ZNode r{};
            EXPECT_EQ(eval(row, &r), c.truth) << c.clause << " over " << c.x << ", " << c.y;
            ASSERT_EQ(r.type, Z_LITN) << c.clause;
            // The same value read as an operand, which is computed without a result record:
            // MAX of it with itself is it.
            const std::string twice = "(" + std::string(c.clause) + ") max$ (" + c.clause + ")";
            for (const double got : {r.u.litn.num, number(twice, row, transform)}) {
                if (bits_of(c.want) == bits_of(kNaN))
                    EXPECT_TRUE(std::isnan(got) && !is_missing(got)) << c.clause;
                else
                    EXPECT_EQ(bits_of(got), bits_of(c.want)) << c.clause;
            }
        }
    }
}

// F comes through a fetch callback that counts its calls: each operand of a chain is
// evaluated once, and a missing operand ends the chain before anything to its right.
TEST_F(EvalTest, PowerChainStopsAtTheFirstMissingOperand) {
    const struct {
        const char* clause;
        double x, f;
        int calls;
        bool missing_result;
    } cases[] = {
        {"x ** f ** f", missing(2), 2, 0, true}, {"f ** x ** f", 3, missing(4), 1, true},
        {"f ** x ** f", missing(4), 2, 1, true}, {"x ** f ** f", 2, 2, 2, false},
        {"f ** x ** y", 2, 2, 1, false},
    };
    for (const auto& c : cases) {
        Row row;
        row.x = c.x, row.y = 1, row.f = c.f;
        prepare(c.clause, false);
        fetch_calls = 0;
        ZNode r{};
        eval(row, &r);
        EXPECT_EQ(fetch_calls.load(), c.calls) << c.clause;
        EXPECT_EQ(is_missing(r.u.litn.num), c.missing_result) << c.clause;
    }
    // Fewer than two operands: none is missing, one is that operand's value.
    Row row;
    row.x = missing(9);
    ZNode r{};
    EXPECT_EQ(eval(row, &r, op(Z_APOW, {})), 0);
    EXPECT_EQ(bits_of(r.u.litn.num), bits_of(missing(2)));
    EXPECT_EQ(eval(row, &r, op(Z_APOW, {num(4)})), 1);
    EXPECT_EQ(r.u.litn.num, 4);
    EXPECT_EQ(eval(row, &r, op(Z_APOW, {col("X")})), 0);
    EXPECT_EQ(bits_of(r.u.litn.num), bits_of(missing(2)));
}

// The chain's value by its definition: operand i to the power of the rest.
double chain_reference(const std::vector<double>& v, size_t i) {
    if (is_missing(v[i])) return missing(2);
    const double y = i + 2 == v.size() ? v[i + 1] : chain_reference(v, i + 1);
    if (is_missing(y)) return missing(2);
    int32_t status;
    return nqzpower(v[i], y, &status);
}

// Chains longer than the values held on the stack fold their far end separately. Towers
// of values near 1 forget their far end within a few levels, so the chains also carry a
// pair -8 ** 0.5 at varying places (across the held values, block and group boundaries):
// it fails only when folded in the right order, and its failure must reach the top.
TEST_F(EvalTest, LongPowerChainsFollowTheDefinition) {
    Row row;
    row.x = 1.01, row.y = 0.97, row.z = 1.5;
    const char* names[] = {"x", "y", "z"};
    const double held[] = {row.x, row.y, row.z};
    for (int n : {2, 15, 16, 63, 64, 65, 66, 79, 80, 200, 1100})
        for (int pair : {-1, 0, n / 2, n - 2, 62, 63, 64, 65, 119, 1030}) {
            if (pair >= n - 1) continue;
            std::string clause;
            std::vector<double> values;
            for (int i = 0; i < n; ++i) {
                const int pick = (i * 7 + i / 5) % 3;
                const bool base = i == pair, exponent = i == pair + 1 && pair >= 0;
                clause += std::string(i ? " ** " : "") + (base       ? "-8"
                                                          : exponent ? "0.5"
                                                                     : names[pick]);
                values.push_back(base ? -8 : exponent ? 0.5 : held[pick]);
            }
            const double got = number(clause, row, false);
            EXPECT_EQ(bits_of(got), bits_of(chain_reference(values, 0))) << n << ", " << pair;
            EXPECT_EQ(is_missing(got), pair >= 0) << n << " operands, pair at " << pair;
        }
    // A missing operand far down a long chain: the fetch column after it is not read.
    std::string clause = "x";
    for (int i = 1; i < 150; ++i) clause += i == 120 ? " ** z" : i == 130 ? " ** f" : " ** y";
    row.z = missing(2);
    prepare(clause, false);
    fetch_calls = 0;
    EXPECT_EQ(eval(row), 0);
    EXPECT_EQ(fetch_calls.load(), 0);
}

// The numeric order over values listed in ascending order (equal ones in one group): the
// comparison and the integer keys of the list indexes both follow the listing.
TEST(NumericOrder, ComparisonAndKeysFollowTheOrder) {
    const double denorm = std::numeric_limits<double>::denorm_min();
    const std::vector<std::vector<double>> groups = {{missing(1)},
                                                     {missing(2)},
                                                     {missing(3)},
                                                     {missing(28)},
                                                     {-kInf},
                                                     {-std::numeric_limits<double>::max()},
                                                     {std::nextafter(-1.0, -2.0)},
                                                     {-1},
                                                     {-denorm},
                                                     {-0.0, 0.0},
                                                     {denorm},
                                                     {1},
                                                     {std::nextafter(1.0, 2.0)},
                                                     {1e308},
                                                     {kInf}};
    for (size_t i = 0; i < groups.size(); ++i)
        for (size_t j = 0; j < groups.size(); ++j)
            for (double a : groups[i])
                for (double b : groups[j]) {
                    const int32_t want = i < j ? kOrdLess : i > j ? kOrdGreater : kOrdEqual;
                    EXPECT_EQ(num_compare(a, b), want) << a << " vs " << b;
                    int64_t ka, kb;
                    ASSERT_TRUE(order_key(a, &ka) && order_key(b, &kb));
                    EXPECT_EQ(ka < kb ? kOrdLess : ka > kb ? kOrdGreater : kOrdEqual, want);
                }
    // A NaN that is no missing value equals every number, is above every missing value
    // and has no key.
    EXPECT_EQ(num_compare(kNaN, 1), kOrdEqual);
    EXPECT_EQ(num_compare(missing(2), kNaN), kOrdLess);
    int64_t k0, k1;
    EXPECT_FALSE(order_key(kNaN, &k0));
    // Neighbouring doubles have neighbouring keys, across zero too.
    order_key(-denorm, &k0);
    order_key(denorm, &k1);
    EXPECT_EQ(k1 - k0, 2);
}

}  // namespace
}  // namespace evaltest

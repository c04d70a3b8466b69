// Numeric operators: missing values and division by zero give the ordinary missing value,
// truth follows the value, the power chain associates to the right and stops at a missing
// operand, and the numeric order places missing values below every number.
#include <cmath>
#include <functional>
#include <limits>

#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::bit_cast<double>(0x7FF8000000000001ull);  // a NaN, not missing

struct ArithCase {
    const char* clause;
    double x, y;
    double want;  // bit for bit; the ordinary missing value where the case says so
    int truth;
};

// Each clause is evaluated as resolved only and as transformed: the answers agree.
TEST_F(EvalTest, ArithmeticValuesAndTruth) {
    const double dot = missing(2), a = missing(3), z = missing(28);
    const ArithCase cases[] = {
        {"x + 1", a, 0, dot, 0},  // a lettered missing value becomes the ordinary one
        {"x - y", 4, z, dot, 0},
        {"x * y", missing(1), 2, dot, 0},
        {"x + y", 2.5, -2.5, 0.0, 0},
        {"x - y", 7, 2, 5, 1},
        {"x * y", 1e200, 1e200, kInf, 1},
        {"x - y", kInf, kInf, -std::numeric_limits<double>::quiet_NaN(), 1},
        {"x / 0", 5, 0, dot, 0},
        {"x / y", 5, -0.0, dot, 0},
        {"y / x", 5, 0, 0.0, 0},
        {"x / y", 1, 4, 0.25, 1},
        {"-x", 0, 0, -0.0, 0},
        {"-x", z, 0, dot, 0},
        {"-x", 3, 0, -3, 1},
        {"x", kNaN, 0, kNaN, 1},  // a NaN that is no missing value is true
        {"x", -0.0, 0, -0.0, 0},
        {"x", a, 0, a, 0},  // a column keeps the missing value it holds
    };
    for (const ArithCase& c : cases) {
        Row row;
        row.x = c.x;
        row.y = c.y;
        for (bool transform : {false, true}) {
            prepare(c.clause, transform);
            ZNode r{};
            EXPECT_EQ(eval(row, &r), c.truth) << c.clause << " over " << c.x << ", " << c.y;
            ASSERT_EQ(r.type, Z_LITN) << c.clause;
            if (std::isnan(c.want) && !is_missing(c.want))
                EXPECT_TRUE(std::isnan(r.u.litn.num) && !is_missing(r.u.litn.num)) << c.clause;
            else
                EXPECT_EQ(bits_of(r.u.litn.num), bits_of(c.want))
                    << c.clause << " = " << r.u.litn.num;
        }
    }
}

TEST_F(EvalTest, ShortenedColumnsWidenAndKeepMissingValues) {
    Row row;
    put_short(row, 2.5);
    EXPECT_EQ(number("s + 1", row), 3.5);
    put_short(row, missing(5));
    EXPECT_EQ(bits_of(number("s + 1", row)), bits_of(missing(2)));
    EXPECT_EQ(truth("s is missing", row), 1);
}

TEST_F(EvalTest, PowerChainsAssociateToTheRight) {
    Row row;
    row.x = 2, row.y = 3, row.z = 2;
    EXPECT_EQ(number("x ** y ** z", row, false), 512);  // 2 ** 9, not 8 ** 2
    row.y = -8, row.z = 1.0 / 3;
    EXPECT_EQ(bits_of(number("x ** y ** z", row, false)), bits_of(missing(2)));
    row.x = missing(7), row.y = 1, row.z = 0;
    EXPECT_EQ(bits_of(number("x ** y ** z", row, false)), bits_of(missing(2)));
    row.x = 0, row.y = 2, row.z = -1;
    EXPECT_EQ(truth("x ** y ** z", row, false), 0);  // 0 ** 0.5 = 0, false
}

// F comes through a fetch callback that counts its calls: an operand is evaluated once,
// and a missing operand ends the chain before anything to its right.
TEST_F(EvalTest, PowerChainStopsAtTheFirstMissingOperand) {
    struct Case {
        const char* clause;
        double x, f;
        int calls;
        bool missing_result;
    };
    const Case cases[] = {
        {"x ** f ** f", missing(2), 2, 0, true}, {"f ** x ** f", 3, missing(4), 1, true},
        {"f ** x ** f", missing(4), 2, 1, true}, {"x ** f ** f", 2, 2, 2, false},
        {"f ** x ** y", 2, 2, 1, false},
    };
    for (const Case& c : cases) {
        Row row;
        row.x = c.x;
        row.y = 1;
        row.f = c.f;
        prepare(c.clause, false);
        fetch_calls = 0;
        ZNode r{};
        eval(row, &r);
        EXPECT_EQ(fetch_calls.load(), c.calls) << c.clause;
        EXPECT_EQ(is_missing(r.u.litn.num), c.missing_result) << c.clause;
    }
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
    for (int n : {2, 15, 16, 63, 64, 65, 66, 79, 80, 200, 1100}) {
        for (int pair : {-1, 0, n / 2, n - 2, 62, 63, 64, 65, 119, 1030}) {
            if (pair >= n - 1) continue;
            std::string clause;
            std::vector<double> values;
            for (int i = 0; i < n; ++i) {
                const int pick = (i * 7 + i / 5) % 3;
                const bool base = i == pair, exponent = i == pair + 1 && pair >= 0;
                clause += i ? " ** " : "";
                clause += base ? "-8" : exponent ? "0.5" : names[pick];
                values.push_back(base ? -8 : exponent ? 0.5 : held[pick]);
            }
            const double got = number(clause, row, false);
            EXPECT_EQ(bits_of(got), bits_of(chain_reference(values, 0)))
                << n << " operands, pair at " << pair;
            EXPECT_EQ(is_missing(got), pair >= 0) << n << " operands, pair at " << pair;
        }
    }
    // A missing operand far down a long chain: the fetch column after it is not read.
    std::string clause = "x";
    for (int i = 1; i < 150; ++i) clause += i == 120 ? " ** z" : i == 130 ? " ** f" : " ** y";
    row.z = missing(2);
    prepare(clause, false);
    fetch_calls = 0;
    ZNode r{};
    EXPECT_EQ(eval(row, &r), 0);
    EXPECT_EQ(bits_of(r.u.litn.num), bits_of(missing(2)));
    EXPECT_EQ(fetch_calls.load(), 0);
}

TEST_F(EvalTest, PowerNodesOfFewerThanTwoOperands) {
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

// The numeric order: missing values by rank below every number, -0 equal to 0, NaNs that
// are no missing value equal to everything.
TEST(NumericOrder, MissingValuesSitBelowEveryNumber) {
    const double lowest = -std::numeric_limits<double>::max();
    struct Pair {
        double a, b;
        int32_t code;
    };
    const Pair pairs[] = {
        {missing(28), -kInf, kOrdLess},
        {lowest, missing(1), kOrdGreater},
        {missing(1), missing(2), kOrdLess},
        {missing(3), missing(2), kOrdGreater},
        {missing(5), missing(5), kOrdEqual},
        {-0.0, 0.0, kOrdEqual},
        {kNaN, 1, kOrdEqual},
        {kNaN, missing(2), kOrdGreater},
        {1, 2, kOrdLess},
        {kInf, 1e308, kOrdGreater},
    };
    for (const Pair& p : pairs) {
        EXPECT_EQ(num_compare(p.a, p.b), p.code) << p.a << " vs " << p.b;
        const int32_t swapped = p.code == kOrdEqual ? kOrdEqual : kOrdLess + kOrdGreater - p.code;
        EXPECT_EQ(num_compare(p.b, p.a), swapped) << p.b << " vs " << p.a;
    }
}

// The integer keys of the index order values exactly as the comparison does.
TEST(NumericOrder, KeysOrderAsTheComparison) {
    const double denorm = std::numeric_limits<double>::denorm_min();
    const double values[] = {missing(1),
                             missing(2),
                             missing(3),
                             missing(28),
                             -kInf,
                             -1e308,
                             -1,
                             -denorm,
                             -0.0,
                             0.0,
                             denorm,
                             0.1,
                             1,
                             1e308,
                             kInf,
                             std::nextafter(1.0, 2.0),
                             std::nextafter(-1.0, -2.0)};
    for (double a : values)
        for (double b : values) {
            int64_t ka, kb;
            ASSERT_TRUE(order_key(a, &ka) && order_key(b, &kb));
            const int32_t code = ka < kb ? kOrdLess : ka > kb ? kOrdGreater : kOrdEqual;
            EXPECT_EQ(code, num_compare(a, b)) << a << " vs " << b;
        }
    int64_t k;
    EXPECT_FALSE(order_key(kNaN, &k));
    // Neighbouring doubles have neighbouring keys, across zero too.
    int64_t k0, k1;
    order_key(denorm, &k1);
    order_key(-denorm, &k0);
    EXPECT_EQ(k1 - k0, 2);
    order_key(1.0, &k0);
    order_key(std::nextafter(1.0, 2.0), &k1);
    EXPECT_EQ(k1 - k0, 1);
}

}  // namespace
}  // namespace evaltest

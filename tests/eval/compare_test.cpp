// Comparisons and character operators, evaluated as parsed (not transformed) so that the
// evaluator and not the transformer's folding decides every case.
#include <cmath>
#include <string>
#include <utility>

#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

struct Case {
    const char* clause;
    int want;
};

// clang-format off
const Case kConstantCases[] = {
    // blank padding: the shorter value reads as followed by blanks
    {"'AB' = 'AB   '", 1}, {"'AB' < 'ABC'", 1}, {"'AB' < 'AB '", 0}, {"'AB' <= 'AB '", 1},
    {"'AB' ^= 'AB '", 0}, {"'B' > 'ABC'", 1}, {"'' = '   '", 1}, {"'' < 'A'", 1},
    // colon forms: both values cut to the shorter length first
    {"'ABC' = : 'AB'", 1}, {"'ABC' < : 'ABD'", 1}, {"'AB' < : 'ABD'", 0}, {"'AB' = : 'ABD'", 1},
    {"'ABC' >= : 'AB'", 1}, {"'ABC' > : 'AB'", 0}, {"'' = : 'XYZ'", 1}, {"'AB' ^= : 'AC'", 1},
    // numbers: missing values below every number, by rank among themselves
    {". < -1E300", 1}, {"._ < .", 1}, {".A = .A", 1}, {".Z > .A", 1}, {"-0 = 0", 1}, {"1 ^= 2", 1},
    {"2 <= 2", 1}, {"3 >= 4", 0}, {"3 > 2", 1},
    // BETWEEN: bounds in either order, both included
    {"7 between 10 and 5", 1}, {"5 between 10 and 5", 1}, {"10 between 5 and 10", 1},
    {"11 between 10 and 5", 0}, {". not between 5 and 10", 1}, {".A between . and 5", 1},
    {"._ between 5 and .", 0}, {"'AB' between 'B' and 'A'", 1}, {"'B' between 'A' and 'B  '", 1},
    {"'BA' between 'A' and 'B'", 0},
    // MIN and MAX: the truth of the value chosen
    {". min$ 5", 0}, {". max$ 5", 1}, {"'  ' max$ ''", 0}, {"0 max$ .", 0},
    // concatenation keeps trailing blanks; CONTAINS counts the pattern's
    {"('ab ' || 'c') = 'ab c'", 1}, {"' ' || '  '", 0}, {"' ' || ' z'", 1},
    {"'HELLO' contains 'LL'", 1}, {"'HELLO' ? ''", 1}, {"'' contains ''", 1},
    {"'HELLO' contains 'LL '", 0}, {"'' contains 'A'", 0}, {"'HELLO' contains 'll'", 0},
    {"'HELLO' not contains 'LX'", 1}, {"'HELLO' contains 'HELLO!'", 0},
    // IN over lists written in order: blank padding; TIN: a prefix of either side
    {"'ABC' in ('AB' 'ABC ')", 1}, {"'AB' in ('AB ' 'ABC')", 1}, {"'ABD' in ('AB' 'ABC ')", 0},
    {"'ABC' in : ('AB' 'XY')", 1}, {"'A' in : ('ABC')", 1}, {"'ABD' in : ('ABC')", 0},
    {"'' in : ('ABC')", 1}, {"'B' notin : ('AB' 'XY')", 1}, {"'AB ' in : ('ABC' 'XY')", 0},
};
// clang-format on

class CompareTest : public EvalTest {
  protected:
    void expect(const Row& row, std::initializer_list<std::pair<std::string, int>> cases) {
        for (const auto& [clause, want] : cases)
            EXPECT_EQ(truth(clause, row, false), want) << clause;
    }
    // The value of a clause whose root gives characters, left in `r`.
    std::u32string text(std::string_view clause, const Row& row, ZNode& r) {
        prepare(clause, false);
        eval(row, &r);
        EXPECT_EQ(r.type, Z_LITC) << clause;
        return chars_of(r);
    }
};

TEST_F(CompareTest, ConstantCases) {
    for (const Case& c : kConstantCases)
        EXPECT_EQ(truth(c.clause, Row{}, false), c.want) << c.clause;
}

TEST_F(CompareTest, ColumnsOrderByCodeValueWithTheirTails) {
    Row row;
    put(row.c, U"AB");
    put(row.w, U"AB\x01");  // a character below the blank in the longer value's tail
    expect(row, {{"'AB' > w", 1},
                 {"w < 'AB'", 1},
                 {"'AB' = w", 0},
                 {"c > w", 1},
                 {"c = : 'ABC'", 0},
                 {"c < : 'ABC'", 1},
                 {"c between 'B' and 'A'", 1}});
    put(row.w, U"ABc");
    expect(row, {{"'AB' < w", 1}, {"w > c", 1}});
    put(row.c, U"\u0100");
    put(row.w, U"\u00FF");  // a larger first byte, a smaller code value
    expect(row, {{"c > w", 1}, {"w < c", 1}});
    row.x = std::nan("");  // not a missing value: unordered, so equal
    expect(row, {{"x = 1", 1}, {"x < 1", 0}, {"x ^= x", 0}});
    row.fail = 1;  // G's fetch fails: the empty value
    expect(row, {{"g = ''", 1}, {"g < 'A'", 1}});
}

// Orders as if both values were blank-padded, 'a'..'z' taken as 'A'..'Z'; counts its calls.
struct CaselessCollator : NQCollator {
    int calls = 0;
    CaselessCollator() : NQCollator{} { Compare = compare; }
    static NQWChar fold(NQWChar c) { return c >= U'a' && c <= U'z' ? c - 32 : c; }
    static int32_t compare(NQCollator* self, const NQWChar* a, int32_t na, const NQWChar* b,
                           int32_t nb, int32_t) {
        ++static_cast<CaselessCollator*>(self)->calls;
        for (int32_t i = 0; i < na || i < nb; ++i) {
            const NQWChar x = i < na ? fold(a[i]) : kBlank, y = i < nb ? fold(b[i]) : kBlank;
            if (x != y) return x < y ? -1 : 1;
        }
        return 0;
    }
};

TEST_F(CompareTest, EqualityNeverCollatesOrderingAndSearchesDo) {
    CaselessCollator collator;
    inst_ = create(0, nullptr, reinterpret_cast<uintptr_t>(&collator));
    Row row;
    expect(row, {{"'a' ^= 'A'", 1}, {"'a' = 'A'", 0}, {"'a' = : 'AB'", 0}});
    EXPECT_EQ(collator.calls, 0);
    expect(row, {{"'a' <= 'A'", 1},
                 {"'a' >= 'A'", 1},
                 {"'a' < 'A'", 0},
                 {"'ab' <= : 'A'", 1},
                 {"'b' between 'A' and 'C'", 1},
                 {"'b' in ('A' 'B')", 1},
                 {"'ab' in : ('ABC')", 1}});
    EXPECT_GE(collator.calls, 8);
    ZNode r{};
    EXPECT_EQ(text("'A' min$ 'a'", row, r), U"a");  // equal to the service: operand 1
}

TEST_F(CompareTest, MinAndMaxChooseAndTies) {
    Row row;
    EXPECT_EQ(bits_of(number(". min$ 5", row, false)), bits_of(missing(2)));
    EXPECT_EQ(number("5 max$ .", row, false), 5);
    EXPECT_FALSE(std::signbit(number("-0 min$ 0", row, false)));  // equal: MIN takes operand 1
    EXPECT_TRUE(std::signbit(number("-0 max$ 0", row, false)));   // and MAX operand 0
    ZNode r{};
    EXPECT_EQ(text("'ab' min$ 'ab '", row, r), U"ab ");
    EXPECT_EQ(text("'ab' max$ 'ab '", row, r), U"ab");
    // A short value is copied into the result record; a long one is pointed at in the row.
    put(row.c, U"zz");
    put(row.w, U"long value");
    EXPECT_EQ(text("c max$ w", row, r), U"zz   ");
    EXPECT_EQ(r.u.litc.str, r.u.litc.inl);
    EXPECT_EQ(text("c min$ w", row, r).substr(0, 11), U"long value ");
    EXPECT_EQ(r.u.litc.str, row.w);
}

TEST_F(CompareTest, ConcatenationInTheRecordOrInTheWorkArea) {
    Row row;
    ZNode r{};
    put(row.c, U"12345");
    EXPECT_EQ(text("c || c", row, r), U"1234512345");  // 40 bytes
    EXPECT_EQ(r.u.litc.str, r.u.litc.inl);

    const std::u32string w(U"abcdefghijklmnopqrst");
    put(row.w, w);
    const std::string www = "'" + std::string(w.begin(), w.end()) + "'";
    expect(row,
           {{"w || w || w = " + www + " || " + www + " || " + www, 1},
            {"w || w || w = " + www + " || " + www, 0},
            {"(w || w) || '-' || (c || w) = " + www + " || " + www + " || '-12345' || " + www, 1}});
    text("w || w || w", row, r);  // 240 bytes
    EXPECT_EQ(r.u.litc.slen, 240);
    EXPECT_TRUE(r.u.litc.str < r.u.litc.inl || r.u.litc.str >= r.u.litc.inl + 12);

    // G declares 10 characters but its fetch gives 25: the value stops at the declared
    // length, in the record (12 characters) and in the work area (30).
    const std::u32string g(U"ABCDEFGHIJKLMNOPQRSTUVWXY");
    row.g = reinterpret_cast<const NQWChar*>(g.data());
    row.gbytes = 4 * 25;
    EXPECT_EQ(text("g || 'xy'", row, r), U"ABCDEFGHIJKL");
    expect(row, {{"g || w = 'ABCDEFGHIJKLMNOPQRSTUVWXYabcde'", 1}});
    EXPECT_EQ(text("g || w", row, r).size(), 30u);

    // Evaluated without a work area (outside ZORVEval) a long concatenation is cut to the
    // record's 48 bytes rather than written past them.
    prepare("w || w", false);
    EvalCtx bare{inst_, nullptr};
    EXPECT_EQ(eval_tree(&bare, inst_->root, &row, &r), 1);
    EXPECT_EQ(r.u.litc.str, r.u.litc.inl);
    EXPECT_EQ(chars_of(r), w.substr(0, 12));

    std::string many = "'0'";  // operands beyond the node's own slots
    for (int i = 1; i < 40; ++i) many += " || '" + std::to_string(i % 10) + "'";
    EXPECT_EQ(truth("(" + many + ") = '0123456789012345678901234567890123456789'", row, false), 1);
}

// A long value left in the caller's result record must outlive the evaluation: the area's
// return to the free stack writes its link word, which no value may share.
TEST_F(CompareTest, LongValueAtTheRootOutlivesTheEvaluation) {
    Row row;
    put(row.w, U"abcdefghijklmnopqrst");
    ZNode r{};
    EXPECT_EQ(text("w || w", row, r).substr(0, 4), U"abcd");
}

}  // namespace
}  // namespace evaltest

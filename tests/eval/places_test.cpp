// Comparisons and IN predicates are answered in place, without a call, when their operands
// allow it, and by the general routines otherwise; the evaluator reaches them from several
// places (the root, NOT, the loops of short and of long AND and OR lists, with or without a
// result record, a work area or the lock). Every operand shape must answer alike in every
// place, with its list indexed or not; a node short of an operand is false everywhere.
#include <bit>

#include "eval/listindex.h"
#include "tests/eval/eval_fixture.h"

namespace evaltest {
namespace {

const double kNaN = std::bit_cast<double>(0x7FF8000000000001ull);  // a NaN, not missing

struct Shape {
    const char* clause;
    int truth;  // over the row of PlacesTest::row_
};

// clang-format off
const Shape kShapes[] = {
    // Numbers: both operands in place, a constant on either side, an operand that is not
    // (shortened, by address, by fetch, arithmetic, a negative offset made positive by the
    // first evaluation), colon forms; a NaN that is no missing value equals every number.
    {"x < y", 1}, {"x >= 5", 0}, {"5 > x", 1}, {"s = 3", 1}, {"x < s", 0}, {"p = 6.25", 1},
    {"f > y", 0}, {"x + 1 = 4", 1}, {"y - x * 2 = 1", 1}, {"nx = 3", 1},
    {"x ne .", 1}, {". < x", 1}, {"z = 1", 1}, {"z < 1", 0},
    // Characters: equality in place (short and long values, colon truncation), ordering,
    // operands that are not in place (counted, by fetch, a call, a concatenation).
    {"c = 'ab'", 1}, {"c = : 'a'", 1}, {"c ne 'ab '", 0}, {"'ab' = c", 1}, {"c < 'b'", 1},
    {"c >= : 'abz'", 0}, {"c < w", 1}, {"w = 'abcdefghijkl'", 1}, {"w = : 'abcdefghijklmnopq'", 0},
    {"w ne 'abcdefghijkl   x'", 1}, {"v = 'ab'", 1}, {"'ab' = v", 1}, {"v = : c", 1},
    {"g > 'f'", 1}, {"upcase(c) = 'AB'", 1}, {"c || 'x' = 'ab   x'", 1},
    // IN lists: numbers searched in place or not, short and long lists, a NaN (which the
    // keys cannot place), missing constants; characters, truncated and negated forms.
    {"x in (1, 3, 5)", 1}, {"x in (1, 2)", 0}, {"x not in (1, 2)", 1}, {"s in (3, 4)", 1},
    {"x + 0 in (2, 3)", 1}, {"z in (1, 2)", 1}, {"x in (., 3)", 1}, {"x in (.A, .B)", 0},
    {"x in (1, 2, 4, 5, 6, 7, 8, 9, 10, 11)", 0}, {"y in (1, 2, 4, 5, 6, 7, 8, 9, 10, 11)", 1},
    {"x in (1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20)", 1},
    {"x not in (1, 2, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20)", 1},
    {"c in ('ab', 'cd')", 1}, {"c not in ('ab')", 0}, {"c in : ('a', 'x')", 1},
    {"c not in : ('x')", 1}, {"v in : ('b')", 0},
};
// clang-format on

class PlacesTest : public EvalTest {
  protected:
    void SetUp() override {
        EvalTest::SetUp();
        row_.x = 3;
        row_.y = 7;
        row_.z = kNaN;
        put_short(row_, 3);
        put(row_.c, U"ab");
        put(row_.w, U"abcdefghijkl");
        row_.p = &held_;
        row_.v = counted_.data();
        row_.f = 2;
        row_.g = reinterpret_cast<const NQWChar*>(fetched_.data());
        row_.gbytes = static_cast<int32_t>(4 * fetched_.size());
    }

    // The places a predicate is evaluated from, built around it once (a store into the node
    // store would make an index built afterwards stale): each with its expected truth.
    struct Place {
        const char* name;
        ZNode* root;
        int negated;
    };
    std::vector<Place> places(ZNode* p) {
        std::vector<Place> out = {{"root", p, 0}, {"not", op(Z_LNOT, {p}), 1}};
        for (int type : {Z_LAND, Z_LOR}) {
            const double neutral = type == Z_LAND ? 1 : 0;  // decides nothing
            ZNode* shortlist = op(type, {num(neutral), p});
            ZNode* longlist = node(type);
            for (int i = 0; i < 2 * Z_NODE_ARGS; ++i)
                inst_->Set(inst_, longlist, -1, i == Z_NODE_ARGS + 1 ? p : num(neutral));
            out.push_back({type == Z_LAND ? "short and" : "short or", shortlist, 0});
            out.push_back({type == Z_LAND ? "long and" : "long or", longlist, 0});
        }
        return out;
    }

    // The predicate's truth in every place, with and without a result record, plain and
    // under the lock; then the same with the lists of the tree indexed.
    void expect_everywhere(ZNode* p, int truth, const std::string& label) {
        const std::vector<Place> all = places(p);
        for (bool indexed : {false, true}) {
            if (indexed) build_list_indexes(inst_, p);
            for (int serialize : {0, 1}) {
                inst_->serialize = static_cast<uint8_t>(serialize);
                for (const Place& at : all) {
                    SCOPED_TRACE(label + " in " + at.name + (indexed ? ", indexed" : "") +
                                 (serialize ? ", locked" : ""));
                    const int want = at.negated ? !truth : truth;
                    ZNode r{};
                    EXPECT_EQ(inst_->Eval(inst_, &row_, &r, at.root), want);
                    EXPECT_EQ(r.type, Z_LITN);
                    EXPECT_EQ(r.u.litn.num, want);
                    EXPECT_EQ(inst_->Eval(inst_, &row_, nullptr, at.root), want);
                }
            }
        }
        inst_->serialize = 0;
    }

    Row row_;
    const double held_ = 6.25;
    const Counted counted_ = counted(U"ab", 2);
    const std::u32string fetched_ = U"fetched";
};

TEST_F(PlacesTest, EveryShapeAnswersAlikeInEveryPlace) {
    for (const Shape& s : kShapes) {
        prepare(s.clause, false);
        expect_everywhere(inst_->root, s.truth, s.clause);
    }
}

// Nodes short of an operand, or whose list is no list, never come from the parser or the
// transformer; a caller may build them. They are false wherever they stand (NOT of one is
// true), numeric and character alike, and nothing is read through an empty slot.
TEST_F(PlacesTest, NodesShortOfAnOperandAreFalseEverywhere) {
    // Operands by letter: x and c the columns, 3 a number, - an empty slot, S the list (3),
    // E an empty list, L a character constant where the list belongs.
    const struct {
        int type;
        const char* operands;
    } cases[] = {{Z_CEQ, "x"},   {Z_CLT, "c"},  {Z_CTEQ, "c"}, {Z_CEQ, "x-"}, {Z_CEQ, "-3"},
                 {Z_CGE, "-c"},  {Z_IN, "x"},   {Z_IN, "x-"},  {Z_IN, "-S"},  {Z_IN, "x3"},
                 {Z_IN, "xE"},   {Z_IN, "cL"},  {Z_NIN, "x"},  {Z_TIN, "c"},  {Z_TNIN, "cL"},
                 {Z_BETW, "x3"}, {Z_CONT, "c"}, {Z_MIN, "x"}};
    for (const auto& c : cases) {
        prepare("x", false);  // a fresh node store for each case
        ZNode* n = node(c.type);
        for (const char* o = c.operands; *o; ++o) {
            ZNode* arg = nullptr;
            switch (*o) {
                case 'x':
                    arg = col("X");
                    break;
                case 'c':
                    arg = col("C");
                    break;
                case '3':
                    arg = num(3);
                    break;
                case 'S':
                    arg = op(Z_SET, {num(3)});
                    break;
                case 'E':
                    arg = node(Z_SET);
                    break;
                case 'L':
                    arg = node(Z_LITC, 4);
                    arg->u.litc.str = arg->u.litc.inl;
                    arg->u.litc.inl[0] = 'a';
                    arg->u.litc.slen = 4;
                    break;
            }
            inst_->Set(inst_, n, -1, arg);
        }
        const int truth = c.type == Z_NIN || c.type == Z_TNIN;  // nothing found: not in
        expect_everywhere(n, truth, ztest::render(n));
    }
}

}  // namespace
}  // namespace evaltest

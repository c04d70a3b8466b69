// The engine on well-formed clauses: values computed through the actions, what each action
// sees, keywords read as names, callback statuses and the error flag, creation and reuse.
#include <cstring>

#include "calc_harness.h"

namespace calc_test {
namespace {

struct ValueCase {
    const char* clause;
    std::vector<double> values;
};
void PrintTo(const ValueCase& c, std::ostream* os) {
    *os << '"' << c.clause << '"';
}

class Values : public EngineTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(Values, ComputedThroughTheActions) {
    const ValueCase& c = GetParam();
    ASSERT_EQ(parse(c.clause), 0) << c.clause;
    EXPECT_EQ(s.result, c.values) << c.clause;
    EXPECT_TRUE(messages().empty());
    EXPECT_TRUE(s.values.empty() && s.marks.empty()) << "actions left values behind";
}

INSTANTIATE_TEST_SUITE_P(
    Calc, Values,
    ::testing::Values(ValueCase{"1 + 2 * 3;", {7}}, ValueCase{"(1 + 2) * 3", {9}},
                      ValueCase{"10 - 4 - 3", {3}},  // left to right
                      ValueCase{"64 / 4 / 2", {8}}, ValueCase{"2 * -3", {-6}},
                      ValueCase{"- - 4", {4}}, ValueCase{"-(2 - 5) * 2", {6}},
                      ValueCase{"1.5 * 4", {6}}, ValueCase{"X * 2 + Y", {10}},
                      ValueCase{"'abc' + 1", {4}}, ValueCase{"1, 2 AND 3", {1, 2, 3}},
                      ValueCase{"MAX$(1, 5, 3) + 1", {6}}, ValueCase{"MIN$(4 AND 2, 7)", {2}},
                      ValueCase{"MAX$(MIN$(3, 9), -2)", {3}}, ValueCase{"((((7))))", {7}},
                      ValueCase{"2 * (3 + 4) - 5 / (1 + 4)", {13}}));

// A column may be called like a keyword wherever the keyword cannot stand but a name can.
INSTANTIATE_TEST_SUITE_P(
    KeywordsAsNames, Values,
    ::testing::Values(ValueCase{"L + 1", {6}}, ValueCase{"AND * 2", {14}},
                      ValueCase{"AND AND AND", {7, 7}},  // name, separator, name
                      ValueCase{"L AND L", {5, 5}}, ValueCase{"MAX$(L, AND, MAX)", {7}},
                      ValueCase{"MIN$(AND AND L)", {5}}));

TEST_F(EngineTest, EachActionGetsItsRecordAndTheCurrentLookahead) {
    ASSERT_EQ(parse("MAX$(2 - 1)"), 0);
    // An action before a terminal sees that terminal's token; one after an operand sees
    // the token that follows it.
    const std::vector<std::pair<std::vector<int16_t>, std::string>> want = {
        {{aMark}, "MAX$"}, {{aMark}, "2"},      {{aNum}, "2"},    {{aNum}, "1"},
        {{aAdd, -1}, ")"}, {{aList, 2, 1}, ""}, {{aList, 1}, ""},
    };
    ASSERT_EQ(s.seen.size(), want.size());
    for (size_t i = 0; i < want.size(); i++) {
        std::vector<int16_t> got = {s.seen[i].code};
        got.insert(got.end(), s.seen[i].args.begin(), s.seen[i].args.end());
        EXPECT_EQ(got, want[i].first) << "action " << i;
        EXPECT_EQ(utf8(s.seen[i].token), want[i].second) << "action " << i;
    }
}

TEST_F(EngineTest, CallbackStatusesEndTheParseAtOnce) {
    s.load("1 + 2");
    s.token_fail_at = 3;
    s.token_status = 0x1234;
    EXPECT_EQ(engine->Parse(engine, jnl), 0x1234);
    EXPECT_EQ(s.token_calls, 3);
    s.token_fail_at = 0;

    s.load("1 + 2 * 3");
    s.semantic_fail_at = 3;
    s.semantic_status = 6;
    EXPECT_EQ(engine->Parse(engine, jnl), 6);
    EXPECT_EQ(s.seen.size(), 3u) << "no action after the failing one";
    EXPECT_EQ(s.token_calls, 3) << "no token after the failing action";
    s.semantic_fail_at = 0;

    EXPECT_EQ(parse("1 + 2 * 3"), 0) << "the next parse starts clean";
    EXPECT_EQ(s.result, std::vector<double>{7});
    EXPECT_TRUE(messages().empty());
}

TEST_F(EngineTest, ErrorFlagIsReportedPerTokenAndTheParseGoesOn) {
    ASSERT_EQ(parse("Q + 2 * Z, 1.2.3, X"), NQ_STATUS_SEMANTIC);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              "invalid name or constant at column 1 near 'Q'",
                              "invalid name or constant at column 9 near 'Z'",
                              "invalid name or constant at column 12 near '1.2.3'",
                          }));
    EXPECT_EQ(s.result.size(), 3u) << "actions keep being called after a semantic error";
    EXPECT_EQ(s.result[2], 3);

    // A refused name past the length that names may have is said to be too long.
    const std::string longest(32, 'Q');
    ASSERT_EQ(parse(longest + ", " + longest + "Q"), NQ_STATUS_SEMANTIC);
    EXPECT_EQ(messages(), (std::vector<std::string>{
                              "invalid name or constant at column 1 near '" + longest + "'",
                              "name too long at column 35 near '" + longest +
                                  "Q': names are limited to 32 characters",
                          }));

    // A flag left raised from outside does not fail the next parse.
    engine->Context(engine)->error = 1;
    EXPECT_EQ(parse("X"), 0);
    EXPECT_TRUE(messages().empty());
}

TEST_F(EngineTest, OneEngineParsesManyClauses) {
    const std::pair<const char*, NQStatus> runs[] = {
        {"1 + 2", 0},
        {"1 +", NQ_STATUS_SYNTAX},
        {"Q", NQ_STATUS_SEMANTIC},
        {"(2 * 3", NQ_STATUS_SYNTAX},
        {"2 * 3", 0},
    };
    engine->Context(engine)->trace = 1;  // the library's switch: the engine leaves it alone
    for (int round = 0; round < 3; round++) {
        for (const auto& [clause, status] : runs) {
            EXPECT_EQ(parse(clause), status) << clause;
            if (status == 0) {
                EXPECT_TRUE(messages().empty()) << clause;
                EXPECT_EQ(s.result.size(), 1u) << clause;
            } else {
                EXPECT_EQ(messages().size(), 1u) << clause;
            }
        }
    }
    EXPECT_EQ(engine->Context(engine)->trace, 1);
}

TEST_F(EngineTest, InjectedCreationFailureGivesNullAndStatus) {
    zhost_fail_creation(kernel, ZHOST_CREATE_ENGINE, 1);
    const long live = zhost_live_count(kernel);
    NQStatus st = 0;
    EXPECT_EQ(make_engine(calcgrammar, &st), nullptr);
    EXPECT_EQ(st, NQ_STATUS_NO_MEMORY);
    EXPECT_EQ(zhost_live_count(kernel), live);

    NQEngine* again = make_engine(calcgrammar, &st);
    ASSERT_NE(again, nullptr) << "the failure is injected once";
    EXPECT_EQ(st, 0);
    EXPECT_EQ(zhost_live_count(kernel), live + 1);
    again->hdr.Dispose(again);
    EXPECT_EQ(zhost_live_count(kernel), live);
}

TEST_F(EngineTest, InconsistentGrammarsAreRefused) {
    // Grammar routines with one fault each, made from the calc grammar's descriptor.
    const NQGrammarRoutine routines[] = {
        [](NQGrammar*) -> NQGrammar* { return nullptr; },
        [](NQGrammar* d) { return calcgrammar(d)->prslst = nullptr, d; },
        [](NQGrammar* d) { return calcgrammar(d)->firstnt = 70, d; },
        [](NQGrammar* d) { return calcgrammar(d)->nprslst = 0, d; },
        [](NQGrammar* d) { return calcgrammar(d)->version = 3, d; },
        // argument lists and insertion strings run past a table this short
        [](NQGrammar* d) { return calcgrammar(d)->ninstbl = 1, d; },
    };
    for (NQGrammarRoutine r : routines) {
        NQStatus st = 0;
        zhost_journal_clear(jnl);
        EXPECT_EQ(make_engine(r, &st), nullptr);
        EXPECT_EQ(st, NQ_STATUS_BAD_GRAMMAR);
        ASSERT_EQ(messages().size(), 1u);
        EXPECT_EQ(messages()[0].rfind("parse engine: the grammar tables are inconsistent: ", 0),
                  0u);
    }
    NQStatus st = 0;
    const NQEngineBlock no_callback{calcgrammar, nullptr, semantic_callback, nullptr, nullptr,
                                    &s,          nullptr};
    EXPECT_EQ(ext->CreateEngine(ext, &no_callback, &st, jnl), nullptr);
    EXPECT_EQ(st, NQ_STATUS_BAD_ARGUMENT);
}

}  // namespace
}  // namespace calc_test

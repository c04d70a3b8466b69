// What the tokenizer makes of well-formed input: every token class, the keywords, the
// operators by longest match, the end of the input and input spread over several lines.
#include "tests/host/nqetok/etok_fixture.h"

namespace etok_test {
namespace {

struct BodyCase {
    const char* what;
    std::u32string input;
    std::vector<Tok> tokens;
};

void PrintTo(const BodyCase& c, std::ostream* os) {
    *os << c.what;
}

class TokenClasses : public TokenizerTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(TokenClasses, GivesCodeTextAndColumn) {
    EXPECT_EQ(body(GetParam().input), GetParam().tokens);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Tokenizer, TokenClasses, ::testing::Values(
    BodyCase{"names", U"  abc _x9 \u00C4rger a\u00FF1",
             {{2, U"abc", 1, 3}, {2, U"_x9", 1, 7}, {2, U"\u00C4rger", 1, 11}, {2, U"a\u00FF1", 1, 17}}},
    BodyCase{"names of more than 32 characters are left to the library to refuse",
             std::u32string(33, U'n') + U" '" + std::u32string(40, U'\u00C4') + U"'n",
             {{2, std::u32string(33, U'n'), 1, 1}, {12, std::u32string(40, U'\u00C4'), 1, 35}}},
    BodyCase{"names of 32 bytes in UTF-8", std::u32string(32, U'n') + U" " + std::u32string(16, U'\u00C4'),
             {{2, std::u32string(32, U'n'), 1, 1}, {2, std::u32string(16, U'\u00C4'), 1, 34}}},
    BodyCase{"names that merely resemble keywords", U"ANDY ins not_in \u00C9Q MINX",
             {{2, U"ANDY", 1, 1}, {2, U"ins", 1, 6}, {2, U"not_in", 1, 10}, {2, U"\u00C9Q", 1, 17},
              {2, U"MINX", 1, 20}}},
    BodyCase{"control characters separate tokens", U"a\tb\u0001z",
             {{2, U"a", 1, 1}, {2, U"b", 1, 3}, {2, U"z", 1, 5}}},
    BodyCase{"strings keep their quotes and doubled delimiters", U"'it''s' \"say \"\"hi\"\"\" ''",
             {{3, U"'it''s'", 1, 1}, {3, U"\"say \"\"hi\"\"\"", 1, 9}, {3, U"''", 1, 22}}},
    BodyCase{"the other quote inside a string is plain", U"'a\"b' \"a'b\"",
             {{3, U"'a\"b'", 1, 1}, {3, U"\"a'b\"", 1, 7}}},
    BodyCase{"date, time and datetime suffixes in any case", U"'01jan2020'd '10:00'T \"01jan2020:10:00\"dT",
             {{8, U"'01jan2020'd", 1, 1}, {9, U"'10:00'T", 1, 14}, {10, U"\"01jan2020:10:00\"dT", 1, 23}}},
    BodyCase{"name literal text lies between the quotes", U"'My Col'n \"it''s\"N",
             {{12, U"My Col", 1, 1}, {12, U"it''s", 1, 11}}},
    BodyCase{"a suffix running on into a name is no suffix", U"'x'dtz 'y'nd",
             {{3, U"'x'", 1, 1}, {2, U"dtz", 1, 4}, {3, U"'y'", 1, 8}, {2, U"nd", 1, 11}}},
    BodyCase{"integers and numbers", U"42 007 1.5 2. .5 1e10 1.5E-3 2.e+4",
             {{4, U"42", 1, 1}, {4, U"007", 1, 4}, {5, U"1.5", 1, 8}, {5, U"2.", 1, 12}, {5, U".5", 1, 15},
              {5, U"1e10", 1, 18}, {5, U"1.5E-3", 1, 23}, {5, U"2.e+4", 1, 30}}},
    BodyCase{"integers beyond 32 bits, or longer than ten digits, are numbers",
             U"2147483647 2147483648 4294967297 0000000001 00000000001 0002147483648",
             {{4, U"2147483647", 1, 1}, {5, U"2147483648", 1, 12}, {5, U"4294967297", 1, 23},
              {4, U"0000000001", 1, 34}, {5, U"00000000001", 1, 45}, {5, U"0002147483648", 1, 57}}},
    BodyCase{"missing values", U". .A ._ .z",
             {{11, U".", 1, 1}, {11, U".A", 1, 3}, {11, U"._", 1, 6}, {11, U".z", 1, 9}}},
    BodyCase{"a period before two name characters is a missing value alone", U".AB",
             {{11, U".", 1, 1}, {2, U"AB", 1, 2}}},
    BodyCase{"formats", U"num8. w10.2", {{7, U"num8.", 1, 1}, {7, U"w10.2", 1, 7}}},
    BodyCase{"a keyword run into a period is a format", U"in.", {{7, U"in.", 1, 1}}},
    BodyCase{"MIN$ and MAX$ with or without their dollar", U"a min$ b Max z MIN",
             {{2, U"a", 1, 1}, {57, U"min$", 1, 3}, {2, U"b", 1, 8}, {56, U"Max", 1, 10}, {2, U"z", 1, 14},
              {57, U"MIN", 1, 16}}},
    BodyCase{"tokens without blanks between them", U"x>=1&(y<>'a')|z=.",
             {{2, U"x", 1, 1}, {38, U">=", 1, 2}, {4, U"1", 1, 4}, {22, U"&", 1, 5}, {23, U"(", 1, 6},
              {2, U"y", 1, 7}, {35, U"<>", 1, 8}, {3, U"'a'", 1, 10}, {24, U")", 1, 13}, {70, U"|", 1, 14},
              {2, U"z", 1, 15}, {36, U"=", 1, 16}, {11, U".", 1, 17}}}));
// clang-format on

// Lower-cases the letters at positions i with i % step == from (step 1: all of them).
std::u32string lower(std::u32string s, size_t from = 0, size_t step = 1) {
    for (size_t i = from; i < s.size(); i += step)
        if (s[i] >= U'A' && s[i] <= U'Z') s[i] += 32;
    return s;
}

struct Spelled {
    std::u32string spelling;
    int code;
};

// The terminals with a fixed spelling, MIN$ and MAX$ written as the names MIN and MAX.
const std::vector<Spelled> kSpelled = {
    {U"!", 20},        {U"!!", 21},    {U"&", 22},       {U"(", 23},       {U")", 24},
    {U"*", 25},        {U"**", 26},    {U"+", 27},       {U",", 28},       {U"-", 29},
    {U"/", 30},        {U":", 31},     {U";", 32},       {U"<", 33},       {U"<=", 34},
    {U"<>", 35},       {U"=", 36},     {U">", 37},       {U">=", 38},      {U"?", 39},
    {U"ALSO", 40},     {U"AND", 41},   {U"BETWEEN", 42}, {U"C", 43},       {U"CLEAR", 44},
    {U"CONTAINS", 45}, {U"EQ", 46},    {U"GE", 47},      {U"GT", 48},      {U"IN", 49},
    {U"INPUT", 50},    {U"IS", 51},    {U"L", 52},       {U"LE", 53},      {U"LIKE", 54},
    {U"LT", 55},       {U"MAX", 56},   {U"MIN", 57},     {U"MISSING", 58}, {U"NE", 59},
    {U"NOT", 60},      {U"NOTIN", 61}, {U"NULL", 62},    {U"OR", 63},      {U"PUT", 64},
    {U"R", 65},        {U"SAME", 66},  {U"UNDO", 67},    {U"^", 68},       {U"^=", 69},
    {U"|", 70},        {U"||", 71},    {U"~", 72},       {U"~=", 73},
};

TEST_F(TokenizerTest, SpelledTerminalsInAnyCaseGetTheirCodesAndKeepTheirText) {
    std::u32string line;
    std::vector<Tok> expected;
    for (const Spelled& k : kSpelled) {
        for (const std::u32string& spelled :
             {k.spelling, lower(k.spelling), lower(k.spelling, 1, 2)}) {
            expected.push_back({k.code, spelled, 1, static_cast<int>(line.size()) + 1});
            line += spelled + U" ";
        }
    }
    EXPECT_EQ(body(line), expected);
}

TEST_F(TokenizerTest, NumbersUpToTheLargestDoubleAndStringsUpTo8191CharactersAreTokens) {
    // 308 digits and 1.7e308 still fit in a double; the value of the string counts a
    // doubled quote once, so 8190 characters and one doubled quote make 8191.
    const std::u32string digits = U"9" + std::u32string(307, U'0');
    const std::u32string value = U"'" + std::u32string(8190, U'x') + U"'''";
    EXPECT_EQ(body(digits + U" 1.7e308 1e-400 " + value), (std::vector<Tok>{{5, digits, 1, 1},
                                                                            {5, U"1.7e308", 1, 310},
                                                                            {5, U"1e-400", 1, 318},
                                                                            {3, value, 1, 325}}));
}

TEST_F(TokenizerTest, OperatorsTakeTheLongestMatch) {
    struct Case {
        std::u32string input;
        std::vector<std::u32string> texts;
    };
    const std::vector<Case> cases = {
        {U"<=>", {U"<=", U">"}}, {U"***", {U"**", U"*"}}, {U"!!!", {U"!!", U"!"}},
        {U"|||", {U"||", U"|"}}, {U"<>=", {U"<>", U"="}}, {U"^==", {U"^=", U"="}},
        {U"~~=", {U"~", U"~="}}, {U">==", {U">=", U"="}}, {U"-->", {U"-", U"-", U">"}},
        {U"<<=", {U"<", U"<="}},
    };
    for (const Case& c : cases) {
        std::vector<Tok> got = body(c.input);
        std::vector<std::u32string> texts;
        for (const Tok& t : got) texts.push_back(t.text);
        EXPECT_EQ(texts, c.texts) << got.size() << " tokens";
        close();
    }
}

TEST_F(TokenizerTest, EndOfInputGivesEndjbOnceUnlessTheClauseEndedWithASemicolon) {
    struct Case {
        std::vector<std::u32string> lines;
        std::vector<Tok> ends;  // from the first end token on, just after the last line
    };
    const std::vector<Case> cases = {
        {{U"x > 1"}, {{1, U"", 1, 6}, {74, U"", 1, 6}, {74, U"", 1, 6}}},
        {{U"x > 1;  "}, {{74, U"", 1, 9}, {74, U"", 1, 9}, {74, U"", 1, 9}}},
        {{U"x", U"; "}, {{74, U"", 2, 3}, {74, U"", 2, 3}}},
        {{U";", U"x"}, {{1, U"", 2, 2}, {74, U"", 2, 2}}},
        {{}, {{1, U"", 1, 1}, {74, U"", 1, 1}}},
    };
    for (const Case& c : cases) {
        open(c.lines);
        std::vector<Tok> got{next()};
        while (got[0].code > 1 && got[0].code < 74) got[0] = next();
        while (got.size() < c.ends.size()) got.push_back(next());
        EXPECT_EQ(got, c.ends);
        EXPECT_EQ(feed.released, feed.handed);
        close();
    }
}

TEST_F(TokenizerTest, LinesAreReadOneAfterAnotherAndHandedBack) {
    open({U"a =", U"", U"   ", U"  'b'", U"z;"});
    EXPECT_EQ(next(), (Tok{2, U"a", 1, 1}));
    EXPECT_EQ(feed.released, 0);
    EXPECT_EQ(next(), (Tok{36, U"=", 1, 3}));
    EXPECT_EQ(next(), (Tok{3, U"'b'", 4, 3}));
    EXPECT_EQ(feed.handed, 4);
    EXPECT_EQ(feed.released, 3);
    EXPECT_EQ(next(), (Tok{2, U"z", 5, 1}));
    EXPECT_EQ(next(), (Tok{32, U";", 5, 2}));
    EXPECT_EQ(next(), (Tok{74, U"", 5, 3}));
    EXPECT_EQ(feed.handed, 5);
    EXPECT_EQ(feed.released, 5);
}

}  // namespace
}  // namespace etok_test

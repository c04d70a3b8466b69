// The tokenizer's failures and its life as a host object: lexical errors with their
// messages and the journal they go to, Reset in mid-input, creation failures and the
// live count.
#include "tests/host/nqetok/etok_fixture.h"

namespace etok_test {
namespace {

struct ErrorCase {
    std::vector<std::u32string> lines;
    std::vector<std::u32string> before;  // texts of the tokens ahead of the error
    std::string message;
    Tok after;  // the token the tokenizer goes on with
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
    *os << c.message;
}

class LexicalErrors : public TokenizerTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(LexicalErrors, ReportOnceAtLevel4AndGoOn) {
    const ErrorCase& c = GetParam();
    open(c.lines);
    for (const std::u32string& text : c.before) EXPECT_EQ(next().text, text);
    NQStatus status = NQ_OK;
    next(&status);
    EXPECT_EQ(status, NQ_STATUS_LEXICAL);
    ASSERT_EQ(zhost_journal_count(jnl), 1u);
    EXPECT_EQ(zhost_journal_level(jnl, 0), 4);
    EXPECT_EQ(messages()[0], c.message);
    EXPECT_EQ(next(), c.after);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Tokenizer, LexicalErrors, ::testing::Values(
    ErrorCase{{U"x = $"}, {U"x", U"="}, "unexpected character '$' at column 5", {1, U"", 1, 6}},
    ErrorCase{{U"a\u00BFb"}, {U"a"}, "unexpected character '\u00BF' at column 2", {2, U"b", 1, 3}},
    ErrorCase{{U"a = \"abc"}, {U"a", U"="}, "unterminated string at column 5 near '\"abc'", {1, U"", 1, 9}},
    ErrorCase{{U"'it''s"}, {}, "unterminated string at column 1 near ''it''s'", {1, U"", 1, 7}},
    ErrorCase{{U"  '" + std::u32string(40, U'x')}, {},
              "unterminated string at column 3 near ''" + std::string(31, 'x') + "'", {1, U"", 1, 44}},
    ErrorCase{{U"12abc+1"}, {}, "malformed number at column 1 near '12abc'", {27, U"+", 1, 6}},
    ErrorCase{{U"y=1.5x"}, {U"y", U"="}, "malformed number at column 3 near '1.5x'", {1, U"", 1, 7}},
    ErrorCase{{U"1e"}, {}, "malformed number at column 1 near '1e'", {1, U"", 1, 3}},
    ErrorCase{{U"1e+ 5"}, {}, "malformed number at column 1 near '1e+'", {4, U"5", 1, 5}},
    ErrorCase{{U".5_"}, {}, "malformed number at column 1 near '.5_'", {1, U"", 1, 4}},
    ErrorCase{{U"x=" + std::u32string(309, U'9')}, {U"x", U"="},
              "number too large at column 3 near '" + std::string(32, '9') +
              "': numbers are limited to about 1.8e308", {1, U"", 1, 312}},
    ErrorCase{{U"1.8e308 1"}, {}, "number too large at column 1 near '1.8e308': numbers are "
              "limited to about 1.8e308", {4, U"1", 1, 9}},
    ErrorCase{{U"s = '" + std::u32string(8192, U'x') + U"'||t"}, {U"s", U"="},
              "string constant too long at column 5 near ''" + std::string(31, 'x') +
              "': string constants are limited to 8191 characters", {71, U"||", 1, 8199}},
    ErrorCase{{U"", U"s=\"" + std::u32string(8191, U'y') + U"\"\"\""}, {U"s", U"="},
              "string constant too long at line 2, column 3 near '\"" + std::string(31, 'y') +
              "': string constants are limited to 8191 characters", {1, U"", 2, 8198}},
    ErrorCase{{std::u32string(16, U'\u00C4') + U"x"}, {},
              "name too long at column 1 near '\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4"
              "\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4\u00C4x': names are limited "
              "to 32 bytes in UTF-8, and this one has letters of more than one byte", {1, U"", 1, 18}},
    ErrorCase{{U"a", U"  b #"}, {U"a", U"b"}, "unexpected character '#' at line 2, column 5", {1, U"", 2, 6}}));
// clang-format on

// A fake engine whose parse context names the journal of the running parse.
struct FakeEngine {
    NQEngine rec;
    NQParseContext ctx;
};

NQParseContext* fake_context(NQEngine* e) {
    return &reinterpret_cast<FakeEngine*>(e)->ctx;
}

TEST_F(TokenizerTest, MessagesGoToTheRunningParsesJournalWhenThereIsOne) {
    NQJournal* parse_jnl = zhost_open_capture_journal();
    FakeEngine engine{};
    engine.rec.Context = fake_context;
    engine.ctx.jnl = parse_jnl;
    open({U"@ @"}, &engine.rec);
    NQStatus status = NQ_OK;
    next(&status);
    EXPECT_EQ(status, NQ_STATUS_LEXICAL);
    EXPECT_EQ(zhost_journal_count(parse_jnl), 1u);
    EXPECT_EQ(zhost_journal_count(jnl), 0u);

    engine.ctx.jnl = nullptr;  // between parses: the creation journal takes over
    next(&status);
    EXPECT_EQ(status, NQ_STATUS_LEXICAL);
    EXPECT_EQ(zhost_journal_count(parse_jnl), 1u);
    EXPECT_EQ(zhost_journal_count(jnl), 1u);
    zhost_close_journal(parse_jnl);
}

TEST_F(TokenizerTest, ErrorsWithoutAnyJournalAreStillReported) {
    open({U"%"}, nullptr, false);
    NQStatus status = NQ_OK;
    next(&status);
    EXPECT_EQ(status, NQ_STATUS_LEXICAL);
    EXPECT_EQ(next().code, 1);
}

TEST_F(TokenizerTest, ResetHandsBackTheLineAndStartsAfresh) {
    open({U"a b", U"c"});
    const long with_tokenizer = zhost_live_count(kernel);
    EXPECT_EQ(next().text, U"a");
    EXPECT_EQ(feed.handed, 1);
    EXPECT_EQ(tok->Reset(tok), NQ_OK);
    EXPECT_EQ(feed.released, feed.handed);
    EXPECT_EQ(zhost_live_count(kernel), with_tokenizer);

    // A new input after Reset: line numbers and the end handling start over.
    feed.lines = {U"d;"};
    feed.next = 0;
    EXPECT_EQ(next(), (Tok{2, U"d", 1, 1}));
    EXPECT_EQ(next().code, 32);
    EXPECT_EQ(next().code, 74);
    EXPECT_EQ(tok->Reset(tok), NQ_OK);
    feed.lines = {U"e"};
    feed.next = 0;
    EXPECT_EQ(next().text, U"e");
    EXPECT_EQ(next().code, 1);  // endjb again, though the last input ended with ';'
}

TEST_F(TokenizerTest, ResetAfterALexicalErrorHandsBackTheLine) {
    open({U"1x y"});
    NQStatus status = NQ_OK;
    next(&status);
    ASSERT_EQ(status, NQ_STATUS_LEXICAL);
    EXPECT_EQ(feed.released, 0);
    tok->Reset(tok);
    EXPECT_EQ(feed.released, 1);
}

TEST_F(TokenizerTest, CreationFailsOnInjectedFailureAndBadBlocks) {
    NQTokenizerBlock block = feed_block();
    NQStatus status = NQ_OK;

    zhost_fail_creation(kernel, ZHOST_CREATE_TOKENIZER, 2);
    NQTokenizer* first = ext->CreateTokenizer(ext, &block, jnl, "test", &status);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(status, NQ_OK);
    EXPECT_EQ(ext->CreateTokenizer(ext, &block, jnl, "test", &status), nullptr);
    EXPECT_NE(status, NQ_OK);
    first->hdr.Dispose(first);
    EXPECT_EQ(zhost_live_count(kernel), baseline);

    status = NQ_OK;
    EXPECT_EQ(ext->CreateTokenizer(ext, nullptr, jnl, "test", &status), nullptr);
    EXPECT_EQ(status, NQ_STATUS_BAD_ARGUMENT);
    block.getline = nullptr;
    EXPECT_EQ(ext->CreateTokenizer(ext, &block, jnl, "test", &status), nullptr);
    EXPECT_EQ(status, NQ_STATUS_BAD_ARGUMENT);
    EXPECT_EQ(zhost_live_count(kernel), baseline);
}

TEST_F(TokenizerTest, TheExtensionRecordIsOnePerKernel) {
    EXPECT_EQ(kernel->LoadExtension(kernel, U"nqetok", 6, jnl), ext);
    NQKernel* other = zhost_open_kernel(nullptr);
    ASSERT_NE(other, nullptr);
    auto* other_ext = static_cast<NQTokExt*>(other->LoadExtension(other, U"nqetok", 6, nullptr));
    ASSERT_NE(other_ext, nullptr);
    EXPECT_NE(other_ext, ext);
    const long other_baseline = zhost_live_count(other);

    // A tokenizer is counted in the kernel whose record made it.
    NQTokenizerBlock block = feed_block();
    NQTokenizer* t = other_ext->CreateTokenizer(other_ext, &block, nullptr, "test", nullptr);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(zhost_live_count(kernel), baseline);
    EXPECT_EQ(zhost_live_count(other), other_baseline + 1);
    t->hdr.Dispose(t);
    EXPECT_EQ(zhost_live_count(other), other_baseline);
    zhost_close_kernel(other);
}

}  // namespace
}  // namespace etok_test

// The engine fed by the host's own tokenizer (nqetok), the way the library drives it: the
// clause is handed over as one line, tokens come through Next, Examine and Note.
#include "calc_harness.h"

namespace calc_test {
namespace {

// One line held by the tokenizer until it hands it back.
struct Line {
    NQString rec;
    std::u32string text;
};

void release_line(NQString* s) {
    delete reinterpret_cast<Line*>(s);
}

struct Feed {
    std::u32string clause;
    bool given = false;
    NQTokenizer* tokenizer = nullptr;
};

int32_t read_line(int32_t* flag, NQString** line, void* user) {
    Feed& f = *static_cast<Feed*>(static_cast<Session*>(user)->feed);
    if (*line) {
        (*line)->Release(*line);
        *line = nullptr;
    }
    if (f.given) return 1;
    auto* l = new Line{};
    l->text = f.clause;
    l->rec.Release = release_line;
    l->rec.text = l->text.data();
    l->rec.length = static_cast<int32_t>(l->text.size());
    *line = &l->rec;
    *flag = 1;
    f.given = true;
    return 0;
}

NQStatus tokenizer_callback(void* user, int32_t, int32_t, NQToken** token) {
    Feed& f = *static_cast<Feed*>(static_cast<Session*>(user)->feed);
    *token = nullptr;
    NQToken* t = nullptr;
    NQStatus st = f.tokenizer->Next(f.tokenizer, &t);
    if (st != 0) return st;
    st = f.tokenizer->Examine(f.tokenizer, t);
    if (st != 0) return st;
    f.tokenizer->Note(f.tokenizer, t);
    *token = t;
    return 0;
}

class WithTokenizer : public EngineTest {
  protected:
    void SetUp() override {
        EngineTest::SetUp();
        if (HasFatalFailure()) return;
        auto* tokext = static_cast<NQTokExt*>(kernel->LoadExtension(kernel, U"nqetok", 6, jnl));
        ASSERT_NE(tokext, nullptr);
        s.feed = &feed;
        const NQEngineBlock block{
            calcgrammar, tokenizer_callback, semantic_callback, nullptr, nullptr, &s, nullptr};
        NQStatus st = -1;
        real = ext->CreateEngine(ext, &block, &st, jnl);
        ASSERT_NE(real, nullptr);
        NQTokenizerBlock tb{};
        tb.getline = read_line;
        tb.user = &s;
        tb.engine = real;
        tb.word38 = 1;
        feed.tokenizer = tokext->CreateTokenizer(tokext, &tb, jnl, "calc tokens", &st);
        ASSERT_NE(feed.tokenizer, nullptr);
    }
    void TearDown() override {
        if (feed.tokenizer) feed.tokenizer->hdr.Dispose(feed.tokenizer);
        if (real) real->hdr.Dispose(real);
        EngineTest::TearDown();
    }

    NQStatus parse_text(const std::string& clause) {
        feed.tokenizer->Reset(feed.tokenizer);
        feed.clause.assign(clause.begin(), clause.end());
        feed.given = false;
        s.load("");
        zhost_journal_clear(jnl);
        return real->Parse(real, jnl);
    }

    Feed feed;
    NQEngine* real = nullptr;
};

TEST_F(WithTokenizer, ValuesAndKeywordsAsNames) {
    const std::pair<const char*, std::vector<double>> cases[] = {
        {"X * (2 + 3) AND L", {15, 5}},
        {"MAX$(1, AND, 4);", {7}},
        {"-(X - 10) / 2, 'abc'", {3.5, 3}},
    };
    for (const auto& [clause, values] : cases) {
        EXPECT_EQ(parse_text(clause), 0) << clause;
        EXPECT_EQ(s.result, values) << clause;
        EXPECT_TRUE(messages().empty()) << clause;
    }
}

TEST_F(WithTokenizer, SyntaxErrorAtTheEndOfTheLine) {
    EXPECT_EQ(parse_text("1 +"), NQ_STATUS_SYNTAX);
    EXPECT_EQ(messages(), std::vector<std::string>{
                              "syntax error at column 4 near end of clause: expected a name, a "
                              "constant, '(', '-', 'MAX' or 'MIN'; read as if an integer were "
                              "inserted"});
    EXPECT_EQ(parse_text("(X + 1"), NQ_STATUS_SYNTAX);
    EXPECT_EQ(messages(), std::vector<std::string>{
                              "syntax error at column 7 near end of clause: expected ')', '*', "
                              "'+', '-' or '/'; read as if ')' were inserted"});
    EXPECT_EQ(parse_text("X + 1"), 0) << "the pair is reusable after errors";
    EXPECT_EQ(s.result, std::vector<double>{4});
}

}  // namespace
}  // namespace calc_test

// Test fixture for the tokenizer extension: opens a kernel, loads nqetok, and feeds
// lines to a tokenizer through a line reader that counts the lines it hands out and gets
// back. Lines are nqstring objects in a pool of the kernel.
#ifndef ZORV_TESTS_HOST_NQETOK_FIXTURE_H
#define ZORV_TESTS_HOST_NQETOK_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zorv/host.h"

namespace etok_test {

// A token as the tests compare it: code, text, line and column.
struct Tok {
    int code;
    std::u32string text;
    int line;
    int column;
    bool operator==(const Tok&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Tok& t) {
    os << "{code " << t.code << ", \"";
    for (char32_t c : t.text) os << (c < 0x80 ? static_cast<char>(c) : '?');
    return os << "\", line " << t.line << ", column " << t.column << "}";
}

// Lines served one at a time; a released line is counted.
struct Feed {
    std::vector<std::u32string> lines;
    size_t next = 0;
    NQStringExt* strext = nullptr;
    NQPool* pool = nullptr;
    int handed = 0;
    int released = 0;
};

// Hands back the held line, then gives the next one (0) or reports the end (1).
inline int32_t read_line(int32_t* flag, NQString** line, void* user) {
    Feed* f = static_cast<Feed*>(user);
    if (*line) {
        (*line)->Release(*line);
        *line = nullptr;
        ++f->released;
    }
    if (f->next >= f->lines.size()) return 1;
    const std::u32string& text = f->lines[f->next++];
    NQString* s =
        f->strext->NewString(f->strext, f->pool, text.data(), static_cast<int32_t>(text.size()), 1);
    if (!s) return 1;
    *line = s;
    *flag = 1;
    ++f->handed;
    return 0;
}

class TokenizerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        kernel = zhost_open_kernel(nullptr);
        ASSERT_NE(kernel, nullptr);
        jnl = zhost_open_capture_journal();
        ext = static_cast<NQTokExt*>(kernel->LoadExtension(kernel, U"nqetok", 6, jnl));
        ASSERT_NE(ext, nullptr) << "libnqetok.so did not load";
        feed.strext = static_cast<NQStringExt*>(kernel->LoadExtension(kernel, U"nqstring", 8, jnl));
        ASSERT_NE(feed.strext, nullptr) << "libnqstring.so did not load";
        const int32_t block[3] = {0, 0, 0};
        feed.pool = kernel->CreatePool(kernel, block, jnl, "nqetok test lines");
        ASSERT_NE(feed.pool, nullptr);
        baseline = zhost_live_count(kernel);
    }

    void TearDown() override {
        if (tok) {
            tok->Reset(tok);  // hands back a line still held after an error
            tok->hdr.Dispose(tok);
        }
        if (feed.pool) feed.pool->hdr.Dispose(feed.pool);
        if (kernel) zhost_close_kernel(kernel);
        if (jnl) zhost_close_journal(jnl);
    }

    // A parameter block that reads from the feed.
    NQTokenizerBlock feed_block(NQEngine* engine = nullptr) {
        NQTokenizerBlock block{};
        block.getline = read_line;
        block.user = &feed;
        block.engine = engine;
        block.word38 = 1;
        return block;
    }

    // Makes the tokenizer over the given lines; engine may be null.
    void open(std::vector<std::u32string> lines, NQEngine* engine = nullptr,
              bool with_journal = true) {
        feed.lines = std::move(lines);
        NQTokenizerBlock block = feed_block(engine);
        NQStatus status = -1;
        tok = ext->CreateTokenizer(ext, &block, with_journal ? jnl : nullptr, "test", &status);
        ASSERT_NE(tok, nullptr);
        ASSERT_EQ(status, NQ_OK);
    }

    // Ends the tokenizer, so that the next open starts over.
    void close() {
        tok->hdr.Dispose(tok);
        tok = nullptr;
        feed.next = 0;
    }

    // Next token as a Tok; the status goes to *status when given, else must be 0.
    Tok next(NQStatus* status = nullptr) {
        NQToken* t = nullptr;
        NQStatus st = tok->Next(tok, &t);
        if (status)
            *status = st;
        else
            EXPECT_EQ(st, NQ_OK);
        if (st != NQ_OK || !t) return Tok{-1, U"", 0, 0};
        return Tok{t->code, std::u32string(t->text, static_cast<size_t>(t->length)), t->line,
                   t->column};
    }

    // All tokens up to the first end token ("endjb" or "$$$"), which is left out.
    std::vector<Tok> body(const std::u32string& line) {
        open({line});
        std::vector<Tok> out;
        for (int guard = 0; guard < 1000; ++guard) {
            Tok t = next();
            if (t.code == 1 || t.code == 74 || t.code < 0) break;
            out.push_back(t);
        }
        return out;
    }

    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (size_t i = 0; i < zhost_journal_count(jnl); ++i)
            out.push_back(zhost_journal_text(jnl, i));
        return out;
    }

    NQKernel* kernel = nullptr;
    NQJournal* jnl = nullptr;
    NQTokExt* ext = nullptr;
    NQTokenizer* tok = nullptr;
    Feed feed;
    long baseline = 0;
};

}  // namespace etok_test

#endif  // ZORV_TESTS_HOST_NQETOK_FIXTURE_H

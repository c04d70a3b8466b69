// Fuzz target: the tokenizer alone. The input is UTF-8 text (decoded leniently), served as
// lines split at line feeds; tokens are pulled until the end token. Every token must lie
// where the tokenizer says, each call must make progress, and after a Reset the same lines
// must give the same tokens. A fresh tokenizer serves each input, and every line handed out
// must come back.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "parse/grammar_codes.h"
#include "tests/fuzz/fuzz_host.h"

using namespace fuzzhost;

namespace {

struct Feed {
    std::vector<std::u32string> lines;
    size_t next = 0;
    NQStringExt* strext = nullptr;
    NQPool* pool = nullptr;
    long out = 0;  // lines handed out and not yet given back
};

int32_t read_line(int32_t* flag, NQString** line, void* user) {
    Feed* f = static_cast<Feed*>(user);
    if (*line) {
        (*line)->Release(*line);
        *line = nullptr;
        --f->out;
    }
    if (f->next >= f->lines.size()) return 1;
    const std::u32string& text = f->lines[f->next++];
    NQString* s =
        f->strext->NewString(f->strext, f->pool, text.data(), static_cast<int32_t>(text.size()), 1);
    if (!s) fail("no string for a line");
    *line = s;
    *flag = 1;
    ++f->out;
    return 0;
}

struct State {
    NQTokExt* ext = nullptr;
    Feed feed;
};

State& state() {
    static State s = [] {
        State made;
        Host& h = host();
        made.ext = static_cast<NQTokExt*>(h.kernel->LoadExtension(h.kernel, U"nqetok", 6, h.jnl));
        made.feed.strext =
            static_cast<NQStringExt*>(h.kernel->LoadExtension(h.kernel, U"nqstring", 8, h.jnl));
        const int32_t block[3] = {0, 0, 0};
        made.feed.pool = h.kernel->CreatePool(h.kernel, block, h.jnl, "fuzz lines");
        if (!made.ext || !made.feed.strext || !made.feed.pool) fail("no tokenizer extension");
        return made;
    }();
    return s;
}

struct Tok {
    int16_t code;
    int32_t line, column;
    std::u32string text;
    bool operator==(const Tok&) const = default;
};

// Every token up to the first "$$$", with the status of every call folded in as a token of
// code -1 (a lexical error skips the offending text and goes on).
std::vector<Tok> tokens(NQTokenizer* tok, const Feed& feed, size_t chars) {
    std::vector<Tok> out;
    // Each call either ends a line, skips offending text, or consumes a token's characters;
    // so more calls than characters and lines, plus the two end tokens, mean no progress.
    const size_t most = chars + feed.lines.size() + 4;
    for (size_t calls = 0;; ++calls) {
        FUZZ_CHECK(calls <= most);
        NQToken* t = nullptr;
        const NQStatus status = tok->Next(tok, &t);
        if (status != NQ_OK) {
            FUZZ_CHECK(status == NQ_STATUS_LEXICAL && t == nullptr);
            out.push_back(Tok{-1, 0, 0, {}});
            continue;
        }
        FUZZ_CHECK(t != nullptr);
        FUZZ_CHECK(tok->Examine(tok, t) == NQ_OK);
        tok->Note(tok, t);
        FUZZ_CHECK(t->code >= where::T_ENDJB && t->code <= where::kTerminals);
        FUZZ_CHECK(t->line >= 1 && t->column >= 1 && t->length >= 0);
        if (t->line <= static_cast<int32_t>(feed.lines.size())) {
            const std::u32string& line = feed.lines[static_cast<size_t>(t->line) - 1];
            FUZZ_CHECK(static_cast<size_t>(t->column) <= line.size() + 1);
            FUZZ_CHECK(t->length == 0 || t->text != nullptr);
        }
        std::u32string text;
        if (t->length > 0) text.assign(t->text, static_cast<size_t>(t->length));
        out.push_back(Tok{t->code, t->line, t->column, std::move(text)});
        if (t->code == where::kEnd) break;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    state();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    State& s = state();
    Host& h = host();
    const long live = zhost_live_count(h.kernel);
    Feed& feed = s.feed;
    feed.lines.clear();
    feed.next = 0;
    size_t chars = 0;
    for (size_t from = 0; from <= size;) {
        const uint8_t* end =
            static_cast<const uint8_t*>(std::memchr(data + from, '\n', size - from));
        const size_t to = end ? static_cast<size_t>(end - data) : size;
        feed.lines.push_back(utf8(data + from, to - from));
        chars += feed.lines.back().size();
        from = to + 1;
    }

    NQTokenizerBlock block{};
    block.getline = read_line;
    block.user = &feed;
    block.word38 = 1;
    NQStatus status = -1;
    NQTokenizer* tok = s.ext->CreateTokenizer(s.ext, &block, h.jnl, "fuzz", &status);
    if (!tok || status != NQ_OK) fail("no tokenizer");

    const std::vector<Tok> first = tokens(tok, feed, chars);
    FUZZ_CHECK(tok->Reset(tok) == NQ_OK);
    FUZZ_CHECK(feed.out == 0);
    feed.next = 0;
    FUZZ_CHECK(tokens(tok, feed, chars) == first);

    FUZZ_CHECK(tok->Reset(tok) == NQ_OK);
    FUZZ_CHECK(feed.out == 0);
    tok->hdr.Dispose(tok);
    FUZZ_CHECK(zhost_live_count(h.kernel) == live);
    return 0;
}

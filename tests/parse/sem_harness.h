// A bench for the semantic actions without the host: an instance whose node slots point at a
// small test node store (with an allocation budget), a capturing message target, a parse
// context, and a compact rendering of trees.
#ifndef ZORV_TESTS_PARSE_SEM_HARNESS_H
#define ZORV_TESTS_PARSE_SEM_HARNESS_H

#include <cstdarg>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "parse/parse.h"

namespace semtest {

// One message as the target received it, formatted.
struct Message {
    int level;
    std::string text;
};

std::string utf8(const NQWChar* s, long n);

// Formats the wide printf subset the library uses: %d with a width, %s, %.*s, %p, %c, %%.
std::string format(const NQWChar* fmt, va_list ap);

// An instance built by hand. Node operations follow the node-store rules (argument
// overflow blocks included); every piece of memory it hands out starts as garbage, so
// what the actions rely on must have been written by them.
class Bench {
  public:
    Bench();
    Bench(const Bench&) = delete;
    Bench& operator=(const Bench&) = delete;

    ZInst inst{};
    ZExt ext{};
    NQParseContext ctx{};
    NQJournal jnl{};
    std::vector<Message> messages;

    // Allocations still allowed before Alloc answers null; negative: no limit.
    long budget = -1;
    long allocations = 0;

    // The locale's answer for "nbr" tokens: every call reads the token as a decimal.
    NQLocale locale{};
    // A transcoder that records its calls and writes bytes of its own.
    NQTranscoder xcoder{};
    struct TranscodeCall {
        int32_t srcbytes;
        int32_t capacity;
        std::u32string src;
    };
    std::vector<TranscodeCall> transcodes;

    ZParse* prs() { return &inst.prs; }
    ZNode* holder(int d = 0) { return inst.prs.stk[inst.prs.stki - d]; }

    // Runs one action record.
    NQStatus act(int16_t code, std::vector<int16_t> args = {}, const NQToken* tok = nullptr);
    // Shorthand for @PUSH(kind) of a token.
    NQStatus push(int16_t kind, int16_t code, const std::u32string& text);

    // Keeps token texts alive for the bench's lifetime.
    const NQToken* token(int16_t code, const std::u32string& text);

    static Bench* of(ZInst* inst);

  private:
    std::vector<std::unique_ptr<unsigned char[]>> blocks_;
    std::vector<std::unique_ptr<std::u32string>> texts_;
    std::vector<std::unique_ptr<NQToken>> tokens_;
    friend void* bench_alloc(ZInst*, int32_t);
};

// Renders a tree, reaching arguments through the instance's Get slot:
// LAND(CGT(NAME X,LITN 5),...). A null argument shows as "-".
std::string render(ZInst* inst, const ZNode* n);

// The name of a node type code as the trees show it.
std::string type_name(int code);

}  // namespace semtest

#endif

// The parse tests' host: the frame tests' fixture (a kernel of our host runtime, a capturing
// message target, the extension record from the library's entry), with a real instance,
// clauses parsed through its Parse slot and its tree in the tests' notation.
#ifndef ZORV_TESTS_PARSE_PARSE_FIXTURE_H
#define ZORV_TESTS_PARSE_PARSE_FIXTURE_H

#include <string>

#include "support/utf8.h"
#include "tests/common/tree_text.h"
#include "tests/frame/internal/internal_fixture.h"

namespace parsetest {

// UTF-8 as the wide text the library reads; a malformed byte reads as '?'.
inline std::u32string widen(const std::string& s) {
    std::u32string out;
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* end = p + s.size();
    while (p < end) {
        char32_t c = U'?';
        const int k = utf8::decode(p, end, &c);
        out += c;
        p += k > 0 ? k : 1;
    }
    return out;
}

class Parser : public frametest::Linked {
  protected:
    // The instance the helpers work on; TearDown destroys it.
    ZInst* open(uintptr_t bits = 0) {
        inst_ = create(bits, "parse test");
        EXPECT_NE(inst_, nullptr);
        return inst_;
    }

    // Parses through the instance's slot, the journal cleared first.
    int32_t parse(const std::string& clause) {
        text_ = widen(clause);
        zhost_journal_clear(jnl_);
        return inst_->Parse(inst_, text_.data(), static_cast<int32_t>(text_.size()), jnl_);
    }

    std::string tree() const { return ztest::render(inst_->Root(inst_)); }

    ZInst* inst_ = nullptr;
    std::u32string text_;  // the engine reads the clause in place
};

}  // namespace parsetest

#endif

// What the fuzz targets share: one host per process (a kernel of our runtime, a message
// target that discards what it is sent, the library's extension record loaded by name),
// the ways raw bytes become clause text, and the check that aborts on a broken property so
// that libFuzzer records the input.
#ifndef ZORV_TESTS_FUZZ_FUZZ_HOST_H
#define ZORV_TESTS_FUZZ_FUZZ_HOST_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zorv/host.h"
#include "zorv/zorv.h"

namespace fuzzhost {

// A property the target checks failed: say which and abort, so the input is kept as a crash.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
#define FUZZ_CHECK(cond)                                        \
    do {                                                        \
        if (!(cond)) ::fuzzhost::fail(#cond " (" __FILE__ ")"); \
    } while (0)

// Made once, before the first input, so that the extension libraries are loaded (and their
// coverage counters known to libFuzzer) before fuzzing starts. Never torn down: the process
// ends with the fuzzer. Messages are formatted, so that each argument is read as its format
// says, and dropped; ZORV_FUZZ_VERBOSE shows them.
struct Host {
    NQKernel* kernel = nullptr;
    NQJournal* jnl = nullptr;  // formats every message and keeps none
    ZExt* ext = nullptr;
    bool verbose = false;  // ZORV_FUZZ_VERBOSE set: messages and statuses go to stderr
};

inline Host& host() {
    static Host h = [] {
        Host made;
        made.verbose = std::getenv("ZORV_FUZZ_VERBOSE") != nullptr;
        made.jnl = made.verbose ? zhost_open_stream_journal(stderr, stderr)
                                : zhost_open_discard_journal();
        made.kernel = zhost_open_kernel(nullptr);
        if (!made.jnl || !made.kernel) fail("no host");
        made.ext =
            static_cast<ZExt*>(made.kernel->LoadExtension(made.kernel, U"zorv", 4, made.jnl));
        if (!made.ext) fail("libzorv.so did not load");
        return made;
    }();
    return h;
}

// An instance with the given option bits, or an abort: nothing is injected to fail here.
inline ZInst* create(uint32_t bits, const char* name, NQCollator* collator = nullptr) {
    Host& h = host();
    const uintptr_t options[2] = {bits, reinterpret_cast<uintptr_t>(collator)};
    ZInst* inst = h.ext->Create(h.ext, options, h.jnl, name);
    if (!inst) fail("ZORVCreate failed");
    return inst;
}

// Bytes as UTF-8, decoded leniently: a well-formed lead and continuation bytes give their
// code point whatever it is (overlong forms, surrogates and values above U+10FFFF included);
// any other byte stands for the code point of the same value.
inline std::u32string utf8(const uint8_t* p, size_t n) {
    std::u32string out;
    out.reserve(n);
    for (size_t i = 0; i < n;) {
        const uint8_t b = p[i];
        const size_t len = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : b < 0xF8 ? 4 : 1;
        char32_t c = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
        bool whole = len > 1 && i + len <= n;
        for (size_t k = 1; whole && k < len; ++k) {
            whole = (p[i + k] & 0xC0) == 0x80;
            c = (c << 6) | (p[i + k] & 0x3F);
        }
        if (len > 1 && !whole) {
            out.push_back(b);
            ++i;
            continue;
        }
        out.push_back(c);
        i += len;
    }
    return out;
}

// Bytes as raw 4-byte units in host order; a trailing partial unit is dropped.
inline std::u32string units(const uint8_t* p, size_t n) {
    std::u32string out(n / 4, U'\0');
    if (!out.empty()) std::memcpy(out.data(), p, out.size() * 4);
    return out;
}

}  // namespace fuzzhost

#endif

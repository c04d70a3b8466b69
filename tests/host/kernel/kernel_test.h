/* Helpers shared by the host kernel tests: a fixture that owns a kernel, calls of the
 * journal's variadic entries, and wide text as UTF-8 for readable comparisons. */
#ifndef ZORV_TESTS_HOST_KERNEL_TEST_H
#define ZORV_TESTS_HOST_KERNEL_TEST_H

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "zorv/host.h"

namespace ktest {

inline std::string utf8(const char32_t* s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        char32_t c = s[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

inline std::string utf8(const std::u32string& s) { return utf8(s.data(), s.size()); }

/* One FormatToBuf call and what it left. */
struct Formatted {
    NQStatus status;
    int32_t written;
    std::string text; /* the characters stored, as UTF-8 */
};

inline Formatted vformat(int32_t capacity, const char32_t* fmt, va_list ap) {
    NQJournal* j = zhost_open_capture_journal();
    char32_t buf[600];
    Formatted f{};
    f.status = j->FormatToBuf(j, fmt, 0, buf, capacity, &f.written, ap);
    f.text = utf8(buf, static_cast<size_t>(f.written));
    zhost_close_journal(j);
    return f;
}

/* The text of fmt with ample room. */
inline std::string fmt(const char32_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    Formatted f = vformat(600, fmt, ap);
    va_end(ap);
    return f.text;
}

inline Formatted fmt_cap(int32_t capacity, const char32_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    Formatted f = vformat(capacity, fmt, ap);
    va_end(ap);
    return f;
}

inline NQStatus message(NQJournal* j, int32_t level, const char32_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    NQStatus st = j->MessageToJnl(j, level, fmt, 0, ap);
    va_end(ap);
    return st;
}

inline NQStatus status_message(NQJournal* j, int32_t level, NQStatus status, ...) {
    va_list ap;
    va_start(ap, status);
    NQStatus st = j->StatusToJnl(j, level, status, ap);
    va_end(ap);
    return st;
}

inline Formatted status_text(NQStatus status, int32_t capacity, ...) {
    va_list ap;
    va_start(ap, capacity);
    NQJournal* j = zhost_open_capture_journal();
    char32_t buf[100];
    Formatted f{};
    f.status = j->StatusToBuf(j, status, buf, capacity, &f.written, ap);
    f.text = utf8(buf, static_cast<size_t>(f.written));
    zhost_close_journal(j);
    va_end(ap);
    return f;
}

/* A fixture owning one kernel, closed after each test. */
class KernelTest : public ::testing::Test {
protected:
    void SetUp() override {
        k = zhost_open_kernel(nullptr);
        ASSERT_NE(k, nullptr);
    }
    void TearDown() override { zhost_close_kernel(k); }

    NQGroup* group() {
        static const int32_t block[6] = {3, 0, 1, 0, 0, 0};
        NQGroup* g = k->CreateGroup(k, block, nullptr, nullptr);
        if (g) g->Init(g, 0, 1);
        return g;
    }
    NQPool* pool(const char* name = "test pool") {
        static const int32_t block[3] = {0, 0, 0};
        return k->CreatePool(k, block, nullptr, name);
    }
    NQLock* lock() {
        static const int32_t block[3] = {0, 0, 0};
        return k->CreateLock(k, block, nullptr, nullptr);
    }
    void* load(const std::u32string& name, NQJournal* jnl = nullptr) {
        return k->LoadExtension(k, name.data(), static_cast<int32_t>(name.size()), jnl);
    }

    NQKernel* k = nullptr;
};

}  // namespace ktest

#endif

/* Helpers shared by the host kernel tests: a fixture that owns a kernel, and calls of the
 * journal's variadic entries. */
#ifndef ZORV_TESTS_HOST_KERNEL_TEST_H
#define ZORV_TESTS_HOST_KERNEL_TEST_H

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "zorv/host.h"

namespace ktest {

/* One FormatToBuf or StatusToBuf call and what it stored. */
struct Formatted {
    NQStatus status;
    int32_t written;
    std::u32string text;
};

/* FormatToBuf (status == nullptr) or StatusToBuf into a buffer of the given capacity. */
inline Formatted vformat(int32_t capacity, const NQStatus* status, const char32_t* fmt,
                         va_list ap) {
    NQJournal* j = zhost_open_capture_journal();
    char32_t buf[600];
    Formatted f{};
    f.status = status ? j->StatusToBuf(j, *status, buf, capacity, &f.written, ap)
                      : j->FormatToBuf(j, fmt, 0, buf, capacity, &f.written, ap);
    f.text.assign(buf, static_cast<size_t>(f.written));
    zhost_close_journal(j);
    return f;
}

/* The text of fmt with ample room. */
inline std::u32string fmt(const char32_t* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    Formatted f = vformat(600, nullptr, fmt, ap);
    va_end(ap);
    return f.text;
}

inline Formatted status_text(NQStatus status, int32_t capacity, ...) {
    va_list ap;
    va_start(ap, capacity);
    Formatted f = vformat(capacity, &status, nullptr, ap);
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

/* A fixture owning one kernel, closed after each test. */
class KernelTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(k = zhost_open_kernel(nullptr), nullptr); }
    void TearDown() override { zhost_close_kernel(k); }

    NQGroup* group() {
        NQGroup* g = k->CreateGroup(k, nullptr, nullptr, nullptr);
        if (g) g->Init(g, 0, 1);
        return g;
    }
    NQPool* pool() { return k->CreatePool(k, nullptr, nullptr, "test pool"); }
    NQLock* lock() { return k->CreateLock(k, nullptr, nullptr, nullptr); }
    void* load(const std::u32string& name, NQJournal* jnl = nullptr) {
        return k->LoadExtension(k, name.data(), static_cast<int32_t>(name.size()), jnl);
    }
    static void dispose(void* object) { static_cast<NQObject*>(object)->Dispose(object); }

    NQKernel* k = nullptr;
};

}  // namespace ktest

#endif

/* The journal's formatter: printf-like formatting of wide (UTF-32) format strings into a
 * caller's buffer of fixed capacity or into a growing string. "%s" takes wide text,
 * "%hs" 8-bit UTF-8 text; a precision on either is a count (characters, bytes). */
#ifndef ZORV_HOST_KERNEL_FORMAT_H
#define ZORV_HOST_KERNEL_FORMAT_H

#include <cstdarg>
#include <string>

#include "zorv/host.h"

namespace zhost {

/* Destination of formatted characters. A bounded destination stores at most its
 * capacity and remembers that it had to cut; a growing one may throw std::bad_alloc. */
class WideOut {
  public:
    WideOut(NQWChar* buf, int32_t capacity) : buf_(buf), cap_(capacity < 0 ? 0 : capacity) {}
    explicit WideOut(std::u32string& str) : str_(&str) {}

    void put(char32_t c) {
        if (str_) {
            str_->push_back(c);
        } else if (n_ < cap_) {
            buf_[n_++] = c;
        } else {
            cut_ = true;
        }
    }
    void repeat(char32_t c, int count) {
        for (; count > 0 && !full(); --count) put(c);
    }
    /* True once a bounded destination has refused a character: nothing more fits. */
    bool full() const { return cut_; }
    bool cut() const { return cut_; }
    int32_t count() const { return n_; }

  private:
    NQWChar* buf_ = nullptr;
    int32_t cap_ = 0;
    int32_t n_ = 0;
    bool cut_ = false;
    std::u32string* str_ = nullptr;
};

/* Length of a zero-terminated wide text. */
size_t wide_length(const NQWChar* s);

/* Formats fmt (fmtlen characters, or up to its first 0 unit when fmtlen <= 0) with the
 * arguments of ap into out. ap itself is not consumed. */
void format_wide(WideOut& out, const NQWChar* fmt, int32_t fmtlen, va_list ap);

/* Formats into buf: stores at most capacity characters, sets *written (when not null)
 * to the count stored and adds a terminating 0 when there is room for it. Returns
 * NQ_STATUS_TRUNCATED when the text was cut, NQ_STATUS_BAD_ARGUMENT for a null format
 * or buffer. */
NQStatus format_to_buffer(const NQWChar* fmt, int32_t fmtlen, NQWChar* buf, int32_t capacity,
                          int32_t* written, va_list ap);

}  // namespace zhost

#endif /* ZORV_HOST_KERNEL_FORMAT_H */

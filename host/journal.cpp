/* Message targets: the stream journal that writes messages to two FILEs as UTF-8, the
 * capture journal that keeps them in memory for tests, and the discard journal that keeps
 * nothing. All format wide format strings with the formatter of host/kernel/format.h and
 * render host statuses as short texts. */
#include <cerrno>
#include <cstdio>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <utility>

#include "host/kernel/format.h"
#include "host/kernel/kernel_impl.h"
#include "host/kernel/text.h"

namespace zhost {
namespace {

enum class Sink { kStreams, kCapture, kDiscard };

struct JournalImpl : NQJournal {
    Sink sink = Sink::kStreams;
    FILE* out = nullptr;
    FILE* err = nullptr;
    int failed_errno = 0;  /* of the first failed write or flush; 0 while all went well */
    int failed_stream = 0; /* 1 = out, 2 = err */
    std::mutex mutex;
    struct Message {
        int level;
        std::string text;
    };
    std::deque<Message> messages; /* a deque keeps texts in place as it grows */
};

JournalImpl* journal_of(NQJournal* j) {
    return static_cast<JournalImpl*>(j);
}

/* The text of a host status; statuses we do not know by name print as their number. */
const char* status_text(NQStatus status) {
    switch (status) {
        case NQ_OK:
            return "success";
        case NQ_STATUS_UNSUPPORTED:
            return "unsupported entry";
        case NQ_STATUS_VALUE_ZERO:
            return "the value is zero";
        case NQ_STATUS_NOT_A_NUMBER:
            return "not a number";
        case NQ_STATUS_NO_MEMORY:
            return "out of memory";
        case NQ_STATUS_BAD_ARGUMENT:
            return "bad argument";
        case NQ_STATUS_TRUNCATED:
            return "output truncated";
        case NQ_STATUS_WRITE_FAILED:
            return "write failed";
        case NQ_STATUS_LEXICAL:
            return "lexical error";
        case NQ_STATUS_SYNTAX:
            return "syntax error";
        case NQ_STATUS_TOO_DEEP:
            return "nested too deeply";
        case NQ_STATUS_SEMANTIC:
            return "semantic error";
        case NQ_STATUS_BAD_GRAMMAR:
            return "inconsistent grammar tables";
        default:
            return nullptr;
    }
}

std::string status_string(NQStatus status) {
    if (const char* text = status_text(status)) return text;
    char buf[32];
    std::snprintf(buf, sizeof buf, "status 0x%08X", static_cast<unsigned>(status));
    return buf;
}

/* Notes the first failure of a stream (the caller holds the lock); errno is read at once,
 * before anything else can change it. */
void note_failure(JournalImpl& j, int stream) {
    const int e = errno != 0 ? errno : EIO;
    if (j.failed_errno == 0) {
        j.failed_errno = e;
        j.failed_stream = stream;
    }
}

bool has_failed(const JournalImpl& j, int stream) {
    return j.failed_errno != 0 && j.failed_stream == stream;
}

/* Hands one finished message (UTF-8, as formatted) to its destination. The stream
 * journal sends plain output (level 0) to `out` and every other level to `err`, levels
 * from the error level up with the "zorv: error: " prefix; it adds a newline to a message
 * that does not end with one. `err` is flushed at once so diagnostics keep their order.
 * A stream that failed once is not written again: its output is lost already, and the
 * failure is what zhost_journal_flush reports. */
NQStatus deliver(JournalImpl& j, int32_t level, std::string& text) {
    if (j.sink == Sink::kDiscard) return NQ_OK;
    if (j.sink == Sink::kCapture) {
        std::lock_guard<std::mutex> hold(j.mutex);
        j.messages.push_back({level, text});
        return NQ_OK;
    }
    // One write per message, so that a line reaches an unbuffered stderr whole.
    if (level >= NQ_LEVEL_ERROR) text.insert(0, "zorv: error: ");
    if (text.empty() || text.back() != '\n') text.push_back('\n');
    const int stream = level == NQ_LEVEL_PLAIN ? 1 : 2;
    FILE* f = stream == 1 ? j.out : j.err;
    std::lock_guard<std::mutex> hold(j.mutex);
    if (has_failed(j, stream)) return NQ_STATUS_WRITE_FAILED;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size() ||
        (stream == 2 && std::fflush(f) != 0)) {
        note_failure(j, stream);
        return NQ_STATUS_WRITE_FAILED;
    }
    return NQ_OK;
}

/* Buffers a thread formats its messages in, kept from one message to the next so that a
 * message costs no allocation once they have grown; one that grew past a bound for a huge
 * message gives its memory back. */
struct FormatBuffers {
    std::u32string wide;
    std::string text;
    void clear() {
        constexpr size_t kKept = size_t{1} << 16;
        if (wide.capacity() > kKept) std::u32string().swap(wide);
        if (text.capacity() > kKept) std::string().swap(text);
        wide.clear();
        text.clear();
    }
};

NQStatus format_to_buf(NQJournal*, const NQWChar* fmt, int32_t fmtlen, NQWChar* buf,
                       int32_t capacity, int32_t* written, va_list ap) {
    return format_to_buffer(fmt, fmtlen, buf, capacity, written, ap);
}

NQStatus message_to_jnl(NQJournal* jnl, int32_t level, const NQWChar* fmt, int32_t fmtlen,
                        va_list ap) {
    if (!jnl || !fmt) return NQ_STATUS_BAD_ARGUMENT;
    try {
        thread_local FormatBuffers buffers;
        buffers.clear();
        WideOut out(buffers.wide);
        format_wide(out, fmt, fmtlen, ap);
        append_utf8(buffers.text, buffers.wide.data(), buffers.wide.size());
        return deliver(*journal_of(jnl), level, buffers.text);
    } catch (...) {
        return NQ_STATUS_NO_MEMORY;
    }
}

/* Statuses take no arguments: the argument list is accepted and left alone. */
NQStatus status_to_buf(NQJournal*, NQStatus status, NQWChar* buf, int32_t capacity,
                       int32_t* written, va_list) {
    if (written) *written = 0;
    if (capacity > 0 && !buf) return NQ_STATUS_BAD_ARGUMENT;
    try {
        std::string text = status_string(status);
        int32_t n = 0;
        bool cut = false;
        for (char c : text) {
            if (n >= capacity) {
                cut = true;
                break;
            }
            buf[n++] = static_cast<unsigned char>(c);
        }
        if (n < capacity) buf[n] = 0;
        if (written) *written = n;
        return cut ? NQ_STATUS_TRUNCATED : NQ_OK;
    } catch (...) {
        return NQ_STATUS_NO_MEMORY;
    }
}

NQStatus status_to_jnl(NQJournal* jnl, int32_t level, NQStatus status, va_list) {
    if (!jnl) return NQ_STATUS_BAD_ARGUMENT;
    try {
        std::string text = status_string(status);
        return deliver(*journal_of(jnl), level, text);
    } catch (...) {
        return NQ_STATUS_NO_MEMORY;
    }
}

NQJournal* open_journal(Sink sink, FILE* out, FILE* err) {
    JournalImpl* j = new (std::nothrow) JournalImpl();
    if (!j) return nullptr;
    j->hdr.kind = KIND_JOURNAL;
    j->FormatToBuf = format_to_buf;
    j->MessageToJnl = message_to_jnl;
    j->StatusToBuf = status_to_buf;
    j->StatusToJnl = status_to_jnl;
    j->sink = sink;
    j->out = out;
    j->err = err;
    return j;
}

}  // namespace
}  // namespace zhost

using zhost::has_failed;
using zhost::journal_of;
using zhost::JournalImpl;

extern "C" {

/* Null streams mean the process's standard output and standard error. */
ZHOST_API NQJournal* zhost_open_stream_journal(FILE* out, FILE* err) {
    return zhost::open_journal(zhost::Sink::kStreams, out ? out : stdout, err ? err : stderr);
}

ZHOST_API NQJournal* zhost_open_capture_journal(void) {
    return zhost::open_journal(zhost::Sink::kCapture, nullptr, nullptr);
}

ZHOST_API NQJournal* zhost_open_discard_journal(void) {
    return zhost::open_journal(zhost::Sink::kDiscard, nullptr, nullptr);
}

ZHOST_API size_t zhost_journal_count(NQJournal* jnl) {
    if (!jnl) return 0;
    JournalImpl& j = *journal_of(jnl);
    std::lock_guard<std::mutex> hold(j.mutex);
    return j.messages.size();
}

/* Level of the i-th message, -1 when there is no such message. */
ZHOST_API int zhost_journal_level(NQJournal* jnl, size_t i) {
    if (!jnl) return -1;
    JournalImpl& j = *journal_of(jnl);
    std::lock_guard<std::mutex> hold(j.mutex);
    return i < j.messages.size() ? j.messages[i].level : -1;
}

/* Text of the i-th message, null when there is no such message. */
ZHOST_API const char* zhost_journal_text(NQJournal* jnl, size_t i) {
    if (!jnl) return nullptr;
    JournalImpl& j = *journal_of(jnl);
    std::lock_guard<std::mutex> hold(j.mutex);
    return i < j.messages.size() ? j.messages[i].text.c_str() : nullptr;
}

ZHOST_API void zhost_journal_clear(NQJournal* jnl) {
    if (!jnl) return;
    JournalImpl& j = *journal_of(jnl);
    std::lock_guard<std::mutex> hold(j.mutex);
    j.messages.clear();
}

ZHOST_API int zhost_journal_flush(NQJournal* jnl, int* stream) {
    if (stream) *stream = 0;
    if (!jnl) return 0;
    JournalImpl& j = *journal_of(jnl);
    std::lock_guard<std::mutex> hold(j.mutex);
    if (j.sink != zhost::Sink::kStreams) return 0;
    const std::pair<FILE*, int> streams[] = {{j.out, 1}, {j.err, 2}};
    for (const auto& [f, which] : streams) {
        if (has_failed(j, which)) continue;
        errno = 0;
        if (std::fflush(f) != 0 || std::ferror(f)) zhost::note_failure(j, which);
    }
    if (stream) *stream = j.failed_stream;
    return j.failed_errno;
}

ZHOST_API void zhost_close_journal(NQJournal* jnl) {
    if (jnl) delete journal_of(jnl);
}

}  // extern "C"

/* Message forwarders: each hands its fixed words and the rest of its arguments, as one
 * va_list, to an entry of the message target and returns what the entry returns. */
#include <cstdarg>

#include "zorv/support.h"

NQStatus nqlMessageToBuf(NQJournal* target, const NQWChar* fmt, int32_t fmtlen, NQWChar* buf,
                         int32_t capacity, int32_t* written, ...) {
    va_list ap;
    va_start(ap, written);
    const NQStatus st = target->FormatToBuf(target, fmt, fmtlen, buf, capacity, written, ap);
    va_end(ap);
    return st;
}

NQStatus nqlMessageToJnl(NQJournal* target, int32_t level, const NQWChar* fmt, int32_t fmtlen,
                         ...) {
    va_list ap;
    va_start(ap, fmtlen);
    const NQStatus st = target->MessageToJnl(target, level, fmt, fmtlen, ap);
    va_end(ap);
    return st;
}

NQStatus nqlStatusToBuf(NQJournal* target, NQStatus status, NQWChar* buf, int32_t capacity,
                        int32_t* written, ...) {
    va_list ap;
    va_start(ap, written);
    const NQStatus st = target->StatusToBuf(target, status, buf, capacity, written, ap);
    va_end(ap);
    return st;
}

NQStatus nqlStatusToJnl(NQJournal* target, int32_t level, NQStatus status, ...) {
    va_list ap;
    va_start(ap, status);
    const NQStatus st = target->StatusToJnl(target, level, status, ap);
    va_end(ap);
    return st;
}

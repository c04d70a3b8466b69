// The library's side of the host services: the message forwarders and what reaches
// each journal entry, the kernel handle, pvUnsup, and pvabort's refusal to return.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "zorv/support.h"

namespace {

// A message target whose entries record what they were given. Each entry reads the
// variable part as an int, a wide string and a double, in that order.
struct Call {
    int entry = 0;
    NQJournal* self = nullptr;
    int32_t level = 0;
    NQStatus status = 0;
    const NQWChar* fmt = nullptr;
    int32_t fmtlen = 0;
    NQWChar* buf = nullptr;
    int32_t capacity = 0;
    int32_t* written = nullptr;
    int vint = 0;
    std::u32string vtext;
    double vdouble = 0;
};
Call last;

void read_rest(va_list ap) {
    last.vint = va_arg(ap, int);
    last.vtext = va_arg(ap, const NQWChar*);
    last.vdouble = va_arg(ap, double);
}

NQStatus format_to_buf(NQJournal* j, const NQWChar* fmt, int32_t fmtlen, NQWChar* buf,
                       int32_t capacity, int32_t* written, va_list ap) {
    last = Call{4, j};
    last.fmt = fmt;
    last.fmtlen = fmtlen;
    last.buf = buf;
    last.capacity = capacity;
    last.written = written;
    read_rest(ap);
    return 104;
}

NQStatus message_to_jnl(NQJournal* j, int32_t level, const NQWChar* fmt, int32_t fmtlen,
                        va_list ap) {
    last = Call{5, j};
    last.level = level;
    last.fmt = fmt;
    last.fmtlen = fmtlen;
    read_rest(ap);
    return 105;
}

NQStatus status_to_buf(NQJournal* j, NQStatus status, NQWChar* buf, int32_t capacity,
                       int32_t* written, va_list ap) {
    last = Call{6, j};
    last.status = status;
    last.buf = buf;
    last.capacity = capacity;
    last.written = written;
    read_rest(ap);
    return 106;
}

NQStatus status_to_jnl(NQJournal* j, int32_t level, NQStatus status, va_list ap) {
    last = Call{7, j};
    last.level = level;
    last.status = status;
    read_rest(ap);
    return 107;
}

NQJournal make_journal() {
    NQJournal j{};
    j.FormatToBuf = format_to_buf;
    j.MessageToJnl = message_to_jnl;
    j.StatusToBuf = status_to_buf;
    j.StatusToJnl = status_to_jnl;
    return j;
}

const NQWChar kFormat[] = U"value %d of %s is %f";
const NQStatus kStatus = static_cast<NQStatus>(0x803FE812u);

void expect_rest() {
    EXPECT_EQ(last.vint, -17);
    EXPECT_EQ(last.vtext, U"column");
    EXPECT_EQ(last.vdouble, 2.5);
}

TEST(Forwarders, FormatToBufferGetsItsFiveWordsInOrder) {
    NQJournal j = make_journal();
    NQWChar buf[16];
    int32_t written = 0;
    EXPECT_EQ(nqlMessageToBuf(&j, kFormat, 0, buf, 16, &written, -17, U"column", 2.5), 104);
    EXPECT_EQ(last.entry, 4);
    EXPECT_EQ(last.self, &j);
    EXPECT_EQ(last.fmt, kFormat);
    EXPECT_EQ(last.fmtlen, 0);
    EXPECT_EQ(last.buf, buf);
    EXPECT_EQ(last.capacity, 16);
    EXPECT_EQ(last.written, &written);
    expect_rest();
}

TEST(Forwarders, MessageToJournalGetsLevelFormatAndLength) {
    NQJournal j = make_journal();
    EXPECT_EQ(nqlMessageToJnl(&j, 4, kFormat, 20, -17, U"column", 2.5), 105);
    EXPECT_EQ(last.entry, 5);
    EXPECT_EQ(last.self, &j);
    EXPECT_EQ(last.level, 4);
    EXPECT_EQ(last.fmt, kFormat);
    EXPECT_EQ(last.fmtlen, 20);
    expect_rest();
}

TEST(Forwarders, StatusToBufferGetsStatusAndBuffer) {
    NQJournal j = make_journal();
    NQWChar buf[8];
    int32_t written = 0;
    EXPECT_EQ(nqlStatusToBuf(&j, kStatus, buf, 8, &written, -17, U"column", 2.5), 106);
    EXPECT_EQ(last.entry, 6);
    EXPECT_EQ(last.self, &j);
    EXPECT_EQ(last.status, kStatus);
    EXPECT_EQ(last.buf, buf);
    EXPECT_EQ(last.capacity, 8);
    EXPECT_EQ(last.written, &written);
    expect_rest();
}

TEST(Forwarders, StatusToJournalGetsLevelAndStatus) {
    NQJournal j = make_journal();
    EXPECT_EQ(nqlStatusToJnl(&j, 1, kStatus, -17, U"column", 2.5), 107);
    EXPECT_EQ(last.entry, 7);
    EXPECT_EQ(last.self, &j);
    EXPECT_EQ(last.level, 1);
    EXPECT_EQ(last.status, kStatus);
    expect_rest();
}

TEST(HostServices, UnsupportedEntryStatus) {
    EXPECT_EQ(static_cast<uint32_t>(pvUnsup()), 0x803FC004u);
    EXPECT_EQ(static_cast<uint32_t>(pvUnsup()), 0x803FC004u);
}

TEST(HostServices, KernelHandleIsStored) {
    NQKernel* before = Exported_NQHandle;
    NQKernel k{};
    nqextent(&k);
    EXPECT_EQ(Exported_NQHandle, &k);
    nqextent(before);
    EXPECT_EQ(Exported_NQHandle, before);
}

// A host whose abort service reports itself and then, wrongly, returns.
void returning_abort(NQService*) { std::fputs("host abort called\n", stderr); }

void abort_through(NQKernel* k) {
    nqextent(k);
    pvabort();
}

TEST(HostServicesDeathTest, AbortDoesNotReturnEvenWhenTheHostDoes) {
    NQService svc{};
    svc.Abort = returning_abort;
    NQKernel k{};
    k.svc = &svc;
    EXPECT_DEATH(abort_through(&k), "host abort called");
    EXPECT_DEATH(abort_through(nullptr), "");
    NQKernel no_service{};
    EXPECT_DEATH(abort_through(&no_service), "");
}

} // namespace

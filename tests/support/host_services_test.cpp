// The library's side of the host services: what each message forwarder hands to its
// journal entry, pvUnsup, and pvabort's refusal to return.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "zorv/support.h"

namespace {

// What the last journal entry was given: its number, the target, the fixed words as
// integers in order, and the variable part read as an int, a wide string and a double.
struct Call {
    int entry = 0;
    NQJournal* self = nullptr;
    std::vector<intptr_t> words;
    int vint = 0;
    std::u32string vtext;
    double vdouble = 0;
};
Call last;

template <class... Words>
NQStatus record(int entry, NQJournal* j, va_list ap, Words... words) {
    last = Call{entry, j, {(intptr_t)words...}};
    last.vint = va_arg(ap, int);
    last.vtext = va_arg(ap, const NQWChar*);
    last.vdouble = va_arg(ap, double);
    return 100 + entry;
}

NQJournal make_journal() {
    NQJournal j{};
    j.FormatToBuf = [](NQJournal* j, const NQWChar* fmt, int32_t fmtlen, NQWChar* buf,
                       int32_t capacity, int32_t* written, va_list ap) {
        return record(4, j, ap, fmt, fmtlen, buf, capacity, written);
    };
    j.MessageToJnl = [](NQJournal* j, int32_t level, const NQWChar* fmt, int32_t fmtlen,
                        va_list ap) { return record(5, j, ap, level, fmt, fmtlen); };
    j.StatusToBuf = [](NQJournal* j, NQStatus status, NQWChar* buf, int32_t capacity,
                       int32_t* written,
                       va_list ap) { return record(6, j, ap, status, buf, capacity, written); };
    j.StatusToJnl = [](NQJournal* j, int32_t level, NQStatus status, va_list ap) {
        return record(7, j, ap, level, status);
    };
    return j;
}

TEST(Forwarders, EachPassesItsWordsInOrderAndTheRestAsOneList) {
    const NQWChar fmt[] = U"value %d of %s is %f";
    const NQStatus status = static_cast<NQStatus>(0x803FE812u);
    NQWChar buf[16];
    int32_t written = 0;
    NQJournal j = make_journal();
    const auto check = [&](NQStatus result, int entry, const std::vector<intptr_t>& words) {
        SCOPED_TRACE(entry);
        EXPECT_EQ(result, 100 + entry);
        EXPECT_EQ(last.entry, entry);
        EXPECT_EQ(last.self, &j);
        EXPECT_EQ(last.words, words);
        EXPECT_EQ(last.vint, -17);
        EXPECT_EQ(last.vtext, U"column");
        EXPECT_EQ(last.vdouble, 2.5);
    };
    const intptr_t f = (intptr_t)fmt, b = (intptr_t)buf, w = (intptr_t)&written;
    check(nqlMessageToBuf(&j, fmt, 0, buf, 16, &written, -17, U"column", 2.5), 4, {f, 0, b, 16, w});
    check(nqlMessageToJnl(&j, 4, fmt, 20, -17, U"column", 2.5), 5, {4, f, 20});
    check(nqlStatusToBuf(&j, status, buf, 8, &written, -17, U"column", 2.5), 6, {status, b, 8, w});
    check(nqlStatusToJnl(&j, 1, status, -17, U"column", 2.5), 7, {1, status});
}

TEST(HostServices, UnsupportedEntryStatus) {
    EXPECT_EQ(static_cast<uint32_t>(pvUnsup()), 0x803FC004u);
}

// A host whose abort service reports itself and then, wrongly, returns.
void returning_abort(NQService*) {
    std::fputs("host abort called\n", stderr);
}

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

}  // namespace

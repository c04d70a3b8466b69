/* Message targets: where the stream journal sends each level and how it ends lines, what
 * the capture journal keeps, and the discard journal that keeps nothing. */
#include <cerrno>
#include <cstdio>
#include <string>

#include "host/kernel/kernel_test.h"

using ktest::message;
using ktest::status_message;

namespace {

std::string contents(FILE* f) {
    std::string text(static_cast<size_t>(std::ftell(f)), '\0');
    std::rewind(f);
    text.resize(std::fread(text.data(), 1, text.size(), f));
    return text;
}

TEST(StreamJournal, RoutesLevelsAndEndsEveryMessageWithOneNewline) {
    FILE* out = std::tmpfile();
    FILE* err = std::tmpfile();
    NQJournal* j = zhost_open_stream_journal(out, err);
    ASSERT_TRUE(out && err && j);
    EXPECT_EQ(message(j, NQ_LEVEL_PLAIN, U"%4d --%hs", -8, "NAME"), NQ_OK);
    message(j, NQ_LEVEL_PLAIN, U"own newline\n");
    message(j, NQ_LEVEL_PLAIN, U"");
    message(j, NQ_LEVEL_TRACE, U"token %d: %s", 3, U"\u00e9t\u00e9");
    message(j, NQ_LEVEL_ERROR, U"Unable to load %hs extension\n", "nqstring");
    EXPECT_EQ(status_message(j, NQ_LEVEL_ERROR, NQ_STATUS_SYNTAX), NQ_OK);
    status_message(j, NQ_LEVEL_TRACE, static_cast<NQStatus>(0x80001234));
    zhost_close_journal(j);
    EXPECT_EQ(contents(out), "  -8 --NAME\nown newline\n\n");
    EXPECT_EQ(contents(err),
              "token 3: \u00e9t\u00e9\n"
              "zorv: error: Unable to load nqstring extension\n"
              "zorv: error: syntax error\n"
              "status 0x80001234\n");
    std::fclose(out);
    std::fclose(err);
}

TEST(StreamJournal, FlushTellsTheFirstFailedWriteAndItsStream) {
    FILE* good = std::tmpfile();
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_TRUE(good && full);
    int stream = -1;

    // Plain output is buffered: the failure shows when the journal is flushed.
    NQJournal* j = zhost_open_stream_journal(full, good);
    message(j, NQ_LEVEL_PLAIN, U"lost");
    EXPECT_EQ(zhost_journal_flush(j, &stream), ENOSPC);
    EXPECT_EQ(stream, 1);
    EXPECT_EQ(message(j, NQ_LEVEL_PLAIN, U"more"), NQ_STATUS_WRITE_FAILED);
    EXPECT_EQ(message(j, NQ_LEVEL_ERROR, U"still said"), NQ_OK);
    EXPECT_EQ(zhost_journal_flush(j, &stream), ENOSPC) << "the failure is kept";
    zhost_close_journal(j);
    EXPECT_EQ(contents(good), "zorv: error: still said\n");

    // Errors are flushed as they come, so their failure shows at once.
    std::clearerr(full);
    j = zhost_open_stream_journal(good, full);
    EXPECT_EQ(message(j, NQ_LEVEL_ERROR, U"lost"), NQ_STATUS_WRITE_FAILED);
    EXPECT_EQ(zhost_journal_flush(j, &stream), ENOSPC);
    EXPECT_EQ(stream, 2);
    zhost_close_journal(j);

    // All arrived: 0, and so for a capture journal.
    j = zhost_open_stream_journal(good, good);
    message(j, NQ_LEVEL_PLAIN, U"fine");
    EXPECT_EQ(zhost_journal_flush(j, &stream), 0);
    EXPECT_EQ(stream, 0);
    zhost_close_journal(j);
    j = zhost_open_capture_journal();
    EXPECT_EQ(zhost_journal_flush(j, nullptr), 0);
    zhost_close_journal(j);
    std::fclose(good);
    std::fclose(full);
}

TEST(CaptureJournal, KeepsLevelAndTextAsFormatted) {
    NQJournal* j = zhost_open_capture_journal();
    ASSERT_NE(j, nullptr);
    message(j, NQ_LEVEL_ERROR, U"parse stack not empty, stacki=%d", 3);
    message(j, NQ_LEVEL_TRACE, U"%s", U"\U0001F600");
    message(j, NQ_LEVEL_PLAIN, U"kept as is\n");
    status_message(j, NQ_LEVEL_ERROR, NQ_STATUS_NO_MEMORY);
    const std::pair<int, std::string> want[] = {{4, "parse stack not empty, stacki=3"},
                                                {1, "\U0001F600"},
                                                {0, "kept as is\n"},
                                                {4, "out of memory"}};
    ASSERT_EQ(zhost_journal_count(j), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(zhost_journal_level(j, i), want[i].first) << i;
        EXPECT_EQ(zhost_journal_text(j, i), want[i].second) << i;
    }
    const char* first = zhost_journal_text(j, 0); /* texts stay put as more arrive */
    for (int i = 0; i < 200; ++i) message(j, NQ_LEVEL_TRACE, U"line %d", i);
    EXPECT_EQ(zhost_journal_text(j, 0), first);
    EXPECT_STREQ(zhost_journal_text(j, 203), "line 199");
    EXPECT_EQ(zhost_journal_text(j, 204), nullptr);
    EXPECT_EQ(zhost_journal_level(j, 204), -1);
    zhost_journal_clear(j);
    EXPECT_EQ(zhost_journal_count(j), 0u);
    zhost_close_journal(j);
}

// A thread formats into buffers it keeps between messages: a huge message, and short ones
// after it, each come out whole and alone.
TEST(CaptureJournal, MessagesOfAnySizeFollowEachOther) {
    NQJournal* j = zhost_open_capture_journal();
    ASSERT_NE(j, nullptr);
    const std::u32string huge(100000, U'\u00e9');
    message(j, NQ_LEVEL_TRACE, U"short %d", 1);
    message(j, NQ_LEVEL_TRACE, U"<%s>", huge.c_str());
    message(j, NQ_LEVEL_TRACE, U"short %d", 2);
    ASSERT_EQ(zhost_journal_count(j), 3u);
    EXPECT_STREQ(zhost_journal_text(j, 0), "short 1");
    std::string want = "<";
    for (int i = 0; i < 100000; ++i) want += "\u00e9";
    EXPECT_EQ(zhost_journal_text(j, 1), want + ">");
    EXPECT_STREQ(zhost_journal_text(j, 2), "short 2");
    zhost_close_journal(j);
}

TEST(DiscardJournal, FormatsAndKeepsNothing) {
    NQJournal* j = zhost_open_discard_journal();
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(message(j, NQ_LEVEL_ERROR, U"%s at %d: %hs", U"near", 3, "x"), NQ_OK);
    EXPECT_EQ(status_message(j, NQ_LEVEL_ERROR, NQ_STATUS_SYNTAX), NQ_OK);
    EXPECT_EQ(zhost_journal_count(j), 0u);
    EXPECT_EQ(zhost_journal_text(j, 0), nullptr);
    int stream = -1;
    EXPECT_EQ(zhost_journal_flush(j, &stream), 0);
    EXPECT_EQ(stream, 0);
    zhost_close_journal(j);
}

}  // namespace

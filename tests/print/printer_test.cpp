// The tree printer's drawing: connectors and bars, value and type fields, leaf contents,
// the depth cut, the line cut and operands beyond the node's own slots.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "zorv/host.h"
#include "zorv/zorv.h"

namespace {

// Nodes live in a deque so their addresses stay put; the instance only needs its Get slot.
class PrinterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        jnl_ = zhost_open_capture_journal();
        std::memset(&inst_, 0, sizeof inst_);
        inst_.Get = ZORVGet;
    }
    void TearDown() override { zhost_close_journal(jnl_); }

    ZNode* node(int type, int vlen = 0) {
        ZNode& n = nodes_.emplace_back();
        std::memset(&n, 0, sizeof n);
        n.type = static_cast<uint16_t>(type);
        n.vlen = static_cast<int16_t>(vlen);
        return &n;
    }
    ZNode* name(const char* text, int vlen = -8) {
        ZNode* n = node(Z_NAME, vlen);
        n->u.nm.namelen = static_cast<int16_t>(std::strlen(text));
        std::memcpy(n->u.nm.name, text, std::strlen(text));
        return n;
    }
    ZNode* number(double v, uint32_t tag = 0) {
        ZNode* n = node(Z_LITN, -8);
        n->u.litn.num = v;
        n->u.litn.tag = tag;
        return n;
    }
    ZNode* text(const std::u32string& s) {
        ZNode* n = node(Z_LITC, static_cast<int>(4 * s.size()));
        auto& store = texts_.emplace_back(s);
        n->u.litc.str = store.data();
        n->u.litc.slen = n->vlen;
        return n;
    }
    // An operator whose arguments continue in overflow blocks past the first fifteen.
    ZNode* op(int type, std::vector<ZNode*> args, int vlen = -8) {
        ZNode* head = node(type, vlen);
        head->u.op.nargs = static_cast<int32_t>(args.size());
        ZNode* block = head;
        for (size_t i = 0; i < args.size(); ++i) {
            if (i > 0 && i % Z_NODE_ARGS == 0) {
                block->u.op.next = node(Z_NULL);
                block = block->u.op.next;
            }
            block->u.op.args[i % Z_NODE_ARGS] = args[i];
        }
        return head;
    }
    std::vector<std::string> print(ZNode* n) {
        zhost_journal_clear(jnl_);
        ZORVPrintSubtree(&inst_, jnl_, n);
        std::vector<std::string> lines;
        for (size_t i = 0; i < zhost_journal_count(jnl_); ++i) {
            EXPECT_EQ(zhost_journal_level(jnl_, i), 0);
            lines.emplace_back(zhost_journal_text(jnl_, i));
        }
        return lines;
    }

    NQJournal* jnl_ = nullptr;
    ZInst inst_;
    std::deque<ZNode> nodes_;
    std::deque<std::u32string> texts_;
};

TEST_F(PrinterTest, DrawsOperandsAboveAndBelowWithBars) {
    ZNode* tree =
        op(Z_LAND, {op(Z_CEQ, {name("X"), number(1)}), op(Z_CGT, {name("Y", 8), text(U"ab")}),
                    op(Z_LNOT, {name("Z")}), nullptr});
    std::vector<std::string> expected = {
        "  -8                      /-NAME---(X)",
        "  -8            /-CEQ----|",
        "  -8           |          \\-LITN---(1)",
        "  -8  --LAND---|",
        "   8           |          /-NAME---(Y)",
        "  -8           |--CGT----|",
        "   8           |          \\-LITC---('ab' 6100000062000000)",
        "  -8           |          /-NAME---(Z)",
        "  -8           |--LNOT---|",
        "   0            \\-empty-",
    };
    EXPECT_EQ(print(tree), expected);
}

TEST_F(PrinterTest, SingleLinesForEmptyTreesAndLeaves) {
    EXPECT_EQ(print(nullptr), std::vector<std::string>{"   0  --empty-"});
    EXPECT_EQ(print(number(2.5)), std::vector<std::string>{"  -8  --LITN---(2.5)"});
    EXPECT_EQ(print(name("PRICE")), std::vector<std::string>{"  -8  --NAME---(PRICE)"});

    ZNode* fmt = node(Z_FMT);
    std::memcpy(fmt->u.fn.fname, "NUM", 3);
    fmt->u.fn.fnamelen = 3;
    fmt->u.fn.fmtw = 8;
    fmt->u.fn.fmtd = 2;
    EXPECT_EQ(print(fmt), std::vector<std::string>{"   0  --FMT----(NUM8.2)"});

    ZNode* func = node(Z_FUNC, 12);
    std::memcpy(func->u.fn.fname, "UPCASE", 6);
    func->u.fn.fnamelen = 6;
    EXPECT_EQ(print(func), std::vector<std::string>{"  12  --FUNC---(UPCASE())"});

    // Leaves without contents of their own show only their fields.
    EXPECT_EQ(print(node(Z_CLR)), std::vector<std::string>{"   0  --CLR----"});
}

TEST_F(PrinterTest, NumbersShowTheirDateAndTimeKind) {
    struct Case {
        uint32_t tag;
        const char* line;
    } cases[] = {
        {0, "  -8  --LITN---(7)"},      {1, "  -8  --LITN---(7 DATE)"},
        {2, "  -8  --LITN---(7 TIME)"}, {3, "  -8  --LITN---(7 DATETIME)"},
        {9, "  -8  --LITN---(7)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(print(number(7, c.tag)), std::vector<std::string>{c.line}) << c.tag;
    }
}

TEST_F(PrinterTest, TypeFieldUsesNamesThenNumbers) {
    struct Case {
        int type;
        const char* field;
    } cases[] = {
        {Z_LAND, "-LAND---"},
        {Z_ESC, "-ESC----"},
        {500, "-500----"},
        {99, "- 99----"},
        // A range marker shares its code with a node name; the name wins.
        {Z_CLT, "-CLT----"},
        {Z_CTGE, "-CTGE---"},
        {Z_APOS, "-APOS---"},
    };
    for (const Case& c : cases) {
        ZNode* n = op(c.type, {});
        std::vector<std::string> lines = print(n);
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0], std::string("  -8  -") + c.field + "|") << c.type;
    }
}

TEST_F(PrinterTest, LongCharacterConstantsAreCut) {
    auto hex_of = [](const std::u32string& s, size_t chars) {
        std::string out;
        char buf[3];
        const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
        for (size_t i = 0; i < chars * 4; ++i) {
            std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
            out += buf;
        }
        return out;
    };
    std::u32string s29(29, U'q'), s30(30, U'r'), s40(40, U's');
    EXPECT_EQ(print(text(s29))[0],
              " 116  --LITC---('" + std::string(29, 'q') + "' " + hex_of(s29, 29) + ")");
    EXPECT_EQ(print(text(s30))[0],
              " 120  --LITC---('" + std::string(30, 'r') + "'... " + hex_of(s30, 30) + "...)");
    EXPECT_EQ(print(text(s40))[0],
              " 160  --LITC---('" + std::string(30, 's') + "'... " + hex_of(s40, 30) + "...)");
}

TEST_F(PrinterTest, DepthCutStopsAtLevel25) {
    ZNode* tree = name("DEEP");
    for (int i = 0; i < 26; ++i) tree = op(Z_LNOT, {tree});
    std::vector<std::string> lines = print(tree);
    ASSERT_EQ(lines.size(), 26u);
    EXPECT_EQ(lines[0], "...overflow tree print...");
    // The deepest drawn operator sits at depth 24, column 241 of the prefix.
    EXPECT_EQ(lines[1], "  -8 " + std::string(241, ' ') + "/-LNOT---|");
    EXPECT_EQ(lines[25], "  -8  --LNOT---|");
    for (const std::string& line : lines) EXPECT_EQ(line.find("NAME"), std::string::npos);
}

TEST_F(PrinterTest, LinesAreCutAt500Characters) {
    ZNode* tree = text(std::u32string(29, U'x'));
    for (int i = 0; i < 24; ++i) tree = op(Z_LNOT, {tree});
    std::vector<std::string> lines = print(tree);
    ASSERT_EQ(lines.size(), 25u);
    EXPECT_EQ(lines[0].size(), 500u);
    EXPECT_EQ(lines[0].rfind(" 116 ", 0), 0u);
}

// Chain steps that fetching operands by index through the instance costs: ZORVGet walks
// the overflow chain from its head to the block of operand i.
long chain_steps = 0;
ZNode* counting_get(ZInst* inst, ZNode* node, int32_t i) {
    chain_steps += i / Z_NODE_ARGS + 1;
    return ZORVGet(inst, node, i);
}

// Operands past the first fifteen come from the overflow blocks, in one walk.
TEST_F(PrinterTest, ALongOperandListIsWalkedOnce) {
    // 200 overflow blocks: by index, the walk would take some 300,000 chain steps.
    const int n = 3000;
    std::vector<ZNode*> args;
    for (int i = 0; i < n; ++i) args.push_back(number(i));
    args[n - 2] = nullptr;
    inst_.Get = counting_get;
    chain_steps = 0;
    std::vector<std::string> lines = print(op(Z_LOR, args));
    EXPECT_LE(chain_steps, n);
    ASSERT_EQ(lines.size(), static_cast<size_t>(n + 1));
    EXPECT_EQ(lines[0], "  -8            /-LITN---(0)");
    EXPECT_EQ(lines[1], "  -8  --LOR----|");
    EXPECT_EQ(lines[16], "  -8           |--LITN---(15)");
    EXPECT_EQ(lines[n - 1], "   0           |--empty-");
    EXPECT_EQ(lines[n], "  -8            \\-LITN---(2999)");
}

TEST_F(PrinterTest, NullTargetPrintsNothingAndWholeTreeComesFromRoot) {
    inst_.root = number(3);
    ZORVPrint(&inst_, nullptr);
    EXPECT_EQ(zhost_journal_count(jnl_), 0u);
    ZORVPrint(&inst_, jnl_);
    ASSERT_EQ(zhost_journal_count(jnl_), 1u);
    EXPECT_STREQ(zhost_journal_text(jnl_, 0), "  -8  --LITN---(3)");
}

}  // namespace

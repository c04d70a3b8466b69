// Starts the system the way a host does: a kernel of our host runtime, a capturing message
// target, the extension record from the library's entry, and instances made through it.
// Shared by the test that loads libzorv.so by name and the one linked to its objects.
#ifndef ZORV_TESTS_FRAME_FRAME_FIXTURE_H
#define ZORV_TESTS_FRAME_FRAME_FIXTURE_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "zorv/host.h"
#include "zorv/zorv.h"

namespace frametest {

class Host : public ::testing::Test {
  protected:
    void SetUp() override {
        kernel_ = zhost_open_kernel(nullptr);
        ASSERT_NE(kernel_, nullptr);
        jnl_ = zhost_open_capture_journal();
        ASSERT_NE(jnl_, nullptr);
        baseline_ = zhost_live_count(kernel_);
    }

    void TearDown() override {
        for (ZInst* inst : instances_) inst->Destroy(inst);
        if (ext_) ext_->RealDestroy(ext_);
        if (kernel_) {
            EXPECT_EQ(zhost_live_count(kernel_), baseline_) << "objects left behind";
            zhost_close_kernel(kernel_);
        }
        if (jnl_) zhost_close_journal(jnl_);
    }

    // The extension record, as the host gets it; null when the entry gives up.
    virtual ZExt* load(NQJournal* jnl) {
        return static_cast<ZExt*>(kernel_->LoadExtension(kernel_, U"zorv", 4, jnl));
    }

    // The fixture's own extension record, made once.
    ZExt* ext() {
        if (!ext_) ext_ = load(jnl_);
        return ext_;
    }

    // An instance that TearDown destroys, unless the test does it first with destroy().
    ZInst* create(uintptr_t bits = 0, const char* name = nullptr, uintptr_t collator = 0) {
        const uintptr_t options[2] = {bits, collator};
        ZExt* x = ext();
        if (!x) return nullptr;
        ZInst* inst = x->Create(x, options, jnl_, name);
        if (inst) instances_.push_back(inst);
        return inst;
    }

    void destroy(ZInst* inst) {
        std::erase(instances_, inst);
        EXPECT_EQ(inst->Destroy(inst), 0);
    }

    long live() const { return zhost_live_count(kernel_); }

    std::vector<std::string> messages(int level) const {
        std::vector<std::string> out;
        for (size_t i = 0; i < zhost_journal_count(jnl_); ++i)
            if (zhost_journal_level(jnl_, i) == level)
                out.emplace_back(zhost_journal_text(jnl_, i));
        return out;
    }

    NQKernel* kernel_ = nullptr;
    NQJournal* jnl_ = nullptr;
    long baseline_ = 0;
    ZExt* ext_ = nullptr;
    std::vector<ZInst*> instances_;
};

}  // namespace frametest

#endif

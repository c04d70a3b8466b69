/* The membership index of one set: its constant elements in a hash table keyed so that the
 * constants yowccmp calls equal (mode 1) share a key, and its ranges in a list. The table's
 * own equality test is yowccmp itself, so the answers are PointInSet's. */
#include "tran/setindex.h"

#include <cstring>

#include "tran/passutil.h"

using namespace tranutil;

namespace {

/* Sets shorter than this are searched directly. */
constexpr int32_t kIndexFrom = 32;

uint64_t mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h;
}

/* Equal under yowccmp mode 1 implies equal keys: a missing value by its rank (its low bits
 * do not count), a number by its value (0 and -0 alike), characters without their trailing
 * blanks (comparison pads with blanks). */
uint64_t key_of(const ZNode* c) {
    if (c->type == Z_LITN) {
        double v = c->u.litn.num;
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        if ((bits >> 48) == 0xFFFF) {
            const uint32_t r = (256 - static_cast<uint32_t>((bits >> 40) & 0xFF)) % 256;
            return mix(0x1000 + (r >= 1 && r <= 28 ? r : 2));
        }
        if (v == 0) v = 0;  // -0 and +0 are one value
        std::memcpy(&bits, &v, sizeof bits);
        return mix(bits);
    }
    int32_t n = c->u.litc.slen / 4;
    const NQWChar* s = c->u.litc.str;
    while (n > 0 && s[n - 1] == U' ') --n;
    uint64_t h = 0x9e3779b97f4a7c15ULL;
    for (int32_t i = 0; i < n; ++i) h = mix(h ^ s[i]);
    return mix(h ^ 3);
}

}  // namespace

void SetIndex::release() {
    if (table_) inst_->pool->Free(inst_->pool, table_);
    if (ranges_) inst_->pool->Free(inst_->pool, ranges_);
    table_ = nullptr;
    ranges_ = nullptr;
    capacity_ = used_ = nranges_ = rangecap_ = 0;
}

void SetIndex::forget() {
    set_ = nullptr;
    block_ = nullptr;
    count_ = 0;
    broken_ = false;
    release();  // free at once: a forgotten index may never be wanted again
}

bool SetIndex::grow() {
    const uint32_t cap = capacity_ ? capacity_ * 2 : 64;
    ZNode** fresh = static_cast<ZNode**>(inst_->pool->Alloc(inst_->pool, cap * sizeof(ZNode*), 0));
    if (!fresh) return false;
    std::memset(fresh, 0, cap * sizeof *fresh);
    ZNode** old = table_;
    const uint32_t oldcap = capacity_;
    table_ = fresh;
    capacity_ = cap;
    used_ = 0;
    for (uint32_t i = 0; i < oldcap; ++i)
        if (old[i]) insert(old[i]);
    if (old) inst_->pool->Free(inst_->pool, old);
    return true;
}

bool SetIndex::insert(ZNode* constant) {
    if ((used_ + 1) * 2 > capacity_ && !grow()) return false;
    uint32_t i = static_cast<uint32_t>(key_of(constant)) & (capacity_ - 1);
    while (table_[i]) i = (i + 1) & (capacity_ - 1);
    table_[i] = constant;
    ++used_;
    return true;
}

bool SetIndex::add(ZNode* e) {
    if (!e) return true;
    if (is_const(e)) return insert(e);
    if (!is_range(e)) return true;  // PointInSet looks at nothing else
    if (nranges_ == rangecap_) {
        const uint32_t cap = rangecap_ ? rangecap_ * 2 : 16;
        ZNode** fresh =
            static_cast<ZNode**>(inst_->pool->Alloc(inst_->pool, cap * sizeof(ZNode*), 0));
        if (!fresh) return false;
        if (ranges_) {
            std::memcpy(fresh, ranges_, nranges_ * sizeof *fresh);
            inst_->pool->Free(inst_->pool, ranges_);
        }
        ranges_ = fresh;
        rangecap_ = cap;
    }
    ranges_[nranges_++] = e;
    return true;
}

/* Brings the index up to the set's current elements; false when it cannot be used. */
bool SetIndex::sync(ZNode* set) {
    if (set != set_ || set->u.op.nargs < count_) {
        forget();
        set_ = set;
        block_ = set;
    }
    if (broken_) return false;
    const int32_t n = set->u.op.nargs;
    for (; count_ < n; ++count_) {
        if (count_ > 0 && count_ % Z_NODE_ARGS == 0) block_ = block_->u.op.next;
        if (!add(block_->u.op.args[count_ % Z_NODE_ARGS])) {
            broken_ = true;
            return false;
        }
    }
    return true;
}

bool SetIndex::contains(ZNode* point, ZNode* set) {
    if (set->u.op.nargs < kIndexFrom || !is_const(point) || !sync(set))
        return PointInSet(point, set) != 0;
    if (capacity_ > 0) {
        for (uint32_t i = static_cast<uint32_t>(key_of(point)) & (capacity_ - 1); table_[i];
             i = (i + 1) & (capacity_ - 1))
            if (yowccmp(point, table_[i], 1, 0) == kCmpEqual) return true;
    }
    for (uint32_t k = 0; k < nranges_; ++k)
        if (PointInRange_YN(point, ranges_[k])) return true;
    return false;
}

/* The partner index of one AND/OR: its operands grouped by the column they test, each group's
 * constants ranked, and each kind of operand in a bucket whose min/max tree finds the next
 * operand (in slot order) whose constant stands in a given relation to a rank. Operands that
 * have had their turn are kept apart in a short list and offered in full, since their state
 * may have changed since the index was built. */
#include "tran/partners.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "frame/nodeutil.h"
#include "tran/passutil.h"

using namespace tranutil;

namespace tranmerge {

namespace {

constexpr int32_t kDup = -1;   /* another predicate against a constant: merges with duplicates */
constexpr int32_t kInert = -2; /* merges with nothing */

/* The kind of constant: -1 text, else the literal kind of a number (strict comparisons never
 * compare numbers of different kinds). */
int64_t class_of(const ZNode* c) {
    return c->type == Z_LITC ? -1 : static_cast<int64_t>(c->u.litn.tag);
}

bool unordered_number(const ZNode* c) {
    if (c->type != Z_LITN) return false;
    uint64_t bits;
    std::memcpy(&bits, &c->u.litn.num, sizeof bits);
    return (bits >> 48) != 0xFFFF && c->u.litn.num != c->u.litn.num;
}

/* A key of the column a leaf names: equal for the leaves yowncmp calls the same column (NAME
 * leaves by their name bytes, SYM leaves by their symbol word). Two different columns may
 * share a key; they then share a group, and since every pair offered is still checked with
 * yowncmp, that costs only time. */
uint64_t column_key(const ZNode* col) {
    uint64_t h = 0xcbf29ce484222325ULL ^ col->type;
    auto mix = [&h](uint64_t byte) { h = (h ^ byte) * 0x100000001b3ULL; };
    if (col->type == Z_SYM) {
        const auto word = static_cast<uint32_t>(col->u.op.nargs);
        for (int k = 0; k < 4; ++k) mix((word >> (8 * k)) & 0xFF);
        return h;
    }
    const int32_t n = std::clamp<int32_t>(col->u.nm.namelen, 0, sizeof col->u.nm.name);
    mix(static_cast<uint64_t>(n));
    for (int32_t k = 0; k < n; ++k) mix(static_cast<unsigned char>(col->u.nm.name[k]));
    return h;
}

/* Sort keys of the index's entries (by column, by bucket), and the items by which the
 * constants of one group are ranked; both live in one scratch array. */
struct Key {
    uint64_t hi, lo; /* column key; or group, kind and type, then constant class */
    int32_t mid;     /* the constant's rank, for the other predicates' buckets */
    int32_t entry;
};
struct Item {
    double value;
    int64_t cls;
    int32_t mrank; /* 1..28 a missing value, 29 a number */
    int32_t entry;
};
static_assert(sizeof(Item) <= sizeof(Key));

bool fits(int32_t mn, int32_t mx, Cond c, int32_t v) {
    switch (c) {
        case Cond::kGe:
            return mx >= v;
        case Cond::kLe:
            return mn <= v;
        case Cond::kEq:
            return mn <= v && v <= mx;
        default:
            return mn <= mx;  // a live leaf below
    }
}

}  // namespace

struct PartnerIndex::Entry {
    ZNode** ref;
    const ZNode* cst; /* the constant side, while known */
    int64_t cls;
    int32_t slot;
    int32_t group;
    int32_t kind; /* Z_IN, Z_NIN (over a set), CEQ..CGE (against a constant), kDup, kInert */
    int32_t type;
    int32_t rank;   /* of cst within its group and class; -1 unknown */
    int32_t bucket; /* -1 when in none */
    int32_t bidx;
    int32_t prev, next; /* the group's list of operands that have had their turn */
    bool listed;
    bool in_tree;
};

struct PartnerIndex::Bucket {
    int32_t first, count; /* members_[first .. first + count), in slot order */
    int32_t size;         /* leaves of the tree, a power of two */
    int32_t tree;         /* minima at tree_[tree ..], maxima at tree_[tree + 2 * size ..] */
    int32_t kind;
    int64_t cls;
};

struct PartnerIndex::Group {
    int32_t first, count;   /* gorder_[first .. first + count): its entries, in slot order */
    int32_t bfirst, bcount; /* its buckets of IN/NIN and comparisons */
    int32_t head, tail;
    bool plain; /* constants without a consistent order: every pair is offered */
};

PartnerIndex::PartnerIndex(ZNode* node, ZInst* inst, bool is_and, bool wanted)
    : inst_(inst), is_and_(is_and) {
    if (wanted) ok_ = build(node);
}

PartnerIndex::~PartnerIndex() {
    for (void* p : memory_)
        if (p) inst_->pool->Free(inst_->pool, p);
}

int32_t PartnerIndex::kind_of(const ZNode* x, const ZNode** constant) const {
    *constant = nullptr;
    if (!x || zkind::is_leaf(x->type)) return kInert;
    const ZNode* side = arg(x, 1);
    if ((x->type == Z_IN || x->type == Z_NIN) && is_set(side)) return x->type;
    if (!is_const(side)) return kInert;
    *constant = side;
    return zkind::is_comparison(x->type) ? x->type : kDup;
}

bool PartnerIndex::build(ZNode* node) {
    const int32_t n = node->u.op.nargs;
    nslots_ = n;
    auto take = [&](int k, uint64_t count, size_t size) -> void* {
        const uint64_t bytes = std::max<uint64_t>(count, 1) * size;
        if (bytes > UINT32_MAX) return nullptr;
        memory_[k] = inst_->pool->Alloc(inst_->pool, static_cast<uint32_t>(bytes), 0);
        return memory_[k];
    };
    where_ = static_cast<int32_t*>(take(0, static_cast<uint64_t>(n), sizeof(int32_t)));
    entries_ = static_cast<Entry*>(take(1, static_cast<uint64_t>(n), sizeof(Entry)));
    members_ = static_cast<int32_t*>(take(2, static_cast<uint64_t>(n), sizeof(int32_t)));
    Key* keys = static_cast<Key*>(take(3, static_cast<uint64_t>(n), sizeof(Key)));
    if (!where_ || !entries_ || !members_ || !keys) return false;
    auto by_key = [](const Key& a, const Key& b) {
        if (a.hi != b.hi) return a.hi < b.hi;
        if (a.lo != b.lo) return a.lo < b.lo;
        if (a.mid != b.mid) return a.mid < b.mid;
        return a.entry < b.entry;
    };

    // Entries in slot order, for the operands that test a column.
    int32_t m = 0;
    int32_t j = 0;
    for (ArgCursor cur(node); !cur.done(); cur.next(), ++j) {
        where_[j] = -1;
        ZNode* x = cur.get();
        const ZNode* col = x && zkind::is_operator(x->type) ? arg(x, 0) : nullptr;
        if (!col || (col->type != Z_NAME && col->type != Z_SYM)) continue;
        where_[j] = m;
        Entry& e = entries_[m];
        e = Entry{};
        e.ref = &cur.slot();
        e.slot = j;
        e.type = x->type;
        e.kind = kind_of(x, &e.cst);
        e.cls = e.cst ? class_of(e.cst) : 0;
        e.rank = -1;
        e.bucket = -1;
        e.prev = e.next = -1;
        keys[m] = Key{column_key(col), 0, 0, m};
        ++m;
    }
    nentries_ = m;
    if (m == 0) return true;

    // Groups: the entries of one column, in slot order, listed in members_ for now.
    std::sort(keys, keys + m, by_key);
    if (!take(4, static_cast<uint64_t>(m), sizeof(Group))) return false;
    groups_ = static_cast<Group*>(memory_[4]);
    int32_t* byslot = members_;
    for (int32_t k = 0; k < m; ++k) byslot[k] = keys[k].entry;
    for (int32_t k = 0; k < m;) {
        int32_t end = k + 1;
        while (end < m && keys[end].hi == keys[k].hi) ++end;
        groups_[ngroups_] = Group{k, end - k, 0, 0, -1, -1, false};
        for (int32_t q = k; q < end; ++q) entries_[byslot[q]].group = ngroups_;
        ++ngroups_;
        k = end;
    }
    // Group members stay listed (by slot) for the scans that offer every pair.
    gorder_ = static_cast<int32_t*>(take(5, static_cast<uint64_t>(m), sizeof(int32_t)));
    if (!gorder_) return false;
    std::memcpy(gorder_, byslot, static_cast<size_t>(m) * sizeof(int32_t));
    for (int32_t g = 0; g < ngroups_; ++g) groups_[g].plain = !rank_group(g, keys);

    // Buckets: per group the IN, NIN and comparison kinds (by constant class), then the
    // other predicates by type, class and rank of their constant; members in slot order.
    int32_t nb = 0;
    for (int32_t k = 0; k < m; ++k) {
        const Entry& e = entries_[k];
        if (e.kind == kInert || groups_[e.group].plain) continue;
        const bool dup = e.kind == kDup;
        const uint64_t hi = (static_cast<uint64_t>(e.group) << 32) |
                            (static_cast<uint64_t>(dup) << 31) | static_cast<uint32_t>(e.type);
        keys[nb++] = Key{hi, static_cast<uint64_t>(e.cls + 1), dup ? e.rank : 0, k};
    }
    std::sort(keys, keys + nb, by_key);
    if (!take(6, static_cast<uint64_t>(nb), sizeof(Bucket))) return false;
    buckets_ = static_cast<Bucket*>(memory_[6]);
    int64_t tree_ints = 0;
    for (int32_t k = 0; k < nb;) {
        int32_t end = k + 1;
        while (end < nb && keys[end].hi == keys[k].hi && keys[end].lo == keys[k].lo &&
               keys[end].mid == keys[k].mid)
            ++end;
        const Entry& head = entries_[keys[k].entry];
        int32_t size = 1;
        while (size < end - k) size *= 2;
        buckets_[nbuckets_] =
            Bucket{k, end - k, size, static_cast<int32_t>(tree_ints), head.kind, head.cls};
        tree_ints += 4 * static_cast<int64_t>(size);
        Group& g = groups_[head.group];
        if (head.kind != kDup) {
            if (g.bcount == 0) g.bfirst = nbuckets_;
            ++g.bcount;
        }
        for (int32_t q = k; q < end; ++q) {
            Entry& e = entries_[keys[q].entry];
            members_[q] = keys[q].entry;
            e.bucket = nbuckets_;
            e.bidx = q - k;
            e.in_tree = true;
        }
        ++nbuckets_;
        k = end;
    }
    if (tree_ints > INT32_MAX) return false;
    tree_ = static_cast<int32_t*>(take(7, static_cast<uint64_t>(tree_ints), sizeof(int32_t)));
    if (!tree_) return false;
    for (int32_t k = 0; k < nbuckets_; ++k) {
        const Bucket& b = buckets_[k];
        int32_t* mn = tree_ + b.tree;
        int32_t* mx = mn + 2 * b.size;
        for (int32_t q = 0; q < b.size; ++q) {
            const bool live = q < b.count;
            const int32_t r = live ? std::max(entries_[members_[b.first + q]].rank, 0) : 0;
            mn[b.size + q] = live ? r : INT32_MAX;
            mx[b.size + q] = live ? r : INT32_MIN;
        }
        for (int32_t q = b.size - 1; q >= 1; --q) {
            mn[q] = std::min(mn[2 * q], mn[2 * q + 1]);
            mx[q] = std::max(mx[2 * q], mx[2 * q + 1]);
        }
    }
    return true;
}

/* Ranks the constants of group gi in the order of yowccmp (strict), equal constants sharing
 * a rank, within each class; `scratch` has room for the group's entries. Numbers are sorted
 * by their missing rank and value, which is that order; every neighbour is then checked with
 * yowccmp itself. False when the constants have no consistent order. */
bool PartnerIndex::rank_group(int32_t gi, void* scratch) {
    const Group& g = groups_[gi];
    Item* items = static_cast<Item*>(scratch);
    int32_t k = 0;
    for (int32_t q = g.first; q < g.first + g.count; ++q) {
        const Entry& e = entries_[gorder_[q]];
        if (!e.cst) continue;
        if (unordered_number(e.cst)) return false;
        Item it{0, e.cls, 0, gorder_[q]};
        if (e.cst->type == Z_LITN) {
            const double v = e.cst->u.litn.num;
            const int32_t r = missing_rank(v);
            it.mrank = r ? r : 29;
            it.value = r ? 0 : v;
        }
        items[k++] = it;
    }
    std::sort(items, items + k, [this](const Item& a, const Item& b) {
        if (a.cls != b.cls) return a.cls < b.cls;
        if (a.cls >= 0) {
            if (a.mrank != b.mrank) return a.mrank < b.mrank;
            return a.value < b.value;
        }
        return yowccmp(entries_[a.entry].cst, entries_[b.entry].cst, 2, 1) == kCmpLess;
    });
    int32_t rank = 0;
    for (int32_t q = 0; q < k; ++q) {
        Entry& e = entries_[items[q].entry];
        if (q > 0) {
            const Entry& p = entries_[items[q - 1].entry];
            if (p.cls != e.cls) {
                rank = 0;
            } else {
                const int32_t up = yowccmp(p.cst, e.cst, 2, 1);
                const int32_t down = yowccmp(e.cst, p.cst, 2, 1);
                if (up == kCmpLess && down == kCmpGreater)
                    ++rank;
                else if (up != kCmpEqual || down != kCmpEqual)
                    return false;
            }
        }
        e.rank = rank;
    }
    return true;
}

/* The first member of bucket b after slot `after` whose rank passes (c, v), or -1. */
int32_t PartnerIndex::find(const Bucket& b, int32_t after, Cond c, int32_t v) const {
    const int32_t* list = members_ + b.first;
    const int32_t start = static_cast<int32_t>(
        std::upper_bound(list, list + b.count, after,
                         [this](int32_t s, int32_t e) { return s < entries_[e].slot; }) -
        list);
    if (start >= b.count) return -1;
    const int32_t* mn = tree_ + b.tree;
    const int32_t* mx = mn + 2 * b.size;
    // Depth-first over the tree, left to right, pruning subtrees before `start` and those
    // whose range of ranks cannot pass.
    struct Frame {
        int32_t node, lo, hi;
    } stack[64];
    int32_t top = 0;
    stack[top++] = {1, 0, b.size - 1};
    while (top > 0) {
        const Frame f = stack[--top];
        if (f.hi < start || !fits(mn[f.node], mx[f.node], c, v)) continue;
        if (f.lo == f.hi) return list[f.lo];
        const int32_t mid = (f.lo + f.hi) / 2;
        stack[top++] = {2 * f.node + 1, mid + 1, f.hi};
        stack[top++] = {2 * f.node, f.lo, mid};
    }
    return -1;
}

void PartnerIndex::unlink(int32_t k) {
    Entry& e = entries_[k];
    if (!e.listed) return;
    Group& g = groups_[e.group];
    if (e.prev >= 0)
        entries_[e.prev].next = e.next;
    else
        g.head = e.next;
    if (e.next >= 0)
        entries_[e.next].prev = e.prev;
    else
        g.tail = e.prev;
    e.listed = false;
}

/* Takes an operand out of every search: it is gone, or it is having its turn. */
void PartnerIndex::kill(int32_t k) {
    Entry& e = entries_[k];
    unlink(k);
    if (!e.in_tree) return;
    e.in_tree = false;
    const Bucket& b = buckets_[e.bucket];
    int32_t* mn = tree_ + b.tree;
    int32_t* mx = mn + 2 * b.size;
    int32_t q = b.size + e.bidx;
    mn[q] = INT32_MAX;
    mx[q] = INT32_MIN;
    for (q /= 2; q >= 1; q /= 2) {
        mn[q] = std::min(mn[2 * q], mn[2 * q + 1]);
        mx[q] = std::max(mx[2 * q], mx[2 * q + 1]);
    }
}

/* Offers the operand of entry k; false when the visit fixed the node's value. */
bool PartnerIndex::offer(int32_t k, VisitFn visit, void* ctx) {
    ZNode*& slot = *entries_[k].ref;
    if (!slot) return true;
    if (!visit(ctx, slot)) return false;
    if (!slot) kill(k);
    return true;
}

/* Offers every operand of group g after slot `after`, except entry e's own. */
bool PartnerIndex::literal_scan(int32_t gi, int32_t e, int32_t after, VisitFn visit, void* ctx) {
    const Group& g = groups_[gi];
    for (int32_t q = g.first; q < g.first + g.count; ++q) {
        const int32_t k = gorder_[q];
        if (k != e && entries_[k].slot > after && !offer(k, visit, ctx)) return false;
    }
    return true;
}

bool PartnerIndex::partners(int32_t i, VisitFn visit, void* ctx) {
    const int32_t e = where_[i];
    if (e < 0) return true;
    Entry& me = entries_[e];
    Group& g = groups_[me.group];
    if (g.plain) return literal_scan(me.group, e, -1, visit, ctx);
    if (me.kind == kInert) return true;
    if (me.kind == kDup) {
        // Only its duplicates merge with it, and it stays as it is.
        const Bucket& b = buckets_[me.bucket];
        for (int32_t q = 0; q < b.count; ++q) {
            const int32_t k = members_[b.first + q];
            if (k != e && entries_[k].in_tree && !offer(k, visit, ctx)) return false;
        }
        return true;
    }

    kill(e);
    // The constant of the operand in slot i and its rank, followed through the merges: a
    // merge keeps the operand's constant or gives it the partner's.
    const ZNode* known = me.cst;
    int32_t rank = me.rank;
    auto learn = [&](int32_t k) {
        const ZNode* c;
        kind_of(*me.ref, &c);
        if (c == known) return;
        known = c && c == entries_[k].cst ? c : nullptr;
        rank = known ? entries_[k].rank : -1;
    };
    // The operands that have had their turn, in slot order (all before slot i).
    for (int32_t k = g.head; k >= 0;) {
        const int32_t next = entries_[k].next;
        if (!offer(k, visit, ctx)) return false;
        learn(k);
        k = next;
    }
    for (int32_t after = i;;) {
        const ZNode* c;
        const int32_t kind = kind_of(*me.ref, &c);
        if (kind == kDup || kind == kInert || (c && (c != known || rank < 0))) {
            // A state the index cannot place (not expected): offer all the rest.
            if (!literal_scan(me.group, e, after, visit, ctx)) return false;
            known = nullptr;
            break;
        }
        const int64_t cls = c ? class_of(c) : 0;
        int32_t best = -1;
        for (int32_t bi = g.bfirst; bi < g.bfirst + g.bcount; ++bi) {
            const Bucket& b = buckets_[bi];
            Cond cond = partner_cond(is_and_, kind, b.kind);
            if (cond == Cond::kNever) continue;
            if (cond != Cond::kAny && b.cls != cls) continue;
            if (cond == Cond::kSame) cond = Cond::kAny;
            const int32_t k = find(b, after, cond, rank);
            if (k >= 0 && (best < 0 || entries_[k].slot < entries_[best].slot)) best = k;
        }
        if (best < 0) break;
        if (!offer(best, visit, ctx)) return false;
        learn(best);
        after = entries_[best].slot;
    }
    // Its turn is over: it joins the list with its state as it is now.
    if (*me.ref) {
        kind_of(*me.ref, &me.cst);
        me.rank = me.cst && me.cst == known ? rank : -1;
        me.cls = me.cst ? class_of(me.cst) : 0;
        me.listed = true;
        me.prev = g.tail;
        me.next = -1;
        if (g.tail >= 0)
            entries_[g.tail].next = e;
        else
            g.head = e;
        g.tail = e;
    }
    return true;
}

}  // namespace tranmerge

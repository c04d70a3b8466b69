/* Byte and 4-byte-unit primitives: lengths, copies, fills, comparisons, scans and
 * duplication. Copies take the source first. Counts are units and never negative; only
 * pvMemDup allocates, and nothing keeps state. */
#include <cstdint>

#include "zorv/support.h"

namespace {

using Byte = unsigned char;

/* Plain loops rather than library calls: pvMemCpy's contract is a forward byte copy,
 * which differs from memcpy/memmove when the areas overlap. */
void copy_forward(const Byte* s, Byte* d, int32_t n) {
    for (int32_t i = 0; i < n; i++) d[i] = s[i];
}

const uint32_t* units(const void* p) {
    return static_cast<const uint32_t*>(p);
}

}  // namespace

int32_t pvStrLen(const char* s) {
    if (s == nullptr) return 0;
    int32_t n = 0;
    while (s[n] != 0) n++;
    return n;
}

int32_t pvStrTLen(const NQWChar* s) {
    if (s == nullptr) return 0;
    int32_t n = 0;
    while (s[n] != 0) n++;
    return n;
}

/* Copies through the terminating 0; a null source leaves an empty string. */
void pvStrCpy(const char* s, char* d) {
    if (d == nullptr) return;
    if (s == nullptr) {
        *d = 0;
        return;
    }
    int32_t i = 0;
    while ((d[i] = s[i]) != 0) i++;
}

void pvStrTCpy(const NQWChar* s, NQWChar* d) {
    if (d == nullptr) return;
    if (s == nullptr) {
        *d = 0;
        return;
    }
    int32_t i = 0;
    while ((d[i] = s[i]) != 0) i++;
}

/* ASCII only: bytes of a multi-byte encoding are left alone. */
void pvStrUp(char* p, int32_t n) {
    for (int32_t i = 0; i < n; i++)
        if (p[i] >= 'a' && p[i] <= 'z') p[i] = static_cast<char>(p[i] - 'a' + 'A');
}

/* 1 when all n bytes equal c's low byte; an empty area qualifies. */
int pvMemNot(int c, const void* p, int32_t n) {
    const Byte* b = static_cast<const Byte*>(p);
    const Byte v = static_cast<Byte>(c);
    for (int32_t i = 0; i < n; i++)
        if (b[i] != v) return 0;
    return 1;
}

/* The evaluator's blank test (c = U+0020): an empty value counts as all blanks. */
int pvMemTNot(uint32_t c, const void* p, int32_t n) {
    const uint32_t* u = units(p);
    for (int32_t i = 0; i < n; i++)
        if (u[i] != c) return 0;
    return 1;
}

void pvMemSet(void* p, int c, int32_t n) {
    Byte* b = static_cast<Byte*>(p);
    const Byte v = static_cast<Byte>(c);
    for (int32_t i = 0; i < n; i++) b[i] = v;
}

void pvMemTSet(void* p, uint32_t c, int32_t n) {
    uint32_t* u = static_cast<uint32_t*>(p);
    for (int32_t i = 0; i < n; i++) u[i] = c;
}

/* Bytes compare unsigned; the result is only ever -1, 0 or 1. */
int pvMemCmp(const void* a, const void* b, int32_t n) {
    const Byte* x = static_cast<const Byte*>(a);
    const Byte* y = static_cast<const Byte*>(b);
    for (int32_t i = 0; i < n; i++)
        if (x[i] != y[i]) return x[i] > y[i] ? 1 : -1;
    return 0;
}

/* At the first differing unit, the sign of the 32-bit difference a - b. The difference
 * wraps, so units more than 2^31 apart order by the wrapped sign; characters never are. */
int pvWMemCmp(const void* a, const void* b, int32_t n) {
    const uint32_t* x = units(a);
    const uint32_t* y = units(b);
    for (int32_t i = 0; i < n; i++)
        if (x[i] != y[i]) return static_cast<int32_t>(x[i] - y[i]) > 0 ? 1 : -1;
    return 0;
}

void pvMemCpy(const void* s, void* d, int32_t n) {
    copy_forward(static_cast<const Byte*>(s), static_cast<Byte*>(d), n);
}

/* Copies as memmove would. Only a destination starting inside the source needs care:
 * with d the distance and v the overlap, the tail that lands beyond the source moves
 * first, then the middle from the top down, then the head. */
void pvMemSCpy(const void* s, void* d, int32_t n) {
    const Byte* src = static_cast<const Byte*>(s);
    Byte* dst = static_cast<Byte*>(d);
    const uintptr_t sa = reinterpret_cast<uintptr_t>(src);
    const uintptr_t da = reinterpret_cast<uintptr_t>(dst);
    if (n <= 0 || da <= sa || da >= sa + static_cast<uintptr_t>(n)) {
        copy_forward(src, dst, n);
        return;
    }
    const int32_t dist = static_cast<int32_t>(da - sa);
    const int32_t overlap = n - dist;
    if (dist >= overlap) {
        /* The last v bytes land wholly beyond the source; the head then overwrites
         * only bytes already moved. */
        copy_forward(src + dist, dst + dist, overlap);
        copy_forward(src, dst, dist);
        return;
    }
    copy_forward(src + n - dist, dst + n - dist, dist);
    for (int32_t i = n - dist - 1; i >= dist; i--) dst[i] = src[i];
    copy_forward(src, dst, dist);
}

/* A pool copy of n bytes; null for a null pool or p, an empty area, or a full pool. */
void* pvMemDup(const void* p, int32_t n, NQPool* pool) {
    if (pool == nullptr || p == nullptr || n <= 0) return nullptr;
    void* q = pool->Alloc(pool, static_cast<uint32_t>(n), 0);
    if (q != nullptr) copy_forward(static_cast<const Byte*>(p), static_cast<Byte*>(q), n);
    return q;
}

int32_t pvMemScan(const void* p, int32_t n, int c) {
    if (p == nullptr) return -1;
    const Byte* b = static_cast<const Byte*>(p);
    const Byte v = static_cast<Byte>(c);
    for (int32_t i = 0; i < n; i++)
        if (b[i] == v) return i;
    return -1;
}

int32_t pvMemNScan(const void* p, int32_t n, int c) {
    if (p == nullptr) return -1;
    const Byte* b = static_cast<const Byte*>(p);
    const Byte v = static_cast<Byte>(c);
    for (int32_t i = 0; i < n; i++)
        if (b[i] != v) return i;
    return -1;
}

int32_t pvMemTNScan(const void* p, int32_t n, uint32_t c) {
    if (p == nullptr) return -1;
    const uint32_t* u = units(p);
    for (int32_t i = 0; i < n; i++)
        if (u[i] != c) return i;
    return -1;
}

/* The NLS service: whether wide clause text needs transcoding to the host's 8-bit
 * encoding, the UTF-32 to UTF-8 transcoder, and the "en_US" locale that reads decimal
 * numbers. Number reading is exact and independent of the process locale. */
#include <locale.h>
#include <stdlib.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "host/kernel/kernel_impl.h"
#include "host/kernel/text.h"

namespace zhost {
namespace {

struct TranscoderImpl : NQTranscoder {
    HostLink link;
};

struct LocaleImpl : NQLocale {
    HostLink link;
};

KernelImpl& kernel_of(NQNls* n) {
    return *impl(static_cast<NQKernel*>(n->hdr.owner));
}

uint8_t needs_transcoder(NQNls* n, int32_t from, int32_t to) {
    if (!n || from == to) return 0;
    return kernel_of(n).needs_transcoder.load() ? 1 : 0;
}

/* Writes whole characters only: one that does not fit ends the output, and the status
 * says the text was cut. A trailing partial unit of the source is ignored. */
NQStatus transcode(NQTranscoder*, const void* src, int32_t srcbytes, void* dst, int32_t capacity,
                   int32_t* written, int32_t) {
    if (written) *written = 0;
    if (srcbytes < 0 || capacity < 0) return NQ_STATUS_BAD_ARGUMENT;
    if ((srcbytes >= 4 && !src) || (capacity > 0 && !dst)) return NQ_STATUS_BAD_ARGUMENT;
    const unsigned char* in = static_cast<const unsigned char*>(src);
    char* out = static_cast<char*>(dst);
    int32_t n = 0;
    for (int32_t i = 0; i + 4 <= srcbytes; i += 4) {
        char32_t c;
        std::memcpy(&c, in + i, sizeof c);
        char bytes[4];
        int len = utf8_encode(c, bytes);
        if (len > capacity - n) {
            if (written) *written = n;
            return NQ_STATUS_TRUNCATED;
        }
        std::memcpy(out + n, bytes, len);
        n += len;
    }
    if (written) *written = n;
    return NQ_OK;
}

void transcoder_dispose(void* self) {
    TranscoderImpl* t = static_cast<TranscoderImpl*>(static_cast<NQTranscoder*>(self));
    untrack_object(t->link);
    delete t;
}

void transcoder_destroy(NQTranscoder* t) {
    if (t) transcoder_dispose(t);
}

NQTranscoder* create_transcoder(NQNls* n, int32_t to, int32_t, NQJournal*) {
    if (!n || to != NQ_ENCODING_BYTES) return nullptr;
    KernelImpl& k = kernel_of(n);
    if (should_fail(k, ZHOST_CREATE_TRANSCODER)) return nullptr;
    TranscoderImpl* t =
        new_object<NQTranscoder, TranscoderImpl>(k, KIND_TRANSCODER, transcoder_dispose);
    if (!t) return nullptr;
    t->Transcode = transcode;
    t->Destroy = transcoder_destroy;
    return t;
}

bool is_digit(NQWChar c) {
    return c >= '0' && c <= '9';
}

/* Reads [sign] digits [. digits] [(e|E) [sign] digits] from the front of the text: at
 * least one mantissa digit, at most one point, and an exponent only when it has digits.
 * *used tells how many characters make the number. A value too large for a double is
 * not a number; one too small becomes zero. */
NQStatus to_number(NQLocale*, const NQWChar* text, int32_t len, double* value, int32_t* used) {
    if (used) *used = 0;
    if (value) *value = 0;
    if (!value || (len > 0 && !text)) return NQ_STATUS_BAD_ARGUMENT;
    int32_t i = 0, digits = 0;
    if (i < len && (text[i] == '+' || text[i] == '-')) ++i;
    for (; i < len && is_digit(text[i]); ++i) ++digits;
    if (i < len && text[i] == '.') {
        ++i;
        for (; i < len && is_digit(text[i]); ++i) ++digits;
    }
    if (digits == 0) return NQ_STATUS_NOT_A_NUMBER;
    if (i < len && (text[i] == 'e' || text[i] == 'E')) {
        int32_t j = i + 1;
        if (j < len && (text[j] == '+' || text[j] == '-')) ++j;
        if (j < len && is_digit(text[j])) {
            while (j < len && is_digit(text[j])) ++j;
            i = j;
        }
    }
    std::string ascii;
    try {
        ascii.reserve(i);
        for (int32_t k = 0; k < i; ++k) ascii.push_back(static_cast<char>(text[k]));
    } catch (...) {
        return NQ_STATUS_NO_MEMORY;
    }
    /* strtod in the C locale, whatever locale the process has chosen */
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", locale_t(0));
    if (!c_locale) return NQ_STATUS_NO_MEMORY;
    char* end = nullptr;
    double v = strtod_l(ascii.c_str(), &end, c_locale);
    if (end != ascii.c_str() + ascii.size()) return NQ_STATUS_NOT_A_NUMBER;
    if (used) *used = i;
    if (std::isinf(v)) return NQ_STATUS_NOT_A_NUMBER;
    if (v == 0) {
        *value = 0;
        return NQ_STATUS_VALUE_ZERO;
    }
    *value = v;
    return NQ_OK;
}

void locale_dispose(void* self) {
    LocaleImpl* l = static_cast<LocaleImpl*>(static_cast<NQLocale*>(self));
    untrack_object(l->link);
    delete l;
}

NQLocale* create_locale(NQNls* n, const NQWChar* name, int32_t namelen) {
    if (!n || !name) return nullptr;
    static const NQWChar en_us[] = U"en_US";
    size_t len = namelen > 0 ? static_cast<size_t>(namelen) : 0;
    if (namelen <= 0)
        while (name[len] != 0) ++len;
    if (len != 5 || std::memcmp(name, en_us, 5 * sizeof(NQWChar)) != 0) return nullptr;
    KernelImpl& k = kernel_of(n);
    LocaleImpl* l = new_object<NQLocale, LocaleImpl>(k, KIND_LOCALE, locale_dispose);
    if (!l) return nullptr;
    l->ToNumber = to_number;
    return l;
}

}  // namespace

void init_nls(KernelImpl& k) {
    NQKernel* rec = &k;
    k.nlsrec.hdr.owner = rec;
    k.nlsrec.NeedsTranscoder = needs_transcoder;
    k.nlsrec.CreateTranscoder = create_transcoder;
    k.nlsrec.CreateLocale = create_locale;
}

}  // namespace zhost

// The reference evaluator: truth values, the order of missing values, blank-padded and
// truncated character comparisons, BETWEEN with its bounds in either order, linear IN
// membership, CONTAINS, MIN/MAX, concatenation, arithmetic, power and UPCASE, each by
// the rule the evaluator is held to.
#include "tests/equiv/reference.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "tests/common/tree_text.h"
#include "zorv/support.h"

namespace equiv {

namespace {

// Order codes: 1 less, 2 equal, 4 greater; 5 is the equality test's "unequal".
constexpr int kLess = 1, kEqual = 2, kGreater = 4, kUnequal = 5;
// True-masks of CEQ..CGE.
constexpr int kMask[6] = {2, 5, 1, 3, 4, 6};

const double kMissing = missing(2);

ZNode* arg(const ZNode* n, int i) {
    const ZNode* b = n;
    for (; i >= Z_NODE_ARGS; i -= Z_NODE_ARGS) b = b->u.op.next;
    return b->u.op.args[i];
}

// Calls f on every argument slot in order, block by block.
template <typename F>
void each_arg(const ZNode* n, F f) {
    const ZNode* b = n;
    for (int i = 0; i < n->u.op.nargs; ++i) {
        if (i > 0 && i % Z_NODE_ARGS == 0) b = b->u.op.next;
        if (!f(b->u.op.args[i % Z_NODE_ARGS])) return;
    }
}

int num_order(double a, double b) {
    const int ra = missing_rank(a), rb = missing_rank(b);
    if (ra == 0 && rb == 0) return a < b ? kLess : a > b ? kGreater : kEqual;
    if (ra == 0) return kGreater;
    if (rb == 0) return kLess;
    return ra < rb ? kLess : ra == rb ? kEqual : kGreater;
}

// Blank-padded order: the shorter value is read as if padded with blanks.
int text_order(const std::u32string& a, const std::u32string& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (a[i] != b[i])
            return static_cast<int32_t>(a[i]) < static_cast<int32_t>(b[i]) ? kLess : kGreater;
    const std::u32string& longer = a.size() > b.size() ? a : b;
    for (size_t i = n; i < longer.size(); ++i) {
        if (longer[i] == U' ') continue;
        const bool above = longer[i] > U' ';
        return (&longer == &a) == above ? kGreater : kLess;
    }
    return kEqual;
}

int text_equal(const std::u32string& a, const std::u32string& b) {
    return text_order(a, b) == kEqual ? kEqual : kUnequal;
}

bool blank(const std::u32string& s) {
    for (char32_t c : s)
        if (c != U' ') return false;
    return true;
}

bool num_truth(double v) {
    return missing_rank(v) == 0 && v != 0;
}

bool truth(const Value& v) {
    return v.numeric ? num_truth(v.num) : !blank(v.text);
}

bool set_truth(Value& v, bool t) {
    v = Value{};
    v.num = t ? 1.0 : 0.0;
    return t;
}

// The order of two evaluated values; numeric when the first is.
int order(const Value& a, const Value& b) {
    return a.numeric ? num_order(a.num, b.num) : text_order(a.text, b.text);
}

double negate(double v) {
    if (missing_rank(v) != 0) return kMissing;
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bits ^= 0x8000000000000000ull;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

double arith(int type, double a, double b) {
    if (missing_rank(a) != 0 || missing_rank(b) != 0) return kMissing;
    switch (type) {
        case Z_AADD:
            return a + b;
        case Z_ASUB:
            return a - b;
        case Z_AMUL:
            return a * b;
        default:
            return b == 0 ? kMissing : a / b;
    }
}

bool range_low_in(int type) {
    return type == Z_RANB || type == Z_RANL;
}
bool range_high_in(int type) {
    return type == Z_RANB || type == Z_RANH;
}

}  // namespace

double power(double x, double y) {
    const bool ypos = y > 0;
    const double ay = std::fabs(y);
    if (x == 0) return ypos ? 0.0 : kMissing;
    if (ypos && y == 1) return x;
    if (!ypos && y == 0) return 1.0;
    const bool xneg = x < 0;
    const double ax = std::fabs(x);
    bool integer = false, odd = false;
    int64_t n = 0;
    if (ay < 2147483647.0) {
        n = static_cast<int64_t>(ay);
        integer = static_cast<double>(n) == ay;
        odd = integer && n % 2 == 1;
    }
    if (xneg && !integer) return kMissing;
    if (ax == 1) return xneg && odd ? -1.0 : 1.0;
    uint64_t big_bits = 0x5FF0000000000087ull, fudge_bits = 0x3FF0000000000003ull;
    double big, fudge;
    std::memcpy(&big, &big_bits, sizeof big);
    std::memcpy(&fudge, &fudge_bits, sizeof fudge);
    if (ay >= big) {
        if (ax > 1) return ypos ? kMissing : 0.0;
        return ypos ? 0.0 : kMissing;
    }
    const double t = y * std::log(ax) * fudge;
    if (t >= 709.78271289339) return kMissing;
    if (t <= -708.3964185) return 0.0;
    double r;
    if (integer && std::fabs(t) < 72.0873067782343) {
        r = 1;
        double b = ax;
        int64_t k = n;
        do {
            if (k % 2 == 1) r *= b;
            k /= 2;
            if (k != 0) b *= b;
        } while (k != 0);
        if (!ypos) r = 1 / r;
    } else {
        r = std::pow(ax, y);
    }
    return xneg && odd ? -r : r;
}

double Reference::number(const ZNode* n) {
    Value v;
    eval(n, v);
    return v.num;
}

std::u32string Reference::text(const ZNode* n) {
    Value v;
    eval(n, v);
    return v.text;
}

bool Reference::refuse(const ZNode* n, Value& v) {
    if (trouble_.empty()) trouble_ = "the reference has no rule for " + ztest::render(n);
    return set_truth(v, false);
}

// Linear membership: x against every element in turn, a constant (or expression) by
// equality, a range by its bounds and the ends its type includes. Truncated lists compare
// over the shorter length of x and the element.
bool Reference::in_list(const ZNode* x, const ZNode* list, bool truncated) {
    Value xv;
    eval(x, xv);
    const bool numeric = x->vlen < 0;
    bool found = false;
    each_arg(list, [&](const ZNode* e) {
        if (e == nullptr) return true;
        if (e->type >= Z_RANB && e->type <= Z_RANN) {
            Value lo, hi;
            eval(arg(e, 0), lo);
            eval(arg(e, 1), hi);
            const int cl = numeric ? num_order(xv.num, lo.num) : text_order(xv.text, lo.text);
            const int ch = numeric ? num_order(xv.num, hi.num) : text_order(xv.text, hi.text);
            found = (cl == kGreater || (cl == kEqual && range_low_in(e->type))) &&
                    (ch == kLess || (ch == kEqual && range_high_in(e->type)));
        } else if (numeric) {
            found = num_order(xv.num, number(e)) == kEqual;
        } else if (truncated) {
            const std::u32string t = text(e);
            const size_t len = std::min(t.size(), xv.text.size());
            found = t.compare(0, len, xv.text, 0, len) == 0;
        } else {
            found = text_order(xv.text, text(e)) == kEqual;
        }
        return !found;
    });
    return found;
}

bool Reference::eval(const ZNode* n, Value& v) {
    if (n == nullptr) return set_truth(v, true);
    const int type = n->type;
    switch (type) {
        case Z_NAME: {
            const int c =
                column_index(std::string(n->u.nm.name, static_cast<size_t>(n->u.nm.namelen)));
            if (c < 0) return refuse(n, v);
            v = Value{};
            v.numeric = columns()[static_cast<size_t>(c)].numeric;
            if (v.numeric)
                v.num = row_.num[static_cast<size_t>(c)];
            else
                v.text = row_.text[static_cast<size_t>(c)];
            return truth(v);
        }
        case Z_LITN:
            v = Value{};
            v.num = n->u.litn.num;
            return truth(v);
        case Z_LITC:
            v = Value{};
            v.numeric = false;
            v.text.assign(n->u.litc.str, static_cast<size_t>(n->u.litc.slen / 4));
            return truth(v);
        case Z_LAND:
        case Z_LOR: {
            // An empty slot evaluates as the null tree does: true.
            const bool all = type == Z_LAND;
            bool result = all;
            each_arg(n, [&](const ZNode* a) {
                Value ignored;
                if (eval(a, ignored) != all) {
                    result = !all;
                    return false;
                }
                return true;
            });
            return set_truth(v, result);
        }
        case Z_LNOT:
            return set_truth(v, !holds(arg(n, 0)));
        case Z_ISNL:
        case Z_NTNL: {
            Value x;
            eval(arg(n, 0), x);
            const bool null = x.numeric ? missing_rank(x.num) != 0 : blank(x.text);
            return set_truth(v, null == (type == Z_ISNL));
        }
        case Z_IN:
        case Z_NIN:
            return set_truth(v, in_list(arg(n, 0), arg(n, 1), false) == (type == Z_IN));
        case Z_TIN:
        case Z_TNIN:
            return set_truth(v, in_list(arg(n, 0), arg(n, 1), true) == (type == Z_TIN));
        case Z_BETW:
        case Z_NBTW: {
            Value x, lo, hi;
            eval(arg(n, 0), x);
            eval(arg(n, 1), lo);
            eval(arg(n, 2), hi);
            if (order(lo, hi) == kGreater) std::swap(lo, hi);
            const bool inside = order(x, lo) != kLess && order(x, hi) != kGreater;
            return set_truth(v, inside == (type == Z_BETW));
        }
        case Z_CONT:
        case Z_NCON: {
            const std::u32string t = text(arg(n, 0)), p = text(arg(n, 1));
            return set_truth(v, (t.find(p) != std::u32string::npos) == (type == Z_CONT));
        }
        case Z_AADD:
        case Z_ASUB:
        case Z_AMUL:
        case Z_ADIV: {
            const double a = number(arg(n, 0));
            const double b = number(arg(n, 1));
            v = Value{};
            v.num = arith(type, a, b);
            return missing_rank(v.num) == 0 && v.num != 0;
        }
        case Z_ANEG:
            v = Value{};
            v.num = negate(number(arg(n, 0)));
            return num_truth(v.num);
        case Z_APOS:
            // The evaluator has no rule for unary plus: the transformer always replaces it
            // by its operand, which is what a unary plus means.
            return eval(arg(n, 0), v);
        case Z_APOW: {
            // The chain associates to the right; a missing operand ends it.
            const int last = n->u.op.nargs - 1;
            double y = number(arg(n, last));
            for (int i = last - 1; i >= 0; --i) {
                const double x = number(arg(n, i));
                y = missing_rank(x) != 0 || missing_rank(y) != 0 ? kMissing : power(x, y);
            }
            v = Value{};
            v.num = y;
            return num_truth(y);
        }
        case Z_MIN:
        case Z_MAX: {
            Value a, b;
            eval(arg(n, 0), a);
            eval(arg(n, 1), b);
            const bool less = order(a, b) == kLess;
            v = (type == Z_MIN) == less ? a : b;
            return truth(v);
        }
        case Z_CONC: {
            v = Value{};
            v.numeric = false;
            each_arg(n, [&](const ZNode* a) {
                v.text += text(a);
                return true;
            });
            return truth(v);
        }
        case Z_FLST: {
            v = Value{};
            v.numeric = false;
            if (arg(n, 0)->u.fn.fnum == 0) {
                v.text = U" ";
                return false;
            }
            std::u32string s = text(arg(n, 1));
            s.resize(std::min(s.size(), static_cast<size_t>(n->vlen / 4)));
            if (!s.empty()) nqzstup(s.data(), static_cast<int32_t>(s.size()));
            v.text = s;
            return truth(v);
        }
        default:
            break;
    }
    if ((type >= Z_CEQ && type <= Z_CGE) || (type >= Z_CTEQ && type <= Z_CTGE)) {
        const bool colon = type >= Z_CTEQ;
        const int plain = colon ? type - 10 : type;
        int code;
        if (arg(n, 0)->vlen < 0) {
            code = num_order(number(arg(n, 0)), number(arg(n, 1)));
        } else {
            std::u32string a = text(arg(n, 0)), b = text(arg(n, 1));
            if (colon) {
                const size_t len = std::min(a.size(), b.size());
                a.resize(len);
                b.resize(len);
            }
            code = plain == Z_CEQ || plain == Z_CNE ? text_equal(a, b) : text_order(a, b);
        }
        return set_truth(v, (code & kMask[plain - Z_CEQ]) != 0);
    }
    return refuse(n, v);
}

}  // namespace equiv

// Row records from a data frame's column buffers, and their evaluation. A chunk's records are
// filled column by column with plain loops over the buffers (one conversion to double per
// numeric cell, one copy per character cell), then ZORVEval runs row by row over them.
#include "python/src/frame_rows.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>
#include <type_traits>

#include "table/schema.h"
#include "zorv/support.h"

namespace zorv::python {
namespace {

constexpr int32_t kMaxThreads = 64;
// Rows of one chunk: as many records as fit this many bytes, kept between the two bounds.
// 256 KiB stays in a core's second-level cache; 8192 rows make a chunk's fixed costs (taking
// the GIL for character columns) small against its rows.
constexpr int64_t kChunkBytes = int64_t{256} << 10;
constexpr int64_t kMinChunkRows = 64;
constexpr int64_t kMaxChunkRows = 8192;

PyObject* g_pandas_na = nullptr;

template <class T>
T load(const char* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

int64_t code_at(Element e, const char* p) {
    switch (e) {
        case Element::kI8:
            return load<int8_t>(p);
        case Element::kI16:
            return load<int16_t>(p);
        case Element::kI32:
            return load<int32_t>(p);
        default:
            return load<int64_t>(p);
    }
}

double number_at(Element e, const char* p) {
    switch (e) {
        case Element::kF64:
            return load<double>(p);
        case Element::kF32:
            return load<float>(p);
        case Element::kI8:
            return load<int8_t>(p);
        case Element::kI16:
            return load<int16_t>(p);
        case Element::kI32:
            return load<int32_t>(p);
        case Element::kI64:
            return static_cast<double>(load<int64_t>(p));
        case Element::kU8:
            return load<uint8_t>(p);
        case Element::kU16:
            return load<uint16_t>(p);
        case Element::kU32:
            return load<uint32_t>(p);
        case Element::kU64:
            return static_cast<double>(load<uint64_t>(p));
        case Element::kBool:
            return load<uint8_t>(p) != 0 ? 1.0 : 0.0;
        case Element::kObject:
            break;
    }
    return std::nan("");
}

// Rows [begin, end) of a plain numeric buffer into the records from dst on, one every
// `size` bytes. A NaN of the frame (NumPy's, pandas' missing float) is not one of the
// library's missing values: it becomes the ordinary missing value.
template <class T>
void fill_plain(const ColumnSource& s, int64_t begin, int64_t end, std::byte* dst, int32_t size,
                double missing) {
    const char* p = s.data + begin * s.stride;
    for (int64_t i = begin; i < end; ++i, p += s.stride, dst += size) {
        double v;
        if constexpr (std::is_same_v<T, bool>) {
            v = load<uint8_t>(p) != 0 ? 1.0 : 0.0;
        } else {
            v = static_cast<double>(load<T>(p));
            if constexpr (std::is_floating_point_v<T>)
                if (v != v) v = missing;
        }
        std::memcpy(dst, &v, sizeof v);
    }
}

void fill_numeric(const ColumnSource& s, int64_t begin, int64_t end, std::byte* dst, int32_t size,
                  double missing) {
    if (s.codes != nullptr) {
        const char* c = s.codes + begin * s.code_stride;
        std::byte* d = dst;
        for (int64_t i = begin; i < end; ++i, c += s.code_stride, d += size) {
            const int64_t code = code_at(s.code_element, c);
            double v = code < 0 ? missing : number_at(s.element, s.data + code * s.stride);
            if (v != v) v = missing;
            std::memcpy(d, &v, sizeof v);
        }
    } else {
        switch (s.element) {
            case Element::kF64:
                fill_plain<double>(s, begin, end, dst, size, missing);
                break;
            case Element::kF32:
                fill_plain<float>(s, begin, end, dst, size, missing);
                break;
            case Element::kI8:
                fill_plain<int8_t>(s, begin, end, dst, size, missing);
                break;
            case Element::kI16:
                fill_plain<int16_t>(s, begin, end, dst, size, missing);
                break;
            case Element::kI32:
                fill_plain<int32_t>(s, begin, end, dst, size, missing);
                break;
            case Element::kI64:
                fill_plain<int64_t>(s, begin, end, dst, size, missing);
                break;
            case Element::kU8:
                fill_plain<uint8_t>(s, begin, end, dst, size, missing);
                break;
            case Element::kU16:
                fill_plain<uint16_t>(s, begin, end, dst, size, missing);
                break;
            case Element::kU32:
                fill_plain<uint32_t>(s, begin, end, dst, size, missing);
                break;
            case Element::kU64:
                fill_plain<uint64_t>(s, begin, end, dst, size, missing);
                break;
            case Element::kBool:
                fill_plain<bool>(s, begin, end, dst, size, missing);
                break;
            case Element::kObject:
                break;
        }
    }
    if (s.missing != nullptr) {
        const uint8_t* m = s.missing + begin * s.missing_stride;
        std::byte* d = dst;
        for (int64_t i = begin; i < end; ++i, m += s.missing_stride, d += size)
            if (*m != 0) std::memcpy(d, &missing, sizeof missing);
    }
}

// The object of row i of a kObject column; null for a negative category code.
PyObject* object_at(const ColumnSource& s, int64_t i) {
    int64_t at = i;
    if (s.codes != nullptr) {
        at = code_at(s.code_element, s.codes + i * s.code_stride);
        if (at < 0) return nullptr;
    }
    return load<PyObject*>(s.data + at * s.stride);
}

bool is_blank_object(PyObject* o) {
    return o == Py_None || (PyFloat_Check(o) && std::isnan(PyFloat_AS_DOUBLE(o))) ||
           (g_pandas_na != nullptr && o == g_pandas_na);
}

// Copies rows [begin, end) of a kObject column as `width` blank-padded 4-byte characters into
// the records from dst on. Needs the GIL. False when a cell is no longer a string that fits
// or a blank. Columns of text often repeat a few values (codes, categories, pandas' shared
// strings): a cell that is the same object as the row before's is copied from that row's
// record.
bool fill_characters(const ColumnSource& s, int32_t width, int64_t begin, int64_t end,
                     std::byte* dst, int32_t size) {
    constexpr char32_t kBlank = U' ';
    PyObject* last = reinterpret_cast<PyObject*>(&last);  // no object's address
    for (int64_t i = begin; i < end; ++i, dst += size) {
        PyObject* o = object_at(s, i);
        if (o == last) {
            std::memcpy(dst, dst - size, 4 * static_cast<size_t>(width));
            continue;
        }
        last = o;
        Py_ssize_t n = 0;
        if (o != nullptr && PyUnicode_Check(o)) {
            if (PyUnicode_READY(o) != 0) {
                PyErr_Clear();
                return false;
            }
            n = PyUnicode_GET_LENGTH(o);
            if (n > width) return false;
            const void* text = PyUnicode_DATA(o);
            switch (PyUnicode_KIND(o)) {
                case PyUnicode_1BYTE_KIND:
                    for (Py_ssize_t k = 0; k < n; ++k) {
                        const char32_t c = static_cast<const Py_UCS1*>(text)[k];
                        std::memcpy(dst + 4 * k, &c, 4);
                    }
                    break;
                case PyUnicode_2BYTE_KIND:
                    for (Py_ssize_t k = 0; k < n; ++k) {
                        const char32_t c = static_cast<const Py_UCS2*>(text)[k];
                        std::memcpy(dst + 4 * k, &c, 4);
                    }
                    break;
                default:
                    std::memcpy(dst, text, static_cast<size_t>(4 * n));
                    break;
            }
        } else if (o != nullptr && !is_blank_object(o)) {
            return false;
        }
        for (Py_ssize_t k = n; k < width; ++k) std::memcpy(dst + 4 * k, &kBlank, 4);
    }
    return true;
}

int32_t processors() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return std::max(1, CPU_COUNT(&set));
    return std::max(1, static_cast<int32_t>(std::thread::hardware_concurrency()));
}

}  // namespace

void lay_out_frame(Frame* frame) {
    frame->record_size = table::lay_out(&frame->used);
}

int32_t bind_frame_column(void* context, ZNode* node, NQJournal*) {
    Frame* f = static_cast<Frame*>(context);
    if (f == nullptr || node == nullptr) return table::kUnknownColumn;
    const size_t len =
        static_cast<size_t>(std::clamp<int32_t>(node->u.nm.namelen, 0, sizeof node->u.nm.name));
    const std::string_view key(node->u.nm.name, len);
    // The used columns are the few the clause names; a scan is as quick as an index here.
    for (const table::Column& c : f->used) {
        if (c.key != key) continue;
        node->vlen = static_cast<int16_t>(c.kind == table::Kind::kNumeric ? -8 : c.bytes());
        node->u.nm.colw = static_cast<int16_t>(c.bytes());
        node->u.nm.coloff = c.offset;
        node->u.nm.colmode = 0;
        node->u.nm.fetch = nullptr;
        return 0;
    }
    f->unknown = std::string(key);
    return table::kUnknownColumn;
}

bool codes_fit(const ColumnSource& s, int64_t rows, int64_t categories) {
    const char* c = s.codes;
    for (int64_t i = 0; i < rows; ++i, c += s.code_stride)
        if (code_at(s.code_element, c) >= categories) return false;
    return true;
}

WidthScan scan_character_width(const ColumnSource& s, int64_t rows) {
    WidthScan r;
    PyObject* last = nullptr;  // a run of one object is looked at once
    for (int64_t i = 0; i < rows; ++i) {
        PyObject* o = object_at(s, i);
        if (o == nullptr || o == last) continue;
        last = o;
        if (PyUnicode_Check(o)) {
            if (PyUnicode_READY(o) != 0) {
                PyErr_Clear();
                r.bad_row = i;
                r.bad_type = "str that cannot be read";
                return r;
            }
            r.width = std::max<int64_t>(r.width, PyUnicode_GET_LENGTH(o));
        } else if (!is_blank_object(o)) {
            r.bad_row = i;
            r.bad_type = Py_TYPE(o)->tp_name;
            return r;
        }
    }
    return r;
}

void set_pandas_na(PyObject* na) {
    g_pandas_na = na;
}

int32_t default_threads(const Frame& frame) {
    if (frame.rows < 4 * kMaxChunkRows) return 1;
    return std::min(processors(), kMaxThreads);
}

std::string evaluate_frame(ZInst* inst, const Frame& f, int32_t threads, uint8_t* out) {
    if (f.rows <= 0) return {};
    const int32_t size = std::max<int32_t>(f.record_size, 8);
    const int64_t chunk_rows =
        std::clamp<int64_t>(kChunkBytes / size, kMinChunkRows, kMaxChunkRows);
    const int64_t chunks = (f.rows + chunk_rows - 1) / chunk_rows;
    threads = static_cast<int32_t>(
        std::clamp<int64_t>(threads, 1, std::min<int64_t>(chunks, kMaxThreads)));
    bool characters = false;
    for (const table::Column& c : f.used) characters |= c.kind == table::Kind::kCharacter;
    const double missing = pvMissVal('.');

    // One record buffer a thread, made here so that a refused allocation is an exception of
    // the calling thread (uint64_t keeps the records 8-byte aligned).
    std::vector<std::vector<uint64_t>> buffers(
        static_cast<size_t>(threads),
        std::vector<uint64_t>(static_cast<size_t>(chunk_rows) * static_cast<size_t>(size) / 8));
    std::atomic<int64_t> next{0};
    std::atomic<bool> changed{false};

    auto work = [&](std::vector<uint64_t>& buffer) {
        std::byte* records = reinterpret_cast<std::byte*>(buffer.data());
        for (;;) {
            const int64_t c = next.fetch_add(1, std::memory_order_relaxed);
            if (c >= chunks || changed.load(std::memory_order_relaxed)) return;
            const int64_t begin = c * chunk_rows;
            const int64_t end = std::min(f.rows, begin + chunk_rows);
            for (size_t k = 0; k < f.used.size(); ++k)
                if (f.used[k].kind == table::Kind::kNumeric)
                    fill_numeric(f.sources[k], begin, end, records + f.used[k].offset, size,
                                 missing);
            if (characters) {
                const PyGILState_STATE gil = PyGILState_Ensure();
                bool ok = true;
                for (size_t k = 0; k < f.used.size() && ok; ++k)
                    if (f.used[k].kind == table::Kind::kCharacter)
                        ok = fill_characters(f.sources[k], f.used[k].width, begin, end,
                                             records + f.used[k].offset, size);
                PyGILState_Release(gil);
                if (!ok) {
                    changed.store(true, std::memory_order_relaxed);
                    return;
                }
            }
            const std::byte* row = records;
            for (int64_t i = begin; i < end; ++i, row += size)
                out[i] = inst->Eval(inst, row, nullptr, nullptr) != 0 ? 1 : 0;
        }
    };

    PyThreadState* saved = PyEval_SaveThread();
    std::vector<std::thread> helpers;
    for (int32_t t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(work, std::ref(buffers[static_cast<size_t>(t)]));
        } catch (...) {
            break;  // no more threads to be had: those there are share the chunks
        }
    }
    work(buffers[0]);
    for (std::thread& t : helpers) t.join();
    PyEval_RestoreThread(saved);
    if (changed.load())
        return "the frame changed while the clause was evaluated: a character cell no longer "
               "holds a string of the width found before";
    return {};
}

}  // namespace zorv::python

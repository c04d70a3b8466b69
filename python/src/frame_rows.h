// A data frame as the library sees it: the columns a clause names, bound through the
// resolver's callback to places in a row record, and the row records themselves, built a
// chunk at a time straight from the frame's column buffers and evaluated on several threads
// sharing one instance.
#ifndef ZORV_PYTHON_FRAME_ROWS_H
#define ZORV_PYTHON_FRAME_ROWS_H

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "table/table.h"
#include "zorv/zorv.h"

namespace zorv::python {

// Element types of the column buffers the records are built from.
enum class Element : uint8_t {
    kF64,
    kF32,
    kI8,
    kI16,
    kI32,
    kI64,
    kU8,
    kU16,
    kU32,
    kU64,
    kBool,
    kObject
};

// Where a column's values lie. Row i's value is at data + i * stride; for a categorical
// column, codes (at codes + i * code_stride) index the categories held at data, a negative
// code being a missing value. A masked array's mask marks missing values with a non-zero
// byte. kObject values are Python objects: str, or None, a float NaN or pandas.NA for a blank.
struct ColumnSource {
    Element element = Element::kF64;
    const char* data = nullptr;
    ptrdiff_t stride = 0;
    const uint8_t* missing = nullptr;
    ptrdiff_t missing_stride = 0;
    Element code_element = Element::kI64;
    const char* codes = nullptr;
    ptrdiff_t code_stride = 0;
};

// The frame a clause is bound to.
struct Frame {
    std::vector<table::Column> all;     // every column: name and key, for messages
    std::vector<table::Column> used;    // the columns the clause names, laid out in a record
    std::vector<ColumnSource> sources;  // where each used column's values lie
    int64_t rows = 0;
    int32_t record_size = 0;
    std::string unknown;  // the last key no column answered
};

// Lays out the used columns (table::lay_out) and sets record_size.
void lay_out_frame(Frame* frame);

// The name-binding callback of ZORVResolve over a Frame: binds a NAME leaf to the used column
// of its key; any other name returns table::kUnknownColumn and is kept in frame->unknown.
int32_t bind_frame_column(void* frame, ZNode* node, NQJournal* jnl);

// What a look over a character column found: its longest value in characters, or the first
// row whose cell is no string and no blank (with the cell's type name).
struct WidthScan {
    int64_t width = 0;
    int64_t bad_row = -1;
    std::string bad_type;
};

// Whether every category code of rows [0, rows) lies below `categories` (a negative code is a
// missing value), so that no code reads past the categories' buffer.
bool codes_fit(const ColumnSource& source, int64_t rows, int64_t categories);

// Scans rows [0, rows) of a kObject column. Needs the GIL.
WidthScan scan_character_width(const ColumnSource& source, int64_t rows);

// pandas.NA, a blank in character columns besides None and NaN; null until set.
void set_pandas_na(PyObject* na);

// Threads when the caller names none: one for a frame of a few chunks, otherwise the
// processors this process may run on (at most 64).
int32_t default_threads(const Frame& frame);

// Evaluates the resolved clause of inst on every row of the frame and sets out[i] to 1 for
// a selected row and 0 otherwise. Rows are cut into chunks; each of `threads` threads takes
// chunks in turn, builds their records in a buffer of its own (so memory is that of a chunk
// per thread, whatever the frame's length) and calls ZORVEval on each. Called with the GIL
// held; it is released for the work and taken back only while character cells, which are
// Python objects, are copied. Returns an empty string, or a message when a character cell
// no longer fits what scan_character_width found (the frame was changed meanwhile).
std::string evaluate_frame(ZInst* inst, const Frame& frame, int32_t threads, uint8_t* out);

}  // namespace zorv::python

#endif

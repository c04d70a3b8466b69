// zorv._zorv: the extension module under the Python package zorv. It parses clauses, binds
// them to the columns of a data frame, evaluates them over the frame's buffers and runs the
// command's filter over CSV files. The package (python/zorv/__init__.py) turns frames into
// the column descriptions these functions take and words the errors for the caller.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/diagnose.h"
#include "cli/tree_formats.h"
#include "python/src/csv_filter.h"
#include "python/src/frame_rows.h"
#include "python/src/runtime.h"
#include "table/schema.h"

namespace py = pybind11;

namespace zorv::python {
namespace {

// The package's exception classes (ClauseError, and UnknownColumnError, a ClauseError and a
// KeyError), given by the package when it starts the module.
py::object g_clause_error;
py::object g_unknown_column_error;

// A column list longer than this is cut in messages.
constexpr size_t kListedColumns = 30;

std::u32string wide_text(const py::str& text) {
    PyObject* o = text.ptr();
    Py_UCS4* chars = PyUnicode_AsUCS4Copy(o);
    if (chars == nullptr) throw py::error_already_set();
    std::u32string out(chars, chars + PyUnicode_GET_LENGTH(o));
    PyMem_Free(chars);
    return out;
}

// The failure for a name that no column of the frame answered: the name, the columns it is
// closest to, and the frame's columns.
ClauseFailure unknown_column(const Frame& f) {
    ClauseFailure failure;
    failure.column = f.unknown;
    failure.closest = table::closest_columns(f.unknown, f.all);
    failure.message = "unknown column '" + f.unknown + "'";
    failure.message += table::did_you_mean(failure.closest);
    if (f.all.empty()) {
        failure.message += " (the frame has no columns)";
    } else {
        failure.message += " (the frame's columns are ";
        for (size_t i = 0; i < f.all.size() && i < kListedColumns; ++i)
            failure.message += (i > 0 ? ", " : "") + f.all[i].name;
        if (f.all.size() > kListedColumns)
            failure.message += " and " + std::to_string(f.all.size() - kListedColumns) + " more";
        failure.message += ")";
    }
    return failure;
}

// Parses the clause into inst and binds it to the frame's columns (ZORVResolve, which also
// transforms the tree). A refused binding is worded as the command words it, from a second
// parse of the same text.
void parse_and_bind(Instance& inst, const std::u32string& text, Frame& f) {
    inst.parse(text);
    lay_out_frame(&f);
    Messages messages;
    const int32_t status = inst->Resolve(inst.get(), messages.journal(), bind_frame_column, &f);
    if (status == 0) return;
    if (status == table::kUnknownColumn) throw unknown_column(f);
    inst.parse(text);
    throw ClauseFailure{cli::resolve_failure(status, inst->Root(inst.get()), f.used)};
}

Element element_of(const py::dtype& dtype, bool codes) {
    const char kind = dtype.kind();
    const py::ssize_t size = dtype.itemsize();
    if (kind == 'i') {
        switch (size) {
            case 1:
                return Element::kI8;
            case 2:
                return Element::kI16;
            case 4:
                return Element::kI32;
            case 8:
                return Element::kI64;
        }
    }
    if (!codes) {
        if (kind == 'f' && size == 8) return Element::kF64;
        if (kind == 'f' && size == 4) return Element::kF32;
        if (kind == 'b') return Element::kBool;
        if (kind == 'O') return Element::kObject;
        if (kind == 'u') {
            switch (size) {
                case 1:
                    return Element::kU8;
                case 2:
                    return Element::kU16;
                case 4:
                    return Element::kU32;
                case 8:
                    return Element::kU64;
            }
        }
    }
    throw py::type_error(std::string("zorv: no column can be read from a buffer of dtype ") +
                         py::str(static_cast<const py::handle&>(dtype)).cast<std::string>());
}

py::array one_dimensional(const py::handle& h, const char* what) {
    py::array a = py::reinterpret_borrow<py::array>(h);
    if (a.ndim() != 1)
        throw py::value_error(std::string("zorv: ") + what + " is not one-dimensional");
    return a;
}

// One column the clause uses, as the package describes it: (name, key, kind, width, values,
// missing, codes). kind is "num" or "char"; values a one-dimensional array; missing a
// boolean array or None; codes an integer array indexing values, or None.
struct ColumnSpec {
    table::Column column;
    ColumnSource source;
    std::vector<py::array> keep;  // the buffers stay alive while they are read
};

ColumnSpec column_spec(const py::tuple& t, int64_t rows, bool with_data) {
    if (t.size() != 7) throw py::value_error("zorv: a column description has 7 items");
    ColumnSpec spec;
    table::Column& c = spec.column;
    c.name = t[0].cast<std::string>();
    c.key = t[1].cast<std::string>();
    const std::string kind = t[2].cast<std::string>();
    c.kind = kind == "num" ? table::Kind::kNumeric : table::Kind::kCharacter;
    c.width = c.kind == table::Kind::kNumeric ? 0 : t[3].cast<int32_t>();
    if (c.width < 0 || c.width > table::kMaxWidth)
        throw py::value_error("zorv: column '" + c.name + "' is wider than " +
                              std::to_string(table::kMaxWidth) + " characters");
    if (!with_data) return spec;

    ColumnSource& s = spec.source;
    const py::array values = one_dimensional(t[4], "a column's values");
    spec.keep.push_back(values);
    s.element = element_of(values.dtype(), false);
    s.data = static_cast<const char*>(values.data());
    s.stride = values.strides(0);
    if ((s.element == Element::kObject) != (c.kind == table::Kind::kCharacter))
        throw py::type_error("zorv: column '" + c.name + "' has values of the wrong kind");
    const int64_t extent = values.shape(0);
    if (!t[6].is_none()) {
        const py::array codes = one_dimensional(t[6], "a column's codes");
        spec.keep.push_back(codes);
        s.code_element = element_of(codes.dtype(), true);
        s.codes = static_cast<const char*>(codes.data());
        s.code_stride = codes.strides(0);
        if (codes.shape(0) != rows)
            throw py::value_error("zorv: column '" + c.name + "' has codes for " +
                                  std::to_string(codes.shape(0)) + " rows, not " +
                                  std::to_string(rows));
        if (!codes_fit(s, rows, extent))
            throw py::value_error("zorv: column '" + c.name + "' has a code past its categories");
    } else if (extent != rows) {
        throw py::value_error("zorv: column '" + c.name + "' has " + std::to_string(extent) +
                              " values, not " + std::to_string(rows));
    }
    if (!t[5].is_none()) {
        const py::array missing = one_dimensional(t[5], "a column's mask");
        if (missing.dtype().kind() != 'b' || missing.shape(0) != rows || s.codes != nullptr)
            throw py::value_error("zorv: column '" + c.name + "' has a mask that does not fit");
        spec.keep.push_back(missing);
        s.missing = static_cast<const uint8_t*>(missing.data());
        s.missing_stride = missing.strides(0);
    }
    return spec;
}

// The frame of the package's description: every column's name and key, the used columns'
// descriptions, and the number of rows.
Frame make_frame(const std::vector<std::string>& names, const std::vector<std::string>& keys,
                 const py::list& used, int64_t rows, bool with_data, std::vector<py::array>* keep) {
    if (names.size() != keys.size()) throw py::value_error("zorv: names and keys differ in number");
    Frame f;
    f.rows = rows;
    for (size_t i = 0; i < names.size(); ++i) {
        table::Column c;
        c.name = names[i];
        c.key = keys[i];
        f.all.push_back(std::move(c));
    }
    // With kMaxWidth this keeps a record's offsets below 2^31, as in a table.
    if (used.size() > static_cast<size_t>(table::kMaxColumns))
        throw py::value_error("zorv: a clause may name at most " +
                              std::to_string(table::kMaxColumns) + " columns");
    for (const py::handle h : used) {
        ColumnSpec spec = column_spec(py::reinterpret_borrow<py::tuple>(h), rows, with_data);
        f.used.push_back(spec.column);
        f.sources.push_back(spec.source);
        for (py::array& a : spec.keep) keep->push_back(std::move(a));
    }
    return f;
}

void raise_failure(const ClauseFailure& failure) {
    if (!failure.column.empty() && g_unknown_column_error) {
        py::object error = g_unknown_column_error(failure.message);
        error.attr("column") = failure.column;
        error.attr("closest") = failure.closest;
        PyErr_SetObject(g_unknown_column_error.ptr(), error.ptr());
        return;
    }
    PyErr_SetString(g_clause_error ? g_clause_error.ptr() : PyExc_ValueError,
                    failure.message.c_str());
}

}  // namespace
}  // namespace zorv::python

using namespace zorv::python;

PYBIND11_MODULE(_zorv, m) {
    m.doc() =
        "The extension module of the zorv package: parsing, binding and evaluating clauses. "
        "Use the package's functions (zorv.mask, zorv.query, zorv.Clause, ...) instead.";

    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const ClauseFailure& failure) {
            raise_failure(failure);
        }
    });

    m.def(
        "start",
        [](const std::string& extdir, py::object clause_error, py::object unknown_column_error,
           py::object pandas_na) {
            start_runtime(extdir);
            g_clause_error = std::move(clause_error);
            g_unknown_column_error = std::move(unknown_column_error);
            // The module keeps its own reference: pandas.NA is compared by identity.
            set_pandas_na(pandas_na.release().ptr());
        },
        py::arg("extdir"), py::arg("clause_error"), py::arg("unknown_column_error"),
        py::arg("pandas_na"),
        "Starts the host runtime with the extensions in extdir and loads the library, once per "
        "process; records the package's exception classes and pandas.NA.");

    m.def(
        "version",
        []() {
            int32_t a = 0, b = 0, c = 0;
            ZExt* ext = runtime_extension();
            ext->GetVersion(ext, &a, &b, &c);
            return std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
        },
        "The library's version as 'major.minor.patch'.");

    m.def(
        "names",
        [](const py::str& text) {
            Instance inst;
            inst.parse(wide_text(text));
            return tree_names(inst->Root(inst.get()));
        },
        py::arg("text"),
        "Parses the clause and returns the keys (upper-cased names) of the columns it names, "
        "each once. Raises ClauseError when it does not parse.");

    m.def(
        "keys",
        [](const std::vector<std::string>& names) {
            std::vector<std::string> keys;
            keys.reserve(names.size());
            for (const std::string& n : names) keys.push_back(zorv::table::name_key(n));
            return keys;
        },
        py::arg("names"),
        "The keys of column names: upper-cased by the library's case mapping and cut to 32 "
        "bytes, as the parser makes the names of a clause.");

    m.def(
        "character_width",
        [](const py::array& values, const py::object& codes, int64_t rows) {
            if (values.ndim() != 1 || values.dtype().kind() != 'O')
                throw py::type_error("zorv: character values must be a 1-dimensional object array");
            ColumnSource s;
            s.element = Element::kObject;
            s.data = static_cast<const char*>(values.data());
            s.stride = values.strides(0);
            py::array code_array;
            if (!codes.is_none()) {
                code_array = py::reinterpret_borrow<py::array>(codes);
                s.code_element = element_of(code_array.dtype(), true);
                s.codes = static_cast<const char*>(code_array.data());
                s.code_stride = code_array.strides(0);
                if (code_array.ndim() != 1 || code_array.shape(0) != rows)
                    throw py::value_error("zorv: codes do not fit the rows");
                if (!codes_fit(s, rows, values.shape(0)))
                    throw py::value_error("zorv: a code lies past the categories");
            } else if (values.shape(0) != rows) {
                throw py::value_error("zorv: values do not fit the rows");
            }
            const WidthScan scan = scan_character_width(s, rows);
            return py::make_tuple(scan.width, scan.bad_row, scan.bad_type);
        },
        py::arg("values"), py::arg("codes"), py::arg("rows"),
        "Scans a character column (an object array, or categories and codes): returns (width, "
        "bad_row, bad_type), the longest string in characters and the first row (-1 for none) "
        "whose cell is neither a string nor a blank (None, NaN, pandas.NA), with its type name.");

    m.def(
        "mask",
        [](const py::str& text, const std::vector<std::string>& names,
           const std::vector<std::string>& keys, const py::list& used, int64_t rows,
           std::optional<int32_t> threads) {
            std::vector<py::array> keep;
            Frame f = make_frame(names, keys, used, rows, true, &keep);
            Instance inst;
            parse_and_bind(inst, wide_text(text), f);
            py::array_t<bool> out(static_cast<py::ssize_t>(rows));
            auto* flags = reinterpret_cast<uint8_t*>(out.mutable_data());
            const std::string changed =
                evaluate_frame(inst.get(), f, threads ? *threads : default_threads(f), flags);
            if (!changed.empty()) throw std::runtime_error("zorv: " + changed);
            return out;
        },
        py::arg("text"), py::arg("names"), py::arg("keys"), py::arg("used"), py::arg("rows"),
        py::arg("threads"),
        "Evaluates the clause over a frame: names and keys of every column, the descriptions of "
        "the columns the clause uses, the number of rows and the threads (None: by the frame's "
        "size). Returns a boolean array, true for the selected rows.");

    m.def(
        "explain",
        [](const py::str& text, const std::optional<std::vector<std::string>>& names,
           const std::vector<std::string>& keys, const py::list& used, const std::string& format) {
            if (format != "text" && format != "json" && format != "dot")
                throw py::value_error("format must be 'text', 'json' or 'dot', not '" + format +
                                      "'");
            Instance inst;
            std::vector<py::array> keep;
            if (names) {
                Frame f = make_frame(*names, keys, used, 0, false, &keep);
                parse_and_bind(inst, wide_text(text), f);
            } else {
                inst.parse(wide_text(text));
            }
            // The tree the printer draws, as the command gives it for each format.
            if (format == "json") return zorv::cli::tree_json(inst.get(), inst->root);
            if (format == "dot") return zorv::cli::tree_dot(inst.get(), inst->root);
            Messages drawing;
            inst->Print(inst.get(), drawing.journal());
            return drawing.text(NQ_LEVEL_TRACE, true);
        },
        py::arg("text"), py::arg("names"), py::arg("keys"), py::arg("used"), py::arg("format"),
        "The clause's tree, bound to the described columns and transformed, or as parsed when "
        "names is None: the printer's drawing (format 'text'), one JSON document ('json') or a "
        "Graphviz graph ('dot'), as zorv explain --format gives them.");

    m.def(
        "filter_csv",
        [](const std::string& input, const std::string& clause,
           const std::vector<std::string>& ands, const std::string& output,
           const std::optional<std::string>& delimiter, bool count, bool row_numbers,
           int32_t threads) {
            zorv::cli::FilterRequest r;
            r.clause = clause;
            r.ands = ands;
            r.table.input = input;
            if (delimiter) {
                r.table.delimiter = *delimiter;
                r.table.delimiter_given = true;
            }
            r.output = output;
            r.count = count;
            r.row_numbers = row_numbers;
            r.threads = threads;
            FilterOutcome outcome;
            {
                py::gil_scoped_release unlocked;
                outcome = run_csv_filter(r);
            }
            return py::make_tuple(outcome.status, outcome.messages);
        },
        py::arg("input"), py::arg("clause"), py::arg("ands"), py::arg("output"),
        py::arg("delimiter"), py::arg("count"), py::arg("row_numbers"), py::arg("threads"),
        "Runs the command's filter (zorv filter) from the file input to the file output; "
        "returns (exit status, the command's messages).");
}

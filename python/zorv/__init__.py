"""WHERE clauses over pandas DataFrames and CSV files, evaluated by the zorv library.

    >>> import zorv, pandas as pd
    >>> df = pd.DataFrame({"price": [12.5, 80.0, None], "city": ["Oslo", "Bergen", "Cork"]})
    >>> zorv.query(df, "price > 50 OR city =: 'C'")
       price    city
    1   80.0  Bergen
    2    NaN    Cork

A clause names columns in any case (``PRICE``, ``price`` and ``Price`` are one column). Columns
are read by their dtypes:

* float, integer and boolean columns (NumPy's, and pandas' nullable ``Int64``, ``Float64``,
  ``boolean``) are numeric; a boolean is 0 or 1; NaN, None and ``pandas.NA`` are the ordinary
  missing value (``.``), which lies below every number and makes every comparison false
  except ``IS MISSING``;
* object and ``string`` columns are character columns whose width is their longest value in
  characters; each value is blank-padded to that width, so trailing blanks never matter in a
  comparison, and None, NaN and ``pandas.NA`` are blank (``IS MISSING`` holds). Any other
  object in such a column raises TypeError;
* categorical columns are numeric or character by their categories.

The functions:

* :class:`Clause` parses a clause once; it pickles by its text, so it ships to other
  processes (Dask workers).
* :func:`mask` and :func:`query` evaluate a clause over a DataFrame, in chunks of row records
  built from the columns the clause uses, on several threads, without holding the GIL.
* :func:`filter_csv` runs ``zorv filter`` over a CSV or TSV file.
* :mod:`zorv.dask` does the same over Dask DataFrames and many CSV files.

Errors: :class:`ClauseError` (a ValueError) for a clause that does not parse or does not fit
the columns; :class:`UnknownColumnError`, a ClauseError and a KeyError, for a name that is no
column; :class:`TableError` for a CSV file that cannot be read.
"""

import ctypes
import json
import os
import tempfile

import numpy as np
import pandas as pd

_HERE = os.path.dirname(os.path.abspath(__file__))

# The kernel and the library are loaded by path before the module that links them: the
# dynamic loader then takes them for the module's dependencies whatever versioned names
# (SONAMEs) they carry, and the kernel, which loads the library as libzorv.so from this
# folder, finds the very same copy already loaded.
for _name in ("libnqkernel.so", "libzorv.so"):
    ctypes.CDLL(os.path.join(_HERE, _name))

from . import _zorv  # noqa: E402

__all__ = [
    "Clause",
    "ClauseError",
    "UnknownColumnError",
    "TableError",
    "mask",
    "query",
    "filter_csv",
    "__version__",
]


class ClauseError(ValueError):
    """A clause that does not parse, or that does not fit the columns it is bound to.

    The text is the library's: for a syntax error, where it is and how the parser's repair
    read on (``syntax error at column 9 near end of clause: expected a name, ...``); for a
    clause that does not fit its columns, the operator and its operands (``'+' needs numeric
    operands, but city is a character column``).
    """


class UnknownColumnError(ClauseError, KeyError):
    """A name in a clause that is no column; both a ClauseError and a KeyError.

    Attributes: ``column``, the name as the clause holds it (upper-cased), and ``closest``,
    the names of the columns closest to it (perhaps none).
    """

    column = None
    closest = ()

    def __str__(self):
        # KeyError would quote the message as it quotes a key.
        return str(self.args[0]) if self.args else ""


class TableError(ValueError):
    """A CSV or TSV file that :func:`filter_csv` cannot read: the text says where and why."""


_zorv.start(_HERE, ClauseError, UnknownColumnError, pd.NA)

#: The library's version.
__version__ = _zorv.version()


class Clause:
    """A parsed WHERE clause.

    ``Clause(text)`` parses the text and raises :class:`ClauseError` when it does not parse.
    A Clause holds only its text: each evaluation binds it anew to the columns of its frame,
    so one Clause serves frames of different columns, and several threads at once. It pickles
    by its text, so it can be sent to other processes, and compares equal to a Clause of the
    same text.

    >>> Clause("x > 1 AND name IN ('a', 'b')").text
    "x > 1 AND name IN ('a', 'b')"
    """

    __slots__ = ("_text", "_keys")

    def __init__(self, text):
        if isinstance(text, Clause):
            text = text.text
        if not isinstance(text, str):
            raise TypeError("a clause is a str, not %s" % type(text).__name__)
        self._keys = tuple(_zorv.names(text))
        self._text = text

    @property
    def text(self):
        """The clause's text, as given."""
        return self._text

    @property
    def names(self):
        """The names the clause uses, upper-cased as the clause matches them, each once."""
        return self._keys

    def __reduce__(self):
        return (Clause, (self._text,))

    def __eq__(self, other):
        return isinstance(other, Clause) and other._text == self._text

    def __hash__(self):
        return hash(self._text)

    def __repr__(self):
        return "Clause(%r)" % (self._text,)

    def __str__(self):
        return self._text

    def explain(self, columns=None, format="text"):
        """The clause's expression tree, as ``zorv explain`` gives it.

        ``columns`` says what the names are bound to:

        * a DataFrame: its columns, read as :func:`mask` reads them (a character column's
          width is its longest value), so the tree is the one that evaluates that frame:
          typed, transformed and optimised;
        * a mapping of column name to kind: ``"num"``, ``"char"`` or ``"char(N)"`` (N
          characters; ``"char"`` alone is ``char(255)``), a NumPy or pandas dtype, a dtype
          name, or a Python type (``float``, ``int``, ``bool``: numeric; ``str``: character of
          255);
        * None (the default): the tree as parsed, before names are bound.

        ``format``:

        * ``"text"``: the printer's drawing, a str. Each line is one node: the value length
          (-8 a number, else bytes of characters, 4 a character), the node's type and its
          value, the tree drawn sideways (the README's "Reading a drawing" tells more);
        * ``"json"``: the tree as Python objects, from the command's JSON document (a dict a
          node: ``type``, ``code``, ``vlen``; ``args`` of an operator; ``name`` and ``kind``
          of a column; ``value``, ``missing`` or ``tag`` of a constant; the README's
          ``zorv explain --format json`` tells the whole schema); None for an empty tree;
        * ``"dot"``: a Graphviz graph of the tree, a str for ``dot -Tsvg``.

        >>> zorv.Clause("x > 1").explain(format="json")["type"]
        'CGT'
        """
        if format not in ("text", "json", "dot"):
            raise ValueError("format must be 'text', 'json' or 'dot', not %r" % (format,))
        if columns is None:
            tree = _zorv.explain(self._text, None, [], [], format)
        else:
            if isinstance(columns, pd.DataFrame):
                names, keys, used = _frame_columns(columns, self)
            else:
                names, keys, used = _mapping_columns(columns, self)
            tree = _zorv.explain(self._text, names, keys, used, format)
        return json.loads(tree) if format == "json" else tree


def _clause(clause):
    """A Clause for a Clause or its text."""
    if isinstance(clause, Clause):
        return clause
    return Clause(clause)


def _threads(threads):
    """The threads argument checked: None, or a count from 1, at most 64."""
    if threads is None:
        return None
    threads = int(threads)
    if threads < 1:
        raise ValueError("threads must be at least 1, not %d" % threads)
    return min(threads, 64)


# Width of a character column that a mapping gives without one.
_DEFAULT_WIDTH = 255
# The widest character column the library holds, in characters.
_MAX_WIDTH = 8191


def _matching(names, keys, clause):
    """The positions of the columns the clause names, as {key: position}."""
    wanted = set(clause.names)
    found = {}
    for i, key in enumerate(keys):
        if key not in wanted:
            continue
        if key in found:
            first = names[found[key]]
            raise ClauseError(
                "the name %s matches two columns, '%s' and '%s' (names are matched "
                "upper-cased)" % (key, first, names[i])
            )
        found[key] = i
    return found


# NumPy dtype kinds read as numbers: float, signed and unsigned integer, boolean.
_NUMERIC_KINDS = "fiub"


def _column_description(name, key, series):
    """How the binding reads one column: (name, key, kind, width, values, missing, codes)."""
    dtype = series.dtype
    rows = len(series)
    if isinstance(dtype, pd.CategoricalDtype):
        categories = dtype.categories
        codes = np.asarray(series.cat.codes)
        if categories.dtype.kind in _NUMERIC_KINDS:
            values = np.asarray(categories, dtype=np.float64)
            return (name, key, "num", 0, values, None, codes)
        values = np.asarray(categories, dtype=object)
        return _character(name, key, series, values, codes, rows)
    array = series.array
    if isinstance(array, pd.core.arrays.masked.BaseMaskedArray):
        return (name, key, "num", 0, array._data, array._mask, None)
    if isinstance(dtype, np.dtype):
        if dtype.kind in _NUMERIC_KINDS and not (dtype.kind == "f" and dtype.itemsize == 2):
            return (name, key, "num", 0, series.to_numpy(copy=False), None, None)
        if dtype.kind == "O":
            return _character(name, key, series, series.to_numpy(copy=False), None, rows)
    if isinstance(dtype, pd.StringDtype) and hasattr(array, "_ndarray"):
        return _character(name, key, series, array._ndarray, None, rows)
    raise TypeError(
        "column '%s' has dtype %s, which zorv cannot read: give it as a float, integer, "
        "boolean, object (str) or string column" % (name, dtype)
    )


def _character(name, key, series, values, codes, rows):
    """The description of a character column, after a scan for its width and its cells."""
    width, bad_row, bad_type = _zorv.character_width(values, codes, rows)
    if bad_row >= 0:
        raise TypeError(
            "column '%s' holds a %s at row %d (index %r); a character column holds str, or "
            "None, NaN or pandas.NA for a blank; convert a numeric column with "
            ".astype(float)" % (name, bad_type, bad_row, series.index[bad_row])
        )
    if width > _MAX_WIDTH:
        raise ValueError(
            "column '%s' holds a value of %d characters; zorv holds at most %d"
            % (name, width, _MAX_WIDTH)
        )
    return (name, key, "char", width, values, None, codes)


def _frame_columns(df, clause):
    """Every column's name and key, and the descriptions of those the clause names."""
    names = [str(c) for c in df.columns]
    keys = _zorv.keys(names)
    used = []
    for key, i in _matching(names, keys, clause).items():
        used.append(_column_description(names[i], key, df.iloc[:, i]))
    return names, keys, used


def _kind_of(name, kind):
    """A mapping's kind of a column as ("num" | "char", width)."""
    if isinstance(kind, str):
        text = kind.strip().lower().replace(" ", "")
        if text in ("num", "numeric"):
            return "num", 0
        if text in ("char", "character", "str", "string", "object"):
            return "char", _DEFAULT_WIDTH
        if text.startswith("char(") and text.endswith(")") and text[5:-1].isdigit():
            width = int(text[5:-1])
            if 1 <= width <= _MAX_WIDTH:
                return "char", width
            raise ValueError("column '%s': a width from 1 to %d, not %d" % (name, _MAX_WIDTH, width))
    if kind in (float, int, bool):
        return "num", 0
    if kind is str:
        return "char", _DEFAULT_WIDTH
    try:
        dtype = pd.api.types.pandas_dtype(kind)
    except TypeError:
        raise ValueError(
            "column '%s': %r is no kind (num, char, char(N), a dtype or a type)" % (name, kind)
        ) from None
    if isinstance(dtype, pd.CategoricalDtype):
        dtype = dtype.categories.dtype if dtype.categories is not None else np.dtype(object)
    if pd.api.types.is_bool_dtype(dtype) or pd.api.types.is_numeric_dtype(dtype):
        return "num", 0
    if pd.api.types.is_string_dtype(dtype) or pd.api.types.is_object_dtype(dtype):
        return "char", _DEFAULT_WIDTH
    raise ValueError("column '%s': zorv cannot read a column of dtype %s" % (name, dtype))


def _mapping_columns(columns, clause):
    """As _frame_columns, for a mapping of name to kind (no data: explain only)."""
    names = [str(c) for c in columns.keys()]
    keys = _zorv.keys(names)
    kinds = list(columns.values())
    used = []
    for key, i in _matching(names, keys, clause).items():
        kind, width = _kind_of(names[i], kinds[i])
        used.append((names[i], key, kind, width, None, None, None))
    return names, keys, used


def mask(df, clause, threads=None):
    """The rows of a DataFrame that a clause selects, as a boolean NumPy array.

    ``clause`` is a :class:`Clause` or its text. ``threads``: how many threads evaluate
    (None: one for a frame of fewer than 32768 rows, else every processor the process may
    use). The clause is bound to the frame's columns (names matched upper-cased), its row
    records are built a chunk at a time from only the columns it names, and the threads
    evaluate chunks in turn, sharing one instance of the library, without holding the GIL
    (it is taken briefly to copy the strings of character columns). Besides the result,
    memory is that of a chunk per thread.

    Raises :class:`UnknownColumnError` (a KeyError) for a name that is no column, naming the
    closest columns; :class:`ClauseError` for a clause that does not parse or does not fit
    the columns' kinds; TypeError for a character column holding something other than str,
    None, NaN or pandas.NA, or a column of a dtype zorv cannot read.

    >>> zorv.mask(pd.DataFrame({"x": [1, 2, 3]}), "x > 1")
    array([False,  True,  True])
    """
    clause = _clause(clause)
    if not isinstance(df, pd.DataFrame):
        raise TypeError("zorv.mask takes a pandas DataFrame, not %s" % type(df).__name__)
    names, keys, used = _frame_columns(df, clause)
    return _zorv.mask(clause.text, names, keys, used, len(df), _threads(threads))


def query(df, clause, threads=None):
    """The rows of a DataFrame that a clause selects, as a DataFrame, like ``DataFrame.query``.

    The result is ``df.loc[zorv.mask(df, clause, threads)]``: the selected rows in their
    order, with their index. See :func:`mask` for the clause, the threads and the errors.
    """
    return df.loc[mask(df, clause, threads)]


def filter_csv(
    path,
    clause,
    output=None,
    threads=None,
    *,
    delimiter=None,
    ands=(),
    count=False,
    row_numbers=False,
):
    """Runs ``zorv filter`` over a CSV or TSV file: the command's own filter, in this process.

    ``path``: the table, a file whose first row is the header (a name may carry its kind:
    ``price:num``, ``city:char(12)``; other columns are learnt from the data). ``clause``: a
    :class:`Clause` or its text. ``ands``: further clauses every selected row must meet too
    (``--and``). ``delimiter``: one character (default: a tab for ``*.tsv``, else a comma).
    ``threads``: threads that read and evaluate (default: every core for a file over 8 MB).

    What it gives, as the command's options choose:

    * ``count=True``: the number of selected rows (``--count``), an int;
    * ``row_numbers=True``: their numbers, 1 for the first row after the header
      (``--row-numbers``), an int64 array;
    * otherwise the header and the selected rows, each exactly as the file holds it: written
      to ``output`` (a path; the file is replaced only once the whole table has been read),
      returning None, or returned as a str when ``output`` is None.

    Raises :class:`UnknownColumnError` and :class:`ClauseError` as :func:`mask` does (the
    messages are the command's), :class:`TableError` for a table that cannot be read or an
    option it refuses, FileNotFoundError for a missing file.
    """
    clause = _clause(clause)
    ands = [_clause(a).text for a in ([ands] if isinstance(ands, (str, Clause)) else ands)]
    path = os.fspath(path)
    if path == "-":
        path = os.path.join(".", path)  # the command reads "-" as standard input
    if not os.path.exists(path):
        raise FileNotFoundError(2, "No such file", path)
    if count and row_numbers:
        raise ValueError("count and row_numbers exclude each other: give one")
    threads = _threads(threads) or 0
    if output is not None:
        return _run_filter(path, clause, ands, os.fspath(output), delimiter, False, False, threads)
    with tempfile.TemporaryDirectory(prefix="zorv-") as folder:
        target = os.path.join(folder, "selected.csv")
        _run_filter(path, clause, ands, target, delimiter, count, row_numbers, threads)
        with open(target, "rb") as f:
            data = f.read()
    if count:
        return int(data)
    if row_numbers:
        return np.array(data.split(), dtype=np.int64)
    return data.decode("utf-8")


def _run_filter(path, clause, ands, output, delimiter, count, row_numbers, threads):
    """Runs the command's filter to the file output; raises what its messages say."""
    status, messages = _zorv.filter_csv(
        path, clause.text, ands, output, delimiter, count, row_numbers, threads
    )
    if status == 0:
        return None
    lines = [
        line.split(": ", 2)[2] if line.startswith(("zorv: error: ", "zorv: note: ")) else line
        for line in messages.splitlines()
    ]
    text = "\n".join(lines) or "zorv filter failed (status %d)" % status
    if status == 1 and text.startswith("unknown column '"):
        error = UnknownColumnError(text)
        error.column = text.split("'")[1]
        first = text.split("\n")[0]
        if "; did you mean " in first:
            error.closest = first.split("; did you mean ", 1)[1].split("'")[1::2]
        raise error
    if status == 1:
        raise ClauseError(text)
    raise TableError(text)

"""WHERE clauses over data beyond one machine, with Dask.

:func:`query` filters a Dask DataFrame partition by partition; :func:`read_csv_filtered` reads
many CSV files in parallel, each through the command's filter, so that only the selected rows
are ever parsed by pandas. Both run wherever Dask runs its tasks: threads of this process, or
the worker processes of a ``distributed`` cluster, local or remote:

    >>> from distributed import Client
    >>> client = Client("tcp://scheduler:8786")   # or Client(LocalCluster(...))
    >>> selected = zorv.dask.query(ddf, "price > 100 AND city IN ('Oslo', 'Cork')").compute()

A :class:`zorv.Clause` travels to the workers by its text; each worker process loads the
library once, when it first imports zorv. Every worker needs the zorv package installed (or on
its PYTHONPATH).
"""

import glob
import io
import os

import dask
import dask.dataframe as dd
import pandas as pd
from dask.dataframe.utils import make_meta

import zorv

__all__ = ["query", "read_csv_filtered"]


def _query_partition(partition, clause, threads):
    """One partition's selected rows (a task on a worker)."""
    return zorv.query(partition, clause, threads=threads)


def query(ddf, clause, threads=1):
    """The rows of a Dask DataFrame that a clause selects, as a Dask DataFrame.

    Each partition is filtered by :func:`zorv.query` where Dask runs it (``map_partitions``);
    the result has the frame's columns and dtypes and the selected rows of each partition,
    in order, with their index. ``threads``: threads of each partition's evaluation (default
    1, since Dask already runs partitions side by side).

    The clause is bound to the frame's columns at once (on its empty meta frame), so a name
    that is no column or a clause that does not fit the columns raises here, not in a worker.
    """
    clause = zorv._clause(clause)
    meta = make_meta(ddf)
    zorv.mask(meta, clause)
    return ddf.map_partitions(_query_partition, clause, threads, meta=meta)


def _filter_file(path, clause, threads, read_csv, meta):
    """One file's selected rows as a DataFrame (a task on a worker)."""
    text = zorv.filter_csv(path, clause, threads=threads)
    part = pd.read_csv(io.StringIO(text), **read_csv)
    if meta is not None and part.empty:
        # No row selected: pandas cannot tell the kinds of columns it saw no cell of.
        return meta
    return part


def read_csv_filtered(pattern, clause, threads=1, meta=None, **read_csv):
    """The rows of many CSV files that a clause selects, as a Dask DataFrame of one partition
    a file.

    ``pattern``: a glob pattern (``data/2024-*.csv``), a path, or a list of them; the files
    are taken in sorted order. Each partition is one file filtered by :func:`zorv.filter_csv`
    (the command's filter: the clause is bound to the file's columns; only the selected rows
    reach pandas), then read by ``pandas.read_csv`` with the keyword arguments given here.
    ``threads``: threads of each file's filter (default 1: Dask runs files side by side).
    ``meta``: an empty DataFrame with the result's columns and dtypes; by default the first
    rows of the first file, read by pandas with the same arguments. A file with no selected
    row gives an empty partition of those dtypes.
    """
    patterns = [pattern] if isinstance(pattern, (str, os.PathLike)) else list(pattern)
    paths = []
    for p in patterns:
        found = sorted(glob.glob(os.fspath(p)))
        if not found:
            raise FileNotFoundError(2, "No file matches", os.fspath(p))
        paths.extend(found)
    clause = zorv._clause(clause)
    if meta is None:
        meta = pd.read_csv(paths[0], nrows=1000, **read_csv).iloc[:0]
    parts = [
        dask.delayed(_filter_file)(p, clause, threads, read_csv, meta)
        for p in paths
    ]
    return dd.from_delayed(parts, meta=meta, verify_meta=False)

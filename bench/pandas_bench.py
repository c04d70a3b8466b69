"""zorv.query against DataFrame.query on a million rows, for the clauses of bench/eval_bench.cpp
that both can express.

The frame follows bench/eval_rows.cpp: x a price-like amount in [0, 20) with 2% missing, y a
small count 0..9 falling off with size, k an id 0..99999, s a short code (one frequent, case
variants, prefixes of each other, blanks), w one to three words. Each clause is written for
pandas as pandas' query language says it (string methods where the clause language has an
operator); both must select the same rows before anything is timed. Every query returns the
selected rows as a DataFrame (DataFrame.query does df.loc[mask], zorv.query too), so both
pay the same selection. Times are the best of several runs; the ratio is pandas' time over
zorv's (above 1: zorv is faster), by wall-clock time and by CPU time of all the process's
threads (which a machine busy with other work still measures fairly). The target is a
ratio above 1 against both engines on every clause; the script says which clauses miss it
and exits 0 either way: a miss is a figure to look at, not a broken build.

Run: make bench-python (or PYTHONPATH=build/python /usr/bin/python3 bench/pandas_bench.py).
"""

import os
import sys
import time

import numpy as np
import pandas as pd

import zorv

ROWS = 1_000_000
REPEATS = 5

CODES = ["ab", "ba", "cd", "Ab", "AB", "ef", "aB", "abc", "gh", "a", "", "xyz", "abcd"]
CODE_WEIGHTS = [300, 100, 120, 80, 60, 80, 30, 50, 50, 40, 40, 30, 20]
WORDS = ["red", "fox", "grey", "wolf", "brown", "bear", "lynx", "owl", "hare", "deer", "elk",
         "foxglove", "den", "pine", "moss", "fern"]
COUNT_WEIGHTS = [20, 18, 15, 12, 10, 8, 7, 5, 3, 2]

IN_LIST = [(i * 7919 + 13) % 100000 for i in range(1000)]

# name, zorv's clause, pandas' query (None where pandas' query language has no way to say it).
CLAUSES = [
    ("range_in", "x > 5 AND x < 10 AND y IN (1, 2, 3)", "x > 5 and x < 10 and y in [1, 2, 3]"),
    ("char_or_num", "s = 'ab' OR x > 19", "s == 'ab' or x > 19"),
    ("colon", "s =: 'a'", "s.str.startswith('a')"),
    ("arith", "x * 2 + y > 30", "x * 2 + y > 30"),
    ("contains", "w CONTAINS 'fox'", "w.str.contains('fox', regex=False)"),
    ("upcase", "UPCASE(s) = 'AB'", "s.str.upper() == 'AB'"),
    ("in_1000", "k IN (%s)" % ", ".join(map(str, IN_LIST)), "k in %s" % IN_LIST),
]


def make_frame(rows):
    rng = np.random.default_rng(20240611)
    x = rng.integers(0, 2000, rows) / 100.0
    x[rng.integers(0, 50, rows) == 0] = np.nan
    y = rng.choice(10, rows, p=np.array(COUNT_WEIGHTS) / sum(COUNT_WEIGHTS))
    k = rng.integers(0, 100000, rows)
    codes = np.array(CODES, dtype=object)
    s = codes[rng.choice(len(CODES), rows, p=np.array(CODE_WEIGHTS) / sum(CODE_WEIGHTS))]
    words = np.array(WORDS, dtype=object)
    w = words[rng.integers(0, len(WORDS), rows)]
    for _ in range(2):
        more = rng.random(rows) < 0.5
        w[more] = w[more] + " " + words[rng.integers(0, len(WORDS), int(more.sum()))]
    return pd.DataFrame({"x": x, "y": y, "k": k, "s": s, "w": w})


def best(run):
    """The least wall-clock and the least CPU time (of every thread of the process) of several
    runs, in seconds, and the last run's result."""
    walls, cpus = [], []
    for _ in range(REPEATS):
        wall, cpu = time.perf_counter(), time.process_time()
        result = run()
        walls.append(time.perf_counter() - wall)
        cpus.append(time.process_time() - cpu)
    return min(walls), min(cpus), result


def table(title, rows, which):
    """Prints one table of times (which: 0 wall-clock, 1 CPU) with pandas' over zorv's."""
    print(title)
    print("%-12s %9s %9s %9s %7s %9s %7s" % (
        "clause", "selected", "zorv", "python", "ratio", "numexpr", "ratio"))
    misses = []
    for name, selected, z, pandas in rows:
        line = "%-12s %9d %9.1f" % (name, selected, z[which] * 1e3)
        for engine in ("python", "numexpr"):
            t = pandas.get(engine)
            if t is None:
                line += " %9s %7s" % ("n/a", "")
                continue
            ratio = t[which] / z[which]
            line += " %9.1f %7.2f" % (t[which] * 1e3, ratio)
            if ratio <= 1:
                misses.append("%s (%s)" % (name, engine))
        print(line)
    if misses:
        print("zorv.query is not faster than DataFrame.query on: " + ", ".join(misses))
    else:
        print("zorv.query is faster than DataFrame.query on every clause, with either engine")
    print()


def main():
    df = make_frame(ROWS)
    threads = len(os.sched_getaffinity(0))
    rows = []
    for name, clause, pandas_text in CLAUSES:
        prepared = zorv.Clause(clause)
        z_wall, z_cpu, picked = best(lambda: zorv.query(df, prepared))
        pandas = {}
        for engine in ("python", "numexpr"):
            try:
                expected = df.query(pandas_text, engine=engine)
            except Exception as e:  # the engine cannot say it
                print("  (%s, engine=%s: %s)" % (name, engine, type(e).__name__), file=sys.stderr)
                continue
            if not expected.index.equals(picked.index):
                print("%s: zorv selects %d rows, pandas (%s) %d" % (
                    name, len(picked), engine, len(expected)))
                return 1
            wall, cpu, _ = best(lambda: df.query(pandas_text, engine=engine))
            pandas[engine] = (wall, cpu)
        rows.append((name, len(picked), (z_wall, z_cpu), pandas))
    print("zorv.query against DataFrame.query, %s rows, best of %d runs; ms, and the ratio "
          "pandas / zorv\n(above 1: zorv is faster); zorv on %d threads, numexpr on its own "
          "%s\n" % (format(ROWS, ","), REPEATS, threads, numexpr_threads()))
    table("Wall-clock time:", rows, 0)
    table("CPU time (all threads), what a busy machine still measures fairly:", rows, 1)
    return 0


def numexpr_threads():
    try:
        import numexpr
        return "%d" % numexpr.get_num_threads()
    except ImportError:
        return "(not installed)"


if __name__ == "__main__":
    sys.exit(main())

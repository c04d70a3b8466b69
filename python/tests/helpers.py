"""What the binding's tests share: the command they compare with, frames written as the CSV
the command reads, and a seeded generator of frames and clauses."""

import os
import random
import subprocess
import tempfile
import unittest

import numpy as np
import pandas as pd

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
# The release tree's command, which `make python-test` names in ZORV.
COMMAND = os.environ.get("ZORV", os.path.join(ROOT, "build", "release", "zorv"))


def write_csv(df, path):
    """Writes the frame as a CSV file the command reads as the binding reads the frame: a
    header that types numeric columns (name:num) and lets the command learn the width of
    character ones (name:char), NaN/None/NA as empty cells, booleans as 0 and 1."""
    out = {}
    for name in df.columns:
        s = df[name]
        dtype = s.dtype
        if isinstance(dtype, pd.CategoricalDtype):
            s = s.astype(dtype.categories.dtype)
            dtype = s.dtype
        if pd.api.types.is_bool_dtype(dtype):
            out["%s:num" % name] = s.astype("Int64")
        elif pd.api.types.is_numeric_dtype(dtype):
            out["%s:num" % name] = s
        else:
            out["%s:char" % name] = s
    pd.DataFrame(out).to_csv(path, index=False, na_rep="", lineterminator="\n")


class Command:
    """The command over one frame, written once to a temporary CSV file."""

    def __init__(self, df):
        self._dir = tempfile.TemporaryDirectory(prefix="zorv-test-")
        self.path = os.path.join(self._dir.name, "frame.csv")
        self.rows = len(df)
        write_csv(df, self.path)

    def close(self):
        self._dir.cleanup()

    def run(self, *args):
        return subprocess.run(
            [COMMAND, *args], capture_output=True, text=True, encoding="utf-8", check=False
        )

    def mask(self, clause):
        """The rows `zorv filter --row-numbers` selects, as a boolean array; raises
        AssertionError with the command's message when it fails."""
        r = self.run("filter", "--row-numbers", "--input", self.path, "--", clause)
        if r.returncode != 0:
            raise AssertionError("zorv filter failed on %r: %s" % (clause, r.stderr))
        out = np.zeros(self.rows, dtype=bool)
        numbers = np.array(r.stdout.split(), dtype=np.int64)
        out[numbers - 1] = True
        return out

    def error(self, clause):
        """What `zorv check` says about the clause over this table, without the prefixes."""
        r = self.run("check", "--input", self.path, "--", clause)
        lines = [l.split(": ", 2)[2] for l in r.stderr.splitlines() if l.startswith("zorv: ")]
        return r.returncode, lines


WORDS = ["red", "fox", "grey", "wolf", "den", "Zoë", "straße", "naïve", "a,b", "x", ""]
CODES = ["ab", "Ab", "cd", "a", "abc", "ab  ", "  ab", "", "B", "zz", "Zoë", None]


class FrameTestCase(unittest.TestCase):
    """Tests over one frame, the one make_frame() gives, and the command over the same rows."""

    @classmethod
    def make_frame(cls):
        raise NotImplementedError

    @classmethod
    def setUpClass(cls):
        cls.df = cls.make_frame()
        cls.command = Command(cls.df)

    @classmethod
    def tearDownClass(cls):
        cls.command.close()


def random_frame(rng, rows):
    """A frame of the kinds the binding reads: floats with NaN, integers, booleans, nullable
    integers with NA, short codes and longer texts with None and blanks."""
    x = np.round(rng.uniform(-5, 20, rows), 1)
    x[rng.random(rows) < 0.1] = np.nan
    k = pd.array(rng.integers(0, 6, rows), dtype="Int64")
    k[rng.random(rows) < 0.1] = pd.NA
    words = []
    for _ in range(rows):
        n = int(rng.integers(0, 5))
        words.append(" ".join(WORDS[int(i)] for i in rng.integers(0, len(WORDS), n)) if n else None)
    return pd.DataFrame(
        {
            "x": x,
            "y": rng.integers(0, 10, rows),
            "b": rng.random(rows) < 0.3,
            "k": k,
            "s": [CODES[int(i)] for i in rng.integers(0, len(CODES), rows)],
            "w": words,
        }
    )


class ClauseMaker:
    """Random clauses over the columns of random_frame, from a seeded generator."""

    NUMERIC = ["x", "y", "b", "k"]
    CHARACTER = ["s", "w"]
    COMPARE = ["=", "^=", "<", "<=", ">", ">=", "EQ", "NE", "LT", "GE"]

    def __init__(self, seed):
        self.r = random.Random(seed)

    def number(self):
        r = self.r
        return r.choice(["0", "1", "3", "5", "-2", "2.5", "10", "19.9", ".", ".A", "1e1"])

    def text(self):
        return "'%s'" % self.r.choice(["ab", "Ab", "a", "cd", "", "  ab", "fox", "red fox", "Zoë", "ZZ"])

    def numeric_atom(self):
        r = self.r
        c = r.choice(self.NUMERIC)
        d = r.choice(self.NUMERIC)
        forms = [
            lambda: "%s %s %s" % (c, r.choice(self.COMPARE), self.number()),
            lambda: "%s %s %s" % (c, r.choice(self.COMPARE), d),
            lambda: "%s BETWEEN %s AND %s" % (c, r.choice(["0", "-1", "2"]), r.choice(["3", "5", "15"])),
            lambda: "%s %s (%s)" % (c, r.choice(["IN", "NOT IN"]), ", ".join(self.number() for _ in range(3))),
            lambda: "%s IS %sMISSING" % (c, r.choice(["", "NOT "])),
            lambda: "%s + %s > %s" % (c, d, self.number()),
            lambda: "%s * 2 - %s <= %s" % (c, d, self.number()),
            lambda: "-%s < %s" % (c, self.number()),
            lambda: "%s < %s <= %s" % (self.number(), c, self.number()),
            lambda: c,
        ]
        return r.choice(forms)()

    def character_atom(self):
        r = self.r
        c = r.choice(self.CHARACTER)
        d = r.choice(self.CHARACTER)
        forms = [
            lambda: "%s %s %s" % (c, r.choice(self.COMPARE), self.text()),
            lambda: "%s %s: %s" % (c, r.choice(["=", "<", ">=", "^="]), self.text()),
            lambda: "%s %s" % (c, r.choice(["IS NULL", "IS NOT MISSING"])),
            lambda: "%s IN (%s)" % (c, ", ".join(self.text() for _ in range(2))),
            lambda: "%s IN : (%s)" % (c, ", ".join(self.text() for _ in range(2))),
            lambda: "%s CONTAINS %s" % (c, self.text()),
            lambda: "%s LIKE '%s'" % (c, r.choice(["a%", "%b", "_b", "%fox%"])),
            lambda: "UPCASE(%s) = %s" % (c, self.text()),
            lambda: "%s = %s" % (c, d),
            lambda: "%s || %s %s %s" % (c, d, r.choice(self.COMPARE), self.text()),
            lambda: "%s || %s CONTAINS '%s'" % (c, d, r.choice(["b r", "b  r", "ab  Z", "  "])),
            lambda: "%s =* %s" % (c, self.text()),
        ]
        return r.choice(forms)()

    def clause(self, depth=2):
        r = self.r
        if depth == 0 or r.random() < 0.35:
            return self.numeric_atom() if r.random() < 0.5 else self.character_atom()
        form = r.random()
        if form < 0.15:
            return "NOT (%s)" % self.clause(depth - 1)
        joint = "AND" if form < 0.6 else "OR"
        return "(%s) %s (%s)" % (self.clause(depth - 1), joint, self.clause(depth - 1))

"""zorv.mask and zorv.query over DataFrames, checked against `zorv filter --row-numbers` on
the same data written as CSV."""

import subprocess
import sys
import threading
import unittest

import numpy as np
import pandas as pd

import zorv
from helpers import ClauseMaker, Command, FrameTestCase, random_frame


def disagreement(df, clause, got, expected):
    rows = np.flatnonzero(got != expected)[:5]
    return "%r: %d rows differ, first %s:\n%s" % (
        clause,
        int((got != expected).sum()),
        rows.tolist(),
        df.iloc[rows].to_string(),
    )


class RandomClauses(FrameTestCase):
    """Seeded random clauses over numeric and character columns with missing values."""

    @classmethod
    def make_frame(cls):
        return random_frame(np.random.default_rng(7), 1500)

    def test_mask_equals_the_command(self):
        maker = ClauseMaker(11)
        selected = 0
        for _ in range(300):
            clause = maker.clause()
            expected = self.command.mask(clause)
            got = zorv.mask(self.df, clause)
            self.assertEqual(got.dtype, np.bool_)
            self.assertTrue(np.array_equal(got, expected), disagreement(self.df, clause, got, expected))
            selected += 0 < expected.sum() < len(expected)
        # Clauses that select all rows or none test little: most must select some.
        self.assertGreater(selected, 150)

    def test_threads_and_chunks_change_nothing(self):
        big = pd.concat([self.df] * 60, ignore_index=True)  # 90,000 rows: many chunks
        maker = ClauseMaker(5)
        for _ in range(10):
            clause = maker.clause()
            one = zorv.mask(big, clause, threads=1)
            self.assertTrue(np.array_equal(one, zorv.mask(big, clause, threads=3)), clause)
            self.assertTrue(np.array_equal(one[:1500], zorv.mask(self.df, clause)), clause)


class Values(unittest.TestCase):
    """How cells become values: missing values, blanks, padding, widths, dtypes."""

    def check(self, df, clauses):
        command = Command(df)
        try:
            for clause in clauses:
                expected = command.mask(clause)
                got = zorv.mask(df, clause)
                self.assertTrue(np.array_equal(got, expected), disagreement(df, clause, got, expected))
        finally:
            command.close()

    def test_missing_values_and_blanks(self):
        df = pd.DataFrame(
            {
                "x": [1.0, np.nan, None, -1e300, 0.0],
                "s": ["a", None, np.nan, pd.NA, "   "],
            }
        )
        self.check(
            df,
            ["x IS MISSING", "x < -1e299", "x = .", "x ^= 1", "s IS NULL", "s = ''", "s < 'a'", "x"],
        )
        self.assertEqual(zorv.mask(df, "x IS MISSING").tolist(), [False, True, True, False, False])
        self.assertEqual(zorv.mask(df, "s IS MISSING").tolist(), [False, True, True, True, True])

    def test_trailing_blanks_do_not_count(self):
        df = pd.DataFrame({"s": ["ab", "ab   ", " ab", "abc"], "t": ["ab ", "ab", "ab", "ab"]})
        self.check(df, ["s = 'ab'", "s = 'ab     '", "s = t", "s =: 'ab'", "s || t = 'ab   ab'"])
        self.assertEqual(zorv.mask(df, "s = 'ab  '").tolist(), [True, True, False, False])

    def test_wide_and_non_latin_strings(self):
        rng = np.random.default_rng(3)
        wide = ["".join(rng.choice(list("abcz ÿ€𝄞"), int(n))) for n in rng.integers(0, 3000, 200)]
        wide[5] = "fox" + "x" * 8000  # near the widest a column holds
        df = pd.DataFrame({"w": wide, "n": np.arange(200)})
        self.check(df, ["w CONTAINS 'fox'", "w =: 'ab'", "w > 'z'", "w CONTAINS '𝄞' AND n > 50"])
        too_wide = pd.DataFrame({"w": ["x" * 8192]})
        with self.assertRaisesRegex(ValueError, "8192 characters"):
            zorv.mask(too_wide, "w = 'x'")

    def test_empty_frames(self):
        df = pd.DataFrame({"x": pd.Series([], dtype=float), "s": pd.Series([], dtype=object)})
        self.assertEqual(zorv.mask(df, "x > 1 OR s = 'a'").shape, (0,))
        self.assertEqual(list(zorv.query(df, "x > 1").columns), ["x", "s"])
        self.check(df, ["x > 1 OR s = 'a'"])
        self.assertEqual(zorv.mask(pd.DataFrame(index=range(3)), "1 = 1").tolist(), [True] * 3)

    def test_dtypes_read_alike(self):
        """Every dtype a column may have gives the values of its plain float or str twin."""
        base = pd.DataFrame(
            {"f": [1.0, 2.0, np.nan, 3.0, 0.0], "c": ["ab", None, "cd", "ab", ""]}
        )
        twins = {
            "float32": base.f.astype("float32"),
            "Int64": base.f.astype("Int64"),
            "Float64": base.f.astype("Float64"),
            "uint8": base.f.fillna(0).astype("uint8"),
            "category": base.f.astype("category"),
        }
        for name, column in twins.items():
            df = base.assign(f=column)
            plain = base.assign(f=column.astype("float64"))
            for clause in ["f > 1", "f IS MISSING", "f IN (0, 2)", "f * 2 = 4"]:
                self.assertTrue(
                    np.array_equal(zorv.mask(df, clause), zorv.mask(plain, clause)), (name, clause)
                )
        booleans = pd.DataFrame({"f": pd.array([True, False, None], dtype="boolean")})
        self.assertEqual(zorv.mask(booleans, "f = 1").tolist(), [True, False, False])
        self.assertEqual(zorv.mask(booleans, "f IS MISSING").tolist(), [False, False, True])
        for column in [base.c.astype("string"), base.c.astype("category")]:
            df = base.assign(c=column)
            for clause in ["c = 'ab'", "c IS MISSING", "c || c = 'cdcd'", "c > 'b'"]:
                self.assertTrue(
                    np.array_equal(zorv.mask(df, clause), zorv.mask(base, clause)), clause
                )

    def test_names_match_upper_cased(self):
        df = pd.DataFrame({"Price": [1, 5], "straße": ["a", "b"], "ÿx": [1, 2], 3: [7, 8]})
        self.assertEqual(zorv.mask(df, "PRICE > 2 AND price < 9").tolist(), [False, True])
        self.assertEqual(zorv.mask(df, "STRAßE = 'b' AND ÿx IS MISSING").tolist(), [False, False])
        self.assertEqual(zorv.mask(df, "Straße = 'b' AND ŸX = 2").tolist(), [False, True])

    def test_query_keeps_index_and_order(self):
        df = pd.DataFrame({"x": [5, 1, 7, 3]}, index=["a", "b", "c", "d"])
        got = zorv.query(df, "x > 2")
        pd.testing.assert_frame_equal(got, df.query("x > 2"))


class Sizes(unittest.TestCase):
    def test_a_million_rows(self):
        rng = np.random.default_rng(1)
        df = random_frame(rng, 1000)
        df = df.iloc[rng.integers(0, 1000, 1_000_000)].reset_index(drop=True)
        command = Command(df)
        try:
            for clause in ["x > 5 AND x < 10 AND y IN (1, 2, 3)", "s = 'ab' OR w CONTAINS 'fox'"]:
                expected = command.mask(clause)
                self.assertTrue(np.array_equal(zorv.mask(df, clause), expected), clause)
        finally:
            command.close()


    def test_memory_is_that_of_chunks(self):
        """A frame of 128 MB: evaluating a clause over all its columns costs the result mask
        and the chunks, not a copy of the columns (measured in a process of its own, by its
        peak resident size). The frame wraps a row-major array, so its columns are strided."""
        script = (
            "import resource, numpy as np, pandas as pd, zorv\n"
            "rows = 4_000_000\n"
            "df = pd.DataFrame(np.random.default_rng(0).random((rows, 4)), columns=list('abcd'), copy=False)\n"
            "before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss\n"
            "m = zorv.mask(df, 'a + b > c * 2 OR d < .5', threads=2)\n"
            "after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss\n"
            "print((after - before) // 1024, int(m.sum()))\n"
        )
        out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True)
        grown_mb, selected = map(int, out.stdout.split())
        self.assertGreater(selected, 2_000_000)
        self.assertLess(grown_mb, 24, "peak memory grew by %d MB" % grown_mb)


class Sharing(unittest.TestCase):
    def test_python_threads_share_a_clause(self):
        df = random_frame(np.random.default_rng(2), 50_000)
        clause = zorv.Clause("x > 3 AND s =: 'a' OR w CONTAINS 'fox'")
        expected = zorv.mask(df, clause, threads=1)
        results = [None] * 4

        def run(i):
            results[i] = zorv.mask(df, clause, threads=2)

        threads = [threading.Thread(target=run, args=(i,)) for i in range(4)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for r in results:
            self.assertTrue(np.array_equal(r, expected))


if __name__ == "__main__":
    unittest.main()

"""zorv.filter_csv: the command's filter inside the process, answering as the command does."""

import os
import tempfile
import unittest

import numpy as np

import zorv
from helpers import ClauseMaker, FrameTestCase, random_frame


class FilterCsv(FrameTestCase):
    @classmethod
    def make_frame(cls):
        return random_frame(np.random.default_rng(4), 800)

    def test_outputs_are_the_commands(self):
        maker = ClauseMaker(23)
        path = self.command.path
        for _ in range(20):
            clause, other = maker.clause(), maker.clause(1)
            rows = self.command.run("filter", "--input", path, "--and", other, "--", clause)
            self.assertEqual(rows.returncode, 0, rows.stderr)
            self.assertEqual(zorv.filter_csv(path, clause, ands=[other]), rows.stdout)
            numbers = self.command.mask(clause).nonzero()[0] + 1
            self.assertTrue(np.array_equal(zorv.filter_csv(path, clause, row_numbers=True), numbers))
            self.assertEqual(zorv.filter_csv(path, clause, count=True, threads=2), len(numbers))
            self.assertTrue(np.array_equal(numbers - 1, zorv.mask(self.df, clause).nonzero()[0]))

    def test_output_files_and_delimiters(self):
        with tempfile.TemporaryDirectory() as folder:
            tsv = os.path.join(folder, "t.tsv")
            with open(tsv, "w") as f:
                f.write("a\tb\n1\tx\n5\ty\n")
            out = os.path.join(folder, "out.tsv")
            self.assertIsNone(zorv.filter_csv(tsv, "a > 2", out))
            with open(out) as f:
                self.assertEqual(f.read(), "a\tb\n5\ty\n")
            semi = os.path.join(folder, "t.txt")
            with open(semi, "w") as f:
                f.write("a;b\n1;x\n5;y\n")
            self.assertEqual(zorv.filter_csv(semi, "b = 'x'", delimiter=";"), "a;b\n1;x\n")

    def test_failures_are_told(self):
        path = self.command.path
        with self.assertRaises(KeyError) as caught:
            zorv.filter_csv(path, "xx > 1")
        self.assertIsInstance(caught.exception, zorv.UnknownColumnError)
        self.assertEqual(caught.exception.column, "XX")
        self.assertEqual(caught.exception.closest, ["x"])
        with self.assertRaisesRegex(zorv.ClauseError, "'[+]' needs numeric operands"):
            zorv.filter_csv(path, "s + 1 > 2")
        with self.assertRaises(FileNotFoundError):
            zorv.filter_csv(path + ".missing", "x > 1")
        with tempfile.TemporaryDirectory() as folder:
            ragged = os.path.join(folder, "r.csv")
            with open(ragged, "w") as f:
                f.write("a,b\n1,2\n3\n")
            with self.assertRaisesRegex(zorv.TableError, r"r.csv:3:2: row has 1 cell, the header has 2"):
                zorv.filter_csv(ragged, "a > 0")
            with self.assertRaisesRegex(zorv.TableError, "--delimiter"):
                zorv.filter_csv(ragged, "a > 0", delimiter="ab")
        with self.assertRaises(ValueError):
            zorv.filter_csv(path, "x > 1", count=True, row_numbers=True)


if __name__ == "__main__":
    unittest.main()

"""Clauses that fail, and what the caller is told: the library's and the command's own words."""

import json
import pickle
import unittest

import numpy as np
import pandas as pd

import zorv
from helpers import Command, FrameTestCase


class Errors(FrameTestCase):
    @classmethod
    def make_frame(cls):
        return pd.DataFrame(
            {"price": [1.5, 2.0], "qty": [1, 2], "city": ["Oslo", "Cork"], "name": ["a", "b"]}
        )

    def test_bad_clauses_say_what_the_command_says(self):
        cases = [
            "price > 1 OR",          # the parser's repair: an operand inserted
            "price >> 3",
            "(price > 1",
            "city = 'unterminated",
            "price + city > 1",      # the resolver: operands of the wrong kind
            "city CONTAINS 3",
            "UPCASE(price) = 'A'",
            "NOFUNC(city) = 'a'",
            "price IN ('a', 'b')",
            "city =: 3",
        ]
        for clause in cases:
            status, expected = self.command.error(clause)
            self.assertEqual(status, 1, clause)
            with self.assertRaises(zorv.ClauseError) as caught:
                zorv.mask(self.df, clause)
            self.assertNotIsInstance(caught.exception, KeyError)
            self.assertEqual(str(caught.exception).splitlines(), expected, clause)

    def test_parse_errors_come_at_construction(self):
        with self.assertRaisesRegex(zorv.ClauseError, "syntax error at column 8 near end of clause"):
            zorv.Clause("price >")
        with self.assertRaises(TypeError):
            zorv.Clause(3)

    def test_unknown_columns_name_the_closest(self):
        with self.assertRaises(KeyError) as caught:
            zorv.mask(self.df, "prize > 1 AND city = 'Oslo'")
        e = caught.exception
        self.assertIsInstance(e, zorv.UnknownColumnError)
        self.assertIsInstance(e, zorv.ClauseError)
        self.assertEqual(e.column, "PRIZE")
        self.assertEqual(e.closest, ["price"])
        self.assertEqual(
            str(e),
            "unknown column 'PRIZE'; did you mean 'price'? "
            "(the frame's columns are price, qty, city, name)",
        )
        with self.assertRaises(KeyError) as caught:
            zorv.mask(self.df, "total > 1")
        self.assertEqual(caught.exception.closest, [])
        self.assertNotIn("did you mean", str(caught.exception))

    def test_non_string_cells_are_refused(self):
        df = pd.DataFrame({"s": ["a", None, 3, "b"], "x": [1, 2, 3, 4]}, index=[10, 11, 12, 13])
        with self.assertRaisesRegex(TypeError, r"column 's' holds a int at row 2 \(index 12\)"):
            zorv.mask(df, "s = 'a'")
        self.assertEqual(zorv.mask(df, "x > 2").tolist(), [False, False, True, True])
        for bad in [b"bytes", 1.5, ["list"]]:
            with self.assertRaisesRegex(TypeError, "column 's' holds a"):
                zorv.mask(pd.DataFrame({"s": ["a", bad]}), "s = 'a'")

    def test_names_that_match_two_columns(self):
        df = pd.DataFrame({"x": [1], "X": [2], "y": [3]})
        with self.assertRaisesRegex(zorv.ClauseError, "matches two columns, 'x' and 'X'"):
            zorv.mask(df, "x > 1")
        self.assertEqual(zorv.mask(df, "y > 1").tolist(), [True])

    def test_unreadable_dtypes(self):
        df = pd.DataFrame({"t": pd.to_datetime(["2024-01-01"])})
        with self.assertRaisesRegex(TypeError, "column 't' has dtype datetime64"):
            zorv.mask(df, "t > 1")


class Explain(unittest.TestCase):
    def test_drawings_are_the_commands(self):
        df = pd.DataFrame({"price": [1.0], "city": ["Bergen"]})
        command = Command(df)
        try:
            clause = "price > 5 AND price < 9 OR city = 'x'"
            r = command.run("explain", "--input", command.path, clause)
            self.assertEqual(zorv.Clause(clause).explain(df), r.stdout.rstrip("\n"))
            r = command.run("explain", "--stage", "parsed", clause)
            self.assertEqual(zorv.Clause(clause).explain(), r.stdout.rstrip("\n"))
            for stage, columns in [("resolved", df), ("parsed", None)]:
                r = command.run("explain", "--stage", stage, "--format", "json", "--input", command.path, clause)
                tree = zorv.Clause(clause).explain(columns, format="json")
                self.assertEqual(tree, json.loads(r.stdout))
                r = command.run("explain", "--stage", stage, "--format", "dot", "--input", command.path, clause)
                self.assertEqual(zorv.Clause(clause).explain(columns, format="dot"), r.stdout)
            self.assertEqual(tree["type"], "LOR")
            self.assertEqual(zorv.Clause(";").explain(format="json")["type"], "CLR")
        finally:
            command.close()

    def test_mappings_give_kinds(self):
        clause = zorv.Clause("a || b = 'x' AND n > 1")
        by_dtype = clause.explain({"a": "object", "b": str, "n": np.int32})
        by_kind = clause.explain({"a": "char", "b": "char(255)", "n": "num"})
        self.assertEqual(by_dtype, by_kind)
        self.assertIn("2040", by_kind)  # a || b: 510 characters of 4 bytes
        narrow = clause.explain({"a": "char(2)", "b": "char(3)", "n": float})
        self.assertIn("  20 ", narrow)
        with self.assertRaises(KeyError):
            clause.explain({"a": "char", "n": "num"})
        with self.assertRaisesRegex(ValueError, "no kind"):
            clause.explain({"a": "char", "b": "text", "n": "num"})
        with self.assertRaisesRegex(ValueError, "format"):
            clause.explain(format="yaml")


class Pickling(unittest.TestCase):
    def test_a_clause_travels_by_its_text(self):
        clause = zorv.Clause("x > 1 AND s =: 'a'")
        copy = pickle.loads(pickle.dumps(clause))
        self.assertEqual(copy, clause)
        self.assertEqual(copy.text, clause.text)
        self.assertEqual(copy.names, ("X", "S"))
        df = pd.DataFrame({"x": [0, 2, 3], "s": ["ab", "ab", "b"]})
        self.assertEqual(zorv.mask(df, copy).tolist(), [False, True, False])


if __name__ == "__main__":
    unittest.main()

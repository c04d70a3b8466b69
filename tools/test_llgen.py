"""Unit tests of the LL(1) table generator on small grammars: FIRST/FOLLOW with empty bodies,
conflict resolution, cheapest insertion strings, argument-list sharing, row packing, input
validation, names of codes in action arguments, the header of codes and the --check mode."""

import contextlib
import io
import os
import random
import tempfile
import unittest

import llgen
import llgen_source
import llgen_tables

TERMINALS = ["id", "+", "*", "(", ")", "a", "b", "c", "d", "e", "f", "g", "$$$"]


def source(productions, actions=("@X", "@Y(1)")):
    """A grammar source over TERMINALS with two action codes and the given entries."""
    lines = ["%terminals"] + [f'{i} "{s}"' for i, s in enumerate(TERMINALS, 1)]
    lines += ["%classes 1", "%actioncodes", "1 @X", "2 @Y", "%actions"]
    lines += [f"{i} {a}" for i, a in enumerate(actions)]
    lines += ["%productions"] + list(productions)
    return "\n".join(lines) + "\n"


def tables(productions, **kw):
    return llgen_tables.Tables(llgen_source.parse_grammar(source(productions, **kw)))


def code(spelling):
    return TERMINALS.index(spelling) + 1


def spell(codes):
    return " ".join(TERMINALS[c - 1] for c in codes)


def lookup(t, k, term):
    """The engine's prediction rule over the packed vector."""
    i = t.prsndx[k] + term
    if not 0 <= i < len(t.prslst) or t.prslst[i] == 0:
        return None
    v = t.prslst[i]
    return v if t.lhstbl[abs(v) - 1] == k else None


# Expression grammar with actions sprinkled in, including a body made of an action alone.
EXPR = [
    "N0 → (0) N1 \"$$$\"",
    "N1 → (1) @X N3 N2",
    "N2 → (2) \"+\" @Y(1) N3 N2 | (3) ε",
    "N3 → (4) N5 N4",
    "N4 → (5) \"*\" N5 N4 | (6) @X",
    "N5 → (7) \"(\" N1 \")\" | (8) \"id\"",
]


class FirstFollowTest(unittest.TestCase):
    def test_sets_of_the_expression_grammar(self):
        t = tables(EXPR)
        first = [spell(sorted(s)) for s in t.first]
        follow = [spell(sorted(s)) for s in t.follow]
        self.assertEqual(first[1:], ["id (", "+", "id (", "*", "id ("])
        self.assertEqual(follow[1:], [") $$$", ") $$$", "+ ) $$$", "+ ) $$$", "+ * ) $$$"])
        self.assertEqual(t.nullable, [False, False, True, False, True, False])

    def test_predictions_sign_and_packing(self):
        t = tables(EXPR)
        self.assertEqual(t.conflicts, [])
        want = {(0, "id"): 1, (0, "("): 1, (1, "id"): 2, (1, "("): 2,
                (2, "+"): 3, (2, ")"): -4, (2, "$$$"): -4, (3, "id"): 5, (3, "("): 5,
                (4, "*"): 6, (4, "+"): -7, (4, ")"): -7, (4, "$$$"): -7,
                (5, "("): 8, (5, "id"): 9}
        for k in range(6):
            for term in TERMINALS:
                self.assertEqual(lookup(t, k, code(term)), want.get((k, term)), (k, term))


class ConflictTest(unittest.TestCase):
    GRAMMAR = [
        "N0 → (0) N1 \"$$$\"",
        "N1 → (1) N2 \"b\" | (2) \"a\" \"c\" | (3) N3 \"a\"",
        "N2 → (4) \"a\" | (5) ε",
        "N3 → (6) ε | (7) \"a\"",
    ]

    def test_lower_numbered_production_wins(self):
        t = tables(self.GRAMMAR)
        a = code("a")
        self.assertEqual(t.conflicts, [(1, a, 1, 2), (1, a, 1, 3), (3, a, 6, 7)])
        self.assertEqual(lookup(t, 1, a), 2)
        self.assertEqual(lookup(t, 3, a), -7)  # the empty body wins over "a"

    def run_main(self, *extra):
        with tempfile.TemporaryDirectory() as d:
            gpath, out = os.path.join(d, "t.grammar"), os.path.join(d, "t.cpp")
            with open(gpath, "w", encoding="utf-8") as f:
                f.write(source(self.GRAMMAR))
            err = io.StringIO()
            with contextlib.redirect_stderr(err):
                rc = llgen.main([gpath, "--routine", "tgram", "--out", out, *extra])
            return rc, err.getvalue(), os.path.exists(out)

    def test_reported_and_counted(self):
        rc, err, written = self.run_main("--expect-conflicts", "3")
        self.assertEqual((rc, written), (0, True))
        self.assertIn("conflict: N1 on 'a' between productions 1 and 2\n", err)
        self.assertIn("conflict: N3 on 'a' between productions 6 and 7\n", err)
        rc, err, written = self.run_main("--expect-conflicts", "2")
        self.assertEqual((rc, written), (1, False))
        self.assertIn("3 conflicts, expected 2", err)


class CheapestStringTest(unittest.TestCase):
    GRAMMAR = [
        "N0 → (0) N3 N2 N4 N6 \"$$$\"",
        "N1 → (1) \"a\" \"b\" | (2) \"c\" \"d\"",       # tie: lower number
        "N2 → (3) \"a\" \"b\" \"c\" | (4) @X \"d\"",    # cheaper later production
        "N3 → (5) N1 | (6) N2 \"e\" | (7) \"e\" \"f\"",  # tie through a nonterminal
        "N4 → (8) N5 | (9) ε",                          # empty cycle N4 -> N5 -> N4
        "N5 → (10) N4 | (11) \"g\"",
        "N6 → (12) N7 N7 N7 | (13) \"f\" \"f\" N4",
        "N7 → (14) \"g\" N1",
    ]

    def test_strings_costs_and_sharing(self):
        t = tables(self.GRAMMAR)
        self.assertEqual([spell(s) for s in t.strings[1:]],
                         ["a b", "d", "a b", "", "", "f f", "g a b"])
        self.assertEqual(t.inscost[len(TERMINALS):], [127, 2, 1, 2, 0, 0, 2, 3])
        self.assertEqual(t.delcost, [1] * 12 + [127])
        self.assertEqual(t.inscost[:len(TERMINALS)], [1] * 12 + [127])
        # every string once, the empty one first; N0 never gets one of its own
        got = {k: t.instbl[t.insndx[k] + 1:t.insndx[k] + 1 + t.instbl[t.insndx[k]]]
               for k in range(8)}
        self.assertEqual(got, {k: t.strings[k] if k else [] for k in range(8)})
        self.assertEqual(t.insndx[0], 0)
        self.assertEqual(t.insndx[1], t.insndx[3])
        self.assertEqual(t.insndx[4], 0)
        self.assertEqual(len(t.instbl), 1 + 3 + 2 + 3 + 4)

    def test_no_terminal_string(self):
        with self.assertRaisesRegex(llgen_source.GrammarError, "N0, N1 derive no terminal string"):
            tables(["N0 → (0) N1 \"$$$\"", "N1 → (1) \"a\" N1"])


class ArgumentTableTest(unittest.TestCase):
    def test_sharing_rules(self):
        lists = [(4,), (1, 4), (), (3,), (3,), (2, 5, 7), (5, 7)]
        argtbl, argndx = llgen_tables.build_argtbl(lists)
        self.assertEqual(argtbl, [3, 2, 5, 7, 2, 1, 4, 1, 3])
        self.assertEqual(argndx, [5, 4, -1, 7, 7, 0, 1])

    def test_no_match_across_two_lists(self):
        argtbl, argndx = llgen_tables.build_argtbl([(9, 1), (5,), (1,)])
        self.assertEqual(argtbl, [2, 9, 1, 1, 5, 1, 1])
        self.assertEqual(argndx, [0, 3, 5])

    def test_every_entry_decodes(self):
        rng = random.Random(7)
        lists = [tuple(rng.randint(0, 3) for _ in range(rng.randint(0, 4))) for _ in range(60)]
        argtbl, argndx = llgen_tables.build_argtbl(lists)
        for args, i in zip(lists, argndx):
            self.assertEqual(i == -1, not args)
            if args:
                self.assertEqual(tuple(argtbl[i + 1:i + 1 + argtbl[i]]), args)


class PackingTest(unittest.TestCase):
    def test_random_rows_keep_every_lookup(self):
        rng = random.Random(1)
        for trial in range(20):
            nterms = rng.randint(1, 40)
            rows = []
            for _ in range(rng.randint(1, 30)):
                density = rng.random()
                rows.append({t: rng.choice([-1, 1]) * rng.randint(1, 500)
                             for t in range(1, nterms + 1) if rng.random() < density})
            vector, bases = llgen_tables.pack_rows(rows)
            for k, row in enumerate(rows):
                for t, v in row.items():
                    self.assertEqual(vector[bases[k] + t], v, (trial, k, t))
            self.assertEqual(sum(1 for v in vector if v), sum(len(r) for r in rows))
            if vector:
                self.assertNotEqual(vector[-1], 0)

    def test_first_fit_with_negative_base(self):
        vector, bases = llgen_tables.pack_rows([{5: 1}, {1: 2, 2: 3}, {}, {1: 4}])
        self.assertEqual(bases, [-5, 0, 0, 2])
        self.assertEqual(vector, [1, 2, 3, 4])


class ValidationTest(unittest.TestCase):
    CASES = [
        (["N0 → (0) \"zz\" \"$$$\""], 'unknown terminal "zz"'),
        (["N0 → (0) @Z \"$$$\""], "unknown action @Z"),
        (["N0 → (0) @Y \"$$$\""], "unknown action @Y"),       # only @Y(1) is an entry
        (["N0 → (0) N1 \"$$$\"", "N1 → (2) \"a\""], "production number 2 out of order"),
        (["N0 → (0) N1 \"$$$\"", "N1 → (1) \"a\"", "N2 → (2) \"b\""], "N2 is unused"),
        (["N0 → (0) \"a\"", "N1 → (1) \"b\" N1 | (2) ε"], "N1 is unused (not reachable"),
        (["N0 → (0) N1 \"$$$\""], "N1 is undefined"),
        (["N0 → (0) N2 \"$$$\"", "N2 → (1) \"a\""], "N1 is undefined"),
        (["N0 → (0) \"a\" N0"], "N0 may not occur in a body"),
        (["N0 → (0) \"a\" ε"], "ε must stand alone"),
        (["N0 → (0) \"a\" (1) \"b\""], "alternatives are separated by '|'"),
    ]

    def test_bad_productions(self):
        for prods, message in self.CASES:
            with self.subTest(message=message):
                with self.assertRaises(llgen_source.GrammarError) as cm:
                    tables(prods)
                self.assertIn(message, cm.exception.message)
                self.assertGreater(cm.exception.line, 0)

    def test_bad_declarations(self):
        nine = "@X(1,2,3,4,5,6,7,8,9)"
        with self.assertRaisesRegex(llgen_source.GrammarError, "9 action arguments; at most 8"):
            tables(["N0 → (0) \"a\""], actions=(nine,))
        with self.assertRaisesRegex(llgen_source.GrammarError, "unknown action @Q"):
            tables(["N0 → (0) \"a\""], actions=("@Q",))
        with self.assertRaisesRegex(llgen_source.GrammarError, "listed twice"):
            tables(["N0 → (0) \"a\""], actions=("@X", "@X"))
        bad = source(["N0 → (0) \"a\""]).replace('2 "+"', '3 "+"')
        with self.assertRaisesRegex(llgen_source.GrammarError, "terminal code 3 out of order"):
            llgen_source.parse_grammar(bad)

    def test_notation_variants_read_alike(self):
        plain = tables(["N0 → (0) N1 \"$$$\"", "N1 → (1) \"a\" @Y(1) | (2) ε"])
        ascii_ = tables(["# comment", "N0 -> (0) N1 \"$$$\"   # trailing", "N1 -> (1) \"a\" @Y( 1 )",
                         "   | (2) eps"])
        self.assertEqual(plain.prdlst, ascii_.prdlst)
        self.assertEqual(plain.prdlst, [2, 13, 15, 2, -2, 6, 0])


class CodesHeaderTest(unittest.TestCase):
    def test_names_codes_and_spellings(self):
        g = llgen_source.parse_grammar(source(EXPR))
        text = llgen.render_codes(g, "x.grammar", "gen/x_codes.h", "xg")
        for line in ["#ifndef ZORV_GEN_X_CODES_H", "namespace xg {", "    T_ID = 1,",
                     "    P_PLUS = 2,", "    P_LPAREN = 4,", "    K_A = 6,",
                     "    P_DOLLAR_DOLLAR_DOLLAR = 13,", "inline constexpr int16_t kClasses = 1;",
                     "inline constexpr int16_t kEnd = P_DOLLAR_DOLLAR_DOLLAR;",
                     "    A_X = 1,", "    A_Y = 2,", '    nullptr, U"@X", U"@Y",']:
            self.assertIn(line + "\n", text)
        self.assertIn('    U"id", U"+", U"*", U"(", U")", U"a",', text)

    def test_terminals_with_one_name_are_refused(self):
        text = source(EXPR).replace('6 "a"', '6 "b$"').replace('7 "b"', '7 "B_DOLLAR"')
        g = llgen_source.parse_grammar(text)
        with self.assertRaisesRegex(llgen_source.GrammarError,
                                    'terminals "b\\$" and "B_DOLLAR" are both named K_B_DOLLAR'):
            llgen.render_codes(g, "x.grammar", "x.h", "xg")


class NamesTest(unittest.TestCase):
    LIST = "/* rows */\nZORV_NODE(ONE, 1)\nZORV_NODE(TWO, 2)\nZORV_NODE(UNO, 1)\n"

    def named(self, actions):
        text = '%names "n.def"\n' + source(EXPR, actions=actions)
        return llgen_source.parse_grammar(text, read={"n.def": self.LIST}.__getitem__)

    def test_a_name_is_its_code(self):
        g = self.named(("@X", "@Y(ONE)"))
        self.assertEqual(g.names, {"ONE": 1, "TWO": 2, "UNO": 1})
        self.assertEqual(g.actions, [("@X", ()), ("@Y", (1,))])  # and @Y(1) in a body finds it
        self.assertEqual(llgen_tables.Tables(g).argtbl, tables(EXPR).argtbl)

    def test_unknown_names_and_unread_lists_are_refused(self):
        with self.assertRaisesRegex(llgen_source.GrammarError, "'THREE' is not in the %names"):
            self.named(("@X", "@Y(THREE)", "@Y(1)"))
        with self.assertRaisesRegex(llgen_source.GrammarError, "%names cannot be read here"):
            llgen_source.parse_grammar('%names "n.def"\n' + source(EXPR))


class CommandTest(unittest.TestCase):
    def test_check_mode(self):
        with tempfile.TemporaryDirectory() as d:
            gpath, out = os.path.join(d, "x.grammar"), os.path.join(d, "x.cpp")
            with open(gpath, "w", encoding="utf-8") as f:
                f.write(source(EXPR))
            header = os.path.join(d, "x_codes.h")
            args = [gpath, "--routine", "xgram", "--out", out, "--header", header]
            err = io.StringIO()
            with contextlib.redirect_stderr(err):
                self.assertEqual(llgen.main(args + ["--check"]), 1)  # missing
                self.assertEqual(llgen.main(args), 0)
                self.assertEqual(llgen.main(args + ["--check"]), 0)
                with open(out, encoding="utf-8") as f:
                    text = f.read()
                with open(out, "w", encoding="utf-8") as f:
                    f.write(text.replace(".ninstbl = ", ".ninstbl = 1"))
                self.assertEqual(llgen.main(args + ["--check"]), 1)
                self.assertEqual(llgen.main(args), 0)
                with open(header, "a", encoding="utf-8") as f:
                    f.write("// edited\n")
                self.assertEqual(llgen.main(args + ["--check"]), 1)
            self.assertIn("is out of date (2 lines differ)", err.getvalue())
            self.assertIn("x_codes.h is out of date (1 lines differ)", err.getvalue())
            self.assertTrue(text.startswith(
                "// Generated by tools/llgen.py from x.grammar; do not edit by hand."))
            self.assertIn('extern "C" NQGrammar* xgram(NQGrammar* desc)', text)

    def test_errors_name_file_and_line(self):
        with tempfile.TemporaryDirectory() as d:
            gpath = os.path.join(d, "bad.grammar")
            with open(gpath, "w", encoding="utf-8") as f:
                f.write(source(["N0 → (0) \"zz\""]))
            err = io.StringIO()
            with contextlib.redirect_stderr(err):
                rc = llgen.main([gpath, "--routine", "g", "--out", os.path.join(d, "o.cpp")])
            self.assertEqual(rc, 1)
            line = source(["N0 → (0) \"zz\""]).splitlines().index("N0 → (0) \"zz\"") + 1
            self.assertIn(f"bad.grammar:{line}: error: unknown terminal", err.getvalue())


if __name__ == "__main__":
    unittest.main()
